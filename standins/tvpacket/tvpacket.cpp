// tvpacket: sends any packet of the server's mailslot catalogue and listens
// on a queue, printing what arrives in decoded form. For tests, and for an
// operator who wants to poke a running server.
//
//   tvpacket send <queue> <kind> [field=value ...] [len=N] [timeout=S]
//                 [listen=<queue> [wait=S] [count=N]]
//   tvpacket listen <queue> [wait=S] [count=N]
//   tvpacket kinds              the catalogue
//   tvpacket fields <kind>      the fields of one kind
//
// A kind is "class/type" in numbers or its name ("REGISTER", "port-request").
// send exits 0 when the packet was sent (and, with listen=, something
// arrived), 1 when not; listen exits 0 when a packet arrived; 2 is a usage
// error. A listener ends after count packets, after wait seconds without
// them, or on a class 99 stop.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "server/runtime/console.h"
#include "server/runtime/mailslot.h"
#include "server/runtime/packets.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/srvlog.h"
#include "standins/tvpacket/pktfields.h"

static void Usage(void)
{
    std::fprintf(stderr,
                 "usage: tvpacket send <queue> <kind> [field=value ...] [len=N] [timeout=S]\n"
                 "                     [listen=<queue> [wait=S] [count=N]]\n"
                 "       tvpacket listen <queue> [wait=S] [count=N]\n"
                 "       tvpacket kinds\n"
                 "       tvpacket fields <kind>\n"
                 "A kind is class/type (\"1/10\") or a name (\"REGISTER\", \"port-request\").\n");
}

static bool ParseCount(const char *s, unsigned long max, unsigned long *out)
{
    if (!*s || *s == '-' || *s == '+')
        return false;
    char *end = nullptr;
    unsigned long v = std::strtoul(s, &end, 0);
    if (*end || v > max)
        return false;
    *out = v;
    return true;
}

static const PfKind *KindArg(const char *text, uint8_t *type)
{
    bool ambiguous = false;
    const PfKind *k = FindPfKind(text, type, &ambiguous);
    if (!k)
        std::fprintf(stderr, "tvpacket: %s kind '%s'%s\n", ambiguous ? "ambiguous" : "unknown", text,
                     ambiguous ? " - give it as class/type" : "");
    return k;
}

static void ShowKinds(void)
{
    for (size_t i = 0; i < g_pfKindCount; ++i) {
        const PfKind &k = g_pfKinds[i];
        if (k.type == 0xFF)
            std::printf("%3u/any %-22s %4u bytes\n", k.cls, k.name, k.length);
        else
            std::printf("%3u/%-3u %-22s %4u bytes\n", k.cls, k.type, k.name, k.length);
    }
}

static void ShowFields(const PfKind *k)
{
    std::printf("%u/%u %s, sent with %u bytes\n", k->cls, k->type, k->name, k->length);
    for (const PfField *f = k->fields; f->name; ++f) {
        const char *type = f->type == PF_U16 ? "u16" : f->type == PF_U32 ? "u32" : "text";
        std::printf("  %-11s at %3u  %-4s", f->name, f->offset, type);
        if (f->type == PF_TEXT)
            std::printf(" (at most %u characters)", f->width - 1u);
        else if (f->defaultValue)
            std::printf(" (default %u)", static_cast<unsigned>(f->defaultValue));
        std::printf("\n");
    }
}

// Reads packets from an open mailslot until count have come (0: no limit),
// wait seconds pass without one, or a class 99 arrives. Returns how many came.
static unsigned long Listen(TvMailslot slot, unsigned long waitSeconds, unsigned long count)
{
    static uint8_t buf[MSG_MAX_PACKET];
    unsigned long got = 0;
    uint32_t last = RtTickMs();
    for (;;) {
        uint16_t len = 0;
        TvStatus st = MsgReadRequest(slot, buf, sizeof buf, &len);
        if (st == TV_OK) {
            char text[2048];
            DescribePacket(buf, len, text, sizeof text);
            std::printf("received %s\n", text);
            std::fflush(stdout);
            ++got;
            last = RtTickMs();
            if (buf[2] == PKT_CLASS_STOPALL || (count && got >= count))
                return got;
            continue;
        }
        if (st != 0x00E8) {
            std::fprintf(stderr, "tvpacket: error 0x%X reading the mailslot\n", st);
            return got;
        }
        if (RtTickMs() - last >= waitSeconds * 1000u)
            return got;
        RtSleepMs(50);
    }
}

static TvMailslot MakeQueue(const char *queue)
{
    TvMailslot slot = nullptr;
    TvStatus st = MsgMakePipe(queue, 0, &slot);
    if (st != TV_OK) {
        std::fprintf(stderr, "tvpacket: error 0x%X making queue %s (does another program own it?)\n", st, queue);
        return nullptr;
    }
    return slot;
}

