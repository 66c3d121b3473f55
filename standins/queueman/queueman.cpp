// QUEUEMAN: device and message tables, packet handling.
#include "standins/queueman/queueman.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "common/ctlfile.h"
#include "common/formats.h"
#include "common/platform.h"
#include "common/sharedfile.h"
#include "server/runtime/mailslot.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"
#include "standins/queueman/msgdir.h"

QueuemanState g_queueman;

static char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

static bool SameText(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b)
        if (Upper(*a) != Upper(*b))
            return false;
    return *a == *b;
}

// ---------------------------------------------------------------- accounts
static Account g_accounts[MAX_ACCOUNTS];
static int g_accountCount;

int QueuemanMakeAccounts(void)
{
    char path[SYS_PATH_MAX + 32];
    const char sep = TvPathSep();
    std::snprintf(path, sizeof path, "%sT-DB%cUSERLIST.INI", g_sysParams.systemArea, sep);
    g_accountCount = ReadAccounts(path, g_accounts, MAX_ACCOUNTS);
    for (int i = 0; i < g_accountCount; ++i)
        MakeAccount(g_sysParams.allUserArea, g_accounts[i].name);
    LogMessage(3, "%d account(s) of %s ready", g_accountCount, path);
    return g_accountCount;
}

bool QueuemanIsGroup(const char *name)
{
    for (int i = 0; i < g_accountCount; ++i)
        if (g_accounts[i].group && SameText(g_accounts[i].name, name))
            return true;
    return false;
}

// An account's directory dir ("T-IN", "T-OUT") with its separator.
static void AccountDir(const char *user, const char *dir, char *out, size_t size)
{
    const char sep = TvPathSep();
    std::snprintf(out, size, "%s%s%c%s%c", g_sysParams.allUserArea, user, sep, dir, sep);
}

// After a change of a group's T-IN MSGDIR.CTL: its change marker, and for an
// arrival its new-arrival marker, move on.
static void GroupChanged(const char *user, bool arrival)
{
    if (!QueuemanIsGroup(user))
        return;
    char dir[SYS_PATH_MAX + 32];
    AccountDir(user, "T-IN", dir, sizeof dir);
    MoveMarker(dir, MSGCHG_FILE);
    if (arrival)
        MoveMarker(dir, MSGNEW_FILE);
}

// "YY-MM-DD HH:MM:SS" of the local time now.
static void AcceptedNow(char *out, size_t size)
{
    RtTime t;
    RtLocalTime(&t);
    std::snprintf(out, size, "%.2d-%.2d-%.2d %.2d:%.2d:%.2d", t.year % 100, t.month, t.day, t.hour, t.minute,
                  t.second);
}

// Sets the "Status:" (and, when accepted is set, "Accepted:") of a sent
// message's entry in its T-OUT MSGDIR.CTL; a message without an entry is
// left alone.
static void SendDirStatus(const char *user, const char *message, const char *status, bool accepted)
{
    char dir[SYS_PATH_MAX + 32];
    AccountDir(user, "T-OUT", dir, sizeof dir);
    MsgDirChange(dir, MSGDIR_SEND, [&](std::string *text) {
        bool done = MsgDirSetValue(text, message, "Status:", status);
        if (done && accepted) {
            char when[MSGDIR_ACCEPTED_SIZE];
            AcceptedNow(when, sizeof when);
            MsgDirSetValue(text, message, "Accepted:", when);
        }
        return done;
    });
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
    QueuemanJobStatus(d);
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
    QueuemanJobResult(d, &r);
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
    QueuemanNewMessage(&r);
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
    // A converted message, a free device or a retry may now make a job.
    QueuemanDispatchJobs();
    return QM_CONTINUE;
}

// ---------------------------------------------------------------- conversions
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
    const char sep = TvPathSep();
    std::snprintf(dir, sizeof dir, "%s%s%cT-OUT%c", g_sysParams.allUserArea, c->user, sep, sep);
    // The conversion record must exist before the first CONVERT; an
    // existing one is kept as it is.
    char path[sizeof dir + 16];
    std::snprintf(path, sizeof path, "%s%s.CVT", dir, c->message);
    FILE *f = TvPlatOpen(path, TV_ACCESS_WRITE, TV_OPEN_ALWAYS, TV_DENY_NONE, true, "ab", nullptr, nullptr);
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
            m.addressee = c->addressee;
            SetPacketText(m.dest, sizeof m.dest, c->dest);
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
    const char sep = TvPathSep();
    std::snprintf(ctl, sizeof ctl, "%s%s%cT-OUT%c%s.CTL", g_sysParams.allUserArea, c.user, sep, sep, c.message);
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
    SendDirStatus(c.user, c.message, "WC", true);
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

