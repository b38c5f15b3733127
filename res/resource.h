/*
 * Resource identifiers of Velmorw.exe, shared by res/velmor.rc and the code.
 *
 * How resources are named
 * -----------------------
 * Menus, dialogs, icons and the two sounds are named resources: their names
 * are strings, and the macros below expand to those strings, so the code
 * passes the macro straight to the loader:
 *
 *     LoadMenuA(hinst, IDR_EDITPOPUP);
 *     DialogBoxParamA(hinst, IDD_CONFIGDIR, owner, proc, 0);
 *     LoadIconA(hinst, IDI_MAINICON);
 *     PlaySoundA(IDR_STARTWAVE, hinst, SND_RESOURCE | SND_SYNC);
 *
 * The resource compiler stores names in upper case and the loader compares
 * them without regard to case, so "sm3" built from IDI_FRAME_FORMAT finds
 * the icon stored as "SM3". The resource compiler itself gets the names as
 * bare words (see RC_INVOKED below): it joins adjacent quoted strings, so
 *     SM0 ICON "sm0.ico"  followed by  "SM1" ICON ...
 * would read as a file named "sm0.icoSM1".
 *
 * Menu items and dialog controls are numbered. Controls are grouped by the
 * dialog they live in and carry its prefix; the same number appears in
 * several dialogs (every "OK" is 420), which is why each dialog gets its own
 * names. Labels that the code never touches use IDC_STATIC.
 *
 * This file is read by the resource compiler as well as by C++: keep it to
 * #define lines (anything else goes inside #ifndef RC_INVOKED).
 */
#ifndef VELMOR_RES_RESOURCE_H
#define VELMOR_RES_RESOURCE_H

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

/* ---- Named resources ----------------------------------------------------- */
/* Menus mainmenu, editpopup, commentpopup; the six dialog templates; icons
 * mainicon, SM0..SM6 (tray frames), T1 (every tray frame of the transfer
 * instance); sounds of resource type "WAVE" (RIFF WAVE PCM data), which is
 * where PlaySound with SND_RESOURCE looks for them. */

#ifdef RC_INVOKED
#define IDR_MAINMENU                mainmenu
#define IDR_EDITPOPUP               editpopup
#define IDR_COMMENTPOPUP            commentpopup
#define IDD_CONFIGDIALOG            CONFIGDIALOG
#define IDD_CONFIGDIR               CONFIGDIR
#define IDD_DONATEDIALOG            DONATEDIALOG
#define IDD_NEWDONATE               NEWDONATE
#define IDD_ADDCATDIALOG            ADDCATDIALOG
#define IDD_SENDCOMMENTDIALOG       SENDCOMMENTDIALOG
#define IDI_MAINICON                mainicon
#define IDI_SM0                     SM0
#define IDI_SM1                     SM1
#define IDI_SM2                     SM2
#define IDI_SM3                     SM3
#define IDI_SM4                     SM4
#define IDI_SM5                     SM5
#define IDI_SM6                     SM6
#define IDI_T1                      T1
#define IDR_STARTWAVE               IDR_STARTWAVE
#define IDR_ENDWAVE                 IDR_ENDWAVE
#else
#define IDR_MAINMENU                "mainmenu"
#define IDR_EDITPOPUP               "editpopup"
#define IDR_COMMENTPOPUP            "commentpopup"
#define IDD_CONFIGDIALOG            "CONFIGDIALOG"
#define IDD_CONFIGDIR               "CONFIGDIR"
#define IDD_DONATEDIALOG            "DONATEDIALOG"
#define IDD_NEWDONATE               "NEWDONATE"
#define IDD_ADDCATDIALOG            "ADDCATDIALOG"
#define IDD_SENDCOMMENTDIALOG       "SENDCOMMENTDIALOG"
#define IDI_MAINICON                "mainicon"
#define IDI_SM0                     "SM0"
#define IDI_SM1                     "SM1"
#define IDI_SM2                     "SM2"
#define IDI_SM3                     "SM3"
#define IDI_SM4                     "SM4"
#define IDI_SM5                     "SM5"
#define IDI_SM6                     "SM6"
#define IDI_T1                      "T1"
#define IDR_STARTWAVE               "IDR_STARTWAVE"
#define IDR_ENDWAVE                 "IDR_ENDWAVE"
#endif

/* ---- Menu commands ------------------------------------------------------ */
/* editpopup and commentpopup keep their items in the menu's first sub-menu,
 * which is the one that is tracked (GetSubMenu(menu, 0)).
 * 500 is shared by "&Copy Text" (editpopup) and
 * "&Copy to clipboard" (commentpopup). 508 is not used. */
#define IDM_COPY                    500
#define IDM_ABOUT                   501
#define IDM_EXIT                    502
#define IDM_CONFIGURE               503
#define IDM_GETQUOTE                504
#define IDM_DONATE                  505
#define IDM_ADDCATEGORY             506
#define IDM_SENDCOMMENT             507
#define IDM_GETNEWS                 509
#define IDM_GETTIPS                 510
#define IDM_CUT                     511
#define IDM_PASTE                   512

