#include "server/server_log.h"

#include <sys/time.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

std::string Now() {
  timeval tv;
  ::gettimeofday(&tv, nullptr);
  std::tm local;
  time_t seconds = tv.tv_sec;
  localtime_r(&seconds, &local);
  char text[48];
  std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  std::snprintf(text + n, sizeof text - n, ".%03d", static_cast<int>(tv.tv_usec / 1000));
  return text;
}

} // namespace

const char* RequestTypeName(int32_t type) {
  switch (type) {
    case 1: return "quote";
    case 2: return "picture";
    case 3: return "sound";
    case 6: return "add-category";
    case 7: return "donate";
    case 8: return "news";
    case 9: return "tips";
    case 10: return "comment";
    case 11: return "ping";
    case 12: return "category-list";
    case 13: return "status-line";
    default: return "unknown";
  }
}

std::string LogSafe(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

ServerLog::~ServerLog() {
  if (own_file_ && file_) {
    std::fclose(file_);
  }
}

bool ServerLog::Open(const std::string& target, std::string* error) {
  if (target == "none") {
    return true;
  }
  if (target == "-") {
    file_ = stderr;
    return true;
  }
  file_ = std::fopen(target.c_str(), "a");
  if (!file_) {
    *error = "cannot open log " + target + ": " + std::strerror(errno);
    return false;
  }
  own_file_ = true;
  return true;
}

void ServerLog::Write(const std::string& text) {
  if (!file_) {
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fflush(file_);
}

void ServerLog::Exchange(const ExchangeLogLine& line) {
  if (!file_) {
    return;
  }
  char numbers[160];
  if (line.request_read) {
    std::snprintf(numbers, sizeof numbers, " type=%d/%s", static_cast<int>(line.request_type),
                  RequestTypeName(line.request_type));
  } else {
    std::snprintf(numbers, sizeof numbers, " type=-");
  }
  std::string text = Now() + " client=" + line.client_id + numbers;
  char result[32];
  if (line.responded) {
    std::snprintf(result, sizeof result, " result=%d", static_cast<int>(line.response_code));
  } else {
    std::snprintf(result, sizeof result, " result=-");
  }
  char tail[96];
  std::snprintf(tail, sizeof tail, " in=%lld out=%lld ms=%.2f", static_cast<long long>(line.bytes_in),
                static_cast<long long>(line.bytes_out), line.milliseconds);
  text += result;
  text += tail;
  if (!line.address.empty()) {
    text += " from=" + LogSafe(line.address);
  }
  if (!line.outcome.empty()) {
    text += " \"" + LogSafe(line.outcome) + "\"";
  }
  text += '\n';
  Write(text);
}

void ServerLog::Note(const std::string& text) {
  Write(Now() + " " + LogSafe(text) + "\n");
}
