// Donating for real: the dialogs inside this process (the open-file dialog
// answered through its seam), the transfer instance as a separate
// Velmorw.exe, and the reference server. What is checked is what can be
// seen: the files in the server's donation folder, byte for byte; the slots
// in velmor.cfg; the transfer window's progress pane; the log; the boxes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cderr.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/globals.h"
#include "config/basic_settings.h"
#include "config/config_file.h"
#include "interact/category_list.h"
#include "interact/shell_seams_win.h"
#include "net/transport.h"
#include "res/resource.h"
#include "tests/app/shell_fixture.h"
#include "tests/support/reference_server_win.h"

namespace {

ReferenceServer* server = nullptr;
std::string content;  // Unix path of the server's content

std::string ProgramPath() {
  std::string path = "Z:" VELMORW_EXE;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// The server's copy of a donated file ("<absent>" when there is none).
std::string Donated(const char* kind, int position, const std::string& name) {
  const std::string path =
      WinePath(content + "/donations/" + kind + "/" + std::to_string(position) + "/") + name;
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return "<absent>";
  return ReadFile(path);
}

// The reference server's idle time-out for these tests: far longer than a
// loaded machine leaves a transfer without progress.
constexpr int IdleTimeoutSeconds = 20;

// Files the server is still receiving (they vanish when an upload ends).
int Incoming() {
  int n = 0;
  WIN32_FIND_DATAA fd;
  HANDLE f = FindFirstFileA((WinePath(content + "/donations/.incoming") + "\\*").c_str(), &fd);
  if (f == INVALID_HANDLE_VALUE) return 0;
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++n;
  } while (FindNextFileA(f, &fd));
  FindClose(f);
  return n;
}

std::string Bytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

std::string Text(HWND w) {
  char buf[20001] = {};
  SendMessageA(w, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
  return buf;
}

// Log lines without their stamps.
std::vector<std::string> LogLines(const std::string& log) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < log.size()) {
    size_t end = log.find("\r\n", at);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(at, end - at);
    at = end + 2;
    const size_t tab = line.find("-\t");
    if (tab != std::string::npos) out.push_back(line.substr(tab + 2));
  }
  return out;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const auto& l : lines)
    if (l == line) return true;
  return false;
}

struct Found {
  DWORD pid;
  const char* cls;
  std::vector<HWND> windows;
};

std::vector<HWND> WindowsOf(DWORD pid, const char* cls) {
  Found f{pid, cls, {}};
  EnumWindows(
      [](HWND w, LPARAM lp) -> BOOL {
        auto* f = reinterpret_cast<Found*>(lp);
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        char c[32] = {};
        GetClassNameA(w, c, sizeof c);
        if (owner == f->pid && std::string(c) == f->cls && IsWindowVisible(w)) f->windows.push_back(w);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&f));
  return f.windows;
}

// Waits a little for something to happen, dispatching this thread's
// messages meanwhile.
void Breathe() { Pump(15); }

// A transfer instance: Velmorw.exe with the marker, in a data directory.
struct Transfer {
  PROCESS_INFORMATION pi{};
  bool started = false;
  std::vector<std::string> boxes;   // texts of its message boxes, answered with OK
  std::vector<std::string> panes;   // its progress pane whenever a box was up

  std::string dir;

  explicit Transfer(const std::string& dataDir) : dir(dataDir) {
    std::string cmd = "\"" + ProgramPath() + "\" -velmor-transfer-instance";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    started = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi) != FALSE;
  }
  ~Transfer() {
    if (!started) return;
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 99);
    WaitForSingleObject(pi.hProcess, 30000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  bool Ended() const { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }
  HWND Main() const {
    auto w = WindowsOf(pi.dwProcessId, "Transfer");
    return w.empty() ? nullptr : w[0];
  }
  // Answers boxes until the process ends (or until stop() holds); false on
  // time-out, with what the instance showed and logged. The default bound
  // lies beyond the instance's own time-out for a transfer that makes no
  // progress, so that an instance waiting on the network ends by itself and
  // its log says which wait it was.
  bool Run(DWORD ms = DefaultRunMs(), const std::function<bool()>& stop = nullptr) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
      if (Ended()) return true;
      if (stop && stop()) return true;
      for (HWND box : WindowsOf(pi.dwProcessId, "#32770")) {
        HWND text = GetDlgItem(box, 0xFFFF);
        if (!text) continue;
        HWND main = Main();
        panes.push_back(main ? Text(GetDlgItem(main, IDC_MAIN_TEXTPANE)) : "<no window>");
        boxes.push_back(Text(text));
        EXPECT_EQ(Text(box), "Transfer") << "caption";
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        PumpUntil([&] { return !IsWindow(box); }, 30000);
      }
      Breathe();
    }
    // Captions only: they are read without a message, which a hung
    // instance would never answer.
    std::string shown;
    for (const char* cls : {"Transfer", "#32770"}) {
      for (HWND w : WindowsOf(pi.dwProcessId, cls)) {
        char caption[200] = {};
        GetWindowTextA(w, caption, sizeof caption);
        shown += std::string(" [") + cls + " \"" + caption + "\"]";
      }
    }
    ADD_FAILURE() << "the transfer instance did not end within " << ms / 1000 << " s; windows:" << shown
                  << "\nits log:\n" << ReadFile(dir + "\\VelmorW.log");
    return false;
  }
  static DWORD DefaultRunMs() { return static_cast<DWORD>(TransferTimeout + 60) * 1000; }
  DWORD ExitCode() const {
    DWORD code = 1234;
    GetExitCodeProcess(pi.hProcess, &code);
    return code;
  }
};

