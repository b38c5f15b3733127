// The main window's text pane: shows the display form of the text (soft
// breaks in very long lines, app/pane_text.h), a long one piece by piece,
// and copies from the text as it was received.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/pane_text.h"
#include "content/text_pane.h"
#include "res/resource.h"

namespace {

std::string received;
std::string shown;  // the display form of received
std::vector<std::size_t> insertedBreaks;
std::size_t held = 0;  // bytes of shown that the control holds

HWND Pane() { return Shell.MainWindow ? GetDlgItem(Shell.MainWindow, IDC_MAIN_TEXTPANE) : nullptr; }

void PutOnClipboard(HWND owner, const std::string& bytes) {
  if (!OpenClipboard(owner)) return;
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + 1);
  if (block) {
    char* p = static_cast<char*>(GlobalLock(block));
    std::memcpy(p, bytes.data(), bytes.size());
    p[bytes.size()] = '\0';
    GlobalUnlock(block);
    if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block);
  }
  CloseClipboard();
}

// Appends the next piece at the end of the control. Putting text in moves
// the selection to its end and scrolls there; the user's selection and the
// lines in view are put back, and a selection that reached the end of the
// text so far grows with it.
void PutNextPiece(HWND pane) {
  const std::size_t end = PanePieceEnd(shown, held, PaneFillPiece);
  const std::string piece = shown.substr(held, end - held);
  DWORD start = 0, stop = 0;
  SendMessageA(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&stop));
  const LRESULT top = SendMessageA(pane, EM_GETFIRSTVISIBLELINE, 0, 0);
  const bool grows = stop > start && stop >= held;
  SendMessageA(pane, EM_SETSEL, held, held);
  SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
  held = end;
  SendMessageA(pane, EM_SETSEL, start, grows ? held : stop);
  const LRESULT now = SendMessageA(pane, EM_GETFIRSTVISIBLELINE, 0, 0);
  if (now != top) SendMessageA(pane, EM_LINESCROLL, 0, top - now);
}

// One piece per expiry. The timer is set anew after each piece: a step takes
// longer than the period, and a timer that is due at once again would keep
// a loop that empties the queue (the transport's waits) busy until the
// whole text is in.
void CALLBACK FillStep(HWND window, UINT, UINT_PTR id, DWORD) {
  HWND pane = Pane();
  if (pane && held < shown.size()) PutNextPiece(pane);
  if (pane && held < shown.size())
    SetTimer(window, id, USER_TIMER_MINIMUM, FillStep);
  else
    KillTimer(window, id);
}

}  // namespace

void TextPaneSetText(const char* text) {
  if (!Shell.MainWindow) return;
  KillTimer(Shell.MainWindow, IDT_PANEFILL);
  received = text ? text : "";
  shown = PaneDisplayForm(received, &insertedBreaks);
  held = PanePieceEnd(shown, 0, PaneFirstPiece);
  HWND pane = Pane();
  if (held < shown.size()) {
    // The appended pieces must not stop at the control's default limit.
    if (pane) SendMessageA(pane, EM_SETLIMITTEXT, 0, 0);
    SetTimer(Shell.MainWindow, IDT_PANEFILL, USER_TIMER_MINIMUM, FillStep);
  }
  SetDlgItemTextA(Shell.MainWindow, IDC_MAIN_TEXTPANE, shown.substr(0, held).c_str());
}

void TextPaneCopy() {
  DWORD start = 0, end = 0;
  SendDlgItemMessageA(Shell.MainWindow, IDC_MAIN_TEXTPANE, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                      reinterpret_cast<LPARAM>(&end));
  const PaneRange r = PaneCopyRange(start, end, held, shown.size(), insertedBreaks);
  if (r.second <= r.first || r.second > received.size()) return;  // nothing selected: as the control does
  PutOnClipboard(Shell.MainWindow, received.substr(r.first, r.second - r.first));
}
