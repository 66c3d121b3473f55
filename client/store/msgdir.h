// The message directory information files (MSGDIR.CTL) of the receive and
// send directories, the group's change markers (MSGCHG.CTL, MSGNEW.CTL), and
// the rebuild of the NEW and WAITING lists from them.
#ifndef TAVRINE_CLIENT_STORE_MSGDIR_H
#define TAVRINE_CLIENT_STORE_MSGDIR_H

#include "client/store/msglist.h"

// Reads one receive MSGDIR.CTL into the NEW list; *unread is set when a
// finished message not yet opened was met.
void NewListInfoFile(const char* path, MessageListTable* table, int32_t groupFlag, bool* unread);

// Group markers of list 1120: changed when the marker's time differs from
// the one last seen; remember makes the new time the last seen one. Always 1.
int GroupInfoChanged(int listId, bool remember, bool* changed);
int GroupNewArrived(int listId, bool* changed);

// Moves MSGCHG.CTL forward (by 10 s, at least to now) so that other members'
// clients see a change. 1 done or nothing to do, 0 failed.
int MarkGroupInfoChanged(int listId);

// Writes the entry's user status (and a released preview's type) back into
// the MSGDIR.CTL it came from.
void UpdateInfoStatus(const MessageListEntry* entry, int listId);

// The periodic check's question for the user's receive (1120) or send (1121)
// MSGDIR.CTL: whether the list must be rebuilt. For 1120 the group marker is
// asked only when the file shows no change.
bool MessageListChanged(int listId);

#endif
