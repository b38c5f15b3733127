// "Ping the Velmor Server": one request 11 and its answer, reported in
// message boxes owned by the dialog that asked.
#pragma once
#include "interact/dialog_shell.h"

void PingServer(WindowRef parent);
