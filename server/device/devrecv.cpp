// Receiving calls: answering, the receive control file, the page receivers,
// and the small file operations shared by the jobs.
#include <cstdlib>
#include <cstring>

#include "common/ctlfile.h"
#include "common/faxtiff.h"
#include "common/formats.h"
#include "common/sharedfile.h"
#include "common/status.h"
#include "server/device/devctl.h"
#include "server/device/rxctl.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/sharedopen.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"

enum { AFTER_CALL_PAUSE_MS = 3000, RX_PAGE_LIMIT = 4 * 1024 * 1024 };

// ---------------------------------------------------------------- files
int DevJoinPath(char *out, size_t size, const char *dir, const char *name)
{
    int n = std::snprintf(out, size, "%s%s", dir, name);
    return n >= 0 && static_cast<size_t>(n) < size;
}

uint16_t OpFile(FILE **out, const char *directory, const char *name, char mode)
{
    const char *m;
    switch (mode) {
    case 'A': case 'a': m = "ab"; break;
    case 'C': case 'c': m = "w+b"; break;
    case 'R': case 'r': m = "rb"; break;
    case 'W': case 'w': m = "r+b"; break;
    default:
        LogMessage(6, "Invalid OpFile parameter (%d)\n", mode);
        LogMessage(6, "** Fatal Error - exiting **");
        std::exit(1);
    }
    char path[DEV_PATH_SIZE + 20];
    *out = nullptr;
    if (!DevJoinPath(path, sizeof path, directory, name))
        return DEV_FILE_ERROR;
    *out = OpenFileShared(OPEN_RETRY_DEFAULT, path, m);
    return *out ? 0 : DEV_FILE_ERROR;
}

int DevDeleteFile(const char *path)
{
    char dir[DEV_PATH_SIZE + 20];
    std::snprintf(dir, sizeof dir, "%s", path);
    char *name = FileNamePart(dir);
    if (!name || !*name)
        return 0;
    char pattern[16];
    std::snprintf(pattern, sizeof pattern, "%s", name);
    *name = 0;
    return DeleteMatchingFiles(dir, pattern) == 0;
}

// ---------------------------------------------------------------- control file text
void SplitRemoteId(const char *remoteId, const char *separator, char *from, size_t fromSize, char *ext,
                   size_t extSize)
{
    const char *id = remoteId ? remoteId : "";
    while (*id == ' ')
        ++id;
    const char *cut = (separator && separator[0]) ? std::strstr(id, separator) : nullptr;
    size_t fromLen = cut ? static_cast<size_t>(cut - id) : std::strlen(id);
    if (fromLen > fromSize - 1)
        fromLen = fromSize - 1;
    std::memcpy(from, id, fromLen);
    from[fromLen] = 0;
    ext[0] = 0;
    if (cut) {
        const char *e = cut + std::strlen(separator);
        size_t n = std::strlen(e);
        if (n > RX_EXT_CSID_MAX)
            n = RX_EXT_CSID_MAX;
        if (n > extSize - 1)
            n = extSize - 1;
        std::memcpy(ext, e, n);
        ext[n] = 0;
    }
}

size_t BuildReceiveControlText(const RxControlFields *f, char *out, size_t size)
{
    int n = std::snprintf(out, size,
                          "[TAVRINE]\r\n"
                          "Type: ReceiveControl\r\n"
                          "Revision: A\r\n"
                          "\r\n"
                          "[DOCUMENT]\r\n"
                          "File: %s\r\n"
                          "Comment: From: %s\r\n"
                          "[MESSAGE]\r\n"
                          "AssocFile:\r\n"
                          "Format: %s\r\n"
                          "Accepted: %.2d-%.2d-%.2d %.2d:%.2d:%.2d\r\n"
                          "Type: RECEIVE\r\n"
                          "Status: Re\r\n"
                          "UserStatus: Wa\r\n"
                          "From: %s '%s'\r\n"
                          "\r\n"
                          "[ROUTING]\r\n"
                          "DTMF: %s\r\n"
                          "ExtCSID: %s\r\n"
                          "SubAddr: %s\r\n"
                          "FullCSID: %s\r\n"
                          "CLI: %s\r\n",
                          f->dataFile, f->from, f->formatName, f->accepted.year % 100, f->accepted.month,
                          f->accepted.day, f->accepted.hour, f->accepted.minute, f->accepted.second,
                          f->deviceTypeName, f->from, f->dtmf, f->extCsid, f->subAddr, f->from, f->cli);
    if (n < 0 || static_cast<size_t>(n) >= size)
        return 0;
    return static_cast<size_t>(n);
}

