// Workstation configuration: keys and defaults, values, the secondary
// server decision, the user's directories and the logged failures.
#include "client/shell/wsconfig.h"

#include "common/formats.h"
#include "tests/client/shell/workdir.h"
#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(ConfigValues, FlagsNetworkMailFormats)
{
    EXPECT_TRUE(FlagNotNo(""));
    EXPECT_TRUE(FlagNotNo("yes"));
    EXPECT_FALSE(FlagNotNo("no"));
    EXPECT_FALSE(FlagNotNo("NOT"));
    EXPECT_TRUE(FlagYes("Yes please"));
    EXPECT_FALSE(FlagYes(""));
    EXPECT_FALSE(FlagYes("Y"));

    const std::pair<const char *, int> nets[] = {
        {"Primary", 6}, {"secondary", 7}, {"Tertiary", 8}, {"Other", 1},   {"LanManager", 2}, {"wfw", 3},
        {"Netware4", 4}, {"NETBIOSX", 5}, {"NETBIOS", 1},  {"none", 1},    {"Banyan", 0},     {"", 0},
    };
    for (const auto &n : nets)
        EXPECT_EQ(n.second, NetworkTypeFromValue(n.first)) << n.first;

    EXPECT_EQ(0, MailSystemFromValue("None"));
    EXPECT_EQ(1, MailSystemFromValue("vim"));
    EXPECT_EQ(2, MailSystemFromValue("MAPI32"));
    EXPECT_EQ(3, MailSystemFromValue("CMC"));
    EXPECT_EQ(-1, MailSystemFromValue("SMTP"));

    for (int16_t code : {5, 7})
        EXPECT_EQ(code, ProgramFormatFromName(FormatLongName(code))) << code;
    EXPECT_EQ(6, ProgramFormatFromName(FormatLongName(58))) << "TIFF-G3-FAX is no program format";
    EXPECT_EQ(6, ProgramFormatFromName(""));
    EXPECT_EQ(6, ProgramFormatFromName("NO-SUCH-FORMAT"));
}

TEST(ConfigValues, WindowPlacement)
{
    TvWindowPlacement p;
    ASSERT_TRUE(ParseWindowPlacement("Z 1024 10 500 768 20 400", &p));
    EXPECT_EQ('Z', p.state);
    EXPECT_TRUE(PlacementFits(p, 1024, 768));
    EXPECT_FALSE(PlacementFits(p, 800, 600));
    EXPECT_FALSE(ParseWindowPlacement("N 1024 10 500 768 20", &p));

    const TvWindowPlacement bad[] = {
        {'N', 800, -1, 100, 600, 0, 100}, {'N', 800, 100, 100, 600, 0, 100},
        {'N', 800, 0, 801, 600, 0, 100},  {'N', 800, 0, 100, 600, 50, 601},
    };
    for (const TvWindowPlacement &b : bad)
        EXPECT_FALSE(PlacementFits(b, 800, 600)) << b.left << " " << b.right << " " << b.bottom;
    EXPECT_TRUE(PlacementFits({'N', 800, 0, 800, 600, 0, 600}, 800, 600));
}

TEST(ConfigValues, DirectoriesAndTemplates)
{
    char out[TV_AREA_MAX + 1];
    ASSERT_TRUE(StoreDirectory("t:\\log", out, sizeof out));
    EXPECT_STREQ("T:\\LOG\\", out);
    ASSERT_TRUE(StoreDirectory("T:\\LOG\\", out, sizeof out));
    EXPECT_STREQ("T:\\LOG\\", out);
    EXPECT_FALSE(StoreDirectory("abcd", out, 5));

    const struct {
        const char *templ;
        const char *expect;
    } cases[] = {
        {"T:\\USERS\\%username%", "T:\\USERS\\JSMITH\\"},
        {"T:\\USERS\\%NAME%\\X", "T:\\USERS\\JSMITH\\X\\"},
        {"T:\\U\\%OTHER%\\", "T:\\U\\%OTHER%\\"},
        {"T:\\FIXED", "T:\\FIXED\\"},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(ExpandUserArea(c.templ, "JSMITH", out, sizeof out)) << c.templ;
        EXPECT_STREQ(c.expect, out);
    }
    EXPECT_FALSE(ExpandUserArea(std::string(300, 'x').c_str(), "A", out, sizeof out));
}

