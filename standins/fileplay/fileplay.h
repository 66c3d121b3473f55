// The file peer: a script of file actions played by a Windows process of its
// own, for what another workstation or the server does to the shared files
// between two looks of the program under test (share modes hold only between
// processes). One action a line; blank lines and lines beginning with '#'
// are passed over. A path holding blanks goes in double quotes.
//
//   hold PATH ACCESS SHARE MS      open (r, w or rw) sharing none, r, w or rw
//                                  with others, keep it open MS milliseconds
//   copy FIXTURE PATH              copy a file over another
//   append PATH FIXTURE            add the fixture's bytes at the file's end
//   settime PATH YYYY-MM-DD HH:MM:SS   last-write time, UTC
//   attrib PATH LETTERS            set exactly these attributes: any of a
//                                  (archive), r (read-only), h (hidden); n none
//   marker PATH                    move a marker's time by the +10 s rule
//   ahead PATH YEARS               put its time YEARS years after now
//   delete PATH
//   appear PATH MS | vanish PATH MS | change PATH MS
//                                  wait at most MS for the file to exist, to
//                                  be gone, or to differ in size or time from
//                                  when the wait began
//   sleep MS
//
// Each action prints one line "<line number> <verb> <error>", the error
// being the system's code (0 done; 1460, the time-out code, when a wait ran
// out; 87, invalid parameter, for a line that can't be read). A hold prints
// its line as soon as the open is decided, before it waits.
//
// This part reads the script and is free of Win32 calls.
#ifndef TAVRINE_STANDINS_FILEPLAY_H
#define TAVRINE_STANDINS_FILEPLAY_H

#include <cstdint>

enum PlayVerb {
    PLAY_NONE,      // blank or comment line
    PLAY_HOLD,
    PLAY_COPY,
    PLAY_APPEND,
    PLAY_SETTIME,
    PLAY_ATTRIB,
    PLAY_MARKER,
    PLAY_AHEAD,
    PLAY_DELETE,
    PLAY_APPEAR,
    PLAY_VANISH,
    PLAY_CHANGE,
    PLAY_SLEEP,
};

enum PlayAccess { PLAY_READ = 1, PLAY_WRITE = 2 };   // bits

enum PlayAttribute { PLAY_ATTR_READONLY = 0x01, PLAY_ATTR_HIDDEN = 0x02, PLAY_ATTR_ARCHIVE = 0x20 };

enum { PLAY_PATH_MAX = 260, PLAY_LINE_MAX = 1024 };

struct PlayAction {
    PlayVerb verb;
    char path[PLAY_PATH_MAX + 1];
    char other[PLAY_PATH_MAX + 1];   // copy: the target; append: the fixture
    unsigned access;                 // hold: PlayAccess bits
    unsigned share;                  // hold: PlayAccess bits others keep
    uint32_t ms;                     // hold, waits, sleep
    int year, month, day, hour, minute, second;   // settime
    unsigned attributes;             // attrib: PlayAttribute bits
    int years;                       // ahead
};

// The name of a verb as the result lines give it.
const char *PlayVerbName(PlayVerb verb);

// Reads one script line. False when it isn't an action the peer knows or
// its arguments are missing, too long or out of range; then verb is kept for
// the result line (PLAY_NONE when the verb itself is unknown).
bool ParsePlayLine(const char *line, PlayAction *out);

#endif
