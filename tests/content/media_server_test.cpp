// The whole item path under Wine: the tick, the updates, the files in the
// data directory, the registry and the activity lines, against the reference
// server (its sample content plus categories of our own) and against raw
// peers where the bytes on the wire or the timing must be exact.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/status.h"
#include "config/basic_settings.h"
#include "config/config_file.h"
#include "content/media_update.h"
#include "content/text_fetch.h"
#include "content/wallpaper_style.h"
#include "base/guarded.h"
#include "net/request_record.h"
#include "net/socket_layer.h"
#include "base/clock.h"
#include "schedule/item_table.h"
#include "schedule/schedule.h"
#include "tests/content/process_probe.h"
#include "tests/support/raw_peer_win.h"
#include "tests/support/reference_server_win.h"
#include "tests/support/test_files.h"
#include "tests/support/win_harness.h"
#include "net/transport.h"
#include "net/transport_hooks.h"

namespace {

ReferenceServer* server = nullptr;
std::string content;  // Unix path
std::string truncatedJpeg;
// A 2x2 24-bit Windows bitmap (rows of 6 bytes padded to 8).
const std::string bitmap = std::string("BM\x46\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\x18\0"
                                       "\0\0\0\0\x10\0\0\0",
                                       38) +
                           std::string(16, '\0') + std::string(16, '\x7f');
const std::string noise = [] {
  std::string s(5000, '\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>((i * 2654435761u) >> 13);
  return s;
}();

// A record as a raw peer sends it: code, num1 and num2 little-endian at
// offsets 28, 32 and 36, everything else zero.
std::string RawRecord(int code, int num1, int num2) {
  std::string r(90, '\0');
  int values[3] = {code, num1, num2};
  for (int i = 0; i < 3; ++i)
    for (int b = 0; b < 4; ++b) r[28 + 4 * i + b] = static_cast<char>((static_cast<unsigned>(values[i]) >> (8 * b)) & 0xFF);
  return r;
}

std::string RegistryString(const char* keyPath, const char* name) {
  HKEY key;
  if (RegOpenKeyA(HKEY_CURRENT_USER, keyPath, &key) != ERROR_SUCCESS) return "<no key>";
  char value[600] = "";
  DWORD size = sizeof value - 1, type = 0;
  LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS && type == REG_SZ ? std::string(value) : "<no value>";
}

void DeleteSchemeApp(const char* app) {
  std::string path = std::string(SoundSchemeRoot) + "\\" + app;
  RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
}

void CreateSchemeEvent(const char* app, const std::string& event) {
  std::string path = std::string(SoundSchemeRoot) + "\\" + app + "\\" + event + "\\.Current";
  HKEY key;
  if (RegCreateKeyA(HKEY_CURRENT_USER, path.c_str(), &key) == ERROR_SUCCESS) RegCloseKey(key);
}

std::vector<std::string> ActivitySince(size_t from) {
  const std::vector<std::string> lines = ActivityLines();
  return from < lines.size() ? std::vector<std::string>(lines.begin() + static_cast<long>(from), lines.end())
                             : std::vector<std::string>{};
}

class MediaServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTransferMessageClass();
    content = FreshUnixDir("media-server") + "/content";  // made by the server: its sample
    server = new ReferenceServer(content);
    // Our own categories after the sample's three pictures and two sounds.
    std::string pictures = ReadFile(WinePath(content + "/categories/picture.txt"));
    WriteUnixFile(content + "/categories/picture.txt", pictures + "Bitmap\nNoise\nNothing\nTruncated\n");
    WriteUnixFile(content + "/pictures/3/plain.bmp", bitmap);
    WriteUnixFile(content + "/pictures/4/noise.jpg", noise);
    CreateDirectoryA(WinePath(content + "/pictures/5").c_str(), nullptr);
    // Half of a sample JPEG.
    for (const std::string& f : ListFiles(WinePath(content + "/pictures/0"))) {
      std::string jpeg = ReadFile(WinePath(content + "/pictures/0/" + f));
      truncatedJpeg = jpeg.substr(0, jpeg.size() / 2);
      break;
    }
    WriteUnixFile(content + "/pictures/6/half.jpg", truncatedJpeg);
    std::string sounds = ReadFile(WinePath(content + "/categories/sound.txt"));
    WriteUnixFile(content + "/categories/sound.txt", sounds + "Noise\n");
    WriteUnixFile(content + "/sounds/2/noise.wav", noise);
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(server && server->Running()) << "the reference server did not start (is the release tree built?)";
    dir_ = BeginTransportTest("media-server", "4343");
    cwd_ = MakeTestDir("media-server-cwd");
    SetCurrentDirectoryA(cwd_.c_str());
    std::snprintf(ServerPort, sizeof ServerPort, "%d", server->Port());
    server->SetFaults("");
    ReleaseSoundEventItems();
    SetItemUpdates(QuoteUpdate, BackgroundUpdate, SoundUpdate);
    TrailerBase = 0;
    TrailerFetched = true;  // no status-line exchange unless a test wants one
    outstanding_ = GuardedOutstanding();
  }
  void TearDown() override {
    ReleaseSoundEventItems();
    EndTransportTest();
    server->SetFaults("");
    EXPECT_EQ(GuardedOutstanding(), outstanding_) << "guarded block leaked";
    EXPECT_TRUE(ListFiles(cwd_).empty()) << "a file was written outside the data directory";
  }
  // Makes the row due at the next tick.
  void Schedule(const std::string& name, const char* selection) {
    ConfigSet(("Interval" + name).c_str(), "1", ConfigFileName);
    ConfigSet(("SELECT" + name).c_str(), selection, ConfigFileName);
    ConfigSet(("Time" + name).c_str(), "0", ConfigFileName);
  }
  void Unschedule(const std::string& name) { ConfigSet(("Interval" + name).c_str(), "0", ConfigFileName); }
  size_t Lines() { return ActivitySince(0).size(); }

