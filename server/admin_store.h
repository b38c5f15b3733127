// What the moderation page does to a content directory: the queue of
// donations, accepting (into the served categories) and rejecting them,
// comments and whether they were read, categories, and the figures of the
// status panel. Every change is written to the audit log.
//
// Donations are addressed as "<kind>/<position>/<name>"; such an id from a
// request is checked word by word (a known kind, a plain number, a plain
// file name), so no path from a request leaves the content directory.
#pragma once
#include "server/admin_index.h"
#include "server/content_store.h"
#include "server/donation_store.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// Parses "<kind>/<position>/<name>"; false for anything that is not a
// donation id.
bool ParseDonationId(const std::string& id, DonationRef* ref);

struct QueueItem {
  DonationRef ref;
  std::string category;  // the category's name
  int64_t size = 0;
  int64_t arrived = 0;   // seconds since 1970 (the file's time)
  std::string client_id; // "unknown" without a donor file
  std::string address;
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

// What one action on one donation came to, in the operator's words.
struct Outcome {
  bool done = false;
  std::string text;
};

// The counters one server instance keeps in <content>/.stats/<instance>.counters
// ("key value" lines: started, updated, exchanges, failed, code<N>).
struct InstanceCounters {
  std::string instance;
  int64_t started = 0;   // seconds since 1970
  int64_t updated = 0;
  int64_t exchanges = 0;
  int64_t failed = 0;
  std::map<int, int64_t> codes; // request code -> exchanges asking for it
  bool stale = false;    // not rewritten for CountersStaleSeconds
};

// An instance rewrites its counters within a second of each exchange (and
// behind HAProxy the health check's pings are exchanges every 2 seconds):
// one not rewritten for this long is idle or stopped.
constexpr int64_t CountersStaleSeconds = 30;

// Parses one counters file; false when it holds no "updated" line.
bool ParseCounters(const std::string& text, InstanceCounters* counters);

struct AdminStatus {
  std::vector<InstanceCounters> instances; // by name
  InstanceCounters total;                  // every instance summed, stale ones too
  Usage donations;
  Usage comments;
  Quota donation_quota;  // as the running server wrote it (0: none)
  Quota comment_quota;
  bool quota_known = false;
};

// Reads at most limit bytes of a regular file (no symbolic link); false
// when there is none.
bool ReadFile(const std::string& path, std::string* out, int64_t limit);

// Appends a donated quote to a quote file's text as a new quote: the
// donation's lines (CR LF made LF, blank lines around it dropped) after a
// "%" line. False with a reason when the text is empty or holds a line of
// only "%", which would split it.
bool AppendQuote(const std::string& file_text, const std::string& quote, std::string* out, std::string* why);

class AdminStore {
 public:
  AdminStore(std::string content_root, std::string audit_path);

  const std::string& Root() const { return root_; }
  ContentStore& Content() { return content_; }
  DonationIndex& Index() { return index_; }

  QueuePage Queue(const QueueFilter& filter, std::size_t offset, std::size_t limit);
  std::string DonationPath(const DonationRef& ref) const;

  // Accepts or rejects donations; outcomes get one entry per donation
  // saying what happened. Returns how many succeeded.
  int Accept(const std::vector<DonationRef>& refs, const std::string& who, std::vector<Outcome>* outcomes);
  int Reject(const std::vector<DonationRef>& refs, const std::string& who, std::vector<Outcome>* outcomes);

  // Newest first.
  std::vector<CommentItem> Comments(std::size_t offset, std::size_t limit, std::size_t* total);
  // The comment's text, marked read; false when there is no such comment.
  bool OpenComment(const std::string& name, std::string* text);

  // The protocol's add-category, written to the audit log.
  int AddCategory(int type, const std::string& name, const std::string& who, std::string* why);

  // Seconds since 1970 decide which instances are stale.
  AdminStatus Status(int64_t now);

  // A line in the audit log.
  void Audit(const std::string& who, const std::string& what);

 private:
  Outcome AcceptOne(const DonationRef& ref);
  std::string CategoryName(int type, int position);

  std::string root_;
  std::string audit_path_;
  ContentStore content_;
  DonationIndex index_;
  std::mutex mutex_; // one change at a time
};
