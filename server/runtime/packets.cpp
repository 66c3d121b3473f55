// Encoding and decoding of the mailslot packet records.
//
// Decoding first copies the received bytes into a zeroed buffer of the
// record's full length, so that a field past the packet's end reads as 0 and
// never as what an earlier packet left in the caller's buffer.
#include "server/runtime/packets.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/lebytes.h"

namespace {

enum : size_t { MAX_RECORD = PKT_JOB_SIZE };

// Field offsets. Each text field's record array is exactly as wide as the
// field, and the asserts tie the widths and offsets to the wire lengths.
enum : size_t {
    H_LENGTH = 0, H_CLASS = 2, H_TYPE = 3, H_CODE = 4,
    D_NAME = 6, D_NUMBER = 16, D_BODY = 18,

    QSR_FIRST = 6, QSR_SECOND = 15, QSR_VALUE = 28,
    JR_ID = 18, JR_STATUS = 20, JR_SECONDS = 22, JR_PAGES = 24,
    SR_ID = 18, SR_STATUS = 20, SR_VALUE = 22,
    NM_USER = 18, NM_CTL = 27,
    ST_STATUS = 18, ST_PAGE = 20,
    RG_QUEUE = 18, RG_TAG = 104, RG_ZERO = 106, RG_SEND = 108, RG_PRINT = 112,
    DR_TAG = 6, DR_ID = 8,
    JB_TAG = 6, JB_ID = 8, JB_MESSAGE = 10, JB_LOG32 = 20, JB_LOG16 = 24, JB_DIR = 26,
    JB_FILE1 = 90, JB_FILE2 = 103, JB_SCANFORMAT = 104, JB_SCANOPTION = 106,
    JB_FORMAT = 116, JB_ROUTE = 118, JB_NUMBER = 120, JB_SENDER = 192,
    JB_EXPECTED = 223, JB_HEADERFLAGS = 264, JB_REMOTE = 309, JB_DIAL2 = 381,
    JB_PAGES = 422,
    OF_TAG = 6, OF_BUSY = 8, OF_INTERRUPT = 12,
    PO_TAG = 6, PO_BUSY = 8, PO_INTERRUPT = 12, PO_ID = 16, PO_REPLY = 18,
    CV_ARGS = 6,
    CS_ID = 6, CS_ONE = 20,
    PI_QUEUE = 18, PI_PORT = 104, PI_ZERO = 117,
    PQ_PORT = 6, PQ_OFFLINE = 20, PQ_BUSY = 24, PQ_INTERRUPT = 28, PQ_ID = 32, PQ_REPLY = 34,
    DS_NAME = 6, DS_NUMBER = 16, DS_STATE = 18, DS_TEXT1 = 20, DS_TEXT2 = 29, DS_TOTAL = 42,
    DS_CURRENT = 44,
    QS_COUNTERS = 6,
    PR_ID = 6,
};

static_assert(D_NAME + sizeof(PktJobResult::deviceName) == D_NUMBER, "device name field");
static_assert(QSR_FIRST + sizeof(PktQueueStatusRequest::first) == QSR_SECOND, "1/4 layout");
static_assert(QSR_SECOND + sizeof(PktQueueStatusRequest::second) == QSR_VALUE, "1/4 layout");
static_assert(QSR_VALUE + 2 == PKT_QUEUE_STATUS_REQUEST_SIZE, "1/4 size");
static_assert(JR_PAGES + 2 == PKT_JOB_RESULT_SIZE, "1/6 size");
static_assert(SR_VALUE + 2 == PKT_SCAN_RESULT_SIZE, "1/7 size");
static_assert(NM_USER + sizeof(PktNewMessage::user) == NM_CTL, "1/8 layout");
static_assert(NM_CTL + sizeof(PktNewMessage::controlFile) == PKT_NEW_MESSAGE_SIZE, "1/8 size");
static_assert(ST_PAGE + 2 == PKT_STATUS_SIZE, "1/9 size");
static_assert(RG_QUEUE + sizeof(PktRegister::queue) == RG_TAG, "1/10 layout");
static_assert(RG_PRINT + 4 == PKT_REGISTER_SIZE, "1/10 size");
static_assert(DR_ID + 2 == PKT_DEVICE_REQUEST_SIZE && DR_TAG + 2 == PKT_ONLINE_SIZE, "class 2 size");
static_assert(JB_MESSAGE + sizeof(PktJob::messageName) == JB_LOG32, "2/5 layout");
static_assert(JB_DIR + sizeof(PktJob::directory) == JB_FILE1, "2/5 layout");
static_assert(JB_FILE1 + sizeof(PktJob::firstFile) == JB_FILE2, "2/5 layout");
static_assert(JB_FILE2 + sizeof(PktJob::secondFile) == JB_FORMAT, "2/5 layout");
static_assert(JB_NUMBER + sizeof(PktJob::number) == JB_SENDER, "2/5 layout");
static_assert(JB_SENDER + sizeof(PktJob::sender) == JB_EXPECTED, "2/5 layout");
static_assert(JB_EXPECTED + sizeof(PktJob::expectedId) == JB_HEADERFLAGS, "2/5 layout");
static_assert(JB_REMOTE + sizeof(PktJob::remoteName) <= JB_DIAL2, "2/5 layout");
static_assert(JB_DIAL2 + sizeof(PktJob::dialString2) == JB_PAGES, "2/5 layout");
static_assert(JB_PAGES + 2 == PKT_JOB_SIZE, "2/5 size");
static_assert(OF_INTERRUPT + 4 == PKT_OFFLINE_SIZE, "2/7 size");
static_assert(PO_REPLY + sizeof(PktPortOffline::replyQueue) == PKT_PORT_OFFLINE_SIZE, "2/9 size");
static_assert(CV_ARGS + sizeof(PktConvert::arguments) == PKT_CONVERT_SIZE, "5/1 size");
static_assert(CS_ID + sizeof(PktControllerStarted::id) == 17, "6/3 NUL at 16");
static_assert(CS_ONE + 4 == PKT_CONTROLLER_STARTED_SIZE, "6/3 size");
static_assert(PI_QUEUE + sizeof(PktPortInit::queue) == PI_PORT, "6/5 layout");
static_assert(PI_PORT + sizeof(PktPortInit::port) == PI_ZERO, "6/5 layout");
static_assert(PI_ZERO + 1 == PKT_PORT_INIT_SIZE, "6/5 size");
static_assert(PQ_PORT + sizeof(PktPortRequest::port) == 19, "6/6 NUL at 18");
static_assert(PQ_REPLY + sizeof(PktPortRequest::replyQueue) == 45, "6/6 NUL at 44");
static_assert(PQ_REPLY + sizeof(PktPortRequest::replyQueue) + 3 == PKT_PORT_REQUEST_SIZE, "6/6 size");
static_assert(DS_TEXT1 + sizeof(PktDeviceStatus::text1) == DS_TEXT2, "7/1 layout");
static_assert(DS_TEXT2 + sizeof(PktDeviceStatus::text2) == DS_TOTAL, "7/1 layout");
static_assert(DS_CURRENT + 2 == PKT_DEVICE_STATUS_SIZE, "7/1 size");
static_assert(QS_COUNTERS + 2 * PKT_QUEUE_COUNTERS == PKT_QUEUE_STATUS_SIZE, "7/2 size");
static_assert(PR_ID + 2 == PKT_PORT_REPLY_SIZE, "8/1 size");

// A received packet, zero-filled to the record's full length.
struct Padded {
    uint8_t b[MAX_RECORD];
    bool complete;
    Padded(const void *pkt, size_t len, size_t recordSize)
    {
        std::memset(b, 0, sizeof b);
        size_t n = len < recordSize ? len : recordSize;
        if (pkt && n)
            std::memcpy(b, pkt, n);
        complete = pkt && len >= recordSize;
    }
    uint8_t U8(size_t off) const { return b[off]; }
    uint16_t U16(size_t off) const { return GetLe16(b + off); }
    uint32_t U32(size_t off) const { return GetLe32(b + off); }
    void Text(size_t off, char *out, size_t width) const { CopyTextField(out, width, b + off, width); }
};

void GetHeader(const Padded &p, PktHeader *h)
{
    h->length = p.U16(H_LENGTH);
    h->cls = p.U8(H_CLASS);
    h->type = p.U8(H_TYPE);
    h->code = p.U16(H_CODE);
}

// Stores at most width-1 characters of text into a zeroed field.
void PutText(uint8_t *buf, size_t off, const char *text, size_t width)
{
    std::memset(buf + off, 0, width);
    if (!text || width == 0)
        return;
    size_t n = 0;
    while (n + 1 < width && text[n] != '\0')
        ++n;
    std::memcpy(buf + off, text, n);
}

// Zeroes size bytes of buf and writes the header; false when buf is too small.
bool Begin(uint8_t *buf, size_t size, size_t recordSize, const PktHeader &h)
{
    if (!buf || size < recordSize)
        return false;
    std::memset(buf, 0, recordSize);
    PutLe16(buf + H_LENGTH, static_cast<uint16_t>(recordSize));
    buf[H_CLASS] = h.cls;
    buf[H_TYPE] = h.type;
    PutLe16(buf + H_CODE, h.code);
    return true;
}

void PutDevice(uint8_t *buf, const char *name, size_t width, uint16_t number)
{
    PutText(buf, D_NAME, name, width);
    PutLe16(buf + D_NUMBER, number);
}

} // namespace

