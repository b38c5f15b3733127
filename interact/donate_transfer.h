// The transfer instance's batch: every stored file of every item type goes
// to the server over a connection of its own, with a donate request (7) and
// the file as a block; each accepted file's slot is emptied at once, so a
// run that stops or a process that is killed leaves exactly the files not
// yet accepted in the list.
#pragma once
#include <cstddef>

#include "net/request_record.h"

// The argument that makes a process the transfer instance. The file-list
// dialog passes it, alone, when it starts that instance. It holds none of
// "/N", "/n", "/M", "/m", "/Q", "/q", so the transfer instance is neither
// hidden nor quiet because of its own marker.
constexpr const char* TransferMarkerArgument = "-velmor-transfer-instance";

// The progress pane's text is handled in a buffer of this size.
constexpr std::size_t ProgressTextSize = 20000;

// Sends the stored files: pictures, then sounds, then quotes, each type in
// slot order; the first file that stops the run leaves the rest stored. A
// file that cannot be read is skipped and stays listed; the run's end tells
// the user how many, which and why.
void RunDonateTransfer();

// SendListedFile's result for a file that was skipped.
constexpr int SendSkipped = 2;

// Donates one listed file (slot of type). 1 to go on with the next file
// (sent, or a file of that name already on the server), SendSkipped (the
// file is missing, empty or unreadable: named in the pane and the log, and
// left listed; the run goes on), 0 to stop the run.
int SendListedFile(const char* path, int type, int slot);

// The request's file-name field: the part of the path after its last
// backslash (the whole path without one); a name of 50 characters or more is
// cut to its last 50, which fill the field without a NUL. Spaces are then
// trimmed from both ends.
void FillFileNameField(char field[RecordTextSize], const char* path);

// Adds one line (after a line break) to the progress pane.
void AppendTransferProgress(const char* text);

// The pane's next text: current, a line break, then line, within size - 1
// characters. When that would not fit, the oldest lines of current are
// dropped, whole, until it does; *dropped tells how many characters of
// current went. Returns the length written to out.
std::size_t ComposeProgressText(char* out, std::size_t size, const char* current, const char* line,
                                std::size_t* dropped);
