// The real main window, its children, tray icon and commands, driven with
// messages inside the test process.
#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/globals.h"
#include "app/main_window.h"
#include "app/pane_text.h"
#include "app/shell_text.h"
#include "app/status.h"
#include "content/text_pane.h"
#include "diag/activity_list.h"
#include "diag/log.h"
#include "interact/progress_pane.h"
#include "interact/shell_seams_win.h"
#include "res/resource.h"
#include "tests/app/shell_fixture.h"
#include "net/transport.h"
#include "net/transport_hooks.h"

namespace {

using ShellWindow = ShellFixture;

LONG_PTR Style(HWND w) { return GetWindowLongPtrA(w, GWL_STYLE); }

void ExpectChildrenLaidOut(HWND main) {
  RECT client{};
  GetClientRect(main, &client);
  const int W = client.right, H = client.bottom;
  EXPECT_RECT(ChildRect(GetDlgItem(main, IDC_MAIN_TITLE)), W - 125, H - 13, 170, 13);
  EXPECT_RECT(ChildRect(GetDlgItem(main, IDC_MAIN_TEXTPANE)), 5, 5, W - 10, H - 125);
  // The list box keeps a whole number of lines: its height may come out a
  // little below 95.
  const RECT list = ChildRect(GetDlgItem(main, IDC_MAIN_ACTIVITYLIST));
  EXPECT_EQ(list.left, 5);
  EXPECT_EQ(list.top, H - 105);
  EXPECT_EQ(list.right - list.left, W - 10);
  EXPECT_LE(list.bottom - list.top, 95);
  EXPECT_GT(list.bottom - list.top, 95 - 20);
}

TEST_F(ShellWindow, NormalStartUpBuildsWindowsChildrenAndTray) {
  Start();
  ASSERT_TRUE(IsWindow(Shell.MainWindow));
  EXPECT_EQ(ClassOf(Shell.MainWindow), "VelmorW");
  EXPECT_EQ(WindowText(Shell.MainWindow), "VelmorW");
  EXPECT_TRUE(IsWindowVisible(Shell.MainWindow));
  EXPECT_EQ(Style(Shell.MainWindow) & (WS_POPUP | WS_OVERLAPPEDWINDOW), WS_POPUP | WS_OVERLAPPEDWINDOW);
  EXPECT_EQ(GetWindow(Shell.MainWindow, GW_OWNER), Shell.OwnerWindow);
  EXPECT_EQ(ClassOf(Shell.OwnerWindow), "Static");
  EXPECT_FALSE(IsWindowVisible(Shell.OwnerWindow));
  EXPECT_TRUE(Style(Shell.OwnerWindow) & WS_POPUP);

  HMENU menu = GetMenu(Shell.MainWindow);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(GetMenuItemCount(menu), 3);
  char item[64] = "";
  EXPECT_GT(GetMenuStringA(menu, IDM_CONFIGURE, item, sizeof item, MF_BYCOMMAND), 0);
  EXPECT_STREQ(item, "&Configure Velmor");

  HWND title = Child(IDC_MAIN_TITLE), list = Child(IDC_MAIN_ACTIVITYLIST), pane = Child(IDC_MAIN_TEXTPANE);
  ASSERT_TRUE(title && list && pane);
  EXPECT_EQ(ClassOf(title), "Static");
  EXPECT_EQ(WindowText(title), "Velmor for Windows V7.1");
  EXPECT_EQ(Style(title) & 0x1F, SS_SIMPLE);
  EXPECT_EQ(ClassOf(list), "ListBox");
  const LONG_PTR ls = Style(list);
  // (Edit controls trade WS_BORDER for a border they draw; an empty list
  // box hides its scroll bar, clearing WS_VSCROLL.)
  EXPECT_TRUE(ls & LBS_USETABSTOPS);
  EXPECT_FALSE(ls & (LBS_SORT | LBS_NOTIFY));
  EXPECT_EQ(ClassOf(pane), "Edit");
  const LONG_PTR es = Style(pane);
  const LONG_PTR want = WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | ES_WANTRETURN;
  EXPECT_EQ(es & want, want);
  EXPECT_EQ(WindowText(pane), AboutPaneText);
  for (HWND c : {title, list, pane})
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0)), Shell.SmallFont);
  LOGFONTA lf{};
  ASSERT_TRUE(GetObjectA(Shell.SmallFont, sizeof lf, &lf));
  EXPECT_EQ(lf.lfHeight, 8);
  EXPECT_STREQ(lf.lfFaceName, "Helv");

  // No window keys in the file: the defaults, which are written.
  RECT r{};
  GetWindowRect(Shell.MainWindow, &r);
  EXPECT_RECT(r, 80, 137, 456, 211);
  const std::string cfg = Cfg();
  EXPECT_EQ(CfgValue(cfg, "WindowLeft"), "80");
  EXPECT_EQ(CfgValue(cfg, "WindowTop"), "137");
  EXPECT_EQ(CfgValue(cfg, "WindowWidth"), "456");
  EXPECT_EQ(CfgValue(cfg, "WindowHeight"), "211");
  ExpectChildrenLaidOut(Shell.MainWindow);

  EXPECT_TRUE(TrayIconExists(Shell.MainWindow, IDN_TRAY_NORMAL));
  EXPECT_FALSE(TrayIconExists(Shell.MainWindow, IDN_TRAY_TRANSFER));
  for (int k = 0; k < IDI_FRAME_COUNT; ++k) EXPECT_NE(Shell.IconFrames[k], nullptr) << k;
  EXPECT_NE(Shell.IconFrames[0], Shell.IconFrames[1]);
  EXPECT_EQ(Initialising, 0);
  EXPECT_STREQ(LogBaseName, "VelmorW");
}

