// Shared pieces of the Windows tests of the transport: a scratch data
// directory with the log, a main window with a text pane, message boxes
// answered and recorded, and timers that act during a wait.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Points DataDirectory at a fresh folder, logs activity to the file too, and
// returns the folder (ending in a backslash).
std::string UseScratchDataDirectory(const std::string& name);
// The log file's text so far.
std::string LogText();
// Whether the log holds a line ending in text (after the stamps).
bool LogHas(const std::string& text);
int LogCount(const std::string& text);

// A hidden main window (class of its own) with an edit control 5 as the
// text pane; sets MainWindow while alive.
class TestMainWindow {
 public:
  TestMainWindow();
  ~TestMainWindow();
  std::string PaneText() const;
  HWND Handle() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// Every message box of this thread is recorded and closed with OK while
// alive.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  const std::vector<std::string>& Texts() const;
};

// Runs action once, delayMs after it is armed, from a timer message (so only
// inside a message pump: during a transport wait).
class DelayedAction {
 public:
  DelayedAction(unsigned delayMs, std::function<void()> action);
  ~DelayedAction();
  bool Fired() const;

 private:
  struct State;
  State* state_;
};

// The text of the transfer message pop-up (its static label).
std::string StaticTextOf(HWND popup);

// Registers the transfer message window's class, as start-up does, so that
// ShowTransferMessage works inside a test program.
void RegisterTransferMessageClass();

// Seconds since an arbitrary start (QueryPerformanceCounter).
double Seconds();

// Removes every message waiting in the queue (quits included).
void DrainQueue();