uint16_t CreateReceiveControlFile(const char *user, uint16_t format, uint16_t deviceType, const char *stem,
                                  const char *remoteId, char *controlName, FILE **dataFile, char *dataPath,
                                  size_t dataPathSize)
{
    *dataFile = nullptr;
    char dir[DEV_PATH_SIZE + 20];
    std::snprintf(dir, sizeof dir, "%s%s\\T-IN\\", g_sysParams.allUserArea, user);
    const char *ext = FormatName(static_cast<int16_t>(format));
    if (!ext)
        ext = "G3N";
    if (MakeTempName(stem, "CTL", dir, controlName) != 0) {
        LogMessage(5, "Can't create file '%s~%s*.%s'", dir, stem, "CTL");
        return DEV_FILE_ERROR;
    }
    char ctlPath[DEV_PATH_SIZE + 40];
    DevJoinPath(ctlPath, sizeof ctlPath, dir, controlName);
    FILE *ctl = OpenFileShared(OPEN_RETRY_DEFAULT, ctlPath, "wb");
    if (!ctl) {
        LogMessage(5, "Error creating control file '%s'", ctlPath);
        DevDeleteFile(ctlPath);
        return DEV_FILE_ERROR;
    }

    RxControlFields f{};
    std::snprintf(f.dataFile, sizeof f.dataFile, "%s", controlName);
    char *dot = std::strrchr(f.dataFile, '.');
    if (dot)
        std::snprintf(dot + 1, sizeof f.dataFile - static_cast<size_t>(dot + 1 - f.dataFile), "%s", ext);
    SplitRemoteId(remoteId, DevGetOptions()->csidSeparator, f.from, sizeof f.from, f.extCsid, sizeof f.extCsid);
    const char *longName = FormatLongName(static_cast<int16_t>(format));
    std::snprintf(f.formatName, sizeof f.formatName, "%s", longName ? longName : "");
    RtLocalTime(&f.accepted);
    const char *typeName = DeviceTypeName(static_cast<int16_t>(deviceType));
    std::snprintf(f.deviceTypeName, sizeof f.deviceTypeName, "%s", typeName ? typeName : "");
    const DevRouting *rt = DevGetRouting();
    std::snprintf(f.dtmf, sizeof f.dtmf, "%s", rt->dtmf);
    std::snprintf(f.subAddr, sizeof f.subAddr, "%s", rt->subAddr);
    std::snprintf(f.cli, sizeof f.cli, "%s", rt->cli);

    char text[2048];
    size_t len = BuildReceiveControlText(&f, text, sizeof text);
    int ok = len > 0 && std::fwrite(text, 1, len, ctl) == len;
    ok = (std::fclose(ctl) == 0) && ok;
    if (!ok) {
        LogMessage(5, "Error creating control file '%s'", ctlPath);
        DevDeleteFile(ctlPath);
        return DEV_FILE_ERROR;
    }
    DevJoinPath(dataPath, dataPathSize, dir, f.dataFile);
    *dataFile = OpenFileShared(OPEN_RETRY_DEFAULT, dataPath, "w+b");
    if (!*dataFile) {
        LogMessage(5, "Error creating message file '%s'", dataPath);
        DevDeleteFile(ctlPath);
        return DEV_FILE_ERROR;
    }
    LogMessage(3, "Created new Control file '%s'", ctlPath);
    return 0;
}

// ---------------------------------------------------------------- page receiver
// A page is held in memory until it has ended and it is known whether
// another follows, so the file only ever holds whole pages: a call that
// drops inside a page leaves the pages before it as a complete file.
struct RxPage {
    unsigned char *data;
    uint32_t length;
    uint32_t capacity;
};

static int RxAppend(RxPage *p, const unsigned char *data, uint32_t length)
{
    if (p->length + length > RX_PAGE_LIMIT)
        return 0;
    if (p->length + length > p->capacity) {
        uint32_t cap = p->capacity ? p->capacity : 16384;
        while (cap < p->length + length)
            cap *= 2;
        unsigned char *n = static_cast<unsigned char *>(std::realloc(p->data, cap));
        if (!n)
            return 0;
        p->data = n;
        p->capacity = cap;
    }
    std::memcpy(p->data + p->length, data, length);
    p->length += length;
    return 1;
}