TEST_F(ShellWindow, StoredPlacementIsUsedAndOneOffEveryScreenFallsBack) {
  Start("WindowLeft = 30\r\nWindowTop = 40\r\nWindowWidth = 500\r\nWindowHeight = 300\r\n");
  RECT r{};
  GetWindowRect(Shell.MainWindow, &r);
  EXPECT_RECT(r, 30, 40, 500, 300);
  ExpectChildrenLaidOut(Shell.MainWindow);
  ASSERT_TRUE(Close());
  AppShutdown();

  // Saved while minimised, or edited by hand: nowhere to be seen.
  Start("WindowLeft = -32000\r\nWindowTop = -32000\r\nWindowWidth = 160\r\nWindowHeight = 24\r\n");
  GetWindowRect(Shell.MainWindow, &r);
  EXPECT_RECT(r, 80, 137, 456, 211);
  EXPECT_EQ(CfgValue(Cfg(), "WindowLeft"), "-32000");  // not rewritten until the window closes
}

TEST_F(ShellWindow, OverlongWindowKeysDoNotOverrunAndFallBack) {
  const std::string huge(450, '9');
  Start("WindowLeft = " + huge + "\r\nWindowTop = 10\r\nWindowWidth = " + huge + "\r\nWindowHeight = 300\r\n");
  RECT r{};
  GetWindowRect(Shell.MainWindow, &r);
  EXPECT_RECT(r, 80, 137, 456, 211);
}

TEST_F(ShellWindow, ResizeSnapsToHeight200AndTooSmallLeavesChildren) {
  Start();
  SetWindowPos(Shell.MainWindow, nullptr, 0, 0, 400, 150, SWP_NOMOVE | SWP_NOZORDER);
  RECT r{};
  GetWindowRect(Shell.MainWindow, &r);
  EXPECT_EQ(r.right - r.left, 400);
  EXPECT_EQ(r.bottom - r.top, 200);
  ExpectChildrenLaidOut(Shell.MainWindow);

  SetWindowPos(Shell.MainWindow, nullptr, 0, 0, 600, 400, SWP_NOMOVE | SWP_NOZORDER);
  ExpectChildrenLaidOut(Shell.MainWindow);
  const RECT before = ChildRect(Child(IDC_MAIN_ACTIVITYLIST));
  SetWindowPos(Shell.MainWindow, nullptr, 0, 0, 600, 50, SWP_NOMOVE | SWP_NOZORDER);
  GetWindowRect(Shell.MainWindow, &r);
  ASSERT_LT(r.bottom - r.top, 60);
  const RECT after = ChildRect(Child(IDC_MAIN_ACTIVITYLIST));
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(after.right, before.right);
}

