// The server's category lists, one per item type (1 quote, 2 picture,
// 3 sound; 4 has a slot that no dialog uses), fetched on first need and kept
// for the rest of the run. A category is known everywhere by its 0-based
// position in its list; the names are kept exactly as received (any bytes
// but NUL, duplicates included) in received order.
#pragma once
#include <cstddef>

#include "interact/dialog_shell.h"

constexpr int CategoryTypeFirst = 1;
constexpr int CategoryTypeLast = 4;

constexpr const char* CategoryFetchWaitText = "Please Wait. Getting category list from server.";
constexpr const char* CategoryListFailedText =
    "Unable to get category list from server. Check the address and port and try again later.";

// Empties the cache of one type, so that the next fill asks the server
// again. Other values are ignored.
void DiscardCategoryList(int itemType);

// Asks the server for the names of one type (request 12) under the transfer
// message "Please Wait. Getting category list from server." owned by parent,
// which is closed again whatever happens. 1 when the cache now holds the
// names, 0 on failure (logged; the cache may then hold a partial list, which
// the caller drops).
int FetchCategoryList(int itemType, WindowRef parent);

// The portable half of FillCategoryListBox: checks the type, fetches when
// the cache is empty, drops a partial list after a failure and reports
// "Unable to get category list" (log and message box). Returns the number of
// names to show (0 for none).
int PrepareCategoryList(int itemType, WindowRef parent);

// The cached names of a type (0 and null outside 1 to 4 or past the end).
int CategoryCount(int itemType);
const char* CategoryName(int itemType, int position);
