// The generated icons and chimes, read back from the files the build wrote:
// ICO and WAV headers, the pictures pixel by pixel, the sound's notes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> ReadFile(const std::string& name) {
  std::string path = std::string(VELMOR_RES_GEN_DIR) + "/" + name;
  std::vector<uint8_t> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  uint8_t buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  return bytes;
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

// ---- icons ----------------------------------------------------------------------

constexpr uint32_t kBlack = 0x000000, kRed = 0xFF0000, kMaroon = 0x800000, kSilver = 0xC0C0C0,
                   kGrey = 0x808080, kWhite = 0xFFFFFF, kBlue = 0x0000FF, kNavy = 0x000080, kAqua = 0x00FFFF;

// 32 x 32 pixels as 0xRRGGBB, row 0 at the top.
struct Icon {
  uint32_t px[32][32];
  int count(uint32_t c) const {
    int n = 0;
    for (auto& row : px)
      for (uint32_t p : row) n += p == c;
    return n;
  }
  std::set<uint32_t> colours() const {
    std::set<uint32_t> s;
    for (auto& row : px)
      for (uint32_t p : row) s.insert(p);
    return s;
  }
};

// Checks every header field of a one-image, 32 x 32, 4-bit icon file and
// decodes its pixels; the mask must leave every pixel opaque.
void LoadIcon(const std::string& name, Icon* icon) {
  SCOPED_TRACE(name);
  std::vector<uint8_t> b = ReadFile(name);
  const size_t image = 40 + 16 * 4 + 32 * 16 + 32 * 4;
  ASSERT_EQ(b.size(), 6 + 16 + image);
  EXPECT_EQ(U16(b, 0), 0);  // reserved
  EXPECT_EQ(U16(b, 2), 1);  // icon
  EXPECT_EQ(U16(b, 4), 1);  // one image
  EXPECT_EQ(b[6], 32);
  EXPECT_EQ(b[7], 32);
  EXPECT_EQ(b[8], 16);  // colours
  EXPECT_EQ(b[9], 0);
  EXPECT_EQ(U16(b, 10), 1);  // planes
  EXPECT_EQ(U16(b, 12), 4);  // bits per pixel
  EXPECT_EQ(U32(b, 14), image);
  ASSERT_EQ(U32(b, 18), 22u);
  const size_t h = 22;
  EXPECT_EQ(U32(b, h), 40u);
  EXPECT_EQ(U32(b, h + 4), 32u);
  EXPECT_EQ(U32(b, h + 8), 64u);
  EXPECT_EQ(U16(b, h + 12), 1);
  EXPECT_EQ(U16(b, h + 14), 4);
  EXPECT_EQ(U32(b, h + 16), 0u);  // uncompressed
  EXPECT_EQ(U32(b, h + 20), 32u * 16 + 32 * 4);
  uint32_t palette[16];
  for (int i = 0; i < 16; ++i) {
    size_t at = h + 40 + i * 4;
    palette[i] = b[at + 2] << 16 | b[at + 1] << 8 | b[at];
    EXPECT_EQ(b[at + 3], 0);
  }
  const size_t xor_at = h + 40 + 64, and_at = xor_at + 32 * 16;
  for (int row = 0; row < 32; ++row)  // stored bottom-up
    for (int x = 0; x < 32; ++x) {
      uint8_t byte = b[xor_at + row * 16 + x / 2];
      icon->px[31 - row][x] = palette[x % 2 ? byte & 0x0F : byte >> 4];
    }
  for (size_t i = and_at; i < b.size(); ++i) ASSERT_EQ(b[i], 0) << "transparent pixel at mask byte " << i - and_at;
}

std::string Frame(int k) { return "sm" + std::to_string(k) + ".ico"; }

// Runs of the given colours along one row: how many separate strokes it crosses.
int Runs(const Icon& icon, int y, std::set<uint32_t> ink) {
  int runs = 0;
  bool in = false;
  for (int x = 0; x < 32; ++x) {
    bool on = ink.count(icon.px[y][x]) > 0;
    if (on && !in) ++runs;
    in = on;
  }
  return runs;
}

