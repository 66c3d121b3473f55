// The device controller process: start-up, main loop, ring and device check,
// request reading, and the packets the controller sends.
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/ctlfile.h"
#include "common/platform.h"
#include "common/status.h"
#include "server/device/devctl.h"
#include "server/runtime/console.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/srvdate.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"

#define QUEUEMAN_QUEUE "QUEUEMAN"
#define SYSMAN_QUEUE "SYSMAN"

enum {
    QUEUEMAN_TIMEOUT = 10,          // seconds
    SYSMAN_TIMEOUT = 10,
    CHECK_INTERVAL_MS = 30000,
    RING_POLL_MS = 500,
    LOOP_PAUSE_MS = 3000,           // SleepYieldShort makes it 1000 ms
};

// ---------------------------------------------------------------- packets out
static void SendToQueueman(uint8_t *buf, size_t len)
{
    if (!len)
        return;
    TvStatus st = MsgSendRequest(QUEUEMAN_QUEUE, QUEUEMAN_TIMEOUT, buf, static_cast<uint16_t>(len), nullptr, 0,
                                 nullptr);
    if (st && !g_dev.stopping)
        LogMessage(5, "Error 0x%X sending message to QUEUEMAN", st);
}

static void FillDeviceName(char *field, size_t size, uint16_t *number)
{
    SetPacketText(field, size, g_dev.typeName);
    *number = g_dev.number;
}

void SendStatusPacket(uint16_t statusCode, uint16_t page)
{
    PktStatus p{};
    p.hdr.cls = PKT_CLASS_QUEUEMAN;
    p.hdr.type = PKT_QM_STATUS;
    FillDeviceName(p.deviceName, sizeof p.deviceName, &p.deviceNumber);
    p.statusCode = statusCode;
    p.page = page;
    uint8_t buf[PKT_STATUS_SIZE];
    SendToQueueman(buf, EncodeStatus(&p, buf, sizeof buf));
}

void SendJobResult(uint16_t requestId, uint16_t replyCode, uint16_t connectSeconds, uint16_t pages)
{
    PktJobResult p{};
    p.hdr.cls = PKT_CLASS_QUEUEMAN;
    p.hdr.type = PKT_QM_JOB_RESULT;
    p.hdr.code = replyCode;
    FillDeviceName(p.deviceName, sizeof p.deviceName, &p.deviceNumber);
    p.requestId = requestId;
    p.statusCode = g_dev.state >= 1 && g_dev.state <= 12 ? StateStatusCode(g_dev.state) : 0;
    p.connectSeconds = connectSeconds;
    p.pages = pages;
    uint8_t buf[PKT_JOB_RESULT_SIZE];
    SendToQueueman(buf, EncodeJobResult(&p, buf, sizeof buf));
}

void SendScanResult(uint16_t requestId, uint16_t scanValue, uint16_t replyCode)
{
    PktScanResult p{};
    p.hdr.cls = PKT_CLASS_QUEUEMAN;
    p.hdr.type = PKT_QM_SCAN_RESULT;
    p.hdr.code = replyCode;
    FillDeviceName(p.deviceName, sizeof p.deviceName, &p.deviceNumber);
    p.requestId = requestId;
    p.statusCode = scanValue;
    p.scanValue = scanValue;
    uint8_t buf[PKT_SCAN_RESULT_SIZE];
    SendToQueueman(buf, EncodeScanResult(&p, buf, sizeof buf));
}

void SendNewMessage(const char *user, const char *controlFile)
{
    PktNewMessage p{};
    p.hdr.cls = PKT_CLASS_QUEUEMAN;
    p.hdr.type = PKT_QM_NEW_MESSAGE;
    FillDeviceName(p.deviceName, sizeof p.deviceName, &p.deviceNumber);
    SetPacketText(p.user, sizeof p.user, user);
    SetPacketText(p.controlFile, sizeof p.controlFile, controlFile);
    uint8_t buf[PKT_NEW_MESSAGE_SIZE];
    SendToQueueman(buf, EncodeNewMessage(&p, buf, sizeof buf));
}

