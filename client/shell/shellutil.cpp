// Small helpers of the shell.
#include "client/shell/shellutil.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "client/shell/shelltext.h"
#include "common/ctlfile.h"
#include "common/platform.h"

namespace {

int LoadText(const TvStringSource &strings, int id, char *buf, int size)
{
    buf[0] = '\0';
    if (!strings.load)
        return 0;
    int n = strings.load(strings.context, id, buf, size);
    if (n <= 0 || n >= size) {
        buf[0] = '\0';
        return 0;
    }
    return n;
}

// Whether out has room for n characters and the NUL.
bool Fits(size_t n, size_t size)
{
    return n < size;
}

// Length of s, looking at most max characters.
size_t BoundedLength(const char *s, size_t max)
{
    const void *end = std::memchr(s, '\0', max);
    return end ? static_cast<size_t>(static_cast<const char *>(end) - s) : max;
}

} // namespace

int FitTextToWidth(const char *text, int width, TvMeasureText measure, void *context, char *out, size_t size)
{
    if (!out || size == 0)
        return 0;
    CopyCut(out, size, text ? text : "");
    const int length = static_cast<int>(std::strlen(out));
    if (!measure)
        return 0;
    const int full = measure(context, out, length);
    if (full <= width)
        return full;

    // A first guess from the average character width, then shorter until
    // it fits.
    int64_t guess = full > 0 ? (static_cast<int64_t>(length) + 3) * width / full : 0;
    int n = guess > length ? length : guess < 0 ? 0 : static_cast<int>(guess);
    while (n > 0 && measure(context, out, n) > width)
        --n;

    static const char kMarker[] = " ...";
    const int markerLength = static_cast<int>(sizeof kMarker - 1);
    const int keep = n > markerLength ? n - markerLength : 0;
    const int marked = n - keep;      // " ..." or its last dots
    std::memcpy(out + keep, kMarker + markerLength - marked, static_cast<size_t>(marked));
    out[n] = '\0';
    return measure(context, out, n);
}

size_t CutTextMiddle(const char *text, int limit, char *out, size_t size)
{
    if (!out || size == 0)
        return 0;
    out[0] = '\0';
    if (!text)
        return 0;
    const size_t length = std::strlen(text);
    size_t used = 0;
    auto append = [&](const char *from, size_t n) {
        if (n > size - 1 - used)
            n = size - 1 - used;
        std::memcpy(out + used, from, n);
        used += n;
    };
    if (limit >= 0 && length <= static_cast<size_t>(limit)) {
        append(text, length);
    } else if (limit < 5) {
        append(text, limit > 0 ? static_cast<size_t>(limit) : 0);
    } else {
        const size_t k = static_cast<size_t>((limit - 5) / 2);
        append(text, k);
        append(" ... ", 5);
        append(text + length - k, k);
    }
    out[used] = '\0';
    return used;
}

int FormatSendTime(const char *text, const TvIntlFormats &formats, const TvStringSource &strings, char *out,
                   size_t size)
{
    if (!out || size < TV_SEND_TIME_MIN_SIZE || !text)
        return 0;
    out[0] = '\0';
    while (*text == ' ')
        ++text;
    const int bufSize = size > INT32_MAX ? INT32_MAX : static_cast<int>(size);
    if (!*text) {
        LoadText(strings, TV_STR_IMMEDIATELY, out, bufSize);
        return 1;
    }
    if (StartsNoCase(text, "OFFPEAK")) {
        LoadText(strings, TV_STR_OFF_PEAK, out, bufSize);
        return 1;
    }
    int year, month, day, hour, minute, second;
    if (std::sscanf(text, "%2d-%2d-%2d %2d:%2d:%2d", &year, &month, &day, &hour, &minute, &second) != 6)
        return 0;

    char timeText[32], dateText[48], both[96];
    std::snprintf(timeText, sizeof timeText, formats.timeFormat, hour, minute);
    switch (formats.dateOrder) {
    case TV_DATE_DMY: std::snprintf(dateText, sizeof dateText, formats.dateFormat, day, month, year); break;
    case TV_DATE_MDY: std::snprintf(dateText, sizeof dateText, formats.dateFormat, month, day, year); break;
    default: std::snprintf(dateText, sizeof dateText, formats.dateFormat, year, month, day); break;
    }
    const int n = std::snprintf(both, sizeof both, "%s  %s", timeText, dateText);
    if (n < 0 || !Fits(static_cast<size_t>(n), size))
        return 0;
    std::memcpy(out, both, static_cast<size_t>(n) + 1);
    return 1;
}

bool MakeUserPath(const char *filedDir, const char *shortName, const char *longName, char *out, size_t size)
{
    if (!out || size == 0)
        return false;
    out[0] = '\0';
    const size_t dirLength = std::strlen(filedDir);
    const size_t longLength = BoundedLength(longName, TV_FILED_LONG_NAME_LIMIT);
    const char *name = longName;
    size_t nameLength = longLength;
    TvDirEntry found;
    if (longLength >= TV_FILED_LONG_NAME_LIMIT) {
        name = shortName;
        nameLength = std::strlen(shortName);
        char pattern[TV_LINE_SIZE * 2];
        if (dirLength + nameLength < sizeof pattern) {
            std::snprintf(pattern, sizeof pattern, "%s%s", filedDir, shortName);
            if (TvDirIter *it = TvPlatFindFirst(pattern, &found)) {
                TvPlatFindClose(it);
                name = found.longName;
                nameLength = std::strlen(found.longName);
            }
        }
    }
    if (!Fits(dirLength + nameLength, size))
        return false;
    std::memcpy(out, filedDir, dirLength);
    std::memcpy(out + dirLength, name, nameLength);
    out[dirLength + nameLength] = '\0';
    return true;
}

int ComposeTableText(char *out, size_t size, int kind, bool fullFilters, const TvStringSource &strings)
{
    if (!out)
        return 0;
    if (size == 0)
        return 1;
    out[0] = '\0';
    int first, last;
    if (kind == 0) {
        first = fullFilters ? TV_FILTER_IMPORT_FULL_FIRST : TV_FILTER_IMPORT_SHORT_FIRST;
        last = fullFilters ? TV_FILTER_IMPORT_FULL_LAST : TV_FILTER_IMPORT_SHORT_LAST;
    } else {
        first = fullFilters ? TV_FILTER_EXPORT_FULL_FIRST : TV_FILTER_EXPORT_SHORT_FIRST;
        last = fullFilters ? TV_FILTER_EXPORT_FULL_LAST : TV_FILTER_EXPORT_SHORT_LAST;
    }
    size_t length = 0;
    for (int id = first; id <= last; ++id) {
        char text[TV_FILTER_TEXT_MAX + 1];
        int n = LoadText(strings, id, text, sizeof text);
        if (n == 0)
            break;
        if (kind != 0) {
            // The export entries carry their format name after the last '|'.
            if (char *bar = std::strrchr(text, '|'))
                bar[1] = '\0';
            n = static_cast<int>(std::strlen(text));
        }
        if (!Fits(length + static_cast<size_t>(n), size))
            break;
        std::memcpy(out + length, text, static_cast<size_t>(n) + 1);
        length += static_cast<size_t>(n);
    }
    return 1;
}

bool IsImageFormat(int code)
{
    static const int kImageFormats[] = {5, 6, 7, 8, 50, 57, 58, 59, 60, 61, 66, 67};
    for (int f : kImageFormats)
        if (f == code)
            return true;
    return false;
}
