// Makes the change stamps of the message directory files, one action per
// run, so that stamps_check.sh can read the times the system stored with the
// host's own stat:
//   stampcheck msgdir <dir>     the server's change of a receive MSGDIR.CTL
//   stampcheck marker <dir>     the server's move of <dir>MSGCHG.CTL
//   stampcheck groupmark <dir>  the client's move of the group's MSGCHG.CTL
// <dir> ends with a backslash. Exit code 0 when the action succeeded.
#include <cstdio>
#include <cstring>
#include <string>

#include "client/store/msgdir.h"
#include "client/store/storehooks.h"
#include "standins/queueman/msgdir.h"

namespace {

bool ServerChange(const char* dir)
{
    MsgDirEntry e = {};
    std::snprintf(e.file, sizeof e.file, "%s", "~RECD000.TIF");
    std::snprintf(e.comment, sizeof e.comment, "%s", "stamp check");
    std::snprintf(e.format, sizeof e.format, "%s", "TIF");
    std::snprintf(e.accepted, sizeof e.accepted, "%s", "26-12-10 12:00:00");
    std::snprintf(e.type, sizeof e.type, "%s", "RECEIVE");
    std::snprintf(e.status, sizeof e.status, "%s", "Re");
    std::snprintf(e.userStatus, sizeof e.userStatus, "%s", "Wa");
    return MsgDirChange(dir, MSGDIR_RECEIVE, [&](std::string* text) {
               MsgDirAppendEntry(text, e);
               return true;
           }) == TV_OK;
}

bool ClientGroupMark(const char* dir)
{
    ResetStoreConfig();
    std::snprintf(g_storeConfig.groupReceiveDir, sizeof g_storeConfig.groupReceiveDir, "%s", dir);
    std::snprintf(g_storeConfig.groupName, sizeof g_storeConfig.groupName, "%s", "SALES");
    g_storeConfig.useArchiveAttribute = false;
    return MarkGroupInfoChanged(TV_LIST_NEW) == 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: stampcheck msgdir|marker|groupmark <dir>\n");
        return 2;
    }
    const char* dir = argv[2];
    bool ok;
    if (std::strcmp(argv[1], "msgdir") == 0)
        ok = ServerChange(dir);
    else if (std::strcmp(argv[1], "marker") == 0)
        ok = MoveMarker(dir, "MSGCHG.CTL") == TV_OK;
    else if (std::strcmp(argv[1], "groupmark") == 0)
        ok = ClientGroupMark(dir);
    else
        return 2;
    return ok ? 0 : 1;
}
