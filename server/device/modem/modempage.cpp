// Page transfer: coded lines out through two alternating overlapped frames
// with the post-page dialogue, and received page data in with the page
// start and page end dialogues.
#include <cstring>

#include "server/device/modem/modem.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/srvlog.h"

enum { FRAME_SIZE = 1000, PIECE_MAX = 299, REPLY_SIZE = 300, MISSING_OK_MS = 5000 };
enum : unsigned char { DLE = 0x10, ETX = 0x03, DC2 = 0x12 };

static uint32_t Elapsed(uint32_t since) { return RtTickMs() - since; }

// ---------------------------------------------------------------- page sender
struct Frame {
    unsigned char data[FRAME_SIZE];
    uint32_t fill;
    int pending;
};
static Frame s_frames[2];
static int s_current;
static int s_senderState; // 0 not set up, 1 filling, 2 streaming, 3 end of data given
static uint32_t s_writes;
static uint16_t s_minLine;

void ModemSetMinLineLength(uint16_t bytes) { s_minLine = bytes; }
uint16_t ModemMinLineLength(void) { return s_minLine; }

static uint16_t WaitFrame(int i)
{
    Frame &f = s_frames[i];
    if (!f.pending)
        return 0;
    uint32_t written = 0, err = 0;
    f.pending = 0;
    if (!ModemGetPort()->writeWait(i, &written, &err)) {
        LogMessage(5, "Error 0x%X waiting for write to complete", static_cast<unsigned>(err));
        f.fill = 0;
        return DEV_PORT_FAULT;
    }
    uint32_t want = f.fill;
    f.fill = 0;
    if (written < want) {
        LogMessage(5, "Timeout sending page to fax device");
        return DEV_NOT_CONNECTED;
    }
    return 0;
}

static uint16_t WriteFrame(int i)
{
    Frame &f = s_frames[i];
    uint32_t err = 0;
    if (!ModemGetPort()->writeStart(i, f.data, f.fill, &err)) {
        LogMessage(5, "Error making async write %ld to COM port (0x%X)", static_cast<long>(s_writes),
                   static_cast<unsigned>(err));
        f.fill = 0;
        return DEV_PORT_FAULT;
    }
    f.pending = 1;
    ++s_writes;
    CommsTrace('>', f.data, f.fill, 1);
    s_senderState = 2;
    return 0;
}

uint16_t SendFrameAsync(const unsigned char *data, uint16_t length, int endFlag)
{
    if (!data && !endFlag) {
        uint16_t r0 = s_senderState ? WaitFrame(0) : 0;
        uint16_t r1 = s_senderState ? WaitFrame(1) : 0;
        (void)r0;
        (void)r1;
        std::memset(s_frames, 0, sizeof s_frames);
        s_current = 0;
        s_senderState = 1;
        s_writes = 0;
        return 0;
    }
    if (s_senderState == 0) {
        LogMessage(6, "SendFrameAsync() not initialised");
        return DEV_PORT_FAULT;
    }
    if (s_senderState == 3) {
        LogMessage(6, "SendFrameAsync() re-called when already in end state");
        return DEV_PORT_FAULT;
    }
    if (length == 0 && !endFlag) {
        LogMessage(2, "SendFrameAsync() : no data to send");
        return 0;
    }
    uint16_t r = 0;
    while (length > 0) {
        Frame &f = s_frames[s_current];
        uint32_t room = FRAME_SIZE - f.fill;
        uint32_t n = length < room ? length : room;
        std::memcpy(f.data + f.fill, data, n);
        f.fill += n;
        data += n;
        length = static_cast<uint16_t>(length - n);
        if (f.fill == FRAME_SIZE) {
            r = WriteFrame(s_current);
            if (r)
                return r;
            s_current ^= 1;
            r = WaitFrame(s_current); // the other frame must be free before it fills
            if (r)
                return r;
        }
    }
    if (endFlag) {
        if (s_frames[s_current].fill) {
            r = WriteFrame(s_current);
            if (r)
                return r;
        }
        uint16_t a = WaitFrame(s_current ^ 1);
        uint16_t b = WaitFrame(s_current);
        s_senderState = 3;
        return a ? a : b;
    }
    return 0;
}

// Hands data to the sender with every DLE doubled, in pieces of at most 299 bytes.
static uint16_t SendShielded(const unsigned char *data, size_t len)
{
    unsigned char piece[PIECE_MAX];
    while (len > 0) {
        size_t used = 0;
        size_t n = DleStuff(data, len, piece, sizeof piece, &used);
        uint16_t r = SendFrameAsync(piece, static_cast<uint16_t>(n), 0);
        if (r)
            return r;
        data += used;
        len -= used;
    }
    return 0;
}

