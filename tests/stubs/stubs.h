// Recording stand-ins for the seams of the portable code.
#pragma once
#include <string>
#include <vector>

// Texts passed to UserMessage, oldest first.
std::vector<std::string>& ShownMessages();
// Lines passed to ActivityListAdd, oldest first.
std::vector<std::string>& ActivityLines();
