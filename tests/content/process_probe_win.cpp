#include <windows.h>

#include <cstdint>

#include "tests/content/process_probe.h"

// Wine's GetProcessHandleCount does not count, so the handle values are
// probed: a new handle takes the lowest free value (multiples of 4), and
// this process holds far fewer than the 4,096 probed.
long OpenHandleCount() {
  long n = 0;
  for (uintptr_t value = 4; value < 4 * 4096; value += 4) {
    DWORD flags;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++n;
  }
  return n;
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

namespace {
double CpuSeconds(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}
}  // namespace

double ProcessCpuSeconds() { return CpuSeconds(GetCurrentProcess()); }

int RunProgram(const std::string& program, const std::vector<std::string>& args, double* cpuSeconds) {
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
  if (cpuSeconds != nullptr) *cpuSeconds = CpuSeconds(process.hProcess);
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