void SetPacketText(char *field, size_t fieldSize, const char *text)
{
    if (!field || fieldSize == 0)
        return;
    size_t n = 0;
    while (text && n + 1 < fieldSize && text[n] != '\0')
        ++n;
    if (n)
        std::memmove(field, text, n);
    std::memset(field + n, 0, fieldSize - n);
}

size_t EncodeHeaderOnly(uint8_t cls, uint8_t type, uint16_t code, uint8_t *buf, size_t size)
{
    PktHeader h = {0, cls, type, code};
    return Begin(buf, size, PKT_HEADER_SIZE, h) ? PKT_HEADER_SIZE : 0;
}

bool DecodeHeader(const void *pkt, size_t len, PktHeader *out)
{
    Padded p(pkt, len, PKT_HEADER_SIZE);
    GetHeader(p, out);
    return p.complete;
}

size_t EncodeQueueStatusRequest(const PktQueueStatusRequest *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_QUEUE_STATUS_REQUEST_SIZE, r->hdr))
        return 0;
    PutText(buf, QSR_FIRST, r->first, sizeof r->first);
    PutText(buf, QSR_SECOND, r->second, sizeof r->second);
    PutLe16(buf + QSR_VALUE, r->value);
    return PKT_QUEUE_STATUS_REQUEST_SIZE;
}

