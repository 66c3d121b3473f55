// SYSMAN: program lines, the program and port tables, packet handling.
#include "standins/sysman/sysman.h"

#include <cstring>

#include "common/ctlfile.h"
#include "server/runtime/mailslot.h"
#include "server/runtime/packets.h"
#include "server/runtime/srvlog.h"

SysmanState g_sysman;

static char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

static bool SameText(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b)
        if (Upper(*a) != Upper(*b))
            return false;
    return *a == *b;
}

static bool StartsWithText(const char *s, const char *prefix)
{
    for (; *prefix; ++s, ++prefix)
        if (!*s || Upper(*s) != Upper(*prefix))
            return false;
    return true;
}

static void CopyText(char *dst, size_t size, const char *src)
{
    if (!size)
        return;
    size_t n = src ? std::strlen(src) : 0;
    if (n > size - 1)
        n = size - 1;
    if (n)
        std::memcpy(dst, src, n);
    dst[n] = '\0';
}

static bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// ---------------------------------------------------------------- program lines
struct LineKey {
    const char *key;
    SmLineKind kind;
    size_t nameMax;
};
static const LineKey kLineKeys[] = {
    {"Service:", SM_LINE_SERVICE, SM_SERVICE_NAME_MAX},
    {"Device:", SM_LINE_DEVICE, SM_NAME_MAX},
    {"Sysman:", SM_LINE_SYSMAN, SM_NAME_MAX},
};

int ParseProgramLine(const char *line, const char *serverArea, const char *mailArea, SmProgramLine *out)
{
    std::memset(out, 0, sizeof *out);
    const LineKey *key = nullptr;
    for (const LineKey &k : kLineKeys)
        if (KeyMatches(line, k.key)) {
            key = &k;
            break;
        }
    const char *p = key ? EntryValue(line) : nullptr;
    if (!p)
        return 1;
    out->kind = key->kind;

    size_t n = 0;
    while (p[n] && !IsBlank(p[n]) && p[n] != '"')
        ++n;
    if (n == 0 || n > key->nameMax)
        return 2;
    for (size_t i = 0; i < n; ++i)
        out->name[i] = Upper(p[i]);
    p += n;
    while (IsBlank(*p))
        ++p;

    if (*p != '"')
        return 3;
    const char *close = std::strchr(p + 1, '"');
    if (!close)
        return 3;
    size_t textLen = static_cast<size_t>(close - (p + 1));
    if (textLen > SM_PROGRAM_TEXT_MAX)
        return 4;
    char text[SM_PROGRAM_TEXT_MAX + 1];
    std::memcpy(text, p + 1, textLen);
    text[textLen] = '\0';
    p = close + 1;

    // The program file is the text up to its first blank; the rest are its
    // arguments.
    char *prog = text;
    while (IsBlank(*prog))
        ++prog;
    char *args = prog;
    while (*args && !IsBlank(*args))
        ++args;
    if (*args) {
        *args++ = '\0';
        while (IsBlank(*args))
            ++args;
    }
    if (!*prog)
        return 3;
    const char *dir = "";
    if (!std::strchr(prog, ':') && prog[0] != '\\')
        dir = StartsWithText(out->name, "GATEWAY") ? (mailArea ? mailArea : "") : (serverArea ? serverArea : "");
    if (std::strlen(dir) + std::strlen(prog) > SM_PATH_MAX)
        return 5;
    std::strcpy(out->path, dir);
    std::strcat(out->path, prog);
    CopyText(out->arguments, sizeof out->arguments, args);

    // A further word that is skipped, then the optional window word.
    const char *words[2] = {nullptr, nullptr};
    size_t lens[2] = {0, 0};
    for (int w = 0; w < 2; ++w) {
        while (IsBlank(*p))
            ++p;
        if (!*p)
            break;
        words[w] = p;
        while (*p && !IsBlank(*p))
            ++p;
        lens[w] = static_cast<size_t>(p - words[w]);
    }
    out->mode = 0;
    if (words[1]) {
        if (lens[1] < 2)
            return 6;
        char letter = Upper(lens[1] > 2 ? words[1][2] : words[1][1]);
        static const char kModes[] = "NRIW";
        const char *m = std::strchr(kModes, letter);
        if (!letter || !m)
            return 7;
        out->mode = static_cast<int>(m - kModes);
    }
    return 0;
}

