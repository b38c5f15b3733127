// Recording stand-in for interact/dialog_shell.h.
#pragma once
#include <string>
#include <vector>

#include "interact/dialog_shell.h"

struct DialogEvent {
  std::string what;  // "open <text>", "close" or "box <text>"
  WindowRef owner;
};

std::vector<DialogEvent>& DialogEvents();
