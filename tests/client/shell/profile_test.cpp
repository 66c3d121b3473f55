// User settings: reading over the system defaults, the system parameters,
// and the rewrite that keeps every paragraph the client does not own.
#include "client/shell/profile.h"

#include "client/shell/identity.h"
#include "tests/client/shell/workdir.h"
#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

FILE *StreamOf(const std::string &text) { return TempStreamOf(text); }
std::string Contents(FILE *f) { return StreamText(f); }

const TvDateTime kToday = {1996, 3, 5, 9, 7, 3};

TvUserProfile Defaults()
{
    TvUserProfile p{};
    SetProfileDefaults(&p, "JSMITH", "S:\\SYS\\");
    p.userCopy = p.systemCopy;
    return p;
}

TvUserProfile ReadOptions(const std::string &options, bool systemFile, int32_t rights)
{
    TvUserProfile p = Defaults();
    FILE *f = StreamOf("[TAVRINE]\r\nType: UserProfile\r\n\r\n[OPTIONS]\r\n" + options);
    EXPECT_EQ(1, ReadProfileOptions(f, systemFile, rights, kToday, &p));
    std::fclose(f);
    return p;
}

TEST(IntlFormats, FromTheInternationalSettings)
{
    const struct {
        const char *sTime, *sShortDate, *time, *date;
        int order;
    } cases[] = {
        {":", "dd/MM/yyyy", "%02d:%02d", "%02d/%02d/%02d", TV_DATE_DMY},
        {".", "M/d/yy", "%02d.%02d", "%02d/%02d/%02d", TV_DATE_MDY},
        {nullptr, "yyyy-MM-dd", "%02d:%02d", "%02d-%02d-%02d", TV_DATE_YMD},
        {"", "dd.MM.yy", "%02d:%02d", "%02d.%02d.%02d", TV_DATE_DMY},
        {":", nullptr, "%02d:%02d", "%02d-%02d-%02d", TV_DATE_YMD},
        {":", "dd", "%02d:%02d", "%02d%02d%02d", TV_DATE_DMY},
        // A '%' separator is printed, never taken for a conversion.
        {"%", "dd%MM%yy", "%02d%%%02d", "%02d%%%02d%%%02d", TV_DATE_DMY},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sShortDate ? c.sShortDate : "(none)");
        TvIntlFormats f;
        IntlFormatsFrom(c.sTime, c.sShortDate, &f);
        EXPECT_STREQ(c.time, f.timeFormat);
        EXPECT_STREQ(c.date, f.dateFormat);
        EXPECT_EQ(c.order, f.dateOrder);
    }
}

TEST(ProfileReader, BuiltInDefaults)
{
    TvUserProfile p = Defaults();
    EXPECT_STREQ("JSMITH", p.from);
    EXPECT_STREQ("(None)", p.userCopy.coversheet);
    EXPECT_EQ(TV_PRIORITY_NORMAL, p.userCopy.priority);
    EXPECT_EQ(TV_QUALITY_NORMAL, p.userCopy.quality);
    EXPECT_EQ(TV_SEND_NOW, p.userCopy.sendTime.mode);
    EXPECT_EQ(1, p.userCopy.sendTime.today);
    EXPECT_TRUE(p.fileInformation);
    EXPECT_STREQ("S:\\SYS\\T-GRAPH\\", p.directory);
    EXPECT_EQ(TV_LIST_FILED, p.window);
    EXPECT_EQ(3, p.viewerRes);
    EXPECT_EQ(3, p.tidyAgeInDays);
    EXPECT_TRUE(p.tidyPreviewed);
}

