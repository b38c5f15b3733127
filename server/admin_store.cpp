#include "server/admin_store.h"

#include "server/server.h"
#include "server/server_log.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

// A quote longer than a client keeps of a block would never arrive.
constexpr int64_t MaxQuoteBytes = 999999;
// The status panel reads at most this much of the end of the server's log.
constexpr int64_t MaxLogTail = 32 * 1024 * 1024;

bool ReadFile(const std::string& path, std::string* out, int64_t limit, int64_t from_end = -1) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  int64_t offset = 0;
  if (from_end >= 0 && st.st_size > from_end) {
    offset = st.st_size - from_end;
  }
  int64_t want = std::min<int64_t>(st.st_size - offset, limit);
  out->resize(static_cast<std::size_t>(std::max<int64_t>(want, 0)));
  int64_t got = 0;
  while (got < want) {
    ssize_t n = ::pread(fd, &(*out)[got], static_cast<std::size_t>(want - got), offset + got);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      break;
    }
    got += n;
  }
  ::close(fd);
  out->resize(static_cast<std::size_t>(got));
  return true;
}

// Writes a whole file under a temporary name and moves it over path, so
// the server never reads half of it.
bool ReplaceFile(const std::string& path, const std::string& text, std::string* why) {
  std::string temp = path + ".admin-tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *why = std::string("cannot write ") + std::strerror(errno);
    return false;
  }
  if (!WriteAll(fd, text)) {
    *why = std::string("cannot write: ") + std::strerror(errno);
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  }
  if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
    *why = std::string("cannot write: ") + std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

bool MakeFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

int TypeOfKind(const std::string& kind) {
  for (int type : {ItemQuote, ItemPicture, ItemSound}) {
    if (kind == ItemKindName(type)) {
      return type;
    }
  }
  return 0;
}

// "20250301-101502-<client id>-<n>.txt" -> client id and time.
void ParseCommentName(const std::string& name, CommentItem* item) {
  item->client_id = "unknown";
  std::size_t a = name.find('-');
  std::size_t b = a == std::string::npos ? a : name.find('-', a + 1);
  std::size_t c = b == std::string::npos ? b : name.find('-', b + 1);
  if (c != std::string::npos) {
    item->client_id = name.substr(b + 1, c - b - 1);
  }
}

} // namespace

std::string DonationRef::Id() const {
  return std::string(ItemKindName(type) ? ItemKindName(type) : "?") + "/" + std::to_string(position) + "/" + name;
}

