// Helpers for the tests that run under Wine, in one library for every test
// program: scratch folders, bounded message pumps, timers that act during a
// wait, a CBT hook that sees every dialog and message box as it opens, and a
// watchdog that ends a hung modal loop with a failure instead of hanging the
// run. The last group drives the transport inside the test process: the
// data directory with its log, a stand-in main window with a text pane, the
// transfer message pop-up and a host-name lookup that never answers.
//
// Every wait here is bounded; a bound only decides how long a broken
// program is waited for, so bounds are generous for a loaded machine.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

// ---- Files and folders ----------------------------------------------------

// A fresh directory in the program's private folder, removed with its files.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  const std::string& Path() const { return path_; }  // without trailing backslash
  std::string File(const char* name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// The value of the first "key = value" line (key compared exactly), or
// "<absent>".
std::string CfgValue(const std::string& cfgText, const std::string& key);

// ---- Time and messages ----------------------------------------------------

// Seconds since an arbitrary start (QueryPerformanceCounter).
double Seconds();

// Dispatches messages for about ms milliseconds, waking on each arrival; a
// quit is left in the queue and ends the pump.
void Pump(DWORD ms);
// Pumps until pred() holds or ms pass; returns pred().
bool PumpUntil(const std::function<bool()>& pred, DWORD ms);
// Removes every message waiting in the queue (quits included).
void DrainQueue();
// Dispatches messages until a quit arrives (taken from the queue: true) or
// ms pass (false).
bool PumpUntilQuit(DWORD ms);
// Dispatches one message at a time, testing pred() before each, until it
// holds or ms pass; returns pred(). For a test that must see the state
// between two messages.
bool PumpEachUntil(const std::function<bool()>& pred, DWORD ms);

// Runs action once, delayMs after it is armed, from a timer message (so only
// inside a message pump: during a transport wait or a modal loop).
class DelayedAction {
 public:
  DelayedAction(unsigned delayMs, std::function<void()> action);
  ~DelayedAction();
  bool Fired() const;
  struct State;

 private:
  State* state_;
};

// ---- Windows and dialogs --------------------------------------------------

std::string WindowText(HWND w);
std::string ClassOf(HWND w);
// Child rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);
// Direct children of parent whose class is "Static" and text is text.
std::vector<HWND> StaticsWithText(HWND parent, const std::string& text);
// The text of the last "Static" child of a window (the transfer message's
// label).
std::string StaticTextOf(HWND popup);
// The text of the main window's text pane.
std::string PaneTextOf(HWND main);
// Whether the notification area holds the icon (owner, id), of any process.
bool TrayIconExists(HWND owner, UINT id);

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

// Every message box of this thread is recorded and answered with OK at once
// (as it is activated) while alive; Texts() are their texts in order. Not
// together with a DialogWatch.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  const std::vector<std::string>& Texts() const { return texts_; }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp);
  HHOOK hook_ = nullptr;
  std::vector<HWND> windows_;
  std::vector<std::string> texts_;
};

// Fails the running test and ends every modal loop of this thread (menus,
// dialogs, message boxes) when it is still alive after ms milliseconds. The
// default bounds a whole test with windows, dialogs and a server on a loaded
// machine, where Wine takes up to 2 s to show or hide each window.
class Watchdog {
 public:
  explicit Watchdog(DWORD ms = 120000);
  ~Watchdog();

 private:
  static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD);
  UINT_PTR timer_;
};

// ---- The transport inside the test process ---------------------------------
// (These use the shell's globals and transfer message: a test program that
// calls them links the shell's library, velmor_win.)

// Points DataDirectory at a fresh folder, logs activity to the file too, and
// returns the folder (ending in a backslash).
std::string UseScratchDataDirectory(const std::string& name);
// The transport as a fresh program has it, for one test: the scratch data
// directory above (returned), the server on loopback, no library reload
// before each connection, the client identity, the sockets library loaded,
// the default time-out, no cancel and no quit.
std::string BeginTransportTest(const std::string& name, const char* identity);
// Closes the transfer message, unloads the library, restores the defaults
// and drops whatever the test left in the queue.
void EndTransportTest();
// The log file's text so far.
std::string LogText();
// The activity lines of the log so far, without their stamps (the
// program's own "VelmorW-" lines left out).
std::vector<std::string> ActivityLines();
// A request record on the wire, as a peer sends it: code, num1 and num2,
// the rest as an empty record has it.
std::string WireRecord(int code, int num1, int num2);
// Whether the log holds a line ending in text (after the stamps), and how
// many.
bool LogHas(const std::string& text);
int LogCount(const std::string& text);

// A hidden main window (class of its own) with an edit control as the text
// pane; sets MainWindow while alive.
class TestMainWindow {
 public:
  TestMainWindow();
  ~TestMainWindow();
  std::string PaneText() const { return PaneTextOf(window_); }
  HWND Handle() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// Registers the transfer message window's class, as start-up does, so that
// ShowTransferMessage works inside a test program.
void RegisterTransferMessageClass();

// While alive, host-name lookups start but are never answered (a resolver
// that has gone silent); LateAnswer() then answers every one of them as not
// found, as a resolver that wakes up would, so that nothing stays pending.
class SilentResolver {
 public:
  SilentResolver();
  ~SilentResolver();
  // Lookups started while alive, and cancelled by the program (their
  // answers never come).
  int Started() const;
  int Cancelled() const;
  // Answers every started lookup now (not found) and pumps the answers in.
  void LateAnswer();
};