// A reply line without a command; OK in any case reads as the entry in use.
static uint16_t ReadLine(char *reply, size_t size, int acceptXon)
{
    uint16_t r = PollModemReply(nullptr, 0, reply, size, acceptXon);
    if (r == 0 && (reply[0] == 'O' || reply[0] == 'o') && (reply[1] == 'K' || reply[1] == 'k') && reply[2] == 0)
        std::snprintf(reply, size, "%s", ReplyEntry(RS_OK));
    return r;
}

static int IsPageStatus(const char *line)
{
    const char *w = ModemWordText(MW_PAGE_STATUS);
    return std::strncmp(line, w, std::strlen(w)) == 0;
}

// After a page's end of data: the modem's OK, the page status, and the way
// to the next page (or the end of the call).
static uint16_t PostPageDialogue(int last)
{
    LogMessage(2, "Waiting for end of page");
    int stage = 0;
    uint32_t stageStart = RtTickMs();
    uint32_t limit = g_modem.sendPageTimeout1 * 1000u;
    uint32_t lastLine = 0;
    int haveLastLine = 0;
    char reply[REPLY_SIZE];
    for (;;) {
        if (Elapsed(stageStart) > limit) {
            LogMessage(5, "End of page confirmation not received (%d)", stage);
            return DEV_FAX_ERROR;
        }
        uint16_t r = ReadLine(reply, sizeof reply, 1);
        if (r == DEV_NO_REPLY) {
            uint16_t q = DevPollRequests();
            if (q)
                return q;
            // A modem that leaves out the OK after the page status: taken as
            // received once it has been quiet for 5 s after that report.
            if (stage == 2 && haveLastLine && Elapsed(lastLine) > MISSING_OK_MS) {
                LogMessage(4, "OK after page status not received - continuing");
                std::snprintf(reply, sizeof reply, "%s", ReplyEntry(RS_OK));
            } else {
                ModemSleep(500);
                continue;
            }
        } else if (r) {
            LogMessage(5, "Error %s waiting for end of page confirmation", DeviceErrorText(r));
            return r;
        } else {
            lastLine = RtTickMs();
            haveLastLine = 1;
            uint16_t p = ParseModemReply(reply, DevCurrentState());
            if (p != 0 && p != 12) {
                LogMessage(5, "Error %s sending page", DeviceErrorText(p));
                return DEV_FAX_ERROR;
            }
        }
        int ok = IsOkReply(reply);
        int connect = IsConnectReply(reply);
        int xon = std::strcmp(reply, "<XON>") == 0;
        int status = IsPageStatus(reply);
        if (stage == 0 && ok) {
            if (!g_modem.class20) {
                SetupRS232(19200, 0);
                LogMessage(2, "first OK recd - sending <page end> message");
                SendModemCommand(last ? "+FET=2" : "+FET=0", nullptr, 0);
                stage = 1;
                stageStart = RtTickMs();
                limit = g_modem.sendPageTimeout2 * 1000u;
                haveLastLine = 0;
            } else {
                LogMessage(2, "first OK recd - requesting page status");
                uint16_t s = SendModemCommand("+FPS?", reply, sizeof reply);
                if (s == 0)
                    s = ParsePageStatusNumber(reply, DevCurrentState());
                if (s != 0 && s != 12) {
                    LogMessage(5, "Error %s sending page", DeviceErrorText(s));
                    return s;
                }
                stage = 2;
                stageStart = RtTickMs();
                limit = g_modem.sendPageTimeout2 * 1000u;
                lastLine = RtTickMs();
                haveLastLine = 1;
            }
            continue;
        }
        if (stage == 1 && status) {
            stage = 2;
            continue;
        }
        if (stage == 1 && ok) {
            LogMessage(5, "No page confirmation from remote fax");
            return DEV_FAX_ERROR;
        }
        if (stage == 2 && ok) {
            if (last) {
                ModemSleep(5000);
                FlushComPort();
                return 0;
            }
            LogMessage(2, "OK recd - sending <send data> message");
            SendModemCommand("+FDT", nullptr, 0);
            stage = g_modem.class20 ? 4 : 3;
            stageStart = RtTickMs();
            limit = g_modem.sendPageTimeout3 * 1000u;
            continue;
        }
        if (stage == 3 && connect) {
            stage = 4;
            continue;
        }
        if (stage == 4 && ((!g_modem.class20 && xon) || (g_modem.class20 && connect))) {
            SetupRS232(19200, g_modem.sendTimeoutMs);
            return 0;
        }
        if (status)
            LogMessage(4, "Unexpected Page status reply received");
        else if (connect)
            LogMessage(4, "Unexpected CONNECT received");
        else if (xon)
            LogMessage(2, "Unexpected XON received");
    }
}

