// Pictures and sounds over an in-memory server: the request that goes out,
// the files left in the data directory, what reaches the desktop seam and
// the converter, and the activity lines.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/file_ops.h"
#include "config/basic_settings.h"
#include "config/config_file.h"
#include "content/media_update.h"
#include "base/guarded.h"
#include "diag/log.h"
#include "net/request_record.h"
#include "base/clock.h"
#include "schedule/item_table.h"
#include "tests/content/desktop_stub.h"
#include "tests/net/fake_transport.h"
#include "tests/support/test_files.h"
#include "tests/stubs/stubs.h"

namespace {

std::string Last() {
  const auto& lines = ActivityLines();
  if (lines.empty()) return "";
  size_t tab = lines.back().find("-\t");
  return tab == std::string::npos ? lines.back() : lines.back().substr(tab + 2);
}

RequestRecord Sent() {
  RequestRecord r = EmptyRecord();
  if (!Peer().sends.empty()) DecodeRequestRecord(Peer().sends[0].data(), Peer().sends[0].size(), &r);
  return r;
}

std::string Bytes(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + static_cast<size_t>(seed));
  return s;
}

// The error number this platform gives for putting a file in the place of a
// folder that holds a file.
int ReplaceFolderError(const std::string& dir) {
  std::filesystem::create_directories(dir + "probe");
  WriteFile(dir + "probe/x", "x");
  WriteFile(dir + "probe.new", "x");
  errno = 0;
  OsReplaceFile((dir + "probe.new").c_str(), (dir + "probe").c_str());
  int error = errno;
  std::filesystem::remove_all(dir + "probe");
  std::remove((dir + "probe.new").c_str());
  return error;
}

// A 2x2 24-bit Windows bitmap: file header, 40-byte information header,
// two rows of 6 bytes padded to 8.
std::string SmallBitmap() {
  auto le = [](uint32_t v, int n) {
    std::string b;
    for (int i = 0; i < n; ++i) b += static_cast<char>((v >> (8 * i)) & 0xFF);
    return b;
  };
  return "BM" + le(70, 4) + le(0, 4) + le(54, 4) + le(40, 4) + le(2, 4) + le(2, 4) + le(1, 2) + le(24, 2) +
         le(0, 4) + le(16, 4) + std::string(16, '\0') + std::string(16, '\x40');
}

class MediaUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPeer();
    ActivityLines().clear();
    Desktop() = DesktopCalls();
    dir_ = MakeTestDir("media-update");
    std::snprintf(DataDirectory, sizeof DataDirectory, "%s", dir_.c_str());
    std::snprintf(SaveLogToDisk, sizeof SaveLogToDisk, "%s", "No");
    std::snprintf(ClientIdentity, sizeof ClientIdentity, "%s", "55");
    ConfigSet("SELECTBackground", "2", ConfigFileName);
    ConfigSet("SELECTRandomsound", "6", ConfigFileName);
    ReleaseSoundEventItems();
    outstanding_ = GuardedOutstanding();
  }
  void TearDown() override {
    ReleaseSoundEventItems();
    EXPECT_EQ(GuardedOutstanding(), outstanding_);
    EXPECT_EQ(Peer().closes, Peer().opens);
  }
  std::vector<std::string> Files() {
    std::vector<std::string> files;
    for (const std::string& f : ListFiles(dir_))
      if (f.rfind("velmor.cfg", 0) != 0 && f != "VelmorW.log") files.push_back(f);
    return files;
  }
  void Serve(const std::string& bytes) {
    ResetPeer();
    Peer().incoming = bytes;
  }
  std::string dir_;
  long outstanding_ = 0;
};

