#include "server/admin_index.h"

#include "server/admin_store.h"
#include "server/content_store.h"
#include "server/donation_store.h"
#include "server/file_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <set>
#include <tuple>

namespace {

int64_t Nanoseconds(const timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

int FolderKey(int type, int position) {
  return type * 10000 + position;
}

// Calls take(name, stat) for every entry of path; false when it cannot be
// opened.
template <class Take>
bool EachEntry(const std::string& path, Take take) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) {
    return false;
  }
  while (dirent* e = ::readdir(dir)) {
    struct stat st;
    if (e->d_name[0] != '.' && ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      take(std::string(e->d_name), st);
    }
  }
  ::closedir(dir);
  return true;
}

} // namespace

DonationIndex::DonationIndex(std::string content_root) : root_(std::move(content_root)) {}

bool DonationIndex::Stale(const std::string& path, Listing* listing, int64_t now_ns) {
  struct stat st;
  int64_t mtime = ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? Nanoseconds(st.st_mtim) : -1;
  bool stale = mtime != listing->mtime_ns || !listing->settled;
  listing->mtime_ns = mtime;
  // A time ahead of this clock (another machine's) is not trusted either;
  // a folder that is not there is looked for again only by its time.
  listing->settled = mtime < 0 || now_ns - mtime > RecentSeconds * 1000000000;
  return stale;
}

bool DonationIndex::ReadFolder(const std::string& path, int type, int position, Folder* folder) {
  ++folders_read_;
  std::unordered_map<std::string, std::shared_ptr<IndexedDonation>> now;
  bool changed = false;
  DIR* dir = ::opendir(path.c_str());
  while (dirent* e = dir ? ::readdir(dir) : nullptr) {
    // Hidden names (donor records, uploads) are the server's own.
    if (e->d_name[0] == '.' || !AcceptableFileName(e->d_name)) {
      continue;
    }
    std::string name = e->d_name;
    auto kept = folder->items.find(name);
    if (kept != folder->items.end() && kept->second->inode == e->d_ino) {
      now.emplace(std::move(name), std::move(kept->second));
      continue;
    }
    struct stat st;
    if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
      continue;
    }
    auto item = std::make_shared<IndexedDonation>();
    item->ref.type = type;
    item->ref.position = position;
    item->ref.name = name;
    item->size = st.st_size;
    item->arrived_ns = Nanoseconds(st.st_mtim);
    item->inode = st.st_ino;
    now.emplace(std::move(name), std::move(item));
    changed = true;
  }
  if (dir) {
    ::closedir(dir);
  }
  changed = changed || now.size() != folder->items.size();
  folder->items = std::move(now);
  return changed;
}

bool DonationIndex::Refresh() {
  timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  int64_t now_ns = Nanoseconds(now);
  bool changed = false;
  folders_read_ = 0;
  for (int type : {ItemQuote, ItemPicture, ItemSound}) {
    std::string base = root_ + "/donations/" + ItemKindName(type);
    KindFolder& kind = kinds_[type];
    if (Stale(base, &kind, now_ns)) {
      ++folders_read_;
      kind.positions.clear();
      EachEntry(base, [&](const std::string& name, const struct stat& st) {
        DonationRef folder;
        if (S_ISDIR(st.st_mode) && ParseDonationId(std::string(ItemKindName(type)) + "/" + name + "/x", &folder)) {
          kind.positions.push_back(folder.position);
        }
      });
      // Categories whose folder went are dropped with their donations.
      std::set<int> present;
      for (int position : kind.positions) {
        present.insert(FolderKey(type, position));
      }
      for (auto it = folders_.lower_bound(FolderKey(type, 0)); it != folders_.end() && it->first < FolderKey(type + 1, 0);) {
        if (present.count(it->first)) {
          ++it;
        } else {
          it = folders_.erase(it);
          changed = true;
        }
      }
    }
    for (int position : kind.positions) {
      Folder& folder = folders_[FolderKey(type, position)];
      std::string path = base + "/" + std::to_string(position);
      if (Stale(path, &folder, now_ns) && ReadFolder(path, type, position, &folder)) {
        changed = true;
      }
    }
  }
  return changed;
}

std::vector<IndexedDonation> DonationIndex::Page(const QueueFilter& filter, std::size_t offset, std::size_t limit,
                                                 std::size_t* total) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Refresh()) {
    newest_first_.clear();
    for (const auto& folder : folders_) {
      for (const auto& item : folder.second.items) {
        newest_first_.push_back(item.second);
      }
    }
    std::sort(newest_first_.begin(), newest_first_.end(), [](const auto& a, const auto& b) {
      if (a->arrived_ns != b->arrived_ns) {
        return a->arrived_ns > b->arrived_ns;
      }
      return std::tie(a->ref.type, a->ref.position, a->ref.name) < std::tie(b->ref.type, b->ref.position, b->ref.name);
    });
  }
  std::vector<IndexedDonation> page;
  std::size_t matching = 0;
  for (const auto& item : newest_first_) {
    if ((filter.type && filter.type != item->ref.type) ||
        (filter.position >= 0 && filter.position != item->ref.position)) {
      continue;
    }
    if (matching >= offset && matching - offset < limit) {
      if (!item->donor_read) {
        DonorInfo donor;
        std::string path = root_ + "/donations/" + ItemKindName(item->ref.type) + "/" +
                           std::to_string(item->ref.position) + "/" + item->ref.name;
        if (ReadDonorInfo(path, &donor)) {
          item->client_id = donor.client_id;
          item->address = donor.address;
          item->donor_read = true;
        }
      }
      page.push_back(*item);
    }
    ++matching;
  }
  *total = matching;
  return page;
}
