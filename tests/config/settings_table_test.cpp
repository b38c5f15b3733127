// The table of program-wide settings through the real store: defaults
// written on first read, every value read back whole, and a rewrite of what
// was read leaving the file byte for byte as it was.
#include <string>

#include "config/settings_table.h"
#include "tests/config/config_fixture.h"

namespace {

using SettingsTableTest = ConfigFileTest;

Setting At(int i) { return static_cast<Setting>(i); }

TEST_F(SettingsTableTest, EverySettingRoundTrips) {
  for (int i = 0; i < SettingCount; ++i) {
    const SettingEntry& entry = SettingOf(At(i));
    std::string out(entry.size, '#');
    int found = ReadSetting(At(i), &out[0], entry.size);
    if (entry.defaultValue) {
      EXPECT_EQ(found, 1) << entry.key;
      EXPECT_STREQ(out.c_str(), entry.defaultValue) << entry.key;
      EXPECT_EQ(Get(entry.key), entry.defaultValue) << entry.key;
    } else {
      EXPECT_EQ(found, 0) << entry.key;
      EXPECT_EQ(Get(entry.key), "<absent>") << entry.key;
    }
  }

  // Each filled to its buffer, distinct from every other.
  for (int i = 0; i < SettingCount; ++i) {
    const SettingEntry& entry = SettingOf(At(i));
    std::string value(entry.size - 1, static_cast<char>('a' + i));
    value[0] = static_cast<char>('A' + i);
    WriteSetting(At(i), value.c_str());
  }
  // Read back whole and written again: the first rewrite puts the appended
  // lines into the column form, every later one leaves the bytes alone.
  std::string before;
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < SettingCount; ++i) {
      const SettingEntry& entry = SettingOf(At(i));
      std::string out(entry.size, '#');
      ASSERT_EQ(ReadSetting(At(i), &out[0], entry.size), 1) << entry.key;
      EXPECT_EQ(std::string(out.c_str()), std::string(1, 'A' + i) + std::string(entry.size - 2, 'a' + i))
          << entry.key;
      WriteSetting(At(i), out.c_str());
    }
    if (pass == 1) {
      EXPECT_EQ(Bytes(), before);
    }
    before = Bytes();
  }
}

TEST_F(SettingsTableTest, NumbersAndItemKeys) {
  WriteSettingNumber(Setting::WindowLeft, -32000);
  EXPECT_EQ(Get("WindowLeft"), "-32000");
  EXPECT_EQ(ReadSettingNumber(Setting::WindowLeft), -32000);
  EXPECT_EQ(ReadSettingNumber(Setting::Trailer), 0); // missing, no default: nothing stored
  EXPECT_EQ(Get("Trailer"), "<absent>");

  char key[19];
  EXPECT_TRUE(ItemKey(key, sizeof key, IntervalPrefix, "Background"));
  EXPECT_STREQ(key, "IntervalBackground");
  EXPECT_FALSE(ItemKey(key, sizeof key - 1, IntervalPrefix, "Background"));
  EXPECT_STREQ(key, "IntervalBackgroun");
  EXPECT_FALSE(ItemKey(key, 0, SelectPrefix, "Quote"));
}

}  // namespace
