#include "client/shell/identity.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "client/shell/shelltext.h"
#include "common/ctlfile.h"
#include "common/platform.h"
#include "common/sharedfile.h"

namespace {


// Next token of a blank- or comma-separated value: start and length; false at
// the end.
bool NextWord(const char *&p, const char **start, size_t *len)
{
    while (*p && IsSeparator(static_cast<unsigned char>(*p)))
        ++p;
    if (!*p)
        return false;
    *start = p;
    while (*p && !IsSeparator(static_cast<unsigned char>(*p)))
        ++p;
    *len = static_cast<size_t>(p - *start);
    return true;
}



// A band group in progress: National or International with the bands named.
enum DialKind { DIAL_NONE, DIAL_NATIONAL, DIAL_INTERNATIONAL };

int32_t AllBands(DialKind kind) { return kind == DIAL_NATIONAL ? TV_DIAL_NATIONAL_ALL : TV_DIAL_INTERNATIONAL_ALL; }
int32_t Band(DialKind kind, int band)
{
    return kind == DIAL_NATIONAL ? DialNationalBand(band) : DialInternationalBand(band);
}

// "%hd:%hd" at the start of a token.
bool ReadClock(const char *tok, size_t len, int16_t *hour, int16_t *minute)
{
    char buf[32];
    if (len >= sizeof buf)
        return false;
    std::memcpy(buf, tok, len);
    buf[len] = '\0';
    short h = 0, m = 0;
    if (std::sscanf(buf, "%hd:%hd", &h, &m) != 2)
        return false;
    *hour = h;
    *minute = m;
    return true;
}

// A right's value: none or Y sets, N clears, else false.
bool ApplyRight(const char *line, int32_t right, int32_t *rights)
{
    const char *v = EntryValue(line);
    if (!v || *v == 'Y' || *v == 'y') {
        *rights |= right;
        return true;
    }
    if (*v == 'N' || *v == 'n') {
        *rights &= ~right;
        return true;
    }
    return false;
}

struct RightKey {
    const char *key;
    int32_t right;
    uint16_t error;
};

// In the order a line is matched against them (Dial: before, SendTime: after).
const RightKey kRightKeys[] = {
    {"Urgent:", TV_RIGHT_URGENT, TV_UL_BAD_URGENT},
    {"Admin:", TV_RIGHT_ADMIN, TV_UL_BAD_ADMIN},
    {"NetworkEdit:", TV_RIGHT_NETWORK_EDIT, TV_UL_BAD_NETWORK_EDIT},
    {"RushToTop:", TV_RIGHT_RUSH_TO_TOP, TV_UL_BAD_RUSH_TO_TOP},
    {"PrivateEdit:", TV_RIGHT_PRIVATE_EDIT, TV_UL_BAD_PRIVATE_EDIT},
    {"SubmitAny:", TV_RIGHT_SUBMIT_ANY, TV_UL_BAD_SUBMIT_ANY},
    {"GroupAdmin:", TV_RIGHT_GROUP_ADMIN, TV_UL_BAD_GROUP_ADMIN},
};

const char kAccountNotFound[] = "???";

} // namespace

