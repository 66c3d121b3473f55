// Address data sources in USER.INI: reading, the rewrite that puts one
// definition first, and the scrambled parameter.
#include "client/shell/datasrc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "client/shell/errorlog.h"
#include "client/shell/identity.h"
#include "tests/client/shell/workdir.h"
#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

namespace {

const char kHeader[] = "[TAVRINE]\r\nType: UserProfile\r\n\r\n";
const char kIni[] = "USR/T-DB/USER.INI";

DataSource FileSource(const char *name)
{
    DataSource d{};
    d.kind = TV_SOURCE_FILE;
    d.editable = 1;
    std::snprintf(d.sourceName, sizeof d.sourceName, "%s", name);
    d.skip = 1;
    for (int c = 0; c < TV_DATASOURCE_COLUMNS; ++c)
        d.column[c] = static_cast<uint16_t>(c < 3 ? c + 1 : int{TV_DATASOURCE_NO_COLUMN});
    return d;
}

DataSource DatabaseSource(const char *name, const char *driver, const char *parameter)
{
    DataSource d{};
    d.kind = TV_SOURCE_DATABASE;
    d.editable = 0;
    std::snprintf(d.sourceName, sizeof d.sourceName, "%s", name);
    std::snprintf(d.qualifier, sizeof d.qualifier, "%s", "SALES");
    std::snprintf(d.driverName, sizeof d.driverName, "%s", driver);
    std::snprintf(d.databaseUser, sizeof d.databaseUser, "%s", "clerk");
    std::snprintf(d.parameter, sizeof d.parameter, "%s", parameter);
    std::snprintf(d.connection, sizeof d.connection, "%s", "DSN=x;UID=clerk");
    std::snprintf(d.columnName[0], sizeof d.columnName[0], "%s", "FAXNO");
    std::snprintf(d.columnName[1], sizeof d.columnName[1], "%s", "CONTACT");
    std::snprintf(d.columnName[2], sizeof d.columnName[2], "%s", "COMPANY");
    return d;
}

class DataSources : public ::testing::Test {
protected:
    tvtest::TempDir dir{"datasrc"};
    ScopedWorkDir work{dir};
    TvErrorLog log{};
    TvShellHooks hooks = *TvDefaultShellHooks();
    TvProfileContext ctx{};
    DataSource table[TV_DATASOURCE_MAX];
    int count = -1;

