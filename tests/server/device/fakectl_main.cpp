// A device controller built with the scripted fake device: every operation
// succeeds, no call ever rings. Used by the process test.
#include "server/device/devctl.h"
#include "tests/server/device/fakelayer.h"

int main(int argc, char **argv)
{
    FakeStart();
    return DevProgramMain(argc, argv, &FakeLowerLayer);
}
