// velmor.cfg: reading, rewriting and the small text helpers around it.
//
// There is no copy of the file in memory between calls: every read opens,
// reads and closes the file, and every write reads it whole and replaces it.
// Two processes use the file (the normal and the transfer instance), so a
// write holds an exclusive lock on a lock file beside it from its read to
// the moment the new file takes the old one's place, and builds the new text
// in a file of its own first: the old file is never seen half written, and
// an update of one process is never lost to the other's older read. Reads
// take the lock shared, which keeps them out of the window in which a
// writer replaces the file (on Windows an open reader would make the
// replacement fail).
#include "config/config_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <algorithm>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/file_ops.h"
#include "base/guarded.h"
#include "base/text_encoding.h"
#include "base/user_message.h"
#include "diag/log.h"

namespace {

constexpr int LineBufferSize = ConfigLineMax + 1;  // 500
constexpr int PathBufferSize = ConfigPathMax + 1;  // 300
// Room for the path and the suffix of the lock file or the new file.
constexpr int SidePathBufferSize = PathBufferSize + 8;
constexpr int OutputBufferSize = 64 * 1024;
constexpr char FillerSpaces[] = "                              ";  // 30

constexpr const char* OpOpen = "DosOpen config file";
constexpr const char* OpLength = "Getting file length";
constexpr const char* OpRead = "read cfg file";
constexpr const char* OpClose = "DosClose configfile";
constexpr const char* OpWrite = "write new cfg file";
constexpr const char* OpReplace = "replace cfg file";
constexpr const char* OpKey = "check cfg key";

// Case-insensitive order of keys.
int CompareKeys(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca + 32);
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb + 32);
    if (ca != cb || ca == 0) return static_cast<int>(ca) - static_cast<int>(cb);
  }
}

bool SameKey(const char* a, const char* b) { return CompareKeys(a, b) == 0; }

// Copies at most size - 1 characters of text into out and terminates it.
void CopyCut(char* out, std::size_t size, const char* text, std::size_t length) {
  if (size == 0) return;
  if (length > size - 1) length = size - 1;
  std::memcpy(out, text, length);
  out[length] = '\0';
}

// DataDirectory, a backslash when needed, the file name. A path that does
// not fit the buffer is refused with errno set as the runtime does for it.
bool BuildPath(char* out, const char* fileName) {
  CopyCut(out, PathBufferSize, DataDirectory, strnlen(DataDirectory, sizeof DataDirectory));
  AddBackslash(out, PathBufferSize);
  std::size_t used = std::strlen(out), name = std::strlen(fileName);
  if (used + name > ConfigPathMax || (DataDirectory[0] != '\0' && out[used - 1] != '\\')) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(out + used, fileName, name + 1);
  return true;
}

void SidePath(char* out, const char* path, const char* suffix) {
  std::snprintf(out, SidePathBufferSize, "%s%s", path, suffix);
}

// The file's text in memory, in a guarded block, followed by CR LF so that
// a last line without a line end still counts as a line.
struct FileText {
  char* data = nullptr;
  std::size_t length = 0;  // with the appended CR LF
  int openError = 0;       // errno of a failed open
  bool complete = true;    // false when a read failed or the file grew meanwhile
};

enum class ReadResult { Ok, OpenFailed, Failed };

// What a read reports to the internal log: every failure; every failure but
// a failed open (a writer then starts the file afresh); or none, for a
// caller that reads key by key instead when the whole file cannot be had
// cleanly, and lets those reads report.
enum class Reports { All, AllButOpen, None };

ReadResult ReadFileText(const char* path, Reports reports, FileText* text) {
  int fd = OsOpenRead(path);
  if (fd == -1) {
    text->openError = errno;
    if (reports == Reports::All) ReportIoError(-1, OpOpen);
    return ReadResult::OpenFailed;
  }
  const bool report = reports != Reports::None;
  int64_t length = OsFileLength(fd);
  if (length > ConfigFileMaxLength) {
    errno = EFBIG;
    length = -1;
  }
  if (length < 0) {
    if (report) ReportIoError(-1, OpLength);
    OsClose(fd);
    return ReadResult::Failed;
  }
  int size = static_cast<int>(length) + 20;
  char* data = GuardedAlloc(size);
  int room = size - 2;  // keep two bytes for the CR LF
  int total = 0;
  bool readFailed = false;
  while (total < room) {
    int n = OsRead(fd, data + total, room - total);
    if (n == -1) {
      if (report) ReportIoError(-1, OpRead);
      text->complete = false;
      readFailed = true;
      break;
    }
    if (n == 0) break;
    total += n;
  }
  if (total == room) {
    // The file grew since its length was taken; what we hold is not all of
    // it, which is good enough to read from but not to rewrite.
    char probe;
    if (OsRead(fd, &probe, 1) != 0) text->complete = false;
  }
  const int closed = OsClose(fd);
  if (report) ReportIoError(closed, OpClose);
  if (!report && (readFailed || closed == -1)) {
    GuardedFree(data);
    return ReadResult::Failed;
  }
  data[total] = '\r';
  data[total + 1] = '\n';
  text->data = data;
  text->length = static_cast<std::size_t>(total) + 2;
  return ReadResult::Ok;
}