// One server for every test of the program.
class ServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    content = FreshUnixDir("donate-content");
    WriteUnixFile(content + "/categories/quote.txt", "Wit\nWisdom\nVerse\n");
    WriteUnixFile(content + "/categories/picture.txt", "Tiles\nScreens\n");
    WriteUnixFile(content + "/categories/sound.txt", "Chimes\n");
    WriteUnixFile(content + "/quotes/0.txt", "q\n");
    WriteUnixFile(content + "/news.txt", "n\n");
    WriteUnixFile(content + "/tips.txt", "t\n");
    // Under Wine the server does not always see the connection of a killed
    // transfer instance close; its idle time-out then drops the cut upload,
    // and it is kept short so that the test does not wait two minutes.
    server = new ReferenceServer(content, "--idle-timeout " + std::to_string(IdleTimeoutSeconds));
  }
  void TearDown() override {
    delete server;
    server = nullptr;
  }
};
::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

// The data directory's files, as both instances see them.
struct DataFiles {
  const ScratchDirectory& dir;

  std::string BaseCfg() const {
    return "Directory = " + dir.Path() + "\\\r\nVServerID = 127.0.0.1\r\nPort = " + std::to_string(server->Port()) +
           "\r\nSaveLogToDisk = Yes\r\nPlimSwitch = No\r\n";
  }
  // velmor.cfg for a transfer instance started from here.
  void WriteCfg(const std::string& extra) const { WriteFile(dir.File("velmor.cfg"), BaseCfg() + extra); }
  std::string Cfg() const { return ReadFile(dir.File("velmor.cfg")); }
  // Through the configuration store, which takes its lock: safe while the
  // other instance writes.
  std::string Slot(int type, int n) const {
    char key[32];
    char value[600];
    std::snprintf(key, sizeof key, "DONATE-%d-%d", type, n);
    return ConfigGet(value, sizeof value, key, ConfigFileName) ? value : "<absent>";
  }
  std::string MakeFile(const std::string& name, const std::string& bytes) const {
    WriteFile(dir.File(name.c_str()), bytes);
    return dir.File(name.c_str());
  }
  std::vector<std::string> Log() const { return LogLines(ReadFile(dir.File("VelmorW.log"))); }
};

// The transfer instance's tests: no shell in this process.
class DonateProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server && server->Running());
    server->SetFaults("");
    std::snprintf(DataDirectory, sizeof DataDirectory, "%s\\", dir.Path().c_str());
  }
  void TearDown() override {
    server->SetFaults("");
    DataDirectory[0] = '\0';
  }
  std::string Slot(int type, int n) const { return files.Slot(type, n); }
  std::string MakeFile(const std::string& name, const std::string& bytes) const { return files.MakeFile(name, bytes); }
  void WriteCfg(const std::string& extra) const { files.WriteCfg(extra); }
  std::string Cfg() const { return files.Cfg(); }
  std::vector<std::string> Log() const { return files.Log(); }

  ScratchDirectory dir;
  DataFiles files{dir};
};

// The dialogs of the normal instance, started inside this process.
class DonateDialogs : public ShellFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server && server->Running());
    server->SetFaults("");
    for (int t = CategoryTypeFirst; t <= CategoryTypeLast; ++t) DiscardCategoryList(t);
  }
  void TearDown() override {
    server->SetFaults("");
    PickFilesDialog = saved_pick_;
    PickFilesDialogError = saved_error_;
    ShellFixture::TearDown();
  }
  void StartShell(const std::string& extra = "") {
    Start("VServerID = 127.0.0.1\r\nPort = " + std::to_string(server->Port()) +
          "\r\nSaveLogToDisk = Yes\r\nPlimSwitch = No\r\n" + extra);
  }
  std::string Slot(int type, int n) const { return files.Slot(type, n); }
  std::string MakeFile(const std::string& name, const std::string& bytes) const { return files.MakeFile(name, bytes); }
  std::vector<std::string> Log() const { return files.Log(); }

  DataFiles files{dir};
  BOOL (*saved_pick_)(OPENFILENAMEA*) = PickFilesDialog;
  DWORD (*saved_error_)() = PickFilesDialogError;
};

// ---- The transfer instance as a process --------------------------------

