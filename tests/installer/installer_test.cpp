// VelmorSetup.exe in a fresh Wine prefix, as a user meets it: a silent
// install, the installed client started as the log-on entry starts it and
// changing the wallpaper and three event sounds from the reference server,
// a second install over the first, and a silent uninstall with the client
// running, after which the user's registry and files read back as before.
//
// The steps build on each other and run in the order written.
#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "tests/support/reference_server_win.h"
#include "tests/support/test_files.h"

namespace {

constexpr const char* SchemeApp = "AppEvents\\Schemes\\Apps\\VelmorTest";
constexpr const char* UninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmor";
constexpr const char* RunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* RestoreKey = "Software\\Velmor\\Restore";
// The subtrees an install and uninstall may touch, compared whole.
const char* const WatchedKeys[] = {"AppEvents", "Control Panel\\Desktop", RunKey,
                                   "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "Software\\Velmor"};

using Snapshot = std::map<std::string, std::string>;  // key, or key|value -> type:bytes

void Dump(HKEY root, const std::string& path, Snapshot* out) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  (*out)[path] = "key";
  for (DWORD i = 0;; ++i) {
    char name[512];
    DWORD nameSize = sizeof name, type = 0, size = 0;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::string data(size, '\0');
    nameSize = sizeof name;
    RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
    (*out)[path + "|" + name] = std::to_string(type) + ":" + data.substr(0, size);
  }
  for (DWORD i = 0;; ++i) {
    char name[512];
    if (RegEnumKeyA(key, i, name, sizeof name) != ERROR_SUCCESS) break;
    Dump(root, path + "\\" + name, out);
  }
  RegCloseKey(key);
}

Snapshot TakeSnapshot() {
  Snapshot s;
  for (const char* k : WatchedKeys) Dump(HKEY_CURRENT_USER, k, &s);
  return s;
}

bool ReadValue(const std::string& keyPath, const char* name, std::string* value, DWORD* type = nullptr) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  char data[1024] = "";
  DWORD size = sizeof data - 1, t = 0;
  LONG r = RegQueryValueExA(key, name, nullptr, &t, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS) return false;
  if (t == REG_DWORD) {
    *value = std::to_string(*reinterpret_cast<DWORD*>(data));
  } else {
    *value = std::string(data, size).c_str();
  }
  if (type) *type = t;
  return true;
}

std::string Value(const std::string& keyPath, const char* name) {
  std::string v;
  return ReadValue(keyPath, name, &v) ? v : "<none>";
}

void SetValue(const std::string& keyPath, const char* name, DWORD type, const std::string& value) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

std::string Folder(int csidl) {
  char path[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
  return path;
}

// The wallpaper as the user's profile holds it (another process's change
// does not reach this process's own view of the setting).
std::string Wallpaper() { return Value("Control Panel\\Desktop", "Wallpaper"); }

// Starts a program; with wait, returns its exit code, else the process handle.
DWORD RunProgram(std::string commandLine, const char* directory, bool wait, HANDLE* process = nullptr) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, directory, &si, &pi))
    return 0xFFFFFFFF;
  CloseHandle(pi.hThread);
  DWORD code = 0;
  if (wait) {
    WaitForSingleObject(pi.hProcess, 120000);
    GetExitCodeProcess(pi.hProcess, &code);
  }
  if (process) {
    *process = pi.hProcess;
  } else {
    CloseHandle(pi.hProcess);
  }
  return code;
}

// Whether a process whose name starts with prefix runs.
bool ProcessRunning(const char* prefix) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
    found = _strnicmp(entry.szExeFile, prefix, std::strlen(prefix)) == 0;
  CloseHandle(snapshot);
  return found;
}

// Polls done() until it holds or the seconds pass on the clock.
template <typename F>
bool WaitFor(F done, int seconds) {
  const ULONGLONG until = GetTickCount64() + 1000ull * static_cast<ULONGLONG>(seconds);
  while (GetTickCount64() < until) {
    if (done()) return true;
    Sleep(100);
  }
  return done();
}

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Shared by the steps.
ReferenceServer* server = nullptr;
Snapshot before;
std::string wallpaperBefore, installDir, documents, userPicture, userNote, handSound;
HANDLE client = nullptr;