TEST_F(ShellWindow, MinimiseHidesAndTrayLeftClickToggles) {
  Start();
  ShowWindow(Shell.MainWindow, SW_MINIMIZE);
  EXPECT_FALSE(IsWindowVisible(Shell.MainWindow));
  SendMessageA(Shell.MainWindow, TrayCallbackMessage, IDN_TRAY_NORMAL, WM_LBUTTONDOWN);
  EXPECT_TRUE(IsWindowVisible(Shell.MainWindow));
  EXPECT_FALSE(IsIconic(Shell.MainWindow));
  SendMessageA(Shell.MainWindow, TrayCallbackMessage, IDN_TRAY_NORMAL, WM_RBUTTONDOWN);
  SendMessageA(Shell.MainWindow, TrayCallbackMessage, IDN_TRAY_NORMAL, WM_LBUTTONUP);
  SendMessageA(Shell.MainWindow, TrayCallbackMessage, IDN_TRAY_TRANSFER, WM_LBUTTONDOWN);
  // Another message whose parameters look like a click is no click.
  SendMessageA(Shell.MainWindow, WM_APP + 7, IDN_TRAY_NORMAL, WM_LBUTTONDOWN);
  SendMessageA(Shell.MainWindow, WM_NULL, IDN_TRAY_NORMAL, WM_LBUTTONDOWN);
  EXPECT_TRUE(IsWindowVisible(Shell.MainWindow));
  SendMessageA(Shell.MainWindow, TrayCallbackMessage, IDN_TRAY_NORMAL, WM_LBUTTONDOWN);
  EXPECT_FALSE(IsWindowVisible(Shell.MainWindow));
  SendMessageA(Shell.MainWindow, TrayCallbackMessage, IDN_TRAY_NORMAL, WM_LBUTTONDOWN);
  EXPECT_TRUE(IsWindowVisible(Shell.MainWindow));
}

// Explorer started again: the notification area broadcasts "TaskbarCreated"
// and has none of the old icons.
TEST_F(ShellWindow, TrayIconComesBackAfterTaskbarCreated) {
  Start();
  ASSERT_TRUE(TrayIconExists(Shell.MainWindow, IDN_TRAY_NORMAL));
  NOTIFYICONDATAA nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = Shell.MainWindow;
  nid.uID = IDN_TRAY_NORMAL;
  ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &nid));
  ASSERT_FALSE(TrayIconExists(Shell.MainWindow, IDN_TRAY_NORMAL));
  const DWORD start = GetTickCount();
  PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  bool back = false;
  while (!back && GetTickCount() - start < 1000) {
    Pump(20);
    back = TrayIconExists(Shell.MainWindow, IDN_TRAY_NORMAL);
  }
  EXPECT_TRUE(back) << "no tray icon a second after the broadcast";
  EXPECT_EQ(TrayIconShown(), Shell.IconFrames[0]);
}

// A notification area of the test's own: shell32 hands every tray call to
// the first top-level "Shell_TrayWnd" window as WM_COPYDATA (the call in
// dwData) and returns the window's answer. This one refuses the first
// `refusals` adds; like the real one, it takes a change only of an icon it
// has.
class RefusingTray {
 public:
  explicit RefusingTray(int refusals) {
    refusalsLeft = refusals;
    hasIcon = false;
    calls.clear();
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Shell_TrayWnd";
    RegisterClassA(&wc);
    window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "Shell_TrayWnd", "", WS_POPUP, 0, 0, 1, 1, nullptr,
                             nullptr, wc.hInstance, nullptr);
  }
  ~RefusingTray() {
    DestroyWindow(window);
    UnregisterClassA("Shell_TrayWnd", GetModuleHandleA(nullptr));
  }
  struct Call {
    DWORD message;  // NIM_ADD, NIM_MODIFY, ...
    HWND owner;
    DWORD tick;
    bool accepted;
  };
  static std::vector<Call> calls;
  static std::vector<Call> Adds() {
    std::vector<Call> adds;
    for (const Call& c : calls)
      if (c.message == NIM_ADD) adds.push_back(c);
    return adds;
  }
  HWND window = nullptr;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
      const DWORD call = static_cast<DWORD>(reinterpret_cast<const COPYDATASTRUCT*>(lp)->dwData);
      bool accept = hasIcon;
      if (call == NIM_ADD) accept = !hasIcon && refusalsLeft-- <= 0;
      if (accept && call == NIM_ADD) hasIcon = true;
      if (accept && call == NIM_DELETE) hasIcon = false;
      calls.push_back({call, reinterpret_cast<HWND>(wp), GetTickCount(), accept});
      return accept;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  }
  static int refusalsLeft;
  static bool hasIcon;
};
std::vector<RefusingTray::Call> RefusingTray::calls;
int RefusingTray::refusalsLeft = 0;
bool RefusingTray::hasIcon = false;

