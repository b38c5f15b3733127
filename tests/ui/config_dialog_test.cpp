// The Configure dialog as the user drives it: item and category clicks,
// focus moving from control to control, button clicks; against the
// reference server (and raw peers where the bytes on the wire matter).
// What is checked is what can be seen: the bytes of velmor.cfg, the request
// records, the activity list and the message boxes.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/status.h"
#include "config/basic_settings.h"
#include "content/wallpaper_style.h"
#include "diag/log.h"
#include "interact/category_list.h"
#include "net/request_record.h"
#include "res/resource.h"
#include "base/clock.h"
#include "schedule/item_table.h"
#include "tests/app/shell_fixture.h"
#include "tests/support/raw_peer_win.h"
#include "tests/support/reference_server_win.h"
#include "ui/config_dialog.h"
#include "ui/config_values.h"

namespace {

constexpr int QuoteCategories = 40;
ReferenceServer* server = nullptr;

HWND Ctl(HWND dlg, int id) { return GetDlgItem(dlg, id); }
// A mouse click on a button: the focus moves to it (the control that had it
// is left), a check box turns, and the dialog gets the click. (Not BM_CLICK:
// under Wine a button whose click handler ran a message box ignores the
// next BM_CLICK.)
void Click(HWND dlg, int id) {
  HWND button = Ctl(dlg, id);
  SetFocus(button);
  if ((GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
    const bool on = SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
    SendMessageA(button, BM_SETCHECK, on ? BST_UNCHECKED : BST_CHECKED, 0);
  }
  SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}
void Focus(HWND dlg, int id) { SetFocus(Ctl(dlg, id)); }
// Focus goes to the Close button, which stores nothing.
void Leave(HWND dlg) { Focus(dlg, IDC_CONFIG_CLOSE); }

// A mouse click on a list entry: the list takes the focus, changes its
// selection and notifies the dialog as it would for the user.
void ClickListItem(HWND dlg, int id, int index) {
  HWND list = Ctl(dlg, id);
  SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
  RECT r{};
  SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  const LPARAM at = MAKELPARAM(r.left + 3, (r.top + r.bottom) / 2);
  SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(list, WM_LBUTTONUP, 0, at);
}

// Picks a combo entry the way the keyboard does, then leaves the combo.
void ChooseAndLeave(HWND dlg, int id, int index) {
  Focus(dlg, id);
  SendDlgItemMessageA(dlg, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  Leave(dlg);
}

// Replaces an edit's text by typing, then leaves it.
void TypeAndLeave(HWND dlg, int id, const std::string& text) {
  Focus(dlg, id);
  SendDlgItemMessageA(dlg, id, EM_SETSEL, 0, -1);
  SendDlgItemMessageA(dlg, id, WM_CLEAR, 0, 0);
  for (char c : text) SendMessageA(Ctl(dlg, id), WM_CHAR, static_cast<WPARAM>(c), 0);
  Leave(dlg);
}

std::vector<std::string> ListTexts(HWND list) {
  std::vector<std::string> out;
  const int n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    std::string t(static_cast<size_t>(SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0)) + 1, '\0');
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&t[0]));
    t.resize(t.size() - 1);
    out.push_back(t);
  }
  return out;
}

std::vector<int> SelectedPositions(HWND dlg) {
  HWND list = Ctl(dlg, IDC_CONFIG_CATEGORIES);
  std::vector<int> out;
  const int n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i)
    if (SendMessageA(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0) out.push_back(i);
  return out;
}

int ComboIndex(HWND dlg, int id) { return static_cast<int>(SendDlgItemMessageA(dlg, id, CB_GETCURSEL, 0, 0)); }
std::vector<int> Interval(HWND dlg) {
  return {ComboIndex(dlg, IDC_CONFIG_DAYS), ComboIndex(dlg, IDC_CONFIG_HOURS), ComboIndex(dlg, IDC_CONFIG_MINUTES)};
}
bool WindowCombosEnabled(HWND dlg) {
  const int ids[] = {IDC_CONFIG_STARTHOUR, IDC_CONFIG_STARTMINUTE, IDC_CONFIG_ENDHOUR, IDC_CONFIG_ENDMINUTE};
  int on = 0;
  for (int id : ids) on += IsWindowEnabled(Ctl(dlg, id)) ? 1 : 0;
  EXPECT_TRUE(on == 0 || on == 4) << "the four time lists change together";
  return on == 4;
}

