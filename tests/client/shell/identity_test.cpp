// User list, rights and limits, identity lookup, login and the scrambler.
#include "client/shell/identity.h"

#include "tests/client/shell/workdir.h"
#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct DialCase {
    const char *value;
    int ok;
    int32_t mask;
};

TEST(DialLimit, Tokens)
{
    const int32_t N3 = DialNationalBand(3), I3 = DialInternationalBand(3);
    const DialCase cases[] = {
        {"Local", 1, TV_DIAL_LOCAL},
        {"local", 1, TV_DIAL_LOCAL},
        {"National", 1, TV_DIAL_NATIONAL_ALL},
        {"National 3", 1, N3},
        {"National,3,5", 1, N3 | DialNationalBand(5)},
        {"National3 4", 1, N3 | DialNationalBand(4)},
        {"Local National 1 2 International3", 1,
         TV_DIAL_LOCAL | DialNationalBand(1) | DialNationalBand(2) | I3},
        {"International", 1, TV_DIAL_INTERNATIONAL_ALL},
        {"International 9", 1, DialInternationalBand(9)},
        {"National International", 1, TV_DIAL_NATIONAL_ALL | TV_DIAL_INTERNATIONAL_ALL},
        {"3", 0, 0},
        {"National 0", 0, 0},
        {"Local 3", 0, TV_DIAL_LOCAL},
        {"Nationals", 0, 0},
        {"National33", 0, 0},
        {"Locale", 0, 0},
    };
    EXPECT_EQ(2, DialNationalBand(1));
    EXPECT_EQ(512, DialNationalBand(9));
    EXPECT_EQ(1024, DialInternationalBand(1));
    EXPECT_EQ(262144, DialInternationalBand(9));
    for (const DialCase &c : cases) {
        SCOPED_TRACE(c.value);
        int32_t mask = 0;
        EXPECT_EQ(c.ok, ParseDialLimit(c.value, &mask));
        if (c.ok) {
            EXPECT_EQ(c.mask, mask);
        }
    }
}

TEST(SendTimeLimit, WindowAndDays)
{
    TvUserLimits l{};
    ASSERT_EQ(1, ParseSendTimeLimit("AFTER 18:00 SAT SUN", &l));
    EXPECT_EQ(18, l.afterHour);
    EXPECT_EQ(0, l.afterMinute);
    EXPECT_EQ(24, l.beforeHour);
    EXPECT_EQ(65, l.days);

    TvUserLimits b{};
    ASSERT_EQ(1, ParseSendTimeLimit("before 07:30, after 19:15 monday", &b));
    EXPECT_EQ(7, b.beforeHour);
    EXPECT_EQ(30, b.beforeMinute);
    EXPECT_EQ(19, b.afterHour);
    EXPECT_EQ(2, b.days);

    const char *bad[] = {"AFTER", "AFTER x", "BEFORE 12", "NOON", "SU"};
    for (const char *v : bad) {
        SCOPED_TRACE(v);
        TvUserLimits x{};
        EXPECT_EQ(0, ParseSendTimeLimit(v, &x));
    }
}

FILE *StreamOf(const std::string &text) { return TempStreamOf(text); }

struct ParaCase {
    const char *body;
    uint16_t result;
    int32_t rights;
    int32_t dial;
    int16_t days;
};

TEST(ReadUserList, ParagraphEntries)
{
    const ParaCase cases[] = {
        {"Name: A\r\n", 0, TV_RIGHTS_DEFAULT, TV_DIAL_ANY, TV_DAYS_ALL},
        {"Admin:\r\nUrgent: no\r\nRushToTop= y\r\n", 0,
         (TV_RIGHTS_DEFAULT | TV_RIGHT_ADMIN | TV_RIGHT_RUSH_TO_TOP) & ~TV_RIGHT_URGENT, TV_DIAL_ANY,
         TV_DAYS_ALL},
        {"Dial: Local\r\nDial: National 3\r\n", 0, TV_RIGHTS_DEFAULT, TV_DIAL_LOCAL | DialNationalBand(3),
         TV_DAYS_ALL},
        {"SendTime: MON\r\nSendTime: TUE\r\n", 0, TV_RIGHTS_DEFAULT, TV_DIAL_ANY, 2},
        {"Urgent: maybe\r\nDial: 3\r\n", TV_UL_BAD_DIAL, TV_RIGHTS_DEFAULT, 0, TV_DAYS_ALL},
        {"Dial: 3\r\nGroupAdmin: ?\r\n", TV_UL_BAD_GROUP_ADMIN, TV_RIGHTS_DEFAULT, 0, TV_DAYS_ALL},
        {"SendTime: NEVER\r\n", TV_UL_BAD_SEND_TIME, TV_RIGHTS_DEFAULT, TV_DIAL_ANY, 0},
        {"SubmitAny: N\r\n[USER]\r\nAdmin: Y\r\n", 0, TV_RIGHTS_DEFAULT & ~TV_RIGHT_SUBMIT_ANY, TV_DIAL_ANY,
         TV_DAYS_ALL},
    };
    for (const ParaCase &c : cases) {
        SCOPED_TRACE(c.body);
        std::string text = std::string("[USER]\r\n") + c.body;
        FILE *f = StreamOf(text);
        ASSERT_NE(nullptr, f);
        std::fseek(f, 8, SEEK_SET);
        TvUserLimits l;
        EXPECT_EQ(c.result, ReadUserList(f, &l));
        EXPECT_EQ(c.rights, l.rights);
        EXPECT_EQ(c.dial, l.dial);
        EXPECT_EQ(c.days, l.days);
        EXPECT_EQ(8, std::ftell(f)) << "position put back";
        std::fclose(f);
    }
}

