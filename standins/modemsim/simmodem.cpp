// Dialogue engine of the simulated fax modems: AT parser, replies, call
// state across the simulated line, page data framing and scripted faults.
#include "standins/modemsim/simmodem.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const unsigned char DLE = 0x10, ETX = 0x03, SUB = 0x1A, DC1 = 0x11, DC2 = 0x12, DC3 = 0x13,
                    CAN = 0x18;

// ---------------------------------------------------------------- profiles

enum { RING_PLAIN = 0, RING_EXTENDED = 1, RING_ISDN = 2 };

struct SimProfile {
    const char *name;
    const char *maker;
    const char *model;
    const char *revision;
    int class2, class20;    // service classes it offers
    int voice;              // #CLS voice commands
    int ringStyle;
};

// First row is the default.
const SimProfile kProfiles[] = {
    {"generic", "TAVRINE SIMULATED MODEMS", "Other EIA Class 2 fax modem", "1.0", 1, 1, 1, RING_PLAIN},
    {"class2", "TAVRINE SIMULATED MODEMS", "Other EIA Class 2 fax modem", "1.0", 1, 0, 0, RING_PLAIN},
    {"class20", "TAVRINE SIMULATED MODEMS", "Other EIA Class 2 fax modem", "1.0", 0, 1, 0, RING_PLAIN},
    {"usrobotics", "USRobotics", "USRobotics fax modem", "1.0", 0, 1, 0, RING_PLAIN},
    {"usrvoice", "USRobotics", "USRobotics Sportster Vi voice fax modem", "1.0", 0, 1, 1, RING_PLAIN},
    {"multitech", "Multitech", "Multitech MT1432 fax modem", "1.0", 1, 1, 0, RING_PLAIN},
    {"zyxel", "ZyXEL", "ZyXEL fax modem", "1.0", 1, 0, 1, RING_PLAIN},
    {"zyxelisdn", "ZyXEL", "ZyXEL 2864I ISDN voice fax modem", "1.0", 1, 0, 1, RING_ISDN},
    {"spartadis", "SpartaCom", "SpartaCom Spartadis", "1.0", 1, 0, 0, RING_EXTENDED},
};
const int kNumProfiles = sizeof kProfiles / sizeof kProfiles[0];

// ---------------------------------------------------------------- replies

enum SimResult {
    R_OK = 0, R_CONNECT = 1, R_RING = 2, R_NOCARRIER = 3, R_ERROR = 4,
    R_NODIALTONE = 6, R_BUSY = 7, R_NOANSWER = 8,
};

struct ResultText {
    int code;
    const char *text;
};

const ResultText kResults[] = {
    {R_OK, "OK"},         {R_CONNECT, "CONNECT"},         {R_RING, "RING"},
    {R_NOCARRIER, "NO CARRIER"}, {R_ERROR, "ERROR"},      {R_NODIALTONE, "NO DIAL TONE"},
    {R_BUSY, "BUSY"},     {R_NOANSWER, "NO ANSWER"},
};

// Class 2 / Class 2.0 spellings of the words that differ.
enum Word { W_FCON, W_CSI, W_TSI, W_DIS, W_DCS, W_PTS, W_HNG, W_COUNT };
const char *const kWords[W_COUNT][2] = {
    {"+FCON", "+FCO"},   {"+FCSI:", "+FCI:"}, {"+FTSI:", "+FTI:"}, {"+FDIS:", "+FIS:"},
    {"+FDCS:", "+FCS:"}, {"+FPTS:", "+FPS:"}, {"+FHNG:", "+FHS:"},
};