static void SendRegister(void)
{
    const DevOptions *o = DevGetOptions();
    PktRegister p{};
    p.hdr.cls = PKT_CLASS_QUEUEMAN;
    p.hdr.type = PKT_QM_REGISTER;
    FillDeviceName(p.deviceName, sizeof p.deviceName, &p.deviceNumber);
    SetPacketText(p.queue, sizeof p.queue, g_dev.queue);
    p.tag = g_dev.tag;
    p.sendRoutes = o->sendRoutes;
    p.printRoutes = o->printRoutes;
    uint8_t buf[PKT_REGISTER_SIZE];
    SendToQueueman(buf, EncodeRegister(&p, buf, sizeof buf));
}

static void SendPortInit(void)
{
    PktPortInit p{};
    p.hdr.cls = PKT_CLASS_SYSMAN;
    p.hdr.type = PKT_SM_PORT_INIT;
    FillDeviceName(p.deviceName, sizeof p.deviceName, &p.deviceNumber);
    SetPacketText(p.queue, sizeof p.queue, g_dev.queue);
    SetPacketText(p.port, sizeof p.port, DevGetOptions()->port);
    uint8_t buf[PKT_PORT_INIT_SIZE];
    size_t len = EncodePortInit(&p, buf, sizeof buf);
    TvStatus st = MsgSendRequest(SYSMAN_QUEUE, SYSMAN_TIMEOUT, buf, static_cast<uint16_t>(len), nullptr, 0, nullptr);
    if (st)
        LogMessage(2, "Error 0x%X sending port init msg to SYSMAN", st);
}

static void SendControllerStarted(void)
{
    PktControllerStarted p{};
    p.hdr.cls = PKT_CLASS_SYSMAN;
    p.hdr.type = PKT_SM_CONTROLLER_STARTED;
    SetPacketText(p.id, sizeof p.id, g_dev.id);
    p.one = 1;
    uint8_t buf[PKT_CONTROLLER_STARTED_SIZE];
    size_t len = EncodeControllerStarted(&p, buf, sizeof buf);
    TvStatus st = MsgSendRequest(SYSMAN_QUEUE, SYSMAN_TIMEOUT, buf, static_cast<uint16_t>(len), nullptr, 0, nullptr);
    if (st)
        LogMessage(5, "Error 0x%X sending message to SYSMAN", st);
}

// ---------------------------------------------------------------- requests
static void RefuseJob(const unsigned char *pkt, uint16_t length, uint8_t type, uint16_t code)
{
    PktJob job;
    DecodeJob(pkt, length, &job);
    if (type == PKT_DEV_SCAN_JOB)
        SendScanResult(job.requestId, job.scanFormat, code);
    else
        SendJobResult(job.requestId, code, 0, 0);
}

static uint16_t RefusalCode(void)
{
    switch (g_dev.state) {
    case DEV_STATE_OFFLINE: return TV_E_DEV_OFFLINE;
    case DEV_STATE_ERROR:
    case DEV_STATE_FAILED: return TV_E_DEV_FAILED;
    default: return TV_E_DEV_BUSY;
    }
}

static int AbortableState(uint16_t s)
{
    return s == DEV_STATE_WAIT_CONNECT || s == DEV_STATE_SENDING || s == DEV_STATE_POLL_SEND ||
           s == DEV_STATE_POLL_RECEIVE || s == DEV_STATE_WAIT_SCAN_DOC;
}

