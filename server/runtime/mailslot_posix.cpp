// Mailslot transport for the native test tree: named queues inside the
// process. A queue exists from PlatMsCreate until it is closed; one writer
// may hold it at a time (a second open is busy, as on Windows).
#include "server/runtime/mailslot.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace {

struct Slot {
    std::string name;
    std::deque<std::vector<unsigned char>> packets;
    bool writerHeld = false;
};

struct Writer {
    std::string name;
};

std::map<std::string, Slot *> &Registry()
{
    static std::map<std::string, Slot *> slots;
    return slots;
}

std::string Key(const char *path)
{
    std::string k(path);
    for (char &c : k)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return k;
}

} // namespace

TvStatus PlatMsCreate(const char *path, TvMailslot *handle, uint32_t *error)
{
    std::string k = Key(path);
    *error = 0;
    if (Registry().count(k)) {
        *error = 183; // already exists
        return TV_E_IO;
    }
    Slot *s = new Slot;
    s->name = k;
    Registry()[k] = s;
    *handle = s;
    return TV_OK;
}

bool PlatMsNextSize(TvMailslot handle, uint32_t *nextSize)
{
    Slot *s = static_cast<Slot *>(handle);
    if (!s)
        return false;
    *nextSize = s->packets.empty() ? MS_NO_MESSAGE : static_cast<uint32_t>(s->packets.front().size());
    return true;
}

bool PlatMsRead(TvMailslot handle, void *buf, uint32_t size, uint32_t *got)
{
    Slot *s = static_cast<Slot *>(handle);
    *got = 0;
    if (!s || s->packets.empty())
        return false;
    std::vector<unsigned char> &p = s->packets.front();
    // As on Windows: a buffer too small fails and leaves the packet queued.
    if (p.size() > size)
        return false;
    if (!p.empty())
        std::copy(p.begin(), p.end(), static_cast<unsigned char *>(buf));
    *got = static_cast<uint32_t>(p.size());
    s->packets.pop_front();
    return true;
}

MsOpenResult PlatMsOpenWrite(const char *path, void **writer, uint32_t *error)
{
    auto it = Registry().find(Key(path));
    if (it == Registry().end()) {
        *error = 2;
        return MS_OPEN_MISSING;
    }
    if (it->second->writerHeld) {
        *error = 32;
        return MS_OPEN_BUSY;
    }
    it->second->writerHeld = true;
    *writer = new Writer{it->first};
    *error = 0;
    return MS_OPEN_OK;
}

MsWriteResult PlatMsWrite(void *writer, const void *buf, uint32_t length, uint32_t *written, uint32_t *error)
{
    Writer *w = static_cast<Writer *>(writer);
    *written = 0;
    auto it = Registry().find(w->name);
    if (it == Registry().end()) {
        *error = 2;
        return MS_WRITE_GONE;
    }
    const unsigned char *b = static_cast<const unsigned char *>(buf);
    it->second->packets.emplace_back(b, b + length);
    *written = length;
    *error = 0;
    return MS_WRITE_OK;
}

void PlatMsCloseWrite(void *writer)
{
    Writer *w = static_cast<Writer *>(writer);
    auto it = Registry().find(w->name);
    if (it != Registry().end())
        it->second->writerHeld = false;
    delete w;
}

void PlatMsClose(TvMailslot handle)
{
    Slot *s = static_cast<Slot *>(handle);
    if (!s)
        return;
    Registry().erase(s->name);
    delete s;
}
