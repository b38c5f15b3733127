#include "server/donation_store.h"

#include "server/atomic_file.h"
#include "server/content_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/vfs.h>
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

// Writers hold an open-file-description lock on every upload file for as
// long as it is theirs; it goes with the writer's process (on a shared file
// system, with its machine's lease), so an upload file nobody holds is a
// leftover. These locks also conflict within one process.
bool LockFile(int fd) {
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Removes the upload file at path when no writer holds it; true when it was
// removed (or had gone already).
bool RemoveIfAbandoned(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    return errno == ENOENT;
  }
  bool removed = false;
  struct stat held, named;
  if (LockFile(fd) && ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
      held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
    removed = ::unlink(path.c_str()) == 0;
  }
  ::close(fd);
  return removed;
}

bool EndsWith(const std::string& text, const char* tail) {
  std::size_t n = std::strlen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// File systems whose files other machines may read (NFS, CephFS, SMB,
// FUSE ones such as GlusterFS, 9P, Lustre, GFS2, OCFS2).
bool NetworkFileSystem(unsigned long type) {
  switch (type) {
    case 0x6969: case 0x00c36400: case 0xfe534d42: case 0xff534d42: case 0x65735546:
    case 0x01021997: case 0x0bd00bd0: case 0x01161970: case 0x7461636f:
      return true;
    default:
      return false;
  }
}

// A file of the moments between creating an upload and naming it; any
// older than this is a leftover.
constexpr int NewFileSeconds = 60;

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
  // On a network file system other machines read the server's copy: the
  // data must be there (and its write errors known) before the file is
  // shown. Locally every process sees the same pages anyway.
  int error = store_->network_ && ::fsync(fd_) != 0 ? errno : 0;
  // The donor file first, so that a donation is never seen without it.
  std::string donor_path;
  if (error == 0 && !comment_) {
    donor_path = DonorInfoPath(final_path_);
    std::string why;
    if (!WriteFileAtomically(donor_path, donor_text_, &why)) {
      error = errno ? errno : EIO;
      donor_path.clear();
    }
  }
  // Shown while still held, so that no sweep takes it in between. Two
  // instances may pick one comment name: the later takes the next number.
  for (int attempt = 0; error == 0; ++attempt) {
    error = RenameExclusive(temp_path_, final_path_);
    if (error != EEXIST || !comment_ || attempt == 100) {
      break;
    }
    final_path_ = comment_stem_ + std::to_string(store_->NextNumber()) + ".txt";
    error = 0;
  }
  if (error != 0) {
    ::unlink(temp_path_.c_str());
    if (!donor_path.empty()) {
      ::unlink(donor_path.c_str());
    }
  }
  ::close(fd_);
  fd_ = -1;
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
  // Removed while still held: a donation's upload file holds its name
  // against other instances until it is gone.
  ::unlink(temp_path_.c_str());
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  done_ = true;
  store_->Finished(comment_, claimed_, false, 0);
  if (reserved_) {
    store_->Release(final_path_);
  }
}

DonationStore::DonationStore(std::string content_root) : root_(std::move(content_root)) {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  // Unique among instances on every machine that shares the folder.
  stem_ = SafeClientId(host, std::strlen(host)) + "-" + std::to_string(::getpid()) + "-";
}

bool DonationStore::Prepare(std::string* error) {
  for (const char* folder : {"/donations/.incoming", "/comments/.incoming"}) {
    std::string path = root_ + folder;
    if (!MakeFolders(path)) {
      *error = "cannot create " + path + ": " + std::strerror(errno);
      return false;
    }
  }
  struct statfs fs;
  if (::statfs(root_.c_str(), &fs) == 0) {
    network_ = NetworkFileSystem(static_cast<unsigned long>(fs.f_type));
  }
  SweepLeftovers();
  return true;
}

