// The packet tool's catalogue: kinds, send lengths and named fields.
#include "standins/tvpacket/pktfields.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/lebytes.h"

// The header field every kind has, and the sender fields of a controller.
#define PF_CODE {"code", 4, 2, PF_U16, 0}
#define PF_DEVICE {"device", 6, 10, PF_TEXT, 0}, {"number", 16, 2, PF_U16, 0}
#define PF_END {nullptr, 0, 0, PF_U16, 0}

static const PfField kNone[] = {PF_CODE, PF_END};
static const PfField kQueueStatusRequest[] = {
    PF_CODE, {"first", 6, 9, PF_TEXT, 0}, {"second", 15, 13, PF_TEXT, 0}, {"value", 28, 2, PF_U16, 3}, PF_END};
static const PfField kJobResult[] = {PF_CODE,
                                     PF_DEVICE,
                                     {"id", 18, 2, PF_U16, 0},
                                     {"status", 20, 2, PF_U16, 0},
                                     {"seconds", 22, 2, PF_U16, 0},
                                     {"pages", 24, 2, PF_U16, 0},
                                     PF_END};
static const PfField kScanResult[] = {
    PF_CODE, PF_DEVICE, {"id", 18, 2, PF_U16, 0}, {"status", 20, 2, PF_U16, 0}, {"value", 22, 2, PF_U16, 0},
    PF_END};
static const PfField kNewMessage[] = {
    PF_CODE, PF_DEVICE, {"user", 18, 9, PF_TEXT, 0}, {"file", 27, 13, PF_TEXT, 0}, PF_END};
static const PfField kStatus[] = {
    PF_CODE, PF_DEVICE, {"status", 18, 2, PF_U16, 0}, {"page", 20, 2, PF_U16, 0}, PF_END};
static const PfField kRegister[] = {PF_CODE,
                                    PF_DEVICE,
                                    {"queue", 18, 86, PF_TEXT, 0},
                                    {"tag", 104, 2, PF_U16, 0},
                                    {"send", 108, 4, PF_U32, 0},
                                    {"print", 112, 4, PF_U32, 0},
                                    PF_END};
static const PfField kTagOnly[] = {PF_CODE, {"tag", 6, 2, PF_U16, 0}, PF_END};
static const PfField kDeviceRequest[] = {PF_CODE, {"tag", 6, 2, PF_U16, 0}, {"id", 8, 2, PF_U16, 0}, PF_END};
static const PfField kJob[] = {PF_CODE,
                               {"tag", 6, 2, PF_U16, 0},
                               {"id", 8, 2, PF_U16, 0},
                               {"message", 10, 10, PF_TEXT, 0},
                               {"log32", 20, 4, PF_U32, 0},
                               {"log16", 24, 2, PF_U16, 0},
                               {"dir", 26, 64, PF_TEXT, 0},
                               {"file1", 90, 13, PF_TEXT, 0},
                               {"file2", 103, 13, PF_TEXT, 0},
                               {"scanformat", 104, 2, PF_U16, 0},
                               {"scanoption", 106, 2, PF_U16, 0},
                               {"format", 116, 2, PF_U16, 0},
                               {"route", 118, 2, PF_U16, 0},
                               {"phone", 120, 72, PF_TEXT, 0},
                               {"sender", 192, 31, PF_TEXT, 0},
                               {"expected", 223, 41, PF_TEXT, 0},
                               {"flags", 264, 4, PF_U32, 0},
                               {"remote", 309, 30, PF_TEXT, 0},
                               {"dial2", 381, 41, PF_TEXT, 0},
                               {"sent", 422, 2, PF_U16, 0},
                               PF_END};
static const PfField kOffline[] = {
    PF_CODE, {"tag", 6, 2, PF_U16, 0}, {"busy", 8, 4, PF_U32, 0}, {"interrupt", 12, 4, PF_U32, 0}, PF_END};
static const PfField kPortOffline[] = {PF_CODE,
                                       {"tag", 6, 2, PF_U16, 0},
                                       {"busy", 8, 4, PF_U32, 0},
                                       {"interrupt", 12, 4, PF_U32, 0},
                                       {"id", 16, 2, PF_U16, 0},
                                       {"reply", 18, 14, PF_TEXT, 0},
                                       PF_END};
