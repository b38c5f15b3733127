#include "interact/category_split.h"

#include <cstring>

void CategorySplitStart(CategorySplit* split, const char* block, std::size_t length, int32_t n) {
  split->block = block;
  split->length = block ? length : 0;
  split->position = 0;
  split->wanted = n < 1 ? 1 : n;
  split->given = 0;
}

int NextCategoryName(CategorySplit* split, const char** name, std::size_t* length) {
  if (split->given >= split->wanted) return 0;
  // Names after the first need a byte of their own inside the block.
  if (split->given > 0 && split->position >= split->length) return 0;
  const std::size_t start = split->position < split->length ? split->position : split->length;
  const std::size_t rest = split->length - start;
  const char* from = split->block ? split->block + start : "";
  const void* nul = rest ? std::memchr(from, '\0', rest) : nullptr;
  const std::size_t n = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - from) : rest;
  *name = from;
  *length = n;
  split->position = start + n + 1;
  ++split->given;
  return 1;
}
