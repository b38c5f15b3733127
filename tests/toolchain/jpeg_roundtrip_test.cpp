#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace {

std::vector<unsigned char> EncodeGradient(int width, int height) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&c, &out, &outSize);
  c.image_width = width;
  c.image_height = height;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> row(width * 3);
  while (c.next_scanline < c.image_height) {
    for (int x = 0; x < width; ++x) {
      row[x * 3 + 0] = static_cast<unsigned char>(x * 255 / (width - 1));
      row[x * 3 + 1] = static_cast<unsigned char>(c.next_scanline * 255 / (height - 1));
      row[x * 3 + 2] = 128;
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<unsigned char> bytes(out, out + outSize);
  free(out);
  return bytes;
}

TEST(Jpeg, EncodedPictureDecodesToSameSizeAndColours) {
  const int w = 64, h = 48;
  std::vector<unsigned char> jpeg = EncodeGradient(w, h);
  ASSERT_GT(jpeg.size(), 100u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);

  jpeg_decompress_struct d{};
  jpeg_error_mgr err{};
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, jpeg.data(), jpeg.size());
  ASSERT_EQ(jpeg_read_header(&d, TRUE), JPEG_HEADER_OK);
  jpeg_start_decompress(&d);
  EXPECT_EQ(static_cast<int>(d.output_width), w);
  EXPECT_EQ(static_cast<int>(d.output_height), h);
  ASSERT_EQ(d.output_components, 3);
  std::vector<unsigned char> row(w * 3);
  int maxError = 0;
  while (d.output_scanline < d.output_height) {
    int y = d.output_scanline;
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&d, rows, 1);
    for (int x = 0; x < w; ++x) {
      int expect[3] = {x * 255 / (w - 1), y * 255 / (h - 1), 128};
      for (int k = 0; k < 3; ++k) maxError = std::max(maxError, std::abs(row[x * 3 + k] - expect[k]));
    }
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  EXPECT_LE(maxError, 12);
}

}  // namespace