// A system area holding T-DB\USERLIST.INI.
class UserListFixture : public ::testing::Test {
protected:
    tvtest::TempDir dir{"ulist"};
    std::string area;
    std::string logon;

    void Write(const std::string &text)
    {
        std::string db = dir.MakeDir("T-DB");
        ASSERT_TRUE(WriteWholeFile(db + "/USERLIST.INI", text));
    }
    void SetUp() override { area = dir.Path() + "/"; }

    static bool Logon(void *ctx, char *out, size_t size)
    {
        const std::string *name = static_cast<const std::string *>(ctx);
        if (name->empty())
            return false;
        std::snprintf(out, size, "%s", name->c_str());
        return true;
    }
    TvShellHooks Hooks()
    {
        TvShellHooks h = *TvDefaultShellHooks();
        h.context = &logon;
        h.logonName = Logon;
        return h;
    }
};

const char kList[] = "[TAVRINE]\r\nType: UserList\r\n\r\n"
                     "[USER]\r\nUsername: jsmith\r\nGroup: SALES\r\n\r\n"
                     "[USER]\r\nName: smithj\r\nUsername: jsmith\r\nNetware: jsmith\r\nGroup: SALESTEAMX\r\n"
                     "Admin: Y\r\n\r\n"
                     "[USER]\r\nName: bad\r\nUsername: broken\r\nDial: 7\r\n\r\n"
                     "[USER]\r\nName: Mary\r\nLanManager: MARYW\r\n";

struct IdCase {
    const char *logon;
    int kind;
    int result;
    const char *user;
    const char *group;
};

TEST_F(UserListFixture, LookupByLogonName)
{
    Write(kList);
    const IdCase cases[] = {
        // The first paragraph has no Name: and is passed over.
        {"JSMITH", 1, TV_ID_FOUND, "smithj", "SALESTEA"},
        {"JSMITH", TV_NET_NETWARE, TV_ID_FOUND, "smithj", "SALESTEA"},
        {"JSMITH", TV_NET_LANMANAGER, TV_ID_NO_ACCOUNT, "", ""},
        {"maryw", TV_NET_WFW, TV_ID_FOUND, "Mary", ""},
        {"JSMIT", 1, TV_ID_NO_ACCOUNT, "", ""},
        {"broken", 1, TV_ID_BAD_ACCOUNT, "", ""},
        {"", 1, TV_ID_NO_NETWORK_NAME, "", ""},
    };
    for (const IdCase &c : cases) {
        SCOPED_TRACE(std::string(c.logon) + " kind " + std::to_string(c.kind));
        logon = c.logon;
        TvShellHooks h = Hooks();
        TvIdentity id{};
        char path[300];
        ASSERT_TRUE(UserListPath(area.c_str(), path, sizeof path));
        EXPECT_EQ(c.result, GetUserIdentity(&id, (dir.Path() + "/T-DB/USERLIST.INI").c_str(), c.kind, &h));
        EXPECT_STREQ(c.user, id.userName);
        EXPECT_STREQ(c.group, id.group);
    }
}

TEST_F(UserListFixture, DefaultUserAndLoginUpperCase)
{
    Write(kList);
    TvShellHooks h = Hooks();
    std::string sys = dir.Path() + "/";
    // UserListPath upper-cases the whole path; the native tree's file system
    // is case-sensitive, so look the list up through the exact path here.
    TvIdentity id{};
    std::snprintf(id.defaultUser, sizeof id.defaultUser, "mary");
    EXPECT_EQ(TV_ID_FOUND, GetUserIdentity(&id, (sys + "T-DB/USERLIST.INI").c_str(), 1, &h));
    EXPECT_STREQ("Mary", id.userName);
    EXPECT_EQ(TV_ID_NAME_ALREADY_SET, GetUserIdentity(&id, (sys + "T-DB/USERLIST.INI").c_str(), 1, &h));

    TvIdentity q{};
    std::snprintf(q.defaultUser, sizeof q.defaultUser, "?");
    EXPECT_EQ(TV_ID_NO_ACCOUNT, GetUserIdentity(&q, (sys + "T-DB/USERLIST.INI").c_str(), 1, &h));

    // No list at all: the log-on name, cut to 8, is the user.
    logon = "VERYLONGNAME";
    TvIdentity n{};
    EXPECT_EQ(TV_ID_FOUND, GetUserIdentity(&n, (sys + "NONE.INI").c_str(), 1, &h));
    EXPECT_STREQ("VERYLONG", n.userName);
}

