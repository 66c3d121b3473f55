// The simulated fax modem line, in-process: AT dialogues of both classes,
// calls between two simulated modems, remote fax machines and the faults.
#include "standins/modemsim/simmodem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

const char DLE = 0x10, ETX = 0x03, SUB = 0x1A, DC1 = 0x11, DC2 = 0x12, DC3 = 0x13, CAN = 0x18;

// One simulated line with programmable time, and what it reported.
class Line {
public:
    explicit Line(const std::vector<std::string> &script)
    {
        SimConfigDefaults(&cfg_);
        for (const auto &s : script) {
            char err[200];
            EXPECT_EQ(0, SimConfigLine(&cfg_, s.c_str(), err, sizeof err)) << s << ": " << err;
        }
        hooks_.ctx = this;
        hooks_.line = &Line::OnLine;
        hooks_.page = &Line::OnPage;
    }
    SimConfig &Config() { return cfg_; }
    void Start() { SimLineInit(line_.get(), &cfg_, &hooks_, now_); }

    // Bytes from the program on COM port com; returns what the modem said.
    std::string Say(int com, const std::string &bytes)
    {
        int i = SimFindPort(line_.get(), com);
        EXPECT_GE(i, 0);
        SimFeed(line_.get(), i, reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), now_);
        SimTick(line_.get(), now_);
        return Take(com);
    }
    std::string Take(int com)
    {
        int i = SimFindPort(line_.get(), com);
        std::string out;
        unsigned char buf[512];
        size_t n;
        while ((n = SimTakeOutput(line_.get(), i, buf, sizeof buf)) > 0)
            out.append(reinterpret_cast<char *>(buf), n);
        return out;
    }
    // Moves time on in 10 ms steps; the output of every port is collected.
    void Advance(int ms)
    {
        for (int t = 0; t < ms; t += 10) {
            now_ += 10;
            SimTick(line_.get(), now_);
            for (const auto &p : cfg_.ports)
                if (p.used)
                    out_[p.com] += Take(p.com);
        }
    }
    // Everything said to the program on com since the last call.
    std::string Heard(int com)
    {
        std::string s = out_[com] + Take(com);
        out_[com].clear();
        return s;
    }
    const std::vector<std::string> &Transcript(int com) { return transcript_[com]; }
    bool TranscriptHas(int com, const std::string &text)
    {
        for (const auto &l : transcript_[com])
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    }
    std::map<int, std::vector<std::string>> pages;
    SimLine *Raw() { return line_.get(); }
    int64_t now_ = 1000;

private:
    static void OnLine(void *ctx, int com, char dir, const char *text)
    {
        static_cast<Line *>(ctx)->transcript_[com].push_back(std::string(1, dir) + " " + text);
    }
    static void OnPage(void *ctx, int com, int, const unsigned char *data, size_t len)
    {
        static_cast<Line *>(ctx)->pages[com].push_back(std::string(reinterpret_cast<const char *>(data), len));
    }
    SimConfig cfg_;
    SimHooks hooks_{};
    std::unique_ptr<SimLine> line_{new SimLine()};
    std::map<int, std::string> out_;
    std::map<int, std::vector<std::string>> transcript_;
};

std::string Stuff(const std::string &page)
{
    std::string s;
    for (char c : page) {
        s += c;
        if (c == DLE)
            s += DLE;
    }
    return s;
}

std::string Reverse(const std::string &s)
{
    std::string r;
    for (char c : s)
        r += static_cast<char>(SimReverseByte(static_cast<unsigned char>(c)));
    return r;
}

// Splits what a receiving program heard after DC2: the page data up to
// DLE ETX (un-stuffed, without the fill), and the text after it.
void SplitPage(const std::string &heard, std::string *data, std::string *tail)
{
    data->clear();
    size_t i = 0;
    for (; i < heard.size(); i++) {
        if (heard[i] == DLE && i + 1 < heard.size()) {
            char n = heard[++i];
            if (n == ETX) {
                i++;
                break;
            }
            if (n == SUB)
                *data += std::string(2, DLE);
            else if (n == DLE)
                *data += DLE;
            continue;
        }
        *data += heard[i];
    }
    *tail = heard.substr(i);
    // The modem ends each page with two fill bytes before DLE ETX.
    if (data->size() >= 2 && data->compare(data->size() - 2, 2, std::string(2, '\0')) == 0)
        data->resize(data->size() - 2);
    else
        ADD_FAILURE() << "page data without the two fill bytes";
}

// Two test pages: each starts with an EOL (00 08 LSB first), carries DLE
// bytes (alone and in pairs) and bytes whose bit reversal differs.
const std::string kPage1("\x00\x08\x10\x35\xA7\x10\x10\x01\x80\x00\x08\xF0", 12);
const std::string kPage2("\x00\x08\x0F\x10\x55\x10\x03\x2C\x00\x08\x80\x00\x08\x80", 14);
// RTC as a Class 2 modem adds it to a page on the line.
const std::string kRtc("\x00\x08\x80\x00\x08\x80\x00\x08\x80", 9);

// ---------------------------------------------------------------- dialogues

struct DialogueRow {
    const char *said;
    const char *heard;
};

void RunDialogue(Line &line, int com, const DialogueRow *rows, size_t n)
{
    for (size_t i = 0; i < n; i++)
        EXPECT_EQ(rows[i].heard, line.Say(com, rows[i].said)) << "after " << rows[i].said;
}