bool PlainFileName(const std::string& name) {
  return !name.empty() && name.size() <= 255 && name[0] != '.' && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

bool ParseDonationId(const std::string& id, DonationRef* ref) {
  std::size_t a = id.find('/');
  std::size_t b = a == std::string::npos ? a : id.find('/', a + 1);
  if (b == std::string::npos) {
    return false;
  }
  int type = TypeOfKind(id.substr(0, a));
  std::string number = id.substr(a + 1, b - a - 1);
  if (!type || number.empty() || number.size() > 4 || number.find_first_not_of("0123456789") != std::string::npos ||
      (number.size() > 1 && number[0] == '0')) {
    return false;
  }
  int position = std::stoi(number);
  std::string name = id.substr(b + 1);
  if (position >= MaxCategories || !PlainFileName(name)) {
    return false;
  }
  ref->type = type;
  ref->position = position;
  ref->name = name;
  return true;
}

ExchangeCounts CountExchanges(const std::string& log_text, int64_t now) {
  ExchangeCounts counts;
  counts.log_readable = true;
  std::size_t pos = 0;
  while (pos < log_text.size()) {
    std::size_t end = log_text.find('\n', pos);
    if (end == std::string::npos) {
      end = log_text.size();
    }
    // "2025-03-01 10:15:02.118 client=12345 type=1/quote result=0 ..."
    if (end - pos > 40) {
      std::tm when{};
      const char* line = log_text.c_str() + pos;
      const char* rest = ::strptime(line, "%Y-%m-%d %H:%M:%S", &when);
      std::size_t type_at = log_text.find(" type=", pos);
      if (rest && type_at != std::string::npos && type_at < end) {
        when.tm_isdst = -1;
        int64_t t = static_cast<int64_t>(std::mktime(&when));
        std::size_t slash = log_text.find('/', type_at);
        std::size_t space = log_text.find(' ', type_at + 1);
        if (slash != std::string::npos && space != std::string::npos && slash < space && space <= end) {
          std::string name = log_text.substr(slash + 1, space - slash - 1);
          if (now - t <= 86400) {
            counts.last_day[name]++;
            if (now - t <= 3600) {
              counts.last_hour[name]++;
            }
          }
        }
      }
    }
    pos = end + 1;
  }
  return counts;
}

bool AppendQuote(const std::string& file_text, const std::string& quote, std::string* out, std::string* why) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= quote.size()) {
    std::size_t end = quote.find('\n', start);
    if (end == std::string::npos) {
      end = quote.size();
    }
    std::string line = quote.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line == "%") {
      *why = "it holds a line of only \"%\", which would split it into two quotes";
      return false;
    }
    lines.push_back(line);
    start = end + 1;
  }
  while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string::npos) {
    lines.pop_back();
  }
  std::size_t first = 0;
  while (first < lines.size() && lines[first].find_first_not_of(" \t") == std::string::npos) {
    ++first;
  }
  if (first == lines.size()) {
    *why = "it is empty";
    return false;
  }
  *out = file_text;
  if (!out->empty() && out->back() != '\n') {
    *out += '\n';
  }
  if (!ParseQuotes(file_text).empty()) {
    *out += "%\n";
  }
  for (std::size_t i = first; i < lines.size(); ++i) {
    *out += lines[i];
    *out += '\n';
  }
  return true;
}

AdminStore::AdminStore(std::string content_root, std::string audit_path, std::string server_log)
    : root_(std::move(content_root)),
      audit_path_(audit_path.empty() ? root_ + "/audit.log" : std::move(audit_path)),
      server_log_(std::move(server_log)),
      content_(root_) {}

std::string AdminStore::DonationPath(const DonationRef& ref) const {
  return root_ + "/donations/" + ItemKindName(ref.type) + "/" + std::to_string(ref.position) + "/" + ref.name;
}

std::string AdminStore::CategoryName(int type, int position) {
  auto names = content_.Categories(type);
  if (position >= 0 && position < static_cast<int>(names->size())) {
    return (*names)[position];
  }
  return "(no category " + std::to_string(position) + ")";
}

QueuePage AdminStore::Queue(const QueueFilter& filter, std::size_t offset, std::size_t limit) {
  QueuePage page;
  std::vector<QueueItem> all;
  for (int type : {ItemQuote, ItemPicture, ItemSound}) {
    if (filter.type && filter.type != type) {
      continue;
    }
    std::string base = root_ + "/donations/" + ItemKindName(type);
    DIR* kinds = ::opendir(base.c_str());
    if (!kinds) {
      continue;
    }
    while (dirent* c = ::readdir(kinds)) {
      DonationRef folder;
      if (c->d_name[0] == '.' ||
          !ParseDonationId(std::string(ItemKindName(type)) + "/" + c->d_name + "/x", &folder) ||
          (filter.position >= 0 && filter.position != folder.position)) {
        continue;
      }
      std::string path = base + "/" + c->d_name;
      DIR* dir = ::opendir(path.c_str());
      if (!dir) {
        continue;
      }
      while (dirent* e = ::readdir(dir)) {
        struct stat st;
        if (!PlainFileName(e->d_name) || ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode)) {
          continue;
        }
        QueueItem item;
        item.ref.type = type;
        item.ref.position = folder.position;
        item.ref.name = e->d_name;
        item.size = st.st_size;
        item.arrived = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        all.push_back(std::move(item));
      }
      ::closedir(dir);
    }
    ::closedir(kinds);
  }
  page.total = all.size();
  std::size_t end = std::min(all.size(), offset + limit);
  if (offset >= end) {
    return page;
  }
  auto newer = [](const QueueItem& a, const QueueItem& b) {
    if (a.arrived != b.arrived) {
      return a.arrived > b.arrived;
    }
    return a.ref.Id() < b.ref.Id();
  };
  // Only the page needs to be in order.
  std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(end), all.end(), newer);
  for (std::size_t i = offset; i < end; ++i) {
    QueueItem item = std::move(all[i]);
    item.arrived /= 1000000000;
    item.category = CategoryName(item.ref.type, item.ref.position);
    DonorInfo donor;
    if (ReadDonorInfo(DonationPath(item.ref), &donor)) {
      item.client_id = donor.client_id;
      item.address = donor.address;
    } else {
      item.client_id = "unknown";
    }
    page.items.push_back(std::move(item));
  }
  return page;
}

