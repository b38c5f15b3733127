// CONFIGDIALOG: "Configure Velmor". The procedure only routes notifications;
// the numbers and the stored forms are worked out in config_values.cpp.
#include "ui/config_dialog.h"

#include <cstdio>
#include <initializer_list>

#include "config/basic_settings.h"
#include "config/config_file.h"
#include "config/settings_table.h"
#include "diag/log.h"
#include "interact/category_list.h"
#include "interact/dialog_shell.h"
#include "interact/shell_seams_win.h"
#include "interact/category_list_win.h"
#include "interact/ping.h"
#include "res/resource.h"
#include "base/clock.h"
#include "schedule/item_table.h"
#include "schedule/schedule.h"
#include "ui/config_values.h"
#include "ui/configdir.h"
#include "base/user_message.h"
#include "ui/message_box.h"

namespace {

// The combos of the interval and the window, with the number of entries each
// holds (0 to n - 1).
struct NumberCombo {
  int id;
  int entries;
};
constexpr NumberCombo NumberCombos[] = {
    {IDC_CONFIG_DAYS, 366},      {IDC_CONFIG_HOURS, 24},    {IDC_CONFIG_MINUTES, 60},   {IDC_CONFIG_STARTHOUR, 24},
    {IDC_CONFIG_STARTMINUTE, 60}, {IDC_CONFIG_ENDHOUR, 24}, {IDC_CONFIG_ENDMINUTE, 60},
};
constexpr int TimeWindowCombos[] = {IDC_CONFIG_STARTHOUR, IDC_CONFIG_STARTMINUTE, IDC_CONFIG_ENDHOUR,
                                    IDC_CONFIG_ENDMINUTE};
// Written together, in this order: the four combos above, then box 1000.
constexpr const char* TimeWindowPrefixes[] = {StarthPrefix, StartmPrefix, EndhPrefix, EndmPrefix, EnablestPrefix};
// The dialog writes the selection under this spelling (keys compare without
// regard to case, so the schedule's SELECT finds it).
// Raises Initialising for a stretch of filling and puts back what was there
// before, so that nested fills do not end an outer one early.
class FillingControls {
 public:
  FillingControls() : was_(Initialising) { Initialising = 1; }
  ~FillingControls() { Initialising = was_; }