enum class LineKind { Setting, NoEquals, Unreadable };

// Classifies one line of the text. For a setting, line receives the line
// trimmed, key the part before the first equals sign trimmed, and *value
// points at the value inside line, trimmed. line and key are
// LineBufferSize bytes each.
LineKind ParseLine(const char* start, std::size_t length, char* line, char* key, char** value) {
  bool hasEquals = std::memchr(start, '=', length) != nullptr;
  if (length > static_cast<std::size_t>(ConfigLineMax) || std::memchr(start, '\0', length))
    return hasEquals ? LineKind::Unreadable : LineKind::NoEquals;
  if (!hasEquals) return LineKind::NoEquals;
  std::memcpy(line, start, length);
  line[length] = '\0';
  TrimSpaces(line);
  char* equals = std::strchr(line, '=');
  std::size_t keyLength = static_cast<std::size_t>(equals - line);
  std::memcpy(key, line, keyLength);
  key[keyLength] = '\0';
  TrimSpaces(key);
  *value = TrimSpaces(equals + 1);
  return LineKind::Setting;
}

// Finds key in the file at path; the caller holds the lock or reads without.
int GetWithPath(char* out, std::size_t outSize, const char* key, const char* path) {
  FileText text;
  if (ReadFileText(path, Reports::All, &text) != ReadResult::Ok) return 0;
  char* line = GuardedAlloc(LineBufferSize);
  char* lineKey = GuardedAlloc(LineBufferSize);
  TextCursor cursor;
  TextCursorStart(&cursor, text.data, text.length);
  const char* start;
  std::size_t length;
  int found = 0;
  while (!found && NextTextLine(&cursor, &start, &length)) {
    char* value;
    if (ParseLine(start, length, line, lineKey, &value) != LineKind::Setting) continue;
    if (!SameKey(lineKey, key)) continue;
    CopyStoredText(out, outSize, value, std::strlen(value));
    found = 1;
  }
  GuardedFree(line);
  GuardedFree(lineKey);
  GuardedFree(text.data);
  return found;
}

// Buffered writing of the new file, with a sticky error.
struct Output {
  int fd;
  char* buffer;
  int used;
  int error;  // errno of the first failure, 0 while all is well
};

void FlushOutput(Output* out) {
  if (out->error == 0 && out->used > 0 && OsWrite(out->fd, out->buffer, out->used) == -1)
    out->error = errno ? errno : EIO;
  out->used = 0;
}

void Put(Output* out, const char* data, std::size_t length) {
  if (out->error != 0) return;
  if (static_cast<std::size_t>(out->used) + length > static_cast<std::size_t>(OutputBufferSize)) {
    FlushOutput(out);
    if (out->error != 0) return;
  }
  if (length >= static_cast<std::size_t>(OutputBufferSize)) {
    // Only an unreadable line can be this long; the file's cap keeps it
    // within an int.
    if (OsWrite(out->fd, data, static_cast<int>(length)) == -1) out->error = errno ? errno : EIO;
    return;
  }
  std::memcpy(out->buffer + out->used, data, length);
  out->used += static_cast<int>(length);
}

void PutText(Output* out, const char* text) { Put(out, text, std::strlen(text)); }

bool KeyCanBeReadBack(const char* key) {
  std::size_t n = std::strlen(key);
  if (n > 0 && (key[0] == ' ' || key[n - 1] == ' ')) return false;
  if (std::strchr(key, '=') || std::strchr(key, '\r')) return false;
  // The longer of the two written forms must fit with an empty value.
  return n + 5 <= static_cast<std::size_t>(ConfigLineMax);
}