// The notification area is not there yet, or refuses the icon: the add is
// tried again every second until it is taken, then no more.
TEST_F(ShellWindow, RefusedTrayIconIsAddedAgainUntilTaken) {
  RefusingTray tray(2);
  ASSERT_NE(tray.window, nullptr);
  Start();
  auto taken = [] {
    const std::vector<RefusingTray::Call> adds = RefusingTray::Adds();
    return !adds.empty() && adds.back().accepted;
  };
  ASSERT_TRUE(PumpUntil(taken, 5000)) << RefusingTray::Adds().size() << " adds, none taken";
  const std::vector<RefusingTray::Call> adds = RefusingTray::Adds();
  ASSERT_EQ(adds.size(), 3u);
  for (const RefusingTray::Call& add : adds) EXPECT_EQ(add.owner, Shell.MainWindow);
  // A second apart, by the retry timer.
  EXPECT_GE(adds[1].tick - adds[0].tick, 900u);
  EXPECT_GE(adds[2].tick - adds[1].tick, 900u);
  // Once taken, the retries stop and the icon is the one shown.
  Pump(2500);
  EXPECT_EQ(RefusingTray::Adds().size(), 3u);
  EXPECT_EQ(TrayIconShown(), Shell.IconFrames[0]);
}

// A click on the tray icon brings the hidden window up in front of the
// window in use.
TEST_F(ShellWindow, TrayClickBringsTheWindowToTheFront) {
  Start();
  SendMessageA(Shell.MainWindow, TrayCallbackMessage, IDN_TRAY_NORMAL, WM_LBUTTONDOWN);  // hides
  HWND other = CreateWindowA("STATIC", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  SetForegroundWindow(other);
  Pump(100);
  SendMessageA(Shell.MainWindow, TrayCallbackMessage, IDN_TRAY_NORMAL, WM_LBUTTONDOWN);
  const DWORD start = GetTickCount();
  while (GetForegroundWindow() != Shell.MainWindow && GetTickCount() - start < 3000) Pump(20);
  EXPECT_EQ(GetForegroundWindow(), Shell.MainWindow);
  EXPECT_TRUE(IsWindowVisible(Shell.MainWindow));
  DestroyWindow(other);
}

TEST_F(ShellWindow, CloseSavesPlacementIntoVelmorCfg) {
  Start();
  SetWindowPos(Shell.MainWindow, nullptr, 33, 44, 520, 260, SWP_NOZORDER);
  ASSERT_TRUE(Close());
  EXPECT_FALSE(IsWindow(Shell.MainWindow));
  const std::string cfg = Cfg();
  EXPECT_EQ(CfgValue(cfg, "WindowLeft"), "33");
  EXPECT_EQ(CfgValue(cfg, "WindowTop"), "44");
  EXPECT_EQ(CfgValue(cfg, "WindowWidth"), "520");
  EXPECT_EQ(CfgValue(cfg, "WindowHeight"), "260");
  EXPECT_NE(cfg.find("WindowLeft          =33\r\n"), std::string::npos) << cfg;
}

TEST_F(ShellWindow, ExitCommandClosesTheWindow) {
  Start();
  SendMessageA(Shell.MainWindow, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_TRUE(IsWindow(Shell.MainWindow));  // posted, not sent
  EXPECT_TRUE(TakeQuit());
  EXPECT_FALSE(IsWindow(Shell.MainWindow));
  EXPECT_EQ(CfgValue(Cfg(), "WindowWidth"), "456");
}

LRESULT CALLBACK PlainProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

TEST_F(ShellWindow, DonateIsRefusedWhileATransferWindowExists) {
  Start();
  WNDCLASSA wc{};
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "Transfer";
  ASSERT_TRUE(RegisterClassA(&wc));
  HWND transfer = CreateWindowA("Transfer", "any caption", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                wc.hInstance, nullptr);
  // Another program's window of that class is no transfer of ours.
  {
    DialogWatch watch([](const SeenDialog& d) {
      if (GetDlgItem(d.window, 0xFFFF))
        DialogWatch::PressOk(d.window);
      else
        PostMessageA(d.window, WM_COMMAND, IDC_DONATE_CANCEL, 0);
    });
    SendMessageA(Shell.MainWindow, WM_COMMAND, IDM_DONATE, 0);
    ASSERT_EQ(watch.Seen().size(), 1u);
    EXPECT_EQ(watch.Seen()[0].caption, "Donate a file to a Velmor server") << watch.Seen()[0].text;
  }
  SetPropA(transfer, TransferInstanceProperty, reinterpret_cast<HANDLE>(1));
  {
    DialogWatch watch;
    SendMessageA(Shell.MainWindow, WM_COMMAND, IDM_DONATE, 0);
    ASSERT_EQ(watch.Seen().size(), 1u);
    EXPECT_EQ(watch.Seen()[0].text, "A Velmor donate transfer is already running.");
    EXPECT_EQ(watch.Seen()[0].caption, "VelmorW");
    EXPECT_EQ(watch.Seen()[0].owner, Shell.MainWindow);
  }
  RemovePropA(transfer, TransferInstanceProperty);
  DestroyWindow(transfer);
  UnregisterClassA("Transfer", wc.hInstance);
  // Without it the donate dialog opens; its Cancel ends the command. (A
  // test program running beside this one may have a transfer instance of
  // its own for a while.)
  ASSERT_TRUE(PumpUntil(
      [] {
        for (HWND w = FindWindowExA(nullptr, nullptr, "Transfer", nullptr); w;
             w = FindWindowExA(nullptr, w, "Transfer", nullptr))
          if (GetPropA(w, TransferInstanceProperty)) return false;
        return true;
      },
      120000))
      << "another program's transfer window stayed";
  DialogWatch watch([](const SeenDialog& d) {
    if (GetDlgItem(d.window, 0xFFFF))
      DialogWatch::PressOk(d.window);  // a box: the test fails below, without waiting for the watchdog
    else
      PostMessageA(d.window, WM_COMMAND, IDC_DONATE_CANCEL, 0);
  });
  SendMessageA(Shell.MainWindow, WM_COMMAND, IDM_DONATE, 0);
  ASSERT_EQ(watch.Seen().size(), 1u);
  EXPECT_EQ(watch.Seen()[0].caption, "Donate a file to a Velmor server");
  EXPECT_EQ(Initialising, 0);
}

// A setting changed while velmor.cfg is held by another program waits and
// is written once the file is free; nothing waits for the file meanwhile.
TEST_F(ShellWindow, AChangeWaitsForAHeldCfgWithoutFreezingTheWindow) {
  Start();
  HANDLE held = CreateFileA(dir.File("velmor.cfg").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const double start = Seconds();
  ConfigSet("PlimSwitch", "Yes", ConfigFileName);  // as the Configure dialog stores a change
  EXPECT_LT(Seconds() - start, 2.0);
  DelayedAction release(3000, [&] { CloseHandle(held); });
  EXPECT_TRUE(PumpUntil([&] { return release.Fired() && CfgValue(Cfg(), "PlimSwitch") == "Yes"; }, 30000))
      << Cfg();
  if (!release.Fired()) CloseHandle(held);
}

std::string ClipboardText() {
  if (!OpenClipboard(Shell.MainWindow)) return "<no clipboard>";
  HANDLE data = GetClipboardData(CF_TEXT);
  std::string text = data ? static_cast<const char*>(GlobalLock(data)) : "";
  if (data) GlobalUnlock(data);
  CloseClipboard();
  return text;
}

TEST_F(ShellWindow, CopyTextPutsTheSelectionOnTheClipboard) {
  Start();
  SendMessageA(Child(IDC_MAIN_TEXTPANE), EM_SETSEL, 0, 24);
  SendMessageA(Shell.MainWindow, WM_COMMAND, IDM_COPY, 0);
  const std::string copied = ClipboardText();
  EXPECT_EQ(copied, "Velmor for Windows NT/95");
}

std::string LongLine(char first, std::size_t size) {
  std::string text;
  for (int i = 0; text.size() < size; ++i) text += (i % 9 == 8) ? ' ' : static_cast<char>(first + i % 20);
  text.resize(size);
  return text;
}

// A line of the longest text the transport accepts shows at once and the
// rest goes in while messages flow. Copy Text
// and Ctrl+C give back exactly its bytes, none of the breaks the pane
// inserts to show it, also before all of it is in; a text arriving during
// the fill replaces it, and the fill leaves the user's selection and view.
TEST_F(ShellWindow, LongestLineShowsAndCopiesAsReceived) {
  Start();
  const std::string first = LongLine('a', 200000), second = LongLine('f', 999999);
  std::vector<std::size_t> inserted;
  const int shownSize = static_cast<int>(PaneDisplayForm(second, &inserted).size());
  HWND pane = Child(IDC_MAIN_TEXTPANE);

  TextPaneSetText(first.c_str());
  const int firstPiece = GetWindowTextLengthA(pane);
  ASSERT_GT(firstPiece, 0);
  ASSERT_LT(firstPiece, static_cast<int>(first.size()));  // only the first piece so far
  SendMessageA(pane, EM_SETSEL, 0, -1);
  SendMessageA(Shell.MainWindow, WM_COMMAND, IDM_COPY, 0);
  std::string copied = ClipboardText();
  EXPECT_EQ(copied.size(), first.size());
  EXPECT_TRUE(copied == first);
  // One message at a time until a piece more is in: the next text arrives
  // during the fill.
  PumpEachUntil([&] { return GetWindowTextLengthA(pane) != firstPiece; }, 20000);
  ASSERT_GT(GetWindowTextLengthA(pane), firstPiece);
  ASSERT_LT(GetWindowTextLengthA(pane), static_cast<int>(first.size()));

  TextPaneSetText(second.c_str());
  SendMessageA(pane, EM_SETSEL, 3, 10);
  const DWORD begun = GetTickCount();
  while (GetWindowTextLengthA(pane) < shownSize && GetTickCount() - begun < 60000) TakeQuit(20);
  EXPECT_EQ(GetWindowTextLengthA(pane), shownSize);
  EXPECT_GT(SendMessageA(pane, EM_GETLINECOUNT, 0, 0), 999999 / 100);
  DWORD start = 0, end = 0;
  SendMessageA(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 3u);
  EXPECT_EQ(end, 10u);
  EXPECT_EQ(SendMessageA(pane, EM_GETFIRSTVISIBLELINE, 0, 0), 0);

  SendMessageA(pane, EM_SETSEL, 0, -1);
  SendMessageA(pane, WM_CHAR, 3, 0);  // Ctrl+C
  copied = ClipboardText();
  EXPECT_EQ(copied.size(), second.size());
  EXPECT_TRUE(copied == second);
}

int ActivityLinesEndingIn(const std::string& tail) {
  HWND list = GetDlgItem(Shell.MainWindow, IDC_MAIN_ACTIVITYLIST);
  int found = 0;
  const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char line[300] = "";
    if (SendMessageA(list, LB_GETTEXTLEN, i, 0) >= static_cast<LRESULT>(sizeof line)) continue;
    SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
    const std::string text = line;
    found += text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
  }
  return found;
}

// A timer message of another id (the tray animation's, anyone's) never runs
// the schedule; the schedule's own does. The quote is due, and its server
// refuses at once.
TEST_F(ShellWindow, OnlyTheScheduleTimerRunsTheTick) {
  Start("VServerID = 127.0.0.1\r\nPort = 1\r\nIntervalQuote = 1\r\nTimeQuote = 0\r\nSELECTQuote = 1\r\n");
  SendMessageA(Shell.MainWindow, WM_TIMER, ScheduleTimerId + 1, 0);
  SendMessageA(Shell.MainWindow, WM_TIMER, AnimationTimerId, 0);
  EXPECT_EQ(ActivityLinesEndingIn("Event triggered: Quote"), 0);
  EXPECT_EQ(CfgValue(Cfg(), "TimeQuote"), "0");
  SendMessageA(Shell.MainWindow, WM_TIMER, ScheduleTimerId, 0);
  EXPECT_EQ(ActivityLinesEndingIn("Event triggered: Quote"), 1);
  EXPECT_EQ(ActivityLinesEndingIn("Event ended: Quote"), 1);
}

TEST_F(ShellWindow, UnknownCommandsAndPaneNotificationsDoNothing) {
  Start();
  DialogWatch watch;
  SendMessageA(Shell.MainWindow, WM_COMMAND, 508, 0);
  SendMessageA(Shell.MainWindow, WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 1), 0);  // not the whole parameter
  SendMessageA(Shell.MainWindow, WM_COMMAND, MAKEWPARAM(IDC_MAIN_TEXTPANE, EN_CHANGE),
               reinterpret_cast<LPARAM>(Child(IDC_MAIN_TEXTPANE)));
  Pump(50);
  EXPECT_TRUE(watch.Seen().empty());
  EXPECT_TRUE(IsWindow(Shell.MainWindow));
  EXPECT_EQ(BusyHoldQuery(), 0);
}

TEST_F(ShellWindow, FetchCommandsCloseTheirWaitingMessageAndReleaseTheWindow) {
  Start();
  for (WPARAM command : {IDM_GETQUOTE, IDM_GETNEWS, IDM_GETTIPS}) {
    SendMessageA(Shell.MainWindow, WM_COMMAND, command, 0);
    EXPECT_EQ(TransferMessageWindow(), nullptr) << command;
    EXPECT_TRUE(IsWindowEnabled(Shell.MainWindow)) << command;
    EXPECT_EQ(BusyHoldQuery(), 0) << command;
  }
}

HMENU trackedMenu = nullptr;
POINT trackedAt{};
void CALLBACK EndTrackedMenu(HWND, UINT, UINT_PTR id, DWORD) {
  HWND menuWindow = FindWindowA("#32768", nullptr);
  if (!menuWindow || !IsWindowVisible(menuWindow)) return;  // not open yet
  KillTimer(nullptr, id);
  trackedMenu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, 0x01E1 /* MN_GETHMENU */, 0, 0));
  RECT r{};
  GetWindowRect(menuWindow, &r);
  trackedAt = {r.left, r.top};
  EndMenu();
}

