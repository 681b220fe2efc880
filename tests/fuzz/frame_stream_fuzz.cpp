// The bytes the HL driver sends, as the link receives them: cut into frames and
// reply bytes by the reassembler, in reads of sizes the input chooses; every
// frame classified and run through the answer decoder or its event decoder.
//
// Input: the first byte seeds the sizes of the reads; the rest is the stream.
#include "fuzz_check.h"

#include "answer_decoder.h"
#include "event_decoders.h"
#include "frame_format.h"
#include "frame_kinds.h"
#include "frame_reassembler.h"
#include "ox_log_file.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace varnel;

namespace {

using Item = FrameReassembler::Item;

struct Cut {
    std::vector<Item> items;
    uint64_t skipped = 0;
    bool inFrame = false;
};

// The stream in reads of 1 to 64 bytes, their sizes drawn from `seed`.
Cut InReads(std::string_view stream, uint8_t seed) {
    Cut cut;
    FrameReassembler reassembler;
    uint32_t state = seed * 2654435761u + 1;
    while (!stream.empty()) {
        state = state * 1103515245u + 12345u;
        const size_t n = std::min<size_t>(stream.size(), 1 + (state >> 16) % 64);
        for (Item& item : reassembler.feed(stream.substr(0, n)))
            cut.items.push_back(std::move(item));
        stream.remove_prefix(n);
    }
    cut.skipped = reassembler.skippedBytes();
    cut.inFrame = reassembler.inFrame();
    return cut;
}

Cut InOneRead(std::string_view stream) {
    FrameReassembler reassembler;
    Cut cut{reassembler.feed(stream), 0, false};
    cut.skipped = reassembler.skippedBytes();
    cut.inFrame = reassembler.inFrame();
    return cut;
}

void CheckItem(const Item& item) {
    if (item.kind == Item::Kind::Reply) {
        FUZZ_CHECK(item.bytes.size() == 1 && (item.bytes[0] == Ack || item.bytes[0] == Nak),
                   "a reply is one ACK or NAK byte");
        return;
    }
    const std::string& f = item.bytes;
    FUZZ_CHECK(f.size() >= 2 && f.size() <= FrameReassembler::MaxFrameLength,
               "a frame is STX to ETX and no longer than the longest frame kept");
    FUZZ_CHECK(f.front() == Stx && f.back() == Etx, "a frame runs from STX to ETX");
    FUZZ_CHECK(f.find(Stx, 1) == std::string::npos && f.find(Etx) == f.size() - 1,
               "a frame holds no other STX or ETX");
}

// A queue record is one line of its queue file: read back from the file it is
// the same single record.
void CheckRecord(const std::string& record) {
    const TOxLogRecordList back = SplitRecords(record + "\r\n");
    FUZZ_CHECK(back.size() == 1 && back[0] == record,
               "a decoded record is one line of its queue file");
}

void Decode(const std::string& frame) {
    const std::optional<FrameKind> kind = ClassifyFrame(frame);
    if (!kind)
        return;
    if (*kind == FrameKind::Answer) {
        const AnswerSlots slots = DecodeAnswer(frame);
        FUZZ_CHECK(!slots.codes.empty(), "a decoded answer fills the slot commands wait for");
        return;
    }
    const std::string stamp = "2024.02.01 09:05";
    const EventOutcome outcome = DecodeEvent(*kind, frame, 77, stamp);
    if (!outcome.queue)
        return;
    CheckRecord(outcome.record);
    if (*kind != FrameKind::NodeReport)
        FUZZ_CHECK(outcome.record.starts_with("77|") && outcome.record.ends_with("|" + stamp + "|"),
                   "a record starts with its key and ends with its date stamp");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);

    const Cut whole = InOneRead(stream);
    const Cut pieces = InReads(stream, data[0]);
    FUZZ_CHECK(pieces.items == whole.items && pieces.skipped == whole.skipped &&
                   pieces.inFrame == whole.inFrame,
               "the items of a stream do not depend on how it was cut into reads");

    uint64_t used = whole.skipped;
    for (const Item& item : whole.items) {
        CheckItem(item);
        used += item.bytes.size();
        if (item.kind == Item::Kind::Frame)
            Decode(item.bytes);
    }
    FUZZ_CHECK(used <= stream.size(), "no byte of the stream is handed out twice");
    if (!whole.inFrame)
        FUZZ_CHECK(used == stream.size(), "outside a frame every byte is handed out or counted");
    return 0;
}
