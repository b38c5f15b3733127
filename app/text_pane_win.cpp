#include <windows.h>

#include "app/globals.h"
#include "content/text_pane.h"

namespace {
constexpr int TextPaneId = 5;
}

void TextPaneSetText(const char* text) {
  if (MainWindow) SetDlgItemTextA(MainWindow, TextPaneId, text);
}
