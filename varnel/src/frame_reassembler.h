// Cuts the byte stream received from the HL driver into frames (STX up to the next
// ETX) and reply bytes (ACK or NAK outside a frame), whatever the reads were. TCP keeps
// no message boundaries, so a frame may come in pieces or several in one read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

class FrameReassembler {
public:
    struct Item {
        enum class Kind { Reply, Frame };
        Kind kind;
        // Reply: the one byte (ACK or NAK). Frame: STX to ETX, both included.
        std::string bytes;
        bool operator==(const Item&) const = default;
    };

    // A frame longer than this cannot be one of the driver's (the longest is 96
    // bytes); its bytes are dropped so a lost ETX cannot hold the stream forever.
    static constexpr size_t MaxFrameLength = 1024;

    // Takes one read and returns what it completed, in stream order. Bytes of an
    // incomplete frame are kept for the next read.
    std::vector<Item> feed(std::string_view bytes);

    // True while an STX was seen and its ETX has not come yet.
    bool inFrame() const { return inFrame_; }
    // Bytes dropped so far: outside any frame (neither STX nor a reply byte), or of a
    // frame abandoned because a new STX came before its ETX or it grew too long.
    uint64_t skippedBytes() const { return skipped_; }

private:
    std::string partial_;
    bool inFrame_ = false;
    uint64_t skipped_ = 0;
};

} // namespace varnel