TEST(ProfileReader, UserFileValues)
{
    TvUserProfile p = ReadOptions("From: Jo Smith\r\nTelephone:\r\nCoversheet:\r\nLetterhead: ACME\r\n"
                                  "Priority: URGENT\r\nAfter: 25:00:00\r\nHeader: NoDaTi\r\nQuality: HIGH\r\n"
                                  "FileInformation: NO\r\nDirectory: d:\\filed\r\nAlertReceive: NO\r\n"
                                  "AlertSend:\r\nLocalPrinter:  HP Laser , HPPCL5 ,LPT1: \r\nButtons: text\r\n"
                                  "Status: no\r\nViewerRes: O\r\nConfirmOptions: No\r\nWindow: outgoing\r\n"
                                  "TidySentOK: N\r\nTidyAgeInDays: 14\r\n",
                                  false, TV_RIGHTS_DEFAULT);
    const TvMessageDefaults &d = p.userCopy;
    EXPECT_STREQ("Jo Smith", p.from);
    EXPECT_STREQ("", p.telephone);
    EXPECT_STREQ("(None)", d.coversheet);
    EXPECT_STREQ("ACME", d.letterhead);
    EXPECT_EQ(TV_PRIORITY_URGENT, d.priority);
    EXPECT_EQ(TV_SEND_AT, d.sendTime.mode);
    EXPECT_EQ(25, d.sendTime.hour);
    EXPECT_EQ(96, d.sendTime.year);
    EXPECT_EQ(3, d.sendTime.month);
    EXPECT_EQ(5, d.sendTime.day);
    EXPECT_EQ(TV_HEADER_NO | TV_HEADER_DA | TV_HEADER_TI, d.header);
    EXPECT_EQ(TV_QUALITY_HIGH, d.quality);
    EXPECT_FALSE(p.fileInformation);
    EXPECT_STREQ("*.*", p.match);
    EXPECT_STREQ("D:\\FILED\\", p.directory);
    EXPECT_FALSE(d.alertReceive);
    EXPECT_FALSE(d.alertGroupReceive) << "follows AlertReceive when absent";
    EXPECT_TRUE(d.alertSend);
    ASSERT_TRUE(p.localPrinter.set);
    EXPECT_STREQ("HP Laser", p.localPrinter.device);
    EXPECT_STREQ("HPPCL5", p.localPrinter.driver);
    EXPECT_STREQ("LPT1:", p.localPrinter.port);
    EXPECT_FALSE(p.toolIconRow);
    EXPECT_TRUE(p.toolTextRow);
    EXPECT_FALSE(p.statusBar);
    EXPECT_EQ(4, p.viewerRes);
    EXPECT_FALSE(p.confirmOptions);
    EXPECT_EQ(TV_LIST_WAITING, p.window);
    EXPECT_FALSE(p.tidySentOk);
    EXPECT_EQ(14, p.tidyAgeInDays);
    // The system copy stays as it was.
    EXPECT_EQ(TV_PRIORITY_NORMAL, p.systemCopy.priority);
}

TEST(ProfileReader, ValueRules)
{
    const struct {
        const char *options;
        int32_t rights;
        int16_t priority;
        int32_t mode;
        int16_t quality;
    } cases[] = {
        {"Priority: URGENT\r\n", TV_RIGHTS_DEFAULT & ~TV_RIGHT_URGENT, TV_PRIORITY_NORMAL, TV_SEND_NOW, 2},
        {"Priority: urgent\r\n", TV_RIGHTS_DEFAULT, TV_PRIORITY_BACKGROUND, TV_SEND_NOW, 2},
        {"Priority: NORMAL \r\nAfter: offpeak later today\r\n", 0, TV_PRIORITY_NORMAL, TV_SEND_OFFPEAK, 2},
        {"After: soon\r\nQuality: high\r\n", 0, TV_PRIORITY_NORMAL, TV_SEND_NOW, TV_QUALITY_DRAFT},
        {"After: 7:05:00\r\nQuality: NORMAL\r\n", 0, TV_PRIORITY_NORMAL, TV_SEND_AT, TV_QUALITY_NORMAL},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.options);
        TvUserProfile p = ReadOptions(c.options, false, c.rights);
        EXPECT_EQ(c.priority, p.userCopy.priority);
        EXPECT_EQ(c.mode, p.userCopy.sendTime.mode);
        EXPECT_EQ(c.quality, p.userCopy.quality);
    }
}

