// Pictures and sounds of the sample content, made by the program itself.
#include "server/sample_content.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;

struct Rgb {
  double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Colour pairs the styles draw with; variant picks one.
const Rgb Palette[][2] = {
    {{20, 40, 90}, {230, 150, 60}},  {{10, 80, 70}, {200, 230, 120}}, {{70, 20, 80}, {250, 200, 210}},
    {{30, 30, 30}, {120, 180, 240}}, {{90, 40, 10}, {250, 230, 160}},
};

Rgb Pixel(int style, int variant, int x, int y, int w, int h) {
  const Rgb* colours = Palette[variant % 5];
  double u = static_cast<double>(x) / w;
  double v = static_cast<double>(y) / h;
  switch (style) {
    case 0: // diagonal gradient with a soft wave
      return Mix(colours[0], colours[1], 0.5 * (u + v) + 0.05 * std::sin(12 * u + 7 * v));
    case 1: { // glow around a centre
      double dx = u - 0.35, dy = (v - 0.4) * h / w;
      return Mix(colours[1], colours[0], std::sqrt(dx * dx + dy * dy) * 1.6);
    }
    case 2: { // woven stripes
      int cell = 24 + 8 * (variant % 3);
      bool a = ((x / cell) + (y / cell)) % 2 == 0;
      double stripe = 0.5 + 0.5 * std::sin((a ? x : y) * 2 * Pi / cell);
      return Mix(colours[0], colours[1], 0.25 + 0.5 * stripe);
    }
    case 3: { // interference rings
      double dx = u - 0.3, dy = v - 0.5, ex = u - 0.7, ey = v - 0.5;
      double s = std::sin(60 * std::sqrt(dx * dx + dy * dy)) + std::sin(60 * std::sqrt(ex * ex + ey * ey));
      return Mix(colours[0], colours[1], 0.5 + 0.25 * s);
    }
    default: { // hills under an evening sky with a low sun
      Rgb sky = Mix(colours[0], colours[1], v * 1.2);
      double sx = u - 0.7, sy = (v - 0.45) * h / w;
      if (sx * sx + sy * sy < 0.004) {
        sky = {255, 240, 200};
      }
      // Front ridge first: nearer hills hide the ones behind them, and the
      // far ones fade into the haze.
      const Rgb hills[3] = {{110, 135, 130}, {60, 105, 60}, {28, 64, 34}};
      for (int layer = 2; layer >= 0; --layer) {
        double ridge = 0.55 + 0.1 * layer + 0.06 * std::sin(u * (5 + 3 * layer) + layer * 1.7 + variant) +
                       0.02 * std::sin(u * 31 + layer);
        if (v > ridge) {
          return Mix(hills[layer], {10, 20, 10}, (v - ridge) * 0.8);
        }
      }
      return sky;
    }
  }
}

struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr cinfo) {
  JpegErrors* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  std::longjmp(errors->jump, 1);
}

// The libjpeg part, kept free of objects with destructors because a
// library error leaves it through longjmp.
bool EncodeJpeg(std::FILE* out, const unsigned char* rgb, int width, int height, char* message) {
  jpeg_compress_struct cinfo;
  JpegErrors errors;
  cinfo.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = OnJpegError;
  errors.message[0] = '\0';
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::strcpy(message, errors.message);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, out);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 85, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb + static_cast<std::size_t>(cinfo.next_scanline) * width * 3);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

void PutLe(std::string* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
}

double Envelope(double t, double attack, double decay) {
  return (t < attack ? t / attack : 1.0) * std::exp(-t / decay);
}