TEST(ModemSimDialogue, GenericClass20StartUpAndInitialiseWithNumericReplies)
{
    Line line({"port 1 number=1001"});
    line.Start();
    const DialogueRow rows[] = {
        {"AT\r", "\r\nOK\r\n"},
        {"ATE0V0Q0S0=0&C1&D2M0L2\r", "0\r"},
        {"AT+FCLASS=0\r", "0\r"},
        {"ATX4S7=55B0\r", "0\r"},
        {"AT+FCLASS=?\r", "0,1,2,2.0,8\r\n0\r"},
        {"AT+FCLASS=2.0\r", "0\r"},
        {"AT+FCLASS?\r", "2.0\r\n0\r"},
        {"AT+FMI?\r", "TAVRINE SIMULATED MODEMS\r\n0\r"},
        {"AT+FMM?\r", "Other EIA Class 2 fax modem\r\n0\r"},
        {"AT+FNR=1,1,1,0\r", "0\r"},
        {"AT\r", "0\r"},
        {"AT+FCT=10\r", "0\r"},
        {"AT+FBO=0\r", "0\r"},
        {"AT+FCR=1\r", "0\r"},
        {"AT+FCC=1,3,0,2,0,0,0,0\r", "0\r"},
        {"AT+FCC?\r", "1,3,0,2,0,0,0,0\r\n0\r"},
        {"AT+FLI=\"0123 456\"\r", "0\r"},
        {"AT+FAP=1,0,0\r", "0\r"},
        {"AT+FSA=\"77\"\r", "0\r"},
        // Class 2 spellings are refused in Class 2.0.
        {"AT+FDCC=1,3,0,2,0,0,0,0\r", "4\r"},
        {"AT+FLID=\"X\"\r", "4\r"},
        // Out-of-range and malformed values.
        {"AT+FCC=1,9,0,2,0,0,0,0\r", "4\r"},
        {"AT+FCC=1,3,0,2,0,0,0,0,0\r", "0\r"},  // a ninth T.32 field is let pass
        {"AT+FCC=1,3,0,2,0,0,0,0,x\r", "4\r"},
        {"AT+FLI=\"123456789012345678901\"\r", "4\r"},
        {"AT+FDT\r", "4\r"},            // no call
        {"AT+FDR\r", "4\r"},
        {"ATV1\r", "\r\nOK\r\n"},
        {"ATS0=2S0?\r", "\r\n002\r\n\r\nOK\r\n"},
        {"ATS99999999999999=1\r", "\r\nERROR\r\n"},
        {"ATS7=99999999999999\r", "\r\nERROR\r\n"},
        {"ATS7=255S7?\r", "\r\n255\r\n\r\nOK\r\n"},
        {"AT#CLS=?\r", "\r\n0,1,2,8\r\n\r\nOK\r\n"},
        // Noise before "AT" is skipped, as after the escape sequence.
        {"+++ATH\r", "\r\nOK\r\n"},
        {"ATZ\r", "\r\nOK\r\n"},
        {"AT+FCLASS?\r", "\r\n0\r\n\r\nOK\r\n"},
    };
    RunDialogue(line, 1, rows, sizeof rows / sizeof rows[0]);
    EXPECT_TRUE(line.TranscriptHas(1, "> ATE0V0Q0S0=0&C1&D2M0L2"));
    EXPECT_TRUE(line.TranscriptHas(1, "< 0,1,2,2.0,8"));
    EXPECT_TRUE(line.TranscriptHas(1, "> [+]"));
}

TEST(ModemSimDialogue, Class2OnlyModemWithVerboseReplies)
{
    Line line({"port 3 number=3003 profile=class2"});
    line.Start();
    const DialogueRow rows[] = {
        {"AT+FCLASS=?\r", "\r\n0,1,2\r\n\r\nOK\r\n"},
        {"AT+FCLASS=2.0\r", "\r\nERROR\r\n"},
        {"AT+FCLASS=2\r", "\r\nOK\r\n"},
        {"AT+FMFR?\r", "\r\nTAVRINE SIMULATED MODEMS\r\n\r\nOK\r\n"},
        {"AT+FPHCTO=100\r", "\r\nOK\r\n"},
        {"AT+FBOR=0\r", "\r\nOK\r\n"},
        {"AT+FCR=1\r", "\r\nOK\r\n"},
        {"AT+FDCC=1,3,0,2,0,0,0,0\r", "\r\nOK\r\n"},
        {"AT+FDIS=0,5\r", "\r\nOK\r\n"},    // missing fields keep their values
        {"AT+FDIS?\r", "\r\n0,5,0,2,0,0,0,0\r\n\r\nOK\r\n"},
        {"AT+FLID=\"0123 456\"\r", "\r\nOK\r\n"},
        // Class 2.0 commands are refused in Class 2 (the driver must cope).
        {"AT+FAP=1,0,0\r", "\r\nERROR\r\n"},
        {"AT+FSA=\"12\"\r", "\r\nERROR\r\n"},
        {"AT+FCC=1,3,0,2,0,0,0,0\r", "\r\nERROR\r\n"},
        {"AT+FPS?\r", "\r\nERROR\r\n"},
        {"AT#CLS=?\r", "\r\nERROR\r\n"},    // no voice commands
        // Several commands on one line; the first error ends it.
        {"ATE0V0M1L3X4\r", "0\r"},
        {"AT+FBOR=9+FCR=1\r", "4\r"},
        {"ATQ1\r", ""},
        {"ATQ0\r", "0\r"},
    };
    RunDialogue(line, 3, rows, sizeof rows / sizeof rows[0]);
}

TEST(ModemSimDialogue, ModelIdentificationAndLongLines)
{
    Line line({"port 1 number=1 profile=usrvoice", "port 2 number=2 profile=zyxelisdn",
               "port 3 number=3 profile=spartadis"});
    line.Start();
    EXPECT_EQ("\r\nUSRobotics\r\n\r\nOK\r\n", line.Say(1, "AT+FMI?\r"));
    EXPECT_EQ("\r\nUSRobotics Sportster Vi voice fax modem\r\n\r\nOK\r\n", line.Say(1, "AT+FMM?\r"));
    EXPECT_EQ("\r\n0,1,2.0,8\r\n\r\nOK\r\n", line.Say(1, "AT+FCLASS=?\r"));
    EXPECT_EQ("\r\nZyXEL 2864I ISDN voice fax modem\r\n\r\nOK\r\n", line.Say(2, "AT+FMDL?\r"));
    EXPECT_EQ("\r\nSpartaCom Spartadis\r\n\r\nOK\r\n", line.Say(3, "ATI3\r"));
    // A command line longer than the modem's buffer is refused whole.
    EXPECT_EQ("\r\nERROR\r\n", line.Say(1, "AT" + std::string(400, 'M') + "\r"));
    EXPECT_EQ("\r\nOK\r\n", line.Say(1, "AT\r"));
}

TEST(ModemSimDialogue, ScriptLinesAreChecked)
{
    SimConfig cfg;
    SimConfigDefaults(&cfg);
    const char *bad[] = {
        "port 0 number=1",          "port 1 number=12a",       "port 1 profile=nosuch",
        "port 1 class=3",           "port 1 colour=red",       "fault 1 lightning",
        "fault 1 drop page=x",      "fault 1 odd sideways",    "remote abc",
        "call 1",                   "set ring=5",              "frobnicate",
        "fault 1 hangup code=123456789",
    };
    for (const char *line : bad) {
        char err[200] = "";
        EXPECT_NE(0, SimConfigLine(&cfg, line, err, sizeof err)) << line;
        EXPECT_NE('\0', err[0]) << line;
    }
    char err[200];
    EXPECT_EQ(0, SimConfigLine(&cfg, "  # a comment", err, sizeof err));
    EXPECT_EQ(0, SimConfigLine(&cfg, "port 2 number=1002 id=\"SIM TWO\" class=2.0", err, sizeof err));
    EXPECT_EQ(0, SimConfigLine(&cfg, "remote 2000 pages=a.g3,b.g3 rings=2", err, sizeof err));
    const SimPortConfig *two = nullptr;
    for (const auto &p : cfg.ports)
        if (p.used && p.com == 2)
            two = &p;
    ASSERT_NE(nullptr, two);
    EXPECT_STREQ("SIM TWO", two->id);
    EXPECT_EQ(20, two->forceClass);
    EXPECT_STREQ("1002", two->number);
    EXPECT_EQ(2, cfg.remotes[0].numPages);
    EXPECT_STREQ("b.g3", cfg.remotes[0].pageFiles[1]);
}