static int CmdListen(int argc, char **argv)
{
    if (argc < 1) {
        Usage();
        return 2;
    }
    unsigned long wait = 10, count = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strncmp(argv[i], "wait=", 5) && ParseCount(argv[i] + 5, 600, &wait))
            continue;
        if (!std::strncmp(argv[i], "count=", 6) && ParseCount(argv[i] + 6, 100000, &count))
            continue;
        std::fprintf(stderr, "tvpacket: bad option '%s'\n", argv[i]);
        return 2;
    }
    TvMailslot slot = MakeQueue(argv[0]);
    if (!slot)
        return 1;
    std::printf("listening on %s\n", argv[0]);
    std::fflush(stdout);
    unsigned long got = Listen(slot, wait, count);
    MsgClosePipe(slot);
    if (!got)
        std::printf("nothing received on %s within %lu s\n", argv[0], wait);
    return got ? 0 : 1;
}

static int CmdSend(int argc, char **argv)
{
    if (argc < 2) {
        Usage();
        return 2;
    }
    const char *queue = argv[0];
    uint8_t type = 0;
    const PfKind *kind = KindArg(argv[1], &type);
    if (!kind)
        return 2;
    static uint8_t buf[MSG_MAX_PACKET];
    unsigned long length = StartPfPacket(kind, type, buf, sizeof buf);
    unsigned long timeout = 10, wait = 10, count = 1;
    const char *listenQueue = nullptr;
    for (int i = 2; i < argc; ++i) {
        char *eq = std::strchr(argv[i], '=');
        if (!eq) {
            std::fprintf(stderr, "tvpacket: '%s' is not field=value\n", argv[i]);
            return 2;
        }
        *eq = '\0';
        const char *name = argv[i], *value = eq + 1;
        bool ok = true;
        if (!std::strcmp(name, "len"))
            ok = ParseCount(value, MSG_MAX_PACKET, &length);
        else if (!std::strcmp(name, "timeout"))
            ok = ParseCount(value, 0xFFFF, &timeout);
        else if (!std::strcmp(name, "wait"))
            ok = ParseCount(value, 600, &wait);
        else if (!std::strcmp(name, "count"))
            ok = ParseCount(value, 100000, &count);
        else if (!std::strcmp(name, "listen"))
            listenQueue = value;
        else {
            const PfField *f = FindPfField(kind, name);
            if (!f) {
                std::fprintf(stderr, "tvpacket: %s has no field '%s' (see: tvpacket fields %s)\n", kind->name, name,
                             argv[1]);
                return 2;
            }
            char err[128];
            if (!SetPfField(buf, sizeof buf, f, value, err, sizeof err)) {
                std::fprintf(stderr, "tvpacket: %s\n", err);
                return 2;
            }
        }
        if (!ok) {
            std::fprintf(stderr, "tvpacket: bad value in '%s=%s'\n", name, value);
            return 2;
        }
    }

    // The answer's queue is made first so that a quick answer is not lost.
    TvMailslot slot = nullptr;
    if (listenQueue && !(slot = MakeQueue(listenQueue)))
        return 1;
    TvStatus st = MsgSendRequest(queue, static_cast<uint16_t>(timeout), buf, static_cast<uint16_t>(length), nullptr,
                                 0, nullptr);
    char text[2048];
    DescribePacket(buf, length <= sizeof buf ? length : sizeof buf, text, sizeof text);
    if (st != TV_OK) {
        std::printf("error 0x%X sending %s to %s%s\n", st, text, queue,
                    st == 0xF023 ? " (no such queue: not running)" : st == 0xF001 ? " (refused: bad argument)" : "");
        if (slot)
            MsgClosePipe(slot);
        return 1;
    }
    std::printf("sent %s to %s\n", text, queue);
    std::fflush(stdout);
    if (!slot)
        return 0;
    unsigned long got = Listen(slot, wait, count);
    MsgClosePipe(slot);
    if (!got)
        std::printf("no answer on %s within %lu s\n", listenQueue, wait);
    return got ? 0 : 1;
}

static int ToolMain(int argc, char **argv)
{
    // The tool tells every failure itself; the transport logs only what is fatal.
    LogInit(stderr, "", 6, "TVPACKET");
    if (argc < 2) {
        Usage();
        return 2;
    }
    const char *cmd = argv[1];
    if (!std::strcmp(cmd, "send"))
        return CmdSend(argc - 2, argv + 2);
    if (!std::strcmp(cmd, "listen"))
        return CmdListen(argc - 2, argv + 2);
    if (!std::strcmp(cmd, "kinds")) {
        ShowKinds();
        return 0;
    }
    if (!std::strcmp(cmd, "fields") && argc >= 3) {
        uint8_t type = 0;
        const PfKind *k = KindArg(argv[2], &type);
        if (!k)
            return 2;
        ShowFields(k);
        return 0;
    }
    Usage();
    return 2;
}

int main(int argc, char **argv) { return ConsoleMain(argc, argv, "TVPACKET", nullptr, ToolMain); }
