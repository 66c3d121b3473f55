// Speed of the client's message store on a large store (optimised, no
// sanitizers; not a test).
//
//   storebench [--detail] [work folder]
//
// Builds a user's directories under the work folder (default under /tmp):
// 10,000 received messages in the receive MSGDIR.CTL, 2,000 outgoing ones in
// the send MSGDIR.CTL and 10,000 filed documents (the files and their
// TAVRINE.DIR), the lists in time mode as under Wine. Then measures, the
// fastest of several runs each:
//   store fill 22000 ms=...        first fill of the three lists into empty
//                                  stores (fake list boxes)
//   store unchanged ms=...         the periodic change test of NEW and
//                                  WAITING on unchanged files
//   store refresh-one ms=...       change test and NEW rebuild after one
//                                  entry was appended and one status changed
//   store read-only ms=... ratio=  reading and splitting the three files'
//                                  lines once; ratio = fill / read-only
// With --detail a fifth line gives the read-only pass over the receive file
// alone, the yardstick of refresh-one.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "client/store/msgdir.h"
#include "client/store/msglist.h"
#include "client/store/storefile.h"
#include "client/store/storehooks.h"
#include "common/ctlfile.h"

namespace {

const int kReceived = 10000;
const int kWaiting = 2000;
const int kFiled = 10000;
const int kRuns = 5;

// A list box that appends: item data in a vector.
struct Box {
    std::vector<intptr_t> items;
    ListView view;
};
int Add(void* c, intptr_t slot)
{
    Box* b = static_cast<Box*>(c);
    b->items.push_back(slot);
    return static_cast<int>(b->items.size() - 1);
}
bool Del(void* c, int i)
{
    Box* b = static_cast<Box*>(c);
    if (i < 0 || i >= static_cast<int>(b->items.size()))
        return false;
    b->items.erase(b->items.begin() + i);
    return true;
}
void Reset(void* c) { static_cast<Box*>(c)->items.clear(); }
int Count(void* c) { return static_cast<int>(static_cast<Box*>(c)->items.size()); }
intptr_t Data(void* c, int i)
{
    Box* b = static_cast<Box*>(c);
    return i >= 0 && i < static_cast<int>(b->items.size()) ? b->items[i] : TV_LB_ERR;
}
bool SetData(void* c, int i, intptr_t d)
{
    Box* b = static_cast<Box*>(c);
    if (i < 0 || i >= static_cast<int>(b->items.size()))
        return false;
    b->items[i] = d;
    return true;
}
void Nothing(void*) {}
void Redraw(void*, bool) {}
int Selected(void*) { return -1; }

Box g_boxes[3];

void Die(const char* what)
{
    std::fprintf(stderr, "storebench: %s\n", what);
    std::exit(1);
}

void WriteFile(const std::string& path, const std::string& text)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0)
        Die(("cannot write " + path).c_str());
}

std::string ReceiveEntry(int i, const char* status)
{
    char buf[400];
    std::snprintf(buf, sizeof buf,
                  "\r\n[DOCUMENT]\r\nFile: R%07d.G3N\r\nComment: Fax from +44 20 7946 %04d\r\n[MESSAGE]\r\n"
                  "Format: G3N\r\nAccepted: 26-%02d-%02d %02d:%02d:%02d\r\nType: RECEIVE\r\nStatus: %s\r\n"
                  "UserStatus: OK\r\n",
                  i, i % 10000, i % 12 + 1, i % 28 + 1, i % 24, i % 60, (i * 7) % 60, status);
    return buf;
}

std::string Header(const char* type) { return std::string("[TAVRINE]\r\nType: ") + type + "\r\nRevision: A\r\n"; }

