// Script lines of the modem line simulator: ports, remote fax machines,
// scheduled calls, faults and line settings.
#include "standins/modemsim/simmodem.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void CopyText(char *dst, size_t size, const char *src)
{
    size_t n = 0;
    while (src[n] != '\0' && n + 1 < size) {
        dst[n] = src[n];
        n++;
    }
    dst[n] = '\0';
}

bool EqualNoCase(const char *a, const char *b)
{
    for (; *a != '\0' && *b != '\0'; a++, b++) {
        int ca = (*a >= 'A' && *a <= 'Z') ? *a + 32 : *a;
        int cb = (*b >= 'A' && *b <= 'Z') ? *b + 32 : *b;
        if (ca != cb)
            return false;
    }
    return *a == *b;
}

int Fail(char *err, size_t errLen, const char *fmt, const char *what)
{
    if (err != nullptr && errLen > 0)
        snprintf(err, errLen, fmt, what);
    return 1;
}

// Splits a script line into words; a word may be quoted ("SIM ONE") or
// have a quoted value (id="SIM ONE"). Returns the word count.
int SplitWords(const char *text, char words[][128], int maxWords)
{
    int n = 0;
    const char *p = text;
    while (*p != '\0' && n < maxWords) {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
            p++;
        if (*p == '\0' || *p == '#')
            break;
        size_t len = 0;
        bool quoted = false;
        while (*p != '\0') {
            if (*p == '"') {
                quoted = !quoted;
                p++;
                continue;
            }
            if (!quoted && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'))
                break;
            if (len + 1 < 128)
                words[n][len++] = *p;
            p++;
        }
        words[n][len] = '\0';
        n++;
    }
    return n;
}

// key=value split of one word; value points into the word.
const char *ValueOf(char *word, const char *key)
{
    size_t k = strlen(key);
    if (strncmp(word, key, k) == 0 && word[k] == '=')
        return word + k + 1;
    return nullptr;
}

bool ParseInt(const char *s, int32_t lo, int32_t hi, int32_t *out)
{
    if (s == nullptr || *s == '\0')
        return false;
    char *end = nullptr;
    long v = strtol(s, &end, 10);
    if (*end != '\0' || v < lo || v > hi)
        return false;
    *out = static_cast<int32_t>(v);
    return true;
}

bool IsDigits(const char *s)
{
    if (*s == '\0')
        return false;
    for (; *s != '\0'; s++)
        if (!((*s >= '0' && *s <= '9') || *s == '*' || *s == '#'))
            return false;
    return true;
}

struct FaultName {
    const char *name;
    int kind;
};

const FaultName kFaultNames[] = {
    {"busy", SIM_F_BUSY},           {"noanswer", SIM_F_NOANSWER},
    {"nodialtone", SIM_F_NODIALTONE}, {"nocarrier", SIM_F_NOCARRIER},
    {"hangup", SIM_F_HANGUP},       {"drop", SIM_F_DROP},
    {"pageerror", SIM_F_PAGEERROR}, {"silent", SIM_F_SILENT},
    {"garbage", SIM_F_GARBAGE},     {"echo", SIM_F_ECHO},
    {"xoff", SIM_F_XOFF},           {"badparams", SIM_F_BADPARAMS},
    {"odd", SIM_F_ODD},             {"faperror", SIM_F_FAPERROR},
};

struct OddName {
    const char *name;
    int flag;
};

const OddName kOddNames[] = {
    {"ced", SIM_ODD_CED}, {"a4", SIM_ODD_A4}, {"plusplus", SIM_ODD_PLUSPLUS},
    {"f", SIM_ODD_F},     {"ff", SIM_ODD_FF},
};

SimPortConfig *PortByCom(SimConfig *cfg, int com, bool create)
{
    for (auto &p : cfg->ports)
        if (p.used && p.com == com)
            return &p;
    if (!create)
        return nullptr;
    for (auto &p : cfg->ports)
        if (!p.used) {
            memset(&p, 0, sizeof p);
            p.used = 1;
            p.com = com;
            CopyText(p.profile, sizeof p.profile, "generic");
            return &p;
        }
    return nullptr;
}

int PortLine(SimConfig *cfg, char words[][128], int n, char *err, size_t errLen)
{
    int32_t com = 0;
    if (n < 2 || !ParseInt(words[1], 1, 99, &com))
        return Fail(err, errLen, "port: COM number 1..99 expected%s", "");
    SimPortConfig *p = PortByCom(cfg, com, true);
    if (p == nullptr)
        return Fail(err, errLen, "port: too many ports%s", "");
    for (int i = 2; i < n; i++) {
        const char *v;
        if ((v = ValueOf(words[i], "number")) != nullptr) {
            if (!IsDigits(v) || strlen(v) >= sizeof p->number)
                return Fail(err, errLen, "port: bad number '%s'", v);
            CopyText(p->number, sizeof p->number, v);
        } else if ((v = ValueOf(words[i], "profile")) != nullptr) {
            if (SimProfileIndex(v) < 0)
                return Fail(err, errLen, "port: unknown profile '%s'", v);
            CopyText(p->profile, sizeof p->profile, v);
        } else if ((v = ValueOf(words[i], "class")) != nullptr) {
            if (strcmp(v, "2") == 0)
                p->forceClass = 2;
            else if (strcmp(v, "2.0") == 0)
                p->forceClass = 20;
            else if (strcmp(v, "auto") == 0)
                p->forceClass = 0;
            else
                return Fail(err, errLen, "port: class must be 2, 2.0 or auto, not '%s'", v);
        } else if ((v = ValueOf(words[i], "id")) != nullptr) {
            CopyText(p->id, sizeof p->id, v);
        } else if ((v = ValueOf(words[i], "dtmflines")) != nullptr) {
            p->dtmfLines = atoi(v) != 0;
        } else if ((v = ValueOf(words[i], "dlesub")) != nullptr) {
            p->dleSub = atoi(v) != 0;
        } else if ((v = ValueOf(words[i], "plainfps")) != nullptr) {
            p->plainFps = atoi(v) != 0;
        } else {
            return Fail(err, errLen, "port: unknown setting '%s'", words[i]);
        }
    }
    return 0;
}

int RemoteLine(SimConfig *cfg, char words[][128], int n, char *err, size_t errLen)
{
    if (n < 2 || !IsDigits(words[1]) || strlen(words[1]) >= sizeof cfg->remotes[0].number)
        return Fail(err, errLen, "remote: number expected%s", "");
    SimRemoteConfig *r = nullptr;
    for (auto &x : cfg->remotes)
        if (x.used && strcmp(x.number, words[1]) == 0)
            r = &x;
    for (auto &x : cfg->remotes)
        if (r == nullptr && !x.used) {
            r = &x;
            r->used = 1;
            CopyText(r->number, sizeof r->number, words[1]);
            CopyText(r->id, sizeof r->id, "REMOTE FAX");
            CopyText(r->dis, sizeof r->dis, "1,3,0,2,0,0,0,5");
            CopyText(r->dcs, sizeof r->dcs, "0,3,0,2,0,0,0,0");
            r->cli[0] = '\0';
            r->sub[0] = '\0';
            r->numPages = 0;
            r->rings = 1;
        }
    if (r == nullptr)
        return Fail(err, errLen, "remote: too many remotes%s", "");
    for (int i = 2; i < n; i++) {
        const char *v;
        int32_t num = 0;
        if ((v = ValueOf(words[i], "id")) != nullptr)
            CopyText(r->id, sizeof r->id, v);
        else if ((v = ValueOf(words[i], "dis")) != nullptr)
            CopyText(r->dis, sizeof r->dis, v);
        else if ((v = ValueOf(words[i], "dcs")) != nullptr)
            CopyText(r->dcs, sizeof r->dcs, v);
        else if ((v = ValueOf(words[i], "cli")) != nullptr)
            CopyText(r->cli, sizeof r->cli, v);
        else if ((v = ValueOf(words[i], "sub")) != nullptr)
            CopyText(r->sub, sizeof r->sub, v);
        else if ((v = ValueOf(words[i], "rings")) != nullptr) {
            if (!ParseInt(v, 0, 100, &num))
                return Fail(err, errLen, "remote: bad rings '%s'", v);
            r->rings = num;
        } else if ((v = ValueOf(words[i], "pages")) != nullptr) {
            // Comma-separated file names; the program loads the bytes.
            r->numPages = 0;
            while (*v != '\0') {
                if (r->numPages >= SIM_MAX_PAGES)
                    return Fail(err, errLen, "remote: too many pages%s", "");
                size_t len = strcspn(v, ",");
                if (len == 0 || len >= sizeof r->pageFiles[0])
                    return Fail(err, errLen, "remote: bad page file list '%s'", v);
                memcpy(r->pageFiles[r->numPages], v, len);
                r->pageFiles[r->numPages][len] = '\0';
                r->pages[r->numPages].clear();
                r->numPages++;
                v += len;
                if (*v == ',')
                    v++;
            }
        } else {
            return Fail(err, errLen, "remote: unknown setting '%s'", words[i]);
        }
    }
    return 0;
}

int CallLine(SimConfig *cfg, char words[][128], int n, char *err, size_t errLen)
{
    if (n < 3 || !IsDigits(words[1]) || !IsDigits(words[2]) ||
        strlen(words[1]) >= sizeof cfg->calls[0].from || strlen(words[2]) >= sizeof cfg->calls[0].to)
        return Fail(err, errLen, "call: 'call <remote number> <number dialled> [after=ms]' expected%s", "");
    for (auto &c : cfg->calls)
        if (!c.used) {
            c.used = 1;
            CopyText(c.from, sizeof c.from, words[1]);
            CopyText(c.to, sizeof c.to, words[2]);
            c.afterMs = 0;
            for (int i = 3; i < n; i++) {
                const char *v = ValueOf(words[i], "after");
                if (v == nullptr || !ParseInt(v, 0, 86400000, &c.afterMs))
                    return Fail(err, errLen, "call: unknown setting '%s'", words[i]);
            }
            return 0;
        }
    return Fail(err, errLen, "call: too many calls%s", "");
}

int FaultLine(SimConfig *cfg, char words[][128], int n, char *err, size_t errLen)
{
    int32_t com = 0;
    if (n < 3 || !ParseInt(words[1], 1, 99, &com))
        return Fail(err, errLen, "fault: 'fault <com> <kind> [settings]' expected%s", "");
    SimPortConfig *p = PortByCom(cfg, com, true);
    if (p == nullptr)
        return Fail(err, errLen, "fault: too many ports%s", "");
    if (p->numFaults >= SIM_MAX_FAULTS)
        return Fail(err, errLen, "fault: too many faults on one port%s", "");
    SimFault f;
    memset(&f, 0, sizeof f);
    for (const auto &k : kFaultNames)
        if (EqualNoCase(words[2], k.name))
            f.kind = k.kind;
    if (f.kind == SIM_F_NONE)
        return Fail(err, errLen, "fault: unknown kind '%s'", words[2]);
    f.status = 2;
    f.bytes = 0;
    switch (f.kind) {
    case SIM_F_HANGUP:
        CopyText(f.code, sizeof f.code, "11");
        break;
    case SIM_F_DROP:
        CopyText(f.code, sizeof f.code, "70");
        f.page = 1;
        f.bytes = 200;
        break;
    case SIM_F_PAGEERROR:
        f.page = 1;
        break;
    case SIM_F_XOFF:
        f.page = 1;
        f.bytes = 100;
        f.ms = 60000;
        break;
    default:
        break;
    }
    for (int i = 3; i < n; i++) {
        const char *v;
        if ((v = ValueOf(words[i], "page")) != nullptr) {
            int32_t x;
            if (!ParseInt(v, 0, 1000, &x))
                return Fail(err, errLen, "fault: bad page '%s'", v);
            f.page = x;
        } else if ((v = ValueOf(words[i], "bytes")) != nullptr) {
            if (!ParseInt(v, 0, 100000000, &f.bytes))
                return Fail(err, errLen, "fault: bad bytes '%s'", v);
        } else if ((v = ValueOf(words[i], "ms")) != nullptr) {
            if (!ParseInt(v, 0, 86400000, &f.ms))
                return Fail(err, errLen, "fault: bad ms '%s'", v);
        } else if ((v = ValueOf(words[i], "after")) != nullptr) {
            if (!ParseInt(v, 0, 1000000, &f.count))
                return Fail(err, errLen, "fault: bad after '%s'", v);
        } else if ((v = ValueOf(words[i], "status")) != nullptr) {
            int32_t x;
            if (!ParseInt(v, 0, 999, &x))
                return Fail(err, errLen, "fault: bad status '%s'", v);
            f.status = x;
        } else if ((v = ValueOf(words[i], "code")) != nullptr) {
            if (*v == '\0' || strlen(v) >= sizeof f.code)
                return Fail(err, errLen, "fault: bad code '%s'", v);
            CopyText(f.code, sizeof f.code, v);
        } else if (f.kind == SIM_F_ODD) {
            bool found = false;
            for (const auto &o : kOddNames)
                if (EqualNoCase(words[i], o.name)) {
                    f.odd |= o.flag;
                    found = true;
                }
            if (!found)
                return Fail(err, errLen, "fault: unknown odd reply '%s'", words[i]);
        } else {
            return Fail(err, errLen, "fault: unknown setting '%s'", words[i]);
        }
    }
    p->faults[p->numFaults++] = f;
    return 0;
}

int SetLine(SimConfig *cfg, char words[][128], int n, char *err, size_t errLen)
{
    for (int i = 1; i < n; i++) {
        const char *v;
        bool ok;
        if ((v = ValueOf(words[i], "ring")) != nullptr)
            ok = ParseInt(v, 10, 60000, &cfg->ringMs);
        else if ((v = ValueOf(words[i], "ringlimit")) != nullptr)
            ok = ParseInt(v, 1, 1000, &cfg->ringLimit);
        else if ((v = ValueOf(words[i], "dial")) != nullptr)
            ok = ParseInt(v, 0, 60000, &cfg->dialMs);
        else if ((v = ValueOf(words[i], "rate")) != nullptr)
            ok = ParseInt(v, 0, 100000000, &cfg->rate);
        else
            return Fail(err, errLen, "set: unknown setting '%s'", words[i]);
        if (!ok)
            return Fail(err, errLen, "set: bad value in '%s'", words[i]);
    }
    return 0;
}

} // namespace

