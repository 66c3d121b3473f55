// The reply readers: address-book, routing and the type dispatch against a
// recording sink; reason texts; the awaited-reply state and its clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "client/store/reply.h"
#include "common/formats.h"
#include "tests/client/store/storetestutil.h"

namespace {

using tvtest::Logged;
using tvtest::Record;

// The client's texts that the readers compose.
const std::map<int, std::string> kTexts = {
    {63, "New entry for %s in "},       {64, "Change to the entry for %s in "},
    {65, "Deletion of the entry for %s from "},
    {66, "your private address book"},  {67, "the network address book"},
    {68, "Accepted: "},                 {69, "Rejected: "},
    {200, " - cannot find the entry for %s"},
    {201, " - conflict with the entry for %s in the private address book for %s"},
    {202, " - cannot find the group %s"},
    {203, " - conflict with the group %s in the private address book for %s"},
    {204, " - address book full"},      {205, " - invalid request"},
    {206, " - system or file error"},
    {207, " - conflict with the entry for %s in the network address book"},
    {208, " - conflict with the group %s in the network address book"},
    {250, "Search failed"},             {260, " - too many entries to display"},
    {261, " - logging is disabled"},    {262, " - invalid name"},
    {432, "Request to forward based on sender's identity was rejected"},
    {433, "Automatic forwarding request was rejected"},
    {435, "Problem recording sender's name"},
    {0xF007, "Sender name not stored"},
};

// Every call of the readers as one line.
class RecordingSink : public ReplySink {
public:
    std::vector<std::string> calls;
    bool editorOpen = true;
    bool checkResult = true;
    bool bodyResult = true;
    int groupLines = 0;
    AddresseeRecord addressee = {};
    GroupRecord group = {};
    std::map<std::string, std::string> index;

    bool LoadText(int id, char* out, size_t size) override
    {
        auto it = kTexts.find(id);
        if (it == kTexts.end())
            return false;
        std::snprintf(out, size, "%s", it->second.c_str());
        return true;
    }
    bool IndexDisplayName(const char* shortName, char* out, size_t size) override
    {
        auto it = index.find(shortName);
        if (it == index.end())
            return false;
        std::snprintf(out, size, "%s", it->second.c_str());
        return true;
    }
    bool ResultsFromQueue(FILE*, const char*) override { calls.push_back("queue"); return bodyResult; }
    bool ResultsFromServerLog(FILE*, const char*) override { calls.push_back("log"); return bodyResult; }
    bool ResultsFromCheck(FILE*, const char*, ReplyStatus s) override
    {
        calls.push_back("check " + std::to_string(s));
        return checkResult;
    }
    void ShowOutcome(const ReplyOutcome& o, const char* text) override
    {
        calls.push_back("outcome " + std::to_string(o.mode) + " " + std::to_string(o.book) + " " +
                        std::to_string(o.status) + " " + std::to_string(o.kind) + " [" + o.entryName + "] " + text);
    }
    bool EditorOpen() override { return editorOpen; }
    void SearchFailed(const char* text) override { calls.push_back(std::string("searchfailed ") + text); }
    int SearchFoundGroup(const GroupRecord& g) override
    {
        group = g;
        calls.push_back(std::string("group ") + g.groupName);
        return groupLines;
    }
    void SearchFoundAddressee(const AddresseeRecord& a) override
    {
        addressee = a;
        calls.push_back(std::string("addressee ") + a.shortName);
    }
    void SearchNothingFound() override { calls.push_back("nothing"); }
    void StatusText(int id) override { calls.push_back("status " + std::to_string(id)); }
    void RoutingRejected(const char* text) override { calls.push_back(std::string("routefail ") + text); }
};

std::string Header(const std::string& type)
{
    return "[TAVRINE]\r\nType: " + type + "\r\nRevision: A\r\n\r\n";
}

std::string Request(const std::string& mode, const std::string& book, const std::string& status)
{
    return "[REQUEST]\r\nMode: " + mode + "\r\nBook: " + book + "\r\nStatus: " + status + "\r\n";
}

class ReplyTest : public tvtest::StoreTest {
protected:
    RecordingSink sink;

