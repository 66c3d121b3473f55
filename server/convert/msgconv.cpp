// The message converter service. See msgconv.h.
#include "server/convert/msgconv.h"

#include <cstring>

#include "common/ctlfile.h"
#include "server/convert/raster.h"
#include "server/runtime/packets.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/srvdate.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"

ConverterService g_converter;

namespace {

// [ZOROVIZ] numbers: key, range, default, where the value goes.
struct NumberSetting {
    const char *key;
    int low, high, value;
    const char *message;
    int *target;
};

// [ZOROVIZ] flags.
struct FlagSetting {
    const char *key;
    int value;
    int *target;
};

const uint16_t kNoPacket = 0x00E8;  // nothing waiting
const uint16_t kNoPacket2 = 0x00E9;

void Reply(TvStatus result) {
    uint8_t pkt[PKT_HEADER_SIZE] = {0};
    pkt[2] = PKT_CLASS_QUEUEMAN;
    pkt[3] = PKT_QM_CONVERT_REPLY;
    pkt[4] = uint8_t(result & 0xFF);
    pkt[5] = uint8_t(result >> 8);
    TvStatus st = MsgSendRequest("QUEUEMAN", CONVERTER_QUEUEMAN_TIMEOUT, pkt, sizeof pkt, nullptr, 0, nullptr);
    if (st != TV_OK) LogMessage(5, "Error 0x%X sending reply to Queueman", st);
}

void Ignored(const char *what) {
    LogMessage(5, "%s - ignored", what);
    // Nothing is left of a bad packet once it has been read: the purge of
    // the rest of a message has nothing to do.
}

void SendStartNotice(void) {
    PktControllerStarted s;
    memset(&s, 0, sizeof s);
    s.hdr.cls = PKT_CLASS_SYSMAN;
    s.hdr.type = PKT_SM_CONTROLLER_STARTED;
    SetPacketText(s.id, sizeof s.id, CONVERTER_ID);
    s.one = 1;
    uint8_t buf[PKT_CONTROLLER_STARTED_SIZE];
    size_t n = EncodeControllerStarted(&s, buf, sizeof buf);
    TvStatus st = MsgSendRequest("SYSMAN", CONVERTER_SYSMAN_TIMEOUT, buf, uint16_t(n), nullptr, 0, nullptr);
    if (st != TV_OK) LogMessage(4, "Error 0x%X sending start notice to SYSMAN", st);
}

} // namespace

void SplitConvertArgs(const uint8_t *packet, uint16_t length, ConvertArgs *out) {
    memset(out, 0, sizeof *out);
    snprintf(out->text[0], sizeof out->text[0], "%s", CONVERTER_ID);
    out->count = 1;
    int end = length < int(CONVERT_TEXT_END) ? int(length) : int(CONVERT_TEXT_END);
    int i = CONVERT_TEXT_OFFSET;
    while (out->count < CONV_MAX_ARGS) {
        while (i < end && packet[i] == ' ') i++;
        if (i >= end || packet[i] == 0) break;
        int n = 0;
        char *word = out->text[out->count];
        while (i < end && packet[i] != 0 && packet[i] != ' ') {
            if (n < CONV_ARG_MAX) word[n++] = char(packet[i]);
            i++;
        }
        word[n] = 0;
        out->count++;
    }
    for (int k = 0; k < out->count; k++) out->argv[k] = out->text[k];
    out->argv[out->count] = nullptr;
}

void ReadConverterSettings(FILE *setupIni) {
    ConvDefaultSettings();
    if (!setupIni) return;
    char line[TV_LINE_SIZE];
    int32_t pos;
    char value[TV_LINE_SIZE];
    fseek(setupIni, 0, SEEK_SET);
    if (FindParagraph(setupIni, "[OPTIONS]", line, sizeof line, &pos)) {
        if (GetStringEntry(setupIni, "DateFormatLong:", value, sizeof value, pos)) {
            if (value[0])
                snprintf(g_convSettings.longPicture, sizeof g_convSettings.longPicture, "%s", value);
            else
                DefaultDatePicture(g_convSettings.longPicture, sizeof g_convSettings.longPicture, false);
        }
        if (GetStringEntry(setupIni, "DateFormatShort:", value, sizeof value, pos) && value[0])
            snprintf(g_convSettings.shortPicture, sizeof g_convSettings.shortPicture, "%s", value);
    }
    if (!g_convSettings.shortPicture[0])
        DefaultDatePicture(g_convSettings.shortPicture, sizeof g_convSettings.shortPicture, true);

    NumberSetting numbers[] = {
        {"AsciiTopMargin:", 0, 15, 4, "[ZOROVIZ] AsciiTopMargin: value out of range", &g_rasterSettings.asciiTopMargin},
        {"AsciiBottomMargin:", 0, 15, 2, "[ZOROVIZ] AsciiBottomMargin: value out of range",
         &g_rasterSettings.asciiBottomMargin},
        {"AsciiFormLength:", 40, 100, 72, "[ZOROVIZ] AsciiFormLength: value out of range",
         &g_rasterSettings.asciiFormLength},
        {"DelayInterval:", 0, 10000, 200, "[ZOROVIZ] DelayInterval: value out of range", &g_convSettings.delayInterval},
        {"DelayTime:", 0, 10000, 100, "[ZOROVIZ] DelayTime: value out of range", &g_convSettings.delayTime},
    };
    FlagSetting flags[] = {
        {"RemoveDither:", 0, &g_convSettings.removeDither},
        {"EpsonRHMargin:", 0, &g_rasterSettings.epsonRHMargin},
        {"ExtendedChars:", 1, &g_rasterSettings.extendedChars},
        {"DOSPound:", 0, &g_rasterSettings.dosPound},
    };
    for (NumberSetting &n : numbers) *n.target = n.value;
    for (FlagSetting &f : flags) *f.target = f.value;
    fseek(setupIni, 0, SEEK_SET);
    if (!FindParagraph(setupIni, "[ZOROVIZ]", line, sizeof line, &pos)) return;
    for (NumberSetting &n : numbers) {
        int16_t v;
        if (!GetIntEntry(setupIni, n.key, &v, pos)) continue;
        if (v < n.low || v > n.high)
            LogMessage(5, "%s", n.message);
        else
            *n.target = v;
    }
    for (FlagSetting &f : flags) {
        int32_t v;
        if (GetBoolEntry(setupIni, f.key, &v, pos)) *f.target = v ? 1 : 0;
    }
}