// The activity list's lines, without their stamps (wide messages: see the
// platform notes).
std::vector<std::string> ActivityTail(size_t n) {
  HWND list = GetDlgItem(Shell.MainWindow, IDC_MAIN_ACTIVITYLIST);
  std::vector<std::string> all;
  const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t line[600] = {};
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line));
    char narrow[600] = {};
    WideCharToMultiByte(CP_ACP, 0, line, -1, narrow, sizeof narrow, nullptr, nullptr);
    std::string s = narrow;
    const size_t tab = s.find("-\t");
    all.push_back(tab == std::string::npos ? s : s.substr(tab + 2));
  }
  if (all.size() > n) all.erase(all.begin(), all.end() - static_cast<std::ptrdiff_t>(n));
  return all;
}

int ServerRequests(int type) {
  const std::string log = server->Log();
  const std::string needle = " type=" + std::to_string(type) + "/";
  int n = 0;
  for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) ++n;
  return n;
}

struct Box {
  std::string text;
  HWND owner;
};

class ConfigDialogTest : public ShellFixture {
 protected:
  static void SetUpTestSuite() {
    const std::string content = FreshUnixDir("config-dialog");
    std::string quotes;
    for (int i = 0; i < QuoteCategories; ++i) {
      quotes += "Quote category " + std::to_string(i) + "\n";
      WriteUnixFile(content + "/quotes/" + std::to_string(i) + ".txt", "Quote of " + std::to_string(i) + "\n");
    }
    WriteUnixFile(content + "/categories/quote.txt", quotes);
    WriteUnixFile(content + "/categories/picture.txt", "Tiles\nScreens\n");
    WriteUnixFile(content + "/categories/sound.txt", "Chimes\n");
    WriteUnixFile(content + "/news.txt", "n\n");
    WriteUnixFile(content + "/tips.txt", "t\n");
    server = new ReferenceServer(content);
  }
  static void TearDownTestSuite() {
    if (!server) return;
    const int port = server->Port();
    delete server;
    server = nullptr;
    // Gone before the program ends, not some time after it.
    EXPECT_FALSE(AcceptsConnections(port));
  }

  void SetUp() override {
    ASSERT_TRUE(server && server->Running());
    server->SetFaults("");
    listRequests = ServerRequests(12);
    for (int t = CategoryTypeFirst; t <= CategoryTypeLast; ++t) DiscardCategoryList(t);
  }
  void TearDown() override {
    server->SetFaults("");
    ShellFixture::TearDown();
  }

  void StartAt(int port, const std::string& extra = "") {
    Start("VServerID = 127.0.0.1\r\nPort = " + std::to_string(port) +
          "\r\nSaveLogToDisk = Yes\r\nPlimSwitch = No\r\n" + extra);
  }

  // Opens the dialog over the main window and runs script inside it, then
  // presses Close. Message boxes are recorded and answered with OK; other
  // dialogs go to onOther.
  void RunDialog(const std::function<void(HWND)>& script,
                 const std::function<void(const SeenDialog&)>& onOther = nullptr) {
    boxes.clear();
    bool ran = false;
    DialogWatch watch([&](const SeenDialog& d) {
      if (d.caption == "Configure Velmor" && !ran) {
        ran = true;
        EXPECT_EQ(d.owner, Shell.MainWindow);
        script(d.window);
        Click(d.window, IDC_CONFIG_CLOSE);
      } else if (d.caption != Shell.MainClassName && onOther) {
        onOther(d);
      }
    });
    // A message box is not always activated (one owned by the disabled main
    // window while this dialog runs), so boxes are looked for every 50 ms
    // from a timer, which runs inside every modal loop of the thread.
    active = this;
    const UINT_PTR poll = SetTimer(nullptr, 0, 50, FindBoxes);
    RunConfigureDialog(Shell.MainWindow);
    KillTimer(nullptr, poll);
    active = nullptr;
    EXPECT_TRUE(ran);
  }

