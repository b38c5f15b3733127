#include "server/donation_store.h"

#include "server/content_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

bool MakeFolders(const std::string& path) {
  // Every folder on the way, like mkdir -p.
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
        return false;
      }
    }
  }
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void EmptyFolder(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) {
    return;
  }
  while (dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      ::unlink((path + "/" + e->d_name).c_str());
    }
  }
  ::closedir(dir);
}

// Moves from to to unless to exists. Returns 0 or errno.
int RenameExclusive(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return errno;
  }
  // File systems without the exclusive rename: a hard link fails on an
  // existing name just the same.
  if (::link(from.c_str(), to.c_str()) != 0) {
    return errno;
  }
  ::unlink(from.c_str());
  return 0;
}

// Visible regular files directly in a folder.
void AddFolderUsage(const std::string& path, Usage* usage) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) {
    return;
  }
  while (dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') {
      continue;
    }
    struct stat st;
    if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
      usage->bytes += st.st_size;
      usage->files += 1;
    }
  }
  ::closedir(dir);
}

} // namespace

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

Usage ScanDonationUsage(const std::string& content_root) {
  Usage usage;
  for (const char* kind : {"quote", "picture", "sound"}) {
    std::string base = content_root + "/donations/" + kind;
    DIR* dir = ::opendir(base.c_str());
    if (!dir) {
      continue;
    }
    while (dirent* e = ::readdir(dir)) {
      if (e->d_name[0] != '.') {
        AddFolderUsage(base + "/" + e->d_name, &usage);
      }
    }
    ::closedir(dir);
  }
  return usage;
}

Usage ScanCommentUsage(const std::string& content_root) {
  Usage usage;
  AddFolderUsage(content_root + "/comments", &usage);
  return usage;
}

std::string DonorInfoPath(const std::string& donation_path) {
  std::size_t slash = donation_path.rfind('/');
  std::size_t at = slash == std::string::npos ? 0 : slash + 1;
  return donation_path.substr(0, at) + "." + donation_path.substr(at) + ".meta";
}

bool ReadDonorInfo(const std::string& donation_path, DonorInfo* info) {
  int fd = ::open(DonorInfoPath(donation_path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    return false;
  }
  char buffer[512];
  ssize_t n = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  if (n <= 0) {
    return false;
  }
  std::string text(buffer, static_cast<std::size_t>(n));
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string line = text.substr(pos, end - pos);
    if (line.compare(0, 7, "client ") == 0) {
      info->client_id = line.substr(7);
    } else if (line.compare(0, 8, "address ") == 0) {
      info->address = line.substr(8);
    }
    pos = end + 1;
  }
  return true;
}

std::string SafeClientId(const char* id, std::size_t length) {
  std::string out;
  for (std::size_t i = 0; i < length && out.size() < 20; ++i) {
    unsigned char c = static_cast<unsigned char>(id[i]);
    bool plain = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    out += plain ? static_cast<char>(c) : '_';
  }
  return out.empty() ? std::string("unknown") : out;
}

Upload::~Upload() {
  Discard();
}

bool Upload::Write(const void* data, std::size_t size) {
  if (done_ || fd_ < 0) {
    return false;
  }
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
    written_ += n;
  }
  return true;
}

bool Upload::Claim(int64_t bytes) {
  if (done_ || !store_->ClaimBytes(comment_, bytes)) {
    return false;
  }
  claimed_ += bytes;
  return true;
}

int Upload::Commit() {
  if (done_) {
    return EINVAL;
  }
  int error = 0;
  if (::close(fd_) != 0) {
    error = errno;
  }
  fd_ = -1;
  // The donor file first, so that a donation is never seen without it.
  std::string donor_path;
  if (error == 0 && !comment_) {
    donor_path = DonorInfoPath(final_path_);
    std::string temp = temp_path_ + ".meta";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      error = errno;
    } else {
      if (!WriteAll(fd, donor_text_)) {
        error = errno ? errno : EIO;
      }
      if (::close(fd) != 0 && error == 0) {
        error = errno;
      }
      if (error == 0 && ::rename(temp.c_str(), donor_path.c_str()) != 0) {
        error = errno;
      }
      if (error != 0) {
        ::unlink(temp.c_str());
        donor_path.clear();
      }
    }
  }
  if (error == 0) {
    error = RenameExclusive(temp_path_, final_path_);
  }
  if (error != 0) {
    ::unlink(temp_path_.c_str());
    if (!donor_path.empty()) {
      ::unlink(donor_path.c_str());
    }
  }
  done_ = true;
  store_->Finished(comment_, claimed_, error == 0, written_);
  if (reserved_) {
    store_->Release(final_path_);
  }
  return error;
}

void Upload::Discard() {
  if (done_) {
    return;
  }
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  ::unlink(temp_path_.c_str());
  done_ = true;
  store_->Finished(comment_, claimed_, false, 0);
  if (reserved_) {
    store_->Release(final_path_);
  }
}

DonationStore::DonationStore(std::string content_root) : root_(std::move(content_root)) {}

bool DonationStore::Prepare(std::string* error) {
  for (const char* folder : {"/donations/.incoming", "/comments/.incoming"}) {
    std::string path = root_ + folder;
    if (!MakeFolders(path)) {
      *error = "cannot create " + path + ": " + std::strerror(errno);
      return false;
    }
    EmptyFolder(path);
  }
  return true;
}

