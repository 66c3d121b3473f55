#include "client/store/reply.h"

#include <cstdlib>
#include <cstring>

#include "client/store/ctltypes.h"
#include "client/store/storefile.h"
#include "client/store/storehooks.h"
#include "common/ctlfile.h"
#include "common/formats.h"
#include "common/sharedfile.h"

namespace {

enum { TV_REASON_CODE_LENGTH = 3, TV_STATUS_CODE_LENGTH = 4, TV_TEXT_SIZE = 512 };

struct ReasonRow {
    char code[TV_REASON_CODE_LENGTH + 1];
    int stringId;
};
const ReasonRow kReasons[] = {
    {"ANF", TV_STR_REASON_ANF}, {"AEX", TV_STR_REASON_AEX}, {"GNF", TV_STR_REASON_GNF},
    {"GEX", TV_STR_REASON_GEX}, {"FUL", TV_STR_REASON_FUL}, {"INV", TV_STR_REASON_INV},
    {"SYS", TV_STR_REASON_SYS}, {"TOO", TV_STR_REASON_TOO}, {"DIS", TV_STR_REASON_DIS},
    {"IVN", TV_STR_REASON_IVN},
};

struct WordRow {
    const char* line;   // the whole upper-cased line
    int value;
};
const WordRow kModes[] = {
    {"MODE: CHECK", TV_MODE_CHECK},   {"MODE: SEARCH", TV_MODE_SEARCH},
    {"MODE: ADD", TV_MODE_ADD},       {"MODE: EDIT", TV_MODE_EDIT},
    {"MODE: DELETE", TV_MODE_DELETE}, {"MODE: DELETEALL", TV_MODE_DELETEALL},
    {"MODE: BOOTSTRAP", TV_MODE_BOOTSTRAP},
};
const WordRow kBooks[] = {
    {"BOOK: PRIVATE", TV_BOOK_PRIVATE}, {"BOOK: NETWORK", TV_BOOK_NETWORK}, {"BOOK: ALL", TV_BOOK_ALL},
};
const WordRow kStatuses[] = {{"STATUS: OK", TV_REPLY_OK}, {"STATUS: FA", TV_REPLY_FA}};

struct RoutingRow {
    const char* line;
    RoutingMode mode;
    int okText;
    int failText;
};
const RoutingRow kRoutingModes[] = {
    {"MODE: SENDERID", TV_ROUTE_SENDERID, TV_STR_ROUTE_SENDERID_OK, TV_STR_ROUTE_SENDERID_FA},
    {"MODE: FORWARD", TV_ROUTE_FORWARD, TV_STR_ROUTE_FORWARD_OK, TV_STR_ROUTE_FORWARD_FA},
    {"MODE: SENDERNAME", TV_ROUTE_SENDERNAME, TV_STR_ROUTE_SENDERNAME_OK, TV_STR_ROUTE_SENDERNAME_FA},
};

struct KindRow {
    const char* word;
    int kind;
};
const KindRow kKinds[] = {
    {"NAME", TV_ENTRY_NAME}, {"GROUP", TV_ENTRY_GROUP}, {"ORGANISATION", TV_ENTRY_ORGANISATION},
};

const char kDealWithReply[] = "DealWithReply";
const char kResultsFromSearch[] = "ResultsFromSearch";
const char kResultsFromRouting[] = "ResultsFromRouting";

// The row whose line equals the upper-cased line; null when none does.
template <typename Row, size_t N>
const Row* MatchLine(const Row (&rows)[N], const char* line)
{
    char upper[TV_LINE_SIZE];
    CopyString(upper, line, static_cast<int16_t>(sizeof upper));
    AsciiUpper(upper);
    for (const Row& row : rows)
        if (std::strcmp(row.line, upper) == 0)
            return &row;
    return nullptr;
}

void Copy(char* out, size_t size, const char* text)
{
    CopyString(out, text ? text : "", static_cast<int16_t>(size));
}

// Appends text to out (size bytes), cut to the room left.
void Append(char* out, size_t size, const char* text)
{
    size_t used = std::strlen(out);
    if (used + 1 < size)
        Copy(out + used, size - used, text);
}

// Appends the client's string id to out, its placeholders filled from first
// and second (empty when null): no piece of a box shows a bare "%s".
void AppendString(ReplySink& sink, int id, char* out, size_t size, const char* first = nullptr,
                  const char* second = nullptr)
{
    char templ[TV_TEXT_SIZE];
    char filled[TV_TEXT_SIZE];
    if (!sink.LoadText(id, templ, sizeof templ))
        return;
    FillReasonText(filled, sizeof filled, templ, first, second);
    Append(out, size, filled);
}

// The reason of the "[ERROR]" paragraph that follows.
struct ReasonInfo {
    bool found = false;                    // paragraph and Reason: value present
    char code[TV_LINE_SIZE] = {};
    char item[TV_ADB_SHORT + 1] = {};
    char userBook[TV_ADB_SHORT + 1] = {};
};

// Forward to the paragraph name among those that belong to the current
// request: the search ends at the next "[REQUEST]", so a later request's
// paragraph is never taken. Back where it was when none.
bool FindOwnParagraph(FILE* f, const char* name)
{
    char line[TV_LINE_SIZE];
    long back = std::ftell(f);
    while (FindParagraph(f, nullptr, line, sizeof line, nullptr)) {
        if (KeyMatches(line, name))
            return true;
        if (KeyMatches(line, "[REQUEST]"))
            break;
    }
    if (back >= 0)
        std::fseek(f, back, SEEK_SET);
    return false;
}

void ReadReason(FILE* f, ReasonInfo& r)
{
    if (!FindOwnParagraph(f, "[ERROR]"))
        return;
    long para = std::ftell(f);
    if (GetStringEntry(f, "Reason:", r.code, sizeof r.code, 0) && r.code[0] != '\0')
        r.found = true;
    if (para >= 0)
        std::fseek(f, para, SEEK_SET);
    GetStringEntry(f, "Item:", r.item, sizeof r.item, 0);
    if (para >= 0)
        std::fseek(f, para, SEEK_SET);
    GetStringEntry(f, "UserBook:", r.userBook, sizeof r.userBook, 0);
    if (para >= 0)
        std::fseek(f, para, SEEK_SET);
}

// The filled reason text of r into out; false when the reason is unknown.
bool ReasonText(ReplySink& sink, const ReasonInfo& r, char* out, size_t size)
{
    out[0] = '\0';
    if (!r.found)
        return false;
    int id = ReasonStringIdForBook(r.code, r.userBook);
    char templ[TV_TEXT_SIZE];
    if (id == TV_STR_NO_REASON || !sink.LoadText(id, templ, sizeof templ))
        return false;
    FillReasonText(out, size, templ, r.item, r.userBook);
    return true;
}

bool LogFalse(const char* function, const char* fmt, const char* path)
{
    StoreLog(TV_LOG_BAD_ENTRY, function, fmt, path ? path : "");
    return false;
}

// The entry line key in the current paragraph, from the current position,
// matched as a whole line against rows. 1 matched, 0 missing, -1 invalid.
template <typename Row, size_t N>
int ReadKeyLine(FILE* f, const char* key, const Row (&rows)[N], const Row** row)
{
    char line[TV_LINE_SIZE];
    if (!FindEntry(f, key, line, sizeof line, 0, nullptr))
        return 0;
    *row = MatchLine(rows, line);
    return *row ? 1 : -1;
}

// The outcome box of an update request.
void UpdateOutcome(FILE* f, ReplyMode mode, ReplyBook book, ReplyStatus status, ReplySink& sink)
{
    ReplyOutcome o = {};
    o.mode = mode;
    o.book = book;
    o.status = status;
    long para = std::ftell(f);
    o.kind = EntryKind(f, o.entryName);

    char display[TV_REPLY_FAMILY_DISPLAY + 1];
    Copy(display, sizeof display, o.kind == TV_ENTRY_NONE ? "?" : o.entryName);
    if (o.kind != TV_ENTRY_NONE && o.entryName[0] == '~') {
        char family[TV_REPLY_FAMILY_DISPLAY + 1] = {};
        if (GetStringEntry(f, "FamilyName:", family, sizeof family, 0))
            Copy(display, sizeof display, family);
        else if (!sink.IndexDisplayName(o.entryName, display, sizeof display))
            Copy(display, sizeof display, "?");
    }
    if (para >= 0)
        std::fseek(f, para, SEEK_SET);

    char text[TV_REPLY_BOX_MAX + 1] = {};
    AppendString(sink, status == TV_REPLY_OK ? TV_STR_ACCEPTED : TV_STR_REJECTED, text, sizeof text);
    int modeText = mode == TV_MODE_ADD ? TV_STR_NEW_ENTRY
                   : mode == TV_MODE_EDIT ? TV_STR_CHANGE_ENTRY : TV_STR_DELETE_ENTRY;
    AppendString(sink, modeText, text, sizeof text, display);
    AppendString(sink, book == TV_BOOK_PRIVATE ? TV_STR_PRIVATE_BOOK : TV_STR_NETWORK_BOOK, text, sizeof text);
    char filled[TV_TEXT_SIZE];

    if (status == TV_REPLY_FA) {
        ReasonInfo r;
        ReadReason(f, r);
        if (ReasonText(sink, r, filled, sizeof filled) && std::strlen(text) + std::strlen(filled) <= TV_REPLY_BOX_MAX)
            Append(text, sizeof text, filled);
    }
    sink.ShowOutcome(o, text);
}

// A "Via:" value into a route: device type from the first word, the address
// after the blanks.
void ParseRoute(const char* value, AddresseeRoute& route)
{
    char word[TV_LINE_SIZE];
    size_t n = std::strcspn(value, " \t");
    Copy(word, n + 1 < sizeof word ? n + 1 : sizeof word, value);
    route.deviceType = DeviceTypeFromName(word);
    const char* rest = value + n;
    while (*rest == ' ' || *rest == '\t')
        ++rest;
    Copy(route.address, sizeof route.address, rest);
}

} // namespace