    // Writes text as a reply file and runs reader on it; the result.
    template <typename Fn>
    bool Run(const std::string& text, Fn reader)
    {
        std::string path = temp_->File("~FIND001.ANS");
        tvtest::WriteAll(path, text);
        FILE* f = std::fopen(path.c_str(), "rb");
        EXPECT_NE(f, nullptr);
        bool r = reader(f, path.c_str());
        std::fclose(f);
        return r;
    }
    bool Deal(const std::string& text)
    {
        return Run(text, [this](FILE* f, const char* p) { return DealWithReply(f, "~FIND001.ANS", p, sink); });
    }
};

TEST(ReplyReason, CodesAndBookSubstitution)
{
    struct Row {
        const char* code;
        const char* userBook;
        int id;
    } rows[] = {
        {"ANF", "", 200},  {"aex", "JOHN", 201}, {"AEX", "", 207}, {"AEX", nullptr, 207}, {"GNF", "", 202},
        {"GEX", "MARY", 203}, {"gex", "", 208}, {"FUL", "", 204}, {"INV", "", 205}, {"SYS", "", 206},
        {"TOO", "", 260}, {"DIS", "", 261}, {"IVN", "", 262}, {"INVALID", "", 205}, {"XYZ", "", 0xF000},
        {"AN", "", 0xF000}, {"", "", 0xF000}, {nullptr, "", 0xF000}, {"F007", "", 0xF000},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ReasonStringIdForBook(r.code, r.userBook), r.id) << (r.code ? r.code : "(null)");
}

TEST(ReplyReason, FillsPlaceholdersNeverLeavesPercentS)
{
    struct Row {
        const char* templ;
        const char* first;
        const char* second;
        size_t size;
        const char* want;
    } rows[] = {
        {" - cannot find the entry for %s", "SMITH", nullptr, 100, " - cannot find the entry for SMITH"},
        {" - conflict %s in %s", "A", "B", 100, " - conflict A in B"},
        {" - conflict %s in %s", nullptr, nullptr, 100, " - conflict  in "},
        {"%s %s %s", "A", "B", 100, "A B "},
        {"100%% and %d", "X", nullptr, 100, "100% and %d"},
        {"abc %s", "LONGVALUE", nullptr, 8, "abc LON"},
        {"trailing %", "X", nullptr, 100, "trailing %"},
    };
    for (const Row& r : rows) {
        char out[100];
        FillReasonText(out, r.size, r.templ, r.first, r.second);
        EXPECT_STREQ(out, r.want) << r.templ;
    }
}

TEST_F(ReplyTest, UpdateOutcomes)
{
    struct Row {
        const char* name;
        std::string text;
        bool result;
        std::vector<std::string> calls;
    } rows[] = {
        {"add ok private", Header("AddrBook") + Request("ADD", "PRIVATE", "OK") + "Entry: NAME SMITH\r\n", true,
         {"outcome 2 0 0 1 [SMITH] Accepted: New entry for SMITH in your private address book"}},
        {"add fa network AEX no userbook",
         Header("AddrBook") + Request("ADD", "NETWORK", "FA") + "Entry: name SMITH\r\n\r\n[ERROR]\r\nReason: AEX\r\nItem: SMITHY\r\n",
         true,
         {"outcome 2 1 1 1 [SMITH] Rejected: New entry for SMITH in the network address book - conflict with "
          "the entry for SMITHY in the network address book"}},
        {"edit fa GEX userbook",
         Header("AddrBook") + Request("EDIT", "PRIVATE", "FA") + "Entry: GROUP SALES\r\n[ERROR]\r\nReason: GEX\r\nItem: SALES\r\nUserBook: MARY\r\n",
         true,
         {"outcome 3 0 1 2 [SALES] Rejected: Change to the entry for SALES in your private address book - "
          "conflict with the group SALES in the private address book for MARY"}},
        {"delete fa unknown reason", Header("AddrBook") + Request("DELETE", "NETWORK", "FA") +
                                         "Entry: ORGANISATION ACME\r\n[ERROR]\r\nReason: QQQ\r\n",
         true, {"outcome 4 1 1 3 [ACME] Rejected: Deletion of the entry for ACME from the network address book"}},
        {"deleteall fa no error paragraph", Header("AddrBook") + Request("DELETEALL", "PRIVATE", "FA") + "Entry: NAME X\r\n",
         true, {"outcome 5 0 1 1 [X] Rejected: Deletion of the entry for X from your private address book"}},
        {"bad kind", Header("AddrBook") + Request("ADD", "PRIVATE", "OK") + "Entry: THING X\r\n", true,
         {"outcome 2 0 0 0 [] Accepted: New entry for ? in your private address book"}},
        {"tilde family", Header("AddrBook") + Request("ADD", "PRIVATE", "OK") + "Entry: NAME ~TMP01\r\nFamilyName: Jones\r\n",
         true, {"outcome 2 0 0 1 [~TMP01] Accepted: New entry for Jones in your private address book"}},
        {"tilde from index", Header("AddrBook") + Request("EDIT", "PRIVATE", "OK") + "Entry: NAME ~IDX\r\n", true,
         {"outcome 3 0 0 1 [~IDX] Accepted: Change to the entry for Index Name in your private address book"}},
        {"tilde unknown", Header("AddrBook") + Request("EDIT", "PRIVATE", "OK") + "Entry: NAME ~NONE\r\n", true,
         {"outcome 3 0 0 1 [~NONE] Accepted: Change to the entry for ? in your private address book"}},
        {"long name cut", Header("AddrBook") + Request("DELETE", "PRIVATE", "OK") + "Entry: NAME ABCDEFGHIJKLMNOP\r\n", true,
         {"outcome 4 0 0 1 [ABCDEFGHIJKL] Accepted: Deletion of the entry for ABCDEFGHIJKL from your private address book"}},
        {"three requests in order",
         Header("AddrBook") + Request("ADD", "PRIVATE", "OK") + "Entry: NAME A\r\n" + Request("EDIT", "NETWORK", "FA") +
             "Entry: NAME B\r\n[ERROR]\r\nReason: ANF\r\nItem: B\r\n" + Request("DELETE", "PRIVATE", "OK") + "Entry: NAME C\r\n",
         true,
         {"outcome 2 0 0 1 [A] Accepted: New entry for A in your private address book",
          "outcome 3 1 1 1 [B] Rejected: Change to the entry for B in the network address book - cannot find the entry for B",
          "outcome 4 0 0 1 [C] Accepted: Deletion of the entry for C from your private address book"}},
        {"error of a later request not borrowed",
         Header("AddrBook") + Request("ADD", "PRIVATE", "FA") + "Entry: NAME A\r\n" + Request("ADD", "PRIVATE", "FA") +
             "Entry: NAME B\r\n[ERROR]\r\nReason: FUL\r\n",
         true,
         {"outcome 2 0 1 1 [A] Rejected: New entry for A in your private address book",
          "outcome 2 0 1 1 [B] Rejected: New entry for B in your private address book - address book full"}},
        {"status Su skipped, later handled",
         Header("AddrBook") + Request("ADD", "PRIVATE", "Su") + "Entry: NAME A\r\n" + Request("ADD", "PRIVATE", "OK") +
             "Entry: NAME B\r\n",
         false, {"outcome 2 0 0 1 [B] Accepted: New entry for B in your private address book"}},
        {"bootstrap", Header("AddrBook") + Request("BOOTSTRAP", "NETWORK", "OK"), true, {}},
        {"no request", Header("AddrBook"), true, {}},
    };
    for (const Row& r : rows) {
        sink.calls.clear();
        sink.index = {{"~IDX", "Index Name"}};
        EXPECT_EQ(Deal(r.text), r.result) << r.name;
        EXPECT_EQ(sink.calls, r.calls) << r.name;
    }
}

TEST_F(ReplyTest, OutcomeStaysWithinBoxAndDropsReasonThatDoesNotFit)
{
    std::string name(200, 'W');
    Deal(Header("AddrBook") + Request("ADD", "PRIVATE", "FA") + "Entry: NAME ~X\r\nFamilyName: " + name +
         "\r\n[ERROR]\r\nReason: AEX\r\nItem: ITEMITEMITEM\r\nUserBook: USERUSERUSER\r\n");
    ASSERT_EQ(sink.calls.size(), 1u);
    std::string text = sink.calls[0].substr(sink.calls[0].find("] ") + 2);
    EXPECT_LE(text.size(), 160u);
    EXPECT_EQ(std::string(text), "Rejected: New entry for " + std::string(80, 'W') + " in your private address book");
    EXPECT_EQ(text.find("%s"), std::string::npos);
}

TEST_F(ReplyTest, RequestFormatErrors)
{
    struct Row {
        std::string text;
        const char* log;
    } rows[] = {
        {Header("AddrBook") + "[REQUEST]\r\nBook: PRIVATE\r\nStatus: OK\r\n", "Cannot find [REQUEST] Mode: in"},
        {Header("AddrBook") + Request(" ADD", "PRIVATE", "OK"), "Invalid [REQUEST] Mode: in"},
        {Header("AddrBook") + Request("ADD X", "PRIVATE", "OK"), "Invalid [REQUEST] Mode: in"},
        {Header("AddrBook") + "[REQUEST]\r\nMode: ADD\r\nStatus: OK\r\n", "Cannot find [REQUEST] Book: in"},
        {Header("AddrBook") + Request("ADD", "OTHER", "OK"), "Invalid [REQUEST] Book: in"},
        {Header("AddrBook") + Request("ADD", "ALL", "OK"), "Invalid [REQUEST] Book: field in"},
        {Header("AddrBook") + "[REQUEST]\r\nMode: ADD\r\nBook: PRIVATE\r\n", "Cannot find [REQUEST] Status: in"},
        {Header("AddrBook") + "[REQUEST]\r\nBook: PRIVATE\r\nMode: ADD\r\nStatus: OK\r\n", "Cannot find [REQUEST] Book: in"},
        {Header("QueueStatusX"), "CheckControlFile"},
        {Header("SendDir"), "Invalid [TAVRINE] Type: field in"},
        {"[TAVRINE]\r\nType: AddrB", "CheckControlFile"},
        {Header("AddrBook") + "[REQUEST]\r\nMode: ADD\r\nBook: PRIV", "Invalid [REQUEST] Book: in"},
        {Header("AddrBook") + "[REQUEST]\r\nMode: ADD\r\nBook: PRIVATE\r\nStat", "Cannot find [REQUEST] Status: in"},
        {"", "CheckControlFile"},
    };
    for (const Row& r : rows) {
        Record().logs.clear();
        sink.calls.clear();
        EXPECT_FALSE(Deal(r.text)) << r.log;
        EXPECT_TRUE(Logged(r.log)) << r.log;
        EXPECT_TRUE(sink.calls.empty()) << r.log;
    }
}

TEST_F(ReplyTest, TypeDispatch)
{
    struct Row {
        std::string text;
        bool body;
        const char* call;
    } rows[] = {
        {Header("QueueStatus"), true, "queue"}, {Header("QueueStatus"), false, "queue"},
        {Header("Log"), true, "log"},           {Header("Log"), false, "log"},
        {Header("AddrBook") + Request("CHECK", "ALL", "FA"), true, "check 1"},
        {Header("AddrBook") + Request("CHECK", "ALL", "OK"), false, "check 0"},
    };
    for (const Row& r : rows) {
        sink.calls.clear();
        sink.bodyResult = sink.checkResult = r.body;
        EXPECT_EQ(Deal(r.text), r.body) << r.call;
        EXPECT_EQ(sink.calls, std::vector<std::string>{r.call});
    }
}

std::string FoundAddressee(int vias)
{
    std::string s = "[FOUND]\r\nEntry: NAME SMITH\r\nShortName: SMITH\r\nOwner: NETWORKOWNER\r\nName: John Smith\r\n"
                    "FirstNames: John\r\nFamilyName: Smith\r\nOrganisation: ACME\r\nAddress1: 1 Road\r\n"
                    "Address3: Town\r\nTelephone: 123\r\nTelephone2: 456\r\nUserField4: U4\r\n";
    for (int i = 0; i < vias; ++i)
        s += "Via: FAX 555-000" + std::to_string(i) + "\r\n";
    return s;
}

TEST_F(ReplyTest, SearchResults)
{
    struct Row {
        const char* name;
        std::string text;
        bool editor;
        int groupLines;
        bool result;
        std::vector<std::string> calls;
        const char* log;
    } rows[] = {
        {"editor closed", Header("AddrBook") + Request("SEARCH", "ALL", "OK") + FoundAddressee(1), false, 0, true, {}, nullptr},
        {"addressee", Header("AddrBook") + Request("SEARCH", "ALL", "OK") + FoundAddressee(1), true, 0, false,
         {"addressee SMITH"}, nullptr},
        {"no via", Header("AddrBook") + Request("SEARCH", "ALL", "OK") + FoundAddressee(0), true, 0, false,
         {"nothing"}, "Cannot find [FOUND] Via: in"},
        {"nothing found", Header("AddrBook") + Request("SEARCH", "PRIVATE", "OK"), true, 0, false, {"nothing"}, nullptr},
        {"bad entry", Header("AddrBook") + Request("SEARCH", "PRIVATE", "OK") + "[FOUND]\r\nEntry: WHAT X\r\n", true, 0,
         false, {}, "Invalid [FOUND] Entry: field in"},
        {"group with members",
         Header("AddrBook") + Request("SEARCH", "NETWORK", "OK") +
             "[FOUND]\r\nEntry: GROUP SALES\r\nGroupName: SALES\r\nOwner: NETWORK\r\nDescription: Sales team\r\n"
             "ShortName: A\r\nShortName: B\r\n",
         true, 2, false, {"group SALES"}, nullptr},
        {"group no member line", Header("AddrBook") + Request("SEARCH", "NETWORK", "OK") +
             "[FOUND]\r\nEntry: GROUP SALES\r\nGroupName: SALES\r\nOwner: NETWORK\r\nDescription: D\r\nShortName: Z\r\n",
         true, 0, false, {"group SALES", "nothing"}, nullptr},
        {"group no description", Header("AddrBook") + Request("SEARCH", "NETWORK", "OK") +
             "[FOUND]\r\nEntry: GROUP SALES\r\nGroupName: SALES\r\nOwner: NETWORK\r\nShortName: A\r\n",
         true, 0, false, {"nothing"}, "Cannot find [FOUND] Description: in"},
        {"group no owner", Header("AddrBook") + Request("SEARCH", "NETWORK", "OK") +
             "[FOUND]\r\nEntry: GROUP SALES\r\nGroupName: SALES\r\nDescription: D\r\n",
         true, 0, false, {"nothing"}, "Cannot find [FOUND] Owner: in"},
        {"failed with reason filled", Header("AddrBook") + Request("SEARCH", "PRIVATE", "FA") +
             "[ERROR]\r\nReason: ANF\r\nItem: SMITH\r\n",
         true, 0, true, {"searchfailed Search failed - cannot find the entry for SMITH"}, nullptr},
        {"failed AEX no item", Header("AddrBook") + Request("SEARCH", "PRIVATE", "FA") + "[ERROR]\r\nReason: AEX\r\n",
         true, 0, true, {"searchfailed Search failed - conflict with the entry for  in the network address book"}, nullptr},
        {"failed unknown reason", Header("AddrBook") + Request("SEARCH", "PRIVATE", "FA") + "[ERROR]\r\nReason: ZZZ\r\n",
         true, 0, false, {"searchfailed Search failed"}, nullptr},
        {"failed no error", Header("AddrBook") + Request("SEARCH", "PRIVATE", "FA"), true, 0, false,
         {"searchfailed Search failed"}, "Address book search has been rejected:"},
        {"truncated before the routes",
         Header("AddrBook") + Request("SEARCH", "ALL", "OK") + "[FOUND]\r\nEntry: NAME SMITH\r\nShortName: SMITH\r\nOwn",
         true, 0, false, {"nothing"}, "Cannot find [FOUND] Via: in"},
        {"later request's paragraphs not borrowed",
         Header("AddrBook") + Request("SEARCH", "PRIVATE", "OK") + Request("SEARCH", "PRIVATE", "FA") +
             Request("SEARCH", "ALL", "OK") + FoundAddressee(1) + "[ERROR]\r\nReason: ANF\r\n",
         true, 0, false, {"nothing", "searchfailed Search failed", "addressee SMITH"},
         "Address book search has been rejected:"},
    };
    for (const Row& r : rows) {
        Record().logs.clear();
        sink.calls.clear();
        sink.editorOpen = r.editor;
        sink.groupLines = r.groupLines;
        EXPECT_EQ(Deal(r.text), r.result) << r.name;
        EXPECT_EQ(sink.calls, r.calls) << r.name;
        if (r.log) {
            EXPECT_TRUE(Logged(r.log)) << r.name;
        } else {
            EXPECT_TRUE(Record().logs.empty()) << r.name;
        }
    }
}

TEST_F(ReplyTest, AddresseeRecordFieldsWidthsAndRoutes)
{
    std::string longName(50, 'N');
    std::string text = Header("AddrBook") + Request("SEARCH", "ALL", "OK") +
                       "[FOUND]\r\nEntry: NAME SMITH\r\nShortName: SMITHSONIAN-LONG\r\nOwner: O\r\nName: " + longName +
                       "\r\nTitle: Dr\r\nFamilyName: Smith\r\nCountry: UK\r\n"
                       "Via: FAX 111\r\nVia: FAX 222\r\nVia: BOGUS\r\nVia: FAX " + std::string(60, '9') +
                       "\r\nVia: FAX 555\r\nVia: FAX 666\r\nComment: after\r\n";
    Deal(text);
    const AddresseeRecord& a = sink.addressee;
    EXPECT_STREQ(a.shortName, "SMITHSONIAN-");
    EXPECT_STREQ(a.owner, "O");
    EXPECT_EQ(std::string(a.name), longName.substr(0, 30));
    EXPECT_STREQ(a.familyName, "Smith");
    EXPECT_STREQ(a.title, "Dr");
    EXPECT_STREQ(a.firstNames, "");
    EXPECT_STREQ(a.country, "UK");
    ASSERT_EQ(a.routeCount, 4);
    EXPECT_EQ(a.routes[0].deviceType, DeviceTypeFromName("FAX"));
    EXPECT_STREQ(a.routes[0].address, "111");
    EXPECT_STREQ(a.routes[1].address, "222");
    EXPECT_EQ(a.routes[2].deviceType, 0);
    EXPECT_STREQ(a.routes[2].address, "");
    EXPECT_EQ(std::string(a.routes[3].address), std::string(40, '9'));

    Deal(Header("AddrBook") + Request("SEARCH", "ALL", "OK") + FoundAddressee(2));
    EXPECT_STREQ(sink.addressee.owner, "NETWORKO");
    EXPECT_STREQ(sink.addressee.organisation, "ACME");
    EXPECT_STREQ(sink.addressee.address[0], "1 Road");
    EXPECT_STREQ(sink.addressee.address[1], "");
    EXPECT_STREQ(sink.addressee.address[2], "Town");
    EXPECT_STREQ(sink.addressee.telephone, "123");
    EXPECT_STREQ(sink.addressee.telephone2, "456");
    EXPECT_STREQ(sink.addressee.userField[3], "U4");
    EXPECT_EQ(sink.addressee.routeCount, 2);

    // A line out of order is left for the keys after it and then blocks the routes.
    sink.calls.clear();
    Deal(Header("AddrBook") + Request("SEARCH", "ALL", "OK") +
         "[FOUND]\r\nEntry: NAME S\r\nShortName: S\r\nFamilyName: F\r\nTitle: Dr\r\nVia: FAX 1\r\n");
    EXPECT_EQ(sink.calls, std::vector<std::string>{"nothing"});
    EXPECT_TRUE(Logged("Cannot find [FOUND] Via: in"));
}

TEST_F(ReplyTest, GroupRecordKeepsFiftyMembers)
{
    std::string text = Header("AddrBook") + Request("SEARCH", "NETWORK", "OK") +
                       "[FOUND]\r\nEntry: GROUP BIG\r\nGroupName: BIGGROUPNAMELONG\r\nOwner: OWNEROWNER\r\nDescription: " +
                       std::string(40, 'D') + "\r\n";
    for (int i = 0; i < 55; ++i)
        text += "ShortName: MEMBER" + std::to_string(i) + "LONGER\r\n";
    sink.groupLines = 1;
    Deal(text);
    EXPECT_STREQ(sink.group.groupName, "BIGGROUPNAME");
    EXPECT_STREQ(sink.group.owner, "OWNEROWN");
    EXPECT_EQ(std::string(sink.group.description), std::string(30, 'D'));
    EXPECT_EQ(sink.group.memberCount, 50);
    EXPECT_STREQ(sink.group.members[49], "MEMBER49LONG");
}

std::string Routing(const std::string& mode, const std::string& status, const std::string& error = "")
{
    return Header("Routing") + "[REQUEST]\r\nMode: " + mode + "\r\nStatus: " + status + "\r\n" + error;
}

TEST_F(ReplyTest, RoutingReplies)
{
    struct Row {
        std::string text;
        bool result;
        std::vector<std::string> calls;
        const char* log;
    } rows[] = {
        {Routing("SENDERID", "OK"), true, {"status 430"}, nullptr},
        {Routing("forward", "OK"), true, {"status 431"}, nullptr},
        {Routing("SENDERNAME", "OK"), true, {"status 434"}, nullptr},
        {Routing("SENDERID", "FA", "[ERROR]\r\nReason: IVN\r\n"), true,
         {"routefail Request to forward based on sender's identity was rejected - invalid name"}, nullptr},
        {Routing("FORWARD", "FA", "[ERROR]\r\nReason: F007\r\n"), true,
         {"routefail Automatic forwarding request was rejected - Sender name not stored"}, nullptr},
        {Routing("SENDERNAME", "FA", "[ERROR]\r\nReason: F007\r\n"), true, {}, nullptr},
        {Routing("SENDERNAME", "FA", "[ERROR]\r\nReason: f123\r\n"), true, {"routefail Problem recording sender's name"},
         nullptr},
        {Routing("SENDERNAME", "FA", "[ERROR]\r\nReason: F000\r\n"), false,
         {"routefail Problem recording sender's name"}, nullptr},
        {Routing("SENDERNAME", "FA", "[ERROR]\r\nReason: FZZZ\r\n"), false,
         {"routefail Problem recording sender's name"}, nullptr},
        {Routing("SENDERID", "FA"), false, {"routefail Request to forward based on sender's identity was rejected"},
         "Routing request has been rejected:"},
        {Routing("SENDERID", "Su"), false, {}, "Invalid [REQUEST] Status: in"},
        {Header("Routing") + "[REQUEST]\r\nMode: SENDERID\r\n", false, {}, "Cannot find [REQUEST] Status: in"},
        {Routing("SENDERID  ", "OK"), true, {"status 430"}, nullptr},
        {Routing(" SENDERID", "OK"), false, {}, "Invalid [REQUEST] Mode: in"},
        {Routing("UNKNOWN", "OK"), false, {}, "Invalid [REQUEST] Mode: in"},
        {Header("Routing") + "[REQUEST]\r\nStatus: OK\r\n", false, {}, "Cannot find [REQUEST] Mode: in"},
        {Header("Routing"), false, {}, "Cannot find [REQUEST] Mode: in"},
    };
    for (const Row& r : rows) {
        Record().logs.clear();
        sink.calls.clear();
        EXPECT_EQ(Deal(r.text), r.result) << r.text;
        EXPECT_EQ(sink.calls, r.calls) << r.text;
        if (r.log) {
            EXPECT_TRUE(Logged(r.log) && Logged("ResultsFromRouting")) << r.text;
        }
    }
}

// The awaited-reply state over a fake clock and directory.
struct FakeEnv {
    int64_t now = 1000;
    std::map<std::string, std::string> files;   // upper-cased name -> name on disk
    std::vector<std::string> removed;
    std::string dir;