  static void CALLBACK FindBoxes(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM) -> BOOL {
          if (!active || ClassOf(w) != "#32770" || WindowText(w) != Shell.MainClassName || !IsWindowVisible(w)) return TRUE;
          for (HWND seen : active->answered)
            if (seen == w) return TRUE;
          active->answered.push_back(w);
          HWND text = GetDlgItem(w, 0xFFFF);
          active->boxes.push_back({text ? WindowText(text) : "", GetWindow(w, GW_OWNER)});
          DialogWatch::PressOk(w);
          return TRUE;
        },
        0);
  }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> out;
    for (const Box& b : boxes) out.push_back(b.text);
    return out;
  }

  std::vector<Box> boxes;
  std::vector<HWND> answered;
  static ConfigDialogTest* active;
  int listRequests = 0;  // request 12 the server had seen before the test
};

TEST_F(ConfigDialogTest, ShowsStoredItemSettingsAndStoresEachChangeOnLeaving) {
  StartAt(server->Port(),
          "IntervalQuote = 1505\r\nSELECTQuote = 3 11\r\nEnablestQuote = 1\r\nStarthQuote = 9\r\n"
          "StartmQuote = 30\r\nEndhQuote = 17\r\nEndmQuote = 99\r\n");
  RunDialog([&](HWND dlg) {
    // The host field has the first focus; leaving it writes the host.
    std::string opened = Cfg();
    Leave(dlg);
    opened.replace(opened.find("VServerID = 127.0.0.1"), 21, "VSERVERID           =127.0.0.1");
    EXPECT_EQ(Cfg(), opened);
    // Every row of the table (the fixed three, then the sound events of
    // Wine's scheme), in row order.
    std::vector<std::string> rows;
    for (int row = 0; row < ItemCount(); ++row) rows.emplace_back(ItemTable[row].displayName);
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(rows.begin(), rows.begin() + 3),
              (std::vector<std::string>{"Velmor Quote", "Background Picture", "Random Sound"}));
    EXPECT_EQ(ListTexts(Ctl(dlg, IDC_CONFIG_ITEMS)), rows);
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_CONFIG_ITEMS, LB_GETCURSEL, 0, 0), LB_ERR);
    EXPECT_EQ(WindowText(Ctl(dlg, IDC_CONFIG_HOST)), "127.0.0.1");
    EXPECT_EQ(WindowText(Ctl(dlg, IDC_CONFIG_PORT)), std::to_string(server->Port()));
    EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_CONFIG_PLIMSWITCH), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_CONFIG_SAVELOG), BST_CHECKED);
    const int combos[] = {IDC_CONFIG_DAYS, IDC_CONFIG_HOURS, IDC_CONFIG_MINUTES, IDC_CONFIG_STARTHOUR,
                          IDC_CONFIG_STARTMINUTE, IDC_CONFIG_ENDHOUR, IDC_CONFIG_ENDMINUTE};
    const int entries[] = {366, 24, 60, 24, 60, 24, 60};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(SendDlgItemMessageA(dlg, combos[i], CB_GETCOUNT, 0, 0), entries[i]);
    EXPECT_FALSE(WindowCombosEnabled(dlg));

    // The quote item: its categories come from the server, 3 and 11 are
    // selected (not 1), 1505 minutes are 1 day, 1 hour, 5 minutes, and the
    // window shows except for the minute 99 that no entry has.
    ClickListItem(dlg, IDC_CONFIG_ITEMS, 0);
    const std::vector<std::string> names = ListTexts(Ctl(dlg, IDC_CONFIG_CATEGORIES));
    ASSERT_EQ(names.size(), static_cast<size_t>(QuoteCategories));
    EXPECT_EQ(names[0], "Quote category 0");
    EXPECT_EQ(names[39], "Quote category 39");
    EXPECT_EQ(SelectedPositions(dlg), (std::vector<int>{3, 11}));
    EXPECT_EQ(Interval(dlg), (std::vector<int>{1, 1, 5}));
    EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_CONFIG_ENABLESTART), BST_CHECKED);
    EXPECT_TRUE(WindowCombosEnabled(dlg));
    EXPECT_EQ(ComboIndex(dlg, IDC_CONFIG_STARTHOUR), 9);
    EXPECT_EQ(ComboIndex(dlg, IDC_CONFIG_STARTMINUTE), 30);
    EXPECT_EQ(ComboIndex(dlg, IDC_CONFIG_ENDHOUR), 17);
    EXPECT_EQ(ComboIndex(dlg, IDC_CONFIG_ENDMINUTE), CB_ERR);

    // Another item without keys: 1 day, no window; the other item's
    // window minute stays where it was.
    ClickListItem(dlg, IDC_CONFIG_ITEMS, 1);
    EXPECT_EQ(ListTexts(Ctl(dlg, IDC_CONFIG_CATEGORIES)), (std::vector<std::string>{"Tiles", "Screens"}));
    EXPECT_EQ(SelectedPositions(dlg), std::vector<int>{});
    EXPECT_EQ(Interval(dlg), (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_CONFIG_ENABLESTART), BST_UNCHECKED);
    EXPECT_FALSE(WindowCombosEnabled(dlg));
    EXPECT_EQ(Cfg(), opened) << "showing settings writes nothing";

    // Back to the quote: its list comes from the cache.
    ClickListItem(dlg, IDC_CONFIG_ITEMS, 0);
    EXPECT_EQ(SelectedPositions(dlg), (std::vector<int>{3, 11}));
    EXPECT_TRUE(PumpUntil([this] { return ServerRequests(12) == listRequests + 2; }, 30000));

    // The interval: 0 days 0 hours 5 minutes stores 10, then 1 hour 65.
    ChooseAndLeave(dlg, IDC_CONFIG_DAYS, 0);
    ChooseAndLeave(dlg, IDC_CONFIG_HOURS, 0);
    ChooseAndLeave(dlg, IDC_CONFIG_MINUTES, 5);
    EXPECT_EQ(CfgValue(Cfg(), "IntervalQuote"), "10");
    ChooseAndLeave(dlg, IDC_CONFIG_HOURS, 1);
    std::string expected = opened;
    expected.replace(expected.find("IntervalQuote = 1505"), 20, "IntervalQuote       =65");
    EXPECT_EQ(Cfg(), expected);

    // Categories: one more, then too many (kept as before), then none.
    ClickListItem(dlg, IDC_CONFIG_CATEGORIES, 0);
    Leave(dlg);
    expected.replace(expected.find("SELECTQuote = 3 11"), 18, "SelectQuote         =0 3 11");
    EXPECT_EQ(Cfg(), expected);
    Focus(dlg, IDC_CONFIG_CATEGORIES);
    SendDlgItemMessageA(dlg, IDC_CONFIG_CATEGORIES, LB_SETSEL, TRUE, -1);  // 0 to 39: 109 characters
    Leave(dlg);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{SelectionTooLongText});
    EXPECT_EQ(boxes[0].owner, dlg);
    EXPECT_EQ(Cfg(), expected);
    EXPECT_EQ(SelectedPositions(dlg), (std::vector<int>{0, 3, 11})) << "the list shows what is stored";
    Focus(dlg, IDC_CONFIG_CATEGORIES);
    SendDlgItemMessageA(dlg, IDC_CONFIG_CATEGORIES, LB_SETSEL, FALSE, -1);
    Leave(dlg);
    EXPECT_EQ(CfgValue(Cfg(), "SelectQuote"), "");

    // The window of the picture item: one click writes all five keys, in
    // order, also those nobody touched; a changed hour writes all five again.
    ClickListItem(dlg, IDC_CONFIG_ITEMS, 1);
    const std::string before = Cfg();
    Click(dlg, IDC_CONFIG_ENABLESTART);
    EXPECT_TRUE(WindowCombosEnabled(dlg));
    EXPECT_EQ(Cfg(), before + "StarthBackground  =  0\r\nStartmBackground  =  0\r\nEndhBackground  =  0\r\n"
                              "EndmBackground  =  0\r\nEnablestBackground  =  1\r\n");
    ChooseAndLeave(dlg, IDC_CONFIG_ENDHOUR, 22);
    EXPECT_EQ(Cfg(), before + "StarthBackground    =0\r\nStartmBackground    =0\r\nEndhBackground      =22\r\n"
                              "EndmBackground      =0\r\nEnablestBackground  =1\r\n");
  });
  EXPECT_EQ(boxes.size(), 1u);
}

