// The scripted fake device (see fakelayer.h).
#include "tests/server/device/fakelayer.h"

#include <cstring>

#include "server/device/devheader.h"

FakeDevice *g_fake;

static FakeDevice s_device;

FakeDevice &FakeStart()
{
    s_device = FakeDevice();
    g_fake = &s_device;
    return s_device;
}

int FakeDevice::count(const std::string &op) const
{
    int n = 0;
    for (const auto &c : calls)
        n += c == op;
    return n;
}

static uint16_t Take(FakeOp op, const char *name)
{
    g_fake->calls.push_back(name);
    if (g_fake->onCall)
        g_fake->onCall(name);
    auto &q = g_fake->script[op];
    if (q.empty())
        return g_fake->defaults[op];
    uint16_t r = q.front();
    q.pop_front();
    return r;
}

static const char *FakeTypeName(void) { return g_fake->typeName.c_str(); }

static uint16_t FakeReadIni(uint16_t number, FILE *ini)
{
    g_fake->calls.push_back("ReadDeviceIniFile");
    char para[32];
    std::snprintf(para, sizeof para, "[%s-%d]", g_fake->typeName.c_str(), number);
    char line[300];
    std::fseek(ini, 0, SEEK_SET);
    // A plain search keeps the fake independent of the paragraph reader.
    long pos = -1;
    while (std::fgets(line, sizeof line, ini)) {
        if (std::strncmp(line, para, std::strlen(para)) == 0) {
            pos = std::ftell(ini);
            break;
        }
    }
    if (pos < 0)
        return DEV_INVALID_PARAMETER;
    DevSetPortUse(1);
    DevSetRingCheck(g_fake->ringsToAnswer, g_fake->ringWindowMs);
    std::fseek(ini, pos, SEEK_SET);
    uint16_t r = ReadDeviceOptions(ini, static_cast<int32_t>(pos));
    return r ? r : g_fake->readIniResult;
}

static uint16_t FakeInitialise(void) { return Take(FAKE_INITIALISE, "InitialiseDevice"); }
static uint16_t FakePoll(void) { return Take(FAKE_POLL, "PollDevice"); }
static uint16_t FakeCheck(void) { return Take(FAKE_CHECK, "CheckFaxStatus"); }
static uint16_t FakeRecovery(void) { return Take(FAKE_RECOVERY, "WaitForDeviceRecovery"); }
static uint16_t FakeReady(void) { return Take(FAKE_READY, "CheckDeviceReady"); }

static uint16_t FakeMakeConnection(const DevConnectRequest *req, int *made)
{
    g_fake->connects.push_back(*req);
    g_fake->numbers.push_back(req->number ? req->number : "");
    uint16_t r = Take(FAKE_MAKE_CONNECTION, "MakeConnection");
    if (!r)
        *made = 1;
    return r;
}

static uint16_t FakeWaitForConnect(char *remoteId, uint16_t size, uint16_t direction, uint16_t *pageFormat)
{
    uint16_t r = Take(FAKE_WAIT_CONNECT, "WaitForConnect");
    if (r)
        return r;
    std::snprintf(remoteId, size, "%s", g_fake->remoteId.c_str());
    if (pageFormat)
        *pageFormat = g_fake->pageFormat;
    if (direction == DEV_ANSWERED) {
        DevSetRoutingDtmf(g_fake->rxDtmf.c_str());
        DevSetRoutingSubAddr(g_fake->rxSubAddr.c_str());
        DevSetRoutingCli(g_fake->rxCli.c_str());
        g_fake->rxPage = g_fake->rxOffset = 0;
        g_fake->rxDropped = 0;
    }
    g_fake->currentPage.clear();
    return 0;
}

static uint16_t FakeCheckRemoteId(const char *expected, const char *received)
{
    g_fake->calls.push_back("CheckRemoteId");
    if (!expected || !expected[0])
        return 0;
    return CompareRemoteId(expected, received) ? DEV_INVALID_ID : 0;
}

static uint16_t FakeChangeConnection(uint16_t, uint16_t)
{
    g_fake->calls.push_back("ChangeConnection");
    return DEV_INVALID_PARAMETER;
}

