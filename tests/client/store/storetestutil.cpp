#include "tests/client/store/storetestutil.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "client/store/storefile.h"

namespace tvtest {

namespace {

StoreRecord s_record;

void Log(uint16_t code, const char* function, const char* text)
{
    char line[700];
    std::snprintf(line, sizeof line, "%04X %s: %s", code, function, text);
    s_record.logs.push_back(line);
}
void Box(int id, const char* arg, TvStoreIcon) { s_record.boxes.push_back(std::to_string(id) + " " + (arg ? arg : "")); }
void Alert(int id) { s_record.alerts.push_back(id); }
void Scanner(const MessageListEntry* e) { s_record.scanner.push_back(e ? e->Name : ""); }
bool Accessible(void) { return s_record.accessible; }
void ClearAccessible(void) { s_record.accessible = false; }
void Refresh(void) { ++s_record.refreshes; }
void Menu(int) {}
bool Viewer(void) { return false; }
void Pump(void) {}
bool GetArchive(const char* path, bool* set)
{
    auto it = s_record.archive.find(path);
    if (it == s_record.archive.end())
        return false;
    *set = it->second;
    return true;
}
bool ClearArchive(const char* path)
{
    auto it = s_record.archive.find(path);
    if (it == s_record.archive.end())
        return false;
    it->second = false;
    return true;
}
TvFileTime Now(void)
{
    return s_record.now ? s_record.now : DefaultStoreHooks()->nowFileTime();
}

const StoreHooks s_hooks = {Log,    Box,  Alert,      Scanner,      Accessible, ClearAccessible, Refresh,
                            Menu,   Viewer, Pump,     GetArchive,   ClearArchive, Now};

} // namespace

StoreRecord& Record() { return s_record; }
const StoreHooks* RecordingHooks() { return &s_hooks; }

bool Logged(const std::string& text)
{
    for (const std::string& l : s_record.logs)
        if (l.find(text) != std::string::npos)
            return true;
    return false;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string ReceiveHeader() { return "[TAVRINE]\r\nType: ReceiveDir\r\nRevision: A\r\n"; }
std::string SendHeader() { return "[TAVRINE]\r\nType: SendDir\r\nRevision: A\r\n"; }

std::string ReceiveEntry(const std::string& name, const std::string& comment, const std::string& type,
                         const std::string& status, const std::string& userStatus, const std::string& accepted)
{
    return "\r\n[DOCUMENT]\r\nFile: " + name + "\r\nComment: " + comment + "\r\n[MESSAGE]\r\nFormat: G3N\r\nAccepted: " +
           accepted + "\r\nType: " + type + "\r\nStatus: " + status + "\r\nUserStatus: " + userStatus + "\r\n";
}

std::string SendEntry(const std::string& name, const std::string& comment, const std::string& assoc,
                      const std::string& type, const std::string& status, const std::string& userStatus,
                      const std::string& accepted)
{
    return "\r\n[DOCUMENT]\r\nFile: " + name + "\r\nComment: " + comment + "\r\n[MESSAGE]\r\nAssocFile: " + assoc +
           "\r\nAccepted: " + accepted + "\r\nType: " + type + "\r\nStatus: " + status + "\r\nUserStatus: " +
           userStatus + "\r\n";
}

TvFileTime UtcFileTime(int year, int month, int day, int hour, int minute, int second)
{
    // Days since 1970 of a proleptic Gregorian date.
    int y = year - (month <= 2 ? 1 : 0);
    int era = y / 400;
    int yoe = y - era * 400;
    int mp = (month + 9) % 12;
    int doy = (153 * mp + 2) / 5 + day - 1;
    int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t days = int64_t(era) * 146097 + doe - 719468;
    return SecondsToFileTime(days * 86400 + hour * 3600 + minute * 60 + second);
}

void StoreTest::SetUp()
{
    temp_.reset(new TempDir("store"));
    ResetStoreConfig();
    s_record = StoreRecord();
    SetStoreHooks(&s_hooks);
    std::string sep(1, TvPathSep());
    receiveDir = temp_->MakeDir("USER/T-IN") + sep;
    sendDir = temp_->MakeDir("USER/T-OUT") + sep;
    groupDir = temp_->MakeDir("GROUP/T-IN") + sep;
    filedDir = temp_->MakeDir("USER/FILED") + sep;
    std::snprintf(g_storeConfig.receiveDir, TV_DIR_SIZE, "%s", receiveDir.c_str());
    std::snprintf(g_storeConfig.sendDir, TV_DIR_SIZE, "%s", sendDir.c_str());
    std::snprintf(g_storeConfig.filedDir, TV_DIR_SIZE, "%s", filedDir.c_str());
    g_storeConfig.useArchiveAttribute = false;
    g_storeConfig.alertReceive = g_storeConfig.alertGroupReceive = g_storeConfig.alertSend =
        g_storeConfig.alertFail = g_storeConfig.alertPreview = true;
    for (int id = TV_LIST_NEW; id <= TV_LIST_FILED; ++id) {
        views_[id - TV_LIST_NEW].reset(new FakeListView(ListTable(id)));
        SetListView(id, views_[id - TV_LIST_NEW]->View());
    }
}

void StoreTest::TearDown()
{
    for (int id = TV_LIST_NEW; id <= TV_LIST_FILED; ++id) {
        FreeListTable(ListTable(id));
        SetListView(id, nullptr);
        SetListReady(id, true);
    }
    SetStoreHooks(nullptr);
    ResetStoreConfig();
    temp_.reset();
}

} // namespace tvtest
