// A fresh data directory per test, with checks that every guarded block was
// freed and none was overrun.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/config_file.h"
#include "base/guarded.h"
#include "tests/config/test_support.h"
#include "tests/stubs/stubs.h"

class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDirectory("cfg");
    UseDataDirectory(dir_);
    ClearInternalMessages();
    ShownMessages().clear();
    blocks_ = GuardedOutstanding();
  }
  void TearDown() override {
    EXPECT_EQ(GuardedOutstanding(), blocks_) << "guarded blocks leaked";
    EXPECT_TRUE(ShownMessages().empty()) << "a guarded block was overrun: " << ShownMessages().front();
    ClearInternalMessages();
    DataDirectory[0] = '\0';
    RemoveTempDirectory(dir_);
  }

  std::string CfgPath() const { return JoinPath(dir_, ConfigFileName); }
  void Store(const std::string& bytes) const { WriteFile(CfgPath(), bytes); }
  std::string Bytes() const { return ReadFile(CfgPath()); }

  // The value ConfigGet gives for key, or "<absent>".
  std::string Get(const char* key, std::size_t size = 500) const {
    std::string out(size, '#');
    if (!ConfigGet(&out[0], size, key, ConfigFileName)) return "<absent>";
    return std::string(out.c_str());
  }
  void Set(const char* key, const char* value) const { ConfigSet(key, value, ConfigFileName); }

  std::string dir_;
  long blocks_ = 0;
};
