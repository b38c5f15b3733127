#include "net/block_header.h"

BlockHeaderKind CheckBlockHeader(const RequestRecord& header, BlockPlan* plan) {
  plan->total = 0;
  plan->piece = 0;
  if (header.code != ResponseAccepted) return BlockHeaderKind::Refused;
  // An empty block reads nothing, so its chunk size does not matter (a
  // sender may well announce 0 for 0 bytes).
  if (header.num2 < 0 || (header.num1 <= 0 && header.num2 > 0)) return BlockHeaderKind::Unusable;
  plan->total = header.num2;
  plan->piece = header.num1 <= 0 ? 1 : header.num1 < MaxBlockPiece ? header.num1 : MaxBlockPiece;
  return BlockHeaderKind::Data;
}
