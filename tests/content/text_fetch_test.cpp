// Quotes, news and tips over an in-memory server: what the text pane shows,
// the activity lines, and the request that went out.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "config/basic_settings.h"
#include "config/config_file.h"
#include "content/text_fetch.h"
#include "content/text_pane.h"
#include "content/wait_label.h"
#include "base/guarded.h"
#include "diag/log.h"
#include "net/request_record.h"
#include "net/transport.h"
#include "base/clock.h"
#include "tests/net/fake_transport.h"
#include "tests/support/test_files.h"
#include "tests/stubs/stubs.h"

// The front end's side, recorded.
namespace {
std::vector<std::string> paneTexts;
std::vector<std::string> labelEvents;
}  // namespace

void TextPaneSetText(const char* text) { paneTexts.emplace_back(text); }
void ShowWaitLabel() { labelEvents.push_back("show"); }
void HideWaitLabel() { labelEvents.push_back("hide"); }
void ShowProgress(int done, int total) { labelEvents.push_back(std::to_string(done) + "/" + std::to_string(total)); }

namespace {

int64_t fixedUtc = 1234567;
int64_t FixedUtc() { return fixedUtc; }

// The draw RandomBelow must make for the fixed second, computed here from
// the generator's definition.
int ExpectedDraw(int n) {
  uint32_t state = static_cast<uint32_t>(fixedUtc % 100000);
  state = state * 214013u + 2531011u;
  return static_cast<int>((state >> 16) & 0x7FFF) % n;
}

std::string LastActivity() {
  const auto& lines = ActivityLines();
  if (lines.empty()) return "";
  const std::string& line = lines.back();
  size_t tab = line.find("-\t");
  return tab == std::string::npos ? line : line.substr(tab + 2);
}

RequestRecord SentRequest() {
  RequestRecord r = EmptyRecord();
  if (!Peer().sends.empty()) DecodeRequestRecord(Peer().sends[0].data(), Peer().sends[0].size(), &r);
  return r;
}

class TextFetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPeer();
    paneTexts.clear();
    labelEvents.clear();
    ActivityLines().clear();
    std::string dir = MakeTestDir("text-fetch");
    std::snprintf(DataDirectory, sizeof DataDirectory, "%s", dir.c_str());
    std::snprintf(SaveLogToDisk, sizeof SaveLogToDisk, "%s", "No");
    std::snprintf(ClientIdentity, sizeof ClientIdentity, "%s", "77");
    ConfigSet("SELECTQuote", "4", ConfigFileName);
    ClockSetSourcesForTesting(nullptr, FixedUtc);
    outstanding_ = GuardedOutstanding();
  }
  void TearDown() override {
    ClockSetSourcesForTesting(nullptr, nullptr);
    EXPECT_EQ(GuardedOutstanding(), outstanding_);
    EXPECT_EQ(Peer().closes, Peer().opens) << "every opened connection is closed";
  }
  long outstanding_ = 0;
};

TEST_F(TextFetchTest, QuoteIsShownWithCrLf) {
  Peer().incoming = RecordBytes(0, 0, 0) + BlockBytes("\nOne\nTwo\r\nThree\rFour\n", 8);
  EXPECT_EQ(QuoteUpdate(0), 1);
  ASSERT_EQ(paneTexts.size(), 1u);
  EXPECT_EQ(paneTexts[0], "\r\nOne\r\nTwo\r\nThree\rFour\r\n");
  EXPECT_EQ(LastActivity(), "New Quote Available.");
  RequestRecord sent = SentRequest();
  EXPECT_EQ(sent.code, 1);
  EXPECT_EQ(sent.num1, 5);
  EXPECT_EQ(labelEvents.front(), "show");
  EXPECT_EQ(labelEvents.back(), "hide");
  EXPECT_EQ(labelEvents[labelEvents.size() - 2], "21/21");
}

TEST_F(TextFetchTest, NewsAndTipsAreShownAsReceived) {
  const char* body = "Line one\nLine two\n";
  Peer().incoming = RecordBytes(0, 0, 0) + BlockBytes(body, 4096);
  NewsFetch();
  EXPECT_EQ(paneTexts.back(), body);
  EXPECT_EQ(LastActivity(), "News Available.");
  EXPECT_EQ(SentRequest().code, 8);

  ResetPeer();
  Peer().incoming = RecordBytes(0, 0, 0) + BlockBytes(body, 4096);
  TipsFetch();
  EXPECT_EQ(paneTexts.back(), body);
  EXPECT_EQ(LastActivity(), "Tips Available.");
  EXPECT_EQ(SentRequest().code, 9);
}

TEST_F(TextFetchTest, EmptyQuoteStillCounts) {
  paneTexts.clear();
  Peer().incoming = RecordBytes(0, 0, 0) + BlockBytes("", 4096);
  EXPECT_EQ(QuoteUpdate(0), 1);
  ASSERT_EQ(paneTexts.size(), 1u);
  EXPECT_EQ(paneTexts[0], "");
  EXPECT_EQ(LastActivity(), "New Quote Available.");
}

TEST_F(TextFetchTest, CategoryFromTheSelection) {
  ConfigSet("SELECTQuote", "0 3 5", ConfigFileName);
  const int expected[] = {1, 4, 6};
  Peer().incoming = RecordBytes(2, 0, 0);
  EXPECT_EQ(QuoteUpdate(0), 0);
  int category = expected[ExpectedDraw(3)];
  EXPECT_EQ(SentRequest().num1, category);
  EXPECT_EQ(LastActivity(), "Quote Category " + std::to_string(category) + " is empty on the server.");

  // No selection: nothing is opened and nothing is said.
  ResetPeer();
  ActivityLines().clear();
  ConfigSet("SELECTQuote", "", ConfigFileName);
  EXPECT_EQ(QuoteUpdate(0), 0);
  EXPECT_EQ(Peer().opens, 0);
  EXPECT_TRUE(ActivityLines().empty());
}