// ---------------------------------------------------------------- device jobs
enum {
    QM_CTL_MAX = 65536,             // largest control file that is updated
    QM_REFUSED_WAIT_MS = 5000,      // a refused job waits this long at least
    QM_STATUS_IDLE = 1,             // status code of a controller's IDLE state
    QM_STATUS_SENDING = 7,
    QM_STATUS_RECEIVING = 8,
    QM_STATUS_UNREACHABLE = 0xFFFF, // a JOB could not be sent; until it reports
};

// The route and message format that carry a converted format.
struct QmFormatRoute {
    const char *name;
    uint16_t route;
    uint16_t format;
};
static const QmFormatRoute kFormatRoutes[] = {{"G3N", 2, 5}, {"G3F", 3, 6}, {"G3S", 4, 7}};

static const QmFormatRoute *FormatRoute(const char *dest)
{
    for (const QmFormatRoute &r : kFormatRoutes)
        if (SameText(r.name, dest))
            return &r;
    return nullptr;
}

// Pieces of the page header line named by the "Header:" option (codes
// found anywhere in its value); without the option every piece is on.
struct QmHeaderCode {
    const char *code;
    uint32_t flag;
};
static const QmHeaderCode kHeaderCodes[] = {{"No", 1}, {"To", 2}, {"Fr", 4}, {"Da", 8}, {"Ti", 16}};
static const uint32_t kAllHeaderFlags = 31;

// Reply codes after which another attempt can't do better: a format the
// route can't carry, unreadable files, an operator's abort.
static const uint16_t kFinalCodes[] = {TV_E_BADARG, TV_E_JOB_FILE, TV_E_JOB_ABORTED};

// What a job needs from the message's control file.
struct QmJobText {
    char recipient[31];         // the addressee's "Name:"
    char viaType[24];           // device type word of its first "Via:"
    char address[72];           // the rest of that line
    char sender[31];            // "[OPTIONS]" "From:"
    uint32_t headerFlags;
};

static void ValueCopy(char *out, size_t size, const char *line)
{
    const char *v = EntryValue(line);
    std::snprintf(out, size, "%s", v ? v : "");
}

static void SendControlPath(const QmMessage *m, char *out, size_t size)
{
    const char sep = TvPathSep();
    std::snprintf(out, size, "%s%s%cT-OUT%c%s.CTL", g_sysParams.allUserArea, m->user, sep, sep, m->name);
}

static bool ReadJobText(const char *path, uint16_t addressee, QmJobText *t)
{
    std::memset(t, 0, sizeof *t);
    t->headerFlags = kAllHeaderFlags;
    FILE *f = OpenSharedRetry(path, "rb");
    if (!f) {
        LogMessage(5, "Unable to open control file %s", path);
        return false;
    }
    char line[TV_LINE_SIZE], para[16] = "";
    uint16_t index = 0;
    bool via = false;
    while (ReadControlLine(f, line, sizeof line, nullptr)) {
        if (IsParagraphLine(line)) {
            UpperCopy(para, sizeof para, line);
            continue;
        }
        if (std::strcmp(para, "[OPTIONS]") == 0) {
            if (KeyMatches(line, "From:")) {
                ValueCopy(t->sender, sizeof t->sender, line);
            } else if (KeyMatches(line, "Header:")) {
                const char *v = EntryValue(line);
                t->headerFlags = 0;
                for (const QmHeaderCode &c : kHeaderCodes)
                    if (v && std::strstr(v, c.code))
                        t->headerFlags |= c.flag;
            }
        } else if (std::strcmp(para, "[ADDRESSEES]") == 0) {
            if (KeyMatches(line, "ShortName:")) {
                ++index;
            } else if (index == addressee && KeyMatches(line, "Name:")) {
                ValueCopy(t->recipient, sizeof t->recipient, line);
            } else if (index == addressee && !via && KeyMatches(line, "Via:")) {
                // "Via: <device type> <address>"; the address is cut to 40.
                via = true;
                const char *v = EntryValue(line);
                if (!v)
                    continue;
                size_t n = std::strcspn(v, " \t");
                std::snprintf(t->viaType, sizeof t->viaType, "%.*s", static_cast<int>(n), v);
                v += n;
                v += std::strspn(v, " \t");
                std::snprintf(t->address, sizeof t->address, "%.40s", v);
            }
        }
    }
    std::fclose(f);
    if (index < addressee || addressee == 0) {
        LogMessage(5, "Addressee %u not found in %s", addressee, path);
        return false;
    }
    if (!via) {
        LogMessage(5, "Addressee %u in %s has no Via: line", addressee, path);
        return false;
    }
    return true;
}

