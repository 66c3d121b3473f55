// A scripted in-memory device behind the lower layer's operation table, for
// driving the controller framework without hardware.
//
// Each operation takes its next result from its own script queue (the
// default result once the queue is empty) and is written to the call log.
// Sending records the coded bytes per page; receiving plays scripted pages.
#ifndef TAVRINE_TESTS_SERVER_DEVICE_FAKELAYER_H
#define TAVRINE_TESTS_SERVER_DEVICE_FAKELAYER_H

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "server/device/lowerlayer.h"

enum FakeOp {
    FAKE_INITIALISE,
    FAKE_POLL,
    FAKE_CHECK,
    FAKE_RECOVERY,
    FAKE_READY,
    FAKE_MAKE_CONNECTION,
    FAKE_WAIT_CONNECT,
    FAKE_CANCEL,
    FAKE_FINISH_WAIT,
    FAKE_SET_OFFLINE,
    FAKE_CHECK_ADF_OFFLINE,
    FAKE_SET_ONLINE,
    FAKE_DOC_ON_ADF,
    FAKE_SEND_BLOCK,
    FAKE_OP_COUNT
};

struct FakeRxPage {
    std::vector<unsigned char> data;
};

struct FakeDevice {
    std::string typeName = "FCLASS";
    std::deque<uint16_t> script[FAKE_OP_COUNT];
    uint16_t defaults[FAKE_OP_COUNT] = {};
    std::vector<std::string> calls;             // operation names in call order
    // Called on every operation with its name, before the result is taken
    // (tests queue packets here, e.g. an ABORT while a page goes out).
    std::function<void(const std::string &)> onCall;

    // Connection.
    std::string remoteId = "  REMOTE 1";
    uint16_t pageFormat = 5;
    std::vector<DevConnectRequest> connects;
    std::vector<std::string> numbers;

    // Sending: bytes per page as the framework handed them, and the kinds.
    std::vector<std::vector<unsigned char>> sentPages;
    std::vector<unsigned char> currentPage;
    std::vector<uint16_t> endKinds;
    int failSendAtPage = 0;                     // 1-based page whose end fails
    uint16_t failSendResult = DEV_FAX_ERROR;

    // Receiving.
    std::vector<FakeRxPage> rxPages;
    int rxDropInPage = 0;                       // 1-based page during which the call drops
    uint16_t rxDropResult = DEV_FAX_ERROR;
    size_t rxPage = 0, rxOffset = 0;
    int rxDropped = 0;
    std::string rxDtmf, rxSubAddr, rxCli;       // routing data reported at connect

    std::string report;                         // last status report printed

    // Header renderer: real (framework's) or none.
    bool realHeader = false;

    uint16_t ringsToAnswer = 1;
    int32_t ringWindowMs = 0;
    uint16_t readIniResult = 0;

    int count(const std::string &op) const;
};

extern FakeDevice *g_fake;
extern const DevLowerLayer FakeLowerLayer;

// Starts a fresh fake device (and makes it g_fake).
FakeDevice &FakeStart();

#endif
