// JPEG pictures made by the tests themselves through libjpeg: a photo-like
// scene (smooth light, edges, fine texture and noise, so that the colour
// quantizer has real work) in the coding variants a server may send.
#pragma once
#include <string>
#include <vector>

struct JpegVariant {
  std::string name;
  int width;
  int height;
  int components;  // 1 grey, 3 YCbCr, 4 CMYK
  int hSampling;   // luma sampling factors: 2x2 is 4:2:0, 2x1 4:2:2, 1x1 4:4:4
  int vSampling;
  bool progressive;
  bool arithmetic;
  int restartRows;  // restart interval in MCU rows, 0 for none
  int quality;
};

// The scene at the given size, interleaved, components bytes per pixel.
std::vector<unsigned char> PhotoPixels(int width, int height, int components);
// The picture encoded with the variant's settings.
std::string EncodeJpeg(const JpegVariant& variant);