void CopyText(char *dst, size_t size, const char *src)
{
    size_t n = 0;
    while (src[n] != '\0' && n + 1 < size) {
        dst[n] = src[n];
        n++;
    }
    dst[n] = '\0';
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool Is20(const SimModem *m) { return m->fclass == 20; }

const char *WordOf(const SimModem *m, Word w) { return kWords[w][Is20(m) ? 1 : 0]; }

// Normal end, abort and lost-remote hang-up codes in each class's spelling.
const char *const kCodeNormal = "0";
const char *const kCodeAbort = "2";
const char *const kCodeGone = "50";

SimModem *ModemOf(SimLine *L, int end)
{
    if (end >= 0 && end < SIM_MAX_PORTS && L->modems[end].used)
        return &L->modems[end];
    return nullptr;
}

SimRemote *RemoteOf(SimLine *L, int end)
{
    int i = end - SIM_REMOTE_BASE;
    if (i >= 0 && i < SIM_MAX_REMOTES && L->remotes[i].used)
        return &L->remotes[i];
    return nullptr;
}

int EndOfModem(const SimLine *L, const SimModem *m) { return static_cast<int>(m - L->modems); }

void Log(SimLine *L, const SimModem *m, char dir, const char *text)
{
    if (L->hooks.line != nullptr)
        L->hooks.line(L->hooks.ctx, m->com, dir, text);
}

void Event(SimLine *L, const SimModem *m, const char *fmt, const char *a = "", const char *b = "")
{
    char text[200];
    snprintf(text, sizeof text, fmt, a, b);
    Log(L, m, '*', text);
}

const SimFault *FindFault(const SimModem *m, int kind, int page)
{
    if (m == nullptr || m->cfg == nullptr)
        return nullptr;
    for (int i = 0; i < m->cfg->numFaults; i++) {
        const SimFault *f = &m->cfg->faults[i];
        if (f->kind == kind && (page < 0 || f->page == page))
            return f;
    }
    return nullptr;
}

bool Silent(const SimModem *m, int64_t now)
{
    if (m->forceSilent)
        return true;
    return m->silentNow && (m->silentUntil == 0 || now < m->silentUntil);
}

void Emit(SimLine *L, SimModem *m, const void *data, size_t len)
{
    if (Silent(m, L->nowMs))
        return;
    const unsigned char *p = static_cast<const unsigned char *>(data);
    m->out.insert(m->out.end(), p, p + len);
}

void EmitText(SimLine *L, SimModem *m, const char *text) { Emit(L, m, text, strlen(text)); }

// A raw control byte for the program, logged by name.
void EmitByte(SimLine *L, SimModem *m, unsigned char b, const char *name)
{
    Emit(L, m, &b, 1);
    Log(L, m, '<', name);
}

void Garbage(SimLine *L, SimModem *m)
{
    if (!m->forceGarbage && FindFault(m, SIM_F_GARBAGE, -1) == nullptr)
        return;
    static const unsigned char junk[] = {0x01, 0xFE, '~', '#', 0x7F, '}', '\r', '\n'};
    Emit(L, m, junk, sizeof junk);
    Log(L, m, '<', "[garbage]");
}

// An information line: "\r\nTEXT\r\n" with verbose replies, "TEXT\r\n" without.
void Info(SimLine *L, SimModem *m, const char *text)
{
    if (m->verbose)
        EmitText(L, m, "\r\n");
    EmitText(L, m, text);
    EmitText(L, m, "\r\n");
    Log(L, m, '<', text);
}

// A line that stands in the place of a result code (ring reports, odd words).
void ResultLine(SimLine *L, SimModem *m, const char *text)
{
    if (m->verbose) {
        EmitText(L, m, "\r\n");
        EmitText(L, m, text);
        EmitText(L, m, "\r\n");
    } else {
        EmitText(L, m, text);
        EmitText(L, m, "\r");
    }
    Log(L, m, '<', text);
}

void Final(SimLine *L, SimModem *m, int code)
{
    if (m->quiet)
        return;
    Garbage(L, m);
    const char *text = "ERROR";
    for (const auto &r : kResults)
        if (r.code == code)
            text = r.text;
    char num[8];
    snprintf(num, sizeof num, "%d", code);
    ResultLine(L, m, m->verbose ? text : num);
}

void InfoFmt(SimLine *L, SimModem *m, const char *fmt, const char *a, const char *b = "")
{
    char text[160];
    snprintf(text, sizeof text, fmt, a, b);
    Info(L, m, text);
}

// Hang-up codes travel as hexadecimal digits; Class 2.0 prints at least two
// of them ("02"), Class 2 without leading zeros ("2").
void Hangup(SimLine *L, SimModem *m, const char *code)
{
    while (code[0] == '0' && code[1] != '\0')
        code++;
    char text[40];
    snprintf(text, sizeof text, "%s %s%s", WordOf(m, W_HNG), (Is20(m) && strlen(code) < 2) ? "0" : "", code);
    Info(L, m, text);
}

void CapsText(const int *caps, char *out, size_t size)
{
    snprintf(out, size, "%d,%d,%d,%d,%d,%d,%d,%d", caps[0], caps[1], caps[2], caps[3], caps[4],
             caps[5], caps[6], caps[7]);
}

// Reads up to 8 comma-separated numbers into caps (missing fields stay).
// Returns false when a field is not a number in its range.
bool ParseCaps(const char *text, int *caps)
{
    static const int hi[8] = {1, 5, 2, 2, 3, 2, 1, 7};
    int tmp[8];
    memcpy(tmp, caps, sizeof tmp);
    const char *p = text;
    for (int i = 0; i < 8 && *p != '\0'; i++) {
        while (*p == ' ')
            p++;
        if (*p == ',') {
            p++;
            continue;
        }
        if (*p < '0' || *p > '9')
            return false;
        long v = strtol(p, const_cast<char **>(&p), 10);
        if (v < 0 || v > hi[i])
            return false;
        tmp[i] = static_cast<int>(v);
        while (*p == ' ')
            p++;
        if (*p == ',')
            p++;
        else if (*p != '\0')
            return false;
    }
    // Later T.32 fields (beyond the eighth) are accepted and not kept.
    while (*p != '\0') {
        if (*p == ',' || *p == ' ' || (*p >= '0' && *p <= '9'))
            p++;
        else
            return false;
    }
    memcpy(caps, tmp, sizeof tmp);
    return true;
}

// ---------------------------------------------------------------- resets

void ResetCall(SimModem *m)
{
    m->st = SIM_ST_CMD;
    m->peer = -1;
    m->caller = 0;
    m->connected = 0;
    m->sessionDone = 0;
    m->peerGone = 0;
    m->goneCode[0] = '\0';
    m->dueMs = 0;
    m->dialOutcome = -1;
    m->ringing = 0;
    m->rings = 0;
    m->ringFrom = -1;
    m->pageNo = 0;
    m->cur.clear();
    m->dleHeld = 0;
    m->lastPmc = -1;
    m->lastStatus = 1;
    m->fcfrSent = 0;
    m->inbound.clear();
    m->lastInPmc = -1;
    m->stream.clear();
    m->streamPos = 0;
    m->xoffHeld = 0;
    m->xoffDone = 0;
    m->xoffWarned = 0;
}

void ResetSettings(SimModem *m)
{
    static const int defCaps[8] = {1, 3, 0, 2, 0, 0, 0, 0};
    m->echo = 0;
    m->verbose = 1;
    m->quiet = 0;
    m->fclass = 0;
    m->s0 = 0;
    m->bor = 0;
    memcpy(m->caps, defCaps, sizeof m->caps);
    CopyText(m->localId, sizeof m->localId, m->cfg->id);
    m->subOut[0] = '\0';
    m->fapSet = 0;
    memset(m->sRegs, 0, sizeof m->sRegs);
}

int ClassOffered(const SimModem *m, int cls)
{
    const SimProfile *p = &kProfiles[m->profile];
    int forced = m->cfg->forceClass;
    if (cls == 2)
        return p->class2 && forced != 20;
    if (cls == 20)
        return p->class20 && forced != 2;
    if (cls == 8)
        return p->voice;
    return cls == 0 || cls == 1;
}

// ---------------------------------------------------------------- the line

const char *EndId(SimLine *L, int end)
{
    if (SimModem *m = ModemOf(L, end))
        return m->localId;
    if (SimRemote *r = RemoteOf(L, end))
        return r->cfg->id;
    return "";
}

const char *EndNumber(SimLine *L, int end)
{
    if (SimModem *m = ModemOf(L, end))
        return m->cfg->number;
    if (SimRemote *r = RemoteOf(L, end))
        return r->cfg->cli;
    return "";
}

void EndCaps(SimLine *L, int end, int *caps)
{
    static const int defCaps[8] = {1, 3, 0, 2, 0, 0, 0, 0};
    memcpy(caps, defCaps, sizeof defCaps);
    if (SimModem *m = ModemOf(L, end))
        memcpy(caps, m->caps, sizeof m->caps);
    else if (SimRemote *r = RemoteOf(L, end))
        ParseCaps(r->cfg->dis, caps);
}

bool EndBusy(SimLine *L, int end)
{
    if (SimModem *m = ModemOf(L, end))
        return m->st != SIM_ST_CMD || m->ringing || m->connected;
    if (SimRemote *r = RemoteOf(L, end))
        return r->peer >= 0;
    return true;
}

// Finds the end whose number starts the dialled digits (longest match);
// the digits after it are routing digits.
int FindNumber(SimLine *L, const char *digits, const char **extra)
{
    int best = -1;
    size_t bestLen = 0;
    for (int i = 0; i < SIM_MAX_PORTS; i++) {
        const SimModem *m = &L->modems[i];
        size_t n = m->used ? strlen(m->cfg->number) : 0;
        if (n > bestLen && strncmp(digits, m->cfg->number, n) == 0) {
            best = i;
            bestLen = n;
        }
    }
    for (int i = 0; i < SIM_MAX_REMOTES; i++) {
        const SimRemote *r = &L->remotes[i];
        size_t n = r->used ? strlen(r->cfg->number) : 0;
        if (n > bestLen && strncmp(digits, r->cfg->number, n) == 0) {
            best = SIM_REMOTE_BASE + i;
            bestLen = n;
        }
    }
    *extra = digits + bestLen;
    return best;
}

void TryStartPage(SimLine *L, SimModem *m);
void EndCall(SimLine *L, SimModem *m, const char *codeForPeer);

// The other party of end `end` has gone (hung up or lost the carrier).
void PeerGone(SimLine *L, int end, const char *code)
{
    SimModem *m = ModemOf(L, end);
    if (m == nullptr) {
        if (SimRemote *r = RemoteOf(L, end)) {
            r->peer = -1;
            r->connected = 0;
            r->pendingAnswer = 0;
        }
        return;
    }
    if (m->peerGone)
        return;
    m->peerGone = 1;
    CopyText(m->goneCode, sizeof m->goneCode, code);
    m->peer = -1;
    Event(L, m, "remote end gone (%s)", code);
    switch (m->st) {
    case SIM_ST_DIAL:
        Final(L, m, R_NOCARRIER);
        ResetCall(m);
        break;
    case SIM_ST_ANSWAIT:
    case SIM_ST_VOICE:
        Hangup(L, m, code);
        Final(L, m, R_OK);
        ResetCall(m);
        break;
    case SIM_ST_SENDDATA:
        Hangup(L, m, code);
        Final(L, m, R_NOCARRIER);
        ResetCall(m);
        m->st = SIM_ST_SENDSKIP;
        break;
    case SIM_ST_FDRWAIT:
        TryStartPage(L, m);
        break;
    case SIM_ST_CMD:
        if (m->ringing) {
            Event(L, m, "ringing stopped%s");
            ResetCall(m);
        }
        break;
    default:
        break;
    }
}

// Rings the end `to` for a call from `from`.
void StartRinging(SimLine *L, int from, int to, const char *digits, const char *sub)
{
    if (SimModem *t = ModemOf(L, to)) {
        ResetCall(t);
        t->ringing = 1;
        t->rings = 0;
        t->ringFrom = from;
        t->nextRingMs = L->nowMs + L->cfg.dialMs;
        CopyText(t->ringCli, sizeof t->ringCli, EndNumber(L, from));
        CopyText(t->ringDigits, sizeof t->ringDigits, digits);
        CopyText(t->ringSub, sizeof t->ringSub, sub);
        Event(L, t, "incoming call from %s", t->ringCli);
    } else if (SimRemote *r = RemoteOf(L, to)) {
        r->peer = from;
        r->connected = 0;
        r->received = 0;
        r->pendingAnswer = r->cfg->rings > 0;
        r->answerMs = L->nowMs + L->cfg.dialMs + static_cast<int64_t>(r->cfg->rings) * L->cfg.ringMs;
        if (SimModem *c = ModemOf(L, from)) {
            if (!r->pendingAnswer) {
                c->dialOutcome = R_NOANSWER;
                c->dueMs = L->nowMs + L->cfg.dialMs + static_cast<int64_t>(L->cfg.ringLimit) * L->cfg.ringMs;
            }
        }
    }
}

void SessionStart(SimLine *L, int callerEnd);

// The call between caller and callee is answered.
void ConnectCall(SimLine *L, int callerEnd, int calleeEnd)
{
    int calleeCaps[8];
    EndCaps(L, calleeEnd, calleeCaps);
    if (SimModem *c = ModemOf(L, callerEnd)) {
        c->connected = 1;
        c->peer = calleeEnd;
        c->dueMs = 0;
        c->dialOutcome = -1;
        const SimFault *odd = FindFault(c, SIM_F_ODD, -1);
        int flags = odd != nullptr ? odd->odd : 0;
        if (flags & SIM_ODD_CED)
            Info(L, c, "CED");
        if (flags & SIM_ODD_A4) {
            Info(L, c, "a");
            Info(L, c, "4");
        } else if (flags & SIM_ODD_PLUSPLUS) {
            char w[16];
            snprintf(w, sizeof w, "+%s", WordOf(c, W_FCON));
            Info(L, c, w);
        } else {
            Info(L, c, WordOf(c, W_FCON));
        }
        char caps[64];
        if (FindFault(c, SIM_F_BADPARAMS, -1) != nullptr) {
            InfoFmt(L, c, "%s \"%s\"", WordOf(c, W_CSI),
                    "REMOTE\x01STATION WITH A FAR TOO LONG IDENTIFIER\x7F");
            InfoFmt(L, c, "%s %s", WordOf(c, W_DIS), "2,7,9,9,9,9,9,9");
            InfoFmt(L, c, "%s %s", WordOf(c, W_DIS), "1,3,0,2,0,0,0,0,0,0,0,12");
        } else {
            InfoFmt(L, c, "%s \"%s\"", WordOf(c, W_CSI), EndId(L, calleeEnd));
            CapsText(calleeCaps, caps, sizeof caps);
            InfoFmt(L, c, "%s %s", WordOf(c, W_DIS), caps);
        }
        Final(L, c, R_OK);
        c->st = SIM_ST_ONLINE;
    } else if (SimRemote *r = RemoteOf(L, callerEnd)) {
        r->connected = 1;
        r->peer = calleeEnd;
    }
    if (SimModem *t = ModemOf(L, calleeEnd)) {
        t->connected = 1;
        t->ringing = 0;
        t->peer = callerEnd;
        t->caller = 0;
        const SimFault *odd = FindFault(t, SIM_F_ODD, -1);
        if (odd != nullptr && (odd->odd & SIM_ODD_FF))
            EmitByte(L, t, 0xFF, "[0xFF]");
        if (t->cfg->dtmfLines) {
            for (const char *d = t->ringDigits; *d != '\0'; d++) {
                char text[16];
                snprintf(text, sizeof text, "+DTMF:%c", *d);
                Info(L, t, text);
            }
        }
        Info(L, t, WordOf(t, W_FCON));
        t->st = SIM_ST_ANSWAIT;
    } else if (SimRemote *r = RemoteOf(L, calleeEnd)) {
        r->connected = 1;
        r->pendingAnswer = 0;
    }
    if (RemoteOf(L, callerEnd) != nullptr)
        SessionStart(L, callerEnd);
}

// Session values agreed for a call: the caller's wishes within the callee's
// capabilities, scan time from the callee.
void AgreedDcs(SimLine *L, int callerEnd, int calleeEnd, char *out, size_t size)
{
    if (SimRemote *r = RemoteOf(L, callerEnd)) {
        CopyText(out, size, r->cfg->dcs);
        return;
    }
    int a[8], b[8], d[8];
    EndCaps(L, callerEnd, a);
    EndCaps(L, calleeEnd, b);
    for (int i = 0; i < 6; i++)
        d[i] = a[i] < b[i] ? a[i] : b[i];
    d[6] = 0;
    d[7] = b[7];
    CapsText(d, out, size);
}

// The caller's first +FDT (or a remote caller's connection): both sides
// learn the session values.
void SessionStart(SimLine *L, int callerEnd)
{
    int calleeEnd = -1;
    if (SimModem *c = ModemOf(L, callerEnd))
        calleeEnd = c->peer;
    else if (SimRemote *r = RemoteOf(L, callerEnd))
        calleeEnd = r->peer;
    char dcs[64];
    AgreedDcs(L, callerEnd, calleeEnd, dcs, sizeof dcs);
    if (SimModem *c = ModemOf(L, callerEnd)) {
        c->sessionDone = 1;
        if (FindFault(c, SIM_F_BADPARAMS, -1) != nullptr)
            InfoFmt(L, c, "%s %s", WordOf(c, W_DCS), "1,3,0,2,0,0,0,12");
        else
            InfoFmt(L, c, "%s %s", WordOf(c, W_DCS), dcs);
    }
    if (SimModem *t = ModemOf(L, calleeEnd)) {
        t->sessionDone = 1;
        CopyText(t->sessionDcs, sizeof t->sessionDcs, dcs);
        CopyText(t->sessionTsi, sizeof t->sessionTsi, EndId(L, callerEnd));
        const char *sub = t->ringSub;
        if (FindFault(t, SIM_F_BADPARAMS, -1) != nullptr) {
            InfoFmt(L, t, "%s \"%s\"", WordOf(t, W_TSI),
                    "CALLER\x01STATION WITH A FAR TOO LONG IDENTIFIER\x7F");
            Info(L, t, "+FSA: \"123456789012345678901234567890\"");
            InfoFmt(L, t, "%s %s", WordOf(t, W_DCS), "3,9,7,5,2,9,0,8");
            InfoFmt(L, t, "%s %s", WordOf(t, W_DCS), "1,5,0,2,0,0,0,0,0,7");
        } else {
            InfoFmt(L, t, "%s \"%s\"", WordOf(t, W_TSI), EndId(L, callerEnd));
            if (*sub != '\0')
                InfoFmt(L, t, "+FSA: \"%s\"", sub);
            InfoFmt(L, t, "%s %s", WordOf(t, W_DCS), dcs);
        }
        if (t->st == SIM_ST_ANSWAIT) {
            Final(L, t, R_OK);
            t->st = SIM_ST_ONLINE;
        }
        // A remote caller hands over all its pages at once and leaves.
        if (SimRemote *r = RemoteOf(L, callerEnd)) {
            for (int i = 0; i < r->cfg->numPages; i++) {
                SimPage pg;
                pg.data = r->cfg->pages[i];
                pg.pmc = (i + 1 == r->cfg->numPages) ? 2 : 0;
                const SimFault *pe = FindFault(t, SIM_F_PAGEERROR, i + 1);
                pg.status = pe != nullptr ? pe->status : 1;
                pg.dropped = 0;
                pg.code[0] = '\0';
                const SimFault *dr = FindFault(t, SIM_F_DROP, i + 1);
                if (dr != nullptr) {
                    if (pg.data.size() > static_cast<size_t>(dr->bytes))
                        pg.data.resize(static_cast<size_t>(dr->bytes));
                    pg.dropped = 1;
                    CopyText(pg.code, sizeof pg.code, dr->code);
                    t->inbound.push_back(pg);
                    break;
                }
                t->inbound.push_back(pg);
            }
            if (r->cfg->numPages == 0)
                t->lastInPmc = 2;
            r->peer = -1;
            r->connected = 0;
            t->peer = -1;
            if (t->st == SIM_ST_FDRWAIT)
                TryStartPage(L, t);
        }
    }
}

// True when MH data (LSB first) ends with RTC: six EOLs (eleven or more
// zero bits, then a one) with nothing between them; zero fill after is allowed.
bool EndsWithRtc(const std::vector<unsigned char> &data)
{
    int zeros = 0, eols = 0;
    for (unsigned char byte : data)
        for (int bit = 0; bit < 8; bit++) {
            if ((byte >> bit) & 1) {
                eols = zeros >= 11 ? eols + 1 : 0;
                zeros = 0;
            } else {
                zeros++;
            }
        }
    return eols >= 6;
}

// A page larger than this is not a fax page; the rest is dropped.
const size_t kMaxPageBytes = 8u * 1024 * 1024;

const unsigned char kRtc[9] = {0x00, 0x08, 0x80, 0x00, 0x08, 0x80, 0x00, 0x08, 0x80};

// A page taken from the program on modem c goes to the other party. A
// Class 2 modem ends the page on the line with RTC itself when the
// program did not send one; Class 2.0 programs send their own.
void DeliverPage(SimLine *L, SimModem *c, int pmc, int dropped, const char *dropCode)
{
    c->pageNo++;
    int page = c->pageNo;
    SimModem *t = ModemOf(L, c->peer);
    const SimFault *pe = FindFault(c, SIM_F_PAGEERROR, page);
    if (pe == nullptr)
        pe = FindFault(t, SIM_F_PAGEERROR, page);
    const SimFault *hu = page > 0 ? FindFault(c, SIM_F_HANGUP, page) : nullptr;
    if (hu == nullptr && t != nullptr)
        hu = FindFault(t, SIM_F_HANGUP, page);
    c->lastPmc = pmc;
    c->lastStatus = pe != nullptr ? pe->status : 1;
    char ev[64];
    snprintf(ev, sizeof ev, "page %d: %zu bytes, post-page %d", page, c->cur.size(), pmc);
    Log(L, c, '*', ev);
    if (!dropped && L->hooks.page != nullptr)
        L->hooks.page(L->hooks.ctx, c->com, page, c->cur.data(), c->cur.size());
    if (!Is20(c) && !dropped && !EndsWithRtc(c->cur))
        c->cur.insert(c->cur.end(), kRtc, kRtc + sizeof kRtc);
    if (t != nullptr) {
        SimPage pg;
        pg.data = c->cur;
        pg.pmc = pmc;
        pg.status = c->lastStatus;
        pg.dropped = dropped;
        CopyText(pg.code, sizeof pg.code, dropped ? dropCode : "");
        t->inbound.push_back(pg);
        if (dropped || hu != nullptr)
            PeerGone(L, c->peer, dropped ? dropCode : hu->code);
        else if (t->st == SIM_ST_FDRWAIT)
            TryStartPage(L, t);
    } else if (SimRemote *r = RemoteOf(L, c->peer)) {
        r->received++;
    }
    c->cur.clear();
    // Remember a remote hang-up for the post-page reply.
    if (hu != nullptr && !dropped) {
        c->peerGone = 1;
        CopyText(c->goneCode, sizeof c->goneCode, hu->code);
    }
}

// Ends this modem's part of a call and tells the other party.
void EndCall(SimLine *L, SimModem *m, const char *codeForPeer)
{
    int peer = m->peer;
    int from = m->ringFrom;
    bool ringing = m->ringing != 0;
    ResetCall(m);
    if (peer >= 0)
        PeerGone(L, peer, codeForPeer);
    else if (ringing && from >= 0)
        PeerGone(L, from, codeForPeer);
}

// +FDR on the receiving side.
void TryStartPage(SimLine *L, SimModem *m)
{
    if (!m->inbound.empty()) {
        if (!Is20(m) && !m->fcfrSent) {
            Info(L, m, "+FCFR");
            m->fcfrSent = 1;
        }
        Final(L, m, R_CONNECT);
        m->st = SIM_ST_DC2WAIT;
        return;
    }
    if (m->lastInPmc == 2) {
        Hangup(L, m, kCodeNormal);
        Final(L, m, R_OK);
        EndCall(L, m, kCodeGone);
        return;
    }
    if (m->peerGone) {
        Hangup(L, m, m->goneCode);
        Final(L, m, R_OK);
        ResetCall(m);
        return;
    }
    m->st = SIM_ST_FDRWAIT;
}

// DC2 arrived: the first queued page becomes the data stream.
void BuildStream(SimLine *L, SimModem *m)
{
    const SimPage &pg = m->inbound.front();
    bool reverse = (m->fclass == 2) != ((m->bor & 2) != 0);
    m->stream.clear();
    m->streamPos = 0;
    m->allowance = 0;
    size_t n = pg.data.size();
    for (size_t i = 0; i < n; i++) {
        unsigned char b = reverse ? SimReverseByte(pg.data[i]) : pg.data[i];
        if (b == DLE) {
            unsigned char next = 0;
            bool pair = false;
            if (Is20(m) && m->cfg->dleSub && i + 1 < n) {
                next = reverse ? SimReverseByte(pg.data[i + 1]) : pg.data[i + 1];
                pair = next == DLE;
            }
            m->stream.push_back(DLE);
            if (pair) {
                m->stream.push_back(SUB);
                i++;
            } else {
                m->stream.push_back(DLE);
            }
        } else {
            m->stream.push_back(b);
        }
    }
    // Two fill bytes follow the page, as the carrier drops after RTC; a
    // decoder that looks ahead past RTC finds bits there.
    m->stream.push_back(0);
    m->stream.push_back(0);
    m->stream.push_back(DLE);
    m->stream.push_back(ETX);
    char text[80];
    snprintf(text, sizeof text, "[page data %zu bytes, %s first]", n, reverse ? "MSB" : "LSB");
    Log(L, m, '<', text);
    m->st = SIM_ST_STREAM;
}

// The page stream has been taken by the program: the post-page report.
void StreamDone(SimLine *L, SimModem *m)
{
    SimPage pg = m->inbound.front();
    m->inbound.erase(m->inbound.begin());
    m->stream.clear();
    m->streamPos = 0;
    m->pageNo++;
    if (pg.dropped) {
        Hangup(L, m, pg.code);
        Final(L, m, R_NOCARRIER);
        m->inbound.clear();
        ResetCall(m);
        return;
    }
    char num[16];
    snprintf(num, sizeof num, "%d", pg.status);
    InfoFmt(L, m, "%s %s", WordOf(m, W_PTS), num);
    snprintf(num, sizeof num, "%d", pg.pmc);
    InfoFmt(L, m, "+FET: %s", num);
    Final(L, m, R_OK);
    m->lastInPmc = pg.pmc;
    m->st = SIM_ST_ONLINE;
}

// ---------------------------------------------------------------- dialling

void Dial(SimLine *L, SimModem *m, const char *arg)
{
    char digits[64];
    size_t n = 0;
    for (const char *p = arg; *p != '\0' && n + 1 < sizeof digits; p++)
        if ((*p >= '0' && *p <= '9') || *p == '*' || *p == '#')
            digits[n++] = *p;
    digits[n] = '\0';
    ResetCall(m);
    CopyText(m->dialed, sizeof m->dialed, digits);
    m->st = SIM_ST_DIAL;
    m->caller = 1;
    m->dueMs = L->nowMs + L->cfg.dialMs;
    static const struct {
        int kind, result;
    } outcomes[] = {
        {SIM_F_NODIALTONE, R_NODIALTONE}, {SIM_F_BUSY, R_BUSY},
        {SIM_F_NOANSWER, R_NOANSWER},     {SIM_F_NOCARRIER, R_NOCARRIER},
    };
    for (const auto &o : outcomes)
        if (FindFault(m, o.kind, -1) != nullptr) {
            m->dialOutcome = o.result;
            return;
        }
    const SimFault *hu = FindFault(m, SIM_F_HANGUP, 0);
    if (hu != nullptr) {
        m->dialOutcome = 100; // hang-up report, below
        return;
    }
    const char *extra = "";
    int to = n > 0 ? FindNumber(L, digits, &extra) : -1;
    if (to < 0) {
        Event(L, m, "no line answers to %s", digits);
        m->dialOutcome = R_NOCARRIER;
        return;
    }
    if (EndBusy(L, to)) {
        m->dialOutcome = R_BUSY;
        return;
    }
    m->peer = to;
    m->dialOutcome = -1;
    m->dueMs = 0;
    CopyText(m->routeDigits, sizeof m->routeDigits, extra);
    StartRinging(L, EndOfModem(L, m), to, extra, m->subOut);
}

void Answer(SimLine *L, SimModem *m)
{
    // ATA after the modem has answered by itself (S0): the answer report
    // again, or nothing yet while the caller's session values are awaited.
    if (m->connected && !m->caller && m->st == SIM_ST_ANSWAIT) {
        Event(L, m, "ATA while answering%s");
        return;
    }
    if (m->connected && !m->caller && m->st == SIM_ST_ONLINE && m->sessionDone && m->pageNo == 0) {
        Info(L, m, WordOf(m, W_FCON));
        InfoFmt(L, m, "%s \"%s\"", WordOf(m, W_TSI), m->sessionTsi);
        if (m->ringSub[0] != '\0')
            InfoFmt(L, m, "+FSA: \"%s\"", m->ringSub);
        InfoFmt(L, m, "%s %s", WordOf(m, W_DCS), m->sessionDcs);
        Final(L, m, R_OK);
        return;
    }
    if (!m->ringing && m->st != SIM_ST_VOICE) {
        Final(L, m, R_NOCARRIER);
        return;
    }
    if (m->fclass != 2 && m->fclass != 20) {
        Final(L, m, R_NOCARRIER);
        EndCall(L, m, kCodeGone);
        return;
    }
    int from = m->ringFrom;
    m->ringing = 0;
    ConnectCall(L, from, EndOfModem(L, m));
}

// ---------------------------------------------------------------- commands

enum { CMD_OK = 0, CMD_ERROR = 1, CMD_DONE = 2 };

bool Strict2Only(const char *name)
{
    static const char *const names[] = {"+FDCC", "+FLID", "+FBOR", "+FPHCTO", "+FMFR", "+FMDL",
                                        "+FREV", "+FDIS", "+FPTS", "+FK", "+FDCS"};
    for (const char *n : names)
        if (strcmp(name, n) == 0)
            return true;
    return false;
}

bool Strict20Only(const char *name)
{
    static const char *const names[] = {"+FCC", "+FLI", "+FBO", "+FCT", "+FMI", "+FMM", "+FMR",
                                        "+FIS", "+FPS", "+FKS", "+FCS", "+FNR", "+FAP", "+FSA"};
    for (const char *n : names)
        if (strcmp(name, n) == 0)
            return true;
    return false;
}

// A quoted string argument ("text"), at most max characters.
bool QuotedArg(const char *arg, char *out, size_t size, size_t max)
{
    size_t len = strlen(arg);
    if (len < 2 || arg[0] != '"' || arg[len - 1] != '"' || len - 2 > max || len - 2 >= size)
        return false;
    memcpy(out, arg + 1, len - 2);
    out[len - 2] = '\0';
    return true;
}

void ClassList(const SimModem *m, char *out, size_t size)
{
    out[0] = '\0';
    static const struct {
        int cls;
        const char *text;
    } order[] = {{0, "0"}, {1, "1"}, {2, "2"}, {20, "2.0"}, {8, "8"}};
    for (const auto &o : order)
        if (ClassOffered(m, o.cls)) {
            if (out[0] != '\0')
                strncat(out, ",", size - strlen(out) - 1);
            strncat(out, o.text, size - strlen(out) - 1);
        }
}

// The voice-mode answer: VCON, then each routing digit as DLE + digit,
// then DLE + "#".
void VoiceAnswer(SimLine *L, SimModem *m)
{
    if (!m->ringing) {
        Final(L, m, R_NOCARRIER);
        return;
    }
    m->ringing = 0;
    m->st = SIM_ST_VOICE;
    Info(L, m, "VCON");
    const char *digits = m->ringDigits;
    char bad[80];
    if (FindFault(m, SIM_F_BADPARAMS, -1) != nullptr) {
        memset(bad, '7', 70);
        bad[70] = '\0';
        digits = bad;
    }
    for (const char *d = digits; *d != '\0'; d++) {
        unsigned char pair[2] = {DLE, static_cast<unsigned char>(*d)};
        Emit(L, m, pair, 2);
    }
    unsigned char end[2] = {DLE, '#'};
    Emit(L, m, end, 2);
    char text[100];
    snprintf(text, sizeof text, "[DTMF %.70s#]", digits);
    Log(L, m, '<', text);
}

int ExtendedCommand(SimLine *L, SimModem *m, const char *name, char op, const char *arg)
{
    int is20 = Is20(m);
    if ((is20 && Strict2Only(name)) || (m->fclass == 2 && Strict20Only(name)))
        return CMD_ERROR;
    if ((strcmp(name, "+FAP") == 0 || strcmp(name, "+FSA") == 0) &&
        FindFault(m, SIM_F_FAPERROR, -1) != nullptr)
        return CMD_ERROR;
    char text[160];
    if (strcmp(name, "+FCLASS") == 0) {
        if (op == '?') {
            snprintf(text, sizeof text, "%d", m->fclass);
            Info(L, m, m->fclass == 20 ? "2.0" : text);
            return CMD_OK;
        }
        if (op == 'r') {
            ClassList(m, text, sizeof text);
            Info(L, m, text);
            return CMD_OK;
        }
        int cls = strcmp(arg, "2.0") == 0 ? 20 : (strcmp(arg, "20") == 0 ? -1 : atoi(arg));
        if (arg[0] < '0' || arg[0] > '9' || !ClassOffered(m, cls))
            return CMD_ERROR;
        m->fclass = cls;
        return CMD_OK;
    }
    if (strcmp(name, "#CLS") == 0) {
        const SimProfile *p = &kProfiles[m->profile];
        if (!p->voice)
            return CMD_ERROR;
        if (op == 'r') {
            Info(L, m, "0,1,2,8");
            return CMD_OK;
        }
        if (op == '?') {
            snprintf(text, sizeof text, "%d", m->fclass == 20 ? 2 : m->fclass);
            Info(L, m, text);
            return CMD_OK;
        }
        int cls = atoi(arg);
        if (cls == 8) {
            if (m->fclass != 8)
                m->voiceReturn = m->fclass;   // fax class to come back to
            m->fclass = 8;
        } else if (cls == 2) {
            m->fclass = m->voiceReturn == 20 ? 20 : 2;
        } else if (cls == 0 || cls == 1) {
            m->fclass = cls;
        } else {
            return CMD_ERROR;
        }
        return CMD_OK;
    }
    if (name[0] == '#')
        return kProfiles[m->profile].voice ? CMD_OK : CMD_ERROR;
    if (strcmp(name, "+FMFR") == 0 || strcmp(name, "+FMI") == 0 || strcmp(name, "+GMI") == 0) {
        Info(L, m, kProfiles[m->profile].maker);
        return CMD_OK;
    }
    if (strcmp(name, "+FMDL") == 0 || strcmp(name, "+FMM") == 0 || strcmp(name, "+GMM") == 0) {
        Info(L, m, kProfiles[m->profile].model);
        return CMD_OK;
    }
    if (strcmp(name, "+FREV") == 0 || strcmp(name, "+FMR") == 0 || strcmp(name, "+GMR") == 0) {
        Info(L, m, kProfiles[m->profile].revision);
        return CMD_OK;
    }
    if (strcmp(name, "+FDCC") == 0 || strcmp(name, "+FCC") == 0 || strcmp(name, "+FDIS") == 0 ||
        strcmp(name, "+FIS") == 0) {
        if (op == 'r') {
            Info(L, m, "(0,1),(0-5),(0-2),(0-2),(0-3),(0-2),(0,1),(0-7)");
            return CMD_OK;
        }
        if (op == '?') {
            CapsText(m->caps, text, sizeof text);
            Info(L, m, text);
            return CMD_OK;
        }
        return ParseCaps(arg, m->caps) ? CMD_OK : CMD_ERROR;
    }
    if (strcmp(name, "+FLID") == 0 || strcmp(name, "+FLI") == 0) {
        if (op == '?') {
            InfoFmt(L, m, "\"%s\"", m->localId);
            return CMD_OK;
        }
        return QuotedArg(arg, m->localId, sizeof m->localId, 20) ? CMD_OK : CMD_ERROR;
    }
    if (strcmp(name, "+FSA") == 0)
        return QuotedArg(arg, m->subOut, sizeof m->subOut, 20) ? CMD_OK : CMD_ERROR;
    if (strcmp(name, "+FAP") == 0) {
        m->fapSet = 1;
        return CMD_OK;
    }
    if (strcmp(name, "+FBOR") == 0 || strcmp(name, "+FBO") == 0) {
        if (op == '?') {
            snprintf(text, sizeof text, "%d", m->bor);
            Info(L, m, text);
            return CMD_OK;
        }
        int v = atoi(arg);
        if (arg[0] < '0' || arg[0] > '9' || v > 3)
            return CMD_ERROR;
        m->bor = v;
        return CMD_OK;
    }
    if (strcmp(name, "+FDT") == 0) {
        if (!m->connected || !m->caller || m->st != SIM_ST_ONLINE || m->lastPmc == 2)
            return CMD_ERROR;
        if (m->peerGone) {
            Hangup(L, m, m->goneCode);
            Final(L, m, R_ERROR);
            ResetCall(m);
            return CMD_DONE;
        }
        if (!m->sessionDone)
            SessionStart(L, EndOfModem(L, m));
        const SimFault *odd = FindFault(m, SIM_F_ODD, -1);
        if (odd != nullptr && (odd->odd & SIM_ODD_F))
            ResultLine(L, m, "f");
        else
            Final(L, m, R_CONNECT);
        if (!is20)
            EmitByte(L, m, DC1, "<XON>");
        m->st = SIM_ST_SENDDATA;
        m->cur.clear();
        m->dleHeld = 0;
        m->lastPmc = -1;
        m->inAllowance = 0;
        return CMD_DONE;
    }
    if (strcmp(name, "+FET") == 0) {
        if (op != '=' || !m->caller || m->lastPmc != 3)
            return CMD_ERROR;
        int pmc = atoi(arg);
        if (arg[0] < '0' || arg[0] > '9' || pmc > 2)
            return CMD_ERROR;
        DeliverPage(L, m, pmc, 0, "");
        char num[16];
        snprintf(num, sizeof num, "%d", m->lastStatus);
        if (FindFault(m, SIM_F_BADPARAMS, -1) != nullptr)
            CopyText(num, sizeof num, "77");
        InfoFmt(L, m, "%s %s", WordOf(m, W_PTS), num);
        if (m->peerGone) {
            Hangup(L, m, m->goneCode);
            Final(L, m, R_OK);
            ResetCall(m);
        } else if (pmc == 2) {
            Hangup(L, m, kCodeNormal);
            Final(L, m, R_OK);
            EndCall(L, m, kCodeNormal);
        } else {
            Final(L, m, R_OK);
        }
        return CMD_DONE;
    }
    if ((strcmp(name, "+FPS") == 0 || strcmp(name, "+FPTS") == 0) && op == '?') {
        snprintf(text, sizeof text, "%d", m->lastStatus);
        if (m->cfg->plainFps)
            Info(L, m, text);
        else
            InfoFmt(L, m, "%s %s", WordOf(m, W_PTS), text);
        if (m->caller && m->connected && m->peerGone) {
            Hangup(L, m, m->goneCode);
            Final(L, m, R_OK);
            ResetCall(m);
            return CMD_DONE;
        }
        if (m->caller && m->connected && m->lastPmc == 2) {
            Hangup(L, m, kCodeNormal);
            Final(L, m, R_OK);
            EndCall(L, m, kCodeNormal);
            return CMD_DONE;
        }
        return CMD_OK;
    }
    if (strcmp(name, "+FDR") == 0) {
        if (!m->connected || m->caller || (m->st != SIM_ST_ONLINE && m->st != SIM_ST_ANSWAIT))
            return CMD_ERROR;
        TryStartPage(L, m);
        return CMD_DONE;
    }
    if (strcmp(name, "+FK") == 0 || strcmp(name, "+FKS") == 0 || strcmp(name, "+FKSR") == 0) {
        if (m->connected) {
            Hangup(L, m, kCodeAbort);
            EndCall(L, m, kCodeAbort);
        }
        return CMD_OK;
    }
    // Other fax settings (+FCR, +FNR, +FPHCTO, +FCT, +FCQ, +FLO, ...) are
    // accepted as they come; the transcript keeps them.
    if (op == 'r')
        Info(L, m, "(0-255)");
    else if (op == '?')
        Info(L, m, "0");
    return CMD_OK;
}

int BasicCommand(SimLine *L, SimModem *m, char c, const char *num, bool amp)
{
    int v = atoi(num);
    if (amp)
        return CMD_OK;  // &C, &D, &F, &W, &L, &O, ...: accepted
    switch (c) {
    case 'E':
        m->echo = v != 0;
        return CMD_OK;
    case 'V':
        m->verbose = v != 0;
        return CMD_OK;
    case 'Q':
        m->quiet = v != 0;
        return CMD_OK;
    case 'H':
        if (m->connected || m->ringing || m->st != SIM_ST_CMD)
            EndCall(L, m, kCodeGone);
        return CMD_OK;
    case 'Z':
        if (m->connected || m->ringing)
            EndCall(L, m, kCodeGone);
        ResetSettings(m);
        return CMD_OK;
    case 'I': {
        const SimProfile *p = &kProfiles[m->profile];
        Info(L, m, v == 0 ? "14400" : (v == 3 ? p->model : p->maker));
        return CMD_OK;
    }
    default:
        return CMD_OK;  // X, M, L, B, ... : accepted
    }
}

void RunCommandLine(SimLine *L, SimModem *m)
{
    const char *line = m->line;
    Log(L, m, '>', line);
    if (FindFault(m, SIM_F_ECHO, -1) != nullptr || m->echo) {
        EmitText(L, m, line);
        EmitText(L, m, "\r");
    }
    m->linesAnswered++;
    if (m->lineOver) {
        Final(L, m, R_ERROR);
        return;
    }
    size_t len = strlen(line);
    size_t i = 2;
    while (i < len) {
        char c = Upper(line[i]);
        int r = CMD_OK;
        if (c == ' ') {
            i++;
            continue;
        }
        if (c == '+' || c == '#') {
            char name[24];
            size_t n = 0;
            while (i < len && line[i] != '=' && line[i] != '?' && line[i] != ';' && n + 1 < sizeof name)
                name[n++] = Upper(line[i++]);
            name[n] = '\0';
            char op = 'x';
            char arg[SIM_LINE_MAX + 1];
            size_t a = 0;
            if (i < len && line[i] == '?') {
                op = '?';
                i++;
            } else if (i < len && line[i] == '=') {
                i++;
                if (i < len && line[i] == '?') {
                    op = 'r';
                    i++;
                } else {
                    op = '=';
                    bool quoted = false;
                    while (i < len && (quoted || line[i] != ';')) {
                        if (line[i] == '"')
                            quoted = !quoted;
                        arg[a++] = line[i++];
                    }
                }
            }
            arg[a] = '\0';
            if (i < len && line[i] == ';')
                i++;
            r = ExtendedCommand(L, m, name, op, arg);
        } else if (c == 'D') {
            Dial(L, m, line + i + 1);
            return;
        } else if (c == 'A') {
            if (m->fclass == 8)
                VoiceAnswer(L, m);
            else
                Answer(L, m);
            return;
        } else if (c == 'S') {
            i++;
            int reg = 0;
            while (i < len && line[i] >= '0' && line[i] <= '9') {
                if (reg < 1000)
                    reg = reg * 10 + (line[i] - '0');
                i++;
            }
            if (reg > 99) {
                r = CMD_ERROR;
            } else if (i < len && line[i] == '?') {
                char text[8];
                snprintf(text, sizeof text, "%03d", m->sRegs[reg]);
                Info(L, m, text);
                i++;
            } else if (i < len && line[i] == '=') {
                i++;
                int v = 0;
                while (i < len && line[i] >= '0' && line[i] <= '9') {
                    if (v < 1000)
                        v = v * 10 + (line[i] - '0');
                    i++;
                }
                if (v > 255) {
                    r = CMD_ERROR;
                } else {
                    m->sRegs[reg] = v;
                    if (reg == 0)
                        m->s0 = v;
                }
            }
        } else if ((c >= 'A' && c <= 'Z') || c == '&' || c == '\\' || c == '%') {
            bool amp = c == '&' || c == '\\' || c == '%';
            i++;
            if (amp && i < len)
                c = Upper(line[i++]);
            char num[8];
            size_t n = 0;
            while (i < len && line[i] >= '0' && line[i] <= '9' && n + 1 < sizeof num)
                num[n++] = line[i++];
            num[n] = '\0';
            r = BasicCommand(L, m, c, num, amp);
        } else {
            r = CMD_ERROR;
        }
        if (r == CMD_ERROR) {
            Final(L, m, R_ERROR);
            return;
        }
        if (r == CMD_DONE)
            return;
    }
    Final(L, m, R_OK);
}

// ---------------------------------------------------------------- input

void SilenceFault(SimLine *L, SimModem *m)
{
    const SimFault *f = FindFault(m, SIM_F_SILENT, -1);
    if (f == nullptr || m->silentNow || m->silentSpent)
        return;
    if (m->linesAnswered >= f->count) {
        m->silentNow = 1;
        m->silentSpent = 1;   // the scripted silence happens once
        m->silentUntil = f->ms > 0 ? L->nowMs + f->ms : 0;
        Event(L, m, "silent%s");
    }
}

void CommandByte(SimLine *L, SimModem *m, unsigned char b)
{
    if (!m->lineOn) {
        if ((b == 'T' || b == 't') && m->lineLen == 1) {
            m->line[1] = 'T';
            m->line[0] = 'A';
            m->lineLen = 2;
            m->lineOn = 1;
            m->lineOver = 0;
            return;
        }
        if (b == 'A' || b == 'a') {
            m->lineLen = 1;
            return;
        }
        m->lineLen = 0;
        if (b == CAN && m->connected && !m->caller) {
            Log(L, m, '>', "<CAN>");
            Hangup(L, m, kCodeAbort);
            Final(L, m, R_OK);
            EndCall(L, m, kCodeAbort);
            return;
        }
        if (b != '\r' && b != '\n') {
            char text[16];
            snprintf(text, sizeof text, (b >= 32 && b < 127) ? "[%c]" : "[0x%02X]", b);
            Log(L, m, '>', text);
        }
        return;
    }
    if (b == '\r') {
        m->line[m->lineLen] = '\0';
        m->lineOn = 0;
        m->lineLen = 0;
        SilenceFault(L, m);
        if (Silent(m, L->nowMs)) {
            Log(L, m, '>', m->line);
            Log(L, m, '*', "no reply (silent)");
            return;
        }
        RunCommandLine(L, m);
        return;
    }
    if (b == '\n')
        return;
    if (b == 0x08) {
        if (m->lineLen > 2)
            m->lineLen--;
        return;
    }
    if (m->lineLen < SIM_LINE_MAX)
        m->line[m->lineLen++] = static_cast<char>(b);
    else
        m->lineOver = 1;
}

// Page data from the program (caller side), DLE-shielded.
void DataByte(SimLine *L, SimModem *m, unsigned char b)
{
    if (m->xoffHeld && !m->xoffWarned) {
        m->xoffWarned = 1;
        Log(L, m, '*', "data received while XOFF held");
    }
    if (m->dleHeld) {
        m->dleHeld = 0;
        int pmc = -1;
        switch (b) {
        case DLE:
            break;
        case SUB:
            // Two data DLEs; the second one is added below.
            m->cur.push_back((m->bor & 1) ? SimReverseByte(DLE) : DLE);
            b = DLE;
            break;
        case ETX:
            pmc = 3;
            break;
        case ',':
            pmc = 0;
            break;
        case ';':
            pmc = 1;
            break;
        case '.':
            pmc = 2;
            break;
        default:
            return; // other DLE pairs are ignored
        }
        if (pmc >= 0) {
            char text[64];
            snprintf(text, sizeof text, "[page data %zu bytes, DLE 0x%02X]", m->cur.size(), b);
            Log(L, m, '>', text);
            m->st = SIM_ST_ONLINE;
            if (m->xoffHeld) {
                m->xoffHeld = 0;
                EmitByte(L, m, DC1, "<XON>");
            }
            if (pmc == 3) {
                m->lastPmc = 3;     // waiting for +FET=
                Final(L, m, R_OK);
            } else {
                DeliverPage(L, m, pmc, 0, "");
                Final(L, m, R_OK);
            }
            return;
        }
    } else if (b == DLE) {
        m->dleHeld = 1;
        return;
    }
    if (m->cur.size() >= kMaxPageBytes) {
        if (m->cur.size() == kMaxPageBytes) {
            Log(L, m, '*', "page data beyond 8 MB dropped");
            m->cur.push_back(0);    // marks the warning as given
        }
        return;
    }
    m->cur.push_back((m->bor & 1) ? SimReverseByte(b) : b);
    int page = m->pageNo + 1;
    const SimFault *x = FindFault(m, SIM_F_XOFF, page);
    if (x != nullptr && !m->xoffDone && m->cur.size() >= static_cast<size_t>(x->bytes)) {
        m->xoffDone = 1;
        m->xoffHeld = 1;
        m->xonDueMs = L->nowMs + x->ms;
        EmitByte(L, m, DC3, "<XOFF>");
    }
    const SimFault *d = FindFault(m, SIM_F_DROP, page);
    if (d == nullptr)
        d = FindFault(ModemOf(L, m->peer), SIM_F_DROP, page);
    if (d != nullptr && m->cur.size() >= static_cast<size_t>(d->bytes)) {
        char text[64];
        snprintf(text, sizeof text, "carrier lost after %zu bytes of page %d", m->cur.size(), page);
        Log(L, m, '*', text);
        DeliverPage(L, m, 0, 1, d->code);
        Hangup(L, m, d->code);
        Final(L, m, R_NOCARRIER);
        ResetCall(m);
        m->st = SIM_ST_SENDSKIP;
    }
}

void FeedByte(SimLine *L, SimModem *m, unsigned char b)
{
    switch (m->st) {
    case SIM_ST_DIAL:
        // Any byte from the program abandons the dial.
        Log(L, m, '>', "[dial abandoned]");
        Final(L, m, R_NOCARRIER);
        EndCall(L, m, kCodeGone);
        return;
    case SIM_ST_SENDDATA:
        DataByte(L, m, b);
        return;
    case SIM_ST_SENDSKIP:
        if (m->dleHeld && b == ETX) {
            m->dleHeld = 0;
            m->st = SIM_ST_CMD;
            return;
        }
        m->dleHeld = b == DLE && !m->dleHeld;
        return;
    case SIM_ST_DC2WAIT:
        if (b == DC2 || b == DC1) {
            Log(L, m, '>', b == DC2 ? "<DC2>" : "<DC1>");
            BuildStream(L, m);
            return;
        }
        if (b == CAN)
            break;
        return;
    case SIM_ST_STREAM:
        if (b == CAN) {
            Log(L, m, '>', "<CAN>");
            m->stream.clear();
            m->streamPos = 0;
            unsigned char end[2] = {DLE, ETX};
            Emit(L, m, end, 2);
            Hangup(L, m, kCodeAbort);
            Final(L, m, R_OK);
            m->inbound.clear();
            EndCall(L, m, kCodeAbort);
        }
        return;
    default:
        break;
    }
    CommandByte(L, m, b);
}

} // namespace

