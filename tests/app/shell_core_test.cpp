// Portable pieces of the shell: command-line switches, layout arithmetic,
// status-row and pop-up geometry, placement checks, progress text, and the
// data-directory text helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>
#include <algorithm>

#include "app/command_line.h"
#include "app/pane_text.h"
#include "app/shell_layout.h"
#include "app/shell_text.h"
#include "ui/data_directory.h"

namespace {

std::string Switches(const char* args) {
  const CommandLineSwitches s = ScanCommandLine(args);
  return std::string(s.startHidden ? "H" : "-") + (s.quiet ? "Q" : "-") + (s.transfer ? "T" : "-");
}

TEST(CommandLine, SwitchesAreSubstringsAnywhere) {
  EXPECT_EQ(Switches(nullptr), "---");
  EXPECT_EQ(Switches(""), "---");
  EXPECT_EQ(Switches("/N"), "H--");
  EXPECT_EQ(Switches("/m"), "H--");
  EXPECT_EQ(Switches("/q"), "-Q-");
  EXPECT_EQ(Switches("C:\\apps/new/velmor"), "H--");  // "/n" inside a path
  EXPECT_EQ(Switches("x/Qy/M"), "HQ-");
  EXPECT_EQ(Switches("/x /Y /k"), "---");              // case matters, other letters do nothing
  EXPECT_EQ(Switches(TransferMarkerArgument), "--T");
  EXPECT_EQ(Switches("/Q -velmor-transfer-instance /N"), "HQT");
  EXPECT_EQ(Switches("-velmor-transfer"), "---");      // a part of the marker is not the marker
}

TEST(CommandLine, MarkerHoldsNoOtherSwitch) {
  for (const char* s : {"/N", "/n", "/M", "/m", "/Q", "/q"})
    EXPECT_EQ(std::strstr(TransferMarkerArgument, s), nullptr) << s;
}

TEST(Layout, MinimumAndSnap) {
  EXPECT_EQ(DecideLayout(89, 300), LayoutAction::Skip);
  EXPECT_EQ(DecideLayout(300, 59), LayoutAction::Skip);
  EXPECT_EQ(DecideLayout(90, 60), LayoutAction::SnapAndPlace);
  EXPECT_EQ(DecideLayout(456, 150), LayoutAction::SnapAndPlace);
  EXPECT_EQ(DecideLayout(456, 199), LayoutAction::SnapAndPlace);
  EXPECT_EQ(DecideLayout(456, 200), LayoutAction::Place);
}

TEST(Layout, ChildrenFollowTheClientArea) {
  const ChildLayout c = LayoutChildren(440, 160);
  EXPECT_EQ(c.title.x, 315); EXPECT_EQ(c.title.y, 147); EXPECT_EQ(c.title.width, 170); EXPECT_EQ(c.title.height, 13);
  EXPECT_EQ(c.activity.x, 5); EXPECT_EQ(c.activity.y, 55); EXPECT_EQ(c.activity.width, 430); EXPECT_EQ(c.activity.height, 95);
  EXPECT_EQ(c.text.x, 5); EXPECT_EQ(c.text.y, 5); EXPECT_EQ(c.text.width, 430); EXPECT_EQ(c.text.height, 35);
}

TEST(Layout, StatusRowLabels) {
  const ShellRect hold = HoldLabelRect(160), wait = WaitLabelRect(160), trailer = TrailerLabelRect(160);
  EXPECT_EQ(hold.x, 5); EXPECT_EQ(hold.y, 148); EXPECT_EQ(hold.width, 80); EXPECT_EQ(hold.height, 13);
  EXPECT_EQ(wait.x, 90); EXPECT_EQ(wait.y, 148); EXPECT_EQ(wait.width, 125); EXPECT_EQ(wait.height, 13);
  EXPECT_EQ(trailer.x, 90); EXPECT_EQ(trailer.y, 148); EXPECT_EQ(trailer.width, 225);
}

TEST(Layout, TransferMessageIsCentredAndSizedFromTheText) {
  ShellRect r = TransferMessageRect(200, 1024, 768);
  EXPECT_EQ(r.width, 345); EXPECT_EQ(r.height, 52);
  EXPECT_EQ(r.x, 512 - 172); EXPECT_EQ(r.y, 384 - 26);
  r = TransferMessageRect(201, 1023, 767);  // odd sizes: each half truncated
  EXPECT_EQ(r.x, 511 - 173); EXPECT_EQ(r.y, 383 - 26);
  r = TransferMessageRect(2000, 1024, 768);  // wider than the screen: negative x, truncated towards zero
  EXPECT_EQ(r.x, 512 - 1072);
  const ShellRect text = TransferMessageTextRect(200), button = TransferMessageButtonRect(200);
  EXPECT_EQ(text.x, 10); EXPECT_EQ(text.y, 7); EXPECT_EQ(text.width, 200); EXPECT_EQ(text.height, 18);
  EXPECT_EQ(button.x, 215); EXPECT_EQ(button.y, 5); EXPECT_EQ(button.width, 120); EXPECT_EQ(button.height, 18);
}

TEST(Placement, StoredPlacementMustBeFindable) {
  const ShellRect screens[2] = {{0, 0, 1024, 768}, {1024, 0, 800, 600}};
  EXPECT_TRUE(PlacementUsable(DefaultPlacement(), screens, 2));
  EXPECT_TRUE(PlacementUsable({1500, 100, 456, 211}, screens, 2));   // on the second monitor
  EXPECT_TRUE(PlacementUsable({-400, -100, 456, 211}, screens, 1));  // partly visible
  EXPECT_FALSE(PlacementUsable({-32000, -32000, 160, 24}, screens, 2));  // saved while minimised
  EXPECT_FALSE(PlacementUsable({1824, 0, 456, 211}, screens, 2));    // just right of everything
  EXPECT_FALSE(PlacementUsable({100, 768, 456, 211}, screens, 1));   // just below
  EXPECT_FALSE(PlacementUsable({80, 137, 89, 211}, screens, 2));     // too narrow to lay out
  EXPECT_FALSE(PlacementUsable({80, 137, 456, 59}, screens, 2));
  EXPECT_FALSE(PlacementUsable({80, 137, 0, 0}, screens, 2));
  EXPECT_FALSE(PlacementUsable({80, 137, -456, 211}, screens, 2));
  EXPECT_FALSE(PlacementUsable({80, 137, 2147483647, 211}, screens, 2));
  // Huge coordinates do not wrap into the screen.
  EXPECT_FALSE(PlacementUsable({2147483600, 0, 456, 211}, screens, 2));
  EXPECT_TRUE(PlacementUsable({80, 137, 456, 211}, nullptr, 0));
}

TEST(ProgressText, TruncatedPercentage) {
  char out[64];
  FormatProgress(out, sizeof out, 1500, 3000);
  EXPECT_STREQ(out, "1500 / 3000 (50%)");
  FormatProgress(out, sizeof out, 2, 3);
  EXPECT_STREQ(out, "2 / 3 (66%)");
  FormatProgress(out, sizeof out, 0, 999999);
  EXPECT_STREQ(out, "0 / 999999 (0%)");
  FormatProgress(out, sizeof out, 2000000000, 2000000000);  // no overflow in done * 100
  EXPECT_STREQ(out, "2000000000 / 2000000000 (100%)");
  FormatProgress(out, sizeof out, 5, 0);  // no division by zero
  EXPECT_STREQ(out, "5 / 0 (0%)");
  char small[6];
  std::memset(small, 'x', sizeof small);
  FormatProgress(small, sizeof small, 1500, 3000);
  EXPECT_STREQ(small, "1500 ");
}

TEST(ShellText, AboutPaneHasSixCrLfLines) {
  std::string text = AboutPaneText;
  int lines = 0;
  for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  EXPECT_EQ(lines, 6);
  EXPECT_EQ(text.rfind("Velmor for Windows NT/95\r\nVersion 7.1\r\n", 0), 0u);
  EXPECT_NE(text.find("\r\n\"this software is based in part on the work of the Independent JPEG Group\"\r\nA small part.\r\n"),
            std::string::npos);
  EXPECT_EQ(text.size() - text.rfind("A small part.\r\n"), std::strlen("A small part.\r\n"));
  std::string box = AboutBoxText;
  EXPECT_EQ(box.rfind("Velmor for Windows NT/95\nVersion 7.1 5/5/98\n", 0), 0u);
  EXPECT_EQ(box.find('\r'), std::string::npos);
}

TEST(DataDirectoryText, InputLimitAndDirectoryOfPath) {
  EXPECT_TRUE(DirectoryInputFits(""));
  EXPECT_TRUE(DirectoryInputFits(std::string(98, 'd').c_str()));
  EXPECT_FALSE(DirectoryInputFits(std::string(99, 'd').c_str()));

  char out[300];
  EXPECT_EQ(DirectoryOfPath("C:\\VELMOR\\DATA\\QUOTE.TXT", out, sizeof out), 1);
  EXPECT_STREQ(out, "C:\\VELMOR\\DATA");
  EXPECT_EQ(DirectoryOfPath("C:\\AUTOEXEC.BAT", out, sizeof out), 1);
  EXPECT_STREQ(out, "C:");
  EXPECT_EQ(DirectoryOfPath("NOSLASH.TXT", out, sizeof out), 0);
  EXPECT_STREQ(out, "");
  char small[6];
  EXPECT_EQ(DirectoryOfPath("C:\\LONGER\\X", small, sizeof small), 0);  // does not fit: refused, not cut
  EXPECT_STREQ(small, "");
  EXPECT_EQ(DirectoryOfPath("C:\\AB\\X", small, sizeof small), 1);
  EXPECT_STREQ(small, "C:\\AB");
}

}  // namespace

