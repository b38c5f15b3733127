#include "server/content_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace {

constexpr int64_t MaxTextFile = 16 * 1024 * 1024; // quotes, news, tips, lists
constexpr int64_t MaxAnnouncedSize = 0x7FFFFFFF;  // a block total is an int32

std::mt19937_64& Random() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  return generator;
}

std::size_t RandomIndex(std::size_t count) {
  std::uniform_int_distribution<std::size_t> pick(0, count - 1);
  return pick(Random());
}

// Reads a whole (small) file; false when it cannot be read or is too large.
bool ReadWholeFile(const std::string& path, std::string* out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  out->clear();
  char buffer[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 || static_cast<int64_t>(out->size()) + n > MaxTextFile) {
      ok = false;
      break;
    }
    if (n == 0) {
      break;
    }
    out->append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return ok;
}

// The lines of a text, without their CR LF or LF endings.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::size_t next = end == std::string::npos ? text.size() : end + 1;
    std::size_t stop = end == std::string::npos ? text.size() : end;
    if (stop > start && text[stop - 1] == '\r') {
      --stop;
    }
    lines.emplace_back(text, start, stop - start);
    start = next;
  }
  return lines;
}

std::shared_ptr<const void> LoadNames(const std::string& path, bool exists) {
  auto names = std::make_shared<std::vector<std::string>>();
  std::string text;
  if (exists && ReadWholeFile(path, &text)) {
    *names = ParseCategoryNames(text);
  }
  return names;
}

std::shared_ptr<const void> LoadQuotes(const std::string& path, bool exists) {
  auto quotes = std::make_shared<std::vector<std::shared_ptr<const std::string>>>();
  std::string text;
  if (exists && ReadWholeFile(path, &text)) {
    for (std::string& q : ParseQuotes(text)) {
      quotes->push_back(std::make_shared<const std::string>(std::move(q)));
    }
  }
  return quotes;
}

// A missing file is remembered as a null text.
std::shared_ptr<const void> LoadCrLfText(const std::string& path, bool exists) {
  std::string text;
  if (!exists || !ReadWholeFile(path, &text)) {
    return std::shared_ptr<const std::string>();
  }
  return std::make_shared<const std::string>(WithCrLf(text));
}

std::shared_ptr<const void> LoadStatus(const std::string& path, bool exists) {
  std::string text;
  auto line = std::make_shared<std::string>();
  if (exists && ReadWholeFile(path, &text)) {
    std::vector<std::string> lines = Lines(text);
    if (!lines.empty()) {
      *line = lines[0].substr(0, 49);
      line->resize(std::strlen(line->c_str())); // never a NUL inside
    }
  }
  return line;
}

struct Listing {
  std::vector<std::string> names; // regular files, hidden ones left out
};

std::shared_ptr<const void> LoadListing(const std::string& path, bool exists) {
  auto listing = std::make_shared<Listing>();
  if (!exists) {
    return listing;
  }
  DIR* dir = ::opendir(path.c_str());
  if (!dir) {
    return listing;
  }
  while (dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') {
      continue;
    }
    struct stat st;
    std::string full = path + "/" + e->d_name;
    if (::stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      listing->names.emplace_back(e->d_name);
    }
  }
  ::closedir(dir);
  return listing;
}

bool IsPrintableName(const char* name, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7F) {
      return false;
    }
  }
  return true;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) {
      return false;
    }
  }
  return true;
}

} // namespace

const char* ItemKindName(int type) {
  switch (type) {
    case ItemQuote: return "quote";
    case ItemPicture: return "picture";
    case ItemSound: return "sound";
    default: return nullptr;
  }
}

OpenFile::~OpenFile() {
  if (fd >= 0) {
    ::close(fd);
  }
}

std::vector<std::string> ParseCategoryNames(const std::string& text) {
  std::vector<std::string> names;
  for (std::string& line : Lines(text)) {
    // A NUL would split the name on the wire; such a line is no category.
    if (!line.empty() && line.find('\0') == std::string::npos) {
      names.push_back(std::move(line));
    }
  }
  return names;
}

