// The pieces under the transport: parsers, names, options, the sample.
#include "server/content_store.h"
#include "server/donation_store.h"
#include "server/exchange.h"
#include "server/options.h"
#include "server/sample_content.h"
#include "test_client.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace velmor_server;

namespace {

TEST(ContentParsers, QuotesAreSplitAtPercentLinesAndTrimmedOfBlankLines) {
  EXPECT_EQ((std::vector<std::string>{"one", "two\nlines", "%not a separator"}),
            ParseQuotes("\r\none\r\n%\r\n\ntwo\nlines\n\n%\n%not a separator\n%\n\n"));
  EXPECT_TRUE(ParseQuotes("").empty());
  EXPECT_TRUE(ParseQuotes("%\n%\n").empty());
  EXPECT_EQ(std::vector<std::string>{"no line end"}, ParseQuotes("no line end"));
}

TEST(ContentParsers, CategoryNamesSkipBlankLinesAndNuls) {
  EXPECT_EQ((std::vector<std::string>{"A", " spaced ", "C"}),
            ParseCategoryNames(std::string("A\r\n\r\n spaced \nbad\0name\nC", 24)));
}

TEST(ContentParsers, CrLfIsAddedOnlyWhereMissing) {
  EXPECT_EQ("\r\na\r\nb\r\nc\rd\r\n", WithCrLf("\na\r\nb\nc\rd\n"));
}

TEST(DonationNames, WhatAWindowsFileNameCanBe) {
  std::string why;
  for (const char* ok : {"a", "sunset.jpg", "My Song (1).wav", "caf\xe9.txt", "a..b", "-x"}) {
    EXPECT_TRUE(AcceptableFileName(ok, std::strlen(ok), &why)) << ok;
  }
  EXPECT_TRUE(AcceptableFileName(std::string(50, 'x').c_str(), 50, &why));
  EXPECT_FALSE(AcceptableFileName(std::string(51, 'x').c_str(), 51, &why));
  EXPECT_FALSE(AcceptableFileName("", 0, &why));
  EXPECT_FALSE(AcceptableFileName("a\0b", 3, &why));
  EXPECT_EQ("7_____", SafeClientId("7/..\\\n", 6));
  EXPECT_EQ("unknown", SafeClientId("", 0));
}

TEST(DonationStoreTest, NameIsHeldWhileItsUploadIsUnderWay) {
  TempDir dir;
  DonationStore store(dir.path());
  std::string error;
  ASSERT_TRUE(store.Prepare(&error)) << error;
  DonationVerdict first, second;
  auto upload = store.BeginDonation(1, 0, 1, "same.txt", 8, DonorInfo{"1", "here"}, &first);
  ASSERT_TRUE(upload);
  EXPECT_EQ(0, first.code);
  EXPECT_FALSE(store.BeginDonation(1, 0, 1, "same.txt", 8, DonorInfo{"1", "here"}, &second));
  EXPECT_EQ(10, second.code);
  EXPECT_EQ("same.txt", second.held_name);
  ASSERT_TRUE(upload->Write("abc", 3));
  upload.reset();  // dropped unfinished
  EXPECT_EQ(0u, store.Reserved());
  EXPECT_TRUE(FilesBelow(dir.path()).empty());
  upload = store.BeginDonation(1, 0, 1, "same.txt", 8, DonorInfo{"1", "here"}, &second);
  ASSERT_TRUE(upload);
  // Someone puts a file of that name in place meanwhile: it is not replaced.
  WriteTextFile(dir / "donations/quote/0/same.txt", "admin's");
  ASSERT_TRUE(upload->Write("abc", 3));
  EXPECT_EQ(EEXIST, upload->Commit());
  EXPECT_EQ("admin's", ReadTextFile(dir / "donations/quote/0/same.txt"));
  EXPECT_TRUE(FilesBelow(dir / "donations/.incoming").empty());
}

TEST(DonationStoreTest, LeftoversOfAKilledServerAreClearedAtStart) {
  TempDir dir;
  DonationStore store(dir.path());
  std::string error;
  ASSERT_TRUE(store.Prepare(&error));
  WriteTextFile(dir / "donations/.incoming/123-1.part", "partial");
  WriteTextFile(dir / "comments/.incoming/123-2.part", "partial");
  ASSERT_TRUE(store.Prepare(&error));
  EXPECT_TRUE(FilesBelow(dir.path()).empty());
}

TEST(ServerOptionsTest, DefaultsAndEveryOption) {
  ServerOptions o;
  std::string error;
  const char* none[] = {"velmor-server"};
  ASSERT_TRUE(ParseServerOptions(1, none, &o, &error));
  EXPECT_EQ(1123, o.port);
  EXPECT_EQ("127.0.0.1", o.bind_address);
  EXPECT_EQ(120, o.idle_timeout_seconds);

  const char* all[] = {"velmor-server", "--port", "2000", "--bind=127.0.0.2", "--content", "c",
                       "--max-connections", "9", "--max-donation", "1000", "--idle-timeout", "0.25",
                       "--threads", "3", "--chunk-size", "65536", "--log", "none", "--faults", "f",
                       "--ready-file", "r", "--help"};
  ASSERT_TRUE(ParseServerOptions(sizeof all / sizeof *all, all, &o, &error)) << error;
  EXPECT_EQ(2000, o.port);
  EXPECT_EQ("127.0.0.2", o.bind_address);
  EXPECT_EQ("c", o.content_dir);
  EXPECT_EQ(9, o.max_connections);
  EXPECT_EQ(1000, o.max_donation_bytes);
  EXPECT_EQ(0.25, o.idle_timeout_seconds);
  EXPECT_EQ(3, o.threads);
  EXPECT_EQ(65536, o.chunk_size);
  EXPECT_EQ("none", o.log_file);
  EXPECT_EQ("f", o.fault_file);
  EXPECT_EQ("r", o.ready_file);
  EXPECT_TRUE(o.help);
  EXPECT_NE(std::string::npos, ServerUsage().find("--idle-timeout"));
  // Proxies: a list, and the option again.
  const char* proxies[] = {"velmor-server", "--proxy-from", "10.0.0.1,::1", "--proxy-from=10.0.0.2"};
  ASSERT_TRUE(ParseServerOptions(4, proxies, &o, &error)) << error;
  EXPECT_EQ(std::vector<std::string>({"10.0.0.1", "::1", "10.0.0.2"}), o.proxy_from);

  for (std::vector<const char*> bad : std::vector<std::vector<const char*>>{
           {"x", "--port", "65536"}, {"x", "--port"}, {"x", "--threads", "0"}, {"x", "--idle-timeout", "-1"},
           {"x", "--max-donation", "1e9"}, {"x", "--frobnicate"}, {"x", "--port", "12ab"},
           {"x", "--proxy-from", "10.0.0.300"}, {"x", "--proxy-from", "10.0.0.1,,10.0.0.2"}}) {
    ServerOptions fresh;
    EXPECT_FALSE(ParseServerOptions(static_cast<int>(bad.size()), bad.data(), &fresh, &error)) << bad[1];
  }
}

TEST(ServerOpen, RefusesAMissingContentDirectoryAndABadAddress) {
  TempDir dir;
  ServerOptions options = TestOptions(dir / "missing", "none");
  std::string error;
  EXPECT_FALSE(VelmorServer(options).Open(&error));
  EXPECT_NE(std::string::npos, error.find("does not exist")) << error;
  EXPECT_FALSE(FileExists(dir / "missing"));
  options.content_dir = dir.path();
  options.bind_address = "not-an-address";
  EXPECT_FALSE(VelmorServer(options).Open(&error));
}

bool JpegSize(const std::string& path, int* width, int* height) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    return false;
  }
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, f);
  bool ok = jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK;
  *width = static_cast<int>(cinfo.image_width);
  *height = static_cast<int>(cinfo.image_height);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  return ok;
}

