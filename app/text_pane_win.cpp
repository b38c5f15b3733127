// The main window's text pane: shows the display form of the text (soft
// breaks in very long lines, app/pane_text.h) and copies from the text as
// it was received.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/pane_text.h"
#include "content/text_pane.h"
#include "res/resource.h"
#include "ui/message_box.h"

namespace {

std::string received;
std::vector<std::size_t> insertedBreaks;

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

}  // namespace

void TextPaneSetText(const char* text) {
  if (!MainWindow) return;
  received = text ? text : "";
  const std::string shown = PaneDisplayForm(received, &insertedBreaks);
  SetDlgItemTextA(MainWindow, IDC_MAIN_TEXTPANE, shown.c_str());
}

void TextPaneCopy() {
  // Without inserted breaks the pane holds the text itself: the control
  // copies its selection as it always did.
  if (insertedBreaks.empty()) {
    CopyControl(MainWindow, IDC_MAIN_TEXTPANE);
    return;
  }
  DWORD start = 0, end = 0;
  SendDlgItemMessageA(MainWindow, IDC_MAIN_TEXTPANE, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                      reinterpret_cast<LPARAM>(&end));
  const std::size_t from = PaneReceivedOffset(start, insertedBreaks);
  const std::size_t to = PaneReceivedOffset(end, insertedBreaks);
  if (to <= from || to > received.size()) return;  // nothing selected: as the control does
  PutOnClipboard(MainWindow, received.substr(from, to - from));
}