TEST_F(DonateProcess, TransferSendsPicturesSoundsThenQuotesByteForByteWhileTheOtherInstanceWrites) {
  const std::string n60 = std::string(10, 'x') + std::string(46, 'L') + ".txt";  // 60 characters
  const std::string n50 = std::string(46, 'F') + ".txt";
  const std::string quote1 = Bytes(3000, 1), quote2 = Bytes(10, 2), picture = Bytes(2 << 20, 3),
                    sound = Bytes(70000, 4);
  const std::string q1 = MakeFile(n60, quote1), q2 = MakeFile(n50, quote2), p = MakeFile("tile.jpg", picture),
                    s = MakeFile("chime.wav", sound);
  WriteCfg("DONATE-1-CATEGORY = 2\r\nDONATE-2-CATEGORY = 1\r\nDONATE-3-CATEGORY = 0\r\n"
           "DONATE-1-2 = " + q1 + "\r\nDONATE-1-3 =    \r\nDONATE-1-5 = " + q2 + "\r\nDONATE-2-41 = " + p +
           "\r\nDONATE-3-1 = " + s + "\r\n");
  Transfer t(dir.Path());
  ASSERT_TRUE(t.started);
  // The normal instance keeps writing its own keys meanwhile: the store's
  // lock keeps every write of both.
  int written = 0;
  int whileSending = 0;
  const DWORD start = GetTickCount();
  while (!t.Ended() && GetTickCount() - start < 120000) {
    ConfigSet(("Mine" + std::to_string(written)).c_str(), std::to_string(written).c_str(), ConfigFileName);
    ++written;
    if (t.Main()) ++whileSending;
  }
  ASSERT_TRUE(t.Ended());
  EXPECT_EQ(t.ExitCode(), 0u);
  EXPECT_GT(whileSending, 10) << "both instances wrote at the same time";
  const std::string cfg = Cfg();
  int lost = 0;
  for (int i = 0; i < written; ++i) lost += CfgValue(cfg, "Mine" + std::to_string(i)) == std::to_string(i) ? 0 : 1;
  EXPECT_EQ(lost, 0);

  EXPECT_EQ(Donated("picture", 1, "tile.jpg"), picture);
  EXPECT_EQ(Donated("sound", 0, "chime.wav"), sound);
  EXPECT_EQ(Donated("quote", 2, n60.substr(10)), quote1) << "the last 50 characters of the name";
  EXPECT_EQ(Donated("quote", 2, n50), quote2);
  for (const auto& [type, slot] : std::vector<std::pair<int, int>>{{1, 2}, {1, 5}, {2, 41}, {3, 1}})
    EXPECT_EQ(Slot(type, slot), "") << type << "-" << slot;
  std::vector<std::string> added;
  for (const auto& l : Log())
    if (l.rfind("File ", 0) == 0) added.push_back(l);
  EXPECT_EQ(added, (std::vector<std::string>{"File " + p + " was added successfully to the server.",
                                             "File " + s + " was added successfully to the server.",
                                             "File " + q1 + " was added successfully to the server.",
                                             "File " + q2 + " was added successfully to the server."}));
  EXPECT_TRUE(t.boxes.empty());
}

TEST_F(DonateProcess, ServerAnswersEndTheRunOrSkipAFileKeepingTheListStored) {
  const std::string a = MakeFile("a.bmp", Bytes(5000, 5)), b = MakeFile("b.bmp", Bytes(6000, 6));
  const std::string cfg = "DONATE-2-CATEGORY = 0\r\nDONATE-2-1 = " + a + "\r\nDONATE-2-2 = " + b + "\r\n";
  struct Case {
    const char* faults;
    std::vector<std::string> boxes;
    std::string line;  // last log line
  };
  const std::vector<Case> cases = {
      {"7 busy", {"The Velmor server you're attached to is busy."}, ""},
      {"7 code 1", {"The server was unable to handle your request."}, ""},
      {"7 code 5", {}, "File error on server. Errorcode: 0"},
      {"7 code 12", {}, "Error from server  error: 12"},
      {"7 hang-up", {}, "Donate file request Cancelled"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults);
    server->SetFaults(c.faults);
    WriteCfg(cfg);
    DeleteFileA(dir.File("VelmorW.log").c_str());
    Transfer t(dir.Path());
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.boxes, c.boxes);
    if (!c.boxes.empty()) {
      // After the start-up text: every line preceded by a line break.
      const std::string& pane = t.panes[0];
      const std::string lines = "part.\r\n\r\nConnecting to server.\r\nSending file: " + a;
      ASSERT_GE(pane.size(), lines.size());
      EXPECT_EQ(pane.substr(pane.size() - lines.size()), lines);
    }
    const auto log = Log();
    EXPECT_EQ(log.empty() ? "" : log.back(), c.line);
    EXPECT_EQ(Slot(2, 1), a);
    EXPECT_EQ(Slot(2, 2), b);
  }
  EXPECT_EQ(Donated("picture", 0, "a.bmp"), "<absent>");

  // A name the server already holds: logged, kept, and the next file goes.
  server->SetFaults("");
  WriteCfg("DONATE-2-CATEGORY = 0\r\nDONATE-2-1 = " + a + "\r\n");
  Transfer first(dir.Path());
  ASSERT_TRUE(first.Run());
  WriteCfg(cfg);
  Transfer second(dir.Path());
  ASSERT_TRUE(second.Run());
  EXPECT_TRUE(second.boxes.empty());
  const auto log = Log();
  EXPECT_TRUE(Contains(log, "File a.bmp on server already exists"));
  EXPECT_EQ(Slot(2, 1), a);
  EXPECT_EQ(Slot(2, 2), "");
  EXPECT_EQ(Donated("picture", 0, "b.bmp"), ReadFile(b));
}

