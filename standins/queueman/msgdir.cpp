// Message directory files: the text edits, the stamps and the accounts.
#include "standins/queueman/msgdir.h"

#include <cstring>

#include "common/ctlfile.h"
#include "common/sharedfile.h"
#include "server/runtime/srvlog.h"

namespace {

const TvFileTime kTicksPerSecond = 10000000;
const TvFileTime kStampPeriod = 30 * 60 * kTicksPerSecond;
const TvFileTime kMarkerStep = 10 * kTicksPerSecond;
const TvFileTime kMarkerAheadMax = 31536000LL * kTicksPerSecond;
const TvFileTime kDay = 86400LL * kTicksPerSecond;
// 1601-01-01 to 1970-01-01.
const TvFileTime kUnixEpoch = 11644473600LL * kTicksPerSecond;
enum { BUSY_RETRIES = 50, BUSY_WAIT_MS = 100 };

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameText(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

// One line of a text: [start, end) without the line end; next is the start
// of the following line.
struct Line {
    size_t start, end, next;
};

bool NextLine(const std::string &text, size_t at, Line *l)
{
    if (at >= text.size())
        return false;
    size_t nl = text.find('\n', at);
    l->start = at;
    l->next = nl == std::string::npos ? text.size() : nl + 1;
    l->end = nl == std::string::npos ? text.size() : nl;
    if (l->end > l->start && text[l->end - 1] == '\r')
        --l->end;
    return true;
}

bool IsParagraph(const std::string &text, const Line &l) { return l.end > l.start && text[l.start] == '['; }

bool LineIs(const std::string &text, const Line &l, const char *what)
{
    size_t n = std::strlen(what);
    return l.end - l.start >= n && SameText(text.c_str() + l.start, what, n);
}

bool ParagraphIs(const std::string &text, const Line &l, const char *name)
{
    return IsParagraph(text, l) && l.end - l.start == std::strlen(name) && LineIs(text, l, name);
}

// The value of an entry line: after the key's colon and blanks, up to the
// first blank (the first word).
std::string FirstWord(const std::string &text, const Line &l, size_t keyLength)
{
    size_t v = l.start + keyLength;
    while (v < l.end && (text[v] == ' ' || text[v] == '\t'))
        ++v;
    size_t e = v;
    while (e < l.end && text[e] != ' ' && text[e] != '\t')
        ++e;
    return text.substr(v, e - v);
}

// The line start of the "[DOCUMENT]" paragraph of the message named file,
// or npos.
size_t FindDocument(const std::string &text, const char *file)
{
    Line l = {0, 0, 0};
    size_t doc = std::string::npos;
    for (size_t at = 0; NextLine(text, at, &l); at = l.next) {
        if (IsParagraph(text, l))
            doc = ParagraphIs(text, l, "[DOCUMENT]") ? l.start : std::string::npos;
        else if (doc != std::string::npos && LineIs(text, l, "File:") &&
                 MsgDirNameMatches(FirstWord(text, l, 5).c_str(), file))
            return doc;
    }
    return std::string::npos;
}

TvCreateResult WithRetries(const std::function<TvCreateResult()> &op)
{
    TvCreateResult r = op();
    for (int i = 0; r == TV_CR_BUSY && i < BUSY_RETRIES; ++i) {
        TvPlatSleepMs(BUSY_WAIT_MS);
        r = op();
    }
    return r;
}

std::string DirFile(const char *dir, const char *name)
{
    char path[TV_UPDATE_PATH_MAX + 16];
    if (!TvJoinPath(path, sizeof path, dir, name))
        return std::string();
    return path;
}

} // namespace

std::string MsgDirHeader(MsgDirKind kind)
{
    return std::string("[TAVRINE]\r\nType: ") + (kind == MSGDIR_RECEIVE ? "ReceiveDir" : "SendDir") +
           "\r\nRevision: A\r\n\r\n";
}

void MsgDirAppendEntry(std::string *text, const MsgDirEntry &e)
{
    if (!text->empty() && text->back() != '\n')
        *text += "\r\n";
    *text += std::string("[DOCUMENT]\r\nFile: ") + e.file + "\r\nComment: " + e.comment + "\r\n[MESSAGE]\r\nFormat: " +
             e.format + "\r\nAccepted: " + e.accepted + "\r\nType: " + e.type + "\r\nStatus: " + e.status +
             "\r\nUserStatus: " + e.userStatus + "\r\n\r\n";
}

bool MsgDirNameMatches(const char *value, const char *file)
{
    size_t n = std::strlen(file);
    if (std::strlen(value) == n && SameText(value, file, n))
        return true;
    if (std::strchr(file, '.'))
        return false;
    const char *dot = std::strchr(value, '.');
    return dot && static_cast<size_t>(dot - value) == n && SameText(value, file, n);
}

bool MsgDirSetValue(std::string *text, const char *file, const char *key, const char *value)
{
    size_t doc = FindDocument(*text, file);
    if (doc == std::string::npos)
        return false;
    Line l = {0, 0, 0};
    bool inMessage = false;
    size_t at = doc;
    NextLine(*text, at, &l);
    for (at = l.next; NextLine(*text, at, &l); at = l.next) {
        if (IsParagraph(*text, l)) {
            if (inMessage || ParagraphIs(*text, l, "[DOCUMENT]"))
                return false;
            inMessage = ParagraphIs(*text, l, "[MESSAGE]");
            continue;
        }
        if (!inMessage || !LineIs(*text, l, key))
            continue;
        std::string line = std::string(key) + " " + value;
        size_t old = l.end - l.start;
        if (line.size() < old)
            line.append(old - line.size(), ' ');
        text->replace(l.start, old, line);
        return true;
    }
    return false;
}

bool MsgDirRemoveEntry(std::string *text, const char *file)
{
    size_t doc = FindDocument(*text, file);
    if (doc == std::string::npos)
        return false;
    Line l = {0, 0, 0};
    NextLine(*text, doc, &l);
    size_t end = text->size();
    for (size_t at = l.next; NextLine(*text, at, &l); at = l.next)
        if (ParagraphIs(*text, l, "[DOCUMENT]")) {
            end = l.start;
            break;
        }
    text->erase(doc, end - doc);
    return true;
}

TvFileTime MsgDirChangeStamp(TvFileTime now) { return now - now % kStampPeriod; }

TvFileTime MarkerNextTime(TvFileTime marker, TvFileTime now)
{
    TvFileTime t = marker + kMarkerStep;
    if (now > t)
        t = now;
    if (t - now > kMarkerAheadMax)
        t = now;
    t -= t % kTicksPerSecond;
    if (t % kDay == 0)
        t += kMarkerStep;
    return t;
}

TvFileTime NowFileTime(void) { return TvPlatNowMs() * 10000 + kUnixEpoch; }

TvStatus MsgDirCreate(const char *dir, MsgDirKind kind)
{
    std::string path = DirFile(dir, MSGDIR_FILE);
    if (path.empty())
        return TV_E_BADARG;
    if (TvPlatFileExists(path.c_str()))
        return TV_OK;
    FILE *f = OpenSharedRetry(path.c_str(), "c+b");
    if (!f) {
        // Made by another program in between: as good.
        if (TvPlatFileExists(path.c_str()))
            return TV_OK;
        LogMessage(5, "Unable to create %s", path.c_str());
        return TV_E_IO;
    }
    std::string header = MsgDirHeader(kind);
    bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
    ok = TvPlatSetStreamFileTime(f, MsgDirChangeStamp(NowFileTime())) == TV_CR_OK && ok;
    if (std::fclose(f) != 0 || !ok) {
        LogMessage(5, "Error writing %s", path.c_str());
        return TV_E_IO;
    }
    return TV_OK;
}

TvStatus MsgDirChange(const char *dir, MsgDirKind kind, const std::function<bool(std::string *)> &edit,
                      bool *changed)
{
    if (changed)
        *changed = false;
    TvStatus st = MsgDirCreate(dir, kind);
    if (st != TV_OK)
        return st;
    std::string path = DirFile(dir, MSGDIR_FILE);
    FILE *f = OpenSharedRetry(path.c_str(), "r+b");
    if (!f) {
        LogMessage(5, "Unable to open %s for reading/writing", path.c_str());
        return TV_E_IO;
    }
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() <= MSGDIR_TEXT_MAX)
        text.append(buf, n);
    if (std::ferror(f) || text.size() > MSGDIR_TEXT_MAX) {
        std::fclose(f);
        LogMessage(5, "Unable to read %s", path.c_str());
        return TV_E_IO;
    }
    if (!edit(&text)) {
        std::fclose(f);
        return TV_OK;
    }
    // The new text over the open file from its start, cut to its length.
    std::rewind(f);
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = ok && std::fflush(f) == 0;
    ok = ok && TvPlatSetStreamLength(f, static_cast<int64_t>(text.size())) == TV_TR_OK;
    ok = ok && TvPlatSetStreamFileTime(f, MsgDirChangeStamp(NowFileTime())) == TV_CR_OK;
    if (std::fclose(f) != 0 || !ok) {
        LogMessage(5, "Error writing %s", path.c_str());
        return TV_E_IO;
    }
    if (changed)
        *changed = true;
    return TV_OK;
}

