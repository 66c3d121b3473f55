// Fuzz target for the reply readers: DealWithReply over any file, with the
// address-book, routing and search readers behind it.
//
// Input: one selector byte (bit 0 the editor is open, bit 1 the body readers
// allow deletion, bit 2 the group shows member lines), then the reply's
// bytes. Whatever the file holds, every text shown must fit its box and carry
// no unfilled "%s", and every record must keep its counts and widths.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "client/store/reply.h"

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "reply_fuzz: check failed: %s\n", what);
        std::abort();
    }
}

// Whether the reply itself holds "%s" (a value may show it as text).
bool g_inputHasPlaceholder = false;

void CheckText(const char* text)
{
    Check(std::strlen(text) <= TV_REPLY_BOX_MAX, "box text within its size");
    Check(g_inputHasPlaceholder || std::strstr(text, "%s") == nullptr, "no unfilled placeholder");
}

void CheckField(const char* field, size_t width) { Check(std::strlen(field) <= width, "field width"); }

// Every text a placeholder or two, so that filling is exercised.
class FuzzSink : public ReplySink {
public:
    uint8_t selector = 0;

    bool LoadText(int id, char* out, size_t size) override
    {
        if (id % 7 == 3)
            return false;
        std::snprintf(out, size, "[%d %%s/%%s %%d]", id);
        return true;
    }
    bool IndexDisplayName(const char* shortName, char* out, size_t size) override
    {
        std::snprintf(out, size, "%s-index", shortName);
        return (selector & 4) != 0;
    }
    bool ResultsFromQueue(FILE*, const char*) override { return (selector & 2) != 0; }
    bool ResultsFromServerLog(FILE*, const char*) override { return (selector & 2) != 0; }
    bool ResultsFromCheck(FILE*, const char*, ReplyStatus s) override
    {
        Check(s == TV_REPLY_OK || s == TV_REPLY_FA, "status");
        return (selector & 2) != 0;
    }
    void ShowOutcome(const ReplyOutcome& o, const char* text) override
    {
        CheckField(o.entryName, TV_ADB_SHORT);
        Check(o.kind >= TV_ENTRY_NONE && o.kind <= TV_ENTRY_ORGANISATION, "kind");
        CheckText(text);
    }
    bool EditorOpen() override { return (selector & 1) != 0; }
    void SearchFailed(const char* text) override { CheckText(text); }
    int SearchFoundGroup(const GroupRecord& g) override
    {
        Check(g.memberCount >= 0 && g.memberCount <= TV_ADB_MAX_MEMBERS, "member count");
        CheckField(g.groupName, TV_ADB_SHORT);
        CheckField(g.owner, TV_ADB_OWNER);
        CheckField(g.description, TV_ADB_DESCRIPTION);
        for (int i = 0; i < g.memberCount; ++i)
            CheckField(g.members[i], TV_ADB_SHORT);
        return (selector & 4) ? g.memberCount : 0;
    }
    void SearchFoundAddressee(const AddresseeRecord& a) override
    {
        Check(a.routeCount >= 1 && a.routeCount <= TV_ADB_MAX_ROUTES, "route count");
        CheckField(a.shortName, TV_ADB_SHORT);
        CheckField(a.owner, TV_ADB_OWNER);
        CheckField(a.name, TV_ADB_NAME);
        CheckField(a.synonyms, TV_ADB_SYNONYMS);
        for (int i = 0; i < a.routeCount; ++i)
            CheckField(a.routes[i].address, TV_ADB_ROUTE_ADDRESS);
    }
    void RoutingRejected(const char* text) override { CheckText(text); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    FuzzSink sink;
    sink.selector = data[0];
    g_inputHasPlaceholder = false;
    for (size_t i = 1; i + 1 < size; ++i)
        if (data[i] == '%' && data[i + 1] == 's')
            g_inputHasPlaceholder = true;
    FILE* f = std::tmpfile();
    Check(f != nullptr, "scratch file");
    if (size > 1)
        Check(std::fwrite(data + 1, 1, size - 1, f) == size - 1, "scratch write");
    std::rewind(f);
    DealWithReply(f, "~FIND001.ANS", "~FIND001.ANS", sink);
    std::fclose(f);
    return 0;
}
