// The main window procedure, its layout, placement and command dispatch.
#include "app/main_window.h"

#include <cstdio>
#include <cstring>

#include "app/dpi_win.h"
#include "app/globals.h"
#include "ui/message_box.h"
#include "app/shell_layout.h"
#include "app/shell_text.h"
#include "app/status.h"
#include "config/config_file.h"
#include "config/settings_table.h"
#include "content/text_fetch.h"
#include "base/user_message.h"
#include "content/text_pane.h"
#include "interact/dialogs_win.h"
#include "interact/shell_seams_win.h"
#include "net/transport.h"
#include "res/resource.h"
#include "schedule/schedule.h"
#include "ui/config_dialog.h"

namespace {

constexpr int ActivityTabStops[12] = {5, 120, 200, -300, 169, -222, 223, -288, 320, 380, 400, 420};

WNDPROC textPaneBaseProc = nullptr;
int mainDpi = BaseDpi;
WindowPlacement startPlacement{}; // at 96 DPI, until shown

HWND CreateChild(const char* cls, const char* text, DWORD style, int id) {
  HWND child = CreateWindowA(cls, text, style, 0, 0, 0, 0, Shell.MainWindow,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Shell.AppInstance, nullptr);
  return ApplySmallFont(child);
}

// The three children move in one step, so that the window is redrawn once.
HDWP PlaceChild(HDWP batch, HWND parent, int id, const ShellRect& r) {
  HWND child = GetDlgItem(parent, id);
  if (!child || !batch) return batch;
  return DeferWindowPos(batch, child, nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Returns true when the message should get default processing.
bool Layout(HWND hwnd) {
  RECT outer{};
  GetWindowRect(hwnd, &outer);
  const int w = outer.right - outer.left, h = outer.bottom - outer.top;
  // The thresholds are the window's size at 96 DPI.
  const WindowPlacement base = PlacementToStore({0, 0, w, h}, mainDpi);
  const LayoutAction action = DecideLayout(base.width, base.height);
  if (action == LayoutAction::Skip) return false;
  if (action == LayoutAction::SnapAndPlace)
    SetWindowPos(hwnd, nullptr, 0, 0, w, ScaleForDpi(SnapHeight, mainDpi),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client{};
  GetClientRect(hwnd, &client);
  const ChildLayout c = LayoutChildren(client.right - client.left, client.bottom - client.top, mainDpi);
  HDWP batch = BeginDeferWindowPos(3);
  batch = PlaceChild(batch, hwnd, IDC_MAIN_TITLE, c.title);
  batch = PlaceChild(batch, hwnd, IDC_MAIN_ACTIVITYLIST, c.activity);
  batch = PlaceChild(batch, hwnd, IDC_MAIN_TEXTPANE, c.text);
  if (batch) EndDeferWindowPos(batch);
  // The labels of the status row follow the bottom edge.
  PlaceStatusLabels();
  return true;
}

void ToggleMainWindow() {
  if (IsWindowVisible(Shell.MainWindow)) {
    ShowWindow(Shell.MainWindow, SW_HIDE);
    return;
  }
  ShowWindow(Shell.MainWindow, SW_SHOWNORMAL);
  // The click on the icon lets this program take the foreground: the window
  // comes up in front of the others, not behind the one in use.
  SetForegroundWindow(Shell.MainWindow);
  BringWindowToTop(Shell.MainWindow);
}

// The window moved to a monitor of another DPI (or the user changed the
// scaling): the font and every child follow, the window takes the size the
// system suggests.
void ChangeDpi(HWND hwnd, int dpi, const RECT* suggested) {
  mainDpi = dpi;
  HFONT old = Shell.SmallFont;
  CreateSmallFont(dpi);
  for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)) == old) ApplySmallFont(child);
  if (old) DeleteObject(old);
  if (suggested)
    SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  // The labels of the status row are placed when they are made.
  if (WaitLabelExists()) RecreateWaitLabel();
  Layout(hwnd);
}

// A server fetch from the menu: the waiting message is up for as long as
// the fetch runs, and the main window is disabled meanwhile.
template <typename Fetch>
void WithConnectingMessage(Fetch fetch) {
  ShowTransferMessage(ConnectingText, Shell.MainWindow);
  fetch();
  ShowTransferMessage(nullptr, Shell.MainWindow);
}

// Whether a transfer instance of ours is running: a window of its class
// that carries its property (another program's "Transfer" window is not).
bool OurTransferRuns() {
  for (HWND w = FindWindowExA(nullptr, nullptr, TransferClassName, nullptr); w;
       w = FindWindowExA(nullptr, w, TransferClassName, nullptr))
    if (GetPropA(w, TransferInstanceProperty)) return true;
  return false;
}

void DonateCommand() {
  // A running transfer instance tells that a batch is being sent; a second
  // dialog would edit the list it is reading.
  if (OurTransferRuns()) {
    UserMessage(TransferRunningText);
    return;
  }
  Initialising = 1;
  RunDonateDialog(Shell.MainWindow);
}

struct MonitorList {
  ShellRect rects[16];
  int count = 0;
};

BOOL CALLBACK CollectMonitor(HMONITOR, HDC, LPRECT r, LPARAM data) {
  auto* list = reinterpret_cast<MonitorList*>(data);
  if (list->count < 16)
    list->rects[list->count++] = {r->left, r->top, r->right - r->left, r->bottom - r->top};
  return TRUE;
}

LRESULT CALLBACK TextPaneProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_RBUTTONUP) {
    TrackControlPopup(hwnd, lp, Shell.EditPopupMenu, Shell.MainWindow);
    return 1;
  }
  // Ctrl+C copies what Copy Text copies: the received bytes, without the
  // breaks the pane inserts into long lines.
  if (msg == WM_COPY) {
    TextPaneCopy();
    return 0;
  }
  return CallWindowProcA(textPaneBaseProc, hwnd, msg, wp, lp);
}