TvStatus MoveMarker(const char *dir, const char *name)
{
    std::string path = DirFile(dir, name);
    if (path.empty())
        return TV_E_BADARG;
    if (!TvPlatFileExists(path.c_str())) {
        FILE *f = OpenSharedRetry(path.c_str(), "ab");
        if (!f) {
            LogMessage(5, "Unable to create %s", path.c_str());
            return TV_E_IO;
        }
        static const char header[] = "[TAVRINE]\r\nType: ReceiveChange\r\nRevision: A\r\n\r\n";
        bool ok = std::fwrite(header, 1, sizeof header - 1, f) == sizeof header - 1;
        if (std::fclose(f) != 0 || !ok) {
            LogMessage(5, "Error writing %s", path.c_str());
            return TV_E_IO;
        }
    }
    TvFileTime old = 0;
    TvCreateResult r = WithRetries([&] { return TvPlatGetFileTime(path.c_str(), &old); });
    if (r == TV_CR_OK) {
        TvFileTime t = MarkerNextTime(old, NowFileTime());
        r = WithRetries([&] { return TvPlatSetFileTime(path.c_str(), t); });
    }
    if (r != TV_CR_OK) {
        LogMessage(5, "Unable to move the time of %s", path.c_str());
        return TV_E_IO;
    }
    return TV_OK;
}

