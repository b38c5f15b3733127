// Stand-in for the logs in the configuration tests: keeps the messages given
// to the internal log, in order, so that tests can compare them exactly.
#include <cstdio>

#include "diag/log.h"
#include "tests/config/test_support.h"

namespace {
std::vector<std::string> internal;
}

char LogBaseName[32] = "VelmorW";
char SaveLogToDisk[11] = "";

void TimeStamp(char* out) { std::snprintf(out, TimeStampLength + 1, "%s", " 1/01/1996 12:00:00a"); }
void LogActivity(const char*) {}
void LogActivityCode(const char*, int) {}
void LogActivityPair(const char*, const char*) {}
void LogInternal(const char* message) { internal.emplace_back(message); }
void LogInternalCode(const char* message, int code) {
  internal.emplace_back(std::string(message) + " (" + std::to_string(code) + ")");
}
void WriteLogFileLine(const char* text) { internal.emplace_back(text); }

std::vector<std::string> InternalMessages() { return internal; }
void ClearInternalMessages() { internal.clear(); }