// An interval over the 365 days the combo holds shows no day at all (not
// the item shown before), leaving the combo stores nothing, and a day the
// user chooses stores the interval with it.
TEST_F(ConfigDialogTest, AnIntervalTheCombosCannotShowIsNeverOverwrittenUnasked) {
  StartAt(server->Port(), "IntervalQuote = 600000\r\nIntervalBackground = 4320\r\n");
  RunDialog([&](HWND dlg) {
    ClickListItem(dlg, IDC_CONFIG_ITEMS, 1);
    EXPECT_EQ(Interval(dlg), (std::vector<int>{3, 0, 0}));
    ClickListItem(dlg, IDC_CONFIG_ITEMS, 0);  // 416 days, 16 hours
    EXPECT_EQ(ComboIndex(dlg, IDC_CONFIG_DAYS), CB_ERR);
    EXPECT_EQ(ComboIndex(dlg, IDC_CONFIG_HOURS), 16);
    Focus(dlg, IDC_CONFIG_DAYS);
    Leave(dlg);
    EXPECT_EQ(CfgValue(Cfg(), "IntervalQuote"), "600000");
    ChooseAndLeave(dlg, IDC_CONFIG_DAYS, 2);
    EXPECT_EQ(CfgValue(Cfg(), "IntervalQuote"), "3840");
    EXPECT_EQ(CfgValue(Cfg(), "IntervalBackground"), "4320");
  });
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ConfigDialogTest, WithoutAnItemOnlyTheMessageAndSwitchesHostAndPortAtOnce) {
  StartAt(ClosedPort());
  // A peer that answers the category request for pictures, and one that
  // answers the ping: both reached through the port typed in the dialog.
  RawPeer lists({RawPeer::Read(90), RawPeer::Send(WireRecord(0, 2, 0)),
                 RawPeer::Send(WireRecord(0, 4096, 0).replace(36, 4, std::string("\x04\0\0\0", 4)) + std::string("A\0B\0", 4)),
                 RawPeer::Close()});
  RawPeer ping({RawPeer::Read(90), RawPeer::Send(WireRecord(0, 0, 0)), RawPeer::Close()});
  RunDialog([&](HWND dlg) {
    std::string opened = Cfg();
    Focus(dlg, IDC_CONFIG_CATEGORIES);
    Leave(dlg);
    Click(dlg, IDC_CONFIG_REFRESH);
    Click(dlg, IDC_CONFIG_RESETTIMER);
    Click(dlg, IDC_CONFIG_TRIGGER);
    ChooseAndLeave(dlg, IDC_CONFIG_MINUTES, 20);  // silently nothing
    Click(dlg, IDC_CONFIG_ENABLESTART);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>(4, SelectItemFirstText));
    for (const Box& b : boxes) EXPECT_EQ(b.owner, dlg);
    opened.replace(opened.find("VServerID = 127.0.0.1"), 21, "VSERVERID           =127.0.0.1");
    EXPECT_EQ(Cfg(), opened);
    Click(dlg, IDC_CONFIG_ENABLESTART);

    // The switches are written and used at once.
    Click(dlg, IDC_CONFIG_PLIMSWITCH);
    EXPECT_STREQ(PlimSwitch, "Yes");
    Click(dlg, IDC_CONFIG_SAVELOG);
    EXPECT_STREQ(SaveLogToDisk, "No");
    LogActivity("After the switch");
    EXPECT_EQ(LogText().find("After the switch"), std::string::npos);
    std::string expected = opened;
    expected.replace(expected.find("SaveLogToDisk = Yes"), 19, "SaveLogToDisk       =No");
    expected.replace(expected.find("PlimSwitch = No"), 15, "PlimSwitch          =Yes");
    EXPECT_EQ(Cfg(), expected);

    // The wallpaper's layout and colours: tiled 256 colours until chosen,
    // then stored by name.
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_CONFIG_WALLSTYLE, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_CONFIG_FULLCOLOUR), BST_UNCHECKED);
    ChooseAndLeave(dlg, IDC_CONFIG_WALLSTYLE, 4);
    Click(dlg, IDC_CONFIG_FULLCOLOUR);
    EXPECT_EQ(CfgValue(Cfg(), "WallpaperStyle"), "Fill");
    EXPECT_EQ(CfgValue(Cfg(), "FullColour"), "Yes");
    EXPECT_EQ(WallpaperStyleOf(ChosenWallpaperStyle()).wallpaperStyle, std::string("10"));
    EXPECT_TRUE(FullColourWallpaper());

    // The fields hold at most 190 and 10 characters.
    TypeAndLeave(dlg, IDC_CONFIG_HOST, std::string(200, 'h'));
    EXPECT_EQ(std::string(ServerHost), std::string(190, 'h'));
    TypeAndLeave(dlg, IDC_CONFIG_HOST, "127.0.0.1");
    TypeAndLeave(dlg, IDC_CONFIG_PORT, "123456789012");
    EXPECT_STREQ(ServerPort, "1234567890");
    EXPECT_EQ(CfgValue(Cfg(), "PORT"), "1234567890");

    // A port that is no port is stored, and the next connection fails.
    boxes.clear();
    Click(dlg, IDC_CONFIG_PING);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Ping failed. Unable to make connection to server. Check the "
                                                   "address and port and try again later."});
    EXPECT_EQ(ActivityTail(2), (std::vector<std::string>{"Error on Connect error: -3", "Ping failed."}));

    // The peers' ports, typed and left, serve the next fetch and ping.
    TypeAndLeave(dlg, IDC_CONFIG_PORT, std::to_string(lists.Port()));
    ClickListItem(dlg, IDC_CONFIG_ITEMS, 1);
    EXPECT_EQ(ListTexts(Ctl(dlg, IDC_CONFIG_CATEGORIES)), (std::vector<std::string>{"A", "B"}));
    TypeAndLeave(dlg, IDC_CONFIG_PORT, std::to_string(ping.Port()));
    boxes.clear();
    Click(dlg, IDC_CONFIG_PING);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"The Velmor Server responded successfully to your ping."});
    EXPECT_EQ(boxes[0].owner, dlg);
    EXPECT_EQ(CfgValue(Cfg(), "VSERVERID"), "127.0.0.1");
  });
  // The records on the wire: request 12 for type 2, request 11.
  RequestRecord sent;
  ASSERT_TRUE(DecodeRequestRecord(lists.Received().data(), lists.Received().size(), &sent));
  EXPECT_EQ(lists.Received().size(), 90u);
  EXPECT_STREQ(sent.client_id, ClientIdentity);
  EXPECT_EQ(sent.magic1, 7);
  EXPECT_EQ(sent.magic2, 3);
  EXPECT_EQ(sent.code, 12);
  EXPECT_EQ(sent.num1, 2);
  EXPECT_EQ(sent.num2, 0);
  EXPECT_EQ(lists.Received().substr(40), std::string(50, '\0'));
  ASSERT_TRUE(DecodeRequestRecord(ping.Received().data(), ping.Received().size(), &sent));
  EXPECT_EQ(sent.code, 11);
  EXPECT_EQ(sent.num1, 0);
}

