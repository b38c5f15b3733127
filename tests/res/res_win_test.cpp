// The compiled resources as the program sees them: menus loaded by name,
// dialogs created from their templates, icons, sounds and version
// information, all read back through the Windows loader (under Wine).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

HINSTANCE Self() { return GetModuleHandleA(nullptr); }

// ---- menus ------------------------------------------------------------------

struct Item {
  UINT id;
  const char* text;
};

std::string MenuText(HMENU menu, int pos) {
  char buf[200] = {};
  GetMenuStringA(menu, pos, buf, sizeof buf, MF_BYPOSITION);
  return buf;
}

// Items in order, with their ids and texts; plain items only.
void ExpectItems(HMENU menu, const std::vector<Item>& items) {
  ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(items.size()));
  for (size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(items[i].text);
    EXPECT_EQ(GetMenuItemID(menu, static_cast<int>(i)), items[i].id);
    EXPECT_EQ(MenuText(menu, static_cast<int>(i)), items[i].text);
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU;
    ASSERT_TRUE(GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info));
    EXPECT_EQ(info.fType & MFT_SEPARATOR, 0u);
    EXPECT_EQ(info.fState & (MFS_CHECKED | MFS_DISABLED | MFS_GRAYED), 0u);
    EXPECT_EQ(info.hSubMenu, nullptr);
  }
}

TEST(ResMenus, MainMenuHasThreeMenusWithTheirCommands) {
  HMENU menu = LoadMenuA(Self(), IDR_MAINMENU);
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(GetMenuItemCount(menu), 3);
  EXPECT_EQ(MenuText(menu, 0), "&File");
  EXPECT_EQ(MenuText(menu, 1), "&Interaction");
  EXPECT_EQ(MenuText(menu, 2), "&Help");
  ExpectItems(GetSubMenu(menu, 0), {{503, "&Configure Velmor"}, {502, "E&xit"}});
  ExpectItems(GetSubMenu(menu, 1), {{505, "&Donate files to the Velmor server"},
                                    {506, "&Add a category to the Velmor server"},
                                    {507, "&Send a comment or tip to the Velmor server"}});
  ExpectItems(GetSubMenu(menu, 2), {{509, "&Get news from the Velmor server"},
                                    {510, "&Get tips from the Velmor server"},
                                    {501, "&About"}});
  DestroyMenu(menu);
}

TEST(ResMenus, ContextMenusKeepTheirItemsInTheFirstSubMenu) {
  HMENU edit = LoadMenuA(Self(), IDR_EDITPOPUP);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(GetMenuItemCount(edit), 1);
  ExpectItems(GetSubMenu(edit, 0), {{500, "&Copy Text"}, {504, "&Get New Quote"}});
  DestroyMenu(edit);

  HMENU comment = LoadMenuA(Self(), IDR_COMMENTPOPUP);
  ASSERT_NE(comment, nullptr);
  EXPECT_EQ(GetMenuItemCount(comment), 1);
  ExpectItems(GetSubMenu(comment, 0),
              {{500, "&Copy to clipboard"}, {511, "Cu&t to clipboard"}, {512, "&Paste from clipboard"}});
  DestroyMenu(comment);
}

TEST(ResMenus, NamesAreFoundWhateverTheirCase) {
  for (const char* name : {"MAINMENU", "EditPopup", "COMMENTPOPUP"}) {
    HMENU m = LoadMenuA(Self(), name);
    EXPECT_NE(m, nullptr) << name;
    if (m) DestroyMenu(m);
  }
}

// ---- dialogs ------------------------------------------------------------------

