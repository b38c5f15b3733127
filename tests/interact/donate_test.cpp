// The stored donation list, the request's file-name field, the batch over an
// in-memory server (order, every answer, slots emptied one by one, progress
// pane, cancel) and the add-category and comment exchanges.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "config/basic_settings.h"
#include "config/config_file.h"
#include "base/guarded.h"
#include "diag/log.h"
#include "interact/add_category.h"
#include "interact/comment.h"
#include "interact/donate_list.h"
#include "interact/donate_transfer.h"
#include "interact/progress_pane.h"
#include "net/request_protocol.h"
#include "net/request_record.h"
#include "net/transport.h"
#include "tests/interact/dialog_shell_stub.h"
#include "tests/net/fake_transport.h"
#include "tests/support/test_files.h"
#include "tests/stubs/stubs.h"

namespace {
std::string pane;
std::vector<std::string> labelEvents;
}  // namespace

int ProgressPaneText(char* out, int size) { return std::snprintf(out, static_cast<size_t>(size), "%s", pane.c_str()); }
void ProgressPaneEdit(int dropFront, const char* text) { pane = pane.substr(static_cast<size_t>(dropFront)) + text; }
void ShowWaitLabel() { labelEvents.push_back("show"); }
void HideWaitLabel() { labelEvents.push_back("hide"); }
void ShowProgress(int done, int total) { labelEvents.push_back(std::to_string(done) + "/" + std::to_string(total)); }

namespace {

WindowRef const Dialog = reinterpret_cast<WindowRef>(0x77);

std::vector<std::string> Activity() {
  std::vector<std::string> out;
  for (const auto& line : ActivityLines()) out.push_back(line.substr(line.find("-\t") + 2));
  return out;
}

std::string Slot(int type, int n) {
  char key[32];
  char value[600];
  DonateSlotKey(key, sizeof key, type, n);
  return ConfigGet(value, sizeof value, key, ConfigFileName) ? value : "<absent>";
}

void SetSlot(int type, int n, const std::string& path) {
  char key[32];
  DonateSlotKey(key, sizeof key, type, n);
  ConfigSet(key, path.c_str(), ConfigFileName);
}

std::string Field(const char* path) {
  RequestRecord r = EmptyRecord();
  std::memset(r.text, 'x', sizeof r.text);
  FillFileNameField(r.text, path);
  return std::string(r.text, sizeof r.text);
}

// A list box stand-in.
struct Box {
  std::vector<std::string> entries;
  DonateListSink Sink() {
    return DonateListSink{this, [](void* c) { return static_cast<int>(static_cast<Box*>(c)->entries.size()); },
                          [](void* c, const char* p) { static_cast<Box*>(c)->entries.emplace_back(p); }};
  }
};

// Records of a peer's sends that are 90 bytes long and not block headers of
// the file data (the test files are never 90 bytes long).
std::vector<RequestRecord> Requests() {
  std::vector<RequestRecord> out;
  for (const auto& s : Peer().sends) {
    RequestRecord r;
    if (s.size() == 90 && DecodeRequestRecord(s.data(), s.size(), &r) && r.code == 7) out.push_back(r);
  }
  return out;
}

class DonateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPeer();
    ActivityLines().clear();
    ShownMessages().clear();
    DialogEvents().clear();
    labelEvents.clear();
    pane = "About";
    dir_ = MakeTestDir("donate");
    std::snprintf(DataDirectory, sizeof DataDirectory, "%s", dir_.c_str());
    std::snprintf(SaveLogToDisk, sizeof SaveLogToDisk, "%s", "No");
    std::snprintf(ClientIdentity, sizeof ClientIdentity, "%s", "12345");
    outstanding_ = GuardedOutstanding();
  }
  void TearDown() override {
    EXPECT_EQ(GuardedOutstanding(), outstanding_);
    EXPECT_EQ(Peer().closes, Peer().opens) << "every connection closed";
    DataDirectory[0] = '\0';
  }
  std::string File(const std::string& name, const std::string& bytes) {
    WriteFile(dir_ + name, bytes);
    return dir_ + name;
  }
  std::string dir_;
  long outstanding_ = 0;
};

