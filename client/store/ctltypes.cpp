#include "client/store/ctltypes.h"

#include <cctype>
#include <cstring>

#include "client/store/storehooks.h"
#include "common/ctlfile.h"
#include "common/sharedfile.h"

namespace {

const char* const kTypeNames[TV_CTL_TYPE_COUNT] = {
    "LibDir",     "Request",        "AddrBook",  "QueueStatus", "SendDir",     "SendControl",
    "ScanControl", "ConvertControl", "ReceiveDir", "ReceiveControl", "DocDir", "UserProfile",
    "SystemInit", "Log",            "UserList",  "Routing",     "ADBIndex",
};

struct StatusRow {
    char code[3];
    int number;
};
// In the order the codes are tested.
const StatusRow kStatusRows[] = {
    {"Su", TV_STATUS_SUBMITTED}, {"Ad", TV_STATUS_ADDING},    {"He", TV_STATUS_HELD},
    {"WT", TV_STATUS_WAITING},   {"Wa", TV_STATUS_QUEUED},    {"WC", TV_STATUS_CONVERT_Q},
    {"WS", TV_STATUS_DEVICE_Q},  {"Pr", TV_STATUS_PREPARING}, {"Co", TV_STATUS_SENDING},
    {"Se", TV_STATUS_ONLINE},    {"Sc", TV_STATUS_SCANNING},  {"Ab", TV_STATUS_ABORTING},
    {"Re", TV_STATUS_RECEIVING}, {"WD", TV_STATUS_READY},     {"Fa", TV_STATUS_FAILED},
    {"OK", TV_STATUS_OK},
};

struct DeviceLabelRow {
    int deviceType;
    int stringId;
};
enum { TV_DEVICE_LABEL_UNKNOWN = 150 };
const DeviceLabelRow kDeviceLabels[] = {
    {1, 151},   {2, 152},   {3, 153},   {4, 154},   {5, 158},   {6, 159},   {7, 160},   {8, 161},
    {10, 162},  {11, 163},  {13, 164},  {14, 165},  {15, 166},  {16, 167},  {17, 168},  {18, 169},
    {19, 170},  {20, 171},  {21, 172},  {22, 155},  {23, 156},  {24, 157},  {100, 173}, {101, 174},
    {102, 175}, {103, 176}, {104, 177}, {105, 178}, {106, 179},
};

enum { TV_REVISION_LETTER = 'A' };

int AsciiLowerChar(int c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

// One header failure: box (unless quiet), log line, result 0.
int HeaderFailure(int report, bool box, const char* fmt, const char* fileName)
{
    if (report) {
        if (box)
            ErrorBoxFromResource(fileName);
        char text[TV_LINE_SIZE + 64];
        std::snprintf(text, sizeof text, fmt, fileName ? fileName : "");
        GetStoreHooks()->writeErrorLog(TV_LOG_BAD_ENTRY, "CheckControlFile", text);
    }
    return TV_CTL_INVALID;
}

} // namespace

const char* ControlFileTypeName(int type)
{
    return (type >= 1 && type <= TV_CTL_TYPE_COUNT) ? kTypeNames[type - 1] : nullptr;
}

int AsciiCompareNoCaseN(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        int ca = AsciiLowerChar(static_cast<unsigned char>(a[i]));
        int cb = AsciiLowerChar(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca - cb;
        if (ca == 0)
            return 0;
    }
    return 0;
}

int AsciiCompareNoCase(const char* a, const char* b) { return AsciiCompareNoCaseN(a, b, SIZE_MAX); }

void AsciiUpper(char* s)
{
    for (; *s; ++s)
        if (*s >= 'a' && *s <= 'z')
            *s = static_cast<char>(*s - 'a' + 'A');
}

int CheckControlFile(FILE* f, const char* fileName, int report)
{
    char line[TV_LINE_SIZE];
    if (!f || !FindParagraph(f, nullptr, line, sizeof line, nullptr) ||
        AsciiCompareNoCase(line, "[TAVRINE]") != 0)
        return HeaderFailure(report, true, "Cannot find [TAVRINE] paragraph in %s", fileName);
    if (!FindEntry(f, "Type:", line, sizeof line, 0, nullptr))
        return HeaderFailure(report, true, "Cannot find [TAVRINE] Type: in %s", fileName);

    // The first word of the value.
    const char* p = line + std::strlen("Type:");
    while (*p && IsSeparator(static_cast<unsigned char>(*p)))
        ++p;
    size_t len = 0;
    while (p[len] && !IsSeparator(static_cast<unsigned char>(p[len])))
        ++len;
    if (len == 0)
        return HeaderFailure(report, false, "Invalid [TAVRINE] Type: field in %s", fileName);
    int type = TV_CTL_INVALID;
    for (int i = 0; i < TV_CTL_TYPE_COUNT && type == TV_CTL_INVALID; ++i)
        if (len <= std::strlen(kTypeNames[i]) && AsciiCompareNoCaseN(p, kTypeNames[i], len) == 0)
            type = i + 1;
    if (type == TV_CTL_INVALID)
        return HeaderFailure(report, true, "Unrecognised [TAVRINE] Type: field in %s", fileName);

    if (!FindEntry(f, "Revision:", line, sizeof line, 0, nullptr))
        return HeaderFailure(report, true, "Cannot find [TAVRINE] Revision: in %s", fileName);
    const char* r = line + std::strlen("Revision:");
    while (*r == ' ')
        ++r;
    if (AsciiLowerChar(static_cast<unsigned char>(*r)) != AsciiLowerChar(TV_REVISION_LETTER))
        return HeaderFailure(report, true, "Invalid [TAVRINE] Revision: in %s", fileName);
    return type;
}

int MessageStatusNumber(const char* text)
{
    if (!text)
        return TV_STATUS_UNKNOWN;
    for (const StatusRow& row : kStatusRows)
        if (AsciiCompareNoCaseN(text, row.code, 2) == 0)
            return row.number;
    return TV_STATUS_UNKNOWN;
}

bool SameStatusCode(const char* text, const char* code)
{
    return text && text[0] && text[1] && AsciiCompareNoCaseN(text, code, 2) == 0;
}

int DeviceTypeStringId(int deviceType)
{
    for (const DeviceLabelRow& row : kDeviceLabels)
        if (row.deviceType == deviceType)
            return row.stringId;
    return TV_DEVICE_LABEL_UNKNOWN;
}

int GetFieldValue(FILE* f, const char* key, char* out, int outSize)
{
    if (!f || !key || !out || outSize <= 0)
        return 0;
    long back = std::ftell(f);
    char line[TV_LINE_SIZE];
    if (back < 0 || !FindEntry(f, nullptr, line, sizeof line, 0, nullptr))
        return 0;
    size_t keyLen = std::strlen(key);
    if (AsciiCompareNoCaseN(line, key, keyLen) != 0) {
        std::fseek(f, back, SEEK_SET);
        return 0;
    }
    const char* v = line + keyLen;
    while (*v && IsAsciiSpace(static_cast<unsigned char>(*v)))
        ++v;
    CopyString(out, v, static_cast<int16_t>(outSize));
    return 1;
}

int IsAsciiDigit(int c) { return c >= 0 && c < 128 && std::isdigit(c) ? 1 : 0; }
int IsAsciiAlnum(int c) { return c >= 0 && c < 128 && std::isalnum(c) ? 1 : 0; }
int IsAsciiSpace(int c) { return c >= 0 && c < 128 && std::isspace(c) ? 1 : 0; }
