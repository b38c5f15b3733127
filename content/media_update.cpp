#include "content/media_update.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/file_ops.h"
#include "config/config_file.h"
#include "content/desktop.h"
#include "content/jpeg_to_bmp.h"
#include "content/text_fetch.h"
#include "net/server_exchange.h"
#include "content/wait_label.h"
#include "diag/log.h"
#include "net/request_protocol.h"
#include "net/transport.h"
#include "schedule/category_pick.h"
#include "schedule/item_table.h"

namespace {

constexpr int PathSize = 300;
constexpr int PictureNameLength = 8;

struct MediaKind {
  int requestCode;
  bool informationRecord;  // pictures: one more record before the block
  int emptyCategoryCode;
  const char* emptyCategoryLine;
  int (*install)(int row, const char* importPath);
  const char* errorLine;   // "... Error %d"
};

bool InTable(int row) { return row >= 0 && row < MaxItems && ItemTable[row].name; }

// DataDirectory, a separator when it lacks one, then name. False when the
// path would not fit.
bool DataPath(char* out, const char* name) {
  std::size_t dir = strnlen(DataDirectory, sizeof DataDirectory);
  const char* separator = "";
  if (dir > 0 && DataDirectory[dir - 1] != '\\' && DataDirectory[dir - 1] != '/') separator = "\\";
  int n = std::snprintf(out, PathSize, "%.*s%s%s", static_cast<int>(dir), DataDirectory, separator, name);
  return n > 0 && n < PathSize;
}

// The row's file: its (safe) name, cut to nameLength characters when that
// is not 0, and the extension.
bool RowFilePath(char* out, int row, int nameLength, const char* extension) {
  char name[ItemKeySize + 8];
  SafeFileName(name, sizeof name, ItemTable[row].name);
  if (nameLength > 0 && std::strlen(name) > static_cast<std::size_t>(nameLength)) name[nameLength] = '\0';
  std::strcat(name, extension);
  return DataPath(out, name);
}

// Puts from in the place of to in one step; 0, or the error number (to is
// then as it was).
int ReplaceWith(const char* from, const char* to) {
  if (OsReplaceFile(from, to) == 0) return 0;
  return errno ? errno : EIO;
}

uint32_t Le(const unsigned char* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// Whether the file is a Windows bitmap the desktop can show: the file
// header, a known information header, one plane, a known depth, and (when
// uncompressed) all the rows its size announces.
bool IsShowableBitmap(const char* path) {
  int fd = OsOpenRead(path);
  if (fd < 0) return false;
  unsigned char h[54] = {};
  int got = OsRead(fd, reinterpret_cast<char*>(h), sizeof h);
  int64_t length = OsFileLength(fd);
  OsClose(fd);
  if (got < 26 || h[0] != 'B' || h[1] != 'M') return false;
  uint32_t offset = Le(h + 10, 4), infoSize = Le(h + 14, 4);
  int64_t width, height;
  uint32_t planes, depth, compression = 0;
  if (infoSize == 12) {
    width = Le(h + 18, 2);
    height = Le(h + 20, 2);
    planes = Le(h + 22, 2);
    depth = Le(h + 24, 2);
  } else if (infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 108 || infoSize == 124) {
    if (got < 54) return false;
    width = static_cast<int32_t>(Le(h + 18, 4));
    height = static_cast<int32_t>(Le(h + 22, 4));
    planes = Le(h + 26, 2);
    depth = Le(h + 28, 2);
    compression = Le(h + 30, 4);
  } else {
    return false;
  }
  if (height < 0) height = -height;
  bool knownDepth = depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
  if (width <= 0 || height == 0 || planes != 1 || !knownDepth) return false;
  if (offset < 14 + infoSize || offset >= static_cast<uint64_t>(length)) return false;
  if (compression == 0 || compression == 3) {
    int64_t row = (width * depth + 31) / 32 * 4;
    if (row * height > length - offset) return false;
  } else if (compression != 1 && compression != 2) {
    return false;
  }
  return true;
}

bool IsDeviceName(const char* name) {
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  char base[16];
  std::size_t n = std::strcspn(name, ".");
  while (n > 0 && name[n - 1] == ' ') --n;
  if (n == 0 || n >= sizeof base) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = name[i];
    base[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
  }
  base[n] = '\0';
  for (const char* device : devices)
    if (std::strcmp(base, device) == 0) return true;
  return n == 4 && (std::strncmp(base, "COM", 3) == 0 || std::strncmp(base, "LPT", 3) == 0) && base[3] >= '1' &&
         base[3] <= '9';
}

// One exchange: request, response, and on code 0 the block into
// "import.bin" and the install. 1 when installed.
int FetchMedia(const MediaKind& kind, int row) {
  char importPath[PathSize];
  if (!InTable(row) || !DataPath(importPath, "import.bin")) return 0;
  int category = CategoryPick(row);
  if (category == -1) return 0;
  RequestRecord record = EmptyRecord();
  record.code = kind.requestCode;
  record.num1 = category;
  Socket s = StartContentExchange(&record, "Transfer Cancelled.");
  if (s < 0) return 0;
  int result = 0;
  char line[200];
  if (record.code == ResponseAccepted) {
    if (kind.informationRecord) {
      RequestRecord information = EmptyRecord();
      ReceiveResponse(s, &information);
    }
    ShowWaitLabel();
    int status = BlockRecvFile(s, importPath, ShowProgress);
    HideWaitLabel();
    if (status != BlockOk) {
      ReportBlockReceiveStatus(status, category);
    } else if (int error = kind.install(row, importPath); error == PictureNotUsable) {
      // Delivered, only not usable: the row waits its interval, so that a
      // bad file on the server is not fetched again at every tick.
      LogActivity("The new background picture could not be used; the wallpaper stays as it was.");
      result = 1;
    } else if (error != 0) {
      std::snprintf(line, sizeof line, kind.errorLine, error);
      LogActivity(line);
    } else {
      if (kind.requestCode == RequestPicture) {
        LogActivity("New background picture has been loaded.");
      } else {
        std::snprintf(line, sizeof line, "New sound available for %s", ItemTable[row].displayName);
        LogActivity(line);
      }
      result = 1;
    }
  } else if (record.code == ResponseBusy) {
    LogActivity("The Velmor server you're attached to is busy.");
  } else if (record.code == ResponseUnavailable) {
    LogActivity("The Velmor server was unable to obtain the information you requested.");
  } else if (record.code == kind.emptyCategoryCode) {
    std::snprintf(line, sizeof line, kind.emptyCategoryLine, category);
    LogActivity(line);
  } else {
    LogActivityCode("Error from server ", record.code);
  }
  CloseServerConnection(s);
  return result;
}

const MediaKind Picture = {RequestPicture, true, ResponsePictureCategoryEmpty,
                           "Picture category %d is empty on the server.", InstallPicture,
                           "Error installing new picture file. Error %d"};
const MediaKind Sound = {RequestSound, false, ResponseSoundCategoryEmpty, "Sound category %d is empty on the server.",
                         InstallSound, "Error installing new sound file. Error %d"};

}  // namespace

void SafeFileName(char* out, int size, const char* name) {
  if (size <= 0) return;
  int at = 0;
  if (IsDeviceName(name) && size > 1) out[at++] = '_';
  for (const char* p = name; *p && at < size - 1; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    bool forbidden = c < 32 || std::strchr("\\/:*?\"<>|", c) != nullptr;
    out[at++] = forbidden ? '_' : static_cast<char>(c);
  }
  out[at] = '\0';
}

int BackgroundUpdate(int row) { return FetchMedia(Picture, row); }

int SoundUpdate(int row) { return FetchMedia(Sound, row); }

int InstallPicture(int row, const char* importPath) {
  char wallpaper[PathSize], converted[PathSize];
  if (!InTable(row) || !RowFilePath(wallpaper, row, PictureNameLength, ".bmp") ||
      !DataPath(converted, "import.bmp"))
    return ENAMETOOLONG;

  // The conversion writes beside the wallpaper, which is replaced only by a
  // complete picture: until then the desktop keeps naming a whole file.
  char input[PathSize], output[PathSize];
  std::snprintf(input, sizeof input, "%s", importPath);
  std::snprintf(output, sizeof output, "%s", converted);
  char program[] = "djpeg.exe", nosmooth[] = "-nosmooth", colors[] = "-colors", count[] = "256", bmp[] = "-bmp";
  char* argv[] = {program, nosmooth, colors, count, bmp, input, output, nullptr};
  if (ConvertJpegToBmp(7, argv) == 0) {
    if (int error = ReplaceWith(converted, wallpaper)) {
      std::remove(converted);
      return error;
    }
    std::remove(importPath);
  } else {
    std::remove(converted);
    // A server may send bitmaps, which are used as they came; anything else
    // the converter refused (random bytes, a broken JPEG, nothing at all)
    // would only put a picture on the desktop that it cannot show.
    if (!IsShowableBitmap(importPath)) {
      std::remove(importPath);
      return PictureNotUsable;
    }
    if (int error = ReplaceWith(importPath, wallpaper)) return error;
  }
  SetTiledWallpaper(wallpaper);
  return 0;
}

int InstallSound(int row, const char* importPath) {
  char sound[PathSize];
  if (!InTable(row) || !RowFilePath(sound, row, 0, ".wav")) return ENAMETOOLONG;
  if (int error = ReplaceWith(importPath, sound)) return error;
  if (!ItemTable[row].eventKeyPath) {
    int played = PlayWaveFile(sound);
    if (!played) LogActivityCode("Error playing wav file", played);
  } else {
    SetEventSound(ItemTable[row].eventKeyPath, sound);
  }
  return 0;
}