std::vector<std::string> ParseQuotes(const std::string& text) {
  std::vector<std::string> quotes;
  std::string current;
  auto finish = [&]() {
    // Blank lines around a quote are not part of it.
    std::size_t first = current.find_first_not_of("\r\n");
    std::size_t last = current.find_last_not_of("\r\n");
    if (first != std::string::npos) {
      quotes.push_back(current.substr(first, last - first + 1));
    }
    current.clear();
  };
  for (const std::string& line : Lines(text)) {
    if (line == "%") {
      finish();
    } else {
      current += line;
      current += '\n';
    }
  }
  finish();
  return quotes;
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
      out += '\r';
    }
    out += text[i];
  }
  return out;
}

ContentStore::ContentStore(std::string root) : root_(std::move(root)) {
  while (root_.size() > 1 && root_.back() == '/') {
    root_.pop_back();
  }
}

std::shared_ptr<const void> ContentStore::Cached(const std::string& key, const std::string& path,
                                                 Loader load) {
  Stamp stamp;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    stamp.exists = true;
    stamp.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.size = st.st_size;
    stamp.inode = st.st_ino;
    // A change of permissions alone (a shared folder taken away and given
    // back) must load the file again too.
    stamp.ctime_ns = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = cache_.find(key);
    if (it != cache_.end() && it->second.stamp == stamp) {
      return it->second.product;
    }
  }
  // Loaded outside the lock; two threads may load the same file at once,
  // and the later one simply wins.
  std::shared_ptr<const void> product = load(path, stamp.exists);
  std::lock_guard<std::mutex> lock(mutex_);
  cache_[key] = Entry{stamp, product};
  return product;
}

std::string ContentStore::CategoriesPath(int type) const {
  return root_ + "/categories/" + ItemKindName(type) + ".txt";
}

std::shared_ptr<const std::vector<std::string>> ContentStore::Categories(int type) {
  if (!ItemKindName(type)) {
    return std::make_shared<const std::vector<std::string>>();
  }
  std::string path = CategoriesPath(type);
  return std::static_pointer_cast<const std::vector<std::string>>(Cached("c:" + path, path, LoadNames));
}

PickResult ContentStore::PickQuote(int position, std::shared_ptr<const std::string>* quote) {
  auto names = Categories(ItemQuote);
  if (position < 0 || static_cast<std::size_t>(position) >= names->size()) {
    return PickResult::NoSuchCategory;
  }
  std::string path = root_ + "/quotes/" + std::to_string(position) + ".txt";
  auto quotes = std::static_pointer_cast<const std::vector<std::shared_ptr<const std::string>>>(
      Cached("q:" + path, path, LoadQuotes));
  if (quotes->empty()) {
    return PickResult::Empty;
  }
  *quote = (*quotes)[RandomIndex(quotes->size())];
  return PickResult::Found;
}

PickResult ContentStore::PickFile(int type, int position, std::shared_ptr<OpenFile>* file) {
  if (type != ItemPicture && type != ItemSound) {
    return PickResult::NoSuchCategory;
  }
  auto names = Categories(type);
  if (position < 0 || static_cast<std::size_t>(position) >= names->size()) {
    return PickResult::NoSuchCategory;
  }
  std::string folder = root_ + (type == ItemPicture ? "/pictures/" : "/sounds/") + std::to_string(position);
  auto listing = std::static_pointer_cast<const Listing>(Cached("d:" + folder, folder, LoadListing));
  if (listing->names.empty()) {
    return PickResult::Empty;
  }
  // Start at a random file; should it have gone since the listing was made,
  // try the others in turn.
  std::size_t start = RandomIndex(listing->names.size());
  for (std::size_t i = 0; i < listing->names.size(); ++i) {
    const std::string& name = listing->names[(start + i) % listing->names.size()];
    int fd = ::open((folder + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      continue;
    }
    auto open = std::make_shared<OpenFile>();
    open->fd = fd;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > MaxAnnouncedSize) {
      continue; // closed by open's destructor
    }
    open->size = st.st_size;
    open->name = name;
    *file = std::move(open);
    return PickResult::Found;
  }
  return PickResult::Unreadable;
}