bool DecodeQueueStatusRequest(const void *pkt, size_t len, PktQueueStatusRequest *r)
{
    Padded p(pkt, len, PKT_QUEUE_STATUS_REQUEST_SIZE);
    GetHeader(p, &r->hdr);
    p.Text(QSR_FIRST, r->first, sizeof r->first);
    p.Text(QSR_SECOND, r->second, sizeof r->second);
    r->value = p.U16(QSR_VALUE);
    return p.complete;
}

size_t EncodeJobResult(const PktJobResult *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_JOB_RESULT_SIZE, r->hdr))
        return 0;
    PutDevice(buf, r->deviceName, sizeof r->deviceName, r->deviceNumber);
    PutLe16(buf + JR_ID, r->requestId);
    PutLe16(buf + JR_STATUS, r->statusCode);
    PutLe16(buf + JR_SECONDS, r->connectSeconds);
    PutLe16(buf + JR_PAGES, r->pages);
    return PKT_JOB_RESULT_SIZE;
}

bool DecodeJobResult(const void *pkt, size_t len, PktJobResult *r)
{
    Padded p(pkt, len, PKT_JOB_RESULT_SIZE);
    GetHeader(p, &r->hdr);
    p.Text(D_NAME, r->deviceName, sizeof r->deviceName);
    r->deviceNumber = p.U16(D_NUMBER);
    r->requestId = p.U16(JR_ID);
    r->statusCode = p.U16(JR_STATUS);
    r->connectSeconds = p.U16(JR_SECONDS);
    r->pages = p.U16(JR_PAGES);
    return p.complete;
}

size_t EncodeScanResult(const PktScanResult *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_SCAN_RESULT_SIZE, r->hdr))
        return 0;
    PutDevice(buf, r->deviceName, sizeof r->deviceName, r->deviceNumber);
    PutLe16(buf + SR_ID, r->requestId);
    PutLe16(buf + SR_STATUS, r->statusCode);
    PutLe16(buf + SR_VALUE, r->scanValue);
    return PKT_SCAN_RESULT_SIZE;
}

bool DecodeScanResult(const void *pkt, size_t len, PktScanResult *r)
{
    Padded p(pkt, len, PKT_SCAN_RESULT_SIZE);
    GetHeader(p, &r->hdr);
    p.Text(D_NAME, r->deviceName, sizeof r->deviceName);
    r->deviceNumber = p.U16(D_NUMBER);
    r->requestId = p.U16(SR_ID);
    r->statusCode = p.U16(SR_STATUS);
    r->scanValue = p.U16(SR_VALUE);
    return p.complete;
}

size_t EncodeNewMessage(const PktNewMessage *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_NEW_MESSAGE_SIZE, r->hdr))
        return 0;
    PutDevice(buf, r->deviceName, sizeof r->deviceName, r->deviceNumber);
    PutText(buf, NM_USER, r->user, sizeof r->user);
    PutText(buf, NM_CTL, r->controlFile, sizeof r->controlFile);
    return PKT_NEW_MESSAGE_SIZE;
}

bool DecodeNewMessage(const void *pkt, size_t len, PktNewMessage *r)
{
    Padded p(pkt, len, PKT_NEW_MESSAGE_SIZE);
    GetHeader(p, &r->hdr);
    p.Text(D_NAME, r->deviceName, sizeof r->deviceName);
    r->deviceNumber = p.U16(D_NUMBER);
    p.Text(NM_USER, r->user, sizeof r->user);
    p.Text(NM_CTL, r->controlFile, sizeof r->controlFile);
    return p.complete;
}

size_t EncodeStatus(const PktStatus *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_STATUS_SIZE, r->hdr))
        return 0;
    PutDevice(buf, r->deviceName, sizeof r->deviceName, r->deviceNumber);
    PutLe16(buf + ST_STATUS, r->statusCode);
    PutLe16(buf + ST_PAGE, r->page);
    return PKT_STATUS_SIZE;
}

bool DecodeStatus(const void *pkt, size_t len, PktStatus *r)
{
    Padded p(pkt, len, PKT_STATUS_SIZE);
    GetHeader(p, &r->hdr);
    p.Text(D_NAME, r->deviceName, sizeof r->deviceName);
    r->deviceNumber = p.U16(D_NUMBER);
    r->statusCode = p.U16(ST_STATUS);
    r->page = p.U16(ST_PAGE);
    return p.complete;
}