bool ReplySink::LoadText(int, char* out, size_t size)
{
    if (size)
        out[0] = '\0';
    return false;
}
bool ReplySink::IndexDisplayName(const char*, char*, size_t) { return false; }
bool ReplySink::ResultsFromQueue(FILE*, const char*) { return false; }
bool ReplySink::ResultsFromServerLog(FILE*, const char*) { return false; }
bool ReplySink::ResultsFromCheck(FILE*, const char*, ReplyStatus) { return false; }
void ReplySink::ShowOutcome(const ReplyOutcome&, const char*) {}
bool ReplySink::EditorOpen() { return false; }
void ReplySink::SearchFailed(const char*) {}
int ReplySink::SearchFoundGroup(const GroupRecord&) { return 0; }
void ReplySink::SearchFoundAddressee(const AddresseeRecord&) {}
void ReplySink::SearchNothingFound() {}
void ReplySink::StatusText(int) {}
void ReplySink::RoutingRejected(const char*) {}

int ReasonStringId(const char* code)
{
    if (!code || std::strlen(code) < TV_REASON_CODE_LENGTH)
        return TV_STR_NO_REASON;
    for (const ReasonRow& row : kReasons)
        if (AsciiCompareNoCaseN(code, row.code, TV_REASON_CODE_LENGTH) == 0)
            return row.stringId;
    return TV_STR_NO_REASON;
}

