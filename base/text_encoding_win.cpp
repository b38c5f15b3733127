#include <windows.h>

#include "base/text_encoding.h"

namespace {

UINT LegacyCodePage = 1252;

// Through UTF-16 with the system's conversion, so that the double-byte code
// pages of East Asian systems are read right too.
std::size_t DecodeSystemLegacy(const char* text, std::size_t length, char* out, std::size_t size) {
  if (size == 0) return 0;
  out[0] = '\0';
  if (length == 0) return 0;
  int wide = MultiByteToWideChar(LegacyCodePage, 0, text, static_cast<int>(length), nullptr, 0);
  if (wide <= 0) return DecodeWindows1252(text, length, out, size);
  WCHAR* buffer = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(wide) * sizeof(WCHAR)));
  if (!buffer) return DecodeWindows1252(text, length, out, size);
  MultiByteToWideChar(LegacyCodePage, 0, text, static_cast<int>(length), buffer, wide);
  // Character by character, so that a value too long for out is cut before
  // a whole character.
  std::size_t used = 0;
  for (int i = 0; i < wide;) {
    int units = IS_HIGH_SURROGATE(buffer[i]) && i + 1 < wide ? 2 : 1;
    char bytes[4];
    int n = WideCharToMultiByte(CP_UTF8, 0, buffer + i, units, bytes, sizeof bytes, nullptr, nullptr);
    if (n <= 0 || used + static_cast<std::size_t>(n) > size - 1) break;
    for (int k = 0; k < n; ++k) out[used++] = bytes[k];
    i += units;
  }
  out[used] = '\0';
  HeapFree(GetProcessHeap(), 0, buffer);
  return used;
}

}  // namespace

// The legacy code page is the system locale's ANSI code page (what GetACP
// gave programs without the UTF-8 setting); Western systems keep the
// portable Windows-1252 decoder.
void UseSystemLegacyCodePage() {
  if (GetACP() != CP_UTF8) {
    SetLegacyDecoder(nullptr);
    return;
  }
  WCHAR number[8] = L"";
  UINT page = 0;
  if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, number, 8) > 0) {
    for (const WCHAR* p = number; *p >= L'0' && *p <= L'9'; ++p) page = page * 10 + static_cast<UINT>(*p - L'0');
  }
  if (page == 0 || page == 1252 || page == CP_UTF8 || !IsValidCodePage(page)) {
    SetLegacyDecoder(DecodeWindows1252);
    return;
  }
  LegacyCodePage = page;
  SetLegacyDecoder(DecodeSystemLegacy);
}
