// Fault injection for testing clients: a control file, read afresh for every
// connection, says how the server misbehaves per request type.
//
// One rule a line: a request type number or "*" (any type), a mode, and up
// to two numbers. Blank lines and lines starting with '#' are ignored; the
// rule for the exact type wins over "*". Modes:
//   busy                  answer code 3 and nothing else
//   code N                answer code N and nothing else
//   no-answer             read the request, then send nothing and keep the
//                         connection open until the client leaves or the
//                         idle time-out
//   hang-up               read the request, then close without a word
//   empty-block           a block header with total 0 and no data
//   oversized-block [N]   a block of N filler bytes (default 1,000,000)
//   header-code [N]       a block header with code N (default 5), no data
//   chunk-size N          the block header announces chunk size N
//   total N               the block header announces total N; the real data
//                         follows all the same
//   cut [N]               the block stops after N data bytes (default half)
//                         and the connection closes
//   drip [MS] [BYTES]     everything is sent BYTES at a time (default 1)
//                         with MS milliseconds between pieces (default 50)
//   stall [AFTER]         sending stops after AFTER bytes (default 90: just
//                         the response) and the connection stays open
//   list-count N          a category list response announces N names
//   no-final-nul          the category list's last name has no NUL; the
//                         status line fills its text field without one
// Block modes apply to the requests that get a block from the server
// (1, 2, 3, 8, 9, 12); elsewhere the exchange goes on as normal.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

enum class FaultMode {
  None,
  Code,
  NoAnswer,
  HangUp,
  EmptyBlock,
  OversizedBlock,
  HeaderCode,
  ChunkSize,
  Total,
  Cut,
  Drip,
  Stall,
  ListCount,
  NoFinalNul,
};

struct Fault {
  FaultMode mode = FaultMode::None;
  int64_t arg1 = 0;
  int64_t arg2 = 0;
  bool has_arg1 = false;
  bool has_arg2 = false;
};

// Name of a mode as the control file spells it.
const char* FaultModeName(FaultMode mode);

struct FaultTable {
  std::map<int64_t, Fault> by_type;
  bool has_any = false;
  Fault any;
  // The rule for a request type (mode None when there is none).
  Fault For(int32_t type) const;
};

// Parses a control file's text; problems (one per bad line, with its
// number) go to errors, and the good lines still count.
FaultTable ParseFaultTable(const std::string& text, std::vector<std::string>* errors);

class FaultSource {
 public:
  // An empty path means no fault injection.
  explicit FaultSource(std::string path);
  bool Enabled() const { return !path_.empty(); }
  // Reads the control file and returns the rule for a request type. When the
  // text differs from the last reading and has bad lines, *problems gets
  // them (once per change).
  Fault For(int32_t type, std::string* problems);

 private:
  std::string path_;
  std::mutex mutex_;
  std::string last_text_;
};
