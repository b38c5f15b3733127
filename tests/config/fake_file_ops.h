// An in-memory disk behind the file seam, with failures on demand, so that
// every error path of the configuration file can be driven and observed.
#pragma once
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

struct FakeDisk {
  std::map<std::string, std::string> files;  // path as the program spells it
  std::set<std::string> readOnly;            // OsCanWrite refuses these
  // errno to fail the next such calls with; 0 lets them succeed.
  int openError = 0;
  int lengthError = 0;
  long long reportedLength = -1;  // a length to report instead of the real one
  int readError = 0;
  int readErrorAfter = 0;  // bytes delivered before the read fails
  int closeError = 0;
  int createError = 0;
  int writeError = 0;
  int flushError = 0;
  int replaceError = 0;
  int lockError = 0;
  std::function<void()> duringRead;  // runs inside the next read, once
  std::vector<std::string> events;  // "lock ex <path>", "open <path>", ...
};

FakeDisk& Disk();
void ResetDisk();
