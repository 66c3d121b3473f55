// Processes natively: fork and exec into a process group of the program's
// own. The program stays unreaped (a zombie once it ends) until the Process
// goes, so that its group cannot be taken by another process before the
// group is killed.
#include "tests/support/process.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

extern char **environ;

namespace tvtest {

namespace {

const int kEndWaitMs = 10000; // for a killed program to be gone

void SleepMs(int ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}

long NowMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

} // namespace

struct Process::Impl {
    pid_t pid = -1;
    RunResult result;
    std::unique_ptr<TempDir> dir; // the output file
    std::string outPath;

    // Notes the end of the program itself, leaving it unreaped; true when it
    // has ended.
    bool Poll()
    {
        if (result.state != RunResult::kRunning)
            return true;
        siginfo_t info;
        std::memset(&info, 0, sizeof info);
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != pid)
            return false;
        result.state = RunResult::kExited;
        // A signal shows as the shell shows it: 128 + its number.
        result.code = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
        return true;
    }

    bool PollFor(int ms)
    {
        long end = NowMs() + ms;
        while (!Poll()) {
            if (NowMs() >= end)
                return false;
            SleepMs(10);
        }
        return true;
    }

    // Ends the program and the rest of its group.
    void KillAll(RunResult::State as)
    {
        bool running = !Poll();
        kill(-pid, SIGKILL);
        if (running) {
            kill(pid, SIGKILL);
            PollFor(kEndWaitMs);
            result.state = as;
            result.code = -1;
        }
    }

    ~Impl()
    {
        if (pid > 0) {
            KillAll(RunResult::kKilled);
            int status = 0;
            waitpid(pid, &status, 0);
        }
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

    // Everything the child needs is made before the fork.
    std::string program = BuildPath(cmd.program);
    std::vector<std::string> args = {program};
    args.insert(args.end(), cmd.args.begin(), cmd.args.end());
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    std::vector<std::string> vars;
    for (char **e = environ; e && *e; ++e)
        vars.push_back(*e);
    for (const auto &c : cmd.env) {
        for (size_t i = 0; i < vars.size();)
            if (vars[i].compare(0, c.first.size() + 1, c.first + "=") == 0)
                vars.erase(vars.begin() + static_cast<long>(i));
            else
                ++i;
        if (!c.second.empty())
            vars.push_back(c.first + "=" + c.second);
    }
    std::vector<char *> envp;
    for (std::string &v : vars)
        envp.push_back(&v[0]);
    envp.push_back(nullptr);
    std::string workDir = cmd.workDir.empty() ? "" : BuildPath(cmd.workDir);

    int out = open(im.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int report[2]; // the child's exec failure
    if (out < 0 || in < 0 || pipe2(report, O_CLOEXEC) != 0) {
        im.result.error = std::string("output file or pipe: ") + std::strerror(errno);
        if (out >= 0)
            close(out);
        if (in >= 0)
            close(in);
        return false;
    }
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
#ifdef __linux__
        prctl(PR_SET_PDEATHSIG, SIGKILL); // the test's end is the program's
        if (getppid() != parent)
            _exit(127);
#endif
        int err = 0;
        if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0 ||
            (!workDir.empty() && chdir(workDir.c_str()) != 0))
            err = errno;
        else {
            execve(program.c_str(), argv.data(), envp.data());
            err = errno;
        }
        ssize_t w = write(report[1], &err, sizeof err);
        (void)w;
        _exit(127);
    }
    close(out);
    close(in);
    close(report[1]);
    if (pid < 0) {
        close(report[0]);
        im.result.error = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    setpgid(pid, pid); // also here: the group is there before any kill
    int err = 0;
    ssize_t got;
    do
        got = read(report[0], &err, sizeof err);
    while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got == static_cast<ssize_t>(sizeof err)) {
        int status = 0;
        waitpid(pid, &status, 0);
        im.result.error = program + ": " + std::strerror(err);
        return false;
    }
    im.pid = pid;
    im.result.state = RunResult::kRunning;
    return true;
}

bool Process::Started() const { return impl_ && impl_->pid > 0; }

bool Process::Running() { return Started() && !impl_->Poll(); }

RunResult Process::Wait(int timeoutMs)
{
    if (Started() && !impl_->PollFor(timeoutMs < 0 ? 0 : timeoutMs)) {
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
        impl_->Poll();
    RunResult r = impl_->result;
    r.output = Output();
    return r;
}

void Process::Kill()
{
    if (Started())
        impl_->KillAll(RunResult::kKilled);
}

unsigned long Process::Id() const { return impl_ && impl_->pid > 0 ? static_cast<unsigned long>(impl_->pid) : 0; }

std::string Process::Output() const { return impl_ && !impl_->outPath.empty() ? ReadWholeFile(impl_->outPath) : ""; }

} // namespace tvtest