TEST_F(TextFetchTest, ResponseCodesAndFailures) {
  struct Case {
    void (*fetch)();
    std::string incoming;
    long long open;
    int failSends;
    const char* line;
  };
  auto quote = [] { QuoteUpdate(0); };
  const Case cases[] = {
      {quote, RecordBytes(3, 0, 0), 3, -1, "The Velmor server you're attached to is busy."},
      {quote, RecordBytes(4, 0, 0), 3, -1, "The Velmor server was unable to obtain the information you requested."},
      {quote, RecordBytes(12, 0, 0), 3, -1, "Error from server  error: 12"},
      {quote, RecordBytes(0, 0, 0) + RecordBytes(5, 0, 0), 3, -1,
       "The Velmor server was unable to deliver the information you requested."},
      {quote, RecordBytes(0, 0, 0) + BlockBytes(std::string(1000000, 'q'), 4096), 3, -1,
       "The Velmor server was unable to deliver the information you requested."},
      {quote, "", -3, -1, "Request Cancelled"},
      {quote, "", 3, 0, "Error on send error: -4"},
      {quote, RecordBytes(0, 0, 0).substr(0, 20), 3, -1, "Error on recv error: -5"},
      {NewsFetch, RecordBytes(4, 0, 0), 3, -1, "The news file on this Velmor server was unavailable."},
      {NewsFetch, RecordBytes(2, 0, 0), 3, -1, "Error from server  error: 2"},
      {NewsFetch, RecordBytes(3, 0, 0), 3, -1, "The Velmor server you're attached to is busy."},
      {NewsFetch, RecordBytes(0, 0, 0) + RecordBytes(0, 0, 5), 3, -1,
       "The Velmor server was unable to deliver the news file."},
      {TipsFetch, RecordBytes(4, 0, 0), 3, -1, "The tips file on this Velmor server was unavailable."},
      {TipsFetch, RecordBytes(2, 0, 0), 3, -1, "Error from server  error: 2"},
      {TipsFetch, RecordBytes(0, 0, 0) + RecordBytes(1, 4096, 5), 3, -1,
       "The Velmor server was unable to deliver the tips file."},
      {TipsFetch, "", -1, -1, "Request Cancelled"},
  };
  for (const Case& c : cases) {
    ResetPeer();
    paneTexts.clear();
    Peer().incoming = c.incoming;
    Peer().openResult = c.open;
    Peer().failSendsFrom = c.failSends;
    c.fetch();
    EXPECT_EQ(LastActivity(), c.line);
    EXPECT_TRUE(paneTexts.empty()) << c.line;
    EXPECT_EQ(Peer().closes, Peer().opens) << c.line;
  }
}

TEST_F(TextFetchTest, CancelledBlock) {
  Peer().incoming = RecordBytes(0, 0, 0) + BlockBytes(std::string(5000, 'x'), 1000);
  Peer().onPump = [](int pump) {
    if (pump == 5) CancelTransfer = 1;
  };
  EXPECT_EQ(QuoteUpdate(0), 0);
  EXPECT_EQ(LastActivity(), "Transfer Cancelled");
  EXPECT_TRUE(paneTexts.empty());
}

TEST(ToCrLf, LineEnds) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"", ""},
      {"\n", "\r\n"},
      {"a\nb", "a\r\nb"},
      {"a\r\nb", "a\r\nb"},
      {"a\rb", "a\rb"},
      {"\n\n", "\r\n\r\n"},
      {"\r\n\n\r", "\r\n\r\n\r"},
  };
  long before = GuardedOutstanding();
  for (const Case& c : cases) {
    char* text = GuardedAlloc(static_cast<int>(std::strlen(c.in)) + 1);
    std::strcpy(text, c.in);
    char* out = ToCrLf(text);
    EXPECT_STREQ(out, c.out);
    GuardedFree(out);
  }
  // Every line feed bare: the worst case fits the reserved block.
  std::string worst(5000, '\n');
  char* text = GuardedAlloc(5001);
  std::memcpy(text, worst.data(), 5000);
  char* out = ToCrLf(text);
  EXPECT_EQ(std::strlen(out), 10000u);
  GuardedFree(out);
  EXPECT_EQ(GuardedOutstanding(), before);
}

TEST(ReportBlockReceiveStatus, EveryLine) {
  struct Case {
    int status;
    const char* line;
  };
  const Case cases[] = {
      {0, "Nothing is wrong, but we tripped an error. Weird eh? cat=12."},
      {2, "Quote Category 12 is empty on the server."},
      {3, "The Velmor server you're attached to is busy."},
      {4, "The file requested was unavailable on the Velmor server you attached to."},
      {8, "Picture Category 12 is empty on the server."},
      {9, "Sound Category 12 is empty on the server."},
      {11, "Transfer Cancelled."},
      {1, "Unknown error from block receive: 1."},
      {5, "Unknown error from block receive: 5."},
      {6, "Unknown error from block receive: 6."},
      {7, "Unknown error from block receive: 7."},
      {10, "Unknown error from block receive: 10."},
      {12, "Unknown error from block receive: 12."},
      {-7, "Unknown error from block receive: -7."},
  };
  std::snprintf(SaveLogToDisk, sizeof SaveLogToDisk, "%s", "No");
  for (const Case& c : cases) {
    ReportBlockReceiveStatus(c.status, 12);
    EXPECT_EQ(LastActivity(), c.line);
  }
}

}  // namespace
