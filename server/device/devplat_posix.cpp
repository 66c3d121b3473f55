// Process and thread priority of a device controller (native test tree):
// the tests run at the priority they were given.
#include "server/device/devplat.h"

void DevSetPriority(void) {}
