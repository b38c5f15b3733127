// The baseline of the shell benchmark: the least a window-and-tray program
// does. One class, one shown window, one tray icon, a message loop; on close
// the icon goes and the process ends.
#include <windows.h>
#include <shellapi.h>

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
