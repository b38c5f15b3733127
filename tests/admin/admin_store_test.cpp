// What accepting does to the content directory, and which donation ids a
// request may name.
#include "server/admin_auth.h"
#include "server/admin_store.h"

#include <algorithm>
#include <fcntl.h>

#include "../server/test_client.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace {

TEST(AdminStore, OnlyPlainDonationIdsAreTaken) {
  DonationRef ref;
  ASSERT_TRUE(ParseDonationId("picture/12/sun set.jpg", &ref));
  EXPECT_EQ(ItemPicture, ref.type);
  EXPECT_EQ(12, ref.position);
  EXPECT_EQ("sun set.jpg", ref.name);
  for (const char* id : {"picture/0/../../etc/passwd", "picture/../x", "picture/01/x", "picture/-1/x",
                         "picture/1000/x", "sound/0/.x.meta", "sound/0/", "video/0/x", "picture/0", "/picture/0/x",
                         "quote/0/a/b"}) {
    EXPECT_FALSE(ParseDonationId(id, &ref)) << id;
  }
}

TEST(AdminStore, QuotesAreAppendedAsNewQuotes) {
  std::string out, why;
  ASSERT_TRUE(AppendQuote("", "\r\nFirst line\r\nsecond\r\n\r\n", &out, &why));
  EXPECT_EQ("First line\nsecond\n", out);
  ASSERT_TRUE(AppendQuote("Old one", "New one", &out, &why));
  EXPECT_EQ("Old one\n%\nNew one\n", out);
  EXPECT_EQ(std::vector<std::string>({"Old one", "New one"}), ParseQuotes(out));
  EXPECT_FALSE(AppendQuote("Old\n", "half\n%\nhalf", &out, &why));
  EXPECT_FALSE(AppendQuote("Old\n", " \n\n", &out, &why));
}

TEST(AdminStore, AcceptMovesIntoTheCategoryButNeverOverAFile) {
  TempDir dir;
  std::string root = dir.path();
  for (const char* d : {"/categories", "/donations", "/donations/picture", "/donations/picture/0", "/donations/quote",
                        "/donations/quote/0", "/pictures", "/pictures/0", "/quotes"}) {
    ::mkdir((root + d).c_str(), 0755);
  }
  WriteTextFile(root + "/categories/picture.txt", "Skies\n");
  WriteTextFile(root + "/categories/quote.txt", "Sayings\n");
  WriteTextFile(root + "/quotes/0.txt", "Kept\n");
  WriteTextFile(root + "/pictures/0/taken.jpg", "already here");
  WriteTextFile(root + "/donations/picture/0/taken.jpg", "donated");
  WriteTextFile(root + "/donations/picture/0/new.jpg", "new picture");
  WriteTextFile(root + "/donations/picture/0/.new.jpg.meta", "client 7\naddress 10.0.0.1\n");
  WriteTextFile(root + "/donations/quote/0/q.txt", "Donated saying");
  AdminStore store(root, "");

  QueuePage page = store.Queue(QueueFilter{ItemPicture, 0}, 0, 10);
  ASSERT_EQ(2u, page.total);
  std::vector<Outcome> outcomes;
  DonationRef taken{ItemPicture, 0, "taken.jpg"}, fresh{ItemPicture, 0, "new.jpg"}, quote{ItemQuote, 0, "q.txt"};
  EXPECT_EQ(2, store.Accept({taken, fresh, quote}, "op@test", &outcomes));
  ASSERT_EQ(3u, outcomes.size());
  EXPECT_FALSE(outcomes[0].done);
  EXPECT_NE(std::string::npos, outcomes[0].text.find("not accepted: Skies already has a file named taken.jpg"));
  EXPECT_TRUE(outcomes[1].done);
  EXPECT_EQ("already here", ReadTextFile(root + "/pictures/0/taken.jpg"));
  EXPECT_EQ("donated", ReadTextFile(root + "/donations/picture/0/taken.jpg"));
  EXPECT_EQ("new picture", ReadTextFile(root + "/pictures/0/new.jpg"));
  EXPECT_FALSE(FileExists(root + "/donations/picture/0/.new.jpg.meta"));
  EXPECT_EQ("Kept\n%\nDonated saying\n", ReadTextFile(root + "/quotes/0.txt"));
  EXPECT_FALSE(FileExists(root + "/donations/quote/0/q.txt"));
  std::string audit = ReadTextFile(root + "/audit.log");
  EXPECT_NE(std::string::npos, audit.find("op@test accept refused picture/0/taken.jpg"));
  EXPECT_NE(std::string::npos, audit.find("op@test accept picture/0/new.jpg"));
}

