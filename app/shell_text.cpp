#include "app/shell_text.h"

#include <cstdint>
#include <cstdio>

const char AboutPaneText[] =
    "Velmor for Windows NT/95\r\n"
    "Version 7.1\r\n"
    "Written by the Velmor developers.\r\n"
    "Questions and comments: support@velmor.example\r\n"
    "\"this software is based in part on the work of the Independent JPEG Group\"\r\n"
    "A small part.\r\n";

const char AboutBoxText[] =
    "Velmor for Windows NT/95\n"
    "Version 7.1 5/5/98\n"
    "Written by the Velmor developers.\n"
    "\n"
    "Velmor, 17 Harbour Lane, Port Elm\n"
    "http://www.velmor.example/\n"
    "Support: support@velmor.example";

void FormatProgress(char* out, std::size_t size, int done, int total) {
  if (!out || size == 0) return;
  const int percent = total > 0 ? static_cast<int>(int64_t(done) * 100 / total) : 0;
  std::snprintf(out, size, "%d / %d (%d%%)", done, total, percent);
}
