// Jobs: sending a message to a remote fax, printing it on the local device,
// and scanning a document into a message file.
#include <cstring>

#include "common/faxtiff.h"
#include "common/formats.h"
#include "common/sharedfile.h"
#include "common/status.h"
#include "server/device/devctl.h"
#include "server/device/rxctl.h"
#include "server/runtime/globalmem.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/sharedopen.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"

enum { STATUS_REPORT_SIZE = 8192, TV_TEXT_LINE = 280, SEND_BLOCK = 1024, AFTER_CALL_PAUSE_MS = 3000, SCAN_POLL_MS = 3000 };

static int IsFaxFormat(uint16_t f) { return f >= 5 && f <= 7; }

static int EqualNoCaseAscii(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b) {
        char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;
        char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 32) : *b;
        if (x != y)
            return 0;
    }
    return *a == *b;
}

void RetrySkipRange(uint16_t bestPage, uint16_t restartSplit, uint16_t restartInitial, uint16_t *first,
                    uint16_t *last)
{
    *first = *last = 0;
    if (restartSplit == 0 || bestPage < restartSplit || bestPage <= restartInitial)
        return;
    *first = static_cast<uint16_t>(restartInitial + 1);
    *last = bestPage;
}

// ---------------------------------------------------------------- fax page sender
struct SendFile {
    FILE *f;
    FaxSource src;
    uint16_t pages;
};

// Sends the rest of the current page of a source as blocks; the last block
// goes with endKind (or 13 when endKind is 0, for a header line).
static uint16_t SendPageData(FILE *f, FaxSource *src, uint16_t endKind)
{
    unsigned char buf[SEND_BLOCK];
    for (;;) {
        uint32_t len = 0;
        int endPage = 0, endFile = 0;
        if (ReadFaxBlock(f, src, buf, sizeof buf, &len, &endPage, &endFile) != 0) {
            LogMessage(5, "Error 0x%X reading from Tiff file", TV_E_IO);
            return DEV_FILE_ERROR;
        }
        uint16_t kind = (endPage || endFile) && endKind ? endKind : static_cast<uint16_t>(DEV_BLOCK_IN_PAGE);
        if (len || kind != DEV_BLOCK_IN_PAGE) {
            uint16_t r = g_dev.ops->SendDataBlock(buf, static_cast<uint16_t>(len), kind);
            if (r)
                return r;
        }
        if (endPage || endFile)
            return 0;
    }
}

// Sends a header line page: the whole page is read first so that its
// closing EOL (00 08) can be left off; the document page that follows
// starts with its own EOL.
static uint16_t SendHeaderLine(FILE *f, FaxSource *src)
{
    static unsigned char line[32768];
    uint32_t total = 0;
    for (;;) {
        uint32_t len = 0;
        int endPage = 0, endFile = 0;
        unsigned char buf[SEND_BLOCK];
        if (ReadFaxBlock(f, src, buf, sizeof buf, &len, &endPage, &endFile) != 0) {
            LogMessage(5, "Error reading Tiff header file");
            return DEV_FILE_ERROR;
        }
        if (total + len > sizeof line) {
            LogMessage(5, "Error reading Tiff header file");
            return DEV_FILE_ERROR;
        }
        std::memcpy(line + total, buf, len);
        total += len;
        if (endPage || endFile)
            break;
    }
    if (total >= 2 && line[total - 2] == 0x00 && line[total - 1] == 0x08)
        total -= 2;
    for (uint32_t off = 0; off < total; off += SEND_BLOCK) {
        uint32_t n = total - off < SEND_BLOCK ? total - off : static_cast<uint32_t>(SEND_BLOCK);
        uint16_t r = g_dev.ops->SendDataBlock(line + off, static_cast<uint16_t>(n), DEV_BLOCK_IN_PAGE);
        if (r)
            return r;
    }
    return 0;
}