// Handles one received packet; 0 to read on, else the result that ends the read.
static uint16_t HandlePacket(const unsigned char *pkt, uint16_t length, int *stopReading)
{
    PktHeader hdr;
    DecodeHeader(pkt, length, &hdr);
    LogMessage(2, "Command %u received in state %s", hdr.type,
               g_dev.state ? StateName(g_dev.state) : "???");
    if (hdr.cls == PKT_CLASS_STOPALL) {
        g_dev.stopping = 1;
        *stopReading = 1;
        return DEV_SHUTDOWN;
    }
    PktDeviceRequest req;
    DecodeDeviceRequest(pkt, length, &req);
    if (req.tag != 0 && req.tag != g_dev.tag) {
        LogMessage(4, "Request received for previous device (%u)", req.tag);
        return 0;
    }
    switch (hdr.type) {
    case PKT_DEV_STOP:
        g_dev.stopping = 1;
        *stopReading = 1;
        return DEV_SHUTDOWN;
    case PKT_DEV_ABORT:
        LogMessage(3, "Abort received in state %s", g_dev.state ? StateName(g_dev.state) : "???");
        if (AbortableState(g_dev.state)) {
            *stopReading = 1;
            return DEV_ABORT_REQUEST;
        }
        return 0;
    case PKT_DEV_JOB:
    case PKT_DEV_SCAN_JOB:
        if ((g_dev.state == DEV_STATE_IDLE || g_dev.state == DEV_STATE_NONE) && !g_dev.jobHeld &&
            !g_dev.offlinePending) {
            uint16_t n = length < PKT_JOB_SIZE ? length : static_cast<uint16_t>(PKT_JOB_SIZE);
            std::memset(g_dev.held, 0, sizeof g_dev.held);
            std::memcpy(g_dev.held, pkt, n);
            g_dev.heldLength = n;
            g_dev.jobHeld = 1;
            *stopReading = 1;
            return 1;
        }
        RefuseJob(pkt, length, hdr.type, g_dev.offlinePending ? static_cast<uint16_t>(TV_E_DEV_OFFLINE) : RefusalCode());
        return 0;
    case PKT_DEV_STATUS_ENQUIRY:
        if (g_dev.state >= 1 && g_dev.state <= 12)
            SendStatusPacket(StateStatusCode(g_dev.state), g_dev.page);
        return 0;
    case PKT_DEV_INITIALISE:
        return 0;
    case PKT_DEV_OFFLINE:
    case PKT_DEV_ONLINE:
    case PKT_DEV_PORT_OFFLINE:
    case PKT_DEV_PORT_ONLINE: {
        int wasPending = g_dev.offlinePending;
        uint16_t r = HandleOfflinePacket(pkt, length, hdr.type);
        if (r || (!wasPending && g_dev.offlinePending))
            *stopReading = 1;
        return r;
    }
    default:
        LogMessage(5, "Invalid request subtype received (%d)", hdr.type);
        return 0;
    }
}

uint16_t ReadRequest(void)
{
    if (!g_dev.haveSlot)
        return 0;
    unsigned char buf[MSG_MAX_PACKET];
    for (;;) {
        uint16_t length = 0;
        TvStatus st = MsgReadRequest(g_dev.slot, buf, sizeof buf, &length);
        if (st)
            return 0;
        int stop = 0;
        uint16_t r = HandlePacket(buf, length, &stop);
        if (stop || r)
            return r;
    }
}

uint16_t DevPollRequests(void)
{
    uint16_t r = ReadRequest();
    if (r == 1) {
        // A job can only be held in IDLE; a driver's wait never is.
        g_dev.jobHeld = 0;
        RefuseJob(g_dev.held, g_dev.heldLength, g_dev.held[3], TV_E_DEV_BUSY);
        return 0;
    }
    return r;
}

