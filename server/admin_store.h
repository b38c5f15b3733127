// What the moderation page does to a content directory: the queue of
// donations, accepting (into the served categories) and rejecting them,
// comments and whether they were read, categories, and the figures of the
// status panel. Every change is written to the audit log.
//
// Donations are addressed as "<kind>/<position>/<name>"; such an id from a
// request is checked word by word (a known kind, a plain number, a plain
// file name), so no path from a request leaves the content directory.
#pragma once
#include "server/content_store.h"
#include "server/donation_store.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct DonationRef {
  int type = 0;          // ItemQuote, ItemPicture, ItemSound
  int position = 0;      // the category's 0-based position
  std::string name;      // the file's name
  std::string Id() const;
};

// Parses "<kind>/<position>/<name>"; false for anything that is not a
// donation id.
bool ParseDonationId(const std::string& id, DonationRef* ref);

// A name that stays in its folder: not empty, at most 255 bytes, no '/',
// no NUL, not starting with a dot (hidden files are the server's own).
bool PlainFileName(const std::string& name);

struct QueueItem {
  DonationRef ref;
  std::string category;  // the category's name
  int64_t size = 0;
  int64_t arrived = 0;   // seconds since 1970 (the file's time)
  std::string client_id; // "unknown" without a donor file
  std::string address;
};

struct QueueFilter {
  int type = 0;       // 0: every kind
  int position = -1;  // -1: every category
};

struct QueuePage {
  std::vector<QueueItem> items; // newest first
  std::size_t total = 0;        // donations matching the filter
};

struct CommentItem {
  std::string name;       // file name in comments/
  std::string client_id;
  int64_t arrived = 0;
  int64_t size = 0;
  bool read = false;
};

struct ExchangeCounts {
  std::map<std::string, int64_t> last_hour; // request type name -> exchanges
  std::map<std::string, int64_t> last_day;
  bool log_readable = false;
};

struct AdminStatus {
  ExchangeCounts exchanges;
  Usage donations;
  Usage comments;
  Quota donation_quota;  // as the running server wrote it (0: none)
  Quota comment_quota;
  bool quota_known = false;
};

// Counts log lines per request type newer than an hour and a day before
// now (seconds since 1970), from the server's log text.
ExchangeCounts CountExchanges(const std::string& log_text, int64_t now);

// Appends a donated quote to a quote file's text as a new quote: the
// donation's lines (CR LF made LF, blank lines around it dropped) after a
// "%" line. False with a reason when the text is empty or holds a line of
// only "%", which would split it.
bool AppendQuote(const std::string& file_text, const std::string& quote, std::string* out, std::string* why);

class AdminStore {
 public:
  AdminStore(std::string content_root, std::string audit_path, std::string server_log);

  const std::string& Root() const { return root_; }
  ContentStore& Content() { return content_; }

  QueuePage Queue(const QueueFilter& filter, std::size_t offset, std::size_t limit);
  std::string DonationPath(const DonationRef& ref) const;

  // Accepts or rejects donations; messages get one line per donation
  // saying what happened. Returns how many succeeded.
  int Accept(const std::vector<DonationRef>& refs, const std::string& who, std::vector<std::string>* messages);
  int Reject(const std::vector<DonationRef>& refs, const std::string& who, std::vector<std::string>* messages);

  // Newest first.
  std::vector<CommentItem> Comments(std::size_t offset, std::size_t limit, std::size_t* total);
  // The comment's text, marked read; false when there is no such comment.
  bool OpenComment(const std::string& name, std::string* text);

  // The protocol's add-category, written to the audit log.
  int AddCategory(int type, const std::string& name, const std::string& who, std::string* why);

  AdminStatus Status();

  // A line in the audit log.
  void Audit(const std::string& who, const std::string& what);

 private:
  bool AcceptOne(const DonationRef& ref, std::string* message);
  std::string CategoryName(int type, int position);

  std::string root_;
  std::string audit_path_;
  std::string server_log_;
  ContentStore content_;
  std::mutex mutex_; // one change at a time
};
