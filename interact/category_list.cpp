#include "interact/category_list.h"

#include <cstring>

#include "content/wait_label.h"
#include "base/guarded.h"
#include "diag/log.h"
#include "base/user_message.h"
#include "interact/category_split.h"
#include "net/request_protocol.h"
#include "net/server_exchange.h"
#include "net/transport.h"

namespace {

struct CategoryCache {
  // A guarded block of `count` name addresses, each a guarded copy. Guarded
  // blocks are only byte-aligned, so the addresses go in and out by memcpy.
  char* slots;
  int count;
};

CategoryCache caches[CategoryTypeLast + 1];

bool ValidType(int itemType) { return itemType >= CategoryTypeFirst && itemType <= CategoryTypeLast; }

char* NameAt(const CategoryCache& cache, int i) {
  char* name;
  std::memcpy(&name, cache.slots + static_cast<std::size_t>(i) * sizeof name, sizeof name);
  return name;
}

void PutName(CategoryCache* cache, char* name) {
  std::memcpy(cache->slots + static_cast<std::size_t>(cache->count) * sizeof name, &name, sizeof name);
  ++cache->count;
}

// Copies the names of the block into the cache. 1 when all were taken; 0
// after "(4)" or "(5)" when a copy could not be had.
int TakeNames(CategoryCache* cache, const char* block, int length, int32_t n) {
  CategorySplit split;
  const char* name = nullptr;
  std::size_t nameLength = 0;
  int count = 0;
  CategorySplitStart(&split, block, static_cast<std::size_t>(length), n);
  while (NextCategoryName(&split, &name, &nameLength)) ++count;

  cache->slots = GuardedAlloc(count * static_cast<int>(sizeof(char*)));
  cache->count = 0;
  CategorySplitStart(&split, block, static_cast<std::size_t>(length), n);
  while (NextCategoryName(&split, &name, &nameLength)) {
    char* copy = cache->slots ? GuardedAlloc(static_cast<int>(nameLength) + 1) : nullptr;
    if (!copy) {
      LogActivity(cache->count == 0 ? "Can't get category list from server (4)"
                                    : "Can't get category list from server (5)");
      return 0;
    }
    std::memcpy(copy, name, nameLength);
    copy[nameLength] = '\0';
    PutName(cache, copy);
  }
  return 1;
}

// The exchange itself, run while the transfer message is up.
int FetchUnderMessage(int itemType) {
  static const char* const failedLines[3] = {"Can't get category list from server (1)",
                                             "Can't get category list from server (2)",
                                             "Can't get category list from server (3)"};
  RequestRecord record = EmptyRecord();
  record.code = RequestCategoryList;
  record.num1 = itemType;
  ExchangeFailure failure;
  Socket s = OpenServerExchange(ConfiguredServer(), &record, &failure);
  if (s < 0) {
    LogActivity(failure == ExchangeFailure::Cancelled ? "Transfer cancelled" : ExchangeFailureText(failure, failedLines));
    return 0;
  }
  if (record.code != ResponseAccepted) {
    LogActivity("Invalid category request");
    CloseServerConnection(s);
    return 0;
  }
  const int32_t n = record.num1;
  int status = 0;
  // No wait label is shown here, so the progress reports show nothing.
  char* block = BlockRecvMemory(s, &status, ShowProgress);
  if (!block) {
    LogActivity(status == BlockCancelled ? "Transfer cancelled" : "Can't get category list from server (4)");
    CloseServerConnection(s);
    return 0;
  }
  const int ok = TakeNames(&caches[itemType], block, status, n);
  CloseServerConnection(s);
  GuardedFree(block);
  return ok;
}

}  // namespace

void DiscardCategoryList(int itemType) {
  if (!ValidType(itemType)) return;
  CategoryCache& cache = caches[itemType];
  for (int i = 0; i < cache.count; ++i) GuardedFree(NameAt(cache, i));
  GuardedFree(cache.slots);
  cache.slots = nullptr;
  cache.count = 0;
}

int FetchCategoryList(int itemType, WindowRef parent) {
  if (!ValidType(itemType)) return 0;
  DiscardCategoryList(itemType);
  ShowTransferMessage(CategoryFetchWaitText, parent);
  const int ok = FetchUnderMessage(itemType);
  ShowTransferMessage(nullptr, parent);
  return ok;
}

int PrepareCategoryList(int itemType, WindowRef parent) {
  if (!ValidType(itemType)) {
    LogActivity("Internal Error: Bad request type.");
    return 0;
  }
  if (caches[itemType].count == 0 && !FetchCategoryList(itemType, parent)) DiscardCategoryList(itemType);
  if (caches[itemType].count > 0) return caches[itemType].count;
  LogActivity("Unable to get category list");
  // Owned by the dialog, which stays disabled while the box is up.
  UserMessage(CategoryListFailedText, parent);
  return 0;
}

int CategoryCount(int itemType) { return ValidType(itemType) ? caches[itemType].count : 0; }

const char* CategoryName(int itemType, int position) {
  if (!ValidType(itemType) || position < 0 || position >= caches[itemType].count) return nullptr;
  return NameAt(caches[itemType], position);
}