TEST_F(MediaUpdateTest, PictureBecomesTheTiledWallpaper) {
  std::string picture = Bytes(10000, 1);
  Serve(RecordBytes(0, 0, 0) + RecordBytes(0, 640, 480, "info") + BlockBytes(picture, 4096));
  Desktop().convertedBytes = "BM converted";
  EXPECT_EQ(BackgroundUpdate(BackgroundRow), 1);
  EXPECT_EQ(Sent().code, 2);
  EXPECT_EQ(Sent().num1, 3);
  ASSERT_EQ(Desktop().conversions.size(), 1u);
  EXPECT_EQ(Desktop().conversions[0],
            (std::vector<std::string>{"djpeg.exe", "-nosmooth", "-colors", "256", "-bmp", dir_ + "import.bin",
                                      dir_ + "import.bmp"}));
  EXPECT_EQ(Files(), (std::vector<std::string>{"Backgrou.bmp"}));
  EXPECT_EQ(ReadFile(dir_ + "Backgrou.bmp"), "BM converted");
  EXPECT_EQ(Desktop().wallpapers, (std::vector<std::string>{dir_ + "Backgrou.bmp"}));
  EXPECT_EQ(Last(), "New background picture has been loaded.");

  // A bitmap, which the converter refuses, is the wallpaper as it came; the
  // converter's partial output goes.
  std::string bitmap = SmallBitmap();
  Serve(RecordBytes(0, 0, 0) + RecordBytes(0, 0, 0) + BlockBytes(bitmap, 4096));
  Desktop().convertResult = 1;
  Desktop().convertedBytes = "partial";
  EXPECT_EQ(BackgroundUpdate(BackgroundRow), 1);
  EXPECT_EQ(Files(), (std::vector<std::string>{"Backgrou.bmp"}));
  EXPECT_EQ(ReadFile(dir_ + "Backgrou.bmp"), bitmap);
  EXPECT_EQ(Last(), "New background picture has been loaded.");
  EXPECT_EQ(Desktop().wallpapers.size(), 2u);
}

// Whatever else the converter refuses (random bytes, a "BM" that is no
// bitmap, a bitmap cut short, an empty block announced 0/0) is dropped: the
// old wallpaper stays on the desktop and on disk, a line says so, and the
// update counts as delivered so that the row waits its interval.
TEST_F(MediaUpdateTest, PicturesTheDesktopCannotShowKeepTheOldWallpaper) {
  WriteFile(dir_ + "Backgrou.bmp", "old wallpaper");
  std::string bitmap = SmallBitmap();
  const std::string refused[] = {Bytes(5000, 2), std::string("BM\x46\0\0\0\0\0\0\0\x36\0\0\0", 14) + Bytes(56, 0x7f),
                                 bitmap.substr(0, bitmap.size() - 4), std::string()};
  Desktop().convertResult = 1;
  Desktop().convertedBytes = "partial";
  for (const std::string& received : refused) {
    Serve(RecordBytes(0, 0, 0) + RecordBytes(0, 0, 0) +
          (received.empty() ? RecordBytes(0, 0, 0) : BlockBytes(received, 4096)));
    EXPECT_EQ(BackgroundUpdate(BackgroundRow), 1) << received.size();
    EXPECT_EQ(Files(), (std::vector<std::string>{"Backgrou.bmp"})) << received.size();
    EXPECT_EQ(ReadFile(dir_ + "Backgrou.bmp"), "old wallpaper");
    EXPECT_EQ(Last(), "The new background picture could not be used; the wallpaper stays as it was.");
  }
  EXPECT_TRUE(Desktop().wallpapers.empty());
}