ConfigDialogTest* ConfigDialogTest::active = nullptr;

bool Settled(HWND dlg) { return TransferMessageWindow() == nullptr && IsWindowEnabled(dlg); }

TEST_F(ConfigDialogTest, RefreshTriggerResetAndPingTalkToTheServer) {
  StartAt(server->Port(), "IntervalQuote = 60\r\nSELECTQuote = 3 11\r\n");
  RunDialog([&](HWND dlg) {
    ClickListItem(dlg, IDC_CONFIG_ITEMS, 0);
    EXPECT_TRUE(Settled(dlg));

    // Refresh asks again and restores the stored selection.
    Click(dlg, IDC_CONFIG_REFRESH);
    EXPECT_TRUE(PumpUntil([this] { return ServerRequests(12) == listRequests + 2; }, 30000));
    EXPECT_EQ(SelectedPositions(dlg), (std::vector<int>{3, 11}));

    // Trigger runs the quote under its message and leaves Time alone; the
    // slow answer lets a timer see the message and the disabled dialog.
    server->SetFaults("1 drip 100 16");
    std::string shown;
    bool disabled = false;
    DelayedAction look(300, [&] {
      if (HWND popup = TransferMessageWindow()) shown = StaticTextOf(popup);
      disabled = !IsWindowEnabled(dlg);
    });
    Click(dlg, IDC_CONFIG_TRIGGER);
    EXPECT_EQ(shown, TriggerWaitText);
    EXPECT_TRUE(disabled);
    EXPECT_TRUE(Settled(dlg));
    EXPECT_EQ(ActivityTail(1), std::vector<std::string>{"New Quote Available."});
    EXPECT_EQ(CfgValue(Cfg(), "TimeQuote"), "<absent>");
    server->SetFaults("");

    // Reset writes the current minute.
    const long before = MinuteNow();
    Click(dlg, IDC_CONFIG_RESETTIMER);
    const long stored = std::stol(CfgValue(Cfg(), "TimeQuote"));
    EXPECT_TRUE(stored >= before && stored <= MinuteNow()) << stored;

    // A busy server answering the ping: two boxes in turn.
    server->SetFaults("11 busy");
    Click(dlg, IDC_CONFIG_PING);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"The Velmor server you're attached to is busy.",
                                                    "But since you were trying to ping, it was aware enough to say "
                                                    "it was busy, so I guess the ping worked."}));
    for (const Box& b : boxes) EXPECT_EQ(b.owner, dlg);
    EXPECT_TRUE(Settled(dlg));
  });
  EXPECT_TRUE(PumpUntil([this] { return ServerRequests(12) == listRequests + 2; }, 30000));
  EXPECT_TRUE(PumpUntil([this] { return ServerRequests(1) >= 1; }, 30000));
}