TvStatus BuildJobRequest(const QmMessage *m, uint16_t requestId, uint16_t tag, PktJob *job)
{
    std::memset(job, 0, sizeof *job);
    const QmFormatRoute *fr = FormatRoute(m->dest);
    if (!fr) {
        LogMessage(5, "Message %s: converted format '%s' can't be sent", m->name, m->dest);
        return TV_E_BADARG;
    }
    char path[SYS_PATH_MAX + 64];
    SendControlPath(m, path, sizeof path);
    QmJobText t;
    if (!ReadJobText(path, m->addressee, &t))
        return TV_E_IO;
    int16_t type = DeviceTypeFromName(t.viaType);
    if (type != 100 && type != 2 && type != 3 && type != 4) {
        LogMessage(5, "Message %s: route '%s' of addressee %u is not a fax route", m->name, t.viaType, m->addressee);
        return TV_E_BADARG;
    }
    if (!t.address[0]) {
        LogMessage(5, "Message %s: no fax number for addressee %u", m->name, m->addressee);
        return TV_E_BADARG;
    }
    // The converted files: the addressee's pages, then the pages common to
    // all addressees; either may be missing when it has no pages.
    char dir[SYS_PATH_MAX + 64];
    const char sep = TvPathSep();
    int dn = std::snprintf(dir, sizeof dir, "%s%s%cT-OUT%c%s%c", g_sysParams.allUserArea, m->user, sep, sep,
                           fr->name, sep);
    if (dn < 0 || static_cast<size_t>(dn) >= sizeof job->directory) {
        LogMessage(5, "Message %s: directory %s too long for a job", m->name, dir);
        return TV_E_BADARG;
    }
    char names[2][24];
    std::snprintf(names[0], sizeof names[0], "%s.%03u", m->name, static_cast<unsigned>(m->addressee));
    std::snprintf(names[1], sizeof names[1], "%s.%s", m->name, fr->name);
    int files = 0;
    char *slots[2] = {job->firstFile, job->secondFile};
    for (const char *name : names) {
        char file[sizeof dir + sizeof names[0]];
        int fn = std::snprintf(file, sizeof file, "%s%s", dir, name);
        if (fn < 0 || static_cast<size_t>(fn) >= sizeof file || !TvPlatFileExists(file))
            continue;
        if (std::strlen(name) >= sizeof job->firstFile) {
            LogMessage(5, "Message %s: file name %s too long for a job", m->name, name);
            return TV_E_BADARG;
        }
        SetPacketText(slots[files++], sizeof job->firstFile, name);
    }
    if (files == 0) {
        LogMessage(5, "Message %s: no converted files in %s", m->name, dir);
        return TV_E_IO;
    }
    job->hdr.cls = PKT_CLASS_DEVICE;
    job->hdr.type = PKT_DEV_JOB;
    job->tag = tag;
    job->requestId = requestId;
    SetPacketText(job->messageName, sizeof job->messageName, m->name);
    SetPacketText(job->directory, sizeof job->directory, dir);
    job->format = fr->format;
    job->route = fr->route;
    SetPacketText(job->number, sizeof job->number, t.address);
    SetPacketText(job->sender, sizeof job->sender, t.sender);
    job->headerFlags = t.headerFlags;
    SetPacketText(job->remoteName, sizeof job->remoteName, t.recipient);
    job->pagesSent = m->pages;
    return TV_OK;
}

// ---- control file updates
static char g_ctlIn[QM_CTL_MAX];
static char g_ctlOut[QM_CTL_MAX + 1024];