// Start-up and the login dialog look the user list up under the system
// area, and hand on the account's name in upper case.
TEST(Login, IdentifyAndLoginUpperCaseTheName)
{
    tvtest::TempDir dir("login");
    ScopedWorkDir work(dir);
    dir.MakeDir("SYS/T-DB");
    ASSERT_TRUE(WriteWholeFile("SYS/T-DB/USERLIST.INI", kList));
    std::vector<std::string> boxes;
    TvShellHooks h = *TvDefaultShellHooks();
    h.context = &boxes;
    h.messageBox = [](void *c, const char *t, TvBoxIcon, bool) {
        static_cast<std::vector<std::string> *>(c)->push_back(t);
    };
    h.logonName = [](void *, char *out, size_t size) {
        std::snprintf(out, size, "maryw");
        return true;
    };

    TvIdentity id{};
    EXPECT_EQ(1, IdentifyUser(&id, "sys\\", TV_NET_LANMANAGER, &h));
    EXPECT_STREQ("MARY", id.userName);
    EXPECT_EQ(0, IdentifyUser(&id, "sys\\", TV_NET_NETWARE, &h));
    EXPECT_STREQ("???", id.userName);

    TvIdentity login{};
    EXPECT_EQ(1, LoginWithName(&login, "mary", "SYS\\", 1, &h));
    EXPECT_STREQ("MARY", login.userName);
    EXPECT_STREQ("mary", login.defaultUser);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(0, LoginWithName(&login, "nobody-at-all", "SYS\\", 1, &h));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("No Tavrine account set up for nobody-a", boxes[0]);
}

TEST(UserListPathTest, UpperCaseUnderDatabaseDirectory)
{
    char out[64];
    ASSERT_TRUE(UserListPath("t:\\sys\\", out, sizeof out));
    EXPECT_STREQ("T:\\SYS\\T-DB\\USERLIST.INI", out);
    EXPECT_FALSE(UserListPath("t:\\a-long-system-area\\", out, 20));
}

// The scrambled texts are stored in users' files: their exact form matters.
TEST(Scrambler, ExactOutputAndRoundTrip)
{
    char out[77];
    ASSERT_EQ(1, ScrambleFieldSeeded("DSN=x;PWD=y", out, sizeof out, 123));
    EXPECT_STREQ("ebggghgiggggeefgfdebhseafjfweeebicfretfdeufreeejehetffeieffcesfjeeegeffjfa", out);
    char back[33];
    ASSERT_EQ(1, UnscrambleField(out, back, sizeof back));
    EXPECT_STREQ("DSN=x;PWD=y", back);

    char small[20];
    ASSERT_EQ(1, ScrambleFieldSeeded("", small, sizeof small, 7));
    EXPECT_STREQ("ebgfgfgtgfgfgrgdgg", small);

    std::string p31(31, 'p'), p32(32, 'p');
    ASSERT_EQ(1, ScrambleFieldSeeded(p31.c_str(), out, sizeof out, 999));
    EXPECT_EQ(74u, std::strlen(out));
    ASSERT_EQ(1, UnscrambleField(out, back, sizeof back));
    EXPECT_EQ(p31, back);
    EXPECT_EQ(0, ScrambleFieldSeeded(p32.c_str(), out, sizeof out, 1));

    // Another seed, another text, the same parameter.
    char other[77];
    ASSERT_EQ(1, ScrambleFieldSeeded(p31.c_str(), other, sizeof other, 5));
    EXPECT_STRNE(out, other);
    ASSERT_EQ(1, UnscrambleField(other, back, sizeof back));
    EXPECT_EQ(p31, back);
}

TEST(Scrambler, MalformedTextsAreRefused)
{
    char back[33];
    char good[77];
    ASSERT_EQ(1, ScrambleFieldSeeded("secret", good, sizeof good, 42));
    std::string claimsMore = good;
    claimsMore[10] = 'g'; // length digit raised: more than the text holds
    const std::string cases[] = {"", "ebg", std::string(good) + "e", "zzzzzzzzzzzz", std::string(400, 'e'),
                                 claimsMore.substr(0, 16)};
    for (const std::string &s : cases) {
        SCOPED_TRACE(s);
        EXPECT_EQ(0, UnscrambleField(s.c_str(), back, sizeof back));
    }
    char tiny[4];
    EXPECT_EQ(0, UnscrambleField(good, tiny, sizeof tiny));
}

} // namespace