// Pages are numbered 1..total over both files; skipFirst..skipLast are not
// sent. *reached: the highest page sent OK.
static uint16_t SendTiffPages(uint16_t format, SendFile *files, int fileCount, FILE *hdr, FaxSource *hdrSrc,
                              uint16_t total, uint16_t skipFirst, uint16_t skipLast, uint16_t *reached)
{
    FILE *retryHdr = nullptr;
    FaxSource retrySrc{};
    if (skipFirst) {
        LogMessage(2, "Skipping pages %d to %d", skipFirst, skipLast);
        char path[DEV_PATH_SIZE + 40];
        const char *ext = FormatName(static_cast<int16_t>(format));
        std::snprintf(path, sizeof path, "%s%s%s.%s", g_sysParams.serverArea, "T-DB\\", "RETRYHDR", ext ? ext : "G3N");
        retryHdr = OpenFileShared(0, path, "rb");
        if (retryHdr) {
            uint16_t y, w;
            if (OpenFaxSource(retryHdr, &retrySrc, &y, &w) != 0) {
                LogMessage(5, "Error 0x%X reading file %s", TV_E_IO, path);
                std::fclose(retryHdr);
                retryHdr = nullptr;
            }
        }
    }
    uint16_t page = 0;
    int firstSent = 1;
    uint16_t r = 0;
    for (int fi = 0; fi < fileCount && !r; ++fi) {
        for (uint16_t i = 0; i < files[fi].pages && !r; ++i) {
            ++page;
            int endFile = 0;
            if (page >= skipFirst && page <= skipLast && skipFirst) {
                SkipFaxPage(files[fi].f, &files[fi].src, &endFile);
                if (hdr)
                    SkipFaxPage(hdr, hdrSrc, &endFile);
                continue;
            }
            // The header line first.
            if (firstSent && retryHdr) {
                r = SendHeaderLine(retryHdr, &retrySrc);
                if (hdr)
                    SkipFaxPage(hdr, hdrSrc, &endFile);
            } else if (hdr) {
                r = SendHeaderLine(hdr, hdrSrc);
            }
            firstSent = 0;
            if (r)
                break;
            uint16_t kind = page == total ? DEV_BLOCK_LAST_PAGE_END : DEV_BLOCK_PAGE_END;
            r = SendPageData(files[fi].f, &files[fi].src, kind);
            if (r)
                break;
            LogMessage(2, "Sent page %d OK", page);
            *reached = page;
            SetCurrentPage(page);
            r = DevPollRequests();
        }
    }
    if (retryHdr)
        std::fclose(retryHdr);
    return r;
}

// ---------------------------------------------------------------- text and binary senders
static int IsBinaryFormat(uint16_t f) { return f == 3 || f == 4 || f == 9 || f == 10; }

// Text: each line (up to its LF, at most 280 characters) with kind 2.
static uint16_t SendTextPages(SendFile *files, int count)
{
    char line[TV_TEXT_LINE + 2];
    for (int i = 0; i < count; ++i) {
        while (std::fgets(line, sizeof line, files[i].f)) {
            uint16_t r = g_dev.ops->SendDataBlock(reinterpret_cast<unsigned char *>(line),
                                                  static_cast<uint16_t>(std::strlen(line)), DEV_BLOCK_TEXT_LINE);
            if (r)
                return r;
        }
        if (std::ferror(files[i].f)) {
            LogMessage(5, "Error 0x%X reading from Tiff file", TV_E_IO);
            return DEV_FILE_ERROR;
        }
    }
    return 0;
}

// Binary data: blocks of 1024 bytes with kind 0.
static uint16_t SendBinaryPages(SendFile *files, int count)
{
    unsigned char buf[SEND_BLOCK];
    for (int i = 0; i < count; ++i) {
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, files[i].f)) > 0) {
            uint16_t r = g_dev.ops->SendDataBlock(buf, static_cast<uint16_t>(n), DEV_BLOCK_TEXT);
            if (r)
                return r;
        }
        if (std::ferror(files[i].f))
            return DEV_FILE_ERROR;
    }
    return 0;
}

// The data of a connected job by its format.
static uint16_t SendByFormat(uint16_t format, SendFile *files, int count, FILE *hdr, FaxSource *hdrSrc,
                             uint16_t total, uint16_t skipFirst, uint16_t skipLast, uint16_t *reached)
{
    if (IsFaxFormat(format))
        return SendTiffPages(format, files, count, hdr, hdrSrc, total, skipFirst, skipLast, reached);
    uint16_t r = format == 2 ? SendTextPages(files, count) : SendBinaryPages(files, count);
    if (!r) {
        *reached = 1;
        SetCurrentPage(1);
    }
    return r;
}