// ---------------------------------------------------------------- public

unsigned char SimReverseByte(unsigned char b)
{
    unsigned char r = 0;
    for (int i = 0; i < 8; i++)
        if (b & (1u << i))
            r |= static_cast<unsigned char>(0x80u >> i);
    return r;
}

int SimProfileIndex(const char *name)
{
    for (int i = 0; i < kNumProfiles; i++)
        if (strcmp(kProfiles[i].name, name) == 0)
            return i;
    return -1;
}

const char *SimProfileModel(int profile)
{
    if (profile < 0 || profile >= kNumProfiles)
        return "";
    return kProfiles[profile].model;
}

void SimLineInit(SimLine *L, const SimConfig *cfg, const SimHooks *hooks, int64_t nowMs)
{
    L->cfg = *cfg;
    if (hooks != nullptr)
        L->hooks = *hooks;
    else
        L->hooks = SimHooks{nullptr, nullptr, nullptr};
    L->startMs = nowMs;
    L->nowMs = nowMs;
    for (int i = 0; i < SIM_MAX_CALLS; i++)
        L->callDone[i] = 0;
    for (int i = 0; i < SIM_MAX_PORTS; i++) {
        SimModem *m = &L->modems[i];
        m->used = L->cfg.ports[i].used;
        m->cfg = &L->cfg.ports[i];
        m->com = m->cfg->com;
        int p = SimProfileIndex(m->cfg->profile);
        m->profile = p < 0 ? 0 : p;
        ResetSettings(m);
        ResetCall(m);
        m->lineLen = 0;
        m->lineOn = 0;
        m->lineOver = 0;
        m->lastByteMs = nowMs;
        m->allowance = 0;
        m->inAllowance = 0;
        m->lastTickMs = nowMs;
        m->silentNow = 0;
        m->silentSpent = 0;
        m->silentUntil = 0;
        m->linesAnswered = 0;
        m->voiceReturn = 0;
        m->forceSilent = 0;
        m->forceGarbage = 0;
        m->out.clear();
    }
    for (int i = 0; i < SIM_MAX_REMOTES; i++) {
        SimRemote *r = &L->remotes[i];
        r->used = L->cfg.remotes[i].used;
        r->cfg = &L->cfg.remotes[i];
        r->peer = -1;
        r->connected = 0;
        r->received = 0;
        r->answerMs = 0;
        r->pendingAnswer = 0;
    }
}