int ReasonStringIdForBook(const char* code, const char* userBook)
{
    int id = ReasonStringId(code);
    bool network = !userBook || userBook[0] == '\0';
    if (network && id == TV_STR_REASON_AEX)
        return TV_STR_REASON_AEX_NETWORK;
    if (network && id == TV_STR_REASON_GEX)
        return TV_STR_REASON_GEX_NETWORK;
    return id;
}

void FillReasonText(char* out, size_t size, const char* templ, const char* first, const char* second)
{
    if (!out || size == 0)
        return;
    out[0] = '\0';
    if (!templ)
        return;
    const char* args[2] = {first ? first : "", second ? second : ""};
    int next = 0;
    size_t used = 0;
    for (const char* p = templ; *p && used + 1 < size; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            const char* arg = next < 2 ? args[next] : "";
            ++next;
            for (; *arg && used + 1 < size; ++arg)
                out[used++] = *arg;
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            out[used++] = '%';
            ++p;
        } else {
            out[used++] = *p;
        }
    }
    out[used] = '\0';
}

int EntryKind(FILE* f, char* name)
{
    name[0] = '\0';
    char value[TV_LINE_SIZE];
    if (!GetStringEntry(f, "Entry:", value, sizeof value, 0))
        return TV_ENTRY_NONE;
    size_t n = std::strcspn(value, " \t");
    for (const KindRow& row : kKinds) {
        if (n == std::strlen(row.word) && AsciiCompareNoCaseN(value, row.word, n) == 0) {
            const char* rest = value + n;
            while (*rest == ' ' || *rest == '\t')
                ++rest;
            CopyString(name, rest, TV_ADB_SHORT + 1);
            return row.kind;
        }
    }
    return TV_ENTRY_NONE;
}

