// The process-wide data directory, for tests that link the logs without the
// configuration store.
#include "config/config_file.h"

char DataDirectory[100] = "";
