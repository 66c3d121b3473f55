#include "client/shell/datasrc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "client/shell/errorlog.h"
#include "client/shell/identity.h"
#include "client/shell/shelltext.h"
#include "common/ctlfile.h"
#include "common/platform.h"
#include "common/sharedfile.h"

const char *const kDataSourceColumnKeys[TV_DATASOURCE_COLUMNS] = {
    "Fax:",      "Name:",     "Organisation:", "Address1:", "Address2:",
    "Address3:", "Address4:", "Address5:",     "Postcode:", "Telephone:",
};

namespace {

const char kParagraph[] = "[DATASOURCE]";
const size_t kParagraphLen = sizeof kParagraph - 1;
enum : uint16_t { LOG_EDIT = 0xF802, LOG_ENTRY = 0xF807, LOG_LOCKED = 0xF809, LOG_WRITE = 0xF80A };
enum { STR_CANNOT_WRITE = 44, STR_INFO_PROBLEM = 47, STR_USER_INI = 53, PATH_SIZE = 300, SCRAMBLED_SIZE = 77 };

bool IsDataSourceLine(const std::string &line)
{
    return line.size() >= kParagraphLen && EqualNoCaseN(line.c_str(), kParagraph, kParagraphLen);
}

// The file as its lines, read the way every control file is read.
bool ReadLines(FILE *f, std::vector<std::string> *lines)
{
    std::rewind(f);
    char buf[TV_LINE_SIZE];
    while (ReadControlLine(f, buf, sizeof buf, nullptr))
        lines->push_back(buf);
    return !std::ferror(f);
}

// The value of key among a paragraph's lines, or "" when absent.
std::string Value(const std::vector<std::string> &lines, size_t from, size_t to, const char *key)
{
    for (size_t i = from; i < to; ++i) {
        if (KeyMatches(lines[i].c_str(), key)) {
            const char *v = EntryValue(lines[i].c_str());
            return v ? v : "";
        }
    }
    return "";
}

uint16_t Number(const std::string &value, uint16_t fallback)
{
    if (value.empty())
        return fallback;
    long n = std::strtol(value.c_str(), nullptr, 10);
    return static_cast<uint16_t>(n < 0 ? 0 : n > 65535 ? 65535 : n);
}

template <size_t N> void Put(char (&field)[N], const std::string &value, size_t max = N - 1)
{
    CopyCut(field, (max < N - 1 ? max : N - 1) + 1, value.c_str());
}

// The type word of a paragraph: the first word of Type:, up to 11 characters.
std::string TypeWord(const std::string &value)
{
    std::string word = value.substr(0, value.find_first_of(" \t"));
    return word.substr(0, 11);
}

void ParseSource(const std::vector<std::string> &lines, size_t from, size_t to, bool database, DataSource *d)
{
    std::memset(d, 0, sizeof *d);
    d->kind = database ? TV_SOURCE_DATABASE : TV_SOURCE_FILE;
    d->editable = Number(Value(lines, from, to, "Edit:"), 1);
    if (!database) {
        Put(d->sourceName, Value(lines, from, to, "Sourcename:"));
        d->skip = Number(Value(lines, from, to, "Skip:"), 0);
        for (int c = 0; c < TV_DATASOURCE_COLUMNS; ++c)
            d->column[c] = Number(Value(lines, from, to, kDataSourceColumnKeys[c]), TV_DATASOURCE_NO_COLUMN);
        return;
    }
    Put(d->sourceName, Value(lines, from, to, "Sourcename:"), 32);
    Put(d->qualifier, Value(lines, from, to, "Qualifier:"));
    Put(d->driverName, Value(lines, from, to, "Drivername:"));
    Put(d->databaseUser, Value(lines, from, to, "Databaseuser:"));
    std::string scrambled = Value(lines, from, to, "Parameter:").substr(0, 76);
    if (!UnscrambleField(scrambled.c_str(), d->parameter, sizeof d->parameter))
        d->parameter[0] = '\0';
    Put(d->connection, Value(lines, from, to, "Connection:"));
    for (int c = 0; c < TV_DATASOURCE_NAMED_COLUMNS; ++c)
        Put(d->columnName[c], Value(lines, from, to, kDataSourceColumnKeys[c]));
}

// Opens USER.INI for update and checks its type; reports its own failures.
FILE *OpenUserIni(const TvProfileContext *ctx, const char *function, char *path, size_t size)
{
    if (!ProfileFilePath(path, size, ctx->userDbDir, 0, STR_USER_INI))
        return nullptr;
    FILE *f = OpenSharedRetry(path, "r+b");
    if (!f) {
        ProfileShowPath(ctx, STR_CANNOT_WRITE, path);
        WriteErrorLog(ctx->log, LOG_LOCKED, function, "Cannot open file for update %s", path);
        return nullptr;
    }
    if (!ControlFileHasType(f, "UserProfile")) {
        std::fclose(f);
        return nullptr;
    }
    return f;
}

void Line(std::string *out, const char *key, const std::string &value)
{
    *out += key;
    *out += ' ';
    *out += value;
    *out += "\r\n";
}

void Line(std::string *out, const char *key, int value) { Line(out, key, std::to_string(value)); }

// The definition as one paragraph, an empty line behind it; false when the
// parameter does not fit the scrambled field.
bool SourceParagraph(const DataSource &d, std::string *out)
{
    *out += kParagraph;
    *out += "\r\n";
    const bool database = d.kind == TV_SOURCE_DATABASE;
    Line(out, "Type:", database ? "Database" : "File");
    Line(out, "Edit:", d.editable);
    Line(out, "Sourcename:", d.sourceName);
    if (database) {
        char scrambled[SCRAMBLED_SIZE];
        if (!ScrambleField(d.parameter, scrambled, sizeof scrambled))
            return false;
        Line(out, "Qualifier:", d.qualifier);
        Line(out, "Drivername:", d.driverName);
        Line(out, "Databaseuser:", d.databaseUser);
        Line(out, "Parameter:", scrambled);
        Line(out, "Connection:", d.connection);
        for (int c = 0; c < TV_DATASOURCE_NAMED_COLUMNS; ++c)
            Line(out, kDataSourceColumnKeys[c], d.columnName[c]);
    } else {
        Line(out, "Skip:", d.skip);
        for (int c = 0; c < TV_DATASOURCE_COLUMNS; ++c)
            Line(out, kDataSourceColumnKeys[c], d.column[c]);
    }
    *out += "\r\n";
    return true;
}

// Whether the paragraph lines [from, to) describe the same source as d.
bool SameSource(const std::vector<std::string> &lines, size_t from, size_t to, const DataSource &d)
{
    if (Value(lines, from, to, "Sourcename:") != d.sourceName)
        return false;
    if (d.kind != TV_SOURCE_DATABASE)
        return true;
    return Value(lines, from, to, "Drivername:") == d.driverName;
}

// The end of the paragraph that starts at line i: the next paragraph line.
size_t ParagraphEnd(const std::vector<std::string> &lines, size_t i)
{
    size_t j = i + 1;
    while (j < lines.size() && !IsParagraphLine(lines[j].c_str()))
        ++j;
    return j;
}

} // namespace