// The part of value that is written: up to its first CR, and short enough
// that both written forms of the line stay within ConfigLineMax.
std::size_t WrittenValueLength(const char* key, const char* value) {
  std::size_t n = std::strlen(key);
  std::size_t replaced = (n > static_cast<std::size_t>(KeyColumnWidth) ? n : KeyColumnWidth) + 1;
  std::size_t appended = n + 5;
  std::size_t room = ConfigLineMax - (replaced > appended ? replaced : appended);
  std::size_t length = std::strcspn(value, "\r");
  return length < room ? length : room;
}

// Set while ConfigRetryPending tries the writes that wait for a held file.
bool retryingHeldWrites = false;

// What became of a write: done (or refused for good, as for a file the
// user made read-only), or not done because another program holds the file.
enum class WriteOutcome { Done, Held };

// Forgets the read batch's view (below): any write makes it stale.
void DropBatchView();

// Rewrites the file at path with key set to value; the caller holds the
// exclusive lock.
WriteOutcome SetWithPath(const char* key, const char* value, const char* path) {
  DropBatchView();
  FileText text;
  ReadResult read = ReadFileText(path, Reports::AllButOpen, &text);
  if (read == ReadResult::Failed) return WriteOutcome::Done;
  if (read == ReadResult::OpenFailed) {
    // Only a file that is not there starts afresh; one that exists but
    // cannot be read (held by another program, no access) must not be
    // replaced by a file holding nothing but this key.
    if (text.openError == EACCES) return WriteOutcome::Held;
    if (text.openError != ENOENT) return WriteOutcome::Done;
    text.data = GuardedAlloc(20);
    text.data[0] = '\r';
    text.data[1] = '\n';
    text.length = 2;
  } else if (!text.complete) {
    GuardedFree(text.data);
    return WriteOutcome::Done;
  }
  // A file that the user or another program keeps from being written stays
  // as it is, with nothing reported, as when opening it for writing fails.
  char newPath[SidePathBufferSize];
  SidePath(newPath, path, ".new");
  int fd = OsCanWrite(path) ? OsCreateFile(newPath) : -1;
  if (fd == -1) {
    GuardedFree(text.data);
    return WriteOutcome::Done;
  }

  Output out = {fd, GuardedAlloc(OutputBufferSize), 0, 0};
  char* line = GuardedAlloc(LineBufferSize);
  char* lineKey = GuardedAlloc(LineBufferSize);
  std::size_t keyLength = std::strlen(key);
  std::size_t fill = keyLength < static_cast<std::size_t>(KeyColumnWidth) ? KeyColumnWidth - keyLength : 0;
  std::size_t valueLength = WrittenValueLength(key, value);
  bool found = false;
  TextCursor cursor;
  TextCursorStart(&cursor, text.data, text.length);
  const char* start;
  std::size_t length;
  while (NextTextLine(&cursor, &start, &length)) {
    char* oldValue;
    LineKind kind = ParseLine(start, length, line, lineKey, &oldValue);
    if (kind == LineKind::NoEquals) continue;
    if (kind == LineKind::Setting && SameKey(lineKey, key)) {
      // "%s%s=%s\r\n": the caller's key, filler to the column, the value.
      found = true;
      Put(&out, key, keyLength);
      Put(&out, FillerSpaces, fill);
      Put(&out, "=", 1);
      Put(&out, value, valueLength);
      Put(&out, "\r\n", 2);
    } else {
      Put(&out, start, length);  // untrimmed, as read
      Put(&out, "\r\n", 2);
    }
  }
  if (!found) {
    // "%s  =  %s\r\n"
    Put(&out, key, keyLength);
    PutText(&out, "  =  ");
    Put(&out, value, valueLength);
    Put(&out, "\r\n", 2);
  }
  FlushOutput(&out);
  GuardedFree(line);
  GuardedFree(lineKey);
  GuardedFree(out.buffer);
  GuardedFree(text.data);

  bool written = out.error == 0;
  if (OsFlushClose(fd) == -1 && written) {
    out.error = errno;
    written = false;
  }
  if (!written) {
    errno = out.error;
    ReportIoError(-1, OpWrite);
    OsRemoveFile(newPath);
    return WriteOutcome::Done;
  }
  if (OsReplaceFile(newPath, path) == -1) {
    const bool held = errno == EACCES;
    // Once per waiting write: retries every half second would fill the log.
    if (!held || !retryingHeldWrites) ReportIoError(-1, OpReplace);
    OsRemoveFile(newPath);
    if (held) return WriteOutcome::Held;
  }
  return WriteOutcome::Done;
}

