// Command texts of the modem driver: dialling options, capability
// commands, the local ID of a call, the service class list and the dial
// command.
#include <cstring>

#include "server/device/modem/modem.h"

void ComposeDialOptions(const ModemSettings *s, char *out, size_t size)
{
    const char *x = s->detectDial && s->detectBusy ? "X4" : s->detectDial ? "X2" : s->detectBusy ? "X3" : "X1";
    std::snprintf(out, size, "%s%s", x, s->setCarrierTimeout ? "S7=55B0" : "");
}

int BitRateCode(uint16_t speed)
{
    switch (speed) {
    case 2400: return 0;
    case 4800: return 1;
    case 7200: return 2;
    case 12000: return 4;
    case 14400: return 5;
    default: return 3; // 9600
    }
}

void ComposeReceiveCaps(const ModemSettings *s, char *out, size_t size)
{
    const char *cmd = s->useSessionCapability ? (s->class20 ? "+FIS=" : "+FDIS=") : (s->class20 ? "+FCC=" : "+FDCC=");
    std::snprintf(out, size, "%s%d,%d,%d,%d,%d,%d,%d,%d", cmd, 1, BitRateCode(s->receiveSpeed), 0, s->pageLength, 0,
                  s->ecm, 0, 0);
}

void ComposeSendCaps(const ModemSettings *s, uint16_t format, char *out, size_t size)
{
    const char *cmd = s->useSessionCapability ? (s->class20 ? "+FIS=" : "+FDIS=") : (s->class20 ? "+FCC=" : "+FDCC=");
    int n = std::snprintf(out, size, "%s%d,%d", cmd, format == 6 ? 1 : 0, BitRateCode(s->transmitSpeed));
    if (s->setAllSendCaps && n > 0 && static_cast<size_t>(n) < size)
        std::snprintf(out + n, size - n, ",%d,%d,%d,%d,%d,%d", 0, s->pageLength, 0, s->ecm, 0, 0);
}

static void CopyBounded(char *dst, size_t size, const char *src, size_t maxChars)
{
    size_t n = 0;
    while (src[n] && n + 1 < size && n < maxChars) {
        dst[n] = src[n];
        ++n;
    }
    if (size)
        dst[n] = 0;
}

int ComposeLocalId(const char *phoneNum, const char *separator, const char *number, char *localId, size_t idSize,
                   char *subAddr, size_t subSize)
{
    CopyBounded(localId, idSize, phoneNum ? phoneNum : "", MODEM_LOCAL_ID_MAX);
    subAddr[0] = 0;
    const char *colon = number ? std::strchr(number, ':') : nullptr;
    if (!colon)
        return 1;
    const char *sub = colon + 1;
    size_t subLen = std::strlen(sub);
    if (subLen == 0)
        return 1;
    if (subLen > MODEM_LOCAL_ID_MAX)
        return 0;
    CopyBounded(subAddr, subSize, sub, MODEM_LOCAL_ID_MAX);
    size_t sepLen = separator ? std::strlen(separator) : 0;
    size_t room = MODEM_LOCAL_ID_MAX > sepLen + subLen ? MODEM_LOCAL_ID_MAX - sepLen - subLen : 0;
    char id[MODEM_LOCAL_ID_MAX + 1];
    CopyBounded(id, sizeof id, phoneNum ? phoneNum : "", room);
    std::snprintf(localId, idSize, "%s%s%s", id, separator ? separator : "", subAddr);
    return 1;
}

void ParseClassList(const char *reply, char *cls, size_t size)
{
    CopyBounded(cls, size, "", 0);
    const char *p = reply;
    while (*p) {
        while (*p == ',' || *p == ' ' || *p == '(' || *p == ')')
            ++p;
        const char *start = p;
        while (*p && *p != ',' && *p != ' ' && *p != '(' && *p != ')')
            ++p;
        size_t len = static_cast<size_t>(p - start);
        if ((len == 1 && start[0] == '2') || (len == 2 && std::strncmp(start, "20", 2) == 0))
            CopyBounded(cls, size, "2", 1);
        else if (len == 3 && std::strncmp(start, "2.0", 3) == 0) {
            CopyBounded(cls, size, "2.0", 3);
            return;
        }
    }
}

int ComposeDialCommand(int tone, const char *prefix, const char *number, const char *suffix, char *out, size_t size)
{
    // Digits and the dial characters ',', '*', '#' of prefix, number (up to
    // a sub-address colon) and suffix; at most 60 characters.
    char digits[61];
    size_t n = 0;
    const char *parts[3] = {prefix ? prefix : "", number ? number : "", suffix ? suffix : ""};
    for (int k = 0; k < 3; ++k) {
        for (const char *p = parts[k]; *p; ++p) {
            if (k == 1 && *p == ':')
                break;
            char c = *p;
            if ((c >= '0' && c <= '9') || c == ',' || c == '*' || c == '#') {
                if (n >= sizeof digits - 1)
                    return 0;
                digits[n++] = c;
            }
        }
    }
    digits[n] = 0;
    int anyDigit = 0;
    for (size_t i = 0; i < n; ++i)
        if (digits[i] >= '0' && digits[i] <= '9')
            anyDigit = 1;
    if (!anyDigit)
        return 0;
    std::snprintf(out, size, "D%c%s", tone ? 'T' : 'P', digits);
    return 1;
}
