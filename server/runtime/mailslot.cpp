// Mailslot transport: argument checks, the read loop that drops bad packets
// and the send with its retries. The system calls are behind the PlatMs*
// layer (mailslot_win.cpp, mailslot_posix.cpp).
#include "server/runtime/mailslot.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/lebytes.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/srvlog.h"

TvStatus MsgMailslotPath(const char *queue, char *out, size_t size)
{
    if (!queue || !queue[0] || std::strlen(queue) > MSG_QUEUE_MAX || !out)
        return TV_E_BADARG;
    int n = std::snprintf(out, size, "%s%s", MSG_MAILSLOT_ROOT, queue);
    if (n < 0 || static_cast<size_t>(n) >= size)
        return TV_E_BADARG;
    return TV_OK;
}

bool MsgQueueExists(const char *queue)
{
    char path[MSG_PATH_SIZE];
    if (MsgMailslotPath(queue, path, sizeof path) != TV_OK)
        return false;
    void *writer = nullptr;
    uint32_t error = 0;
    MsOpenResult r = PlatMsOpenWrite(path, &writer, &error);
    if (r == MS_OPEN_OK)
        PlatMsCloseWrite(writer);
    return r == MS_OPEN_OK || r == MS_OPEN_BUSY;
}

void QueueNameFromId(const char *id, char *out, size_t size)
{
    if (!out || size == 0)
        return;
    size_t n = 0;
    for (; id && id[n] && n + 1 < size; ++n)
        out[n] = id[n] == '-' ? '\\' : id[n];
    out[n] = '\0';
}

TvStatus MsgMakePipe(const char *queue, uint32_t value, TvMailslot *handle)
{
    (void)value;
    char path[MSG_PATH_SIZE];
    if (!handle || MsgMailslotPath(queue, path, sizeof path) != TV_OK)
        return TV_E_BADARG;
    *handle = nullptr;
    uint32_t error = 0;
    TvStatus st = PlatMsCreate(path, handle, &error);
    if (st == TV_E_IO)
        LogMessage(5, "Error %lu creating mailslot %s", static_cast<unsigned long>(error), path);
    return st;
}

void MsgClosePipe(TvMailslot handle)
{
    if (handle)
        PlatMsClose(handle);
}

TvStatus MsgReadRequest(TvMailslot handle, void *buf, uint16_t size, uint16_t *length)
{
    if (length)
        *length = 0;
    if (size == 0 || !buf)
        return TV_E_BADARG;
    uint8_t *p = static_cast<uint8_t *>(buf);
    for (;;) {
        uint32_t next = MS_NO_MESSAGE;
        if (!PlatMsNextSize(handle, &next)) {
            LogMessage(5, "Unable to read from mailslot");
            return TV_E_IO;
        }
        if (next == MS_NO_MESSAGE)
            return TV_S_NO_MESSAGE;
        if (next > size) {
            // Read it whole so it leaves the mailslot on every system (a short
            // read fails and leaves it queued on some, truncates on others).
            LogMessage(5, "Invalid packet received - ignored");
            void *scrap = std::malloc(next);
            if (!scrap) {
                LogMessage(5, "Error allocating %lu bytes of global memory", static_cast<unsigned long>(next));
                return TV_E_NOMEM;
            }
            uint32_t got = 0;
            bool ok = PlatMsRead(handle, scrap, next, &got);
            std::free(scrap);
            if (!ok) {
                LogMessage(5, "Unable to read from mailslot");
                return TV_E_IO;
            }
            continue;
        }
        uint32_t got = 0;
        if (!PlatMsRead(handle, p, size, &got)) {
            LogMessage(5, "Unable to read request");
            return TV_E_IO;
        }
        if (got > size)
            got = size;
        std::memset(p + got, 0, size - got);
        if (got >= 2 && GetLe16(p) == got) {
            if (length)
                *length = static_cast<uint16_t>(got);
            return TV_OK;
        }
        LogMessage(5, "Invalid packet received - ignored");
    }
}

// Milliseconds since start, or -1 once the clock has gone back.
static int64_t Elapsed(uint32_t start)
{
    int32_t d = static_cast<int32_t>(RtTickMs() - start);
    return d < 0 ? -1 : d;
}

TvStatus MsgSendRequest(const char *queue, uint16_t timeoutSeconds, void *buf, uint16_t length, void *reply,
                        uint16_t replySize, uint16_t *replyLength)
{
    (void)replySize;
    if (replyLength)
        *replyLength = 0;
    char path[MSG_PATH_SIZE];
    if (MsgMailslotPath(queue, path, sizeof path) != TV_OK || timeoutSeconds > MSG_MAX_TIMEOUT ||
        length < MSG_MIN_PACKET || length > MSG_MAX_PACKET || reply || !buf)
        return TV_E_BADARG;
    uint8_t *p = static_cast<uint8_t *>(buf);
    PutLe16(p, length);

    const int64_t limit = static_cast<int64_t>(timeoutSeconds) * 1000;
    const uint32_t start = RtTickMs();
    for (;;) {
        // Open: wait for a missing mailslot within the time-out, for a busy
        // one up to 10 s.
        void *w = nullptr;
        uint32_t error = 0;
        uint32_t busyStart = 0;
        bool busySeen = false;
        for (;;) {
            MsOpenResult r = PlatMsOpenWrite(path, &w, &error);
            if (r == MS_OPEN_OK)
                break;
            if (r == MS_OPEN_MISSING) {
                int64_t e = Elapsed(start);
                if (timeoutSeconds == 0 || e < 0 || e >= limit) {
                    LogMessage(5, "MsgSendRequest() - error 0x%X opening queue", TV_E_TIMEOUT);
                    return TV_E_TIMEOUT;
                }
            } else if (r == MS_OPEN_BUSY) {
                if (!busySeen) {
                    busySeen = true;
                    busyStart = RtTickMs();
                }
                int64_t e = Elapsed(busyStart);
                if (e < 0 || e >= MSG_BUSY_LIMIT_MS) {
                    LogMessage(5, "Error 0x%X opening mailslot %s", static_cast<unsigned>(error), path);
                    LogMessage(5, "MsgSendRequest() - error 0x%X opening queue", TV_E_IO);
                    return TV_E_IO;
                }
            } else {
                LogMessage(5, "Error 0x%X opening mailslot %s", static_cast<unsigned>(error), path);
                LogMessage(5, "MsgSendRequest() - error 0x%X opening queue", TV_E_IO);
                return TV_E_IO;
            }
            RtSleepMs(MSG_RETRY_MS);
        }

        uint32_t written = 0;
        MsWriteResult wr = PlatMsWrite(w, p, length, &written, &error);
        PlatMsCloseWrite(w);
        if (wr == MS_WRITE_OK && written == length) {
            LogMessage(3, "MsgSendRequest() - request sent to '%s'", queue);
            return TV_OK;
        }
        if (wr == MS_WRITE_GONE) {
            int64_t e = Elapsed(start);
            if (timeoutSeconds == 0 || e < 0 || e >= limit) {
                LogMessage(5, "MsgSendRequest() - error 0x%X writing request", TV_E_TIMEOUT);
                return TV_E_TIMEOUT;
            }
            RtSleepMs(MSG_RETRY_MS);
            continue;
        }
        LogMessage(5, "Unable to write complete message to mailslot (%d/%d)", static_cast<int>(written),
                   static_cast<int>(length));
        LogMessage(5, "MsgSendRequest() - error 0x%X writing request", TV_E_IO);
        return TV_E_IO;
    }
}
