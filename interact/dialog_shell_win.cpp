// The transfer message pop-up: "Velmor Transfer Message" with the text and
// a Cancel Transfer button, owned by the dialog that started the exchange.
#include "interact/dialog_shell_win.h"

#include <cstring>

#include "net/transport.h"
#include "net/transport_hooks.h"

namespace {

TransferMessageShell Host;
HWND TransferMessage = nullptr;

}  // namespace

void SetTransferMessageShell(const TransferMessageShell& shell) { Host = shell; }

HWND TransferMessageWindow() { return TransferMessage; }

void ShowTransferMessage(const char* text, WindowRef ownerRef) {
  HWND owner = static_cast<HWND>(ownerRef);
  if (owner) {
    EnableWindow(owner, TRUE);
    SetFocus(owner);
  }
  if (TransferMessage) {
    HWND old = TransferMessage;
    TransferMessage = nullptr;
    DestroyWindow(old);
  }
  if (!text) return;

  constexpr DWORD popupStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION;
  HWND popup = CreateWindowA(Host.className, TransferMessageCaption, popupStyle, 0, 0, 10, 10, nullptr,
                             nullptr, Host.instance(), nullptr);
  TransferMessage = popup;
  HWND label = CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE | SS_SIMPLE, 0, 0, 0, 0, popup,
                             nullptr, Host.instance(), nullptr);
  SetWindowTextA(label, text);
  Host.applySmallFont(label);

  // Measured in a fresh context of the label, which carries the default
  // font, not SmallFont: the pop-up comes out a little wider than the text.
  SIZE extent{};
  if (HDC dc = GetDC(label)) {
    GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &extent);
    ReleaseDC(label, dc);
  }
  const int cx = extent.cx;

  // Lengths for the DPI of the pop-up's monitor, its height from the
  // system's caption and borders there.
  RECT r{}, t{}, b{};
  Host.layout(popup, popupStyle, cx, &r, &t, &b);
  SetWindowPos(popup, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(popup, SW_SHOW);

  SetWindowPos(label, nullptr, t.left, t.top, t.right - t.left, t.bottom - t.top, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(label, SW_SHOW);

  HWND button = CreateWindowA("BUTTON", CancelTransferText, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, b.left,
                              b.top, b.right - b.left, b.bottom - b.top, popup,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(CancelTransferButtonId)),
                              Host.instance(), nullptr);
  Host.applySmallFont(button);
  Host.applySmallFont(popup);

  SetFocus(popup);
  if (owner) EnableWindow(owner, FALSE);
}

LRESULT CALLBACK TransferMessageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_QUIT:
      CancelTransfer = 1;
      break;
    case WM_COMMAND:
      if (LookupInProgress == 1) {
        // The lookup blocks inside the sockets library; cancelling it makes
        // the lookup fail, and the transport reports that. The transfer
        // itself is not cancelled.
        if (CancelBlockingLookup) CancelBlockingLookup();
        LookupInProgress = 0;
      } else if (LOWORD(wp) == CancelTransferButtonId) {
        CancelTransfer = 1;
      }
      break;
    case WM_NCDESTROY:
      if (hwnd == TransferMessage) TransferMessage = nullptr;
      break;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}