double Ms(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

template <typename F>
double Fastest(F f)
{
    double best = 1e30;
    for (int r = 0; r < kRuns; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        double ms = Ms(std::chrono::steady_clock::now() - t0);
        if (ms < best)
            best = ms;
    }
    return best;
}

void EmptyStores()
{
    for (int id = TV_LIST_NEW; id <= TV_LIST_FILED; ++id) {
        FreeListTable(ListTable(id));
        g_boxes[id - TV_LIST_NEW].items.clear();
    }
}

// Reads every line and splits entry lines into key and value.
size_t ReadOnly(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        Die("cannot read back");
    char line[TV_LINE_SIZE];
    size_t n = 0;
    while (ReadControlLine(f, line, sizeof line, nullptr)) {
        if (IsEntryLine(line) && !IsParagraphLine(line)) {
            const char* v = EntryValue(line);
            n += v ? std::strlen(v) : 0;
        }
        ++n;
    }
    std::fclose(f);
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    bool detail = false;
    std::string work;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--detail") == 0)
            detail = true;
        else
            work = argv[i];
    }
    bool made = false;
    if (work.empty()) {
        char pattern[] = "/tmp/tv_storebench_XXXXXX";
        if (!mkdtemp(pattern))
            Die("cannot make a work folder");
        work = pattern;
        made = true;
    }
    if (work.back() != '/')
        work += '/';
    std::string in = work + "T-IN/", out = work + "T-OUT/", filed = work + "FILED/";
    for (const std::string& d : {in, out, filed})
        mkdir(d.c_str(), 0777);

    std::string receive = Header("ReceiveDir");
    for (int i = 0; i < kReceived; ++i)
        receive += ReceiveEntry(i, "OK");
    std::string send = Header("SendDir");
    for (int i = 0; i < kWaiting; ++i) {
        char buf[400];
        std::snprintf(buf, sizeof buf,
                      "\r\n[DOCUMENT]\r\nFile: S%07d.CTL\r\nComment: Order confirmation %d\r\n[MESSAGE]\r\n"
                      "AssocFile: C:\\DOCS\\ORDER%05d.TXT\r\nAccepted: 26-01-02 03:04:05\r\nType: SEND\r\n"
                      "Status: %s\r\nUserStatus: OK\r\n",
                      i, i, i, i % 3 ? "Wa" : "OK");
        send += buf;
    }
    std::string docdir = Header("DocDir");
    for (int i = 0; i < kFiled; ++i) {
        char name[32], buf[200];
        std::snprintf(name, sizeof name, "D%07d.TIF", i);
        WriteFile(filed + name, "x");
        std::snprintf(buf, sizeof buf, "\r\n[DOCUMENT]\r\nFile: %s\r\nComment: Filed document %d\r\n", name, i);
        docdir += buf;
    }
    WriteFile(in + "MSGDIR.CTL", receive);
    WriteFile(out + "MSGDIR.CTL", send);
    WriteFile(filed + "TAVRINE.DIR", docdir);

    ResetStoreConfig();
    std::snprintf(g_storeConfig.receiveDir, TV_DIR_SIZE, "%s", in.c_str());
    std::snprintf(g_storeConfig.sendDir, TV_DIR_SIZE, "%s", out.c_str());
    std::snprintf(g_storeConfig.filedDir, TV_DIR_SIZE, "%s", filed.c_str());
    g_storeConfig.useArchiveAttribute = false;
    for (int i = 0; i < 3; ++i) {
        g_boxes[i].view = {&g_boxes[i], Add, Del, Reset, Count, Data, SetData, Nothing, Redraw, Selected};
        SetListView(TV_LIST_NEW + i, &g_boxes[i].view);
    }

    double fill = Fastest([] {
        EmptyStores();
        RefreshMessageList(TV_LIST_NEW);
        RefreshMessageList(TV_LIST_WAITING);
        RefreshMessageList(TV_LIST_FILED);
    });
    size_t shown = g_boxes[0].items.size() + g_boxes[1].items.size() + g_boxes[2].items.size();
    if (shown != kReceived + kWaiting + kFiled || !GetStoreHooks()->serverAccessible())
        Die("the fill did not show every message");

    bool anyChange = false;
    double unchanged = Fastest([&] {
        anyChange |= MessageListChanged(TV_LIST_NEW);
        anyChange |= MessageListChanged(TV_LIST_WAITING);
    });
    if (anyChange)
        Die("the unchanged store was seen as changed");

    // One arrival appended and one status changed in place, then the
    // server's stamp; the store holds the list as it was before.
    std::string changed = receive;
    size_t at = changed.find("Status: OK", changed.size() / 2);
    changed.replace(at, 10, "Status: Fa");
    changed += ReceiveEntry(kReceived, "OK");
    TvFileTime stamp = SecondsToFileTime(1767225600);   // a whole hour, UTC
    double refresh = 1e30;
    for (int r = 0; r < kRuns; ++r) {
        WriteFile(in + "MSGDIR.CTL", receive);
        RefreshMessageList(TV_LIST_NEW);
        WriteFile(in + "MSGDIR.CTL", changed);
        TvPlatSetFileTime((in + "MSGDIR.CTL").c_str(), stamp);
        auto t0 = std::chrono::steady_clock::now();
        if (!MessageListChanged(TV_LIST_NEW))
            Die("the change was not seen");
        RefreshMessageList(TV_LIST_NEW);
        double ms = Ms(std::chrono::steady_clock::now() - t0);
        if (ms < refresh)
            refresh = ms;
    }
    if (g_boxes[0].items.size() != kReceived + 1)
        Die("the refresh did not show the new message");

    size_t sink = 0;
    double readOnly = Fastest([&] {
        sink += ReadOnly(in + "MSGDIR.CTL");
        sink += ReadOnly(out + "MSGDIR.CTL");
        sink += ReadOnly(filed + "TAVRINE.DIR");
    });
    double readOne = Fastest([&] { sink += ReadOnly(in + "MSGDIR.CTL"); });

    std::printf("store fill %d ms=%.2f\n", kReceived + kWaiting + kFiled, fill);
    std::printf("store unchanged ms=%.3f\n", unchanged);
    std::printf("store refresh-one ms=%.2f\n", refresh);
    std::printf("store read-only ms=%.2f ratio=%.2f\n", readOnly, fill / readOnly);
    if (detail) {
        double part[3];
        EmptyStores();
        for (int i = 0; i < 3; ++i) {
            auto t0 = std::chrono::steady_clock::now();
            RefreshMessageList(TV_LIST_NEW + i);
            part[i] = Ms(std::chrono::steady_clock::now() - t0);
        }
        std::printf("# fill by list ms: new=%.2f waiting=%.2f filed=%.2f\n", part[0], part[1], part[2]);
    }
    if (detail)
        std::printf("# receive file read-only ms=%.2f refresh-one/read=%.2f (%zu)\n", readOne, refresh / readOne,
                    sink % 10);

    EmptyStores();
    if (made) {
        std::string cmd = "rm -rf '" + work + "'";
        if (std::system(cmd.c_str()) != 0)
            Die("cannot remove the work folder");
    }
    return 0;
}