// A page comes off the line as coded rows, each behind its EOL, then the
// end-of-page code (six EOLs, the return to control) and possibly fill. A
// stored page ends with the single EOL that closes its last row, which the
// TIFF writer does not count as a row. This cuts the page after the byte
// holding the one bit of the first EOL behind the last coded row; the bits
// after that one bit can only be zero, so the trailing EOLs and fill are
// gone and the page holds exactly its rows. Returns the length to keep;
// *closeRow is set when the data ends inside a row (no EOL after it) or holds
// no row at all, so that a closing EOL must be added.
static uint32_t StoredPageLength(const unsigned char *data, uint32_t length, int *closeRow)
{
    uint32_t zeros = 0, keep = 0;
    int rowOpen = 0; // a one bit outside an EOL since the last EOL
    for (uint32_t i = 0; i < length; ++i) {
        unsigned b = data[i];
        for (int bit = 0; bit < 8; ++bit, b >>= 1) {
            if (!(b & 1)) {
                if (zeros < 11)
                    ++zeros;
                continue;
            }
            if (zeros < 11) {
                rowOpen = 1;
            } else if (rowOpen) {
                keep = i + 1;
                rowOpen = 0;
            }
            zeros = 0;
        }
    }
    *closeRow = rowOpen || keep == 0;
    return rowOpen ? length : keep;
}

static uint16_t YresOfFormat(uint16_t format)
{
    return format == 7 ? 391 : format == 6 ? 196 : 98;
}

uint16_t ReceiveTiffFile(FILE *out, uint16_t pageFormat, uint16_t *pages)
{
    const DevLowerLayer *ops = g_dev.ops;
    *pages = 0;
    RxPage done{}, cur{};
    int haveDone = 0, started = 0;
    FaxDest dst{};
    uint16_t result = 0;
    unsigned char buf[DEV_RX_BLOCK_SIZE];
    uint16_t dummyLen = 0, dummyEnd = 0;
    ops->ReceiveDataFrame(nullptr, 0, &dummyLen, &dummyEnd, 0);

    auto writePage = [&](RxPage *p, int last) -> int {
        if (!started) {
            if (CreateFaxFile(out, &dst, YresOfFormat(pageFormat), 1728) != 0) {
                LogMessage(5, "Error 0x%X initialising writing Tiff file", TV_E_IO);
                return 0;
            }
            started = 1;
        }
        int closeRow = 0;
        p->length = StoredPageLength(p->data, p->length, &closeRow);
        static const unsigned char kEol[2] = {0x00, 0x08};
        if (closeRow && !RxAppend(p, kEol, sizeof kEol)) {
            LogMessage(5, "Error 0x%X writing to recd msg file", TV_E_NOMEM);
            return 0;
        }
        if (WriteFaxBlock(out, &dst, p->data, p->length, 1, last) != 0) {
            LogMessage(5, "Error 0x%X writing to recd msg file", TV_E_IO);
            return 0;
        }
        return 1;
    };

    for (;;) {
        uint16_t len = 0, end = DEV_RX_DATA;
        uint16_t r = ops->ReceiveDataFrame(buf, sizeof buf, &len, &end, 0);
        if (r) {
            LogMessage(5, "Error %s receiving page from Fax", DeviceErrorText(r));
            result = r;
            break;
        }
        if (len > sizeof buf)
            len = sizeof buf;
        if (end == DEV_RX_NO_MORE_PAGES)
            break;
        if (len && !RxAppend(&cur, buf, len)) {
            LogMessage(5, "Error 0x%X writing to recd msg file", TV_E_NOMEM);
            result = DEV_FILE_ERROR;
            break;
        }
        if (end == DEV_RX_PAGE_END || end == DEV_RX_LAST_PAGE_END) {
            if (haveDone && !writePage(&done, 0)) {
                result = DEV_FILE_ERROR;
                haveDone = 0;
                break;
            }
            RxPage t = done;
            done = cur;
            cur = t;
            cur.length = 0;
            haveDone = 1;
            ++*pages;
            SetCurrentPage(*pages);
            if (end == DEV_RX_LAST_PAGE_END)
                break;
        }
    }
    if (haveDone && !writePage(&done, 1))
        if (!result)
            result = DEV_FILE_ERROR;
    if (!started && !result)
        result = DEV_FAX_ERROR; // the call carried no page
    std::free(done.data);
    std::free(cur.data);
    std::fflush(out);
    return started ? (result == DEV_FILE_ERROR ? result : (result ? 0x8000 | result : 0)) : result;
}

