#include <limits.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/config/spawn.h"

extern char** environ;

intptr_t StartWriter(const std::vector<std::string>& args) {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return -1;
  self[n] = '\0';
  std::string program(self);
  program = program.substr(0, program.rfind('/') + 1) + "config_writer";
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

int WaitWriter(intptr_t handle) {
  int status = 0;
  if (waitpid(static_cast<pid_t>(handle), &status, 0) < 0 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}
