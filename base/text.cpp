// Small text helpers shared by the settings, the dialogs and the transport.
#include "base/text.h"

#include <cstdint>
#include <cstring>

void AddBackslash(char* path, std::size_t size) {
  std::size_t n = strnlen(path, size);
  if (n == 0 || n >= size || path[n - 1] == '\\' || n + 2 > size) return;
  path[n] = '\\';
  path[n + 1] = '\0';
}

char* TrimSpaces(char* text) {
  std::size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == ' ') text[--n] = '\0';
  std::size_t lead = 0;
  while (text[lead] == ' ') ++lead;
  if (lead > 0) std::memmove(text, text + lead, n - lead + 1);
  return text;
}

int DecimalValue(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  uint32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = value * 10u + static_cast<uint32_t>(*text - '0');
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

bool IsYes(const char* text) { return text && (text[0] == 'Y' || text[0] == 'y'); }