int ReadDataSources(const TvProfileContext *ctx, DataSource *table, int *count)
{
    *count = 0;
    char path[PATH_SIZE];
    FILE *f = OpenUserIni(ctx, "ReadDataSources", path, sizeof path);
    if (!f)
        return 0;
    std::vector<std::string> lines;
    const bool read = ReadLines(f, &lines);
    std::fclose(f);
    if (!read) {
        ProfileShowPath(ctx, STR_INFO_PROBLEM, path);
        WriteErrorLog(ctx->log, LOG_EDIT, "ReadDataSources", "Cannot read file %s", path);
        return 0;
    }
    for (size_t i = 0; i < lines.size() && *count < TV_DATASOURCE_MAX; ++i) {
        if (!IsDataSourceLine(lines[i]))
            continue;
        const size_t end = ParagraphEnd(lines, i);
        const std::string type = TypeWord(Value(lines, i + 1, end, "Type:"));
        if (!EqualsNoCase(type.c_str(), "Database") && !EqualsNoCase(type.c_str(), "File")) {
            ProfileShowPath(ctx, STR_INFO_PROBLEM, path);
            WriteErrorLog(ctx->log, LOG_ENTRY, "ReadDataSources", "Cannot find [DATASOURCE] File: in %s", path);
            return 0;
        }
        ParseSource(lines, i + 1, end, EqualsNoCase(type.c_str(), "Database"), &table[(*count)++]);
        i = end - 1;
    }
    return 1;
}