size_t EncodeRegister(const PktRegister *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_REGISTER_SIZE, r->hdr))
        return 0;
    PutDevice(buf, r->deviceName, sizeof r->deviceName, r->deviceNumber);
    PutText(buf, RG_QUEUE, r->queue, sizeof r->queue);
    PutLe16(buf + RG_TAG, r->tag);
    PutLe32(buf + RG_SEND, r->sendRoutes);
    PutLe32(buf + RG_PRINT, r->printRoutes);
    return PKT_REGISTER_SIZE;
}

bool DecodeRegister(const void *pkt, size_t len, PktRegister *r)
{
    Padded p(pkt, len, PKT_REGISTER_SIZE);
    GetHeader(p, &r->hdr);
    p.Text(D_NAME, r->deviceName, sizeof r->deviceName);
    r->deviceNumber = p.U16(D_NUMBER);
    p.Text(RG_QUEUE, r->queue, sizeof r->queue);
    r->tag = p.U16(RG_TAG);
    r->sendRoutes = p.U32(RG_SEND);
    r->printRoutes = p.U32(RG_PRINT);
    return p.complete;
}

size_t EncodeDeviceRequest(const PktDeviceRequest *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_DEVICE_REQUEST_SIZE, r->hdr))
        return 0;
    PutLe16(buf + DR_TAG, r->tag);
    PutLe16(buf + DR_ID, r->requestId);
    return PKT_DEVICE_REQUEST_SIZE;
}

bool DecodeDeviceRequest(const void *pkt, size_t len, PktDeviceRequest *r)
{
    Padded p(pkt, len, PKT_DEVICE_REQUEST_SIZE);
    GetHeader(p, &r->hdr);
    r->tag = p.U16(DR_TAG);
    r->requestId = p.U16(DR_ID);
    return p.complete;
}

size_t EncodeJob(const PktJob *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_JOB_SIZE, r->hdr))
        return 0;
    PutLe16(buf + JB_TAG, r->tag);
    PutLe16(buf + JB_ID, r->requestId);
    PutText(buf, JB_MESSAGE, r->messageName, sizeof r->messageName);
    PutLe32(buf + JB_LOG32, r->logValue32);
    PutLe16(buf + JB_LOG16, r->logValue16);
    PutText(buf, JB_DIR, r->directory, sizeof r->directory);
    PutText(buf, JB_FILE1, r->firstFile, sizeof r->firstFile);
    if (r->hdr.type == PKT_DEV_SCAN_JOB) {
        PutLe16(buf + JB_SCANFORMAT, r->scanFormat);
        PutLe16(buf + JB_SCANOPTION, r->scanOption);
    } else {
        PutText(buf, JB_FILE2, r->secondFile, sizeof r->secondFile);
    }
    PutLe16(buf + JB_FORMAT, r->format);
    PutLe16(buf + JB_ROUTE, r->route);
    PutText(buf, JB_NUMBER, r->number, sizeof r->number);
    PutText(buf, JB_SENDER, r->sender, sizeof r->sender);
    PutText(buf, JB_EXPECTED, r->expectedId, sizeof r->expectedId);
    PutLe32(buf + JB_HEADERFLAGS, r->headerFlags);
    PutText(buf, JB_REMOTE, r->remoteName, sizeof r->remoteName);
    PutText(buf, JB_DIAL2, r->dialString2, sizeof r->dialString2);
    PutLe16(buf + JB_PAGES, r->pagesSent);
    return PKT_JOB_SIZE;
}

bool DecodeJob(const void *pkt, size_t len, PktJob *r)
{
    Padded p(pkt, len, PKT_JOB_SIZE);
    GetHeader(p, &r->hdr);
    r->tag = p.U16(JB_TAG);
    r->requestId = p.U16(JB_ID);
    p.Text(JB_MESSAGE, r->messageName, sizeof r->messageName);
    r->logValue32 = p.U32(JB_LOG32);
    r->logValue16 = p.U16(JB_LOG16);
    p.Text(JB_DIR, r->directory, sizeof r->directory);
    p.Text(JB_FILE1, r->firstFile, sizeof r->firstFile);
    if (r->hdr.type == PKT_DEV_SCAN_JOB) {
        r->secondFile[0] = '\0';
        std::memset(r->secondFile, 0, sizeof r->secondFile);
        r->scanFormat = p.U16(JB_SCANFORMAT);
        r->scanOption = p.U16(JB_SCANOPTION);
    } else {
        p.Text(JB_FILE2, r->secondFile, sizeof r->secondFile);
        r->scanFormat = 0;
        r->scanOption = 0;
    }
    r->format = p.U16(JB_FORMAT);
    r->route = p.U16(JB_ROUTE);
    p.Text(JB_NUMBER, r->number, sizeof r->number);
    p.Text(JB_SENDER, r->sender, sizeof r->sender);
    p.Text(JB_EXPECTED, r->expectedId, sizeof r->expectedId);
    r->headerFlags = p.U32(JB_HEADERFLAGS);
    p.Text(JB_REMOTE, r->remoteName, sizeof r->remoteName);
    p.Text(JB_DIAL2, r->dialString2, sizeof r->dialString2);
    r->pagesSent = p.U16(JB_PAGES);
    return p.complete;
}

