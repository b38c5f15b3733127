// Recording stand-ins for the seams of the portable code.
#pragma once
#include <string>
#include <vector>

// Texts passed to UserMessage, oldest first.
std::vector<std::string>& ShownMessages();
// When set, takes the boxes that have an owner instead of ShownMessages.
extern void (*OwnedMessageRecorder)(const char* text, void* owner);
// Lines passed to ActivityListAdd, oldest first.
std::vector<std::string>& ActivityLines();