INT_PTR CALLBACK Passive(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Which kind of control, told apart by class and style.
enum Kind {
  Label, HiddenLabel, Push, DefPush, Radio, Check, Edit, MultiEdit, ListSingle, ListSingleNotify, ListMulti,
  ListMultiNotify, DropList
};

struct Control {
  int id;
  Kind kind;
  const char* text;  // nullptr: not checked (lists, combos, edits)
};

struct Template {
  const char* name;
  const char* caption;
  const char* font;
  bool system_menu;
  std::vector<Control> controls;
  std::vector<const char*> labels;  // texts of the labels without an id
};

std::string ClassOf(HWND w) {
  char buf[64] = {};
  GetClassNameA(w, buf, sizeof buf);
  std::string s = buf;
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string TextOf(HWND w) {
  char buf[300] = {};
  GetWindowTextA(w, buf, sizeof buf);
  return buf;
}

void ExpectKind(HWND w, Kind kind) {
  const LONG style = GetWindowLongA(w, GWL_STYLE);
  const std::string cls = ClassOf(w);
  const LONG lbsel = style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL);
  switch (kind) {
    case Label:
    case HiddenLabel:
      EXPECT_EQ(cls, "static");
      break;
    case Push:
    case DefPush:
    case Radio:
    case Check:
      EXPECT_EQ(cls, "button");
      EXPECT_EQ(style & BS_TYPEMASK, kind == Push      ? BS_PUSHBUTTON
                                     : kind == DefPush ? BS_DEFPUSHBUTTON
                                     : kind == Radio   ? BS_AUTORADIOBUTTON
                                                       : BS_AUTOCHECKBOX);
      break;
    case Edit:
      EXPECT_EQ(cls, "edit");
      EXPECT_EQ(style & ES_MULTILINE, 0);
      break;
    case MultiEdit:
      EXPECT_EQ(cls, "edit");
      EXPECT_EQ(style & (ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL), ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL);
      EXPECT_EQ(style & (WS_VSCROLL | WS_HSCROLL), 0);
      break;
    case ListSingle:
    case ListSingleNotify:
      EXPECT_EQ(cls, "listbox");
      EXPECT_EQ(lbsel, 0);
      EXPECT_EQ((style & LBS_NOTIFY) != 0, kind == ListSingleNotify);
      break;
    case ListMulti:
    case ListMultiNotify:
      EXPECT_EQ(cls, "listbox");
      EXPECT_EQ(lbsel, LBS_MULTIPLESEL);
      EXPECT_EQ((style & LBS_NOTIFY) != 0, kind == ListMultiNotify);
      break;
    case DropList:
      EXPECT_EQ(cls, "combobox");
      EXPECT_EQ(style & 3, CBS_DROPDOWNLIST);
      break;
  }
}

// The dialog's controls, in z-order.
std::vector<HWND> Children(HWND dlg) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  return out;
}

// Text that does not fit its control is cut off on screen: measure it in
// the control's own font, wrapped where the control wraps it.
void ExpectTextFits(HWND w, Kind kind) {
  std::string text = TextOf(w);
  if (text.empty()) return;
  RECT rc;
  GetClientRect(w, &rc);
  HDC dc = GetDC(w);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(w, WM_GETFONT, 0, 0)));
  int room = rc.right;
  if (kind == Radio || kind == Check) room -= GetSystemMetrics(SM_CXMENUCHECK) + 4;
  if (kind == Push || kind == DefPush) room -= 4;
  RECT need{0, 0, room, 0};
  UINT flags = DT_CALCRECT | (kind == Label ? DT_WORDBREAK : DT_SINGLELINE);
  DrawTextA(dc, text.c_str(), -1, &need, flags);
  SelectObject(dc, old);
  ReleaseDC(w, dc);
  EXPECT_LE(need.right, room) << "too wide: " << text;
  EXPECT_LE(need.bottom, rc.bottom) << "too tall: " << text;
}