bool ReadAddresseeEntry(const char* shortName, const char* path, FILE* f, AddresseeRecord* rec)
{
    Copy(rec->shortName, sizeof rec->shortName, shortName);
    struct Field {
        const char* key;
        char* out;
        size_t size;
    };
    const Field fields[] = {
        {"Owner:", rec->owner, sizeof rec->owner},
        {"Name:", rec->name, sizeof rec->name},
        {"Title:", rec->title, sizeof rec->title},
        {"FirstNames:", rec->firstNames, sizeof rec->firstNames},
        {"FamilyName:", rec->familyName, sizeof rec->familyName},
        {"DearName:", rec->dearName, sizeof rec->dearName},
        {"Synonyms:", rec->synonyms, sizeof rec->synonyms},
        {"Position:", rec->position, sizeof rec->position},
        {"Department:", rec->department, sizeof rec->department},
        {"Organisation:", rec->organisation, sizeof rec->organisation},
        {"Address1:", rec->address[0], sizeof rec->address[0]},
        {"Address2:", rec->address[1], sizeof rec->address[1]},
        {"Address3:", rec->address[2], sizeof rec->address[2]},
        {"Address4:", rec->address[3], sizeof rec->address[3]},
        {"Address5:", rec->address[4], sizeof rec->address[4]},
        {"PostcodeZip:", rec->postcodeZip, sizeof rec->postcodeZip},
        {"Country:", rec->country, sizeof rec->country},
        {"Telephone:", rec->telephone, sizeof rec->telephone},
        {"Telephone2:", rec->telephone2, sizeof rec->telephone2},
        {"UserField1:", rec->userField[0], sizeof rec->userField[0]},
        {"UserField2:", rec->userField[1], sizeof rec->userField[1]},
        {"UserField3:", rec->userField[2], sizeof rec->userField[2]},
        {"UserField4:", rec->userField[3], sizeof rec->userField[3]},
    };
    for (const Field& fld : fields)
        if (!GetStringEntryHere(f, fld.key, fld.out, static_cast<int>(fld.size), 0))
            fld.out[0] = '\0';

    rec->routeCount = 0;
    int seen = 0;
    char value[TV_LINE_SIZE];
    // GetStringEntryHere leaves the stream before a line that is no Via:.
    while (GetStringEntryHere(f, "Via:", value, sizeof value, 0)) {
        if (rec->routeCount < TV_ADB_MAX_ROUTES)
            ParseRoute(value, rec->routes[rec->routeCount++]);
        ++seen;
    }
    if (seen == 0)
        return LogFalse("ReadAddresseeEntry", "Cannot find [FOUND] Via: in %s", path);
    return true;
}

bool ReadGroupEntry(const char* groupName, const char* path, FILE* f, GroupRecord* rec)
{
    Copy(rec->groupName, sizeof rec->groupName, groupName);
    rec->memberCount = 0;
    if (!GetStringEntryHere(f, "Owner:", rec->owner, sizeof rec->owner, 0))
        return LogFalse("ReadGroupEntry", "Cannot find [FOUND] Owner: in %s", path);
    if (!GetStringEntryHere(f, "Description:", rec->description, sizeof rec->description, 0))
        return LogFalse("ReadGroupEntry", "Cannot find [FOUND] Description: in %s", path);
    while (rec->memberCount < TV_ADB_MAX_MEMBERS &&
           GetStringEntryHere(f, "ShortName:", rec->members[rec->memberCount], TV_ADB_SHORT + 1, 0))
        ++rec->memberCount;
    return true;
}

