// Finding and driving another process's windows (guidriver.h).
#include "tests/support/gui/guidriver.h"

#include <cstdio>
#include <cstring>

#include "tests/support/gui/testanswer.h"
#include "tests/support/process.h" // BuildPath

namespace tvtest {
namespace gui {

namespace {

const DWORD kPollMs = 50;
const int kTextMax = 4096;

std::string Hex(const void *p)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
    return buf;
}

std::string ClassOf(HWND hwnd)
{
    char buf[256] = "";
    GetClassNameA(hwnd, buf, sizeof buf);
    return buf;
}

// The caption as the system keeps it: no message to the window, so a busy
// program cannot hold the test.
std::string CaptionOf(HWND hwnd)
{
    char buf[kTextMax] = "";
    GetWindowTextA(hwnd, buf, sizeof buf);
    return buf;
}

int IdOf(HWND hwnd) { return static_cast<int>(GetWindowLongPtrA(hwnd, GWLP_ID)); }

bool Matches(HWND hwnd, const WindowSpec &spec)
{
    if (spec.visibleOnly && !IsWindowVisible(hwnd))
        return false;
    if (!spec.className.empty() && _stricmp(ClassOf(hwnd).c_str(), spec.className.c_str()) != 0)
        return false;
    std::string caption = CaptionOf(hwnd);
    if (!spec.caption.empty() && caption != spec.caption)
        return false;
    return spec.captionPart.empty() || caption.find(spec.captionPart) != std::string::npos;
}

std::string ListWindows(const std::vector<HWND> &windows)
{
    if (windows.empty())
        return " none";
    std::string out;
    for (HWND w : windows)
        out += "\n  " + Describe(w);
    return out;
}

struct TopSearch {
    DWORD pid;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND hwnd, LPARAM lParam)
{
    TopSearch *s = reinterpret_cast<TopSearch *>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == s->pid && (!s->visibleOnly || IsWindowVisible(hwnd)))
        s->found.push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lParam)
{
    reinterpret_cast<std::vector<HWND> *>(lParam)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> out;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&out));
    return out;
}

// A message sent with a deadline; false with *error set when the window
// did not answer.
bool Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT *result, const char *what,
          std::string *error)
{
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, kSendMs, &r)) {
        *error = std::string(what) + " to " + Describe(hwnd) + ": no answer within " +
                 std::to_string(static_cast<unsigned long>(kSendMs)) + " ms (error " +
                 std::to_string(static_cast<unsigned long>(GetLastError())) + ")";
        return false;
    }
    *result = static_cast<LRESULT>(r);
    return true;
}

testing::AssertionResult Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, const char *what)
{
    if (!IsWindow(hwnd))
        return testing::AssertionFailure() << what << ": " << Hex(hwnd) << " is no window";
    if (!PostMessageA(hwnd, msg, wParam, lParam))
        return testing::AssertionFailure() << what << " to " << Describe(hwnd) << ": PostMessage failed, error "
                                           << GetLastError();
    return testing::AssertionSuccess();
}

template <class T>
Reply<T> Failed(const std::string &error)
{
    Reply<T> r;
    r.error = error;
    return r;
}

} // namespace

std::string Describe(HWND hwnd)
{
    if (!IsWindow(hwnd))
        return Hex(hwnd) + " (no window)";
    std::string out = Hex(hwnd) + " class \"" + ClassOf(hwnd) + "\"";
    if (GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CHILD)
        out += " id " + std::to_string(IdOf(hwnd));
    out += " text \"" + CaptionOf(hwnd) + "\"";
    out += IsWindowVisible(hwnd) ? " visible" : " hidden";
    return out;
}

std::string WindowSpec::Describe() const
{
    std::string out = "a top-level window";
    if (!className.empty())
        out += " of class \"" + className + "\"";
    if (!caption.empty())
        out += " captioned \"" + caption + "\"";
    if (!captionPart.empty())
        out += " with \"" + captionPart + "\" in its caption";
    if (visibleOnly)
        out += ", visible";
    return out;
}

std::vector<HWND> TopWindows(DWORD pid, bool visibleOnly)
{
    TopSearch s = {pid, visibleOnly, {}};
    EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

Reply<HWND> FindTopWindow(DWORD pid, const WindowSpec &spec)
{
    for (HWND w : TopWindows(pid))
        if (Matches(w, spec)) {
            Reply<HWND> r;
            r.value = w;
            return r;
        }
    return Failed<HWND>("no " + spec.Describe() + " in process " + std::to_string(static_cast<unsigned long>(pid)) +
                        "; its windows:" + ListWindows(TopWindows(pid)));
}

Reply<HWND> WaitTopWindow(DWORD pid, const WindowSpec &spec, int timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        Reply<HWND> r = FindTopWindow(pid, spec);
        if (r.ok())
            return r;
        if (GetTickCount() - start >= static_cast<DWORD>(timeoutMs)) {
            r.error = "waited " + std::to_string(timeoutMs) + " ms in vain: " + r.error;
            return r;
        }
        Sleep(kPollMs);
    }
}