std::unique_ptr<Upload> DonationStore::CreateUpload(const std::string& incoming, int* file_error) {
  std::unique_ptr<Upload> upload(new Upload());
  upload->store_ = this;
  uint64_t n;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    n = ++counter_;
  }
  upload->temp_path_ = incoming + "/" + std::to_string(::getpid()) + "-" + std::to_string(n) + ".part";
  upload->fd_ = ::open(upload->temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (upload->fd_ < 0) {
    *file_error = errno;
    upload->done_ = true; // nothing to remove
    return nullptr;
  }
  return upload;
}

void DonationStore::SetQuotas(const Quota& donations, const Quota& comments) {
  std::lock_guard<std::mutex> lock(mutex_);
  donation_account_.quota = donations;
  comment_account_.quota = comments;
}

bool DonationStore::RoomForFile(Account* account, bool comments) {
  const Quota& q = account->quota;
  if (q.bytes <= 0 && q.files <= 0) {
    return true;
  }
  auto now = std::chrono::steady_clock::now();
  if (!account->ever_counted || now - account->counted > std::chrono::seconds(2)) {
    account->used = comments ? ScanCommentUsage(root_) : ScanDonationUsage(root_);
    account->counted = now;
    account->ever_counted = true;
  }
  if (q.files > 0 && account->used.files + account->pending.files >= q.files) {
    return false;
  }
  if (q.bytes > 0 && account->used.bytes + account->pending.bytes >= q.bytes) {
    return false;
  }
  return true;
}

bool DonationStore::ClaimBytes(bool comments, int64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  Account& a = comments ? comment_account_ : donation_account_;
  if (a.quota.bytes > 0 && a.used.bytes + a.pending.bytes + bytes > a.quota.bytes) {
    return false;
  }
  a.pending.bytes += bytes;
  return true;
}

void DonationStore::Finished(bool comments, int64_t claimed, bool stored, int64_t stored_bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  Account& a = comments ? comment_account_ : donation_account_;
  a.pending.files -= 1;
  a.pending.bytes -= claimed;
  if (stored) {
    a.used.files += 1;
    a.used.bytes += stored_bytes;
  }
}

std::unique_ptr<Upload> DonationStore::BeginDonation(int type, int position, int category_count,
                                                     const char* name, std::size_t name_length,
                                                     const DonorInfo& donor, DonationVerdict* verdict) {
  const char* kind = ItemKindName(type);
  if (!kind) {
    verdict->code = 1;
    verdict->why = "unknown item type";
    return nullptr;
  }
  if (position < 0 || position >= category_count) {
    verdict->code = 1;
    verdict->why = "no such category";
    return nullptr;
  }
  if (!AcceptableFileName(name, name_length, &verdict->why)) {
    verdict->code = 1;
    return nullptr;
  }
  std::string held(name, name_length);
  std::string folder = root_ + "/donations/" + kind + "/" + std::to_string(position);
  if (!MakeFolders(folder)) {
    verdict->code = 5;
    verdict->file_error = errno;
    verdict->why = std::string("cannot create folder: ") + std::strerror(errno);
    return nullptr;
  }
  std::string final_path = folder + "/" + held;
  {
    // The name is held from now on, so that two clients donating the same
    // name at once cannot both be told to go ahead.
    std::lock_guard<std::mutex> lock(mutex_);
    struct stat st;
    if (reserved_.count(final_path) || ::lstat(final_path.c_str(), &st) == 0) {
      verdict->code = 10;
      verdict->held_name = held;
      verdict->why = "name exists";
      return nullptr;
    }
    if (!RoomForFile(&donation_account_, false)) {
      verdict->code = 5;
      verdict->file_error = QuotaFullError;
      verdict->why = "donation quota full";
      return nullptr;
    }
    reserved_.insert(final_path);
    donation_account_.pending.files += 1;
  }
  int file_error = 0;
  std::unique_ptr<Upload> upload = CreateUpload(root_ + "/donations/.incoming", &file_error);
  if (!upload) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      donation_account_.pending.files -= 1;
    }
    Release(final_path);
    verdict->code = 5;
    verdict->file_error = file_error;
    verdict->why = std::string("cannot create file: ") + std::strerror(file_error);
    return nullptr;
  }
  upload->final_path_ = final_path;
  upload->reserved_ = true;
  upload->donor_text_ = "client " + donor.client_id + "\naddress " + donor.address + "\n";
  verdict->code = 0;
  verdict->why = "receiving";
  return upload;
}

std::unique_ptr<Upload> DonationStore::BeginComment(const std::string& client_id, int* file_error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!RoomForFile(&comment_account_, true)) {
      *file_error = QuotaFullError;
      return nullptr;
    }
    comment_account_.pending.files += 1;
  }
  std::unique_ptr<Upload> upload = CreateUpload(root_ + "/comments/.incoming", file_error);
  if (!upload) {
    std::lock_guard<std::mutex> lock(mutex_);
    comment_account_.pending.files -= 1;
    return nullptr;
  }
  upload->comment_ = true;
  std::time_t now = std::time(nullptr);
  std::tm local;
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  char when[64];
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S %z", &local);
  uint64_t n;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    n = ++counter_;
  }
  upload->final_path_ =
      root_ + "/comments/" + stamp + "-" + client_id + "-" + std::to_string(n) + ".txt";
  std::string head = "Client id: " + client_id + "\nReceived: " + when + "\n\n";
  if (!upload->Write(head.data(), head.size())) {
    *file_error = errno ? errno : EIO;
    return nullptr;
  }
  upload->written_ = 0; // count the comment only
  return upload;
}

std::size_t DonationStore::Reserved() {
  std::lock_guard<std::mutex> lock(mutex_);
  return reserved_.size();
}

void DonationStore::Release(const std::string& final_path) {
  std::lock_guard<std::mutex> lock(mutex_);
  reserved_.erase(final_path);
}