TEST(DonateField, NameAfterTheLastBackslashLastFiftyCharactersTrimmed) {
  const std::string n49(49, 'a'), n50(50, 'b'), n60 = std::string(10, 'c') + std::string(50, 'd');
  EXPECT_EQ(Field(("C:\\x\\" + n49).c_str()), n49 + '\0');
  EXPECT_EQ(Field(("C:\\x\\" + n50).c_str()), n50) << "a full field has no NUL";
  EXPECT_EQ(Field(("C:\\x\\" + n60).c_str()), std::string(50, 'd'));
  EXPECT_EQ(Field("plain name.txt"), "plain name.txt" + std::string(36, '\0')) << "no backslash: the whole path";
  EXPECT_EQ(Field("C:\\x\\  spaced.txt  "), "spaced.txt" + std::string(40, '\0'));
  // Cut first, then trimmed: the leading spaces that the cut leaves go too.
  EXPECT_EQ(Field(("C:\\" + std::string(10, 'e') + "   " + std::string(47, 'f')).c_str()),
            std::string(47, 'f') + std::string(3, '\0'));
  EXPECT_EQ(Field("C:\\dir\\"), std::string(50, '\0'));
}

TEST_F(DonateTest, StoredListLoadsSlotsOneToFortyOneAndSavesFortyTwo) {
  SetSlot(1, 3, "C:\\a.txt");
  SetSlot(1, 5, "   ");                       // spaces only: a free slot
  SetSlot(1, 7, "  C:\\b.txt  ");
  SetSlot(1, 9, "C:\\" + std::string(197, 'l'));  // 200 characters
  SetSlot(1, 41, "C:\\c.txt");
  SetSlot(1, 42, "C:\\never shown.txt");
  SetSlot(2, 1, "C:\\picture.jpg");
  Box box;
  LoadDonateList(1, box.Sink());
  EXPECT_EQ(box.entries, (std::vector<std::string>{"C:\\a.txt", "C:\\b.txt", "C:\\c.txt"}));
  ASSERT_EQ(ShownMessages().size(), 1u);
  EXPECT_EQ(ShownMessages()[0].rfind(PathTooLongText, 0), 0u);
  EXPECT_NE(ShownMessages()[0].find(std::string(197, 'l')), std::string::npos) << "the whole path is shown";

  SaveDonateList(1, static_cast<int>(box.entries.size()),
                 [](void* c, int i) { return static_cast<Box*>(c)->entries[static_cast<size_t>(i)].c_str(); }, &box);
  EXPECT_EQ(Slot(1, 1), "C:\\a.txt");
  EXPECT_EQ(Slot(1, 2), "C:\\b.txt");
  EXPECT_EQ(Slot(1, 3), "C:\\c.txt");
  // The path too long to list was never shown, so never removed: it keeps
  // a slot.
  EXPECT_EQ(Slot(1, 4), "C:\\" + std::string(197, 'l'));
  for (int n = 5; n <= 42; ++n) EXPECT_EQ(Slot(1, n), "") << n;
  EXPECT_EQ(Slot(1, 43), "<absent>");
  EXPECT_EQ(Slot(2, 1), "C:\\picture.jpg") << "other types untouched";

  StoreDonateCategory(2, 0);
  char value[16];
  ASSERT_EQ(ConfigGet(value, sizeof value, "DONATE-2-CATEGORY", ConfigFileName), 1);
  EXPECT_STREQ(value, "0");
}