int SimFindPort(const SimLine *L, int com)
{
    for (int i = 0; i < SIM_MAX_PORTS; i++)
        if (L->modems[i].used && L->modems[i].com == com)
            return i;
    return -1;
}

void SimFeed(SimLine *L, int i, const unsigned char *data, size_t len, int64_t nowMs)
{
    if (i < 0 || i >= SIM_MAX_PORTS || !L->modems[i].used)
        return;
    L->nowMs = nowMs;
    SimModem *m = &L->modems[i];
    m->lastByteMs = nowMs;
    if (Silent(m, nowMs)) {
        char text[48];
        snprintf(text, sizeof text, "[%zu bytes ignored while silent]", len);
        Log(L, m, '>', text);
        return;
    }
    for (size_t k = 0; k < len; k++) {
        if (m->st == SIM_ST_SENDDATA && m->inAllowance >= 1)
            m->inAllowance -= 1;
        FeedByte(L, m, data[k]);
    }
}

size_t SimInputRoom(const SimLine *L, int i)
{
    if (i < 0 || i >= SIM_MAX_PORTS || !L->modems[i].used)
        return 0;
    const SimModem *m = &L->modems[i];
    if (L->cfg.rate <= 0 || m->st != SIM_ST_SENDDATA)
        return static_cast<size_t>(-1);
    return static_cast<size_t>(m->inAllowance);
}

