// The message box guard (guidriver.h): a thread that watches another
// process's top-level windows for message boxes and ends each one.
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "tests/support/gui/guidriver.h"

namespace tvtest {
namespace gui {

namespace {

const DWORD kWatchMs = 50;
const int kHighestBoxButton = 11; // IDOK .. IDCONTINUE: what a message box offers

std::string ClassName(HWND hwnd)
{
    char buf[64] = "";
    GetClassNameA(hwnd, buf, sizeof buf);
    return buf;
}

std::string WindowText(HWND hwnd)
{
    char buf[4096] = "";
    GetWindowTextA(hwnd, buf, sizeof buf);
    return buf;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lParam)
{
    reinterpret_cast<std::vector<HWND> *>(lParam)->push_back(hwnd);
    return TRUE;
}

struct BoxWindow {
    HWND hwnd = nullptr;
    BoxSeen seen;
    std::vector<std::pair<int, HWND>> buttons; // id, window
};

// A dialog made of texts and push buttons with message-box ids only.
bool ReadBox(HWND hwnd, BoxWindow *box)
{
    if (!IsWindowVisible(hwnd) || ClassName(hwnd) != "#32770")
        return false;
    std::vector<HWND> children;
    EnumChildWindows(hwnd, CollectChild, reinterpret_cast<LPARAM>(&children));
    box->hwnd = hwnd;
    box->seen.caption = WindowText(hwnd);
    for (HWND c : children) {
        std::string cls = ClassName(c);
        std::string text = WindowText(c);
        if (_stricmp(cls.c_str(), "Static") == 0) {
            if (!text.empty())
                box->seen.text += (box->seen.text.empty() ? "" : "\n") + text;
            continue;
        }
        LONG_PTR kind = GetWindowLongPtrA(c, GWL_STYLE) & BS_TYPEMASK;
        int id = static_cast<int>(GetWindowLongPtrA(c, GWLP_ID));
        if (_stricmp(cls.c_str(), "Button") != 0 || (kind != BS_PUSHBUTTON && kind != BS_DEFPUSHBUTTON) || id < IDOK ||
            id > kHighestBoxButton)
            return false;
        box->buttons.emplace_back(id, c);
        box->seen.buttons.push_back(text);
    }
    return !box->buttons.empty();
}

HWND FindButton(const BoxWindow &box, int id)
{
    for (const auto &b : box.buttons)
        if (b.first == id)
            return b.second;
    return nullptr;
}

bool Contains(const std::string &s, const std::string &part) { return part.empty() || s.find(part) != std::string::npos; }

} // namespace

std::string BoxSeen::Describe() const
{
    std::string out = "caption \"" + caption + "\", text \"" + text + "\", buttons";
    for (const std::string &b : buttons)
        out += " [" + b + "]";
    out += pressed ? ", ended with button " + std::to_string(pressed) : ", could not be ended";
    return out;
}

std::string GuardResult::Report() const
{
    std::string out;
    for (const std::string &p : problems)
        out += p + "\n";
    out += std::to_string(seen.size()) + " message box(es) seen";
    for (const BoxSeen &b : seen)
        out += "\n  " + std::string(b.expectation < 0 ? "unexpected: " : "expected: ") + b.Describe();
    return out;
}

struct MessageBoxGuard::Impl {
    DWORD pid;
    mutable std::mutex lock;
    std::vector<BoxSpec> expected;
    std::vector<int> came; // per expectation
    std::vector<std::string> allowed;
    std::vector<BoxSeen> seen;
    std::set<HWND> handled;
    std::atomic<bool> stop{false};
    std::thread watcher;
    bool finished = false;

    void Watch()
    {
        while (!stop) {
            std::vector<HWND> windows = TopWindows(pid, true);
            for (HWND w : windows)
                Handle(w);
            std::lock_guard<std::mutex> g(lock);
            for (auto it = handled.begin(); it != handled.end();)
                it = IsWindow(*it) ? std::next(it) : handled.erase(it);
            Sleep(kWatchMs);
        }
    }