size_t EncodeOffline(const PktOffline *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_OFFLINE_SIZE, r->hdr))
        return 0;
    PutLe16(buf + OF_TAG, r->tag);
    PutLe32(buf + OF_BUSY, r->busy);
    PutLe32(buf + OF_INTERRUPT, r->interrupt);
    return PKT_OFFLINE_SIZE;
}

bool DecodeOffline(const void *pkt, size_t len, PktOffline *r)
{
    Padded p(pkt, len, PKT_OFFLINE_SIZE);
    GetHeader(p, &r->hdr);
    r->tag = p.U16(OF_TAG);
    r->busy = p.U32(OF_BUSY);
    r->interrupt = p.U32(OF_INTERRUPT);
    return p.complete;
}

size_t EncodePortOffline(const PktPortOffline *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_PORT_OFFLINE_SIZE, r->hdr))
        return 0;
    PutLe16(buf + PO_TAG, r->tag);
    PutLe32(buf + PO_BUSY, r->busy);
    PutLe32(buf + PO_INTERRUPT, r->interrupt);
    PutLe16(buf + PO_ID, r->requestId);
    PutText(buf, PO_REPLY, r->replyQueue, sizeof r->replyQueue);
    return PKT_PORT_OFFLINE_SIZE;
}

bool DecodePortOffline(const void *pkt, size_t len, PktPortOffline *r)
{
    Padded p(pkt, len, PKT_PORT_OFFLINE_SIZE);
    GetHeader(p, &r->hdr);
    r->tag = p.U16(PO_TAG);
    r->busy = p.U32(PO_BUSY);
    r->interrupt = p.U32(PO_INTERRUPT);
    r->requestId = p.U16(PO_ID);
    p.Text(PO_REPLY, r->replyQueue, sizeof r->replyQueue);
    return p.complete;
}

size_t EncodeConvert(const PktConvert *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_CONVERT_SIZE, r->hdr))
        return 0;
    PutText(buf, CV_ARGS, r->arguments, sizeof r->arguments);
    return PKT_CONVERT_SIZE;
}

bool DecodeConvert(const void *pkt, size_t len, PktConvert *r)
{
    Padded p(pkt, len, PKT_CONVERT_SIZE);
    GetHeader(p, &r->hdr);
    p.Text(CV_ARGS, r->arguments, sizeof r->arguments);
    return p.complete;
}

size_t EncodeControllerStarted(const PktControllerStarted *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_CONTROLLER_STARTED_SIZE, r->hdr))
        return 0;
    PutText(buf, CS_ID, r->id, sizeof r->id);
    PutLe32(buf + CS_ONE, r->one);
    return PKT_CONTROLLER_STARTED_SIZE;
}

bool DecodeControllerStarted(const void *pkt, size_t len, PktControllerStarted *r)
{
    Padded p(pkt, len, PKT_CONTROLLER_STARTED_SIZE);
    GetHeader(p, &r->hdr);
    p.Text(CS_ID, r->id, sizeof r->id);
    r->one = p.U32(CS_ONE);
    return p.complete;
}

size_t EncodePortInit(const PktPortInit *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_PORT_INIT_SIZE, r->hdr))
        return 0;
    PutDevice(buf, r->deviceName, sizeof r->deviceName, r->deviceNumber);
    PutText(buf, PI_QUEUE, r->queue, sizeof r->queue);
    PutText(buf, PI_PORT, r->port, sizeof r->port);
    return PKT_PORT_INIT_SIZE;
}

bool DecodePortInit(const void *pkt, size_t len, PktPortInit *r)
{
    Padded p(pkt, len, PKT_PORT_INIT_SIZE);
    GetHeader(p, &r->hdr);
    p.Text(D_NAME, r->deviceName, sizeof r->deviceName);
    r->deviceNumber = p.U16(D_NUMBER);
    p.Text(PI_QUEUE, r->queue, sizeof r->queue);
    p.Text(PI_PORT, r->port, sizeof r->port);
    return p.complete;
}

size_t EncodePortRequest(const PktPortRequest *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_PORT_REQUEST_SIZE, r->hdr))
        return 0;
    PutText(buf, PQ_PORT, r->port, sizeof r->port);
    PutLe32(buf + PQ_OFFLINE, r->offline);
    PutLe32(buf + PQ_BUSY, r->busy);
    PutLe32(buf + PQ_INTERRUPT, r->interrupt);
    PutLe16(buf + PQ_ID, r->requestId);
    PutText(buf, PQ_REPLY, r->replyQueue, sizeof r->replyQueue);
    return PKT_PORT_REQUEST_SIZE;
}

