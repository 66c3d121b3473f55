// The parts of process.h that are the same on every platform.
#include "tests/support/process.h"

namespace tvtest {

std::string BuildPath(const std::string &path)
{
    std::string p = path;
#ifdef _WIN32
    if (p.size() > 1 && p[0] == '/' && p[1] != '/')
        p = "Z:" + p;
    for (char &c : p)
        if (c == '/')
            c = '\\';
#endif
    return p;
}

std::string RunResult::Describe() const
{
    switch (state) {
    case kNotStarted:
        return "not started: " + error;
    case kRunning:
        return "still running";
    case kExited:
        return "exit code " + std::to_string(code);
    case kTimedOut:
        return "timed out after " + std::to_string(waitedMs) + " ms, killed";
    case kKilled:
        return "killed by the test";
    }
    return "?";
}

std::ostream &operator<<(std::ostream &os, const RunResult &r)
{
    os << r.Describe();
    if (!r.output.empty())
        os << "; output:\n" << r.output;
    else
        os << "; no output";
    return os;
}

RunResult Run(const Command &cmd, int timeoutMs)
{
    Process p;
    if (!p.Start(cmd))
        return p.Result();
    return p.Wait(timeoutMs);
}

} // namespace tvtest
