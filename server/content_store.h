// The server's content directory: categories per item type, quotes,
// pictures, sounds, news, tips and the status line, read from disk and kept
// in memory until the files change.
//
// Layout under the content root (see README, "Reference server"):
//   categories/quote.txt, picture.txt, sound.txt   one category name a line
//   quotes/<position>.txt      quotes separated by lines holding only "%"
//   pictures/<position>/       one picture per file
//   sounds/<position>/         one WAV sound per file
//   news.txt, tips.txt, status.txt
// A category's position is its 0-based place among the non-empty lines of
// its categories file.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/request_record.h"  // ItemQuote, ItemPicture, ItemSound

// Category names that add-category accepts: 2 to 45 characters after
// trimming spaces, no control characters.
constexpr int MinCategoryName = 2;
constexpr int MaxCategoryName = 45;
// Clients may add categories, but a list must stay far below the 999,999
// bytes a client keeps of a block.
constexpr int MaxCategories = 1000;

// "quote", "picture", "sound", or nullptr for any other type.
const char* ItemKindName(int type);

enum class PickResult {
  Found,
  NoSuchCategory, // the position is outside the type's category list
  Empty,          // the category exists and holds nothing
  Unreadable,     // something is there but could not be read
};

// An open content file chosen for sending; the descriptor closes with the
// last reference.
struct OpenFile {
  int fd = -1;
  int64_t size = 0;
  std::string name;
  OpenFile() = default;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile();
};

class ContentStore {
 public:
  explicit ContentStore(std::string root);

  const std::string& Root() const { return root_; }

  // The category names of an item type (1 to 3), in order; empty for any
  // other type or when the list file is missing.
  std::shared_ptr<const std::vector<std::string>> Categories(int type);

  // One quote at random from the category at position.
  PickResult PickQuote(int position, std::shared_ptr<const std::string>* quote);

  // One picture (type 2) or sound (type 3) file at random, opened.
  PickResult PickFile(int type, int position, std::shared_ptr<OpenFile>* file);

  // News and tips with every line ending in CR LF (the client shows them
  // unconverted); nullptr when the file is missing or unreadable.
  std::shared_ptr<const std::string> News();
  std::shared_ptr<const std::string> Tips();

  // The first line of status.txt, cut to 49 bytes so that it ends in a NUL
  // inside the record's text field; empty when there is none.
  std::string StatusLine();

  // Appends a category name to the list of an item type. Returns 0 when
  // added; 1 when the type is unknown, the name is not acceptable, the list
  // already holds it (letter case ignored) or MaxCategories names, or it
  // cannot be written.
  // why says which.
  int AddCategory(int type, const char* name, std::size_t length, std::string* why);

 private:
  struct Stamp {
    bool exists = false;
    int64_t mtime_ns = 0;
    int64_t size = 0;
    uint64_t inode = 0;
    int64_t ctime_ns = 0;
    bool operator==(const Stamp& o) const {
      return exists == o.exists && mtime_ns == o.mtime_ns && size == o.size && inode == o.inode &&
             ctime_ns == o.ctime_ns;
    }
  };
  struct Entry {
    Stamp stamp;
    std::shared_ptr<const void> product;
  };
  using Loader = std::shared_ptr<const void> (*)(const std::string& path, bool exists);

  std::shared_ptr<const void> Cached(const std::string& key, const std::string& path, Loader load);
  std::string CategoriesPath(int type) const;

  std::string root_;
  std::mutex mutex_;       // guards cache_
  std::mutex add_mutex_;   // one add-category at a time
  std::unordered_map<std::string, Entry> cache_;
};

// Parsers, exposed for tests.
std::vector<std::string> ParseCategoryNames(const std::string& text);
std::vector<std::string> ParseQuotes(const std::string& text);
std::string WithCrLf(const std::string& text);