// ---------------------------------------------------------------- calls

struct CallCase {
    int callerClass;    // 2 or 20
    int calleeClass;
};

class ModemSimCall : public ::testing::TestWithParam<CallCase> {};

const char *ClassText(int cls) { return cls == 20 ? "2.0" : "2"; }

// Sets up a modem for a call as the driver does, with verbose replies.
void PrepareModem(Line &line, int com, int cls, const char *id)
{
    EXPECT_EQ("\r\nOK\r\n", line.Say(com, std::string("AT+FCLASS=") + ClassText(cls) + "\r"));
    std::string c = cls == 20 ? "AT+FCC=1,3,0,2,0,0,0,0\r" : "AT+FDCC=1,3,0,2,0,0,0,0\r";
    EXPECT_EQ("\r\nOK\r\n", line.Say(com, c));
    std::string l = std::string(cls == 20 ? "AT+FLI=\"" : "AT+FLID=\"") + id + "\"\r";
    EXPECT_EQ("\r\nOK\r\n", line.Say(com, l));
}

// A connected call, ready for the caller's first page.
void Connect(Line &line, int callerClass, int calleeClass)
{
    PrepareModem(line, 1, callerClass, "CALLER");
    PrepareModem(line, 2, calleeClass, "CALLEE");
    line.Say(1, "ATDT1002\r");
    line.Advance(400);
    line.Say(2, "ATA\r");
    line.Say(1, "AT+FDT\r");
    line.Heard(1);
    line.Heard(2);
}

// The caller sends one page; more says whether another follows.
void SendPage(Line &line, int com, int cls, const std::string &page, bool more, const char *expectAfter)
{
    if (cls == 20) {
        EXPECT_EQ("\r\nOK\r\n", line.Say(com, Stuff(page) + DLE + (more ? ',' : '.')));
        EXPECT_EQ(expectAfter, line.Say(com, "AT+FPS?\r"));
    } else {
        EXPECT_EQ("\r\nOK\r\n", line.Say(com, Stuff(page) + DLE + ETX));
        EXPECT_EQ(expectAfter, line.Say(com, more ? "AT+FET=0\r" : "AT+FET=2\r"));
    }
}

// The callee takes one page: +FDR, CONNECT, DC2, data; returns the data.
std::string ReceivePage(Line &line, int com, int cls, bool first, const char *expectTail)
{
    std::string connect = (cls == 2 && first) ? "\r\n+FCFR\r\n\r\nCONNECT\r\n" : "\r\nCONNECT\r\n";
    EXPECT_EQ(connect, line.Say(com, "AT+FDR\r"));
    std::string heard = line.Say(com, std::string(1, DC2));
    std::string data, tail;
    SplitPage(heard, &data, &tail);
    EXPECT_EQ(expectTail, tail);
    return data;
}

TEST_P(ModemSimCall, TwoPagesFromOneModemToTheOther)
{
    const CallCase c = GetParam();
    Line line({"port 1 number=1001", "port 2 number=1002"});
    line.Start();
    PrepareModem(line, 1, c.callerClass, "CALLER ONE");
    PrepareModem(line, 2, c.calleeClass, "CALLEE TWO");
    bool c20 = c.callerClass == 20, t20 = c.calleeClass == 20;

    // Dial; the other modem rings; it answers.
    EXPECT_EQ("\r\nOK\r\n", line.Say(1, std::string(c20 ? "AT+FCC=0,3" : "AT+FDCC=0,3") + "\r"));
    EXPECT_EQ("", line.Say(1, "ATDT1002\r"));
    line.Advance(400);
    EXPECT_EQ("\r\nRING\r\n", line.Heard(2));
    EXPECT_EQ("", line.Heard(1));
    EXPECT_EQ(std::string("\r\n") + (t20 ? "+FCO" : "+FCON") + "\r\n", line.Say(2, "ATA\r"));
    EXPECT_EQ(std::string("\r\n") + (c20 ? "+FCO" : "+FCON") + "\r\n" + "\r\n" +
                  (c20 ? "+FCI:" : "+FCSI:") + " \"CALLEE TWO\"\r\n\r\n" + (c20 ? "+FIS:" : "+FDIS:") +
                  " 1,3,0,2,0,0,0,0\r\n\r\nOK\r\n",
              line.Heard(1));

    // The caller's +FDT: session values on both sides.
    std::string dcs = " 0,3,0,2,0,0,0,0";
    EXPECT_EQ(std::string("\r\n") + (c20 ? "+FCS:" : "+FDCS:") + dcs + "\r\n\r\nCONNECT\r\n" +
                  (c20 ? "" : "\x11"),
              line.Say(1, "AT+FDT\r"));
    EXPECT_EQ(std::string("\r\n") + (t20 ? "+FTI:" : "+FTSI:") + " \"CALLER ONE\"\r\n\r\n" +
                  (t20 ? "+FCS:" : "+FDCS:") + dcs + "\r\n\r\nOK\r\n",
              line.Heard(2));

    // Page 1, then page 2 as the last.
    SendPage(line, 1, c.callerClass, kPage1, true, c20 ? "\r\n+FPS: 1\r\n\r\nOK\r\n" : "\r\n+FPTS: 1\r\n\r\nOK\r\n");
    EXPECT_EQ(std::string("\r\nCONNECT\r\n") + (c20 ? "" : "\x11"), line.Say(1, "AT+FDT\r"));
    SendPage(line, 1, c.callerClass, kPage2, false,
             c20 ? "\r\n+FPS: 1\r\n\r\n+FHS: 00\r\n\r\nOK\r\n" : "\r\n+FPTS: 1\r\n\r\n+FHNG: 0\r\n\r\nOK\r\n");
    EXPECT_EQ("\r\nERROR\r\n", line.Say(1, "AT+FDT\r"));   // the call is over for the caller

    // The callee takes both pages: Class 2 data MSB first, Class 2.0 LSB first.
    const char *pts = t20 ? "+FPS:" : "+FPTS:";
    std::string p1 = ReceivePage(line, 2, c.calleeClass, true,
                                 (std::string("\r\n") + pts + " 1\r\n\r\n+FET: 0\r\n\r\nOK\r\n").c_str());
    std::string p2 = ReceivePage(line, 2, c.calleeClass, false,
                                 (std::string("\r\n") + pts + " 1\r\n\r\n+FET: 2\r\n\r\nOK\r\n").c_str());
    // A Class 2 modem ends each page on the line with RTC.
    std::string line1 = c20 ? kPage1 : kPage1 + kRtc;
    std::string line2 = c20 ? kPage2 : kPage2 + kRtc;
    EXPECT_EQ(t20 ? line1 : Reverse(line1), p1);
    EXPECT_EQ(t20 ? line2 : Reverse(line2), p2);
    EXPECT_EQ(t20 ? "\r\n+FHS: 00\r\n\r\nOK\r\n" : "\r\n+FHNG: 0\r\n\r\nOK\r\n", line.Say(2, "AT+FDR\r"));

    // The pages taken from the caller, as data LSB first.
    ASSERT_EQ(2u, line.pages[1].size());
    EXPECT_EQ(kPage1, line.pages[1][0]);
    EXPECT_EQ(kPage2, line.pages[1][1]);
    // Both modems are idle again: a second call can be made.
    EXPECT_EQ("", line.Say(1, "ATDT1002\r"));
    line.Advance(400);
    EXPECT_EQ("\r\nRING\r\n", line.Heard(2));
}