// A remote fax machine dials a modem; returns a reason when it cannot.
static const char *StartCall(SimLine *L, const char *from, const char *to)
{
    int r = -1;
    for (int k = 0; k < SIM_MAX_REMOTES; k++)
        if (L->remotes[k].used && strcmp(L->remotes[k].cfg->number, from) == 0)
            r = k;
    if (r < 0)
        return "no such remote";
    const char *extra = "";
    int t = FindNumber(L, to, &extra);
    SimModem *m = ModemOf(L, t);
    if (m == nullptr)
        return "no modem has that number";
    if (EndBusy(L, t) || L->remotes[r].peer >= 0) {
        Event(L, m, "call from %s not placed: line busy", from);
        return "line busy";
    }
    L->remotes[r].peer = t;
    StartRinging(L, SIM_REMOTE_BASE + r, t, extra, L->remotes[r].cfg->sub);
    return nullptr;
}

void SimTick(SimLine *L, int64_t nowMs)
{
    L->nowMs = nowMs;
    for (int c = 0; c < SIM_MAX_CALLS; c++) {
        const SimCallConfig *cc = &L->cfg.calls[c];
        if (cc->used && !L->callDone[c] && nowMs - L->startMs >= cc->afterMs) {
            L->callDone[c] = 1;
            StartCall(L, cc->from, cc->to);
        }
    }
    for (int i = 0; i < SIM_MAX_REMOTES; i++) {
        SimRemote *r = &L->remotes[i];
        if (r->used && r->pendingAnswer && nowMs >= r->answerMs) {
            r->pendingAnswer = 0;
            SimModem *c = ModemOf(L, r->peer);
            if (c != nullptr && c->st == SIM_ST_DIAL)
                ConnectCall(L, r->peer, SIM_REMOTE_BASE + i);
            else
                r->peer = -1;
        }
    }
    for (int i = 0; i < SIM_MAX_PORTS; i++) {
        SimModem *m = &L->modems[i];
        if (!m->used)
            continue;
        if (m->silentNow && m->silentUntil != 0 && nowMs >= m->silentUntil) {
            m->silentNow = 0;
            Event(L, m, "silence over%s");
        }
        if (m->st == SIM_ST_DIAL && m->dialOutcome >= 0 && nowMs >= m->dueMs) {
            int outcome = m->dialOutcome;
            int peer = m->peer;
            if (outcome == 100) {
                const SimFault *hu = FindFault(m, SIM_F_HANGUP, 0);
                Hangup(L, m, hu != nullptr ? hu->code : "11");
                Final(L, m, R_OK);
            } else {
                Final(L, m, outcome);
            }
            ResetCall(m);
            if (SimRemote *r = RemoteOf(L, peer)) {
                r->peer = -1;
                r->pendingAnswer = 0;
            }
        }
        if (m->ringing && nowMs >= m->nextRingMs) {
            m->rings++;
            m->nextRingMs = nowMs + L->cfg.ringMs;
            if (m->rings > L->cfg.ringLimit) {
                int from = m->ringFrom;
                Event(L, m, "caller gave up after the ring limit%s");
                ResetCall(m);
                if (SimModem *c = ModemOf(L, from)) {
                    Final(L, c, R_NOANSWER);
                    ResetCall(c);
                } else if (SimRemote *r = RemoteOf(L, from)) {
                    r->peer = -1;
                }
            } else {
                const SimProfile *p = &kProfiles[m->profile];
                char text[120];
                if (p->ringStyle == RING_EXTENDED) {
                    snprintf(text, sizeof text, "%s 0,0,%s,0,0,0,%s", m->verbose ? "RING:" : "102:",
                             m->ringCli, m->ringDigits);
                    ResultLine(L, m, text);
                } else {
                    Final(L, m, R_RING);
                    if (p->ringStyle == RING_ISDN) {
                        snprintf(text, sizeof text, "FM:%s/1", m->ringCli);
                        Info(L, m, text);
                        snprintf(text, sizeof text, "TO:%s", m->ringDigits);
                        Info(L, m, text);
                    }
                }
                if (m->s0 > 0 && m->rings >= m->s0 && m->st == SIM_ST_CMD &&
                    (m->fclass == 2 || m->fclass == 20))
                    Answer(L, m);
            }
        }
        if (m->xoffHeld && nowMs >= m->xonDueMs) {
            m->xoffHeld = 0;
            EmitByte(L, m, DC1, "<XON>");
        }
        if (m->st == SIM_ST_SENDSKIP && nowMs - m->lastByteMs > 1000)
            m->st = SIM_ST_CMD;
        if (L->cfg.rate > 0) {
            m->allowance += static_cast<double>(L->cfg.rate) * static_cast<double>(nowMs - m->lastTickMs) / 1000.0;
            if (m->allowance > L->cfg.rate)
                m->allowance = L->cfg.rate;
            m->inAllowance += static_cast<double>(L->cfg.rate) * static_cast<double>(nowMs - m->lastTickMs) / 1000.0;
            if (m->inAllowance > L->cfg.rate)
                m->inAllowance = L->cfg.rate;
        }
        m->lastTickMs = nowMs;
    }
}