// ---------------------------------------------------------------- ring and device check
uint16_t DevRingAndDeviceCheck(void)
{
    const DevLowerLayer *ops = g_dev.ops;
    uint16_t r = ops->PollDevice();
    if (r == DEV_INCOMING_CALL) {
        int32_t rings = 1;
        int32_t polls = g_dev.ringWindowMs / RING_POLL_MS - 1; // signed: window 0 gives no polls
        for (int32_t i = 0; i < polls; ++i) {
            if (rings >= g_dev.ringsToAnswer)
                break;
            RtSleepMs(RING_POLL_MS);
            uint16_t p = ops->PollDevice();
            if (p == DEV_INCOMING_CALL)
                ++rings;
            else if (p)
                return p;
        }
        if (rings >= g_dev.ringsToAnswer) {
            LogMessage(3, "Ring-in detected - incoming call");
            return DEV_INCOMING_CALL;
        }
        LogMessage(3, "Ring-in detected - ignored");
        return 0;
    }
    if (r)
        return r;
    uint32_t now = RtTickMs();
    int due = !g_dev.checkedOnce || static_cast<int32_t>(now - g_dev.lastCheckTick) > CHECK_INTERVAL_MS ||
              static_cast<int32_t>(now - g_dev.lastCheckTick) < 0;
    if (g_dev.state != DEV_STATE_IDLE || g_dev.stateChanged || due) {
        g_dev.lastCheckTick = now;
        g_dev.checkedOnce = 1;
        for (int attempt = 0; attempt < 2; ++attempt) {
            r = ops->CheckFaxStatus();
            if (r != DEV_COMMAND_REJECTED && r != DEV_NO_REPLY)
                break;
        }
        g_dev.stateChanged = 0;
        return r;
    }
    return 0;
}

// ---------------------------------------------------------------- start-up
void DevReset(const DevLowerLayer *ops, uint16_t number)
{
    if (g_dev.haveSlot)
        MsgClosePipe(g_dev.slot);
    std::memset(&g_dev, 0, sizeof g_dev);
    g_dev.ops = ops;
    g_dev.number = number;
    const char *name = ops && ops->GetDeviceTypeName ? ops->GetDeviceTypeName() : "";
    SetPacketText(g_dev.typeName, sizeof g_dev.typeName, name);
    char shortName[9];
    SetPacketText(shortName, sizeof shortName, name);
    if (number >= 1 && number <= 999)
        std::snprintf(g_dev.id, sizeof g_dev.id, "%.8s-%d", shortName, number);
    else
        std::snprintf(g_dev.id, sizeof g_dev.id, "%.8s-?", shortName);
    QueueNameFromId(g_dev.id, g_dev.queue, sizeof g_dev.queue);
    g_dev.ringsToAnswer = 1;
    g_dev.failureCode = TV_E_JOB_FAILED;
    std::snprintf(g_dev.dateShort, sizeof g_dev.dateShort, "%s", "dd-MMM-yy");
    DevClearRouting();
}

// Reads "DateFormatShort:" of [OPTIONS].
static void ReadDateFormat(FILE *ini)
{
    char line[TV_LINE_SIZE];
    char value[TV_LINE_SIZE];
    std::fseek(ini, 0, SEEK_SET);
    if (!FindParagraph(ini, "[OPTIONS]", line, sizeof line, nullptr))
        return;
    if (!GetStringEntry(ini, "DateFormatShort:", value, sizeof value, 0))
        return;
    if (value[0])
        std::snprintf(g_dev.dateShort, sizeof g_dev.dateShort, "%.39s", value);
    else
        DefaultDatePicture(g_dev.dateShort, sizeof g_dev.dateShort, true);
}