INSTANTIATE_TEST_SUITE_P(Classes, ModemSimCall,
                         ::testing::Values(CallCase{2, 2}, CallCase{20, 20}, CallCase{2, 20}, CallCase{20, 2}));

TEST(ModemSimCallDetails, BitOrderCommandsAndDleSub)
{
    // +FBO=2 on a Class 2.0 receiver reverses its data; dlesub folds DLE pairs.
    Line line({"port 1 number=1001", "port 2 number=1002 dlesub=1"});
    line.Start();
    PrepareModem(line, 1, 2, "A");
    PrepareModem(line, 2, 20, "B");
    EXPECT_EQ("\r\nOK\r\n", line.Say(1, "AT+FBOR=1\r"));   // the caller sends reversed data
    EXPECT_EQ("\r\nOK\r\n", line.Say(2, "AT+FBO=2\r"));
    line.Say(1, "ATD1002\r");
    line.Advance(400);
    line.Say(2, "ATA\r");
    line.Say(1, "AT+FDT\r");
    line.Heard(2);
    SendPage(line, 1, 2, Reverse(kPage1), false, "\r\n+FPTS: 1\r\n\r\n+FHNG: 0\r\n\r\nOK\r\n");
    EXPECT_EQ("\r\nCONNECT\r\n", line.Say(2, "AT+FDR\r"));
    std::string heard = line.Say(2, std::string(1, DC2));
    // Reversed 0x10 0x10 is 0x08 0x08: no DLE in the reversed page; the
    // reversed stream carries DLE where the page had 0x08.
    std::string data, tail;
    SplitPage(heard, &data, &tail);
    EXPECT_EQ(Reverse(kPage1 + kRtc), data);
    ASSERT_EQ(1u, line.pages[1].size());
    EXPECT_EQ(kPage1, line.pages[1][0]);
}

// Bits written as '0'/'1' text, packed least significant bit first.
std::string Bits(const std::string &bits)
{
    std::string out((bits.size() + 7) / 8, '\0');
    for (size_t i = 0; i < bits.size(); i++)
        if (bits[i] == '1')
            out[i / 8] = static_cast<char>(out[i / 8] | (1 << (i % 8)));
    return out;
}

TEST(ModemSimCallDetails, Class2ModemAddsRtcOnlyWhenThePageLacksIt)
{
    const std::string eol = "000000000001";
    std::string rtc;
    for (int i = 0; i < 6; i++)
        rtc += eol;
    struct Row {
        std::string page;
        bool rtcAdded;
    } rows[] = {
        {kPage1, true},
        {kPage1 + kRtc, false},
        {Bits(eol + "101" + rtc), false},                // RTC not on a byte boundary
        {Bits(eol + "101" + rtc + "00000000000000000"), false},  // zero fill after it
        {Bits(eol + "101" + eol + eol + eol + eol + eol + "1" + eol), true},  // data inside
    };
    for (const auto &r : rows) {
        Line line({"port 1 number=1001", "port 2 number=1002"});
        line.Start();
        Connect(line, 2, 20);
        SendPage(line, 1, 2, r.page, false, "\r\n+FPTS: 1\r\n\r\n+FHNG: 0\r\n\r\nOK\r\n");
        EXPECT_EQ("\r\nCONNECT\r\n", line.Say(2, "AT+FDR\r"));
        std::string data, tail;
        SplitPage(line.Say(2, std::string(1, DC2)), &data, &tail);
        EXPECT_EQ(r.rtcAdded ? r.page + kRtc : r.page, data);
    }
}

TEST(ModemSimCallDetails, DleSubCarriesDlePairsInClass20)
{
    Line line({"port 1 number=1001", "port 2 number=1002 dlesub=1"});
    line.Start();
    PrepareModem(line, 1, 20, "A");
    PrepareModem(line, 2, 20, "B");
    line.Say(1, "ATD1002\r");
    line.Advance(400);
    line.Say(2, "ATA\r");
    line.Say(1, "AT+FDT\r");
    SendPage(line, 1, 20, kPage1, false, "\r\n+FPS: 1\r\n\r\n+FHS: 00\r\n\r\nOK\r\n");
    line.Say(2, "AT+FDR\r");
    std::string heard = line.Say(2, std::string(1, DC2));
    EXPECT_NE(std::string::npos, heard.find(std::string{DLE, SUB}));
    std::string data, tail;
    SplitPage(heard, &data, &tail);
    EXPECT_EQ(kPage1, data);
}

// ---------------------------------------------------------------- remotes and routing

