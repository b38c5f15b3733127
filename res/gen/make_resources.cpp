// Draws Velmor's icons and synthesises its two chimes.
//
//   make_resources OUTDIR
//
// writes into OUTDIR:
//   mainicon.ico        "VEL" over "MOR" in red letters on a grey tile
//   sm0.ico .. sm6.ico  tray frames: a blue V on black; in sm1..sm6 a short
//                       white gleam runs down the left stroke and up the right
//   t1.ico              the transfer instance's tray icon: a red T on black
//   start.wav end.wav   a rising and a falling chime (PCM, 16-bit mono)
//
// Every icon is one 32 x 32 image with 16 colours (a 4-bit bitmap with an
// AND mask inside an ICO file), which is what the program loads and the tray
// shows. The build runs this on the build machine, so it uses nothing but the
// standard library; the output is the same on every run.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 32;

// The 16 standard Windows colours, in palette order.
enum Colour : uint8_t {
  Black, Maroon, Green, Olive, Navy, Purple, Teal, Silver,
  Grey, Red, Lime, Yellow, Blue, Fuchsia, Aqua, White
};
constexpr uint8_t kPalette[16][3] = {  // r, g, b
  {0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00},
  {0x00, 0x00, 0x80}, {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0xC0, 0xC0, 0xC0},
  {0x80, 0x80, 0x80}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
  {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
};

// Palette indices, row 0 at the top.
struct Picture {
  uint8_t px[kSize][kSize];
  explicit Picture(uint8_t fill) {
    for (auto& row : px)
      for (auto& p : row) p = fill;
  }
  void set(int x, int y, uint8_t c) {
    if (x >= 0 && x < kSize && y >= 0 && y < kSize) px[y][x] = c;
  }
};

// ---- mainicon -------------------------------------------------------------

struct Glyph {
  char letter;
  const char* rows[11];
};

// Bold capitals, two pixels per stroke, 11 rows high.
const Glyph kGlyphs[] = {
    {'V', {"##....##", "##....##", "##....##", "##....##", "##....##", ".##..##.",
           ".##..##.", ".##..##.", "..####..", "..####..", "...##..."}},
    {'E', {"#######", "#######", "##.....", "##.....", "######.", "######.",
           "##.....", "##.....", "##.....", "#######", "#######"}},
    {'L', {"##.....", "##.....", "##.....", "##.....", "##.....", "##.....",
           "##.....", "##.....", "##.....", "#######", "#######"}},
    {'M', {"##.....##", "###...###", "####.####", "##.###.##", "##..#..##", "##.....##",
           "##.....##", "##.....##", "##.....##", "##.....##", "##.....##"}},
    {'O', {".######.", "########", "##....##", "##....##", "##....##", "##....##",
           "##....##", "##....##", "##....##", "########", ".######."}},
    {'R', {"#######.", "########", "##....##", "##....##", "########", "#######.",
           "##.##...", "##..##..", "##...##.", "##....##", "##....##"}},
};

const Glyph* find_glyph(char c) {
  for (const Glyph& g : kGlyphs)
    if (g.letter == c) return &g;
  return nullptr;
}

int glyph_width(const Glyph& g) { return static_cast<int>(std::string(g.rows[0]).size()); }

// One line of letters, centred horizontally, with a dark shadow one pixel
// down and right so that the red reads well against the grey.
void draw_word(Picture& pic, const char* word, int top) {
  int width = -1;
  for (const char* c = word; *c; ++c) width += glyph_width(*find_glyph(*c)) + 1;
  int x = (kSize - (width + 1)) / 2;  // +1: the shadow
  for (int pass = 0; pass < 2; ++pass) {
    int cx = x;
    for (const char* c = word; *c; ++c) {
      const Glyph& g = *find_glyph(*c);
      for (int r = 0; r < 11; ++r)
        for (int k = 0; g.rows[r][k]; ++k)
          if (g.rows[r][k] == '#') {
            if (pass == 0)
              pic.set(cx + k + 1, top + r + 1, Maroon);
            else
              pic.set(cx + k, top + r, Red);
          }
      cx += glyph_width(g) + 1;
    }
  }
}

Picture main_icon() {
  Picture pic(Silver);
  // A raised tile: light top and left edges, dark bottom and right edges.
  for (int i = 0; i < kSize; ++i) {
    pic.set(i, 0, White);
    pic.set(0, i, White);
    pic.set(i, kSize - 1, Grey);
    pic.set(kSize - 1, i, Grey);
  }
  pic.set(kSize - 1, 0, Silver);
  pic.set(0, kSize - 1, Silver);
  draw_word(pic, "VEL", 3);
  draw_word(pic, "MOR", 17);
  return pic;
}

// ---- tray frames ------------------------------------------------------------

// The V is two thick strokes from the top corners to a point at the bottom;
// the gleam travels along the path top-left -> bottom -> top-right.
struct Point {
  double x, y;
};
constexpr Point kLeftTop{6.0, 3.0}, kBottom{16.0, 28.0}, kRightTop{26.0, 3.0};
constexpr double kHalfWidth = 2.9;  // half the stroke thickness
constexpr double kTop = 3.0;        // strokes are cut flat here

double length(Point a, Point b) { return std::hypot(b.x - a.x, b.y - a.y); }

// Distance from p to segment a-b, and how far along the segment its foot lies.
double segment_distance(Point p, Point a, Point b, double* along) {
  double dx = b.x - a.x, dy = b.y - a.y;
  double len2 = dx * dx + dy * dy;
  double t = ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2;
  if (t < 0) t = 0;
  if (t > 1) t = 1;
  *along = t * std::sqrt(len2);
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Distance from the pixel centre to the V, and its position along the path.
double v_distance(int x, int y, double* path_pos) {
  Point p{x + 0.5, y + 0.5};
  double a1 = 0, a2 = 0;
  double d1 = segment_distance(p, kLeftTop, kBottom, &a1);
  double d2 = segment_distance(p, kBottom, kRightTop, &a2);
  if (d1 <= d2) {
    *path_pos = a1;
    return d1;
  }
  *path_pos = length(kLeftTop, kBottom) + a2;
  return d2;
}

// frame 0: the plain V. frame 1..6: the gleam at 1/12, 3/12, ... 11/12 of the
// path, so that it moves by equal steps and never sits on the bottom point.
Picture tray_frame(int frame) {
  Picture pic(Black);
  double path_len = length(kLeftTop, kBottom) + length(kBottom, kRightTop);
  double gleam = (frame - 0.5) / 6.0 * path_len;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      if (y + 0.5 < kTop) continue;
      double pos = 0;
      double d = v_distance(x, y, &pos);
      if (d > kHalfWidth) continue;
      uint8_t c = d > kHalfWidth - 0.8 ? Navy : Blue;  // a soft dark rim
      if (frame > 0) {
        double off = std::fabs(pos - gleam);
        if (off <= 1.3)
          c = White;
        else if (off <= 2.5)
          c = Aqua;
      }
      pic.set(x, y, c);
    }
  return pic;
}

Picture transfer_icon() {
  Picture pic(Black);
  auto box = [&](int x0, int y0, int x1, int y1) {  // inclusive
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) pic.set(x, y, Red);
  };
  box(4, 4, 27, 9);     // bar
  box(13, 10, 18, 28);  // stem
  // Dark red on the lower and right edges gives the letter some depth.
  for (int x = 4; x <= 27; ++x)
    if (x < 13 || x > 18) pic.set(x, 9, Maroon);
  for (int y = 4; y <= 9; ++y) pic.set(27, y, Maroon);
  for (int y = 10; y <= 28; ++y) pic.set(18, y, Maroon);
  for (int x = 13; x <= 18; ++x) pic.set(x, 28, Maroon);
  return pic;
}