uint16_t DevStartup(FILE *setupIni)
{
    const DevLowerLayer *ops = g_dev.ops;
    g_dev.tag = static_cast<uint16_t>(static_cast<uint32_t>(std::time(nullptr)) & 0xFFFF);
    if (g_dev.tag == 0)
        g_dev.tag = 1; // 0 addresses every instance
    if (setupIni) {
        ReadDateFormat(setupIni);
        std::fseek(setupIni, 0, SEEK_SET);
        uint16_t r = ops->ReadDeviceIniFile(g_dev.number, setupIni);
        if (r)
            return r;
    }
    TvStatus st = MsgMakePipe(g_dev.queue, 0, &g_dev.slot);
    if (st) {
        LogMessage(6, "FATAL Error 0x%X creating message queue '%s'", st, g_dev.queue);
        return st;
    }
    g_dev.haveSlot = 1;

    g_dev.stateChanged = 1;
    uint16_t r = ops->InitialiseDevice();
    if (r == 0) {
        r = DevRingAndDeviceCheck();
        if (r == 0)
            r = ops->PollDevice();
    } else {
        g_dev.stateChanged = 0;
        LogMessage(5, "Error %s initialising device", DeviceErrorText(r));
    }
    g_dev.result = r;

    SendRegister();
    if (g_dev.usesPort)
        SendPortInit();
    SendControllerStarted();
    return 0;
}

// ---------------------------------------------------------------- main loop
int DevRunOnce(void)
{
    const DevLowerLayer *ops = g_dev.ops;
    uint16_t &r = g_dev.result;
    if (g_dev.stopping)
        return 1;

    if (r >= DEV_FAILURE_FIRST && r != DEV_ABORT_REQUEST && r != DEV_SHUTDOWN) {
        SetDeviceState(DEV_STATE_ERROR);
        r = ops->WaitForDeviceRecovery();
        if (r == DEV_SHUTDOWN || g_dev.stopping)
            return 1;
    }
    if (!g_dev.offlinePending)
        SetDeviceState(DEV_STATE_IDLE);

    if (!g_dev.jobHeld) {
        r = ReadRequest();
        if (g_dev.stopping)
            return 1;
        if (r == 0 && !g_dev.offlinePending && !g_dev.jobHeld)
            r = DevRingAndDeviceCheck();
    }
    int jobRan = 0;
    if (g_dev.jobHeld) {
        g_dev.jobHeld = 0;
        jobRan = 1;
        PktJob job;
        DecodeJob(g_dev.held, g_dev.heldLength, &job);
        if (job.hdr.type == PKT_DEV_JOB) {
            SetDeviceState(DEV_STATE_WAIT_CONNECT);
            r = ProcessJob(&job);
        } else if (job.hdr.type == PKT_DEV_SCAN_JOB) {
            SetDeviceState(DEV_STATE_WAIT_SCAN_DOC);
            r = ProcessScanJob(&job);
        } else {
            r = DEV_INVALID_PARAMETER;
        }
        if (g_dev.stopping)
            return 1;
    }
    if (g_dev.offlinePending) {
        SetDeviceState(DEV_STATE_OFFLINE);
        r = HandleOfflineRequest();
        if (g_dev.stopping)
            return 1;
        if (r == 0)
            r = DevRingAndDeviceCheck();
    }
    // A job that ended with 2 or 7 was an interrupted call, already
    // answered with its reply code; only a device that says so by itself
    // goes offline here.
    if ((r == DEV_DOC_ON_SCANNER || r == DEV_BUSY) && !jobRan) {
        SetDeviceState(DEV_STATE_OFFLINE);
        r = HandleOfflineRequest();
        if (g_dev.stopping)
            return 1;
    } else if (r == DEV_INCOMING_CALL) {
        SetDeviceState(DEV_STATE_CALL_RECEIVED);
        r = ReceiveIncomingCall();
        if (g_dev.stopping)
            return 1;
    }
    ops->PollDevice();
    SleepYieldShort(LOOP_PAUSE_MS);
    return g_dev.stopping ? 1 : 0;
}

void DevShutdown(void)
{
    if (g_dev.ops && g_dev.ops->CloseDevice)
        g_dev.ops->CloseDevice();
    LogMessage(3, "Program closing down");
}

