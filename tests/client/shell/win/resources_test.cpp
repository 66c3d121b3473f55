// Checks the client's resources as the program loads them: the main and
// viewer menus, the accelerators, the string table, every dialog template
// with its control ids and a clean layout, and the icons, cursors and
// bitmaps with their sizes.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "client/shell/tavr32_res.h"

namespace {

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

std::string LoadText(UINT id) {
    char buf[512];
    int n = LoadStringA(Module(), id, buf, sizeof buf);
    return std::string(buf, n > 0 ? size_t(n) : 0);
}

// Every command item of a menu and its pop-ups: id -> text.
void CollectItems(HMENU menu, std::map<UINT, std::string>& items) {
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[256] = "";
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        ASSERT_TRUE(GetMenuItemInfoA(menu, UINT(i), TRUE, &info)) << "item " << i;
        if (info.hSubMenu) {
            CollectItems(info.hSubMenu, items);
        } else if (!(info.fType & MFT_SEPARATOR)) {
            EXPECT_EQ(items.count(info.wID), 0u) << "command " << info.wID << " appears twice";
            items[info.wID] = text;
        }
    }
}

std::map<UINT, std::string> MenuItems(const char* name) {
    std::map<UINT, std::string> items;
    HMENU menu = LoadMenuA(Module(), name);
    EXPECT_NE(menu, nullptr) << name;
    if (menu) {
        CollectItems(menu, items);
        DestroyMenu(menu);
    }
    return items;
}

TEST(ResourcesTest, MainMenuHasEveryCommandWithItsText) {
    const std::map<UINT, std::string> expected = {
        {1101, "&Send...\t^S"}, {1221, "&Forward...\t^F"}, {1118, "Send &mail...\t^M"},
        {1105, "&Print...\t^P"}, {1109, "Print set&up..."}, {1102, "&Acquire...\t^A"},
        {1117, "S&elect source..."}, {1107, "M&ove/Save...\tF7"}, {1108, "&Hold\t^H"},
        {1116, "Re&lease\t^L"}, {1115, "&Rush\t^R"}, {1106, "&Delete/Abort...\tDel"},
        {1104, "&View\tEnter"}, {1103, "&Information...\tAlt+Enter"}, {1142, "E&xit"},
        {1110, "&Search..."}, {1111, "New &Entry..."}, {1112, "New &Group..."},
        {1132, "&Server..."}, {1130, "&Logs..."}, {1210, "&Reconnect"},
        {1140, "&Devices..."}, {1141, "&Message..."}, {1220, "&Alerts..."}, {1200, "&Name..."},
        {1137, "&Buttons with icons"}, {1138, "B&uttons with text"}, {1136, "&Status bar"},
        {1120, "&In"}, {1121, "&Out"}, {1122, "&Filed"}, {1135, "&Refresh\tF5"},
        {1133, "&Change directory..."}, {1123, "&Tidy up..."},
        {1150, "&Index..."}, {1151, "&Using Help..."}, {1190, "&About Tavrine..."},
    };
    EXPECT_EQ(MenuItems(RES_MENU_MAIN), expected);
}

TEST(ResourcesTest, ViewerMenusCarryTheViewerCommands) {
    for (const char* name : {RES_MENU_VIEW, RES_MENU_VIEWER}) {
        SCOPED_TRACE(name);
        std::map<UINT, std::string> items = MenuItems(name);
        for (UINT id = IDM_V_FIRST; id <= IDM_V_LAST; ++id) EXPECT_EQ(items.count(id), 1u) << id;
        EXPECT_EQ(items[IDM_V_SENDERNAME], "&Name of sender...");
        EXPECT_EQ(items[IDM_V_OCR], "&OCR...");
    }
}

