// Outside check of the modem line simulator with our controller: efax (a
// Class 2 / 2.0 fax program no one here wrote) on one simulated port, a
// modemctl process on the other, under Wine. efax sends a TIFF page that
// our controller receives, and our controller sends a page (a JOB from this
// test, which plays QUEUEMAN and SYSMAN) that efax receives; in Class 2 and
// in Class 2.0. Every received page must hold the sent pixels, read by our
// decoder and by libtiff's tifftopnm, and by efix for efax's files.
//
// run_efax_line.sh starts the simulator and a helper that runs the native
// programs (efax, tifftopnm, efix) on request: this program writes
// "<job>.req" (one line: kind and arguments) into the work folder, the helper
// answers with "<job>.rc" (the exit status), "<job>.ready" once an efax
// receiver waits for calls, and "<job>.pbm" / "<job>.efix.pbm" (the decoded
// page).
//
//   efax_line_test                 the tests
//   efax_line_test --make-pages    writes page.pbm, the page efax sends
//
// TAVRINE_LINE_WORK names the work folder and TAVRINE_MODEMCTL the
// controller program (Windows paths).
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/mhdecode.h"
#include "server/runtime/mailslot.h"
#include "server/runtime/mhencode.h"
#include "server/runtime/packets.h"
#include "server/runtime/srvlog.h"
#include "tests/support/installation.h"
#include "tests/support/testfiles.h"

