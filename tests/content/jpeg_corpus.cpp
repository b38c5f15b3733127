#include "tests/content/jpeg_corpus.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

extern "C" {
#include <jpeglib.h>
}

std::vector<unsigned char> PhotoPixels(int width, int height, int components) {
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * components);
  unsigned int noise = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
      // Sky over ground, a round shape with a hard edge, and texture.
      double sky = v < 0.55 ? 1.0 : 0.0;
      double dx = u - 0.62, dy = v - 0.35;
      bool disc = dx * dx + dy * dy < 0.018;
      double texture = 0.5 + 0.5 * std::sin(u * 90.0 + std::sin(v * 40.0) * 3.0);
      noise = noise * 1103515245u + 12345u;
      double grain = static_cast<double>((noise >> 16) & 0x1f) - 16.0;
      double r = sky * (90 + 120 * v) + (1 - sky) * (70 + 60 * texture) + (disc ? 120 : 0) + grain;
      double g = sky * (140 + 90 * v) + (1 - sky) * (110 + 70 * texture * u) + (disc ? 60 : 0) + grain;
      double b = sky * (220 - 60 * v) + (1 - sky) * (40 + 30 * texture) + (disc ? -30 : 0) + grain;
      double rgb[3] = {r, g, b};
      unsigned char* out = &pixels[(static_cast<size_t>(y) * width + x) * components];
      for (int c = 0; c < components; ++c) {
        double value = components == 1 ? 0.3 * r + 0.59 * g + 0.11 * b : rgb[c % 3] + (c == 3 ? -60 : 0);
        out[c] = static_cast<unsigned char>(value < 0 ? 0 : value > 255 ? 255 : value);
      }
    }
  }
  return pixels;
}

std::string EncodeJpeg(const JpegVariant& variant) {
  std::vector<unsigned char> pixels = PhotoPixels(variant.width, variant.height, variant.components);
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&c, &out, &outSize);
  c.image_width = variant.width;
  c.image_height = variant.height;
  c.input_components = variant.components;
  c.in_color_space = variant.components == 1 ? JCS_GRAYSCALE : variant.components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, variant.quality, TRUE);
  if (variant.components == 3) {
    c.comp_info[0].h_samp_factor = variant.hSampling;
    c.comp_info[0].v_samp_factor = variant.vSampling;
  }
  if (variant.progressive) jpeg_simple_progression(&c);
  c.arith_code = variant.arithmetic ? TRUE : FALSE;
  c.restart_in_rows = variant.restartRows;
  jpeg_start_compress(&c, TRUE);
  const size_t stride = static_cast<size_t>(variant.width) * variant.components;
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = &pixels[c.next_scanline * stride];
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::string bytes(reinterpret_cast<char*>(out), outSize);
  std::free(out);
  return bytes;
}