TEST(ResGenIcons, MainIconIsRedLettersOnGrey) {
  Icon icon;
  ASSERT_NO_FATAL_FAILURE(LoadIcon("mainicon.ico", &icon));
  EXPECT_EQ(icon.colours(), (std::set<uint32_t>{kSilver, kGrey, kWhite, kRed, kMaroon}));
  EXPECT_EQ(icon.px[16][16] == kRed || icon.px[16][16] == kMaroon, false);  // the gap between the lines
  int top = 0, bottom = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      if (icon.px[y][x] == kRed) (y < 16 ? top : bottom)++;
  EXPECT_GT(top, 80);  // "VEL"
  EXPECT_GT(bottom, 80);  // "MOR"
  EXPECT_GT(icon.count(kSilver), 400);
  // Three letters on each line: a row through the middle of each line
  // crosses the strokes of three letters.
  EXPECT_GE(Runs(icon, 8, {kRed}), 4);
  EXPECT_GE(Runs(icon, 23, {kRed}), 6);
}

TEST(ResGenIcons, TrayFrameZeroIsABlueVOnBlack) {
  Icon v;
  ASSERT_NO_FATAL_FAILURE(LoadIcon(Frame(0), &v));
  EXPECT_EQ(v.colours(), (std::set<uint32_t>{kBlack, kBlue, kNavy}));
  EXPECT_GT(v.count(kBlue), 150);
  EXPECT_GT(v.count(kBlack), 500);
  // Two strokes near the top, one where they meet at the bottom.
  EXPECT_EQ(Runs(v, 5, {kBlue, kNavy}), 2);
  EXPECT_EQ(Runs(v, 26, {kBlue, kNavy}), 1);
  // Mirror-symmetric.
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 16; ++x) EXPECT_EQ(v.px[y][x], v.px[y][31 - x]) << x << "," << y;
}

TEST(ResGenIcons, GleamTravelsDownTheLeftStrokeAndUpTheRight) {
  Icon v;
  ASSERT_NO_FATAL_FAILURE(LoadIcon(Frame(0), &v));
  std::vector<std::pair<double, double>> centre;
  for (int k = 1; k <= 6; ++k) {
    SCOPED_TRACE(k);
    Icon f;
    ASSERT_NO_FATAL_FAILURE(LoadIcon(Frame(k), &f));
    int white = 0;
    double sx = 0, sy = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        uint32_t p = f.px[y][x];
        if (p == v.px[y][x]) continue;
        // Only the letter changes, and only to the gleam's colours.
        EXPECT_NE(v.px[y][x], kBlack) << x << "," << y;
        EXPECT_TRUE(p == kWhite || p == kAqua) << x << "," << y;
        if (p == kWhite) {
          ++white;
          sx += x;
          sy += y;
        }
      }
    // A short gleam: a few pixels, not the whole letter.
    EXPECT_GE(white, 4);
    EXPECT_LE(white, 30);
    if (white) centre.push_back({sx / white, sy / white});
  }
  ASSERT_EQ(centre.size(), 6u);
  for (int k = 0; k < 3; ++k) EXPECT_LT(centre[k].first, 16.0) << "frame " << k + 1 << " on the left stroke";
  for (int k = 3; k < 6; ++k) EXPECT_GT(centre[k].first, 16.0) << "frame " << k + 1 << " on the right stroke";
  for (int k = 0; k < 2; ++k) EXPECT_LT(centre[k].second, centre[k + 1].second) << "going down";
  for (int k = 3; k < 5; ++k) EXPECT_GT(centre[k].second, centre[k + 1].second) << "going up";
}

TEST(ResGenIcons, AllSevenFramesDifferPairwise) {
  std::vector<std::vector<uint8_t>> files;
  for (int k = 0; k < 7; ++k) files.push_back(ReadFile(Frame(k)));
  for (int a = 0; a < 7; ++a) {
    ASSERT_FALSE(files[a].empty()) << a;
    for (int b = a + 1; b < 7; ++b) EXPECT_NE(files[a], files[b]) << a << " " << b;
  }
}

