// Resource and control ids of the GUI demo program (guidemo_win.cpp,
// guidemo.rc); the GUI tests use them to drive it.
#ifndef TAVRINE_TESTS_SUPPORT_GUI_GUIDEMO_IDS_H
#define TAVRINE_TESTS_SUPPORT_GUI_GUIDEMO_IDS_H

#define IDR_DEMO_MENU 100 /* the menu and its accelerators (Ctrl+M: IDM_DEMO_MARK) */
#define IDD_DEMO_SETTINGS 200
#define IDC_DEMO_NAME 201
#define IDC_DEMO_COLOURS 202 /* sorted list box with strings: Blue, Green, Red */

#define IDC_DEMO_LIST 301     /* sorted owner-drawn list box, item data = fruit id */
#define IDC_DEMO_SETTINGS 302 /* push button: opens IDD_DEMO_SETTINGS */

#define IDM_DEMO_ADD 1001     /* adds "Avocado" (data 5) to the list */
#define IDM_DEMO_MARK 1002    /* toggles its own check and the greying of IDM_DEMO_ARCHIVE */
#define IDM_DEMO_ARCHIVE 1003 /* greyed until marked; does nothing */
#define IDM_DEMO_ALERT 1004   /* message box "Demo Alert", OK and Cancel */
#define IDM_DEMO_EXIT 1005

#endif
