#include "diag/log.h"

#include <cstdio>
#include <cstring>

#include "base/clock.h"
#include "base/data_directory.h"
#include "base/file_ops.h"
#include "base/guarded.h"
#include "diag/activity_list.h"

char LogBaseName[32] = "VelmorW";
char SaveLogToDisk[11] = "No";

// Every line, in the list and in the file, is built in a buffer of this size.
// Longer texts are cut at the end so that the line keeps its first 199
// characters: the stamps and the start of the message always survive. With
// the 20-character stamp that leaves room for 177 characters of an activity
// message in the list and 154 in the file (whose line carries a second stamp
// and " - "), and 178 characters of text after "stamp-" in an internal line.
namespace {

constexpr std::size_t LineSize = 200;
// The longest path: 99 characters of directory, 31 of base name, ".log".
constexpr std::size_t PathSize = 300;

bool ActivityGoesToFile() { return SaveLogToDisk[0] == 'Y' || SaveLogToDisk[0] == 'y'; }

// One open, write and close per line, so that the file is complete after
// every line and lines of the two instances interleave whole. Binary mode
// with an explicit CR LF gives the same bytes whatever the platform's text
// mode would do. A file that cannot be opened loses the line silently. The
// path goes through the file seam like velmor.cfg's, so that it is inside
// the data directory whatever separates directories on this platform.
void AppendToLogFile(const char* line) {
  char name[40];
  std::snprintf(name, sizeof name, "%.31s.log", LogBaseName);
  char path[PathSize];
  DataDirectoryPath(path, sizeof path, name);
  int fd = OsOpenAppend(path);
  if (fd == -1) return;
  OsWrite(fd, line, static_cast<int>(std::strlen(line)));
  OsWrite(fd, "\r\n", 2);
  OsClose(fd);
}

// Texts longer than a line can hold are not copied whole into the guarded
// block: nothing past the first 199 characters of the line reaches the file.
std::size_t UsefulLength(const char* text) {
  std::size_t n = std::strlen(text);
  return n < LineSize ? n : LineSize;
}

}  // namespace

void TimeStamp(char* out) {
  // From the calendar, not through the 32-bit clock value, which wraps to
  // 1901 after January 2038.
  ClockParts now;
  ClockNowParts(&now);
  int hour = now.hour % 12;
  if (hour == 0) hour = 12;
  const char half = now.hour < 12 ? 'a' : 'p';
  std::snprintf(out, TimeStampLength + 1, "%2d/%02d/%d %2d:%02d:%02d%c", now.month, now.day, now.year, hour,
                now.minute, now.second, half);
}

void LogActivity(const char* message) {
  if (!message) message = "";
  char stamp[TimeStampLength + 1];
  TimeStamp(stamp);
  char line[LineSize];
  std::snprintf(line, sizeof line, "%s-\t%s", stamp, message);
  ActivityListAdd(line);

  if (!ActivityGoesToFile()) return;
  TimeStamp(stamp);
  char fileLine[LineSize];
  // A line longer than the log's lines is cut, as on the screen.
  const int length = std::snprintf(fileLine, sizeof fileLine, "%s - %s", stamp, line);
  if (length < 0) return;
  AppendToLogFile(fileLine);
}

void LogActivityCode(const char* message, int code) {
  char text[LineSize];
  std::snprintf(text, sizeof text, "%s error: %d", message ? message : "", code);
  LogActivity(text);
}

void LogActivityPair(const char* first, const char* second) {
  char text[LineSize];
  std::snprintf(text, sizeof text, "%s %s", first ? first : "", second ? second : "");
  LogActivity(text);
}

void LogInternal(const char* message) {
  if (!message) message = "";
  const std::size_t size = UsefulLength(message) + std::strlen(LogBaseName) + 25;
  char* text = GuardedAlloc(static_cast<int>(size));
  std::snprintf(text, size, "%s-%s", LogBaseName, message);
  WriteLogFileLine(text);
  GuardedFree(text);
}

void LogInternalCode(const char* message, int code) {
  if (!message) message = "";
  const std::size_t size = UsefulLength(message) + 25;
  char* text = GuardedAlloc(static_cast<int>(size));
  std::snprintf(text, size, "%s (%d)", message, code);
  WriteLogFileLine(text);
  GuardedFree(text);
}

void WriteLogFileLine(const char* text) {
  char stamp[TimeStampLength + 1];
  TimeStamp(stamp);
  char line[LineSize];
  std::snprintf(line, sizeof line, "%s-%s", stamp, text ? text : "");
  AppendToLogFile(line);
}
