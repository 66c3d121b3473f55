// Platform pieces of the device controller framework.
#ifndef TAVRINE_SERVER_DEVICE_DEVPLAT_H
#define TAVRINE_SERVER_DEVICE_DEVPLAT_H

// Raises the process to the high priority class and lowers its thread to
// the lowest thread priority, logging the outcome.
void DevSetPriority(void);

#endif