testing::AssertionResult WaitGone(HWND hwnd, int timeoutMs, bool hiddenCounts)
{
    DWORD start = GetTickCount();
    while (IsWindow(hwnd) && !(hiddenCounts && !IsWindowVisible(hwnd))) {
        if (GetTickCount() - start >= static_cast<DWORD>(timeoutMs))
            return testing::AssertionFailure() << "waited " << timeoutMs << " ms in vain for " << Describe(hwnd)
                                               << " to go";
        Sleep(kPollMs);
    }
    return testing::AssertionSuccess();
}

Reply<HWND> Child(HWND parent, int id)
{
    std::vector<HWND> all = Children(parent);
    for (HWND w : all)
        if (IdOf(w) == id) {
            Reply<HWND> r;
            r.value = w;
            return r;
        }
    return Failed<HWND>("no child with id " + std::to_string(id) + " in " + Describe(parent) +
                        "; its children:" + ListWindows(all));
}

Reply<HWND> ChildOfClass(HWND parent, const std::string &className, int index)
{
    std::vector<HWND> all = Children(parent);
    int n = 0;
    for (HWND w : all)
        if (_stricmp(ClassOf(w).c_str(), className.c_str()) == 0 && n++ == index) {
            Reply<HWND> r;
            r.value = w;
            return r;
        }
    return Failed<HWND>("no child of class \"" + className + "\" number " + std::to_string(index) + " in " +
                        Describe(parent) + "; its children:" + ListWindows(all));
}

testing::AssertionResult PostCommand(HWND hwnd, int id)
{
    return Post(hwnd, WM_COMMAND, MAKEWPARAM(id, 0), 0, ("WM_COMMAND " + std::to_string(id)).c_str());
}

testing::AssertionResult Click(HWND button) { return Post(button, BM_CLICK, 0, 0, "BM_CLICK"); }

testing::AssertionResult Close(HWND hwnd) { return Post(hwnd, WM_CLOSE, 0, 0, "WM_CLOSE"); }

Reply<std::string> Text(HWND hwnd)
{
    std::string error;
    LRESULT length = 0;
    if (!Send(hwnd, WM_GETTEXTLENGTH, 0, 0, &length, "WM_GETTEXTLENGTH", &error))
        return Failed<std::string>(error);
    std::vector<char> buf(static_cast<size_t>(length) + 1, '\0');
    LRESULT got = 0;
    if (!Send(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), &got, "WM_GETTEXT", &error))
        return Failed<std::string>(error);
    Reply<std::string> r;
    r.value.assign(buf.data(), static_cast<size_t>(got) < buf.size() ? static_cast<size_t>(got) : buf.size() - 1);
    return r;
}

testing::AssertionResult SetText(HWND hwnd, const std::string &text)
{
    std::string error;
    LRESULT r = 0;
    if (!Send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), &r, "WM_SETTEXT", &error))
        return testing::AssertionFailure() << error;
    if (!r)
        return testing::AssertionFailure() << "WM_SETTEXT refused by " << Describe(hwnd);
    return testing::AssertionSuccess();
}

Reply<int> ListCount(HWND list)
{
    std::string error;
    LRESULT n = 0;
    if (!Send(list, LB_GETCOUNT, 0, 0, &n, "LB_GETCOUNT", &error))
        return Failed<int>(error);
    if (n == LB_ERR)
        return Failed<int>("LB_GETCOUNT refused by " + Describe(list));
    Reply<int> r;
    r.value = static_cast<int>(n);
    return r;
}

Reply<std::string> ListText(HWND list, int index)
{
    std::string error;
    std::string what = "item " + std::to_string(index) + ": ";
    LRESULT length = 0;
    if (!Send(list, LB_GETTEXTLEN, index, 0, &length, "LB_GETTEXTLEN", &error))
        return Failed<std::string>(what + error);
    if (length == LB_ERR)
        return Failed<std::string>(what + "no such item in " + Describe(list));
    if (!(GetWindowLongPtrA(list, GWL_STYLE) & LBS_HASSTRINGS) &&
        (GetWindowLongPtrA(list, GWL_STYLE) & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)))
        return Failed<std::string>(what + "an owner-drawn list without strings; read its item data: " +
                                   Describe(list));
    // Wide: Wine hands an ANSI LB_GETTEXT from another process back
    // unconverted.
    std::vector<wchar_t> buf(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG, kSendMs,
                             &got))
        return Failed<std::string>(what + "LB_GETTEXT to " + Describe(list) + ": no answer within " +
                                   std::to_string(static_cast<unsigned long>(kSendMs)) + " ms");
    int chars = static_cast<LRESULT>(got) > 0 && got < buf.size() ? static_cast<int>(got) : 0;
    Reply<std::string> r;
    int bytes = WideCharToMultiByte(CP_ACP, 0, buf.data(), chars, nullptr, 0, nullptr, nullptr);
    r.value.resize(static_cast<size_t>(bytes));
    if (bytes > 0)
        WideCharToMultiByte(CP_ACP, 0, buf.data(), chars, &r.value[0], bytes, nullptr, nullptr);
    return r;
}