// ---------------------------------------------------------------- tables
void ResetSysmanTables(void) { std::memset(&g_sysman, 0, sizeof g_sysman); }

SmProgram *FindProgram(const char *queue, bool add)
{
    if (!queue || !queue[0])
        return nullptr;
    for (int i = 0; i < g_sysman.programCount; ++i)
        if (SameText(g_sysman.programs[i].queue, queue))
            return &g_sysman.programs[i];
    if (!add || g_sysman.programCount >= SM_MAX_PROGRAMS)
        return nullptr;
    SmProgram *p = &g_sysman.programs[g_sysman.programCount++];
    std::memset(p, 0, sizeof *p);
    CopyText(p->queue, sizeof p->queue, queue);
    return p;
}

bool RecordPort(const char *port, const char *queue)
{
    for (int i = 0; i < g_sysman.portCount; ++i)
        if (SameText(g_sysman.ports[i].port, port)) {
            CopyText(g_sysman.ports[i].queue, sizeof g_sysman.ports[i].queue, queue);
            return true;
        }
    if (g_sysman.portCount >= SM_MAX_PORTS)
        return false;
    SmPort *p = &g_sysman.ports[g_sysman.portCount++];
    CopyText(p->port, sizeof p->port, port);
    CopyText(p->queue, sizeof p->queue, queue);
    return true;
}

const char *FindPortQueue(const char *port)
{
    for (int i = 0; i < g_sysman.portCount; ++i)
        if (SameText(g_sysman.ports[i].port, port))
            return g_sysman.ports[i].queue;
    return nullptr;
}

// ---------------------------------------------------------------- packets
size_t BuildControllerPortRequest(const PktPortRequest *req, uint8_t *buf, size_t size)
{
    if (req->offline) {
        PktPortOffline r;
        std::memset(&r, 0, sizeof r);
        r.hdr.cls = PKT_CLASS_DEVICE;
        r.hdr.type = PKT_DEV_PORT_OFFLINE;
        r.tag = 0;
        r.busy = req->busy;
        r.interrupt = req->interrupt;
        r.requestId = req->requestId;
        SetPacketText(r.replyQueue, sizeof r.replyQueue, req->replyQueue);
        return EncodePortOffline(&r, buf, size);
    }
    PktDeviceRequest r;
    std::memset(&r, 0, sizeof r);
    r.hdr.cls = PKT_CLASS_DEVICE;
    r.hdr.type = PKT_DEV_PORT_ONLINE;
    r.tag = 0;
    r.requestId = req->requestId;
    return EncodeDeviceRequest(&r, buf, size);
}

static bool LengthFits(const PktHeader &h, uint16_t len)
{
    const PktKind *k = FindPacketKind(h.cls, h.type);
    if (k && len >= k->minLength && len <= k->maxLength)
        return true;
    LogMessage(4, "Packet %u/%u of %u bytes has the wrong length - ignored", h.cls, h.type, len);
    return false;
}

static void HandlePortRequest(const uint8_t *pkt, uint16_t len)
{
    PktPortRequest req;
    DecodePortRequest(pkt, len, &req);
    const char *queue = FindPortQueue(req.port);
    const char *what = req.offline ? "offline" : "online";
    if (!queue) {
        // No controller announced this port: the library's wait runs out.
        LogMessage(4, "Port %s request %u for unknown port '%s' - ignored", what, req.requestId, req.port);
        return;
    }
    uint8_t out[PKT_PORT_OFFLINE_SIZE];
    size_t n = BuildControllerPortRequest(&req, out, sizeof out);
    TvStatus st = MsgSendRequest(queue, SM_SEND_TIMEOUT, out, static_cast<uint16_t>(n), nullptr, 0, nullptr);
    if (st != TV_OK)
        LogMessage(5, "Error 0x%X sending message to %s", st, queue);
    else if (req.offline)
        LogMessage(3, "Port offline request %u for port '%s' passed to %s (busy %u, interrupt %u, reply '%s')",
                   req.requestId, req.port, queue, static_cast<unsigned>(req.busy),
                   static_cast<unsigned>(req.interrupt), req.replyQueue);
    else
        LogMessage(3, "Port online request %u for port '%s' passed to %s", req.requestId, req.port, queue);
}

