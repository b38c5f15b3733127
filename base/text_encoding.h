// Text of velmor.cfg in UTF-8, the program's code page for file names and
// user text. A velmor.cfg written by an older program holds its values in
// the system's legacy ANSI code page instead; such a value is never valid
// UTF-8 once it has a letter outside ASCII (short of a rare run of two or
// three Latin letters that happens to form a UTF-8 sequence, which is read
// as UTF-8), so it is recognised and decoded when read. The program writes
// back only what it read or the user typed, so a value becomes UTF-8 in the
// file when the user changes it.
#pragma once
#include <cstddef>

// True when length bytes of text are well-formed UTF-8 (no overlong forms,
// surrogates or code points above U+10FFFF).
bool IsUtf8(const char* text, std::size_t length);

// Decodes length bytes of legacy text into UTF-8 in out (size bytes,
// terminated, cut before a character that does not fit). Returns the bytes
// written, terminator excluded.
using LegacyDecoder = std::size_t (*)(const char* text, std::size_t length, char* out, std::size_t size);

// Windows-1252, the legacy code page of Western systems: the decoder in
// force until another is set.
std::size_t DecodeWindows1252(const char* text, std::size_t length, char* out, std::size_t size);

// The decoder for values that are not UTF-8. nullptr: the program's own
// code page is the legacy one (the UTF-8 setting of its manifest is not
// honoured, Windows before 10 version 1903), and every value is taken byte
// for byte as before.
void SetLegacyDecoder(LegacyDecoder decoder);

// Copies length bytes of a stored value into out (size bytes, terminated):
// UTF-8 as it is, anything else through the legacy decoder. A value cut to
// fit is cut before a whole character. Returns the bytes written.
std::size_t CopyStoredText(char* out, std::size_t size, const char* text, std::size_t length);

// The length at most limit to which length bytes of the program's text can
// be cut without splitting a character: in UTF-8 (a legacy decoder is set)
// before a character's first byte; in the legacy code page exactly limit.
std::size_t TextCutLength(const char* text, std::size_t length, std::size_t limit);

// Windows only (text_encoding_win.cpp): sets the decoder from the process's
// code page and the system's legacy one, once at start-up.
void UseSystemLegacyCodePage();
