// QUEUEMAN: device and message tables, packet handling.
#include "standins/queueman/queueman.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "common/ctlfile.h"
#include "common/platform.h"
#include "common/sharedfile.h"
#include "server/runtime/mailslot.h"
#include "server/runtime/sysparams.h"
#include "server/runtime/srvlog.h"

QueuemanState g_queueman;

static char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

static bool SameText(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b)
        if (Upper(*a) != Upper(*b))
            return false;
    return *a == *b;
}

// ---------------------------------------------------------------- tables
void ResetQueuemanTables(void) { std::memset(&g_queueman, 0, sizeof g_queueman); }

QmDevice *FindDevice(const char *queue, bool add)
{
    if (!queue || !queue[0])
        return nullptr;
    for (int i = 0; i < g_queueman.deviceCount; ++i)
        if (SameText(g_queueman.devices[i].queue, queue))
            return &g_queueman.devices[i];
    if (!add || g_queueman.deviceCount >= QM_MAX_DEVICES)
        return nullptr;
    QmDevice *d = &g_queueman.devices[g_queueman.deviceCount++];
    std::memset(d, 0, sizeof *d);
    SetPacketText(d->queue, sizeof d->queue, queue);
    return d;
}

QmDevice *FindDeviceById(const char *deviceName, uint16_t deviceNumber)
{
    for (int i = 0; i < g_queueman.deviceCount; ++i) {
        QmDevice &d = g_queueman.devices[i];
        if (d.deviceNumber == deviceNumber && SameText(d.deviceName, deviceName))
            return &d;
    }
    return nullptr;
}

QmMessage *FindMessageByRequest(uint16_t requestId)
{
    if (requestId == 0)
        return nullptr;
    for (QmMessage &m : g_queueman.messages)
        if (m.used && m.requestId == requestId)
            return &m;
    return nullptr;
}

void CountQueue(PktQueueStatus *out)
{
    std::memset(out, 0, sizeof *out);
    out->hdr.cls = PKT_CLASS_SUPERVISOR;
    out->hdr.type = PKT_SV_QUEUE_STATUS;
    // Shown: held, to retry, queued for preparing, being prepared, queued to
    // be sent. Not shown: being sent, and one left 0.
    for (const QmMessage &m : g_queueman.messages)
        if (m.used && m.state < QM_MSG_STATE_COUNT && m.state <= QM_MSG_SENDING)
            ++out->counters[m.state];
}

// ---------------------------------------------------------------- packets
static bool LengthFits(const PktHeader &h, uint16_t len)
{
    const PktKind *k = FindPacketKind(h.cls, h.type);
    if (k && len >= k->minLength && len <= k->maxLength)
        return true;
    LogMessage(4, "Packet %u/%u of %u bytes has the wrong length - ignored", h.cls, h.type, len);
    return false;
}

// The device that sent a packet, by the type name and number of its header.
static QmDevice *Sender(const char *deviceName, uint16_t deviceNumber)
{
    QmDevice *d = FindDeviceById(deviceName, deviceNumber);
    if (!d)
        LogMessage(4, "Packet from unregistered device %s-%u", deviceName, deviceNumber);
    return d;
}

static void HandleRegister(const uint8_t *pkt, uint16_t len)
{
    PktRegister r;
    DecodeRegister(pkt, len, &r);
    if (!r.queue[0]) {
        LogMessage(4, "Register without a queue name from %s-%u - ignored", r.deviceName, r.deviceNumber);
        return;
    }
    bool known = FindDevice(r.queue, false) != nullptr;
    QmDevice *d = FindDevice(r.queue, true);
    if (!d) {
        LogMessage(5, "Device %s can't be registered - table full", r.queue);
        return;
    }
    SetPacketText(d->deviceName, sizeof d->deviceName, r.deviceName);
    d->deviceNumber = r.deviceNumber;
    d->tag = r.tag;
    d->sendRoutes = r.sendRoutes;
    d->printRoutes = r.printRoutes;
    d->statusCode = 0;
    d->page = 0;
    d->runningRequest = 0;
    LogMessage(3, "Device %s %sregistered: %s-%u tag %u send routes 0x%08X print routes 0x%08X", d->queue,
               known ? "re-" : "", d->deviceName, d->deviceNumber, d->tag, static_cast<unsigned>(d->sendRoutes),
               static_cast<unsigned>(d->printRoutes));
}

