#include "test_client.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

TestConnection::~TestConnection() {
  Close();
}

void TestConnection::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

bool TestConnection::Connect(int port, int timeout_ms, const char* from) {
  Close();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    return false;
  }
  timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  if (from) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (::inet_pton(AF_INET, from, &local.sin_addr) != 1 ||
        ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      Close();
      return false;
    }
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Close();
    return false;
  }
  return true;
}

bool TestConnection::Send(const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::send(fd_, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool TestConnection::SendRequest(int32_t code, int32_t num1, int32_t num2, const std::string& text,
                                 const std::string& client_id) {
  RequestRecord record = EmptyRecord();
  SetFieldText(record.client_id, ClientIdFieldSize, client_id.data(), client_id.size());
  record.magic1 = RequestMagic1;
  record.magic2 = RequestMagic2;
  record.code = code;
  record.num1 = num1;
  record.num2 = num2;
  SetFieldText(record.text, RecordTextSize, text.data(), text.size());
  unsigned char bytes[RequestRecordSize];
  EncodeRequestRecord(record, bytes);
  return Send(bytes, sizeof bytes);
}

bool TestConnection::Receive(void* data, std::size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = ::recv(fd_, p, size, 0);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool TestConnection::ReceiveRaw(std::string* raw) {
  raw->assign(RequestRecordSize, '\0');
  return Receive(&(*raw)[0], RequestRecordSize);
}

bool TestConnection::ReceiveRecord(RequestRecord* record) {
  std::string raw;
  if (!ReceiveRaw(&raw)) {
    return false;
  }
  return DecodeRequestRecord(raw.data(), raw.size(), record);
}

std::string TestConnection::ReceiveToEnd(std::size_t limit) {
  std::string out;
  std::vector<char> buffer(256 * 1024);
  while (out.size() < limit) {
    ssize_t n = ::recv(fd_, buffer.data(), std::min(buffer.size(), limit - out.size()), 0);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      break;
    }
    out.append(buffer.data(), static_cast<std::size_t>(n));
  }
  return out;
}

bool TestConnection::ClosedByPeer(int timeout_ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  char buffer[4096];
  for (;;) {
    int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
    if (left <= 0) {
      return false;
    }
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, left);
    if (r < 0 && errno == EINTR) {
      continue;
    }
    if (r <= 0) {
      return false;
    }
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
      return true;
    }
  }
}

namespace {

void PutInt(std::string* s, std::size_t at, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) {
    (*s)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  }
}

} // namespace

std::string ExpectedRecord(int32_t code, int32_t num1, int32_t num2, const std::string& text) {
  std::string s(90, '\0');
  PutInt(&s, 20, 7);
  PutInt(&s, 24, 3);
  PutInt(&s, 28, code);
  PutInt(&s, 32, num1);
  PutInt(&s, 36, num2);
  s.replace(40, std::min<std::size_t>(text.size(), 50), text.substr(0, 50));
  return s;
}

std::string RequestBytes(int32_t code, int32_t num1, int32_t num2, const std::string& text,
                         const std::string& client_id, int32_t magic1, int32_t magic2) {
  std::string s(90, '\0');
  s.replace(0, std::min<std::size_t>(client_id.size(), 20), client_id.substr(0, 20));
  PutInt(&s, 20, magic1);
  PutInt(&s, 24, magic2);
  PutInt(&s, 28, code);
  PutInt(&s, 32, num1);
  PutInt(&s, 36, num2);
  s.replace(40, std::min<std::size_t>(text.size(), 50), text.substr(0, 50));
  return s;
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/velmor-server-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data())) {
    path_ = buffer.data();
  }
}

namespace {

void RemoveTree(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    return;
  }
  if (S_ISDIR(st.st_mode)) {
    ::chmod(path.c_str(), 0755);
    if (DIR* dir = ::opendir(path.c_str())) {
      while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
          RemoveTree(path + "/" + e->d_name);
        }
      }
      ::closedir(dir);
    }
    ::rmdir(path.c_str());
  } else {
    ::unlink(path.c_str());
  }
}

void CollectFiles(const std::string& root, const std::string& relative, std::vector<std::string>* out) {
  DIR* dir = ::opendir((root + relative).c_str());
  if (!dir) {
    return;
  }
  while (dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) {
      continue;
    }
    std::string child = relative + "/" + e->d_name;
    struct stat st;
    if (::lstat((root + child).c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) {
        CollectFiles(root, child, out);
      } else {
        out->push_back(child.substr(1));
      }
    }
  }
  ::closedir(dir);
}

} // namespace

TempDir::~TempDir() {
  if (!path_.empty()) {
    RemoveTree(path_);
  }
}

void WriteTextFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> FilesBelow(const std::string& dir) {
  std::vector<std::string> files;
  CollectFiles(dir, "", &files);
  std::sort(files.begin(), files.end());
  return files;
}

void WriteTestContent(const std::string& root) {
  for (const char* d : {"", "/categories", "/quotes", "/pictures", "/pictures/0", "/pictures/1", "/pictures/2",
                        "/sounds", "/sounds/0", "/sounds/1"}) {
    ::mkdir((root + d).c_str(), 0755);
  }
  WriteTextFile(root + "/categories/quote.txt", "Alpha\r\nBeta\n\nEmpty Quotes\nLong\n");
  WriteTextFile(root + "/categories/picture.txt", "Sizes\nEmpty Pictures\nPair\n");
  WriteTextFile(root + "/categories/sound.txt", "Chimes\nQuiet");
  WriteTextFile(root + "/quotes/0.txt", "\nFirst quote.\n%\nSecond quote,\non two lines.\n\n");
  WriteTextFile(root + "/quotes/1.txt", "B\n");
  WriteTextFile(root + "/quotes/3.txt", std::string(999999, 'q') + "\n");
  WriteTextFile(root + "/pictures/2/left.jpg", "LEFT PICTURE BYTES");
  WriteTextFile(root + "/pictures/2/right.bmp", "BM right picture");
  WriteTextFile(root + "/pictures/2/.hidden", "never served");
  WriteTextFile(root + "/sounds/0/ding.wav", "RIFF....WAVEfmt ding");
  WriteTextFile(root + "/news.txt", "News line one\nline two\r\n");
  WriteTextFile(root + "/tips.txt", "Tip\n");
  WriteTextFile(root + "/status.txt", "All systems calm\nsecond line is not used\n");
}

ServerOptions TestOptions(const std::string& content_root, const std::string& log_file) {
  ServerOptions options;
  options.port = 0;
  options.content_dir = content_root;
  options.log_file = log_file;
  options.threads = 2;
  options.idle_timeout_seconds = 10;
  return options;
}

RunningServer::RunningServer(ServerOptions options) : options_(std::move(options)) {
  server_ = std::make_unique<VelmorServer>(options_);
  std::string error;
  if (!server_->Open(&error)) {
    ADD_FAILURE() << "server did not open: " << error;
    return;
  }
  port_ = server_->Port();
  thread_ = std::thread([this]() { server_->Run(); });
}

void RunningServer::Stop() {
  if (thread_.joinable()) {
    server_->Stop();
    thread_.join();
  }
}

RunningServer::~RunningServer() {
  Stop();
}