  std::string dir_, cwd_;
  long outstanding_ = 0;
};

TEST_F(MediaServerTest, ATickInstallsAPictureAndPlaysASound) {
  TestMainWindow main;
  HKEY desktop;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &desktop), ERROR_SUCCESS);
  RegSetValueExA(desktop, "TileWallpaper", 0, REG_SZ, reinterpret_cast<const BYTE*>("0"), 2);
  RegCloseKey(desktop);
  Schedule("Background", "3");
  Schedule("Randomsound", "2");
  size_t from = Lines();
  ScheduleTick();
  std::vector<std::string> lines = ActivitySince(from);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Event triggered: Background");
  EXPECT_EQ(lines[1], "New background picture has been loaded.");
  EXPECT_EQ(lines[2], "Event ended: Background");
  EXPECT_EQ(lines[3], "Event triggered: Randomsound");
  // Wine may have no sound device: then the play is reported and the sound
  // still counts.
  EXPECT_EQ(lines[lines.size() - 2], "New sound available for Random Sound");
  EXPECT_EQ(lines.back(), "Event ended: Randomsound");
  if (lines.size() == 7) {
    EXPECT_EQ(lines[4].rfind("Error playing wav file error: ", 0), 0u) << lines[4];
  }

  // The bitmap is the wallpaper as it came, tiled, named in the profile.
  EXPECT_EQ(ReadFile(dir_ + "Backgrou.bmp"), bitmap);
  EXPECT_EQ(ReadFile(dir_ + "Randomsound.wav"), noise);
  EXPECT_FALSE(FileExists(dir_ + "import.bin"));
  EXPECT_EQ(RegistryString("Control Panel\\Desktop", "TileWallpaper"), "1");
  EXPECT_EQ(RegistryString("Control Panel\\Desktop", "Wallpaper"), dir_ + "Backgrou.bmp");
  // Both runs recorded: nothing is due at the next tick.
  from = Lines();
  ScheduleTick();
  EXPECT_TRUE(ActivitySince(from).empty());

  // A sample JPEG becomes an 8-bit colour-mapped BMP of at most 256 colours.
  Schedule("Background", "0");
  ScheduleTick();
  std::string bmp = ReadFile(dir_ + "Backgrou.bmp");
  ASSERT_GT(bmp.size(), 54u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<unsigned char>(bmp[28]), 8u) << "bits per pixel";
  EXPECT_FALSE(FileExists(dir_ + "import.bin"));
  std::string log = server->Log();
  EXPECT_NE(log.find("client=4343 type=2/picture result=0"), std::string::npos) << log;
  EXPECT_NE(log.find("client=4343 type=3/sound result=0"), std::string::npos) << log;
}