// The text pane's display form: long lines get soft breaks, and every
// selection of the display form maps back to the exact received bytes.
static std::string WithoutInserted(const std::string& shown, const std::vector<std::size_t>& inserted, std::size_t from,
                            std::size_t to) {
  std::vector<bool> soft(shown.size() + 2);
  for (std::size_t b : inserted) soft[b] = soft[b + 1] = true;
  std::string out;
  for (std::size_t i = from; i < to; ++i)
    if (!soft[i]) out += shown[i];
  return out;
}

TEST(PaneText, OrdinaryTextsAreShownAsTheyCame) {
  std::vector<std::size_t> inserted{99};
  const std::string lines = "first line\r\nsecond\r\n" + std::string(PaneLongLine - 2, 'x') + "\r\nlast";
  EXPECT_EQ(PaneDisplayForm(lines, &inserted), lines);
  EXPECT_TRUE(inserted.empty());
  EXPECT_EQ(PaneReceivedOffset(7, inserted), 7u);
}

TEST(PaneText, LongLinesAreBrokenAndSelectionsMapBack) {
  // Words of varying length, a bare LF (not a line end for the control), a
  // CR LF at the piece boundary, and one line of 999,999 bytes with no space.
  std::string text;
  for (int i = 0; text.size() < 5000; ++i) text += std::string(1 + i % 13, 'a' + i % 26) + (i % 50 ? " " : "\n");
  text += std::string(79, 'q') + "\r\nshort\r\n";
  text += std::string(999999, 'z');
  std::vector<std::size_t> inserted;
  const std::string shown = PaneDisplayForm(text, &inserted);
  ASSERT_FALSE(inserted.empty());
  std::size_t longest = 0, run = 0;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    run = shown.compare(i, 2, "\r\n") == 0 ? 0 : run + 1;
    longest = std::max(longest, run);
  }
  EXPECT_LE(longest, PanePieceLength + 1);
  for (std::size_t b : inserted) ASSERT_EQ(shown.compare(b, 2, "\r\n"), 0);
  // Breaks fall after a space where the piece has one.
  EXPECT_EQ(shown[inserted[0] - 1], ' ');

  EXPECT_EQ(PaneReceivedOffset(shown.size(), inserted), text.size());
  const std::size_t cuts[][2] = {{0, 6000}, {3, 4}, {inserted[0], inserted[0] + 1}, {inserted[0] + 1, inserted[2] + 1},
                                 {4990, 5300}};
  for (const auto& c : cuts) {
    const std::size_t from = PaneReceivedOffset(c[0], inserted), to = PaneReceivedOffset(c[1], inserted);
    EXPECT_EQ(text.substr(from, to - from), WithoutInserted(shown, inserted, c[0], c[1])) << c[0] << ".." << c[1];
  }
  const std::size_t from = PaneReceivedOffset(0, inserted), to = PaneReceivedOffset(shown.size(), inserted);
  EXPECT_TRUE(text.substr(from, to - from) == text);
}

