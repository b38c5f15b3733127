#include "tests/config/fake_file_ops.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "base/file_ops.h"
#include "tests/config/test_support.h"

namespace {

struct OpenFile {
  std::string path;
  std::size_t position = 0;
  bool writing = false;
  bool log = false; // a log file: kept on the real disk
};

std::map<int, OpenFile> open;
int nextFd = 3;

int Fail(int error) {
  errno = error;
  return -1;
}

}  // namespace

FakeDisk& Disk() {
  static FakeDisk disk;
  return disk;
}

void ResetDisk() {
  Disk() = FakeDisk();
  open.clear();
}

int OsOpenRead(const char* path) {
  Disk().events.push_back(std::string("open ") + path);
  if (Disk().openError) return Fail(Disk().openError);
  if (!Disk().files.count(path)) return Fail(ENOENT);
  open[nextFd] = OpenFile{path, 0, false};
  return nextFd++;
}

int64_t OsFileLength(int fd) {
  if (Disk().lengthError) return Fail(Disk().lengthError);
  if (Disk().reportedLength >= 0) return Disk().reportedLength;
  return static_cast<int64_t>(Disk().files[open.at(fd).path].size());
}

int OsRead(int fd, char* buffer, int size) {
  if (Disk().duringRead) {
    auto nested = std::move(Disk().duringRead);
    Disk().duringRead = nullptr;
    nested();
  }
  OpenFile& f = open.at(fd);
  const std::string& data = Disk().files[f.path];
  std::size_t limit = data.size();
  if (Disk().readError) {
    if (f.position >= static_cast<std::size_t>(Disk().readErrorAfter)) return Fail(Disk().readError);
    limit = std::min<std::size_t>(limit, Disk().readErrorAfter);
  }
  std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), limit - std::min(limit, f.position));
  std::memcpy(buffer, data.data() + f.position, n);
  f.position += n;
  return static_cast<int>(n);
}

int OsClose(int fd) {
  if (open.count(fd) && open.at(fd).log) return open.erase(fd), 0;
  open.erase(fd);
  Disk().events.push_back("close");
  if (Disk().closeError) return Fail(Disk().closeError);
  return 0;
}

int OsCanWrite(const char* path) { return Disk().readOnly.count(path) ? 0 : 1; }

int OsCreateFile(const char* path) {
  Disk().events.push_back(std::string("create ") + path);
  if (Disk().createError) return Fail(Disk().createError);
  Disk().files[path] = "";
  open[nextFd] = OpenFile{path, 0, true};
  return nextFd++;
}

// Only the logs append. They stay on the real disk, out of the way of the
// failures asked for here, so that the internal log reads back the same way
// in every test.
int OsOpenAppend(const char* path) {
  // As the real seams take it: backslashes separate directories.
  std::string real = path;
  for (char& c : real)
    if (c == '\\') c = '/';
  open[nextFd] = OpenFile{real, 0, true, true};
  return nextFd++;
}

int OsWrite(int fd, const char* data, int size) {
  if (open.at(fd).log) {
    std::ofstream(NativeLogPath(open.at(fd).path), std::ios::binary | std::ios::app).write(data, size);
    return 0;
  }
  if (Disk().writeError) return Fail(Disk().writeError);
  Disk().files[open.at(fd).path].append(data, static_cast<std::size_t>(size));
  return 0;
}

int OsFlushClose(int fd) {
  open.erase(fd);
  Disk().events.push_back("flush close");
  if (Disk().flushError) return Fail(Disk().flushError);
  return 0;
}

int OsReplaceFile(const char* from, const char* to) {
  Disk().events.push_back(std::string("replace ") + to);
  if (Disk().replaceError) return Fail(Disk().replaceError);
  Disk().files[to] = Disk().files[from];
  Disk().files.erase(from);
  return 0;
}

int OsRemoveFile(const char* path) {
  Disk().events.push_back(std::string("remove ") + path);
  return Disk().files.erase(path) ? 0 : Fail(ENOENT);
}

intptr_t OsLock(const char* path, bool exclusive) {
  Disk().events.push_back(std::string(exclusive ? "lock ex " : "lock sh ") + path);
  if (Disk().lockError) return Fail(Disk().lockError);
  return 7;
}

void OsUnlock(intptr_t handle) {
  if (handle != -1) Disk().events.push_back("unlock");
}
