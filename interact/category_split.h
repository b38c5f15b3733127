// Splitting the block of a category-list response into its names.
//
// The block holds N names, each a NUL-terminated byte string, back to back.
// The split never reads beyond the block's length, whatever N says or
// whether the last NUL is there: a name that runs to the block's end ends
// there, and the split stops when the block holds no further byte. So the
// names given are the ones that the block holds, at most N of them; the
// first name is always given (an N of 1 or less gives exactly one name,
// empty when the block is empty or starts with a NUL).
#pragma once
#include <cstddef>
#include <cstdint>

struct CategorySplit {
  const char* block;
  std::size_t length;
  std::size_t position;
  int64_t wanted;
  int64_t given;
};

void CategorySplitStart(CategorySplit* split, const char* block, std::size_t length, int32_t n);

// 1 with the next name's first byte and length (without its NUL), or 0 when
// the names are all given.
int NextCategoryName(CategorySplit* split, const char** name, std::size_t* length);