/* ---- Tray frames (icons are 32 x 32, 16 colours) ------------------------ */
/* The code forms the names of frames 0..6 with this format. */
#define IDI_FRAME_FORMAT            "sm%d"
#define IDI_FRAME_COUNT             7

/* ---- Main window and transfer message window --------------------------- */
/* Not from a template: created by the shell, found again by these ids. */

#define IDC_MAIN_TEXTPANE           5
#define IDC_MAIN_ACTIVITYLIST       6
#define IDC_MAIN_TITLE              11
#define IDC_MSGWND_CANCEL           119

/* ---- Tray icons and timers of the main window ------------------------- */
/* The tray icon's id (NOTIFYICONDATA uID) tells the two instances' icons
 * apart; it names no icon resource. Timer ids are those of MainWindow's
 * timers; the animation's shares its number with the normal tray icon. */
#define IDN_TRAY_NORMAL             444
#define IDN_TRAY_TRANSFER           445
#define IDT_SCHEDULE                15
#define IDT_ANIMATION               444
#define IDT_PANEFILL                16    /* puts a long text into the pane piece by piece */

/* ---- Dialog controls ---------------------------------------------------- */

/* CONFIGDIALOG: "Configure Velmor" */
#define IDC_CONFIG_PING             401
#define IDC_CONFIG_SETDIR           402
#define IDC_CONFIG_ITEMS            404   /* list: one line per schedulable item */
#define IDC_CONFIG_CATEGORIES       405   /* list: several may be selected */
#define IDC_CONFIG_HOST             411
#define IDC_CONFIG_DAYS             412
#define IDC_CONFIG_HOURS            413
#define IDC_CONFIG_MINUTES          414
#define IDC_CONFIG_REFRESH          417
#define IDC_CONFIG_RESETTIMER       418
#define IDC_CONFIG_CLOSE            420
#define IDC_CONFIG_STARTHOUR        421
#define IDC_CONFIG_TRIGGER          422
#define IDC_CONFIG_PORT             424
#define IDC_CONFIG_STARTMINUTE      425
#define IDC_CONFIG_ENDHOUR          428
#define IDC_CONFIG_ENDMINUTE        429
#define IDC_CONFIG_ENABLESTART      1000
#define IDC_CONFIG_PLIMSWITCH       1009
#define IDC_CONFIG_SAVELOG          1010
#define IDC_CONFIG_WALLSTYLE        1011  /* wallpaper layout: tile, centre, ... */
#define IDC_CONFIG_FULLCOLOUR       1012  /* wallpaper as a 24-bit picture */

/* CONFIGDIR: "Set Velmor Data Directory" */
#define IDC_CONFIGDIR_CANCEL        419
#define IDC_CONFIGDIR_OK            420
#define IDC_CONFIGDIR_DIRECTORY     1004
#define IDC_CONFIGDIR_BROWSE        1005

/* DONATEDIALOG: "Donate a file to a Velmor server" */
#define IDC_DONATE_QUOTE            101   /* item type 1 */
#define IDC_DONATE_SOUND            102   /* item type 3 */
#define IDC_DONATE_PICTURE          103   /* item type 2 */
#define IDC_DONATE_TYPELABEL        106
#define IDC_DONATE_CATEGORIES       405
#define IDC_DONATE_CATEGORYLABEL    406
#define IDC_DONATE_REFRESH          417
#define IDC_DONATE_CANCEL           419
#define IDC_DONATE_OK               420

/* NEWDONATE: "List of files to donate". Begin and Cancel are the dialog
 * system's own OK and Cancel, so Enter and Escape reach them. */
#define IDC_NEWDONATE_BEGIN         1     /* IDOK */
#define IDC_NEWDONATE_CANCEL        2     /* IDCANCEL */
#define IDC_NEWDONATE_REMOVE        1006
#define IDC_NEWDONATE_ADD           1007
#define IDC_NEWDONATE_FILES         1008
#define IDC_NEWDONATE_FILESLABEL    1009  /* hidden: the list's name for screen readers */

/* ADDCATDIALOG: "Add Category" */
#define IDC_ADDCAT_QUOTE            101   /* item type 1 */
#define IDC_ADDCAT_SOUND            102   /* item type 3 */
#define IDC_ADDCAT_PICTURE          103   /* item type 2 */
#define IDC_ADDCAT_NAME             104   /* at most 45 characters */
#define IDC_ADDCAT_NAMELABEL        105
#define IDC_ADDCAT_TYPELABEL        106
#define IDC_ADDCAT_CANCEL           419
#define IDC_ADDCAT_OK               420

/* SENDCOMMENTDIALOG: "Send comment to Velmor Server" */
#define IDC_COMMENT_TEXT            301   /* at most 5,000 characters */
#define IDC_COMMENT_HINT            302
#define IDC_COMMENT_CANCEL          419
#define IDC_COMMENT_OK              420

#endif /* VELMOR_RES_RESOURCE_H */
