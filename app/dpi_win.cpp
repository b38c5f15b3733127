#include "app/dpi_win.h"

namespace {

// The per-monitor calls exist from Windows 10 (1607) on: looked up once.
struct DpiCalls {
  UINT(WINAPI* dpiForWindow)(HWND) = nullptr;
  int(WINAPI* metricForDpi)(int, UINT) = nullptr;
  BOOL(WINAPI* adjustForDpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
  DpiCalls() {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (!user32) return;
    Find(user32, "GetDpiForWindow", dpiForWindow);
    Find(user32, "GetSystemMetricsForDpi", metricForDpi);
    Find(user32, "AdjustWindowRectExForDpi", adjustForDpi);
  }
  template <typename Fn>
  static void Find(HMODULE module, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
};

const DpiCalls& Calls() {
  static const DpiCalls calls;
  return calls;
}

int SystemDpi() {
  static const int dpi = [] {
    int value = 96;
    if (HDC screen = GetDC(nullptr)) {
      value = GetDeviceCaps(screen, LOGPIXELSY);
      ReleaseDC(nullptr, screen);
    }
    return value > 0 ? value : 96;
  }();
  return dpi;
}

}  // namespace

int WindowDpi(HWND window) {
  if (window && Calls().dpiForWindow) {
    const UINT dpi = Calls().dpiForWindow(window);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  return SystemDpi();
}

int SystemMetricForDpi(int index, int dpi) {
  if (Calls().metricForDpi) return Calls().metricForDpi(index, static_cast<UINT>(dpi));
  return GetSystemMetrics(index);
}

int FrameHeightForDpi(DWORD style, DWORD exStyle, int dpi) {
  RECT r{0, 0, 100, 100};
  const BOOL done = Calls().adjustForDpi ? Calls().adjustForDpi(&r, style, FALSE, exStyle, static_cast<UINT>(dpi))
                                         : AdjustWindowRectEx(&r, style, FALSE, exStyle);
  return done ? (r.bottom - r.top) - 100 : 0;
}