// Back to the start of every file for another attempt.
static void RewindJobFiles(uint16_t format, SendFile *files, int count, FILE *hdr, FaxSource *hdrSrc)
{
    uint16_t y, w;
    for (int i = 0; i < count; ++i) {
        std::fseek(files[i].f, 0, SEEK_SET);
        if (IsFaxFormat(format))
            OpenFaxSource(files[i].f, &files[i].src, &y, &w);
    }
    if (hdr) {
        std::fseek(hdr, 0, SEEK_SET);
        OpenFaxSource(hdr, hdrSrc, &y, &w);
    }
}

// ---------------------------------------------------------------- connecting
static int RedialResult(uint16_t r)
{
    return r == DEV_BUSY || r == DEV_NO_CONNECT || r == DEV_INVALID_ID || r == DEV_FAULT_JOB_END ||
           r == DEV_IDLE_INTERRUPTED || r == DEV_FAX_ERROR;
}

static uint16_t ConnectToRemote(const PktJob *job, uint16_t pagesToSend, uint16_t firstPage, uint16_t total,
                                uint32_t *connectTick, int *cancelled)
{
    const DevLowerLayer *ops = g_dev.ops;
    const DevOptions *o = DevGetOptions();
    uint16_t tries = 0;
    *cancelled = 0;
    for (;;) {
        DevConnectRequest req{};
        req.operation = DEV_CONNECT_SEND;
        req.route = job->route;
        req.number = job->number;
        req.dialString2 = job->dialString2;
        req.format = job->format;
        req.firstPage = firstPage;
        req.lastPage = total;
        req.totalPages = pagesToSend;
        req.messageName = job->messageName;
        int made = 0;
        uint16_t r = ops->MakeConnection(&req, &made);
        if (r == DEV_ALREADY_RECEIVING)
            return r;
        char remoteId[DEV_REMOTE_ID_SIZE] = "";
        if (r == 0) {
            uint16_t fmt = 0;
            r = ops->WaitForConnect(remoteId, sizeof remoteId, DEV_DIALLED, &fmt);
            remoteId[sizeof remoteId - 1] = 0;
            if (r == 0) {
                *connectTick = RtTickMs();
                if (remoteId[0])
                    LogMessage(3, "Remote fax ID is '%s'", remoteId);
                r = ops->CheckRemoteId(job->expectedId, remoteId);
                if (r)
                    LogMessage(3, "Remote fax ID does not match");
                else
                    return 0;
            } else {
                LogMessage(3, "Error %s connecting", DeviceErrorText(r));
            }
        } else {
            LogMessage(3, "Error %s connecting", DeviceErrorText(r));
        }
        uint16_t c = ops->CancelJob();
        *cancelled = 1;
        if (!RedialResult(r))
            return c > r ? c : r;
        if (c)
            return c;
        if (g_dev.stopping)
            return DEV_SHUTDOWN;
        ++tries;
        if (tries >= o->connectTries)
            return r == DEV_INVALID_ID ? r : static_cast<uint16_t>(DEV_NO_CONNECT);
    }
}

static int Interrupted(uint16_t r)
{
    return r == DEV_BUSY || r == DEV_FAULT_JOB_END || r == DEV_IDLE_INTERRUPTED || r == DEV_FAX_ERROR;
}

static uint16_t OpenJobFiles(const PktJob *job, SendFile *files, int *count, const char *what)
{
    *count = 0;
    const char *names[2] = {job->firstFile, job->secondFile};
    for (int i = 0; i < 2; ++i) {
        if (!names[i][0])
            continue;
        uint16_t r = OpFile(&files[*count].f, job->directory, names[i], 'R');
        if (r) {
            LogMessage(5, "Error opening %s file '%s'", what, names[i]);
            for (int k = 0; k < *count; ++k)
                std::fclose(files[k].f);
            *count = 0;
            return r;
        }
        ++*count;
    }
    return *count ? 0 : DEV_FILE_ERROR;
}