// The next line of buf from *pos: its raw extent [*start, *pos) and its
// text without the line end, cut to size - 1.
static bool NextRawLine(const char *buf, size_t len, size_t *pos, size_t *start, char *text, size_t size)
{
    if (*pos >= len)
        return false;
    *start = *pos;
    size_t end = *pos;
    while (end < len && buf[end] != '\n')
        ++end;
    *pos = end < len ? end + 1 : end;
    size_t n = end - *start;
    while (n > 0 && (buf[*start + n - 1] == '\r' || buf[*start + n - 1] == '\n'))
        --n;
    if (n >= size)
        n = size - 1;
    std::memcpy(text, buf + *start, n);
    text[n] = '\0';
    return true;
}

static bool IsCounterLine(const char *line)
{
    static const char *const kKeys[] = {"SentOK: ", "ScanOK: ", "RecdOK: ", "FrwdOK: ",
                                        "SentEr: ", "ScanEr: ", "RecdEr: ", "Failed: "};
    for (const char *k : kKeys)
        if (std::strncmp(line, k, 8) == 0)
            return true;
    return false;
}

struct QmOut {
    size_t len;
    bool full;
};

static void Emit(QmOut *o, const char *s, size_t n)
{
    if (o->len + n > sizeof g_ctlOut) {
        o->full = true;
        return;
    }
    std::memcpy(g_ctlOut + o->len, s, n);
    o->len += n;
}

static void EmitText(QmOut *o, const char *s) { Emit(o, s, std::strlen(s)); }

// Rewrites a message control file: the addressee's "AddrStatus:" (none for
// addressee 0), the message's "Status:" (when status is null, worked out
// from all addressees: "Co" while one is being sent, "OK" or "Fa" once all
// are done, else "WS"), and one history line put among the counter lines
// of "[HISTORY]" in the order of their values (the paragraph is added at
// the end when missing; no line when history is null). Other lines are
// kept byte for byte.
static TvStatus RewriteControlFile(const char *path, uint16_t addressee, const char *addrStatus, const char *status,
                                   const char *history)
{
    FILE *f = OpenSharedRetry(path, "rb");
    if (!f) {
        LogMessage(5, "Unable to open control file %s", path);
        return TV_E_IO;
    }
    size_t len = std::fread(g_ctlIn, 1, sizeof g_ctlIn, f);
    bool more = std::fgetc(f) != EOF;
    std::fclose(f);
    if (more) {
        LogMessage(5, "Control file %s too large to update", path);
        return TV_E_IO;
    }
    char line[TV_LINE_SIZE], para[16];
    size_t pos, start;
    uint16_t index;

    char worked[3] = "WS";
    if (!status) {
        bool sending = false, allDone = true, allOk = true;
        pos = 0;
        index = 0;
        para[0] = '\0';
        while (NextRawLine(g_ctlIn, len, &pos, &start, line, sizeof line)) {
            if (IsParagraphLine(line)) {
                UpperCopy(para, sizeof para, line);
            } else if (std::strcmp(para, "[ADDRESSEES]") == 0) {
                if (KeyMatches(line, "ShortName:"))
                    ++index;
                else if (KeyMatches(line, "AddrStatus:")) {
                    const char *v = index == addressee ? addrStatus : EntryValue(line);
                    char s[3] = "";
                    std::snprintf(s, sizeof s, "%s", v ? v : "");
                    sending = sending || SameText(s, "Co");
                    allDone = allDone && (SameText(s, "OK") || SameText(s, "Fa"));
                    allOk = allOk && SameText(s, "OK");
                }
            }
        }
        std::strcpy(worked, sending ? "Co" : !allDone ? "WS" : allOk ? "OK" : "Fa");
        status = worked;
    }

    QmOut o = {0, false};
    size_t insertAt = 0;
    bool history_seen = false, in_history = false;
    pos = 0;
    index = 0;
    para[0] = '\0';
    while (NextRawLine(g_ctlIn, len, &pos, &start, line, sizeof line)) {
        if (IsParagraphLine(line)) {
            UpperCopy(para, sizeof para, line);
            in_history = !history_seen && std::strcmp(para, "[HISTORY]") == 0;
            Emit(&o, g_ctlIn + start, pos - start);
            if (in_history) {
                history_seen = true;
                insertAt = o.len;
            }
            continue;
        }
        if (std::strcmp(para, "[ADDRESSEES]") == 0 && KeyMatches(line, "ShortName:"))
            ++index;
        if (addressee && std::strcmp(para, "[ADDRESSEES]") == 0 && index == addressee &&
            KeyMatches(line, "AddrStatus:")) {
            EmitText(&o, "AddrStatus: ");
            EmitText(&o, addrStatus);
            EmitText(&o, "\r\n");
            continue;
        }
        if (std::strcmp(para, "[MESSAGE]") == 0 && KeyMatches(line, "Status:")) {
            EmitText(&o, "Status: ");
            EmitText(&o, status);
            EmitText(&o, "\r\n");
            continue;
        }
        Emit(&o, g_ctlIn + start, pos - start);
        if (in_history && history && IsCounterLine(line) && std::strcmp(line + 8, history + 8) <= 0)
            insertAt = o.len;
    }
    if (history && history_seen) {
        // Make room at the insertion point.
        size_t n = std::strlen(history) + 2;
        if (o.len + n > sizeof g_ctlOut) {
            o.full = true;
        } else {
            std::memmove(g_ctlOut + insertAt + n, g_ctlOut + insertAt, o.len - insertAt);
            std::memcpy(g_ctlOut + insertAt, history, n - 2);
            std::memcpy(g_ctlOut + insertAt + n - 2, "\r\n", 2);
            o.len += n;
        }
    } else if (history) {
        if (o.len > 0 && g_ctlOut[o.len - 1] != '\n')
            EmitText(&o, "\r\n");
        EmitText(&o, "\r\n[HISTORY]\r\n");
        EmitText(&o, history);
        EmitText(&o, "\r\n");
    }
    if (o.full) {
        LogMessage(5, "Control file %s too large to update", path);
        return TV_E_IO;
    }
    f = OpenSharedRetry(path, "wb");
    if (!f) {
        LogMessage(5, "Unable to update control file %s", path);
        return TV_E_IO;
    }
    bool written = std::fwrite(g_ctlOut, 1, o.len, f) == o.len;
    if (std::fclose(f) != 0 || !written) {
        LogMessage(5, "Error writing control file %s", path);
        return TV_E_IO;
    }
    if (addressee != 0) {
        // A sent message: its entry in the send directory follows.
        char dir[SYS_PATH_MAX + 64];
        std::snprintf(dir, sizeof dir, "%s", path);
        char *name = FileNamePart(dir);
        char file[MSGDIR_NAME_MAX + 1];
        std::snprintf(file, sizeof file, "%s", name);
        *name = '\0';
        MsgDirChange(dir, MSGDIR_SEND, [&](std::string *text) { return MsgDirSetValue(text, file, "Status:", status); });
    }
    return TV_OK;
}

