#include "base/guarded.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/user_message.h"

namespace {

constexpr char GuardMarker[4] = {'O', 'v', 'l', '.'};
long outstanding = 0;

void PutSize(unsigned char* at, int32_t n) {
  uint32_t v = static_cast<uint32_t>(n);
  at[0] = static_cast<unsigned char>(v);
  at[1] = static_cast<unsigned char>(v >> 8);
  at[2] = static_cast<unsigned char>(v >> 16);
  at[3] = static_cast<unsigned char>(v >> 24);
}

int32_t GetSize(const unsigned char* at) {
  uint32_t v = uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
  return static_cast<int32_t>(v);
}

}  // namespace

void (*OutOfMemoryCleanup)() = nullptr;

char* GuardedAlloc(int n) {
  if (n < 0) n = 0;
  // Every caller assumes success; a heap that cannot give a block this small
  // leaves nothing sensible to do but say so and stop.
  auto* block = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(n) + 8));
  if (!block) {
    UserMessage("[Out of memory.]");
    if (OutOfMemoryCleanup) OutOfMemoryCleanup();
    std::exit(3);
  }
  std::memset(block, 0, static_cast<size_t>(n) + 4);
  PutSize(block, n);
  std::memcpy(block + 4 + n, GuardMarker, 4);
  ++outstanding;
  return reinterpret_cast<char*>(block + 4);
}

void GuardedFree(void* p) {
  if (!p) return;
  auto* block = static_cast<unsigned char*>(p) - 4;
  int32_t n = GetSize(block);
  if (std::memcmp(block + 4 + n, GuardMarker, 4) != 0) UserMessage("[Memory Overrun Error.]");
  --outstanding;
  std::free(block);
}

long GuardedOutstanding() { return outstanding; }
