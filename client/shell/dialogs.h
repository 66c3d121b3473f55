// The portable arithmetic and texts of the client's small dialogs: where
// the welcome window and its bitmaps go, which controls the dialogs colour,
// the string-table texts with one argument, and the command line of a
// second copy of the program.
#ifndef TAVRINE_CLIENT_SHELL_DIALOGS_H
#define TAVRINE_CLIENT_SHELL_DIALOGS_H

#include <cstddef>
#include <cstdint>

// The version shown by the About box and the welcome window.
extern const char *const TV_VERSION_TEXT;

// A rectangle by its top-left corner and size, in pixels.
struct TvBox {
    int left, top, width, height;
};

// Where a bitmap of bw x bh pixels is drawn in the frame: stretched or
// shrunk to the frame's size, except that a bitmap between 90% (exclusive)
// and 100% (inclusive) of the frame in both directions keeps its own size;
// either way centred in the frame.
TvBox FitWelcomeBitmap(const TvBox &frame, int bw, int bh);

// The welcome window's top-left corner: centred across the screen, a third
// of the free height from the top. Negative on a screen smaller than the
// window.
void WelcomeWindowOrigin(int screenWidth, int screenHeight, int windowWidth, int windowHeight, int *left,
                         int *top);

// The control-colour messages the dialogs answer.
enum : unsigned {
    TV_CTLCOLOR_MSGBOX = 0x0132,
    TV_CTLCOLOR_EDIT = 0x0133,
    TV_CTLCOLOR_LISTBOX = 0x0134,
    TV_CTLCOLOR_BTN = 0x0135,
    TV_CTLCOLOR_DLG = 0x0136,
    TV_CTLCOLOR_SCROLLBAR = 0x0137,
    TV_CTLCOLOR_STATIC = 0x0138,
};
// The light grey button face the dialog colours are made for.
enum : uint32_t { TV_GREY_BUTTON_FACE = 0xC0C0C0 };

// Whether a control-colour message gets the dialog colours: message boxes,
// buttons, dialogs and statics do; of the list boxes only a combo box's own
// (class name beginning "ComboBox") that is not a drop-down list (style's
// two low bits not both set); edit controls, scroll bars and everything
// else do not. className and style are those of the control (lParam).
bool CtlColorWanted(unsigned message, const char *className, uint32_t style);

// pattern with its first "%s" replaced by arg (null: empty) and each "%%"
// by "%", cut to size - 1 characters. Other "%" sequences are copied as
// they are, so a string table entry cannot make this read arguments.
void FillStringArg(const char *pattern, const char *arg, char *out, size_t size);

// Limits of a second copy's command line.
enum { TV_INSTANCE_ARGS_MAX = 268, TV_MODULE_PATH_MAX = 269 };
// Buffer size that holds any command ProgramInstanceCommand makes.
enum { TV_INSTANCE_COMMAND_SIZE = TV_MODULE_PATH_MAX + 2 + 1 + TV_INSTANCE_ARGS_MAX + 1 };

// The command that starts the program again: the module path in quotes (it
// may hold blanks), one blank, the arguments. False, out empty, when the
// arguments are longer than TV_INSTANCE_ARGS_MAX, the path is empty or
// longer than TV_MODULE_PATH_MAX, or out is too small.
bool ProgramInstanceCommand(const char *modulePath, const char *args, char *out, size_t size);

#endif