TEST_F(ShellWindow, RightClickOnTheTextPaneTracksEditPopup) {
  Start();
  HWND pane = Child(IDC_MAIN_TEXTPANE);
  trackedMenu = nullptr;
  SetTimer(nullptr, 0, 20, EndTrackedMenu);
  EXPECT_EQ(SendMessageA(pane, WM_RBUTTONUP, 0, MAKELPARAM(30, 20)), 1);
  ASSERT_NE(Shell.EditPopupMenu, nullptr);
  EXPECT_EQ(trackedMenu, GetSubMenu(Shell.EditPopupMenu, 0));
  POINT expected{30, 20};
  ClientToScreen(pane, &expected);
  EXPECT_EQ(trackedAt.x, expected.x);
  EXPECT_EQ(trackedAt.y, expected.y);
  EXPECT_EQ(GetMenuItemID(GetSubMenu(Shell.EditPopupMenu, 0), 0), static_cast<UINT>(IDM_COPY));
  EXPECT_EQ(GetMenuItemID(GetSubMenu(Shell.EditPopupMenu, 0), 1), static_cast<UINT>(IDM_GETQUOTE));
}

// Shift+F10 or the context-menu key in the comment editor: our comment menu,
// not the edit control's own.
TEST_F(ShellWindow, KeyboardContextMenuInTheCommentEditorIsOurs) {
  Start();
  HWND parent = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
  HWND editor = CreateWindowA("EDIT", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 200, 100, parent, nullptr,
                              nullptr, nullptr);
  PrepareCommentEditor(editor);
  trackedMenu = nullptr;
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, EndTrackedMenu);
  SendMessageA(editor, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(editor), -1);
  KillTimer(nullptr, timer);
  ASSERT_NE(Shell.CommentPopupMenu, nullptr);
  EXPECT_EQ(trackedMenu, GetSubMenu(Shell.CommentPopupMenu, 0));
  DestroyWindow(parent);
}

