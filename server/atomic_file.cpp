#include "server/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string* error, unsigned mode) {
  // A hidden, unique temporary name: never listed as content, and two
  // writers of one file (two instances over a shared folder) never share it.
  std::size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string pattern = folder + "." + base + ".tmp-XXXXXX";
  std::vector<char> temp(pattern.begin(), pattern.end());
  temp.push_back('\0');
  auto fail = [&](const char* what, int fd) {
    int saved = errno;
    if (fd >= 0) {
      ::close(fd);
    }
    ::unlink(temp.data());
    *error = std::string("cannot ") + what + " " + path + ": " + std::strerror(saved);
    return false;
  };
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  if (::fchmod(fd, static_cast<mode_t>(mode)) != 0) {
    return fail("write", fd);
  }
  errno = 0;
  if (!WriteAll(fd, bytes)) {
    if (errno == 0) {
      errno = EIO;
    }
    return fail("write", fd);
  }
  if (::close(fd) != 0) {
    return fail("write", -1);
  }
  if (::rename(temp.data(), path.c_str()) != 0) {
    return fail("replace", -1);
  }
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}
