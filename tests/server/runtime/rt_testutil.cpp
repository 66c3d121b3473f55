#include "rt_testutil.h"

#include <gtest/gtest.h>

namespace rt {
uint32_t FakeClock::now = 0;
uint32_t FakeClock::slept = 0;
int FakeClock::sleeps = 0;
RtTime FakeClock::time = {2026, 12, 10, 13, 5, 9};
void (*FakeClock::onSleep)(uint32_t) = nullptr;

void QuietBeep() {}

namespace {
// The tests log errors on purpose: no system beeps for them (under Wine
// without a sound device the first one stalls for seconds).
struct QuietEnvironment : ::testing::Environment {
    void SetUp() override { SetBeepHook(QuietBeep); }
};
const ::testing::Environment *const g_quiet = ::testing::AddGlobalTestEnvironment(new QuietEnvironment);
} // namespace
} // namespace rt