WNDPROC commentEditorBaseProc = nullptr;

// The comment editor's menu: its commands go to the dialog.
LRESULT CALLBACK CommentEditorProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_RBUTTONUP) {
    TrackControlPopup(hwnd, lp, Shell.CommentPopupMenu, GetParent(hwnd));
    return 1;
  }
  // Shift+F10 and the context-menu key ask for the menu too (the point is
  // -1, -1): ours at the caret, not the edit control's own.
  if (msg == WM_CONTEXTMENU) {
    POINT p{};
    if (lp == -1) {
      GetCaretPos(&p);
    } else {
      p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      ScreenToClient(hwnd, &p);
    }
    TrackControlPopup(hwnd, MAKELPARAM(p.x, p.y), Shell.CommentPopupMenu, GetParent(hwnd));
    return 0;
  }
  return CallWindowProcA(commentEditorBaseProc, hwnd, msg, wp, lp);
}

}  // namespace

int MainWindowDpi() { return mainDpi; }

void CreateSmallFont(int dpi) {
  LOGFONTA font{};
  font.lfHeight = ScaleForDpi(8, dpi);
  std::strcpy(font.lfFaceName, "Helv");
  Shell.SmallFont = CreateFontIndirectA(&font);
}

void TrackControlPopup(HWND control, LPARAM point, HMENU menu, HWND target) {
  POINT p{static_cast<LONG>(LOWORD(point)), static_cast<LONG>(HIWORD(point))};
  ClientToScreen(control, &p);
  TrackPopupMenu(GetSubMenu(menu, 0), TPM_LEFTBUTTON, p.x, p.y, 0, target, nullptr);
}

void CreateMainChildren() {
  CreateChild("STATIC", TitleLabelText, WS_CHILD | WS_VISIBLE | SS_SIMPLE, IDC_MAIN_TITLE);
  HWND list = CreateChild("LISTBOX", nullptr,
                          WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | LBS_USETABSTOPS,
                          IDC_MAIN_ACTIVITYLIST);
  if (list)
    SendMessageA(list, LB_SETTABSTOPS, 12,
                 reinterpret_cast<LPARAM>(const_cast<int*>(ActivityTabStops)));
  CreateChild("EDIT", "",
              WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                  ES_READONLY | ES_WANTRETURN,
              IDC_MAIN_TEXTPANE);
}

void SubclassTextPane() {
  HWND pane = GetDlgItem(Shell.MainWindow, IDC_MAIN_TEXTPANE);
  if (!pane) return;
  textPaneBaseProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TextPaneProc)));
}

HWND CreateMainWindow(HWND owner, int dpi) {
  WindowPlacement p = TransferPlacement;
  if (!Shell.TransferInstance) {
    p.left = ReadSettingNumber(Setting::WindowLeft);
    p.top = ReadSettingNumber(Setting::WindowTop);
    p.width = ReadSettingNumber(Setting::WindowWidth);
    p.height = ReadSettingNumber(Setting::WindowHeight);
    MonitorList monitors;
    EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (!PlacementUsable(p, monitors.rects, monitors.count)) p = DefaultPlacement();
  }
  startPlacement = p;
  // Created where and as large as it is shown: no second move and sizing.
  mainDpi = dpi;
  const WindowPlacement shown = PlacementForDpi(p, dpi);
  return CreateWindowA(Shell.MainClassName, Shell.MainClassName, WS_POPUP | WS_OVERLAPPEDWINDOW, shown.left,
                       shown.top, shown.width, shown.height, owner, nullptr, Shell.AppInstance, nullptr);
}

