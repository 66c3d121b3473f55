// Fuzz target for the control-file reader, the searches, the token and field
// splitters and the one-entry rewrite.
//
// Input: three selector bytes, then the file's bytes. The selectors pick the
// reader's buffer size, the paragraph, key and value of a rewrite and its
// move-to-end flag. Every result is checked against small models over plain
// strings that are built here independently of the library's code.
#include "common/ctlfile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "ctlfile_fuzz: check failed: %s\n", what);
        std::abort();
    }
}

// A read-only stream over bytes (a temporary file when there are none,
// since a memory stream of size 0 is refused by some C libraries).
FILE *ReadStream(const std::string &bytes)
{
    if (bytes.empty())
        return std::tmpfile();
    return fmemopen(const_cast<char *>(bytes.data()), bytes.size(), "rb");
}

struct ModelLine {
    std::string text;
    int32_t start;
};

// The reader's contract: split on line feeds, keep the first size - 1 bytes
// of each line (line feed included), blank out bytes below 32 and 127, trim
// trailing blanks.
std::vector<ModelLine> ModelLines(const std::string &bytes, int size)
{
    std::vector<ModelLine> lines;
    size_t i = 0;
    while (i < bytes.size()) {
        size_t lf = bytes.find('\n', i);
        size_t end = lf == std::string::npos ? bytes.size() : lf + 1;
        std::string raw = bytes.substr(i, end - i);
        if (raw.size() > static_cast<size_t>(size - 1))
            raw.resize(static_cast<size_t>(size - 1));
        for (char &c : raw) {
            unsigned char u = static_cast<unsigned char>(c);
            if (u < 32 || u == 127)
                c = ' ';
        }
        while (!raw.empty() && raw.back() == ' ')
            raw.pop_back();
        lines.push_back({raw, static_cast<int32_t>(i)});
        i = end;
    }
    return lines;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool StartsNoCase(const std::string &line, const std::string &name)
{
    if (line.size() < name.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (Lower(line[i]) != Lower(name[i]))
            return false;
    return true;
}

// A key's final ':' stands for ':' or '='.
bool KeyFits(const std::string &line, const std::string &key)
{
    if (!key.empty() && key.back() == ':') {
        std::string stem = key.substr(0, key.size() - 1);
        return line.size() >= key.size() && StartsNoCase(line, stem) &&
               (line[stem.size()] == ':' || line[stem.size()] == '=');
    }
    return StartsNoCase(line, key);
}

bool IsPara(const std::string &l) { return !l.empty() && l[0] == '['; }
bool IsEntry(const std::string &l) { return !l.empty() && l[0] != ' ' && l[0] != ';'; }

const char *const kParas[] = {"[TAVRINE]", "[OPTIONS]", "[FAX", "[P]", "[NEW]", nullptr};
const char *const kKeys[] = {"Type:", "Port:", "A:", "K:", "Port", "", nullptr};

void CheckReader(const std::string &body, int size)
{
    FILE *f = ReadStream(body);
    if (!f)
        return;
    std::vector<ModelLine> model = ModelLines(body, size);
    std::vector<char> buf(static_cast<size_t>(size));
    size_t n = 0;
    int32_t pos = -1;
    while (ReadControlLine(f, buf.data(), size, &pos)) {
        Check(n < model.size(), "reader returns no extra line");
        Check(model[n].text == buf.data(), "reader line equals the model");
        Check(model[n].start == pos, "line start position");
        ++n;
    }
    Check(n == model.size(), "reader loses no line");
    std::fclose(f);
}

// FindParagraph + FindEntry against a search over the model's lines.
void CheckSearch(const std::string &body, const std::vector<ModelLine> &lines, const char *para,
                 const char *key)
{
    FILE *f = ReadStream(body);
    if (!f)
        return;
    size_t i = 0;
    bool paraFound = true;
    if (para) {
        paraFound = false;
        for (; i < lines.size(); ++i)
            if (IsPara(lines[i].text) && StartsNoCase(lines[i].text, para)) {
                paraFound = true;
                ++i;
                break;
            }
    }
    const ModelLine *want = nullptr;
    if (paraFound) {
        for (; i < lines.size() && !IsPara(lines[i].text); ++i)
            if (IsEntry(lines[i].text) && (!key || KeyFits(lines[i].text, key))) {
                want = &lines[i];
                break;
            }
    }

    char buf[TV_LINE_SIZE];
    int32_t after = 0;
    if (para) {
        int got = FindParagraph(f, para, buf, sizeof buf, &after);
        Check(got == paraFound, "paragraph found as the model says");
        if (!got) {
            Check(buf[0] == '\0' && std::ftell(f) == 0, "failed paragraph search restores");
            std::fclose(f);
            return;
        }
    }
    int32_t before = static_cast<int32_t>(std::ftell(f));
    int32_t linePos = -1;
    int got = FindEntry(f, key, buf, sizeof buf, 0, &linePos);
    Check(got == (want != nullptr), "entry found as the model says");
    if (got) {
        Check(want->text == buf && want->start == linePos, "entry line and position");
        // The stream stands just behind the line: the next read gives the
        // model's following line.
        char next[TV_LINE_SIZE];
        size_t k = static_cast<size_t>(want - lines.data()) + 1;
        int more = ReadControlLine(f, next, sizeof next, nullptr);
        Check(more == (k < lines.size()), "line after the entry");
        if (more)
            Check(lines[k].text == next, "line after the entry equals the model");
    } else {
        Check(buf[0] == '\0' && std::ftell(f) == before, "failed entry search restores");
    }
    std::fclose(f);
}

void CheckSplitters(const std::string &body)
{
    // NextToken over the text up to its first zero.
    std::string text(body.c_str());
    if (text.size() > 2000)
        text.resize(2000);
    std::vector<char> heap(text.begin(), text.end());
    heap.push_back('\0');
    const char *begin = heap.data();
    const char *end = begin + text.size();
    const char *p = begin;
    size_t rounds = 0;
    while (p) {
        Check(p >= begin && p <= end, "token start inside the text");
        uint16_t len = 0;
        const char *next = nullptr;
        const char *tok = NextToken(p, &len, &next);
        Check(tok == p && tok + len <= end, "token inside the text");
        Check(!next || (next > p && next <= end), "tokens move on");
        p = next;
        Check(++rounds <= text.size() + 1, "token loop ends");
    }

    // ListField: every field reads back trimmed and free of ';'.
    for (int index = 0; index < 8; ++index) {
        char out[16];
        int ok = ListField(index, text.c_str(), out, sizeof out);
        Check(std::strlen(out) < sizeof out, "field fits");
        if (!ok)
            Check(out[0] == '\0', "missing field is empty");
        Check(!std::strchr(out, ';'), "field has no separator");
        size_t n = std::strlen(out);
        Check(n == 0 || out[0] != ' ', "field has no leading blank");
        Check(n == 0 || n == sizeof out - 1 || out[n - 1] != ' ', "whole field has no trailing blank");
    }

    // EntryValue and EntryValueWord on each cleaned line.
    for (const ModelLine &l : ModelLines(body, TV_LINE_SIZE)) {
        const char *line = l.text.c_str();
        const char *lineEnd = line + l.text.size();
        uint16_t len = 0;
        const char *w = EntryValueWord(line, &len);
        if (w)
            Check(w > line && w + len <= lineEnd && !IsSeparator(*w), "value word inside the line");
        const char *v = EntryValue(line);
        if (v)
            Check(v > line && v < lineEnd && *v != ' ', "value inside the line");
    }
}

// The rewrite, modelled on the list of lines.
std::vector<std::string> ModelRewrite(const std::vector<ModelLine> &in, const char *para, const char *key,
                                      const char *value, bool moveToEnd, const std::string &entry)
{
    std::vector<std::string> lines;
    for (const ModelLine &l : in)
        lines.push_back(l.text);
    const bool keyGiven = key && *key;
    std::vector<std::string> out;

    size_t begin = 0;
    bool found = true;
    if (para) {
        found = false;
        for (size_t i = 0; i < lines.size(); ++i)
            if (IsPara(lines[i]) && StartsNoCase(lines[i], para)) {
                found = true;
                begin = i + 1;
                break;
            }
    }
    if (!found) {
        out = lines;
        if (!out.empty() && !out.back().empty())
            out.push_back("");
        out.push_back(para);
        if (keyGiven && value)
            out.push_back(entry);
        return out;
    }
    size_t end = begin;
    while (end < lines.size() && !IsPara(lines[end]))
        ++end;

    out.assign(lines.begin(), lines.begin() + static_cast<long>(begin));
    bool written = false;
    for (size_t i = begin; i < end; ++i) {
        const std::string &l = lines[i];
        if (l.empty())
            continue;
        if (IsEntry(l) && !key)
            continue;
        if (IsEntry(l) && keyGiven && KeyFits(l, key)) {
            if (!moveToEnd && value && !written) {
                out.push_back(entry);
                written = true;
            }
            continue;
        }
        out.push_back(l);
    }
    if (keyGiven && value && !written)
        out.push_back(entry);
    if (end < lines.size()) {
        out.push_back("");
        out.insert(out.end(), lines.begin() + static_cast<long>(end), lines.end());
    }
    return out;
}

std::string RunRewrite(const std::string &src, const char *para, const char *key, const char *value,
                       bool moveToEnd)
{
    FILE *in = ReadStream(src);
    char *mem = nullptr;
    size_t memSize = 0;
    FILE *out = open_memstream(&mem, &memSize);
    if (!in || !out) {
        if (in)
            std::fclose(in);
        if (out)
            std::fclose(out);
        std::free(mem);
        return std::string();
    }
    int ok = CopyReplacingEntry(in, out, para, key, value, moveToEnd ? 1 : 0);
    Check(ok == 1, "rewrite reports success");
    std::fclose(in);
    std::fclose(out);
    std::string result(mem, memSize);
    std::free(mem);
    return result;
}

void CheckRewrite(const std::string &body, const std::vector<ModelLine> &lines, const char *para,
                  const char *key, const char *value, bool moveToEnd)
{
    // The entry line as it must be written: key, blank and value, cut to
    // 280 characters, control characters blanked.
    std::string entry = key ? key : "";
    if (value && *value)
        entry += std::string(" ") + value;
    if (entry.size() > TV_LINE_MAX)
        entry.resize(TV_LINE_MAX);
    for (char &c : entry) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127)
            c = ' ';
    }

    std::string once = RunRewrite(body, para, key, value, moveToEnd);
    std::string expect;
    for (const std::string &l : ModelRewrite(lines, para, key, value, moveToEnd, entry))
        expect += l + "\r\n";
    Check(once == expect, "rewrite equals the model");

    // Every line of the output is a whole line of at most 280 characters.
    size_t start = 0;
    while (start < once.size()) {
        size_t crlf = once.find("\r\n", start);
        Check(crlf != std::string::npos, "output lines end with CR LF");
        Check(crlf - start <= TV_LINE_MAX, "output line fits");
        start = crlf + 2;
    }

    // Applying the same change again changes nothing.
    Check(RunRewrite(once, para, key, value, moveToEnd) == once, "rewrite is idempotent");

    // A key with its colon reads back with the value given (as the reader
    // cleans it) or is gone when no value was given.
    if (!key || !*key || std::string(key).back() != ':')
        return;
    FILE *f = ReadStream(once);
    if (!f)
        return;
    char buf[TV_LINE_SIZE];
    int32_t pos = 0;
    if (para)
        Check(FindParagraph(f, para, buf, sizeof buf, &pos) == 1, "paragraph present after rewrite");
    char got[TV_LINE_SIZE];
    int found = GetStringEntry(f, key, got, sizeof got, pos);
    if (!value) {
        Check(!found, "entry removed");
    } else {
        Check(found == 1, "entry present after rewrite");
        std::string want = entry.substr(std::strlen(key));
        while (!want.empty() && want.back() == ' ')
            want.pop_back();
        size_t lead = want.find_first_not_of(' ');
        want = lead == std::string::npos ? std::string() : want.substr(lead);
        Check(want == got, "entry value reads back");
    }
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3 || size > 200000)
        return 0;
    const uint8_t sel = data[0];
    const uint8_t kv = data[1];
    const uint8_t pv = data[2];
    const std::string body(reinterpret_cast<const char *>(data + 3), size - 3);

    CheckReader(body, TV_LINE_SIZE);
    CheckReader(body, 1 + sel % 300);

    const std::vector<ModelLine> lines = ModelLines(body, TV_LINE_SIZE);
    const char *para = kParas[pv % (sizeof kParas / sizeof kParas[0])];
    const char *key = kKeys[kv % (sizeof kKeys / sizeof kKeys[0])];
    CheckSearch(body, lines, para, key);

    CheckSplitters(body);

    // The value: none, or the first line of the body (any bytes up to a zero,
    // line breaks included), up to 300 bytes.
    std::string valueText = body.substr(0, body.find('\n') == std::string::npos ? body.size()
                                                                                  : body.find('\n') + 1);
    valueText = std::string(valueText.c_str());
    if (valueText.size() > 300)
        valueText.resize(300);
    const char *value = (sel & 0x80) ? nullptr : valueText.c_str();
    CheckRewrite(body, lines, para, key, value, (sel & 0x40) != 0);
    return 0;
}