TEST(ModemSimRemote, RemoteFaxSendsItsPagesWithRoutingToAClass2Program)
{
    Line line({"port 2 number=1002 profile=class2", "remote 2000 id=\"CALLER ID\" sub=123 cli=0123",
               "call 2000 100245 after=0"});
    line.Config().remotes[0].pages[0].assign(kPage1.begin(), kPage1.end());
    line.Config().remotes[0].pages[1].assign(kPage2.begin(), kPage2.end());
    line.Config().remotes[0].numPages = 2;
    line.Start();
    PrepareModem(line, 2, 2, "ME");
    line.Say(2, "ATV0\r");
    line.Advance(400);
    EXPECT_EQ("2\r", line.Heard(2));
    EXPECT_EQ("+FCON\r\n+FTSI: \"CALLER ID\"\r\n+FSA: \"123\"\r\n+FDCS: 0,3,0,2,0,0,0,0\r\n0\r",
              line.Say(2, "ATA\r"));
    EXPECT_EQ("+FCFR\r\n1\r", line.Say(2, "AT+FDR\r"));
    std::string data, tail;
    SplitPage(line.Say(2, std::string(1, DC2)), &data, &tail);
    EXPECT_EQ(Reverse(kPage1), data);
    EXPECT_EQ("+FPTS: 1\r\n+FET: 0\r\n0\r", tail);
    EXPECT_EQ("1\r", line.Say(2, "AT+FDR\r"));
    SplitPage(line.Say(2, std::string(1, DC2)), &data, &tail);
    EXPECT_EQ(Reverse(kPage2), data);
    EXPECT_EQ("+FPTS: 1\r\n+FET: 2\r\n0\r", tail);
    EXPECT_EQ("+FHNG: 0\r\n0\r", line.Say(2, "AT+FDR\r"));
}

TEST(ModemSimRemote, RoutingDigitsPerModemKind)
{
    // Voice-mode DTMF on the generic modem.
    {
        Line line({"port 1 number=1001", "remote 2000 cli=0123", "call 2000 100145"});
        line.Start();
        PrepareModem(line, 1, 20, "ME");
        line.Say(1, "ATV0\r");
        line.Advance(400);
        EXPECT_EQ("2\r", line.Heard(1));
        EXPECT_EQ("0,1,2,8\r\n0\r", line.Say(1, "AT#CLS=?\r"));
        EXPECT_EQ("0\r", line.Say(1, "AT#CLS=8\r"));
        EXPECT_EQ("0\r", line.Say(1, "AT#VTD=3F,3F,3F\r"));
        EXPECT_EQ(std::string("VCON\r\n") + DLE + '4' + DLE + '5' + DLE + '#', line.Say(1, "ATA\r"));
        EXPECT_EQ("0\r", line.Say(1, "AT#CLS=2\r"));
        // Back in Class 2.0 for the fax answer.
        EXPECT_EQ("+FCO\r\n+FTI: \"REMOTE FAX\"\r\n+FCS: 0,3,0,2,0,0,0,0\r\n0\r", line.Say(1, "ATA\r"));
    }
    // "+DTMF:" lines.
    {
        Line line({"port 1 number=1001 dtmflines=1", "remote 2000", "call 2000 1001789"});
        line.Start();
        PrepareModem(line, 1, 2, "ME");
        line.Advance(400);
        EXPECT_EQ(0u, line.Say(1, "ATA\r").find("\r\n+DTMF:7\r\n\r\n+DTMF:8\r\n\r\n+DTMF:9\r\n\r\n+FCON\r\n"));
    }
    // Extended ring of the terminal adaptor, in both reply sets.
    {
        Line line({"port 1 number=1001 profile=spartadis", "remote 2000 cli=0123", "call 2000 100145"});
        line.Start();
        line.Advance(400);
        EXPECT_EQ("\r\nRING: 0,0,0123,0,0,0,45\r\n", line.Heard(1));
        line.Say(1, "ATV0\r");
        line.Advance(1000);
        EXPECT_EQ("102: 0,0,0123,0,0,0,45\r", line.Heard(1));
    }
    // ISDN modem: FM: and TO: lines after the ring.
    {
        Line line({"port 1 number=1001 profile=zyxelisdn", "remote 2000 cli=0123", "call 2000 100145"});
        line.Start();
        line.Advance(400);
        EXPECT_EQ("\r\nRING\r\n\r\nFM:0123/1\r\n\r\nTO:45\r\n", line.Heard(1));
    }
}

TEST(ModemSimRemote, ProgramSendsToARemoteFaxAndAutoAnswer)
{
    Line line({"port 1 number=1001", "remote 2000 id=\"REMOTE\" dis=1,3,0,2,0,0,0,5 rings=2",
               "port 2 number=1002"});
    line.Start();
    PrepareModem(line, 1, 20, "ME");
    line.Say(1, "ATD2000\r");
    line.Advance(1000);
    EXPECT_EQ("", line.Heard(1));
    line.Advance(2000);
    EXPECT_EQ("\r\n+FCO\r\n\r\n+FCI: \"REMOTE\"\r\n\r\n+FIS: 1,3,0,2,0,0,0,5\r\n\r\nOK\r\n", line.Heard(1));
    EXPECT_EQ("\r\n+FCS: 1,3,0,2,0,0,0,5\r\n\r\nCONNECT\r\n", line.Say(1, "AT+FDT\r"));
    SendPage(line, 1, 20, kPage1, false, "\r\n+FPS: 1\r\n\r\n+FHS: 00\r\n\r\nOK\r\n");
    ASSERT_EQ(1u, line.pages[1].size());
    EXPECT_EQ(kPage1, line.pages[1][0]);
    EXPECT_EQ(1, line.Raw()->remotes[0].received);

    // S0=2 on COM2: it answers by itself on the second ring.
    PrepareModem(line, 2, 2, "AUTO");
    line.Say(2, "ATS0=2\r");
    line.Say(1, "ATD1002\r");
    line.Advance(2000);
    EXPECT_EQ("\r\nRING\r\n\r\nRING\r\n\r\n+FCON\r\n", line.Heard(2));
    EXPECT_NE(std::string::npos, line.Heard(1).find("+FCO\r\n"));
    // The program's own ATA after that: nothing until the session values
    // are in, then the whole answer report again.
    EXPECT_EQ("", line.Say(2, "ATA\r"));
    EXPECT_EQ("\r\n+FCS: 1,3,0,2,0,0,0,0\r\n\r\nCONNECT\r\n", line.Say(1, "AT+FDT\r"));
    EXPECT_EQ("\r\n+FTSI: \"ME\"\r\n\r\n+FDCS: 1,3,0,2,0,0,0,0\r\n\r\nOK\r\n", line.Heard(2));
    EXPECT_EQ("\r\n+FCON\r\n\r\n+FTSI: \"ME\"\r\n\r\n+FDCS: 1,3,0,2,0,0,0,0\r\n\r\nOK\r\n",
              line.Say(2, "ATA\r"));
}

// ---------------------------------------------------------------- faults

struct DialFaultRow {
    const char *script;     // fault line for COM1, or another set-up
    int verbose;
    const char *heard;      // what the dialling program hears
};

