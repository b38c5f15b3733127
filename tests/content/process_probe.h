// What a test can see of its own process and of a program it starts:
// natively through /proc and the sanitizer's allocator, under Wine through
// the Win32 process calls.
#pragma once
#include <string>
#include <vector>

// Open file descriptors (natively) or handles (Windows) of this process.
long OpenHandleCount();
// Bytes of heap memory in use by this process.
long long HeapBytesInUse();
// Runs a program with the given arguments to its end and returns its exit
// code, or -1 when it cannot be run. program is a path of this platform.
// cpuSeconds, when given, receives the processor time the program used.
int RunProgram(const std::string& program, const std::vector<std::string>& args, double* cpuSeconds = nullptr);
// Processor time used by this process so far.
double ProcessCpuSeconds();
// A path of this build's platform for a path of the build machine.
std::string PlatformPath(const std::string& hostPath);