// Counts pages and opens the coded data of each fax file.
static uint16_t PrepareFaxFiles(SendFile *files, int count, uint16_t *total)
{
    *total = 0;
    for (int i = 0; i < count; ++i) {
        files[i].pages = 0;
        std::fseek(files[i].f, 0, SEEK_SET);
        if (CountFaxPages(files[i].f, &files[i].pages) != 0) {
            LogMessage(5, "Error 0x%X initialising reading Tiff file", TV_E_IO);
            return DEV_FILE_ERROR;
        }
        uint16_t y, w;
        if (OpenFaxSource(files[i].f, &files[i].src, &y, &w) != 0) {
            LogMessage(5, "Error 0x%X initialising reading Tiff file", TV_E_IO);
            return DEV_FILE_ERROR;
        }
        *total = static_cast<uint16_t>(*total + files[i].pages);
    }
    if (*total == 0) {
        LogMessage(5, "No Tiff data to send");
        return DEV_FILE_ERROR;
    }
    return 0;
}

static uint16_t OpenHeader(const PktJob *job, uint16_t total, char *hdrPath, size_t pathSize, FILE **hdr,
                           FaxSource *src)
{
    *hdr = nullptr;
    hdrPath[0] = 0;
    DevHeaderRequest h{};
    h.format = job->format;
    h.totalPages = total;
    h.sender = job->sender;
    h.recipient = g_dev.remoteName;
    h.flags = job->headerFlags;
    if (!g_dev.ops->RenderPageHeader)
        return 0;
    uint16_t r = g_dev.ops->RenderPageHeader(&h, hdrPath, pathSize);
    if (r)
        return r;
    if (!hdrPath[0])
        return 0;
    *hdr = OpenFileShared(OPEN_RETRY_DEFAULT, hdrPath, "rb");
    uint16_t y, w;
    if (!*hdr || OpenFaxSource(*hdr, src, &y, &w) != 0) {
        LogMessage(5, "Error 0x%X initialising reading Tiff header file", TV_E_IO);
        if (*hdr)
            std::fclose(*hdr);
        *hdr = nullptr;
        return DEV_FILE_ERROR;
    }
    return 0;
}

