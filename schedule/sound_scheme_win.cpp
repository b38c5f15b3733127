// The user's sound scheme: every event of every application under
// HKCU "AppEvents\Schemes\Apps", in the registry's enumeration order, becomes
// a row of the item table (the joining of names and the limits are
// AddSoundEventRow's).
#include <windows.h>

#include "schedule/item_table.h"

void AddSoundEventItems() {
  HKEY root;
  if (RegOpenKeyA(HKEY_CURRENT_USER, SoundSchemeRoot, &root) != ERROR_SUCCESS) return;
  bool more = true;
  char application[100];
  // A name that does not fit the buffer ends the enumeration like any other
  // failure of it.
  for (DWORD i = 0; more && RegEnumKeyA(root, i, application, sizeof application) == ERROR_SUCCESS; ++i) {
    HKEY applicationKey;
    if (RegOpenKeyA(root, application, &applicationKey) != ERROR_SUCCESS) continue;
    char event[100];
    for (DWORD j = 0; more && RegEnumKeyA(applicationKey, j, event, sizeof event) == ERROR_SUCCESS; ++j)
      more = AddSoundEventRow(application, event);
    RegCloseKey(applicationKey);
  }
  RegCloseKey(root);
}
