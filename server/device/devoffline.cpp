// Taking the device out of service and back: OFFLINE / ONLINE from the
// operator, PORT OFFLINE / PORT ONLINE from the port control library through
// SYSMAN, and a device that reports itself offline.
//
// A PORT OFFLINE is saved while it waits for its final reply (0 once the
// device is offline, 0xF101 when an ONLINE cancels it first); its identifier
// is kept afterwards so that the matching PORT ONLINE is recognised. A
// refusal goes only to the request at hand, never to an older saved one.
#include <cstring>

#include "common/status.h"
#include "server/device/devctl.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/srvlog.h"

enum { OFFLINE_STEP_MS = 3000, OFFLINE_FIRST_STEPS = 6, OFFLINE_LATER_STEPS = 5, PORT_REPLY_TIMEOUT = 1 };

static int s_savedWaiting;      // the saved PORT OFFLINE still waits for its final reply

static const char *CurrentStateName(void) { return g_dev.state ? StateName(g_dev.state) : "IDLE"; }

static void ReplyTo(const unsigned char *request, uint16_t code)
{
    PktPortOffline req;
    DecodePortOffline(request, PKT_PORT_OFFLINE_SIZE, &req);
    if (req.hdr.type != PKT_DEV_PORT_OFFLINE || !req.replyQueue[0])
        return;
    PktPortReply p{};
    p.hdr.cls = PKT_CLASS_PORTREPLY;
    p.hdr.type = PKT_PR_PORT_REPLY;
    p.hdr.code = code;
    p.requestId = req.requestId;
    uint8_t buf[PKT_PORT_REPLY_SIZE];
    size_t len = EncodePortReply(&p, buf, sizeof buf);
    TvStatus st = MsgSendRequest(req.replyQueue, PORT_REPLY_TIMEOUT, buf, static_cast<uint16_t>(len), nullptr, 0,
                                 nullptr);
    if (st && !g_dev.stopping)
        LogMessage(5, "Error 0x%X sending message to %s", st, req.replyQueue);
}

void SendPortReply(uint16_t code)
{
    if (!g_dev.haveSavedPortOffline || !s_savedWaiting)
        return;
    ReplyTo(g_dev.savedPortOffline, code);
    s_savedWaiting = 0;
}

static uint16_t SavedRequestId(void)
{
    PktPortOffline req;
    DecodePortOffline(g_dev.savedPortOffline, PKT_PORT_OFFLINE_SIZE, &req);
    return req.requestId;
}

// The OFFLINE decision by state. request is the packet at hand (its first 32
// bytes, zero-filled), used for replies when it is a PORT OFFLINE.
static uint16_t DecideOffline(const unsigned char *request, uint32_t busy, uint32_t interrupt, int isPort)
{
    LogMessage(3, "Offline request received in state %s", CurrentStateName());
    switch (g_dev.state) {
    case DEV_STATE_NONE:
    case DEV_STATE_IDLE:
        g_dev.offlinePending = 1;
        return 0;
    case DEV_STATE_WAIT_CONNECT:
    case DEV_STATE_SENDING:
    case DEV_STATE_POLL_RECEIVE:
    case DEV_STATE_WAIT_SCAN_DOC:
    case DEV_STATE_SCANNING:
    case DEV_STATE_RECEIVING:
    case DEV_STATE_POLL_SEND:
    case DEV_STATE_CALL_RECEIVED: {
        if (busy == 0) {
            if (isPort) {
                ReplyTo(request, TV_E_DEV_BUSY);
                s_savedWaiting = 0;
            }
            LogMessage(3, "Device not idle - ignoring offline request");
            return 0;
        }
        g_dev.offlinePending = 1;
        int interruptible = g_dev.state != DEV_STATE_RECEIVING && g_dev.state != DEV_STATE_POLL_SEND &&
                            g_dev.state != DEV_STATE_CALL_RECEIVED;
        if (interrupt) {
            if (interruptible)
                return DEV_ABORT_REQUEST;
            LogMessage(3, "Current state not interruptible - offline pending");
        }
        return 0;
    }
    case DEV_STATE_OFFLINE:
        if (isPort)
            ReplyTo(request, TV_E_DEV_OFFLINE);
        g_dev.offlinePending = 1;
        return 0;
    case DEV_STATE_ERROR:
    case DEV_STATE_FAILED:
        g_dev.offlinePending = 1;
        return DEV_ABORT_REQUEST;
    default:
        return 0;
    }
}

