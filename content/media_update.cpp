#include "content/media_update.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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
constexpr int NoSuchFile = 2;
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

// Deletes path; 0 when it is gone or was not there, else the error number.
int RemoveOld(const char* path) {
  if (std::remove(path) == 0) return 0;
  int error = errno;
  return error == NoSuchFile ? 0 : error;
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
  Socket s = StartContentExchange(&record);
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
    } else if (int error = kind.install(row, importPath)) {
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
  char wallpaper[PathSize];
  if (!InTable(row) || !RowFilePath(wallpaper, row, PictureNameLength, ".bmp")) return ENAMETOOLONG;
  if (int error = RemoveOld(wallpaper)) return error;

  char input[PathSize], output[PathSize];
  std::snprintf(input, sizeof input, "%s", importPath);
  std::snprintf(output, sizeof output, "%s", wallpaper);
  char program[] = "djpeg.exe", nosmooth[] = "-nosmooth", colors[] = "-colors", count[] = "256", bmp[] = "-bmp";
  char* argv[] = {program, nosmooth, colors, count, bmp, input, output, nullptr};
  if (ConvertJpegToBmp(7, argv) == 0) {
    std::remove(importPath);
  } else {
    // No JPEG (or none the converter takes): the received file is the
    // picture, as it came; a partial output goes first.
    std::remove(wallpaper);
    if (std::rename(importPath, wallpaper) != 0) return errno;
  }
  SetTiledWallpaper(wallpaper);
  return 0;
}

int InstallSound(int row, const char* importPath) {
  char sound[PathSize];
  if (!InTable(row) || !RowFilePath(sound, row, 0, ".wav")) return ENAMETOOLONG;
  if (int error = RemoveOld(sound)) return error;
  if (std::rename(importPath, sound) != 0) return errno;
  if (!ItemTable[row].eventKeyPath) {
    int played = PlayWaveFile(sound);
    if (!played) LogActivityCode("Error playing wav file", played);
  } else {
    SetEventSound(ItemTable[row].eventKeyPath, sound);
  }
  return 0;
}
