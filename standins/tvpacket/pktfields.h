// The packet tool's view of the packet catalogue: every packet kind with the
// length it is sent with and its fields by name, so that a packet can be
// built from "name=value" words.
#ifndef TAVRINE_STANDINS_PKTFIELDS_H
#define TAVRINE_STANDINS_PKTFIELDS_H

#include <cstddef>
#include <cstdint>

enum PfType { PF_U16, PF_U32, PF_TEXT };

struct PfField {
    const char *name;
    uint16_t offset;
    uint16_t width;             // bytes on the wire (a text holds width-1 characters)
    PfType type;
    uint32_t defaultValue;      // numbers only
};

struct PfKind {
    uint8_t cls;
    uint8_t type;               // 0xFF: any type (class 99)
    const char *name;           // "QUEUE STATUS REQUEST"
    uint16_t length;            // the length it is sent with
    const PfField *fields;      // null-name terminated
};

extern const PfKind g_pfKinds[];
extern const size_t g_pfKindCount;

// The kind named by text: "class/type" in numbers ("1/10", "99/0") or a
// name in any case with '-' or '_' for the blanks ("REGISTER",
// "port-request"). *type receives the type (for class 99 the number given).
// Null with *ambiguous set when a name fits several kinds.
const PfKind *FindPfKind(const char *text, uint8_t *type, bool *ambiguous);

// The field of a kind by name (any case); the header's "code" is a field of
// every kind.
const PfField *FindPfField(const PfKind *kind, const char *name);

// Sets a field in the packet buffer from its text value. false with a
// message in err (errSize bytes) when the number is not one or out of range,
// or the text is longer than the field holds.
bool SetPfField(uint8_t *buf, size_t bufSize, const PfField *f, const char *value, char *err, size_t errSize);

// Fills buf with a packet of the kind: zeroes, the header, and every
// numeric field's default. Returns the kind's length.
uint16_t StartPfPacket(const PfKind *kind, uint8_t type, uint8_t *buf, size_t bufSize);

#endif