TEST_F(DonateTest, ChosenFilesAreJoinedCappedAtFortyOneAndNeverCut) {
  Box box;
  const char one[] = "C:\\dir\\one.txt\0";
  EXPECT_EQ(AppendChosenFiles(one, sizeof one, 7, box.Sink()), 1);
  const char three[] = "C:\\dir\0b.txt\0a.txt\0c.txt\0";
  EXPECT_EQ(AppendChosenFiles(three, sizeof three, 7, box.Sink()), 3);
  const char root[] = "C:\\\0x.txt\0y.txt\0";
  EXPECT_EQ(AppendChosenFiles(root, sizeof root, 4, box.Sink()), 2);
  EXPECT_EQ(box.entries, (std::vector<std::string>{"C:\\dir\\one.txt", "C:\\dir\\b.txt", "C:\\dir\\a.txt",
                                                   "C:\\dir\\c.txt", "C:\\x.txt", "C:\\y.txt"}));
  EXPECT_TRUE(ShownMessages().empty());
  // One file whose result is followed by bytes that are not NUL (what an
  // earlier, longer choice leaves in a reused buffer): the offset says one.
  const char single[] = "C:\\z.txt\0txt\0b.txt\0";
  Box alone;
  EXPECT_EQ(AppendChosenFiles(single, sizeof single, 3, alone.Sink()), 1);
  EXPECT_EQ(alone.entries, std::vector<std::string>{"C:\\z.txt"});

  // 199 characters fit; 200 are refused whole, and the rest still go in.
  std::string dir = "C:\\" + std::string(180, 'd');
  std::string result = dir + '\0' + std::string(15, 'k') + '\0' + std::string(16, 'm') + '\0' + "z" + '\0' + '\0';
  EXPECT_EQ(AppendChosenFiles(result.data(), result.size(), dir.size() + 1, box.Sink()), 2);
  EXPECT_EQ(box.entries[6], dir + "\\" + std::string(15, 'k'));
  EXPECT_EQ(box.entries[7], dir + "\\z");
  ASSERT_EQ(ShownMessages().size(), 1u);
  EXPECT_EQ(ShownMessages()[0].rfind(PathTooLongText, 0), 0u);

  // Past 41 entries: what fits goes in, and the user is told at once.
  ShownMessages().clear();
  std::string many = std::string("C:\\m") + '\0';
  for (int i = 0; i < 40; ++i) many += "f" + std::to_string(i) + ".txt" + '\0';
  many += '\0';
  EXPECT_EQ(AppendChosenFiles(many.data(), many.size(), 5, box.Sink()), 33);
  EXPECT_EQ(box.entries.size(), 41u);
  EXPECT_EQ(box.entries.back(), "C:\\m\\f32.txt");
  EXPECT_EQ(ShownMessages(), std::vector<std::string>{
                                 "The list of files to donate holds at most 41 files. 7 of the chosen files were not added."});
  // A result without the final NUL ends at the buffer's end, not beyond.
  const char cut[4] = {'C', ':', '\\', 'q'};
  Box other;
  EXPECT_EQ(AppendChosenFiles(cut, sizeof cut, 3, other.Sink()), 1);
  EXPECT_EQ(other.entries, std::vector<std::string>{"C:\\q"});
}

TEST(DonatePane, ProgressTextDropsTheOldestLinesWhenFull) {
  char out[64];
  size_t dropped = 99;
  EXPECT_EQ(ComposeProgressText(out, sizeof out, "", "Connecting to server.", &dropped), 23u);
  EXPECT_EQ(dropped, 0u);
  EXPECT_STREQ(out, "\r\nConnecting to server.");
  // 63 characters at most: the oldest whole lines give way.
  const std::string current = "About\r\n" + std::string("\r\n") + std::string(20, 'a') + "\r\n" + std::string(20, 'b');
  ComposeProgressText(out, sizeof out, current.c_str(), std::string(20, 'c').c_str(), &dropped);
  EXPECT_EQ(std::string(out), "\r\n" + std::string(20, 'b') + "\r\n" + std::string(20, 'c'));
  EXPECT_EQ(dropped, current.size() - 22);
  // A line longer than the pane keeps its end.
  ComposeProgressText(out, sizeof out, "old", (std::string(10, 'x') + std::string(61, 'y')).c_str(), &dropped);
  EXPECT_EQ(dropped, 3u);
  EXPECT_EQ(std::string(out), "\r\n" + std::string(61, 'y'));
}