    void Handle(HWND hwnd)
    {
        BoxWindow box;
        {
            std::lock_guard<std::mutex> g(lock);
            if (handled.count(hwnd))
                return;
        }
        if (!ReadBox(hwnd, &box))
            return;
        std::lock_guard<std::mutex> g(lock);
        for (const std::string &a : allowed)
            if (Contains(box.seen.caption, a))
                return;
        int want = 0;
        for (size_t i = 0; i < expected.size(); ++i)
            if (came[i] < expected[i].times && Contains(box.seen.caption, expected[i].captionPart) &&
                Contains(box.seen.text, expected[i].textPart)) {
                box.seen.expectation = static_cast<int>(i);
                ++came[i];
                want = expected[i].button;
                break;
            }
        box.seen.wanted = want;
        // An unexpected box, or one without the button asked for, is ended
        // with Cancel, or its first button, so that the program goes on.
        HWND button = FindButton(box, want);
        if (!button)
            button = FindButton(box, want = IDCANCEL);
        if (!button) {
            want = box.buttons.front().first;
            button = box.buttons.front().second;
        }
        if (button && PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(want, BN_CLICKED), reinterpret_cast<LPARAM>(button)))
            box.seen.pressed = want;
        handled.insert(hwnd);
        seen.push_back(box.seen);
    }
};

MessageBoxGuard::MessageBoxGuard(DWORD pid) : impl_(new Impl)
{
    impl_->pid = pid;
    impl_->watcher = std::thread([this] { impl_->Watch(); });
}

MessageBoxGuard::~MessageBoxGuard()
{
    if (!impl_->finished)
        Finish();
}

MessageBoxGuard &MessageBoxGuard::Expect(const BoxSpec &spec)
{
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->expected.push_back(spec);
    impl_->came.push_back(0);
    return *this;
}

MessageBoxGuard &MessageBoxGuard::Allow(const std::string &captionPart)
{
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->allowed.push_back(captionPart);
    return *this;
}

std::vector<BoxSeen> MessageBoxGuard::Seen() const
{
    std::lock_guard<std::mutex> g(impl_->lock);
    return impl_->seen;
}

testing::AssertionResult MessageBoxGuard::WaitBoxes(size_t n, int timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<BoxSeen> seen = Seen();
        if (seen.size() >= n)
            return testing::AssertionSuccess();
        if (GetTickCount() - start >= static_cast<DWORD>(timeoutMs)) {
            testing::AssertionResult r = testing::AssertionFailure();
            r << "waited " << timeoutMs << " ms in vain for " << n << " message box(es); " << seen.size() << " came";
            for (const BoxSeen &b : seen)
                r << "\n  " << b.Describe();
            return r;
        }
        Sleep(kWatchMs);
    }
}

GuardResult MessageBoxGuard::Finish()
{
    impl_->stop = true;
    if (impl_->watcher.joinable())
        impl_->watcher.join();
    GuardResult r;
    std::lock_guard<std::mutex> g(impl_->lock);
    r.seen = impl_->seen;
    for (const BoxSeen &b : r.seen) {
        if (b.expectation < 0)
            r.problems.push_back("unexpected message box: " + b.Describe());
        else if (b.pressed != b.wanted)
            r.problems.push_back("expected message box without button " + std::to_string(b.wanted) + ": " +
                                 b.Describe());
    }
    for (size_t i = 0; i < impl_->expected.size(); ++i) {
        const BoxSpec &e = impl_->expected[i];
        if (impl_->came[i] < e.times)
            r.problems.push_back("expected message box (caption with \"" + e.captionPart + "\", text with \"" +
                                 e.textPart + "\") came " + std::to_string(impl_->came[i]) + " of " +
                                 std::to_string(e.times) + " time(s)");
    }
    if (!impl_->finished && !r.ok())
        ADD_FAILURE() << "message box guard of process " << impl_->pid << ":\n" << r.Report();
    impl_->finished = true;
    return r;
}

} // namespace gui
} // namespace tvtest
