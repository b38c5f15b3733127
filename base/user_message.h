// Seam: showing a message to the user.
//
// The Windows front end implements UserMessage as the program's modal message
// box (owned by the main window, caption the main class name, OK only) and
// returns when the user closed it. Tests link a recording stub instead.
#pragma once

void UserMessage(const char* text);