bool AdminStore::AcceptOne(const DonationRef& ref, std::string* message) {
  std::string from = DonationPath(ref);
  std::string category = CategoryName(ref.type, ref.position);
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    *message = "not accepted: " + ref.Id() + " is no longer waiting";
    return false;
  }
  if (ref.position >= static_cast<int>(content_.Categories(ref.type)->size())) {
    *message = "not accepted: " + ref.name + " was given to a category that is not in the list";
    return false;
  }
  if (ref.type == ItemQuote) {
    std::string quote;
    std::string why;
    if (st.st_size > MaxQuoteBytes) {
      *message = "not accepted: the quote " + ref.name + " is longer than a client takes";
      return false;
    }
    std::string quotes_path = root_ + "/quotes/" + std::to_string(ref.position) + ".txt";
    std::string text;
    std::string updated;
    MakeFolder(root_ + "/quotes");
    ReadFile(quotes_path, &text, INT64_MAX);
    if (!ReadFile(from, &quote, MaxQuoteBytes) || !AppendQuote(text, quote, &updated, &why) ||
        !ReplaceFile(quotes_path, updated, &why)) {
      *message = "not accepted: the quote " + ref.name + ": " + (why.empty() ? "cannot be read" : why);
      return false;
    }
    ::unlink(from.c_str());
    *message = "accepted: the quote " + ref.name + " is now the last quote of " + category;
  } else {
    std::string folder = root_ + (ref.type == ItemPicture ? "/pictures/" : "/sounds/");
    MakeFolder(folder);
    folder += std::to_string(ref.position);
    MakeFolder(folder);
    std::string to = folder + "/" + ref.name;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
      int error = errno;
      *message = error == EEXIST ? "not accepted: " + category + " already has a file named " + ref.name +
                                       "; reject this one or rename the one in the category"
                                 : "not accepted: " + ref.name + ": " + std::strerror(error);
      return false;
    }
    *message = "accepted: " + ref.name + " is now in " + category;
  }
  ::unlink(DonorInfoPath(from).c_str());
  return true;
}

int AdminStore::Accept(const std::vector<DonationRef>& refs, const std::string& who,
                       std::vector<std::string>* messages) {
  std::lock_guard<std::mutex> lock(mutex_);
  int done = 0;
  for (const DonationRef& ref : refs) {
    std::string message;
    bool ok = AcceptOne(ref, &message);
    done += ok ? 1 : 0;
    Audit(who, (ok ? "accept " : "accept refused ") + ref.Id() + ": " + message);
    messages->push_back(message);
  }
  return done;
}

int AdminStore::Reject(const std::vector<DonationRef>& refs, const std::string& who,
                       std::vector<std::string>* messages) {
  std::lock_guard<std::mutex> lock(mutex_);
  int done = 0;
  for (const DonationRef& ref : refs) {
    std::string path = DonationPath(ref);
    struct stat st;
    bool ok = ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0;
    if (ok) {
      ::unlink(DonorInfoPath(path).c_str());
      messages->push_back("rejected: " + ref.name + " is removed");
      Audit(who, "reject " + ref.Id());
      ++done;
    } else {
      messages->push_back("not rejected: " + ref.Id() + " is no longer waiting");
    }
  }
  return done;
}

