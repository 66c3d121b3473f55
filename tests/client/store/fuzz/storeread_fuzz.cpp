// Fuzz target for the store's readers: the NEW and WAITING rebuilds from a
// MSGDIR.CTL, the FILED rebuild and ReadInfoFile from a TAVRINE.DIR, and the
// directory file rewrite.
//
// Input: one selector byte, then the file's bytes. Whatever the file holds,
// the list boxes' items must name live slots of their stores, the store must
// never grow beyond its allocation, and a rewrite must keep the header.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "client/store/dirfilter.h"
#include "client/store/docinfo.h"
#include "client/store/msgdir.h"
#include "client/store/msglist.h"
#include "client/store/storehooks.h"
#include "tests/client/store/fakelistview.h"

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "storeread_fuzz: check failed: %s\n", what);
        std::abort();
    }
}

std::string g_scratch;

void RemoveScratch() { rmdir(g_scratch.c_str()); }

// One folder for the whole run, removed (empty) at exit.
std::string Scratch()
{
    if (g_scratch.empty()) {
        char pattern[] = "/tmp/tv_storefuzz_XXXXXX";
        Check(mkdtemp(pattern) != nullptr, "scratch folder");
        g_scratch = pattern;
        std::atexit(RemoveScratch);
    }
    return g_scratch + "/";
}

void Write(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    Check(f != nullptr, "write input");
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
}

void CheckList(int listId, const tvtest::FakeListView& view)
{
    const MessageListTable* t = ListTable(listId);
    Check(t->Used >= 0, "Used not negative");
    if (t->Allocated < 0) {
        Check(view.items.empty(), "an unusable store shows no items");
        return;
    }
    Check(t->Used <= t->Allocated, "Used within Allocated");
    for (intptr_t slot : view.items) {
        Check(slot >= 0 && slot < t->Used, "item names a slot");
        const MessageListEntry& e = t->Storage[slot];
        Check(e.Kind != TV_KIND_DELETED, "item names a live slot");
        Check(std::memchr(e.Name, 0, sizeof e.Name) && std::memchr(e.Comment, 0, sizeof e.Comment) &&
                  std::memchr(e.AssocFile, 0, sizeof e.AssocFile),
              "texts terminated");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    uint8_t selector = data[0];
    ++data;
    --size;
    std::string dir = Scratch();
    ResetStoreConfig();
    g_storeConfig.useArchiveAttribute = false;
    std::snprintf(g_storeConfig.receiveDir, TV_DIR_SIZE, "%s", dir.c_str());
    std::snprintf(g_storeConfig.sendDir, TV_DIR_SIZE, "%s", dir.c_str());
    std::snprintf(g_storeConfig.filedDir, TV_DIR_SIZE, "%s", dir.c_str());
    if (selector & 8) {
        std::snprintf(g_storeConfig.groupReceiveDir, TV_DIR_SIZE, "%s", dir.c_str());
        std::snprintf(g_storeConfig.groupName, TV_STORE_GROUP_SIZE, "%s", "@G");
    }
    tvtest::FakeListView views[3] = {tvtest::FakeListView(ListTable(TV_LIST_NEW)),
                                     tvtest::FakeListView(ListTable(TV_LIST_WAITING)),
                                     tvtest::FakeListView(ListTable(TV_LIST_FILED))};
    for (int i = 0; i < 3; ++i)
        SetListView(TV_LIST_NEW + i, views[i].View());

    switch (selector % 4) {
    case 0:
    case 1: {
        int listId = selector % 4 == 0 ? TV_LIST_NEW : TV_LIST_WAITING;
        Write(dir + "MSGDIR.CTL", data, size);
        RefreshMessageList(listId);
        CheckList(listId, views[listId - TV_LIST_NEW]);
        // A second pass over the file as the first left it merges in place.
        ResetStoreConfig();
        std::snprintf(g_storeConfig.receiveDir, TV_DIR_SIZE, "%s", dir.c_str());
        std::snprintf(g_storeConfig.sendDir, TV_DIR_SIZE, "%s", dir.c_str());
        g_storeConfig.useArchiveAttribute = false;
        RefreshMessageList(listId);
        CheckList(listId, views[listId - TV_LIST_NEW]);
        if (selector & 16) {
            FilterMessageControlFile(listId, false);
        }
        break;
    }
    case 2: {
        Write(dir + "TAVRINE.DIR", data, size);
        DocumentInfo* block = nullptr;
        int32_t bytes = 0;
        if (ReadInfoFile(&block, &bytes, dir.c_str())) {
            Check(bytes % static_cast<int32_t>(sizeof(DocumentInfo)) == 0, "whole records");
            for (int32_t i = 0; i < bytes / static_cast<int32_t>(sizeof(DocumentInfo)); ++i)
                Check(std::memchr(block[i].FileName, 0, sizeof block[i].FileName) != nullptr, "name terminated");
        }
        FreeInfoBlock(block);
        RefreshMessageList(TV_LIST_FILED);
        CheckList(TV_LIST_FILED, views[2]);
        break;
    }
    default: {
        Write(dir + "TAVRINE.DIR", data, size);
        RemoveInfoFileRefs("A.TIF", (dir + "TAVRINE.DIR").c_str(), false, TV_LIST_FILED);
        break;
    }
    }
    for (int id = TV_LIST_NEW; id <= TV_LIST_FILED; ++id) {
        FreeListTable(ListTable(id));
        SetListView(id, nullptr);
    }
    std::remove((dir + "MSGDIR.CTL").c_str());
    std::remove((dir + "MSGDIR.TMP").c_str());
    std::remove((dir + "TAVRINE.DIR").c_str());
    std::remove((dir + "TAVRINE.TMP").c_str());
    return 0;
}
