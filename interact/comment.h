// "Send a comment or tip to the Velmor server": one request 10, then the
// comment as a block headed by the client's identity.
#pragma once
#include "interact/dialog_shell.h"

// The comment field's limit, and how much of it is sent.
constexpr int CommentFieldMax = 5000;
constexpr int CommentReadMax = 4999;

// text as read from the field. 1 when the comment was delivered, else 0 (the
// dialog then stays open with the text).
int SendComment(WindowRef dialog, const char* text);
