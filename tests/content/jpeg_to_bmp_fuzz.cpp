// Arbitrary bytes as a received picture: the conversion must return, never
// crash, leak or end the process. The corpus folder is seeded with small
// pictures of the coding variants so that mutations reach the decoder.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "content/jpeg_to_bmp.h"
#include "tests/content/jpeg_corpus.h"

namespace {

std::string scratch;

void WriteBytes(const std::string& path, const void* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  scratch = "/tmp/velmor-jpeg-fuzz-" + std::to_string(getpid());
  std::atexit([] {
    std::remove((scratch + ".jpg").c_str());
    std::remove((scratch + ".bmp").c_str());
  });
  for (int i = 1; i < *argc; ++i) {
    const std::string arg = (*argv)[i];
    if (arg.empty() || arg[0] == '-') continue;
    const JpegVariant seeds[] = {
        {"seed-baseline", 24, 16, 3, 2, 2, false, false, 0, 75},
        {"seed-progressive", 24, 16, 3, 2, 1, true, false, 0, 75},
        {"seed-arithmetic", 16, 16, 3, 1, 1, false, true, 1, 75},
        {"seed-grey", 9, 7, 1, 1, 1, true, false, 0, 75},
    };
    for (const auto& seed : seeds) {
      const std::string bytes = EncodeJpeg(seed);
      WriteBytes(arg + "/" + seed.name, bytes.data(), bytes.size());
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = scratch + ".jpg", output = scratch + ".bmp";
  WriteBytes(input, data, size);
  std::vector<std::string> args{"djpeg.exe", "-nosmooth", "-colors", "256", "-bmp", input, output};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  ConvertJpegToBmp(static_cast<int>(argv.size()), argv.data());
  return 0;
}
