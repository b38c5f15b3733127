// The shell's windows at the screen's DPI: the program runs in prefixes set
// to 96, 144 and 192 DPI ("LogPixels"). At 96 every rectangle is where it
// always was; at more, every length grows with the DPI, and no text is cut
// off by its window.
#include <cstring>
#include <string>

#include "app/main_window.h"
#include "app/shell_text.h"
#include "app/status.h"
#include "res/resource.h"
#include "tests/app/shell_fixture.h"

namespace {

using ShellDpi = ShellFixture;

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

// A length of the 96-DPI layout at the screen's DPI.
int S(int pixels, int dpi = ScreenDpi()) { return MulDiv(pixels, dpi, 96); }

std::string TextOf(HWND w) {
  char buf[300] = {};
  GetWindowTextA(w, buf, sizeof buf);
  return buf;
}

// The window's text, in its own font, fits inside its client area.
void ExpectTextFits(HWND w) {
  const std::string text = TextOf(w);
  ASSERT_FALSE(text.empty());
  RECT client{};
  GetClientRect(w, &client);
  HDC dc = GetDC(w);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(w, WM_GETFONT, 0, 0)));
  RECT need{0, 0, 0, 0};
  DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_SINGLELINE);
  SelectObject(dc, old);
  ReleaseDC(w, dc);
  EXPECT_LE(need.right, client.right) << "too wide: " << text;
  EXPECT_LE(need.bottom, client.bottom) << "too tall: " << text;
}

// Child rectangle in the parent's client coordinates.
RECT In(HWND parent, HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

HWND LabelWithText(HWND parent, const char* text) {
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (TextOf(c) == text) return c;
  return nullptr;
}

void ExpectLaidOutFor(int dpi) {
  RECT client{};
  GetClientRect(Shell.MainWindow, &client);
  const int W = client.right, H = client.bottom;
  EXPECT_RECT(In(Shell.MainWindow, GetDlgItem(Shell.MainWindow, IDC_MAIN_TITLE)), W - S(125, dpi), H - S(13, dpi), S(170, dpi),
              S(13, dpi));
  EXPECT_RECT(In(Shell.MainWindow, GetDlgItem(Shell.MainWindow, IDC_MAIN_TEXTPANE)), S(5, dpi), S(5, dpi), W - 2 * S(5, dpi),
              H - S(125, dpi));
  const RECT list = In(Shell.MainWindow, GetDlgItem(Shell.MainWindow, IDC_MAIN_ACTIVITYLIST));
  EXPECT_EQ(list.left, S(5, dpi));
  EXPECT_EQ(list.top, H - S(105, dpi));
  EXPECT_LE(list.bottom - list.top, S(95, dpi));
  LOGFONTA lf{};
  ASSERT_TRUE(GetObjectA(Shell.SmallFont, sizeof lf, &lf));
  EXPECT_EQ(lf.lfHeight, S(8, dpi));
}

TEST_F(ShellDpi, MainWindowLabelsAndTrayIconScale) {
  const int dpi = ScreenDpi();
  std::printf("screen DPI %d\n", dpi);
  Start("Trailer  =  Server news: 12 new pictures today\r\n");
  RECT outer{};
  GetWindowRect(Shell.MainWindow, &outer);
  EXPECT_EQ(outer.right - outer.left, S(456));
  EXPECT_EQ(outer.bottom - outer.top, S(211));
  ExpectLaidOutFor(dpi);
  // The text pane keeps its 40 pixels of 96 DPI, scaled, under a menu bar
  // that grows with the DPI too.
  RECT pane{};
  GetClientRect(GetDlgItem(Shell.MainWindow, IDC_MAIN_TEXTPANE), &pane);
  EXPECT_GE(pane.bottom, S(30)) << "text pane height";

  // The labels of the status row: scaled rectangles their text fits in.
  BusyHoldBegin();
  ShowWaitLabel();
  const int h = ClientHeight();
  HWND hold = LabelWithText(Shell.MainWindow, HoldLabelText), wait = LabelWithText(Shell.MainWindow, WaitLabelText);
  HWND trailer = LabelWithText(Shell.MainWindow, "Server news: 12 new pictures today");
  ASSERT_NE(hold, nullptr);
  ASSERT_NE(wait, nullptr);
  ASSERT_NE(trailer, nullptr);
  EXPECT_RECT(In(Shell.MainWindow, hold), S(5), h - S(13) + 1, S(80), S(13));
  EXPECT_RECT(In(Shell.MainWindow, wait), S(90), h - S(13) + 1, S(125), S(13));
  EXPECT_RECT(In(Shell.MainWindow, trailer), S(90), h - S(13) + 1, S(225), S(13));
  for (HWND label : {hold, wait, trailer, GetDlgItem(Shell.MainWindow, IDC_MAIN_TITLE)}) ExpectTextFits(label);
  HideWaitLabel();
  BusyHoldEnd();

  // The tray's icons are small icons of this DPI: 16 pixels at 96.
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(Shell.IconFrames[0], &info));
  BITMAP bitmap{};
  GetObjectA(info.hbmMask, sizeof bitmap, &bitmap);
  EXPECT_EQ(bitmap.bmWidth, S(16));
  if (info.hbmColor) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
}