// A long text goes into the control piece by piece. The pieces join to the
// display form, end at line ends (never between a CR and its LF) yet short
// of a full piece by no more than a line's length, and a copy
// taken while only some are in gives received bytes; one that reaches the
// end of what is in gives the rest of the text too.
TEST(PaneText, PiecesJoinToTheDisplayFormAndCopiesDuringTheFillAreExact) {
  std::string text;
  for (int i = 0; text.size() < 3 * PaneFillPiece; ++i) text += "line " + std::to_string(i) + "\r\n";
  text += std::string(999999, 'w');
  std::vector<std::size_t> inserted;
  const std::string shown = PaneDisplayForm(text, &inserted);
  std::string joined;
  for (std::size_t held = 0; held < shown.size();) {
    const std::size_t end = PanePieceEnd(shown, held, PaneFillPiece);
    ASSERT_GT(end, held);
    ASSERT_LE(end - held, PaneFillPiece);
    if (end < shown.size()) {
      ASSERT_EQ(shown.compare(end - 2, 2, "\r\n"), 0) << end;
      ASSERT_GT(end - held, PaneFillPiece - PaneLongLine - 2) << end;
    }
    joined += shown.substr(held, end - held);
    held = end;
    if (held == shown.size()) break;
    const PaneRange all = PaneCopyRange(0, held, held, shown.size(), inserted);
    ASSERT_EQ(all.first, 0u);
    ASSERT_EQ(all.second, text.size()) << held;
    const PaneRange part = PaneCopyRange(3, held - 1, held, shown.size(), inserted);
    ASSERT_EQ(part.second, PaneReceivedOffset(held - 1, inserted));
    const PaneRange none = PaneCopyRange(held, held, held, shown.size(), inserted);
    ASSERT_EQ(none.second, none.first);
  }
  EXPECT_TRUE(joined == shown);
  const PaneRange whole = PaneCopyRange(0, shown.size(), shown.size(), shown.size(), inserted);
  EXPECT_EQ(whole.second - whole.first, text.size());
  // A line longer than a piece: cut short of it, not between its CR and LF.
  const std::string bare = std::string(100, 'x') + "\r\nend";
  EXPECT_EQ(PanePieceEnd(bare, 0, 101), 100u);
  EXPECT_EQ(PanePieceEnd(bare, 0, 50), 50u);
  EXPECT_EQ(PanePieceEnd(bare, 0, 102), 102u);
}