// Each layout the user can choose writes the two values Windows documents for
// it; the picture is what djpeg writes, in 256 colours or (chosen) full colour.
TEST_F(MediaServerTest, EveryWallpaperLayoutAndFullColourAsWindowsAndDjpegHaveThem) {
  TestMainWindow main;
  // A category of one sample picture, so that every fetch brings the same.
  const std::string sample = WinePath(content + "/pictures/7/steel-glow.jpg");
  const std::string jpeg = ReadFile(WinePath(content + "/pictures/0/steel-glow.jpg"));
  ASSERT_GT(jpeg.size(), 1000u);
  std::string pictures = ReadFile(WinePath(content + "/categories/picture.txt"));
  if (pictures.find("One\n") == std::string::npos) {
    WriteUnixFile(content + "/categories/picture.txt", pictures + "One\n");
    WriteUnixFile(content + "/pictures/7/steel-glow.jpg", jpeg);
  }
  const std::string djpeg = PlatformPath(VELMOR_DJPEG_PROGRAM);
  ASSERT_EQ(RunProgram(djpeg, {"-nosmooth", "-colors", "256", "-bmp", "-outfile", dir_ + "palette.bmp", sample}), 0);
  ASSERT_EQ(RunProgram(djpeg, {"-bmp", "-outfile", dir_ + "full.bmp", sample}), 0);
  const std::string palette = ReadFile(dir_ + "palette.bmp"), full = ReadFile(dir_ + "full.bmp");
  DeleteFileA((dir_ + "palette.bmp").c_str());
  DeleteFileA((dir_ + "full.bmp").c_str());
  ASSERT_NE(palette, full);

  // The user's desktop as Windows 10 leaves it: Fill, not tiled.
  HKEY desktop;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &desktop), ERROR_SUCCESS);
  RegSetValueExA(desktop, "WallpaperStyle", 0, REG_SZ, reinterpret_cast<const BYTE*>("10"), 3);
  RegSetValueExA(desktop, "TileWallpaper", 0, REG_SZ, reinterpret_cast<const BYTE*>("0"), 2);
  RegCloseKey(desktop);
  struct Case {
    const char* style;  // nullptr: not set, the default
    const char* fullColour;
    const char* wallpaperStyle;
    const char* tileWallpaper;
  };
  const Case cases[] = {
      {nullptr, nullptr, "0", "1"}, {"Centre", "No", "0", "0"}, {"Stretch", "Yes", "2", "0"},
      {"Fit", "No", "6", "0"},      {"Fill", "No", "10", "0"},  {"Span", "No", "22", "0"},
      {"Tile", "Yes", "0", "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style ? c.style : "(default)");
    if (c.style) ConfigSet("WallpaperStyle", c.style, ConfigFileName);
    if (c.fullColour) ConfigSet("FullColour", c.fullColour, ConfigFileName);
    Schedule("Background", "7");
    size_t from = Lines();
    ScheduleTick();
    std::vector<std::string> lines = ActivitySince(from);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "New background picture has been loaded.");
    EXPECT_EQ(RegistryString("Control Panel\\Desktop", "WallpaperStyle"), c.wallpaperStyle);
    EXPECT_EQ(RegistryString("Control Panel\\Desktop", "TileWallpaper"), c.tileWallpaper);
    const bool isFull = c.fullColour && IsYes(c.fullColour);
    EXPECT_TRUE(ReadFile(dir_ + "Backgrou.bmp") == (isFull ? full : palette)) << "not djpeg's bytes";
  }
  ConfigSet("WallpaperStyle", "", ConfigFileName);
  ConfigSet("FullColour", "", ConfigFileName);
}

