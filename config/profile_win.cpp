// The system profile and the Windows directory, for the client identity.
#include "config/profile.h"

#include <windows.h>

void ProfileRead(const char* file, const char* section, const char* key, char* out, int size) {
  if (size <= 0) return;
  out[0] = '\0';
  GetPrivateProfileStringA(section, key, "", out, static_cast<DWORD>(size), file);
  out[size - 1] = '\0';
}

int ProfileWrite(const char* file, const char* section, const char* key, const char* value) {
  return WritePrivateProfileStringA(section, key, value, file) ? 1 : 0;
}

int WindowsDirectory(char* out, int size) {
  if (size <= 0) return 0;
  UINT n = GetWindowsDirectoryA(out, static_cast<UINT>(size));
  if (n == 0 || n >= static_cast<UINT>(size)) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<int>(n);
}

int FileLastWriteTime(const char* path, uint32_t* seconds) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(path, &found);
  if (h == INVALID_HANDLE_VALUE) return 0;
  FindClose(h);
  // FILETIME counts 100 ns steps since 1601; the identity wants seconds
  // since 1970, cut to 32 bits.
  ULARGE_INTEGER t;
  t.LowPart = found.ftLastWriteTime.dwLowDateTime;
  t.HighPart = found.ftLastWriteTime.dwHighDateTime;
  constexpr unsigned long long Epoch1970 = 116444736000000000ULL;
  unsigned long long ticks = t.QuadPart > Epoch1970 ? t.QuadPart - Epoch1970 : 0;
  *seconds = static_cast<uint32_t>(ticks / 10000000ULL);
  return 1;
}