TEST(ProfileReader, SystemDefaultFile)
{
    TvUserProfile p = ReadOptions("From: Admin\r\nDirectory: x:\\\r\nMailAddressBook: YES\r\nPriority: NORMAL\r\n"
                                  "Quality: HIGH\r\nTidyAgeInDays: 9\r\n",
                                  true, TV_RIGHTS_DEFAULT & ~TV_RIGHT_SUBMIT_ANY);
    EXPECT_STREQ("JSMITH", p.from);
    EXPECT_STREQ("S:\\SYS\\T-GRAPH\\", p.directory);
    EXPECT_FALSE(p.mailAddressBook) << "needs SubmitAny in the system file";
    EXPECT_EQ(TV_QUALITY_HIGH, p.systemCopy.quality);
    EXPECT_EQ(TV_QUALITY_NORMAL, p.userCopy.quality);
    EXPECT_EQ(3, p.tidyAgeInDays);
    EXPECT_TRUE(ReadOptions("MailAddressBook: YES\r\n", true, TV_RIGHTS_DEFAULT).mailAddressBook);

    TvUserProfile none = Defaults();
    FILE *f = StreamOf("[TAVRINE]\r\nType: UserProfile\r\n");
    EXPECT_EQ(0, ReadProfileOptions(f, false, 0, kToday, &none));
    EXPECT_TRUE(ControlFileHasType(f, "userprofile"));
    EXPECT_FALSE(ControlFileHasType(f, "SystemInit"));
    std::fclose(f);
}

TvSystemParams ReadParams(const std::string &text, TvWorkstationConfig *cfg)
{
    TvSystemParams s;
    SetSystemParamDefaults(&s);
    TvErrorLog log{};
    FILE *f = StreamOf(text);
    ReadSystemParams(f, &s, cfg, &log);
    std::fclose(f);
    return s;
}

TEST(SystemParams, DefaultsAndValues)
{
    TvWorkstationConfig cfg{};
    cfg.checkNewTimer = TV_TIMER_UNSET;
    cfg.checkServerTimer = 4;
    TvSystemParams d = ReadParams("", &cfg);
    EXPECT_FALSE(d.scanners);
    EXPECT_TRUE(d.enableRouting && d.enableMail && d.v4 && d.previewAll && d.viewAskOrganisation);
    EXPECT_FALSE(d.fullExportFilters);
    EXPECT_TRUE(d.useArchiveAttribute);
    EXPECT_EQ(58, d.mailSendFormat);
    EXPECT_EQ(10, d.coverMaxLine);
    EXPECT_EQ(60, d.coverLineLen);
    EXPECT_EQ(50, d.maxMessageRecipients);
    EXPECT_EQ(250, d.sendListEntries);
    EXPECT_EQ(0, d.chargeCode);

    TvSystemParams s = ReadParams("[TAVRINE]\r\nType: SystemInit\r\n\r\n[SCANNERS]\r\nDevice: SCAN1\r\n\r\n"
                                  "[PRINTERS]\r\nName: x\r\n\r\n[OPTIONS]\r\nEnableMail: N\r\nV4: no\r\n"
                                  "UseArchiveAttribute: no\r\nMailSendFileExt: .tif\r\nFullExportFilters: Y\r\n"
                                  "\r\n[WORKSTATION]\r\nCoverLineLen: 5\r\nSendListEntries: x\r\n"
                                  "ChargeCode: optional\r\nCheckNewTimer: 2\r\nCheckServerTimer: 99\r\n",
                                  &cfg);
    EXPECT_TRUE(s.scanners);
    EXPECT_FALSE(s.printers);
    EXPECT_FALSE(s.enableMail);
    EXPECT_FALSE(s.v4);
    EXPECT_TRUE(s.fullExportFilters);
    EXPECT_FALSE(s.useArchiveAttribute);
    EXPECT_STREQ("TIF", s.mailSendFileExt);
    EXPECT_EQ(10, s.coverLineLen);
    EXPECT_EQ(250, s.sendListEntries);
    EXPECT_EQ(2, s.chargeCode);
    EXPECT_EQ(2, cfg.checkNewTimer);
    EXPECT_EQ(4, cfg.checkServerTimer) << "set by the workstation: not read again";

    TvSystemParams t = ReadParams("[OPTIONS]\r\nMailSendFileExt: TIFF\r\nUseArchiveAttribute: maybe\r\n"
                                  "\r\n[WORKSTATION]\r\nCoverLineLen: 200\r\nChargeCode: Yes\r\n",
                                  &cfg);
    EXPECT_STREQ("", t.mailSendFileExt);
    EXPECT_TRUE(t.useArchiveAttribute);
    EXPECT_EQ(80, t.coverLineLen);
    EXPECT_EQ(1, t.chargeCode);
}

