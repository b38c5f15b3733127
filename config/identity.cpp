#include "config/identity.h"

#include <cstdio>
#include <cstring>

#include "config/config_file.h"
#include "config/profile.h"
#include "base/clock.h"

namespace {

constexpr const char* IdentitySection = "Patterns";
constexpr const char* IdentityKey = "Habitat";
constexpr int IdentitySlots = 10;
constexpr int RandomIdentityBound = 30000;

}  // namespace

uint32_t IdentityDecode(const char* entry) {
  int slots[IdentitySlots] = {};
  int filled = 0;
  const char* p = entry;
  while (*p) {
    if (*p != ' ') {
      ++p;
      continue;
    }
    while (*p == ' ') ++p;
    if (filled < IdentitySlots) slots[filled++] = DecimalValue(p);
    while (*p && *p != ' ') ++p;
  }
  // slots[0] holds the constant 14; the bytes follow.
  return static_cast<uint32_t>(slots[1]) * 16777216u + static_cast<uint32_t>(slots[2]) * 65536u +
         static_cast<uint32_t>(slots[3]) * 256u + static_cast<uint32_t>(slots[4]);
}

uint32_t IdentityFromText(const char* text) {
  int32_t value = DecimalValue(text);
  uint32_t bits = static_cast<uint32_t>(value);
  return value < 0 ? 0u - bits : bits;
}

void IdentityEntryText(uint32_t number, char* out, std::size_t size) {
  std::snprintf(out, size, "12 14 %u %u %u %u 76 22 19", number / 16777216u, (number / 65536u) % 256u,
                (number / 256u) % 256u, number % 256u);
}

void EstablishClientIdentity(char* out, std::size_t size) {
  char entry[IdentityEntrySize];
  ProfileRead(ProfileFileName, IdentitySection, IdentityKey, entry, sizeof entry);
  if (std::strlen(entry) >= static_cast<std::size_t>(IdentityEntryMinLength)) {
    std::snprintf(out, size, "%u", IdentityDecode(entry));
    return;
  }

  // A new identity: the time "user.dat" was last written, which differs
  // between installations, or failing that two random numbers.
  char text[32];
  char windows[200];
  char userDat[300];
  uint32_t written = 0;
  bool haveTime = false;
  if (WindowsDirectory(windows, sizeof windows) > 0) {
    std::snprintf(userDat, sizeof userDat, "%s", windows);
    AddBackslash(userDat, sizeof userDat);
    std::size_t used = std::strlen(userDat);
    std::snprintf(userDat + used, sizeof userDat - used, "%s", "user.dat");
    haveTime = FileLastWriteTime(userDat, &written) != 0;
  }
  if (haveTime) {
    std::snprintf(text, sizeof text, "%u", written);
  } else {
    int first = RandomBelow(RandomIdentityBound);
    int second = RandomBelow(RandomIdentityBound);
    std::snprintf(text, sizeof text, "%d%d", first, second);
  }

  // What is stored is the number's four bytes, and the identity is the
  // number they make, so the first run already sends what every later run
  // rebuilds from the entry.
  uint32_t number = IdentityFromText(text);
  IdentityEntryText(number, entry, sizeof entry);
  ProfileWrite(ProfileFileName, IdentitySection, IdentityKey, entry);
  std::snprintf(out, size, "%u", number);
}