// Passes a device's state on to the supervisor while one runs: without a
// supervisor there is nobody to tell, and no error.
static void ForwardDeviceStatus(const QmDevice &d)
{
    if (!MsgQueueExists(SUPERVISOR_QUEUE))
        return;
    PktDeviceStatus s;
    std::memset(&s, 0, sizeof s);
    s.hdr.cls = PKT_CLASS_SUPERVISOR;
    s.hdr.type = PKT_SV_DEVICE_STATUS;
    SetPacketText(s.deviceName, sizeof s.deviceName, d.deviceName);
    s.deviceNumber = d.deviceNumber;
    s.state = d.statusCode;
    s.currentPage = d.page;
    const QmMessage *m = FindMessageByRequest(d.runningRequest);
    if (m) {
        SetPacketText(s.text1, sizeof s.text1, m->name);
        SetPacketText(s.text2, sizeof s.text2, m->user);
    }
    uint8_t buf[PKT_DEVICE_STATUS_SIZE];
    size_t n = EncodeDeviceStatus(&s, buf, sizeof buf);
    TvStatus st =
        MsgSendRequest(SUPERVISOR_QUEUE, QM_SUPERVISOR_TIMEOUT, buf, static_cast<uint16_t>(n), nullptr, 0, nullptr);
    if (st != TV_OK)
        LogMessage(5, "Error 0x%X sending message to %s", st, SUPERVISOR_QUEUE);
}

static void HandleStatus(const uint8_t *pkt, uint16_t len)
{
    PktStatus r;
    DecodeStatus(pkt, len, &r);
    QmDevice *d = Sender(r.deviceName, r.deviceNumber);
    if (!d)
        return;
    d->statusCode = r.statusCode;
    d->page = r.page;
    ForwardDeviceStatus(*d);
}

// A job's outcome: done, or back to the queue to be tried again.
static void JobEnded(QmDevice *d, uint16_t requestId, uint16_t code, const char *what)
{
    if (d && d->runningRequest == requestId)
        d->runningRequest = 0;
    QmMessage *m = FindMessageByRequest(requestId);
    if (!m) {
        LogMessage(4, "%s 0x%X for unknown request %u", what, code, requestId);
        return;
    }
    if (code == 0) {
        LogMessage(3, "Message %s done", m->name);
        m->used = false;
    } else {
        LogMessage(3, "Message %s failed (0x%X) - to be retried", m->name, code);
        m->state = QM_MSG_RETRY;
        m->device[0] = '\0';
    }
}

static void HandleJobResult(const uint8_t *pkt, uint16_t len)
{
    PktJobResult r;
    DecodeJobResult(pkt, len, &r);
    QmDevice *d = Sender(r.deviceName, r.deviceNumber);
    if (r.requestId == 0) {
        LogMessage(3, "Call received by %s-%u (0x%X)", r.deviceName, r.deviceNumber, r.hdr.code);
        return;
    }
    JobEnded(d, r.requestId, r.hdr.code, "Job result");
}

static void HandleScanResult(const uint8_t *pkt, uint16_t len)
{
    PktScanResult r;
    DecodeScanResult(pkt, len, &r);
    QmDevice *d = Sender(r.deviceName, r.deviceNumber);
    JobEnded(d, r.requestId, r.hdr.code, "Scan result");
}

static void HandleNewMessage(const uint8_t *pkt, uint16_t len)
{
    PktNewMessage r;
    DecodeNewMessage(pkt, len, &r);
    Sender(r.deviceName, r.deviceNumber);
    LogMessage(3, "New message %s for user %s from %s-%u", r.controlFile, r.user, r.deviceName, r.deviceNumber);
}

static void HandleConvertReply(const PktHeader &h)
{
    // The converter takes one CONVERT at a time: the reply is the oldest's.
    for (QmMessage &m : g_queueman.messages)
        if (m.used && m.state == QM_MSG_CONVERTING) {
            m.state = h.code == 0 ? QM_MSG_SEND_WAIT : QM_MSG_RETRY;
            LogMessage(3, "Message %s converted (0x%X)", m.name, h.code);
            QueuemanNextConversion();
            return;
        }
    LogMessage(4, "Conversion reply 0x%X with no conversion running", h.code);
}

static void HandleQueueStatusRequest(void)
{
    PktQueueStatus s;
    CountQueue(&s);
    uint8_t buf[PKT_QUEUE_STATUS_SIZE];
    size_t n = EncodeQueueStatus(&s, buf, sizeof buf);
    TvStatus st =
        MsgSendRequest(SUPERVISOR_QUEUE, QM_SUPERVISOR_TIMEOUT, buf, static_cast<uint16_t>(n), nullptr, 0, nullptr);
    if (st != TV_OK)
        LogMessage(5, "Error 0x%X sending message to %s", st, SUPERVISOR_QUEUE);
    else
        LogMessage(3, "Queue status sent to %s: %u,%u,%u,%u,%u,%u,%u", SUPERVISOR_QUEUE, s.counters[0],
                   s.counters[1], s.counters[2], s.counters[3], s.counters[4], s.counters[5], s.counters[6]);
}