bool ResultsFromSearch(FILE* f, const char* path, ReplyStatus status, ReplySink& sink)
{
    if (!sink.EditorOpen())
        return true;
    char text[TV_REPLY_BOX_MAX + 1] = {};
    if (status == TV_REPLY_FA) {
        ReasonInfo r;
        ReadReason(f, r);
        if (!r.found)
            StoreLog(TV_LOG_BAD_ENTRY, kResultsFromSearch, "Address book search has been rejected: %s",
                     path ? path : "");
        char reason[TV_TEXT_SIZE];
        bool known = ReasonText(sink, r, reason, sizeof reason);
        AppendString(sink, TV_STR_SEARCH_FAILED, text, sizeof text);
        Append(text, sizeof text, reason);
        sink.SearchFailed(text);
        return known;
    }

    bool found = false;
    if (FindOwnParagraph(f, "[FOUND]")) {
        char name[TV_ADB_SHORT + 1];
        int kind = EntryKind(f, name);
        if (kind == TV_ENTRY_NONE)
            return LogFalse(kResultsFromSearch, "Invalid [FOUND] Entry: field in %s", path);
        char shortName[TV_ADB_SHORT + 1] = {};
        if (kind == TV_ENTRY_GROUP) {
            GroupRecord group = {};
            if (GetStringEntry(f, "GroupName:", shortName, sizeof shortName, 0) &&
                ReadGroupEntry(shortName, path, f, &group))
                found = sink.SearchFoundGroup(group) > 0;
        } else {
            AddresseeRecord rec = {};
            if (GetStringEntry(f, "ShortName:", shortName, sizeof shortName, 0) &&
                ReadAddresseeEntry(shortName, path, f, &rec)) {
                sink.SearchFoundAddressee(rec);
                found = true;
            }
        }
    }
    if (!found)
        sink.SearchNothingFound();
    return false;
}

