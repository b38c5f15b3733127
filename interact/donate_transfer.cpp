#include "interact/donate_transfer.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/config_file.h"
#include "content/wait_label.h"
#include "base/guarded.h"
#include "diag/log.h"
#include "base/user_message.h"
#include "interact/donate_list.h"
#include "interact/progress_pane.h"
#include "net/server_exchange.h"
#include "net/request_protocol.h"
#include "net/transport.h"

namespace {

constexpr const char* RequestCancelledLine = "Donate file request Cancelled";

// The category position stored for the type; false when there is none. A
// value without digits is no choice at all (the dialog only ever writes a
// number), rather than the first category of the list.
bool StoredCategory(int type, int* position) {
  char key[32];
  char value[32];
  DonateCategoryKey(key, sizeof key, type);
  if (!ConfigGet(value, sizeof value, key, ConfigFileName)) return false;
  const char* p = value;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p == '+' || *p == '-') ++p;
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  *position = DecimalValue(value);
  return true;
}

// The wait label counts the bytes, at most twenty times a second and always
// at the end: redrawing it after every 4,096-byte piece cost more than
// sending the piece.
void ThrottledProgress(int done, int total) {
  using Clock = std::chrono::steady_clock;
  static Clock::time_point last;
  const Clock::time_point now = Clock::now();
  if (done < total && now - last < std::chrono::milliseconds(50)) return;
  last = now;
  ShowProgress(done, total);
}

// Why a listed file cannot be sent, in words for the user; empty when it
// can (it opens, is measured and holds at least one byte).
std::string UnsendableReason(const char* path) {
  errno = 0;
  std::FILE* file = std::fopen(path, "rb");
  int error = errno;
  long size = -1;
  if (file) {
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    error = errno;
    std::fclose(file);
    if (size > 0) return "";
    if (size == 0) return "the file is empty";
  }
  if (error == ENOENT) return "the file does not exist";
  if (error == EACCES) return "the file cannot be read (access denied)";
  char text[64];
  std::snprintf(text, sizeof text, "the file cannot be read (error %d)", error);
  return text;
}

// The files of a run that were not sent, with their reasons.
struct SkippedFiles {
  int count = 0;
  std::string list;
};
SkippedFiles skipped;

// Leaves the file listed and says which and why; the run goes on.
int SkipFile(const char* path, const std::string& reason) {
  char text[400];
  std::snprintf(text, sizeof text, "File %s was not sent: %s. It stays in the list.", path, reason.c_str());
  AppendTransferProgress(text);
  LogActivity(text);
  ++skipped.count;
  if (skipped.list.size() < 1500) skipped.list += std::string("\r\n") + path + ": " + reason;
  return SendSkipped;
}

int SendAcceptedFile(Socket s, const char* path, int type, int slot) {
  AppendTransferProgress("Sending file to server.");
  ShowWaitLabel();
  const int status = BlockSendFile(s, path, ThrottledProgress);
  HideWaitLabel();
  if (status == BlockOk) {
    // The server holds the file now: the slot goes first, so that a process
    // killed from here on never sends it a second time.
    char key[32];
    DonateSlotKey(key, sizeof key, type, slot);
    ConfigSet(key, "", ConfigFileName);
    LogActivity("Donate file transfer complete.");
    char text[300];
    std::snprintf(text, sizeof text, "File %s was added successfully to the server.", path);
    AppendTransferProgress(text);
    LogActivity(text);
    return 1;
  }
  if (status == BlockSendCancelled) {
    UserMessage("Transfer Cancelled.");
    LogActivity("File transfer cancelled by user request");
    return 0;
  }
  if (status > 0 || status == BlockSendEmptyFile) {
    // The file changed between the check and the send: a status record
    // went in its place and the connection is still sound.
    std::string reason = UnsendableReason(path);
    return SkipFile(path, reason.empty() ? "the file could not be read while it was sent" : reason);
  }
  char text[300];
  std::snprintf(text, sizeof text, "Error during file transfer: (%d)", LastSocketError());
  UserMessage(text);
  std::snprintf(text, sizeof text, "File transfer of file %s failed. Error: %d ", path, status);
  LogActivity(text);
  return 0;
}

}  // namespace

void FillFileNameField(char field[RecordTextSize], const char* path) {
  const char* slash = std::strrchr(path, '\\');
  const char* name = slash ? slash + 1 : path;
  std::size_t length = std::strlen(name);
  if (length >= RecordTextSize) {
    name += length - RecordTextSize;
    length = RecordTextSize;
  }
  while (length > 0 && name[length - 1] == ' ') --length;
  while (length > 0 && name[0] == ' ') {
    ++name;
    --length;
  }
  SetFieldText(field, RecordTextSize, name, length);
}

std::size_t ComposeProgressText(char* out, std::size_t size, const char* current, const char* line,
                                std::size_t* dropped) {
  *dropped = 0;
  if (size == 0) return 0;
  const std::size_t limit = size - 1;
  std::size_t lineLength = std::strlen(line);
  if (lineLength + 2 > limit) {
    // A line longer than the whole pane keeps its end.
    line += lineLength + 2 - limit;
    lineLength = limit - 2;
  }
  std::size_t currentLength = std::strlen(current);
  if (currentLength > limit) currentLength = limit;
  std::size_t skip = 0;
  while (currentLength - skip + 2 + lineLength > limit) {
    // Drop the oldest line: up to the next line break after the kept text's
    // start, which keeps the text beginning with a line break.
    const char* from = current + skip + 1;
    const char* end = current + currentLength;
    const char* next = nullptr;
    for (const char* p = from; p + 1 < end; ++p) {
      if (p[0] == '\r' && p[1] == '\n') {
        next = p;
        break;
      }
    }
    skip = next ? static_cast<std::size_t>(next - current) : currentLength;
  }
  const std::size_t kept = currentLength - skip;
  *dropped = skip;
  std::memmove(out, current + skip, kept);
  out[kept] = '\r';
  out[kept + 1] = '\n';
  std::memcpy(out + kept + 2, line, lineLength);
  out[kept + 2 + lineLength] = '\0';
  return kept + 2 + lineLength;
}

