// Test stand-in for the message box: records every text.
#include "tests/stubs/stubs.h"

#include "base/user_message.h"

std::vector<std::string>& ShownMessages() {
  static std::vector<std::string> messages;
  return messages;
}

void UserMessage(const char* text) { ShownMessages().emplace_back(text ? text : ""); }