bool DecodePortRequest(const void *pkt, size_t len, PktPortRequest *r)
{
    Padded p(pkt, len, PKT_PORT_REQUEST_SIZE);
    GetHeader(p, &r->hdr);
    p.Text(PQ_PORT, r->port, sizeof r->port);
    r->offline = p.U32(PQ_OFFLINE);
    r->busy = p.U32(PQ_BUSY);
    r->interrupt = p.U32(PQ_INTERRUPT);
    r->requestId = p.U16(PQ_ID);
    p.Text(PQ_REPLY, r->replyQueue, sizeof r->replyQueue);
    return p.complete;
}

size_t EncodeDeviceStatus(const PktDeviceStatus *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_DEVICE_STATUS_SIZE, r->hdr))
        return 0;
    PutText(buf, DS_NAME, r->deviceName, sizeof r->deviceName);
    PutLe16(buf + DS_NUMBER, r->deviceNumber);
    PutLe16(buf + DS_STATE, r->state);
    PutText(buf, DS_TEXT1, r->text1, sizeof r->text1);
    PutText(buf, DS_TEXT2, r->text2, sizeof r->text2);
    PutLe16(buf + DS_TOTAL, r->totalPages);
    PutLe16(buf + DS_CURRENT, r->currentPage);
    return PKT_DEVICE_STATUS_SIZE;
}

bool DecodeDeviceStatus(const void *pkt, size_t len, PktDeviceStatus *r)
{
    Padded p(pkt, len, PKT_DEVICE_STATUS_SIZE);
    GetHeader(p, &r->hdr);
    p.Text(DS_NAME, r->deviceName, sizeof r->deviceName);
    r->deviceNumber = p.U16(DS_NUMBER);
    r->state = p.U16(DS_STATE);
    p.Text(DS_TEXT1, r->text1, sizeof r->text1);
    p.Text(DS_TEXT2, r->text2, sizeof r->text2);
    r->totalPages = p.U16(DS_TOTAL);
    r->currentPage = p.U16(DS_CURRENT);
    return p.complete;
}

size_t EncodeQueueStatus(const PktQueueStatus *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_QUEUE_STATUS_SIZE, r->hdr))
        return 0;
    for (int i = 0; i < PKT_QUEUE_COUNTERS; ++i)
        PutLe16(buf + QS_COUNTERS + 2 * i, r->counters[i]);
    return PKT_QUEUE_STATUS_SIZE;
}

bool DecodeQueueStatus(const void *pkt, size_t len, PktQueueStatus *r)
{
    Padded p(pkt, len, PKT_QUEUE_STATUS_SIZE);
    GetHeader(p, &r->hdr);
    for (int i = 0; i < PKT_QUEUE_COUNTERS; ++i)
        r->counters[i] = p.U16(QS_COUNTERS + 2 * i);
    return p.complete;
}

size_t EncodePortReply(const PktPortReply *r, uint8_t *buf, size_t size)
{
    if (!Begin(buf, size, PKT_PORT_REPLY_SIZE, r->hdr))
        return 0;
    PutLe16(buf + PR_ID, r->requestId);
    return PKT_PORT_REPLY_SIZE;
}

bool DecodePortReply(const void *pkt, size_t len, PktPortReply *r)
{
    Padded p(pkt, len, PKT_PORT_REPLY_SIZE);
    GetHeader(p, &r->hdr);
    r->requestId = p.U16(PR_ID);
    return p.complete;
}

