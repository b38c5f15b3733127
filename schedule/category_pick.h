// The category pick: one category drawn at random from an item's selection.
#pragma once

// Number of choices in a selection list once one space is appended: the
// number of spaces.
int CategoryChoiceCount(const char* list);

// The 1-based category number of choice k (0-based) of a selection list of
// 0-based category indices separated by single spaces: skip k tokens, each
// ending at a space, take at most the next 10 characters up to a space, read
// them as a decimal number and add 1.
int CategoryNumberAt(const char* list, int k);

// Draws a choice of the list with RandomBelow; -1 for an empty list.
int CategoryPickFromList(const char* list);

// Reads the row's SELECT key from velmor.cfg and draws a category from it;
// -1 when the key is absent or empty (or the row is not in use).
int CategoryPick(int row);