// ---------------------------------------------------------------- answering
uint16_t ReceiveIncomingCall(void)
{
    const DevLowerLayer *ops = g_dev.ops;
    const DevOptions *o = DevGetOptions();
    if (!o->recdUser[0] && o->printRoutes == 0) {
        LogMessage(5, "No user configured for incoming call - ignoring it");
        return 0;
    }
    g_dev.page = 0;
    g_dev.failureCode = TV_E_JOB_FAILED;
    DevConnectRequest req{};
    req.operation = o->recdUser[0] ? DEV_CONNECT_ANSWER : DEV_CONNECT_ANSWER_PRINT;
    req.number = "";
    req.dialString2 = "";
    req.messageName = "";
    int made = 0;
    uint16_t r = ops->MakeConnection(&req, &made);
    int already = r == DEV_ALREADY_RECEIVING;
    if (r && !already)
        LogMessage(3, "Error %s connecting on incoming call", DeviceErrorText(r));
    char remoteId[DEV_REMOTE_ID_SIZE] = "";
    uint16_t pageFormat = 5;
    if (r == 0 || already) {
        r = ops->WaitForConnect(remoteId, sizeof remoteId, DEV_ANSWERED, &pageFormat);
        remoteId[sizeof remoteId - 1] = 0;
        if (r == 0)
            LogMessage(3, "Incoming call from fax ID '%s'", remoteId);
        else
            LogMessage(3, "Error %s connecting on incoming call", DeviceErrorText(r));
    }
    if (r == 0 && o->recdUser[0]) {
        if (pageFormat < 5 || pageFormat > 7)
            pageFormat = 5;
        uint16_t route = pageFormat == 7 ? 4 : pageFormat == 6 ? 3 : 2;
        char ctlName[TV_TEMPNAME_SIZE] = "";
        char dataPath[DEV_PATH_SIZE + 40] = "";
        FILE *data = nullptr;
        r = CreateReceiveControlFile(o->recdUser, pageFormat, route, "RECD", remoteId, ctlName, &data, dataPath,
                                     sizeof dataPath);
        if (r == 0) {
            LogMessage(3, already ? "Creating message file" : "Receiving incoming fax to disk");
            SendNewMessage(o->recdUser, ctlName);
            SetDeviceState(DEV_STATE_RECEIVING);
            uint16_t pages = 0;
            uint16_t rx = ReceiveTiffFile(data, pageFormat, &pages);
            std::fclose(data);
            uint16_t code = rx ? TV_E_RECEIVE_FAILED : TV_OK;
            if (rx && !(rx & 0x8000)) {
                // Nothing whole arrived: no message is left behind.
                char ctlPath[DEV_PATH_SIZE + 40];
                std::snprintf(ctlPath, sizeof ctlPath, "%s%s\\T-IN\\%s", g_sysParams.allUserArea, o->recdUser,
                              ctlName);
                DevDeleteFile(dataPath);
                DevDeleteFile(ctlPath);
            }
            SendJobResult(0, code, 0, pages);
            r = static_cast<uint16_t>(rx & 0x7FFF);
            uint16_t w = ops->WaitForJobToFinish();
            if (!r)
                r = w;
        } else if (o->printRoutes) {
            r = ops->ChangeConnection(DEV_CONNECT_ANSWER_PRINT, 4);
        }
    } else if (r == 0) {
        LogMessage(3, "Receiving direct to printer");
        SetDeviceState(DEV_STATE_RECEIVING);
        r = ops->WaitForJobToFinish();
    }
    if (r) {
        uint16_t c = ops->CancelJob();
        if (c > r)
            r = c;
        ops->WaitForJobToFinish();
    }
    DevClearRouting();
    SleepYield(AFTER_CALL_PAUSE_MS);
    ops->PollDevice();
    return r;
}

// ---------------------------------------------------------------- status report
static int AppendLine(char *report, size_t size, size_t *len, const char *fmt, const char *a, const char *b)
{
    int n = std::snprintf(report + *len, size - *len, fmt, a, b);
    if (n < 0 || static_cast<size_t>(n) >= size - *len)
        return 0;
    *len += static_cast<size_t>(n);
    return 1;
}

static int ValidStamp(const char *v)
{
    int d, m, y, hh, mm, ss;
    char extra;
    return std::sscanf(v, "%d-%d-%d %d:%d:%d %c", &d, &m, &y, &hh, &mm, &ss, &extra) == 6 && d >= 0 && m >= 0 &&
           y >= 0 && hh >= 0 && mm >= 0 && ss >= 0;
}

