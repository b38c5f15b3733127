// The switches of the command line.
//
// Each switch is a substring searched for anywhere in the argument text,
// case-sensitively and independently of the others, so "/n" inside a longer
// word or a path counts too.
#pragma once

// The argument that makes a process the transfer instance. The donate dialog
// passes it, alone, when it starts that instance. It holds none of "/N",
// "/n", "/M", "/m", "/Q", "/q", so the transfer instance is neither hidden
// nor quiet because of its own marker.
constexpr const char* TransferMarkerArgument = "-velmor-transfer-instance";

struct CommandLineSwitches {
  bool startHidden = false; // "/N", "/n", "/M", "/m"
  bool quiet = false;       // "/Q", "/q"
  bool transfer = false;    // TransferMarkerArgument
};

// A null or empty text sets nothing.
CommandLineSwitches ScanCommandLine(const char* arguments);