TEST(ResourcesTest, AcceleratorsAreTheTable) {
    struct Key { BYTE virt; WORD key; WORD cmd; };
    const BYTE ctrl = FVIRTKEY | FCONTROL;
    const std::vector<Key> expected = {
        {ctrl, 'S', 1101}, {ctrl, 'F', 1221}, {ctrl, 'A', 1102}, {ctrl, 'H', 1108},
        {ctrl, 'L', 1116}, {ctrl, 'R', 1115}, {FVIRTKEY, VK_F5, 1135}, {FVIRTKEY, VK_F7, 1107},
        {FVIRTKEY | FALT, VK_RETURN, 1103}, {FVIRTKEY, VK_RETURN, 1104}, {ctrl, 'V', 1104},
        {ctrl, 'P', 1105}, {ctrl, 'M', 1118}, {FVIRTKEY, VK_DELETE, 1106}, {FVIRTKEY, VK_F1, 1150},
        {ctrl, 'G', 1310},
    };
    HACCEL table = LoadAcceleratorsA(Module(), RES_ACCEL);
    ASSERT_NE(table, nullptr);
    int n = CopyAcceleratorTableA(table, nullptr, 0);
    std::vector<ACCEL> got(size_t(n > 0 ? n : 0));
    CopyAcceleratorTableA(table, got.data(), n);
    DestroyAcceleratorTable(table);
    std::set<std::tuple<int, int, int>> have, want;
    for (const ACCEL& a : got) have.insert({a.fVirt & ~0x80, a.key, a.cmd});
    for (const Key& k : expected) want.insert({k.virt, k.key, k.cmd});
    EXPECT_EQ(have, want);
}

TEST(ResourcesTest, EveryNamedStringLoads) {
    std::vector<UINT> ids = {
        20, 21, 22, 23, 24, 25, 26, 27, 30, 31, 32, 33, 36, 40, 41, 42, 43, 44, 45, 46, 47,
        51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 78, 79, 80, 81, 148, 190, 191, 192,
        223, 226, 227, 232, 233, 245, 253, 254, 255, 267, 270, 271, 274, 384, 385, 402, 403,
        404, 405, 424, 443, 444, 461, 462, 463, 464, 480, 481, 490, 491, 492,
        2100, 2140, 2160, 2180, 2300, 2303, 61479, 61495, 63499};
    for (UINT id = 90; id <= 120; ++id) ids.push_back(id);
    for (UINT id = 280; id <= 293; ++id) ids.push_back(id);
    for (UINT id = 310; id <= 320; ++id) ids.push_back(id);
    for (UINT id = 350; id <= 368; ++id) ids.push_back(id);
    // Every command is also the string of its status-bar description.
    for (const char* menu : {RES_MENU_MAIN, RES_MENU_VIEW})
        for (const auto& item : MenuItems(menu)) ids.push_back(item.first);
    ids.push_back(IDM_NEWMESSAGE);
    for (UINT id : ids) EXPECT_FALSE(LoadText(id).empty()) << "string " << id;
}

TEST(ResourcesTest, SystemTextsAreExact) {
    const std::map<UINT, std::string> texts = {
        {20, "Tavr"}, {21, "Tavrine"}, {27, "Tavrine: Offline"}, {30, "T-IN\\"}, {33, "T-DB\\"},
        {100, "Status?"}, {105, "Queued"}, {116, "Device Q"}, {117, "Sent"},
        {223, "User %s is already logged on - or cannot access %s"},
        {283, "%s on %s"}, {320, "Offline from Tavrine server"},
        {350, "Quit view"}, {355, "1:1"}, {364, "Tidy up"}, {368, "Acquire"},
        {462, "All files (*.*)|*.*|Fax files (*.g3*)|*.G3*|"},
        {2300, "Invalid command line switch: "}, {2303, "Checking Tavrine server status"},
        {63499, "DDE command or parameter error (see TAVRINE.LOG for details)"},
    };
    for (const auto& t : texts) EXPECT_EQ(LoadText(t.first), t.second) << "string " << t.first;
}