 private:
  int was_;
};

HWND Control(HWND dlg, int id) { return GetDlgItem(dlg, id); }

int SelectedRow(HWND dlg) {
  const LRESULT row = SendDlgItemMessageA(dlg, IDC_CONFIG_ITEMS, LB_GETCURSEL, 0, 0);
  return row == LB_ERR ? -1 : static_cast<int>(row);
}

// The selected row, or -1 after telling the user to pick one.
int RequireRow(HWND dlg) {
  const int row = SelectedRow(dlg);
  if (row < 0) UserMessage(SelectItemFirstText, dlg);
  return row;
}

// The current entry of a number combo; its text is its index. None counts 0.
int ComboValue(HWND dlg, int id) {
  const LRESULT index = SendDlgItemMessageA(dlg, id, CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? 0 : static_cast<int>(index);
}

// Whether the combo shows an entry at all.
bool ComboChosen(HWND dlg, int id) { return SendDlgItemMessageA(dlg, id, CB_GETCURSEL, 0, 0) != CB_ERR; }

// Selects the entry showing value; a value outside the combo's range shows
// no entry at all (never the value of the item shown before), and nothing
// is stored for it until the user chooses one.
void SelectComboValue(HWND dlg, int id, long value) {
  const LRESULT count = SendDlgItemMessageA(dlg, id, CB_GETCOUNT, 0, 0);
  const WPARAM index = value >= 0 && value < count ? static_cast<WPARAM>(value) : static_cast<WPARAM>(-1);
  SendDlgItemMessageA(dlg, id, CB_SETCURSEL, index, 0);
}

void FillNumberCombo(HWND dlg, int id, int n) {
  HWND combo = Control(dlg, id);
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  // The combo passes this on to its list, which otherwise works out its
  // scroll bar and repaint for every entry: about three times the cost of
  // the adds themselves under Wine.
  SendMessageA(combo, WM_SETREDRAW, FALSE, 0);
  SendMessageA(combo, CB_INITSTORAGE, static_cast<WPARAM>(n), static_cast<LPARAM>(n) * 4);
  char text[16];
  for (int i = 0; i < n; ++i) {
    std::snprintf(text, sizeof text, "%d", i);
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  SendMessageA(combo, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(combo, nullptr, TRUE);
}

bool Checked(HWND dlg, int id) { return IsDlgButtonChecked(dlg, id) == BST_CHECKED; }

void EnableTimeWindowControls(HWND dlg) {
  const BOOL on = Checked(dlg, IDC_CONFIG_ENABLESTART) ? TRUE : FALSE;
  for (int id : TimeWindowCombos) EnableWindow(Control(dlg, id), on);
}

// velmor.cfg as read for showing an item: the whole file once (a selection
// reads seven keys, each read a locked open of the file), or, when the file
// cannot be read cleanly, key by key as each read would have, so that every
// failure is reported as often as it would have been.
class ItemSettings {
 public:
  ItemSettings() : whole_(ConfigViewTryLoad(&view_, ConfigFileName) != 0) {}
  ~ItemSettings() { ConfigViewRelease(&view_); }
  ItemSettings(const ItemSettings&) = delete;
  ItemSettings& operator=(const ItemSettings&) = delete;

  // 1 with the value of the row's key when it exists.
  int Get(const char* prefix, int row, char* out, std::size_t size) const {
    char key[ItemKeySize];
    if (!ItemKeyOf(key, sizeof key, prefix, row)) return 0;
    return whole_ ? ConfigViewGet(&view_, out, size, key) : ConfigGet(out, size, key, ConfigFileName);
  }

  // A per-item number; absent (or no digits) is 0.
  long Number(const char* prefix, int row, bool* present = nullptr) const {
    char value[52];
    const int found = Get(prefix, row, value, sizeof value);
    if (present) *present = found != 0;
    return found ? DecimalValue(value) : 0;
  }

 private:
  ConfigView view_;
  bool whole_;
};

void SetItemValue(const char* prefix, int row, const char* value) {
  char key[ItemKeySize];
  if (ItemKeyOf(key, sizeof key, prefix, row)) ConfigSet(key, value, ConfigFileName);
}

void RestoreItemSelection(HWND dlg, int row, const ItemSettings& settings) {
  char stored[500];
  if (!settings.Get(SelectDialogPrefix, row, stored, sizeof stored)) return;
  FillingControls filling;
  HWND list = Control(dlg, IDC_CONFIG_CATEGORIES);
  const long count = static_cast<long>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  SendMessageA(list, LB_SETSEL, FALSE, -1);
  const char* cursor = stored;
  long position = 0;
  while (NextSelectedPosition(&cursor, &position)) {
    if (position < count) SendMessageA(list, LB_SETSEL, TRUE, static_cast<LPARAM>(position));
  }
}

void SaveItemSelection(HWND dlg, int row) {
  HWND list = Control(dlg, IDC_CONFIG_CATEGORIES);
  if (Initialising || SendMessageA(list, LB_GETCOUNT, 0, 0) <= 0) return;
  int positions[SelectionPositionsMax];
  LRESULT n = SendMessageA(list, LB_GETSELITEMS, SelectionPositionsMax, reinterpret_cast<LPARAM>(positions));
  if (n == LB_ERR) n = 0;
  char text[SelectionTextMax + 1];
  const bool tooMany = SendMessageA(list, LB_GETSELCOUNT, 0, 0) > SelectionPositionsMax;
  if (tooMany || !FormatSelection(positions, static_cast<int>(n), text, sizeof text)) {
    // A cut list would name other categories than the chosen ones: keep
    // the stored selection and show it again.
    UserMessage(SelectionTooLongText, dlg);
    RestoreItemSelection(dlg, row, ItemSettings());
    return;
  }
  SetItemValue(SelectDialogPrefix, row, text);
}

void SaveItemInterval(HWND dlg) {
  const int row = SelectedRow(dlg);
  if (Initialising || row < 0) return;
  // A stored interval that a combo cannot show stays as it is until the
  // user has chosen every part.
  for (int id : {IDC_CONFIG_DAYS, IDC_CONFIG_HOURS, IDC_CONFIG_MINUTES})
    if (!ComboChosen(dlg, id)) return;
  const long days = ComboValue(dlg, IDC_CONFIG_DAYS);
  const long hours = ComboValue(dlg, IDC_CONFIG_HOURS);
  const long minutes = FlooredMinutes(days, hours, ComboValue(dlg, IDC_CONFIG_MINUTES));
  char text[32];
  JoinInterval(days, hours, minutes, text, sizeof text);
  SetItemValue(IntervalPrefix, row, text);
}

void SaveItemTimeWindow(HWND dlg) {
  const int row = SelectedRow(dlg);
  if (Initialising || row < 0) return;
  int values[5];
  bool shown[5] = {true, true, true, true, true};
  for (int i = 0; i < 4; ++i) {
    values[i] = ComboValue(dlg, TimeWindowCombos[i]);
    shown[i] = ComboChosen(dlg, TimeWindowCombos[i]);
  }
  values[4] = Checked(dlg, IDC_CONFIG_ENABLESTART) ? 1 : 0;
  char text[16];
  for (int i = 0; i < 5; ++i) {
    // A stored value that its combo cannot show stays as it is.
    if (!shown[i]) continue;
    std::snprintf(text, sizeof text, "%d", values[i]);
    SetItemValue(TimeWindowPrefixes[i], row, text);
  }
}

void LoadItemSettings(HWND dlg) {
  const int row = SelectedRow(dlg);
  if (row < 0) return;
  // The fetch below takes the focus away to its transfer message; a control
  // that loses it meanwhile must not store the other item's values.
  FillingControls filling;
  FillCategoryListBox(dlg, Control(dlg, IDC_CONFIG_CATEGORIES), ItemTable[row].type);
  // Read after the fill: a fetch lets other handlers run meanwhile.
  const ItemSettings settings;
  RestoreItemSelection(dlg, row, settings);

  bool present = false;
  const long interval = settings.Number(IntervalPrefix, row, &present);
  const IntervalParts parts = present ? SplitInterval(interval) : IntervalParts{1, 0, 0};
  long window[5];
  for (int i = 0; i < 5; ++i) window[i] = settings.Number(TimeWindowPrefixes[i], row);

  SelectComboValue(dlg, IDC_CONFIG_DAYS, parts.days);
  SelectComboValue(dlg, IDC_CONFIG_HOURS, parts.hours);
  SelectComboValue(dlg, IDC_CONFIG_MINUTES, parts.minutes);
  for (int i = 0; i < 4; ++i) SelectComboValue(dlg, TimeWindowCombos[i], window[i]);
  CheckDlgButton(dlg, IDC_CONFIG_ENABLESTART, window[4] != 0 ? BST_CHECKED : BST_UNCHECKED);
  EnableTimeWindowControls(dlg);
}

void SaveSwitch(HWND dlg, int id, char* value, std::size_t size, Setting setting) {
  std::snprintf(value, size, "%s", Checked(dlg, id) ? "Yes" : "No");
  WriteSetting(setting, value);
}

// The host and port are read into the settings the transport uses, cut to
// their buffers (which the edits' limits match), and written under the
// dialog's own upper-case spellings of their keys (keys compare without
// regard to case, so the settings table's VServerID and Port read them).
void SaveServerField(HWND dlg, int id, char* setting, int size, const char* key) {
  GetDlgItemTextA(dlg, id, setting, size);
  ConfigSet(key, setting, ConfigFileName);
}

void TriggerItem(HWND dlg, int row) {
  ShowTransferMessage(TriggerWaitText, dlg);
  if (ItemTable[row].update) ItemTable[row].update(row);
  ShowTransferMessage(nullptr, dlg);
}

void OpenDialog(HWND dlg) {
  FillingControls filling;
  HWND items = Control(dlg, IDC_CONFIG_ITEMS);
  const int rows = ItemCount();
  SendMessageA(items, WM_SETREDRAW, FALSE, 0);
  SendMessageA(items, LB_INITSTORAGE, static_cast<WPARAM>(rows), static_cast<LPARAM>(rows) * 32);
  for (int row = 0; row < rows; ++row) {
    SendMessageA(items, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(ItemTable[row].displayName));
  }
  SendMessageA(items, WM_SETREDRAW, TRUE, 0);
  SendDlgItemMessageA(dlg, IDC_CONFIG_HOST, EM_LIMITTEXT, sizeof ServerHost - 1, 0);
  SendDlgItemMessageA(dlg, IDC_CONFIG_PORT, EM_LIMITTEXT, sizeof ServerPort - 1, 0);
  CheckDlgButton(dlg, IDC_CONFIG_PLIMSWITCH, IsYes(PlimSwitch) ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, IDC_CONFIG_SAVELOG, IsYes(SaveLogToDisk) ? BST_CHECKED : BST_UNCHECKED);
  SetDlgItemTextA(dlg, IDC_CONFIG_HOST, ServerHost);
  SetDlgItemTextA(dlg, IDC_CONFIG_PORT, ServerPort);
  for (const NumberCombo& c : NumberCombos) FillNumberCombo(dlg, c.id, c.entries);
  EnableTimeWindowControls(dlg);
}

void OnCommand(HWND dlg, int id, int code) {
  switch (id) {
    case IDC_CONFIG_ITEMS:
      if (code == LBN_SELCHANGE) LoadItemSettings(dlg);
      return;
    case IDC_CONFIG_CATEGORIES:
      if (code == LBN_KILLFOCUS) {
        const int row = RequireRow(dlg);
        if (row >= 0) SaveItemSelection(dlg, row);
      }
      return;
    case IDC_CONFIG_HOST:
      if (code == EN_KILLFOCUS) SaveServerField(dlg, id, ServerHost, sizeof ServerHost, SettingOf(Setting::ServerHost).dialogKey);
      return;
    case IDC_CONFIG_PORT:
      if (code == EN_KILLFOCUS) SaveServerField(dlg, id, ServerPort, sizeof ServerPort, SettingOf(Setting::Port).dialogKey);
      return;
    case IDC_CONFIG_DAYS:
    case IDC_CONFIG_HOURS:
    case IDC_CONFIG_MINUTES:
      if (code == CBN_KILLFOCUS) SaveItemInterval(dlg);
      return;
    case IDC_CONFIG_STARTHOUR:
    case IDC_CONFIG_STARTMINUTE:
    case IDC_CONFIG_ENDHOUR:
    case IDC_CONFIG_ENDMINUTE:
      if (code == CBN_KILLFOCUS) SaveItemTimeWindow(dlg);
      return;
  }
  if (code != BN_CLICKED) return;
  switch (id) {
    case IDC_CONFIG_ENABLESTART:
      EnableTimeWindowControls(dlg);
      SaveItemTimeWindow(dlg);
      return;
    case IDC_CONFIG_PLIMSWITCH:
      SaveSwitch(dlg, id, PlimSwitch, sizeof PlimSwitch, Setting::PlimSwitch);
      return;
    case IDC_CONFIG_SAVELOG:
      SaveSwitch(dlg, id, SaveLogToDisk, sizeof SaveLogToDisk, Setting::SaveLogToDisk);
      return;
    case IDC_CONFIG_REFRESH: {
      const int row = RequireRow(dlg);
      if (row < 0) return;
      DiscardCategoryList(ItemTable[row].type);
      LoadItemSettings(dlg);
      return;
    }
    case IDC_CONFIG_PING:
      PingServer(dlg);
      return;
    case IDC_CONFIG_SETDIR:
      RunConfigDirDialog(dlg);
      return;
    case IDC_CONFIG_RESETTIMER: {
      const int row = RequireRow(dlg);
      if (row >= 0) RecordRun(row, MinuteNow());
      return;
    }
    case IDC_CONFIG_TRIGGER: {
      const int row = RequireRow(dlg);
      if (row >= 0) TriggerItem(dlg, row);
      return;
    }
    case IDC_CONFIG_CLOSE:
      EndDialog(dlg, 1);
      return;
  }
}

INT_PTR CALLBACK ConfigDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      OpenDialog(dlg);
      return TRUE;  // the dialog manager sets the first focus
    case WM_COMMAND:
      // Escape arrives as IDCANCEL and matches no control: the dialog ends
      // only through Close.
      OnCommand(dlg, LOWORD(wp), HIWORD(wp));
      return TRUE;
  }
  return FALSE;
}

}  // namespace

void RunConfigureDialog(HWND owner) {
  DialogBoxParamA(GetModuleHandleA(nullptr), IDD_CONFIGDIALOG, owner, ConfigDialogProc, 0);
}
