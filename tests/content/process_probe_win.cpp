#include <windows.h>

#include "tests/content/process_probe.h"

long OpenHandleCount() {
  DWORD n = 0;
  if (!GetProcessHandleCount(GetCurrentProcess(), &n)) return -1;
  return static_cast<long>(n);
}

// Busy bytes of every heap of the process (the C runtime's malloc included).
long long HeapBytesInUse() {
  HANDLE heaps[64];
  DWORD count = GetProcessHeaps(64, heaps);
  long long total = 0;
  for (DWORD i = 0; i < count && i < 64; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    HeapUnlock(heaps[i]);
  }
  return total;
}

int RunProgram(const std::string& program, const std::vector<std::string>& args) {
  std::string line = "\"" + program + "\"";
  for (const auto& a : args) line += " \"" + a + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  CloseHandle(process.hThread);
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 600000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.hProcess, &code))
    code = static_cast<DWORD>(-1);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

std::string PlatformPath(const std::string& hostPath) {
  std::string out = "Z:" + hostPath;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}
