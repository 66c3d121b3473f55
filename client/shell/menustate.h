// Which menu commands and tool buttons are usable: the rule that greys them
// to fit the selection and the connection to the server.
#ifndef TAVRINE_CLIENT_SHELL_MENUSTATE_H
#define TAVRINE_CLIENT_SHELL_MENUSTATE_H

// What the rule looks at.
struct TvMenuStateInput {
    bool online;              // server available and its files reachable
    bool oneSelected;         // exactly one message selected in the current pane
    bool multiSelected;       // two or more selected in pane 1120 or 1121
    int pane;                 // 1120, 1121 or 1122
    bool mailEnabled, mailLoggedOn, mailAddressBook;
    bool serverScanner;       // a scanner is configured at the server
    bool imagingLoaded, twainLoaded;
    bool ocrAvailable, decodeAvailable;
};

// One item: a command of the main menu (TV_ITEM_MAIN), of the viewer's menu
// (TV_ITEM_SECOND) or a tool button's control id (TV_ITEM_BUTTON).
enum TvMenuItemKind { TV_ITEM_MAIN, TV_ITEM_SECOND, TV_ITEM_BUTTON };
struct TvMenuItemState {
    TvMenuItemKind kind;
    int id;
    bool enabled;
};

enum { TV_MENU_STATE_MAX = 40 };

// Fills out (room for max) with every item the rule sets, in the rule's
// order; returns how many.
int ComputeMenuState(const TvMenuStateInput &in, TvMenuItemState *out, int max);

#endif