void CheckTemplate(const Template& t) {
  SCOPED_TRACE(t.name);
  HWND dlg = CreateDialogParamA(Self(), t.name, nullptr, Passive, 0);
  ASSERT_NE(dlg, nullptr) << "error " << GetLastError();

  EXPECT_EQ(TextOf(dlg), t.caption);
  const LONG style = GetWindowLongA(dlg, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_EQ((style & WS_SYSMENU) != 0, t.system_menu);

  HFONT font = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTA lf{};
  ASSERT_NE(GetObjectA(font, sizeof lf, &lf), 0);
  EXPECT_STREQ(lf.lfFaceName, t.font);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(lf.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
  ReleaseDC(nullptr, screen);

  for (const Control& c : t.controls) {
    SCOPED_TRACE(c.id);
    HWND w = GetDlgItem(dlg, c.id);
    ASSERT_NE(w, nullptr);
    ExpectKind(w, c.kind);
    if (c.text) {
      EXPECT_EQ(TextOf(w), c.text);
    }
    // A hidden label only names its control for screen readers.
    EXPECT_EQ((GetWindowLongA(w, GWL_STYLE) & WS_VISIBLE) != 0, c.kind != HiddenLabel);
    if (c.kind != Edit && c.kind != MultiEdit && c.kind < ListSingle) ExpectTextFits(w, c.kind);
  }

  // Everything else is a label without an id, and nothing is missing or extra.
  std::vector<std::string> labels, expected(t.labels.begin(), t.labels.end());
  std::vector<HWND> all = Children(dlg);
  for (HWND w : all) {
    int id = GetDlgCtrlID(w);
    bool listed = std::any_of(t.controls.begin(), t.controls.end(), [&](const Control& c) { return c.id == id; });
    if (listed) continue;
    EXPECT_EQ(static_cast<WORD>(id), static_cast<WORD>(IDC_STATIC)) << TextOf(w);
    EXPECT_EQ(ClassOf(w), "static") << TextOf(w);
    labels.push_back(TextOf(w));
    ExpectTextFits(w, Label);
  }
  std::sort(labels.begin(), labels.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(labels, expected);
  EXPECT_EQ(all.size(), t.controls.size() + t.labels.size());

  // Every control inside the dialog, and no two on top of each other.
  RECT client;
  GetClientRect(dlg, &client);
  std::vector<RECT> rects;
  for (HWND w : all) {
    if (!(GetWindowLongA(w, GWL_STYLE) & WS_VISIBLE)) continue;  // a name for screen readers only
    RECT r;
    GetWindowRect(w, &r);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
        << "outside: " << GetDlgCtrlID(w) << " " << TextOf(w);
    for (size_t k = 0; k < rects.size(); ++k) {
      RECT both;
      EXPECT_FALSE(IntersectRect(&both, &r, &rects[k]))
          << "overlap: " << TextOf(w) << " / " << TextOf(all[k]) << " (" << GetDlgCtrlID(w) << ", "
          << GetDlgCtrlID(all[k]) << ")";
    }
    rects.push_back(r);
  }
  DestroyWindow(dlg);
}

TEST(ResDialogs, ConfigureDialog) {
  CheckTemplate({IDD_CONFIGDIALOG, "Configure Velmor", "Helv", false,
                 {{IDC_CONFIG_HOST, Edit, nullptr},
                  {IDC_CONFIG_PORT, Edit, nullptr},
                  {IDC_CONFIG_ITEMS, ListSingleNotify, nullptr},
                  {IDC_CONFIG_CATEGORIES, ListMultiNotify, nullptr},
                  {IDC_CONFIG_DAYS, DropList, nullptr},
                  {IDC_CONFIG_HOURS, DropList, nullptr},
                  {IDC_CONFIG_MINUTES, DropList, nullptr},
                  {IDC_CONFIG_ENABLESTART, Check, "Enable Start Time"},
                  {IDC_CONFIG_STARTHOUR, DropList, nullptr},
                  {IDC_CONFIG_STARTMINUTE, DropList, nullptr},
                  {IDC_CONFIG_ENDHOUR, DropList, nullptr},
                  {IDC_CONFIG_ENDMINUTE, DropList, nullptr},
                  {IDC_CONFIG_REFRESH, Push, "Refresh Category List"},
                  {IDC_CONFIG_PING, Push, "Ping the Velmor Server"},
                  {IDC_CONFIG_SETDIR, Push, "Set Data Directory"},
                  {IDC_CONFIG_RESETTIMER, Push, "Reset this item's timer"},
                  {IDC_CONFIG_TRIGGER, Push, "Trigger this item now"},
                  {IDC_CONFIG_CLOSE, DefPush, "Close"},
                  {IDC_CONFIG_PLIMSWITCH, Check, "Plim Switch"},
                  {IDC_CONFIG_SAVELOG, Check, "Save log to disk"},
                  {IDC_CONFIG_WALLSTYLE, DropList, nullptr},
                  {IDC_CONFIG_FULLCOLOUR, Check, "Full colour"}},
                 {"Location of Velmor Server:", "Port", "Item to change", "Catorgies to select from",
                  "Schedule change. Attempt to load new item every...", "Days", "Hours", "Minutes", "Start Time",
                  "End Time", "Hour", "Minute", "Hour", "Minute", "Wallpaper"}});
}

TEST(ResDialogs, DataDirectoryDialog) {
  CheckTemplate({IDD_CONFIGDIR, "Set Velmor Data Directory", "MS Sans Serif", true,
                 {{IDC_CONFIGDIR_DIRECTORY, Edit, ""},
                  {IDC_CONFIGDIR_OK, DefPush, "OK"},
                  {IDC_CONFIGDIR_CANCEL, Push, "Cancel"},
                  {IDC_CONFIGDIR_BROWSE, Push, "Browse"}},
                 {"Set the directory Velmor should store it's data in. This must be",
                  "the directory the program itself is in. Note: If you do not set this",
                  "to a valid directory, Velmor will not work.",
                  "Due to the silly nature of the file open box, if you select 'Browse', you have to pick a file in "
                  "the directory to use, any file will do."}});
}

TEST(ResDialogs, DonateDialog) {
  CheckTemplate({IDD_DONATEDIALOG, "Donate a file to a Velmor server", "Helv", false,
                 {{IDC_DONATE_QUOTE, Radio, "Quote"},
                  {IDC_DONATE_SOUND, Radio, "Sound"},
                  {IDC_DONATE_PICTURE, Radio, "Picture"},
                  {IDC_DONATE_TYPELABEL, Label, "Type of file to donate:"},
                  {IDC_DONATE_CATEGORYLABEL, Label, "Cateorgy to donate to"},
                  {IDC_DONATE_CATEGORIES, ListSingle, nullptr},
                  {IDC_DONATE_REFRESH, Push, "Refresh Category List"},
                  {IDC_DONATE_OK, Push, "OK"},
                  {IDC_DONATE_CANCEL, Push, "Cancel"}},
                 {}});
}

TEST(ResDialogs, FileListDialog) {
  CheckTemplate({IDD_NEWDONATE, "List of files to donate", "MS Sans Serif", true,
                 {{IDC_NEWDONATE_FILES, ListMulti, nullptr},
                  {IDC_NEWDONATE_ADD, Push, "Add to list"},
                  {IDC_NEWDONATE_REMOVE, Push, "Remove from list"},
                  {IDOK, DefPush, "Begin donate transfer"},
                  {IDCANCEL, Push, "Cancel"},
                  {IDC_NEWDONATE_FILESLABEL, HiddenLabel, "Files to donate:"}},
                 {}});
}

TEST(ResDialogs, AddCategoryDialog) {
  CheckTemplate({IDD_ADDCATDIALOG, "Add Category", "Helv", false,
                 {{IDC_ADDCAT_TYPELABEL, Label, "Item type to add category to:"},
                  {IDC_ADDCAT_QUOTE, Radio, "Quote"},
                  {IDC_ADDCAT_SOUND, Radio, "Sound"},
                  {IDC_ADDCAT_PICTURE, Radio, "Picture"},
                  {IDC_ADDCAT_NAMELABEL, Label, "Category name to add:"},
                  {IDC_ADDCAT_NAME, Edit, ""},
                  {IDC_ADDCAT_OK, Push, "OK"},
                  {IDC_ADDCAT_CANCEL, Push, "Cancel"}},
                 {}});
}

TEST(ResDialogs, SendCommentDialog) {
  CheckTemplate({IDD_SENDCOMMENTDIALOG, "Send comment to Velmor Server", "Arial", false,
                 {{IDC_COMMENT_HINT, Label, "Please include your eddress so that the admin can respond to you."},
                  {IDC_COMMENT_TEXT, MultiEdit, ""},
                  {IDC_COMMENT_OK, Push, "OK"},
                  {IDC_COMMENT_CANCEL, Push, "Cancel"}},
                 {}});
}

RECT ScreenRect(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  return r;
}

// Screen readers name an edit box, list or combo box after the static text
// that comes right before it in the template. That must be its own label:
// the one just after it on its row when there is one (a unit, as "Days"
// after its number), else one above it or on its left.
TEST(ResDialogs, EachFieldIsPrecededByItsLabel) {
  for (const char* name : {IDD_CONFIGDIALOG, IDD_CONFIGDIR, IDD_DONATEDIALOG, IDD_NEWDONATE, IDD_ADDCATDIALOG,
                           IDD_SENDCOMMENTDIALOG}) {
    SCOPED_TRACE(name);
    HWND dlg = CreateDialogParamA(Self(), name, nullptr, Passive, 0);
    ASSERT_NE(dlg, nullptr);
    RECT unit{0, 0, 4, 8};
    MapDialogRect(dlg, &unit);  // 4 dialog units across
    const std::vector<HWND> all = Children(dlg);
    for (HWND field : all) {
      const std::string cls = ClassOf(field);
      if (cls != "edit" && cls != "listbox" && cls != "combobox") continue;
      SCOPED_TRACE(GetDlgCtrlID(field));
      const RECT f = ScreenRect(field);
      HWND suffix = nullptr;
      for (HWND w : all) {
        const RECT l = ScreenRect(w);
        if (ClassOf(w) == "static" && l.left >= f.right && l.left <= f.right + unit.right && l.top < f.bottom &&
            l.bottom > f.top)
          suffix = w;
      }
      HWND before = GetWindow(field, GW_HWNDPREV);
      ASSERT_NE(before, nullptr);
      ASSERT_EQ(ClassOf(before), "static");
      if (suffix) {
        EXPECT_EQ(before, suffix) << "named \"" << TextOf(before) << "\" instead of \"" << TextOf(suffix) << "\"";
      } else {
        const RECT l = ScreenRect(before);
        EXPECT_TRUE(l.top <= f.top || l.right <= f.left) << "named \"" << TextOf(before) << "\"";
      }
    }
    DestroyWindow(dlg);
  }
}

// The radio buttons of one dialog form one group, so that the arrow keys
// move between them and no other control joins in.
TEST(ResDialogs, ItemTypeButtonsFormOneGroup) {
  struct Group {
    const char* dialog;
    int quote, sound, picture;
  };
  for (const Group& g : {Group{IDD_DONATEDIALOG, IDC_DONATE_QUOTE, IDC_DONATE_SOUND, IDC_DONATE_PICTURE},
                         Group{IDD_ADDCATDIALOG, IDC_ADDCAT_QUOTE, IDC_ADDCAT_SOUND, IDC_ADDCAT_PICTURE}}) {
    SCOPED_TRACE(g.dialog);
    HWND dlg = CreateDialogParamA(Self(), g.dialog, nullptr, Passive, 0);
    ASSERT_NE(dlg, nullptr);
    HWND quote = GetDlgItem(dlg, g.quote), sound = GetDlgItem(dlg, g.sound), picture = GetDlgItem(dlg, g.picture);
    EXPECT_EQ(GetNextDlgGroupItem(dlg, quote, FALSE), sound);
    EXPECT_EQ(GetNextDlgGroupItem(dlg, sound, FALSE), picture);
    EXPECT_EQ(GetNextDlgGroupItem(dlg, picture, FALSE), quote);
    DestroyWindow(dlg);
  }
}

// ---- icons --------------------------------------------------------------------

#pragma pack(push, 2)
struct GroupEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bits;
  DWORD bytes;
  WORD id;
};
struct GroupDir {
  WORD reserved, type, count;
  GroupEntry entry[1];
};
#pragma pack(pop)

const char* const kIcons[] = {IDI_MAINICON, IDI_SM0, IDI_SM1, IDI_SM2, IDI_SM3,
                              IDI_SM4, IDI_SM5, IDI_SM6, IDI_T1};

const GroupDir* GroupOf(const char* name) {
  HRSRC r = FindResourceA(Self(), name, MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */);
  if (!r || SizeofResource(Self(), r) < sizeof(GroupDir)) return nullptr;
  return static_cast<const GroupDir*>(LockResource(LoadResource(Self(), r)));
}

// The stored image: a 32 x 32, 16-colour bitmap.
std::vector<BYTE> ImageOf(const char* name) {
  const GroupDir* g = GroupOf(name);
  if (!g) return {};
  HRSRC r = FindResourceA(Self(), MAKEINTRESOURCEA(g->entry[0].id), MAKEINTRESOURCEA(3) /* RT_ICON */);
  if (!r) return {};
  const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(Self(), r)));
  return std::vector<BYTE>(p, p + SizeofResource(Self(), r));
}

