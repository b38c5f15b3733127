// What accepting does to the content directory, and which donation ids a
// request may name.
#include "server/admin_store.h"

#include "../server/test_client.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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
  AdminStore store(root, "", "");

  QueuePage page = store.Queue(QueueFilter{ItemPicture, 0}, 0, 10);
  ASSERT_EQ(2u, page.total);
  std::vector<std::string> messages;
  DonationRef taken{ItemPicture, 0, "taken.jpg"}, fresh{ItemPicture, 0, "new.jpg"}, quote{ItemQuote, 0, "q.txt"};
  EXPECT_EQ(2, store.Accept({taken, fresh, quote}, "op@test", &messages));
  ASSERT_EQ(3u, messages.size());
  EXPECT_NE(std::string::npos, messages[0].find("not accepted: Skies already has a file named taken.jpg"));
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

} // namespace