double SoundSample(int style, int variant, double t, double length) {
  double base = 392.0 * std::pow(2.0, (variant % 5) / 12.0 * 3); // a few keys apart
  switch (style) {
    case 0: { // bell: inharmonic partials that die away at their own pace
      const double ratios[] = {1.0, 2.76, 5.40, 8.93};
      const double weights[] = {1.0, 0.5, 0.25, 0.12};
      double s = 0;
      for (int i = 0; i < 4; ++i) {
        s += weights[i] * std::sin(2 * Pi * base * ratios[i] * t) * std::exp(-t * (2.0 + 2.5 * i));
      }
      return 0.5 * s * (t < 0.005 ? t / 0.005 : 1.0);
    }
    case 1: { // rising three-note chime
      const double steps[] = {1.0, 1.25, 1.5};
      int note = static_cast<int>(t / (length / 3));
      if (note > 2) note = 2;
      double local = t - note * (length / 3);
      return 0.45 * std::sin(2 * Pi * base * steps[note] * local) * Envelope(local, 0.01, 0.25);
    }
    case 2: { // sweep from low to high
      double f0 = base / 2, f1 = base * 3;
      double phase = 2 * Pi * (f0 * t + (f1 - f0) * t * t / (2 * length));
      return 0.4 * std::sin(phase) * std::sin(Pi * t / length);
    }
    case 3: { // two soft beeps
      double period = length / 2;
      double local = std::fmod(t, period);
      double on = local < period * 0.6 ? std::sin(Pi * local / (period * 0.6)) : 0.0;
      return 0.35 * on * (std::sin(2 * Pi * base * 2 * t) + 0.3 * std::sin(2 * Pi * base * 4 * t));
    }
    default: { // water drops: short falling pings at fixed moments
      double s = 0;
      const double at[] = {0.05, 0.31, 0.47, 0.83, 1.02, 1.38};
      for (int i = 0; i < 6; ++i) {
        double local = t - at[i] * length / 1.5;
        if (local >= 0 && local < 0.2) {
          double f = base * (2.0 + 0.3 * ((i * 7 + variant) % 5)) * (1.0 - local);
          s += 0.4 * std::sin(2 * Pi * f * local) * std::exp(-local * 25);
        }
      }
      return s;
    }
  }
}

} // namespace

bool WriteSampleJpeg(const std::string& path, int width, int height, int style, int variant, std::string* error) {
  if (width < 1 || height < 1 || width > 8192 || height > 8192) {
    *error = "picture size out of range";
    return false;
  }
  std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Rgb c = Pixel(style, variant, x, y, width, height);
      unsigned char* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      p[0] = static_cast<unsigned char>(c.r < 0 ? 0 : (c.r > 255 ? 255 : c.r));
      p[1] = static_cast<unsigned char>(c.g < 0 ? 0 : (c.g > 255 ? 255 : c.g));
      p[2] = static_cast<unsigned char>(c.b < 0 ? 0 : (c.b > 255 ? 255 : c.b));
    }
  }
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) {
    *error = "cannot create " + path;
    return false;
  }
  char message[JMSG_LENGTH_MAX] = "";
  bool ok = EncodeJpeg(out, rgb.data(), width, height, message);
  if (std::fclose(out) != 0) {
    ok = false;
  }
  if (!ok) {
    *error = "cannot write " + path + (message[0] ? std::string(": ") + message : std::string());
  }
  return ok;
}

std::string SynthesiseWav(int style, int variant, int milliseconds) {
  constexpr uint32_t Rate = 22050;
  uint32_t samples = static_cast<uint32_t>(static_cast<uint64_t>(Rate) * (milliseconds < 0 ? 0 : milliseconds) / 1000);
  uint32_t data_bytes = samples * 2;
  std::string wav;
  wav.reserve(44 + data_bytes);
  wav += "RIFF";
  PutLe(&wav, 36 + data_bytes, 4);
  wav += "WAVEfmt ";
  PutLe(&wav, 16, 4);        // format chunk size
  PutLe(&wav, 1, 2);         // PCM
  PutLe(&wav, 1, 2);         // mono
  PutLe(&wav, Rate, 4);
  PutLe(&wav, Rate * 2, 4);  // bytes per second
  PutLe(&wav, 2, 2);         // block align
  PutLe(&wav, 16, 2);        // bits per sample
  wav += "data";
  PutLe(&wav, data_bytes, 4);
  double length = milliseconds / 1000.0;
  for (uint32_t i = 0; i < samples; ++i) {
    double t = static_cast<double>(i) / Rate;
    double s = SoundSample(style, variant, t, length);
    // A short fade at both ends keeps the start and the stop free of clicks.
    double fade = std::fmin(1.0, std::fmin(t, length - t) / 0.01);
    s *= fade < 0 ? 0 : fade;
    s = s > 1 ? 1 : (s < -1 ? -1 : s);
    PutLe(&wav, static_cast<uint16_t>(static_cast<int16_t>(std::lrint(s * 32000))), 2);
  }
  return wav;
}