const char* const EventRows[] = {"VelmorTestDing", "VelmorTestChord", "VelmorTestNotify"};

void StartClientAsAtLogOn() {
  std::string command = Value(RunKey, "Velmor");
  ASSERT_NE(command, "<none>");
  // The log-on entry runs in a directory that is not the program's.
  RunProgram(command, "C:\\", false, &client);
  ASSERT_TRUE(client);
  ASSERT_TRUE(WaitFor([] { return FindWindowA("VelmorW", nullptr) != nullptr; }, 60));
}

void CloseClient() {
  PostMessageA(FindWindowA("VelmorW", nullptr), WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(client, 60000), WAIT_OBJECT_0);
  CloseHandle(client);
  client = nullptr;
}

// Posts the schedule's timer and waits until every due row has ended.
void Tick(int endedBefore) {
  PostMessageA(FindWindowA("VelmorW", nullptr), WM_TIMER, 15, 0);
  ASSERT_TRUE(WaitFor([&] { return Count(ReadFile(installDir + "VelmorW.log"), "Event ended: ") >= endedBefore + 4; },
                      120))
      << ReadFile(installDir + "VelmorW.log");
}

class Installer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = new ReferenceServer(FreshUnixDir("installer") + "/content");
    // The user's own desktop: a wallpaper of theirs, not tiled, and a sound
    // scheme whose events have a value, an expandable value and no
    // ".Current" at all.
    documents = Folder(CSIDL_PERSONAL) + "\\";
    userPicture = documents + "mine.bmp";
    userNote = Folder(CSIDL_LOCAL_APPDATA) + "\\Other\\note.txt";
    handSound = documents + "by-hand.wav";
    std::string bmp = "BM";
    bmp.resize(58, '\0');
    bmp[10] = 54, bmp[14] = 40, bmp[18] = 1, bmp[22] = 1, bmp[26] = 1, bmp[28] = 24;
    WriteFile(userPicture, bmp);
    CreateDirectoryA((Folder(CSIDL_LOCAL_APPDATA) + "\\Other").c_str(), nullptr);
    WriteFile(userNote, "mine");
    SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(userPicture.c_str()), SPIF_UPDATEINIFILE);
    SetValue("Control Panel\\Desktop", "TileWallpaper", REG_SZ, "0");
    SetValue(std::string(SchemeApp) + "\\Ding\\.Current", "", REG_EXPAND_SZ, "%SystemRoot%\\media\\ding.wav");
    SetValue(std::string(SchemeApp) + "\\Chord", "Label", REG_SZ, "Chord");
    SetValue(std::string(SchemeApp) + "\\Notify\\.Current", "", REG_SZ, "C:\\sounds\\notify.wav");
    before = TakeSnapshot();
    wallpaperBefore = Wallpaper();
  }
  static void TearDownTestSuite() {
    if (client) {
      TerminateProcess(client, 1);
      CloseHandle(client);
    }
    delete server;
  }
  // Each step needs the ones before it.
  void SetUp() override {
    if (stepFailed) GTEST_SKIP() << "an earlier step failed";
    ASSERT_TRUE(server && server->Running());
  }
  void TearDown() override { stepFailed = stepFailed || HasFailure(); }
  static bool stepFailed;
};

bool Installer::stepFailed = false;