TEST_F(ShellDpi, TransferPopUpHoldsItsLabelAndButton) {
  Start();
  ShowTransferMessage(ConnectingText, nullptr);
  HWND popup = TransferMessageWindow();
  ASSERT_NE(popup, nullptr);
  RECT outer{}, client{};
  GetWindowRect(popup, &outer);
  GetClientRect(popup, &client);
  // 52 pixels high at 96 DPI under a classic caption, as it always was.
  EXPECT_GE(outer.bottom - outer.top, S(52));
  HWND label = GetWindow(popup, GW_CHILD);
  HWND button = GetDlgItem(popup, IDC_MSGWND_CANCEL);
  ASSERT_NE(label, nullptr);
  ASSERT_NE(button, nullptr);
  for (HWND c : {label, button}) {
    const RECT r = In(popup, c);
    EXPECT_LE(r.bottom, client.bottom) << TextOf(c) << " cut off at the bottom";
    EXPECT_LE(r.right, client.right) << TextOf(c) << " cut off at the right";
  }
  EXPECT_EQ(In(popup, label).top, S(7));
  EXPECT_EQ(In(popup, button).left - In(popup, label).right, S(5));
  ExpectTextFits(label);
  ExpectTextFits(button);
  ShowTransferMessage(nullptr, nullptr);
}

// A move to a monitor of another DPI: the window takes the suggested size,
// its font and children follow that DPI.
TEST_F(ShellDpi, DpiChangeLaysTheWindowOutAgain) {
  Start();
  for (int dpi : {192, 96}) {
    SCOPED_TRACE(dpi);
    RECT suggested{100, 100, 100 + S(456, dpi), 100 + S(211, dpi)};
    SendMessageA(Shell.MainWindow, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    RECT outer{};
    GetWindowRect(Shell.MainWindow, &outer);
    EXPECT_EQ(outer.right - outer.left, S(456, dpi));
    EXPECT_EQ(outer.bottom - outer.top, S(211, dpi));
    ExpectLaidOutFor(dpi);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(GetDlgItem(Shell.MainWindow, IDC_MAIN_TITLE), WM_GETFONT, 0, 0)),
              Shell.SmallFont);
  }
}

// The stored size is the window's size at 96 DPI.
TEST_F(ShellDpi, PlacementIsStoredAsAt96Dpi) {
  Start("WindowLeft  =  40\r\nWindowTop  =  30\r\nWindowWidth  =  500\r\nWindowHeight  =  300\r\n");
  RECT outer{};
  GetWindowRect(Shell.MainWindow, &outer);
  EXPECT_EQ(outer.right - outer.left, S(500));
  EXPECT_EQ(outer.bottom - outer.top, S(300));
  ASSERT_TRUE(Close());
  const std::string cfg = Cfg();
  EXPECT_EQ(CfgValue(cfg, "WindowWidth"), "500");
  EXPECT_EQ(CfgValue(cfg, "WindowHeight"), "300");
}

}  // namespace
