// The moderation page's list of waiting donations, kept between requests.
//
// Reading every donation folder on every request costs a stat per waiting
// donation; instead each folder's listing is kept with the folder's
// modification time and read again only when that time moves. Every change
// that makes a donation appear or go is a create, rename or unlink in its
// folder, which moves the time on every POSIX file system, shared ones
// included, whichever machine made it. A folder whose time is within
// RecentSeconds of the clock is read again on every request: two changes in
// one tick of the file system's clock would otherwise look like one. Reading
// a folder again costs only its listing: a name whose inode number is the
// one seen before is the same file (donations appear by rename, whole, and
// never change), and only new names are looked at.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

struct DonationRef {
  int type = 0;          // ItemQuote, ItemPicture, ItemSound
  int position = 0;      // the category's 0-based position
  std::string name;      // the file's name
  std::string Id() const;
};

struct QueueFilter {
  int type = 0;       // 0: every kind
  int position = -1;  // -1: every category
};

struct IndexedDonation {
  DonationRef ref;
  int64_t size = 0;
  int64_t arrived_ns = 0; // the file's modification time
  uint64_t inode = 0;
  // From the donor record, read once when the donation is first shown.
  bool donor_read = false;
  std::string client_id;
  std::string address;
};

class DonationIndex {
 public:
  static constexpr int64_t RecentSeconds = 2;

  explicit DonationIndex(std::string content_root);

  // The donations matching filter, newest first: [offset, offset + limit)
  // of them, with their donor records, and how many match in all.
  std::vector<IndexedDonation> Page(const QueueFilter& filter, std::size_t offset, std::size_t limit,
                                    std::size_t* total);

  // How many folders were read in the last Page call (for tests).
  int FoldersRead() const { return folders_read_; }

 private:
  struct Listing {
    int64_t mtime_ns = -1;  // -1: never read, or the folder is gone
    bool settled = false;   // the time is old enough to be trusted
  };
  struct KindFolder : Listing {
    std::vector<int> positions;
  };
  struct Folder : Listing {
    std::unordered_map<std::string, std::shared_ptr<IndexedDonation>> items;
  };
  // Reads again every folder whose time moved; true when anything changed.
  bool Refresh();
  // Whether path must be read again; *listing is updated to its state now.
  bool Stale(const std::string& path, Listing* listing, int64_t now_ns);
  // Reads a folder's listing again; true when a donation came or went.
  bool ReadFolder(const std::string& path, int type, int position, Folder* folder);

  std::string root_;
  std::mutex mutex_;
  std::map<int, KindFolder> kinds_;  // donations/<kind>: its category folders
  std::map<int, Folder> folders_;    // donations/<kind>/<position>, by type * 10000 + position
  std::vector<std::shared_ptr<IndexedDonation>> newest_first_;
  int folders_read_ = 0;
};