// Files that cannot be sent (gone, empty, a folder, held by another program)
// between two good ones: the good ones arrive, the others stay listed, and
// the user is told which and why in one box at the run's end.
TEST_F(DonateProcess, UnsendableFilesAreSkippedNamedAndStayListed) {
  const std::string first = MakeFile("first.wav", Bytes(100, 7));
  const std::string last = MakeFile("last.wav", Bytes(120, 9));
  CreateDirectoryA(dir.File("folder.wav").c_str(), nullptr);
  const std::string locked = MakeFile("locked.wav", Bytes(100, 8));
  HANDLE hold = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hold, INVALID_HANDLE_VALUE);
  const std::string gone = dir.File("gone.wav"), empty = MakeFile("empty.wav", ""), folder = dir.File("folder.wav");
  WriteCfg("DONATE-3-CATEGORY = 0\r\nDONATE-3-1 = " + first + "\r\nDONATE-3-2 = " + gone + "\r\nDONATE-3-3 = " +
           empty + "\r\nDONATE-3-4 = " + folder + "\r\nDONATE-3-5 = " + locked + "\r\nDONATE-3-6 = " + last +
           "\r\n");
  Transfer t(dir.Path());
  ASSERT_TRUE(t.Run());
  CloseHandle(hold);
  RemoveDirectoryA(folder.c_str());
  EXPECT_EQ(Donated("sound", 0, "first.wav"), Bytes(100, 7));
  EXPECT_EQ(Donated("sound", 0, "last.wav"), Bytes(120, 9));
  EXPECT_EQ(Slot(3, 1), "");
  EXPECT_EQ(Slot(3, 2), gone);
  EXPECT_EQ(Slot(3, 3), empty);
  EXPECT_EQ(Slot(3, 4), folder);
  EXPECT_EQ(Slot(3, 5), locked);
  EXPECT_EQ(Slot(3, 6), "");
  const std::string denied = "the file cannot be read (access denied)";
  EXPECT_EQ(t.boxes, (std::vector<std::string>{"4 listed files were not sent and stay in the list:\r\n" + gone +
                                               ": the file does not exist\r\n" + empty + ": the file is empty\r\n" +
                                               folder + ": " + denied + "\r\n" + locked + ": " + denied}));
  const auto log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "File " + gone + " was not sent: the file does not exist. It stays in the list."),
            log.end());
  EXPECT_EQ(log.back(), "4 listed files were not sent and stay in the list:");
}

// A file over the server's limit: the server closes the connection after
// the header, which ends the run with the socket's error; the file stays.
TEST_F(DonateProcess, AFileTheServerRefusesMidBlockEndsTheRunAndStaysListed) {
  const std::string good = MakeFile("good.wav", Bytes(100, 7));
  const std::string huge = MakeFile("huge.wav", std::string((64 << 20) + 1, 'h'));
  WriteCfg("DONATE-3-CATEGORY = 0\r\nDONATE-3-1 = " + huge + "\r\nDONATE-3-2 = " + good + "\r\n");
  Transfer t(dir.Path());
  ASSERT_TRUE(t.Run());
  ASSERT_EQ(t.boxes.size(), 1u);
  EXPECT_EQ(t.boxes[0].rfind("Error during file transfer: (", 0), 0u) << t.boxes[0];
  EXPECT_EQ(Log().back(), "File transfer of file " + huge + " failed. Error: -7 ");
  EXPECT_EQ(Slot(3, 1), huge);
  EXPECT_EQ(Slot(3, 2), good);
  DeleteFileA(huge.c_str());
  EXPECT_EQ(Donated("sound", 0, "good.wav"), "<absent>");
  EXPECT_TRUE(PumpUntil([] { return Incoming() == 0; }, 60000)) << "nothing partial stays on the server";
}

TEST_F(DonateProcess, ClosingTheTransferWindowCancelsTheSendAndKeepsItsFileAndTheRest) {
  const std::string big = MakeFile("big.txt", Bytes(64 << 20, 9)), next = MakeFile("next.txt", "n");
  WriteCfg("DONATE-1-CATEGORY = 1\r\nDONATE-1-1 = " + big + "\r\nDONATE-1-2 = " + next + "\r\n");
  {
    Transfer t(dir.Path());
    // Closed once the wait label counts bytes.
    bool closed = false;
    ASSERT_TRUE(t.Run(120000, [&] {
      if (closed) return false;
      HWND main = t.Main();
      if (!main) return false;
      for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (Text(child).find(" / 67108864 (") != std::string::npos) {
          PostMessageA(main, WM_CLOSE, 0, 0);
          closed = true;
        }
      }
      return false;
    }));
    ASSERT_TRUE(closed);
    EXPECT_EQ(t.boxes, std::vector<std::string>{"Transfer Cancelled."});
    EXPECT_EQ(Log().back(), "File transfer cancelled by user request");
    EXPECT_EQ(Slot(1, 1), big);
    EXPECT_EQ(Slot(1, 2), next);
    EXPECT_EQ(Donated("quote", 1, "big.txt"), "<absent>");
  }
  // The next run sends both: 64 MB arrive whole.
  Transfer again(dir.Path());
  ASSERT_TRUE(again.Run());
  EXPECT_TRUE(again.boxes.empty());
  EXPECT_EQ(Slot(1, 1), "");
  EXPECT_EQ(Slot(1, 2), "");
  EXPECT_TRUE(Donated("quote", 1, "big.txt") == ReadFile(big)) << "64 MB byte for byte";
  EXPECT_EQ(Donated("quote", 1, "next.txt"), "n");
}

