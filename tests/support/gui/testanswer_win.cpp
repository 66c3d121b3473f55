#include "tests/support/gui/testanswer.h"

namespace tvtest {

namespace {

const UINT kAnswerTimeoutMs = 5000; // the asker pumps its messages while it waits

// "menu.<id>" = "enabled" or "grayed", ",checked" added, for every command
// of the menu and its popups: another process cannot read a menu under
// every Windows (Wine keeps menus in the process that made them).
void AddMenuStates(HMENU menu, TestPairs *out)
{
    int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        if (HMENU sub = GetSubMenu(menu, i)) {
            AddMenuStates(sub, out);
            continue;
        }
        UINT id = GetMenuItemID(menu, i);
        UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        if (id == 0 || id == static_cast<UINT>(-1) || state == static_cast<UINT>(-1) || (state & MF_SEPARATOR))
            continue;
        std::string value = (state & (MF_GRAYED | MF_DISABLED)) ? "grayed" : "enabled";
        if (state & MF_CHECKED)
            value += ",checked";
        out->emplace_back(std::string(kTestMenuKeyPrefix) + std::to_string(id), value);
    }
}

} // namespace

UINT TestQueryMessage()
{
    static const UINT message = RegisterWindowMessageA(kTestQueryMessage);
    return message;
}

LRESULT AnswerTestQuery(HWND self, WPARAM wParam, LPARAM lParam, const TestPairs &pairs)
{
    HWND asker = reinterpret_cast<HWND>(wParam);
    if (!IsWindow(asker))
        return 0;
    TestPairs all = pairs;
    if (HMENU menu = GetMenu(self))
        AddMenuStates(menu, &all);
    std::string text = FormatTestAnswer(all);
    COPYDATASTRUCT data;
    data.dwData = static_cast<ULONG_PTR>(lParam);
    data.cbData = static_cast<DWORD>(text.size());
    data.lpData = text.empty() ? nullptr : &text[0];
    DWORD_PTR taken = 0;
    if (!SendMessageTimeoutA(asker, WM_COPYDATA, reinterpret_cast<WPARAM>(self), reinterpret_cast<LPARAM>(&data),
                             SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &taken))
        return 0;
    return taken ? 1 : 0;
}

} // namespace tvtest
