#include "client/compose/request.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/platform.h"
#include "tests/support/tempdir.h"

namespace {

// The paths take '\' as the programs do; the test's own streams need the
// host's separator.
std::string HostPath(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', TvPathSep());
    return path;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(HostPath(path), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& text)
{
    std::ofstream out(HostPath(path), std::ios::binary);
    out << text;
}

bool Exists(const std::string& path)
{
    return TvPlatFileExists(path.c_str());
}

// A client with a request area and two users, each with a T-DB\ directory,
// recording what the functions log and show.
class RequestFiles : public ::testing::Test {
protected:
    tvtest::TempDir tmp{"compose"};
    std::string area, userDir, otherDir, dataDir, otherDataDir;
    std::string userName = "JOE", groupName = "SALES";
    TvReplyState reply{};
    TvRequestContext ctx{};
    std::vector<std::string> logs;
    std::vector<int> statusShown;
    std::vector<std::string> boxes;

    void SetUp() override
    {
        area = tmp.MakeDir("REQUEST") + "\\";
        userDir = tmp.MakeDir("USERS/JOE") + "\\";
        otherDir = tmp.MakeDir("USERS/ANN") + "\\";
        dataDir = tmp.MakeDir("USERS/JOE/T-DB") + "\\";
        otherDataDir = tmp.MakeDir("USERS/ANN/T-DB") + "\\";
        ctx.userName = userName.c_str();
        ctx.groupName = groupName.c_str();
        ctx.requestArea = area.c_str();
        ctx.userDir = userDir.c_str();
        ctx.reply = &reply;
        ctx.hookContext = this;
        ctx.log = [](void* c, uint16_t code, const char* function, const char* text) {
            char line[600];
            std::snprintf(line, sizeof line, "%04X %s: %s", code, function, text);
            static_cast<RequestFiles*>(c)->logs.push_back(line);
        };
        ctx.statusString = [](void* c, int id) { static_cast<RequestFiles*>(c)->statusShown.push_back(id); };
        ctx.warnBox = [](void* c, int id, const char* arg) {
            static_cast<RequestFiles*>(c)->boxes.push_back(std::to_string(id) + " " + arg);
        };
    }

    // The files of dir, sorted, as one text.
    static std::string Listing(const std::string& dir)
    {
        std::vector<std::string> names;
        TvDirEntry e;
        TvDirIter* it = TvPlatFindFirst((dir + "*").c_str(), &e);
        if (it) {
            do {
                std::string n = e.longName;
                if (n != "." && n != ".." && !(e.attributes & TV_ATTR_DIRECTORY))
                    names.push_back(n);
            } while (TvPlatFindNext(it, &e));
            TvPlatFindClose(it);
        }
        std::sort(names.begin(), names.end());
        std::string out;
        for (const std::string& n : names)
            out += n + " ";
        return out;
    }
};

const char kHeader[] = "[TAVRINE]\r\nType: Request\r\nRevision: A\r\n\r\n[REQUEST]\r\n";

TEST_F(RequestFiles, RequestFileBytesForEveryKind)
{
    struct Case {
        int kind;
        const char* file;
        const char* directory;
        bool forGroup;
        const char* body;   // behind the header
        const char* reply;  // awaited reply, "" for none
    };
    const Case cases[] = {
        {1, "~FIND004.ASK", nullptr, false,
         "Server: AddMan\r\nType: SEARCH\r\nUser: JOE\r\nFile: ~FIND004.ASK\r\n", "~FIND004.ANS"},
        {2, "~EDIT000.ASK", nullptr, true,
         "Server: Addman\r\nType: UPDATE\r\nUser: JOE\r\nFile: ~EDIT000.ASK\r\n", "~EDIT000.ANS"},
        {3, "~QUEU001.ASK", nullptr, false,
         "Server: QueueMan\r\nType: STATUS\r\nUser: JOE\r\nFile: ~QUEU001.ASK\r\n", "~QUEU001.ANS"},
        {4, "~LOGS002.ASK", nullptr, true,
         "Server: AddMan\r\nType: LOGSEARCH\r\nUser: JOE\r\nFile: ~LOGS002.ASK\r\n", "~LOGS002.ANS"},
        {5, "~SEND042.TXT", "C:\\A\\T-OUT\\", false,
         "Server: QueueMan\r\nType: DELETE\r\nUser: JOE\r\nFile: ~SEND042.CTL\r\nDirectory: T-OUT\r\nAddr: 0\r\n",
         ""},
        {6, "~SEND042.TXT", "C:\\A\\B\\", false,
         "Server: QueueMan\r\nType: HOLD\r\nUser: JOE\r\nFile: ~SEND042.CTL\r\nDirectory: B\r\nAddr: 0\r\n", ""},
        {7, "FAX1.G3N", "G:\\USERS\\SALES\\T-IN\\", true,
         "Server: QueueMan\r\nType: RELEASE\r\nUser: SALES\r\nFile: FAX1.CTL\r\nDirectory: T-IN\r\nAddr: 0\r\n", ""},
        {8, "NOEXT", "T-OUT", true,
         "Server: QueueMan\r\nType: RUSH\r\nUser: SALES\r\nFile: NOEXT.CTL\r\nDirectory: UNKNOWN\r\nAddr: 0\r\n", ""},
        {8, "OLD.DIR\\NOEXT", "C:\\", false,
         "Server: QueueMan\r\nType: RUSH\r\nUser: JOE\r\nFile: OLD.DIR\\NOEXT.CTL\r\nDirectory: UNKNOWN\r\nAddr: 0\r\n",
         ""},
        {9, "~ROUT007.ASK", nullptr, true,
         "Server: QueueMan\r\nType: ROUTING\r\nUser: JOE\r\nFile: ~ROUT007.ASK\r\n", "~ROUT007.ANS"},
        {0, "ODD.DAT", "C:\\A\\B\\", false,
         "Server: UNKNOWN\r\nType: UNKNOWN\r\nUser: JOE\r\nFile: ODD.DAT\r\n", "ODD.ANS"},
        {42, "ODD.DAT", nullptr, true,
         "Server: UNKNOWN\r\nType: UNKNOWN\r\nUser: JOE\r\nFile: ODD.DAT\r\n", "ODD.ANS"},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("kind " + std::to_string(c.kind));
        reply = TvReplyState{};
        statusShown.clear();
        ASSERT_EQ(ReqmanRequest(&ctx, c.file, c.directory, c.forGroup, c.kind), TV_RQS_OK);
        char name[32];
        std::snprintf(name, sizeof name, "~RQST%03d.CTL", number++);
        EXPECT_EQ(ReadAll(area + name), std::string(kHeader) + c.body);
        EXPECT_STREQ(reply.awaitedReply, c.reply);
        EXPECT_EQ(reply.replyAwaited, c.reply[0] != 0);
        EXPECT_EQ(statusShown, c.reply[0] ? std::vector<int>{TV_RQSTR_WAITING_REPLY} : std::vector<int>{});
    }
    EXPECT_TRUE(logs.empty());
    // Everything was handed over: no temporary request stays.
    EXPECT_EQ(Listing(area).find(".TMP"), std::string::npos);
}

TEST_F(RequestFiles, DirectoryNameRule)
{
    const struct {
        const char* path;
        const char* name;
    } cases[] = {
        {"C:\\A\\B\\", "B"},
        {"G:\\USERS\\JOE\\T-OUT\\", "T-OUT"},
        {"\\T-IN\\", "T-IN"},
        {"C:\\A\\B", "A"},                  // the name between the last two
        {"C:\\", "UNKNOWN"},                // one backslash
        {"T-OUT", "UNKNOWN"},               // none
        {"", "UNKNOWN"},
        {nullptr, "UNKNOWN"},
        {"C:\\A\\\\", "UNKNOWN"},           // nothing between the last two
        {"C:/A/B/", "UNKNOWN"},             // only backslashes separate
    };
    for (const auto& c : cases) {
        char out[TV_RQ_DIRNAME_SIZE];
        RequestDirectoryName(c.path, out, sizeof out);
        EXPECT_STREQ(out, c.name) << (c.path ? c.path : "(null)");
    }
    // A name longer than the room is no name.
    char small[4];
    RequestDirectoryName("C:\\LONGNAME\\", small, sizeof small);
    EXPECT_STREQ(small, "UNK");
    RequestDirectoryName("C:\\ABC\\", small, sizeof small);
    EXPECT_STREQ(small, "ABC");
}

TEST_F(RequestFiles, UserNameByKindAndGroupFlag)
{
    for (int kind = 0; kind <= 10; ++kind) {
        const bool messageOperation = kind >= TV_RQ_DELETE && kind <= TV_RQ_RUSH;
        EXPECT_STREQ(RequestUserName(&ctx, kind, false), "JOE") << kind;
        EXPECT_STREQ(RequestUserName(&ctx, kind, true), messageOperation ? "SALES" : "JOE") << kind;
    }
    // A user without a group acts as himself.
    ctx.groupName = "";
    EXPECT_STREQ(RequestUserName(&ctx, TV_RQ_HOLD, true), "JOE");
}

TEST_F(RequestFiles, RequestNumberSkipsTakenNames)
{
    // Leftovers of every kind hold their numbers: an unconsumed request, a
    // half-written one, and anything else with the stem.
    WriteAll(area + "~RQST000.CTL", "old request");
    WriteAll(area + "~RQST001.TMP", "");
    WriteAll(area + "~RQST002.XYZ", "");
    ASSERT_EQ(ReqmanRequest(&ctx, "~FIND000.ASK", nullptr, false, TV_RQ_SEARCH), TV_RQS_OK);
    EXPECT_EQ(ReadAll(area + "~RQST000.CTL"), "old request");
    EXPECT_EQ(ReadAll(area + "~RQST001.TMP"), "");
    EXPECT_EQ(Listing(area), "~RQST000.CTL ~RQST001.TMP ~RQST002.XYZ ~RQST003.CTL ");
    EXPECT_NE(ReadAll(area + "~RQST003.CTL").find("File: ~FIND000.ASK\r\n"), std::string::npos);

    // Two requests in a row: two names, and only the second reply awaited.
    ASSERT_EQ(ReqmanRequest(&ctx, "~QUEU005.ASK", nullptr, false, TV_RQ_STATUS), TV_RQS_OK);
    EXPECT_STREQ(reply.awaitedReply, "~QUEU005.ANS");
    EXPECT_TRUE(Exists(area + "~RQST004.CTL"));
    EXPECT_TRUE(logs.empty());
}

TEST_F(RequestFiles, DataFileNumberSkipsTakenAskAndAns)
{
    // A shown reply stays until the next sweep; its number must not be
    // reused, or the old reply would answer the new request at once.
    WriteAll(dataDir + "~FIND000.ASK", "pending");
    WriteAll(dataDir + "~FIND001.ANS", "old reply");
    WriteAll(dataDir + "~EDIT002.ASK", "other kind");
    WriteAll(otherDataDir + "~FIND002.ASK", "another user");
    FILE* f = nullptr;
    char name[TV_RQ_NAME_SIZE];
    ASSERT_EQ(CreateRequestFile(&ctx, &f, name, sizeof name, TV_RQ_SEARCH), TV_RQS_OK);
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(name, "~FIND002.ASK");
    ASSERT_GE(std::fputs("Type: AddrBook\r\n", f), 0);
    std::fclose(f);
    EXPECT_EQ(ReadAll(dataDir + "~FIND002.ASK"), "Type: AddrBook\r\n");
    EXPECT_EQ(ReadAll(dataDir + "~FIND001.ANS"), "old reply");

    // Each answered kind with its own prefix, numbered apart.
    const struct {
        int kind;
        const char* name;
    } kinds[] = {{TV_RQ_UPDATE, "~EDIT000.ASK"}, {TV_RQ_STATUS, "~QUEU000.ASK"},
                 {TV_RQ_LOGSEARCH, "~LOGS000.ASK"}, {TV_RQ_ROUTING, "~ROUT000.ASK"}};
    for (const auto& k : kinds) {
        ASSERT_EQ(CreateRequestFile(&ctx, &f, name, sizeof name, k.kind), TV_RQS_OK);
        std::fclose(f);
        EXPECT_STREQ(name, k.name);
        EXPECT_TRUE(Exists(dataDir + k.name));
    }
    EXPECT_TRUE(logs.empty());
}

TEST_F(RequestFiles, DataFileRefusedForKindsWithoutOne)
{
    for (int kind : {int(TV_RQ_DELETE), int(TV_RQ_HOLD), int(TV_RQ_RELEASE), int(TV_RQ_RUSH), 0, 10}) {
        FILE* f = reinterpret_cast<FILE*>(1);
        char name[TV_RQ_NAME_SIZE] = "x";
        EXPECT_EQ(CreateRequestFile(&ctx, &f, name, sizeof name, kind), TV_RQS_BAD_ARGUMENT) << kind;
        EXPECT_EQ(f, nullptr);
        EXPECT_STREQ(name, "");
    }
    EXPECT_EQ(Listing(dataDir), "");
}

TEST_F(RequestFiles, CreateAndHandOverRoundTrip)
{
    FILE* f = nullptr;
    char name[TV_RQ_NAME_SIZE];
    ASSERT_EQ(CreateRequestFile(&ctx, &f, name, sizeof name, TV_RQ_ROUTING), TV_RQS_OK);
    std::fputs("Mode: SENDERID\r\n", f);
    std::fclose(f);
    ASSERT_EQ(ReqmanRequest(&ctx, name, nullptr, true, TV_RQ_ROUTING), TV_RQS_OK);
    EXPECT_EQ(ReadAll(area + "~RQST000.CTL"),
              std::string(kHeader) + "Server: QueueMan\r\nType: ROUTING\r\nUser: JOE\r\nFile: ~ROUT000.ASK\r\n");
    EXPECT_STREQ(reply.awaitedReply, "~ROUT000.ANS");
    EXPECT_EQ(Listing(area), "~RQST000.CTL ");
    EXPECT_EQ(Listing(dataDir), "~ROUT000.ASK ");
}

TEST_F(RequestFiles, FailedHandOverKeepsStateAndLeavesNothing)
{
    // A request that cannot be written leaves the awaited reply as it was,
    // logs once, shows the user the pattern tried, and drops its data file.
    std::snprintf(reply.awaitedReply, sizeof reply.awaitedReply, "~QUEU009.ANS");
    reply.replyAwaited = true;
    WriteAll(dataDir + "~FIND003.ASK", "body");
    const std::string missing = tmp.Path() + "\\NOAREA\\";
    ctx.requestArea = missing.c_str();
    EXPECT_EQ(ReqmanRequest(&ctx, "~FIND003.ASK", nullptr, false, TV_RQ_SEARCH), TV_RQS_NO_FREE_NAME);
    EXPECT_STREQ(reply.awaitedReply, "~QUEU009.ANS");
    EXPECT_TRUE(reply.replyAwaited);
    EXPECT_TRUE(statusShown.empty());
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_NE(logs[0].find("F801 ReqmanRequest: Cannot create file "), std::string::npos) << logs[0];
    EXPECT_NE(logs[0].find("~RQST???.???"), std::string::npos) << logs[0];
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].substr(0, 3), "45 ");
    EXPECT_NE(boxes[0].find("NOAREA"), std::string::npos) << boxes[0];
    EXPECT_FALSE(Exists(dataDir + "~FIND003.ASK"));

