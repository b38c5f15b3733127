// The text side of the data-directory dialog: checking what the user typed
// and taking the directory out of a picked file's path.
#pragma once
#include <cstddef>

// DataDirectory holds 99 characters including the backslash that is added,
// so the typed directory may have 98.
constexpr int MaxDataDirectoryInput = 98;

constexpr const char* DirectoryMissingFormat = "Directory: '%s' does not exist.";
constexpr const char* DirectoryTooLongText =
    "The directory name is too long: Velmor can use at most 98 characters.";
constexpr const char* BrowseTitle = "Directory for Velmor Data";
constexpr const char* FileDialogFailedText = "Unable to display file dialog.";

// 1 when the trimmed input fits DataDirectory with its backslash.
int DirectoryInputFits(const char* trimmed);

// The directory part of a file path: everything before its last backslash
// (so "C:\x.txt" gives "C:"). Returns 1 and fills out (always terminated);
// returns 0 and leaves out empty when the path has no backslash or the
// directory does not fit in size bytes.
int DirectoryOfPath(const char* path, char* out, std::size_t size);
