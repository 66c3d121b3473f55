// The installation helper: its layout read back by the system's own readers.
#include "tests/support/installation.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "common/ctlfile.h"
#include "server/runtime/sysparams.h"

namespace fs = std::filesystem;

namespace {

bool Has(const std::string &text, const std::string &what) { return text.find(what) != std::string::npos; }

// An entry of a paragraph of an INI file, as the programs read it.
std::string Entry(const std::string &file, const char *paragraph, const char *key, int nth = 0)
{
    FILE *f = std::fopen(file.c_str(), "rb");
    if (!f)
        return "<no file>";
    char line[TV_LINE_SIZE], value[TV_LINE_SIZE] = "";
    int32_t pos = 0;
    std::string out = "<no paragraph>";
    for (int i = 0; i <= nth; ++i)
        if (!FindParagraph(f, paragraph, line, sizeof line, &pos)) {
            std::fclose(f);
            return out;
        }
    out = GetStringEntry(f, key, value, sizeof value, pos) ? value : "<no entry>";
    std::fclose(f);
    return out;
}

TEST(Installation, LaysOutTheAreasAndTheIniFilesTheProgramsRead)
{
    std::string root;
    {
        tvtest::Installation inst(tvtest::InstallationSpec()
                                      .Setup("OPTIONS", {"CSIDSeparator: *"})
                                      .Program("Sysman", "SYSMAN", "SYSMAN.EXE")
                                      .Program("Device", "FCLASS-1", "MODEMCTL.EXE 1", "x WIN")
                                      .Setup("FCLASS-1", {"Port: COM1", "RecdUser: JSMITH"})
                                      .Setup("DEVICES")
                                      .User("JSMITH", {"Admin: Y"})
                                      .User("ANNE", {"Username: anne.s"})
                                      .Folder("MSG/SUB"),
                                  "instself");
        root = inst.Root();
        for (const char *d : {"SYSTEM/T-DB", "SERVER/T-DB", "SERVER/T-TEMP", "SERVER/T-MAIL", "REQUEST", "LOG",
                              "USERS/JSMITH/T-IN", "USERS/JSMITH/T-OUT", "USERS/JSMITH/T-GRAPH", "USERS/JSMITH/T-DB",
                              "USERS/ANNE/T-IN", "MSG/SUB"})
            EXPECT_TRUE(fs::is_directory(inst.Path(d))) << d;

        // TAVRINE.INI, through the server programs' reader.
        ResetSystemParameters();
        FILE *setup = nullptr;
        ASSERT_EQ(TV_OK, ReadSystemParametersFrom(inst.SystemArea().c_str(), &setup));
        ASSERT_NE(nullptr, setup);
        std::fclose(setup);
        // The readers give '\' at the end of each area; the native tree's
        // paths have '/' inside.
        auto area = [](const std::string &dir) { return dir.substr(0, dir.size() - 1) + "\\"; };
        EXPECT_EQ(area(inst.ServerArea()), g_sysParams.serverArea);
        EXPECT_EQ(area(inst.SystemArea()), g_sysParams.systemArea);
        EXPECT_EQ(area(inst.UserArea()), g_sysParams.allUserArea);
        EXPECT_EQ(area(inst.RequestArea()), g_sysParams.requestArea);
        EXPECT_EQ(area(inst.ServerArea()) + "T-DB\\SERVER.LOG", g_sysParams.logFile);
        std::string ini = inst.Path("SYSTEM/TAVRINE.INI");
        EXPECT_EQ(inst.Dir("USERS") + "%NAME%", Entry(ini, "[WORKSTATION]", "UserArea:"));
        EXPECT_EQ(inst.Path("LOG"), Entry(ini, "[WORKSTATION]", "LogArea:"));
        EXPECT_EQ("JSMITH", Entry(ini, "[WORKSTATION]", "DefaultUser:"));
        EXPECT_EQ("Init", Entry(ini, "[TAVRINE]", "Type:"));

        // SETUP.INI: [OPTIONS] first with the log file, program lines in
        // [SERVER] in their order, the paragraphs as given.
        std::string s = inst.Path("SYSTEM/T-DB/SETUP.INI");
        EXPECT_EQ("SERVER.LOG", Entry(s, "[OPTIONS]", "LogFile:"));
        EXPECT_EQ("*", Entry(s, "[OPTIONS]", "CSIDSeparator:"));
        EXPECT_EQ("N", Entry(s, "[OPTIONS]", "UseArchiveAttribute:"));
        EXPECT_EQ("", Entry(ini, "[WORKSTATION]", "Spool:"));
        EXPECT_EQ("COM1", Entry(s, "[FCLASS-1]", "Port:"));
        EXPECT_NE("<no paragraph>", Entry(s, "[DEVICES]", "X:"));
        std::string text = ReadWholeFile(s);
        EXPECT_EQ(0u, text.find("[TAVRINE]\r\nType: SystemInit\r\nRevision: A\r\n\r\n[OPTIONS]\r\nLogFile: SERVER.LOG\r\n"))
            << text;
        EXPECT_TRUE(Has(text, "[SERVER]\r\nSysman: SYSMAN \"SYSMAN.EXE\"\r\n"
                              "Device: FCLASS-1 \"MODEMCTL.EXE 1\" x WIN\r\n\r\n[FCLASS-1]\r\n"))
            << text;

        // USERLIST.INI: an account a paragraph.
        std::string u = inst.Path("SYSTEM/T-DB/USERLIST.INI");
        EXPECT_EQ("UserList", Entry(u, "[TAVRINE]", "Type:"));
        EXPECT_EQ("JSMITH", Entry(u, "[USER]", "Name:"));
        EXPECT_EQ("jsmith", Entry(u, "[USER]", "Username:"));
        EXPECT_EQ("Y", Entry(u, "[USER]", "Admin:"));
        EXPECT_EQ("ANNE", Entry(u, "[USER]", "Name:", 1));
        EXPECT_EQ("anne.s", Entry(u, "[USER]", "Username:", 1));

        // The log, once a program has written it.
        EXPECT_EQ("", inst.ServerLog());
        ASSERT_TRUE(WriteWholeFile(inst.ServerLogPath(), "a line\r\n"));
        EXPECT_EQ("a line\r\n", inst.ServerLog());
        // A program of the installation finds it through TFAXINIT.
        tvtest::Command c = inst.Program("X.EXE", {"1"});
        ASSERT_EQ(1u, c.env.size());
        EXPECT_EQ("TFAXINIT", c.env[0].first);
        EXPECT_EQ(inst.IniDir(), c.env[0].second);
    }
    EXPECT_FALSE(fs::exists(root));
}

TEST(Installation, ChangesOfTheStandardLinesAndALaterLayout)
{
    tvtest::InstallationSpec spec;
    spec.SystemIni("SERVER", "RequestArea:")
        .SystemIni("SERVER", "MailArea: M:\\MAIL")
        .SystemIni("WORKSTATION", "Mail: MAPI")
        .SystemIni("EXTRA", "Key: 1")
        .Setup("OPTIONS", {"LogFile: OTHER.LOG"});
    tvtest::Installation inst(spec);
    std::string ini = inst.Path("SYSTEM/TAVRINE.INI");
    EXPECT_EQ("", Entry(ini, "[SERVER]", "RequestArea:"));
    EXPECT_EQ("M:\\MAIL", Entry(ini, "[SERVER]", "MailArea:"));
    EXPECT_EQ("MAPI", Entry(ini, "[WORKSTATION]", "Mail:"));
    EXPECT_EQ("<no entry>", Entry(ini, "[WORKSTATION]", "DefaultUser:"));
    EXPECT_EQ("1", Entry(ini, "[EXTRA]", "Key:"));
    EXPECT_EQ(inst.Path("SERVER/T-DB/OTHER.LOG"), inst.ServerLogPath());
    ResetSystemParameters();
    EXPECT_EQ(TV_E_NOAREA, ReadSystemParametersFrom(inst.SystemArea().c_str(), nullptr));

    spec.User("BOB").Folder("LATER");
    inst.Write(spec);
    EXPECT_TRUE(fs::is_directory(inst.Path("USERS/BOB/T-OUT")));
    EXPECT_TRUE(fs::is_directory(inst.Path("LATER")));
    EXPECT_EQ("BOB", Entry(inst.Path("SYSTEM/T-DB/USERLIST.INI"), "[USER]", "Name:"));

    ASSERT_TRUE(WriteWholeFile(inst.Path("LATER/from.txt"), "data"));
    EXPECT_TRUE(inst.CopyIn(inst.Path("LATER/from.txt"), "SERVER/TO.TXT"));
    EXPECT_EQ("data", ReadWholeFile(inst.Path("SERVER/TO.TXT")));
    EXPECT_FALSE(inst.CopyIn(inst.Path("LATER/none.txt"), "SERVER/NONE.TXT"));
}

} // namespace
