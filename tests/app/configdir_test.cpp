// The data-directory dialog: at first start, refusals, the length limit,
// Browse through the file-open dialog; and DirectoryExists.
#include <string>

#include "res/resource.h"
#include "tests/app/shell_fixture.h"
#include "ui/configdir.h"
#include "ui/data_directory.h"

namespace {

using ConfigDir = ShellFixture;

void SetDirectoryText(HWND dlg, const std::string& text) {
  SetDlgItemTextA(dlg, IDC_CONFIGDIR_DIRECTORY, text.c_str());
}
void Click(HWND dlg, int id) { PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

TEST_F(ConfigDir, FirstStartWithoutDataDirectoryAsksWithNoOwner) {
  std::string initial = "<unset>";
  DialogWatch watch([&](const SeenDialog& d) {
    char text[300] = "";
    GetDlgItemTextA(d.window, IDC_CONFIGDIR_DIRECTORY, text, sizeof text);
    initial = text;
    SetDirectoryText(d.window, "  " + dir.Path() + "   ");
    Click(d.window, IDC_CONFIGDIR_OK);
  });
  Start("", "/Q", /*withDirectory=*/false);
  std::string seen;
  for (const SeenDialog& d : watch.Seen()) seen += "'" + d.caption + "': '" + d.text + "'\n";
  ASSERT_EQ(watch.Seen().size(), 1u) << seen;
  EXPECT_EQ(watch.Seen()[0].caption, "Set Velmor Data Directory");
  EXPECT_EQ(watch.Seen()[0].owner, nullptr);
  EXPECT_EQ(initial, "");
  EXPECT_EQ(std::string(DataDirectory), dir.Path() + "\\");
  EXPECT_EQ(CfgValue(Cfg(), "Directory"), dir.Path());  // trimmed, without the backslash
  EXPECT_TRUE(IsWindow(Shell.MainWindow));                    // start-up went on
}

TEST_F(ConfigDir, CancelAtFirstStartStillStartsTheProgram) {
  DialogWatch watch([&](const SeenDialog& d) { Click(d.window, IDC_CONFIGDIR_CANCEL); });
  Start("", "/Q", false);
  EXPECT_EQ(watch.Seen().size(), 1u);
  EXPECT_TRUE(IsWindow(Shell.MainWindow));
  EXPECT_EQ(CfgValue(Cfg(), "Directory"), "");
}

TEST_F(ConfigDir, MissingDirectoryIsRefusedAndKeepsTheDialogOpen) {
  Start();
  HWND configDir = nullptr;
  DialogWatch watch([&](const SeenDialog& d) {
    if (d.caption == "Set Velmor Data Directory") {
      configDir = d.window;
      char text[300] = "";
      GetDlgItemTextA(d.window, IDC_CONFIGDIR_DIRECTORY, text, sizeof text);
      EXPECT_EQ(std::string(text), dir.Path());  // shows the stored directory
      SetDirectoryText(d.window, "C:\\no-such-velmor-dir  ");
      Click(d.window, IDC_CONFIGDIR_OK);
    } else {
      DialogWatch::PressOk(d.window);
      Click(configDir, IDC_CONFIGDIR_CANCEL);
    }
  });
  EXPECT_EQ(RunConfigDirDialog(Shell.MainWindow), 0);
  ASSERT_EQ(watch.Seen().size(), 2u);
  EXPECT_EQ(watch.Seen()[0].owner, Shell.MainWindow);
  EXPECT_EQ(watch.Seen()[1].text, "Directory: 'C:\\no-such-velmor-dir\\' does not exist.");
  EXPECT_EQ(watch.Seen()[1].caption, "VelmorW");
  // Cancel puts back the directory in effect before; the file keeps it too.
  EXPECT_EQ(std::string(DataDirectory), dir.Path() + "\\");
  EXPECT_EQ(CfgValue(Cfg(), "Directory"), dir.Path());
}

TEST_F(ConfigDir, OverlongDirectoryIsRefusedWithoutTouchingDataDirectory) {
  Start();
  const std::string before = DataDirectory;
  HWND configDir = nullptr;
  int attempt = 0;
  DialogWatch watch([&](const SeenDialog& d) {
    if (d.caption == "Set Velmor Data Directory") {
      configDir = d.window;
      SetDirectoryText(d.window, "C:\\" + std::string(96, 'd'));  // 99 characters
      Click(d.window, IDC_CONFIGDIR_OK);
    } else {
      DialogWatch::PressOk(d.window);
      if (++attempt == 1) {
        SetDirectoryText(configDir, std::string(5000, 'e'));  // far beyond every buffer
        Click(configDir, IDC_CONFIGDIR_OK);
      } else {
        Click(configDir, IDC_CONFIGDIR_CANCEL);
      }
    }
  });
  EXPECT_EQ(RunConfigDirDialog(Shell.MainWindow), 0);
  ASSERT_EQ(watch.Seen().size(), 3u);
  EXPECT_EQ(watch.Seen()[1].text, DirectoryTooLongText);
  EXPECT_EQ(watch.Seen()[2].text, DirectoryTooLongText);
  EXPECT_EQ(std::string(DataDirectory), before);
}

TEST_F(ConfigDir, NinetyEightCharactersAreAccepted) {
  Start();
  // A real directory whose name makes the whole path 98 characters long.
  std::string path = dir.Path() + "\\";
  path += std::string(98 - path.size(), 'n');
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
  DialogWatch watch([&](const SeenDialog& d) {
    SetDirectoryText(d.window, path);
    Click(d.window, IDC_CONFIGDIR_OK);
  });
  EXPECT_EQ(RunConfigDirDialog(Shell.MainWindow), 1);
  EXPECT_EQ(std::string(DataDirectory), path + "\\");
  EXPECT_EQ(CfgValue(ReadFile(path + "\\velmor.cfg"), "Directory"), path);
  std::snprintf(DataDirectory, sizeof DataDirectory, "%s\\", dir.Path().c_str());
  DeleteFileA((path + "\\velmor.cfg").c_str());
  RemoveDirectoryA(path.c_str());
}

HWND escapeDialog = nullptr;
bool aliveAfterEscape = false;

TEST_F(ConfigDir, EscapeAndCloseDoNothing) {
  Start();
  escapeDialog = nullptr;
  aliveAfterEscape = false;
  DialogWatch watch([&](const SeenDialog& d) {
    escapeDialog = d.window;
    SendMessageA(d.window, WM_COMMAND, IDCANCEL, 0);
    SendMessageA(d.window, WM_SYSCOMMAND, SC_CLOSE, 0);
    // Had either ended the dialog, its modal loop would return and destroy
    // the window before this timer fires; Cancel then ends it for real.
    SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(nullptr, id);
      aliveAfterEscape = IsWindow(escapeDialog) != FALSE;
      if (aliveAfterEscape) Click(escapeDialog, IDC_CONFIGDIR_CANCEL);
    });
  });
  EXPECT_EQ(RunConfigDirDialog(Shell.MainWindow), 0);
  EXPECT_TRUE(aliveAfterEscape);
}

