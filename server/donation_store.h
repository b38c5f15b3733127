// What clients give: donated files and comments.
//
// Everything a client sends is first written under a hidden ".incoming"
// folder and moved into place only once the whole block has arrived, without
// ever replacing an existing file, so a half-received upload is never
// visible where donations and comments are looked for:
//   donations/<quote|picture|sound>/<position>/<name as sent>
//   comments/<YYYYmmdd-HHMMSS>-<client id>-<n>.txt
// The ".incoming" folders are emptied when the server starts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>

class DonationStore;

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

 private:
  friend class DonationStore;
  Upload() = default;

  DonationStore* store_ = nullptr;
  int fd_ = -1;
  std::string temp_path_;
  std::string final_path_;
  bool reserved_ = false; // final_path_ is held in the store's reservations
  bool done_ = false;
  int64_t written_ = 0;
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

  // Creates the folders and empties the ".incoming" ones (leftovers of a
  // server that was killed). False with a reason when the folders cannot be
  // made.
  bool Prepare(std::string* error);

  // Starts receiving a donated file for the category at position (0-based)
  // of an item type, whose list holds category_count names. On code 0 the
  // returned upload is ready for the block.
  std::unique_ptr<Upload> BeginDonation(int type, int position, int category_count, const char* name,
                                        std::size_t name_length, DonationVerdict* verdict);

  // Starts receiving a comment from a client. Null with errno in
  // *file_error when the file cannot be created.
  std::unique_ptr<Upload> BeginComment(const std::string& client_id, int* file_error);

  // Uploads under way (for tests and shutdown checks).
  std::size_t Reserved();

 private:
  friend class Upload;
  std::unique_ptr<Upload> CreateUpload(const std::string& incoming, int* file_error);
  void Release(const std::string& final_path);

  std::string root_;
  std::mutex mutex_;
  std::set<std::string> reserved_; // final paths of uploads under way
  uint64_t counter_ = 0;
};

// A name a client may give a donated file: 1 to 50 bytes, no folder
// separators, drive letters or wildcards (/ \ : * ? " < > |), no control
// characters, not starting with a dot or a space and not ending in a dot
// or a space. why says what is wrong.
bool AcceptableFileName(const char* name, std::size_t length, std::string* why);

// The client id as it may appear in a file name and a log line: letters and
// digits kept, anything else '_', at most 20 characters; "unknown" when
// empty.
std::string SafeClientId(const char* id, std::size_t length);