INT_PTR CALLBACK QuietProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

struct DialogCase {
    int id;
    const char* caption;
    std::vector<int> controls;
};

std::string ClassOf(HWND w) {
    char name[64] = "";
    GetClassNameA(w, name, sizeof name);
    return name;
}

bool IsGroupBox(HWND w) {
    return ClassOf(w) == "Button" && (GetWindowLongA(w, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

// The controls' rectangles, client coordinates, except group boxes (which
// surround other controls by design) and the drop-down lists of combo boxes.
std::vector<std::pair<HWND, RECT>> ControlRects(HWND dlg) {
    std::vector<std::pair<HWND, RECT>> out;
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (IsGroupBox(c)) continue;
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
        if (ClassOf(c) == "ComboBox") {
            COMBOBOXINFO info = {};
            info.cbSize = sizeof info;
            if (GetComboBoxInfo(c, &info)) r.bottom = r.top + (info.rcItem.bottom - info.rcItem.top) + 6;
        }
        out.push_back({c, r});
    }
    return out;
}

// Width a control's own text needs in the dialog's font, with room for the
// box of a check box or radio button; 0 for controls that show no fixed text.
int TextNeed(HWND dlg, HWND c) {
    std::string cls = ClassOf(c);
    if (cls != "Static" && cls != "Button") return 0;
    LONG style = GetWindowLongA(c, GWL_STYLE);
    if (cls == "Static" && (style & SS_TYPEMASK) == SS_ICON) return 0;
    char text[256] = "";
    GetWindowTextA(c, text, sizeof text);
    std::string shown;
    for (const char* p = text; *p; ++p)
        if (*p != '&' || (style & SS_NOPREFIX && cls == "Static")) shown += *p;
    if (shown.empty()) return 0;
    HDC dc = GetDC(dlg);
    HGDIOBJ old = SelectObject(dc, HGDIOBJ(SendMessageA(dlg, WM_GETFONT, 0, 0)));
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc, shown.c_str(), int(shown.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(dlg, dc);
    LONG kind = style & BS_TYPEMASK;
    bool box = cls == "Button" && (kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_RADIOBUTTON ||
                                   kind == BS_AUTORADIOBUTTON);
    bool push = cls == "Button" && (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON);
    return size.cx + (box ? 18 : 0) + (push ? 4 : 0);
}

TEST(ResourcesTest, DialogsCreateWithTheirControlsAndNoOverlap) {
    const std::vector<DialogCase> cases = {
        {IDD_MESSAGEOPTIONS, "Message options",
         {1281, 1282, 1283, 1284, 1293, 1294, 1285, 1286, 1287, 1288, 1291, 1292, 1303, 1304, 256, 1}},
        {IDD_PRIORITY, "Options - Priority", {2048, 2049, 3843, 257, 256, 1, 2}},
        {IDD_RESOLUTION, "Options - Resolution", {2051, 2052, 2053, 257, 256, 1, 2}},
        {IDD_TIME, "Options - Time to send", {2307, 2308, 2309, 2304, 2305, 2306, 259, 257, 256, 1, 2}},
        {IDD_PAGEHEADER, "Options - Page header", {2816, 2817, 2818, 2819, 2820, 257, 256, 1, 2}},
        {IDD_ALERTS, "Options - Alerts", {5888, 5892, 5890, 5889, 5891, 257, 256, 1, 2}},
        {IDD_ALERTS_PLAIN, "Options - Alerts", {5888, 5892, 5890, 5889, 5891, 257, 256, 1, 2}},
        {IDD_DEVICES, "Default devices", {4352, 4353, 4354, 4355, 4357, 4103, 4104, 257, 256, 1, 2}},
        {IDD_NAME, "Coversheet details", {1280, 8705, 8711, 8712, 8713, 8714, 256, 1, 2}},
        {IDD_LOGIN, "Tavrine login", {3097, 256, 1, 2}},
        {IDD_ABOUT, "About Tavrine", {5635, 5633, 1}},
        {IDD_WELCOME, "", {5633, 5636, 5637}},
        {IDD_DUPLICATES, "Address book entries", {515, 8707, 256, 3098, 2}},
        {IDD_CHANGEDIR, "Change directory",
         {1088, 1089, 1090, 1091, 1152, 1120, 1121, 1136, 1137, 1040, 1, 2, 1038, 2562}},
        {IDD_PRINTPROGRESS, "Tavrine", {6400, 6401, 2}},
        {IDD_INFOBOX, "Tavrine", {259, 1}},
        {IDD_SCANNERREADY, "Tavrine", {259, 4608, 1}},
    };
    for (const DialogCase& c : cases) {
        SCOPED_TRACE("dialog " + std::to_string(c.id));
        HWND dlg = CreateDialogParamA(Module(), MAKEINTRESOURCEA(c.id), nullptr, QuietProc, 0);
        ASSERT_NE(dlg, nullptr) << GetLastError();
        char caption[128] = "";
        GetWindowTextA(dlg, caption, sizeof caption);
        EXPECT_STREQ(caption, c.caption);
        for (int id : c.controls) EXPECT_NE(GetDlgItem(dlg, id), nullptr) << "control " << id;

        RECT client;
        GetClientRect(dlg, &client);
        auto rects = ControlRects(dlg);
        for (size_t i = 0; i < rects.size(); ++i) {
            const RECT& a = rects[i].second;
            EXPECT_LE(TextNeed(dlg, rects[i].first), a.right - a.left)
                << "the text of control " << GetDlgCtrlID(rects[i].first) << " is cut off";
            EXPECT_TRUE(a.left >= 0 && a.top >= 0 && a.right <= client.right && a.bottom <= client.bottom)
                << "control " << GetDlgCtrlID(rects[i].first) << " leaves the dialog";
            for (size_t j = i + 1; j < rects.size(); ++j) {
                RECT both;
                EXPECT_FALSE(IntersectRect(&both, &a, &rects[j].second))
                    << "controls " << GetDlgCtrlID(rects[i].first) << " and "
                    << GetDlgCtrlID(rects[j].first) << " overlap";
            }
        }
        DestroyWindow(dlg);
    }
}

SIZE BitmapSize(const std::string& name) {
    SIZE s = {0, 0};
    HBITMAP bmp = LoadBitmapA(Module(), name.c_str());
    if (!bmp) return s;
    BITMAP info;
    GetObjectA(bmp, sizeof info, &info);
    s.cx = info.bmWidth;
    s.cy = info.bmHeight;
    DeleteObject(bmp);
    return s;
}

std::vector<BYTE> BitmapPixels(const char* name) {
    HBITMAP bmp = LoadBitmapA(Module(), name);
    std::vector<BYTE> bits;
    if (!bmp) return bits;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = STATUS_BITMAP_WIDTH;
    bi.bmiHeader.biHeight = STATUS_BITMAP_HEIGHT;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bits.resize(STATUS_BITMAP_WIDTH * STATUS_BITMAP_HEIGHT * 4);
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, bmp, 0, STATUS_BITMAP_HEIGHT, bits.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    DeleteObject(bmp);
    return bits;
}

TEST(ResourcesTest, StatusBitmapsAre32By14AndNewDocDiffersFromDocument) {
    for (const char* name : {RES_BMP_WAITING, RES_BMP_CONVERT, RES_BMP_CONNECT, RES_BMP_SENDING,
                             RES_BMP_NEWDOC, RES_BMP_DOCUMENT, RES_BMP_NEWSCAN, RES_BMP_HELD, RES_BMP_OK,
                             RES_BMP_FAILED, RES_BMP_RECEIVING, RES_BMP_SCAN, RES_BMP_ABORTING}) {
        SIZE s = BitmapSize(name);
        EXPECT_EQ(s.cx, STATUS_BITMAP_WIDTH) << name;
        EXPECT_EQ(s.cy, STATUS_BITMAP_HEIGHT) << name;
    }
    std::vector<BYTE> fresh = BitmapPixels(RES_BMP_NEWDOC), seen = BitmapPixels(RES_BMP_DOCUMENT);
    ASSERT_FALSE(fresh.empty());
    EXPECT_NE(fresh, seen);
}

TEST(ResourcesTest, ToolBitmapsHaveBothSizesAndGreyWhereNeeded) {
    struct Base { const char* name; bool grey; };
    const Base bases[] = {
        {TOOL_BASE_SEND, true}, {TOOL_BASE_FORWARD, true}, {TOOL_BASE_VIEW, false},
        {TOOL_BASE_PRINTER, true}, {TOOL_BASE_ACQUIRE, true}, {TOOL_BASE_INFORMATION, true},
        {TOOL_BASE_SAVE, true}, {TOOL_BASE_DELETE, true}, {TOOL_BASE_STATUS, true},
        {TOOL_BASE_TIDYUP, true}, {TOOL_BASE_HELP, false}, {TOOL_BASE_QUITVIEW, true},
        {TOOL_BASE_ONETOONE, true}, {TOOL_BASE_TWOTOONE, true}, {TOOL_BASE_THREETOONE, true},
        {TOOL_BASE_OVERVIEW, true}, {TOOL_BASE_ROTATE, true}, {TOOL_BASE_IMPORT, true},
        {TOOL_BASE_EXPORT, true},
    };
    for (const Base& b : bases) {
        std::string stem = std::string(RES_STEM) + b.name;
        for (bool hi : {true, false}) {
            std::string name = stem + (hi ? TOOL_BMP_HI : TOOL_BMP_LO);
            SIZE want = {hi ? TOOL_BMP_HI_WIDTH : TOOL_BMP_LO_WIDTH, hi ? TOOL_BMP_HI_HEIGHT : TOOL_BMP_LO_HEIGHT};
            for (const std::string& n : {name, name + TOOL_BMP_GREY}) {
                SIZE s = BitmapSize(n);
                bool wanted = n == name || b.grey;
                if (wanted) {
                    EXPECT_EQ(s.cx, want.cx) << n;
                    EXPECT_EQ(s.cy, want.cy) << n;
                } else {
                    EXPECT_EQ(s.cx, 0) << n << " should not exist";
                }
            }
        }
    }
    EXPECT_GT(BitmapSize(RES_BMP_PICTURE).cx, 0);
    EXPECT_GT(BitmapSize(RES_BMP_LOGO).cx, 0);
}

TEST(ResourcesTest, IconsAndCursorsLoad) {
    for (const char* name : {RES_ICON_PROGRAM, RES_ICON_ABOUT, RES_ICON_IN, RES_ICON_OUT, RES_ICON_FILED}) {
        for (int size : {32, 16}) {
            HICON icon = HICON(LoadImageA(Module(), name, IMAGE_ICON, size, size, 0));
            EXPECT_NE(icon, nullptr) << name << " " << size;
            if (icon) DestroyIcon(icon);
        }
    }
    for (const char* name : {RES_CURSOR_DOCUMENT, RES_CURSOR_HELP}) {
        HCURSOR cursor = LoadCursorA(Module(), name);
        ASSERT_NE(cursor, nullptr) << name;
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(cursor, &info)) << name;
        EXPECT_FALSE(info.fIcon) << name;
        if (std::string(name) == RES_CURSOR_HELP) {
            EXPECT_EQ(info.xHotspot, 0u);
            EXPECT_EQ(info.yHotspot, 0u);
        } else {
            EXPECT_EQ(info.xHotspot, 16u);
            EXPECT_EQ(info.yHotspot, 15u);
        }
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
    }
}

}  // namespace