uint16_t HandleOfflinePacket(const unsigned char *pkt, uint16_t length, uint8_t type)
{
    unsigned char first[PKT_PORT_OFFLINE_SIZE];
    std::memset(first, 0, sizeof first);
    std::memcpy(first, pkt, length < sizeof first ? length : sizeof first);

    switch (type) {
    case PKT_DEV_PORT_OFFLINE: {
        if (g_dev.offlinePending && g_dev.state != DEV_STATE_OFFLINE) {
            LogMessage(3, "Offline request received in state %s", CurrentStateName());
            ReplyTo(first, TV_E_DEV_BUSY);
            LogMessage(3, "Device already processing an offline request - ignoring request");
            return 0;
        }
        std::memcpy(g_dev.savedPortOffline, first, sizeof first);
        g_dev.haveSavedPortOffline = 1;
        s_savedWaiting = 1;
        PktPortOffline req;
        DecodePortOffline(first, sizeof first, &req);
        return DecideOffline(first, req.busy, req.interrupt, 1);
    }
    case PKT_DEV_OFFLINE: {
        PktOffline req;
        DecodeOffline(first, sizeof first, &req);
        return DecideOffline(first, req.busy, req.interrupt, 0);
    }
    case PKT_DEV_PORT_ONLINE: {
        PktDeviceRequest req;
        DecodeDeviceRequest(first, sizeof first, &req);
        if (req.requestId != 0 && (!g_dev.haveSavedPortOffline || req.requestId != SavedRequestId())) {
            LogMessage(3, "Online request received in state %s", CurrentStateName());
            LogMessage(3, "Online request id does not match last offline - ignoring request");
            return 0;
        }
        break;
    }
    case PKT_DEV_ONLINE:
        break;
    default:
        return 0;
    }
    // ONLINE
    LogMessage(3, "Online request received in state %s", CurrentStateName());
    if (g_dev.offlinePending)
        SendPortReply(TV_E_DEV_BUSY);
    g_dev.offlinePending = 0;
    return 0;
}

uint16_t HandleOfflineRequest(void)
{
    const DevLowerLayer *ops = g_dev.ops;
    ops->SetDeviceOffline();
    SendPortReply(0);
    uint16_t r = 0;
    for (;;) {
        int requested = g_dev.offlinePending;
        int steps = g_dev.offlineWaitedBefore ? OFFLINE_LATER_STEPS : OFFLINE_FIRST_STEPS;
        g_dev.offlineWaitedBefore = 1;
        int leave = 0;
        for (int i = 0; i < steps && !leave; ++i) {
            SleepYield(OFFLINE_STEP_MS);
            r = ReadRequest();
            if (r) {
                leave = 1;
                break;
            }
            // A PORT OFFLINE that came while offline gets its 0 now.
            SendPortReply(0);
            if (requested && !g_dev.offlinePending)
                leave = 1;
            if (!requested && g_dev.offlinePending)
                requested = 1;
        }
        if (leave)
            break;
        if (!requested) {
            uint16_t c = ops->CheckADFOffline();
            if (c != DEV_DOC_ON_SCANNER && c != DEV_BUSY)
                break;
        }
    }
    uint16_t online = ops->SetDeviceOnline();
    if (g_dev.stopping)
        return DEV_SHUTDOWN;
    return r ? r : online;
}
