// Test stand-in for the message box: records every text.
#include "tests/stubs/stubs.h"

#include "base/user_message.h"

std::vector<std::string>& ShownMessages() {
  static std::vector<std::string> messages;
  return messages;
}

void (*OwnedMessageRecorder)(const char* text, void* owner) = nullptr;

void UserMessage(const char* text, WindowRef owner) {
  if (owner && OwnedMessageRecorder) {
    OwnedMessageRecorder(text, owner);
    return;
  }
  ShownMessages().emplace_back(text ? text : "");
}