TEST_F(MediaServerTest, FaultsEndWithTheirLinesAndInstallNothingHalfWay) {
  TestMainWindow main;
  // Short, for the stalls; long enough that a loaded machine never ends a
  // steady transfer with it.
  TransferTimeout = 4;
  struct Case {
    const char* faults;
    const char* row;
    const char* selection;
    const char* line;
    bool installed;
  };
  const Case cases[] = {
      {"", "Background", "5", "Picture category 6 is empty on the server.", false},
      {"", "Background", "40", "The Velmor server was unable to obtain the information you requested.", false},
      {"", "Randomsound", "40", "The Velmor server was unable to obtain the information you requested.", false},
      {"2 busy", "Background", "3", "The Velmor server you're attached to is busy.", false},
      {"3 header-code 9", "Randomsound", "2", "Sound Category 3 is empty on the server.", false},
      {"2 header-code 8", "Background", "3", "Picture Category 4 is empty on the server.", false},
      {"3 cut", "Randomsound", "2", "Unknown error from block receive: 7.", false},
      {"2 cut 20", "Background", "3", "Unknown error from block receive: 7.", false},
      {"2 stall 200", "Background", "3", "Unknown error from block receive: 7.", false},
      {"3 hang-up", "Randomsound", "2", "Error on recv error: -5", false},
      {"3 drip 1 700", "Randomsound", "2", "New sound available for Random Sound", true},
  };
  for (const Case& c : cases) {
    DeleteFileA((dir_ + "Backgrou.bmp").c_str());
    DeleteFileA((dir_ + "Randomsound.wav").c_str());
    DeleteFileA((dir_ + "import.bin").c_str());
    server->SetFaults(std::string(c.faults) + "\n");
    Unschedule("Background");
    Unschedule("Randomsound");
    Schedule(c.row, c.selection);
    size_t from = Lines();
    ScheduleTick();
    std::string label = std::string(c.faults) + " / " + c.row;
    std::vector<std::string> lines = ActivitySince(from);
    ASSERT_GE(lines.size(), 3u) << label;
    EXPECT_EQ(lines[lines.size() - 2], c.line) << label;
    bool picture = std::string(c.row) == "Background";
    EXPECT_EQ(FileExists(dir_ + (picture ? "Backgrou.bmp" : "Randomsound.wav")), c.installed) << label;
    // The run is recorded exactly when something was installed.
    char time[32] = "";
    ConfigGet(time, sizeof time, (std::string("Time") + c.row).c_str(), ConfigFileName);
    EXPECT_EQ(std::string(time) != "0", c.installed) << label;
  }
  // The cut picture left its first 20 bytes in "import.bin" at the time.
  for (const std::string& f : ListFiles(dir_))
    EXPECT_TRUE(f == "velmor.cfg" || f == "velmor.cfg.lock" || f == "VelmorW.log" || f == "Randomsound.wav")
        << f;
}

// Pictures that are not what they claim: the bitmap on the desktop stays,
// on disk and in the profile; each leaves one line; a delivered one that
// cannot be shown makes the row wait its interval, an announcement too large
// to take is refused before anything is written and leaves the row due.
TEST_F(MediaServerTest, PicturesThatAreNotWhatTheyClaim) {
  TestMainWindow main;
  const std::string wallpaper = dir_ + "Backgrou.bmp";
  Unschedule("Randomsound");
  Schedule("Background", "3");
  ScheduleTick();
  ASSERT_EQ(ReadFile(wallpaper), bitmap);
  ASSERT_EQ(RegistryString("Control Panel\\Desktop", "Wallpaper"), wallpaper);
  auto same = [&](const std::string& label) {
    EXPECT_EQ(ReadFile(wallpaper), bitmap) << label;
    EXPECT_EQ(RegistryString("Control Panel\\Desktop", "Wallpaper"), wallpaper) << label;
    EXPECT_EQ(RegistryString("Control Panel\\Desktop", "TileWallpaper"), "1") << label;
    EXPECT_FALSE(FileExists(dir_ + "import.bin")) << label;
    EXPECT_FALSE(FileExists(dir_ + "import.bmp")) << label;
  };
  struct Case {
    const char* faults;
    const char* selection;
    const char* what;
  };
  const Case cases[] = {{"", "6", "a JPEG cut in half"}, {"", "4", "random bytes"}, {"2 empty-block", "3", "0 bytes"}};
  for (const Case& c : cases) {
    server->SetFaults(std::string(c.faults) + "\n");
    Schedule("Background", c.selection);
    size_t from = Lines();
    ScheduleTick();
    EXPECT_EQ(ActivitySince(from),
              (std::vector<std::string>{"Event triggered: Background",
                                        "The new background picture could not be used; the wallpaper stays as it was.",
                                        "Event ended: Background"}))
        << c.what;
    same(c.what);
    char time[32] = "";
    ConfigGet(time, sizeof time, "TimeBackground", ConfigFileName);
    EXPECT_STRNE(time, "0") << c.what;
  }
  server->SetFaults("");

  std::string response = RawRecord(0, 0, 0), information = RawRecord(0, 1, 2),
              header = RawRecord(0, 4096, 2000000000);
  RawPeer peer({RawPeer::Read(90), RawPeer::Send(response), RawPeer::Send(information),
                RawPeer::Send(header + std::string(65536, 'x')), RawPeer::Hold()});
  std::snprintf(ServerPort, sizeof ServerPort, "%d", peer.Port());
  Schedule("Background", "3");
  size_t from = Lines();
  ScheduleTick();
  EXPECT_EQ(ActivitySince(from), (std::vector<std::string>{"Event triggered: Background",
                                                           "Unknown error from block receive: 6.",
                                                           "Event ended: Background"}));
  same("2,000,000,000 bytes announced");
  EXPECT_TRUE(LogHas("VelmorW-Block too large for a file: 2000000000 bytes announced"));
  char time[32] = "";
  ConfigGet(time, sizeof time, "TimeBackground", ConfigFileName);
  EXPECT_STREQ(time, "0");
}