TEST_F(DonateTest, BatchSendsPicturesSoundsQuotesAndEmptiesEachAcceptedSlot) {
  const std::string q = File("quote.txt", "a quote"), p = File("pic.jpg", std::string(5000, 'P')),
                    s = File("snd.wav", "RIFF");
  SetSlot(1, 2, q);
  SetSlot(2, 4, p);
  SetSlot(3, 1, s);
  SetSlot(3, 2, "  ");
  ConfigSet("DONATE-1-CATEGORY", "3", ConfigFileName);
  ConfigSet("DONATE-2-CATEGORY", "0", ConfigFileName);
  ConfigSet("DONATE-3-CATEGORY", "1", ConfigFileName);
  Peer().incoming = RecordBytes(0, 0, 0) + RecordBytes(10, 0, 0, "snd.wav") + RecordBytes(0, 0, 0);
  RunDonateTransfer();

  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].num2, 2);
  EXPECT_EQ(requests[0].num1, 0);
  EXPECT_EQ(requests[1].num2, 3);
  EXPECT_EQ(requests[1].num1, 1);
  EXPECT_EQ(requests[2].num2, 1);
  EXPECT_EQ(requests[2].num1, 3) << "the stored 0-based position as it is";
  EXPECT_STREQ(requests[0].client_id, "12345");
  EXPECT_NE(AllSent().find(std::string(5000, 'P')), std::string::npos);
  EXPECT_NE(AllSent().find("a quote"), std::string::npos);
  EXPECT_EQ(Slot(2, 4), "");
  EXPECT_EQ(Slot(3, 1), s) << "a name the server already holds stays listed";
  EXPECT_EQ(Slot(1, 2), "");
  EXPECT_EQ(pane, "About\r\nConnecting to server.\r\nSending file: " + p + "\r\nSending file to server.\r\nFile " + p +
                      " was added successfully to the server.\r\nConnecting to server.\r\nSending file: " + s +
                      "\r\nConnecting to server.\r\nSending file: " + q + "\r\nSending file to server.\r\nFile " + q +
                      " was added successfully to the server.");
  EXPECT_EQ(Activity(),
            (std::vector<std::string>{
                "Donate file transfer complete.", "File " + p + " was added successfully to the server.",
                "There is already a file by this name on the velmor server. Please donate a unique file.",
                "File snd.wav on server already exists", "Donate file transfer complete.",
                "File " + q + " was added successfully to the server."}));
  EXPECT_EQ(labelEvents.front(), "show");
  EXPECT_EQ(labelEvents[labelEvents.size() - 2], "7/7");
  EXPECT_EQ(labelEvents.back(), "hide");
  EXPECT_TRUE(ShownMessages().empty());
}

// A listed file that is gone or empty is named with its reason, stays
// listed, and the files after it still go; the run's end says how many.
TEST_F(DonateTest, AFileThatCannotBeSentIsSkippedAndTheRunGoesOn) {
  const std::string a = File("a.bmp", "A"), gone = dir_ + "gone.bmp", empty = File("empty.bmp", ""),
                    b = File("b.bmp", "B");
  SetSlot(2, 1, a);
  SetSlot(2, 2, gone);
  SetSlot(2, 3, empty);
  SetSlot(2, 4, b);
  ConfigSet("DONATE-2-CATEGORY", "0", ConfigFileName);
  Peer().incoming = RecordBytes(0, 0, 0) + RecordBytes(0, 0, 0);
  RunDonateTransfer();
  EXPECT_EQ(Requests().size(), 2u);
  EXPECT_NE(AllSent().find("B"), std::string::npos);
  EXPECT_EQ(Slot(2, 1), "");
  EXPECT_EQ(Slot(2, 2), gone);
  EXPECT_EQ(Slot(2, 3), empty);
  EXPECT_EQ(Slot(2, 4), "");
  EXPECT_EQ(ShownMessages(), (std::vector<std::string>{"2 listed files were not sent and stay in the list:\r\n" +
                                                       gone + ": the file does not exist\r\n" + empty +
                                                       ": the file is empty"}));
  const auto lines = Activity();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "File " + gone + " was not sent: the file does not exist. It stays in the list."),
            lines.end());
  EXPECT_EQ(lines.back(), "2 listed files were not sent and stay in the list:");
  EXPECT_NE(pane.find("File " + empty + " was not sent: the file is empty. It stays in the list."), std::string::npos);
}

