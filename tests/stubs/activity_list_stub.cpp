// Test stand-in for the activity list window: keeps the lines, at most
// ActivityListMax, dropping the oldest first.
#include "diag/activity_list.h"
#include "tests/stubs/stubs.h"

std::vector<std::string>& ActivityLines() {
  static std::vector<std::string> lines;
  return lines;
}

void ActivityListAdd(const char* line) {
  auto& lines = ActivityLines();
  lines.emplace_back(line ? line : "");
  while (static_cast<int>(lines.size()) > ActivityListMax) lines.erase(lines.begin());
}
