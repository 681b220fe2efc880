// The driver's answer to a hotel request, decoded into the two slots a waiting
// command reads. The input is the frame between the answer letter "R" and the
// ETX, of any length (an answer frame is 19 bytes in all).
#include "fuzz_check.h"

#include "answer_decoder.h"
#include "frame_format.h"
#include "record_text.h"

#include <cstdint>
#include <string>

using namespace varnel;

namespace {

// The letter a command reads from the codes slot: a blank letter is 0.
char ExpectedLetter(const std::string& frame, size_t position) {
    const std::string field = FrameField(frame, position, 1);
    return field.empty() ? '\0' : field[0];
}

char SlotLetter(const std::string& field) {
    return field.empty() ? '\0' : field[0];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string frame = std::string(1, Stx) + "R" +
                              std::string(reinterpret_cast<const char*>(data), size) +
                              std::string(1, Etx);
    const AnswerSlots slots = DecodeAnswer(frame);

    // What the commands read back from the slots is what the frame said. The slots' fields end with
    // "|": a room, code or letter holding one cannot be carried, so the letters are checked for
    // answers without it.
    if (FrameField(frame, 3, 14).find('|') != std::string::npos)
        return 0;
    const char answer = ExpectedLetter(frame, 15);
    const char reason = ExpectedLetter(frame, 16);
    FUZZ_CHECK(SlotLetter(GetField(2, slots.codes)) == answer,
               "the command reads the frame's answer letter");
    FUZZ_CHECK(SlotLetter(GetField(3, slots.codes)) == reason,
               "the command reads the frame's reason letter");
    FUZZ_CHECK(GetField(3, slots.texts) == AnswerLetterText(FrameField(frame, 15, 1)),
               "the answer text is the text of the answer letter");
    FUZZ_CHECK(GetField(4, slots.texts) == ReasonLetterText(FrameField(frame, 16, 1)),
               "the reason text is the text of the reason letter");
    return 0;
}
