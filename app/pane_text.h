// The text pane's display form of a text.
//
// A multi-line edit control that wraps words spends time growing with the
// square of a line's length (one 102,000-byte line took 39 s under Wine, a
// 999,999-byte one about 11 minutes, the window dead meanwhile). So a line
// longer than PaneLongLine is shown with soft breaks (CR LF) inserted into
// it every PanePieceLength characters at most, after the last space of the
// piece where there is one; shorter lines, and so every ordinary text, are
// shown exactly as they came. The pane keeps the text as received, and a
// copy from the pane maps the selection back onto it: the inserted breaks
// never reach the clipboard.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

constexpr std::size_t PaneLongLine = 1024;
constexpr std::size_t PanePieceLength = 60;

// The display form of text; inserted receives, in increasing order, the
// offsets in the display form of every CR LF pair that was inserted.
std::string PaneDisplayForm(const std::string& text, std::vector<std::size_t>* inserted);

// The offset in the received text of the display form's offset at; an
// offset inside an inserted break maps to where the break was inserted.
std::size_t PaneReceivedOffset(std::size_t at, const std::vector<std::size_t>& inserted);

// Even with the soft breaks, the control lays out a megabyte of text in one
// to three seconds under Wine, the window dead meanwhile. So a display form
// longer than PaneFirstPiece goes in piece by piece: the first piece at once
// (more lines than a pane the height of a screen shows), then pieces of
// PaneFillPiece, each in a step of its own between messages. Each step costs
// a fixed part (the control scrolls to its end and back, and notifies its
// parent) besides the layout of the piece's lines: larger pieces fill
// sooner, smaller ones keep the window quicker to answer.
constexpr std::size_t PaneFirstPiece = 8192;
constexpr std::size_t PaneFillPiece = 32768;

// The end of the piece of the display form that starts at from and takes at
// most size bytes: after the last CR LF inside it, so that the control never
// lays out a line twice; without one, at from + size, though never between
// a CR and its LF.
std::size_t PanePieceEnd(const std::string& shown, std::size_t from, std::size_t size);

// The received bytes [first, second) that copying the selection [start, end)
// of the display form gives, while the control holds the first held bytes
// of a display form of shownSize bytes. A selection that reaches the end of
// what the control holds while more is still to come runs on to the end of
// the text: selecting everything during the fill copies everything.
struct PaneRange {
  std::size_t first, second;
};
PaneRange PaneCopyRange(std::size_t start, std::size_t end, std::size_t held, std::size_t shownSize,
                        const std::vector<std::size_t>& inserted);
