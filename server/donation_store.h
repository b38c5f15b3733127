// What clients give: donated files and comments.
//
// Everything a client sends is first written under a hidden ".incoming"
// folder and moved into place only once the whole block has arrived, without
// ever replacing an existing file, so a half-received upload is never
// visible where donations and comments are looked for:
//   donations/<quote|picture|sound>/<position>/<name as sent>
//   comments/<YYYYmmdd-HHMMSS>-<client id>-<n>.txt
// Beside each donation, a hidden ".<name>.meta" says who gave it (client
// id and address); it appears before the donation does and is removed with
// it by the moderation page. The ".incoming" folders are emptied when the
// server starts.
//
// Quotas keep a public server's disk from filling: what waits in
// donations/ and what is kept in comments/ is counted (by bytes and by
// files), and a donation or comment that would go over is refused.
#pragma once
#include "server/atomic_file.h"
#include "server/file_names.h"

#include <cstddef>
#include <cstdint>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>

class DonationStore;

// The error number that goes with response 5 when a quota is full (Linux's
// EDQUOT, "disk quota exceeded"), so that operators can tell it from a
// real file error.
constexpr int QuotaFullError = 122;

struct Usage {
  int64_t bytes = 0;
  int64_t files = 0;
};

// Limits on what clients may leave; 0 is no limit.
struct Quota {
  int64_t bytes = 0;
  int64_t files = 0;
};

// What waits in donations/ (every kind and category) and what is kept in
// comments/: visible files only, uploads still arriving left out.
Usage ScanDonationUsage(const std::string& content_root);
Usage ScanCommentUsage(const std::string& content_root);


// Who gave a donation, as written beside it.
struct DonorInfo {
  std::string client_id;
  std::string address;
};
// The path of the hidden file beside a donation at path.
std::string DonorInfoPath(const std::string& donation_path);
// Reads it; false when there is none.
bool ReadDonorInfo(const std::string& donation_path, DonorInfo* info);

// One upload being received. Destroying it without Commit throws the
// partial data away.
class Upload {
 public:
  ~Upload();
  Upload(const Upload&) = delete;
  Upload& operator=(const Upload&) = delete;

  // Appends received bytes; false when the file cannot be written.
  bool Write(const void* data, std::size_t size);
  // Makes the file visible under its final name. Returns 0, or the file
  // error number when that fails (the data is then thrown away).
  int Commit();
  void Discard();

  const std::string& FinalPath() const { return final_path_; }
  int64_t BytesWritten() const { return written_; }

  // Claims room in the quota for a block of bytes; false (and nothing
  // claimed) when the quota would be exceeded.
  bool Claim(int64_t bytes);

 private:
  friend class DonationStore;
  Upload() = default;

  DonationStore* store_ = nullptr;
  int fd_ = -1;
  std::string temp_path_;
  std::string final_path_;
  bool reserved_ = false; // final_path_ is held in the store's reservations
  bool done_ = false;
  bool comment_ = false;
  int64_t claimed_ = 0;   // bytes claimed in the quota
  int64_t written_ = 0;
  std::string donor_text_; // the donor file's contents; empty for comments
  std::string comment_stem_; // a comment's final path up to its number
};

struct DonationVerdict {
  int code = 0;          // response code: 0, 1, 5 or 10
  int file_error = 0;    // for code 5: errno
  std::string held_name; // for code 10: the name as the server holds it
  std::string why;       // for the log
};

class DonationStore {
 public:
  explicit DonationStore(std::string content_root);

  // Creates the folders and sweeps the ".incoming" ones. False with a
  // reason when the folders cannot be made.
  bool Prepare(std::string* error);

  // Removes from the ".incoming" folders what instances that were killed
  // left there: upload files that no live writer holds (on any machine
  // sharing the folder), and passing files over a minute old. Returns how
  // many files went.
  int SweepLeftovers();

  // Starts receiving a donated file for the category at position (0-based)
  // of an item type, whose list holds category_count names. On code 0 the
  // returned upload is ready for the block.
  // A full quota is code 5 with QuotaFullError.
  std::unique_ptr<Upload> BeginDonation(int type, int position, int category_count, const char* name,
                                        std::size_t name_length, const DonorInfo& donor,
                                        DonationVerdict* verdict);

  // Starts receiving a comment from a client. Null with errno in
  // *file_error when the file cannot be created (QuotaFullError when the
  // comment quota is full).
  std::unique_ptr<Upload> BeginComment(const std::string& client_id, int* file_error);

  void SetQuotas(const Quota& donations, const Quota& comments);

  // Uploads under way (for tests and shutdown checks).
  std::size_t Reserved();

 private:
  friend class Upload;
  struct Account {
    Quota quota;
    Usage used;          // as last counted on disk, plus what was stored since
    Usage pending;       // uploads under way (bytes as claimed)
    std::chrono::steady_clock::time_point counted{};
    bool ever_counted = false;
  };
  // An upload file in incoming, held (locked) by this process: named hold
  // when given (EEXIST when a live writer holds that name), else a name of
  // its own.
  std::unique_ptr<Upload> CreateUpload(const std::string& incoming, const std::string& hold, int* file_error);
  uint64_t NextNumber();
  void Release(const std::string& final_path);
  // With mutex_ held: counts the disk again when the last count is older
  // than a few seconds (the moderation page removes files behind our back),
  // and says whether one more file fits.
  bool RoomForFile(Account* account, bool comments);
  bool ClaimBytes(bool comments, int64_t bytes);
  void Finished(bool comments, int64_t claimed, bool stored, int64_t stored_bytes);

  std::string root_;
  std::mutex mutex_;
  std::set<std::string> reserved_; // final paths of uploads under way
  uint64_t counter_ = 0;
  std::string stem_; // "<host>-<pid>-": upload file names of this process
  bool network_ = false; // the content is on a network file system
  Account donation_account_;
  Account comment_account_;
};

// The client id as it may appear in a file name and a log line: letters and
// digits kept, anything else '_', at most 20 characters; "unknown" when
// empty.
std::string SafeClientId(const char* id, std::size_t length);
