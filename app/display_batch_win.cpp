// The activity list and the progress pane, filled in batches (see
// app/display_batch.h).
//
// Each control is subclassed the first time a line waits for it: the
// subclass puts the waiting lines in before the control answers any message
// about its contents, so that the waiting is never seen from outside.
#include "app/display_batch.h"

#include <string>
#include <vector>

#include "app/globals.h"
#include "diag/activity_list.h"
#include "interact/progress_pane.h"
#include "res/resource.h"

namespace {

constexpr const char* BaseProcProperty = "VelmorBatchBaseProc";

// The activity list and the lines that wait for it.
HWND list = nullptr;
std::vector<std::string> listLines;

// The progress pane and the edit that waits for it: the pane's text is the
// control's text without its first paneDrop characters, followed by
// paneAppend. The control keeps paneLength characters meanwhile, because
// everything else that touches it puts the waiting edit in first.
HWND pane = nullptr;
bool paneWaiting = false;
int paneLength = 0;
int paneDrop = 0;
std::string paneAppend;
// Set while this file reads the pane's control as it is.
bool readingPane = false;

// The window whose timer will put the lines in; nullptr when none runs.
HWND timerWindow = nullptr;

LRESULT CallBase(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  const auto base = reinterpret_cast<WNDPROC>(GetPropA(window, BaseProcProperty));
  return base ? CallWindowProcW(base, window, message, wp, lp) : DefWindowProcW(window, message, wp, lp);
}

// The subclass passes every message on in the control's own character set
// (it looks at no parameter), so readers in other processes get their text
// exactly as from the bare control.
void Subclass(HWND window, WNDPROC proc) {
  if (GetPropA(window, BaseProcProperty)) return;
  const LONG_PTR base = GetWindowLongPtrW(window, GWLP_WNDPROC);
  SetPropA(window, BaseProcProperty, reinterpret_cast<HANDLE>(base));
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
}

LRESULT Unsubclassed(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  const LRESULT result = CallBase(window, message, wp, lp);
  RemovePropA(window, BaseProcProperty);
  return result;
}

HWND MainChild(int id) {
  if (!Shell.MainWindow || !IsWindow(Shell.MainWindow)) return nullptr;
  return GetDlgItem(Shell.MainWindow, id);
}

void CALLBACK FlushTimer(HWND, UINT, UINT_PTR, DWORD) { FlushDisplay(); }

void ScheduleFlush() {
  if (timerWindow && IsWindow(timerWindow)) return;
  timerWindow = nullptr;
  if (Shell.MainWindow && SetTimer(Shell.MainWindow, DisplayBatchTimerId, DisplayBatchPeriod, FlushTimer))
    timerWindow = Shell.MainWindow;
  else
    FlushDisplay(); // without a timer the lines go in at once
}

void FlushList() {
  if (listLines.empty()) return;
  std::vector<std::string> lines;
  lines.swap(listLines);
  if (!list || !IsWindow(list)) return;
  // Lines that the list would drop at once are not added at all.
  const std::size_t first = lines.size() > ActivityListMax ? lines.size() - ActivityListMax : 0;
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  for (std::size_t i = first; i < lines.size(); ++i)
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lines[i].c_str()));
  LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  while (count > ActivityListMax) {
    SendMessageA(list, LB_DELETESTRING, 0, 0);
    --count;
  }
  if (count > 0) SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(count - 1), 0);
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void FlushPane() {
  if (!paneWaiting) return;
  paneWaiting = false;
  const int drop = paneDrop;
  std::string text;
  text.swap(paneAppend);
  if (!pane || !IsWindow(pane)) return;
  if (drop > 0) {
    SendMessageA(pane, EM_SETSEL, 0, drop);
    SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
  }
  const int end = GetWindowTextLengthA(pane);
  SendMessageA(pane, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageA(pane, EM_SCROLLCARET, 0, 0);
}

bool AsksListContents(UINT message) { return message >= LB_ADDSTRING && message < LB_MSGMAX; }

// Text messages, the edit control's own messages (0x00B0 to 0x00DF) and
// the clipboard commands.
bool AsksPaneContents(UINT message) {
  return message == WM_SETTEXT || message == WM_GETTEXT || message == WM_GETTEXTLENGTH ||
         (message >= EM_GETSEL && message <= 0x00DF) || (message >= WM_CUT && message <= WM_UNDO);
}

LRESULT CALLBACK ListProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  if (message == WM_NCDESTROY) {
    if (window == list) {
      list = nullptr;
      listLines.clear();
    }
    return Unsubclassed(window, message, wp, lp);
  }
  if (window == list && AsksListContents(message)) FlushList();
  return CallBase(window, message, wp, lp);
}

LRESULT CALLBACK PaneProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  if (message == WM_NCDESTROY) {
    if (window == pane) {
      pane = nullptr;
      paneWaiting = false;
      paneAppend.clear();
    }
    return Unsubclassed(window, message, wp, lp);
  }
  if (window == pane && !readingPane && AsksPaneContents(message)) FlushPane();
  return CallBase(window, message, wp, lp);
}

// The control's own text (up to size - 1 characters), waiting edit or not.
int ReadPaneControl(char* out, int size) {
  readingPane = true;
  const int length = GetWindowTextA(pane, out, size);
  readingPane = false;
  return length;
}

}  // namespace

void FlushDisplay() {
  if (timerWindow) {
    if (IsWindow(timerWindow)) KillTimer(timerWindow, DisplayBatchTimerId);
    timerWindow = nullptr;
  }
  FlushList();
  FlushPane();
}

void ActivityListAdd(const char* line) {
  HWND target = MainChild(IDC_MAIN_ACTIVITYLIST);
  if (!target) return;
  if (target != list) {
    FlushList();
    list = target;
    Subclass(target, ListProc);
  }
  listLines.emplace_back(line ? line : "");
  ScheduleFlush();
}

int ProgressPaneText(char* out, int size) {
  if (size <= 0) return 0;
  out[0] = '\0';
  HWND target = MainChild(IDC_MAIN_TEXTPANE);
  if (!target) return 0;
  if (target != pane || !paneWaiting) return GetWindowTextA(target, out, size);
  std::string text(static_cast<std::size_t>(paneLength) + 1, '\0');
  const int length = ReadPaneControl(&text[0], paneLength + 1);
  text.resize(static_cast<std::size_t>(length));
  text.erase(0, static_cast<std::size_t>(paneDrop < length ? paneDrop : length));
  text += paneAppend;
  const std::size_t room = static_cast<std::size_t>(size - 1);
  const std::size_t copied = text.size() < room ? text.size() : room;
  text.copy(out, copied);
  out[copied] = '\0';
  return static_cast<int>(copied);
}

void ProgressPaneEdit(int dropFront, const char* text) {
  HWND target = MainChild(IDC_MAIN_TEXTPANE);
  if (!target) return;
  if (target != pane) {
    FlushPane();
    pane = target;
    Subclass(target, PaneProc);
  }
  if (!paneWaiting) {
    readingPane = true;
    paneLength = GetWindowTextLengthA(target);
    readingPane = false;
    paneDrop = 0;
    paneAppend.clear();
    paneWaiting = true;
  }
  // What is dropped comes off the control's text first, then off the text
  // that waits.
  const int kept = paneLength - paneDrop;
  if (dropFront <= kept) {
    paneDrop += dropFront > 0 ? dropFront : 0;
  } else {
    paneAppend.erase(0, static_cast<std::size_t>(dropFront - kept));
    paneDrop = paneLength;
  }
  paneAppend += text ? text : "";
  ScheduleFlush();
}