TEST(SampleContent, IsCompleteAndServable) {
  TempDir dir;
  std::string root = dir / "sample";
  std::string error;
  ASSERT_TRUE(MakeSampleContent(root, &error)) << error;
  EXPECT_FALSE(MakeSampleContent(root, &error));  // never over existing content

  ContentStore store(root);
  auto quotes = store.Categories(1);
  ASSERT_GE(quotes->size(), 3u);
  for (std::size_t c = 0; c < quotes->size(); ++c) {
    EXPECT_GE(ParseQuotes(ReadTextFile(root + "/quotes/" + std::to_string(c) + ".txt")).size(), 20u);
  }
  auto pictures = store.Categories(2);
  ASSERT_GE(pictures->size(), 2u);
  bool full_hd = false;
  int count = 0;
  for (std::size_t c = 0; c < pictures->size(); ++c) {
    std::string folder = root + "/pictures/" + std::to_string(c);
    for (const std::string& name : FilesBelow(folder)) {
      int w = 0, h = 0;
      ASSERT_TRUE(JpegSize(folder + "/" + name, &w, &h)) << name;
      EXPECT_LE(w, 1920);
      EXPECT_LE(h, 1080);
      full_hd = full_hd || (w == 1920 && h == 1080);
      ++count;
    }
  }
  EXPECT_TRUE(full_hd);
  EXPECT_GE(count, 6);
  auto sounds = store.Categories(3);
  ASSERT_GE(sounds->size(), 2u);
  for (std::size_t c = 0; c < sounds->size(); ++c) {
    std::string folder = root + "/sounds/" + std::to_string(c);
    std::vector<std::string> files = FilesBelow(folder);
    ASSERT_FALSE(files.empty());
    for (const std::string& name : files) {
      std::string wav = ReadTextFile(folder + "/" + name);
      ASSERT_GT(wav.size(), 44u);
      EXPECT_EQ(0, wav.compare(0, 4, "RIFF"));
      EXPECT_EQ(0, wav.compare(8, 8, "WAVEfmt "));
      uint32_t riff = static_cast<unsigned char>(wav[4]) | static_cast<unsigned char>(wav[5]) << 8 |
                      static_cast<unsigned char>(wav[6]) << 16 | static_cast<uint32_t>(static_cast<unsigned char>(wav[7])) << 24;
      EXPECT_EQ(wav.size() - 8, riff);
    }
  }
  ASSERT_TRUE(store.News());
  ASSERT_TRUE(store.Tips());
  EXPECT_NE(std::string::npos, store.Tips()->find("Configure"));
  EXPECT_FALSE(store.StatusLine().empty());
}

TEST(SampleContent, WavHeaderDescribesPcmMono) {
  std::string wav = SynthesiseWav(0, 0, 100);
  ASSERT_EQ(44u + 2205u * 2, wav.size());
  const unsigned char expected_fmt[] = {16, 0, 0, 0, 1, 0, 1, 0, 0x22, 0x56, 0, 0, 0x44, 0xAC, 0, 0, 2, 0, 16, 0};
  EXPECT_EQ(0, std::memcmp(wav.data() + 16, expected_fmt, sizeof expected_fmt));
  EXPECT_EQ(0, wav.compare(36, 4, "data"));
}

} // namespace
