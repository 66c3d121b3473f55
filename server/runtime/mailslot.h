// Mailslot transport of the server programs.
//
// Every program owns one mailslot "\\.\MAILSLOT\TAVRINE\SERVER\<queue>" and
// writes one-way packets of 3..1000 bytes to the others'. A queue name is
// "QUEUEMAN", "SYSMAN", a controller's ID with "-" turned into "\"
// ("FCLASS\1"), or a reply queue named inside a request; at most 228
// characters. The packet layouts are in packets.h.
//
// In the native test tree the mailslots are queues inside the process, with
// the same rules (one writer at a time, a missing queue until it is made).
#ifndef TAVRINE_SERVER_RUNTIME_MAILSLOT_H
#define TAVRINE_SERVER_RUNTIME_MAILSLOT_H

#include <cstddef>
#include <cstdint>

#include "common/status.h"

#define MSG_MAILSLOT_ROOT "\\\\.\\MAILSLOT\\TAVRINE\\SERVER\\"

enum {
    MSG_ROOT_LEN = 28,          // the root's length
    MSG_QUEUE_MAX = 228,        // longest queue name (its length + 29 <= 257)
    MSG_PATH_SIZE = 258,
    MSG_MIN_PACKET = 3,
    MSG_MAX_PACKET = 1000,
    MSG_MAX_TIMEOUT = 120,      // seconds
    MSG_RETRY_MS = 500,         // pause between tries of a send
    MSG_BUSY_LIMIT_MS = 10000,  // how long a busy mailslot is retried
};

// A mailslot read handle (a Windows HANDLE; an in-process queue natively).
typedef void *TvMailslot;

// Makes this program's mailslot: no size limit, read time-out 0, and on NT a
// security descriptor with a NULL access list so every account may write.
// value is kept and not used. The caller holds the handle for the life of
// the process. 0, 0xF001 bad name, 0xF03B / 0xF03C security descriptor,
// 0xF00C the mailslot can't be created (also when it exists already).
TvStatus MsgMakePipe(const char *queue, uint32_t value, TvMailslot *handle);

// Takes the next packet without waiting. 0 with the packet in buf and its
// length in *length (the rest of buf zeroed, so a field past the packet's
// end reads as 0); 0x00E8 when none waits; 0xF001 for a zero buffer size;
// 0xF00C when the mailslot can't be read. A packet longer than the buffer or
// whose length word differs from its size is read whole, logged "Invalid
// packet received - ignored" and dropped, and the next one is taken.
TvStatus MsgReadRequest(TvMailslot handle, void *buf, uint16_t size, uint16_t *length);

// Sends length bytes of buf (its first two bytes are set to length) to the
// queue. Retries every 500 ms while the mailslot is missing (0xF023 once
// timeoutSeconds have passed; at once with 0) or busy (0xF00C after 10 s).
// 0xF001 for a bad queue name, a time-out over 120, a length outside
// 3..1000 or a reply buffer given (replies are not supported).
TvStatus MsgSendRequest(const char *queue, uint16_t timeoutSeconds, void *buf, uint16_t length, void *reply,
                        uint16_t replySize, uint16_t *replyLength);

// Closes a mailslot (tools and tests; the server programs never do).
void MsgClosePipe(TvMailslot handle);

// The full mailslot path of a queue; 0xF001 when the name is empty or too long.
TvStatus MsgMailslotPath(const char *queue, char *out, size_t size);

// True while some program owns the queue's mailslot (the program is running).
bool MsgQueueExists(const char *queue);

// The queue name of a program ID: every "-" becomes "\" ("FCLASS-1" gives
// "FCLASS\1"), cut to size.
void QueueNameFromId(const char *id, char *out, size_t size);

// ---------------------------------------------------------------- platform layer
// Implemented by mailslot_win.cpp or mailslot_posix.cpp.
enum MsOpenResult { MS_OPEN_OK, MS_OPEN_MISSING, MS_OPEN_BUSY, MS_OPEN_ERROR };
enum MsWriteResult { MS_WRITE_OK, MS_WRITE_GONE, MS_WRITE_ERROR };
enum : uint32_t { MS_NO_MESSAGE = 0xFFFFFFFFu };
TvStatus PlatMsCreate(const char *path, TvMailslot *handle, uint32_t *error);
bool PlatMsNextSize(TvMailslot handle, uint32_t *nextSize); // MS_NO_MESSAGE when empty
bool PlatMsRead(TvMailslot handle, void *buf, uint32_t size, uint32_t *got);
MsOpenResult PlatMsOpenWrite(const char *path, void **writer, uint32_t *error);
MsWriteResult PlatMsWrite(void *writer, const void *buf, uint32_t length, uint32_t *written, uint32_t *error);
void PlatMsCloseWrite(void *writer);
void PlatMsClose(TvMailslot handle);

#endif
