// Client identity: a number that names this installation to the server.
//
// It lives in the profile entry "Habitat" of section "Patterns" in
// CONTROL.INI, as "12 14 %u %u %u %u 76 22 19" holding its four bytes from
// the most significant on, so that it outlives the program's directory. It is
// made once, from the last-write time of "user.dat" in the Windows directory
// or from two random numbers, and rebuilt from the entry at every start.
#pragma once
#include <cstddef>
#include <cstdint>

// An entry shorter than this is no identity and a new one is made.
constexpr int IdentityEntryMinLength = 5;
constexpr int IdentityEntrySize = 100;

// The number that an entry holds: the numbers after each run of spaces go
// into ten slots (the text before the first space is not stored, numbers
// beyond the tenth are ignored), and slots 2 to 5 are its bytes. Computed in
// 32 bits, whatever the slots hold.
uint32_t IdentityDecode(const char* entry);

// The number stored for a newly made identity text: its lenient decimal
// value (wrapping in 32 bits) without its sign. The most negative value,
// which has no positive counterpart in 32 signed bits, gives 2^31.
uint32_t IdentityFromText(const char* text);

// "12 14 %u %u %u %u 76 22 19" with the bytes of number, into out.
void IdentityEntryText(uint32_t number, char* out, std::size_t size);

// Reads the identity entry, or makes and stores a new one, and writes the
// identity into out as an unsigned decimal.
void EstablishClientIdentity(char* out, std::size_t size);
