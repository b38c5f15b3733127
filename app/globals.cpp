#include "app/globals.h"

HINSTANCE AppInstance = nullptr;
bool TransferInstance = false;
bool StartHidden = false;
bool Quiet = false;
char MainClassName[16] = "VelmorW";
HWND OwnerWindow = nullptr;
HWND MainWindow = nullptr;
HICON IconFrames[IDI_FRAME_COUNT] = {};
HFONT SmallFont = nullptr;
HMENU EditPopupMenu = nullptr;
HMENU CommentPopupMenu = nullptr;
int TrayIconId = TrayIconNormal;

volatile int Initialising = 0;