static uint16_t SendMessageToRemote(const PktJob *job, uint16_t *connectSeconds, uint16_t *pagesResult)
{
    const DevLowerLayer *ops = g_dev.ops;
    const DevOptions *o = DevGetOptions();
    *connectSeconds = 0;
    *pagesResult = 0;
    if (job->secondFile[0])
        LogMessage(2, "Sending files '%s', '%s'", job->firstFile, job->secondFile);
    else
        LogMessage(2, "Sending file '%s'", job->firstFile);
    int fax = IsFaxFormat(job->format);
    if (!fax && job->format != 2 && !IsBinaryFormat(job->format)) {
        LogMessage(5, "Invalid format %d for send file", job->format);
        return DEV_INVALID_PARAMETER;
    }
    SendFile files[2] = {};
    int count = 0;
    uint16_t r = OpenJobFiles(job, files, &count, "send");
    if (r)
        return r;
    uint16_t total = 1;
    char hdrPath[DEV_PATH_SIZE + 40] = "";
    FILE *hdr = nullptr;
    FaxSource hdrSrc{};
    if (fax) {
        r = PrepareFaxFiles(files, count, &total);
        if (!r)
            r = OpenHeader(job, total, hdrPath, sizeof hdrPath, &hdr, &hdrSrc);
    }

    uint16_t best = job->pagesSent;
    if (total && best > total - 1)
        best = static_cast<uint16_t>(total - 1);
    uint16_t reachedMax = best;
    uint16_t failures = 0;
    while (!r) {
        SetDeviceState(DEV_STATE_WAIT_CONNECT);
        uint16_t skipFirst = 0, skipLast = 0;
        if (fax)
            RetrySkipRange(best, o->restartSplitPages, o->restartInitialPages, &skipFirst, &skipLast);
        uint16_t skipped = skipFirst ? static_cast<uint16_t>(skipLast - skipFirst + 1) : 0;
        uint32_t tick = 0;
        int cancelled = 0;
        r = ConnectToRemote(job, static_cast<uint16_t>(total - skipped), skipFirst ? skipFirst : 1, total, &tick,
                            &cancelled);
        uint16_t reached = 0;
        if (r == 0) {
            SetDeviceState(DEV_STATE_SENDING);
            r = SendByFormat(job->format, files, count, hdr, &hdrSrc, total, skipFirst, skipLast, &reached);
            uint16_t w = ops->WaitForJobToFinish();
            if (!r)
                r = w;
            uint32_t secs = (RtTickMs() - tick) / 1000;
            if (job->route >= 2 && job->route <= 4) {
                uint32_t sum = *connectSeconds + secs;
                *connectSeconds = static_cast<uint16_t>(sum > 0xFFFF ? 0xFFFF : sum);
                uint16_t shown = reached > skipLast ? reached : 0;
                if (skipFirst)
                    LogMessage(3, "Connect time - %.2d:%.2d, Pages - %d to %d, Status - %s", (int)(secs / 60),
                               (int)(secs % 60), skipLast + 1, shown, r ? "ERROR" : "OK");
                else
                    LogMessage(3, "Connect time - %.2d:%.2d, Pages - %d, Status - %s", (int)(secs / 60),
                               (int)(secs % 60), reached, r ? "ERROR" : "OK");
            }
        }
        if (reached > reachedMax)
            reachedMax = reached;
        if (r == 0)
            break;
        if (!cancelled) {
            uint16_t c = ops->CancelJob();
            if (c > r)
                r = c;
        }
        if (Interrupted(r) && !g_dev.stopping) {
            RewindJobFiles(job->format, files, count, hdr, &hdrSrc);
            if (o->minSendRetryPages && reached >= best + o->minSendRetryPages)
                failures = 0;
            else
                ++failures;
            if (reached > best)
                best = reached;
            if (failures < o->sendMsgTries) {
                r = 0;
                continue;
            }
            break;
        }
        LogMessage(5, "Error %s sending message to remote", DeviceErrorText(r));
        break;
    }
    for (int i = 0; i < count; ++i)
        std::fclose(files[i].f);
    if (hdr)
        std::fclose(hdr);
    if (hdrPath[0])
        DevDeleteFile(hdrPath);
    SleepYield(AFTER_CALL_PAUSE_MS);
    ops->PollDevice();
    *pagesResult = reachedMax;
    return r;
}

static uint16_t PrintLocalFile(const PktJob *job, uint16_t *pagesResult)
{
    const DevLowerLayer *ops = g_dev.ops;
    *pagesResult = 0;
    if (job->secondFile[0])
        LogMessage(2, "Printing files '%s', '%s'", job->firstFile, job->secondFile);
    else
        LogMessage(2, "Printing file '%s'", job->firstFile);
    int fax = IsFaxFormat(job->format);
    if (!fax && job->format != 2 && !IsBinaryFormat(job->format)) {
        LogMessage(5, "Invalid format %d for local print file", job->format);
        return DEV_INVALID_PARAMETER;
    }
    SendFile files[2] = {};
    int count = 0;
    uint16_t r = OpenJobFiles(job, files, &count, "print");
    if (r)
        return r;
    // A control file among two is the message's status report, not printed itself.
    TvGlobal reportMem = nullptr;
    char *report = nullptr;
    uint32_t reportSize = 0;
    if (count == 2) {
        for (int i = 0; i < 2 && !report; ++i) {
            const char *ext = FileExtension(i ? job->secondFile : job->firstFile);
            if (!EqualNoCaseAscii(ext, "CTL"))
                continue;
            reportMem = GlobalAllocLogged(STATUS_REPORT_SIZE);
            if (!reportMem) {
                LogMessage(5, "Unable to allocate status report buffer");
                r = DEV_FILE_ERROR;
                break;
            }
            report = static_cast<char *>(GlobalLockLogged(reportMem));
            if (!report) {
                LogMessage(5, "Unable to access status report buffer");
                r = DEV_FILE_ERROR;
                break;
            }
            r = ReadPrintControlFile(files[i].f, report, STATUS_REPORT_SIZE, &reportSize);
            std::fclose(files[i].f);
            files[i] = files[1 - i];
            count = 1;
        }
    }
    uint16_t total = 1;
    char hdrPath[DEV_PATH_SIZE + 40] = "";
    FILE *hdr = nullptr;
    FaxSource hdrSrc{};
    if (fax && !r)
        r = PrepareFaxFiles(files, count, &total);
    if (!r && fax && job->route >= 16 && job->route <= 18)
        r = OpenHeader(job, total, hdrPath, sizeof hdrPath, &hdr, &hdrSrc);
    if (!r) {
        DevConnectRequest req{};
        req.operation = DEV_CONNECT_PRINT;
        req.route = job->route;
        req.number = "";
        req.dialString2 = "";
        req.format = job->format;
        req.firstPage = 1;
        req.lastPage = total;
        req.totalPages = total;
        req.messageName = report ? "" : job->messageName;
        int made = 0;
        r = ops->MakeConnection(&req, &made);
        if (!r) {
            SetDeviceState(DEV_STATE_SENDING);
            if (report)
                r = ops->PrintStatusReport(report, reportSize, 0);
        }
        if (!r) {
            uint16_t reached = 0;
            r = SendByFormat(job->format, files, count, hdr, &hdrSrc, total, 0, 0, &reached);
            *pagesResult = reached;
            uint16_t w = ops->WaitForJobToFinish();
            if (!r)
                r = w;
        }
        if (r) {
            uint16_t c = ops->CancelJob();
            if (c > r)
                r = c;
        }
    }
    for (int i = 0; i < count; ++i)
        std::fclose(files[i].f);
    if (hdr)
        std::fclose(hdr);
    if (hdrPath[0])
        DevDeleteFile(hdrPath);
    if (reportMem) {
        if (report)
            GlobalUnlockLogged(reportMem);
        GlobalFreeLogged(reportMem);
    }
    return r;
}

