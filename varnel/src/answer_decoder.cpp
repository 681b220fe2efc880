#include "answer_decoder.h"

#include "record_text.h"

namespace varnel {

namespace {

struct LetterText {
    char letter;
    const char* text;
};

constexpr LetterText AnswerTexts[] = {
    {'A', "Phone Allocation accepted"},
    {'B', "Phone Allocation refused"},
    {'I', "Check In accepted"},
    {'J', "Check In refused"},
    {'M', "Modification accepted"},
    {'N', "Modification refused"},
    {'O', "Check Out accepted (not used)"},
    {'P', "Check Out refused"},
    {'Q', "Interrogation accepted (not used)"},
    {'R', "Interrogation refused"},
    {'T', "Re-initialisation refused"},
};

// The apostrophe of reason Q is the Windows-1252 byte 0x92: the texts are 8-bit.
constexpr LetterText ReasonTexts[] = {
    {'A', "Room already allocated"},
    {'G', "Invalid number"},
    {'J', "Non available feature"},
    {'K', "Wrong message"},
    {'M', "Not consulted message"},
    {'O', "Room set out of service"},
    {'Q', "Unreachable database (the PBX doesn\x92t answer)"},
    {'R', "Invalid room extension number (not used)"},
    {'T', "Other"},
    {'U', "Unavailable room extension"},
};

template <size_t N> std::string Lookup(const LetterText (&table)[N], std::string_view letter) {
    if (letter.size() == 1)
        for (const LetterText& row : table)
            if (row.letter == letter[0])
                return row.text;
    return std::string(letter);
}

char FirstOrZero(std::string_view text) {
    return text.empty() ? '\0' : text[0];
}

} // namespace

std::string AnswerLetterText(std::string_view letter) {
    return Lookup(AnswerTexts, letter);
}
std::string ReasonLetterText(std::string_view letter) {
    return Lookup(ReasonTexts, letter);
}

AnswerSlots DecodeAnswer(std::string_view frame) {
    const std::string room = FrameField(frame, 3, 8);
    const std::string code = FrameField(frame, 11, 4);
    const std::string answer = FrameField(frame, 15, 1);
    const std::string reason = FrameField(frame, 16, 1);
    AnswerSlots slots;
    slots.texts =
        room + "|" + code + "|" + AnswerLetterText(answer) + "|" + ReasonLetterText(reason) + "|";
    slots.codes = room + "|";
    slots.codes += FirstOrZero(answer);
    slots.codes += "|";
    slots.codes += FirstOrZero(reason);
    slots.codes += "|";
    return slots;
}

} // namespace varnel
