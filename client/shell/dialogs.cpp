#include "client/shell/dialogs.h"

#include <cstdio>
#include <cstring>

#include "client/shell/shelltext.h"

const char *const TV_VERSION_TEXT = "5.00f";

namespace {

// Share of the frame above which a bitmap is drawn at its own size.
const int kKeepSizePercent = 90;

// Whether a bitmap side fits its frame side closely enough to keep it.
bool Close(int bitmap, int frame) { return bitmap <= frame && bitmap > frame * kKeepSizePercent / 100; }

const char kComboClass[] = "ComboBox";
const uint32_t kComboTypeMask = 3;      // CBS_SIMPLE 1, CBS_DROPDOWN 2, CBS_DROPDOWNLIST 3
const uint32_t kComboDropDownList = 3;

} // namespace

TvBox FitWelcomeBitmap(const TvBox &frame, int bw, int bh)
{
    TvBox out;
    bool keep = Close(bh, frame.height) && Close(bw, frame.width);
    out.width = keep ? bw : frame.width;
    out.height = keep ? bh : frame.height;
    out.left = frame.left + (frame.width - out.width) / 2;
    out.top = frame.top + (frame.height - out.height) / 2;
    return out;
}

void WelcomeWindowOrigin(int screenWidth, int screenHeight, int windowWidth, int windowHeight, int *left,
                         int *top)
{
    *left = (screenWidth - windowWidth) / 2;
    *top = (screenHeight - windowHeight) / 3;
}

bool CtlColorWanted(unsigned message, const char *className, uint32_t style)
{
    switch (message) {
    case TV_CTLCOLOR_MSGBOX:
    case TV_CTLCOLOR_BTN:
    case TV_CTLCOLOR_DLG:
    case TV_CTLCOLOR_STATIC:
        return true;
    case TV_CTLCOLOR_LISTBOX:
        return className && StartsNoCase(className, kComboClass) &&
               (style & kComboTypeMask) != kComboDropDownList;
    default:
        return false;
    }
}

void FillStringArg(const char *pattern, const char *arg, char *out, size_t size)
{
    if (!size)
        return;
    if (!arg)
        arg = "";
    size_t n = 0;
    bool filled = false;
    auto put = [&](char c) {
        if (n + 1 < size)
            out[n++] = c;
    };
    for (const char *p = pattern ? pattern : ""; *p; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            put('%');
            ++p;
        } else if (p[0] == '%' && p[1] == 's' && !filled) {
            for (const char *a = arg; *a; ++a)
                put(*a);
            filled = true;
            ++p;
        } else {
            put(*p);
        }
    }
    out[n] = '\0';
}

bool ProgramInstanceCommand(const char *modulePath, const char *args, char *out, size_t size)
{
    if (size)
        out[0] = '\0';
    if (!modulePath || !args)
        return false;
    size_t pathLength = std::strlen(modulePath);
    size_t argsLength = std::strlen(args);
    if (!pathLength || pathLength > TV_MODULE_PATH_MAX || argsLength > TV_INSTANCE_ARGS_MAX)
        return false;
    // Quotes, blank and terminator.
    if (pathLength + argsLength + 4 > size)
        return false;
    std::snprintf(out, size, "\"%s\" %s", modulePath, args);
    return true;
}
