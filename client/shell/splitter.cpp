#include "client/shell/splitter.h"

#include "common/sharedfile.h"

FILE *OpenImportFile(const char *path) { return OpenSharedRetry(path, "rb"); }

int ReadFirstLine(const char *path, char *line, int *lines)
{
    FILE *f = OpenImportFile(path);
    if (!f)
        return 0;
    bool first = true;
    int stored = 0;
    int c;
    while ((c = std::getc(f)) != EOF) {
        if (first) {
            if (stored >= TV_FIRST_LINE_MAX) {
                std::fclose(f);
                return 0;
            }
            line[stored++] = static_cast<char>(c);
        }
        if (c == '\n') {
            ++*lines;
            if (first) {
                line[stored - 1] = '\0';
                first = false;
            }
        }
    }
    std::fclose(f);
    return 1;
}

TvDelimiter GuessDelimiter(const char *line)
{
    for (const char *p = line; *p; ++p) {
        if (*p == ',')
            return TV_DELIM_COMMA;
        if (*p == '\t')
            return TV_DELIM_TAB;
        if (*p == '"') {
            // A quoted stretch: commas in it do not count; a tab ends it.
            ++p;
            while (*p && *p != '"' && *p != '\t')
                ++p;
            if (!*p)
                return TV_DELIM_NONE;
        }
    }
    return TV_DELIM_NONE;
}

const char *SplitDelimitedField(const char *pos, int kind, char *field, int *error)
{
    static const char kDelimiters[] = {0, ',', '\t', ' '};
    *error = 0;
    field[0] = '\0';
    if (kind < TV_DELIM_COMMA || kind > TV_DELIM_BLANK || !pos) {
        *error = 1;
        return nullptr;
    }
    const char delim = kDelimiters[kind];
    const char *p = pos;
    int n = 0;
    while (*p && *p != delim) {
        if (*p == '"') {
            // What stood before the quote is dropped.
            n = 0;
            ++p;
            while (*p && *p != '"') {
                if (n >= TV_FIELD_MAX) {
                    *error = 1;
                    field[0] = '\0';
                    return nullptr;
                }
                field[n++] = *p++;
            }
            if (!*p) {
                *error = 1;
                field[0] = '\0';
                return nullptr;
            }
            ++p;
            while (*p && *p != delim)
                ++p;
            break;
        }
        if (n >= TV_FIELD_MAX) {
            *error = 1;
            field[0] = '\0';
            return nullptr;
        }
        field[n++] = *p++;
    }
    field[n] = '\0';
    return *p ? p + 1 : nullptr;
}