// A history line: tag, date "dd-mm-yy", time, the device, the route type,
// the quoted name and address, the reply code, pages, connect time, and
// the reason code in angle brackets after a failure.
static void HistoryLine(char *out, size_t size, const char *tag, const char *device, const char *type,
                        const char *name, const char *address, uint16_t code, uint16_t pages, uint16_t seconds)
{
    RtTime t;
    RtLocalTime(&t);
    int n = std::snprintf(out, size, "%s: %.2d-%.2d-%.2d %.2d:%.2d:%.2d %s %s \"%s\" \"%s\" %04X %u %.2u:%.2u:%.2u", tag,
                          t.day, t.month, t.year % 100, t.hour, t.minute, t.second, device, type, name, address,
                          static_cast<unsigned>(code), static_cast<unsigned>(pages), seconds / 3600u,
                          seconds / 60u % 60u, seconds % 60u);
    if (code != 0 && n > 0 && static_cast<size_t>(n) < size)
        std::snprintf(out + n, size - static_cast<size_t>(n), " <%04x>", static_cast<unsigned>(code));
}

// ---- dispatch
static bool DeviceFree(const QmDevice &d)
{
    return d.runningRequest == 0 && (d.statusCode == 0 || d.statusCode == QM_STATUS_IDLE);
}

static uint16_t NextRequestId(void)
{
    for (;;) {
        uint16_t id = ++g_queueman.lastRequestId;
        if (id != 0 && !FindMessageByRequest(id))
            return id;
    }
}