bool ResultsFromRouting(FILE* f, const char* path, ReplySink& sink)
{
    char line[TV_LINE_SIZE];
    const RoutingRow* mode = nullptr;
    if (!FindParagraph(f, "[REQUEST]", line, sizeof line, nullptr) ||
        !FindEntry(f, "Mode:", line, sizeof line, 0, nullptr))
        return LogFalse(kResultsFromRouting, "Cannot find [REQUEST] Mode: in %s", path);
    mode = MatchLine(kRoutingModes, line);
    if (!mode)
        return LogFalse(kResultsFromRouting, "Invalid [REQUEST] Mode: in %s", path);
    const WordRow* status = nullptr;
    int got = ReadKeyLine(f, "Status:", kStatuses, &status);
    if (got == 0)
        return LogFalse(kResultsFromRouting, "Cannot find [REQUEST] Status: in %s", path);
    if (got < 0)
        return LogFalse(kResultsFromRouting, "Invalid [REQUEST] Status: in %s", path);

    if (status->value == TV_REPLY_OK) {
        sink.StatusText(mode->okText);
        return true;
    }

    ReasonInfo r;
    ReadReason(f, r);
    if (!r.found)
        StoreLog(TV_LOG_BAD_ENTRY, kResultsFromRouting, "Routing request has been rejected: %s", path ? path : "");
    char reason[TV_TEXT_SIZE] = {};
    bool known = ReasonText(sink, r, reason, sizeof reason);
    long statusCode = 0;
    if (!known && r.found && std::strlen(r.code) == TV_STATUS_CODE_LENGTH) {
        char* end = nullptr;
        long v = std::strtol(r.code, &end, 16);
        bool hex = true;
        for (const char* p = r.code; *p; ++p)
            hex = hex && ((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f') || (*p >= 'A' && *p <= 'F'));
        if (hex && end && *end == '\0' && v > TV_STR_NO_REASON) {
            statusCode = v;
            known = true;
            Copy(reason, sizeof reason, " - ");
            AppendString(sink, static_cast<int>(v), reason, sizeof reason);
            if (std::strcmp(reason, " - ") == 0)
                reason[0] = '\0';
        }
    }
    if (!(mode->mode == TV_ROUTE_SENDERNAME && statusCode == TV_ROUTE_QUIET_STATUS)) {
        char text[TV_REPLY_BOX_MAX + 1] = {};
        AppendString(sink, mode->failText, text, sizeof text);
        Append(text, sizeof text, reason);
        sink.RoutingRejected(text);
    }
    return known;
}

bool DealWithReply(FILE* f, const char* name, const char* path, ReplySink& sink)
{
    (void)name;
    int type = CheckControlFile(f, path, 1);
    switch (type) {
    case TV_CTL_QUEUESTATUS:
        return sink.ResultsFromQueue(f, path);
    case TV_CTL_LOG:
        return sink.ResultsFromServerLog(f, path);
    case TV_CTL_ROUTING:
        return ResultsFromRouting(f, path, sink);
    case TV_CTL_INVALID:
        return false;
    case TV_CTL_ADDRBOOK:
        break;
    default:
        return LogFalse(kDealWithReply, "Invalid [TAVRINE] Type: field in %s", path);
    }

    bool result = true;
    char line[TV_LINE_SIZE];
    while (FindParagraph(f, "[REQUEST]", line, sizeof line, nullptr)) {
        const WordRow* mode = nullptr;
        const WordRow* book = nullptr;
        const WordRow* status = nullptr;
        int got = ReadKeyLine(f, "Mode:", kModes, &mode);
        if (got == 0)
            return LogFalse(kDealWithReply, "Cannot find [REQUEST] Mode: in %s", path);
        if (got < 0)
            return LogFalse(kDealWithReply, "Invalid [REQUEST] Mode: in %s", path);
        got = ReadKeyLine(f, "Book:", kBooks, &book);
        if (got == 0)
            return LogFalse(kDealWithReply, "Cannot find [REQUEST] Book: in %s", path);
        if (got < 0)
            return LogFalse(kDealWithReply, "Invalid [REQUEST] Book: in %s", path);
        if (book->value == TV_BOOK_ALL && mode->value != TV_MODE_CHECK && mode->value != TV_MODE_SEARCH)
            return LogFalse(kDealWithReply, "Invalid [REQUEST] Book: field in %s", path);
        got = ReadKeyLine(f, "Status:", kStatuses, &status);
        if (got == 0)
            return LogFalse(kDealWithReply, "Cannot find [REQUEST] Status: in %s", path);
        if (got < 0) {
            result = false;
            continue;
        }
        ReplyStatus st = static_cast<ReplyStatus>(status->value);
        switch (mode->value) {
        case TV_MODE_CHECK:
            if (!sink.ResultsFromCheck(f, path, st))
                result = false;
            break;
        case TV_MODE_SEARCH:
            if (!ResultsFromSearch(f, path, st, sink))
                result = false;
            break;
        case TV_MODE_BOOTSTRAP:
            break;
        default:
            UpdateOutcome(f, static_cast<ReplyMode>(mode->value), static_cast<ReplyBook>(book->value), st, sink);
            break;
        }
    }
    return result;
}

void AwaitReply(ReplyAwaitState& state, const char* name, int64_t now)
{
    Copy(state.awaitedReplyName, sizeof state.awaitedReplyName, name);
    state.replyAwaited = true;
    state.awaitedSince = now;
}

void ClearAwaitedReply(ReplyAwaitState& state)
{
    state.replyAwaited = false;
    state.awaitedReplyName[0] = '\0';
}

bool RefreshesHeld(const ReplyAwaitState& state, int64_t now)
{
    if (!state.replyAwaited)
        return false;
    int64_t waited = now - state.awaitedSince;
    // A clock set back counts as a fresh wait rather than an endless one.
    return waited >= 0 && waited < TV_REPLY_REFRESH_HOLD_SECONDS;
}

bool FindAwaitedReply(ReplyAwaitState& state, const ReplyEnv& env)
{
    if (!state.replyAwaited || state.awaitedReplyName[0] == '\0')
        return false;
    char found[TV_REPLY_NAME_SIZE] = {};
    if (!env.findFile(env.context, env.replyDir, state.awaitedReplyName, found, sizeof found))
        return false;
    if (found[0] != '\0')
        Copy(state.awaitedReplyName, sizeof state.awaitedReplyName, found);
    return true;
}

void ProcessReply(ReplyAwaitState& state, const ReplyEnv& env, ReplySink& sink)
{
    char path[TV_STORE_PATH_SIZE];
    if (!StorePath(path, sizeof path, env.replyDir, state.awaitedReplyName)) {
        // A path that does not fit never opens: logged once, not retried.
        StoreLog(TV_LOG_OPEN, "ProcessReply", "Cannot open file for reading %s", state.awaitedReplyName);
        state.replyAwaited = false;
        return;
    }
    FILE* f = OpenSharedRetry(path, "rb");
    if (!f) {
        StoreLog(TV_LOG_OPEN, "ProcessReply", "Cannot open file for reading %s", path);
        return;
    }
    sink.StatusText(0);
    bool remove = DealWithReply(f, state.awaitedReplyName, path, sink);
    std::fclose(f);
    state.replyAwaited = false;
    if (remove)
        env.removeFile(env.context, path);
}

void CheckReplies(ReplyAwaitState& state, const ReplyEnv& env, ReplySink& sink)
{
    if (state.checking)
        return;
    state.checking = true;
    if (FindAwaitedReply(state, env))
        ProcessReply(state, env, sink);
    state.checking = false;
}