TEST(ResIcons, EveryIconIsOne32By32ImageOf16Colours) {
  for (const char* name : kIcons) {
    SCOPED_TRACE(name);
    const GroupDir* g = GroupOf(name);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->type, 1);
    ASSERT_EQ(g->count, 1);
    EXPECT_EQ(g->entry[0].width, 32);
    EXPECT_EQ(g->entry[0].height, 32);
    EXPECT_EQ(g->entry[0].colours, 16);
    EXPECT_EQ(g->entry[0].bits, 4);
    std::vector<BYTE> image = ImageOf(name);
    ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, image.data(), sizeof bih);
    EXPECT_EQ(bih.biWidth, 32);
    EXPECT_EQ(bih.biHeight, 64);  // colours and mask
    EXPECT_EQ(bih.biBitCount, 4);

    HICON icon = static_cast<HICON>(LoadImageA(Self(), name, IMAGE_ICON, 32, 32, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bm{};
    GetObjectA(info.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 32);
    EXPECT_EQ(bm.bmHeight, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

// The tray code loads the frames by names it formats itself, in lower case.
TEST(ResIcons, TrayFramesLoadByFormattedNamesAndAllDiffer) {
  std::vector<std::vector<BYTE>> images;
  for (int k = 0; k < IDI_FRAME_COUNT; ++k) {
    char name[8];
    std::snprintf(name, sizeof name, IDI_FRAME_FORMAT, k);
    HICON icon = LoadIconA(Self(), name);
    EXPECT_NE(icon, nullptr) << name;
    images.push_back(ImageOf(name));
    ASSERT_FALSE(images.back().empty()) << name;
  }
  for (size_t a = 0; a < images.size(); ++a)
    for (size_t b = a + 1; b < images.size(); ++b) EXPECT_NE(images[a], images[b]) << a << " " << b;
}

// Draw an icon and count the pixels of one colour.
int CountPixels(const char* name, COLORREF colour) {
  HICON icon = static_cast<HICON>(LoadImageA(Self(), name, IMAGE_ICON, 32, 32, 0));
  if (!icon) return -1;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = 32;
  bi.bmiHeader.biHeight = -32;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bmp);
  DrawIconEx(dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
  GdiFlush();
  int n = 0;
  const DWORD want = GetRValue(colour) << 16 | GetGValue(colour) << 8 | GetBValue(colour);
  for (int i = 0; i < 32 * 32; ++i)
    if ((static_cast<const DWORD*>(bits)[i] & 0xFFFFFF) == want) ++n;
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  DestroyIcon(icon);
  return n;
}

TEST(ResIcons, DrawnColours) {
  const COLORREF red = RGB(255, 0, 0), grey = RGB(192, 192, 192), black = RGB(0, 0, 0), blue = RGB(0, 0, 255),
                 white = RGB(255, 255, 255);
  EXPECT_GT(CountPixels(IDI_MAINICON, red), 150);
  EXPECT_GT(CountPixels(IDI_MAINICON, grey), 300);
  EXPECT_GT(CountPixels(IDI_SM0, blue), 100);
  EXPECT_GT(CountPixels(IDI_SM0, black), 500);
  EXPECT_EQ(CountPixels(IDI_SM0, white), 0);
  for (const char* frame : {IDI_SM1, IDI_SM2, IDI_SM3, IDI_SM4, IDI_SM5, IDI_SM6}) {
    int gleam = CountPixels(frame, white);
    EXPECT_GT(gleam, 2) << frame;
    EXPECT_LT(gleam, 40) << frame;
  }
  EXPECT_GT(CountPixels(IDI_T1, red), 150);
  EXPECT_GT(CountPixels(IDI_T1, black), 500);
}

// ---- sounds ---------------------------------------------------------------------

uint32_t U32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t U16(const BYTE* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

TEST(ResSounds, StartAndEndAreShortPcmWaves) {
  for (const char* name : {IDR_STARTWAVE, IDR_ENDWAVE}) {
    SCOPED_TRACE(name);
    HRSRC r = FindResourceA(Self(), name, "WAVE");
    ASSERT_NE(r, nullptr);
    const DWORD size = SizeofResource(Self(), r);
    ASSERT_GE(size, 44u);
    const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(Self(), r)));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, "RIFF", 4), 0);
    EXPECT_EQ(U32(p + 4), size - 8);
    EXPECT_EQ(std::memcmp(p + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(U32(p + 16), 16u);
    EXPECT_EQ(U16(p + 20), 1);  // PCM
    const uint16_t channels = U16(p + 22), bits = U16(p + 34);
    const uint32_t rate = U32(p + 24);
    EXPECT_EQ(U32(p + 28), rate * channels * bits / 8);
    EXPECT_EQ(U16(p + 32), channels * bits / 8);
    EXPECT_EQ(std::memcmp(p + 36, "data", 4), 0);
    const uint32_t data = U32(p + 40);
    EXPECT_EQ(data + 44, size);
    const double seconds = static_cast<double>(data) / (rate * channels * bits / 8);
    EXPECT_GE(seconds, 0.6);
    EXPECT_LE(seconds, 1.0);
  }
}

// ---- version information -----------------------------------------------------------

std::string VersionString(const std::vector<BYTE>& block, const char* key) {
  char path[100];
  std::snprintf(path, sizeof path, "\\StringFileInfo\\040904E4\\%s", key);
  void* value = nullptr;
  UINT len = 0;
  if (!VerQueryValueA(block.data(), path, &value, &len) || !value) return "";
  return static_cast<const char*>(value);
}

TEST(ResVersion, ProductVelmorVersion71) {
  char exe[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, exe, sizeof exe), 0u);
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(exe, &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(exe, 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(1, 7));
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(1, 7));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(VersionString(block, "ProductName"), "Velmor");
  EXPECT_EQ(VersionString(block, "ProductVersion"), "7.1");
  EXPECT_EQ(VersionString(block, "FileVersion"), "7.1");
  EXPECT_EQ(VersionString(block, "OriginalFilename"), "Velmorw.exe");
}

}  // namespace

// ---- manifest -------------------------------------------------------------------

// What the system makes of the manifest, in this process (the same resources
// as Velmorw.exe's). Wine reports every process as aware of each monitor's
// DPI and this prefix as Windows 7 whatever the manifest says, so neither
// the DPI awareness nor the supported systems can be seen here.
TEST(ResManifest, UTF8CodePageAndCommonControls6) {
  // The ANSI calls speak UTF-8 (1252 without the manifest).
  EXPECT_EQ(GetACP(), 65001u);

  // comctl32 comes from the Common-Controls 6 assembly, not the system
  // folder's version 5.
  HMODULE comctl = LoadLibraryA("comctl32.dll");
  ASSERT_NE(comctl, nullptr);
  char path[MAX_PATH] = "";
  GetModuleFileNameA(comctl, path, sizeof path);
  std::string lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  EXPECT_NE(lower.find("microsoft.windows.common-controls_6595b64144ccf1df_6."), std::string::npos) << path;
}