TEST_F(Installer, SilentInstallWritesFilesSettingsAndRegistration) {
  EXPECT_EQ(wallpaperBefore, userPicture);
  std::string setup = WinePath(VELMOR_SETUP);
  ASSERT_EQ(RunProgram("\"" + setup + "\" /S /AUTOSTART=1 /HOST=127.0.0.1 /PORT=" + std::to_string(server->Port()), nullptr,
                true),
            0u);

  installDir = Folder(CSIDL_LOCAL_APPDATA) + "\\Velmor\\";
  ASSERT_TRUE(FileExists(installDir + "Velmorw.exe"));
  EXPECT_TRUE(FileExists(installDir + "Uninstall.exe"));
  EXPECT_EQ(ReadFile(installDir + "velmor.cfg"), "Directory  =  " + installDir + "\r\nPort  =  " +
                                                     std::to_string(server->Port()) +
                                                     "\r\nVServerID  =  127.0.0.1\r\n");
  EXPECT_TRUE(FileExists(Folder(CSIDL_PROGRAMS) + "\\Velmor\\Velmor.lnk"));
  EXPECT_EQ(Value(RunKey, "Velmor"), "\"" + installDir + "Velmorw.exe\" /N");

  EXPECT_EQ(Value(UninstallKey, "DisplayName"), "Velmor");
  EXPECT_EQ(Value(UninstallKey, "DisplayVersion"), "7.1");
  EXPECT_NE(Value(UninstallKey, "Publisher"), "<none>");
  EXPECT_EQ(Value(UninstallKey, "InstallLocation") + "\\", installDir);
  EXPECT_EQ(Value(UninstallKey, "QuietUninstallString"), "\"" + installDir + "Uninstall.exe\" /S");
  // In kilobytes: at least the client itself.
  WIN32_FILE_ATTRIBUTE_DATA exe{};
  GetFileAttributesExA((installDir + "Velmorw.exe").c_str(), GetFileExInfoStandard, &exe);
  DWORD size = 0;
  std::string sizeText = Value(UninstallKey, "EstimatedSize");
  size = static_cast<DWORD>(std::stoul(sizeText == "<none>" ? "0" : sizeText));
  EXPECT_GE(size, exe.nFileSizeLow / 1024);
  EXPECT_LT(size, exe.nFileSizeLow / 1024 * 3);
}

TEST_F(Installer, ClientStartsWithoutDialogAndRecordsTheDesktopOnce) {
  std::string cfg = ReadFile(installDir + "velmor.cfg");
  cfg += "SaveLogToDisk  =  Yes\r\nIntervalBackground  =  1\r\nSELECTBackground  =  1\r\n";
  for (const char* row : EventRows)
    cfg += std::string("Interval") + row + "  =  1\r\nSELECT" + row + "  =  1\r\n";
  WriteFile(installDir + "velmor.cfg", cfg);

  StartClientAsAtLogOn();
  // No data-directory dialog, and nothing written where it was started.
  EXPECT_FALSE(FileExists("C:\\velmor.cfg"));
  DWORD pid = GetProcessId(client);
  EXPECT_FALSE(WaitFor(
      [&] {
        HWND dialog = FindWindowA("#32770", nullptr);
        DWORD owner = 0;
        if (dialog) GetWindowThreadProcessId(dialog, &owner);
        return dialog && owner == pid;
      },
      2));

  Tick(0);
  std::string log = ReadFile(installDir + "VelmorW.log");
  EXPECT_NE(log.find("New background picture has been loaded."), std::string::npos) << log;
  EXPECT_EQ(Wallpaper(), installDir + "Backgrou.bmp");
  EXPECT_EQ(Value("Control Panel\\Desktop", "TileWallpaper"), "1");
  for (const char* row : EventRows) {
    std::string event = std::string(SchemeApp) + "\\" + (row + std::strlen("VelmorTest"));
    EXPECT_EQ(Value(event + "\\.Current", ""), installDir + row + ".wav") << log;
    EXPECT_TRUE(FileExists(installDir + row + ".wav"));
  }

  // A second round of changes (the rows' Time keys dropped, so that all are
  // due again) leaves the record of the first alone.
  log = ReadFile(installDir + "VelmorW.log");
  cfg = ReadFile(installDir + "velmor.cfg");
  std::string kept;
  for (size_t at = 0, end; at < cfg.size(); at = end + 2) {
    end = cfg.find("\r\n", at);
    std::string line = cfg.substr(at, end - at);
    if (line.rfind("Time", 0) != 0) kept += line + "\r\n";
  }
  WriteFile(installDir + "velmor.cfg", kept);
  Tick(Count(log, "Event ended: "));

  const std::string desktop = std::string(RestoreKey) + "\\Desktop";
  EXPECT_EQ(Value(desktop, "Wallpaper"), userPicture);
  EXPECT_EQ(Value(desktop, "WallpaperState"), "2");
  EXPECT_EQ(Value(desktop, "TileWallpaper"), "0");
  EXPECT_EQ(Value(desktop, "Set"), installDir + "Backgrou.bmp");
  const std::string sounds = std::string(RestoreKey) + "\\Sounds\\VelmorTest\\";
  std::string ding;
  DWORD type = 0;
  ASSERT_TRUE(ReadValue(sounds + "Ding", "Current", &ding, &type));
  EXPECT_EQ(ding, "%SystemRoot%\\media\\ding.wav");
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(Value(sounds + "Ding", "CurrentState"), "2");
  EXPECT_EQ(Value(sounds + "Chord", "CurrentState"), "0");
  EXPECT_EQ(Value(sounds + "Chord", "Current"), "<none>");
  EXPECT_EQ(Value(sounds + "Notify", "Current"), "C:\\sounds\\notify.wav");
  EXPECT_EQ(Value(sounds + "Notify", "Key"), std::string(SchemeApp) + "\\Notify");
  EXPECT_EQ(Value(sounds + "Notify", "Set"), installDir + "VelmorTestNotify.wav");

  // The user sets one of the sounds by hand afterwards.
  SetValue(std::string(SchemeApp) + "\\Notify\\.Current", "", REG_SZ, handSound);
}