// A sound file that another program holds open (with delete sharing, as
// players and scanners do) is replaced in one step or not at all: the event
// never names a missing file.
TEST_F(MediaServerTest, AHeldSoundFileIsNeverLeftMissing) {
  TestMainWindow main;
  DeleteSchemeApp("VelmorHeld");
  CreateSchemeEvent("VelmorHeld", "Ding");
  AddSoundEventItems();
  Unschedule("Background");
  Unschedule("Randomsound");
  Schedule("VelmorHeldDing", "2");
  ScheduleTick();
  std::string file = dir_ + "VelmorHeldDing.wav";
  ASSERT_EQ(ReadFile(file), noise);
  std::string current = std::string(SoundSchemeRoot) + "\\VelmorHeld\\Ding\\.Current";
  ASSERT_EQ(RegistryString(current.c_str(), nullptr), file);
  HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Schedule("VelmorHeldDing", "2");
  ScheduleTick();
  CloseHandle(held);
  EXPECT_EQ(ReadFile(file), noise);
  EXPECT_EQ(RegistryString(current.c_str(), nullptr), file);
  ReleaseSoundEventItems();
  DeleteSchemeApp("VelmorHeld");
}

TEST_F(MediaServerTest, SoundSchemeEventsGetTheirSounds) {
  DeleteSchemeApp("VelmorTest");
  DeleteSchemeApp("VelmorMany");
  CreateSchemeEvent("VelmorTest", "Ding:Dong?");
  CreateSchemeEvent("VelmorTest", "Plain");
  AddSoundEventItems();
  int ding = -1, plain = -1;
  for (int row = FixedItemRows; row < ItemCount(); ++row) {
    if (std::string(ItemTable[row].name) == "VelmorTestDing:Dong?") ding = row;
    if (std::string(ItemTable[row].name) == "VelmorTestPlain") plain = row;
  }
  ASSERT_GE(ding, 0);
  ASSERT_EQ(plain, ding + 1);
  Schedule("VelmorTestDing:Dong?", "2");
  ScheduleTick();
  std::string file = dir_ + "VelmorTestDing_Dong_.wav";
  EXPECT_EQ(ReadFile(file), noise);
  EXPECT_TRUE(LogHas("New sound available for VelmorTestDing:Dong?"));
  std::string current = std::string(SoundSchemeRoot) + "\\VelmorTest\\Ding:Dong?\\.Current";
  EXPECT_EQ(RegistryString(current.c_str(), nullptr), file);
  std::string other = std::string(SoundSchemeRoot) + "\\VelmorTest\\Plain\\.Current";
  EXPECT_EQ(RegistryString(other.c_str(), nullptr), "<no value>");

  // 300 events: the table fills to row 198 in enumeration order and row 199
  // stays empty.
  ReleaseSoundEventItems();
  for (int i = 0; i < 300; ++i) {
    char event[16];
    std::snprintf(event, sizeof event, "E%03d", i);
    CreateSchemeEvent("VelmorMany", event);
  }
  AddSoundEventItems();
  EXPECT_EQ(ItemCount(), MaxItems - 1);
  EXPECT_EQ(ItemTable[MaxItems - 1].name, nullptr);
  int first = -1;
  for (int row = FixedItemRows; row < ItemCount(); ++row)
    if (std::string(ItemTable[row].name) == "VelmorManyE000") first = row;
  ASSERT_GE(first, 0);
  for (int row = first; row < ItemCount(); ++row) {
    char expected[32];
    std::snprintf(expected, sizeof expected, "VelmorManyE%03d", row - first);
    EXPECT_STREQ(ItemTable[row].name, expected);
  }
  ReleaseSoundEventItems();
  DeleteSchemeApp("VelmorMany");

  // A user without the scheme's key (the events above are then out of
  // sight): no rows.
  HKEY empty;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\VelmorTestEmptyRoot", &empty), ERROR_SUCCESS);
  ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, empty), ERROR_SUCCESS);
  AddSoundEventItems();
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  RegCloseKey(empty);
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VelmorTestEmptyRoot");
  EXPECT_EQ(ItemCount(), FixedItemRows);
  DeleteSchemeApp("VelmorTest");
}

