#include "interact/donate_list.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "base/user_message.h"

namespace {

// Large enough to hold any value velmor.cfg can store, so that a path that
// is too long is seen whole instead of being cut into a shorter one.
constexpr std::size_t SlotValueMax = ConfigLineMax + 1;

void TellPathTooLong(const char* path, std::size_t length) {
  char text[600];
  std::snprintf(text, sizeof text, "%s\r\n%.*s", PathTooLongText, static_cast<int>(length), path);
  UserMessage(text);
}

}  // namespace

void StoreDonateCategory(int type, int position) {
  char key[32];
  char value[16];
  DonateCategoryKey(key, sizeof key, type);
  std::snprintf(value, sizeof value, "%d", position);
  ConfigSet(key, value, ConfigFileName);
}

int ReadDonateSlot(int type, int slot, char* out, std::size_t size, const ConfigView* view) {
  char key[32];
  char value[SlotValueMax];
  DonateSlotKey(key, sizeof key, type, slot);
  if (size > 0) out[0] = '\0';
  const int found =
      view ? ConfigViewGet(view, value, sizeof value, key) : ConfigGet(value, sizeof value, key, ConfigFileName);
  if (!found) return 0;
  TrimSpaces(value);
  const std::size_t length = std::strlen(value);
  if (length == 0) return 0;
  std::snprintf(out, size, "%.*s", DonatePathMax, value);
  return length > static_cast<std::size_t>(DonatePathMax) ? -1 : 1;
}

void LoadDonateList(int type, const DonateListSink& sink) {
  char path[DonatePathMax + 1];
  for (int slot = 1; slot <= DonateSlotsRead; ++slot) {
    const int got = ReadDonateSlot(type, slot, path, sizeof path);
    if (got > 0) {
      sink.append(sink.context, path);
    } else if (got < 0) {
      char key[32];
      char value[SlotValueMax];
      DonateSlotKey(key, sizeof key, type, slot);
      ConfigGet(value, sizeof value, key, ConfigFileName);
      TellPathTooLong(value, std::strlen(value));
    }
  }
}

void SaveDonateList(int type, int count, const char* (*entry)(void* context, int index), void* context) {
  // Paths too long to list were never shown, so the user cannot have
  // removed them: they keep slots after the listed files.
  std::vector<std::string> unlisted;
  char path[DonatePathMax + 1];
  for (int slot = 1; slot <= DonateSlotsRead; ++slot) {
    if (ReadDonateSlot(type, slot, path, sizeof path) >= 0) continue;
    char key[32];
    char value[SlotValueMax];
    DonateSlotKey(key, sizeof key, type, slot);
    ConfigGet(value, sizeof value, key, ConfigFileName);
    unlisted.emplace_back(value);
  }
  char key[32];
  std::size_t next = 0;
  for (int slot = 1; slot <= DonateSlotsWritten; ++slot) {
    DonateSlotKey(key, sizeof key, type, slot);
    const char* value = "";
    if (slot <= count) value = entry(context, slot - 1);
    else if (slot <= DonateSlotsRead && next < unlisted.size()) value = unlisted[next++].c_str();
    ConfigSet(key, value, ConfigFileName);
  }
}

const char* DonateFileFilter(int type) {
  switch (type) {
    case ItemQuote: return "Text Files\0*.txt\0";
    case ItemSound: return "WAV Files\0*.wav\0";
    case ItemPicture: return "Picture Files\0*.bmp;*.jpg;*.pcx;*.gif\0";
    default: return "\0";
  }
}

int AppendChosenFiles(const char* result, std::size_t size, std::size_t fileOffset, const DonateListSink& sink) {
  if (size == 0) return 0;
  const char* end = result + size;
  auto textEnd = [end](const char* from) {
    const void* nul = std::memchr(from, '\0', static_cast<std::size_t>(end - from));
    return nul ? static_cast<const char*>(nul) : end;
  };
  const char* first = result;
  const char* firstEnd = textEnd(first);
  if (firstEnd == first) return 0;
  const bool several = fileOffset > static_cast<std::size_t>(firstEnd - first) && firstEnd + 1 < end;
  const char* name = several ? firstEnd + 1 : first;

  int added = 0;
  int leftOver = 0;
  while (name < end && *name) {
    const char* nameEnd = textEnd(name);
    char path[DonatePathMax + 2];
    std::size_t length = 0;
    bool fits = true;
    if (several) {
      const std::size_t dirLength = static_cast<std::size_t>(firstEnd - first);
      const bool slash = first[dirLength - 1] == '\\';
      length = dirLength + (slash ? 0 : 1) + static_cast<std::size_t>(nameEnd - name);
      fits = length <= static_cast<std::size_t>(DonatePathMax);
      if (fits) {
        std::snprintf(path, sizeof path, "%.*s%s%.*s", static_cast<int>(dirLength), first, slash ? "" : "\\",
                      static_cast<int>(nameEnd - name), name);
      }
    } else {
      length = static_cast<std::size_t>(nameEnd - name);
      fits = length <= static_cast<std::size_t>(DonatePathMax);
      if (fits) std::snprintf(path, sizeof path, "%.*s", static_cast<int>(length), name);
    }
    if (!fits) {
      // Shown as the dialog gave it: the directory, then the name.
      char shown[600];
      std::snprintf(shown, sizeof shown, several ? "%.*s\\%.*s" : "%.*s%.*s",
                    several ? static_cast<int>(firstEnd - first) : 0, first, static_cast<int>(nameEnd - name), name);
      TellPathTooLong(shown, std::strlen(shown));
    } else if (sink.count(sink.context) >= DonateSlotsRead) {
      ++leftOver;
    } else {
      sink.append(sink.context, path);
      ++added;
    }
    if (!several) break;
    name = nameEnd + 1;
  }
  if (leftOver > 0) {
    char text[200];
    std::snprintf(text, sizeof text, ListFullFormat, DonateSlotsRead, leftOver);
    UserMessage(text);
  }
  return added;
}