std::vector<CommentItem> AdminStore::Comments(std::size_t offset, std::size_t limit, std::size_t* total) {
  std::vector<CommentItem> all;
  std::string base = root_ + "/comments";
  DIR* dir = ::opendir(base.c_str());
  if (dir) {
    while (dirent* e = ::readdir(dir)) {
      struct stat st;
      if (!PlainFileName(e->d_name) || ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
          !S_ISREG(st.st_mode)) {
        continue;
      }
      CommentItem item;
      item.name = e->d_name;
      item.arrived = st.st_mtim.tv_sec;
      item.size = st.st_size;
      all.push_back(std::move(item));
    }
    ::closedir(dir);
  }
  *total = all.size();
  std::sort(all.begin(), all.end(), [](const CommentItem& a, const CommentItem& b) {
    return a.arrived != b.arrived ? a.arrived > b.arrived : a.name > b.name;
  });
  std::vector<CommentItem> page;
  for (std::size_t i = offset; i < all.size() && i < offset + limit; ++i) {
    CommentItem item = all[i];
    ParseCommentName(item.name, &item);
    struct stat st;
    item.read = ::lstat((base + "/.read/" + item.name).c_str(), &st) == 0;
    page.push_back(std::move(item));
  }
  return page;
}

bool AdminStore::OpenComment(const std::string& name, std::string* text) {
  if (!PlainFileName(name) || !ReadFile(root_ + "/comments/" + name, text, 1024 * 1024)) {
    return false;
  }
  // Read is remembered as an empty file of the same name.
  MakeFolder(root_ + "/comments/.read");
  int fd = ::open((root_ + "/comments/.read/" + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd >= 0) {
    ::close(fd);
  }
  return true;
}

int AdminStore::AddCategory(int type, const std::string& name, const std::string& who, std::string* why) {
  int code = content_.AddCategory(type, name.data(), name.size(), why);
  if (code == 0) {
    auto names = content_.Categories(type);
    Audit(who, std::string("add ") + (ItemKindName(type) ? ItemKindName(type) : "?") + " category " +
                   name + " at position " + std::to_string(names->size() - 1));
  }
  return code;
}

AdminStatus AdminStore::Status() {
  AdminStatus status;
  std::string log;
  if (!server_log_.empty() && ReadFile(server_log_, &log, MaxLogTail, MaxLogTail)) {
    status.exchanges = CountExchanges(log, static_cast<int64_t>(std::time(nullptr)));
  }
  status.donations = ScanDonationUsage(root_);
  status.comments = ScanCommentUsage(root_);
  std::string quota;
  if (ReadFile(root_ + "/" + QuotaFileName, &quota, 4096)) {
    status.quota_known = true;
    for (const char* key : {"donation-bytes", "donation-files", "comment-bytes", "comment-files"}) {
      std::size_t at = quota.find(std::string(key) + " ");
      int64_t value = at == std::string::npos ? 0 : std::atoll(quota.c_str() + at + std::strlen(key) + 1);
      int64_t* target = std::strcmp(key, "donation-bytes") == 0   ? &status.donation_quota.bytes
                        : std::strcmp(key, "donation-files") == 0 ? &status.donation_quota.files
                        : std::strcmp(key, "comment-bytes") == 0  ? &status.comment_quota.bytes
                                                                  : &status.comment_quota.files;
      *target = value;
    }
  }
  return status;
}

void AdminStore::Audit(const std::string& who, const std::string& what) {
  std::time_t now = std::time(nullptr);
  std::tm local;
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  // Names come from donors: control characters must not make lines of
  // their own.
  std::string line = std::string(stamp) + " " + LogSafe(who) + " " + LogSafe(what) + "\n";
  int fd = ::open(audit_path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ssize_t ignored = ::write(fd, line.data(), line.size());
    (void)ignored;
    ::close(fd);
  }
}
