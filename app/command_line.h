// The switches of the command line.
//
// Each switch is a substring searched for anywhere in the argument text,
// case-sensitively and independently of the others, so "/n" inside a longer
// word or a path counts too.
#pragma once
#include "interact/donate_transfer.h" // TransferMarkerArgument

struct CommandLineSwitches {
  bool startHidden = false; // "/N", "/n", "/M", "/m"
  bool quiet = false;       // "/Q", "/q"
  bool transfer = false;    // TransferMarkerArgument
};

// A null or empty text sets nothing.
CommandLineSwitches ScanCommandLine(const char* arguments);