    static int64_t Now(void* c) { return static_cast<FakeEnv*>(c)->now; }
    static bool Find(void* c, const char*, const char* name, char* found, size_t size)
    {
        auto* e = static_cast<FakeEnv*>(c);
        std::string key(name);
        for (char& ch : key)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        auto it = e->files.find(key);
        if (it == e->files.end())
            return false;
        std::snprintf(found, size, "%s", it->second.c_str());
        return true;
    }
    static bool Remove(void* c, const char* path)
    {
        auto* e = static_cast<FakeEnv*>(c);
        e->removed.push_back(path);
        return std::remove(path) == 0;
    }
    ReplyEnv Env() { return ReplyEnv{Now, Find, Remove, this, dir.c_str()}; }
};

TEST(ReplyAwait, RefreshesHeldForSixtySecondsOnly)
{
    ReplyAwaitState s = {};
    EXPECT_FALSE(RefreshesHeld(s, 0));
    AwaitReply(s, "~QUEU001.ANS", 100);
    struct Row {
        int64_t now;
        bool held;
    } rows[] = {{100, true}, {159, true}, {160, false}, {1000, false}, {99, false}};
    for (const Row& r : rows)
        EXPECT_EQ(RefreshesHeld(s, r.now), r.held) << r.now;
    AwaitReply(s, "~LOGS002.ANS", 500);   // a new request starts a new wait
    EXPECT_TRUE(RefreshesHeld(s, 530));
    ClearAwaitedReply(s);
    EXPECT_FALSE(RefreshesHeld(s, 530));
}

TEST_F(ReplyTest, CheckRepliesFindsProcessesAndDeletesOnlyItsOwnReply)
{
    FakeEnv fake;
    fake.dir = temp_->Path() + std::string(1, TvPathSep());
    ReplyEnv env = fake.Env();
    ReplyAwaitState s = {};

    // Nothing awaited: nothing looked for.
    fake.files["~ROUT001.ANS"] = "~rout001.ans";
    CheckReplies(s, env, sink);
    EXPECT_TRUE(sink.calls.empty());

    // Awaited but not there yet: still awaited, and the next tick goes on looking.
    AwaitReply(s, "~ROUT002.ANS", fake.now);
    CheckReplies(s, env, sink);
    EXPECT_TRUE(s.replyAwaited);
    fake.now += 120;
    EXPECT_FALSE(RefreshesHeld(s, fake.now));

    // Found under another case but cannot be opened: logged, still awaited.
    fake.files["~ROUT002.ANS"] = "~rout002.ans";
    CheckReplies(s, env, sink);
    EXPECT_STREQ(s.awaitedReplyName, "~rout002.ans");
    EXPECT_TRUE(s.replyAwaited);
    EXPECT_TRUE(Logged("Cannot open file for reading"));

    // There: read, cleared, deleted; the other reply stays.
    tvtest::WriteAll(temp_->File("~rout002.ans"), Routing("SENDERID", "OK"));
    tvtest::WriteAll(temp_->File("~rout001.ans"), Routing("SENDERID", "OK"));
    CheckReplies(s, env, sink);
    EXPECT_FALSE(s.replyAwaited);
    EXPECT_EQ(sink.calls, (std::vector<std::string>{"status 0", "status 430"}));
    ASSERT_EQ(fake.removed.size(), 1u);
    EXPECT_EQ(fake.removed[0], temp_->File("~rout002.ans"));
    EXPECT_EQ(tvtest::ReadAll(temp_->File("~rout001.ans")).empty(), false);

    // A reply that must stay is read once and kept.
    AwaitReply(s, "~FIND003.ANS", fake.now);
    fake.files["~FIND003.ANS"] = "~FIND003.ANS";
    tvtest::WriteAll(temp_->File("~FIND003.ANS"), Header("AddrBook") + Request("SEARCH", "ALL", "OK"));
    sink.calls.clear();
    CheckReplies(s, env, sink);
    CheckReplies(s, env, sink);
    EXPECT_FALSE(s.replyAwaited);
    EXPECT_EQ(sink.calls, (std::vector<std::string>{"status 0", "nothing"}));
    EXPECT_EQ(fake.removed.size(), 1u);

    // A name whose path cannot be formed is given up after one log line.
    fake.dir += std::string(40, 'D') + std::string(1, TvPathSep());
    env = fake.Env();
    AwaitReply(s, std::string(268, 'A').c_str(), fake.now);
    fake.files[std::string(268, 'A')] = std::string(268, 'A');
    Record().logs.clear();
    CheckReplies(s, env, sink);
    EXPECT_FALSE(s.replyAwaited);
    EXPECT_TRUE(Logged("Cannot open file for reading"));

    // A running check makes a nested tick return at once.
    AwaitReply(s, "~ROUT001.ANS", fake.now);
    s.checking = true;
    sink.calls.clear();
    CheckReplies(s, env, sink);
    EXPECT_TRUE(sink.calls.empty());
    EXPECT_TRUE(s.replyAwaited);
}

} // namespace
