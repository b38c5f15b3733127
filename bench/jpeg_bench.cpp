// The picture conversion's speed: ConvertJpegToBmp in this process against
// the djpeg program of the same libjpeg-turbo build on the same pictures (a
// 1920x1080 and a 4000x3000 photo-like JPEG), in the same run. Starting a
// program costs something of its own (much under Wine), so the program's
// start-up (djpeg -version) is measured too and the main ratio is against
// the program's time less its start-up. Wall time and processor time are
// both given (processor time is the steadier figure on a busy machine). Each
// figure is the fastest of the repeats, which are interleaved. Target: ratio
// at most 1.1.
//
// Built in the release tree (native, against Debian's djpeg) and in the
// Windows tree (under Wine, against the cross-built djpeg.exe); run both
// through bench/run-jpeg-bench.sh. The native run leaves its djpeg figures
// in WORK_DIR/native-djpeg.txt and the Windows run compares with them.
//
// Usage: jpeg_bench WORK_DIR [REPEATS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "content/jpeg_to_bmp.h"
#include "tests/content/jpeg_corpus.h"
#include "tests/content/process_probe.h"

namespace {

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The fastest of the repeats: other work on the machine only ever adds time.
double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int Convert(const std::string& input, const std::string& output) {
  std::vector<std::string> args{"djpeg.exe", "-nosmooth", "-colors", "256", "-bmp", input, output};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  return ConvertJpegToBmp(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: jpeg_bench WORK_DIR [REPEATS]\n");
    return 2;
  }
#ifdef _WIN32
  const std::string dir = std::string(argv[1]) + "\\";
  const bool native = false;
#else
  const std::string dir = std::string(argv[1]) + "/";
  const bool native = true;
#endif
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
  const std::string djpeg = PlatformPath(VELMOR_DJPEG_PROGRAM);
  const char* where = native ? "native" : "Wine";

  std::map<std::string, std::pair<double, double>> nativeDjpeg;  // wall, processor (ms)
  if (!native) {
    std::ifstream in(dir + "native-djpeg.txt");
    std::string name;
    double wall, processor;
    while (in >> name >> wall >> processor) nativeDjpeg[name] = {wall, processor};
  }
  std::ofstream nativeOut;
  if (native) nativeOut.open(dir + "native-djpeg.txt");

  const JpegVariant pictures[] = {
      {"photo-1920x1080", 1920, 1080, 3, 2, 2, false, false, 0, 85},
      {"photo-4000x3000", 4000, 3000, 3, 2, 2, false, false, 0, 85},
  };
  bool allWithin = true;
  for (const auto& picture : pictures) {
    const std::string input = dir + picture.name + ".jpg";
    {
      const std::string bytes = EncodeJpeg(picture);
      std::ofstream(input, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const std::string ours = dir + picture.name + "-ours.bmp", theirs = dir + picture.name + "-djpeg.bmp";
    // Wall time and processor time of each: on a busy machine the wall
    // time also holds the waits for a processor, the processor time not.
    std::vector<double> oursTimes, djpegTimes, startTimes, oursCpu, djpegCpu, startCpu;
    Convert(input, ours);  // warm the file cache and the process
    for (int i = 0; i < repeats; ++i) {
      double c0 = ProcessCpuSeconds(), t0 = Seconds();
      int a = Convert(input, ours);
      double t1 = Seconds(), c1 = ProcessCpuSeconds(), programCpu = 0, startupCpu = 0;
      int b = RunProgram(djpeg, {"-nosmooth", "-colors", "256", "-bmp", "-outfile", theirs, input}, &programCpu);
      double t2 = Seconds();
      RunProgram(djpeg, {"-version"}, &startupCpu);
      startTimes.push_back(Seconds() - t2);
      if (a != 0 || b != 0) {
        std::printf("%s: conversion failed (ours %d, djpeg %d)\n", picture.name.c_str(), a, b);
        return 1;
      }
      oursTimes.push_back(t1 - t0);
      djpegTimes.push_back(t2 - t1);
      oursCpu.push_back(c1 - c0);
      djpegCpu.push_back(programCpu);
      startCpu.push_back(startupCpu);
    }
    const bool same = ReadAll(ours) == ReadAll(theirs);
    const double o = Fastest(oursTimes) * 1e3, d = Fastest(djpegTimes) * 1e3, s = Fastest(startTimes) * 1e3;
    const double ratio = o / std::max(d - s, 1e-3);
    const double oc = Fastest(oursCpu) * 1e3, dc = Fastest(djpegCpu) * 1e3, sc = Fastest(startCpu) * 1e3;
    const double cpuRatio = oc / std::max(dc - sc, 1e-3);
    allWithin = allWithin && ratio <= 1.1 && (!native || cpuRatio <= 1.1);
    std::printf("[%s] %s: output %s\n", where, picture.name.c_str(), same ? "identical" : "DIFFERS");
    std::printf("[%s] %s wall: ConvertJpegToBmp %.1f ms; djpeg %.1f ms, start-up %.1f ms; "
                "ratio %.2f against djpeg less start-up (target <= 1.1), %.2f against the whole run\n",
                where, picture.name.c_str(), o, d, s, ratio, o / d);
    // Wine does not report another process's processor time, so under Wine
    // ours is set against native djpeg's.
    if (native) {
      std::printf("[%s] %s processor: ConvertJpegToBmp %.1f ms; djpeg %.1f ms, start-up %.1f ms; "
                  "ratio %.2f against djpeg less start-up (target <= 1.1)\n",
                  where, picture.name.c_str(), oc, dc, sc, cpuRatio);
      nativeOut << picture.name << ' ' << (d - s) << ' ' << (dc - sc) << '\n';
    } else {
      std::printf("[%s] %s processor: ConvertJpegToBmp %.1f ms\n", where, picture.name.c_str(), oc);
    }
    auto n = nativeDjpeg.find(picture.name);
    if (n != nativeDjpeg.end()) {
      std::printf("[%s] %s against native djpeg (less start-up): wall %.1f ms, ratio %.2f; processor %.1f ms, "
                  "ratio %.2f\n",
                  where, picture.name.c_str(), n->second.first, o / n->second.first, n->second.second,
                  oc / n->second.second);
    }
  }
  std::printf("[%s] %s\n", where, allWithin ? "all ratios within 1.1" : "a ratio is above 1.1");
  return 0;
}