QmAction QueuemanHandlePacket(const uint8_t *pkt, uint16_t len)
{
    char text[LOG_LINE_SIZE - 64];
    DescribePacket(pkt, len, text, sizeof text);
    LogMessage(3, "Received %s", text);

    PktHeader h;
    DecodeHeader(pkt, len, &h);
    if (h.cls == PKT_CLASS_STOPALL)
        return QM_STOP;
    if (h.cls != PKT_CLASS_QUEUEMAN) {
        LogMessage(4, "Packet class %u not handled by QUEUEMAN - ignored", h.cls);
        return QM_CONTINUE;
    }
    switch (h.type) {
    case PKT_QM_REGISTER:
        if (LengthFits(h, len))
            HandleRegister(pkt, len);
        break;
    case PKT_QM_STATUS:
        if (LengthFits(h, len))
            HandleStatus(pkt, len);
        break;
    case PKT_QM_JOB_RESULT:
        if (LengthFits(h, len))
            HandleJobResult(pkt, len);
        break;
    case PKT_QM_SCAN_RESULT:
        if (LengthFits(h, len))
            HandleScanResult(pkt, len);
        break;
    case PKT_QM_NEW_MESSAGE:
        if (LengthFits(h, len))
            HandleNewMessage(pkt, len);
        break;
    case PKT_QM_CONVERT_REPLY:
        if (LengthFits(h, len))
            HandleConvertReply(h);
        break;
    case PKT_QM_QUEUE_STATUS_REQUEST:
        if (LengthFits(h, len))
            HandleQueueStatusRequest();
        break;
    default:
        LogMessage(4, "Packet type %u of class %u not handled by QUEUEMAN - ignored", h.type, h.cls);
        break;
    }
    return QM_CONTINUE;
}

// ---------------------------------------------------------------- conversions
#ifdef _WIN32
static const char kSep = '\\';
#else
static const char kSep = '/';
#endif

static QmConversion g_pending[QM_MAX_CONVERSIONS];
static int g_pendingCount;

int QueuemanPendingConversions(void) { return g_pendingCount; }

static void UpperCopy(char *out, size_t size, const char *in)
{
    size_t i = 0;
    for (; in[i] && i + 1 < size; ++i)
        out[i] = Upper(in[i]);
    out[i] = '\0';
}

TvStatus QueuemanConvert(const QmConversion *c)
{
    char dir[SYS_PATH_MAX + 32];
    std::snprintf(dir, sizeof dir, "%s%s%cT-OUT%c", g_sysParams.allUserArea, c->user, kSep, kSep);
    // The conversion record must exist before the first CONVERT; an
    // existing one is kept as it is.
    char path[sizeof dir + 16];
    std::snprintf(path, sizeof path, "%s%s.CVT", dir, c->message);
    FILE *f = std::fopen(path, "ab");
    if (f)
        std::fclose(f);
    else
        LogMessage(4, "Unable to create %s", path);
    for (const char *fmt : {"G3N", "G3F", "G3S"}) {
        std::snprintf(path, sizeof path, "%s%s", dir, fmt);
        if (!TvPlatFileExists(path))
            TvPlatMakeDir(path);
    }

    PktConvert p;
    std::memset(&p, 0, sizeof p);
    p.hdr.cls = PKT_CLASS_CONVERTER;
    p.hdr.type = PKT_CV_CONVERT;
    std::snprintf(p.arguments, sizeof p.arguments, "%s %s %s %s %u", c->user, c->message, c->source, c->dest,
                  static_cast<unsigned>(c->addressee));
    uint8_t buf[PKT_CONVERT_SIZE];
    size_t n = EncodeConvert(&p, buf, sizeof buf);
    TvStatus st = MsgSendRequest(CONVERTER_QUEUE, QM_CONVERT_TIMEOUT, buf, static_cast<uint16_t>(n), nullptr, 0,
                                 nullptr);
    if (st != TV_OK) {
        LogMessage(5, "Error 0x%X sending message to %s", st, CONVERTER_QUEUE);
        return st;
    }
    LogMessage(3, "Convert %s", p.arguments);
    for (QmMessage &m : g_queueman.messages)
        if (!m.used) {
            std::memset(&m, 0, sizeof m);
            m.used = true;
            m.state = QM_MSG_CONVERTING;
            SetPacketText(m.name, sizeof m.name, c->message);
            SetPacketText(m.user, sizeof m.user, c->user);
            break;
        }
    return TV_OK;
}