void ShowMainWindow() {
  // A window is created with the DPI of the monitor it lands on, which
  // with several monitors may not be the one it was sized for.
  const int dpi = WindowDpi(Shell.MainWindow);
  if (dpi != mainDpi) {
    mainDpi = dpi;
    const WindowPlacement shown = PlacementForDpi(startPlacement, dpi);
    SetWindowPos(Shell.MainWindow, nullptr, 0, 0, shown.width, shown.height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE); // lays out on WM_SIZE
  } else {
    Layout(Shell.MainWindow);
  }
  // Laid out while hidden, then shown: the children are placed before
  // anything of them is drawn.
  ShowWindow(Shell.MainWindow, SW_SHOW);
}

void SavePlacement() {
  if (Shell.TransferInstance) return;
  RECT r{};
  if (!GetWindowRect(Shell.MainWindow, &r)) return;
  const WindowPlacement p = PlacementToStore(
      {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right - r.left),
       static_cast<int>(r.bottom - r.top)},
      mainDpi);
  WriteSettingNumber(Setting::WindowLeft, p.left);
  WriteSettingNumber(Setting::WindowTop, p.top);
  WriteSettingNumber(Setting::WindowWidth, p.width);
  WriteSettingNumber(Setting::WindowHeight, p.height);
}

// The whole parameter is compared: only menu commands match, never the
// notifications that the text pane sends.
bool IsMainCommand(WPARAM command) {
  switch (command) {
    case IDM_COPY: case IDM_ABOUT: case IDM_EXIT: case IDM_CONFIGURE: case IDM_GETQUOTE:
    case IDM_DONATE: case IDM_ADDCATEGORY: case IDM_SENDCOMMENT: case IDM_GETNEWS: case IDM_GETTIPS:
      return true;
    default:
      return false;
  }
}

void RunMainCommand(WPARAM command) {
  switch (command) {
    case IDM_COPY: TextPaneCopy(); break;
    case IDM_ABOUT: MessageBoxA(Shell.MainWindow, AboutBoxText, AboutBoxCaption, MB_OK); break;
    case IDM_EXIT: PostMessageA(Shell.MainWindow, WM_CLOSE, 0, 0); break;
    case IDM_CONFIGURE: RunConfigureDialog(Shell.MainWindow); break;
    case IDM_GETQUOTE: WithConnectingMessage([] { QuoteUpdate(0); }); break;
    case IDM_DONATE: DonateCommand(); break;
    case IDM_ADDCATEGORY: RunAddCategoryDialog(Shell.MainWindow); break;
    case IDM_SENDCOMMENT: RunSendCommentDialog(Shell.MainWindow); break;
    case IDM_GETNEWS: WithConnectingMessage(NewsFetch); break;
    case IDM_GETTIPS: WithConnectingMessage(TipsFetch); break;
    default: break;
  }
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // A left click on the normal instance's tray icon toggles the window; the
  // message then goes on through the handling below.
  if (msg == TrayCallbackMessage && wp == static_cast<WPARAM>(TrayIconNormal) && lp == WM_LBUTTONDOWN)
    ToggleMainWindow();
  // The notification area started again without the icon.
  if (msg != 0 && msg == TaskbarCreatedMessage()) {
    AddTrayIcon();
    return 0;
  }

  switch (msg) {
    case WM_COMMAND:
      // Dropped, not queued, while the hold is set: the transport pumps
      // messages during its waits, so this procedure is re-entered then.
      if (!BusyHoldQuery()) {
        if (IsMainCommand(wp)) {
          BusyHoldBegin();
          RunMainCommand(wp);
          BusyHoldEnd();
        } else {
          // Nothing runs (the text pane's notifications come here with each
          // line it is given): a hold taken and released around nothing
          // leaves exactly what its end leaves, so only the end is done,
          // without creating and destroying the label for nothing.
          BusyHoldEnd();
        }
      }
      break;
    case WM_TIMER:
      // Only the schedule's own timer runs the schedule.
      if (wp != ScheduleTimerId) break;
      if (BusyHoldQuery()) return 0;
      BusyHoldBegin();
      ScheduleTick();
      BusyHoldEnd();
      return 0;
    case WM_CLOSE:
      if (Shell.TransferInstance) CancelTransfer = 1;
      SavePlacement();
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      StatusForgetMainChildren();
      PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      if (wp == SIZE_MINIMIZED) {
        ShowWindow(hwnd, SW_HIDE);
        return 0;
      }
      if (!Layout(hwnd)) return 0;
      break;
    case WM_MOVE:
      if (!Layout(hwnd)) return 0;
      break;
    case WM_DPICHANGED:
      ChangeDpi(hwnd, HIWORD(wp), reinterpret_cast<const RECT*>(lp));
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void PrepareCommentEditor(HWND editor) {
  if (!editor) return;
  ApplySmallFont(editor);
  commentEditorBaseProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(editor, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CommentEditorProc)));
}
