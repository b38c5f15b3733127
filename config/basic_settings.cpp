#include "config/basic_settings.h"

#include "config/config_file.h"
#include "config/identity.h"
#include "config/settings_table.h"
#include "diag/log.h"

char ServerPort[11] = "";
char ServerHost[191] = "";
char PlimSwitch[11] = "";
char ClientIdentity[32] = "";

void LoadBasicSettings(const char* fileName) {
  // While DataDirectory is empty this first read goes to the file in the
  // current directory; every later one to the file in the data directory.
  ReadSetting(Setting::Directory, DataDirectory, sizeof DataDirectory, fileName);
  AddBackslash(DataDirectory, sizeof DataDirectory);
  ReadSetting(Setting::Port, ServerPort, sizeof ServerPort, fileName);
  ReadSetting(Setting::ServerHost, ServerHost, sizeof ServerHost, fileName);
  ReadSetting(Setting::SaveLogToDisk, SaveLogToDisk, sizeof SaveLogToDisk, fileName);
  ReadSetting(Setting::PlimSwitch, PlimSwitch, sizeof PlimSwitch, fileName);
  EstablishClientIdentity(ClientIdentity, sizeof ClientIdentity);
}