TEST_F(DonateTest, EveryStopLeavesTheFileAndAllLaterOnesStored) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::vector<std::string> boxes;
    std::vector<std::string> lines;
    int requests;
    const char* category = "0";
  };
  const std::string cancelled = "File transfer cancelled by user request";
  const std::vector<Case> cases = {
      {"code 1", [] { Peer().incoming = RecordBytes(1, 0, 0); }, {"The server was unable to handle your request."}, {}, 1},
      {"busy", [] { Peer().incoming = RecordBytes(3, 0, 0); }, {"The Velmor server you're attached to is busy."}, {}, 1},
      {"code 5", [] { Peer().incoming = RecordBytes(5, 28, 0); }, {},
       {"There was a problem creating the file on the Velmor server.", "File error on server. Errorcode: 28"}, 1},
      {"code 2", [] { Peer().incoming = RecordBytes(2, 0, 0); }, {}, {"Error from server  error: 2"}, 1},
      {"no connection", [] { Peer().openResult = -3; },
       {"Unable to make connection to server. Check the address and port and try again later."},
       {"Donate file request Cancelled"}, 0},
      {"send fails", [] { Peer().failSendsFrom = 0; }, {}, {"Donate file request Cancelled"}, 0},
      {"no answer", [] { Peer().incoming = ""; }, {},
       {"Server not responding to donate request. Please try again later.", "Donate file request Cancelled"}, 1},
      {"window closed while the block goes",
       [] {
         Peer().incoming = RecordBytes(0, 0, 0);
         Peer().onPump = [](int) { if (Peer().sends.size() >= 3) CancelTransfer = 1; };
       },
       {"Transfer Cancelled."}, {cancelled}, 1},
      {"server gone mid-block",
       [] {
         Peer().incoming = RecordBytes(0, 0, 0);
         Peer().failSendsFrom = 3;
         Peer().lastError = 10054;
       },
       {"Error during file transfer: (10054)"}, {"@File transfer of file @ failed. Error: -7 "}, 1},
      {"no category", [] {}, {"No category was selected."}, {}, 0, nullptr},
      {"category not a number", [] {}, {"No category was selected."}, {}, 0, "first"},
      {"category empty", [] {}, {"No category was selected."}, {}, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetPeer();
    ActivityLines().clear();
    ShownMessages().clear();
    dir_ = MakeTestDir("donate-stop");
    std::snprintf(DataDirectory, sizeof DataDirectory, "%s", dir_.c_str());
    const std::string big = File("big.bmp", std::string(2 * BlockSendPiece + 5, 'B'));
    const std::string next = File("next.bmp", "N");
    SetSlot(2, 1, big);
    SetSlot(2, 2, next);
    if (c.category) ConfigSet("DONATE-2-CATEGORY", c.category, ConfigFileName);
    c.arrange();
    RunDonateTransfer();
    EXPECT_EQ(ShownMessages(), c.boxes);
    std::vector<std::string> lines = c.lines;
    for (auto& l : lines)
      if (l[0] == '@') l = "File transfer of file " + big + " failed. Error: -7 ";
    EXPECT_EQ(Activity(), lines);
    EXPECT_EQ(static_cast<int>(Requests().size()), c.requests) << "the run ends with the first stop";
    EXPECT_EQ(Slot(2, 1), big);
    EXPECT_EQ(Slot(2, 2), next);
  }
}

