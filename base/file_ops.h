// Seam: the file calls behind velmor.cfg.
//
// Paths are written the program's way, with backslashes between directory
// names; an implementation whose platform separates with slashes converts
// them. Every call that fails returns -1 and leaves the C runtime's error
// number in errno, with the values the Windows runtime uses for the common
// cases (2 for a missing file, 13 for access denied), so that ReportIoError
// can name it.
//
// One implementation per platform (file_ops_posix.cpp, file_ops_win.cpp);
// tests may link their own in place of either.
#pragma once
#include <cstdint>

// Reading. OsOpenRead opens an existing file for binary reading and returns
// a descriptor; OsRead returns the bytes read (0 at the end).
int OsOpenRead(const char* path);
int64_t OsFileLength(int fd);
int OsRead(int fd, char* buffer, int size);
int OsClose(int fd);

// 1 when path does not exist or can be opened for writing as it is; 0 when
// it exists but writing it is refused (read-only, locked by another
// program). Used to keep a file that the user protected exactly as it is.
int OsCanWrite(const char* path);

// Writing a replacement. OsCreateFile creates or truncates path for binary
// writing; OsWrite writes all size bytes or fails; OsFlushClose forces the
// data to the disk and closes (the descriptor is closed even on failure).
int OsCreateFile(const char* path);
int OsWrite(int fd, const char* data, int size);
int OsFlushClose(int fd);

// Opens path for binary writing at its end, creating it when missing; the
// descriptor is closed with OsClose. Used for the log files, whose lines are
// appended one open at a time.
int OsOpenAppend(const char* path);

// Puts the file from in the place of the file to in one step: a reader sees
// either the old or the new file, never a mixture, and on failure to is
// left as it was. Returns 0, or -1.
int OsReplaceFile(const char* from, const char* to);
int OsRemoveFile(const char* path);

// Cross-process lock on a lock file (created when missing, never removed).
// Waits until the lock is granted; shared locks exclude exclusive ones only.
// Returns a handle for OsUnlock, or -1. The lock goes with the process if
// it ends without unlocking.
intptr_t OsLock(const char* path, bool exclusive);
void OsUnlock(intptr_t handle);