// The lock is taken at most once per process. While it is held a guarded
// block may report an overrun in a message box, which pumps window
// messages; a handler that reaches the file meanwhile must not wait for its
// own process for ever. A write met inside a read upgrades the shared lock
// to an exclusive one (the outer read needs no lock to be safe, the write
// does): it never writes under a shared lock, and when the upgrade cannot be
// had it is refused.
int lockDepth = 0;
intptr_t lockHandle = -1;
bool lockExclusive = false;

bool AcquireLock(const char* path, bool exclusive) {
  char lockPath[SidePathBufferSize];
  SidePath(lockPath, path, ".lock");
  if (lockDepth > 0) {
    if (exclusive && !lockExclusive) {
      // Two locks of one process on one file would wait for each other:
      // the shared one goes first.
      if (lockHandle != -1) OsUnlock(lockHandle);
      lockHandle = OsLock(lockPath, true);
      if (lockHandle == -1) return false;
      lockExclusive = true;
    }
    ++lockDepth;
    return true;
  }
  lockHandle = OsLock(lockPath, exclusive);
  if (lockHandle == -1) return false;
  lockExclusive = exclusive;
  lockDepth = 1;
  return true;
}

void ReleaseLock() {
  if (lockDepth > 0 && --lockDepth == 0) {
    if (lockHandle != -1) OsUnlock(lockHandle);
    lockHandle = -1;
    lockExclusive = false;
  }
}

// Writes that found the file held by another program, in the order they
// were made (a later write of the same key takes the earlier one's place).
// They are read back as if written, and written by ConfigRetryPending.
struct PendingWrite {
  std::string fileName;
  std::string key;
  std::string value;
};
std::vector<PendingWrite> pending;
int32_t pendingSince = 0;   // ClockNow() when the oldest kept write was made
bool pendingReported = false;

PendingWrite* FindPending(const char* fileName, const char* key) {
  for (PendingWrite& p : pending)
    if ((!fileName || p.fileName == fileName) && SameKey(p.key.c_str(), key)) return &p;
  return nullptr;
}

void KeepPending(const char* key, const char* value, const char* fileName) {
  if (PendingWrite* p = FindPending(fileName, key)) {
    p->value = value;
    return;
  }
  const bool first = pending.empty();
  if (first) {
    pendingSince = ClockNow();
    pendingReported = false;
  }
  pending.push_back({fileName, key, value});
  if (first && ConfigRetryLater) ConfigRetryLater(true);
}

// The value as a read after the write would give it: cut as the write cuts
// it, spaces trimmed.
void CopyPendingValue(char* out, std::size_t size, const PendingWrite& p) {
  CopyCut(out, size, p.value.c_str(), WrittenValueLength(p.key.c_str(), p.value.c_str()));
  if (size == 0) return;
  const char* trimmed = TrimSpaces(out);
  std::memmove(out, trimmed, std::strlen(trimmed) + 1);
}

// Writes the kept writes of fileName in order, under the caller's lock,
// until one finds the file still held. True when none is left.
bool WritePending(const char* fileName, const char* path) {
  for (auto it = pending.begin(); it != pending.end();) {
    if (it->fileName != fileName) {
      ++it;
      continue;
    }
    if (SetWithPath(it->key.c_str(), it->value.c_str(), path) == WriteOutcome::Held) return false;
    it = pending.erase(it);
  }
  return true;
}

// Entries in key order (case-insensitive), then in file order. A probe
// with line -1 names a key given directly.
struct EntryOrder {
  const char* strings;
  const char* probeKey;
  const char* KeyOf(const ConfigViewEntry& e) const { return e.line < 0 ? probeKey : strings + e.key; }
  bool operator()(const ConfigViewEntry& a, const ConfigViewEntry& b) const {
    int c = CompareKeys(KeyOf(a), KeyOf(b));
    return c != 0 ? c < 0 : a.line < b.line;
  }
};

}  // namespace