// Ends a message that can't be sent: its addressee is marked failed.
static void MessageFailed(QmMessage &m, uint16_t code)
{
    char path[SYS_PATH_MAX + 64], history[TV_LINE_SIZE];
    SendControlPath(&m, path, sizeof path);
    HistoryLine(history, sizeof history, "SentEr", "QUEUEMAN", "FAX", "", "", code, m.pages, 0);
    RewriteControlFile(path, m.addressee, "Fa", nullptr, history);
    LogMessage(3, "Message %s failed (0x%X)", m.name, code);
    m.used = false;
}

void QueuemanDispatchJobs(void)
{
    uint32_t now = RtTickMs();
    for (QmMessage &m : g_queueman.messages) {
        bool due = m.state == QM_MSG_SEND_WAIT ||
                   (m.state == QM_MSG_RETRY && static_cast<int32_t>(now - m.retryAt) >= 0);
        const QmFormatRoute *fr = m.used && due ? FormatRoute(m.dest) : nullptr;
        if (!fr)
            continue;
        QmDevice *d = nullptr;
        for (int i = 0; i < g_queueman.deviceCount && !d; ++i)
            if (DeviceFree(g_queueman.devices[i]) && (g_queueman.devices[i].sendRoutes & (1u << fr->route)))
                d = &g_queueman.devices[i];
        if (!d)
            continue;
        uint16_t id = NextRequestId();
        PktJob job;
        TvStatus st = BuildJobRequest(&m, id, d->tag, &job);
        if (st != TV_OK) {
            MessageFailed(m, st);
            continue;
        }
        uint8_t buf[PKT_JOB_SIZE];
        size_t n = EncodeJob(&job, buf, sizeof buf);
        st = MsgSendRequest(d->queue, QM_JOB_TIMEOUT, buf, static_cast<uint16_t>(n), nullptr, 0, nullptr);
        if (st != TV_OK) {
            // Not used again until it reports; the message waits.
            LogMessage(5, "Error 0x%X sending message to %s", st, d->queue);
            d->statusCode = QM_STATUS_UNREACHABLE;
            continue;
        }
        m.requestId = id;
        m.state = QM_MSG_SENDING;
        SetPacketText(m.device, sizeof m.device, d->queue);
        d->runningRequest = id;
        d->page = 0;
        LogMessage(3, "Job %u: message %s of %s, addressee %u, to %s-%u, number %s", id, m.name, m.user, m.addressee,
                   d->deviceName, d->deviceNumber, job.number);
        char path[SYS_PATH_MAX + 64];
        SendControlPath(&m, path, sizeof path);
        RewriteControlFile(path, m.addressee, "Co", nullptr, nullptr);
    }
}

// ---- results, status and received calls
// The control file of the call a controller is receiving, from its NEW
// MESSAGE up to its JOB RESULT.
struct QmReceived {
    char deviceName[10];
    uint16_t deviceNumber;
    char user[9];
    char file[MSGDIR_NAME_MAX + 1];     // its name in T-IN
    char path[SYS_PATH_MAX + 64];
    uint16_t pages;             // highest page reported while receiving
    bool open;
};
static QmReceived g_received[QM_MAX_DEVICES];

static QmReceived *FindReceived(const char *deviceName, uint16_t deviceNumber, bool add)
{
    QmReceived *free = nullptr;
    for (QmReceived &r : g_received) {
        if (r.deviceName[0] && r.deviceNumber == deviceNumber && SameText(r.deviceName, deviceName))
            return &r;
        if (!r.deviceName[0] && !free)
            free = &r;
    }
    if (!add || !free)
        return nullptr;
    SetPacketText(free->deviceName, sizeof free->deviceName, deviceName);
    free->deviceNumber = deviceNumber;
    return free;
}

const char *QueuemanReceivedFile(const char *deviceName, uint16_t deviceNumber)
{
    const QmReceived *r = FindReceived(deviceName, deviceNumber, false);
    return r ? r->path : "";
}

// A name from a packet that becomes part of a path: not empty, no folder.
static bool PlainName(const char *s)
{
    if (!s[0] || std::strcmp(s, ".") == 0 || std::strcmp(s, "..") == 0)
        return false;
    for (; *s; ++s)
        if (*s == '\\' || *s == '/' || *s == ':')
            return false;
    return true;
}

