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
