#include "net/request_protocol.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/basic_settings.h"
#include "diag/guarded.h"
#include "diag/log.h"
#include "net/block_header.h"

namespace {

// Formats one internal-log line about a file: "<what>: <path>, errno = <n>".
void LogFileError(const char* format, const char* path, int error) {
  char line[400];
  std::snprintf(line, sizeof line, format, path, error);
  LogInternal(line);
}

void Report(ProgressCallback progress, int done, int total) {
  if (progress) progress(done, total);
}

// Receives and checks a block header. Data: the plan is filled in. Refused:
// *code is the header's code (7 when no header arrived). Cancelled: the user
// cancelled while the header was on its way. Unusable: logged here.
enum class HeaderResult { Data, Refused, Cancelled, Unusable };

HeaderResult ReceiveBlockHeader(Socket s, BlockPlan* plan, int* code) {
  RequestRecord header = EmptyRecord();
  ReceiveResponse(s, &header);
  *code = header.code;
  // A cancel while the header was on its way leaves a partly received record
  // whose numbers mean nothing: stop before acting on them.
  if (CancelTransfer == 1 && Quitting != 1) return HeaderResult::Cancelled;
  switch (CheckBlockHeader(header, plan)) {
    case BlockHeaderKind::Data:
      return HeaderResult::Data;
    case BlockHeaderKind::Refused:
      return HeaderResult::Refused;
    case BlockHeaderKind::Unusable:
      break;
  }
  char line[120];
  std::snprintf(line, sizeof line, "Invalid block header: chunk size %d, total %d", static_cast<int>(header.num1),
                static_cast<int>(header.num2));
  LogInternal(line);
  return HeaderResult::Unusable;
}

}  // namespace

int SendRequest(Socket s, RequestRecord* record) {
  if (Quitting == 1) return -1;
  SetFieldText(record->client_id, ClientIdFieldSize, ClientIdentity,
               FieldTextLength(ClientIdentity, ClientIdFieldSize - 1));
  record->magic1 = RequestMagic1;
  record->magic2 = RequestMagic2;
  unsigned char wire[RequestRecordSize];
  EncodeRequestRecord(*record, wire);
  return SendAll(s, reinterpret_cast<const char*>(wire), RequestRecordSize, 0) < 0 ? -1 : 0;
}

int ReceiveResponse(Socket s, RequestRecord* record) {
  record->code = 0;
  // Receive over the record's own bytes, so that a cancelled receive leaves
  // the record partly overwritten, as the callers expect.
  unsigned char wire[RequestRecordSize];
  EncodeRequestRecord(*record, wire);
  if (ReceiveAll(s, reinterpret_cast<char*>(wire), RequestRecordSize, 0) < 0) {
    record->code = ResponseNoResponse;
    return -1;
  }
  DecodeRequestRecord(wire, sizeof wire, record);
  return 0;
}

void SendBlockStatus(Socket s, int status) {
  RequestRecord record = EmptyRecord();
  record.code = status;
  SendRequest(s, &record);
}

char* BlockRecvMemory(Socket s, int* status, ProgressCallback progress) {
  CancelTransfer = 0;
  BlockPlan plan;
  int code = 0;
  switch (ReceiveBlockHeader(s, &plan, &code)) {
    case HeaderResult::Data:
      break;
    case HeaderResult::Refused: // also a header that did not arrive (code 7)
      *status = BlockQuit;
      return nullptr;
    case HeaderResult::Cancelled:
      *status = BlockCancelled;
      return nullptr;
    case HeaderResult::Unusable:
      *status = BlockRecvError;
      return nullptr;
  }
  char* data = plan.total <= MemoryBlockLimit ? GuardedAlloc(plan.total + 10) : nullptr;
  char* chunk = GuardedAlloc(plan.piece + 1);
  int remaining = plan.total;
  while (remaining > 0) {
    int piece = remaining < plan.piece ? remaining : plan.piece;
    if (ReceiveAll(s, chunk, piece, 0) < 0) {
      LogInternalCode("Error on recieve during blockrecv", LastSocketError());
      GuardedFree(chunk);
      GuardedFree(data);
      *status = BlockRecvError;
      return nullptr;
    }
    if (data) std::memcpy(data + (plan.total - remaining), chunk, static_cast<size_t>(piece));
    remaining -= piece;
    PumpMessages(10);
    if (Quitting == 1) {
      LogInternal("Quit request during blockrecv");
      GuardedFree(chunk);
      GuardedFree(data);
      *status = BlockQuit;
      return nullptr;
    }
    if (CancelTransfer == 1) break;
    Report(progress, plan.total - remaining, plan.total);
  }
  GuardedFree(chunk);
  *status = plan.total - remaining;
  if (!data) {
    *status = BlockTooLarge;
    return nullptr;
  }
  if (CancelTransfer == 1) {
    GuardedFree(data);
    *status = BlockCancelled;
    return nullptr;
  }
  return data;
}

