#include "tests/net/win_test_support.h"

#include <cstdio>

#include "app/globals.h"
#include "app/status.h"
#include "config/config_file.h"
#include "diag/log.h"
#include "tests/net/test_dir.h"

std::string UseScratchDataDirectory(const std::string& name) {
  std::string dir = MakeTestDir(name);
  std::snprintf(DataDirectory, sizeof DataDirectory, "%s", dir.c_str());
  std::snprintf(SaveLogToDisk, sizeof SaveLogToDisk, "%s", "Yes");
  return dir;
}

std::string LogText() { return ReadFile(std::string(DataDirectory) + "VelmorW.log"); }

int LogCount(const std::string& text) {
  std::string log = LogText();
  int count = 0;
  size_t at = 0;
  // A line ends in the text when CR LF follows it.
  std::string needle = text + "\r\n";
  while ((at = log.find(needle, at)) != std::string::npos) {
    ++count;
    at += needle.size();
  }
  return count;
}

bool LogHas(const std::string& text) { return LogCount(text) > 0; }

namespace {

LRESULT CALLBACK TestMainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

std::vector<std::string> boxTexts;
HHOOK boxHook = nullptr;

LRESULT CALLBACK BoxHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE) {
    HWND w = reinterpret_cast<HWND>(wp);
    char cls[32] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (std::string(cls) == "#32770") {
      char text[512] = {};
      GetDlgItemTextA(w, 0xFFFF, text, sizeof text);
      boxTexts.emplace_back(text);
      PostMessageA(w, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(boxHook, code, wp, lp);
}

struct DelayedState {
  std::function<void()> action;
  bool fired = false;
  UINT_PTR timer = 0;
};
std::vector<DelayedState*> delayed;

void CALLBACK DelayedTimer(HWND, UINT, UINT_PTR id, DWORD) {
  for (DelayedState* d : delayed) {
    if (d->timer == id && !d->fired) {
      KillTimer(nullptr, id);
      d->fired = true;
      d->action();
      return;
    }
  }
}

}  // namespace

TestMainWindow::TestMainWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = TestMainProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "VelmorNetTestMain";
  RegisterClassA(&wc);
  window_ = CreateWindowA("VelmorNetTestMain", "VelmorW", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                          wc.hInstance, nullptr);
  CreateWindowA("EDIT", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY, 5, 5, 300, 200, window_,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(5)), wc.hInstance, nullptr);
  MainWindow = window_;
}

TestMainWindow::~TestMainWindow() {
  if (MainWindow == window_) MainWindow = nullptr;
  DestroyWindow(window_);
}

std::string TestMainWindow::PaneText() const {
  HWND pane = GetDlgItem(window_, 5);
  int n = GetWindowTextLengthA(pane);
  std::string text(static_cast<size_t>(n) + 1, '\0');
  GetWindowTextA(pane, &text[0], n + 1);
  text.resize(static_cast<size_t>(n));
  return text;
}

MessageBoxRecorder::MessageBoxRecorder() {
  boxTexts.clear();
  boxHook = SetWindowsHookExA(WH_CBT, BoxHook, nullptr, GetCurrentThreadId());
}

MessageBoxRecorder::~MessageBoxRecorder() {
  UnhookWindowsHookEx(boxHook);
  boxHook = nullptr;
}

const std::vector<std::string>& MessageBoxRecorder::Texts() const { return boxTexts; }

struct DelayedAction::State : DelayedState {};

DelayedAction::DelayedAction(unsigned delayMs, std::function<void()> action) : state_(new State) {
  state_->action = std::move(action);
  state_->timer = SetTimer(nullptr, 0, delayMs, DelayedTimer);
  delayed.push_back(state_);
}

DelayedAction::~DelayedAction() {
  if (!state_->fired) KillTimer(nullptr, state_->timer);
  for (size_t i = 0; i < delayed.size(); ++i) {
    if (delayed[i] == state_) delayed.erase(delayed.begin() + static_cast<long>(i));
  }
  delete state_;
}

bool DelayedAction::Fired() const { return state_->fired; }

std::string StaticTextOf(HWND popup) {
  std::string text;
  EnumChildWindows(
      popup,
      [](HWND child, LPARAM out) -> BOOL {
        char cls[16] = {};
        GetClassNameA(child, cls, sizeof cls);
        if (std::string(cls) == "Static") {
          char t[200] = {};
          GetWindowTextA(child, t, sizeof t);
          *reinterpret_cast<std::string*>(out) = t;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&text));
  return text;
}

void RegisterTransferMessageClass() {
  if (!AppInstance) AppInstance = GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = TransferMessageProc;
  wc.hInstance = AppInstance;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = MessageWindowClassName;
  RegisterClassA(&wc);
}

double Seconds() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

void DrainQueue() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}