TEST_F(ConfigDir, BrowseTakesTheDirectoryOfThePickedFile) {
  Start();
  ScratchDirectory other;
  WriteFile(other.File("pick.txt"), "any file will do");
  HWND configDir = nullptr;
  std::string fileDialogCaption;
  DialogWatch watch([&](const SeenDialog& d) {
    if (d.caption == "Set Velmor Data Directory") {
      configDir = d.window;
      Click(d.window, IDC_CONFIGDIR_BROWSE);
    } else {
      fileDialogCaption = d.caption;
      // The file name box: edt1 in the old-style dialog, cmb13 in the
      // Explorer-style one that Wine shows.
      const int nameBox = GetDlgItem(d.window, 0x480) ? 0x480 : 0x47c;
      SetDlgItemTextA(d.window, nameBox, other.File("pick.txt").c_str());
      PostMessageA(d.window, WM_COMMAND, IDOK, 0);
      Click(configDir, IDC_CONFIGDIR_OK);  // after the file dialog has closed
    }
  });
  EXPECT_EQ(RunConfigDirDialog(Shell.MainWindow), 1);
  EXPECT_EQ(fileDialogCaption, "Directory for Velmor Data");
  char shortOther[MAX_PATH] = "";
  GetShortPathNameA(other.Path().c_str(), shortOther, sizeof shortOther);
  EXPECT_EQ(_stricmp(DataDirectory, (std::string(shortOther) + "\\").c_str()), 0) << DataDirectory;
  EXPECT_EQ(_stricmp(CfgValue(ReadFile(other.File("velmor.cfg")), "Directory").c_str(), shortOther), 0);
  std::snprintf(DataDirectory, sizeof DataDirectory, "%s\\", dir.Path().c_str());
}

TEST_F(ConfigDir, BrowseCancelledReturnsNothingSilently) {
  Start();
  int boxes = 0;
  DialogWatch watch([&](const SeenDialog& d) {
    if (GetDlgItem(d.window, 0xFFFF)) ++boxes;
    PostMessageA(d.window, WM_COMMAND, IDCANCEL, 0);
  });
  char out[300] = "unchanged";
  EXPECT_EQ(BrowseForDirectory(Shell.MainWindow, BrowseTitle, out, sizeof out), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(boxes, 0);
  EXPECT_EQ(watch.Seen().size(), 1u);
}

TEST(DirectoryExists, OnlyExistingDirectories) {
  ScratchDirectory d;
  WriteFile(d.File("plain.txt"), "x");
  EXPECT_EQ(DirectoryExists(d.Path().c_str()), 1);
  EXPECT_EQ(DirectoryExists((d.Path() + "\\").c_str()), 1);
  EXPECT_EQ(DirectoryExists("C:"), 1);
  EXPECT_EQ(DirectoryExists(d.File("plain.txt").c_str()), 0);
  EXPECT_EQ(DirectoryExists((d.File("plain.txt") + "\\").c_str()), 0);
  EXPECT_EQ(DirectoryExists(d.File("missing").c_str()), 0);
  EXPECT_EQ(DirectoryExists(""), 0);
  EXPECT_EQ(DirectoryExists(nullptr), 0);
  // A relative name counts from the current directory only (no search).
  EXPECT_EQ(DirectoryExists("system32\\"), 0);
}

}  // namespace
