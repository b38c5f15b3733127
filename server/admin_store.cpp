#include "server/admin_store.h"

#include "server/atomic_file.h"
#include "server/file_names.h"

#include "server/server.h"
#include "server/server_log.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>

namespace {

// A quote longer than a client keeps of a block would never arrive.
constexpr int64_t MaxQuoteBytes = 999999;
constexpr const char* CountersSuffix = ".counters";

} // namespace

bool ReadFile(const std::string& path, std::string* out, int64_t limit) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  int64_t want = std::min<int64_t>(st.st_size, limit);
  out->resize(static_cast<std::size_t>(std::max<int64_t>(want, 0)));
  int64_t got = 0;
  while (got < want) {
    ssize_t n = ::pread(fd, &(*out)[got], static_cast<std::size_t>(want - got), got);
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

namespace {

// Moves a file to a name that must not exist yet. File systems without
// renameat2's no-replace (NFS among them) get link and unlink, which fail
// the same way, atomically, when the name exists.
bool MoveNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return false;
  }
  if (::link(from.c_str(), to.c_str()) != 0) {
    return false;
  }
  ::unlink(from.c_str());
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
  if (position >= MaxCategories || !AcceptableFileName(name)) {
    return false;
  }
  ref->type = type;
  ref->position = position;
  ref->name = name;
  return true;
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

AdminStore::AdminStore(std::string content_root, std::string audit_path)
    : root_(std::move(content_root)),
      audit_path_(audit_path.empty() ? root_ + "/audit.log" : std::move(audit_path)),
      content_(root_),
      index_(root_) {}

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
  std::map<int, std::shared_ptr<const std::vector<std::string>>> names;
  for (IndexedDonation& donation : index_.Page(filter, offset, limit, &page.total)) {
    auto& list = names[donation.ref.type];
    if (!list) {
      list = content_.Categories(donation.ref.type);
    }
    QueueItem item;
    item.ref = std::move(donation.ref);
    item.category = item.ref.position < static_cast<int>(list->size())
                        ? (*list)[item.ref.position]
                        : "(no category " + std::to_string(item.ref.position) + ")";
    item.size = donation.size;
    item.arrived = donation.arrived_ns / 1000000000;
    item.client_id = donation.donor_read ? donation.client_id : "unknown";
    item.address = donation.address;
    page.items.push_back(std::move(item));
  }
  return page;
}

Outcome AdminStore::AcceptOne(const DonationRef& ref) {
  auto refused = [](std::string text) { return Outcome{false, "not accepted: " + std::move(text)}; };
  std::string from = DonationPath(ref);
  std::string category = CategoryName(ref.type, ref.position);
  std::string done;
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return refused(ref.Id() + " is no longer waiting");
  }
  if (ref.position >= static_cast<int>(content_.Categories(ref.type)->size())) {
    return refused(ref.name + " was given to a category that is not in the list");
  }
  if (ref.type == ItemQuote) {
    std::string quote;
    std::string why;
    if (st.st_size > MaxQuoteBytes) {
      return refused("the quote " + ref.name + " is longer than a client takes");
    }
    std::string quotes_path = root_ + "/quotes/" + std::to_string(ref.position) + ".txt";
    std::string text;
    std::string updated;
    MakeFolder(root_ + "/quotes");
    ReadFile(quotes_path, &text, INT64_MAX);
    if (!ReadFile(from, &quote, MaxQuoteBytes) || !AppendQuote(text, quote, &updated, &why) ||
        !WriteFileAtomically(quotes_path, updated, &why)) {
      return refused("the quote " + ref.name + ": " + (why.empty() ? "cannot be read" : why));
    }
    ::unlink(from.c_str());
    done = "accepted: the quote " + ref.name + " is now the last quote of " + category;
  } else {
    std::string folder = root_ + (ref.type == ItemPicture ? "/pictures/" : "/sounds/");
    MakeFolder(folder);
    folder += std::to_string(ref.position);
    MakeFolder(folder);
    std::string to = folder + "/" + ref.name;
    if (!MoveNoReplace(from, to)) {
      int error = errno;
      return refused(error == EEXIST ? category + " already has a file named " + ref.name +
                                           "; reject this one or rename the one in the category"
                                     : ref.name + ": " + std::strerror(error));
    }
    done = "accepted: " + ref.name + " is now in " + category;
  }
  ::unlink(DonorInfoPath(from).c_str());
  return Outcome{true, done};
}

