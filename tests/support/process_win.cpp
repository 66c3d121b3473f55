// Processes under Windows and Wine: CreateProcess into a job object that
// ends with the Process (and with the test, should that die first).
#include "tests/support/process.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "tests/support/tempdir.h"

namespace tvtest {

namespace {

const UINT kKilledCode = 9;
const DWORD kEndWaitMs = 10000; // for killed programs to be gone

// One argument as the C runtime splits the command line again.
std::string Quote(const std::string &arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    std::string out = "\"";
    for (size_t i = 0;; ++i) {
        size_t slashes = 0;
        while (i < arg.size() && arg[i] == '\\') {
            ++i;
            ++slashes;
        }
        if (i == arg.size()) {
            out.append(slashes * 2, '\\');
            break;
        }
        if (arg[i] == '"')
            out.append(slashes * 2 + 1, '\\');
        else
            out.append(slashes, '\\');
        out += arg[i];
    }
    return out + "\"";
}

std::string NameOf(const std::string &var)
{
    size_t eq = var.find('=', 1); // "=C:=C:\..." entries begin with '='
    return var.substr(0, eq);
}

// This process's environment with the changes, as CreateProcess takes it.
std::vector<char> EnvironmentBlock(const std::vector<std::pair<std::string, std::string>> &changes)
{
    std::vector<std::string> vars;
    char *block = GetEnvironmentStrings();
    for (const char *p = block; p && *p; p += std::strlen(p) + 1)
        vars.push_back(p);
    if (block)
        FreeEnvironmentStrings(block);
    for (const auto &c : changes) {
        vars.erase(std::remove_if(vars.begin(), vars.end(),
                                  [&](const std::string &v) { return _stricmp(NameOf(v).c_str(), c.first.c_str()) == 0; }),
                   vars.end());
        if (!c.second.empty())
            vars.push_back(c.first + "=" + c.second);
    }
    std::sort(vars.begin(), vars.end(), [](const std::string &a, const std::string &b) {
        return _stricmp(NameOf(a).c_str(), NameOf(b).c_str()) < 0;
    });
    std::vector<char> out;
    for (const std::string &v : vars)
        out.insert(out.end(), v.c_str(), v.c_str() + v.size() + 1);
    out.push_back('\0');
    if (vars.empty())
        out.push_back('\0');
    return out;
}

std::string ReadShared(const std::string &path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "";
    std::string out;
    char buf[8192];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n)
        out.append(buf, n);
    CloseHandle(h);
    return out;
}

std::string LastError(const char *what)
{
    return std::string(what) + " failed, error " + std::to_string(static_cast<unsigned long>(GetLastError()));
}

} // namespace

struct Process::Impl {
    HANDLE process = nullptr;
    HANDLE job = nullptr;
    DWORD id = 0;
    RunResult result;
    std::unique_ptr<TempDir> dir; // the output file
    std::string outPath;

    // Notes the end of the program itself; true when it has ended.
    bool Poll(DWORD ms)
    {
        if (result.state != RunResult::kRunning)
            return true;
        if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0)
            return false;
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        result.state = RunResult::kExited;
        result.code = static_cast<int>(code);
        return true;
    }

    // Ends the program and the rest of its job, and waits (bounded) until
    // they are gone, so that their files can be removed.
    void KillAll(RunResult::State as)
    {
        bool running = process && !Poll(0);
        if (job)
            TerminateJobObject(job, kKilledCode);
        if (running) {
            TerminateProcess(process, kKilledCode);
            WaitForSingleObject(process, kEndWaitMs);
            result.state = as;
            result.code = -1;
        }
        if (job) {
            DWORD start = GetTickCount();
            for (;;) {
                JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info;
                if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info,
                                               nullptr) ||
                    info.ActiveProcesses == 0 || GetTickCount() - start > kEndWaitMs)
                    break;
                Sleep(20);
            }
        }
    }

    ~Impl()
    {
        if (process)
            KillAll(RunResult::kKilled);
        if (job)
            CloseHandle(job);
        if (process)
            CloseHandle(process);
    }
};

Process::Process() : impl_(new Impl) {}
Process::Process(const Command &cmd) : impl_(new Impl) { Start(cmd); }
Process::~Process() = default;
Process::Process(Process &&other) noexcept = default;
Process &Process::operator=(Process &&other) noexcept = default;

bool Process::Start(const Command &cmd)
{
    impl_.reset(new Impl); // ends what ran before
    Impl &im = *impl_;
    im.dir.reset(new TempDir("proc"));
    im.outPath = im.dir->File("output.txt");

    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE out = CreateFileA(im.outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        im.result.error = LastError("creating the output file");
        return false;
    }
    HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        in = nullptr;

    std::string line = "\"" + BuildPath(cmd.program) + "\"";
    for (const std::string &a : cmd.args)
        line += " " + Quote(a);
    std::vector<char> lineBuf(line.begin(), line.end());
    lineBuf.push_back('\0');
    std::vector<char> env = EnvironmentBlock(cmd.env);
    std::string workDir = cmd.workDir.empty() ? "" : BuildPath(cmd.workDir);

    im.job = CreateJobObjectA(nullptr, nullptr);
    if (im.job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
        std::memset(&limits, 0, sizeof limits);
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(im.job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }

    STARTUPINFOA si;
    std::memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi;
    BOOL ok = CreateProcessA(nullptr, lineBuf.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS | CREATE_SUSPENDED,
                             env.data(), workDir.empty() ? nullptr : workDir.c_str(), &si, &pi);
    std::string failure = ok ? "" : LastError("CreateProcess");
    CloseHandle(out);
    if (in)
        CloseHandle(in);
    if (!ok) {
        im.result.error = failure + ": " + line;
        return false;
    }
    if (im.job && !AssignProcessToJobObject(im.job, pi.hProcess)) {
        // Without the job only the program itself can be ended.
        CloseHandle(im.job);
        im.job = nullptr;
    }
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    im.process = pi.hProcess;
    im.id = pi.dwProcessId;
    im.result.state = RunResult::kRunning;
    return true;
}

bool Process::Started() const { return impl_ && impl_->process; }

bool Process::Running() { return Started() && !impl_->Poll(0); }

RunResult Process::Wait(int timeoutMs)
{
    if (Started() && !impl_->Poll(timeoutMs < 0 ? 0 : static_cast<DWORD>(timeoutMs))) {
        impl_->KillAll(RunResult::kTimedOut);
        impl_->result.waitedMs = timeoutMs;
    }
    return Result();
}

RunResult Process::Result()
{
    if (!impl_)
        return RunResult();
    if (Started())
        impl_->Poll(0);
    RunResult r = impl_->result;
    r.output = Output();
    return r;
}

void Process::Kill()
{
    if (Started())
        impl_->KillAll(RunResult::kKilled);
}

unsigned long Process::Id() const { return impl_ ? impl_->id : 0; }

std::string Process::Output() const { return impl_ && !impl_->outPath.empty() ? ReadShared(impl_->outPath) : ""; }

} // namespace tvtest