TEST(ModemSimFaults, DialOutcomes)
{
    const DialFaultRow rows[] = {
        {"fault 1 busy", 0, "7\r"},
        {"fault 1 busy", 1, "\r\nBUSY\r\n"},
        {"fault 1 noanswer", 0, "8\r"},
        {"fault 1 nodialtone", 0, "6\r"},
        {"fault 1 nodialtone", 1, "\r\nNO DIAL TONE\r\n"},
        {"fault 1 nocarrier", 0, "3\r"},
        {"fault 1 hangup code=11", 0, "+FHNG: 11\r\n0\r"},
        {"fault 1 hangup code=11 page=0", 1, "\r\n+FHNG: 11\r\n\r\nOK\r\n"},
        {"set dial=100", 0, "3\r"},             // nobody has number 9999
    };
    for (const auto &r : rows) {
        Line line({"port 1 number=1001", "port 2 number=1002", r.script});
        line.Start();
        PrepareModem(line, 1, 2, "ME");
        line.Say(1, r.verbose ? "ATV1\r" : "ATV0\r");
        line.Say(1, std::string("ATDT") + (strcmp(r.script, "set dial=100") == 0 ? "9999" : "1002") + "\r");
        line.Advance(400);
        EXPECT_EQ(r.heard, line.Heard(1)) << r.script;
        EXPECT_EQ("", line.Heard(2)) << r.script;  // nothing rang
    }
    // Class 2.0 spelling of the dial hang-up report.
    Line line({"port 1 number=1001", "fault 1 hangup code=11"});
    line.Start();
    PrepareModem(line, 1, 20, "ME");
    line.Say(1, "ATD1002\r");
    line.Advance(400);
    EXPECT_EQ("\r\n+FHS: 11\r\n\r\nOK\r\n", line.Heard(1));
}

TEST(ModemSimFaults, BusyLineUnansweredCallAndAbandonedDial)
{
    Line line({"port 1 number=1001", "port 2 number=1002", "port 3 number=1003", "set ringlimit=3"});
    line.Start();
    for (int com : {1, 2, 3})
        PrepareModem(line, com, 2, "X");
    line.Say(1, "ATD1002\r");
    line.Advance(400);
    line.Say(3, "ATD1002\r");   // COM2 is ringing: busy
    line.Advance(400);
    EXPECT_EQ("\r\nBUSY\r\n", line.Heard(3));
    line.Advance(3000);         // three rings, then the caller gives up
    EXPECT_EQ("\r\nNO ANSWER\r\n", line.Heard(1));
    EXPECT_EQ("\r\nRING\r\n\r\nRING\r\n\r\nRING\r\n", line.Heard(2));
    EXPECT_EQ("\r\nNO CARRIER\r\n", line.Say(2, "ATA\r"));
    // The escape sequence abandons a dial; the other modem stops ringing.
    line.Say(3, "ATD1002\r");
    line.Advance(400);
    EXPECT_EQ("\r\nRING\r\n", line.Heard(2));
    EXPECT_EQ("\r\nNO CARRIER\r\n", line.Say(3, "+"));
    EXPECT_EQ("", line.Say(3, "++"));
    EXPECT_EQ("\r\nOK\r\n", line.Say(3, "ATH\r"));
    line.Advance(3000);
    EXPECT_EQ("", line.Heard(2));
    EXPECT_TRUE(line.TranscriptHas(3, "> [dial abandoned]"));
}

TEST(ModemSimFaults, CarrierLostInTheMiddleOfAPage)
{
    for (int cls : {2, 20}) {
        Line line({"port 1 number=1001", "port 2 number=1002", "fault 1 drop page=2 bytes=5 code=70"});
        line.Start();
        Connect(line, cls, cls);
        SendPage(line, 1, cls, kPage1, true, cls == 20 ? "\r\n+FPS: 1\r\n\r\nOK\r\n" : "\r\n+FPTS: 1\r\n\r\nOK\r\n");
        line.Say(1, "AT+FDT\r");
        std::string heard = line.Say(1, Stuff(kPage2));
        EXPECT_EQ(std::string("\r\n") + (cls == 20 ? "+FHS:" : "+FHNG:") + " 70\r\n\r\nNO CARRIER\r\n", heard);
        // The rest of the page and its end are discarded; then commands again.
        line.Say(1, std::string{DLE, ETX});
        EXPECT_EQ("\r\nOK\r\n", line.Say(1, "AT\r"));
        // The receiver gets page 1 whole, then 5 bytes of page 2 and the hang-up.
        std::string p1 = ReceivePage(line, 2, cls, true,
                                     cls == 20 ? "\r\n+FPS: 1\r\n\r\n+FET: 0\r\n\r\nOK\r\n"
                                               : "\r\n+FPTS: 1\r\n\r\n+FET: 0\r\n\r\nOK\r\n");
        EXPECT_EQ(cls == 20 ? kPage1 : Reverse(kPage1 + kRtc), p1);
        std::string p2 = ReceivePage(line, 2, cls, false,
                                     cls == 20 ? "\r\n+FHS: 70\r\n\r\nNO CARRIER\r\n" : "\r\n+FHNG: 70\r\n\r\nNO CARRIER\r\n");
        EXPECT_EQ(cls == 20 ? kPage2.substr(0, 5) : Reverse(kPage2.substr(0, 5)), p2);
        EXPECT_EQ("\r\nERROR\r\n", line.Say(2, "AT+FDR\r"));
        EXPECT_EQ(1u, line.pages[1].size());    // only whole pages are taken
    }
}

TEST(ModemSimFaults, RemoteHangUpCodeAndPageErrors)
{
    struct Row {
        const char *fault;
        int cls;
        const char *callerHears;    // after the first page's end
        const char *calleeTail;     // after the first page's data
        const char *calleeNext;     // answer to the next +FDR
    };
    const Row rows[] = {
        {"fault 2 hangup page=1 code=52", 2, "\r\n+FPTS: 1\r\n\r\n+FHNG: 52\r\n\r\nOK\r\n",
         "\r\n+FPTS: 1\r\n\r\n+FET: 0\r\n\r\nOK\r\n", "\r\n+FHNG: 52\r\n\r\nOK\r\n"},
        {"fault 1 hangup page=1 code=A0", 20, "\r\n+FPS: 1\r\n\r\n+FHS: A0\r\n\r\nOK\r\n",
         "\r\n+FPS: 1\r\n\r\n+FET: 0\r\n\r\nOK\r\n", "\r\n+FHS: A0\r\n\r\nOK\r\n"},
        {"fault 2 pageerror page=1 status=2", 2, "\r\n+FPTS: 2\r\n\r\nOK\r\n",
         "\r\n+FPTS: 2\r\n\r\n+FET: 0\r\n\r\nOK\r\n", nullptr},
        {"fault 1 pageerror page=1 status=4", 20, "\r\n+FPS: 4\r\n\r\nOK\r\n",
         "\r\n+FPS: 4\r\n\r\n+FET: 0\r\n\r\nOK\r\n", nullptr},
    };
    for (const auto &r : rows) {
        Line line({"port 1 number=1001", "port 2 number=1002", r.fault});
        line.Start();
        Connect(line, r.cls, r.cls);
        SendPage(line, 1, r.cls, kPage1, true, r.callerHears);
        ReceivePage(line, 2, r.cls, true, r.calleeTail);
        if (r.calleeNext != nullptr)
            EXPECT_EQ(r.calleeNext, line.Say(2, "AT+FDR\r")) << r.fault;
        else
            EXPECT_EQ("", line.Say(2, "AT+FDR\r")) << r.fault;  // waits for page 2
    }
}

