// Fuzz target for what a server program takes from other processes and
// files: received packets (every decoder, the readable form and the mailslot
// read loop) and date pictures.
//
// Input: one selector byte, then the bytes. Selector even: the bytes are a
// packet; odd: a date picture.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "server/runtime/mailslot.h"
#include "server/runtime/packets.h"
#include "server/runtime/srvdate.h"
#include "server/runtime/srvlog.h"

namespace {

void Check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "packets_fuzz: check failed: %s\n", what);
        std::abort();
    }
}

// Every text field of a decoded record is terminated inside the field.
#define TERMINATED(rec, field) Check(std::memchr((rec).field, 0, sizeof (rec).field) != nullptr, #field)

// Decoding, encoding and decoding again gives the same record bytes.
template <class R>
void RoundTrip(const uint8_t *data, size_t size, bool (*dec)(const void *, size_t, R *),
               size_t (*enc)(const R *, uint8_t *, size_t), R *first)
{
    dec(data, size, first);
    uint8_t wire[1000];
    size_t n = enc(first, wire, sizeof wire);
    Check(n > 0, "encode");
    R second;
    Check(dec(wire, n, &second), "a re-encoded packet is complete");
    uint8_t again[1000];
    Check(enc(&second, again, sizeof again) == n, "re-encoded length");
    Check(std::memcmp(wire, again, n) == 0, "re-encoded bytes");
}

void Packets(const uint8_t *data, size_t size)
{
    char text[300];
    DescribePacket(data, size, text, sizeof text);
    Check(std::strlen(text) < sizeof text, "readable form bounded");

    PktJob job;
    RoundTrip(data, size, DecodeJob, EncodeJob, &job);
    TERMINATED(job, messageName);
    TERMINATED(job, directory);
    TERMINATED(job, firstFile);
    TERMINATED(job, secondFile);
    TERMINATED(job, number);
    TERMINATED(job, sender);
    TERMINATED(job, expectedId);
    TERMINATED(job, remoteName);
    TERMINATED(job, dialString2);
    PktRegister reg;
    RoundTrip(data, size, DecodeRegister, EncodeRegister, &reg);
    TERMINATED(reg, deviceName);
    TERMINATED(reg, queue);
    PktPortInit pi;
    RoundTrip(data, size, DecodePortInit, EncodePortInit, &pi);
    TERMINATED(pi, queue);
    TERMINATED(pi, port);
    PktPortRequest pq;
    RoundTrip(data, size, DecodePortRequest, EncodePortRequest, &pq);
    TERMINATED(pq, port);
    TERMINATED(pq, replyQueue);
    PktPortOffline po;
    RoundTrip(data, size, DecodePortOffline, EncodePortOffline, &po);
    TERMINATED(po, replyQueue);
    PktNewMessage nm;
    RoundTrip(data, size, DecodeNewMessage, EncodeNewMessage, &nm);
    TERMINATED(nm, user);
    TERMINATED(nm, controlFile);
    PktDeviceStatus ds;
    RoundTrip(data, size, DecodeDeviceStatus, EncodeDeviceStatus, &ds);
    TERMINATED(ds, text1);
    TERMINATED(ds, text2);
    PktControllerStarted cs;
    RoundTrip(data, size, DecodeControllerStarted, EncodeControllerStarted, &cs);
    TERMINATED(cs, id);
    PktConvert cv;
    RoundTrip(data, size, DecodeConvert, EncodeConvert, &cv);
    TERMINATED(cv, arguments);
    PktQueueStatusRequest qr;
    RoundTrip(data, size, DecodeQueueStatusRequest, EncodeQueueStatusRequest, &qr);
    PktJobResult jr;
    RoundTrip(data, size, DecodeJobResult, EncodeJobResult, &jr);
    PktScanResult sr;
    RoundTrip(data, size, DecodeScanResult, EncodeScanResult, &sr);
    PktStatus st;
    RoundTrip(data, size, DecodeStatus, EncodeStatus, &st);
    PktDeviceRequest dr;
    RoundTrip(data, size, DecodeDeviceRequest, EncodeDeviceRequest, &dr);
    PktOffline of;
    RoundTrip(data, size, DecodeOffline, EncodeOffline, &of);
    PktQueueStatus qs;
    RoundTrip(data, size, DecodeQueueStatus, EncodeQueueStatus, &qs);
    PktPortReply rp;
    RoundTrip(data, size, DecodePortReply, EncodePortReply, &rp);

    // Through a mailslot into a job-sized buffer: either dropped or taken
    // whole with a matching length word, never more than the buffer.
    static TvMailslot slot = nullptr;
    if (!slot) {
        LogInit(nullptr, "", 7, "FUZZ");
        Check(MsgMakePipe("FUZZ", 0, &slot) == TV_OK, "make mailslot");
    }
    char path[MSG_PATH_SIZE];
    MsgMailslotPath("FUZZ", path, sizeof path);
    void *w = nullptr;
    uint32_t error = 0, written = 0;
    Check(PlatMsOpenWrite(path, &w, &error) == MS_OPEN_OK, "open writer");
    PlatMsWrite(w, data, static_cast<uint32_t>(size), &written, &error);
    PlatMsCloseWrite(w);
    uint8_t buf[PKT_JOB_SIZE];
    uint16_t len = 0;
    TvStatus s = MsgReadRequest(slot, buf, sizeof buf, &len);
    if (s == TV_OK) {
        Check(len == size && len <= sizeof buf, "packet taken whole");
        Check(buf[0] == (len & 0xFF) && buf[1] == (len >> 8), "length word");
    } else {
        Check(s == TV_S_NO_MESSAGE, "bad packet dropped");
    }
}

void Picture(const uint8_t *data, size_t size)
{
    std::string picture(reinterpret_cast<const char *>(data), size);
    picture = picture.c_str();
    char out[40];
    Check(FormatDateByPicture(picture.c_str(), out, sizeof out, 1999, 3, 7, 8, 9, 10) == 1, "valid date");
    size_t n = std::strlen(out);
    Check(n < sizeof out, "output bounded");
    Check(n == 0 || out[n - 1] != ' ', "no trailing blank");
    Check(n == 0 || !(out[0] == ' ' || out[0] == '/' || out[0] == ',' || out[0] == '-' || out[0] == '\''),
          "no leading blank or punctuation");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    if (data[0] & 1)
        Picture(data + 1, size - 1);
    else
        Packets(data + 1, size - 1);
    return 0;
}
