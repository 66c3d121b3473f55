#include "client/shell/menustate.h"

#include <initializer_list>

namespace {

struct Sink {
    TvMenuItemState *out;
    int max, n;
    void Set(TvMenuItemKind kind, int id, bool enabled)
    {
        if (n < max)
            out[n++] = {kind, id, enabled};
    }
};

} // namespace

int ComputeMenuState(const TvMenuStateInput &in, TvMenuItemState *out, int max)
{
    Sink s{out, max, 0};
    const bool online = in.online;
    const bool notFiled = in.pane != 1122;
    const bool waiting = in.pane == 1121;

    if (in.oneSelected) {
        s.Set(TV_ITEM_MAIN, 1221, online);
        s.Set(TV_ITEM_MAIN, 1107, online && notFiled);
        s.Set(TV_ITEM_MAIN, 1106, online);
        s.Set(TV_ITEM_MAIN, 1103, true);
        s.Set(TV_ITEM_MAIN, 1108, online && waiting);
        s.Set(TV_ITEM_MAIN, 1116, online && waiting);
        s.Set(TV_ITEM_MAIN, 1115, online && waiting);
        if (in.mailEnabled)
            s.Set(TV_ITEM_MAIN, 1118, in.mailLoggedOn);
        s.Set(TV_ITEM_BUTTON, 111, online);
        s.Set(TV_ITEM_BUTTON, 113, online && notFiled);
        s.Set(TV_ITEM_BUTTON, 115, online);
        s.Set(TV_ITEM_BUTTON, 112, true);
    } else {
        static const int kGreyed[] = {1221, 1107, 1103, 1108, 1116, 1115, 1118};
        for (int id : kGreyed)
            s.Set(TV_ITEM_MAIN, id, false);
        s.Set(TV_ITEM_MAIN, 1106, in.multiSelected);
        s.Set(TV_ITEM_BUTTON, 111, false);
        s.Set(TV_ITEM_BUTTON, 113, false);
        s.Set(TV_ITEM_BUTTON, 112, false);
        s.Set(TV_ITEM_BUTTON, 115, in.multiSelected && online);
    }

    const bool acquire = online && (in.serverScanner || (in.imagingLoaded && in.twainLoaded));
    const bool mailBook = in.mailEnabled && in.mailLoggedOn && in.mailAddressBook;
    s.Set(TV_ITEM_MAIN, 1101, online);
    s.Set(TV_ITEM_MAIN, 1102, acquire);
    s.Set(TV_ITEM_MAIN, 1117, online && in.imagingLoaded && in.twainLoaded);
    for (int id : {1110, 1111, 1112})
        s.Set(TV_ITEM_MAIN, id, online && !mailBook);
    for (int id : {1132, 1130, 1123})
        s.Set(TV_ITEM_MAIN, id, online);
    s.Set(TV_ITEM_MAIN, 1210, true);

    s.Set(TV_ITEM_SECOND, 1313, online);
    s.Set(TV_ITEM_SECOND, 1314, in.ocrAvailable);
    s.Set(TV_ITEM_SECOND, 1315, in.decodeAvailable);

    s.Set(TV_ITEM_BUTTON, 110, online);
    s.Set(TV_ITEM_BUTTON, 118, acquire);
    s.Set(TV_ITEM_BUTTON, 117, online);
    s.Set(TV_ITEM_BUTTON, 114, online);
    return s.n;
}
