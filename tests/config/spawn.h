// Test seam: starting the writer helper program (config_writer, beside the
// test program) as a separate process and waiting for it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Returns a handle for WaitWriter, or -1 when the process cannot start.
intptr_t StartWriter(const std::vector<std::string>& args);
// Waits for the process to end and returns its exit code (-1 when unknown).
int WaitWriter(intptr_t handle);
