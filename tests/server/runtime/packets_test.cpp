// Packet records: every kind of the catalogue encoded, checked at its wire
// offsets, decoded and encoded again; short packets and unterminated texts.
#include "server/runtime/packets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/lebytes.h"

namespace {

struct Num {
    size_t off;
    int width;      // 1, 2 or 4
    uint32_t value;
};
struct Text {
    size_t off;
    const char *text;   // followed on the wire by a zero
};

struct Row {
    const char *name;
    uint8_t cls, type;
    size_t size;
    std::function<size_t(uint8_t *, size_t)> encode;
    // decodes a received packet and encodes the record again
    std::function<size_t(const uint8_t *, size_t, uint8_t *, size_t)> roundTrip;
    std::vector<Num> nums;
    std::vector<Text> texts;
};

template <class R>
Row MakeRow(const char *name, size_t size, const R &rec, size_t (*enc)(const R *, uint8_t *, size_t),
            bool (*dec)(const void *, size_t, R *), std::vector<Num> nums, std::vector<Text> texts)
{
    Row row{name, rec.hdr.cls, rec.hdr.type, size, nullptr, nullptr, nums, texts};
    row.encode = [rec, enc](uint8_t *buf, size_t n) { return enc(&rec, buf, n); };
    row.roundTrip = [enc, dec](const uint8_t *in, size_t len, uint8_t *out, size_t n) {
        R r;
        std::memset(&r, 0x5A, sizeof r);
        EXPECT_TRUE(dec(in, len, &r));
        return enc(&r, out, n);
    };
    return row;
}

PktHeader H(uint8_t cls, uint8_t type, uint16_t code = 0) { return PktHeader{0, cls, type, code}; }

std::vector<Row> Catalogue()
{
    std::vector<Row> rows;
    {
        PktQueueStatusRequest r{H(1, 4), "", "", 3};
        rows.push_back(MakeRow("1/4", 30, r, EncodeQueueStatusRequest, DecodeQueueStatusRequest,
                               {{28, 2, 3}, {6, 1, 0}, {15, 1, 0}}, {}));
    }
    {
        PktJobResult r{H(1, 6, 0xF10A), "FCLASS", 1, 77, 7, 95, 4};
        rows.push_back(MakeRow("1/6", 26, r, EncodeJobResult, DecodeJobResult,
                               {{4, 2, 0xF10A}, {16, 2, 1}, {18, 2, 77}, {20, 2, 7}, {22, 2, 95}, {24, 2, 4}},
                               {{6, "FCLASS"}}));
    }
    {
        PktScanResult r{H(1, 7, 0xF108), "PANAFAX", 2, 9, 1, 0x1234};
        rows.push_back(MakeRow("1/7", 24, r, EncodeScanResult, DecodeScanResult,
                               {{4, 2, 0xF108}, {16, 2, 2}, {18, 2, 9}, {20, 2, 1}, {22, 2, 0x1234}},
                               {{6, "PANAFAX"}}));
    }
    {
        PktNewMessage r{H(1, 8), "FCLASS", 3, "JSMITH", "R0000123.CTL"};
        rows.push_back(MakeRow("1/8", 40, r, EncodeNewMessage, DecodeNewMessage, {{16, 2, 3}},
                               {{18, "JSMITH"}, {27, "R0000123.CTL"}}));
    }
    {
        PktStatus r{H(1, 9), "FCLASS", 1, 7, 3};
        rows.push_back(MakeRow("1/9", 22, r, EncodeStatus, DecodeStatus, {{18, 2, 7}, {20, 2, 3}}, {{6, "FCLASS"}}));
    }
    {
        PktRegister r{H(1, 10), "FCLASS", 1, "FCLASS\\1", 0xBEEF, 0xC000000Cu, 0x00070000u};
        rows.push_back(MakeRow("1/10", 116, r, EncodeRegister, DecodeRegister,
                               {{104, 2, 0xBEEF}, {106, 2, 0}, {108, 4, 0xC000000Cu}, {112, 4, 0x00070000u}},
                               {{6, "FCLASS"}, {18, "FCLASS\\1"}}));
    }
    {
        PktDeviceRequest r{H(2, 2), 0xBEEF, 12};
        rows.push_back(MakeRow("2/2", 10, r, EncodeDeviceRequest, DecodeDeviceRequest, {{6, 2, 0xBEEF}, {8, 2, 12}},
                               {}));
    }
    {
        PktDeviceRequest r{H(2, 10), 0, 42};
        rows.push_back(MakeRow("2/10", 10, r, EncodeDeviceRequest, DecodeDeviceRequest, {{6, 2, 0}, {8, 2, 42}},
                               {}));
    }
    {
        PktJob r;
        std::memset(&r, 0, sizeof r);
        r.hdr = H(2, 5);
        r.tag = 0xBEEF;
        r.requestId = 501;
        SetPacketText(r.messageName, sizeof r.messageName, "M0000042");
        r.logValue32 = 0x12345678;
        r.logValue16 = 0x9ABC;
        SetPacketText(r.directory, sizeof r.directory, "\\\\SRV\\USERS\\JSMITH\\OUT\\");
        SetPacketText(r.firstFile, sizeof r.firstFile, "M0000042.G3F");
        SetPacketText(r.secondFile, sizeof r.secondFile, "C0000042.G3F");
        r.format = 6;
        r.route = 3;
        SetPacketText(r.number, sizeof r.number, "9,0123456789");
        SetPacketText(r.sender, sizeof r.sender, "Accounts");
        SetPacketText(r.expectedId, sizeof r.expectedId, "+44 123");
        r.headerFlags = 0x80000001u;
        SetPacketText(r.remoteName, sizeof r.remoteName, "Acme Ltd");
        SetPacketText(r.dialString2, sizeof r.dialString2, "W");
        r.pagesSent = 2;
        rows.push_back(MakeRow("2/5", 424, r, EncodeJob, DecodeJob,
                               {{6, 2, 0xBEEF}, {8, 2, 501}, {20, 4, 0x12345678}, {24, 2, 0x9ABC}, {116, 2, 6},
                                {118, 2, 3}, {264, 4, 0x80000001u}, {422, 2, 2}, {268, 4, 0}, {339, 4, 0}},
                               {{10, "M0000042"}, {26, "\\\\SRV\\USERS\\JSMITH\\OUT\\"}, {90, "M0000042.G3F"},
                                {103, "C0000042.G3F"}, {120, "9,0123456789"}, {192, "Accounts"}, {223, "+44 123"},
                                {309, "Acme Ltd"}, {381, "W"}}));
        PktJob s = r;
        s.hdr = H(2, 6);
        s.secondFile[0] = '\0';
        s.scanFormat = 6;
        s.scanOption = 0x0102;
        rows.push_back(MakeRow("2/6", 424, s, EncodeJob, DecodeJob, {{103, 1, 0}, {104, 2, 6}, {106, 2, 0x0102}},
                               {{90, "M0000042.G3F"}}));
    }
    {
        PktOffline r{H(2, 7), 0, 1, 1};
        rows.push_back(MakeRow("2/7", 16, r, EncodeOffline, DecodeOffline, {{6, 2, 0}, {8, 4, 1}, {12, 4, 1}}, {}));
    }
    {
        PktPortOffline r{H(2, 9), 0, 0, 1, 7, "TVCTL\\1"};
        rows.push_back(MakeRow("2/9", 32, r, EncodePortOffline, DecodePortOffline,
                               {{8, 4, 0}, {12, 4, 1}, {16, 2, 7}}, {{18, "TVCTL\\1"}}));
    }
    {
        PktConvert r{H(5, 1), "JSMITH M0000042 TXT G3F 1 4711"};
        rows.push_back(MakeRow("5/1", 134, r, EncodeConvert, DecodeConvert, {}, {{6, "JSMITH M0000042 TXT G3F 1 4711"}}));
    }
    {
        PktControllerStarted r{H(6, 3), "FCLASS-1", 1};
        rows.push_back(MakeRow("6/3", 24, r, EncodeControllerStarted, DecodeControllerStarted, {{20, 4, 1}, {16, 1, 0}},
                               {{6, "FCLASS-1"}}));
    }
    {
        PktPortInit r{H(6, 5), "FCLASS", 1, "FCLASS\\1", "COM7"};
        rows.push_back(MakeRow("6/5", 118, r, EncodePortInit, DecodePortInit, {{16, 2, 1}, {117, 1, 0}},
                               {{18, "FCLASS\\1"}, {104, "COM7"}}));
    }
    {
        PktPortRequest r{H(6, 6), "COM7", 1, 0, 0, 9, "TVCTL\\3"};
        rows.push_back(MakeRow("6/6", 48, r, EncodePortRequest, DecodePortRequest,
                               {{20, 4, 1}, {24, 4, 0}, {28, 4, 0}, {32, 2, 9}, {44, 1, 0}},
                               {{6, "COM7"}, {34, "TVCTL\\3"}}));
    }
    {
        PktDeviceStatus r{H(7, 1), "FCLASS", 1, 7, "Sending", "+44 1234", 5, 2};
        rows.push_back(MakeRow("7/1", 46, r, EncodeDeviceStatus, DecodeDeviceStatus,
                               {{16, 2, 1}, {18, 2, 7}, {42, 2, 5}, {44, 2, 2}},
                               {{6, "FCLASS"}, {20, "Sending"}, {29, "+44 1234"}}));
    }
    {
        PktQueueStatus r{H(7, 2), {1, 2, 3, 4, 5, 6, 7}};
        rows.push_back(MakeRow("7/2", 20, r, EncodeQueueStatus, DecodeQueueStatus,
                               {{6, 2, 1}, {10, 2, 3}, {18, 2, 7}}, {}));
    }
    {
        PktPortReply r{H(8, 1, 0xF102), 9};
        rows.push_back(MakeRow("8/1", 8, r, EncodePortReply, DecodePortReply, {{4, 2, 0xF102}, {6, 2, 9}}, {}));
    }
    return rows;
}

TEST(Packets, EveryKindEncodesAtItsOffsetsAndRoundTrips)
{
    for (const Row &row : Catalogue()) {
        SCOPED_TRACE(row.name);
        uint8_t wire[1000];
        std::memset(wire, 0xEE, sizeof wire);
        ASSERT_EQ(row.encode(wire, sizeof wire), row.size);
        EXPECT_EQ(GetLe16(wire), row.size);
        EXPECT_EQ(wire[2], row.cls);
        EXPECT_EQ(wire[3], row.type);
        EXPECT_EQ(wire[row.size], 0xEE) << "wrote past the record";
        for (const Num &n : row.nums) {
            uint32_t v = n.width == 1 ? wire[n.off] : n.width == 2 ? GetLe16(wire + n.off) : GetLe32(wire + n.off);
            EXPECT_EQ(v, n.value) << "at offset " << n.off;
        }
        for (const Text &t : row.texts) {
            size_t len = std::strlen(t.text);
            EXPECT_EQ(std::string(reinterpret_cast<char *>(wire + t.off), len), t.text) << "at offset " << t.off;
            EXPECT_EQ(wire[t.off + len], 0) << "after the text at " << t.off;
        }
        // The catalogue accepts the length the encoder writes.
        const PktKind *kind = FindPacketKind(row.cls, row.type);
        ASSERT_NE(kind, nullptr);
        EXPECT_GE(row.size, kind->minLength);
        EXPECT_LE(row.size, kind->maxLength);

        uint8_t again[1000];
        std::memset(again, 0xEE, sizeof again);
        ASSERT_EQ(row.roundTrip(wire, row.size, again, sizeof again), row.size);
        EXPECT_EQ(0, std::memcmp(wire, again, row.size));

        // A buffer one byte short is refused, untouched.
        uint8_t small[1000];
        std::memset(small, 0xEE, sizeof small);
        EXPECT_EQ(row.encode(small, row.size - 1), 0u);
        EXPECT_EQ(small[0], 0xEE);
    }
}

TEST(Packets, FieldsPastTheEndReadAsZero)
{
    PktRegister r{PktHeader{0, 1, 10, 0}, "FCLASS", 1, "FCLASS\\1", 0xBEEF, 0xC000000Cu, 7};
    uint8_t wire[PKT_REGISTER_SIZE];
    ASSERT_EQ(EncodeRegister(&r, wire, sizeof wire), PKT_REGISTER_SIZE);
    PktRegister d;
    std::memset(&d, 0x5A, sizeof d);
    EXPECT_FALSE(DecodeRegister(wire, 106, &d));   // ends before the masks
    EXPECT_EQ(d.tag, 0xBEEF);
    EXPECT_EQ(d.sendRoutes, 0u);
    EXPECT_EQ(d.printRoutes, 0u);

    // A PORT ONLINE of 8 bytes carries no identifier: 0, "any".
    uint8_t online[8] = {8, 0, 2, 10, 0, 0, 0x34, 0x12};
    PktDeviceRequest q;
    std::memset(&q, 0x5A, sizeof q);
    EXPECT_FALSE(DecodeDeviceRequest(online, sizeof online, &q));
    EXPECT_EQ(q.tag, 0x1234);
    EXPECT_EQ(q.requestId, 0);

    // A header cut short: the missing bytes are 0.
    PktHeader h;
    EXPECT_FALSE(DecodeHeader(online, 3, &h));
    EXPECT_EQ(h.length, 8);
    EXPECT_EQ(h.cls, 2);
    EXPECT_EQ(h.type, 0);
    EXPECT_EQ(h.code, 0);
}

TEST(Packets, TextFieldsAreBoundedBothWays)
{
    // Received: a name field full of letters, no zero, and more letters after.
    uint8_t wire[PKT_NEW_MESSAGE_SIZE];
    std::memset(wire, 'A', sizeof wire);
    PutLe16(wire, sizeof wire);
    wire[2] = 1;
    wire[3] = 8;
    PktNewMessage m;
    DecodeNewMessage(wire, sizeof wire, &m);
    EXPECT_EQ(std::string(m.deviceName), std::string(9, 'A'));
    EXPECT_EQ(std::string(m.user), std::string(8, 'A'));
    EXPECT_EQ(std::string(m.controlFile), std::string(12, 'A'));

    // Sent: an over-long ID is cut to 10 so that byte 16 stays 0; an 11-char
    // port name... of 13 characters is cut to 12, byte 18 stays 0.
    PktControllerStarted s{PktHeader{0, 6, 3, 0}, "", 1};
    std::memcpy(s.id, "ZOROVIZ-LONGX", sizeof s.id); // no terminator in the record
    uint8_t cs[PKT_CONTROLLER_STARTED_SIZE];
    ASSERT_EQ(EncodeControllerStarted(&s, cs, sizeof cs), PKT_CONTROLLER_STARTED_SIZE);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(cs + 6)), "ZOROVIZ-LO");
    EXPECT_EQ(cs[16], 0);

    PktPortRequest p{PktHeader{0, 6, 6, 0}, "", 1, 0, 0, 1, ""};
    SetPacketText(p.port, sizeof p.port, "COM1234567890123");
    SetPacketText(p.replyQueue, sizeof p.replyQueue, "TVCTL\\123456789");
    uint8_t pq[PKT_PORT_REQUEST_SIZE];
    ASSERT_EQ(EncodePortRequest(&p, pq, sizeof pq), PKT_PORT_REQUEST_SIZE);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(pq + 6)), "COM123456789");
    EXPECT_EQ(pq[18], 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(pq + 34)), "TVCTL\\1234");
    EXPECT_EQ(pq[44], 0);
}