TEST(ModemSimFaults, SilenceGarbageAndEcho)
{
    {
        Line line({"port 1 number=1001", "fault 1 silent after=1 ms=2000"});
        line.Start();
        EXPECT_EQ("\r\nOK\r\n", line.Say(1, "AT\r"));
        EXPECT_EQ("", line.Say(1, "AT\r"));
        EXPECT_EQ("", line.Say(1, "ATE0V0\r"));     // not even acted on
        line.Advance(2100);
        EXPECT_EQ("\r\nOK\r\n", line.Say(1, "AT\r"));
        EXPECT_TRUE(line.TranscriptHas(1, "* no reply (silent)"));
    }
    {
        Line line({"port 1 number=1001", "fault 1 silent"});
        line.Start();
        EXPECT_EQ("", line.Say(1, "AT\r"));
        line.Advance(5000);
        EXPECT_EQ("", line.Say(1, "AT\r"));
    }
    {
        Line line({"port 1 number=1001", "fault 1 garbage"});
        line.Start();
        EXPECT_EQ("\x01\xFE~#\x7F}\r\n\r\nOK\r\n", line.Say(1, "AT\r"));
        EXPECT_TRUE(line.TranscriptHas(1, "< [garbage]"));
    }
    {
        Line line({"port 1 number=1001", "fault 1 echo"});
        line.Start();
        EXPECT_EQ("ATE0V0\r0\r", line.Say(1, "ATE0V0\r"));
    }
    // ERROR to +FAP and +FSA even in Class 2.0.
    {
        Line line({"port 1 number=1001", "fault 1 faperror"});
        line.Start();
        EXPECT_EQ("\r\nOK\r\n", line.Say(1, "AT+FCLASS=2.0\r"));
        EXPECT_EQ("\r\nERROR\r\n", line.Say(1, "AT+FAP=1,0,0\r"));
        EXPECT_EQ("\r\nERROR\r\n", line.Say(1, "AT+FSA=\"1\"\r"));
        EXPECT_EQ("\r\nOK\r\n", line.Say(1, "AT+FLI=\"1\"\r"));
    }
    // Run-time silence from the control file.
    {
        Line line({"port 1 number=1001"});
        line.Start();
        char err[100];
        EXPECT_EQ(0, SimControl(line.Raw(), "silent 1 on", err, sizeof err));
        EXPECT_EQ("", line.Say(1, "AT\r"));
        EXPECT_EQ(0, SimControl(line.Raw(), "silent 1 off", err, sizeof err));
        EXPECT_EQ("\r\nOK\r\n", line.Say(1, "AT\r"));
        EXPECT_NE(0, SimControl(line.Raw(), "silent 7 on", err, sizeof err));
        EXPECT_NE(0, SimControl(line.Raw(), "call 2000 1001", err, sizeof err));   // no such remote
        EXPECT_NE(0, SimControl(line.Raw(), "wobble 1", err, sizeof err));
    }
}

TEST(ModemSimFaults, XoffHeldTooLong)
{
    Line line({"port 1 number=1001", "port 2 number=1002", "fault 1 xoff page=1 bytes=4 ms=3000"});
    line.Start();
    Connect(line, 2, 2);
    // Stuffed page 1: 00 08 10 10 35 ...: the fourth data byte is 0x35.
    EXPECT_EQ(std::string(1, DC3), line.Say(1, Stuff(kPage1).substr(0, 5)));
    EXPECT_EQ("", line.Say(1, Stuff(kPage1).substr(5, 2)));
    EXPECT_TRUE(line.TranscriptHas(1, "* data received while XOFF held"));
    line.Advance(2900);
    EXPECT_EQ("", line.Heard(1));
    line.Advance(200);
    EXPECT_EQ(std::string(1, DC1), line.Heard(1));
    EXPECT_EQ("\r\nOK\r\n", line.Say(1, Stuff(kPage1).substr(7) + DLE + ETX));
}

TEST(ModemSimFaults, ContradictoryAndOutOfRangeSessionValues)
{
    Line line({"port 1 number=1001", "port 2 number=1002", "fault 2 badparams", "fault 1 badparams"});
    line.Start();
    PrepareModem(line, 1, 2, "CALLER");
    PrepareModem(line, 2, 2, "CALLEE");
    line.Say(1, "ATDT1002\r");
    line.Advance(400);
    line.Say(2, "ATA\r");
    std::string caller = line.Heard(1);
    EXPECT_NE(std::string::npos, caller.find("+FCSI: \"REMOTE\x01STATION WITH A FAR TOO LONG IDENTIFIER\x7F\""));
    EXPECT_NE(std::string::npos, caller.find("+FDIS: 2,7,9,9,9,9,9,9\r\n"));
    EXPECT_NE(std::string::npos, caller.find("+FDIS: 1,3,0,2,0,0,0,0,0,0,0,12\r\n"));
    line.Say(1, "AT+FDT\r");
    std::string callee = line.Heard(2);
    EXPECT_NE(std::string::npos, callee.find("+FTSI: \"CALLER\x01STATION"));
    EXPECT_NE(std::string::npos, callee.find("+FSA: \"123456789012345678901234567890\""));
    EXPECT_NE(std::string::npos, callee.find("+FDCS: 3,9,7,5,2,9,0,8\r\n"));
    EXPECT_NE(std::string::npos, callee.find("+FDCS: 1,5,0,2,0,0,0,0,0,7\r\n"));
    EXPECT_EQ("\r\nOK\r\n", line.Say(1, Stuff(kPage1) + DLE + ETX));
    EXPECT_EQ("\r\n+FPTS: 77\r\n\r\nOK\r\n", line.Say(1, "AT+FET=0\r"));
}

