#include "frame_reassembler.h"

#include "frame_format.h"

namespace varnel {

std::vector<FrameReassembler::Item> FrameReassembler::feed(std::string_view bytes) {
    std::vector<Item> items;
    for (const char c : bytes) {
        if (c == Stx) {
            // A frame never holds an STX (its fields are text): a new STX means the
            // previous frame lost its end, so resynchronise here.
            if (inFrame_)
                skipped_ += partial_.size();
            partial_.assign(1, c);
            inFrame_ = true;
            continue;
        }
        if (!inFrame_) {
            if (c == Ack || c == Nak)
                items.push_back({Item::Kind::Reply, std::string(1, c)});
            else
                ++skipped_;
            continue;
        }
        partial_ += c;
        if (c == Etx) {
            items.push_back({Item::Kind::Frame, std::move(partial_)});
            partial_.clear();
            inFrame_ = false;
        } else if (partial_.size() >= MaxFrameLength) {
            skipped_ += partial_.size();
            partial_.clear();
            inFrame_ = false;
        }
    }
    return items;
}

} // namespace varnel
