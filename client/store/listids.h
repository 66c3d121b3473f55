// The ids of the three message lists, also their list boxes' child ids and
// the commands that make them current.
#ifndef TAVRINE_CLIENT_STORE_LISTIDS_H
#define TAVRINE_CLIENT_STORE_LISTIDS_H

enum : int { TV_LIST_NEW = 1120, TV_LIST_WAITING = 1121, TV_LIST_FILED = 1122 };

#endif
