// What became of a transport operation: one answer for every send, receive,
// request and block, so that callers test one type whatever they called.
//
// The block operations answer with the status numbers their callers log and
// compare (net/request_protocol.h); each turns its result into its number
// in one place.
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
