// Start-up and shutdown.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "app/command_line.h"
#include "app/display_batch.h"
#include "app/dpi_win.h"
#include "app/globals.h"
#include "app/main_window.h"
#include "ui/message_box.h"
#include "app/shell_text.h"
#include "app/status.h"
#include "base/text_encoding.h"
#include "config/basic_settings.h"
#include "base/guarded.h"
#include "config/config_file.h"
#include "content/desktop.h"
#include "content/media_update.h"
#include "content/text_fetch.h"
#include "content/text_pane.h"
#include "diag/log.h"
#include "interact/donate_transfer.h"
#include "net/socket_layer.h"
#include "net/transport_hooks.h"
#include "res/resource.h"
#include "schedule/item_table.h"
#include "schedule/schedule.h"
#include "ui/configdir.h"

namespace {

void RegisterShellClasses() {
  WNDCLASSA main{};
  main.lpfnWndProc = MainWindowProc;
  main.hInstance = Shell.AppInstance;
  main.hIcon = LoadIconA(Shell.AppInstance, IDI_MAINICON);
  main.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  main.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  main.lpszMenuName = Shell.TransferInstance ? nullptr : IDR_MAINMENU;
  main.lpszClassName = Shell.MainClassName;
  RegisterClassA(&main);

  WNDCLASSA message = main;
  message.lpfnWndProc = TransferMessageProc;
  message.lpszMenuName = nullptr;
  message.lpszClassName = MessageWindowClassName;
  RegisterClassA(&message);
}

// The notification area's icons are small icons: at the DPI's size, drawn
// from the 32 x 32 images rather than stretched by the notification area.
void LoadIconFrames(int dpi) {
  const int cx = SystemMetricForDpi(SM_CXSMICON, dpi), cy = SystemMetricForDpi(SM_CYSMICON, dpi);
  for (int k = 0; k < IDI_FRAME_COUNT; ++k) {
    // The transfer instance's frames are all one icon.
    if (Shell.TransferInstance && k > 0) {
      Shell.IconFrames[k] = Shell.IconFrames[0];
      continue;
    }
    char name[16];
    std::snprintf(name, sizeof name, IDI_FRAME_FORMAT, k);
    Shell.IconFrames[k] = static_cast<HICON>(LoadImageA(Shell.AppInstance, Shell.TransferInstance ? IDI_T1 : name,
                                                        IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
  }
}

void DestroyIconFrames() {
  HICON* frames = Shell.IconFrames;
  for (int k = 0; k < IDI_FRAME_COUNT; ++k) {
    if (frames[k] && (k == 0 || frames[k] != frames[k - 1])) DestroyIcon(frames[k]);
  }
  for (int k = 0; k < IDI_FRAME_COUNT; ++k) frames[k] = nullptr;
}

void PlayResourceSound(const char* name) { CallPlaySound(name, Shell.AppInstance, SND_RESOURCE | SND_SYNC); }

// Started from the log-on entry, the program runs in whatever directory the
// system gives it, while an installed copy keeps its velmor.cfg beside the
// program. With no velmor.cfg in the current directory and one there, the
// program's folder becomes the current directory.
void UseProgramFolderSettings() {
  if (GetFileAttributesA(ConfigFileName) != INVALID_FILE_ATTRIBUTES) return;
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  char* slash = length > 0 && length < sizeof path ? std::strrchr(path, '\\') : nullptr;
  if (!slash || std::strlen(ConfigFileName) >= sizeof path - static_cast<size_t>(slash + 1 - path)) return;
  std::strcpy(slash + 1, ConfigFileName);
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return;
  slash[1] = '\0';
  SetCurrentDirectoryA(path);
}

}  // namespace

void InstallTransportHooks() {
  ShellHooks.mainWindow = [] { return Shell.MainWindow; };
  ShellHooks.transferRole = [] { return Shell.TransferInstance; };
  ShellHooks.showTransferMessage = ShowTransferMessage;
  InstallStatusSeams();
}

namespace {

// Settings that found velmor.cfg held by another program are written from
// a timer of this thread, which runs in every message loop (dialogs
// included), so nothing waits for the file in the meantime.
constexpr UINT ConfigRetryPeriod = 500;
UINT_PTR configRetryTimer = 0;

void CALLBACK RetryConfigWrites(HWND, UINT, UINT_PTR, DWORD) { ConfigRetryPending(); }

void ArrangeConfigRetries(bool waiting) {
  if (waiting && !configRetryTimer) {
    configRetryTimer = SetTimer(nullptr, 0, ConfigRetryPeriod, RetryConfigWrites);
  } else if (!waiting && configRetryTimer) {
    KillTimer(nullptr, configRetryTimer);
    configRetryTimer = 0;
  }
}

}  // namespace

void AppStartup(HINSTANCE instance, const char* commandLine) {
  Shell.AppInstance = instance;
  InstallTransportHooks();
  ConfigRetryLater = ArrangeConfigRetries;
  std::snprintf(LogBaseName, sizeof LogBaseName, "%s", NormalClassName);

  UseSystemLegacyCodePage();
  UseProgramFolderSettings();
  // Start-up reads its dozen settings from one reading of velmor.cfg (each
  // read of its own opens, locks and reads the file).
  ConfigReadBatchBegin();
  LoadBasicSettings(ConfigFileName);

  if (!DirectoryExists(DataDirectory)) {
    // The user may take minutes over the dialog: what follows reads afresh.
    ConfigReadBatchEnd();
    RunConfigDirDialog(nullptr);
    ConfigReadBatchBegin();
  }

  const CommandLineSwitches switches = ScanCommandLine(commandLine);
  Shell.TransferInstance = switches.transfer;
  Shell.StartHidden = switches.startHidden;
  Shell.Quiet = switches.quiet;

  std::snprintf(Shell.MainClassName, sizeof Shell.MainClassName, "%s",
                Shell.TransferInstance ? TransferClassName : NormalClassName);
  Shell.TrayIconId = Shell.TransferInstance ? TrayIconTransfer : TrayIconNormal;
  // Common controls 6 (the manifest) for the standard controls' visual style.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  RegisterShellClasses();

  Shell.CommentPopupMenu = LoadMenuA(Shell.AppInstance, IDR_COMMENTPOPUP);
  Shell.EditPopupMenu = LoadMenuA(Shell.AppInstance, IDR_EDITPOPUP);
  const int dpi = WindowDpi(nullptr);
  CreateSmallFont(dpi);


  if (!Shell.TransferInstance && !Shell.Quiet) PlayResourceSound(IDR_STARTWAVE);
  SetItemUpdates(QuoteUpdate, BackgroundUpdate, SoundUpdate);
  if (!Shell.TransferInstance) AddSoundEventItems();

  LoadIconFrames(dpi);

  Shell.OwnerWindow = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, Shell.AppInstance,
                              nullptr);
  Shell.MainWindow = CreateMainWindow(Shell.OwnerWindow, dpi);
  if (Shell.TransferInstance && Shell.MainWindow)
    SetPropA(Shell.MainWindow, TransferInstanceProperty, reinterpret_cast<HANDLE>(1));
  ApplySmallFont(Shell.MainWindow);
  CreateMainChildren();
  if (!Shell.TransferInstance) SubclassTextPane();
  TextPaneSetText(AboutPaneText);

  Initialising = 1;
  ShowMainWindow();
  ListenForTaskbar();
  AddTrayIcon();
  // The program ends at once when memory runs out: the icon must not stay.
  OutOfMemoryCleanup = DeleteTrayIcon;
  TrailerPaceStart();
  TrailerShow();
  Initialising = 0;
  ConfigReadBatchEnd();
}

int AppRun() {
  if (Shell.TransferInstance) {
    RunDonateTransfer();
    FlushDisplay();
    return 0;
  }
  if (Shell.StartHidden) ShowWindow(Shell.MainWindow, SW_HIDE);
  SetTimer(Shell.MainWindow, ScheduleTimerId, ScheduleTimerPeriod, nullptr);
  MSG msg{};
  for (;;) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got == -1) return 0;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void AppShutdown() {
  // A last try for settings still waiting for velmor.cfg.
  ConfigRetryPending();
  ArrangeConfigRetries(false);
  ConfigRetryLater = nullptr;
  if (!Shell.TransferInstance && !Shell.Quiet) PlayResourceSound(IDR_ENDWAVE);
  OutOfMemoryCleanup = nullptr;
  DeleteTrayIcon();

  ReleaseSoundEventItems();
  // The owner window goes with the resources; in the transfer instance its
  // main window, still open, goes with it, and the classes can be
  // unregistered.
  if (Shell.OwnerWindow) DestroyWindow(Shell.OwnerWindow);
  Shell.OwnerWindow = nullptr;
  UnregisterClassA(Shell.MainClassName, Shell.AppInstance);
  UnregisterClassA(MessageWindowClassName, Shell.AppInstance);
  if (Shell.CommentPopupMenu) DestroyMenu(Shell.CommentPopupMenu);
  if (Shell.EditPopupMenu) DestroyMenu(Shell.EditPopupMenu);
  Shell.CommentPopupMenu = Shell.EditPopupMenu = nullptr;
  if (Shell.SmallFont) DeleteObject(Shell.SmallFont);
  Shell.SmallFont = nullptr;
  DestroyIconFrames();

  UnloadSocketLibrary();
}

int AppMain(HINSTANCE instance, const char* commandLine) {
  AppStartup(instance, commandLine);
  const int code = AppRun();
  AppShutdown();
  return code;
}
