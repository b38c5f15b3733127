// velmor.cfg: CR LF text of "key = value" lines in the data directory.
//
// Every read opens, reads and closes the file; every write reads the whole
// file and replaces it. Keys compare without regard to ASCII case.
#pragma once
#include <cstddef>

// The text helpers and the data directory came from here; users of the
// store get them with it.
#include "base/data_directory.h"
#include "base/text.h"

constexpr const char* ConfigFileName = "velmor.cfg";
constexpr int KeyColumnWidth = 20;

// A line of more than ConfigLineMax characters (line end excluded), or one
// that holds a NUL byte, is not a setting: it is never matched, and a write
// keeps it exactly as it was when it has an equals sign (and drops it, like
// every line without one, when it has none). The program itself never
// writes such a line: ConfigSet shortens values that would make one.
constexpr int ConfigLineMax = 499;
// The path of the file (DataDirectory, backslash, file name) is at most
// ConfigPathMax characters; a longer one is refused as if the file could not
// be opened.
constexpr int ConfigPathMax = 299;
// A file larger than this is refused as if its length could not be taken.
constexpr long ConfigFileMaxLength = 64L * 1024 * 1024;


// Returns 1 and copies the trimmed value into out (at most outSize - 1
// characters, always terminated) when the key exists; 0 otherwise. A value
// that is not UTF-8 was written in the legacy code page and comes out
// decoded into UTF-8 (base/text_encoding.h); the file keeps it as it is.
int ConfigGet(char* out, std::size_t outSize, const char* key, const char* fileName);

// Replaces the value of every line with the key, or appends one line.
// The file is replaced in one step and the whole read-modify-write is
// serialised against other processes, so it is never left half written and
// no other process's update is lost. A value is cut at its first CR and
// shortened to keep the line within ConfigLineMax; a key that could not be
// read back (containing '=' or CR, with leading or trailing spaces, or too
// long for a line) is refused and nothing is written.
void ConfigSet(const char* key, const char* value, const char* fileName);

// A write that finds the file held by another program (a virus scanner, a
// backup or sync tool opens it without sharing for seconds at a time) is
// not lost: it waits in memory, ConfigGet, ConfigGetDefault and the views
// answer with it as if written, later writes queue behind it, and
// ConfigRetryPending writes it once the file is free. ConfigRetryLater,
// when set (the shell sets it), is asked to arrange calls of
// ConfigRetryPending while writes wait (true) and to stop them (false); it
// must not block, so that the window stays responsive meanwhile.
using ConfigRetryRequest = void (*)(bool waiting);
extern ConfigRetryRequest ConfigRetryLater;
// Tries the waiting writes; returns how many still wait. Once a write has
// waited ConfigHeldReportSeconds, the user is told once, and the writes
// keep waiting.
int ConfigRetryPending();
constexpr int ConfigHeldReportSeconds = 60;
constexpr const char* ConfigHeldText =
    "A setting could not be saved: velmor.cfg has been held by another program for a minute. "
    "Velmor will save it as soon as the file is free.";

// ConfigGet; when the key is absent, out receives the default and the
// default is stored under the key.
void ConfigGetDefault(char* out, std::size_t outSize, const char* key, const char* def,
                      const char* fileName);

// A read-only view of velmor.cfg as it was when loaded, for a caller that
// looks up many keys at once (the schedule reads about three per item every
// minute): the file is read and split once, and each lookup answers exactly
// as ConfigGet would have answered for the file at that moment. A view is
// meant to live for one pass of such a caller; it never stands in for the
// file between passes.
struct ConfigViewEntry {
  int key;    // offset in strings of the key, trimmed, as written
  int value;  // offset in strings of the value, trimmed
  int line;   // position in the file; the first line of a key wins
};
struct ConfigView {
  char* strings = nullptr;
  ConfigViewEntry* entries = nullptr;  // sorted by key (case-insensitive), then line
  int count = 0;
  const char* fileName = nullptr;      // for the writes still waiting (below)
};
// A file that cannot be read gives an empty view (every key absent), with
// the same internal-log line as a failed ConfigGet.
void ConfigViewLoad(ConfigView* view, const char* fileName);
// As ConfigViewLoad for a file that reads cleanly (returns 1). Otherwise it
// reports nothing and returns 0 with an empty view: a caller that then reads
// key by key through ConfigGet reports each failure exactly as often as
// without the view.
int ConfigViewTryLoad(ConfigView* view, const char* fileName);
// As ConfigGet: 1 with the value copied (cut to outSize - 1 characters,
// decoded as ConfigGet decodes) when the key exists; 0 otherwise.
int ConfigViewGet(const ConfigView* view, char* out, std::size_t outSize, const char* key);
void ConfigViewRelease(ConfigView* view);

// A batch of reads: between ConfigReadBatchBegin and ConfigReadBatchEnd,
// ConfigGet and ConfigGetDefault answer from one view of the file, loaded by
// the first read (start-up reads a dozen keys before its window shows, and
// each read of its own opens, locks and reads the file). A write by this
// process drops the view, so the next read sees what was written; reading
// another file (the data directory changed) loads that one instead. A file
// that cannot be read is read key by key as without the batch, so failures
// are reported exactly as often. Another process's write made during the
// batch is seen after it. Batches nest; only the outermost end closes one.
void ConfigReadBatchBegin();
void ConfigReadBatchEnd();

// The line splitter over the file's text in memory. A line ends at a CR
// (an LF directly after it belongs to the line end); a bare LF is an
// ordinary character, and so is a NUL. Characters after the last CR are not
// a line: the readers append CR LF to the text first.
struct TextCursor {
  const char* text;
  std::size_t length;
  std::size_t position;
};
void TextCursorStart(TextCursor* cursor, const char* text, std::size_t length);
// Returns 1 with the next line's start and length (line end excluded), or 0
// at the end of the text.
int NextTextLine(TextCursor* cursor, const char** line, std::size_t* length);

// "Error %d while performing %s" to the internal log when result is -1;
// returns the error number then, else 0.
int ReportIoError(int result, const char* operation);