uint16_t ProcessJob(const PktJob *job)
{
    const DevLowerLayer *ops = g_dev.ops;
    const DevOptions *o = DevGetOptions();
    std::snprintf(g_dev.remoteName, sizeof g_dev.remoteName, "%.30s", job->remoteName);
    g_dev.page = 0;
    g_dev.failureCode = TV_E_JOB_FAILED;
    uint16_t r = 0;
    uint16_t connectSeconds = 0, pages = 0;
    uint16_t routeFormat = DeviceTypeFormat(job->route);
    if (routeFormat != job->format) {
        LogMessage(5, "Format %d not valid for route %d", job->format, job->route);
        r = DEV_INVALID_PARAMETER;
    }
    if (!r)
        r = ops->CheckDeviceReady();
    if (!r) {
        uint32_t bit = 1u << (job->route & 31);
        if (o->printRoutes & bit)
            r = PrintLocalFile(job, &pages);
        else if (o->sendRoutes & bit)
            r = SendMessageToRemote(job, &connectSeconds, &pages);
        else
            r = DEV_INVALID_PARAMETER;
    }
    uint16_t code = JobReplyCode(r, g_dev.failureCode);
    SendJobResult(job->requestId, code, connectSeconds, pages);
    ops->FinishDeviceJob(code);
    g_dev.remoteName[0] = 0;
    return r;
}

// ---------------------------------------------------------------- scan
// Prints one of the scan status texts (a file of the database area) on the
// device as text. 0x0F when the name is empty or the file is missing.
static uint16_t PrintScanText(const char *name)
{
    if (!name[0])
        return DEV_FILE_ERROR;
    char dir[DEV_PATH_SIZE + 20];
    std::snprintf(dir, sizeof dir, "%sT-DB\\", g_sysParams.serverArea);
    SendFile file{};
    if (OpFile(&file.f, dir, name, 'R') != 0) {
        LogMessage(5, "Error opening Scan status file %s - continuing", name);
        return DEV_FILE_ERROR;
    }
    DevConnectRequest req{};
    req.operation = DEV_CONNECT_PRINT;
    req.number = "";
    req.dialString2 = "";
    req.messageName = "";
    req.format = 2;
    req.totalPages = 1;
    int made = 0;
    uint16_t r = g_dev.ops->MakeConnection(&req, &made);
    if (!r)
        r = SendTextPages(&file, 1);
    uint16_t w = g_dev.ops->WaitForJobToFinish();
    std::fclose(file.f);
    return r ? r : w;
}

