#include "net/request_protocol.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

#include "config/basic_settings.h"
#include "base/guarded.h"
#include "diag/log.h"
#include "net/block_header.h"

namespace {

// What a block operation answers for each result of the layer below, and
// the internal-log lines of its broken socket and of its quit. FromDetail:
// the number the result carries is the answer (the block's length, the
// header's code, the file's error number).
constexpr int FromDetail = -0x7fffffff;

struct BlockOperation {
  int ok;
  int cancelled;
  int quit;
  int broken; // time-out, peer closed, socket error, unusable header
  int tooLarge;
  int fileError;
  int refused;
  const char* socketErrorLine;
  const char* quitLine;
};

const BlockOperation RecvMemory = {FromDetail, BlockCancelled, BlockQuit, BlockBroken, BlockTooLarge, BlockBroken,
                                   BlockQuit, "Error on recieve during blockrecv", "Quit request during blockrecv"};
const BlockOperation RecvFile = {BlockOk,     BlockCancelled,    BlockQuit,
                                 BlockBroken, BlockTooLarge,     BlockFileUnusable,
                                 FromDetail,  "TCPIP error on recieve during blockrecv", "Quit request during blockrecv"};
const BlockOperation SendFile = {BlockOk,         BlockSendCancelled, BlockSendBroken,
                                 BlockSendBroken, BlockSendBroken,    FromDetail,
                                 BlockSendEmptyFile, "TCPIP error on send during blocksendfile",
                                 "Quit request during blocksendfile"};
const BlockOperation SendData = {BlockOk,     BlockCancelled, BlockQuit,
                                 BlockBroken, BlockBroken,    BlockBroken,
                                 BlockEmptyData, "TCPIP error on send during blocksenddata",
                                 "Quit request during blocksenddata"};

int StatusOf(const BlockOperation& operation, TransferResult result, int detail) {
  int status = operation.broken;
  switch (result) {
    case TransferResult::Ok: status = operation.ok; break;
    case TransferResult::Cancelled: status = operation.cancelled; break;
    case TransferResult::Quit: status = operation.quit; break;
    case TransferResult::TooLarge: status = operation.tooLarge; break;
    case TransferResult::FileError: status = operation.fileError; break;
    case TransferResult::Refused: status = operation.refused; break;
    case TransferResult::TimedOut:
    case TransferResult::PeerClosed:
    case TransferResult::IoError: break;
  }
  return status == FromDetail ? detail : status;
}

// Formats one internal-log line about a file: "<what>: <path>, errno = <n>".
void LogFileError(const char* format, const char* path, int error) {
  char line[400];
  std::snprintf(line, sizeof line, format, path, error);
  LogInternal(line);
}

// Receives and checks a block header. Ok: the plan is filled in. Refused:
// *code is the header's code (7 when no header arrived). Cancelled: the user
// cancelled while the header was on its way. IoError: a header that cannot
// describe a block (logged here).
TransferResult ReceiveBlockHeader(Socket s, BlockPlan* plan, int* code) {
  RequestRecord header = EmptyRecord();
  ReceiveResponse(s, &header);
  *code = header.code;
  // A cancel while the header was on its way leaves a partly received record
  // whose numbers mean nothing: stop before acting on them.
  if (CancelTransfer == 1 && Quitting != 1) return TransferResult::Cancelled;
  switch (CheckBlockHeader(header, plan)) {
    case BlockHeaderKind::Data:
      return TransferResult::Ok;
    case BlockHeaderKind::Refused:
      return TransferResult::Refused;
    case BlockHeaderKind::Unusable:
      break;
  }
  char line[120];
  std::snprintf(line, sizeof line, "Invalid block header: chunk size %d, total %d", static_cast<int>(header.num1),
                static_cast<int>(header.num2));
  LogInternal(line);
  return TransferResult::IoError;
}

// Sends the header of a block of total bytes, announcing chunks of
// BlockChunkSize.
void SendBlockHeader(Socket s, int total) {
  RequestRecord header = EmptyRecord();
  header.code = ResponseAccepted; // a block header
  header.num1 = BlockChunkSize;
  header.num2 = total;
  SendRequest(s, &header);
}

// The other end of a block's data. Receiving: take is given every piece
// that arrived. Sending: fill writes the next piece, false when it cannot
// (the block is then cut).
struct BlockEnd {
  std::function<void(const char* piece, int length)> take;
  std::function<bool(char* piece, int length)> fill;
};

// The one loop of the four block operations: total bytes in pieces of at
// most piece bytes, the window messages let through after each, then the
// quit and the cancel checked, then the progress reported.
TransferResult MoveBlock(Socket s, const BlockOperation& operation, int total, int piece, const BlockEnd& end,
                         ProgressCallback progress) {
  bool sending = static_cast<bool>(end.fill);
  char* buffer = GuardedAlloc(piece + 1);
  TransferResult result = TransferResult::Ok;
  int remaining = total;
  while (remaining > 0) {
    int length = remaining < piece ? remaining : piece;
    if (sending && !end.fill(buffer, length)) {
      result = TransferResult::IoError;
      break;
    }
    result = sending ? SendAll(s, buffer, length, 0) : ReceiveAll(s, buffer, length, 0);
    if (result == TransferResult::Cancelled) break;
    if (result != TransferResult::Ok) {
      LogInternalCode(operation.socketErrorLine, LastSocketError());
      break;
    }
    if (!sending) end.take(buffer, length);
    remaining -= length;
    PumpMessages(10);
    if (Quitting == 1) {
      LogInternal(operation.quitLine);
      result = TransferResult::Quit;
      break;
    }
    if (CancelTransfer == 1) {
      result = TransferResult::Cancelled;
      break;
    }
    if (progress) progress(total - remaining, total);
  }
  GuardedFree(buffer);
  return result;
}

// The first step of a send: a file error, its number, or Ok with the size.
TransferResult MeasureFile(std::FILE* file, const char* path, int* size, int* error) {
  if (std::fseek(file, 0, SEEK_END) != 0) {
    *error = errno ? errno : EIO;
    LogFileError("Error seeking to send file: %s, errno = %d", path, *error);
    return TransferResult::FileError;
  }
  long position = std::ftell(file);
  if (position < 0 || position > 0x7FFFFFFFL) {
    // Not measurable, or too long for the header's 32-bit total.
    *error = position < 0 && errno ? errno : EFBIG;
    LogFileError("Error seeking to send file: %s, errno = %d", path, *error);
    return TransferResult::FileError;
  }
  *size = static_cast<int>(position);
  if (*size == 0) {
    LogFileError("Error getting filesize to send file: %s, errno = %d", path, errno);
    return TransferResult::Refused;
  }
  std::fseek(file, 0, SEEK_SET);
  return TransferResult::Ok;
}

}  // namespace