TEST_F(DonateProcess, AKilledTransferLeavesExactlyTheFilesNotYetAcceptedListed) {
  std::mt19937 rng(20261207);
  const int count = 6;
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<std::string> paths, names, bodies;
    std::string cfg = "DONATE-3-CATEGORY = 0\r\nKeepMe = yes\r\n";
    for (int i = 0; i < count; ++i) {
      // Names of their own on every run: the server keeps what it got.
      names.push_back("r" + std::to_string(GetTickCount() % 100000) + "-" + std::to_string(round) + "-" +
                      std::to_string(i) + ".wav");
      bodies.push_back(Bytes(1 << 20, static_cast<unsigned>(round * 10 + i)));
      paths.push_back(MakeFile(names.back(), bodies.back()));
      cfg += "DONATE-3-" + std::to_string(i + 1) + " = " + paths.back() + "\r\n";
    }
    WriteCfg(cfg);
    // The kill point: once k files are accepted, then (half the time) once
    // the next block has some of its bytes out.
    const int k = static_cast<int>(rng() % count);
    const int percent = (rng() % 2) ? -1 : static_cast<int>(rng() % 100);
    Transfer t(dir.Path());
    ASSERT_TRUE(t.started);
    const DWORD start = GetTickCount();
    bool killed = false;
    while (!t.Ended() && GetTickCount() - start < 120000) {
      int sent = 0;
      for (int i = 0; i < count; ++i) sent += Slot(3, i + 1) == "" ? 1 : 0;
      bool at = sent >= k;
      if (at && percent >= 0) {
        at = false;
        if (HWND main = t.Main())
          for (HWND c = GetWindow(main, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            const std::string label = Text(c);
            const size_t open = label.find(" / 1048576 (");
            if (open != std::string::npos && std::atoi(label.c_str() + open + 12) >= percent) at = true;
          }
      }
      if (at) {
        TerminateProcess(t.pi.hProcess, 9);
        WaitForSingleObject(t.pi.hProcess, 30000);
        killed = true;
        break;
      }
    }
    ASSERT_TRUE(t.Ended());
    (void)killed;
    ASSERT_TRUE(PumpUntil([] { return Incoming() == 0; }, (IdleTimeoutSeconds + 40) * 1000))
        << "the server dropped the cut upload";
    const std::string after = Cfg();
    EXPECT_EQ(after.rfind("Directory = ", 0), 0u);
    EXPECT_EQ(CfgValue(after, "KeepMe"), "yes");
    EXPECT_EQ(after.substr(after.size() - 2), "\r\n") << "whole lines only";
    int both = 0;
    for (int i = 0; i < count; ++i) {
      const std::string slot = CfgValue(after, "DONATE-3-" + std::to_string(i + 1));
      const std::string held = Donated("sound", 0, names[static_cast<size_t>(i)]);
      ASSERT_TRUE(slot == "" || slot == paths[static_cast<size_t>(i)]) << slot;
      if (held != "<absent>") {
        EXPECT_TRUE(held == bodies[static_cast<size_t>(i)]) << "partial copy of " << i;
      }
      if (slot == "") {
        EXPECT_NE(held, "<absent>") << "slot " << i << " emptied, but the server lacks the file";
      }
      if (slot != "" && held != "<absent>") ++both;
    }
    // Only the file whose last bytes had just gone when the process died can
    // be on the server and still listed.
    EXPECT_LE(both, 1);
  }
}

// ---- The dialogs inside this process ------------------------------------

struct Picked {
  std::string filter;
  std::string title;
  DWORD maxFile = 0;
  DWORD flags = 0;
  HWND owner = nullptr;
};
Picked picked;
std::string pickResult;  // what the seam hands back, NULs included

bool pickTooSmall = false;
std::vector<DWORD> pickSizes;  // nMaxFile of every opening

// Answers as the system's dialog does: a result too large for the buffer
// puts the size it needs in the buffer's first two bytes and fails with
// FNERR_BUFFERTOOSMALL; otherwise the result is copied (nothing after it is
// touched) and nFileOffset points at the first file name.
BOOL PickAnswer(OPENFILENAMEA* ofn) {
  const char* f = ofn->lpstrFilter;
  size_t n = 0;
  while (f[n] || f[n + 1]) ++n;
  picked = {std::string(f, n + 2), ofn->lpstrTitle, ofn->nMaxFile, ofn->Flags, ofn->hwndOwner};
  pickSizes.push_back(ofn->nMaxFile);
  pickTooSmall = pickResult.size() > ofn->nMaxFile;
  if (pickTooSmall) {
    ofn->lpstrFile[0] = static_cast<char>(pickResult.size() & 0xFF);
    ofn->lpstrFile[1] = static_cast<char>(pickResult.size() >> 8);
    return FALSE;
  }
  std::memcpy(ofn->lpstrFile, pickResult.data(), pickResult.size());
  const size_t first = std::strlen(pickResult.c_str());
  const bool several = first + 1 < pickResult.size() && pickResult[first + 1] != '\0';
  ofn->nFileOffset = static_cast<WORD>(several ? first + 1 : pickResult.rfind('\\', first) + 1);
  return TRUE;
}
DWORD PickError() { return pickTooSmall ? FNERR_BUFFERTOOSMALL : 0; }