TEST_F(ShellWindow, ActivityListKeepsTheLast500AndShowsTheLast) {
  Start();
  HWND list = Child(IDC_MAIN_ACTIVITYLIST);
  char line[32];
  for (int i = 0; i < 505; ++i) {
    std::snprintf(line, sizeof line, "line %d", i);
    ActivityListAdd(line);
  }
  EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 500);
  char text[64] = "";
  SendMessageA(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "line 5");
  SendMessageA(list, LB_GETTEXT, 499, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "line 504");
  // The last line is in view.
  RECT item{}, client{};
  SendMessageA(list, LB_GETITEMRECT, 499, reinterpret_cast<LPARAM>(&item));
  GetClientRect(list, &client);
  EXPECT_GE(item.top, 0);
  EXPECT_LE(item.bottom, client.bottom);
}

TEST_F(ShellWindow, ProgressPaneEditsWaitTogetherAndEveryReaderSeesThem) {
  Start();
  HWND pane = Child(IDC_MAIN_TEXTPANE);
  SetWindowTextA(pane, "ab\r\ncd");
  ProgressPaneEdit(0, "\r\none");
  ProgressPaneEdit(4, "\r\ntwo");    // "ab\r\n" off the control's text
  ProgressPaneEdit(7, "\r\nthree");  // "cd" off the control's, "\r\none" off the waiting text
  char text[64];
  EXPECT_EQ(ProgressPaneText(text, sizeof text), 12);
  EXPECT_STREQ(text, "\r\ntwo\r\nthree");
  EXPECT_EQ(ProgressPaneText(text, 6), 5);
  EXPECT_STREQ(text, "\r\ntwo");
  // A reader of the control itself, here or in another process, gets the
  // same text, with the caret at its end.
  EXPECT_EQ(SendMessageW(pane, WM_GETTEXTLENGTH, 0, 0), 12);
  EXPECT_EQ(WindowText(pane), "\r\ntwo\r\nthree");
  DWORD start = 0, end = 0;
  SendMessageA(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 12u);
  EXPECT_EQ(end, 12u);
  // Lines nobody asks for reach the control within the batch period.
  ProgressPaneEdit(0, "\r\nfour");
  const auto base = reinterpret_cast<WNDPROC>(GetPropA(pane, "VelmorBatchBaseProc"));
  ASSERT_NE(base, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return CallWindowProcW(base, pane, WM_GETTEXTLENGTH, 0, 0) == 18; }, 3000));
}

