#include "app/pane_text.h"

#include <algorithm>

std::string PaneDisplayForm(const std::string& text, std::vector<std::size_t>* inserted) {
  inserted->clear();
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  std::size_t at = 0;
  while (at < text.size()) {
    // A line is what the control shows as one: up to and with its CR LF.
    std::size_t end = text.find("\r\n", at);
    end = end == std::string::npos ? text.size() : end + 2;
    if (end - at <= PaneLongLine) {
      out.append(text, at, end - at);
      at = end;
      continue;
    }
    while (end - at > PanePieceLength) {
      std::size_t cut = at + PanePieceLength;
      // After the last space of the piece, unless that leaves less than half.
      for (std::size_t k = cut; k > at + PanePieceLength / 2; --k) {
        if (text[k - 1] == ' ') {
          cut = k;
          break;
        }
      }
      // Never between the CR and the LF of the line's end.
      if (text[cut - 1] == '\r' && cut < end && text[cut] == '\n') --cut;
      out.append(text, at, cut - at);
      inserted->push_back(out.size());
      out += "\r\n";
      at = cut;
    }
    out.append(text, at, end - at);
    at = end;
  }
  return out;
}

std::size_t PaneReceivedOffset(std::size_t at, const std::vector<std::size_t>& inserted) {
  // Breaks wholly before at, and a break that at falls inside.
  const auto before = std::upper_bound(inserted.begin(), inserted.end(), at);
  std::size_t removed = 0;
  for (auto it = inserted.begin(); it != before; ++it) removed += (at >= *it + 2) ? 2 : at - *it;
  return at - removed;
}

std::size_t PanePieceEnd(const std::string& shown, std::size_t from, std::size_t size) {
  if (shown.size() - from <= size) return shown.size();
  std::size_t end = from + size;
  const std::size_t lineEnd = shown.rfind("\r\n", end - 2);
  if (lineEnd != std::string::npos && lineEnd >= from) return lineEnd + 2;
  if (shown[end - 1] == '\r' && shown[end] == '\n') --end;
  return end;
}

PaneRange PaneCopyRange(std::size_t start, std::size_t end, std::size_t held, std::size_t shownSize,
                        const std::vector<std::size_t>& inserted) {
  if (end <= start) return {0, 0};
  if (end >= held && held < shownSize) end = shownSize;
  return {PaneReceivedOffset(start, inserted), PaneReceivedOffset(end, inserted)};
}
