// The pump under Wine: a message another thread sends to the client's
// window is delivered during the pump, while what was posted to the
// client's queue stays there untouched.
#include "client/shell/pump_win.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

LONG g_sent = 0;
LONG g_posted = 0;
const UINT kSent = WM_APP + 1;
const UINT kPosted = WM_APP + 2;

LRESULT CALLBACK PumpWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == kSent) {
        InterlockedIncrement(&g_sent);
        return 42;
    }
    if (msg == kPosted) {
        InterlockedIncrement(&g_posted);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

DWORD WINAPI Sender(LPVOID param)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(static_cast<HWND>(param), kSent, 0, 0, SMTO_NORMAL, 10000, &result);
    return static_cast<DWORD>(result);
}

} // namespace

TEST(PumpWin, DeliversSentMessagesOnly)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PumpWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TavrPumpTest";
    ASSERT_NE(0, RegisterClassA(&wc));
    HWND hwnd = CreateWindowA("TavrPumpTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, hwnd);
    SetPumpWindow(hwnd);
    PumpMessages(1);

    ASSERT_TRUE(PostMessageA(hwnd, kPosted, 0, 0));
    HANDLE thread = CreateThread(nullptr, 0, Sender, hwnd, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    // The sender blocks until this thread lets the message in.
    const DWORD deadline = GetTickCount() + 10000;
    while (g_sent == 0 && GetTickCount() < deadline) {
        PumpMessages(1);
        Sleep(10);
    }
    EXPECT_EQ(1, g_sent);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(42u, code) << "the sender got the window's answer";
    EXPECT_EQ(0, g_posted) << "posted messages are not dispatched by the pump";
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, hwnd, kPosted, kPosted, PM_REMOVE)) << "the posted message is still queued";

    // Throttled calls in quick succession peek once: a sent message waits.
    PumpMessages(1);
    thread = CreateThread(nullptr, 0, Sender, hwnd, 0, nullptr);
    Sleep(100);
    PumpMessages(0);
    EXPECT_EQ(1, g_sent) << "a call within 250 ms of the last yield does not peek";
    while (g_sent < 2 && GetTickCount() < deadline + 10000) {
        PumpMessages(0);
        Sleep(20);
    }
    EXPECT_EQ(2, g_sent);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    DestroyWindow(hwnd);
}