int ParseDialLimit(const char *value, int32_t *dial)
{
    const char *p = value ? value : "";
    const char *tok;
    size_t len;
    DialKind kind = DIAL_NONE;
    bool allPending = false; // a National/International alone, no digit yet
    int32_t mask = *dial;
    int ok = 1;
    while (NextWord(p, &tok, &len)) {
        bool digit = len == 1 && tok[0] >= '1' && tok[0] <= '9';
        if (digit) {
            if (kind == DIAL_NONE) {
                ok = 0;
                break;
            }
            allPending = false;
            mask |= Band(kind, tok[0] - '0');
            continue;
        }
        if (allPending)
            mask |= AllBands(kind);
        allPending = false;
        kind = DIAL_NONE;
        if (len == 5 && EqualNoCaseN(tok, "Local", 5)) {
            mask |= TV_DIAL_LOCAL;
            continue;
        }
        DialKind k = DIAL_NONE;
        size_t stem = 0;
        if (len >= 8 && EqualNoCaseN(tok, "National", 8)) {
            k = DIAL_NATIONAL;
            stem = 8;
        } else if (len >= 13 && EqualNoCaseN(tok, "International", 13)) {
            k = DIAL_INTERNATIONAL;
            stem = 13;
        }
        if (k != DIAL_NONE && len == stem) {
            kind = k;
            allPending = true;
        } else if (k != DIAL_NONE && len == stem + 1 && tok[stem] >= '1' && tok[stem] <= '9') {
            kind = k;
            mask |= Band(k, tok[stem] - '0');
        } else {
            ok = 0;
            break;
        }
    }
    if (ok && allPending)
        mask |= AllBands(kind);
    *dial = mask;
    return ok;
}

