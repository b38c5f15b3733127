#include "server/fault_plan.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace {

struct ModeInfo {
  const char* name;
  FaultMode mode;
  int min_args;
  int max_args;
};

const ModeInfo Modes[] = {
    {"busy", FaultMode::Code, 0, 0},           {"code", FaultMode::Code, 1, 1},
    {"no-answer", FaultMode::NoAnswer, 0, 0},  {"hang-up", FaultMode::HangUp, 0, 0},
    {"empty-block", FaultMode::EmptyBlock, 0, 0},
    {"oversized-block", FaultMode::OversizedBlock, 0, 1},
    {"header-code", FaultMode::HeaderCode, 0, 1},
    {"chunk-size", FaultMode::ChunkSize, 1, 1}, {"total", FaultMode::Total, 1, 1},
    {"cut", FaultMode::Cut, 0, 1},              {"drip", FaultMode::Drip, 0, 2},
    {"stall", FaultMode::Stall, 0, 1},          {"list-count", FaultMode::ListCount, 1, 1},
    {"no-final-nul", FaultMode::NoFinalNul, 0, 0},
};

bool ParseNumber(const std::string& word, int64_t* out) {
  if (word.empty() || word.size() > 20) {
    return false;
  }
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(word.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') {
    return false;
  }
  *out = value;
  return true;
}

} // namespace

const char* FaultModeName(FaultMode mode) {
  if (mode == FaultMode::None) {
    return "none";
  }
  for (const ModeInfo& info : Modes) {
    if (info.mode == mode && info.mode != FaultMode::Code) {
      return info.name;
    }
  }
  return "code";
}

Fault FaultTable::For(int32_t type) const {
  auto it = by_type.find(type);
  if (it != by_type.end()) {
    return it->second;
  }
  return has_any ? any : Fault();
}

FaultTable ParseFaultTable(const std::string& text, std::vector<std::string>* errors) {
  FaultTable table;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    std::istringstream words(line);
    std::vector<std::string> w;
    std::string word;
    while (words >> word) {
      w.push_back(word);
    }
    if (w.empty() || w[0][0] == '#') {
      continue;
    }
    auto bad = [&](const char* why) {
      errors->push_back("line " + std::to_string(number) + ": " + why);
    };
    if (w.size() < 2) {
      bad("a request type and a mode are needed");
      continue;
    }
    int64_t type = 0;
    bool any = w[0] == "*";
    if (!any && (!ParseNumber(w[0], &type) || type < INT32_MIN || type > INT32_MAX)) {
      bad("request type is not a number or *");
      continue;
    }
    const ModeInfo* info = nullptr;
    for (const ModeInfo& s : Modes) {
      if (w[1] == s.name) {
        info = &s;
      }
    }
    if (!info) {
      bad("unknown mode");
      continue;
    }
    int args = static_cast<int>(w.size()) - 2;
    if (args < info->min_args || args > info->max_args) {
      bad("wrong number of values for this mode");
      continue;
    }
    Fault fault;
    fault.mode = info->mode;
    if (w[1] == "busy") {
      fault.arg1 = 3;
      fault.has_arg1 = true;
    }
    if (args >= 1 && !(fault.has_arg1 = ParseNumber(w[2], &fault.arg1))) {
      bad("value is not a number");
      continue;
    }
    if (args >= 2 && !(fault.has_arg2 = ParseNumber(w[3], &fault.arg2))) {
      bad("value is not a number");
      continue;
    }
    if (any) {
      table.any = fault;
      table.has_any = true;
    } else {
      table.by_type[type] = fault;
    }
  }
  return table;
}

FaultSource::FaultSource(std::string path) : path_(std::move(path)) {}

Fault FaultSource::For(int32_t type, std::string* problems) {
  if (path_.empty()) {
    return Fault();
  }
  std::string text;
  int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char buffer[4096];
    // A control file is a few lines; anything past 64 KiB is not read.
    while (text.size() < 65536) {
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        break;
      }
      text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
  }
  std::vector<std::string> errors;
  FaultTable table = ParseFaultTable(text, &errors);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (text != last_text_) {
      last_text_ = text;
      for (const std::string& e : errors) {
        *problems += (problems->empty() ? "" : "; ") + e;
      }
    }
  }
  return table.For(type);
}
