// The picture conversion against the djpeg program of the same libjpeg-turbo
// version (natively Debian's, under Wine the one cross-built beside our
// library): the same JPEG must give the same BMP bytes. And every failure
// must come back as a non-zero result with nothing left open or allocated.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "content/jpeg_to_bmp.h"
#include "tests/content/jpeg_corpus.h"
#include "tests/content/process_probe.h"
#include "tests/support/test_files.h"

namespace {

int Convert(const std::string& input, const std::string& output) {
  std::vector<std::string> args{"djpeg.exe", "-nosmooth", "-colors", "256", "-bmp", input, output};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  return ConvertJpegToBmp(static_cast<int>(argv.size()), argv.data());
}

// The reference program writes through -outfile: its two-file form differs
// between builds, this switch does not.
int ReferenceConvert(const std::string& input, const std::string& output) {
  return RunProgram(PlatformPath(VELMOR_DJPEG_PROGRAM),
                    {"-nosmooth", "-colors", "256", "-bmp", "-outfile", output, input});
}

unsigned ReadLittle(const std::string& bytes, size_t at, int size) {
  unsigned value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
  return value;
}

// The start-of-frame marker of a baseline picture from EncodeJpeg.
size_t FrameHeader(const std::string& jpeg) {
  size_t at = jpeg.find("\xFF\xC0", 2);
  EXPECT_NE(at, std::string::npos);
  return at;
}

TEST(JpegToBmp, ConvertsLikeDjpegProgram) {
  const JpegVariant corpus[] = {
      {"baseline-420", 640, 480, 3, 2, 2, false, false, 0, 85},
      {"progressive-420", 640, 480, 3, 2, 2, true, false, 0, 85},
      {"arithmetic-420", 640, 480, 3, 2, 2, false, true, 0, 85},
      {"arithmetic-progressive", 320, 240, 3, 2, 2, true, true, 0, 75},
      {"restart-markers", 640, 480, 3, 2, 2, false, false, 1, 85},
      {"baseline-422", 640, 480, 3, 2, 1, false, false, 0, 90},
      {"baseline-444", 640, 480, 3, 1, 1, false, false, 0, 95},
      {"progressive-444-restart", 333, 199, 3, 1, 1, true, false, 2, 92},
      {"greyscale", 640, 480, 1, 1, 1, false, false, 0, 85},
      {"greyscale-progressive-odd", 101, 77, 1, 1, 1, true, false, 0, 85},
      {"one-pixel", 1, 1, 3, 2, 2, false, false, 0, 85},
      {"one-pixel-grey", 1, 1, 1, 1, 1, false, false, 0, 85},
      {"odd-420", 17, 13, 3, 2, 2, false, false, 0, 85},
      {"odd-422-arithmetic", 1023, 7, 3, 2, 1, false, true, 1, 60},
      {"full-hd", 1920, 1080, 3, 2, 2, false, false, 0, 85},
      {"photo-4000x3000", 4000, 3000, 3, 2, 2, false, false, 0, 88},
      {"largest-7680x4320", 7680, 4320, 3, 2, 2, true, false, 0, 80},
  };
  const std::string dir = MakeTestDir("jpeg-to-bmp-corpus");
  for (const auto& variant : corpus) {
    SCOPED_TRACE(variant.name);
    const std::string input = dir + variant.name + ".jpg";
    WriteFile(input, EncodeJpeg(variant));
    ASSERT_EQ(ReferenceConvert(input, dir + "reference.bmp"), 0);
    ASSERT_EQ(Convert(input, dir + "ours.bmp"), 0);
    const std::string ours = ReadFile(dir + "ours.bmp");
    const std::string reference = ReadFile(dir + "reference.bmp");
    ASSERT_GE(ours.size(), 54u);
    EXPECT_EQ(ours.substr(0, 2), "BM");
    EXPECT_EQ(ReadLittle(ours, 18, 4), static_cast<unsigned>(variant.width));
    EXPECT_EQ(ReadLittle(ours, 28, 2), 8u) << "bits per pixel";
    EXPECT_LE(ReadLittle(ours, 46, 4), 256u) << "colours used";
    EXPECT_TRUE(ours == reference) << "our " << ours.size() << " bytes differ from djpeg's " << reference.size();
  }
}

struct FailureCase {
  std::string name;
  std::string input;  // file contents; the file is absent when missing
  bool missing;
  bool outputInMissingFolder;
};

TEST(JpegToBmp, FailuresReturnNonZeroAndReleaseEverything) {
  const std::string dir = MakeTestDir("jpeg-to-bmp-failures");
  const std::string good = EncodeJpeg({"good", 256, 192, 3, 2, 2, false, false, 0, 85});
  WriteFile(dir + "good.jpg", good);
  ASSERT_EQ(Convert(dir + "good.jpg", dir + "good.bmp"), 0);

  std::string twelveBit = good, huge = good, corrupt = good, randomBytes;
  twelveBit[FrameHeader(good) + 4] = 12;
  const size_t frame = FrameHeader(good);
  for (size_t i : {frame + 5, frame + 7}) {  // height and width: 65,000
    huge[i] = static_cast<char>(0xFD);
    huge[i + 1] = static_cast<char>(0xE8);
  }
  corrupt.replace(good.size() * 2 / 3, 2, "\xFF\xD8");  // a marker inside the coded data
  unsigned int seed = 7;
  for (int i = 0; i < 5000; ++i) randomBytes += static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);

  const FailureCase cases[] = {
      {"a BMP, not a JPEG", ReadFile(dir + "good.bmp"), false, false},
      {"random bytes", randomBytes, false, false},
      {"empty file", "", false, false},
      {"no such file", "", true, false},
      {"truncated", good.substr(0, good.size() / 2), false, false},
      {"only the header", good.substr(0, FrameHeader(good) + 200), false, false},
      {"corrupt data (libjpeg warning)", corrupt, false, false},
      {"CMYK", EncodeJpeg({"cmyk", 64, 48, 4, 1, 1, false, false, 0, 85}), false, false},
      {"12-bit", twelveBit, false, false},
      {"65000 x 65000 header", huge, false, false},
      {"output not creatable", good, false, true},
  };
  const auto run = [&](const FailureCase& c) {
    const std::string input = dir + "in.jpg";
    if (c.missing) {
      std::remove(input.c_str());
    } else {
      WriteFile(input, c.input);
    }
    return Convert(input, c.outputInMissingFolder ? dir + "no-such-folder/out.bmp" : dir + "out.bmp");
  };

  const long handlesBefore = OpenHandleCount();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NE(run(c), 0);
    EXPECT_EQ(OpenHandleCount(), handlesBefore);
  }

  // A thousand failures in a row: nothing accumulates.
  const long long heapBefore = HeapBytesInUse();
  for (int i = 0; i < 1000; ++i) {
    if (run(cases[i % (sizeof cases / sizeof cases[0])]) == 0) FAIL() << "failure case " << i << " converted";
  }
  EXPECT_EQ(OpenHandleCount(), handlesBefore);
  EXPECT_LT(HeapBytesInUse() - heapBefore, 16 * 1024) << "bytes in use grew over 1,000 failures";

  // And the conversion still works as before.
  ASSERT_EQ(Convert(dir + "good.jpg", dir + "again.bmp"), 0);
  EXPECT_TRUE(ReadFile(dir + "again.bmp") == ReadFile(dir + "good.bmp"));
}

}  // namespace