int ParseSendTimeLimit(const char *value, TvUserLimits *limits)
{
    static const char *const kDays[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    const char *p = value ? value : "";
    const char *tok;
    size_t len;
    while (NextWord(p, &tok, &len)) {
        bool after = len == 5 && EqualNoCaseN(tok, "AFTER", 5);
        bool before = len == 6 && EqualNoCaseN(tok, "BEFORE", 6);
        if (after || before) {
            const char *t;
            size_t tl;
            int16_t h, m;
            if (!NextWord(p, &t, &tl) || !ReadClock(t, tl, &h, &m))
                return 0;
            if (after) {
                limits->afterHour = h;
                limits->afterMinute = m;
                if (limits->beforeHour == 0 && limits->beforeMinute == 0)
                    limits->beforeHour = 24;
            } else {
                limits->beforeHour = h;
                limits->beforeMinute = m;
            }
            continue;
        }
        bool day = false;
        for (int d = 0; d < 7 && len >= 3; ++d)
            if (EqualNoCaseN(tok, kDays[d], 3)) {
                limits->days = static_cast<int16_t>(limits->days | (1 << d));
                day = true;
                break;
            }
        if (!day)
            return 0;
    }
    return 1;
}

uint16_t ReadUserList(FILE *f, TvUserLimits *limits)
{
    std::memset(limits, 0, sizeof *limits);
    limits->rights = TV_RIGHTS_DEFAULT;
    long start = std::ftell(f);
    bool haveDial = false, haveSendTime = false;
    uint16_t result = 0;
    char line[TV_LINE_SIZE];
    int32_t linePos = 0;
    while (ReadControlLine(f, line, sizeof line, &linePos)) {
        if (IsParagraphLine(line))
            break;
        if (!IsEntryLine(line))
            continue;
        if (KeyMatches(line, "Dial:")) {
            haveDial = true;
            if (!ParseDialLimit(EntryValue(line), &limits->dial))
                result = TV_UL_BAD_DIAL;
            continue;
        }
        bool handled = false;
        for (const RightKey &r : kRightKeys)
            if (KeyMatches(line, r.key)) {
                if (!ApplyRight(line, r.right, &limits->rights))
                    result = r.error;
                handled = true;
                break;
            }
        if (handled)
            continue;
        if (KeyMatches(line, "SendTime:") && !haveSendTime) {
            haveSendTime = true;
            if (!ParseSendTimeLimit(EntryValue(line), limits))
                result = TV_UL_BAD_SEND_TIME;
        }
    }
    if (!haveDial)
        limits->dial = TV_DIAL_ANY;
    if (!haveSendTime)
        limits->days = TV_DAYS_ALL;
    std::clearerr(f);
    std::fseek(f, start, SEEK_SET);
    return result;
}

int GetUserIdentity(TvIdentity *id, const char *listPath, int networkKind, const TvShellHooks *hooks)
{
    const char *key;
    if (!id->defaultUser[0]) {
        if (!TvShellLogonName(hooks, id->networkName, sizeof id->networkName))
            return TV_ID_NO_NETWORK_NAME;
        key = (networkKind == TV_NET_LANMANAGER || networkKind == TV_NET_WFW) ? "LanManager:"
              : networkKind == TV_NET_NETWARE                                  ? "Netware:"
                                                                               : "Username:";
    } else {
        if (id->networkName[0])
            return TV_ID_NAME_ALREADY_SET;
        if (std::strlen(id->defaultUser) >= sizeof id->networkName)
            return TV_ID_DEFAULT_TOO_LONG;
        CopyCut(id->networkName, sizeof id->networkName, id->defaultUser);
        key = "Name:";
    }
    if (std::strcmp(id->defaultUser, "?") == 0)
        return TV_ID_NO_ACCOUNT;

    FILE *f = OpenSharedRetry(listPath, "rb");
    if (!f) {
        // No user list: every network user is accepted under his own name.
        CopyCut(id->userName, sizeof id->userName, id->networkName);
        return TV_ID_FOUND;
    }
    const size_t nameLen = std::strlen(id->networkName);
    char line[TV_LINE_SIZE];
    int32_t para = 0;
    while (FindParagraph(f, "[USER]", line, sizeof line, &para)) {
        char value[TV_LINE_SIZE];
        if (!GetStringEntry(f, key, value, sizeof value, para) || nameLen == 0 ||
            std::strlen(value) != nameLen || !EqualNoCaseN(value, id->networkName, nameLen))
            continue;
        char name[TV_LINE_SIZE];
        if (!GetStringEntry(f, "Name:", name, sizeof name, para) || !name[0])
            continue;
        char group[TV_LINE_SIZE] = "";
        GetStringEntry(f, "Group:", group, sizeof group, para);
        CopyCut(id->group, sizeof id->group, group);
        std::fseek(f, para, SEEK_SET);
        if (ReadUserList(f, &id->limits) != 0) {
            std::fclose(f);
            return TV_ID_BAD_ACCOUNT;
        }
        CopyCut(id->userName, sizeof id->userName, name);
        std::fclose(f);
        return TV_ID_FOUND;
    }
    std::fclose(f);
    return TV_ID_NO_ACCOUNT;
}

bool UserListPath(const char *systemArea, char *out, size_t size)
{
    int n = std::snprintf(out, size, "%s%s%s", systemArea, ShellString(33), ShellString(226));
    if (n < 0 || static_cast<size_t>(n) >= size) {
        if (size)
            out[0] = '\0';
        return false;
    }
    UpperCase(out);
    return true;
}

int IdentifyUser(TvIdentity *id, const char *systemArea, int networkKind, const TvShellHooks *hooks)
{
    char path[300];
    if (UserListPath(systemArea, path, sizeof path) &&
        GetUserIdentity(id, path, networkKind, hooks) == TV_ID_FOUND) {
        UpperCase(id->userName);
        return 1;
    }
    CopyCut(id->userName, sizeof id->userName, kAccountNotFound);
    return 0;
}

int LoginWithName(TvIdentity *id, const char *typed, const char *systemArea, int networkKind,
                  const TvShellHooks *hooks)
{
    CopyCut(id->defaultUser, sizeof id->defaultUser, typed ? typed : "");
    id->networkName[0] = '\0';
    char path[300];
    if (UserListPath(systemArea, path, sizeof path) &&
        GetUserIdentity(id, path, networkKind, hooks) == TV_ID_FOUND) {
        // The name forms the user's directories and every request's User:.
        UpperCase(id->userName);
        return 1;
    }
    char text[128];
    std::snprintf(text, sizeof text, "%s%s", ShellString(270), id->defaultUser);
    TvShellBox(hooks, text, TV_BOX_EXCLAMATION, false);
    return 0;
}

// ---------------------------------------------------------------- scrambler
namespace {

// The linear congruential generator the scrambled texts depend on.
struct Lcg {
    uint32_t state;
    int Next()
    {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFF);
    }
};

enum { SCRAMBLE_HEADER = 6, SCRAMBLE_HALF_MAX = 99, SCRAMBLE_TEXT_MAX = 99, UNSCRAMBLE_MAX = 197 };

int HexDigit(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

int ScrambleFieldSeeded(const char *clear, char *out, size_t outSize, int seed)
{
    const size_t half = outSize / 2;
    const size_t n = std::strlen(clear);
    if (half > SCRAMBLE_HALF_MAX || half < 1 || n > SCRAMBLE_TEXT_MAX || n + 7 > half)
        return 0;
    if (2 * (half - 1) + 1 > outSize)
        return 0;
    seed %= 1000;
    if (seed < 0)
        seed = -seed;
    Lcg rng{static_cast<uint32_t>(seed)};
    unsigned char inter[SCRAMBLE_HALF_MAX];
    char head[SCRAMBLE_HEADER + 1];
    std::snprintf(head, sizeof head, "%c%03d%02d", 'A', seed, static_cast<int>(n));
    for (int i = 0; i < SCRAMBLE_HEADER; ++i)
        inter[i] = static_cast<unsigned char>(i == 0 ? head[i] : head[i] + '5');
    for (size_t i = 0; i < n; ++i)
        inter[SCRAMBLE_HEADER + i] = static_cast<unsigned char>(static_cast<unsigned char>(clear[i]) + rng.Next() % 10);
    const unsigned char fill = n ? static_cast<unsigned char>(clear[0]) : 'a';
    for (size_t i = SCRAMBLE_HEADER + n; i < half - 1; ++i)
        inter[i] = static_cast<unsigned char>(fill + rng.Next() % 26);
    for (size_t i = 0; i < half - 1; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", inter[i]);
        out[2 * i] = static_cast<char>(hex[0] + '1');
        out[2 * i + 1] = static_cast<char>(hex[1] + '1');
    }
    out[2 * (half - 1)] = '\0';
    return 1;
}

int ScrambleField(const char *clear, char *out, size_t outSize)
{
    return ScrambleFieldSeeded(clear, out, outSize, static_cast<int>(TvPlatNowMs() % 1000));
}

int UnscrambleField(const char *scrambled, char *out, size_t outSize)
{
    const size_t len = std::strlen(scrambled);
    if (len % 2 != 0 || len / 2 > UNSCRAMBLE_MAX || len / 2 < SCRAMBLE_HEADER)
        return 0;
    const size_t count = len / 2;
    unsigned char inter[UNSCRAMBLE_MAX];
    for (size_t i = 0; i < count; ++i) {
        int hi = HexDigit(static_cast<unsigned char>(scrambled[2 * i]) - '1');
        int lo = HexDigit(static_cast<unsigned char>(scrambled[2 * i + 1]) - '1');
        if (hi < 0 || lo < 0)
            return 0;
        inter[i] = static_cast<unsigned char>(hi * 16 + lo);
    }
    int digits[SCRAMBLE_HEADER - 1];
    for (int i = 1; i < SCRAMBLE_HEADER; ++i) {
        int d = inter[i] - '5' - '0';
        if (d < 0 || d > 9)
            return 0;
        digits[i - 1] = d;
    }
    const int seed = digits[0] * 100 + digits[1] * 10 + digits[2];
    const size_t n = static_cast<size_t>(digits[3] * 10 + digits[4]);
    // The length must fit the output and the text actually there.
    if (n + 1 > outSize || SCRAMBLE_HEADER + n > count)
        return 0;
    Lcg rng{static_cast<uint32_t>(seed)};
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<char>(inter[SCRAMBLE_HEADER + i] - rng.Next() % 10);
    out[n] = '\0';
    return 1;
}