TEST(ConfigValues, TimerResolution)
{
    TvWorkstationConfig c{};
    c.statusTimer = 10;
    c.checkNewTimer = c.checkIdleNewTimer = c.checkWaitingTimer = c.checkIdleWaitingTimer = c.checkServerTimer =
        TV_TIMER_UNSET;
    ResolveCheckTimers(&c);
    EXPECT_EQ(10, c.checkNewTimer);
    EXPECT_EQ(10, c.checkIdleNewTimer);
    EXPECT_EQ(100, c.checkServerTimer);

    c.checkNewTimer = 3;
    c.checkIdleNewTimer = TV_TIMER_UNSET;
    c.checkWaitingTimer = 0;
    c.checkIdleWaitingTimer = TV_TIMER_UNSET;
    ResolveCheckTimers(&c);
    EXPECT_EQ(3, c.checkIdleNewTimer);
    EXPECT_EQ(0, c.checkIdleWaitingTimer);
}

// What the GUI would have been asked.
struct Recorder {
    std::vector<std::string> boxes, questions, started, probes;
    std::vector<int> serverAnswers; // one per probe; 0 once they run out
    bool answerYes = false;
    std::string logon = "jsmith";
    int login = TV_LOGIN_CANCELLED;
    int screenW = 0, screenH = 0;
};

TvShellHooks HooksFor(Recorder *r)
{
    TvShellHooks h = *TvDefaultShellHooks();
    h.context = r;
    h.messageBox = [](void *c, const char *t, TvBoxIcon, bool) { static_cast<Recorder *>(c)->boxes.push_back(t); };
    h.askYesNo = [](void *c, const char *t) {
        Recorder *r = static_cast<Recorder *>(c);
        r->questions.push_back(t);
        return r->answerYes;
    };
    h.isServerAvailable = [](void *c, const char *area) {
        Recorder *r = static_cast<Recorder *>(c);
        r->probes.push_back(area);
        size_t i = r->probes.size() - 1;
        return i < r->serverAnswers.size() ? r->serverAnswers[i] : 0;
    };
    h.startProgram = [](void *c, const char *p) { static_cast<Recorder *>(c)->started.push_back(p); };
    h.runLoginDialog = [](void *c) { return static_cast<Recorder *>(c)->login; };
    h.logonName = [](void *c, char *out, size_t size) {
        Recorder *r = static_cast<Recorder *>(c);
        std::snprintf(out, size, "%s", r->logon.c_str());
        return !r->logon.empty();
    };
    h.screenSize = [](void *c, int *w, int *hh) {
        Recorder *r = static_cast<Recorder *>(c);
        *w = r->screenW;
        *hh = r->screenH;
        return r->screenW > 0;
    };
    return h;
}

class ConfigFile : public ::testing::Test {
protected:
    tvtest::TempDir dir{"wscfg"};
    ScopedWorkDir work{dir};
    Recorder rec;
    TvShellHooks hooks{};
    TvErrorLog log{};
    TvWorkstationConfig cfg{};
    TvIdentity id{};
    std::string ini;
    std::string logDir;

    void SetUp() override
    {
        hooks = HooksFor(&rec);
        ini = dir.File("TAVRINE.INI");
        dir.MakeDir("LOG");
        logDir = "LOG";
    }
    int Read(const std::string &text, bool quiet = false)
    {
        EXPECT_TRUE(WriteWholeFile(ini, text));
        TvConfigContext ctx{&hooks, &log, quiet, false};
        return ReadWorkstationConfig(ini.c_str(), &ctx, &cfg, &id);
    }
    // A [WORKSTATION] paragraph with the required keys and extra lines.
    std::string Minimal(const std::string &extra) const
    {
        return "[WORKSTATION]\r\nLogArea: " + logDir + "\r\nRequestArea: r:\\req\r\nSystemArea: s:\\sys\r\n"
               "Network: Other\r\nUserArea: u:\\users\\%NAME%\r\n" + extra;
    }
};

