// Test stand-in for the status-line label: records what it was asked to show.
#pragma once
#include <string>
#include <vector>

// Texts shown, oldest first; "<none>" for a removed label.
std::vector<std::string>& StatusLineLabels();