void QueuemanNextConversion(void)
{
    for (const QmMessage &m : g_queueman.messages)
        if (m.used && m.state == QM_MSG_CONVERTING)
            return;
    while (g_pendingCount > 0) {
        QmConversion c = g_pending[0];
        std::memmove(g_pending, g_pending + 1, sizeof g_pending[0] * static_cast<size_t>(--g_pendingCount));
        if (QueuemanConvert(&c) == TV_OK)
            return;
    }
}

int QueuemanReadSendRequest(const char *path)
{
    FILE *f = OpenSharedRetry(path, "rb");
    if (!f)
        return 0;
    char line[TV_LINE_SIZE], server[TV_LINE_SIZE] = "", type[TV_LINE_SIZE] = "";
    char user[TV_LINE_SIZE] = "", file[TV_LINE_SIZE] = "";
    int32_t pos = 0;
    if (FindParagraph(f, "[REQUEST]", line, sizeof line, &pos)) {
        GetStringEntry(f, "Server:", server, sizeof server, pos);
        GetStringEntry(f, "Type:", type, sizeof type, pos);
        GetStringEntry(f, "User:", user, sizeof user, pos);
        GetStringEntry(f, "File:", file, sizeof file, pos);
    }
    std::fclose(f);
    if (!SameText(server, "QueueMan") || !SameText(type, "SEND"))
        return 0;
    // The message: its name is the control file's without the extension.
    QmConversion c;
    std::memset(&c, 0, sizeof c);
    UpperCopy(c.user, sizeof c.user, user);
    char *dot = std::strrchr(file, '.');
    if (dot)
        *dot = '\0';
    UpperCopy(c.message, sizeof c.message, file);
    char ctl[SYS_PATH_MAX + 64];
    std::snprintf(ctl, sizeof ctl, "%s%s%cT-OUT%c%s.CTL", g_sysParams.allUserArea, c.user, kSep, kSep, c.message);
    f = OpenShared(0, ctl, "rb");
    if (!f) {
        // Left for later (the message may still be on its way); said once.
        static char warned[sizeof ctl];
        if (std::strcmp(warned, ctl) != 0)
            LogMessage(4, "SEND request for %s: control file %s not found - left waiting", c.message, ctl);
        std::snprintf(warned, sizeof warned, "%s", ctl);
        return 0;
    }
    char value[TV_LINE_SIZE] = "";
    if (FindParagraph(f, "[MESSAGE]", line, sizeof line, &pos) && GetStringEntry(f, "Format:", value, sizeof value, pos))
        UpperCopy(c.source, sizeof c.source, value);
    std::strcpy(c.dest, "G3N");
    std::fseek(f, 0, SEEK_SET);
    if (FindParagraph(f, "[OPTIONS]", line, sizeof line, &pos) &&
        GetStringEntry(f, "Quality:", value, sizeof value, pos) && SameText(value, "HIGH"))
        std::strcpy(c.dest, "G3F");
    int addressees = 0;
    std::fseek(f, 0, SEEK_SET);
    if (FindParagraph(f, "[ADDRESSEES]", line, sizeof line, &pos))
        while (ReadControlLine(f, line, sizeof line, nullptr) && !IsParagraphLine(line))
            if (KeyMatches(line, "ShortName:"))
                ++addressees;
    std::fclose(f);
    LogMessage(3, "SEND request: %s of %s, %d addressee(s), %s -> %s", c.message, c.user, addressees, c.source,
               c.dest);
    for (int a = 1; a <= addressees && g_pendingCount < QM_MAX_CONVERSIONS; ++a) {
        c.addressee = static_cast<uint16_t>(a);
        g_pending[g_pendingCount++] = c;
    }
    QueuemanNextConversion();
    return 1;
}

void QueuemanScanRequests(void)
{
    FindMatchRecord *r = FindFirstMatch(g_sysParams.requestArea, "*.CTL", 0);
    if (!r)
        return;
    char name[TV_FIND_DIR_MAX];
    while (FindNextMatch(r, name, sizeof name)) {
        char path[SYS_PATH_MAX + TV_FIND_DIR_MAX];
        std::snprintf(path, sizeof path, "%s%s", g_sysParams.requestArea, name);
        if (QueuemanReadSendRequest(path))
            TvPlatRemove(path);
    }
    FindEndMatch(r);
}