TEST(ModemSimFaults, OddConnectRepliesAndLoneFF)
{
    Line line({"port 1 number=1001", "port 2 number=1002", "fault 1 odd ced a4 f", "fault 2 odd ff"});
    line.Start();
    PrepareModem(line, 1, 2, "CALLER");
    PrepareModem(line, 2, 2, "CALLEE");
    line.Say(1, "ATV0\r");
    line.Say(1, "ATDT1002\r");
    line.Advance(400);
    EXPECT_EQ("\xFF\r\n+FCON\r\n", line.Say(2, "ATA\r"));
    EXPECT_EQ("CED\r\na\r\n4\r\n+FCSI: \"CALLEE\"\r\n+FDIS: 1,3,0,2,0,0,0,0\r\n0\r", line.Heard(1));
    EXPECT_EQ("+FDCS: 1,3,0,2,0,0,0,0\r\nf\r\x11", line.Say(1, "AT+FDT\r"));

    Line other({"port 1 number=1001", "port 2 number=1002", "fault 1 odd plusplus"});
    other.Start();
    PrepareModem(other, 1, 2, "CALLER");
    PrepareModem(other, 2, 2, "CALLEE");
    other.Say(1, "ATDT1002\r");
    other.Advance(400);
    other.Say(2, "ATA\r");
    EXPECT_EQ(0u, other.Heard(1).find("\r\n++FCON\r\n"));
}

TEST(ModemSimFaults, LineDroppedFromTheControlFile)
{
    Line line({"port 1 number=1001", "port 2 number=1002"});
    line.Start();
    Connect(line, 2, 20);
    line.Say(1, Stuff(kPage1).substr(0, 4));
    char err[100];
    EXPECT_EQ(0, SimControl(line.Raw(), "drop 1", err, sizeof err));
    EXPECT_EQ("\r\n+FHNG: 70\r\n\r\nNO CARRIER\r\n", line.Heard(1));
    EXPECT_EQ("\r\n+FHS: 70\r\n\r\nOK\r\n", line.Say(2, "AT+FDR\r"));
    EXPECT_TRUE(line.TranscriptHas(1, "* line dropped (control)"));
}

TEST(ModemSimFaults, CancelWhileReceivingAndWhileSending)
{
    Line line({"port 1 number=1001", "port 2 number=1002", "set rate=100"});
    line.Start();
    Connect(line, 20, 2);
    SendPage(line, 1, 20, std::string(400, '\x22'), true, "\r\n+FPS: 1\r\n\r\nOK\r\n");
    EXPECT_EQ("\r\n+FCFR\r\n\r\nCONNECT\r\n", line.Say(2, "AT+FDR\r"));
    // Paced at 100 bytes a second: after DC2 and 0.5 s only part has come.
    line.Say(2, std::string(1, DC2));
    line.Advance(500);
    std::string part = line.Heard(2);
    EXPECT_GT(part.size(), 10u);
    EXPECT_LT(part.size(), 100u);
    EXPECT_EQ((std::string{DLE, ETX} + "\r\n+FHNG: 2\r\n\r\nOK\r\n"), line.Say(2, std::string(1, CAN)));
    // The caller learns of it at its next step.
    EXPECT_EQ("\r\n+FHS: 02\r\n\r\nERROR\r\n", line.Say(1, "AT+FDT\r"));

    // The sender's cancel: NUL DLE ETX, then ATH; the receiver hears a hang-up.
    Line line2({"port 1 number=1001", "port 2 number=1002"});
    line2.Start();
    Connect(line2, 2, 2);
    EXPECT_EQ("\r\nOK\r\n", line2.Say(1, std::string("\x00\x10\x03", 3)));
    EXPECT_EQ("\r\nOK\r\n", line2.Say(1, "ATH\r"));
    EXPECT_EQ("\r\n+FHNG: 50\r\n\r\nOK\r\n", line2.Say(2, "AT+FDR\r"));
}

} // namespace

namespace {

// Random command fragments and bytes on two modems with every fault active:
// the engine must stay within its buffers (ASan/UBSan watch) and keep answering.
TEST(ModemSimRobustness, RandomDialoguesKeepTheLineSound)
{
    const char *pieces[] = {
        "AT\r", "ATE0V0\r", "ATV1\r", "AT+FCLASS=2\r", "AT+FCLASS=2.0\r", "AT+FCLASS=8\r", "ATD1002\r",
        "ATD1001\r", "ATD2000\r", "ATA\r", "AT+FDT\r", "AT+FDR\r", "AT+FET=0\r", "AT+FET=2\r", "AT+FPS?\r",
        "ATH\r", "ATZ\r", "AT#CLS=8\r", "AT#CLS=2\r", "AT+FDCC=1,5,2,2,3,2,1,7\r", "AT+FLID=\"X\"\r",
        "AT+FSA=\"12\"\r", "ATS0=1\r", "+++", "\x10\x03", "\x10,", "\x10.", "\x12", "\x18", "\x10\x10",
        "AT+FBOR=3\r", "AT+FCC=9\r", "AT\x08\x08\r",
    };
    const int n = sizeof pieces / sizeof pieces[0];
    Line line({"port 1 number=1001", "port 2 number=1002 dlesub=1", "remote 2000 rings=1",
               "fault 1 xoff page=1 bytes=3 ms=50", "fault 2 drop page=2 bytes=7",
               "fault 2 pageerror page=1 status=2", "fault 1 garbage", "fault 2 odd ced a4 f ff",
               "fault 1 silent after=500 ms=300", "set ring=50 dial=20 ringlimit=3 rate=5000"});
    line.Config().remotes[0].pages[0].assign(kPage1.begin(), kPage1.end());
    line.Config().remotes[0].numPages = 1;
    line.Start();
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    size_t heard = 0;
    for (int i = 0; i < 20000; i++) {
        int com = 1 + static_cast<int>(next() % 2);
        std::string bytes;
        if (next() % 4 == 0) {
            for (int k = static_cast<int>(next() % 40); k > 0; k--)
                bytes += static_cast<char>(next() & 0xFF);
        } else {
            bytes = pieces[next() % n];
        }
        heard += line.Say(com, bytes).size();
        if (next() % 8 == 0)
            line.Advance(static_cast<int>(next() % 200));
        if (i % 1000 == 999)
            SimControl(line.Raw(), "call 2000 1001", nullptr, 0);
    }
    line.Advance(2000);
    EXPECT_GT(heard, 0u);
    EXPECT_LT(heard, 20u * 1000 * 1000);
    // Both modems still answer once reset.
    line.Say(1, std::string(1, '\x18') + "\x10\x03");
    line.Say(2, std::string(1, '\x18') + "\x10\x03");
    line.Advance(3000);
    EXPECT_NE(std::string::npos, line.Say(1, "\rATZ\r").find("OK"));
    EXPECT_NE(std::string::npos, line.Say(2, "\rATZ\r").find("OK"));
}

} // namespace