uint16_t SendDataFrame(const unsigned char *line, uint16_t length, uint16_t kind)
{
    unsigned char padded[128];
    if (g_modem.padLines && s_minLine && s_minLine < 100 && length < s_minLine && line) {
        length = static_cast<uint16_t>(PadLine(line, length, s_minLine, padded, sizeof padded));
        line = padded;
    }
    uint16_t r = 0;
    if (line && length) {
        r = SendShielded(line, length);
        if (r) {
            LogMessage(5, "Error %s sending MH data to fax m/c", DeviceErrorText(r));
            return r;
        }
    }
    if (kind != DEV_BLOCK_PAGE_END && kind != DEV_BLOCK_LAST_PAGE_END)
        return 0;
    int last = kind == DEV_BLOCK_LAST_PAGE_END;
    if (g_modem.class20) {
        static const unsigned char kRtc[9] = {0x00, 0x08, 0x80, 0x00, 0x08, 0x80, 0x00, 0x08, 0x80};
        LogMessage(2, "Sending RTC pattern");
        r = SendFrameAsync(kRtc, sizeof kRtc, 0);
        if (r) {
            LogMessage(5, "Error %s sending RTC pattern", DeviceErrorText(r));
            return r;
        }
    }
    unsigned char endPair[2] = {DLE, ETX};
    if (g_modem.class20)
        endPair[1] = last ? '.' : ',';
    r = SendFrameAsync(endPair, 2, 1);
    if (r) {
        LogMessage(5, "Error %s sending MH data to fax m/c", DeviceErrorText(r));
        return r;
    }
    r = PostPageDialogue(last);
    if (r == 0 && !last)
        SendFrameAsync(nullptr, 0, 0);
    return r;
}

// ---------------------------------------------------------------- page receiver
static int s_pageStartPending;
static int s_noMorePages;
static int s_callEnded;
static int s_filter;
static int s_firstBlock;
static int s_pageHadData;
static RxReader s_reader;

static uint16_t PageStart(uint16_t *end)
{
    LogMessage(2, "Waiting for start of incoming page");
    LogMessage(2, "Sending <send data> message");
    if (SendModemCommand("+FDR", nullptr, 0))
        LogMessage(5, "Error sending continue message");
    uint32_t start = RtTickMs();
    char reply[REPLY_SIZE];
    for (;;) {
        if (Elapsed(start) > 90000u) {
            LogMessage(5, "Timeout at start of page");
            return DEV_FAX_ERROR;
        }
        uint16_t r = ReadLine(reply, sizeof reply, 0);
        if (r == DEV_NO_REPLY) {
            uint16_t q = DevPollRequests();
            if (q)
                return q;
            ModemSleep(250);
            continue;
        }
        if (r) {
            LogMessage(5, "Error %s waiting for start of page", DeviceErrorText(r));
            return r;
        }
        uint16_t p = ParseModemReply(reply, DevCurrentState());
        if (p != 0 && p != 12) {
            LogMessage(5, "Error %s receiving page", DeviceErrorText(p));
            return DEV_FAX_ERROR;
        }
        if (IsConnectReply(reply)) {
            static const unsigned char kDc2[] = {DC2};
            return ComWrite(kDc2, 1, 0);
        }
        if (IsOkReply(reply)) {
            s_noMorePages = 1;
            *end = DEV_RX_NO_MORE_PAGES;
            return 0;
        }
    }
}