size_t SimTakeOutput(SimLine *L, int i, unsigned char *buf, size_t max)
{
    if (i < 0 || i >= SIM_MAX_PORTS || !L->modems[i].used)
        return 0;
    SimModem *m = &L->modems[i];
    size_t n = 0;
    while (n < max) {
        if (!m->out.empty()) {
            size_t k = m->out.size() < max - n ? m->out.size() : max - n;
            memcpy(buf + n, m->out.data(), k);
            m->out.erase(m->out.begin(), m->out.begin() + static_cast<std::ptrdiff_t>(k));
            n += k;
            continue;
        }
        if (m->st != SIM_ST_STREAM)
            break;
        if (m->streamPos >= m->stream.size()) {
            StreamDone(L, m);
            continue;
        }
        size_t k = m->stream.size() - m->streamPos;
        if (k > max - n)
            k = max - n;
        if (L->cfg.rate > 0) {
            size_t allowed = static_cast<size_t>(m->allowance);
            if (k > allowed)
                k = allowed;
            m->allowance -= static_cast<double>(k);
        }
        if (k == 0)
            break;
        memcpy(buf + n, m->stream.data() + m->streamPos, k);
        m->streamPos += k;
        n += k;
    }
    return n;
}

int SimControl(SimLine *L, const char *text, char *err, size_t errLen)
{
    char verb[16] = "", a[32] = "", b[32] = "";
    if (sscanf(text, "%15s %31s %31s", verb, a, b) < 1)
        return 0;
    if (strcmp(verb, "call") == 0) {
        const char *why = StartCall(L, a, b);
        if (why != nullptr && err != nullptr)
            snprintf(err, errLen, "call %s %s: %s", a, b, why);
        return why != nullptr;
    }
    int i = SimFindPort(L, atoi(a));
    if (i < 0) {
        if (err != nullptr)
            snprintf(err, errLen, "no port COM%s", a);
        return 1;
    }
    SimModem *m = &L->modems[i];
    bool on = strcmp(b, "off") != 0;
    if (strcmp(verb, "silent") == 0) {
        m->forceSilent = on;
        Event(L, m, on ? "silent (control)%s" : "silence over (control)%s");
    } else if (strcmp(verb, "garbage") == 0) {
        m->forceGarbage = on;
    } else if (strcmp(verb, "drop") == 0) {
        // The line drops: NO CARRIER (or a hang-up report) on both sides.
        Event(L, m, "line dropped (control)%s");
        if (m->connected || m->ringing || m->st != SIM_ST_CMD) {
            int peer = m->peer;
            if (m->st == SIM_ST_DIAL || m->st == SIM_ST_SENDDATA || m->st == SIM_ST_STREAM ||
                m->st == SIM_ST_DC2WAIT || m->st == SIM_ST_FDRWAIT) {
                Hangup(L, m, "70");
                Final(L, m, R_NOCARRIER);
            }
            ResetCall(m);
            if (peer >= 0)
                PeerGone(L, peer, "70");
        }
    } else {
        if (err != nullptr)
            snprintf(err, errLen, "unknown control '%s'", verb);
        return 1;
    }
    return 0;
}