namespace {

bool LoadView(ConfigView* view, const char* fileName, Reports reports) {
  *view = ConfigView{};
  view->fileName = fileName;
  char path[PathBufferSize];
  if (!BuildPath(path, fileName)) {
    if (reports == Reports::All) ReportIoError(-1, OpOpen);
    return false;
  }
  bool locked = AcquireLock(path, false);
  FileText text;
  ReadResult read = ReadFileText(path, reports, &text);
  if (locked) ReleaseLock();
  if (read != ReadResult::Ok) return false;

  int lines = 0;
  for (std::size_t i = 0; i < text.length; ++i) lines += text.data[i] == '\r';
  // Every setting keeps its key and value, each with a NUL, in the strings
  // block: never more than the text itself plus two bytes a line.
  view->strings = GuardedAlloc(static_cast<int>(text.length + 2 * static_cast<std::size_t>(lines) + 2));
  view->entries = reinterpret_cast<ConfigViewEntry*>(GuardedAlloc(static_cast<int>(sizeof(ConfigViewEntry)) * (lines + 1)));
  char* line = GuardedAlloc(LineBufferSize);
  char* lineKey = GuardedAlloc(LineBufferSize);
  char* to = view->strings;
  TextCursor cursor;
  TextCursorStart(&cursor, text.data, text.length);
  const char* start;
  std::size_t length;
  for (int number = 0; NextTextLine(&cursor, &start, &length); ++number) {
    char* value;
    if (ParseLine(start, length, line, lineKey, &value) != LineKind::Setting) continue;
    std::size_t keyLength = std::strlen(lineKey), valueLength = std::strlen(value);
    ConfigViewEntry& entry = view->entries[view->count++];
    entry.key = static_cast<int>(to - view->strings);
    std::memcpy(to, lineKey, keyLength + 1);
    to += keyLength + 1;
    entry.value = static_cast<int>(to - view->strings);
    std::memcpy(to, value, valueLength + 1);
    to += valueLength + 1;
    entry.line = number;
  }
  GuardedFree(line);
  GuardedFree(lineKey);
  GuardedFree(text.data);
  std::sort(view->entries, view->entries + view->count, EntryOrder{view->strings, nullptr});
  return true;
}

// The read batch: its view, and the path it was loaded from (or that
// could not be read, so that a batch does not try that file again).
int batchDepth = 0;
ConfigView batchView;
std::string batchPath;
bool batchLoaded = false;

void DropBatchView() {
  if (batchLoaded) ConfigViewRelease(&batchView);
  batchLoaded = false;
  batchPath.clear();
}

// The batch's view of the file at path, or null when no batch is open or
// the file cannot be read cleanly (the caller then reads as without one).
const ConfigView* BatchView(const char* path, const char* fileName) {
  if (batchDepth == 0) return nullptr;
  if (batchPath != path) {
    DropBatchView();
    batchPath = path;
    batchLoaded = LoadView(&batchView, fileName, Reports::None);
    if (!batchLoaded) ConfigViewRelease(&batchView);
  }
  return batchLoaded ? &batchView : nullptr;
}

}  // namespace

void ConfigReadBatchBegin() { ++batchDepth; }

void ConfigReadBatchEnd() {
  if (batchDepth > 0 && --batchDepth == 0) DropBatchView();
}

void ConfigViewLoad(ConfigView* view, const char* fileName) { LoadView(view, fileName, Reports::All); }

int ConfigViewTryLoad(ConfigView* view, const char* fileName) {
  return LoadView(view, fileName, Reports::None) ? 1 : 0;
}

int ConfigViewGet(const ConfigView* view, char* out, std::size_t outSize, const char* key) {
  if (!pending.empty()) {
    if (const PendingWrite* p = FindPending(view->fileName, key)) {
      CopyPendingValue(out, outSize, *p);
      return 1;
    }
  }
  const ConfigViewEntry* begin = view->entries;
  const ConfigViewEntry* end = begin + view->count;
  const EntryOrder order{view->strings, key};
  const ConfigViewEntry* found = std::lower_bound(begin, end, ConfigViewEntry{0, 0, -1}, order);
  if (found == end || CompareKeys(view->strings + found->key, key) != 0) return 0;
  const char* value = view->strings + found->value;
  CopyStoredText(out, outSize, value, std::strlen(value));
  return 1;
}

void ConfigViewRelease(ConfigView* view) {
  GuardedFree(view->strings);
  GuardedFree(view->entries);
  *view = ConfigView{};
}

int ConfigGet(char* out, std::size_t outSize, const char* key, const char* fileName) {
  char path[PathBufferSize];
  if (!BuildPath(path, fileName)) {
    ReportIoError(-1, OpOpen);
    return 0;
  }
  if (const PendingWrite* p = FindPending(fileName, key)) {
    CopyPendingValue(out, outSize, *p);
    return 1;
  }
  if (const ConfigView* view = BatchView(path, fileName)) return ConfigViewGet(view, out, outSize, key);
  // Reading needs no lock to be safe (the file is replaced whole), so a
  // lock that cannot be had does not stop it.
  bool locked = AcquireLock(path, false);
  int found = GetWithPath(out, outSize, key, path);
  if (locked) ReleaseLock();
  return found;
}