TEST_F(MediaServerTest, StatusLineFromTheServer) {
  TestMainWindow main;
  const std::string status = "Velmor test server: a status line longer than its fifty-byte field";
  WriteUnixFile(content + "/status.txt", status + "\n");
  // The first tick more than 20 minutes after the base fetches it.
  TrailerBase = ClockNow() - 1201;
  TrailerFetched = false;
  ScheduleTick();
  EXPECT_TRUE(TrailerFetched);
  char trailer[200] = "";
  ConfigGet(trailer, sizeof trailer, "Trailer", ConfigFileName);
  EXPECT_EQ(trailer, status.substr(0, 49));
  // A text field filled to its end without a NUL: nothing past the field.
  server->SetFaults("13 no-final-nul\n");
  ConfigSet("Trailer", "", ConfigFileName);
  EXPECT_TRUE(TrailerFetch());
  ConfigGet(trailer, sizeof trailer, "Trailer", ConfigFileName);
  EXPECT_EQ(trailer, status.substr(0, 49));
  // Any other code clears it.
  server->SetFaults("13 code 4\n");
  EXPECT_TRUE(TrailerFetch());
  EXPECT_TRUE(ConfigGet(trailer, sizeof trailer, "Trailer", ConfigFileName));
  EXPECT_STREQ(trailer, "");
}

// A scheduled fetch has no transfer message and nothing to cancel it: when
// the resolver never answers, the transfer time-out alone ends the run.
TEST_F(MediaServerTest, AScheduledFetchGivesUpOnASilentResolver) {
  TestMainWindow main;
  std::snprintf(ServerHost, sizeof ServerHost, "%s", "velmor-silent.test");
  TransferTimeout = 2;
  Unschedule("Randomsound");
  Schedule("Background", "3");
  SilentResolver silent;
  bool popup = false;
  DelayedAction look(1000, [&] { popup = TransferMessageWindow() != nullptr; });
  // Without the time-out the tick would wait for ever: this ends the lookup
  // as a cancel would, so that the test fails instead of hanging.
  DelayedAction rescue(60000, [] { LookupInProgress = 0; });
  size_t from = Lines();
  double start = Seconds();
  ScheduleTick();
  double took = Seconds() - start;
  EXPECT_FALSE(rescue.Fired());
  EXPECT_TRUE(look.Fired());
  EXPECT_FALSE(popup);
  EXPECT_EQ(silent.Started(), 1);
  // More than the time-out's two seconds, and far less than the rescue.
  EXPECT_GT(took, 2.0);
  EXPECT_LT(took, 20.0);
  EXPECT_EQ(ActivitySince(from), (std::vector<std::string>{"Event triggered: Background",
                                                           "Can't resolve address:  velmor-silent.test",
                                                           "Request Cancelled", "Event ended: Background"}));
  EXPECT_TRUE(LogHas("VelmorW-Connection timeout."));
  // Nothing fetched: the row stays due.
  char time[32] = "";
  ConfigGet(time, sizeof time, "TimeBackground", ConfigFileName);
  EXPECT_STREQ(time, "0");
}

// Raw peers: the one request that goes out, and a wallpaper file that
// another program holds open.
TEST_F(MediaServerTest, WireBytesAndALockedWallpaper) {
  TestMainWindow main;
  ConfigSet("SELECTBackground", "6", ConfigFileName);
  auto record = RawRecord;
  std::string picture = bitmap;
  RawPeer peer({RawPeer::Read(90), RawPeer::Send(record(0, 0, 0)), RawPeer::Send(record(0, 1, 2)),
                RawPeer::Send(record(0, 4096, static_cast<int>(picture.size())) + picture), RawPeer::Close()});
  peer.DrainAfterScript();
  std::snprintf(ServerPort, sizeof ServerPort, "%d", peer.Port());
  HANDLE held = CreateFileA((dir_ + "Backgrou.bmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(BackgroundUpdate(BackgroundRow), 0);
  CloseHandle(held);
  EXPECT_EQ(ActivitySince(0).back(), "Error installing new picture file. Error 13");
  EXPECT_EQ(ReadFile(dir_ + "import.bin"), picture);
  std::string sent = peer.Received();
  ASSERT_EQ(sent.size(), 90u);
  EXPECT_EQ(sent.substr(0, 5), std::string("4343\0", 5));
  EXPECT_EQ(sent.substr(20, 20), std::string("\x07\0\0\0\x03\0\0\0\x02\0\0\0\x07\0\0\0\0\0\0\0", 20));
}

}  // namespace
