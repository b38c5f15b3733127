#include "tests/support/win_harness.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>

#include "res/resource.h"

ScratchDirectory::ScratchDirectory() {
  static int serial = 0;
  path_ = MakeTestDir("s" + std::to_string(serial++));
  path_.pop_back();
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string CfgValue(const std::string& cfg, const std::string& key) {
  size_t at = 0;
  while (at < cfg.size()) {
    size_t end = cfg.find("\r\n", at);
    if (end == std::string::npos) end = cfg.size();
    const std::string line = cfg.substr(at, end - at);
    at = end + 2;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string k = line.substr(0, eq), v = line.substr(eq + 1);
    while (!k.empty() && k.back() == ' ') k.pop_back();
    while (!v.empty() && v.front() == ' ') v.erase(0, 1);
    while (!v.empty() && v.back() == ' ') v.pop_back();
    if (k == key) return v;
  }
  return "<absent>";
}

void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // Not ours to swallow: put it back for whoever runs the loop.
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    const DWORD spent = GetTickCount() - start;
    if (spent >= ms) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
  }
}

bool PumpUntil(const std::function<bool()>& pred, DWORD ms) {
  const DWORD start = GetTickCount();
  while (!pred()) {
    if (GetTickCount() - start >= ms) return pred();
    Pump(20);
  }
  return true;
}

void DrainQueue() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

bool PumpUntilQuit(DWORD ms) {
  const DWORD start = GetTickCount();
  MSG m;
  while (GetTickCount() - start < ms) {
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) return true;
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return false;
}

