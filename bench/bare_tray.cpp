// The baseline of the shell benchmark: the least a window-and-tray program
// does. One class, one shown window, one tray icon, a message loop; on close
// the icon goes and the process ends.
//
// Built a second time with BARE_THEMED: the same program with the client's
// application manifest, common controls 6 and two standard controls (a
// multi-line edit and a label) in its window. The difference between the
// two is what the manifest and visual styles cost on this system.
#include <windows.h>
#include <shellapi.h>
#ifdef BARE_THEMED
#include <commctrl.h>
#endif

namespace {

LRESULT CALLBACK BareProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#ifdef BARE_THEMED
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
#endif
  WNDCLASSA wc{};
  wc.lpfnWndProc = BareProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = "BareTray";
  RegisterClassA(&wc);
  HWND w = CreateWindowA("BareTray", "BareTray", WS_OVERLAPPEDWINDOW, 80, 137, 456, 211, nullptr,
                         nullptr, instance, nullptr);
#ifdef BARE_THEMED
  CreateWindowA("EDIT", "Text", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE, 0, 0, 440, 120, w,
                nullptr, instance, nullptr);
  CreateWindowA("STATIC", "Label", WS_CHILD | WS_VISIBLE, 0, 130, 440, 20, w, nullptr, instance, nullptr);
#endif
  ShowWindow(w, SW_SHOW);

  NOTIFYICONDATAA nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = w;
  nid.uID = 444;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = WM_USER + 42;
  nid.hIcon = wc.hIcon;
  lstrcpyA(nid.szTip, "Bare");
  Shell_NotifyIconA(NIM_ADD, &nid);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  Shell_NotifyIconA(NIM_DELETE, &nid);
  return 0;
}