TEST_F(MediaUpdateTest, ServerAnswersEndWithTheirLines) {
  struct Case {
    int row;
    std::string served;
    const char* line;
  };
  std::string half = RecordBytes(0, 4096, 10000) + Bytes(5000, 3);
  const Case cases[] = {
      {BackgroundRow, RecordBytes(3, 0, 0), "The Velmor server you're attached to is busy."},
      {RandomSoundRow, RecordBytes(3, 0, 0), "The Velmor server you're attached to is busy."},
      {BackgroundRow, RecordBytes(4, 0, 0), "The Velmor server was unable to obtain the information you requested."},
      {BackgroundRow, RecordBytes(8, 0, 0), "Picture category 3 is empty on the server."},
      {RandomSoundRow, RecordBytes(9, 0, 0), "Sound category 7 is empty on the server."},
      {RandomSoundRow, RecordBytes(8, 0, 0), "Error from server  error: 8"},
      {BackgroundRow, RecordBytes(9, 0, 0), "Error from server  error: 9"},
      {BackgroundRow, RecordBytes(-3, 0, 0), "Error from server  error: -3"},
      {BackgroundRow, RecordBytes(0, 0, 0) + RecordBytes(0, 0, 0) + RecordBytes(8, 0, 0),
       "Picture Category 3 is empty on the server."},
      {RandomSoundRow, RecordBytes(0, 0, 0) + RecordBytes(9, 0, 0), "Sound Category 7 is empty on the server."},
      {BackgroundRow, RecordBytes(0, 0, 0) + RecordBytes(0, 0, 0) + half, "Unknown error from block receive: 7."},
      {RandomSoundRow, RecordBytes(0, 0, 0) + half, "Unknown error from block receive: 7."},
      {BackgroundRow, RecordBytes(0, 0, 0), "Unknown error from block receive: 7."},
      {BackgroundRow, "", "Error on recv error: -5"},
      {RandomSoundRow, RecordBytes(0, 0, 0).substr(0, 40), "Error on recv error: -5"},
  };
  for (const Case& c : cases) {
    Serve(c.served);
    EXPECT_EQ(c.row == BackgroundRow ? BackgroundUpdate(c.row) : SoundUpdate(c.row), 0) << c.line;
    EXPECT_EQ(Last(), c.line);
    EXPECT_TRUE(Desktop().wallpapers.empty() && Desktop().played.empty()) << c.line;
    // At most a partial "import.bin" stays; nothing is installed.
    for (const std::string& f : Files()) EXPECT_EQ(f, "import.bin") << c.line;
  }
  EXPECT_EQ(ReadFile(dir_ + "import.bin"), Bytes(5000, 3).substr(0, 4096));

  Serve("");
  Peer().openResult = -1;
  EXPECT_EQ(SoundUpdate(RandomSoundRow), 0);
  EXPECT_EQ(Last(), "Request Cancelled");
  Serve(RecordBytes(0, 0, 0));
  Peer().failSendsFrom = 0;
  EXPECT_EQ(BackgroundUpdate(BackgroundRow), 0);
  EXPECT_EQ(Last(), "Error on send error: -4");

  // No selection (or only spaces): no connection and no line.
  ConfigSet("SELECTBackground", "", ConfigFileName);
  Serve("");
  size_t lines = ActivityLines().size();
  EXPECT_EQ(BackgroundUpdate(BackgroundRow), 0);
  EXPECT_EQ(Peer().opens, 0);
  EXPECT_EQ(ActivityLines().size(), lines);
}

TEST_F(MediaUpdateTest, FilesThatCannotBeReplaced) {
  // A wallpaper that cannot be replaced keeps the picture in "import.bin",
  // and the desktop is not told of a new one.
  std::filesystem::create_directories(dir_ + "Backgrou.bmp");
  WriteFile(dir_ + "Backgrou.bmp/keep", "k");
  int error = ReplaceFolderError(dir_);
  ASSERT_NE(error, 0);
  std::string picture = Bytes(3000, 9);
  Serve(RecordBytes(0, 0, 0) + RecordBytes(0, 0, 0) + BlockBytes(picture, 4096));
  EXPECT_EQ(BackgroundUpdate(BackgroundRow), 0);
  EXPECT_EQ(Last(), "Error installing new picture file. Error " + std::to_string(error));
  EXPECT_EQ(ReadFile(dir_ + "import.bin"), picture);
  EXPECT_EQ(ReadFile(dir_ + "Backgrou.bmp/keep"), "k");
  EXPECT_FALSE(FileExists(dir_ + "import.bmp"));
  EXPECT_TRUE(Desktop().wallpapers.empty());

  std::filesystem::create_directories(dir_ + "Randomsound.wav");
  WriteFile(dir_ + "Randomsound.wav/keep", "k");
  Serve(RecordBytes(0, 0, 0) + BlockBytes(picture, 4096));
  EXPECT_EQ(SoundUpdate(RandomSoundRow), 0);
  EXPECT_EQ(Last(), "Error installing new sound file. Error " + std::to_string(error));
  EXPECT_TRUE(Desktop().played.empty());
}