bool PumpEachUntil(const std::function<bool()>& pred, DWORD ms) {
  const DWORD start = GetTickCount();
  MSG m;
  while (!pred() && GetTickCount() - start < ms) {
    if (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageA(&m);
    else
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return pred();
}

double Seconds() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

struct DelayedAction::State {
  std::function<void()> action;
  bool fired = false;
  UINT_PTR timer = 0;
};

namespace {

std::vector<DelayedAction::State*> delayed;

void CALLBACK DelayedTimer(HWND, UINT, UINT_PTR id, DWORD) {
  for (DelayedAction::State* d : delayed) {
    if (d->timer == id && !d->fired) {
      KillTimer(nullptr, id);
      d->fired = true;
      d->action();
      return;
    }
  }
}

}  // namespace

DelayedAction::DelayedAction(unsigned delayMs, std::function<void()> action) : state_(new State) {
  state_->action = std::move(action);
  state_->timer = SetTimer(nullptr, 0, delayMs, DelayedTimer);
  delayed.push_back(state_);
}

DelayedAction::~DelayedAction() {
  if (!state_->fired) KillTimer(nullptr, state_->timer);
  for (size_t i = 0; i < delayed.size(); ++i) {
    if (delayed[i] == state_) delayed.erase(delayed.begin() + static_cast<std::ptrdiff_t>(i));
  }
  delete state_;
}

bool DelayedAction::Fired() const { return state_->fired; }

std::string WindowText(HWND w) {
  char buf[1024] = "";
  GetWindowTextA(w, buf, sizeof buf);
  return buf;
}

std::string ClassOf(HWND w) {
  char buf[256] = "";
  GetClassNameA(w, buf, sizeof buf);
  return buf;
}

RECT ChildRect(HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::vector<HWND> StaticsWithText(HWND parent, const std::string& text) {
  std::vector<HWND> found;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (_stricmp(ClassOf(c).c_str(), "Static") == 0 && WindowText(c) == text) found.push_back(c);
  return found;
}

std::string StaticTextOf(HWND popup) {
  std::string text;
  EnumChildWindows(
      popup,
      [](HWND child, LPARAM out) -> BOOL {
        if (_stricmp(ClassOf(child).c_str(), "Static") == 0) *reinterpret_cast<std::string*>(out) = WindowText(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&text));
  return text;
}

bool TrayIconExists(HWND owner, UINT id) {
  NOTIFYICONDATAA nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = owner;
  nid.uID = id;
  nid.uFlags = 0;  // changes nothing; fails when there is no such icon
  return Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

std::string PaneTextOf(HWND main) {
  HWND pane = GetDlgItem(main, IDC_MAIN_TEXTPANE);
  const int n = GetWindowTextLengthA(pane);
  std::string text(static_cast<size_t>(n) + 1, '\0');
  GetWindowTextA(pane, &text[0], n + 1);
  text.resize(static_cast<size_t>(n));
  return text;
}

namespace {

DialogWatch* activeWatch = nullptr;

// Under Wine the hook also hears of other programs' windows being activated
// (a test program running beside this one).
bool OfThisThread(HWND w) { return GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId(); }

}  // namespace

DialogWatch::DialogWatch(std::function<void(const SeenDialog&)> onDialog)
    : onDialog_(std::move(onDialog)) {
  activeWatch = this;
  hook_ = SetWindowsHookExA(WH_CBT, Hook, nullptr, GetCurrentThreadId());
}

DialogWatch::~DialogWatch() {
  UnhookWindowsHookEx(hook_);
  for (auto& p : pending_) KillTimer(nullptr, p.first);
  activeWatch = nullptr;
}

LRESULT CALLBACK DialogWatch::Hook(int code, WPARAM wp, LPARAM lp) {
  DialogWatch* self = activeWatch;
  if (self && code == HCBT_ACTIVATE) {
    HWND w = reinterpret_cast<HWND>(wp);
    bool known = false;
    for (const auto& s : self->seen_) known = known || s.window == w;
    if (!known && OfThisThread(w) && ClassOf(w) == "#32770") {
      SeenDialog d{w, GetWindow(w, GW_OWNER), WindowText(w), ""};
      if (HWND text = GetDlgItem(w, 0xFFFF)) d.text = WindowText(text);
      self->seen_.push_back(d);
      const UINT_PTR timer = SetTimer(nullptr, 0, 10, Later);
      self->pending_.emplace_back(timer, self->seen_.size() - 1);
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

void CALLBACK DialogWatch::Later(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  DialogWatch* self = activeWatch;
  if (!self) return;
  for (size_t i = 0; i < self->pending_.size(); ++i) {
    if (self->pending_[i].first != id) continue;
    const SeenDialog d = self->seen_[self->pending_[i].second];
    self->pending_.erase(self->pending_.begin() + static_cast<std::ptrdiff_t>(i));
    if (!IsWindow(d.window)) return;
    if (self->onDialog_)
      self->onDialog_(d);
    else if (GetDlgItem(d.window, 0xFFFF))
      PressOk(d.window);
    return;
  }
}

namespace {
MessageBoxRecorder* activeRecorder = nullptr;
}

MessageBoxRecorder::MessageBoxRecorder() {
  activeRecorder = this;
  hook_ = SetWindowsHookExA(WH_CBT, Hook, nullptr, GetCurrentThreadId());
}

MessageBoxRecorder::~MessageBoxRecorder() {
  UnhookWindowsHookEx(hook_);
  activeRecorder = nullptr;
}

LRESULT CALLBACK MessageBoxRecorder::Hook(int code, WPARAM wp, LPARAM lp) {
  MessageBoxRecorder* self = activeRecorder;
  if (self && code == HCBT_ACTIVATE) {
    HWND w = reinterpret_cast<HWND>(wp);
    bool known = false;
    for (HWND seen : self->windows_) known = known || seen == w;
    // A box activated again (another program took the focus meanwhile) is
    // the same box.
    if (!known && OfThisThread(w) && ClassOf(w) == "#32770") {
      self->windows_.push_back(w);
      HWND text = GetDlgItem(w, 0xFFFF);
      self->texts_.push_back(text ? WindowText(text) : "");
      DialogWatch::PressOk(w);
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

namespace {

BOOL CALLBACK EndThreadDialog(HWND w, LPARAM) {
  if (ClassOf(w) == "#32770") EndDialog(w, 0);
  return TRUE;
}

}  // namespace

Watchdog::Watchdog(DWORD ms) { timer_ = SetTimer(nullptr, 0, ms, Fire); }
Watchdog::~Watchdog() { KillTimer(nullptr, timer_); }

void CALLBACK Watchdog::Fire(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  ADD_FAILURE() << "watchdog: a modal loop did not end";
  EndMenu();
  EnumThreadWindows(GetCurrentThreadId(), EndThreadDialog, 0);
}