TEST_F(ConfigDialogTest, FailedListsCloseTheirMessageAndARefusedDirectoryIsUndone) {
  StartAt(server->Port());
  HWND configDialog = nullptr;
  HWND dirOwner = nullptr;
  RunDialog(
      [&](HWND dlg) {
        configDialog = dlg;
        // A refused list request: the line, the fill's line and box, an
        // empty list.
        ClickListItem(dlg, IDC_CONFIG_ITEMS, 2);
        EXPECT_EQ(ListTexts(Ctl(dlg, IDC_CONFIG_CATEGORIES)), std::vector<std::string>{"Chimes"});
        server->SetFaults("12 code 4");
        Click(dlg, IDC_CONFIG_REFRESH);
        EXPECT_EQ(ActivityTail(2), (std::vector<std::string>{"Invalid category request", "Unable to get category list"}));
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{CategoryListFailedText});
        EXPECT_EQ(boxes.at(0).owner, dlg) << "the dialog's own box";
        EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_CONFIG_CATEGORIES, LB_GETCOUNT, 0, 0), 0);
        EXPECT_TRUE(Settled(dlg));

        // A list that stalls after its header until Cancel Transfer, which
        // comes once a loaded machine has surely reached the stall.
        boxes.clear();
        server->SetFaults("12 stall 183");  // the header and 3 of the 7 bytes of "Chimes"
        DelayedAction cancel(3000, [] {
          if (HWND popup = TransferMessageWindow())
            PostMessageA(popup, WM_COMMAND, MAKEWPARAM(CancelTransferButtonId, BN_CLICKED), 0);
        });
        Click(dlg, IDC_CONFIG_REFRESH);
        EXPECT_TRUE(cancel.Fired());
        EXPECT_EQ(ActivityTail(2), (std::vector<std::string>{"Transfer cancelled", "Unable to get category list"}));
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{CategoryListFailedText});
        EXPECT_TRUE(Settled(dlg));
        server->SetFaults("");

        // The data directory dialog, owned by this one: a refused directory
        // and Cancel leave the directory as it was.
        boxes.clear();
        const std::string dataDir = DataDirectory;
        Click(dlg, IDC_CONFIG_SETDIR);
        EXPECT_EQ(std::string(DataDirectory), dataDir);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Directory: 'C:\\no-such-velmor-dir\\' does not exist."});
      },
      [&](const SeenDialog& d) {
        if (d.caption != "Set Velmor Data Directory") return;
        dirOwner = d.owner;
        SetDlgItemTextA(d.window, IDC_CONFIGDIR_DIRECTORY, "C:\\no-such-velmor-dir");
        SendMessageA(Ctl(d.window, IDC_CONFIGDIR_OK), BM_CLICK, 0, 0);
        SendMessageA(Ctl(d.window, IDC_CONFIGDIR_CANCEL), BM_CLICK, 0, 0);
      });
  EXPECT_EQ(dirOwner, configDialog);
}

}  // namespace
