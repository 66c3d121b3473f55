// The store under test: a scratch folder with the user's and the group's
// directories, recording hooks in place of the shell, fake list boxes for
// the three lists, and small writers of directory files.
#ifndef TAVRINE_TESTS_CLIENT_STORE_STORETESTUTIL_H
#define TAVRINE_TESTS_CLIENT_STORE_STORETESTUTIL_H

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/store/msglist.h"
#include "client/store/storehooks.h"
#include "tests/client/store/fakelistview.h"
#include "tests/support/tempdir.h"

namespace tvtest {

// What the store showed and logged.
struct StoreRecord {
    std::vector<std::string> logs;     // "F807 Function: text"
    std::vector<std::string> boxes;    // "47 <arg>"
    std::vector<int> alerts;
    std::vector<std::string> scanner;  // names shown in the scanner-ready box; "" = closed
    bool accessible = true;
    int refreshes = 0;
    std::map<std::string, bool> archive;  // path -> archive attribute
    TvFileTime now = 0;                   // 0: the system clock
};
StoreRecord& Record();
// Hooks that write into Record().
const StoreHooks* RecordingHooks();

// Whether some log line contains text.
bool Logged(const std::string& text);

std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& text);

// Lines of a receive or send MSGDIR.CTL (CR LF).
std::string ReceiveHeader();
std::string SendHeader();
std::string ReceiveEntry(const std::string& name, const std::string& comment, const std::string& type,
                         const std::string& status, const std::string& userStatus,
                         const std::string& accepted = "96-05-17 12:30:00");
std::string SendEntry(const std::string& name, const std::string& comment, const std::string& assoc,
                      const std::string& type, const std::string& status, const std::string& userStatus,
                      const std::string& accepted = "00-00-00 00:00:00");

// File times from UTC parts.
TvFileTime UtcFileTime(int year, int month, int day, int hour, int minute, int second);

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Directory paths with their trailing separator.
    std::string receiveDir, sendDir, groupDir, filedDir;
    std::string ReceivePath() const { return receiveDir + "MSGDIR.CTL"; }
    std::string SendPath() const { return sendDir + "MSGDIR.CTL"; }
    std::string GroupPath() const { return groupDir + "MSGDIR.CTL"; }

    FakeListView& View(int listId) { return *views_[listId - TV_LIST_NEW]; }
    std::unique_ptr<TempDir> temp_;

private:
    std::unique_ptr<FakeListView> views_[3];
};

} // namespace tvtest

#endif
