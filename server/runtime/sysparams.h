// System parameters of the server programs and the device kind table.
//
// The areas come from the [SERVER] paragraph (else [SERVER-WKN]) of the
// system INI file TAVRINE.INI; the log file, message log keep days and
// language from [OPTIONS] of SETUP.INI in SystemArea\T-DB\. Every area ends
// with '\'.
#ifndef TAVRINE_SERVER_RUNTIME_SYSPARAMS_H
#define TAVRINE_SERVER_RUNTIME_SYSPARAMS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/status.h"

enum {
    SYS_PATH_MAX = 256,         // an area, its '\' included
    SYS_LOGFILE_MAX = 268,
    SYS_LANGUAGE_MAX = 3,
    SYS_PARAGRAPH_MAX = 280,
};

struct SystemParameters {
    char allUserArea[SYS_PATH_MAX + 1];
    char requestArea[SYS_PATH_MAX + 1];
    char serverArea[SYS_PATH_MAX + 1];
    char systemArea[SYS_PATH_MAX + 1];
    char mailArea[SYS_PATH_MAX + 1];
    char logFile[SYS_LOGFILE_MAX + 1];      // empty when the name was invalid
    uint16_t logKeepDays;                   // 0: daily message log off
    char language[SYS_LANGUAGE_MAX + 1];
    char serverParagraph[SYS_PARAGRAPH_MAX + 1];  // "[SERVER]"
    char devicesParagraph[SYS_PARAGRAPH_MAX + 1]; // "[DEVICES]"
};

// One set per process.
extern SystemParameters g_sysParams;

// Locates TAVRINE.INI and reads the parameters. With setupIni given,
// SETUP.INI stays open at its start for the caller, who closes it. Each
// failure is logged at level 6: 0xF018 TAVRINE.INI not found, 0xF00C it can't
// be opened, 0xF019 no [SERVER] paragraph, 0xF025 an area line missing,
// 0xF026 SETUP.INI can't be opened.
TvStatus ReadSystemParameters(FILE **setupIni);
// The same with the directory of TAVRINE.INI given (ending in '\').
TvStatus ReadSystemParametersFrom(const char *iniDir, FILE **setupIni);

// Takes the paragraph names ("[..]", first the server's, then the devices')
// and "/SERVICE" (any case) out of the arguments: the names into g_sysParams,
// "/SERVICE" into the server log's service mode (SetLogServiceMode). Gives the
// others in order (argv[0] first). The out vector stays valid until the next
// call.
void ParseServerArguments(int argc, char **argv, int *outCount, char ***outArgv);

// Sets every parameter to its default (no areas) and the server log's
// service mode off.
void ResetSystemParameters(void);

// ---------------------------------------------------------------- device kinds
enum : uint32_t {
    ROUTE_ANSWERS_CALLS = 0x40000000u,  // bit 30 of the send-route mask
    ROUTE_DIAL_PREFIX = 0x80000000u,    // bit 31, added by a dial prefix
    ROUTE_SCAN_MASK = 0x0000E000u,      // bits 13-15: scanning routes
};

struct DeviceKindRow {
    const char *name;
    uint32_t sendRoutes;
    uint32_t printRoutes;
};
extern const DeviceKindRow g_deviceKinds[];
extern const size_t g_deviceKindCount;

// 1 when name (any case) is a device kind, else 0.
int LookupDeviceType(const char *name);
// The kind's route masks; 0 for an unknown name.
uint32_t DeviceKindSendRoutes(const char *name);
uint32_t DeviceKindPrintRoutes(const char *name);
// The message format a route carries; 0 for an unknown route.
uint16_t DeviceTypeFormat(uint16_t route);

#endif