TEST_F(ConfigFile, DefaultsOfEveryKey)
{
    ASSERT_EQ(TV_CFG_OK, Read(Minimal("")));
    EXPECT_TRUE(cfg.checkServer);
    EXPECT_FALSE(cfg.invertTwain);
    EXPECT_FALSE(cfg.enableScanner);
    EXPECT_TRUE(cfg.showTwain);
    EXPECT_FALSE(cfg.showDashes);
    EXPECT_STREQ("", cfg.decode);
    EXPECT_EQ(6, cfg.decodeFormat);
    EXPECT_EQ(6, cfg.ocrFormat);
    EXPECT_STREQ("R:\\REQ\\", cfg.requestArea);
    EXPECT_STREQ("~TAVRINE", cfg.spool);
    EXPECT_STREQ("LPT1", cfg.redirect);
    EXPECT_EQ(10, cfg.statusTimer);
    EXPECT_EQ(TV_TIMER_UNSET, cfg.checkNewTimer);
    EXPECT_EQ(TV_TIMER_UNSET, cfg.checkServerTimer);
    EXPECT_EQ(5, cfg.spoolCheckTimer);
    EXPECT_STREQ("TAVRINE.HLP", cfg.help);
    EXPECT_FALSE(cfg.placementSaved);
    EXPECT_STREQ("S:\\SYS\\", cfg.systemArea);
    EXPECT_EQ(1, cfg.network);
    EXPECT_EQ(0, cfg.mail);
    EXPECT_STREQ("JSMITH", id.userName);
    EXPECT_STREQ("U:\\USERS\\JSMITH\\T-IN\\", cfg.userDirs[0]);
    EXPECT_STREQ("U:\\USERS\\JSMITH\\T-DB\\", cfg.userDirs[3]);
    EXPECT_STREQ("", cfg.groupDirs[0]);
    // The start line went to the log, in the log area.
    std::string log = ReadWholeFile(logDir + "/TAVRINE.LOG");
    EXPECT_NE(std::string::npos, log.find("FFFF --------------------  Tavrine program started\r\n"));
}

TEST_F(ConfigFile, ValuesGivenAndEmptyValues)
{
    ASSERT_EQ(TV_CFG_OK, Read(Minimal("CheckServer:\r\nInvertTWAIN: yes\r\nEnableScanner: YES\r\n"
                                      "ShowTWAIN: no\r\nShowDashes: x\r\nDecode:\r\nSpool:\r\nRedirect: lpt2\r\n"
                                      "StatusTimer: abc\r\nCheckNewTimer: 1\r\nCheckServerTimer: 0\r\n"
                                      "SpoolCheckTimer: 7\r\nHelp: my.hlp\r\nDefaultUser: \r\nMail:\r\n"
                                      "Window: Z 1024 10 500 768 20 400\r\n")));
    EXPECT_TRUE(cfg.checkServer);
    EXPECT_TRUE(cfg.invertTwain);
    EXPECT_TRUE(cfg.enableScanner);
    EXPECT_FALSE(cfg.showTwain);
    EXPECT_TRUE(cfg.showDashes);
    EXPECT_STREQ("", cfg.spool);
    EXPECT_STREQ("LPT2", cfg.redirect);
    EXPECT_EQ(10, cfg.statusTimer);
    EXPECT_EQ(1, cfg.checkNewTimer);
    EXPECT_EQ(0, cfg.checkServerTimer);
    EXPECT_EQ(7, cfg.spoolCheckTimer);
    EXPECT_STREQ("my.hlp", cfg.help);
    EXPECT_TRUE(cfg.placementSaved);
    EXPECT_TRUE(cfg.startMaximised);
    EXPECT_FALSE(cfg.useSavedPlacement) << "no screen known";
}

TEST_F(ConfigFile, PlacementAgainstScreenAndMapiProfile)
{
    rec.screenW = 1024;
    rec.screenH = 768;
    hooks.mapiProfileValue = [](void *) { return 1; };
    ASSERT_EQ(TV_CFG_OK, Read(Minimal("Window: N 1024 10 500 768 20 400\r\n")));
    EXPECT_TRUE(cfg.useSavedPlacement);
    EXPECT_FALSE(cfg.startMaximised);
    EXPECT_EQ(2, cfg.mail);
}

TEST_F(ConfigFile, FileAreaSuppliesTheOtherAreas)
{
    ASSERT_EQ(TV_CFG_OK, Read("[WORKSTATION]\r\nLogArea: " + logDir + "\r\nFileArea: f:\\tv\r\nNetwork: WFW\r\n"));
    EXPECT_STREQ("F:\\TV\\REQUEST\\", cfg.requestArea);
    EXPECT_STREQ("F:\\TV\\SYSTEM\\", cfg.systemArea);
    EXPECT_STREQ("F:\\TV\\USERS\\JSMITH\\T-OUT\\", cfg.userDirs[1]);
    EXPECT_STREQ("F:\\TV\\USERS\\JSMITH\\T-GRAPH\\", cfg.userDirs[2]);
}

