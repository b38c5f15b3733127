#include <windows.h>

#include "tests/config/spawn.h"

intptr_t StartWriter(const std::vector<std::string>& args) {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  if (n == 0 || n >= sizeof self) return -1;
  std::string program(self);
  program = program.substr(0, program.rfind('\\') + 1) + "config_writer.exe";
  std::string line = "\"" + program + "\"";
  for (const auto& a : args) line += " \"" + a + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  CloseHandle(process.hThread);
  return reinterpret_cast<intptr_t>(process.hProcess);
}

int WaitWriter(intptr_t handle) {
  HANDLE process = reinterpret_cast<HANDLE>(handle);
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process, 120000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code)) code = static_cast<DWORD>(-1);
  CloseHandle(process);
  return static_cast<int>(code);
}
