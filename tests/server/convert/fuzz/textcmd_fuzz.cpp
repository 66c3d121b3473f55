// Fuzz target: the text command scanner with replace variables. The input
// is a control file and a document separated by two zero bytes (no
// separator: the whole input is the document); the first byte picks the
// addressee. The scanner must end, and deliver a bounded number of bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "server/convert/graphics.h"
#include "server/convert/raster.h"
#include "server/convert/textcmd.h"

namespace {

struct Mem {
    const uint8_t *data;
    size_t size, pos;
};
int MemRead(void *ctx) {
    Mem *m = static_cast<Mem *>(ctx);
    return m->pos < m->size ? m->data[m->pos++] : -1;
}

TvStatus NoInsert(const char *) { return TV_OK; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    RasterReset();
    TextCmdSetInsertHook(NoInsert);
    ConvDetails d;
    memset(&d, 0, sizeof d);
    ConvDetailsInit(&d);
    d.addressee = data[0] % 4;
    strcpy(d.accepted, "99-03-07 10:05:09");
    strcpy(d.from, "%%[FROM]");
    d.hasMsgId = 1;
    d.msgId = 0xDEADBEEFu;
    data++, size--;

    size_t split = size;
    for (size_t i = 0; i + 1 < size; i++)
        if (data[i] == 0 && data[i + 1] == 0) {
            split = i;
            break;
        }
    FILE *ctl = nullptr;
    const uint8_t *doc = data;
    size_t docSize = size;
    if (split < size) {
        ctl = tmpfile();
        if (ctl) {
            fwrite(data, 1, split, ctl);
            fflush(ctl);
        }
        doc = data + split + 2;
        docSize = size - split - 2;
    }
    AppendList list = {};
    Mem m = {doc, docSize, 0};
    TextScanner s;
    TextScannerInit(&s, &m, MemRead, ctl, &d, &list);
    size_t delivered = 0;
    int c;
    while ((c = ScanTextEscape(&s)) >= 0) {
        // An ESC read as a parameter source too, as the interpreter does.
        if (c == 27) GetNextChar(&s);
        if (++delivered > 200 * docSize + 1000) abort(); // unbounded expansion
    }
    if (list.count > APPEND_MAX) abort();
    if (ctl) fclose(ctl);
    return 0;
}
