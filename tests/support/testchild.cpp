// The program process_test starts. Its arguments are steps, done in order:
//   args            prints each argument in brackets, one a line
//   env NAME        prints NAME=value, or "NAME unset"
//   cwd             prints the working directory
//   err TEXT        prints TEXT to stderr
//   sleep MS        sleeps
//   spawn FILE      starts a copy of itself that writes its process number
//                   to FILE and then sleeps a minute (a program the program
//                   started, for the tests of killing)
//   exit N          ends with N
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#define getcwd _getcwd
#else
#include <time.h>
#include <unistd.h>
#endif

static void SleepMs(int ms)
{
#ifdef _WIN32
    Sleep(static_cast<DWORD>(ms));
#else
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
#endif
}

static void Spawn(const char *self, const char *file)
{
#ifdef _WIN32
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string line = std::string("\"") + path + "\" pid \"" + file + "\" sleep 60000";
    STARTUPINFOA si;
    std::memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
#else
    if (fork() == 0) {
        execl(self, self, "pid", file, "sleep", "60000", static_cast<char *>(nullptr));
        _exit(127);
    }
#endif
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const char *step = argv[i];
        const char *arg = i + 1 < argc ? argv[i + 1] : "";
        if (std::strcmp(step, "args") == 0) {
            for (int k = 0; k < argc; ++k)
                std::printf("[%s]\n", argv[k]);
        } else if (std::strcmp(step, "env") == 0) {
            const char *v = std::getenv(arg);
            if (v)
                std::printf("%s=%s\n", arg, v);
            else
                std::printf("%s unset\n", arg);
            ++i;
        } else if (std::strcmp(step, "cwd") == 0) {
            char buf[1024];
            std::printf("%s\n", getcwd(buf, sizeof buf) ? buf : "?");
        } else if (std::strcmp(step, "err") == 0) {
            std::fprintf(stderr, "%s\n", arg);
            ++i;
        } else if (std::strcmp(step, "sleep") == 0) {
            std::fflush(stdout);
            SleepMs(std::atoi(arg));
            ++i;
        } else if (std::strcmp(step, "spawn") == 0) {
            Spawn(argv[0], arg);
            ++i;
        } else if (std::strcmp(step, "pid") == 0) {
            FILE *f = std::fopen(arg, "w");
            if (f) {
#ifdef _WIN32
                std::fprintf(f, "%lu", static_cast<unsigned long>(GetCurrentProcessId()));
#else
                std::fprintf(f, "%ld", static_cast<long>(getpid()));
#endif
                std::fclose(f);
            }
            ++i;
        } else if (std::strcmp(step, "exit") == 0) {
            std::fflush(stdout);
            return std::atoi(arg);
        }
        std::fflush(stdout);
    }
    return 0;
}