void SimConfigDefaults(SimConfig *cfg)
{
    for (auto &p : cfg->ports)
        memset(&p, 0, sizeof p);
    for (auto &r : cfg->remotes) {
        r.used = 0;
        r.numPages = 0;
        for (auto &pg : r.pages)
            pg.clear();
    }
    for (auto &c : cfg->calls)
        memset(&c, 0, sizeof c);
    cfg->ringMs = 1000;
    cfg->ringLimit = 10;
    cfg->dialMs = 300;
    cfg->rate = 0;
}

int SimConfigLine(SimConfig *cfg, const char *text, char *err, size_t errLen)
{
    char words[24][128];
    int n = SplitWords(text, words, 24);
    if (err != nullptr && errLen > 0)
        err[0] = '\0';
    if (n == 0)
        return 0;
    if (strcmp(words[0], "port") == 0)
        return PortLine(cfg, words, n, err, errLen);
    if (strcmp(words[0], "remote") == 0)
        return RemoteLine(cfg, words, n, err, errLen);
    if (strcmp(words[0], "call") == 0)
        return CallLine(cfg, words, n, err, errLen);
    if (strcmp(words[0], "fault") == 0)
        return FaultLine(cfg, words, n, err, errLen);
    if (strcmp(words[0], "set") == 0)
        return SetLine(cfg, words, n, err, errLen);
    return Fail(err, errLen, "unknown script line '%s'", words[0]);
}