    void SetUp() override
    {
        dir.MakeDir("USR/T-DB");
        dir.MakeDir("LOG");
        ErrorLogInit(&log, "LOG/", &hooks);
        ctx = {&hooks, &log, "SYS/", "USR/T-DB/", "JSMITH", TV_RIGHTS_DEFAULT};
    }
    void Put(const std::string &text) { ASSERT_TRUE(WriteWholeFile(kIni, text)); }
    std::string Get() { return ReadWholeFile(kIni); }
    int Update(const DataSource &d) { return UpdateDataSources(&ctx, &d); }
};

TEST_F(DataSources, UpdateThenReadBothKinds)
{
    // Paragraphs the data sources do not own stay as they are.
    Put(std::string(kHeader) + "[OPTIONS]\r\nFax: 0181\r\n\r\n[RECIPIENTS]\r\nTo: A\r\n");
    ASSERT_EQ(1, Update(FileSource("C:\\ADDR\\LIST.TXT")));
    std::string once = Get();
    EXPECT_EQ(std::string(kHeader) + "[OPTIONS]\r\nFax: 0181\r\n\r\n[RECIPIENTS]\r\nTo: A\r\n\r\n"
                                     "[DATASOURCE]\r\nType: File\r\nEdit: 1\r\nSourcename: C:\\ADDR\\LIST.TXT\r\n"
                                     "Skip: 1\r\nFax: 1\r\nName: 2\r\nOrganisation: 3\r\nAddress1: 65535\r\n"
                                     "Address2: 65535\r\nAddress3: 65535\r\nAddress4: 65535\r\nAddress5: 65535\r\n"
                                     "Postcode: 65535\r\nTelephone: 65535\r\n\r\n",
              once)
        << "a file without definitions gets the new one after an empty line";

    ASSERT_EQ(1, Update(DatabaseSource("Customers", "ODBC", "secret word")));
    std::string text = Get();
    EXPECT_EQ(std::string::npos, text.find("secret")) << "the parameter is never stored in clear";
    EXPECT_LT(text.find("Sourcename: Customers"), text.find("Sourcename: C:\\ADDR")) << "the newest comes first";
    EXPECT_NE(std::string::npos, text.find("[OPTIONS]\r\nFax: 0181\r\n"));

    ASSERT_EQ(1, ReadDataSources(&ctx, table, &count));
    ASSERT_EQ(2, count);
    const DataSource &db = table[0];
    EXPECT_EQ(TV_SOURCE_DATABASE, db.kind);
    EXPECT_EQ(0, db.editable);
    EXPECT_STREQ("Customers", db.sourceName);
    EXPECT_STREQ("SALES", db.qualifier);
    EXPECT_STREQ("ODBC", db.driverName);
    EXPECT_STREQ("clerk", db.databaseUser);
    EXPECT_STREQ("secret word", db.parameter);
    EXPECT_STREQ("DSN=x;UID=clerk", db.connection);
    EXPECT_STREQ("COMPANY", db.columnName[2]);
    const DataSource &file = table[1];
    EXPECT_EQ(TV_SOURCE_FILE, file.kind);
    EXPECT_STREQ("C:\\ADDR\\LIST.TXT", file.sourceName);
    EXPECT_EQ(1, file.skip);
    EXPECT_EQ(2, file.column[1]);
    EXPECT_EQ(TV_DATASOURCE_NO_COLUMN, file.column[9]);
}

TEST_F(DataSources, SameSourceReplacedOtherDriverKeptTenAtMost)
{
    Put(kHeader);
    ASSERT_EQ(1, Update(DatabaseSource("Customers", "ODBC", "a")));
    ASSERT_EQ(1, Update(DatabaseSource("Customers", "Other", "b")));
    ASSERT_EQ(1, Update(DatabaseSource("Customers", "ODBC", "c")));
    ASSERT_EQ(1, ReadDataSources(&ctx, table, &count));
    ASSERT_EQ(2, count) << "same name and driver replaced, another driver kept";
    EXPECT_STREQ("c", table[0].parameter);
    EXPECT_STREQ("Other", table[1].driverName);

    for (int i = 0; i < 12; ++i) {
        std::string name = "F" + std::to_string(i) + ".TXT";
        ASSERT_EQ(1, Update(FileSource(name.c_str())));
    }
    std::string text = Get();
    size_t paragraphs = 0;
    for (size_t at = text.find("[DATASOURCE]"); at != std::string::npos; at = text.find("[DATASOURCE]", at + 1))
        ++paragraphs;
    EXPECT_EQ(10u, paragraphs) << "the new one and the first nine others";
    ASSERT_EQ(1, ReadDataSources(&ctx, table, &count));
    EXPECT_EQ(10, count);
    EXPECT_STREQ("F11.TXT", table[0].sourceName);
    EXPECT_STREQ("F3.TXT", table[8].sourceName);
}

// An eleventh definition written by another program is never read.
TEST_F(DataSources, ReadStopsAtTenAndRefusesBadTypes)
{
    std::string text = kHeader;
    for (int i = 0; i < 11; ++i)
        text += "[DataSource]\r\nType: file\r\nSourcename: S" + std::to_string(i) + "\r\n\r\n";
    Put(text);
    ASSERT_EQ(1, ReadDataSources(&ctx, table, &count));
    EXPECT_EQ(10, count);
    EXPECT_STREQ("S9", table[9].sourceName);

    Put(std::string(kHeader) + "[DATASOURCE]\r\nType: Spreadsheet\r\nSourcename: X\r\n");
    EXPECT_EQ(0, ReadDataSources(&ctx, table, &count));
    EXPECT_NE(std::string::npos, ReadWholeFile("LOG/TAVRINE.LOG").find("Cannot find [DATASOURCE] File: in"));

    // A tampered parameter reads as empty rather than as garbage.
    Put(std::string(kHeader) + "[DATASOURCE]\r\nType: Database\r\nParameter: rrrrrrrrr\r\n");
    ASSERT_EQ(1, ReadDataSources(&ctx, table, &count));
    EXPECT_STREQ("", table[0].parameter);

    // Not a settings file: nothing read, nothing written.
    Put("[TAVRINE]\r\nType: UserList\r\n\r\n");
    EXPECT_EQ(0, ReadDataSources(&ctx, table, &count));
    EXPECT_EQ(0, Update(FileSource("A.TXT")));
    EXPECT_EQ("[TAVRINE]\r\nType: UserList\r\n\r\n", Get());
}

// The longest parameter, 31 characters, fills the 74-character field and
// reads back; 32 characters do not fit it.
TEST_F(DataSources, LongestParameterFits)
{
    Put(kHeader);
    std::string p31(31, 'x');
    ASSERT_EQ(1, Update(DatabaseSource("A", "D", p31.c_str())));
    std::string text = Get();
    size_t at = text.find("Parameter: ");
    ASSERT_NE(std::string::npos, at);
    EXPECT_EQ(74u, text.find("\r\n", at) - at - std::strlen("Parameter: "));
    DataSource d = DatabaseSource("B", "D", "");
    std::memset(d.parameter, 'y', 31);
    d.parameter[31] = '\0';
    char scrambled[80];
    char big[40];
    std::memset(big, 'z', 32);
    big[32] = '\0';
    EXPECT_EQ(0, ScrambleField(big, scrambled, 77));
    ASSERT_EQ(1, Update(d));
    ASSERT_EQ(1, ReadDataSources(&ctx, table, &count));
    EXPECT_STREQ(d.parameter, table[0].parameter);
}

} // namespace
