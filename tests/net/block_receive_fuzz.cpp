// Whatever a server sends after a request: the header check and both block
// receives must end with a status, never read or write out of bounds, and
// leave no guarded block behind.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/config_file.h"
#include "base/guarded.h"
#include "net/block_header.h"
#include "net/request_protocol.h"
#include "tests/net/fake_transport.h"
#include "tests/support/test_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string dir = MakeTestDir("block-fuzz");
  static std::string target = dir + "import.bin";
  std::snprintf(DataDirectory, sizeof DataDirectory, "%s", dir.c_str());
  long before = GuardedOutstanding();

  RequestRecord record;
  DecodeRequestRecord(data, size, &record);
  BlockPlan plan;
  if (CheckBlockHeader(record, &plan) == BlockHeaderKind::Data) {
    if (plan.piece <= 0 || plan.piece > MaxBlockPiece || plan.total < 0) std::abort();
  }

  ResetPeer();
  Peer().incoming.assign(reinterpret_cast<const char*>(data), size);
  int status = -1;
  char* got = BlockRecvMemory(3, &status, nullptr);
  if (got) {
    if (status < 0 || status > MemoryBlockLimit || got[status] != '\0') std::abort();
    GuardedFree(got);
  }

  ResetPeer();
  Peer().incoming.assign(reinterpret_cast<const char*>(data), size);
  BlockRecvFile(3, target.c_str(), nullptr);

  if (GuardedOutstanding() != before) std::abort();
  return 0;
}
