#include "config/basic_settings.h"

#include "config/config_file.h"
#include "config/identity.h"
#include "diag/log.h"

char ServerPort[11] = "";
char ServerHost[191] = "";
char PlimSwitch[11] = "";
char ClientIdentity[32] = "";

void LoadBasicSettings(const char* fileName) {
  // While DataDirectory is empty this first read goes to the file in the
  // current directory; every later one to the file in the data directory.
  ConfigGetDefault(DataDirectory, sizeof DataDirectory, "Directory", "", fileName);
  AddBackslash(DataDirectory, sizeof DataDirectory);
  ConfigGetDefault(ServerPort, sizeof ServerPort, "Port", "1123", fileName);
  ConfigGetDefault(ServerHost, sizeof ServerHost, "VServerID", DefaultServerHost, fileName);
  ConfigGetDefault(SaveLogToDisk, sizeof SaveLogToDisk, "SaveLogToDisk", "No", fileName);
  ConfigGetDefault(PlimSwitch, sizeof PlimSwitch, "PlimSwitch", "No", fileName);
  EstablishClientIdentity(ClientIdentity, sizeof ClientIdentity);
}