// ---------------------------------------------------------------- catalogue
// Kinds of "any" length need the header up to the type byte (4 bytes).
const PktKind g_packetKinds[] = {
    {PKT_CLASS_QUEUEMAN, PKT_QM_QUEUE_STATUS_REQUEST, "QUEUE STATUS REQUEST", 30, 30},
    {PKT_CLASS_QUEUEMAN, PKT_QM_JOB_RESULT, "JOB RESULT", 26, 26},
    {PKT_CLASS_QUEUEMAN, PKT_QM_SCAN_RESULT, "SCAN RESULT", 24, 24},
    {PKT_CLASS_QUEUEMAN, PKT_QM_NEW_MESSAGE, "NEW MESSAGE", 40, 40},
    {PKT_CLASS_QUEUEMAN, PKT_QM_STATUS, "STATUS", 22, 22},
    {PKT_CLASS_QUEUEMAN, PKT_QM_REGISTER, "REGISTER", 116, 116},
    {PKT_CLASS_QUEUEMAN, PKT_QM_CONVERT_REPLY, "CONVERT REPLY", 6, 6},
    {PKT_CLASS_DEVICE, PKT_DEV_INITIALISE, "INITIALISE", 4, 424},
    {PKT_CLASS_DEVICE, PKT_DEV_STOP, "STOP", 4, 1000},
    {PKT_CLASS_DEVICE, PKT_DEV_ABORT, "ABORT", 4, 1000},
    {PKT_CLASS_DEVICE, PKT_DEV_STATUS_ENQUIRY, "STATUS ENQUIRY", 4, 1000},
    {PKT_CLASS_DEVICE, PKT_DEV_JOB, "JOB", 424, 424},
    {PKT_CLASS_DEVICE, PKT_DEV_SCAN_JOB, "SCAN JOB", 424, 424},
    {PKT_CLASS_DEVICE, PKT_DEV_OFFLINE, "OFFLINE", 16, 1000},
    {PKT_CLASS_DEVICE, PKT_DEV_ONLINE, "ONLINE", 4, 1000},
    {PKT_CLASS_DEVICE, PKT_DEV_PORT_OFFLINE, "PORT OFFLINE", 32, 1000},
    {PKT_CLASS_DEVICE, PKT_DEV_PORT_ONLINE, "PORT ONLINE", 4, 1000},
    {PKT_CLASS_CONVERTER, PKT_CV_CONVERT, "CONVERT", 134, 134},
    {PKT_CLASS_CONVERTER, PKT_CV_SHUTDOWN, "SHUTDOWN", 6, 6},
    {PKT_CLASS_CONVERTER, PKT_CV_ABORT, "ABORT", 6, 6},
    {PKT_CLASS_SYSMAN, PKT_SM_PING, "PING", 6, 6},
    {PKT_CLASS_SYSMAN, PKT_SM_CONTROLLER_STARTED, "CONTROLLER STARTED", 24, 24},
    {PKT_CLASS_SYSMAN, PKT_SM_RESTART, "RESTART", 6, 6},
    {PKT_CLASS_SYSMAN, PKT_SM_PORT_INIT, "PORT INIT", 118, 118},
    {PKT_CLASS_SYSMAN, PKT_SM_PORT_REQUEST, "PORT REQUEST", 48, 48},
    {PKT_CLASS_SUPERVISOR, PKT_SV_DEVICE_STATUS, "DEVICE STATUS", 46, 46},
    {PKT_CLASS_SUPERVISOR, PKT_SV_QUEUE_STATUS, "QUEUE STATUS", 20, 20},
    {PKT_CLASS_PORTREPLY, PKT_PR_PORT_REPLY, "PORT REPLY", 8, 8},
    {PKT_CLASS_SUBMITTER, PKT_SUB_SHUTDOWN, "SUBMITTER SHUTDOWN", 6, 6},
    {PKT_CLASS_STOPALL, PKT_ANY_TYPE, "STOP ALL", 4, 1000},
};
const size_t g_packetKindCount = sizeof g_packetKinds / sizeof g_packetKinds[0];

const PktKind *FindPacketKind(uint8_t cls, uint8_t type)
{
    for (size_t i = 0; i < g_packetKindCount; ++i) {
        const PktKind &k = g_packetKinds[i];
        if (k.cls == cls && (k.type == type || k.type == PKT_ANY_TYPE))
            return &k;
    }
    return nullptr;
}

// ---------------------------------------------------------------- readable form
namespace {

struct Out {
    char *p;
    size_t size;
    size_t used = 0;
    Out(char *out, size_t n) : p(out), size(n)
    {
        if (size)
            p[0] = '\0';
    }
    void Add(const char *fmt, ...) __attribute__((format(printf, 2, 3)))
    {
        if (used + 1 >= size)
            return;
        va_list ap;
        va_start(ap, fmt);
        int n = std::vsnprintf(p + used, size - used, fmt, ap);
        va_end(ap);
        if (n > 0)
            used += static_cast<size_t>(n) < size - used ? static_cast<size_t>(n) : size - used - 1;
    }
};

} // namespace

