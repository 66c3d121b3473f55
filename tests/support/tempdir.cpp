#include "tests/support/tempdir.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <process.h>
#define TV_GETPID _getpid
#else
#include <unistd.h>
#define TV_GETPID getpid
#endif

namespace fs = std::filesystem;

namespace tvtest {

namespace {

std::atomic<unsigned> g_counter{0};

unsigned RandomPart()
{
    std::random_device rd;
    return rd() ^ static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
}

} // namespace

TempDir::TempDir(const char *tag)
{
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec)
        base = fs::current_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Short: the system's packets carry folders of an installation in
        // fields of 64 characters. Two names alike are told apart by the
        // exclusive creation.
        char name[96];
        std::snprintf(name, sizeof name, "tv_%s_%x_%05x", tag, static_cast<unsigned>(TV_GETPID()),
                      (RandomPart() + g_counter.fetch_add(1) * 0x9E3779B9u) & 0xFFFFFu);
        fs::path p = base / name;
        if (fs::create_directory(p, ec) && !ec) {
            path_ = p.string();
            return;
        }
    }
    std::fprintf(stderr, "TempDir: cannot create a scratch folder under %s\n", base.string().c_str());
    std::abort();
}

TempDir::~TempDir()
{
    if (!RemoveTree(path_))
        std::fprintf(stderr, "TempDir: %s not removed whole\n", path_.c_str());
}

std::string TempDir::File(const std::string &name) const
{
    std::string rel = name;
    for (char &c : rel)
        if (c == '/' || c == '\\')
            c = static_cast<char>(fs::path::preferred_separator);
    return (fs::path(path_) / rel).string();
}

std::string TempDir::MakeDir(const std::string &name) const
{
    std::string p = File(name);
    std::error_code ec;
    fs::create_directories(p, ec);
    return p;
}

bool RemoveTree(const std::string &path)
{
    if (path.empty())
        return true;
    std::error_code ec;
    // A file still held by a process that is ending may refuse at first.
    for (int attempt = 0; attempt < 20; ++attempt) {
        fs::remove_all(path, ec);
        if (!fs::exists(path, ec))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

} // namespace tvtest
