// Fuzz target for the readers of the user's files: USER.INI (read in both
// roles, then rewritten) and USERLIST.INI (every [USER] paragraph's rights
// and limits), and the scrambler.
//
// Input: one selector byte, then the file's bytes. Bit 0 picks the file
// kind, bits 1-3 the recipient limit of the rewrite.
#include "client/shell/identity.h"
#include "client/shell/profile.h"
#include "common/ctlfile.h"
#include "tests/support/testfiles.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "shell_fuzz: check failed: %s\n", what);
        std::abort();
    }
}

FILE *StreamOf(const std::string &bytes) { return TempStreamOf(bytes); }
std::string Contents(FILE *f) { return StreamText(f); }

std::string Rewrite(const std::string &old, const TvUserProfile &p, int limit)
{
    FILE *in = StreamOf(old);
    FILE *out = std::tmpfile();
    std::string text;
    if (in && out) {
        Check(WriteProfileStream(in, out, &p, limit) == 1, "rewrite succeeds");
        text = Contents(out);
    }
    if (in)
        std::fclose(in);
    if (out)
        std::fclose(out);
    return text;
}

void CheckProfile(const std::string &body, int limit)
{
    const TvDateTime today = {1999, 12, 31, 23, 59, 59};
    TvUserProfile p{};
    SetProfileDefaults(&p, "FUZZ", "S:\\SYS\\");
    p.userCopy = p.systemCopy;
    FILE *f = StreamOf(body);
    if (!f)
        return;
    ReadProfileOptions(f, true, TV_RIGHTS_DEFAULT, today, &p);
    p.userCopy = p.systemCopy;
    ReadProfileOptions(f, false, TV_RIGHTS_DEFAULT, today, &p);
    std::fclose(f);
    Check(std::strlen(p.from) <= TV_FROM_MAX && std::strlen(p.match) <= TV_NAME12_MAX, "texts fit");
    Check(p.viewerRes >= 1 && p.viewerRes <= 4, "viewer mode in range");

    // Every written line is whole; reading the output and writing it again
    // gives the same file once the old address paragraph is converted (the
    // conversion itself keeps every entry; the limit applies from then on).
    std::string once = Rewrite(body, p, limit);
    size_t start = 0;
    while (start < once.size()) {
        size_t crlf = once.find("\r\n", start);
        Check(crlf != std::string::npos, "lines end with CR LF");
        Check(crlf - start <= TV_LINE_MAX, "line fits");
        start = crlf + 2;
    }
    TvUserProfile back{};
    SetProfileDefaults(&back, "FUZZ", "S:\\SYS\\");
    FILE *g = StreamOf(once);
    if (!g)
        return;
    Check(ReadProfileOptions(g, false, TV_RIGHTS_DEFAULT, today, &back) == 1, "written options read back");
    std::fclose(g);
    std::string twice = Rewrite(once, back, limit);
    Check(Rewrite(twice, back, limit) == twice, "rewrite is a fixed point");
}

void CheckUserList(const std::string &body)
{
    FILE *f = StreamOf(body);
    if (!f)
        return;
    char line[TV_LINE_SIZE];
    int32_t para = 0;
    int rounds = 0;
    while (FindParagraph(f, "[USER]", line, sizeof line, &para) && ++rounds < 1000) {
        TvUserLimits l;
        ReadUserList(f, &l);
        Check(std::ftell(f) == para, "position put back");
        Check(l.days >= 0 && l.days <= TV_DAYS_ALL, "days in range");
        Check((l.rights & ~0x7F) == 0, "rights in range");
        Check(l.dial == TV_DIAL_ANY || (l.dial & ~0x7FFFF) == 0, "dial bits in range");
        if (!ReadControlLine(f, line, sizeof line, nullptr))
            break;
    }
    std::fclose(f);
}

void CheckScrambler(const std::string &body)
{
    std::string text(body.c_str());
    char out[77];
    char back[33];
    UnscrambleField(text.c_str(), back, sizeof back);
    std::string clear = text.substr(0, 31);
    Check(ScrambleFieldSeeded(clear.c_str(), out, sizeof out, static_cast<int>(body.size() % 1000)) == 1,
          "31 characters scramble");
    Check(UnscrambleField(out, back, sizeof back) == 1 && clear == back, "scrambled text unscrambles");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 100000)
        return 0;
    const uint8_t sel = data[0];
    const std::string body(reinterpret_cast<const char *>(data + 1), size - 1);
    if (sel & 1)
        CheckUserList(body);
    else
        CheckProfile(body, (sel >> 1) & 7);
    CheckScrambler(body);
    return 0;
}