int UpdateDataSources(const TvProfileContext *ctx, const DataSource *source)
{
    char path[PATH_SIZE], temp[PATH_SIZE];
    FILE *f = OpenUserIni(ctx, "UpdateDataSources", path, sizeof path);
    if (!f)
        return 0;
    std::vector<std::string> lines;
    std::string text, paragraph;
    if (!ReadLines(f, &lines)) {
        std::fclose(f);
        ProfileShowPath(ctx, STR_INFO_PROBLEM, path);
        WriteErrorLog(ctx->log, LOG_EDIT, "UpdateDataSources", "Cannot read file %s", path);
        return 0;
    }
    if (!SourceParagraph(*source, &paragraph)) {
        // Writing the definition without its parameter would lose it.
        std::fclose(f);
        WriteErrorLog(ctx->log, LOG_ENTRY, "UpdateDataSources", "Parameter too long for %s", path);
        return 0;
    }
    // Everything before the first definition, an empty line, the new
    // definition, then the rest with the replaced and the surplus
    // definitions dropped.
    size_t i = 0;
    for (; i < lines.size() && !IsDataSourceLine(lines[i]); ++i)
        text += lines[i] + "\r\n";
    text += "\r\n";
    text += paragraph;
    int written = 1;
    while (i < lines.size()) {
        const size_t end = ParagraphEnd(lines, i);
        bool keep = true;
        if (IsDataSourceLine(lines[i])) {
            keep = written < TV_DATASOURCE_MAX && !SameSource(lines, i + 1, end, *source);
            if (keep)
                ++written;
        }
        if (keep) {
            for (size_t k = i; k < end; ++k)
                text += lines[k] + "\r\n";
        }
        i = end;
    }

    FILE *work = nullptr;
    if (UpdateTempName(path, temp, sizeof temp))
        work = OpenSharedRetry(temp, "w+b");
    if (!work) {
        std::fclose(f);
        ProfileShowPath(ctx, STR_CANNOT_WRITE, temp);
        WriteErrorLog(ctx->log, LOG_EDIT, "UpdateDataSources", "Cannot create file %s", temp);
        return 0;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), work) == text.size() && std::fflush(work) == 0;
    if (!ok) {
        std::fclose(work);
        std::fclose(f);
        TvPlatRemove(temp);
        ProfileShowPath(ctx, STR_INFO_PROBLEM, path);
        WriteErrorLog(ctx->log, LOG_WRITE, "UpdateDataSources", "Cannot write to file %s", temp);
        return 0;
    }
    const bool copied = CopyOpenFile(work, f) == 0;
    std::fclose(work);
    const bool closed = std::fclose(f) == 0;
    if (!copied || !closed) {
        // The work file then holds the only complete copy: it stays.
        ProfileShowPath(ctx, STR_INFO_PROBLEM, path);
        WriteErrorLog(ctx->log, LOG_WRITE, "UpdateDataSources", "Cannot replace file %s", path);
        return 0;
    }
    TvPlatRemove(temp);
    return 1;
}
