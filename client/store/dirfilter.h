// Rewriting of the directory files (taking out the entries of deleted or
// filed messages) and the test by which the client sees that a directory
// file was changed by somebody else.
#ifndef TAVRINE_CLIENT_STORE_DIRFILTER_H
#define TAVRINE_CLIENT_STORE_DIRFILTER_H

#include <cstdint>

#include "client/store/msglist.h"
#include "common/datetime.h"

// Accepted time of six date parts: 0 when the month is 0, -1 when they make
// no date, else the time value.
TvTime AcceptedTime(int year, int month, int day, int hour, int minute, int second);

// Rewrites the MSGDIR.CTL of listId's directory (the group's for 1120 with
// groupPass) without the entries of marked, finished messages and of
// messages whose control file is gone. 1 when the file was rewritten cleanly.
// A malformed File: value is reported and ends the filtering: that entry and
// every later one are copied unchanged.
int FilterMessageControlFile(int listId, bool groupPass);

// Whether the directory file's entry (its File: value and accepted time) is
// to be dropped, searched in the list's entries from *cursor on.
bool IsEntryToRemove(const MessageListEntry* entries, int32_t used, const char* fileValue, int32_t* cursor,
                     TvTime accepted, const char* directory);

// Rewrites the directory file at path without the entries naming name (any
// case, bare or with the file's own directory). 1 when rewritten cleanly.
int RemoveInfoFileRefs(const char* name, const char* path, bool groupFlag, int listId);

// True when the directory file is marked as changed: its archive attribute,
// or in time mode a last-write time on a whole or half hour (UTC), or a time
// that cannot be read.
bool ArchiveMessageCheck(int listId, const char* path);

#endif