    // A message operation names the message's own file: that is never touched.
    WriteAll(dataDir + "~SEND001.TXT", "message");
    EXPECT_EQ(ReqmanRequest(&ctx, "~SEND001.TXT", "C:\\A\\T-OUT\\", false, TV_RQ_HOLD), TV_RQS_NO_FREE_NAME);
    EXPECT_TRUE(Exists(dataDir + "~SEND001.TXT"));
}

TEST_F(RequestFiles, RequestWithoutFileNameIsRefused)
{
    // An empty name would await a reply named ".ANS" that never comes.
    EXPECT_EQ(ReqmanRequest(&ctx, "", nullptr, false, TV_RQ_STATUS), TV_RQS_BAD_ARGUMENT);
    EXPECT_EQ(ReqmanRequest(&ctx, nullptr, "C:\\A\\B\\", false, TV_RQ_HOLD), TV_RQS_BAD_ARGUMENT);
    EXPECT_TRUE(logs.empty());
    // A reply name longer than an 8.3 name cannot be awaited.
    EXPECT_EQ(ReqmanRequest(&ctx, "~FINDREPLY0001.ASK", nullptr, false, TV_RQ_SEARCH), TV_RQS_BAD_ARGUMENT);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0], "F807 ReqmanRequest: Invalid request file name ~FINDREPLY0001.ASK");
    EXPECT_FALSE(reply.replyAwaited);
    EXPECT_EQ(Listing(area), "");
}