// Another instance (here: plain file calls) adds and removes donations
// while the page keeps its index: every page shows the folder as it is,
// also when the folder's time was long settled before the change.
TEST(AdminStore, QueueFollowsChangesByOtherWriters) {
  TempDir dir;
  std::string root = dir.path();
  for (const char* d : {"/categories", "/donations", "/donations/sound", "/donations/sound/0", "/donations/sound/1"}) {
    ::mkdir((root + d).c_str(), 0755);
  }
  WriteTextFile(root + "/categories/sound.txt", "Birds\nBells\n");
  WriteTextFile(root + "/donations/sound/0/a.wav", "a");
  WriteTextFile(root + "/donations/sound/1/b.wav", "bb");
  WriteTextFile(root + "/donations/sound/1/.b.wav.meta", "client 42\naddress 192.0.2.9\n");
  // Folders last changed a minute ago: settled, so kept between pages.
  timespec old[2] = {{std::time(nullptr) - 60, 0}, {std::time(nullptr) - 60, 0}};
  for (const char* d : {"/donations/sound", "/donations/sound/0", "/donations/sound/1"}) {
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, (root + d).c_str(), old, 0));
  }
  AdminStore store(root, "");
  QueuePage page = store.Queue(QueueFilter{}, 0, 10);
  ASSERT_EQ(2u, page.total);
  store.Queue(QueueFilter{}, 0, 10);
  EXPECT_EQ(0, store.Index().FoldersRead()) << "an unchanged folder is not read again";

  WriteTextFile(root + "/donations/sound/.c.wav.tmp", "ccc");
  ASSERT_EQ(0, std::rename((root + "/donations/sound/.c.wav.tmp").c_str(), (root + "/donations/sound/0/c.wav").c_str()));
  ASSERT_EQ(0, ::unlink((root + "/donations/sound/0/a.wav").c_str()));
  page = store.Queue(QueueFilter{}, 0, 10);
  ASSERT_EQ(2u, page.total);
  std::vector<std::string> names;
  for (const QueueItem& item : page.items) {
    names.push_back(item.ref.Id() + " " + std::to_string(item.size) + " " + item.client_id + " " + item.address);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::vector<std::string>({"sound/0/c.wav 3 unknown ", "sound/1/b.wav 2 42 192.0.2.9"}), names);

  // A new category folder, and a change within the same second as the
  // page before it: both seen.
  ::mkdir((root + "/donations/sound/2").c_str(), 0755);
  WriteTextFile(root + "/donations/sound/2/d.wav", "d");
  EXPECT_EQ(3u, store.Queue(QueueFilter{}, 0, 10).total);
  WriteTextFile(root + "/donations/sound/2/e.wav", "e");
  EXPECT_EQ(2u, store.Queue(QueueFilter{ItemSound, 2}, 0, 10).total);
}

// The status panel sums every instance's counters and tells which have
// stopped reporting.
TEST(AdminStore, StatusSumsTheInstancesCounters) {
  TempDir dir;
  std::string root = dir.path();
  ::mkdir((root + "/.stats").c_str(), 0755);
  WriteTextFile(root + "/.stats/a.counters", "started 1000\nupdated 2000\nexchanges 10\nfailed 1\ncode0 8\ncode3 2\n");
  WriteTextFile(root + "/.stats/b.counters", "started 1500\nupdated 1900\nexchanges 5\nfailed 0\ncode0 4\ncode10 1\n");
  WriteTextFile(root + "/.stats/.b.counters.tmp", "started 1\nupdated 1\nexchanges 1000\n");
  WriteTextFile(root + "/.stats/torn.counters", "exchanges 7\n");
  AdminStore store(root, "");
  AdminStatus status = store.Status(2000 + CountersStaleSeconds);
  ASSERT_EQ(2u, status.instances.size());
  EXPECT_EQ("a", status.instances[0].instance);
  EXPECT_FALSE(status.instances[0].stale);
  EXPECT_TRUE(status.instances[1].stale);
  EXPECT_EQ(15, status.total.exchanges);
  EXPECT_EQ(1, status.total.failed);
  EXPECT_EQ((std::map<int, int64_t>{{0, 12}, {3, 2}, {10, 1}}), status.total.codes);
}

// Guessing passwords: after a few failures both the address and the name
// wait, longer with each further failure; a right password clears them.
TEST(AdminLogin, FailuresSlowDownTheAddressAndTheName) {
  LoginThrottle throttle;
  auto t = LoginThrottle::Clock::now();
  for (int i = 0; i < LoginThrottle::FreeFailures; ++i) {
    EXPECT_EQ(0, throttle.WaitSeconds("192.0.2.1", "admin", t));
    throttle.Failed("192.0.2.1", "admin", t);
  }
  EXPECT_EQ(0, throttle.WaitSeconds("192.0.2.1", "admin", t));
  throttle.Failed("192.0.2.1", "admin", t);
  EXPECT_EQ(1, throttle.WaitSeconds("192.0.2.1", "admin", t));
  EXPECT_EQ(1, throttle.WaitSeconds("192.0.2.1", "ann", t)) << "the address waits for every name";
  EXPECT_EQ(1, throttle.WaitSeconds("198.51.100.7", "admin", t)) << "the name waits from every address";
  EXPECT_EQ(0, throttle.WaitSeconds("198.51.100.7", "ann", t));
  t += std::chrono::seconds(1);
  EXPECT_EQ(0, throttle.WaitSeconds("192.0.2.1", "admin", t));
  throttle.Failed("192.0.2.1", "admin", t);
  EXPECT_EQ(2, throttle.WaitSeconds("192.0.2.1", "admin", t));
  for (int i = 0; i < 20; ++i) {
    throttle.Failed("192.0.2.1", "admin", t);
  }
  EXPECT_EQ(LoginThrottle::MaxWait.count(), throttle.WaitSeconds("198.51.100.7", "admin", t));
  throttle.Succeeded("192.0.2.1", "admin");
  EXPECT_EQ(0, throttle.WaitSeconds("192.0.2.1", "admin", t));
}

} // namespace