static const PfField kConvert[] = {PF_CODE, {"args", 6, 128, PF_TEXT, 0}, PF_END};
static const PfField kControllerStarted[] = {PF_CODE, {"id", 6, 11, PF_TEXT, 0}, {"value", 20, 4, PF_U32, 1}, PF_END};
static const PfField kPortInit[] = {
    PF_CODE, PF_DEVICE, {"queue", 18, 86, PF_TEXT, 0}, {"port", 104, 13, PF_TEXT, 0}, PF_END};
static const PfField kPortRequest[] = {PF_CODE,
                                       {"port", 6, 13, PF_TEXT, 0},
                                       {"offline", 20, 4, PF_U32, 1},
                                       {"busy", 24, 4, PF_U32, 0},
                                       {"interrupt", 28, 4, PF_U32, 0},
                                       {"id", 32, 2, PF_U16, 0},
                                       {"reply", 34, 11, PF_TEXT, 0},
                                       PF_END};
static const PfField kDeviceStatus[] = {PF_CODE,
                                        PF_DEVICE,
                                        {"state", 18, 2, PF_U16, 0},
                                        {"text1", 20, 9, PF_TEXT, 0},
                                        {"text2", 29, 13, PF_TEXT, 0},
                                        {"total", 42, 2, PF_U16, 0},
                                        {"page", 44, 2, PF_U16, 0},
                                        PF_END};
static const PfField kQueueStatus[] = {PF_CODE,
                                       {"held", 6, 2, PF_U16, 0},
                                       {"retry", 8, 2, PF_U16, 0},
                                       {"preparing", 10, 2, PF_U16, 0},
                                       {"prepared", 12, 2, PF_U16, 0},
                                       {"queued", 14, 2, PF_U16, 0},
                                       {"counter6", 16, 2, PF_U16, 0},
                                       {"counter7", 18, 2, PF_U16, 0},
                                       PF_END};
static const PfField kPortReply[] = {PF_CODE, {"id", 6, 2, PF_U16, 0}, PF_END};

const PfKind g_pfKinds[] = {
    {1, 4, "QUEUE STATUS REQUEST", 30, kQueueStatusRequest},
    {1, 6, "JOB RESULT", 26, kJobResult},
    {1, 6, "JOB REFUSED", 26, kJobResult},
    {1, 7, "SCAN RESULT", 24, kScanResult},
    {1, 8, "NEW MESSAGE", 40, kNewMessage},
    {1, 9, "STATUS", 22, kStatus},
    {1, 10, "REGISTER", 116, kRegister},
    {1, 11, "CONVERT REPLY", 6, kNone},
    {2, 1, "INITIALISE", 10, kDeviceRequest},
    {2, 2, "STOP", 10, kDeviceRequest},
    {2, 3, "ABORT", 10, kDeviceRequest},
    {2, 4, "STATUS ENQUIRY", 10, kDeviceRequest},
    {2, 5, "JOB", 424, kJob},
    {2, 6, "SCAN JOB", 424, kJob},
    {2, 7, "OFFLINE", 16, kOffline},
    {2, 8, "ONLINE", 8, kTagOnly},
    {2, 9, "PORT OFFLINE", 32, kPortOffline},
    {2, 10, "PORT ONLINE", 10, kDeviceRequest},
    {5, 1, "CONVERT", 134, kConvert},
    {5, 2, "SHUTDOWN", 6, kNone},
    {5, 3, "ABORT", 6, kNone},
    {6, 1, "PING", 6, kNone},
    {6, 3, "CONTROLLER STARTED", 24, kControllerStarted},
    {6, 4, "RESTART", 6, kNone},
    {6, 5, "PORT INIT", 118, kPortInit},
    {6, 6, "PORT REQUEST", 48, kPortRequest},
    {7, 1, "DEVICE STATUS", 46, kDeviceStatus},
    {7, 2, "QUEUE STATUS", 20, kQueueStatus},
    {8, 1, "PORT REPLY", 8, kPortReply},
    {98, 2, "SUBMITTER SHUTDOWN", 6, kNone},
    {99, 0xFF, "STOP ALL", 6, kNone},
};
const size_t g_pfKindCount = sizeof g_pfKinds / sizeof g_pfKinds[0];

