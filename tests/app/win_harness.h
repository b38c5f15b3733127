// Helpers for tests that drive the real windows under Wine: a scratch data
// directory, velmor.cfg contents, a bounded message pump, a CBT hook that
// sees every dialog and message box as it opens, and a watchdog that ends
// a hung modal loop with a failure instead of hanging the run.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// A fresh directory under the temporary directory, removed with its files.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  const std::string& Path() const { return path_; }  // without trailing backslash
  std::string File(const char* name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
// The value of the first "key = value" line (key compared exactly), or
// "<absent>".
std::string CfgValue(const std::string& cfgText, const std::string& key);

// Dispatches messages for about ms milliseconds, waking on each arrival.
void Pump(DWORD ms);
// Pumps until pred() holds or ms pass; returns pred().
bool PumpUntil(const std::function<bool()>& pred, DWORD ms);

std::string WindowText(HWND w);
std::string ClassOf(HWND w);
// Child rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);
// Direct children of parent whose class is "Static" and text is text.
std::vector<HWND> StaticsWithText(HWND parent, const std::string& text);

struct SeenDialog {
  HWND window;
  HWND owner;
  std::string caption;
  std::string text;  // the message-box text (static 0xFFFF), empty for others
};

// While alive: every dialog window (class "#32770", message boxes included)
// of this thread is recorded when it is first activated, and a moment later
// (from a one-shot timer inside its modal loop) handed to onDialog. Without
// onDialog, message boxes are answered with OK and other dialogs left alone.
class DialogWatch {
 public:
  explicit DialogWatch(std::function<void(const SeenDialog&)> onDialog = nullptr);
  ~DialogWatch();
  const std::vector<SeenDialog>& Seen() const { return seen_; }
  static void PressOk(HWND box) { PostMessageA(box, WM_COMMAND, IDOK, 0); }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp);
  static void CALLBACK Later(HWND, UINT, UINT_PTR id, DWORD);
  HHOOK hook_ = nullptr;
  std::function<void(const SeenDialog&)> onDialog_;
  std::vector<SeenDialog> seen_;
  std::vector<std::pair<UINT_PTR, size_t>> pending_;
};

// Fails the running test and ends every modal loop of this thread (menus,
// dialogs, message boxes) when it is still alive after ms milliseconds.
class Watchdog {
 public:
  explicit Watchdog(DWORD ms = 20000);
  ~Watchdog();

 private:
  static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD);
  UINT_PTR timer_;
};