int DonationStore::SweepLeftovers() {
  int removed = 0;
  std::time_t now = std::time(nullptr);
  for (const char* folder : {"/donations/.incoming", "/comments/.incoming"}) {
    std::string path = root_ + folder;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
      continue;
    }
    while (dirent* e = ::readdir(dir)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") {
        continue;
      }
      std::string full = path + "/" + name;
      struct stat st;
      if (EndsWith(name, ".part")) {
        removed += RemoveIfAbandoned(full) ? 1 : 0;
      } else if (::lstat(full.c_str(), &st) == 0 && now - st.st_mtime > NewFileSeconds) {
        removed += ::unlink(full.c_str()) == 0 ? 1 : 0;
      }
    }
    ::closedir(dir);
  }
  return removed;
}

uint64_t DonationStore::NextNumber() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ++counter_;
}

std::unique_ptr<Upload> DonationStore::CreateUpload(const std::string& incoming, const std::string& hold,
                                                    int* file_error) {
  std::unique_ptr<Upload> upload(new Upload());
  upload->store_ = this;
  upload->done_ = true; // nothing to remove until the file is ours
  std::string unique = incoming + "/" + stem_ + std::to_string(NextNumber());
  // Made under a passing name and locked before it takes the name others
  // look for, so that no sweep ever finds it unheld.
  std::string fresh = unique + ".new";
  int fd = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    *file_error = errno;
    return nullptr;
  }
  if (!LockFile(fd)) {
    *file_error = errno;
    ::unlink(fresh.c_str());
    ::close(fd);
    return nullptr;
  }
  std::string target = hold.empty() ? unique + ".part" : incoming + "/" + hold;
  int linked = ::link(fresh.c_str(), target.c_str()) == 0 ? 0 : errno;
  if (linked == EEXIST && !hold.empty() && RemoveIfAbandoned(target)) {
    // The name was held by an instance that has stopped.
    linked = ::link(fresh.c_str(), target.c_str()) == 0 ? 0 : errno;
  }
  ::unlink(fresh.c_str());
  if (linked != 0) {
    *file_error = linked;
    ::close(fd);
    return nullptr;
  }
  upload->fd_ = fd;
  upload->temp_path_ = target;
  upload->done_ = false;
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
  std::string kind_folder = root_ + "/donations/" + kind;
  std::string folder = kind_folder + "/" + std::to_string(position);
  // Only the last two levels: with the content folder gone (a shared file
  // system away), nothing is made in its place on the local disk.
  struct stat folder_stat;
  if ((::mkdir(kind_folder.c_str(), 0755) != 0 && errno != EEXIST) ||
      (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) ||
      ::stat(folder.c_str(), &folder_stat) != 0 || !S_ISDIR(folder_stat.st_mode)) {
    if (errno == 0 || errno == EEXIST) {
      errno = ENOTDIR;
    }
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
  // Other instances over the same folder: the upload file's name holds the
  // donation's name among them all.
  int file_error = 0;
  std::string hold = std::string("d-") + kind + "-" + std::to_string(position) + "-" + held + ".part";
  std::unique_ptr<Upload> upload = CreateUpload(root_ + "/donations/.incoming", hold, &file_error);
  if (upload) {
    // From here the upload releases the name and its place in the quota.
    upload->final_path_ = final_path;
    upload->reserved_ = true;
    struct stat st;
    if (::lstat(final_path.c_str(), &st) == 0) {
      // Stored by another instance just before our hold.
      upload->Discard();
      verdict->code = 10;
      verdict->held_name = held;
      verdict->why = "name exists";
      return nullptr;
    }
  } else {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      donation_account_.pending.files -= 1;
    }
    Release(final_path);
    if (file_error == EEXIST) {
      verdict->code = 10;
      verdict->held_name = held;
      verdict->why = "name exists";
      return nullptr;
    }
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
  std::unique_ptr<Upload> upload = CreateUpload(root_ + "/comments/.incoming", std::string(), file_error);
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
  upload->comment_stem_ = root_ + "/comments/" + stamp + "-" + client_id + "-";
  upload->final_path_ = upload->comment_stem_ + std::to_string(NextNumber()) + ".txt";
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