// ---------------------------------------------------------------- the program
// Test-only clock seam: with TAVRINE_CLOCK_SCALE=n (2..1000) in the
// environment every wait of the controller and its driver runs n times
// faster, so that the long waits (recovery polling, the half hour before a
// device counts as failed) fit a test run. Unset, the system clock is used.
static uint32_t s_clockScale = 1;
static uint32_t s_clockBase;
static uint32_t SystemTick(void) { return static_cast<uint32_t>(TvPlatTickMs()); }
static uint32_t ScaledTick(void) { return s_clockBase + (SystemTick() - s_clockBase) * s_clockScale; }
// A scaled sleep lasts at least ms of controller time: the system's sleep may
// end a little early, so it is topped up until the scaled clock has moved.
static void ScaledSleep(uint32_t ms)
{
    if (ms == 0) {
        TvPlatSleepMs(0);
        return;
    }
    uint32_t start = ScaledTick();
    for (;;) {
        uint32_t done = ScaledTick() - start;
        if (done >= ms)
            return;
        uint32_t left = (ms - done) / s_clockScale;
        TvPlatSleepMs(left ? left : 1);
    }
}

void DevInstallTestClock(void)
{
    const char *v = std::getenv("TAVRINE_CLOCK_SCALE");
    long n = v ? std::strtol(v, nullptr, 10) : 0;
    if (n < 2 || n > 1000)
        return;
    s_clockScale = static_cast<uint32_t>(n);
    s_clockBase = SystemTick();
    static const RtClock clock = {ScaledTick, ScaledSleep, nullptr};
    SetRuntimeClock(&clock);
}

static void FatalErrorExit(void)
{
    LogMessage(6, "** Fatal Error - exiting **");
    std::exit(1);
}

int DevControllerMain(int argc, char **argv, const DevLowerLayer *ops)
{
    const char *prog = argc > 0 && argv[0] ? argv[0] : "devctl";
    if (argc < 2) {
        std::printf("Usage -- %s devtypenum\n", prog);
        return 1;
    }
    char *end = nullptr;
    long number = std::strtol(argv[1], &end, 10);
    if (end == argv[1] || *end) {
        std::printf("Usage -- %s devtypenum\n", prog);
        return 1;
    }
    if (number < 1 || number > 99) {
        std::printf("Error -- invalid device type number %ld\n", number);
        return 1;
    }
    int level = 3;
    if (argc > 2) {
        char *e2 = nullptr;
        long lv = std::strtol(argv[2], &e2, 10);
        if (e2 != argv[2] && !*e2) {
            level = static_cast<int>(lv);
            std::printf("(Logging level set to %d)\n", level);
        }
    }
    DevInstallTestClock();
    DevReset(ops, static_cast<uint16_t>(number));
    LogInit(stdout, nullptr, 3, g_dev.id);
    FILE *ini = nullptr;
    if (ReadSystemParameters(&ini) != 0) {
        std::printf("Error reading system parameters\n");
        return 1;
    }
    LogInit(stdout, g_sysParams.logFile, level, g_dev.id);
    LogMessage(3, "Device controller for %s - Version %s", g_dev.id, DEV_VERSION);
    uint16_t r = DevStartup(ini);
    if (ini)
        std::fclose(ini);
    if (r)
        FatalErrorExit(); // own mailslot failed, or the device paragraph is unusable
    while (!DevRunOnce()) {
    }
    DevShutdown();
    return 0;
}

// ---------------------------------------------------------------- console program entry
static const DevLowerLayer *s_programOps;

static void MakeControllerId(int argc, char **argv, char *id, size_t size)
{
    const char *name = s_programOps && s_programOps->GetDeviceTypeName ? s_programOps->GetDeviceTypeName() : "";
    long n = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1;
    if (n >= 1 && n <= 999)
        std::snprintf(id, size, "%.8s-%ld", name, n);
    else
        std::snprintf(id, size, "%.8s-?", name);
}

static int ControllerProgram(int argc, char **argv) { return DevControllerMain(argc, argv, s_programOps); }

int DevProgramMain(int argc, char **argv, const DevLowerLayer *ops)
{
    s_programOps = ops;
    return ConsoleMain(argc, argv, nullptr, MakeControllerId, ControllerProgram);
}