// Appends a received message's entry to its account's T-IN MSGDIR.CTL, with
// the comment, format and acceptance time of its control file.
static void ListReceivedMessage(const QmReceived &rec)
{
    MsgDirEntry e;
    std::memset(&e, 0, sizeof e);
    SetPacketText(e.file, sizeof e.file, rec.file);
    std::strcpy(e.type, "RECEIVE");
    std::strcpy(e.status, "Re");
    std::strcpy(e.userStatus, "Wa");
    std::strcpy(e.format, "G3N");
    char line[TV_LINE_SIZE], value[TV_LINE_SIZE] = "";
    FILE *f = OpenSharedRetry(rec.path, "rb");
    if (f) {
        int32_t pos = 0;
        if (FindParagraph(f, "[DOCUMENT]", line, sizeof line, &pos) &&
            GetStringEntry(f, "Comment:", value, sizeof value, pos))
            std::snprintf(e.comment, sizeof e.comment, "%s", value);
        if (FindParagraph(f, "[MESSAGE]", line, sizeof line, &pos)) {
            if (GetStringEntry(f, "Format:", value, sizeof value, pos) && value[0])
                std::snprintf(e.format, sizeof e.format, "%s", value);
            if (GetStringEntry(f, "Accepted:", value, sizeof value, pos))
                std::snprintf(e.accepted, sizeof e.accepted, "%s", value);
        }
        std::fclose(f);
    } else {
        LogMessage(4, "Unable to open control file %s", rec.path);
    }
    if (!e.accepted[0])
        AcceptedNow(e.accepted, sizeof e.accepted);
    char dir[SYS_PATH_MAX + 32];
    AccountDir(rec.user, "T-IN", dir, sizeof dir);
    if (MsgDirChange(dir, MSGDIR_RECEIVE, [&](std::string *text) {
            MsgDirAppendEntry(text, e);
            return true;
        }) == TV_OK)
        GroupChanged(rec.user, true);
}

// The end of a received call in the T-IN MSGDIR.CTL: the entry's "Status:",
// or no entry when the controller removed the message.
static void ReceivedMessageEnded(const QmReceived &rec, bool ok)
{
    bool gone = !TvPlatFileExists(rec.path);
    char dir[SYS_PATH_MAX + 32];
    AccountDir(rec.user, "T-IN", dir, sizeof dir);
    bool changed = false;
    MsgDirChange(
        dir, MSGDIR_RECEIVE,
        [&](std::string *text) {
            return gone ? MsgDirRemoveEntry(text, rec.file) : MsgDirSetValue(text, rec.file, "Status:", ok ? "OK" : "Fa");
        },
        &changed);
    if (changed)
        GroupChanged(rec.user, false);
}

void QueuemanNewMessage(const PktNewMessage *r)
{
    if (!PlainName(r->user) || !PlainName(r->controlFile)) {
        LogMessage(4, "New message '%s' for user '%s' from %s-%u: not a file name - ignored", r->controlFile, r->user,
                   r->deviceName, r->deviceNumber);
        return;
    }
    QmReceived *rec = FindReceived(r->deviceName, r->deviceNumber, true);
    if (!rec)
        return;
    const char sep = TvPathSep();
    std::snprintf(rec->path, sizeof rec->path, "%s%s%cT-IN%c%s", g_sysParams.allUserArea, r->user, sep, sep,
                  r->controlFile);
    rec->pages = 0;
    rec->open = true;
    UpperCopy(rec->user, sizeof rec->user, r->user);
    UpperCopy(rec->file, sizeof rec->file, r->controlFile);
    LogMessage(3, "Receiving message %s", rec->path);
    ListReceivedMessage(*rec);
}

void QueuemanJobStatus(const QmDevice *d)
{
    if (d->statusCode == QM_STATUS_SENDING) {
        QmMessage *m = FindMessageByRequest(d->runningRequest);
        if (m && d->page > m->pages)
            m->pages = d->page;
    } else if (d->statusCode == QM_STATUS_RECEIVING) {
        QmReceived *rec = FindReceived(d->deviceName, d->deviceNumber, false);
        if (rec && rec->open && d->page > rec->pages)
            rec->pages = d->page;
    }
}

