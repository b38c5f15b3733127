// What became of a transport operation: one answer for every send, receive,
// request and block, so that callers test one type whatever they called.
//
// The block operations still return the status numbers their callers log
// and compare (BlockRecvFile's 0/code/1/5/7/11, BlockSendFile's 0/errno/-5/
// -7/-11, ...); BlockStatus is the one place that turns a result into them.
#pragma once

enum class TransferResult {
  Ok,
  Cancelled,  // the user cancelled (CancelTransfer)
  Quit,       // the program is closing (Quitting)
  TimedOut,   // no progress for TransferTimeout seconds
  PeerClosed, // the server closed the connection
  IoError,    // the socket failed, or a header could not describe a block
  FileError,  // the local file could not be opened, written or read
  TooLarge,   // a block longer than the receiver takes (read and dropped)
  Refused,    // no block: the server answered with a non-zero code, or an
              // empty block was not sent (a status record went instead)
};

// The exchange cannot go on after this result. A cancel is not a break: the
// block operation that follows notices it and reports it as cancelled.
inline bool TransferBroken(TransferResult result) {
  return result != TransferResult::Ok && result != TransferResult::Cancelled;
}

enum class BlockOperation { RecvMemory, RecvFile, SendFile, SendData };

// A block operation's status number for its result. detail is what the
// result carries: the block's length (RecvMemory, Ok), the header's code
// (RecvFile, Refused) or the file's error number (SendFile, FileError).
int BlockStatus(BlockOperation operation, TransferResult result, int detail);

// The internal-log lines of a block operation whose socket failed, and whose
// transfer met the quit.
const char* BlockSocketErrorLine(BlockOperation operation);
const char* BlockQuitLine(BlockOperation operation);

// The activity line of a request that could not be sent (-4) or whose
// response did not arrive (-5).
void LogRequestNotSent();
void LogResponseNotReceived();
