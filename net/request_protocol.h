// The conversation with a Velmor server over one connection: request and
// response records, status records and the block transfers.
//
// A block is a RequestRecord header (code 0, num1 chunk size, num2 total)
// followed by exactly num2 raw bytes; a header with another code carries no
// data. The client always announces chunks of BlockChunkSize.
#pragma once
#include "net/request_record.h"
#include "net/transfer_result.h"
#include "net/transport.h"

constexpr int BlockChunkSize = 4096;
// The pieces in which the client writes a block's data: sixteen chunks. The
// chunk size only says how the receiver reads; on the stream the pieces
// cannot be told apart, and each write is a call into the system (under
// Wine a round trip to its server), so a few large writes move the same
// bytes for a fraction of the cost of many small ones.
constexpr int BlockSendPiece = 16 * BlockChunkSize;
// The largest block that is received into memory; a longer one is read to
// its end and dropped.
constexpr int MemoryBlockLimit = 999999;
// The largest block that is received into a file (a picture or a sound):
// 64 MiB, far above any wallpaper or event sound. A longer announcement is
// refused before a byte of it is written, so that a server cannot fill the
// disk; the connection is then given up, not read to its end.
constexpr int FileBlockLimit = 64 * 1024 * 1024;

// The status numbers of the block operations, shared by each operation and
// its callers (each operation below names the ones it returns). A positive
// number that is none of these is a header's code (BlockRecvFile) or a
// file's error number (BlockSendFile); BlockSendFile's own numbers are
// negative so that they never meet those.
enum : int {
  BlockOk = 0,
  BlockQuit = 1,                           // the program is closing; BlockRecvMemory: also a refused block
  BlockEmptyData = ResponseUnavailable,    // 4: no data to send (a status record 4 went instead)
  BlockFileUnusable = ResponseCannotCreate, // 5: the local file could not be used
  BlockTooLarge = 6,                       // memory: longer than MemoryBlockLimit (read to its end, dropped);
                                           // file: longer than FileBlockLimit (refused at the header)
  BlockBroken = 7,                         // time-out, closed, socket error or unusable header
  BlockCancelled = 11,                     // the user cancelled
  BlockSendEmptyFile = -5,
  BlockSendBroken = -7,                    // also the quit
  BlockSendCancelled = -11,
};

// Called after every piece of a block with the bytes moved so far and the
// total; may be null.
using ProgressCallback = void (*)(int done, int total);

// Writes ClientIdentity, 7 and 3 into the record, then sends its 90 bytes.
// Quit without sending anything when the program is closing.
TransferResult SendRequest(Socket s, RequestRecord* record);

// Reads 90 bytes into the record. Cancelled leaves the record partly
// overwritten; after a broken receive (TransferBroken) its code is 7.
TransferResult ReceiveResponse(Socket s, RequestRecord* record);

// Sends a status record (no data follows) instead of a block.
void SendBlockStatus(Socket s, int status);

// Receives a block of at most MemoryBlockLimit bytes into a new guarded block
// (data followed by at least one NUL; the caller frees it with GuardedFree).
// On success *status is the length. Otherwise null, and *status is
// BlockQuit (header code not 0, or Quitting), BlockTooLarge, BlockBroken or
// BlockCancelled.
char* BlockRecvMemory(Socket s, int* status, ProgressCallback progress);

// Receives a block into the file at path, created anew with raw bytes.
// BlockOk, or the header's non-zero code (BlockBroken when no header arrived
// or it was unusable), BlockQuit, BlockFileUnusable (not creatable or not
// writable; the data was read and dropped), BlockTooLarge (longer than
// FileBlockLimit: no file made, nothing more read), BlockBroken,
// BlockCancelled.
int BlockRecvFile(Socket s, const char* path, ProgressCallback progress);

// Sends the file at path as a block. BlockOk; a positive file error number
// (not opened, positioned or measured; a status record BlockFileUnusable
// went instead); BlockSendEmptyFile (a status record BlockFileUnusable went
// instead); BlockSendBroken (send or read error, or Quitting);
// BlockSendCancelled.
int BlockSendFile(Socket s, const char* path, ProgressCallback progress);

// Sends length bytes as a block. BlockOk, BlockQuit, BlockEmptyData,
// BlockBroken (send error), BlockCancelled.
int BlockSendData(Socket s, const char* data, int length, ProgressCallback progress);