// The end of a received call: its message is done ("OK") or failed ("Fa").
static void ReceivedCallEnded(const PktJobResult *r)
{
    QmReceived *rec = FindReceived(r->deviceName, r->deviceNumber, false);
    if (!rec || !rec->open) {
        LogMessage(3, "Call received by %s-%u (0x%X)", r->deviceName, r->deviceNumber, r->hdr.code);
        return;
    }
    rec->open = false;
    // The remote station as the controller wrote it.
    char type[24] = "FAX", id[64] = "", line[TV_LINE_SIZE];
    FILE *f = OpenSharedRetry(rec->path, "rb");
    if (f) {
        int32_t pos = 0;
        if (FindParagraph(f, "[MESSAGE]", line, sizeof line, &pos) &&
            GetStringEntry(f, "From:", line, sizeof line, pos)) {
            size_t n = std::strcspn(line, " \t");
            if (n > 0)
                std::snprintf(type, sizeof type, "%.*s", static_cast<int>(n), line);
        }
        std::fseek(f, 0, SEEK_SET);
        if (FindParagraph(f, "[ROUTING]", line, sizeof line, &pos))
            GetStringEntry(f, "FullCSID:", id, sizeof id, pos);
        std::fclose(f);
    }
    char device[24];
    std::snprintf(device, sizeof device, "%s-%u", r->deviceName, static_cast<unsigned>(r->deviceNumber));
    char history[TV_LINE_SIZE];
    bool ok = r->hdr.code == 0;
    if (r->pages > rec->pages)
        rec->pages = r->pages;
    HistoryLine(history, sizeof history, ok ? "RecdOK" : "RecdEr", device, type, id, "", r->hdr.code, rec->pages,
                r->connectSeconds);
    if (TvPlatFileExists(rec->path))
        RewriteControlFile(rec->path, 0, "", ok ? "OK" : "Fa", history);
    ReceivedMessageEnded(*rec, ok);
    LogMessage(3, "Received message %s: %u page(s), %s", rec->path, rec->pages, ok ? "OK" : "failed");
}

void QueuemanJobResult(QmDevice *d, const PktJobResult *r)
{
    if (r->requestId == 0) {
        ReceivedCallEnded(r);
        return;
    }
    if (d && d->runningRequest == r->requestId)
        d->runningRequest = 0;
    QmMessage *m = FindMessageByRequest(r->requestId);
    if (!m) {
        LogMessage(4, "Job result 0x%X for unknown request %u", r->hdr.code, r->requestId);
        return;
    }
    uint16_t code = r->hdr.code;
    uint32_t now = RtTickMs();
    m->device[0] = '\0';
    if (code == TV_E_DEV_BUSY) {
        // Refused: the controller had something else to do. No attempt.
        LogMessage(3, "Job %u refused by %s-%u - waiting for a free device", r->requestId, r->deviceName,
                   r->deviceNumber);
        m->state = QM_MSG_RETRY;
        m->retryAt = now + QM_REFUSED_WAIT_MS;
        return;
    }
    if (r->pages > m->pages)
        m->pages = r->pages;
    bool ok = code == 0;
    bool final = ok;
    if (!ok) {
        ++m->tries;
        final = m->tries >= QM_MAX_TRIES;
        for (uint16_t c : kFinalCodes)
            final = final || code == c;
    }
    char path[SYS_PATH_MAX + 64];
    SendControlPath(m, path, sizeof path);
    QmJobText t;
    if (!ReadJobText(path, m->addressee, &t))
        std::memset(&t, 0, sizeof t);
    char device[24], history[TV_LINE_SIZE];
    std::snprintf(device, sizeof device, "%s-%u", r->deviceName, static_cast<unsigned>(r->deviceNumber));
    HistoryLine(history, sizeof history, ok ? "SentOK" : "SentEr", device, t.viaType[0] ? t.viaType : "FAX",
                t.recipient, t.address, code, r->pages, r->connectSeconds);
    RewriteControlFile(path, m->addressee, ok ? "OK" : final ? "Fa" : "WT", nullptr, history);
    if (ok) {
        LogMessage(3, "Message %s done: addressee %u, %u page(s)", m->name, m->addressee, r->pages);
        m->used = false;
    } else if (final) {
        LogMessage(3, "Message %s failed (0x%X) after %u attempt(s): addressee %u", m->name, code, m->tries,
                   m->addressee);
        m->used = false;
    } else {
        LogMessage(3, "Message %s failed (0x%X) - to be retried", m->name, code);
        m->state = QM_MSG_RETRY;
        m->retryAt = now + QM_RETRY_MS;
    }
}
