// Any block and any announced count: the split stays inside the block, gives
// at least one and at most max(N, 1) names, and the names with their NULs
// never cover more bytes than the block has (plus the first name's).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "interact/category_split.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  int32_t n;
  std::memcpy(&n, data, 4);
  // A copy of exactly the block's size, so that ASan sees any read past it.
  std::vector<char> block(data + 4, data + size);
  const char* bytes = block.empty() ? nullptr : block.data();
  CategorySplit split;
  CategorySplitStart(&split, bytes, block.size(), n);
  const char* name = nullptr;
  std::size_t length = 0;
  int64_t given = 0;
  std::size_t covered = 0;
  while (NextCategoryName(&split, &name, &length)) {
    ++given;
    if (length && (name < bytes || name + length > bytes + block.size())) std::abort();
    if (length && std::memchr(name, '\0', length)) std::abort();
    covered += length + 1;
  }
  if (given < 1 || given > (n < 1 ? 1 : n)) std::abort();
  if (covered > block.size() + 1) std::abort();
  return 0;
}
