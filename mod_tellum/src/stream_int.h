// Byte stream interfaces: IOutputStream and IInputStream, as the serial stream
// offers them to its users. Positioning is part of both; a stream that cannot
// move raises ENotSeekable from those operations.
#pragma once

#include "rtl/interface.h"

#include <cstddef>
#include <cstdint>

namespace tellum {

enum class SeekOrigin { Begin, Current, End };

class IOutputStream : public rtl::IImplemented {
public:
    static constexpr rtl::Guid iid = rtl::MakeGuid("{3469E60D-FC75-4429-BEEB-7C5308CB4392}");
    using Base = rtl::IImplemented;

    // The count of bytes written.
    virtual size_t write(const void* buffer, size_t count) = 0;
    // Moves the position; the new position from the beginning.
    virtual int64_t seek(int64_t offset, SeekOrigin origin) = 0;
    // Bytes that can be read without waiting.
    virtual int64_t available() = 0;
    // Moves the position `count` bytes on; the count skipped.
    virtual int64_t skip(int64_t count) = 0;
    virtual void flush() = 0;
    virtual void close() = 0;

protected:
    ~IOutputStream() = default;
};

class IInputStream : public rtl::IImplemented {
public:
    static constexpr rtl::Guid iid = rtl::MakeGuid("{A6ACD989-0B76-46B0-B398-5AA82301FBDC}");
    using Base = rtl::IImplemented;

    // The count of bytes read, 0 to `count`.
    virtual size_t read(void* buffer, size_t count) = 0;
    virtual int64_t seek(int64_t offset, SeekOrigin origin) = 0;
    virtual int64_t available() = 0;
    virtual int64_t skip(int64_t count) = 0;
    // Whether bytes can be read without waiting.
    virtual bool ready() = 0;
    virtual void close() = 0;

protected:
    ~IInputStream() = default;
};

} // namespace tellum