TEST_F(ConfigFile, FailuresAndTheirLogLines)
{
    const struct {
        std::string text;
        int result;
        const char *logged;
    } cases[] = {
        {"[OTHER]\r\nLogArea: x\r\n", TV_CFG_NO_WORKSTATION, nullptr},
        {"[WORKSTATION]\r\nNetwork: Other\r\n", TV_CFG_NO_LOG_AREA, nullptr},
        {"[WORKSTATION]\r\nLogArea: " + logDir + "\r\nSystemArea: s\r\n", TV_CFG_LOGGED_ERROR,
         "Cannot find [WORKSTATION] RequestArea: entry in "},
        {"[WORKSTATION]\r\nLogArea: " + logDir + "\r\nRequestArea: r\r\nNetwork: Other\r\n", TV_CFG_LOGGED_ERROR,
         "Cannot find [WORKSTATION] SystemArea: entry in "},
        {"[WORKSTATION]\r\nLogArea: " + logDir + "\r\nRequestArea: r\r\nSystemArea: s\r\n", TV_CFG_LOGGED_ERROR,
         "Cannot find [WORKSTATION] Network: entry in "},
        {"[WORKSTATION]\r\nLogArea: " + logDir + "\r\nRequestArea: r\r\nSystemArea: s\r\nNetwork: Vines\r\n",
         TV_CFG_LOGGED_ERROR, "Invalid [WORKSTATION] Network: entry in "},
        {Minimal("Mail: SMTP\r\n"), TV_CFG_LOGGED_ERROR, "Invalid [WORKSTATION] Mail: entry in "},
        {"[WORKSTATION]\r\nLogArea: " + logDir + "\r\nRequestArea: r\r\nSystemArea: s\r\nNetwork: Other\r\n",
         TV_CFG_LOGGED_ERROR, "Cannot find [WORKSTATION] UserArea: entry in "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        std::remove((logDir + "/TAVRINE.LOG").c_str());
        EXPECT_EQ(c.result, Read(c.text));
        std::string all = ReadWholeFile(logDir + "/TAVRINE.LOG");
        if (c.logged) {
            std::string want = std::string("F807 ReadIniFiles          ") + c.logged + ini;
            EXPECT_NE(std::string::npos, all.find(want)) << all;
        }
    }
    TvConfigContext ctx{&hooks, &log, false, false};
    EXPECT_EQ(TV_CFG_CANNOT_OPEN, ReadWorkstationConfig(dir.File("NONE.INI").c_str(), &ctx, &cfg, &id));
    // Every result but 0 and 4 is reported with the path.
    rec.boxes.clear();
    EXPECT_EQ(0, ReportConfigResult(TV_CFG_LOGGED_ERROR, "T:\\TAVRINE.INI", &hooks));
    EXPECT_EQ(0, ReportConfigResult(TV_CFG_END_SILENTLY, "T:\\TAVRINE.INI", &hooks));
    EXPECT_EQ(1, ReportConfigResult(TV_CFG_OK, "T:\\TAVRINE.INI", &hooks));
    ASSERT_EQ(1u, rec.boxes.size());
    EXPECT_EQ("Invalid initialisation file: T:\\TAVRINE.INI", rec.boxes[0]);
}

const char kTwoServers[] = "[WORKSTATION-1]\r\nRequestArea: q:\\second\r\nStatusTimer: 3\r\n"
                           "SystemArea: s:\\sys1\r\nNetwork: Other\r\nUserArea: u:\\%NAME%\r\n\r\n";

TEST_F(ConfigFile, SecondaryServer)
{
    // Primary available: no question, [WORKSTATION] stays.
    rec.serverAnswers = {1};
    ASSERT_EQ(TV_CFG_OK, Read(Minimal("StatusTimer: 9\r\n") + "\r\n" + kTwoServers));
    EXPECT_TRUE(rec.questions.empty());
    EXPECT_FALSE(cfg.secondarySelected);
    EXPECT_EQ(9, cfg.statusTimer);

    // Primary away, no [SERVER]: asked; Yes selects [WORKSTATION-1].
    rec = Recorder();
    rec.answerYes = true;
    rec.serverAnswers = {0, 1};
    ASSERT_EQ(TV_CFG_OK, Read(Minimal("") + "\r\n" + kTwoServers));
    ASSERT_EQ(1u, rec.questions.size());
    EXPECT_NE(std::string::npos, rec.questions[0].find("secondary fax server"));
    EXPECT_TRUE(cfg.secondarySelected);
    EXPECT_STREQ("Q:\\SECOND\\", cfg.requestArea);
    EXPECT_EQ(3, cfg.statusTimer);
    EXPECT_STREQ("S:\\SYS1\\", cfg.systemArea);
    EXPECT_TRUE(cfg.serverRunning);

    // No: [WORKSTATION] again.
    rec = Recorder();
    ASSERT_EQ(TV_CFG_OK, Read(Minimal("") + "\r\n" + kTwoServers));
    EXPECT_FALSE(cfg.secondarySelected);
    EXPECT_STREQ("R:\\REQ\\", cfg.requestArea);

    // With [SERVER], secondary also away: offer the local server and start it.
    rec = Recorder();
    rec.answerYes = true;
    ASSERT_EQ(TV_CFG_OK, Read(Minimal("") + "\r\n" + kTwoServers + "[SERVER]\r\nServerArea: c:\\tv\r\n"));
    ASSERT_EQ(1u, rec.questions.size());
    EXPECT_NE(std::string::npos, rec.questions[0].find("local fax server"));
    ASSERT_EQ(1u, rec.started.size());
    EXPECT_EQ("c:\\tv\\TSERVER.EXE", rec.started[0]);
    EXPECT_TRUE(cfg.secondarySelected);

    // No [WORKSTATION-1]: no question, the flags set again.
    rec = Recorder();
    ASSERT_EQ(TV_CFG_OK, Read(Minimal("")));
    EXPECT_TRUE(rec.questions.empty());
    EXPECT_TRUE(cfg.serverRunning && cfg.serverAccessible);

    // The server check switched off: never probed.
    rec = Recorder();
    ASSERT_EQ(TV_CFG_OK, Read(Minimal("CheckServer: NO\r\n")));
    EXPECT_TRUE(rec.probes.empty());
}

TEST_F(ConfigFile, UnknownUserAndLogin)
{
    // A user list that does not name the user.
    std::string db = dir.MakeDir("SYS/T-DB");
    ASSERT_TRUE(WriteWholeFile(db + "/USERLIST.INI", "[USER]\r\nName: OTHER\r\nUsername: other\r\n"));
    auto Minimal = [&](const std::string &extra) {
        return "[WORKSTATION]\r\nLogArea: LOG\r\nRequestArea: r\r\nSystemArea: SYS\r\nNetwork: Other\r\n"
               "UserArea: u\r\n" + extra;
    };
    rec.logon = "nobody";
    EXPECT_EQ(TV_CFG_END_SILENTLY, Read(Minimal("")));
    ASSERT_EQ(1u, rec.boxes.size());
    EXPECT_EQ("No Tavrine account set up for nobody", rec.boxes[0]);

    rec = Recorder();
    rec.logon = "OTHER";
    id = TvIdentity{};
    EXPECT_EQ(TV_CFG_OK, Read(Minimal("")));
    EXPECT_STREQ("OTHER", id.userName);
    EXPECT_TRUE(rec.boxes.empty());

    rec = Recorder();

    rec.logon = "";
    EXPECT_EQ(TV_CFG_END_SILENTLY, Read(Minimal(""), true));
    EXPECT_TRUE(rec.boxes.empty()) << "a quiet start shows nothing";

    rec = Recorder();
    rec.logon = "";
    EXPECT_EQ(TV_CFG_END_SILENTLY, Read(Minimal("")));
    ASSERT_FALSE(rec.boxes.empty());
    EXPECT_STREQ("???", id.userName);

    rec = Recorder();
    rec.logon = "";
    rec.login = 0;
    id = TvIdentity{};
    EXPECT_EQ(TV_CFG_OK, Read(Minimal("")));

    rec = Recorder();
    id = TvIdentity{};
    EXPECT_EQ(TV_CFG_END_SILENTLY, Read(Minimal("DefaultUser: ?\r\n")));
    EXPECT_TRUE(rec.boxes.empty()) << "\"?\" goes straight to the login";
}

} // namespace