void DescribePacket(const void *pkt, size_t len, char *out, size_t size)
{
    if (!out || size == 0)
        return;
    Out o(out, size);
    PktHeader h;
    DecodeHeader(pkt, len, &h);
    const PktKind *k = FindPacketKind(h.cls, h.type);
    o.Add("%u/%u %s len=%u", h.cls, h.type, k ? k->name : "UNKNOWN", static_cast<unsigned>(len));
    if (h.length != len)
        o.Add(" lengthword=%u", h.length);
    if (k && (len < k->minLength || len > k->maxLength))
        o.Add(" (wrong length)");
    o.Add(" code=0x%X", h.code);
    switch (h.cls) {
    case PKT_CLASS_QUEUEMAN:
        switch (h.type) {
        case PKT_QM_QUEUE_STATUS_REQUEST: {
            PktQueueStatusRequest r;
            DecodeQueueStatusRequest(pkt, len, &r);
            o.Add(" first='%s' second='%s' value=%u", r.first, r.second, r.value);
            break;
        }
        case PKT_QM_JOB_RESULT: {
            PktJobResult r;
            DecodeJobResult(pkt, len, &r);
            o.Add(" device=%s/%u id=%u status=%u seconds=%u pages=%u", r.deviceName, r.deviceNumber,
                  r.requestId, r.statusCode, r.connectSeconds, r.pages);
            break;
        }
        case PKT_QM_SCAN_RESULT: {
            PktScanResult r;
            DecodeScanResult(pkt, len, &r);
            o.Add(" device=%s/%u id=%u status=%u value=%u", r.deviceName, r.deviceNumber, r.requestId,
                  r.statusCode, r.scanValue);
            break;
        }
        case PKT_QM_NEW_MESSAGE: {
            PktNewMessage r;
            DecodeNewMessage(pkt, len, &r);
            o.Add(" device=%s/%u user='%s' file='%s'", r.deviceName, r.deviceNumber, r.user, r.controlFile);
            break;
        }
        case PKT_QM_STATUS: {
            PktStatus r;
            DecodeStatus(pkt, len, &r);
            o.Add(" device=%s/%u status=%u page=%u", r.deviceName, r.deviceNumber, r.statusCode, r.page);
            break;
        }
        case PKT_QM_REGISTER: {
            PktRegister r;
            DecodeRegister(pkt, len, &r);
            o.Add(" device=%s/%u queue='%s' tag=%u send=0x%08X print=0x%08X", r.deviceName, r.deviceNumber,
                  r.queue, r.tag, static_cast<unsigned>(r.sendRoutes), static_cast<unsigned>(r.printRoutes));
            break;
        }
        }
        break;
    case PKT_CLASS_DEVICE:
        switch (h.type) {
        case PKT_DEV_JOB:
        case PKT_DEV_SCAN_JOB: {
            PktJob r;
            DecodeJob(pkt, len, &r);
            o.Add(" tag=%u id=%u message='%s' log=0x%08X/%u dir='%s' file1='%s'", r.tag, r.requestId,
                  r.messageName, static_cast<unsigned>(r.logValue32), r.logValue16, r.directory, r.firstFile);
            if (h.type == PKT_DEV_SCAN_JOB)
                o.Add(" scanformat=%u scanoption=%u", r.scanFormat, r.scanOption);
            else
                o.Add(" file2='%s'", r.secondFile);
            o.Add(" format=%u route=%u number='%s' sender='%s' expected='%s' flags=0x%X remote='%s' dial2='%s'"
                  " sent=%u",
                  r.format, r.route, r.number, r.sender, r.expectedId, static_cast<unsigned>(r.headerFlags),
                  r.remoteName, r.dialString2, r.pagesSent);
            break;
        }
        case PKT_DEV_OFFLINE: {
            PktOffline r;
            DecodeOffline(pkt, len, &r);
            o.Add(" tag=%u busy=%u interrupt=%u", r.tag, static_cast<unsigned>(r.busy),
                  static_cast<unsigned>(r.interrupt));
            break;
        }
        case PKT_DEV_PORT_OFFLINE: {
            PktPortOffline r;
            DecodePortOffline(pkt, len, &r);
            o.Add(" tag=%u busy=%u interrupt=%u id=%u reply='%s'", r.tag, static_cast<unsigned>(r.busy),
                  static_cast<unsigned>(r.interrupt), r.requestId, r.replyQueue);
            break;
        }
        default: {
            PktDeviceRequest r;
            DecodeDeviceRequest(pkt, len, &r);
            o.Add(" tag=%u id=%u", r.tag, r.requestId);
            break;
        }
        }
        break;
    case PKT_CLASS_CONVERTER:
        if (h.type == PKT_CV_CONVERT) {
            PktConvert r;
            DecodeConvert(pkt, len, &r);
            o.Add(" args='%s'", r.arguments);
        }
        break;
    case PKT_CLASS_SYSMAN:
        if (h.type == PKT_SM_CONTROLLER_STARTED) {
            PktControllerStarted r;
            DecodeControllerStarted(pkt, len, &r);
            o.Add(" id='%s' value=%u", r.id, static_cast<unsigned>(r.one));
        } else if (h.type == PKT_SM_PORT_INIT) {
            PktPortInit r;
            DecodePortInit(pkt, len, &r);
            o.Add(" device=%s/%u queue='%s' port='%s'", r.deviceName, r.deviceNumber, r.queue, r.port);
        } else if (h.type == PKT_SM_PORT_REQUEST) {
            PktPortRequest r;
            DecodePortRequest(pkt, len, &r);
            o.Add(" port='%s' offline=%u busy=%u interrupt=%u id=%u reply='%s'", r.port,
                  static_cast<unsigned>(r.offline), static_cast<unsigned>(r.busy),
                  static_cast<unsigned>(r.interrupt), r.requestId, r.replyQueue);
        }
        break;
    case PKT_CLASS_SUPERVISOR:
        if (h.type == PKT_SV_DEVICE_STATUS) {
            PktDeviceStatus r;
            DecodeDeviceStatus(pkt, len, &r);
            o.Add(" device=%s/%u state=%u text1='%s' text2='%s' pages=%u/%u", r.deviceName, r.deviceNumber,
                  r.state, r.text1, r.text2, r.currentPage, r.totalPages);
        } else if (h.type == PKT_SV_QUEUE_STATUS) {
            PktQueueStatus r;
            DecodeQueueStatus(pkt, len, &r);
            o.Add(" counters=%u,%u,%u,%u,%u,%u,%u", r.counters[0], r.counters[1], r.counters[2], r.counters[3],
                  r.counters[4], r.counters[5], r.counters[6]);
        }
        break;
    case PKT_CLASS_PORTREPLY:
        if (h.type == PKT_PR_PORT_REPLY) {
            PktPortReply r;
            DecodePortReply(pkt, len, &r);
            o.Add(" id=%u", r.requestId);
        }
        break;
    default:
        break;
    }
}
