// Little-endian access to records that cross a file or packet boundary.
//
// A reader walks a byte buffer with a sticky error flag: a read past the end
// yields 0 and marks the reader failed, so a caller can read a whole record
// and test once. A writer appends to a bounded buffer the same way. Text
// fields are copied bounded and always terminated: a field from another
// process or a file is never trusted to carry its own zero.
#ifndef TAVRINE_COMMON_LEBYTES_H
#define TAVRINE_COMMON_LEBYTES_H

#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint16_t GetLe16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLe32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutLe16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t *p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Copies a fixed-size text field of a record into a C string of outSize
// bytes: stops at the field's first zero or its end, whichever comes first,
// and always terminates the output (when outSize > 0).
inline void CopyTextField(char *out, size_t outSize, const void *field, size_t fieldSize)
{
    if (outSize == 0)
        return;
    const char *src = static_cast<const char *>(field);
    size_t n = 0;
    while (n < fieldSize && n + 1 < outSize && src[n] != '\0')
        ++n;
    std::memcpy(out, src, n);
    out[n] = '\0';
}

// Stores a C string into a fixed-size text field, zero-filled, cut to fit.
// The field is terminated when the text is shorter than the field.
inline void StoreTextField(void *field, size_t fieldSize, const char *text)
{
    char *dst = static_cast<char *>(field);
    std::memset(dst, 0, fieldSize);
    if (!text)
        return;
    size_t n = std::strlen(text);
    if (n > fieldSize)
        n = fieldSize;
    std::memcpy(dst, text, n);
}

class LeReader {
public:
    LeReader(const void *data, size_t size)
        : p_(static_cast<const uint8_t *>(data)), size_(size) {}

    uint8_t U8() { return Take(1) ? p_[pos_ - 1] : 0; }
    uint16_t U16() { return Take(2) ? GetLe16(p_ + pos_ - 2) : 0; }
    uint32_t U32() { return Take(4) ? GetLe32(p_ + pos_ - 4) : 0; }
    // Copies a text field of fieldSize bytes (see CopyTextField); missing
    // bytes read as an empty text.
    void Text(char *out, size_t outSize, size_t fieldSize)
    {
        if (Take(fieldSize))
            CopyTextField(out, outSize, p_ + pos_ - fieldSize, fieldSize);
        else if (outSize)
            out[0] = '\0';
    }
    void Skip(size_t n) { Take(n); }
    void Seek(size_t pos)
    {
        if (pos > size_)
            failed_ = true;
        else
            pos_ = pos;
    }
    size_t Pos() const { return pos_; }
    size_t Left() const { return size_ - pos_; }
    bool Failed() const { return failed_; }

private:
    bool Take(size_t n)
    {
        if (failed_ || n > size_ - pos_) {
            failed_ = true;
            return false;
        }
        pos_ += n;
        return true;
    }
    const uint8_t *p_;
    size_t size_;
    size_t pos_ = 0;
    bool failed_ = false;
};

class LeWriter {
public:
    LeWriter(void *data, size_t size) : p_(static_cast<uint8_t *>(data)), size_(size) {}

    void U8(uint8_t v)
    {
        if (Take(1))
            p_[pos_ - 1] = v;
    }
    void U16(uint16_t v)
    {
        if (Take(2))
            PutLe16(p_ + pos_ - 2, v);
    }
    void U32(uint32_t v)
    {
        if (Take(4))
            PutLe32(p_ + pos_ - 4, v);
    }
    void Text(const char *text, size_t fieldSize)
    {
        if (Take(fieldSize))
            StoreTextField(p_ + pos_ - fieldSize, fieldSize, text);
    }
    void Bytes(const void *data, size_t n)
    {
        if (Take(n))
            std::memcpy(p_ + pos_ - n, data, n);
    }
    size_t Pos() const { return pos_; }
    bool Failed() const { return failed_; }

private:
    bool Take(size_t n)
    {
        if (failed_ || n > size_ - pos_) {
            failed_ = true;
            return false;
        }
        pos_ += n;
        return true;
    }
    uint8_t *p_;
    size_t size_;
    size_t pos_ = 0;
    bool failed_ = false;
};

#endif