// Waits up to the given seconds for the document to be there (wantPresent)
// or gone; 0 when it is, 6 at the end of the wait, or a request's result.
static uint16_t WaitForAdf(int wantPresent, uint16_t seconds)
{
    uint32_t start = RtTickMs();
    for (;;) {
        uint16_t d = g_dev.ops->IsDocumentOnADF();
        if (d != 0 && d != DEV_DOC_ON_SCANNER)
            return d;
        if ((d == DEV_DOC_ON_SCANNER) == (wantPresent != 0))
            return 0;
        if ((RtTickMs() - start) / 1000 >= seconds)
            return DEV_NO_DOCUMENT;
        SleepYield(SCAN_POLL_MS);
        uint16_t r = DevPollRequests();
        if (r)
            return r;
    }
}

static uint16_t WaitForDocument(void)
{
    const DevOptions *o = DevGetOptions();
    for (;;) {
        LogMessage(2, "Waiting for document on ADF");
        PrintScanText(o->scanWaitingDocFile);
        uint16_t r = WaitForAdf(1, o->scanDocWait);
        if (r)
            return r;
        LogMessage(2, "Printing Scan Confirm message");
        if (!o->scanConfirmFile[0])
            return 0;
        if (PrintScanText(o->scanConfirmFile) != 0)
            LogMessage(5, "Error printing Scan Confirm file - continuing");
        LogMessage(2, "Waiting to see if document is removed");
        r = WaitForAdf(0, o->scanConfirmWait);
        if (r == DEV_NO_DOCUMENT) {
            LogMessage(2, "Finished waiting");
            return 0;
        }
        if (r)
            return r;
        LogMessage(2, "Document removed");
    }
}

uint16_t ProcessScanJob(const PktJob *job)
{
    const DevLowerLayer *ops = g_dev.ops;
    g_dev.page = 0;
    g_dev.failureCode = TV_E_JOB_FAILED;
    uint16_t r = ops->CheckDeviceReady();
    if (!r) {
        LogMessage(2, "Waiting for document to Scan");
        r = WaitForDocument();
        if (r)
            PrintScanText(DevGetOptions()->scanAbortedFile);
    }
    FILE *out = nullptr;
    if (!r) {
        r = OpFile(&out, job->directory, job->firstFile, 'C');
        if (r)
            LogMessage(5, "Error opening scan file");
    }
    if (!r) {
        SetDeviceState(DEV_STATE_SCANNING);
        LogMessage(2, "Scanning");
        DevConnectRequest req{};
        req.operation = DEV_CONNECT_SCAN;
        req.number = "";
        req.dialString2 = "";
        req.messageName = "";
        req.format = job->scanFormat;
        req.flag = job->scanOption;
        req.options = job->scanFormat;
        int made = 0;
        r = ops->MakeConnection(&req, &made);
        if (!r && IsFaxFormat(job->scanFormat)) {
            uint16_t pages = 0;
            r = static_cast<uint16_t>(ReceiveTiffFile(out, job->scanFormat, &pages) & 0x7FFF);
        } else if (!r) {
            unsigned char buf[DEV_RX_BLOCK_SIZE];
            for (;;) {
                uint16_t len = 0, end = 0;
                r = ops->ReceiveDataFrame(buf, sizeof buf, &len, &end, 0);
                if (r) {
                    LogMessage(5, "Error %s receiving data block from Fax", DeviceErrorText(r));
                    break;
                }
                if (len > sizeof buf)
                    len = sizeof buf;
                if (len && std::fwrite(buf, 1, len, out) != len) {
                    LogMessage(5, "Error writing to recd msg file - (ferror = %d)", std::ferror(out));
                    r = DEV_FILE_ERROR;
                    break;
                }
                if (end != DEV_RX_DATA)
                    break;
            }
        }
        std::fclose(out);
        uint16_t w = ops->WaitForJobToFinish();
        if (!r)
            r = w;
        if (!r)
            PrintScanText(DevGetOptions()->scanCompletedFile);
    }
    if (r) {
        uint16_t c = ops->CancelJob();
        if (c > r)
            r = c;
    }
    uint16_t code = ScanReplyCode(r);
    SendScanResult(job->requestId, job->scanFormat, code);
    ops->FinishDeviceJob(code);
    return r;
}