// ---------------------------------------------------------------- accounts
static void AddAccount(Account *out, int max, int *count, const char *value, bool group)
{
    if (!value)
        return;
    Account a;
    std::memset(&a, 0, sizeof a);
    size_t i = 0;
    for (; value[i] && value[i] != ' ' && value[i] != '\t' && value[i] != ','; ++i) {
        if (i >= ACCOUNT_NAME_MAX || value[i] == '\\' || value[i] == '/' || value[i] == ':' || value[i] == '.') {
            LogMessage(4, "Account name '%s' in USERLIST.INI can't be a directory - ignored", value);
            return;
        }
        a.name[i] = Upper(value[i]);
    }
    if (i == 0)
        return;
    a.group = group;
    for (int k = 0; k < *count; ++k)
        if (std::strcmp(out[k].name, a.name) == 0)
            return;
    if (*count >= max) {
        LogMessage(4, "Too many accounts in USERLIST.INI - %s ignored", a.name);
        return;
    }
    out[(*count)++] = a;
}

int ReadAccounts(const char *userListPath, Account *out, int max)
{
    FILE *f = OpenSharedRetry(userListPath, "rb");
    if (!f) {
        LogMessage(5, "Unable to open %s", userListPath);
        return 0;
    }
    int count = 0;
    bool inUser = false;
    char line[TV_LINE_SIZE];
    while (ReadControlLine(f, line, sizeof line, nullptr)) {
        if (IsParagraphLine(line))
            inUser = std::strlen(line) == 6 && SameText(line, "[USER]", 6);
        else if (inUser && KeyMatches(line, "Name:"))
            AddAccount(out, max, &count, EntryValue(line), false);
        else if (inUser && KeyMatches(line, "Group:"))
            AddAccount(out, max, &count, EntryValue(line), true);
    }
    std::fclose(f);
    return count;
}

TvStatus MakeAccount(const char *allUserArea, const char *name)
{
    std::string home = DirFile(allUserArea, name);
    if (home.empty())
        return TV_E_BADARG;
    TvStatus st = TV_OK;
    if (!TvPlatDirExists(home.c_str()) && !TvPlatMakeDir(home.c_str()))
        st = TV_E_IO;
    for (const char *sub : {"T-IN", "T-OUT", "T-GRAPH", "T-DB"}) {
        std::string d = DirFile(home.c_str(), sub);
        if (st == TV_OK && !TvPlatDirExists(d.c_str()) && !TvPlatMakeDir(d.c_str()))
            st = TV_E_IO;
    }
    if (st != TV_OK) {
        LogMessage(5, "Unable to make the directories of account %s in %s", name, allUserArea);
        return st;
    }
    st = MsgDirCreate(DirFile(home.c_str(), "T-IN").c_str(), MSGDIR_RECEIVE);
    TvStatus out = MsgDirCreate(DirFile(home.c_str(), "T-OUT").c_str(), MSGDIR_SEND);
    return st != TV_OK ? st : out;
}