// A system area and a user's T-DB\ under a scratch folder that is the
// working directory, so the upper-cased areas name real folders.
class ProfileFiles : public ::testing::Test {
protected:
    tvtest::TempDir dir{"profile"};
    ScopedWorkDir work{dir};
    TvErrorLog log{};
    TvShellHooks hooks = *TvDefaultShellHooks();
    TvProfileContext ctx{};
    TvSystemParams params{};

    void SetUp() override
    {
        dir.MakeDir("SYS/T-DB");
        dir.MakeDir("USR/T-DB");
        dir.MakeDir("LOG");
        ErrorLogInit(&log, "LOG/", &hooks);
        ctx = {&hooks, &log, "SYS/", "USR/T-DB/", "JSMITH", TV_RIGHTS_DEFAULT};
        SetSystemParamDefaults(&params);
    }
    void Put(const std::string &name, const std::string &text) { ASSERT_TRUE(WriteWholeFile(name, text)); }
    std::string Get(const std::string &name) { return ReadWholeFile(name); }
};

TEST_F(ProfileFiles, NoFilesKeepDefaultsAndTryAgain)
{
    TvUserProfile p{};
    ReadUserProfile(&ctx, &params, &p);
    EXPECT_FALSE(p.read);
    EXPECT_STREQ("JSMITH", p.from);
    EXPECT_NE(std::string::npos, Get("LOG/TAVRINE.LOG").find("Cannot read default user settings file"));

    Put("SYS/T-DB/USER.INI", "[TAVRINE]\r\nType: UserProfile\r\n\r\n[OPTIONS]\r\nQuality: HIGH\r\n"
                             "AlertReceive: no\r\n");
    Put("USR/T-DB/USER.INI", "[TAVRINE]\r\nType: UserProfile\r\n\r\n[OPTIONS]\r\nFax: 0181\r\n");
    ReadUserProfile(&ctx, &params, &p);
    EXPECT_TRUE(p.read);
    EXPECT_EQ(TV_QUALITY_HIGH, p.userCopy.quality) << "the user's copy starts from the system's";
    EXPECT_FALSE(p.userCopy.alertGroupReceive);
    EXPECT_STREQ("0181", p.fax);

    // Read once: a changed file is not read again.
    Put("USR/T-DB/USER.INI", "[TAVRINE]\r\nType: UserProfile\r\n\r\n[OPTIONS]\r\nFax: 999\r\n");
    ReadUserProfile(&ctx, &params, &p);
    EXPECT_STREQ("0181", p.fax);
}

TEST_F(ProfileFiles, SystemParamsFallBackWhenUnreadable)
{
    TvWorkstationConfig cfg{};
    cfg.statusTimer = 10;
    cfg.checkNewTimer = cfg.checkIdleNewTimer = cfg.checkWaitingTimer = cfg.checkIdleWaitingTimer =
        cfg.checkServerTimer = TV_TIMER_UNSET;
    EXPECT_EQ(1, InitSystemParams(&ctx, &params, &cfg));
    EXPECT_EQ(10, cfg.checkNewTimer);
    EXPECT_EQ(100, cfg.checkServerTimer);

    Put("SYS/T-DB/SETUP.INI", "[TAVRINE]\r\nType: Setup\r\n\r\n[OPTIONS]\r\nV4: N\r\n");
    cfg.checkServerTimer = TV_TIMER_UNSET;
    EXPECT_EQ(1, InitSystemParams(&ctx, &params, &cfg));
    EXPECT_TRUE(params.v4) << "wrong type: defaults stay";
    EXPECT_EQ(100, cfg.checkServerTimer);

    Put("SYS/T-DB/SETUP.INI", "[TAVRINE]\r\nType: SystemInit\r\n\r\n[OPTIONS]\r\nV4: N\r\n\r\n"
                              "[WORKSTATION]\r\nCheckServerTimer: 30\r\n");
    cfg.checkServerTimer = TV_TIMER_UNSET;
    EXPECT_EQ(1, InitSystemParams(&ctx, &params, &cfg));
    EXPECT_FALSE(params.v4);
    EXPECT_EQ(30, cfg.checkServerTimer);
}