void Click(HWND dlg, int id) { SendMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0); }

std::vector<std::string> ListTexts(HWND list) {
  std::vector<std::string> out;
  const int n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    char t[300] = {};
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(t));
    out.push_back(t);
  }
  return out;
}

struct SeenBox {
  std::string text;
  HWND owner;
};

// Runs the donate command: onDonate acts in the donate dialog, onList in the
// file-list dialog; message boxes are recorded and answered with OK.
std::vector<SeenBox> RunDonate(const std::function<void(HWND)>& onDonate, const std::function<void(HWND)>& onList) {
  std::vector<SeenBox> boxes;
  HWND donate = nullptr;
  DialogWatch watch([&](const SeenDialog& dlg) {
    if (GetDlgItem(dlg.window, 0xFFFF)) {
      boxes.push_back({dlg.text, dlg.owner});
      DialogWatch::PressOk(dlg.window);
    } else if (dlg.caption == "Donate a file to a Velmor server") {
      donate = dlg.window;
      EXPECT_EQ(dlg.owner, Shell.MainWindow);
      onDonate(dlg.window);
    } else if (dlg.caption == "List of files to donate") {
      EXPECT_EQ(dlg.owner, donate);
      onList(dlg.window);
    }
  });
  SendMessageA(Shell.MainWindow, WM_COMMAND, IDM_DONATE, 0);
  EXPECT_FALSE(IsWindow(donate)) << "the dialogs closed";
  return boxes;
}

// Picture, its second category, OK.
void ChooseScreens(HWND dlg) {
  Click(dlg, IDC_DONATE_PICTURE);
  SendDlgItemMessageA(dlg, IDC_DONATE_CATEGORIES, LB_SETCURSEL, 1, 0);
  Click(dlg, IDC_DONATE_OK);
}

TEST_F(DonateDialogs, DonateDialogRefusesInOrderThenStoresTheCategoryZeroBased) {
  StartShell();
  HWND donate = nullptr;
  const auto boxes = RunDonate(
      [&](HWND dlg) {
        donate = dlg;
        EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_DONATE_QUOTE), BST_CHECKED);
        EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_DONATE_CATEGORIES, LB_GETCOUNT, 0, 0), 0);
        for (int id : {IDC_DONATE_QUOTE, IDC_DONATE_SOUND, IDC_DONATE_PICTURE})
          SendDlgItemMessageA(dlg, id, BM_SETCHECK, BST_UNCHECKED, 0);
        Click(dlg, IDC_DONATE_REFRESH);
        Click(dlg, IDC_DONATE_OK);
        Click(dlg, IDC_DONATE_PICTURE);
        EXPECT_EQ(ListTexts(GetDlgItem(dlg, IDC_DONATE_CATEGORIES)), (std::vector<std::string>{"Tiles", "Screens"}));
        Click(dlg, IDC_DONATE_OK);
        EXPECT_EQ(CfgValue(Cfg(), "DONATE-2-CATEGORY"), "<absent>");
        SendMessageA(dlg, WM_COMMAND, IDCANCEL, 0);  // Escape: ignored
        SendDlgItemMessageA(dlg, IDC_DONATE_CATEGORIES, LB_SETCURSEL, 0, 0);
        Click(dlg, IDC_DONATE_OK);
      },
      [&](HWND list) { SendMessageA(list, WM_CLOSE, 0, 0); });
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].text, "Select a category type.");
  EXPECT_EQ(boxes[0].owner, donate) << "the dialog's own box";
  EXPECT_EQ(boxes[1].text, "You must select an item type.");
  EXPECT_EQ(boxes[1].owner, donate);
  EXPECT_EQ(boxes[2].text, "You must select a category to donate to.");
  EXPECT_EQ(boxes[2].owner, donate);
  EXPECT_EQ(CfgValue(Cfg(), "DONATE-2-CATEGORY"), "0") << "the first category";
  EXPECT_EQ(CfgValue(Cfg(), "DONATE-2-1"), "<absent>") << "the close box saves nothing";
}