// After a page's data: the page status, the post-page message and the OK;
// after the last page "+FDR" once more and the final OK.
static uint16_t PageEndDialogue(int *last)
{
    LogMessage(2, "Waiting for end of incoming page");
    *last = 0;
    int oks = 0;
    uint32_t start = RtTickMs();
    uint32_t lastLine = 0;
    int haveFet = 0;
    char reply[REPLY_SIZE];
    for (;;) {
        if (Elapsed(start) > g_modem.receivePageTimeout * 1000u) {
            LogMessage(5, "End of page confirmation not received");
            return DEV_FAX_ERROR;
        }
        uint16_t r = ReadLine(reply, sizeof reply, 0);
        if (r == DEV_NO_REPLY) {
            uint16_t q = DevPollRequests();
            if (q)
                return q;
            // A missing OK is taken as received 5 s after the post-page message.
            if (haveFet && Elapsed(lastLine) > MISSING_OK_MS) {
                LogMessage(4, "OK after post page message not received - continuing");
                std::snprintf(reply, sizeof reply, "%s", ReplyEntry(RS_OK));
            } else {
                ModemSleep(500);
                continue;
            }
        } else if (r) {
            LogMessage(5, "Error %s waiting for end of page confirmation", DeviceErrorText(r));
            return r;
        } else {
            lastLine = RtTickMs();
            uint16_t p = ParseModemReply(reply, DevCurrentState());
            if (p != 0 && p != 12) {
                LogMessage(5, "Error %s receiving page", DeviceErrorText(p));
                return DEV_FAX_ERROR;
            }
            if (std::strncmp(reply, "+FET:", 5) == 0) {
                const char *v = reply + 5;
                while (*v == ' ')
                    ++v;
                if ((v[0] == '2' || v[0] == '6') && (v[1] == 0 || v[1] == ',' || v[1] == ' '))
                    *last = 1;
                haveFet = 1;
                continue;
            }
        }
        if (IsConnectReply(reply)) {
            LogMessage(5, "Unexpected CONNECT received during fax");
            return DEV_FAX_ERROR;
        }
        if (!IsOkReply(reply))
            continue;
        ++oks;
        if (oks == 1 && !*last)
            return 0;
        if (oks == 1) {
            LogMessage(2, "first OK recd - sending next page message");
            SendModemCommand("+FDR", nullptr, 0);
            haveFet = 0;
            continue;
        }
        if (oks == 2)
            return 0;
        LogMessage(4, "Unexpected OK received");
    }
}

uint16_t ModemReceiveDataFrame(unsigned char *buf, uint16_t size, uint16_t *length, uint16_t *end,
                               uint16_t acceptTones)
{
    if (!buf) {
        s_pageStartPending = 1;
        s_noMorePages = 0;
        s_callEnded = 0;
        return 0;
    }
    *length = 0;
    *end = DEV_RX_DATA;
    if (s_noMorePages || s_callEnded) {
        *end = DEV_RX_NO_MORE_PAGES;
        return 0;
    }
    if (s_pageStartPending) {
        s_filter = g_modem.filterReceive;
        RxReaderReset(&s_reader, g_modem.class20, acceptTones, g_modem.dtmfEndChar);
        uint16_t r = PageStart(end);
        if (r || *end == DEV_RX_NO_MORE_PAGES)
            return r;
        s_pageStartPending = 0;
        s_firstBlock = 1;
        s_pageHadData = 0;
    }
    s_reader.acceptTones = acceptTones;
    int reverse = g_modem.class20 ? g_modem.receiveReversed20 : g_modem.receiveReversed2;
    size_t cap = size > 2 ? size - 2u : 0u; // a DLE SUB adds two bytes
    size_t n = 0;
    int ended = 0;
    uint32_t start = RtTickMs();
    for (;;) {
        unsigned char c = 0;
        uint16_t r = ReadComChar(&c, 0, 1);
        if (r == 0) {
            ended = RxReaderFeed(&s_reader, c, buf, &n, cap);
            if (ended || n >= cap)
                break;
            continue;
        }
        if (r != DEV_NO_REPLY)
            return r;
        if (n)
            break;
        uint16_t q = DevPollRequests();
        if (q)
            return q;
        if (Elapsed(start) > 240000u) {
            LogMessage(5, "Timeout receiving page data");
            return DEV_FAX_ERROR;
        }
    }
    uint32_t flags = 0;
    if (GetComErrors(&flags) == 0 && flags)
        LogMessage(g_modem.logComms ? 4 : 2, "Characters lost from incoming fax (0x%X)", static_cast<unsigned>(flags));
    if (s_reader.acceptTones && g_call.dtmf[0])
        DevSetRoutingDtmf(g_call.dtmf);
    size_t from = 0;
    if (s_firstBlock && n) {
        s_firstBlock = 0;
        if (s_filter)
            from = FilterFirstBlock(buf, n);
    }
    if (from)
        std::memmove(buf, buf + from, n - from);
    n -= from;
    if (reverse)
        for (size_t i = 0; i < n; ++i)
            buf[i] = g_bitReverse[buf[i]];
    if (n) {
        s_pageHadData = 1;
        CommsTrace('<', buf, n, 1);
    }
    if (ended) {
        if (!s_pageHadData && n == 0) {
            buf[0] = 0x00;
            buf[1] = 0x08;
            n = 2;
        }
        int last = 0;
        uint16_t r = PageEndDialogue(&last);
        if (r)
            return r;
        *end = last ? DEV_RX_LAST_PAGE_END : DEV_RX_PAGE_END;
        s_pageStartPending = 1;
        if (last)
            s_callEnded = 1;
    }
    *length = static_cast<uint16_t>(n);
    return 0;
}
