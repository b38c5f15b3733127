// The stored list of files to donate, one per item type, in velmor.cfg:
// "DONATE-<type>-CATEGORY" holds the 0-based position of the chosen
// category, "DONATE-<type>-<n>" the full path of the file in slot n (empty:
// a free slot). The file-list dialog writes the whole list; the transfer
// instance empties each slot whose file the server accepted.
//
// Portable: the dialogs (donate_win.cpp) and the transfer (donate_transfer.cpp)
// both work through these. Their message boxes are owned by the main window.
#pragma once
#include <cstddef>

#include "config/config_file.h"
#include "config/settings_table.h"
#include "net/request_record.h"

// Slots 1 to DonateSlotsWritten are written when the list is saved; only 1
// to DonateSlotsRead are ever read back (by the dialog and by the transfer),
// so the list takes no more than DonateSlotsRead entries.
constexpr int DonateSlotsRead = 41;
constexpr int DonateSlotsWritten = 42;
// A listed path holds at most this many characters.
constexpr int DonatePathMax = 199;
// The open-file dialog's result buffer (names of the chosen files), at
// first; a larger choice grows it up to ChosenFilesBufferLimit.
constexpr int ChosenFilesBufferSize = 4000;
constexpr std::size_t ChosenFilesBufferLimit = 1 << 20;

constexpr const char* PathTooLongText =
    "A file path of 200 characters or more can not be donated; it was left out of the list:";
constexpr const char* ListFullFormat =
    "The list of files to donate holds at most %d files. %d of the chosen files were not added.";

// Stores the chosen category's 0-based position for the type.
void StoreDonateCategory(int type, int position);

// Reads slot n of the type into out (at least DonatePathMax + 1 bytes):
// 1 a file, 0 free or missing, -1 a path too long to be listed (out then
// holds its first DonatePathMax characters). From velmor.cfg itself, or
// from a view of it loaded by the caller.
int ReadDonateSlot(int type, int slot, char* out, std::size_t size, const ConfigView* view = nullptr);

// Where a list of paths goes (the file-list dialog's list box).
struct DonateListSink {
  void* context;
  int (*count)(void* context);
  void (*append)(void* context, const char* path);
};

// Appends the stored entries of slots 1 to DonateSlotsRead in slot order.
// A path too long to list is left out and the user told; it stays stored
// (see SaveDonateList) until the user edits velmor.cfg.
void LoadDonateList(int type, const DonateListSink& sink);

// Writes entry n (from entry(context, n), 0-based) to slot n + 1 for the
// first count slots; the stored paths too long to list follow, as far as
// slot DonateSlotsRead; the rest up to DonateSlotsWritten are emptied.
void SaveDonateList(int type, int count, const char* (*entry)(void* context, int index), void* context);

// The open-file dialog's filter for a type (pairs of NUL-terminated texts,
// ending in an empty one).
const char* DonateFileFilter(int type);

// Appends the files named by an explorer-style open-file result: one full
// path, or a directory followed by names (each NUL-terminated, an empty
// name ends the list), within size bytes. Which of the two it is comes from
// the dialog's file-name offset: past the first text's end means a
// directory and names. Paths too long to list and names beyond the list's
// capacity are not added, and the user is told. Returns the number of
// entries appended.
int AppendChosenFiles(const char* result, std::size_t size, std::size_t fileOffset, const DonateListSink& sink);