int BlockRecvFile(Socket s, const char* path, ProgressCallback progress) {
  CancelTransfer = 0;
  BlockPlan plan;
  int code = 0;
  switch (ReceiveBlockHeader(s, &plan, &code)) {
    case HeaderResult::Data:
      break;
    case HeaderResult::Refused:
      return code;
    case HeaderResult::Cancelled:
      return BlockCancelled;
    case HeaderResult::Unusable:
      return BlockRecvError;
  }

  std::FILE* file = std::fopen(path, "wb");
  if (!file) LogFileError("Error creating/opening file: %s, errno = %d", path, errno);
  bool written = file != nullptr;

  char* chunk = GuardedAlloc(plan.piece + 1);
  int remaining = plan.total;
  while (remaining > 0) {
    int piece = remaining < plan.piece ? remaining : plan.piece;
    if (ReceiveAll(s, chunk, piece, 0) < 0) {
      LogInternalCode("TCPIP error on recieve during blockrecv", LastSocketError());
      if (file) std::fclose(file);
      GuardedFree(chunk);
      return BlockRecvError;
    }
    if (file && std::fwrite(chunk, 1, static_cast<size_t>(piece), file) != static_cast<size_t>(piece)) {
      // A full disk must not pass for a complete file: drop the rest of the
      // data as for a file that could not be created.
      LogFileError("Error writing file: %s, errno = %d", path, errno);
      std::fclose(file);
      file = nullptr;
      written = false;
    }
    remaining -= piece;
    PumpMessages(10);
    if (Quitting == 1) {
      LogInternal("Quit request during blockrecv");
      if (file) std::fclose(file);
      GuardedFree(chunk);
      return BlockQuit;
    }
    if (CancelTransfer == 1) break;
    Report(progress, plan.total - remaining, plan.total);
  }
  if (file && std::fclose(file) != 0) {
    LogFileError("Error writing file: %s, errno = %d", path, errno);
    written = false;
  }
  GuardedFree(chunk);
  if (CancelTransfer == 1) return BlockCancelled;
  return written ? 0 : BlockFileUnusable;
}

int BlockSendFile(Socket s, const char* path, ProgressCallback progress) {
  CancelTransfer = 0;
  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    int error = errno ? errno : EIO;
    LogFileError("Error opening to send file: %s, errno = %d", path, error);
    SendBlockStatus(s, BlockFileUnusable);
    return error;
  }
  if (std::fseek(file, 0, SEEK_END) != 0) {
    int error = errno ? errno : EIO;
    SendBlockStatus(s, BlockFileUnusable);
    std::fclose(file);
    LogFileError("Error seeking to send file: %s, errno = %d", path, error);
    return error;
  }
  long position = std::ftell(file);
  if (position < 0 || position > 0x7FFFFFFFL) {
    // Not measurable, or too long for the header's 32-bit total.
    int error = position < 0 && errno ? errno : EFBIG;
    SendBlockStatus(s, BlockFileUnusable);
    std::fclose(file);
    LogFileError("Error seeking to send file: %s, errno = %d", path, error);
    return error;
  }
  int size = static_cast<int>(position);
  if (size == 0) {
    SendBlockStatus(s, BlockFileUnusable);
    std::fclose(file);
    LogFileError("Error getting filesize to send file: %s, errno = %d", path, errno);
    return BlockSendEmptyFile;
  }

  RequestRecord header = EmptyRecord();
  header.code = 0;
  header.num1 = BlockChunkSize;
  header.num2 = size;
  SendRequest(s, &header);
  std::fseek(file, 0, SEEK_SET);

  char* buffer = GuardedAlloc(BlockChunkSize);
  int remaining = size;
  while (remaining > 0) {
    int piece = remaining < BlockChunkSize ? remaining : BlockChunkSize;
    if (std::fread(buffer, 1, static_cast<size_t>(piece), file) != static_cast<size_t>(piece)) {
      // The file shrank or failed under us: sending stale bytes in place of
      // its data would corrupt the server's copy, so the block is cut.
      LogFileError("Error reading to send file: %s, errno = %d", path, errno);
      GuardedFree(buffer);
      std::fclose(file);
      return -BlockSendError;
    }
    if (SendAll(s, buffer, piece, 0) < 0) {
      LogInternalCode("TCPIP error on send during blocksendfile", LastSocketError());
      GuardedFree(buffer);
      std::fclose(file);
      return -BlockSendError;
    }
    remaining -= piece;
    PumpMessages(10);
    if (Quitting == 1) {
      LogInternal("Quit request during blocksendfile");
      GuardedFree(buffer);
      std::fclose(file);
      return -BlockSendError;
    }
    if (CancelTransfer == 1) break;
    Report(progress, size - remaining, size);
  }
  std::fclose(file);
  GuardedFree(buffer);
  return CancelTransfer == 1 ? -BlockCancelled : 0;
}

int BlockSendData(Socket s, const char* data, int length, ProgressCallback progress) {
  CancelTransfer = 0;
  if (length <= 0) {
    SendBlockStatus(s, BlockEmptyData);
    LogInternal("Can't sent zero length data block.");
    return BlockEmptyData;
  }
  RequestRecord header = EmptyRecord();
  header.code = 0;
  header.num1 = BlockChunkSize;
  header.num2 = length;
  SendRequest(s, &header);

  char* buffer = GuardedAlloc(BlockChunkSize + 1);
  int remaining = length;
  const char* from = data;
  while (remaining > 0) {
    int piece = remaining < BlockChunkSize ? remaining : BlockChunkSize;
    std::memcpy(buffer, from, static_cast<size_t>(piece));
    if (SendAll(s, buffer, piece, 0) < 0) {
      LogInternalCode("TCPIP error on send during blocksenddata", LastSocketError());
      GuardedFree(buffer);
      return BlockSendError;
    }
    remaining -= piece;
    from += piece;
    PumpMessages(10);
    if (Quitting == 1) {
      LogInternal("Quit request during blocksenddata");
      GuardedFree(buffer);
      return BlockQuit;
    }
    if (CancelTransfer == 1) break;
    Report(progress, length - remaining, length);
  }
  GuardedFree(buffer);
  return CancelTransfer == 1 ? BlockCancelled : 0;
}
