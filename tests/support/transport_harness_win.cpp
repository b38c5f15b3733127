// The part of the harness that drives the transport inside the test process:
// it uses the shell's globals and transfer message window, so only the test
// programs that link the shell's library pull it in.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>

#include "app/app.h"
#include "app/globals.h"
#include "app/status.h"
#include "config/basic_settings.h"
#include "config/config_file.h"
#include "diag/log.h"
#include "net/request_record.h"
#include "net/socket_layer.h"
#include "net/transport.h"
#include "net/transport_hooks.h"
#include "res/resource.h"
#include "tests/support/win_harness.h"

std::string UseScratchDataDirectory(const std::string& name) {
  std::string dir = MakeTestDir(name);
  std::snprintf(DataDirectory, sizeof DataDirectory, "%s", dir.c_str());
  std::snprintf(SaveLogToDisk, sizeof SaveLogToDisk, "%s", "Yes");
  return dir;
}

std::string BeginTransportTest(const std::string& name, const char* identity) {
  const std::string dir = UseScratchDataDirectory(name);
  std::snprintf(ServerHost, sizeof ServerHost, "%s", "127.0.0.1");
  std::snprintf(PlimSwitch, sizeof PlimSwitch, "%s", "No");
  std::snprintf(ClientIdentity, sizeof ClientIdentity, "%s", identity);
  SetSocketLibraryNameForTesting(nullptr);
  LoadSocketLibrary();
  TransferTimeout = 120;
  CancelTransfer = 0;
  Quitting = 0;
  return dir;
}

void EndTransportTest() {
  ShowTransferMessage(nullptr, nullptr);
  UnloadSocketLibrary();
  SetSocketLibraryNameForTesting(nullptr);
  TransferTimeout = 120;
  Quitting = 0;
  CancelTransfer = 0;
  DrainQueue();
}

std::string LogText() { return ReadFile(std::string(DataDirectory) + "VelmorW.log"); }

std::vector<std::string> ActivityLines() {
  std::vector<std::string> lines;
  const std::string log = LogText();
  size_t at = 0;
  while (at < log.size()) {
    size_t end = log.find("\r\n", at);
    if (end == std::string::npos) break;
    std::string line = log.substr(at, end - at);
    size_t tab = line.find("-\t");
    if (tab != std::string::npos && line.find("VelmorW-") == std::string::npos) lines.push_back(line.substr(tab + 2));
    at = end + 2;
  }
  return lines;
}

std::string WireRecord(int code, int num1, int num2) {
  RequestRecord r = EmptyRecord();
  r.code = code;
  r.num1 = num1;
  r.num2 = num2;
  unsigned char wire[RequestRecordSize];
  EncodeRequestRecord(r, wire);
  return std::string(reinterpret_cast<char*>(wire), RequestRecordSize);
}

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
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MAIN_TEXTPANE)), wc.hInstance, nullptr);
  Shell.MainWindow = window_;
  InstallTransportHooks();
}

TestMainWindow::~TestMainWindow() {
  if (Shell.MainWindow == window_) Shell.MainWindow = nullptr;
  DestroyWindow(window_);
}

void RegisterTransferMessageClass() {
  if (!Shell.AppInstance) Shell.AppInstance = GetModuleHandleA(nullptr);
  InstallTransportHooks();
  WNDCLASSA wc = {};
  wc.lpfnWndProc = TransferMessageProc;
  wc.hInstance = Shell.AppInstance;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = MessageWindowClassName;
  RegisterClassA(&wc);
}

namespace {

struct SilentLookup {
  HWND window;
  UINT message;
  HANDLE task;
};
std::vector<SilentLookup> silentLookups;
// Task handles only have to be distinct and never null.
UINT_PTR nextSilentTask = 0x5100;

int startedLookups = 0;
int cancelledLookups = 0;

int WINAPI CancelSilentLookup(void* task) {
  for (auto it = silentLookups.begin(); it != silentLookups.end(); ++it) {
    if (it->task != task) continue;
    silentLookups.erase(it);
    ++cancelledLookups;
    return 0;
  }
  return -1;
}

HANDLE WINAPI StartSilentLookup(HWND window, u_int message, const char*, char*, int) {
  const HANDLE task = reinterpret_cast<HANDLE>(++nextSilentTask);
  silentLookups.push_back({window, message, task});
  ++startedLookups;
  return task;
}

}  // namespace

SilentResolver::SilentResolver() {
  silentLookups.clear();
  startedLookups = 0;
  cancelledLookups = 0;
  SetHostLookupForTesting(StartSilentLookup);
  SetHostLookupCancelForTesting(CancelSilentLookup);
}

SilentResolver::~SilentResolver() {
  LateAnswer();
  SetHostLookupForTesting(nullptr);
  SetHostLookupCancelForTesting(nullptr);
}

int SilentResolver::Started() const { return startedLookups; }

int SilentResolver::Cancelled() const { return cancelledLookups; }

void SilentResolver::LateAnswer() {
  for (const SilentLookup& l : silentLookups) {
    PostMessageA(l.window, l.message, reinterpret_cast<WPARAM>(l.task), WSAMAKEASYNCREPLY(0, WSAHOST_NOT_FOUND));
    // The answer releases the lookup's buffer when it is dispatched.
    MSG msg;
    while (PeekMessageA(&msg, l.window, l.message, l.message, PM_REMOVE)) DispatchMessageA(&msg);
  }
  silentLookups.clear();
}