SmAction SysmanHandlePacket(const uint8_t *pkt, uint16_t len)
{
    char text[LOG_LINE_SIZE - 64];
    DescribePacket(pkt, len, text, sizeof text);
    LogMessage(3, "Received %s", text);

    PktHeader h;
    DecodeHeader(pkt, len, &h);
    if (h.cls == PKT_CLASS_STOPALL)
        return SM_STOP;
    if (h.cls != PKT_CLASS_SYSMAN) {
        LogMessage(4, "Packet class %u not handled by SYSMAN - ignored", h.cls);
        return SM_CONTINUE;
    }
    switch (h.type) {
    case PKT_SM_PING:
        break; // the mailslot's existence was the answer
    case PKT_SM_RESTART:
        return SM_RESTART;
    case PKT_SM_CONTROLLER_STARTED: {
        if (!LengthFits(h, len))
            break;
        PktControllerStarted r;
        DecodeControllerStarted(pkt, len, &r);
        char queue[SM_QUEUE_SIZE];
        QueueNameFromId(r.id, queue, sizeof queue);
        SmProgram *p = FindProgram(queue, true);
        if (!p) {
            LogMessage(4, "Program %s can't be recorded - table full", r.id);
            break;
        }
        if (!p->name[0])
            CopyText(p->name, sizeof p->name, r.id);
        p->announced = true;
        LogMessage(3, "Program %s started (queue %s)", r.id, queue);
        break;
    }
    case PKT_SM_PORT_INIT: {
        if (!LengthFits(h, len))
            break;
        PktPortInit r;
        DecodePortInit(pkt, len, &r);
        if (!r.port[0] || !r.queue[0]) {
            LogMessage(4, "Port init without port or queue name - ignored");
            break;
        }
        if (RecordPort(r.port, r.queue))
            LogMessage(3, "Port %s belongs to %s", r.port, r.queue);
        else
            LogMessage(4, "Port %s can't be recorded - table full", r.port);
        break;
    }
    case PKT_SM_PORT_REQUEST:
        if (LengthFits(h, len))
            HandlePortRequest(pkt, len);
        break;
    default:
        LogMessage(4, "Packet type %u of class %u not handled by SYSMAN - ignored", h.type, h.cls);
        break;
    }
    return SM_CONTINUE;
}

// ---------------------------------------------------------------- request files
SmRequest ReadSysmanRequest(FILE *f, char *type, size_t typeSize)
{
    if (typeSize)
        type[0] = '\0';
    char line[TV_LINE_SIZE];
    char value[TV_LINE_SIZE];
    int32_t para = 0;
    if (!FindParagraph(f, "[REQUEST]", line, sizeof line, &para))
        return SM_REQ_NOT_MINE;
    if (!GetStringEntry(f, "Server:", value, sizeof value, para) || !SameText(value, "SYSMAN"))
        return SM_REQ_NOT_MINE;
    if (!GetStringEntry(f, "Type:", value, sizeof value, para))
        value[0] = '\0';
    CopyText(type, typeSize, value);
    if (SameText(value, "SHUTDOWN"))
        return SM_REQ_SHUTDOWN;
    if (SameText(value, "RESTART"))
        return SM_REQ_RESTART;
    return SM_REQ_UNKNOWN;
}

static bool SendStop(const char *queue)
{
    uint8_t buf[PKT_HEADER_SIZE];
    size_t n = EncodeHeaderOnly(PKT_CLASS_STOPALL, 0, 0, buf, sizeof buf);
    TvStatus st = MsgSendRequest(queue, SM_SEND_TIMEOUT, buf, static_cast<uint16_t>(n), nullptr, 0, nullptr);
    if (st == TV_OK) {
        LogMessage(3, "Stop sent to %s", queue);
        return true;
    }
    if (st == TV_E_TIMEOUT)
        LogMessage(3, "Stop not sent to %s - not running", queue);
    else
        LogMessage(5, "Error 0x%X sending message to %s", st, queue);
    return false;
}

int ForwardStopAll(bool everyone)
{
    int sent = 0;
    bool queueman = !everyone;
    // The last started first: controllers before the services they report to.
    for (int i = g_sysman.programCount - 1; i >= 0; --i) {
        const SmProgram &p = g_sysman.programs[i];
        if (SameText(p.queue, QUEUEMAN_QUEUE))
            queueman = true;
        if (!everyone && !p.started)
            continue;
        if (SendStop(p.queue))
            ++sent;
    }
    // The queue manager is part of every server even when it was started
    // before SYSMAN.
    if (!queueman && SendStop(QUEUEMAN_QUEUE))
        ++sent;
    return sent;
}
