#include "tests/support/rt_testutil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

#include "server/runtime/consoleio.h"
#include "tests/support/tempdir.h"

namespace fs = std::filesystem;

namespace rt {
uint32_t FakeClock::now = 0;
uint32_t FakeClock::slept = 0;
int FakeClock::sleeps = 0;
RtTime FakeClock::time = {2026, 12, 10, 13, 5, 9};
void (*FakeClock::onSleep)(uint32_t) = nullptr;

void QuietBeep() {}

std::string ScratchDir(const char *name)
{
    // Kept until the program ends, then removed.
    static struct Made {
        std::vector<std::string> paths;
        ~Made()
        {
            for (const std::string &p : paths)
                tvtest::RemoveTree(p);
        }
    } made;
    // A short name (some tests send the folder in a packet field of 64
    // bytes), made unique by trying another random part while one exists.
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec)
        base = fs::current_path();
    std::mt19937 random(std::random_device{}() ^
                        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char leaf[64];
        std::snprintf(leaf, sizeof leaf, "tvrt_%s_%04x", name, static_cast<unsigned>(random() & 0xFFFF));
        fs::path p = base / leaf;
        if (fs::create_directory(p, ec) && !ec) {
            made.paths.push_back(p.string());
            return p.string() + "\\";
        }
    }
    std::fprintf(stderr, "ScratchDir: cannot create a scratch folder under %s\n", base.string().c_str());
    std::abort();
}

namespace {
// The tests log errors on purpose: no system beeps for them (under Wine
// without a sound device the first one stalls for seconds).
struct QuietEnvironment : ::testing::Environment {
    void SetUp() override { SetBeepHook(QuietBeep); }
};
const ::testing::Environment *const g_quiet = ::testing::AddGlobalTestEnvironment(new QuietEnvironment);
} // namespace
} // namespace rt
