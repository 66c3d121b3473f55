// Starting the system's programs from a test, with a deadline.
//
//   tvtest::Process ctl(inst.Program(FAKECTL_EXE, {"1"}).Env("TAVRINE_CLOCK_SCALE", "10"));
//   ...                                          // talk to it
//   tvtest::RunResult r = ctl.Wait(20000);       // its end, or killed after 20 s
//   EXPECT_EQ(0, r.code) << r;                   // prints how it ended and what it wrote
//
//   tvtest::RunResult t = tvtest::Run(tvtest::Command(TVPACKET_EXE, {"send", "SYSMAN", "PING"}), 30000);
//
// A program's standard output and error go to a file of its own (stdin is
// empty); Output() and the result give what it wrote. Every program runs
// together with what it starts in turn (a job object on Windows, a process
// group natively): Kill(), a Wait() past its deadline and the destructor
// end them all, so nothing a test started outlives it. Should the test
// process itself die, the job closes and ends them (natively the program
// gets a parent-death signal). Declare a Process after the Installation it
// runs on: it is then ended before the installation is removed.
//
// Works in both trees: CreateProcess under Windows and Wine
// (process_win.cpp), fork and exec natively (process_posix.cpp).
#ifndef TAVRINE_TESTS_SUPPORT_PROCESS_H
#define TAVRINE_TESTS_SUPPORT_PROCESS_H

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace tvtest {

// A file of the build tree as a started program (and the test's own file
// calls) can name it. CMake gives the Windows tree the Linux host's paths
// ("/work/..."); Wine shows "/" as drive Z:, so there they become
// "Z:\work\...". Any other path only gets the host's separators.
std::string BuildPath(const std::string &path);

// What to start.
struct Command {
    Command() = default;
    Command(std::string program, std::vector<std::string> args = {})
        : program(std::move(program)), args(std::move(args))
    {
    }

    std::string program;                                  // its file; no PATH search; BuildPath applied
    std::vector<std::string> args;                        // one entry per argument, quoted as needed
    std::vector<std::pair<std::string, std::string>> env; // on top of the test's environment
    std::string workDir;                                  // empty: the test's working directory

    // Sets a variable for the program; an empty value removes it.
    Command &Env(const std::string &name, const std::string &value)
    {
        env.emplace_back(name, value);
        return *this;
    }
    Command &In(const std::string &dir)
    {
        workDir = dir;
        return *this;
    }
};

// How a program ended.
struct RunResult {
    enum State { kNotStarted, kRunning, kExited, kTimedOut, kKilled };
    State state = kNotStarted;
    int code = -1;      // the exit code once kExited; -1 otherwise (killed too)
    std::string output; // what it wrote to stdout and stderr
    std::string error;  // kNotStarted: why
    int waitedMs = 0;   // kTimedOut: the deadline it missed

    bool Exited() const { return state == kExited; }
    // "exit code 0", "timed out after 20000 ms, killed", "killed by the
    // test" (Kill() while it ran), "not started: ...".
    std::string Describe() const;
};
// Describe() and then the output, for a failure message.
std::ostream &operator<<(std::ostream &os, const RunResult &r);

class Process {
public:
    Process();
    explicit Process(const Command &cmd);
    ~Process(); // Kill()
    Process(Process &&other) noexcept;
    Process &operator=(Process &&other) noexcept;
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    // Starts the program; false when it cannot be (Result() tells why). A
    // Process runs one program: Start on a started one kills that first.
    bool Start(const Command &cmd);
    bool Started() const;
    // True while the program itself runs.
    bool Running();
    // Waits up to timeoutMs for the program's end. Still running then, it is
    // killed with what it started, and the result says kTimedOut. Again
    // after the end: the same result at once.
    RunResult Wait(int timeoutMs);
    // The state now, without waiting (kRunning while it runs).
    RunResult Result();
    // Ends the program and everything it started, at once.
    void Kill();
    // What it wrote to stdout and stderr so far.
    std::string Output() const;
    // The program's process id (to find its windows); 0 before a start.
    unsigned long Id() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Starts the program and waits for its end: Process(cmd).Wait(timeoutMs).
RunResult Run(const Command &cmd, int timeoutMs);

} // namespace tvtest

#endif