TEST_F(DonateDialogs, FileListAddsThroughTheOpenFileDialogRemovesAndSavesEveryslot) {
  const std::string a = MakeFile("a.bmp", "a"), b = MakeFile("b.bmp", "b"), c = MakeFile("c.bmp", "c"),
                    d = MakeFile("d.bmp", "d"), e = MakeFile("e.bmp", "e");
  StartShell("DONATE-2-3 = " + a + "\r\nDONATE-2-7 =  " + b + "\r\n");
  PickFilesDialog = PickAnswer;
  PickFilesDialogError = PickError;
  pickSizes.clear();
  std::vector<std::string> many;
  HWND listDialog = nullptr;
  const auto boxes = RunDonate(ChooseScreens, [&](HWND list) {
    listDialog = list;
    HWND files = GetDlgItem(list, IDC_NEWDONATE_FILES);
    EXPECT_EQ(ListTexts(files), (std::vector<std::string>{a, b})) << "slots 3 and 7 close up";
    pickResult = dir.Path() + '\0' + "c.bmp" + '\0' + "d.bmp" + '\0' + '\0';
    Click(list, IDC_NEWDONATE_ADD);
    EXPECT_EQ(picked.filter, std::string("Picture Files\0*.bmp;*.jpg;*.pcx;*.gif\0\0", 39));
    EXPECT_EQ(picked.title, "Select files to donate...");
    EXPECT_EQ(picked.maxFile, 4000u);
    EXPECT_EQ(picked.flags,
              static_cast<DWORD>(OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY));
    EXPECT_EQ(picked.owner, list);
    // One file after several: nothing of the earlier choice comes back.
    pickResult = e + '\0';
    Click(list, IDC_NEWDONATE_ADD);
    EXPECT_EQ(ListTexts(files), (std::vector<std::string>{a, b, c, d, e}));
    // More names than the buffer holds: it grows and the dialog comes again.
    std::string chosen = dir.Path() + '\0';
    for (int i = 0; i < 36; ++i) {
      char name[8];
      std::snprintf(name, sizeof name, "%03d", i);
      many.push_back(dir.Path() + "\\" + std::string(116, 'm') + name + ".bmp");
      chosen += std::string(116, 'm') + name + ".bmp" + '\0';
    }
    pickResult = chosen + '\0';
    ASSERT_GT(pickResult.size(), 4000u);
    Click(list, IDC_NEWDONATE_ADD);
    EXPECT_EQ(ListTexts(files).size(), 41u);
    // The list scrolls sideways to the end of the longest path.
    RECT client{};
    GetClientRect(files, &client);
    EXPECT_GT(SendMessageA(files, LB_GETHORIZONTALEXTENT, 0, 0), client.right);
    for (int i = 0; i < 36; ++i) SendMessageA(files, LB_DELETESTRING, 5, 0);
    SendMessageA(files, LB_SETSEL, TRUE, 1);
    SendMessageA(files, LB_SETSEL, TRUE, 3);
    Click(list, IDC_NEWDONATE_REMOVE);
    EXPECT_EQ(ListTexts(files), (std::vector<std::string>{a, c, e}));
    Click(list, IDC_NEWDONATE_REMOVE);
    Click(list, IDC_NEWDONATE_BEGIN);  // no Velmorw.exe in the data directory
  });
  EXPECT_EQ(pickSizes.size(), 4u);
  EXPECT_GE(pickSizes.back(), pickResult.size());
  // The boxes raised by the dialog's own work are the dialog's.
  std::vector<std::string> texts;
  for (const auto& box : boxes) {
    texts.push_back(box.text);
    EXPECT_EQ(box.owner, listDialog) << box.text;
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"Nothing selected in list to remove.",
                                             "Unable to run transfer program. Error #2"}));
  EXPECT_EQ(CfgValue(Cfg(), "DONATE-2-CATEGORY"), "1");
  EXPECT_EQ(Slot(2, 1), a);
  EXPECT_EQ(Slot(2, 2), c);
  EXPECT_EQ(Slot(2, 3), e);
  for (int n = 4; n <= 42; ++n) EXPECT_EQ(Slot(2, n), "") << n;
}

TEST_F(DonateDialogs, BeginStartsTheTransferInstanceFromTheDataDirectory) {
  const std::string a = MakeFile("e.bmp", Bytes(1000, 11)), c = MakeFile("f.bmp", Bytes(1000, 13));
  ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), dir.File("Velmorw.exe").c_str(), FALSE));
  StartShell("DONATE-2-1 = " + a + "\r\nDONATE-2-2 = " + c + "\r\n");
  const auto boxes = RunDonate(ChooseScreens, [&](HWND list) {
    EXPECT_EQ(ListTexts(GetDlgItem(list, IDC_NEWDONATE_FILES)), (std::vector<std::string>{a, c}));
    Click(list, IDC_NEWDONATE_BEGIN);
  });
  EXPECT_TRUE(boxes.empty());
  ASSERT_TRUE(PumpUntil([&] { return Slot(2, 2) == ""; }, 60000));
  EXPECT_TRUE(PumpUntil([] { return FindWindowA("Transfer", nullptr) == nullptr; }, 60000));
  EXPECT_EQ(Donated("picture", 1, "e.bmp"), ReadFile(a));
  EXPECT_EQ(Donated("picture", 1, "f.bmp"), ReadFile(c));
  EXPECT_EQ(Slot(2, 1), "");
  DeleteFileA(dir.File("Velmorw.exe").c_str());
}

TEST_F(DonateDialogs, TheDonateCommandRefusesWhileATransferRuns) {
  StartShell();
  server->SetFaults("7 busy");
  const std::string a = MakeFile("w.txt", "w");
  ConfigSet("DONATE-1-CATEGORY", "0", ConfigFileName);
  ConfigSet("DONATE-1-1", a.c_str(), ConfigFileName);
  Transfer t(dir.Path());
  // Its busy box holds it open.
  ASSERT_TRUE(PumpUntil([&] { return !WindowsOf(t.pi.dwProcessId, "#32770").empty(); }, 60000));
  std::vector<std::string> texts;
  DialogWatch watch([&](const SeenDialog& d) {
    texts.push_back(d.caption + ": " + d.text);
    DialogWatch::PressOk(d.window);
  });
  SendMessageA(Shell.MainWindow, WM_COMMAND, IDM_DONATE, 0);
  EXPECT_EQ(texts, std::vector<std::string>{"VelmorW: A Velmor donate transfer is already running."});
  ASSERT_TRUE(t.Run());
  EXPECT_EQ(t.boxes, std::vector<std::string>{"The Velmor server you're attached to is busy."});
  EXPECT_EQ(CfgValue(Cfg(), "DONATE-1-1"), a);
}