TEST_F(DonateTest, AddCategoryRefusesInOrderAndSendsTheTrimmedName) {
  EXPECT_EQ(AddCategory(Dialog, 0, "Poems"), 0);
  EXPECT_EQ(AddCategory(Dialog, 2, "  x  "), 0);
  EXPECT_EQ(Peer().opens, 0);
  Peer().incoming = RecordBytes(0, 0, 0) + RecordBytes(3, 0, 0) + RecordBytes(9, 0, 0);
  EXPECT_EQ(AddCategory(Dialog, 3, "   Rain sounds  "), 1);
  EXPECT_EQ(AddCategory(Dialog, 1, "Jokes"), 1) << "a busy answer closes the dialog all the same";
  EXPECT_EQ(AddCategory(Dialog, 1, "Jokes"), 1);
  EXPECT_EQ(AddCategory(Dialog, 1, "Jokes"), 0) << "no answer";
  RequestRecord sent;
  ASSERT_TRUE(DecodeRequestRecord(Peer().sends[0].data(), 90, &sent));
  EXPECT_EQ(sent.code, 6);
  EXPECT_EQ(sent.num1, 3);
  EXPECT_EQ(std::string(sent.text, 12), std::string("Rain sounds\0", 12));
  std::vector<std::string> boxes;
  for (const auto& e : DialogEvents()) {
    EXPECT_EQ(e.owner, Dialog);
    if (e.what.rfind("box ", 0) == 0) boxes.push_back(e.what.substr(4));
  }
  EXPECT_EQ(boxes, (std::vector<std::string>{"You must select an item type.", "Please enter a category name.",
                                             "Add category request was successful.",
                                             "The Velmor server you're attached to is busy.",
                                             "Unable to receive confirmation from server. Please try again later."}));
  EXPECT_EQ(Activity(), (std::vector<std::string>{"Category Rain sounds was added successfully to the server.",
                                                  "Error from server  error: 9", "Add category request Cancelled"}));
}

TEST_F(DonateTest, CommentIsOneBlockHeadedByTheIdentity) {
  EXPECT_EQ(SendComment(Dialog, "  a  "), 0);
  EXPECT_EQ(Peer().opens, 0);
  Peer().incoming = RecordBytes(0, 0, 0);
  EXPECT_EQ(SendComment(Dialog, "  Hello  "), 1);
  ASSERT_EQ(Peer().sends.size(), 3u);
  RequestRecord header;
  ASSERT_TRUE(DecodeRequestRecord(Peer().sends[1].data(), 90, &header));
  EXPECT_EQ(header.num2, 29);
  EXPECT_EQ(Peer().sends[2], "Comment from id: 12345\r\nHello");
  std::vector<std::string> events;
  for (const auto& e : DialogEvents()) events.push_back(e.what);
  EXPECT_EQ(events, (std::vector<std::string>{"box You can not send an empty comment.", "open Connecting to server.", "close",
                                              "box Comment sent successfully."}));

  // Refused: the dialog stays open; a full field goes without its last character.
  ResetPeer();
  Peer().incoming = RecordBytes(1, 0, 0) + RecordBytes(0, 0, 0);
  EXPECT_EQ(SendComment(Dialog, "Hi there"), 0);
  std::string full = std::string(4998, 'w') + "!";
  EXPECT_EQ(SendComment(Dialog, (full + "?").c_str()), 1);
  const std::string all = AllSent();
  EXPECT_EQ(all.substr(all.size() - 5023), "Comment from id: 12345\r\n" + std::string(4998, 'w') + "!");
  EXPECT_EQ(Activity().back(), "Your comment was sent to the Velmor server");
}

}  // namespace
