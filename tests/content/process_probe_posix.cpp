#include <dirent.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "tests/content/process_probe.h"

extern char** environ;

long OpenHandleCount() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  long n = 0;
  while (readdir(dir) != nullptr) ++n;
  closedir(dir);
  return n - 3;  // ".", ".." and the descriptor of the listing itself
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMOR_ASAN 1
#endif
#endif
#ifdef VELMOR_ASAN
#include <sanitizer/allocator_interface.h>
long long HeapBytesInUse() { return static_cast<long long>(__sanitizer_get_current_allocated_bytes()); }
#else
long long HeapBytesInUse() {
  struct mallinfo2 info = mallinfo2();
  return static_cast<long long>(info.uordblks + info.hblkhd);
}
#endif

namespace {
double CpuSeconds(const struct rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
}  // namespace

double ProcessCpuSeconds() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return CpuSeconds(usage);
}

int RunProgram(const std::string& program, const std::vector<std::string>& args, double* cpuSeconds) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) < 0 || !WIFEXITED(status)) return -1;
  if (cpuSeconds != nullptr) *cpuSeconds = CpuSeconds(usage);
  return WEXITSTATUS(status);
}

std::string PlatformPath(const std::string& hostPath) { return hostPath; }
