#include "frame_kinds.h"

#include "frame_format.h"

#include <cstddef>

namespace varnel {

namespace {

struct Row {
    size_t length;
    char letter;
    FrameKind kind;
};

constexpr Row Rows[] = {
    {7, '$', FrameKind::NodeReport},
    {74, 'J', FrameKind::CallTicket},
    {61, 'A', FrameKind::CheckIn},
    {22, 'H', FrameKind::PhoneAllocation},
    {61, 'M', FrameKind::Modification},
    {13, 'D', FrameKind::CheckOut},
    {17, 'C', FrameKind::RoomStatus},
    {38, 'P', FrameKind::WakeUp},
    {96, 'U', FrameKind::FullReinitialization},
    {26, 'U', FrameKind::PartialReinitialization},
    {19, 'R', FrameKind::Answer},
};

} // namespace

std::optional<FrameKind> ClassifyFrame(std::string_view frame) {
    if (frame.size() < 2 || frame[0] != Stx)
        return std::nullopt;
    for (const Row& row : Rows)
        if (row.length == frame.size() && row.letter == frame[1])
            return row.kind;
    return std::nullopt;
}

} // namespace varnel
