// The arithmetic and text forms behind the Configure dialog: intervals in
// minutes against days, hours and minutes, and the stored category
// selection (0-based positions separated by single spaces).
#pragma once
#include <cstddef>

struct IntervalParts {
  long days;
  long hours;
  long minutes;
};

// minutes = value mod 60; hours = ((value - minutes) / 60) mod 24;
// days = the rest in whole days (C integer division throughout, so a
// negative value gives negative parts, which no combo shows).
IntervalParts SplitInterval(long value);

// Minutes as "%ld" text: days * 1440 + hours * 60 + minutes.
void JoinInterval(long days, long hours, long minutes, char* out, std::size_t size);

// The schedule never runs an item more often than every 10 minutes: with 0
// days and 0 hours, fewer than 10 minutes become 10.
long FlooredMinutes(long days, long hours, long minutes);

// The scheduler reads at most this many characters of a stored selection.
constexpr int SelectionTextMax = 99;
// The dialog collects at most this many selected positions.
constexpr int SelectionPositionsMax = 200;

constexpr const char* SelectionTooLongText =
    "Too many categories are selected for this item: Velmor can store the numbers of its categories in at "
    "most 99 characters. The selection stored before is kept.";

// The stored form of ascending positions: each "%ld ", the whole trimmed of
// spaces ("" for none). Returns 1 and fills out (size must be at least
// SelectionTextMax + 1); returns 0, leaving out empty, when the form would
// pass SelectionTextMax characters: a cut list would name other categories
// than the ones chosen.
int FormatSelection(const int* positions, int count, char* out, std::size_t size);

// Walks the whole numbers of a stored selection: tokens between spaces (or
// other white space) made only of decimal digits; any other token is
// skipped. Returns 1 with the next number, 0 at the end. *cursor starts at
// the text and is advanced.
int NextSelectedPosition(const char** cursor, long* position);