TEST_F(Installer, InstallingAgainKeepsSettingsLogsAndDonations) {
  CloseClient();
  std::string cfg = ReadFile(installDir + "velmor.cfg") + "DONATE-2-CATEGORY  =  1\r\nDONATE-2-0  =  " +
                    userPicture + "\r\n";
  WriteFile(installDir + "velmor.cfg", cfg);
  std::string log = ReadFile(installDir + "VelmorW.log");
  ASSERT_FALSE(log.empty());

  std::string setup = WinePath(VELMOR_SETUP);
  ASSERT_EQ(RunProgram("\"" + setup + "\" /S /AUTOSTART=1 /HOST=elsewhere.example /PORT=9", nullptr, true), 0u);
  EXPECT_EQ(ReadFile(installDir + "velmor.cfg"), cfg);
  EXPECT_EQ(ReadFile(installDir + "VelmorW.log"), log);
  EXPECT_TRUE(FileExists(installDir + "Backgrou.bmp"));
  EXPECT_EQ(Value(UninstallKey, "InstallLocation") + "\\", installDir);
}

TEST_F(Installer, UninstallWithTheClientRunningGivesTheDesktopBack) {
  StartClientAsAtLogOn();
  HANDLE running = client;
  ASSERT_EQ(RunProgram("\"" + installDir + "Uninstall.exe\" /S", nullptr, true), 0u);
  // The uninstaller goes on from a copy of itself in the temporary folder.
  ASSERT_TRUE(WaitFor([] { return !ProcessRunning("Un_") && !ProcessRunning("Au_") && Value(UninstallKey, "DisplayName") == "<none>"; },
                      120));
  EXPECT_EQ(WaitForSingleObject(running, 60000), WAIT_OBJECT_0);
  CloseHandle(running);
  client = nullptr;
  EXPECT_TRUE(WaitFor([] { return GetFileAttributesA(installDir.c_str()) == INVALID_FILE_ATTRIBUTES; }, 60))
      << "left behind: " << ::testing::PrintToString(ListFiles(installDir));

  Snapshot expected = before;
  expected[std::string(SchemeApp) + "\\Notify\\.Current|"] = "1:" + handSound + std::string(1, '\0');
  Snapshot after = TakeSnapshot();
  for (const auto& [name, value] : expected) EXPECT_EQ(after[name], value) << name;
  for (const auto& [name, value] : after) EXPECT_TRUE(expected.count(name)) << "new: " << name << " = " << value;
  EXPECT_EQ(Wallpaper(), wallpaperBefore);

  EXPECT_EQ(GetFileAttributesA((Folder(CSIDL_PROGRAMS) + "\\Velmor").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(FileExists(userPicture));
  EXPECT_EQ(ReadFile(userNote), "mine");
  EXPECT_FALSE(FileExists("C:\\velmor.cfg"));
}

}  // namespace