namespace {

enum { WIDTH = 1728, ROW_BYTES = WIDTH / 8, PAGE_ROWS = 120 };

typedef std::vector<std::string> Rows; // one string of ROW_BYTES per row, top first

std::string Env(const char *name)
{
    const char *v = std::getenv(name);
    return v ? v : "";
}

std::string WorkPath(const std::string &name) { return Env("TAVRINE_LINE_WORK") + "\\" + name; }

// The test page: bars and a checker pattern, black in every row.
Rows PatternPage()
{
    Rows rows;
    for (int y = 0; y < PAGE_ROWS; ++y) {
        std::string row(ROW_BYTES, '\0');
        for (int x = 0; x < WIDTH; ++x)
            if ((x / 37 + y / 7) % 3 == 0 || (x > 100 && x < 140))
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        rows.push_back(row);
    }
    return rows;
}

std::string ToPbm(const Rows &rows)
{
    std::string s = "P4\n" + std::to_string(WIDTH) + " " + std::to_string(rows.size()) + "\n";
    for (const auto &r : rows)
        s += r;
    return s;
}

// Rows of a raw PBM (P4) of WIDTH pixels; empty when it is not one.
Rows FromPbm(const std::string &data)
{
    Rows rows;
    size_t at = 0;
    auto number = [&](long *out) {
        while (at < data.size() && std::isspace(static_cast<unsigned char>(data[at])))
            ++at;
        size_t start = at;
        while (at < data.size() && data[at] >= '0' && data[at] <= '9' && at - start < 7)
            ++at;
        if (at == start)
            return false;
        *out = std::strtol(data.substr(start, at - start).c_str(), nullptr, 10);
        return true;
    };
    if (data.compare(0, 2, "P4") != 0)
        return rows;
    at = 2;
    long w = 0, h = 0;
    if (!number(&w) || !number(&h) || w != WIDTH || at >= data.size())
        return rows;
    ++at; // the one whitespace byte before the pixels
    for (long y = 0; y < h && at + ROW_BYTES <= data.size(); ++y, at += ROW_BYTES)
        rows.push_back(data.substr(at, ROW_BYTES));
    return rows;
}

// The decoded rows of each page of one of our fax files.
std::vector<Rows> FaxPages(const std::string &path)
{
    std::vector<Rows> pages;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return pages;
    for (uint16_t page = 0;; ++page) {
        uint16_t width = 0, lines = 0, yres = 0, count = 0;
        uint32_t strip = 0;
        if (OpenFaxPage(f, page, &width, &lines, &strip, &yres, &count) != 1)
            break;
        pages.emplace_back();
        unsigned char row[ROW_BYTES];
        for (int32_t n = 0; n < lines; ++n) {
            std::memset(row, 0, sizeof row);
            ReadFaxLine(n, row, sizeof row);
            pages.back().push_back(std::string(reinterpret_cast<char *>(row), sizeof row));
        }
        if (page + 1 >= count)
            break;
    }
    std::fclose(f);
    return pages;
}

bool White(const std::string &row) { return row.find_first_not_of('\0') == std::string::npos; }

// Whether got shows the picture of want: the same rows from the first row
// with black to the last, white margins above and below aside (efax leaves
// room for a header line above what it sends; a receiver may pad the page).
::testing::AssertionResult SamePicture(const Rows &want, const Rows &got)
{
    auto first = [](const Rows &r) {
        size_t i = 0;
        while (i < r.size() && White(r[i]))
            ++i;
        return i;
    };
    auto last = [](const Rows &r) {
        size_t i = r.size();
        while (i > 0 && White(r[i - 1]))
            --i;
        return i;
    };
    size_t fw = first(want), lw = last(want), fg = first(got), lg = last(got);
    if (fw >= lw)
        return ::testing::AssertionFailure() << "the sent page is white";
    if (fg >= lg)
        return ::testing::AssertionFailure() << "the received page (" << got.size() << " rows) is white";
    if (lg - fg != lw - fw)
        return ::testing::AssertionFailure() << "sent " << lw - fw << " rows of picture, received " << lg - fg
                                             << " (rows " << fg << ".." << lg << " of " << got.size() << ")";
    for (size_t i = 0; i < lw - fw; ++i)
        if (want[fw + i] != got[fg + i])
            return ::testing::AssertionFailure() << "picture row " << i << " differs";
    return ::testing::AssertionSuccess() << "picture at row " << fg;
}

// ---------------------------------------------------------------- the helper
void Request(const std::string &job, const std::string &line)
{
    std::string tmp = WorkPath(job + ".tmp");
    ASSERT_TRUE(WriteWholeFile(tmp, line + "\n"));
    ASSERT_TRUE(MoveFileA(tmp.c_str(), WorkPath(job + ".req").c_str()));
}

bool WaitForFile(const std::string &name, int seconds)
{
    for (int i = 0; i < seconds * 10; ++i) {
        if (GetFileAttributesA(WorkPath(name).c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(100);
    }
    return false;
}

// The exit status of a job, -1 when it did not end in time.
int JobStatus(const std::string &job, int seconds)
{
    if (!WaitForFile(job + ".rc", seconds))
        return -1;
    return std::atoi(ReadWholeFile(WorkPath(job + ".rc")).c_str());
}

// ---------------------------------------------------------------- QUEUEMAN, SYSMAN
struct Packet {
    std::vector<unsigned char> bytes;
    uint8_t cls() const { return bytes.size() > 2 ? bytes[2] : 0; }
    uint8_t type() const { return bytes.size() > 3 ? bytes[3] : 0; }
};

struct Server {
    TvMailslot qm = nullptr, sm = nullptr;
    std::vector<Packet> pkts;

    void Drain()
    {
        unsigned char buf[MSG_MAX_PACKET];
        uint16_t len = 0;
        while (MsgReadRequest(qm, buf, sizeof buf, &len) == 0)
            pkts.push_back(Packet{std::vector<unsigned char>(buf, buf + len)});
        while (MsgReadRequest(sm, buf, sizeof buf, &len) == 0) {
        }
    }
    // The first QUEUEMAN packet of the type after index from that passes the
    // filter, waiting up to seconds; its index or -1.
    template <class F> int Wait(uint8_t type, size_t from, int seconds, F filter)
    {
        for (int i = 0; i <= seconds * 10; ++i) {
            Drain();
            for (size_t k = from; k < pkts.size(); ++k)
                if (pkts[k].cls() == PKT_CLASS_QUEUEMAN && pkts[k].type() == type && filter(pkts[k]))
                    return static_cast<int>(k);
            Sleep(100);
        }
        return -1;
    }
};

// One modemctl process on COM<dev>, on an installation of its own; the test
// plays QUEUEMAN and SYSMAN for it.
class EfaxLine : public ::testing::Test {
  protected:
    std::optional<tvtest::Installation> inst_;
    Server srv_;
    tvtest::Process ctl_; // after inst_: ends before it goes
    int dev_ = 0;

    void SetUp() override
    {
        LogInit(stdout, "", 6, "TEST");
        ASSERT_FALSE(Env("TAVRINE_LINE_WORK").empty()) << "run through run_efax_line.sh";
        ASSERT_FALSE(Env("TAVRINE_MODEMCTL").empty()) << "run through run_efax_line.sh";
        ASSERT_EQ(0, MsgMakePipe("QUEUEMAN", 0, &srv_.qm));
        ASSERT_EQ(0, MsgMakePipe("SYSMAN", 0, &srv_.sm));
    }

    void TearDown() override
    {
        if (ctl_.Started()) {
            uint8_t stop[PKT_HEADER_SIZE + 8];
            size_t sl = EncodeHeaderOnly(PKT_CLASS_STOPALL, 0, 0, stop, sizeof stop);
            MsgSendRequest(("FCLASS\\" + std::to_string(dev_)).c_str(), 0, stop, static_cast<uint16_t>(sl), nullptr,
                           0, nullptr);
            ctl_.Wait(20000);
        }
        MsgClosePipe(srv_.qm);
        MsgClosePipe(srv_.sm);
    }

    std::string Log() { return inst_ ? inst_->ServerLog() : ""; }

    // Lays out the installation and starts the controller; returns once it
    // has registered (after it has set up its modem).
    void StartController(int dev)
    {
        dev_ = dev;
        std::string d = std::to_string(dev);
        inst_.emplace(tvtest::InstallationSpec()
                          .Setup("OPTIONS", {"CSIDSeparator: *"})
                          .Setup("FCLASS-" + d, {"Port: COM" + d, "PhoneNum: 100" + d, "RecdUser: ANNE",
                                                 "Type: Other EIA Class 2 fax modem", "VoiceCommands: no"})
                          .User("ANNE")
                          .Folder("MSG"),
                      "efx");
        // The controller's fixed pauses (after the base string, after each
        // call) run three times faster; the line itself keeps real time.
        ASSERT_TRUE(ctl_.Start(inst_->Program(Env("TAVRINE_MODEMCTL"), {d, "4"}).Env("TAVRINE_CLOCK_SCALE", "3")))
            << ctl_.Result();
        ASSERT_LE(0, srv_.Wait(PKT_QM_REGISTER, 0, 40, [](const Packet &) { return true; })) << Log() << ctl_.Result();
    }

    // (a) efax on COM<efaxPort> sends page.tif to our controller, which
    // writes a message with the page and tells QUEUEMAN.
    void EfaxSendsToUs(int efaxPort, const char *efaxClass, const std::string &tag)
    {
        size_t from = srv_.pkts.size();
        std::string job = "send" + tag;
        Request(job, std::string("send ") + efaxClass + " " + std::to_string(efaxPort) + " 100" +
                         std::to_string(dev_));
        int nm = srv_.Wait(PKT_QM_NEW_MESSAGE, from, 90, [](const Packet &) { return true; });
        int rc = JobStatus(job, 60);
        ASSERT_EQ(0, rc) << ReadWholeFile(WorkPath(job + ".log")) << Log();
        ASSERT_LE(0, nm) << Log();
        int done = srv_.Wait(PKT_QM_JOB_RESULT, from, 10, [&](const Packet &p) {
            PktJobResult r{};
            return DecodeJobResult(p.bytes.data(), p.bytes.size(), &r) && r.deviceNumber == dev_ && r.requestId == 0;
        });
        ASSERT_LE(0, done) << Log();
        PktJobResult r{};
        DecodeJobResult(srv_.pkts[done].bytes.data(), srv_.pkts[done].bytes.size(), &r);
        EXPECT_EQ(0, r.hdr.code) << Log();
        EXPECT_EQ(1, r.pages);

        PktNewMessage m{};
        ASSERT_TRUE(DecodeNewMessage(srv_.pkts[nm].bytes.data(), srv_.pkts[nm].bytes.size(), &m));
        EXPECT_STREQ("ANNE", m.user);
        std::string inbox = inst_->UserDir("ANNE") + "T-IN\\";
        std::string ctl = ReadWholeFile(inbox + m.controlFile);
        for (const char *want : {"Type: ReceiveControl", "Status: Re", "'+1 555 0199'"})
            EXPECT_NE(std::string::npos, ctl.find(want)) << want << "\n" << ctl;
        // The page file the control file names (.G3N or .G3F by resolution).
        size_t at = ctl.find("\r\nFile: ");
        ASSERT_NE(std::string::npos, at) << ctl;
        at += 8;
        std::string data = inbox + ctl.substr(at, ctl.find('\r', at) - at);

        Rows sent = FromPbm(ReadWholeFile(WorkPath("sent.pbm")));
        ASSERT_TRUE(SamePicture(PatternPage(), sent)) << "efix's page";
        // Our decoder.
        std::vector<Rows> ours = FaxPages(data);
        ASSERT_EQ(1u, ours.size()) << data;
        EXPECT_TRUE(SamePicture(sent, ours[0])) << "our decoder";
        // libtiff's.
        ASSERT_TRUE(CopyFileA(data.c_str(), WorkPath("ours" + tag + ".tif").c_str(), FALSE));
        Request("pnm" + tag, "pnm ours" + tag + ".tif");
        ASSERT_EQ(0, JobStatus("pnm" + tag, 30)) << ReadWholeFile(WorkPath("pnm" + tag + ".log"));
        EXPECT_TRUE(SamePicture(sent, FromPbm(ReadWholeFile(WorkPath("pnm" + tag + ".pbm"))))) << "tifftopnm";
    }

    // (b) QUEUEMAN gives our controller a JOB for a one-page fax file; efax
    // on COM<efaxPort> receives it.
    void WeSendToEfax(int efaxPort, const char *efaxClass, const std::string &tag)
    {
        Rows page = PatternPage();
        std::string file = inst_->Path("MSG/SRC.G3N");
        {
            FILE *f = std::fopen(file.c_str(), "w+b");
            ASSERT_NE(nullptr, f);
            FaxPageState st{};
            ASSERT_EQ(0, StartTiffFaxFile(f, &st, WIDTH, 196));
            for (int r = 0; r < PAGE_ROWS; ++r) {
                int end = r == PAGE_ROWS - 1;
                ASSERT_EQ(0, WriteTiffFaxRow(f, &st, reinterpret_cast<const uint8_t *>(page[r].data()), ROW_BYTES,
                                             end, end));
            }
            std::fclose(f);
        }
        std::string job = "recv" + tag;
        Request(job, std::string("recv ") + efaxClass + " " + std::to_string(efaxPort));
        ASSERT_TRUE(WaitForFile(job + ".ready", 30)) << ReadWholeFile(WorkPath(job + ".log"));

        size_t from = srv_.pkts.size();
        PktJob j{};
        j.hdr.cls = PKT_CLASS_DEVICE;
        j.hdr.type = PKT_DEV_JOB;
        j.requestId = 41;
        SetPacketText(j.messageName, sizeof j.messageName, "MSG00041");
        SetPacketText(j.directory, sizeof j.directory, inst_->Dir("MSG").c_str());
        SetPacketText(j.firstFile, sizeof j.firstFile, "SRC.G3N");
        j.format = 5;
        j.route = 2;
        SetPacketText(j.number, sizeof j.number, ("100" + std::to_string(efaxPort)).c_str());
        SetPacketText(j.sender, sizeof j.sender, "Anne Sender");
        uint8_t buf[PKT_JOB_SIZE];
        size_t len = EncodeJob(&j, buf, sizeof buf);
        ASSERT_EQ(static_cast<size_t>(PKT_JOB_SIZE), len);
        ASSERT_EQ(0, MsgSendRequest(("FCLASS\\" + std::to_string(dev_)).c_str(), 0, buf, static_cast<uint16_t>(len),
                                    nullptr, 0, nullptr));
        int done = srv_.Wait(PKT_QM_JOB_RESULT, from, 90, [&](const Packet &p) {
            PktJobResult r{};
            return DecodeJobResult(p.bytes.data(), p.bytes.size(), &r) && r.requestId == 41;
        });
        int rc = JobStatus(job, 60);
        ASSERT_LE(0, done) << Log();
        PktJobResult r{};
        DecodeJobResult(srv_.pkts[done].bytes.data(), srv_.pkts[done].bytes.size(), &r);
        EXPECT_EQ(0, r.hdr.code) << Log() << ReadWholeFile(WorkPath(job + ".log"));
        EXPECT_EQ(1, r.pages);
        ASSERT_EQ(0, rc) << ReadWholeFile(WorkPath(job + ".log"));
        std::string efaxLog = ReadWholeFile(WorkPath(job + ".log"));
        EXPECT_EQ(std::string::npos, efaxLog.find("reception errors")) << efaxLog;
        // A second page would be a file of its own (the log's time stamps
        // also read ".002" now and then, so the log is no proof).
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(WorkPath(job + ".002").c_str()))
            << "efax received more than one page";
        EXPECT_TRUE(SamePicture(page, FromPbm(ReadWholeFile(WorkPath(job + ".pbm"))))) << "tifftopnm";
        EXPECT_TRUE(SamePicture(page, FromPbm(ReadWholeFile(WorkPath(job + ".efix.pbm"))))) << "efix";
    }
};

TEST_F(EfaxLine, Class2BothWays)
{
    StartController(2);
    if (HasFatalFailure())
        return;
    EfaxSendsToUs(1, "2", "2");
    WeSendToEfax(1, "2", "2");
    // The simulator's transcript of our port: the Class 2 dialogue.
    std::string t = ReadWholeFile(WorkPath("transcript2.txt"));
    for (const char *want : {"> AT+FCLASS=2\n", "> ATA", "> AT+FDR", "> ATDT1001", "> AT+FET=2"})
        EXPECT_NE(std::string::npos, t.find(want)) << want;
}

TEST_F(EfaxLine, Class20BothWays)
{
    StartController(4);
    if (HasFatalFailure())
        return;
    EfaxSendsToUs(3, "0", "20");
    WeSendToEfax(3, "0", "20");
    std::string t = ReadWholeFile(WorkPath("transcript4.txt"));
    for (const char *want : {"> AT+FCLASS=2.0", "> ATA", "> AT+FDR", "> ATDT1003", "> AT+FPS?"})
        EXPECT_NE(std::string::npos, t.find(want)) << want;
}

} // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--make-pages") == 0)
            return WriteWholeFile(WorkPath("page.pbm"), ToPbm(PatternPage())) ? 0 : 1;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