TEST_F(ShellWindow, StoredStatusLineIsShownUnderTheWindow) {
  Start("Trailer =   Server maintenance at noon   \r\n");
  auto labels = StaticsWithText(Shell.MainWindow, "Server maintenance at noon");
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_RECT(ChildRect(labels[0]), 90, ClientHeight() - 12, 225, 13);
  EXPECT_EQ(GetDlgCtrlID(labels[0]), 0);
}

TEST_F(ShellWindow, TransferInstanceRole) {
  std::string args = std::string("/N /q ") + TransferMarkerArgument;
  Start("WindowLeft = 300\r\n", args.c_str());
  EXPECT_TRUE(Shell.TransferInstance);
  EXPECT_EQ(ClassOf(Shell.MainWindow), "Transfer");
  EXPECT_EQ(WindowText(Shell.MainWindow), "Transfer");
  EXPECT_EQ(GetMenu(Shell.MainWindow), nullptr);
  RECT r{};
  GetWindowRect(Shell.MainWindow, &r);
  EXPECT_RECT(r, 120, 0, 456, 211);
  EXPECT_TRUE(TrayIconExists(Shell.MainWindow, IDN_TRAY_TRANSFER));
  EXPECT_FALSE(TrayIconExists(Shell.MainWindow, IDN_TRAY_NORMAL));
  for (int k = 1; k < IDI_FRAME_COUNT; ++k) EXPECT_EQ(Shell.IconFrames[k], Shell.IconFrames[0]);
  // The text pane keeps the edit control's own procedure: no context menu.
  WNDCLASSA edit{};
  GetClassInfoA(nullptr, "EDIT", &edit);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(Child(IDC_MAIN_TEXTPANE), GWLP_WNDPROC)),
            edit.lpfnWndProc);
  // A left click on its tray icon does not toggle it.
  SendMessageA(Shell.MainWindow, TrayCallbackMessage, IDN_TRAY_TRANSFER, WM_LBUTTONDOWN);
  // Another message whose parameters look like a click is no click.
  SendMessageA(Shell.MainWindow, WM_APP + 7, IDN_TRAY_NORMAL, WM_LBUTTONDOWN);
  SendMessageA(Shell.MainWindow, WM_NULL, IDN_TRAY_NORMAL, WM_LBUTTONDOWN);
  EXPECT_TRUE(IsWindowVisible(Shell.MainWindow));

  EXPECT_EQ(AppRun(), 0);  // the batch transfer, then straight to shutdown
  EXPECT_TRUE(IsWindowVisible(Shell.MainWindow));  // "/N" is ignored

  CancelTransfer = 0;
  ASSERT_TRUE(Close());
  EXPECT_EQ(CancelTransfer, 1);
  const std::string cfg = Cfg();
  EXPECT_EQ(CfgValue(cfg, "WindowLeft"), "300");
  EXPECT_EQ(CfgValue(cfg, "WindowWidth"), "<absent>");
}