std::shared_ptr<const std::string> ContentStore::News() {
  std::string path = root_ + "/news.txt";
  return std::static_pointer_cast<const std::string>(Cached("n:" + path, path, LoadCrLfText));
}

std::shared_ptr<const std::string> ContentStore::Tips() {
  std::string path = root_ + "/tips.txt";
  return std::static_pointer_cast<const std::string>(Cached("t:" + path, path, LoadCrLfText));
}

std::string ContentStore::StatusLine() {
  std::string path = root_ + "/status.txt";
  return *std::static_pointer_cast<const std::string>(Cached("s:" + path, path, LoadStatus));
}

int ContentStore::AddCategory(int type, const char* name, std::size_t length, std::string* why) {
  if (!ItemKindName(type)) {
    *why = "unknown item type";
    return 1;
  }
  std::string trimmed(name, length);
  std::size_t first = trimmed.find_first_not_of(' ');
  std::size_t last = trimmed.find_last_not_of(' ');
  trimmed = first == std::string::npos ? std::string() : trimmed.substr(first, last - first + 1);
  if (trimmed.size() < MinCategoryName || trimmed.size() > MaxCategoryName) {
    *why = "name length";
    return 1;
  }
  if (!IsPrintableName(trimmed.data(), trimmed.size())) {
    *why = "control character in name";
    return 1;
  }

  std::lock_guard<std::mutex> lock(add_mutex_);
  std::string path = CategoriesPath(type);
  ::mkdir((root_ + "/categories").c_str(), 0755);
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *why = std::string("cannot open list: ") + std::strerror(errno);
    return 1;
  }
  // Other instances (on other machines too) and the moderation page add
  // categories as well: under the lock the list is read afresh from the
  // file, never from a cache, and the name appended at its end, so that a
  // name is listed once and no position ever moves.
  struct flock range = {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  while (::fcntl(fd, F_OFD_SETLKW, &range) != 0) {
    if (errno != EINTR) {
      *why = std::string("cannot lock list: ") + std::strerror(errno);
      ::close(fd);
      return 1;
    }
  }
  std::string text;
  struct stat st;
  bool read = ::fstat(fd, &st) == 0 && st.st_size <= MaxTextFile;
  if (read) {
    text.resize(static_cast<std::size_t>(st.st_size));
    read = ::pread(fd, &text[0], text.size(), 0) == static_cast<ssize_t>(text.size());
  }
  if (!read) {
    ::close(fd);
    *why = "cannot read list";
    return 1;
  }
  std::vector<std::string> names = ParseCategoryNames(text);
  if (names.size() >= MaxCategories) {
    ::close(fd);
    *why = "list full";
    return 1;
  }
  for (const std::string& existing : names) {
    if (SameIgnoringCase(existing, trimmed)) {
      ::close(fd);
      *why = "duplicate";
      return 1;
    }
  }
  // A list whose last line has no line end gets one first, so that the new
  // name starts a line of its own.
  std::string line;
  if (!text.empty() && text.back() != '\n') {
    line += '\n';
  }
  line += trimmed;
  line += '\n';
  ssize_t written = ::pwrite(fd, line.data(), line.size(), static_cast<off_t>(text.size()));
  // Closing lets the lock go; a network file system writes the data back
  // first, so the next holder, wherever it runs, reads the new name.
  bool kept = written == static_cast<ssize_t>(line.size());
  kept = ::close(fd) == 0 && kept;
  if (!kept) {
    *why = "cannot write list";
    return 1;
  }
  *why = "added";
  return 0;
}