Reply<LRESULT> ListData(HWND list, int index)
{
    Reply<int> count = ListCount(list);
    if (!count.ok())
        return Failed<LRESULT>(count.error);
    if (index < 0 || index >= count.value)
        return Failed<LRESULT>("item " + std::to_string(index) + ": the list has " + std::to_string(count.value) +
                               " items: " + Describe(list));
    std::string error;
    Reply<LRESULT> r;
    if (!Send(list, LB_GETITEMDATA, index, 0, &r.value, "LB_GETITEMDATA", &error))
        return Failed<LRESULT>(error);
    return r;
}

Reply<std::vector<LRESULT>> ListAllData(HWND list)
{
    Reply<int> count = ListCount(list);
    if (!count.ok())
        return Failed<std::vector<LRESULT>>(count.error);
    Reply<std::vector<LRESULT>> r;
    for (int i = 0; i < count.value; ++i) {
        LRESULT data = 0;
        if (!Send(list, LB_GETITEMDATA, i, 0, &data, "LB_GETITEMDATA", &r.error))
            return r;
        r.value.push_back(data);
    }
    return r;
}

Reply<int> ListFind(HWND list, LRESULT data)
{
    Reply<std::vector<LRESULT>> all = ListAllData(list);
    if (!all.ok())
        return Failed<int>(all.error);
    Reply<int> r;
    r.value = -1;
    for (size_t i = 0; i < all.value.size(); ++i)
        if (all.value[i] == data) {
            r.value = static_cast<int>(i);
            break;
        }
    return r;
}

void PrintTo(const MenuItemState &s, std::ostream *os)
{
    *os << (s.grayed ? "grayed" : "enabled") << (s.checked ? ", checked" : "");
}

Reply<MenuItemState> MenuState(HWND window, int id)
{
    Reply<MenuItemState> r;
    // Where menus are shared between processes, straight from the menu.
    HMENU menu = GetMenu(window);
    UINT state = menu ? GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND) : static_cast<UINT>(-1);
    if (state != static_cast<UINT>(-1)) {
        r.value.grayed = (state & (MF_GRAYED | MF_DISABLED)) != 0;
        r.value.checked = (state & MF_CHECKED) != 0;
        return r;
    }
    // Elsewhere (Wine) from the program's answer to the test query.
    Reply<std::map<std::string, std::string>> answer = TestQuery(window);
    if (!answer.ok())
        return Failed<MenuItemState>("menu item " + std::to_string(id) + ": " + answer.error);
    auto it = answer.value.find(kTestMenuKeyPrefix + std::to_string(id));
    if (it == answer.value.end())
        return Failed<MenuItemState>("no menu item " + std::to_string(id) + " on " + Describe(window));
    const std::string kGrayed = "grayed";
    r.value.grayed = it->second.compare(0, kGrayed.size(), kGrayed) == 0;
    r.value.checked = it->second.find(",checked") != std::string::npos;
    return r;
}