TEST_F(DonateDialogs, AddCategoryDialogRefusesAShortNameAndSendsTheTrimmedOne) {
  StartShell();
  std::vector<SeenBox> boxes;
  std::function<void(HWND)> script;
  DialogWatch watch([&](const SeenDialog& d) {
    if (GetDlgItem(d.window, 0xFFFF)) {
      boxes.push_back({d.text, d.owner});
      DialogWatch::PressOk(d.window);
    } else {
      EXPECT_EQ(d.owner, Shell.MainWindow);
      script(d.window);
    }
  });
  HWND seen = nullptr;
  script = [&](HWND dlg) {
    seen = dlg;
    EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_ADDCAT_QUOTE), BST_CHECKED);
    SetDlgItemTextA(dlg, IDC_ADDCAT_NAME, "  x   ");
    Click(dlg, IDC_ADDCAT_OK);
    EXPECT_TRUE(IsWindow(dlg));
    Click(dlg, IDC_ADDCAT_SOUND);
    SetDlgItemTextA(dlg, IDC_ADDCAT_NAME, "  Rain drops ");
    Click(dlg, IDC_ADDCAT_OK);
  };
  SendMessageA(Shell.MainWindow, WM_COMMAND, IDM_ADDCATEGORY, 0);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Please enter a category name.");
  EXPECT_EQ(boxes[1].text, "Add category request was successful.");
  EXPECT_EQ(boxes[1].owner, seen);
  EXPECT_EQ(Log().back(), "Category Rain drops was added successfully to the server.");
  EXPECT_EQ(PrepareCategoryList(3, nullptr), 2);
  EXPECT_STREQ(CategoryName(3, 1), "Rain drops");

}

// The comment: its own pop-up commands, a refusal that keeps the dialog and
// its text, then delivery.
TEST_F(DonateDialogs, CommentDialogKeepsARefusedCommentAndDeliversIt) {
  StartShell();
  std::vector<SeenBox> boxes;
  std::function<void(HWND)> script;
  DialogWatch watch([&](const SeenDialog& d) {
    if (GetDlgItem(d.window, 0xFFFF)) {
      boxes.push_back({d.text, d.owner});
      DialogWatch::PressOk(d.window);
    } else {
      EXPECT_EQ(d.owner, Shell.MainWindow);
      script(d.window);
    }
  });
  server->SetFaults("10 code 1");
  script = [&](HWND dlg) {
    HWND editor = GetDlgItem(dlg, IDC_COMMENT_TEXT);
    SetWindowTextA(editor, "Hello");
    SendMessageA(editor, EM_SETSEL, 0, -1);
    SendMessageA(dlg, WM_COMMAND, IDM_CUT, 0);
    EXPECT_EQ(Text(editor), "");
    SendMessageA(dlg, WM_COMMAND, IDM_PASTE, 0);
    SendMessageA(dlg, WM_COMMAND, IDM_PASTE, 0);
    EXPECT_EQ(Text(editor), "HelloHello");
    SendMessageA(editor, EM_SETSEL, 0, 5);
    SendMessageA(dlg, WM_COMMAND, IDM_COPY, 0);
    SendMessageA(editor, EM_SETSEL, 10, 10);
    SendMessageA(dlg, WM_COMMAND, IDM_PASTE, 0);
    SetWindowTextA(editor, (Text(editor) + "\r\nme@example.org  ").c_str());
    SendMessageA(dlg, WM_COMMAND, IDCANCEL, 0);  // Escape: ignored
    Click(dlg, IDC_COMMENT_OK);
    EXPECT_TRUE(IsWindow(dlg));
    EXPECT_EQ(Text(editor), "HelloHelloHello\r\nme@example.org  ");
    server->SetFaults("");
    Click(dlg, IDC_COMMENT_OK);
  };
  SendMessageA(Shell.MainWindow, WM_COMMAND, IDM_SENDCOMMENT, 0);
  std::vector<std::string> texts;
  for (const auto& box : boxes) texts.push_back(box.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"The server was unable to handle your request.",
                                             "Comment sent successfully."}));
  EXPECT_EQ(Log().back(), "Your comment was sent to the Velmor server");
  WIN32_FIND_DATAA fd;
  HANDLE f = FindFirstFileA((WinePath(content + "/comments") + "\\*.txt").c_str(), &fd);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  FindClose(f);
  // The server heads the file with its own lines; the block follows them.
  const std::string stored = ReadFile(WinePath(content + "/comments/") + fd.cFileName);
  const std::string block = "Comment from id: " + std::string(ClientIdentity) + "\r\nHelloHelloHello\r\nme@example.org";
  ASSERT_GE(stored.size(), block.size());
  EXPECT_EQ(stored.substr(stored.size() - block.size()), block);
}

}  // namespace
