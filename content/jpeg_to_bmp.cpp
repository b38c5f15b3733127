#include "content/jpeg_to_bmp.h"

#include <csetjmp>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

// The djpeg front end, compiled with content/jpeg_to_bmp_djpeg.h forced in,
// calls these in place of main, exit, fopen, fclose, fprintf and three
// libjpeg entry points.
extern "C" {
int velmor_djpeg_main(int argc, char** argv);
[[noreturn]] void velmor_djpeg_exit(int status);
FILE* velmor_djpeg_fopen(const char* path, const char* mode);
int velmor_djpeg_fclose(FILE* file);
int velmor_djpeg_fprintf(FILE* stream, const char* format, ...);
jpeg_error_mgr* velmor_djpeg_std_error(jpeg_error_mgr* err);
void velmor_djpeg_create_decompress(j_decompress_ptr cinfo, int version, size_t structSize);
boolean velmor_djpeg_start_decompress(j_decompress_ptr cinfo);
}

namespace {

// Limits for a picture from the network: a header can claim up to
// 65,535 x 65,535. 40 million pixels takes 7680 x 4320 and 6000 x 6000; the
// whole-picture buffers (colour quantizer, bottom-up BMP rows, progressive
// coefficients) of such a picture stay below the memory bound, and libjpeg
// fails at once when a picture would need more (it has no backing store).
constexpr unsigned long long kMaxPixels = 40000000ULL;
constexpr long kMaxMemory = 512L * 1024 * 1024;

// djpeg opens at most its input, its output and one side file.
constexpr int kMaxFiles = 4;

// The one conversion in progress. Static so that it keeps its values across
// the jump back to the recovery point.
struct Conversion {
  std::jmp_buf recovery;
  bool active;
  int status;
  FILE* files[kMaxFiles];
  j_decompress_ptr decoder;
};
Conversion current;

// Closes what the front end left open and releases the decompressor's
// memory (jpeg_destroy does nothing for an object already destroyed).
void ReleaseAll() {
  if (current.decoder != nullptr) {
    jpeg_destroy(reinterpret_cast<j_common_ptr>(current.decoder));
    current.decoder = nullptr;
  }
  for (FILE*& file : current.files) {
    if (file != nullptr) {
      std::fclose(file);
      file = nullptr;
    }
  }
}

[[noreturn]] void FinishWith(int status) {
  current.status = status;
  ReleaseAll();
  std::longjmp(current.recovery, 1);
}

// A libjpeg error ends the conversion, never the process.
void ErrorExit(j_common_ptr cinfo) {
  jpeg_destroy(cinfo);
  FinishWith(EXIT_FAILURE);
}

// A warning (corrupt or missing data that libjpeg would paper over) is a
// failure too: the picture would not be what the server sent.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) ErrorExit(cinfo);
  if (cinfo->err->trace_level >= level) cinfo->err->output_message(cinfo);
}

void OutputMessage(j_common_ptr) {}

}  // namespace

extern "C" {

void velmor_djpeg_exit(int status) { FinishWith(status); }

FILE* velmor_djpeg_fopen(const char* path, const char* mode) {
  for (FILE*& slot : current.files) {
    if (slot == nullptr) {
      slot = std::fopen(path, mode);
      return slot;
    }
  }
  return nullptr;
}

int velmor_djpeg_fclose(FILE* file) {
  for (FILE*& slot : current.files) {
    if (slot == file) slot = nullptr;
  }
  return std::fclose(file);
}

int velmor_djpeg_fprintf(FILE* stream, const char* format, ...) {
  if (stream == stderr) return 0;
  va_list args;
  va_start(args, format);
  int n = std::vfprintf(stream, format, args);
  va_end(args);
  return n;
}

jpeg_error_mgr* velmor_djpeg_std_error(jpeg_error_mgr* err) {
  jpeg_std_error(err);
  err->error_exit = ErrorExit;
  err->emit_message = EmitMessage;
  err->output_message = OutputMessage;
  return err;
}

void velmor_djpeg_create_decompress(j_decompress_ptr cinfo, int version, size_t structSize) {
  jpeg_CreateDecompress(cinfo, version, structSize);
  current.decoder = cinfo;
  cinfo->mem->max_memory_to_use = kMaxMemory;
}

boolean velmor_djpeg_start_decompress(j_decompress_ptr cinfo) {
  if (static_cast<unsigned long long>(cinfo->image_width) * cinfo->image_height > kMaxPixels) {
    cinfo->err->msg_code = JERR_IMAGE_TOO_BIG;
    cinfo->err->msg_parm.i[0] = static_cast<int>(kMaxPixels);
    cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
  }
  return jpeg_start_decompress(cinfo);
}

}  // extern "C"

int ConvertJpegToBmp(int argc, char** argv) {
  if (argc < 1 || argv == nullptr || current.active) return EXIT_FAILURE;
  for (int i = 0; i < argc; ++i) {
    if (argv[i] == nullptr) return EXIT_FAILURE;
  }
  current.active = true;
  current.status = EXIT_FAILURE;
  current.decoder = nullptr;
  for (FILE*& slot : current.files) slot = nullptr;
  // djpeg's switches live in file-level variables, but it sets every one of
  // them afresh when it parses the command line, so nothing carries over
  // from one conversion to the next. It ends through exit() even when it
  // succeeds; that, like every error, comes back here.
  if (setjmp(current.recovery) == 0) {
    current.status = velmor_djpeg_main(argc, argv);
    ReleaseAll();
  }
  current.active = false;
  return current.status;
}