static uint16_t FakeSendDataBlock(const unsigned char *data, uint16_t length, uint16_t kind)
{
    if (g_fake->onCall)
        g_fake->onCall("SendDataBlock");
    if (data && length)
        g_fake->currentPage.insert(g_fake->currentPage.end(), data, data + length);
    if (kind == DEV_BLOCK_PAGE_END || kind == DEV_BLOCK_LAST_PAGE_END) {
        g_fake->calls.push_back("PageEnd");
        int pageNo = static_cast<int>(g_fake->sentPages.size()) + 1;
        if (g_fake->failSendAtPage == pageNo) {
            g_fake->currentPage.clear();
            g_fake->failSendAtPage = 0;
            return g_fake->failSendResult;
        }
        g_fake->sentPages.push_back(g_fake->currentPage);
        g_fake->endKinds.push_back(kind);
        g_fake->currentPage.clear();
    }
    return 0;
}

static uint16_t FakeReceiveDataFrame(unsigned char *buf, uint16_t size, uint16_t *length, uint16_t *end, uint16_t)
{
    *length = 0;
    *end = DEV_RX_DATA;
    if (!buf)
        return 0;
    FakeDevice &d = *g_fake;
    if (d.rxPage >= d.rxPages.size()) {
        *end = DEV_RX_NO_MORE_PAGES;
        return 0;
    }
    const auto &page = d.rxPages[d.rxPage].data;
    if (d.rxDropInPage == static_cast<int>(d.rxPage) + 1 && d.rxOffset >= page.size() / 2)
        return d.rxDropResult;
    size_t n = page.size() - d.rxOffset;
    size_t chunk = page.size() / 3 + 1; // several blocks per page
    if (chunk > size)
        chunk = size;
    if (n > chunk)
        n = chunk;
    std::memcpy(buf, page.data() + d.rxOffset, n);
    d.rxOffset += n;
    *length = static_cast<uint16_t>(n);
    if (d.rxOffset >= page.size()) {
        ++d.rxPage;
        d.rxOffset = 0;
        *end = d.rxPage >= d.rxPages.size() ? DEV_RX_LAST_PAGE_END : DEV_RX_PAGE_END;
    }
    return 0;
}

static uint16_t FakeRenderHeader(const DevHeaderRequest *req, char *outPath, size_t pathSize)
{
    g_fake->calls.push_back("RenderPageHeader");
    if (g_fake->realHeader)
        return RenderFaxPageHeader(req, outPath, pathSize);
    outPath[0] = 0;
    return 0;
}

static uint16_t FakePrintStatusReport(const void *report, uint32_t size, uint16_t)
{
    g_fake->calls.push_back("PrintStatusReport");
    g_fake->report.assign(static_cast<const char *>(report), size);
    return 0;
}
static uint16_t FakeDocOnAdf(void) { return Take(FAKE_DOC_ON_ADF, "IsDocumentOnADF"); }
static uint16_t FakeCancel(void) { return Take(FAKE_CANCEL, "CancelJob"); }
static uint16_t FakeFinishWait(void) { return Take(FAKE_FINISH_WAIT, "WaitForJobToFinish"); }
static uint16_t FakeFinishDeviceJob(uint16_t)
{
    g_fake->calls.push_back("FinishDeviceJob");
    return 0;
}
static uint16_t FakeSetOffline(void) { return Take(FAKE_SET_OFFLINE, "SetDeviceOffline"); }
static uint16_t FakeCheckAdfOffline(void) { return Take(FAKE_CHECK_ADF_OFFLINE, "CheckADFOffline"); }
static uint16_t FakeSetOnline(void) { return Take(FAKE_SET_ONLINE, "SetDeviceOnline"); }
static uint16_t FakeClose(void)
{
    g_fake->calls.push_back("CloseDevice");
    return 0;
}

const DevLowerLayer FakeLowerLayer = {
    FakeTypeName,        FakeReadIni,        FakeInitialise,       FakePoll,
    FakeCheck,           FakeRecovery,       FakeReady,            FakeMakeConnection,
    FakeWaitForConnect,  FakeCheckRemoteId,  FakeChangeConnection, FakeSendDataBlock,
    FakeReceiveDataFrame, FakeRenderHeader,  FakePrintStatusReport, FakeDocOnAdf,
    FakeCancel,          FakeFinishWait,     FakeFinishDeviceJob,  FakeSetOffline,
    FakeCheckAdfOffline, FakeSetOnline,      FakeClose,
};