int AdminStore::Accept(const std::vector<DonationRef>& refs, const std::string& who,
                       std::vector<Outcome>* outcomes) {
  std::lock_guard<std::mutex> lock(mutex_);
  int done = 0;
  for (const DonationRef& ref : refs) {
    Outcome outcome = AcceptOne(ref);
    done += outcome.done ? 1 : 0;
    Audit(who, (outcome.done ? "accept " : "accept refused ") + ref.Id() + ": " + outcome.text);
    outcomes->push_back(std::move(outcome));
  }
  return done;
}

int AdminStore::Reject(const std::vector<DonationRef>& refs, const std::string& who,
                       std::vector<Outcome>* outcomes) {
  std::lock_guard<std::mutex> lock(mutex_);
  int done = 0;
  for (const DonationRef& ref : refs) {
    std::string path = DonationPath(ref);
    struct stat st;
    bool ok = ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0;
    if (ok) {
      ::unlink(DonorInfoPath(path).c_str());
      outcomes->push_back(Outcome{true, "rejected: " + ref.name + " is removed"});
      Audit(who, "reject " + ref.Id());
      ++done;
    } else {
      outcomes->push_back(Outcome{false, "not rejected: " + ref.Id() + " is no longer waiting"});
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
      if (!AcceptableFileName(e->d_name) || ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
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
  if (!AcceptableFileName(name) || !ReadFile(root_ + "/comments/" + name, text, 1024 * 1024)) {
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

bool ParseCounters(const std::string& text, InstanceCounters* counters) {
  bool updated = false;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::size_t space = line.find(' ');
    if (space == std::string::npos) {
      continue;
    }
    std::string key = line.substr(0, space);
    char* rest = nullptr;
    long long value = std::strtoll(line.c_str() + space + 1, &rest, 10);
    if (rest == line.c_str() + space + 1 || *rest != '\0' || value < 0) {
      continue;
    }
    if (key == "started") {
      counters->started = value;
    } else if (key == "updated") {
      counters->updated = value;
      updated = true;
    } else if (key == "exchanges") {
      counters->exchanges = value;
    } else if (key == "failed") {
      counters->failed = value;
    } else if (key.size() > 4 && key.size() < 15 && key.compare(0, 4, "code") == 0 &&
               key.find_first_not_of("0123456789", 4) == std::string::npos) {
      counters->codes[std::atoi(key.c_str() + 4)] = value;
    }
  }
  return updated;
}

AdminStatus AdminStore::Status(int64_t now) {
  AdminStatus status;
  // Each instance rewrites its own file whole (a rename), so every file
  // read is one instance's consistent state.
  std::string folder = root_ + "/" + StatsFolderName;
  DIR* stats = ::opendir(folder.c_str());
  while (dirent* e = stats ? ::readdir(stats) : nullptr) {
    std::string name = e->d_name;
    std::size_t suffix = name.size() - std::strlen(CountersSuffix);
    std::string text;
    InstanceCounters counters;
    if (name[0] == '.' || name.size() <= std::strlen(CountersSuffix) || name.compare(suffix, std::string::npos, CountersSuffix) != 0 ||
        !ReadFile(folder + "/" + name, &text, 64 * 1024) || !ParseCounters(text, &counters)) {
      continue;
    }
    counters.instance = name.substr(0, suffix);
    counters.stale = now - counters.updated > CountersStaleSeconds;
    status.total.exchanges += counters.exchanges;
    status.total.failed += counters.failed;
    for (const auto& code : counters.codes) {
      status.total.codes[code.first] += code.second;
    }
    status.instances.push_back(std::move(counters));
  }
  if (stats) {
    ::closedir(stats);
  }
  std::sort(status.instances.begin(), status.instances.end(),
            [](const InstanceCounters& a, const InstanceCounters& b) { return a.instance < b.instance; });
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