TEST(ResGenIcons, TransferIconIsARedTOnBlack) {
  Icon t;
  ASSERT_NO_FATAL_FAILURE(LoadIcon("t1.ico", &t));
  EXPECT_EQ(t.colours(), (std::set<uint32_t>{kBlack, kRed, kMaroon}));
  auto width = [&](int y) {
    int n = 0;
    for (int x = 0; x < 32; ++x) n += t.px[y][x] != kBlack;
    return n;
  };
  EXPECT_GE(width(6), 20);  // the bar
  EXPECT_LE(width(20), 8);  // the stem
  EXPECT_GE(width(20), 4);
  EXPECT_EQ(Runs(t, 20, {kRed, kMaroon}), 1);
}

// ---- chimes ----------------------------------------------------------------------

struct Wave {
  uint32_t rate = 0;
  std::vector<double> samples;  // -1 .. 1
};

void LoadWave(const std::string& name, Wave* w) {
  SCOPED_TRACE(name);
  std::vector<uint8_t> b = ReadFile(name);
  ASSERT_GE(b.size(), 44u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(U32(b, 4), b.size() - 8);
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(U32(b, 16), 16u);
  EXPECT_EQ(U16(b, 20), 1);  // PCM
  ASSERT_EQ(U16(b, 22), 1);  // mono
  w->rate = U32(b, 24);
  EXPECT_EQ(U32(b, 28), w->rate * 2);
  EXPECT_EQ(U16(b, 32), 2);
  ASSERT_EQ(U16(b, 34), 16);
  EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
  ASSERT_EQ(U32(b, 40), b.size() - 44);
  for (size_t i = 44; i + 1 < b.size(); i += 2) w->samples.push_back(static_cast<int16_t>(U16(b, i)) / 32768.0);
}

// Strength of one frequency over a stretch of the sound (Goertzel).
double Power(const Wave& w, double freq, double from, double to) {
  size_t a = static_cast<size_t>(from * w.rate), b = static_cast<size_t>(to * w.rate);
  double coeff = 2 * std::cos(2 * 3.14159265358979 * freq / w.rate), s1 = 0, s2 = 0;
  for (size_t i = a; i < b && i < w.samples.size(); ++i) {
    double s = w.samples[i] + coeff * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

TEST(ResGenSounds, ShortCleanChimes) {
  for (const char* name : {"start.wav", "end.wav"}) {
    SCOPED_TRACE(name);
    Wave w;
    ASSERT_NO_FATAL_FAILURE(LoadWave(name, &w));
    EXPECT_GE(w.rate, 11025u);
    const double seconds = static_cast<double>(w.samples.size()) / w.rate;
    EXPECT_GE(seconds, 0.6);
    EXPECT_LE(seconds, 1.0);
    double peak = 0;
    for (double s : w.samples) peak = std::fmax(peak, std::fabs(s));
    EXPECT_GT(peak, 0.3);   // audible
    EXPECT_LT(peak, 0.99);  // not clipped
    // Starts and ends on silence: no click.
    EXPECT_LT(std::fabs(w.samples.front()), 0.01);
    for (size_t i = w.samples.size() - w.rate / 200; i < w.samples.size(); ++i)
      ASSERT_LT(std::fabs(w.samples[i]), 0.02) << "sample " << i;
  }
}

// The start chime climbs from C5 through G5 to C6, the end chime falls from
// C6 to C5: early on only the first note sounds, late the last one leads.
TEST(ResGenSounds, StartRisesAndEndFalls) {
  const double c5 = 523.25, g5 = 783.99, c6 = 1046.50;
  Wave start, end;
  ASSERT_NO_FATAL_FAILURE(LoadWave("start.wav", &start));
  ASSERT_NO_FATAL_FAILURE(LoadWave("end.wav", &end));
  EXPECT_GT(Power(start, c5, 0.0, 0.08), 10 * Power(start, g5, 0.0, 0.08));
  EXPECT_GT(Power(start, c6, 0.30, 0.45), 2 * Power(start, c5, 0.30, 0.45));
  EXPECT_GT(Power(end, c6, 0.0, 0.08), 10 * Power(end, g5, 0.0, 0.08));
  EXPECT_GT(Power(end, c5, 0.30, 0.45), 2 * Power(end, g5, 0.30, 0.45));
}

}  // namespace
