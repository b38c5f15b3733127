// File calls for Windows: the C runtime's descriptors for reading and
// writing (so that errno carries the runtime's own numbers), and the Win32
// calls that the runtime lacks: replacing a file in one step and locking.
#include "base/file_ops.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace {

// errno for a failed Win32 call, the way the runtime maps the common codes.
void SetErrnoFromLastError() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      errno = ENOENT;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      errno = EACCES;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      errno = ENOSPC;
      break;
    default:
      errno = EIO;
      break;
  }
}

}  // namespace

int OsOpenRead(const char* path) { return _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT); }

int64_t OsFileLength(int fd) { return _filelengthi64(fd); }

int OsRead(int fd, char* buffer, int size) { return _read(fd, buffer, static_cast<unsigned>(size)); }

int OsClose(int fd) { return _close(fd); }

int OsCanWrite(const char* path) {
  // The attribute is asked for directly: a process with backup rights (or
  // Wine run by root) could open the file for writing all the same.
  DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return 0;
  int fd = _open(path, _O_WRONLY | _O_BINARY | _O_NOINHERIT);
  if (fd >= 0) {
    _close(fd);
    return 1;
  }
  return errno == ENOENT ? 1 : 0;
}

int OsCreateFile(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

int OsOpenAppend(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

int OsWrite(int fd, const char* data, int size) {
  while (size > 0) {
    int n = _write(fd, data, static_cast<unsigned>(size));
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return -1;
    }
    data += n;
    size -= n;
  }
  return 0;
}

int OsFlushClose(int fd) {
  int committed = _commit(fd);
  int saved = errno;
  int closed = _close(fd);
  if (committed != 0) {
    errno = saved;
    return -1;
  }
  return closed == 0 ? 0 : -1;
}

int OsReplaceFile(const char* from, const char* to) {
  // Another program (a virus scanner, an editor) may hold the old file open
  // for a moment; give it that moment before giving up.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    DWORD err = GetLastError();
    if (attempt >= 10 || (err != ERROR_SHARING_VIOLATION && err != ERROR_ACCESS_DENIED)) break;
    Sleep(20);
  }
  SetErrnoFromLastError();
  return -1;
}

int OsRemoveFile(const char* path) {
  if (DeleteFileA(path)) return 0;
  SetErrnoFromLastError();
  return -1;
}

intptr_t OsLock(const char* path, bool exclusive) {
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    SetErrnoFromLastError();
    return -1;
  }
  OVERLAPPED at = {};
  if (!LockFileEx(h, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &at)) {
    SetErrnoFromLastError();
    CloseHandle(h);
    return -1;
  }
  return reinterpret_cast<intptr_t>(h);
}

void OsUnlock(intptr_t handle) {
  if (handle == -1) return;
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  OVERLAPPED at = {};
  UnlockFileEx(h, 0, 1, 0, &at);
  CloseHandle(h);
}