// Under a caption and borders taller than the classic 25 pixels (a Windows
// 10 caption, a larger caption font) the pop-up grows, so that its label
// and button are never cut off; at 96 DPI under a classic one it stays 52.
TEST(Layout, TransferMessageHeightFollowsTheFrame) {
  EXPECT_EQ(TransferMessageRect(200, 1024, 768, 96, 25).height, 52);
  EXPECT_EQ(TransferMessageRect(200, 1024, 768, 96, 31).height, 31 + 27);
  EXPECT_EQ(TransferMessageRect(200, 1024, 768, 144, 37).height, 78);
  EXPECT_EQ(TransferMessageRect(200, 1024, 768, 144, 60).height, 60 + 41);
}

// A size stored, shown at any DPI and stored again comes back unchanged.
TEST(Placement, StoredSizeIsTheSizeAt96Dpi) {
  for (int dpi : {96, 120, 144, 168, 192, 288}) {
    for (int w = 90; w <= 2000; ++w) {
      const WindowPlacement shown = PlacementForDpi({-5, 7, w, w + 1}, dpi);
      const WindowPlacement again = PlacementToStore(shown, dpi);
      ASSERT_EQ(again.width, w) << dpi;
      ASSERT_EQ(again.height, w + 1) << dpi;
      ASSERT_EQ(again.left, -5);
      ASSERT_EQ(again.top, 7);
    }
  }
  EXPECT_EQ(PlacementForDpi({80, 137, 456, 211}, 144).width, 684);
  EXPECT_EQ(PlacementForDpi({80, 137, 456, 211}, 144).height, 317);
}
