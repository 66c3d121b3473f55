// System parameters from temporary INI trees, and the device kind table.
#include "server/runtime/sysparams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/formats.h"
#include "server/runtime/consoleio.h"
#include "server/runtime/srvlog.h"
#include "tests/support/rt_testutil.h"
#include "tests/support/tempdir.h"

namespace {

class SysParams : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSystemParameters();
        dir_ = tmp_.Path() + "\\";
        rt::MakeDir(dir_ + "sys");
        rt::MakeDir(dir_ + "sys\\T-DB");
        log_ = std::tmpfile();
        LogInit(log_, "", 1, "TEST");
    }
    void TearDown() override
    {
        LogInit(rt::QuietStream(), "", 1, "TEST");
        std::fclose(log_);
        ResetSystemParameters();
    }
    void Ini(const std::string &body) { rt::WriteText(dir_ + "TAVRINE.INI", body); }
    void Setup(const std::string &body) { rt::WriteText(dir_ + "sys\\T-DB\\SETUP.INI", body); }
    std::string Areas()
    {
        return "ServerArea=" + dir_ + "srv\r\nSystemArea: " + dir_ + "sys\\\r\nAllUserArea: " + dir_ +
               "users\r\nRequestArea:" + dir_ + "req\\\r\n";
    }
    std::string Log() { return rt::StreamText(log_); }

    tvtest::TempDir tmp_{"sysparams"};
    std::string dir_;
    FILE *log_ = nullptr;
};

TEST_F(SysParams, AreasAndOptions)
{
    Ini("[TAVRINE]\r\nType: SystemIni\r\n\r\n[SERVER-WKN]\r\nServerArea: WRONG\r\n\r\n[SERVER]\r\n; areas\r\n" +
        Areas() + "\r\n[WORKSTATION]\r\nMailArea: WRONG\r\n");
    Setup("[SERVER]\r\nSysman: SYSMAN.EXE\r\n[OPTIONS]\r\nLogFile: MY.LOG\r\nLogKeepDays: 7\r\nLanguage: DEUX\r\n");
    FILE *setup = nullptr;
    ASSERT_EQ(ReadSystemParametersFrom(dir_.c_str(), &setup), TV_OK) << Log();
    EXPECT_EQ(std::string(g_sysParams.serverArea), dir_ + "srv\\");
    EXPECT_EQ(std::string(g_sysParams.systemArea), dir_ + "sys\\");
    EXPECT_EQ(std::string(g_sysParams.allUserArea), dir_ + "users\\");
    EXPECT_EQ(std::string(g_sysParams.requestArea), dir_ + "req\\");
    EXPECT_EQ(std::string(g_sysParams.mailArea), dir_ + "srv\\T-MAIL\\");
    EXPECT_EQ(std::string(g_sysParams.logFile), dir_ + "srv\\T-DB\\MY.LOG");
    EXPECT_EQ(g_sysParams.logKeepDays, 7);
    EXPECT_STREQ(g_sysParams.language, "DEU");
    // The setup file is handed over at its start.
    ASSERT_NE(setup, nullptr);
    char line[32] = "";
    ASSERT_NE(std::fgets(line, sizeof line, setup), nullptr);
    EXPECT_EQ(std::string(line).substr(0, 8), "[SERVER]");
    std::fclose(setup);
    EXPECT_EQ(Log(), "");
}

TEST_F(SysParams, WorkstationParagraphDefaultsAndLogFileWithDirectory)
{
    Ini("[SERVER-WKN]\r\n" + Areas() + "MailArea: " + dir_ + "mail\r\n");
    Setup("[OPTIONS]\r\nLogFile: C:\\LOGS\\S.LOG\r\n");
    ASSERT_EQ(ReadSystemParametersFrom(dir_.c_str(), nullptr), TV_OK) << Log();
    EXPECT_EQ(std::string(g_sysParams.serverArea), dir_ + "srv\\");
    EXPECT_EQ(std::string(g_sysParams.mailArea), dir_ + "mail\\");
    EXPECT_STREQ(g_sysParams.logFile, "C:\\LOGS\\S.LOG");
    EXPECT_EQ(g_sysParams.logKeepDays, 0);

    // No [OPTIONS] at all: every default.
    Setup("[SERVER]\r\n");
    ASSERT_EQ(ReadSystemParametersFrom(dir_.c_str(), nullptr), TV_OK);
    EXPECT_EQ(std::string(g_sysParams.logFile), dir_ + "srv\\T-DB\\SERVER.LOG");
    char lang[8];
    GetWindowsLanguage(lang, sizeof lang);
    EXPECT_EQ(std::string(g_sysParams.language), std::string(lang).substr(0, 3));
}