// The [OPTIONS] the writer puts out for the built-in defaults.
const char kDefaultOptions[] = "[OPTIONS]\r\nFrom: JSMITH\r\nTelephone: \r\nFax: \r\nEmail: \r\nFromParam: \r\n"
                               "Coversheet:\r\nLetterhead:\r\nPriority: NORMAL\r\nAfter:\r\nHeader: \r\n"
                               "Quality: NORMAL\r\nFileInformation: YES\r\nMailAddressBook: NO\r\n"
                               "Directory: S:\\SYS\\T-GRAPH\\\r\nMatch: \r\nAlertReceive: NO\r\n"
                               "AlertGroupReceive: NO\r\nAlertSend: NO\r\nAlertPreview: NO\r\nAlertFail: NO\r\n"
                               "Buttons: NONE\r\nStatus: NO\r\nViewerRes: 3\r\nConfirmOptions: YES\r\n"
                               "Window: FILED\r\nTidyReceived: YES\r\nTidySentOK: YES\r\nTidySentFail: YES\r\n"
                               "TidyPreviewed: YES\r\nTidyAgeInDays: 3\r\n";

TEST(ProfileWriter, KeepsForeignParagraphsInOrder)
{
    const std::string old = "[TAVRINE]\r\nType: UserProfile\r\nRevision: A\r\n\r\n"
                            "[OPTIONS]\r\nFax: old\r\n; note\r\n\r\n"
                            "[RECIPIENTS]\r\n; recent first\r\nA1: one\r\nA2: two\r\nA3: three\r\nA4: four\r\n\r\n\r\n"
                            "[DATASOURCE]\r\nType: File\r\nSourcename: Book\r\n"
                            "[CHARGECODES]\r\nC1: Legal\r\n";
    FILE *in = StreamOf(old);
    FILE *out = std::tmpfile();
    TvUserProfile p = Defaults();
    ASSERT_EQ(1, WriteProfileStream(in, out, &p, 2));
    EXPECT_EQ("[TAVRINE]\r\nType: UserProfile\r\nRevision: A\r\n\r\n"
              "[RECIPIENTS]\r\n; recent first\r\nA3: three\r\nA4: four\r\n\r\n"
              "[DATASOURCE]\r\nType: File\r\nSourcename: Book\r\n\r\n"
              "[CHARGECODES]\r\nC1: Legal\r\n\r\n" +
                  std::string(kDefaultOptions),
              Contents(out));
    std::fclose(in);
    std::fclose(out);
}

TEST(ProfileWriter, ConvertsOldAddressParagraph)
{
    const std::string old = "[TAVRINE]\r\nType: UserProfile\r\n\r\n[ADDRESSEES]\r\n"
                            "1: \"Jo\" \"Acme Ltd Sales-Dept.9\" 0181\r\n"
                            "x2: \"A\" \"B\"\r\n"
                            "X: stays\r\n"
                            "3: no quotes\r\n"
                            "Name: kept\r\n";
    FILE *in = StreamOf(old);
    FILE *out = std::tmpfile();
    TvUserProfile p = Defaults();
    ASSERT_EQ(1, WriteProfileStream(in, out, &p, 250));
    EXPECT_EQ("[TAVRINE]\r\nType: UserProfile\r\n\r\n[RECIPIENTS]\r\n"
              "1SalesDep: \"Jo\" \"Acme Ltd Sales-Dept.9\" 0181\r\n"
              "x2B: \"A\" \"B\"\r\n"
              "X: stays\r\n"
              "Name: kept\r\n\r\n" +
                  std::string(kDefaultOptions),
              Contents(out));
    std::fclose(in);
    std::fclose(out);
}

