// modemctl: the device controller for Class 2 / Class 2.0 fax modems on a
// serial port: the controller framework with the fax modem lower layer.
#include "server/device/devctl.h"
#include "server/device/modem/modem.h"
#include "server/runtime/rtclock.h"

int main(int argc, char **argv)
{
    // The modem controller's waits: 250 ms default tick, no minimum interval.
    SetSleepYieldTiming(250, 0);
    return DevProgramMain(argc, argv, &g_modemLowerLayer);
}
