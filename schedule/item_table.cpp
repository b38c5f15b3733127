#include "schedule/item_table.h"

#include <cstdio>
#include <cstring>

#include "config/config_file.h"
#include "base/guarded.h"

ItemEntry ItemTable[MaxItems] = {
    {"Quote", ItemQuote, nullptr, "Velmor Quote", nullptr},
    {"Background", ItemPicture, nullptr, "Background Picture", nullptr},
    {"Randomsound", ItemSound, nullptr, "Random Sound", nullptr},
};

namespace {

ItemUpdate soundEventUpdate = nullptr;

std::size_t WithoutTrailingSpaces(const char* text) {
  std::size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == ' ') --n;
  return n;
}

bool UsableName(const char* name) {
  std::size_t n = std::strlen(name);
  if (n == 0 || n > static_cast<std::size_t>(ItemNameMax)) return false;
  for (const char* p = name; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c == '=' || c < 32 || c == 127) return false;
  }
  return true;
}

}  // namespace

int ItemCount() {
  int n = 0;
  while (n < MaxItems && ItemTable[n].name) ++n;
  return n;
}

bool ItemKeyOf(char* out, std::size_t size, const char* prefix, int row) {
  if (size == 0) return false;
  out[0] = '\0';
  if (row < 0 || row >= MaxItems || !ItemTable[row].name) return false;
  if (ItemKey(out, size, prefix, ItemTable[row].name)) return true;
  out[0] = '\0';
  return false;
}

void SetItemUpdates(ItemUpdate quote, ItemUpdate picture, ItemUpdate sound) {
  ItemTable[QuoteRow].update = quote;
  ItemTable[BackgroundRow].update = picture;
  ItemTable[RandomSoundRow].update = sound;
  soundEventUpdate = sound;
  for (int row = FixedItemRows; row < MaxItems && ItemTable[row].name; ++row) ItemTable[row].update = sound;
}

bool AddSoundEventRow(const char* application, const char* event) {
  int row = ItemCount();
  if (row > LastItemRow) return false;
  std::size_t appLength = std::strlen(application), eventLength = std::strlen(event);

  // The name: application trimmed, event appended, the whole trimmed again.
  char* name = GuardedAlloc(static_cast<int>(appLength + eventLength + 10));
  std::memcpy(name, application, appLength + 1);
  TrimSpaces(name);
  std::strcat(name, event);
  TrimSpaces(name);
  if (!UsableName(name)) {
    GuardedFree(name);
    return true;
  }

  std::size_t rootLength = std::strlen(SoundSchemeRoot);
  char* path = GuardedAlloc(static_cast<int>(appLength + eventLength + rootLength + 50));
  std::snprintf(path, appLength + eventLength + rootLength + 50, "%s\\%.*s\\%.*s", SoundSchemeRoot,
                static_cast<int>(WithoutTrailingSpaces(application)), application,
                static_cast<int>(WithoutTrailingSpaces(event)), event);

  ItemTable[row] = ItemEntry{name, ItemSound, soundEventUpdate, name, path};
  ItemTable[row + 1] = ItemEntry{};
  return row + 1 <= LastItemRow;
}

void ReleaseSoundEventItems() {
  for (int row = FixedItemRows; row < MaxItems && ItemTable[row].name; ++row) {
    GuardedFree(const_cast<char*>(ItemTable[row].name));
    GuardedFree(const_cast<char*>(ItemTable[row].eventKeyPath));
    ItemTable[row] = ItemEntry{};
  }
}