TEST_F(RequestFiles, NoFreeDataFileNameIsReported)
{
    // Without the user's T-DB\ no data file can be made.
    ASSERT_TRUE(TvPlatRemoveDir(dataDir.c_str()));
    FILE* f = nullptr;
    char name[TV_RQ_NAME_SIZE];
    EXPECT_EQ(CreateRequestFile(&ctx, &f, name, sizeof name, TV_RQ_LOGSEARCH), TV_RQS_NO_FREE_NAME);
    EXPECT_EQ(f, nullptr);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_NE(logs[0].find("F801 CreateRequestFile: Cannot create file "), std::string::npos);
    EXPECT_NE(logs[0].find("~LOGS???.???"), std::string::npos) << logs[0];
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("T-DB"), std::string::npos) << boxes[0];
}

TEST_F(RequestFiles, DeleteAnswerFilesSweepsOnlyTheUsersReplies)
{
    std::snprintf(reply.awaitedReply, sizeof reply.awaitedReply, "~FIND001.ANS");
    reply.replyAwaited = true;
    WriteAll(dataDir + "~FIND001.ANS", "reply");
    WriteAll(dataDir + "~QUEU000.ANS", "reply");
    WriteAll(dataDir + "~FIND002.ASK", "pending request");
    WriteAll(dataDir + "ADB.LST", "index");
    WriteAll(userDir + "STRAY.ANS", "not in T-DB");
    WriteAll(otherDataDir + "~FIND001.ANS", "another user's reply");
    EXPECT_EQ(DeleteAnswerFiles(&ctx), TV_RQS_OK);
    EXPECT_EQ(Listing(dataDir), "ADB.LST ~FIND002.ASK ");
    EXPECT_TRUE(Exists(userDir + "STRAY.ANS"));
    EXPECT_TRUE(Exists(otherDataDir + "~FIND001.ANS"));
    EXPECT_STREQ(reply.awaitedReply, "");
    EXPECT_FALSE(reply.replyAwaited);
    EXPECT_EQ(statusShown, std::vector<int>{0});

    // Without reply files it only clears the state.
    reply.replyAwaited = true;
    EXPECT_EQ(DeleteAnswerFiles(&ctx), TV_RQS_OK);
    EXPECT_FALSE(reply.replyAwaited);
    EXPECT_EQ(Listing(dataDir), "ADB.LST ~FIND002.ASK ");
    EXPECT_TRUE(logs.empty());
}

} // namespace