void HandleConverterPacket(uint8_t *packet, uint16_t length, int inJob) {
    if (length >= 4 && packet[2] == PKT_CLASS_STOPALL) { // the general stop: a SHUTDOWN
        packet[2] = PKT_CLASS_CONVERTER;
        packet[3] = PKT_CV_SHUTDOWN;
        length = PKT_HEADER_SIZE;
    }
    if (length <= 5 || packet[2] != PKT_CLASS_CONVERTER) {
        Ignored("Invalid packet received");
        return;
    }
    switch (packet[3]) {
    case PKT_CV_CONVERT: {
        if (length != PKT_CONVERT_SIZE) {
            Ignored("Invalid convert packet received");
            return;
        }
        if (inJob) {
            Ignored("Convert request received while in job");
            return;
        }
        g_converter.abort = 0;
        ConvertArgs args;
        SplitConvertArgs(packet, length, &args);
        TvStatus result = RunConversion(args.count, args.argv);
        Reply(result);
        return;
    }
    case PKT_CV_SHUTDOWN:
        if (length != PKT_HEADER_SIZE) {
            Ignored("Invalid shutdown packet received");
            return;
        }
        g_converter.abort = 1;
        g_converter.shutdown = 1;
        return;
    case PKT_CV_ABORT:
        if (length != PKT_HEADER_SIZE) {
            Ignored("Invalid abort packet received");
            return;
        }
        LogMessage(3, "Conversion aborted");
        g_converter.abort = 1;
        return;
    default:
        Ignored("Invalid packet type received");
        return;
    }
}

void ServiceRequests(int inJob) {
    if (!g_converter.hasSlot) return;
    static uint8_t buffers[2][MSG_MAX_PACKET]; // one for the loop, one for a poll inside a conversion
    uint8_t *buf = buffers[inJob ? 1 : 0];
    for (;;) {
        uint16_t length = 0;
        TvStatus st = MsgReadRequest(g_converter.slot, buf, MSG_MAX_PACKET, &length);
        if (st == kNoPacket || st == kNoPacket2) return;
        if (st != TV_OK) {
            LogMessage(5, "Error 0x%X getting request packet", st);
            return;
        }
        HandleConverterPacket(buf, length, inJob);
    }
}

int PollRequests(void) {
    ServiceRequests(1);
    return g_converter.abort;
}

int ConverterMain(int argc, char **argv) {
    LogInit(stdout, nullptr, 3, CONVERTER_ID);
    FILE *setup = nullptr;
    if (ReadSystemParameters(&setup) != TV_OK) {
        LogMessage(5, "Error reading TAVRINE.INI parameters");
        return 1;
    }
    LogInit(stdout, g_sysParams.logFile, 3, CONVERTER_ID);
    ReadConverterSettings(setup);
    if (setup) fclose(setup);

    memset(&g_converter, 0, sizeof g_converter);
    ConvSetPollHook(PollRequests);
    bool headerMode = argc > 1 && strcmp(argv[1], "*") == 0;
    if (!headerMode) {
        LogMessage(3, "TIFF message file converter - Version %s", CONVERTER_VERSION);
        TvStatus st = MsgMakePipe(CONVERTER_ID, 0, &g_converter.slot);
        if (st != TV_OK) {
            LogMessage(6, "Error 0x%X creating message pipe", st);
            return 1;
        }
        g_converter.hasSlot = 1;
    }
    if (argc > 1) return RunConversion(argc, argv);

    SendStartNotice();
    for (;;) {
        ServiceRequests(0);
        if (g_converter.shutdown) break;
        SleepYield(CONVERTER_LOOP_MS);
        if (g_converter.shutdown) break;
    }
    LogMessage(3, "Program closing down");
    return 0;
}
