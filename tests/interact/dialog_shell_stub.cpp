#include "tests/interact/dialog_shell_stub.h"

#include "tests/stubs/stubs.h"

std::vector<DialogEvent>& DialogEvents() {
  static std::vector<DialogEvent> events;
  return events;
}

void ShowTransferMessage(const char* text, WindowRef owner) {
  DialogEvents().push_back({text ? std::string("open ") + text : std::string("close"), owner});
}

// Boxes over a dialog are events of the dialog.
const bool RecordsOwnedBoxes = [] {
  OwnedMessageRecorder = [](const char* text, void* owner) {
    DialogEvents().push_back({std::string("box ") + text, owner});
  };
  return true;
}();