TEST_F(SysParams, FailuresAreLoggedAtLevelSixWithTheirCodes)
{
    struct Case {
        const char *name;
        std::string ini;
        bool setup;
        TvStatus result;
        std::vector<std::string> lines;
    };
    std::string iniPath = dir_ + "TAVRINE.INI";
    const Case cases[] = {
        {"no paragraph", "[WORKSTATION]\r\nServerArea: x\r\n", true, TV_E_NOSERVERPARA,
         {"(S) - ERROR - [SERVER] Paragraph missing from " + iniPath + " file"}},
        {"areas missing", "[SERVER]\r\nSystemArea: " + dir_ + "sys\r\nAllUserArea: u\r\n", true, TV_E_NOAREA,
         {"(S) - ServerArea line missing from " + iniPath + " file",
          "(S) - RequestArea line missing from " + iniPath + " file"}},
        {"empty area", "[SERVER]\r\nServerArea:\r\nSystemArea: s\r\nAllUserArea: u\r\nRequestArea: r\r\n", true,
         TV_E_NOAREA, {"(S) - ServerArea line missing from " + iniPath + " file"}},
        {"no setup", "[SERVER]\r\n" + Areas(), false, TV_E_NOSETUP,
         {"(S) - ERROR - Unable to open file " + dir_ + "sys\\T-DB\\SETUP.INI"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::fclose(log_);
        log_ = std::tmpfile();
        LogInit(log_, "", 1, "TEST");
        Ini(c.ini);
        if (c.setup)
            Setup("[OPTIONS]\r\n");
        else
            rt::RemoveFile(dir_ + "sys\\T-DB\\SETUP.INI");
        EXPECT_EQ(ReadSystemParametersFrom(dir_.c_str(), nullptr), c.result);
        std::string log = Log();
        for (const std::string &l : c.lines)
            EXPECT_NE(log.find(l), std::string::npos) << l << "\nin\n" << log;
        if (c.result == TV_E_NOAREA) {
            EXPECT_EQ(log.find("SystemArea line missing"), std::string::npos);
        }
    }
    rt::RemoveFile(dir_ + "TAVRINE.INI");
    EXPECT_EQ(ReadSystemParametersFrom(dir_.c_str(), nullptr), TV_E_IO);
    EXPECT_NE(Log().find("(S) - ERROR - Can't open file " + iniPath), std::string::npos);
}

TEST_F(SysParams, OverlongLogFileNameLeavesTheLogFileEmpty)
{
    Ini("[SERVER]\r\n" + Areas());
    Setup("[OPTIONS]\r\nLogFile: " + std::string(270 - dir_.size(), 'L') + "\r\n");
    ASSERT_EQ(ReadSystemParametersFrom(dir_.c_str(), nullptr), TV_OK);
    EXPECT_STREQ(g_sysParams.logFile, "");
    EXPECT_NE(Log().find("Invalid log file name '" + dir_ + "srv\\T-DB\\LLL"), std::string::npos);
}

TEST(DeviceKinds, TableLookups)
{
    EXPECT_EQ(g_deviceKindCount, 10u);
    EXPECT_EQ(LookupDeviceType("fclass"), 1);
    EXPECT_EQ(LookupDeviceType("FClass"), 1);
    EXPECT_EQ(LookupDeviceType("FCLASSX"), 0);
    EXPECT_EQ(LookupDeviceType(nullptr), 0);
    EXPECT_EQ(DeviceKindSendRoutes("panafax"), 0x4000E05Cu);
    EXPECT_EQ(DeviceKindPrintRoutes("PANAFAX"), 0x00070000u);
    EXPECT_EQ(DeviceKindSendRoutes("NETWORK"), 0x01F80000u);
    EXPECT_EQ(DeviceKindPrintRoutes("hpprint"), 0x00000C00u);
    EXPECT_EQ(DeviceKindSendRoutes("UNKNOWN"), 0u);
    // Routes of every fax kind that answers calls carry bit 30.
    for (const char *k : {"PANAFAX", "FCLASS", "BTROUT", "GAMMA"})
        EXPECT_TRUE(DeviceKindSendRoutes(k) & ROUTE_ANSWERS_CALLS) << k;
    EXPECT_EQ(DeviceKindSendRoutes("STT") & ROUTE_SCAN_MASK, 0x6000u);
    const DeviceTypeRow *fax = FindDeviceType(DEV_FAX_FINE);
    ASSERT_NE(fax, nullptr);
    EXPECT_EQ(DeviceTypeFormat(DEV_FAX_FINE), static_cast<uint16_t>(DeviceFormatOf(*fax)));
    EXPECT_NE(DeviceTypeFormat(DEV_FAX_FINE), 0);
    EXPECT_EQ(DeviceTypeFormat(29), 0);
}

} // namespace
