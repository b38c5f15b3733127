#include "tests/schedule/status_line_stub.h"

#include "schedule/status_line.h"

std::vector<std::string>& StatusLineLabels() {
  static std::vector<std::string> labels;
  return labels;
}

void ShowStatusLineLabel(const char* text) { StatusLineLabels().emplace_back(text ? text : "<none>"); }
