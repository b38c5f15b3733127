#include "tests/interact/dialog_shell_stub.h"

std::vector<DialogEvent>& DialogEvents() {
  static std::vector<DialogEvent> events;
  return events;
}

void ShowTransferMessageFor(const char* text, WindowRef owner) {
  DialogEvents().push_back({text ? std::string("open ") + text : std::string("close"), owner});
}

void UserMessageFor(const char* text, WindowRef owner) { DialogEvents().push_back({std::string("box ") + text, owner}); }