void AppendTransferProgress(const char* text) {
  char* current = GuardedAlloc(static_cast<int>(ProgressTextSize));
  char* next = GuardedAlloc(static_cast<int>(ProgressTextSize));
  if (!current || !next) {
    GuardedFree(current);
    GuardedFree(next);
    return;
  }
  const std::size_t currentLength =
      static_cast<std::size_t>(ProgressPaneText(current, static_cast<int>(ProgressTextSize)));
  std::size_t dropped = 0;
  ComposeProgressText(next, ProgressTextSize, current, text, &dropped);
  // The pane keeps what was not dropped; only the new line goes in.
  ProgressPaneEdit(static_cast<int>(dropped), next + (currentLength - dropped));
  GuardedFree(current);
  GuardedFree(next);
}

int SendListedFile(const char* path, int type, int slot) {
  int position = 0;
  if (!StoredCategory(type, &position)) {
    UserMessage("No category was selected.");
    return 0;
  }
  // A file that is gone, empty or unreadable says nothing about the server
  // or the other files: it is named, stays listed, and the run goes on.
  std::string reason = UnsendableReason(path);
  if (!reason.empty()) return SkipFile(path, reason);
  AppendTransferProgress("Connecting to server.");
  RequestRecord record = EmptyRecord();
  record.code = RequestDonate;
  record.num1 = position;
  record.num2 = type;
  FillFileNameField(record.text, path);
  char text[300];
  std::snprintf(text, sizeof text, "Sending file: %s", path);
  ExchangeFailure failure;
  Socket s = OpenServerExchange(ConfiguredServer(), &record, &failure,
                                [](void* line) { AppendTransferProgress(static_cast<const char*>(line)); }, text);
  if (s < 0 && failure == ExchangeFailure::Cancelled) {
    // As a cancel during the file's own transfer: the file stays listed.
    UserMessage("Transfer Cancelled.");
    LogActivity("File transfer cancelled by user request");
    return 0;
  }
  if (s < 0) {
    if (failure == ExchangeFailure::NotConnected)
      UserMessage("Unable to make connection to server. Check the address and port and try again later.");
    // A cancelled receive leaves a half-read record, which is no answer.
    if (failure == ExchangeFailure::NotReceived)
      LogActivity("Server not responding to donate request. Please try again later.");
    LogActivity(RequestCancelledLine);
    return 0;
  }
  int result = 0;
  switch (record.code) {
    case ResponseAccepted: result = SendAcceptedFile(s, path, type, slot); break;
    case ResponseCannotHandle: UserMessage("The server was unable to handle your request."); break;
    case ResponseBusy: UserMessage("The Velmor server you're attached to is busy."); break;
    case ResponseCannotCreate:
      LogActivity("There was a problem creating the file on the Velmor server.");
      std::snprintf(text, sizeof text, "File error on server. Errorcode: %d", record.num1);
      LogActivity(text);
      break;
    case ResponseNameExists: {
      LogActivity("There is already a file by this name on the velmor server. Please donate a unique file.");
      char held[RecordTextSize + 1];
      CopyFieldText(held, sizeof held, record.text, RecordTextSize);
      std::snprintf(text, sizeof text, "File %s on server already exists", held);
      LogActivity(text);
      result = 1;
      break;
    }
    default: LogActivityCode("Error from server ", record.code); break;
  }
  CloseServerConnection(s);
  return result;
}

namespace {

// Every listed file of every type, in order; false when a file stopped the
// run.
bool RunListedFiles() {
  static const int types[] = {ItemPicture, ItemSound, ItemQuote};
  char path[DonatePathMax + 1];
  for (int type : types) {
    // One read of velmor.cfg for a type's whole list instead of one per
    // slot: while this instance runs nobody else changes the lists (the
    // normal instance refuses its donate dialog), and a slot is emptied
    // only after it has been read.
    ConfigView view;
    ConfigViewLoad(&view, ConfigFileName);
    for (int slot = 1; slot <= DonateSlotsRead; ++slot) {
      const int got = ReadDonateSlot(type, slot, path, sizeof path, &view);
      if (got < 0) {
        // Never cut into another path: the entry stays for the user to see.
        char line[120];
        std::snprintf(line, sizeof line, "Listed file not sent: its path is 200 characters or more (DONATE-%d-%d).",
                      type, slot);
        LogActivity(line);
        ++skipped.count;
        skipped.list += std::string("\r\n") + (line + 22);
        continue;
      }
      if (got == 0) continue;
      if (!SendListedFile(path, type, slot)) {
        ConfigViewRelease(&view);
        return false;
      }
    }
    ConfigViewRelease(&view);
  }
  return true;
}

}  // namespace

void RunDonateTransfer() {
  skipped = SkippedFiles();
  RunListedFiles();
  if (skipped.count > 0) {
    std::string text = std::to_string(skipped.count) +
                       (skipped.count == 1 ? " listed file was not sent and stays" : " listed files were not sent and stay") +
                       " in the list:" + skipped.list;
    LogActivity(text.substr(0, text.find('\r')).c_str());
    UserMessage(text.c_str());
  }
}