TEST(Packets, CatalogueAndReadableForm)
{
    EXPECT_STREQ(FindPacketKind(99, 0)->name, "STOP ALL");
    EXPECT_STREQ(FindPacketKind(99, 200)->name, "STOP ALL");
    EXPECT_EQ(FindPacketKind(1, 5), nullptr);
    EXPECT_EQ(FindPacketKind(3, 1), nullptr);
    EXPECT_EQ(FindPacketKind(5, 1)->minLength, 134);
    EXPECT_EQ(FindPacketKind(5, 1)->maxLength, 134);

    PktRegister r{PktHeader{0, 1, 10, 0}, "FCLASS", 1, "FCLASS\\1", 17, 0x4000000Cu, 0};
    uint8_t wire[PKT_REGISTER_SIZE];
    EncodeRegister(&r, wire, sizeof wire);
    char text[400];
    DescribePacket(wire, sizeof wire, text, sizeof text);
    EXPECT_STREQ(text, "1/10 REGISTER len=116 code=0x0 device=FCLASS/1 queue='FCLASS\\1' tag=17 "
                       "send=0x4000000C print=0x00000000");

    // A short STATUS shows its wrong length and its length word.
    PktStatus st{PktHeader{0, 1, 9, 0}, "FCLASS", 2, 7, 1};
    uint8_t sw[PKT_STATUS_SIZE];
    EncodeStatus(&st, sw, sizeof sw);
    DescribePacket(sw, 20, text, sizeof text);
    EXPECT_STREQ(text, "1/9 STATUS len=20 lengthword=22 (wrong length) code=0x0 device=FCLASS/2 status=7 page=0");

    // Cut to the buffer.
    char tiny[8];
    DescribePacket(wire, sizeof wire, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "1/10 RE");
}

} // namespace
