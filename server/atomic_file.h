// Replacing a whole file so that no reader, in this process or another
// (another instance on another machine included), ever sees half of it:
// the bytes go to a hidden temporary file beside the target, which is then
// renamed over it. Rename within one folder is atomic on every file system
// the server supports, shared ones included.
#pragma once
#include <string>

// Writes bytes as the whole content of path, which gets mode (the umask is
// not applied; an existing file's mode is not kept). False with a
// reason in *error when it fails; the old file, if any, is then untouched
// and no temporary file is left behind.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string* error,
                         unsigned mode = 0644);

// Writes all of text to fd; false (errno set) when it cannot.
bool WriteAll(int fd, const std::string& text);