void ConfigSet(const char* key, const char* value, const char* fileName) {
  if (!KeyCanBeReadBack(key)) {
    errno = EINVAL;
    ReportIoError(-1, OpKey);
    return;
  }
  char path[PathBufferSize];
  if (!BuildPath(path, fileName)) {
    ReportIoError(-1, OpOpen);
    return;
  }
  // Without the lock no write is safe; a lock file that cannot be created
  // means the directory cannot take the new file either.
  if (!AcquireLock(path, true)) return;
  // Earlier writes still waiting go first; while they wait, so does this.
  const bool waited = !pending.empty();
  if (!WritePending(fileName, path) || SetWithPath(key, value, path) == WriteOutcome::Held)
    KeepPending(key, value, fileName);
  ReleaseLock();
  if (waited && pending.empty() && ConfigRetryLater) ConfigRetryLater(false);
}

ConfigRetryRequest ConfigRetryLater = nullptr;

int ConfigRetryPending() {
  static bool running = false;
  if (running) return static_cast<int>(pending.size());
  running = true;
  std::vector<std::string> files;
  for (const PendingWrite& p : pending)
    if (std::find(files.begin(), files.end(), p.fileName) == files.end()) files.push_back(p.fileName);
  for (const std::string& file : files) {
    char path[PathBufferSize];
    if (!BuildPath(path, file.c_str()) || !AcquireLock(path, true)) continue;
    retryingHeldWrites = true;
    WritePending(file.c_str(), path);
    retryingHeldWrites = false;
    ReleaseLock();
  }
  if (pending.empty()) {
    if (ConfigRetryLater) ConfigRetryLater(false);
  } else if (!pendingReported && ClockNow() - pendingSince >= ConfigHeldReportSeconds) {
    pendingReported = true;
    LogInternal(ConfigHeldText);
    UserMessage(ConfigHeldText);
  }
  running = false;
  return static_cast<int>(pending.size());
}

void ConfigGetDefault(char* out, std::size_t outSize, const char* key, const char* def,
                      const char* fileName) {
  char path[PathBufferSize];
  if (!BuildPath(path, fileName)) {
    ReportIoError(-1, OpOpen);
    CopyCut(out, outSize, def, std::strlen(def));
    return;
  }
  if (const PendingWrite* p = FindPending(fileName, key)) {
    CopyPendingValue(out, outSize, *p);
    return;
  }
  // A key the batch's view holds needs no write; one it lacks is read and
  // stored under the lock below.
  if (const ConfigView* view = BatchView(path, fileName))
    if (ConfigViewGet(view, out, outSize, key)) return;
  // One lock over the read and the write, so that another process cannot
  // store the key in between and have it overwritten with the default.
  bool locked = AcquireLock(path, true);
  if (!GetWithPath(out, outSize, key, path)) {
    CopyCut(out, outSize, def, std::strlen(def));
    if (!KeyCanBeReadBack(key)) {
      errno = EINVAL;
      ReportIoError(-1, OpKey);
    } else if (locked) {
      SetWithPath(key, def, path);
    }
  }
  if (locked) ReleaseLock();
}

void TextCursorStart(TextCursor* cursor, const char* text, std::size_t length) {
  cursor->text = text;
  cursor->length = length;
  cursor->position = 0;
}

int NextTextLine(TextCursor* cursor, const char** line, std::size_t* length) {
  std::size_t at = cursor->position;
  const void* cr = at < cursor->length ? std::memchr(cursor->text + at, '\r', cursor->length - at) : nullptr;
  if (!cr) {
    // Whatever follows the last CR is not delivered as a line.
    cursor->position = cursor->length;
    return 0;
  }
  std::size_t end = static_cast<std::size_t>(static_cast<const char*>(cr) - cursor->text);
  *line = cursor->text + at;
  *length = end - at;
  ++end;
  if (end < cursor->length && cursor->text[end] == '\n') ++end;
  cursor->position = end;
  return 1;
}

int ReportIoError(int result, const char* operation) {
  if (result != -1) return 0;
  int error = errno;
  char message[200];
  std::snprintf(message, sizeof message, "Error %d while performing %s", error, operation);
  LogInternal(message);
  return error;
}
