// The driver's answer to a hotel request (the 19-byte "R" frame) turned into the two
// answer slots the waiting command reads.
#pragma once

#include <string>
#include <string_view>

namespace varnel {

struct AnswerSlots {
    // room|code|answer text|reason text|
    std::string texts;
    // room|answer letter|reason letter| where a blank letter is the byte 0
    std::string codes;
};

// Decodes a 19-byte answer frame (STX at position 1).
AnswerSlots DecodeAnswer(std::string_view frame);

// The text of an answer letter, or the letter itself when the table has none.
std::string AnswerLetterText(std::string_view letter);
// The text of a reason letter, or the letter itself (empty for a blank reason).
std::string ReasonLetterText(std::string_view letter);

} // namespace varnel
