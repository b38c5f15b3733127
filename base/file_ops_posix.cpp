// File calls for POSIX systems: the native build and its tests.
#include "base/file_ops.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The program writes paths with backslashes; here they separate directories.
class NativePath {
 public:
  explicit NativePath(const char* path) {
    std::size_t n = std::strlen(path);
    if (n >= sizeof text_) return;
    for (std::size_t i = 0; i <= n; ++i) text_[i] = path[i] == '\\' ? '/' : path[i];
    ok_ = true;
  }
  // Null (with errno set) when the path does not fit.
  const char* get() const {
    if (!ok_) errno = ENAMETOOLONG;
    return ok_ ? text_ : nullptr;
  }

 private:
  char text_[1024] = {};
  bool ok_ = false;
};

}  // namespace

int OsOpenRead(const char* path) {
  NativePath p(path);
  if (!p.get()) return -1;
  int fd;
  do fd = open(p.get(), O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  return fd < 0 ? -1 : fd;
}

int64_t OsFileLength(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

int OsRead(int fd, char* buffer, int size) {
  ssize_t n;
  do n = read(fd, buffer, static_cast<size_t>(size));
  while (n < 0 && errno == EINTR);
  return n < 0 ? -1 : static_cast<int>(n);
}

int OsClose(int fd) { return close(fd) == 0 ? 0 : -1; }

int OsOpenAppend(const char* path) {
  NativePath p(path);
  if (!p.get()) return -1;
  int fd;
  do fd = open(p.get(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  while (fd < 0 && errno == EINTR);
  return fd < 0 ? -1 : fd;
}

int OsCanWrite(const char* path) {
  NativePath p(path);
  if (!p.get()) return 0;
  int fd = open(p.get(), O_WRONLY | O_CLOEXEC);
  if (fd >= 0) {
    close(fd);
    return 1;
  }
  return errno == ENOENT ? 1 : 0;
}

int OsCreateFile(const char* path) {
  NativePath p(path);
  if (!p.get()) return -1;
  int fd = open(p.get(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd < 0 ? -1 : fd;
}

int OsWrite(int fd, const char* data, int size) {
  while (size > 0) {
    ssize_t n = write(fd, data, static_cast<size_t>(size));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return -1;
    }
    data += n;
    size -= static_cast<int>(n);
  }
  return 0;
}

int OsFlushClose(int fd) {
  int synced = fsync(fd);
  int saved = errno;
  int closed = close(fd);
  if (synced != 0) {
    errno = saved;
    return -1;
  }
  return closed == 0 ? 0 : -1;
}

int OsReplaceFile(const char* from, const char* to) {
  NativePath f(from), t(to);
  if (!f.get() || !t.get()) return -1;
  // The replacement keeps the permission bits of the file it replaces.
  struct stat st;
  if (stat(t.get(), &st) == 0) chmod(f.get(), st.st_mode & 07777);
  if (rename(f.get(), t.get()) != 0) return -1;
  // Make the new directory entry itself durable.
  char dir[1024];
  std::strcpy(dir, t.get());
  char* slash = std::strrchr(dir, '/');
  if (slash == dir) slash[1] = '\0';
  else if (slash) *slash = '\0';
  else std::strcpy(dir, ".");
  int dfd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return 0;
}

int OsRemoveFile(const char* path) {
  NativePath p(path);
  if (!p.get()) return -1;
  return unlink(p.get()) == 0 ? 0 : -1;
}

intptr_t OsLock(const char* path, bool exclusive) {
  NativePath p(path);
  if (!p.get()) return -1;
  int fd = open(p.get(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  int r;
  do r = flock(fd, exclusive ? LOCK_EX : LOCK_SH);
  while (r != 0 && errno == EINTR);
  if (r != 0) {
    int saved = errno;
    close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

void OsUnlock(intptr_t handle) {
  if (handle < 0) return;
  int fd = static_cast<int>(handle);
  flock(fd, LOCK_UN);
  close(fd);
}