TEST(ProfileWriter, WritesWhatReadsBack)
{
    TvUserProfile p = Defaults();
    TvMessageDefaults &d = p.userCopy;
    std::snprintf(d.coversheet, sizeof d.coversheet, "COVER1");
    d.priority = TV_PRIORITY_URGENT;
    d.quality = TV_QUALITY_DRAFT;
    d.sendTime.mode = TV_SEND_AT;
    d.sendTime.hour = 7;
    d.sendTime.minute = 5;
    d.header = TV_HEADER_NO | TV_HEADER_DA | TV_HEADER_TI;
    d.alertSend = true;
    std::snprintf(d.scanner, sizeof d.scanner, "SCAN1");
    p.localPrinter = {true, "HP Laser", "HPPCL5", "LPT1:"};
    p.toolIconRow = true;
    p.statusBar = true;
    p.viewerRes = TV_VIEWER_RES_O;
    p.window = TV_LIST_NEW;
    p.tidyAgeInDays = 12;

    FILE *out = std::tmpfile();
    ASSERT_EQ(1, WriteProfileStream(nullptr, out, &p, 250));
    std::string text = Contents(out);
    EXPECT_EQ(0u, text.find("[TAVRINE]\r\nType: UserProfile\r\nRevision: A\r\n\r\n[OPTIONS]\r\n"));
    for (const char *line : {"Coversheet: COVER1\r\n", "Priority: URGENT\r\n", "After: 07:05:00\r\n",
                             "Header: NoDaTi\r\n", "Quality: DRAFT\r\n", "Scanner: SCAN1\r\n",
                             "LocalPrinter: HP Laser,HPPCL5,LPT1:\r\n", "Buttons: ICON\r\n", "ViewerRes: O\r\n",
                             "Window: IN\r\n"})
        EXPECT_NE(std::string::npos, text.find(line)) << line;

    TvUserProfile back = Defaults();
    ASSERT_EQ(1, ReadProfileOptions(out, false, TV_RIGHTS_DEFAULT, kToday, &back));
    EXPECT_STREQ("COVER1", back.userCopy.coversheet);
    EXPECT_EQ(d.priority, back.userCopy.priority);
    EXPECT_EQ(d.quality, back.userCopy.quality);
    EXPECT_EQ(d.header, back.userCopy.header);
    EXPECT_EQ(TV_SEND_AT, back.userCopy.sendTime.mode);
    EXPECT_EQ(5, back.userCopy.sendTime.minute);
    EXPECT_TRUE(back.userCopy.alertSend);
    EXPECT_STREQ("HPPCL5", back.localPrinter.driver);
    EXPECT_TRUE(back.toolIconRow);
    EXPECT_FALSE(back.toolTextRow);
    EXPECT_EQ(TV_VIEWER_RES_O, back.viewerRes);
    EXPECT_EQ(TV_LIST_NEW, back.window);
    EXPECT_EQ(12, back.tidyAgeInDays);
    std::fclose(out);
}

TEST_F(ProfileFiles, RewriteInPlaceAndNewFile)
{
    TvUserProfile p = Defaults();
    // No file yet: created with its header.
    ASSERT_EQ(1, WriteUserDetails(&ctx, &params, &p));
    EXPECT_EQ("[TAVRINE]\r\nType: UserProfile\r\nRevision: A\r\n\r\n" + std::string(kDefaultOptions),
              Get("USR/T-DB/USER.INI"));

    Put("USR/T-DB/USER.INI", "[TAVRINE]\r\nType: UserProfile\r\n\r\n[OPTIONS]\r\nFax: 1\r\n\r\n"
                             "[RECIPIENTS]\r\nA1: one\r\n");
    ASSERT_EQ(1, WriteUserDetails(&ctx, &params, &p));
    EXPECT_EQ("[TAVRINE]\r\nType: UserProfile\r\n\r\n[RECIPIENTS]\r\nA1: one\r\n\r\n" + std::string(kDefaultOptions),
              Get("USR/T-DB/USER.INI"));
    EXPECT_FALSE(std::filesystem::exists("USR/T-DB/USER.TMP")) << "the work file is removed";

    // An old layout is converted when read.
    Put("USR/T-DB/USER.INI", "[TAVRINE]\r\nType: UserProfile\r\n\r\n[ADDRESSEES]\r\n1: \"a\" \"b c\"\r\n\r\n"
                             "[OPTIONS]\r\nFax: 2\r\n");
    TvUserProfile q = Defaults();
    ASSERT_EQ(1, InitUserProfile(&ctx, &params, &q));
    std::string converted = Get("USR/T-DB/USER.INI");
    EXPECT_EQ(0u, converted.find("[TAVRINE]\r\nType: UserProfile\r\n\r\n[RECIPIENTS]\r\n1c: \"a\" \"b c\"\r\n\r\n"
                                 "[OPTIONS]\r\n"));
    EXPECT_NE(std::string::npos, converted.find("Fax: 2\r\n"));
}

} // namespace
