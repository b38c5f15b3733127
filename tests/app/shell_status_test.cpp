// The status windows of the shell on the real main window: the busy hold
// around commands and ticks with its label and tray animation, the wait
// label with its progress, and the transfer message pop-up.
#include <cstring>

#include "app/shell_text.h"
#include "app/status.h"
#include "res/resource.h"
#include "schedule/status_line.h"
#include "tests/app/shell_fixture.h"
#include "net/transport.h"
#include "net/transport_hooks.h"

namespace {

using ShellStatus = ShellFixture;

LONG_PTR Style(HWND w) { return GetWindowLongPtrA(w, GWL_STYLE); }

TEST_F(ShellStatus, HoldDropsCommandsAndTicksWhileAboutBoxIsOpen) {
  Start();
  bool heldInside = false, stillHeld = false;
  DialogWatch watch([&](const SeenDialog& d) {
    heldInside = StaticsWithText(Shell.MainWindow, "*Timer Held*").size() == 1;
    SendMessageA(Shell.MainWindow, WM_COMMAND, IDM_ABOUT, 0);  // dropped: no second box
    EXPECT_EQ(SendMessageA(Shell.MainWindow, WM_TIMER, ScheduleTimerId, 0), 0);  // dropped too
    stillHeld = BusyHoldQuery() == 1 && StaticsWithText(Shell.MainWindow, "*Timer Held*").size() == 1;
    DialogWatch::PressOk(d.window);
  });
  SendMessageA(Shell.MainWindow, WM_COMMAND, IDM_ABOUT, 0);
  ASSERT_EQ(watch.Seen().size(), 1u);
  EXPECT_EQ(watch.Seen()[0].caption, "Velmor for Windows");
  EXPECT_EQ(watch.Seen()[0].text, AboutBoxText);
  EXPECT_EQ(watch.Seen()[0].owner, Shell.MainWindow);
  EXPECT_TRUE(heldInside);
  EXPECT_TRUE(stillHeld);
  EXPECT_EQ(BusyHoldQuery(), 0);
  EXPECT_TRUE(StaticsWithText(Shell.MainWindow, "*Timer Held*").empty());
  EXPECT_EQ(TrayIconShown(), Shell.IconFrames[0]);
}

TEST_F(ShellStatus, TickTakesAndReleasesTheHold) {
  Start();
  EXPECT_EQ(SendMessageA(Shell.MainWindow, WM_TIMER, ScheduleTimerId, 0), 0);
  EXPECT_EQ(BusyHoldQuery(), 0);
  EXPECT_TRUE(StaticsWithText(Shell.MainWindow, "*Timer Held*").empty());
  EXPECT_TRUE(IsWindow(Shell.MainWindow));
}

TEST_F(ShellStatus, HoldLabelAnimationAndFrameZeroAtTheEnd) {
  Start();
  const int H = ClientHeight();
  EXPECT_EQ(BusyHoldBegin(), 1);
  auto labels = StaticsWithText(Shell.MainWindow, "*Timer Held*");
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_RECT(ChildRect(labels[0]), 5, H - 12, 80, 13);
  EXPECT_EQ(GetDlgCtrlID(labels[0]), 0);
  EXPECT_EQ(BusyHoldBegin(), 1);  // a second begin changes nothing
  EXPECT_EQ(StaticsWithText(Shell.MainWindow, "*Timer Held*").size(), 1u);

  const int start = TrayAnimationPosition();
  ASSERT_TRUE(PumpUntil([&] { return TrayAnimationPosition() == (start + 3) % IDI_FRAME_COUNT; }, 15000));
  EXPECT_EQ(TrayIconShown(), Shell.IconFrames[(start + 2) % IDI_FRAME_COUNT]);
  EXPECT_EQ(BusyHoldEnd(), 0);  // one end releases both begins
  EXPECT_EQ(BusyHoldQuery(), 0);
  EXPECT_EQ(TrayIconShown(), Shell.IconFrames[0]);
  const int stopped = TrayAnimationPosition();
  Pump(500);
  EXPECT_EQ(TrayAnimationPosition(), stopped);  // the timer is gone

  BusyHoldBegin();  // continues after the last frame shown
  ASSERT_TRUE(PumpUntil([&] { return TrayAnimationPosition() != stopped; }, 15000));
  EXPECT_EQ(TrayIconShown(), Shell.IconFrames[stopped]);
  BusyHoldEnd();
}

TEST_F(ShellStatus, WaitLabelProgressAndRecreationOnResize) {
  Start();
  ShowProgress(1, 2);  // no label: nothing
  EXPECT_TRUE(StaticsWithText(Shell.MainWindow, "1 / 2 (50%)").empty());
  ShowWaitLabel();
  auto wait = StaticsWithText(Shell.MainWindow, "Wait...");
  ASSERT_EQ(wait.size(), 1u);
  EXPECT_RECT(ChildRect(wait[0]), 90, ClientHeight() - 12, 125, 13);
  ShowProgress(2, 3);
  EXPECT_EQ(StaticsWithText(Shell.MainWindow, "2 / 3 (66%)").size(), 1u);
  SetWindowPos(Shell.MainWindow, nullptr, 0, 0, 500, 320, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(StaticsWithText(Shell.MainWindow, "2 / 3 (66%)").empty());
  wait = StaticsWithText(Shell.MainWindow, "Wait...");
  ASSERT_EQ(wait.size(), 1u);
  EXPECT_RECT(ChildRect(wait[0]), 90, ClientHeight() - 12, 125, 13);
  HideWaitLabel();
  EXPECT_TRUE(StaticsWithText(Shell.MainWindow, "Wait...").empty());
  EXPECT_FALSE(WaitLabelExists());
  HideWaitLabel();  // absent: nothing
}

// The hold and status-line labels follow the bottom edge at every layout,
// as the wait label does: one made while the window was small is not left
// outside it.
TEST_F(ShellStatus, StatusRowLabelsFollowTheBottomEdge) {
  Start();
  SetWindowPos(Shell.MainWindow, nullptr, 0, 0, 500, 200, SWP_NOMOVE | SWP_NOZORDER);
  BusyHoldBegin();
  ShowStatusLineLabel("A status line from the server");
  SetWindowPos(Shell.MainWindow, nullptr, 0, 0, 500, 420, SWP_NOMOVE | SWP_NOZORDER);
  const int H = ClientHeight();
  auto hold = StaticsWithText(Shell.MainWindow, "*Timer Held*");
  auto line = StaticsWithText(Shell.MainWindow, "A status line from the server");
  ASSERT_EQ(hold.size(), 1u);
  ASSERT_EQ(line.size(), 1u);
  EXPECT_RECT(ChildRect(hold[0]), 5, H - 12, 80, 13);
  EXPECT_RECT(ChildRect(line[0]), 90, H - 12, 225, 13);
  BusyHoldEnd();
  ShowStatusLineLabel(nullptr);
}

int cancelledLookups = 0;
void CountCancelledLookup() { ++cancelledLookups; }

TEST_F(ShellStatus, TransferMessageWindow) {
  Start();
  const char* text = "Please Wait. Connecting to server.";
  ShowTransferMessage(text, Shell.MainWindow);
  HWND popup = TransferMessageWindow();
  ASSERT_TRUE(popup && IsWindow(popup));
  EXPECT_EQ(ClassOf(popup), "msgwnd");
  EXPECT_EQ(WindowText(popup), "Velmor Transfer Message");
  EXPECT_EQ(GetWindow(popup, GW_OWNER), nullptr);
  EXPECT_TRUE(Style(popup) & WS_CAPTION);
  EXPECT_FALSE(Style(popup) & WS_SYSMENU);
  EXPECT_FALSE(IsWindowEnabled(Shell.MainWindow));

  auto labels = StaticsWithText(popup, text);
  ASSERT_EQ(labels.size(), 1u);
  SIZE extent{};
  HDC dc = GetDC(labels[0]);
  GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &extent);
  ReleaseDC(labels[0], dc);
  RECT r{};
  GetWindowRect(popup, &r);
  RECT desk{};
  GetWindowRect(GetDesktopWindow(), &desk);
  const int w = extent.cx + 145;
  EXPECT_RECT(r, desk.right / 2 - w / 2, desk.bottom / 2 - 26, w, 52);
  EXPECT_RECT(ChildRect(labels[0]), 10, 7, extent.cx, 18);
  HWND button = GetDlgItem(popup, IDC_MSGWND_CANCEL);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(WindowText(button), "Cancel Transfer");
  EXPECT_RECT(ChildRect(button), extent.cx + 15, 5, 120, 18);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(button, WM_GETFONT, 0, 0)), Shell.SmallFont);

  CancelTransfer = 0;
  SendMessageA(popup, WM_COMMAND, 120, 0);  // another id: nothing
  EXPECT_EQ(CancelTransfer, 0);
  SendMessageA(button, BM_CLICK, 0, 0);
  EXPECT_EQ(CancelTransfer, 1);

  // During a blocking lookup a command cancels the lookup, not the transfer.
  CancelTransfer = 0;
  cancelledLookups = 0;
  CancelBlockingLookup = CountCancelledLookup;
  LookupInProgress = 1;
  SendMessageA(popup, WM_COMMAND, IDC_MSGWND_CANCEL, 0);
  EXPECT_EQ(cancelledLookups, 1);
  EXPECT_EQ(LookupInProgress, 0);
  EXPECT_EQ(CancelTransfer, 0);
  CancelBlockingLookup = nullptr;

  // Replacing keeps one pop-up and the owner disabled.
  ShowTransferMessage("Quitting", Shell.MainWindow);
  EXPECT_FALSE(IsWindow(popup));
  ASSERT_TRUE(IsWindow(TransferMessageWindow()));
  EXPECT_FALSE(IsWindowEnabled(Shell.MainWindow));
  ShowTransferMessage(nullptr, Shell.MainWindow);
  EXPECT_EQ(TransferMessageWindow(), nullptr);
  EXPECT_TRUE(IsWindowEnabled(Shell.MainWindow));

  // Closing with no message open still enables the owner.
  EnableWindow(Shell.MainWindow, FALSE);
  ShowTransferMessage(nullptr, Shell.MainWindow);
  EXPECT_TRUE(IsWindowEnabled(Shell.MainWindow));
}

}  // namespace