uint16_t ReadPrintControlFile(FILE *ctl, char *report, size_t size, uint32_t *reportSize)
{
    char line[TV_LINE_SIZE], value[TV_LINE_SIZE];
    size_t len = 0;
    *reportSize = 0;
    if (size)
        report[0] = 0;
    std::fseek(ctl, 0, SEEK_SET);
    if (!FindParagraph(ctl, "[TAVRINE]", line, sizeof line, nullptr) ||
        !GetStringEntry(ctl, "Type:", value, sizeof value, 0) ||
        (std::strcmp(value, "SendControl") != 0 && std::strcmp(value, "ReceiveControl") != 0)) {
        LogMessage(5, "Print control file invalid");
        return DEV_FILE_ERROR;
    }
    int ok = AppendLine(report, size, &len, "%s%s\r\n", "Message status report", "");
    std::fseek(ctl, 0, SEEK_SET);
    if (FindParagraph(ctl, "[MESSAGE]", line, sizeof line, nullptr) &&
        GetStringEntry(ctl, "AssocFile:", value, sizeof value, 0))
        ok = ok && AppendLine(report, size, &len, "Message: %s%s\r\n", value, "");
    std::fseek(ctl, 0, SEEK_SET);
    if (!FindParagraph(ctl, "[OPTIONS]", line, sizeof line, nullptr)) {
        LogMessage(5, "[OPTIONS] paragraph missing from print control file");
        return DEV_FILE_ERROR;
    }
    if (GetStringEntry(ctl, "From:", value, sizeof value, 0))
        ok = ok && AppendLine(report, size, &len, "From: %s%s\r\n", value, "");
    std::fseek(ctl, 0, SEEK_SET);
    if (!FindParagraph(ctl, "[ADDRESSEES]", line, sizeof line, nullptr)) {
        LogMessage(5, "[ADDRESSEES] paragraph missing from print control file");
        return DEV_FILE_ERROR;
    }
    // Each "Name:" starts an addressee; its "Organisation:" follows it.
    int addressees = 0;
    char name[TV_LINE_SIZE] = "";
    int haveName = 0;
    while (ReadControlLine(ctl, line, sizeof line, nullptr) && !IsParagraphLine(line)) {
        const char *v = EntryValue(line);
        if (KeyMatches(line, "Name:")) {
            if (haveName)
                ok = ok && AppendLine(report, size, &len, "To: %s%s\r\n", name, "");
            std::snprintf(name, sizeof name, "%s", v ? v : "");
            haveName = 1;
            ++addressees;
        } else if (KeyMatches(line, "Organisation:") && haveName) {
            ok = ok && AppendLine(report, size, &len, "To: %s, %s\r\n", name, v ? v : "");
            haveName = 0;
        }
    }
    if (haveName)
        ok = ok && AppendLine(report, size, &len, "To: %s%s\r\n", name, "");
    if (!addressees) {
        LogMessage(5, "No addressee status information to print");
        return DEV_FILE_ERROR;
    }
    std::fseek(ctl, 0, SEEK_SET);
    if (!FindParagraph(ctl, "[HISTORY]", line, sizeof line, nullptr)) {
        LogMessage(5, "[HISTORY] paragraph missing from print control file");
        return DEV_FILE_ERROR;
    }
    static const char *const kStamps[][2] = {
        {"SentOK:", "Sent OK: %s%s\r\n"},
        {"RecdOK:", "Received OK: %s%s\r\n"},
        {"SentEr:", "Send failed: %s%s\r\n"},
        {"RecdEr:", "Receive failed: %s%s\r\n"},
    };
    while (ReadControlLine(ctl, line, sizeof line, nullptr) && !IsParagraphLine(line)) {
        if (!IsEntryLine(line))
            continue;
        const char *v = EntryValue(line);
        if (!v)
            v = "";
        if (KeyMatches(line, "MessageID:")) {
            char *end = nullptr;
            unsigned long id = std::strtoul(v, &end, 16);
            if (end == v) {
                LogMessage(5, "Invalid line in print control file (1)");
                return DEV_FILE_ERROR;
            }
            char hex[16];
            std::snprintf(hex, sizeof hex, "%08lX", id & 0xFFFFFFFFul);
            ok = ok && AppendLine(report, size, &len, "Message ID: %s%s\r\n", hex, "");
        } else if (KeyMatches(line, "User:")) {
            ok = ok && AppendLine(report, size, &len, "User: %s%s\r\n", v, "");
        } else {
            for (const auto &s : kStamps)
                if (KeyMatches(line, s[0])) {
                    if (!ValidStamp(v)) {
                        LogMessage(5, "Invalid line in print control file (1)");
                        return DEV_FILE_ERROR;
                    }
                    ok = ok && AppendLine(report, size, &len, s[1], v, "");
                }
        }
    }
    if (!ok) {
        LogMessage(5, "Print control file invalid");
        return DEV_FILE_ERROR;
    }
    *reportSize = static_cast<uint32_t>(len);
    return 0;
}
