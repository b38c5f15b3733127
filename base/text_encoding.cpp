#include "base/text_encoding.h"

#include <cstdint>
#include <cstring>

namespace {

LegacyDecoder Decoder = DecodeWindows1252;

// Bytes 0x80 to 0x9F of Windows-1252; the five it leaves undefined map to
// the C1 controls of the same number, as Windows' own conversion does. 0xA0
// to 0xFF are Latin-1.
const std::uint16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Length of a well-formed UTF-8 character at text (at most length bytes),
// 0 when there is none.
std::size_t CharacterLength(const unsigned char* text, std::size_t length) {
  unsigned char c = text[0];
  if (c < 0x80) return 1;
  std::size_t n;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) low = 0xA0;   // overlong
    if (c == 0xED) high = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) low = 0x90;   // overlong
    if (c == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (length < n || text[1] < low || text[1] > high) return 0;
  for (std::size_t i = 2; i < n; ++i)
    if ((text[i] & 0xC0) != 0x80) return 0;
  return n;
}

}  // namespace

bool IsUtf8(const char* text, std::size_t length) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t at = 0; at < length;) {
    std::size_t n = CharacterLength(p + at, length - at);
    if (n == 0) return false;
    at += n;
  }
  return true;
}

std::size_t DecodeWindows1252(const char* text, std::size_t length, char* out, std::size_t size) {
  if (size == 0) return 0;
  std::size_t used = 0;
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    unsigned code = c < 0x80 ? c : c < 0xA0 ? Cp1252High[c - 0x80] : c;
    char bytes[3];
    std::size_t n;
    if (code < 0x80) {
      bytes[0] = static_cast<char>(code);
      n = 1;
    } else if (code < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | code >> 6);
      bytes[1] = static_cast<char>(0x80 | (code & 0x3F));
      n = 2;
    } else {
      bytes[0] = static_cast<char>(0xE0 | code >> 12);
      bytes[1] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (code & 0x3F));
      n = 3;
    }
    if (used + n > size - 1) break;
    std::memcpy(out + used, bytes, n);
    used += n;
  }
  out[used] = '\0';
  return used;
}

void SetLegacyDecoder(LegacyDecoder decoder) { Decoder = decoder; }

std::size_t TextCutLength(const char* text, std::size_t length, std::size_t limit) {
  if (length <= limit) return length;
  std::size_t n = limit;
  if (Decoder) {
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  return n;
}

std::size_t CopyStoredText(char* out, std::size_t size, const char* text, std::size_t length) {
  if (size == 0) return 0;
  if (Decoder && !IsUtf8(text, length)) return Decoder(text, length, out, size);
  std::size_t n = TextCutLength(text, length, size - 1);
  std::memcpy(out, text, n);
  out[n] = '\0';
  return n;
}