namespace {

const char kAnswerClass[] = "TavrineTestQueryDriver";

struct PendingAnswer {
    ULONG_PTR cookie = 0;
    bool answered = false;
    std::string text;
};

LRESULT CALLBACK AnswerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COPYDATA) {
        PendingAnswer *p = reinterpret_cast<PendingAnswer *>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        const COPYDATASTRUCT *data = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
        if (!p || !data || data->dwData != p->cookie || p->answered)
            return FALSE; // a late answer to an earlier query
        p->text.assign(static_cast<const char *>(data->lpData), data->lpData ? data->cbData : 0);
        p->answered = true;
        return TRUE;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace

Reply<std::map<std::string, std::string>> TestQuery(HWND window, int timeoutMs)
{
    using Answer = std::map<std::string, std::string>;
    static ULONG_PTR lastCookie = 0;
    static bool registered = false;
    UINT message = TestQueryMessage();
    if (!message)
        return Failed<Answer>("cannot register the test query message");
    HINSTANCE inst = GetModuleHandleA(nullptr);
    if (!registered) {
        WNDCLASSA wc;
        std::memset(&wc, 0, sizeof wc);
        wc.lpfnWndProc = AnswerProc;
        wc.hInstance = inst;
        wc.lpszClassName = kAnswerClass;
        registered = RegisterClassA(&wc) != 0;
        if (!registered)
            return Failed<Answer>("cannot register the test query's window class");
    }
    // A plain hidden top-level window: a message-only one cannot be sent to
    // from every other process.
    HWND self = CreateWindowExA(0, kAnswerClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, inst, nullptr);
    if (!self)
        return Failed<Answer>("cannot create the test query's window");
    PendingAnswer pending;
    pending.cookie = ++lastCookie;
    SetWindowLongPtrA(self, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&pending));

    Reply<Answer> r;
    if (!PostMessageA(window, message, reinterpret_cast<WPARAM>(self), static_cast<LPARAM>(pending.cookie))) {
        r.error = "cannot post the test query to " + Describe(window);
    } else {
        DWORD start = GetTickCount();
        while (!pending.answered) {
            DWORD waited = GetTickCount() - start;
            if (waited >= static_cast<DWORD>(timeoutMs))
                break;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(timeoutMs) - waited, QS_ALLINPUT);
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
        }
        if (!pending.answered)
            r.error = "no answer to the test query from " + Describe(window) + " within " +
                      std::to_string(timeoutMs) + " ms";
        else if (!ParseTestAnswer(pending.text, &r.value))
            r.error = "a malformed answer to the test query from " + Describe(window) + ": \"" + pending.text + "\"";
    }
    SetWindowLongPtrA(self, GWLP_USERDATA, 0);
    DestroyWindow(self);
    return r;
}

Reply<std::string> TestValue(HWND window, const std::string &key, int timeoutMs)
{
    Reply<std::map<std::string, std::string>> all = TestQuery(window, timeoutMs);
    if (!all.ok())
        return Failed<std::string>(all.error);
    auto it = all.value.find(key);
    if (it == all.value.end()) {
        std::string keys;
        for (const auto &p : all.value)
            keys += " " + p.first;
        return Failed<std::string>("the test query's answer has no \"" + key + "\"; it has:" + keys);
    }
    Reply<std::string> r;
    r.value = it->second;
    return r;
}

testing::AssertionResult WaitTestValue(HWND window, const std::string &key, const std::string &value, int timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        Reply<std::string> got = TestValue(window, key, timeoutMs);
        if (got == value)
            return testing::AssertionSuccess();
        if (GetTickCount() - start >= static_cast<DWORD>(timeoutMs))
            return testing::AssertionFailure() << "waited " << timeoutMs << " ms in vain for " << key << "=" << value
                                               << " from " << Describe(window) << "; last: " << got;
        Sleep(kPollMs);
    }
}

namespace {

const char kXdotool[] = "/usr/bin/xdotool";
const char kTimeout[] = "/usr/bin/timeout"; // bounds a Linux program that Wine waits for without a deadline
// Wine's property holding a window's X window.
const char kWineXWindowProp[] = "__wine_x11_whole_window";

// Wine runs a Linux program through this ntdll export and, waiting, answers
// its exit status (or an NTSTATUS when it cannot start it). CreateProcess
// starts one too, but gives no handle to wait on.
typedef LONG(__cdecl *UnixSpawn)(char *const argv[], int wait);

UnixSpawn FindUnixSpawn()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll ? reinterpret_cast<UnixSpawn>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "__wine_unix_spawnvp")))
                 : nullptr;
}

bool LinuxFileExists(const char *path) { return GetFileAttributesA(BuildPath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

} // namespace

bool HaveXdotool() { return FindUnixSpawn() && LinuxFileExists(kXdotool) && LinuxFileExists(kTimeout); }

testing::AssertionResult Xdotool(const std::vector<std::string> &args, int timeoutMs)
{
    std::string line = "xdotool";
    for (const std::string &a : args)
        line += " " + a;
    UnixSpawn spawn = FindUnixSpawn();
    if (!spawn || !LinuxFileExists(kXdotool))
        return testing::AssertionFailure() << line << ": xdotool cannot be run here";
    const int kMsPerSecond = 1000;
    std::vector<std::string> words = {kTimeout, std::to_string((timeoutMs + kMsPerSecond - 1) / kMsPerSecond), kXdotool};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    LONG status = spawn(argv.data(), 1);
    if (status != 0)
        return testing::AssertionFailure() << line << ": ended with status " << status
                                           << (status == 124 ? " (timed out)" : "");
    return testing::AssertionSuccess();
}

testing::AssertionResult PressKeys(HWND window, const std::string &keys)
{
    HANDLE x = GetPropA(window, kWineXWindowProp);
    if (!x)
        return testing::AssertionFailure() << "no X window known for " << Describe(window);
    std::string id = std::to_string(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(x)));
    return Xdotool({"windowfocus", "--sync", id, "key", "--clearmodifiers", keys});
}

} // namespace gui
} // namespace tvtest