TransferResult SendRequest(Socket s, RequestRecord* record) {
  if (Quitting == 1) return TransferResult::Quit;
  SetFieldText(record->client_id, ClientIdFieldSize, ClientIdentity,
               FieldTextLength(ClientIdentity, ClientIdFieldSize - 1));
  record->magic1 = RequestMagic1;
  record->magic2 = RequestMagic2;
  unsigned char wire[RequestRecordSize];
  EncodeRequestRecord(*record, wire);
  return SendAll(s, reinterpret_cast<const char*>(wire), RequestRecordSize, 0);
}

TransferResult ReceiveResponse(Socket s, RequestRecord* record) {
  record->code = 0;
  // Receive over the record's own bytes, so that a cancelled receive leaves
  // the record partly overwritten, as the callers expect.
  unsigned char wire[RequestRecordSize];
  EncodeRequestRecord(*record, wire);
  TransferResult result = ReceiveAll(s, reinterpret_cast<char*>(wire), RequestRecordSize, 0);
  if (TransferBroken(result)) {
    record->code = ResponseNoResponse;
    return result;
  }
  DecodeRequestRecord(wire, sizeof wire, record);
  return result;
}

void SendBlockStatus(Socket s, int status) {
  RequestRecord record = EmptyRecord();
  record.code = status;
  SendRequest(s, &record);
}

