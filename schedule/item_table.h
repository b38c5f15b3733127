// The table of schedulable items: the three fixed rows (quote, background
// picture, random sound), then one row per event of the user's sound scheme.
//
// The used rows come first; the first row without a name ends the table and
// every scan stops there. A row's name is the suffix of its per-item keys in
// velmor.cfg ("Interval" + name, "SELECT" + name, ...). The table is built at
// start-up and does not change afterwards; nothing of the schedule itself is
// kept here (every key is read from velmor.cfg when it is needed).
#pragma once
#include <cstddef>

#include "config/settings_table.h"
#include "net/request_record.h"

constexpr int MaxItems = 200;
// Rows 0 to LastItemRow may be used; row MaxItems - 1 always stays empty.
constexpr int LastItemRow = MaxItems - 2;
constexpr int FixedItemRows = 3;

// Fetches and installs one item of the row; nonzero when one was installed.
using ItemUpdate = int (*)(int row);

struct ItemEntry {
  const char* name;          // suffix of the row's keys; null ends the table
  int type;                  // ItemType
  ItemUpdate update;         // null until the shell has wired the operations
  const char* displayName;   // item list of the Configure dialog, sound lines
  const char* eventKeyPath;  // sound-event rows: registry path under HKCU; else null
};

extern ItemEntry ItemTable[MaxItems];

constexpr int QuoteRow = 0;
constexpr int BackgroundRow = 1;
constexpr int RandomSoundRow = 2;

// Every composed key (a prefix of config/settings_table.h followed by the
// row's name) is held in a buffer of this size (at most 99 characters); the
// longest prefix is 8 characters.
constexpr int ItemKeySize = 100;
constexpr int LongestItemKeyPrefix = 8;
// The longest row name whose keys all fit: longer sound events get no row.
constexpr int ItemNameMax = ItemKeySize - 1 - LongestItemKeyPrefix;  // 91

// The root of the user's sound scheme under HKEY_CURRENT_USER.
constexpr const char* SoundSchemeRoot = "AppEvents\\Schemes\\Apps";

// Rows in use (those before the first row without a name).
int ItemCount();

// prefix followed directly by the row's name, in out (size bytes). False,
// with out empty, when the row is not in use or the key does not fit.
bool ItemKeyOf(char* out, std::size_t size, const char* prefix, int row);

// The update operations of the three fixed rows (content updates live above
// the schedule, so the shell hands them in at start-up). Sound-event rows
// get the sound update.
void SetItemUpdates(ItemUpdate quote, ItemUpdate picture, ItemUpdate sound);

// Start-up, normal instance: one row per event of the sound scheme
// (sound_scheme_win.cpp enumerates the registry and calls AddSoundEventRow).
void AddSoundEventItems();

// Fills the next free row from an application and an event name as the
// registry gives them: name = application name trimmed, followed directly by
// the event name, trimmed again; key path = root, application and event
// names without trailing spaces, joined by backslashes; display name = the
// name. An event that cannot make a usable row is skipped and leaves the row
// free: a name that is empty, longer than ItemNameMax (its keys would not
// fit; shortening it could give two events the same keys and sound file), or
// that holds '=' or a control character (its keys could not be stored).
// Returns false once the table is full (rows 0 to LastItemRow in use): the
// enumeration stops there.
bool AddSoundEventRow(const char* application, const char* event);

// Shutdown (and tests): frees the sound-event rows; the fixed rows stay.
void ReleaseSoundEventItems();