// ---- ICO encoding -------------------------------------------------------------

void put16(std::vector<uint8_t>& b, unsigned v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

std::vector<uint8_t> encode_ico(const Picture& pic) {
  constexpr uint32_t kXorBytes = kSize * kSize / 2;  // 4 bits a pixel, rows of 16 bytes
  constexpr uint32_t kAndBytes = kSize * 4;          // 1 bit a pixel, rows of 4 bytes
  constexpr uint32_t kImageBytes = 40 + 16 * 4 + kXorBytes + kAndBytes;
  std::vector<uint8_t> b;
  // ICONDIR and its one entry.
  put16(b, 0);
  put16(b, 1);  // icon
  put16(b, 1);  // one image
  b.push_back(kSize);
  b.push_back(kSize);
  b.push_back(16);  // colours
  b.push_back(0);
  put16(b, 1);  // planes
  put16(b, 4);  // bits per pixel
  put32(b, kImageBytes);
  put32(b, 6 + 16);  // offset of the image
  // BITMAPINFOHEADER: the height counts the colour bitmap and the mask.
  put32(b, 40);
  put32(b, kSize);
  put32(b, kSize * 2);
  put16(b, 1);
  put16(b, 4);
  put32(b, 0);  // BI_RGB
  put32(b, kXorBytes + kAndBytes);
  put32(b, 0);
  put32(b, 0);
  put32(b, 16);
  put32(b, 0);
  for (const auto& c : kPalette) {
    b.push_back(c[2]);
    b.push_back(c[1]);
    b.push_back(c[0]);
    b.push_back(0);
  }
  for (int y = kSize - 1; y >= 0; --y)  // bottom-up
    for (int x = 0; x < kSize; x += 2) b.push_back(static_cast<uint8_t>(pic.px[y][x] << 4 | pic.px[y][x + 1]));
  for (uint32_t i = 0; i < kAndBytes; ++i) b.push_back(0);  // every pixel opaque
  return b;
}

// ---- chimes -------------------------------------------------------------------

constexpr int kRate = 22050;
constexpr double kSeconds = 0.8;
constexpr double kPi = 3.14159265358979323846;

// A bell-like note: the fundamental and two overtones, each dying away
// exponentially, the higher ones faster; a 4 ms attack avoids a click.
double note_sample(double freq, double t) {
  if (t < 0) return 0;
  double attack = t < 0.004 ? t / 0.004 : 1.0;
  double v = std::sin(2 * kPi * freq * t) * std::exp(-t / 0.30) +
             0.35 * std::sin(2 * kPi * 2 * freq * t) * std::exp(-t / 0.15) +
             0.12 * std::sin(2 * kPi * 3 * freq * t) * std::exp(-t / 0.08);
  return attack * v;
}

// Four notes, each entering 90 ms after the one before; the whole sound is
// faded out over its last 80 ms so that it ends on silence.
std::vector<int16_t> chime(const double (&freqs)[4]) {
  const int n = static_cast<int>(kRate * kSeconds);
  std::vector<double> mix(n);
  double peak = 0;
  for (int i = 0; i < n; ++i) {
    double t = static_cast<double>(i) / kRate;
    double v = 0;
    for (int k = 0; k < 4; ++k) v += note_sample(freqs[k], t - 0.09 * k);
    double tail = kSeconds - t;
    if (tail < 0.08) v *= tail / 0.08;
    mix[i] = v;
    peak = std::fmax(peak, std::fabs(v));
  }
  std::vector<int16_t> out(n);
  double scale = peak > 0 ? 0.6 * 32767 / peak : 0;
  for (int i = 0; i < n; ++i) out[i] = static_cast<int16_t>(std::lround(mix[i] * scale));
  return out;
}

std::vector<uint8_t> encode_wav(const std::vector<int16_t>& samples) {
  const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> b;
  auto tag = [&](const char* s) { b.insert(b.end(), s, s + 4); };
  tag("RIFF");
  put32(b, 4 + 8 + 16 + 8 + data_bytes);
  tag("WAVE");
  tag("fmt ");
  put32(b, 16);
  put16(b, 1);  // PCM
  put16(b, 1);  // mono
  put32(b, kRate);
  put32(b, kRate * 2);  // bytes a second
  put16(b, 2);          // bytes a frame
  put16(b, 16);         // bits a sample
  tag("data");
  put32(b, data_bytes);
  for (int16_t s : samples) put16(b, static_cast<uint16_t>(s));
  return b;
}

// ---- output -------------------------------------------------------------------

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "make_resources: cannot create %s\n", path.c_str());
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::fprintf(stderr, "make_resources: cannot write %s\n", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_resources OUTDIR\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  bool ok = write_file(dir + "mainicon.ico", encode_ico(main_icon()));
  for (int k = 0; k < 7; ++k) ok = write_file(dir + "sm" + std::to_string(k) + ".ico", encode_ico(tray_frame(k))) && ok;
  ok = write_file(dir + "t1.ico", encode_ico(transfer_icon())) && ok;
  // C5 E5 G5 C6 upwards for the start, the same downwards for the end.
  const double rising[4] = {523.25, 659.26, 783.99, 1046.50};
  const double falling[4] = {1046.50, 783.99, 659.26, 523.25};
  ok = write_file(dir + "start.wav", encode_wav(chime(rising))) && ok;
  ok = write_file(dir + "end.wav", encode_wav(chime(falling))) && ok;
  return ok ? 0 : 1;
}