char* BlockRecvMemory(Socket s, int* status, ProgressCallback progress) {
  const BlockOperation& operation = RecvMemory;
  BlockPlan plan;
  int code = 0;
  TransferResult result = ReceiveBlockHeader(s, &plan, &code);
  if (result != TransferResult::Ok) {
    *status = StatusOf(operation, result, code);
    return nullptr;
  }
  // A block over the limit is still read to its end, so that the connection
  // stays in step, and then dropped.
  char* data = plan.total <= MemoryBlockLimit ? GuardedAlloc(plan.total + 10) : nullptr;
  int received = 0;
  BlockEnd end;
  end.take = [&](const char* piece, int length) {
    if (data) std::memcpy(data + received, piece, static_cast<size_t>(length));
    received += length;
  };
  result = MoveBlock(s, operation, plan.total, plan.piece, end, progress);
  if (result == TransferResult::Ok && !data) result = TransferResult::TooLarge;
  *status = StatusOf(operation, result, received);
  if (result != TransferResult::Ok) {
    GuardedFree(data);
    return nullptr;
  }
  return data;
}

int BlockRecvFile(Socket s, const char* path, ProgressCallback progress) {
  const BlockOperation& operation = RecvFile;
  BlockPlan plan;
  int code = 0;
  TransferResult result = ReceiveBlockHeader(s, &plan, &code);
  if (result != TransferResult::Ok) return StatusOf(operation, result, code);
  if (plan.total > FileBlockLimit) {
    char line[120];
    std::snprintf(line, sizeof line, "Block too large for a file: %d bytes announced", plan.total);
    LogInternal(line);
    return StatusOf(operation, TransferResult::TooLarge, 0);
  }

  std::FILE* file = std::fopen(path, "wb");
  if (!file) LogFileError("Error creating/opening file: %s, errno = %d", path, errno);
  bool written = file != nullptr;
  BlockEnd end;
  end.take = [&](const char* piece, int length) {
    if (file && std::fwrite(piece, 1, static_cast<size_t>(length), file) != static_cast<size_t>(length)) {
      // A full disk must not pass for a complete file: drop the rest of the
      // data as for a file that could not be created.
      LogFileError("Error writing file: %s, errno = %d", path, errno);
      std::fclose(file);
      file = nullptr;
      written = false;
    }
  };
  result = MoveBlock(s, operation, plan.total, plan.piece, end, progress);
  if (file && std::fclose(file) != 0 && !TransferBroken(result)) {
    LogFileError("Error writing file: %s, errno = %d", path, errno);
    written = false;
  }
  if (result == TransferResult::Ok && !written) result = TransferResult::FileError;
  return StatusOf(operation, result, 0);
}

int BlockSendFile(Socket s, const char* path, ProgressCallback progress) {
  const BlockOperation& operation = SendFile;
  std::FILE* file = std::fopen(path, "rb");
  int size = 0;
  int error = 0;
  TransferResult result = TransferResult::FileError;
  if (!file) {
    error = errno ? errno : EIO;
    LogFileError("Error opening to send file: %s, errno = %d", path, error);
  } else {
    result = MeasureFile(file, path, &size, &error);
  }
  if (result != TransferResult::Ok) {
    // The server waits for a block: a status record takes its place.
    SendBlockStatus(s, BlockFileUnusable);
    if (file) std::fclose(file);
    return StatusOf(operation, result, error);
  }

  SendBlockHeader(s, size);
  BlockEnd end;
  end.fill = [&](char* piece, int length) {
    if (std::fread(piece, 1, static_cast<size_t>(length), file) == static_cast<size_t>(length)) return true;
    // The file shrank or failed under us: sending stale bytes in place of
    // its data would corrupt the server's copy, so the block is cut.
    LogFileError("Error reading to send file: %s, errno = %d", path, errno);
    return false;
  };
  result = MoveBlock(s, operation, size, BlockSendPiece, end, progress);
  std::fclose(file);
  return StatusOf(operation, result, 0);
}

int BlockSendData(Socket s, const char* data, int length, ProgressCallback progress) {
  const BlockOperation& operation = SendData;
  if (length <= 0) {
    SendBlockStatus(s, BlockEmptyData);
    LogInternal("Can't sent zero length data block.");
    return StatusOf(operation, TransferResult::Refused, 0);
  }
  SendBlockHeader(s, length);
  const char* from = data;
  BlockEnd end;
  end.fill = [&](char* piece, int size) {
    std::memcpy(piece, from, static_cast<size_t>(size));
    from += size;
    return true;
  };
  return StatusOf(operation, MoveBlock(s, operation, length, BlockSendPiece, end, progress), 0);
}
