// Checking a received block header before any of its data is read.
#pragma once
#include "net/request_record.h"

// The receiver never reserves more than this for one piece, whatever chunk
// size a header announces; a larger chunk is simply read in pieces of this
// size.
constexpr int MaxBlockPiece = 65536;

struct BlockPlan {
  int total; // bytes of data that follow the header
  int piece; // bytes read at a time: the chunk size, at most MaxBlockPiece
};

enum class BlockHeaderKind {
  Data,     // code 0 and a usable size: plan filled in
  Refused,  // a non-zero code: no data follows
  Unusable, // code 0, but a negative total, or data announced in chunks of
            // 0 bytes or below
};

// A header that cannot describe a block is Unusable, so that the receive
// fails at once instead of waiting for a cancel that may never come.
BlockHeaderKind CheckBlockHeader(const RequestRecord& header, BlockPlan* plan);