bool probedVisible = true;
BOOL probedTimer = FALSE;
void CALLBACK ProbeThenClose(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  probedVisible = IsWindowVisible(Shell.MainWindow) != FALSE;
  probedTimer = KillTimer(Shell.MainWindow, ScheduleTimerId);  // TRUE only when it was running
  PostMessageA(Shell.MainWindow, WM_CLOSE, 0, 0);
}

TEST_F(ShellWindow, RunHidesWhenAskedStartsTheTimerAndEndsOnClose) {
  Start("", "-x/nq /Q");
  EXPECT_TRUE(Shell.StartHidden);
  SetTimer(nullptr, 0, 50, ProbeThenClose);
  EXPECT_EQ(AppRun(), 0);
  EXPECT_FALSE(probedVisible);
  EXPECT_TRUE(probedTimer);
  EXPECT_FALSE(IsWindow(Shell.MainWindow));
  EXPECT_EQ(CfgValue(Cfg(), "WindowTop"), "137");
}

TEST_F(ShellWindow, RunWithoutSwitchesKeepsTheWindowShown) {
  Start();
  SetTimer(nullptr, 0, 50, ProbeThenClose);
  EXPECT_EQ(AppRun(), 0);
  EXPECT_TRUE(probedVisible);
  EXPECT_TRUE(probedTimer);
}

}  // namespace