static char Fold(char c)
{
    if (c == '-' || c == '_')
        return ' ';
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

static bool SameName(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b)
        if (Fold(*a) != Fold(*b))
            return false;
    return *a == *b;
}

// A whole decimal or 0x-hexadecimal number up to max.
static bool ParseNumber(const char *s, uint32_t max, uint32_t *out)
{
    if (!s || !*s || *s == '-' || *s == '+' || *s == ' ')
        return false;
    char *end = nullptr;
    unsigned long long v = std::strtoull(s, &end, 0);
    if (*end || v > max)
        return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

const PfKind *FindPfKind(const char *text, uint8_t *type, bool *ambiguous)
{
    *ambiguous = false;
    const char *slash = std::strchr(text, '/');
    if (slash) {
        char left[8];
        size_t n = static_cast<size_t>(slash - text);
        if (n == 0 || n >= sizeof left)
            return nullptr;
        std::memcpy(left, text, n);
        left[n] = '\0';
        uint32_t c = 0, t = 0;
        if (!ParseNumber(left, 255, &c) || !ParseNumber(slash + 1, 255, &t))
            return nullptr;
        for (size_t i = 0; i < g_pfKindCount; ++i)
            if (g_pfKinds[i].cls == c && (g_pfKinds[i].type == t || g_pfKinds[i].type == 0xFF)) {
                *type = static_cast<uint8_t>(t);
                return &g_pfKinds[i];
            }
        return nullptr;
    }
    const PfKind *found = nullptr;
    for (size_t i = 0; i < g_pfKindCount; ++i)
        if (SameName(g_pfKinds[i].name, text)) {
            if (found) {
                *ambiguous = true;
                return nullptr;
            }
            found = &g_pfKinds[i];
        }
    if (found)
        *type = found->type == 0xFF ? 0 : found->type;
    return found;
}

const PfField *FindPfField(const PfKind *kind, const char *name)
{
    for (const PfField *f = kind->fields; f->name; ++f)
        if (SameName(f->name, name))
            return f;
    return nullptr;
}

bool SetPfField(uint8_t *buf, size_t bufSize, const PfField *f, const char *value, char *err, size_t errSize)
{
    if (static_cast<size_t>(f->offset) + f->width > bufSize) {
        std::snprintf(err, errSize, "field %s lies outside the packet buffer", f->name);
        return false;
    }
    uint8_t *p = buf + f->offset;
    if (f->type == PF_TEXT) {
        size_t n = std::strlen(value);
        if (n > static_cast<size_t>(f->width) - 1) {
            std::snprintf(err, errSize, "%s holds at most %u characters", f->name, f->width - 1u);
            return false;
        }
        std::memset(p, 0, f->width);
        std::memcpy(p, value, n);
        return true;
    }
    uint32_t v = 0;
    if (!ParseNumber(value, f->type == PF_U16 ? 0xFFFFu : 0xFFFFFFFFu, &v)) {
        std::snprintf(err, errSize, "%s needs a %s number, not '%s'", f->name, f->type == PF_U16 ? "16-bit" : "32-bit",
                      value);
        return false;
    }
    if (f->type == PF_U16)
        PutLe16(p, static_cast<uint16_t>(v));
    else
        PutLe32(p, v);
    return true;
}

uint16_t StartPfPacket(const PfKind *kind, uint8_t type, uint8_t *buf, size_t bufSize)
{
    std::memset(buf, 0, bufSize);
    if (bufSize < kind->length)
        return 0;
    PutLe16(buf, kind->length);
    buf[2] = kind->cls;
    buf[3] = type;
    char err[8];
    for (const PfField *f = kind->fields; f->name; ++f)
        if (f->type != PF_TEXT && f->defaultValue) {
            char text[16];
            std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(f->defaultValue));
            SetPfField(buf, bufSize, f, text, err, sizeof err);
        }
    return kind->length;
}
