#include "app/command_line.h"

#include <cstring>

namespace {

bool Holds(const char* text, const char* part) { return std::strstr(text, part) != nullptr; }

}  // namespace

CommandLineSwitches ScanCommandLine(const char* arguments) {
  CommandLineSwitches s;
  if (!arguments || !*arguments) return s;
  s.startHidden = Holds(arguments, "/N") || Holds(arguments, "/n") || Holds(arguments, "/M") ||
                  Holds(arguments, "/m");
  s.quiet = Holds(arguments, "/Q") || Holds(arguments, "/q");
  s.transfer = Holds(arguments, TransferMarkerArgument);
  return s;
}