TEST_F(MediaUpdateTest, SoundsArePlayedOrInstalled) {
  std::string wave = "RIFF" + Bytes(5000, 4);
  Serve(RecordBytes(0, 0, 0) + BlockBytes(wave, 1000));
  EXPECT_EQ(SoundUpdate(RandomSoundRow), 1);
  EXPECT_EQ(Sent().code, 3);
  EXPECT_EQ(Sent().num1, 7);
  EXPECT_EQ(Files(), (std::vector<std::string>{"Randomsound.wav"}));
  EXPECT_EQ(ReadFile(dir_ + "Randomsound.wav"), wave);
  EXPECT_EQ(Desktop().played, (std::vector<std::string>{dir_ + "Randomsound.wav"}));
  EXPECT_EQ(Last(), "New sound available for Random Sound");

  // A sound that does not start (another still plays, or it is no WAV):
  // reported, and still installed.
  Desktop().playResult = 0;
  std::string noise = Bytes(777, 8);
  Serve(RecordBytes(0, 0, 0) + BlockBytes(noise, 4096));
  EXPECT_EQ(SoundUpdate(RandomSoundRow), 1);
  EXPECT_EQ(ReadFile(dir_ + "Randomsound.wav"), noise);
  ASSERT_GE(ActivityLines().size(), 2u);
  EXPECT_NE(ActivityLines()[ActivityLines().size() - 2].find("Error playing wav file error: 0"), std::string::npos);
  EXPECT_EQ(Last(), "New sound available for Random Sound");

  // Sound-event rows: the file takes the whole name with the characters
  // that file names may not hold replaced; the keys and the registry path
  // keep the name as it is; nothing is played.
  AddSoundEventRow("Mail ", "New:Mail?*\"<>|/\\");
  AddSoundEventRow("", "nul");
  std::string longName(91, 'L');
  AddSoundEventRow(longName.c_str(), "");
  ASSERT_EQ(ItemCount(), 6);
  ConfigSet("SELECTMailNew:Mail?*\"<>|/\\", "0", ConfigFileName);
  ConfigSet("SELECTnul", "0", ConfigFileName);
  ConfigSet(("SELECT" + longName).c_str(), "0", ConfigFileName);
  Desktop().played.clear();
  const char* files[] = {"MailNew_Mail________.wav", "_nul.wav", nullptr};
  for (int row = 3; row < 6; ++row) {
    Serve(RecordBytes(0, 0, 0) + BlockBytes(wave, 4096));
    EXPECT_EQ(SoundUpdate(row), 1) << row;
    std::string file = files[row - 3] ? files[row - 3] : longName + ".wav";
    EXPECT_EQ(ReadFile(dir_ + file), wave) << row;
    EXPECT_EQ(Desktop().eventSounds.back(), std::string(ItemTable[row].eventKeyPath) + "|" + dir_ + file);
    EXPECT_EQ(Last(), std::string("New sound available for ") + ItemTable[row].displayName);
  }
  EXPECT_STREQ(ItemTable[3].eventKeyPath, "AppEvents\\Schemes\\Apps\\Mail\\New:Mail?*\"<>|/\\");
  EXPECT_TRUE(Desktop().played.empty());
  for (const std::string& f : Files()) EXPECT_EQ(f.find('/'), std::string::npos) << f;
}

TEST_F(MediaUpdateTest, LongestDataDirectoryAndNames) {
  // A data directory of 99 characters and a name of 91: the paths fit, and
  // the files land inside the directory.
  std::string base = MakeTestDir("media-long");
  std::string dir = base + std::string(98 - base.size(), 'd') + "/";
  ASSERT_EQ(dir.size(), 99u);
  std::filesystem::create_directories(dir);
  std::snprintf(DataDirectory, sizeof DataDirectory, "%s", dir.c_str());
  std::string longName(91, 'N');
  AddSoundEventRow(longName.c_str(), "");
  ConfigSet(("SELECT" + longName).c_str(), "0", ConfigFileName);
  ConfigSet("SELECTBackground", "0", ConfigFileName);
  Serve(RecordBytes(0, 0, 0) + BlockBytes("RIFF", 4096));
  EXPECT_EQ(SoundUpdate(3), 1);
  EXPECT_EQ(ReadFile(dir + longName + ".wav"), "RIFF");
  Serve(RecordBytes(0, 0, 0) + RecordBytes(0, 0, 0) + BlockBytes("JFIF", 4096));
  EXPECT_EQ(BackgroundUpdate(BackgroundRow), 1);
  EXPECT_EQ(ReadFile(dir + "Backgrou.bmp"), "BMP");
  EXPECT_FALSE(FileExists(dir + "import.bin"));
  std::string inside = dir.substr(base.size());
  for (const std::string& f : ListFiles(base)) EXPECT_EQ(f.rfind(inside, 0), 0u) << f;
}

}  // namespace
