#include "hlsim/frames.h"

#include <cstdint>
#include <stdexcept>

namespace hlsim {

namespace {

constexpr char Stx = '\x02';
constexpr char Etx = '\x03';

std::string_view Trim(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20)
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20)
        text.remove_suffix(1);
    return text;
}

const FrameLayout* FindByLetterAndLength(const std::vector<FrameLayout>& layouts,
                                         std::string_view frame) {
    if (frame.size() < 2)
        return nullptr;
    for (const FrameLayout& layout : layouts)
        if (layout.letter == frame[1] && layout.length == frame.size())
            return &layout;
    return nullptr;
}

} // namespace

const std::vector<FrameLayout>& DriverFrameLayouts() {
    static const std::vector<FrameLayout> layouts = {
        {"ticket",
         "call ticket",
         'J',
         74,
         true,
         {{"line", 3, 8},
          {"type", 15, 1},
          {"time", 24, 11},
          {"duration", 35, 5},
          {"f4", 48, 4},
          {"f20", 52, 20}}},
        {"checkin",
         "check-in from a reception set",
         'A',
         61,
         true,
         {{"room", 3, 8},
          {"name", 12, 10},
          {"language", 32, 1},
          {"password", 37, 4},
          {"f2", 41, 2},
          {"f4", 52, 4},
          {"f1", 57, 1}}},
        {"checkout", "check-out from a reception set", 'D', 13, true, {{"room", 3, 8}}},
        {"phone", "phone allocation", 'H', 22, true, {{"room", 3, 8}, {"phone", 12, 8}}},
        {"modification",
         "data modification from a reception set",
         'M',
         61,
         true,
         {{"room", 3, 8},
          {"name", 12, 10},
          {"f22", 22, 8},
          {"f33", 33, 1},
          {"f38", 38, 4},
          {"f42", 42, 2},
          {"f54", 54, 4},
          {"f58", 58, 1}}},
        {"roomstatus",
         "room status",
         'C',
         17,
         true,
         {{"room", 3, 8}, {"status", 11, 1}, {"field", 12, 3}}},
        {"wakeup",
         "wake-up event",
         'P',
         38,
         true,
         {{"room", 3, 8},
          {"w", 11, 1, "W"},
          {"status", 14, 1},
          {"f16", 16, 6},
          {"f22", 22, 4},
          {"f31", 31, 4}}},
        {"fullreinit",
         "full re-initialisation",
         'U',
         96,
         true,
         {{"room", 3, 8},
          {"letter", 11, 1, "E"},
          {"f12", 12, 8},
          {"f21", 21, 10},
          {"f41", 41, 1},
          {"f46", 46, 4},
          {"f50", 50, 2},
          {"f62", 62, 4},
          {"f67", 67, 1},
          {"f79", 79, 1},
          {"f80", 80, 3}}},
        {"partialreinit",
         "partial re-initialisation",
         'U',
         26,
         true,
         {{"room", 3, 8}, {"letter", 11, 1, "O"}, {"f12", 12, 8}, {"f20", 20, 4}}},
        {"node", "node report", '$', 7, false, {{"id", 3, 4, "0001"}}},
        {"answer",
         "answer",
         'R',
         19,
         true,
         {{"room", 3, 8}, {"code", 11, 4, "0000"}, {"answer", 15, 1}, {"reason", 16, 1}}},
    };
    return layouts;
}

const std::vector<FrameLayout>& LinkFrameLayouts() {
    static const std::vector<FrameLayout> layouts = {
        {"checkin",
         "check-in request",
         'A',
         61,
         true,
         {{"room", 3, 8}, {"name", 12, 10}, {"language", 32, 1}, {"password", 37, 4}}},
        {"modification",
         "modification request",
         'M',
         61,
         true,
         {{"room", 3, 8},
          {"name", 12, 10},
          {"language", 32, 1},
          {"password", 37, 4},
          {"barring", 41, 2},
          {"wakeup", 53, 4},
          {"stop", 57, 1},
          {"dnd", 58, 1}}},
        {"checkout", "check-out request", 'D', 13, true, {{"room", 3, 8}}},
        {"phone", "phone request", 'H', 22, true, {{"room", 3, 8}, {"kind", 11, 1}}},
        {"interrogation", "interrogation", 'I', 13, true, {{"room", 3, 8}}},
        {"reinit", "re-initialisation request", 'Z', 14, true, {{"room", 3, 8}, {"kind", 11, 1}}},
        {"handshake", "handshake", '@', 7, false, {}},
        {"keepalive", "keep-alive", '$', 7, false, {}},
    };
    return layouts;
}

const FrameLayout* FindDriverLayout(std::string_view kind) {
    for (const FrameLayout& layout : DriverFrameLayouts())
        if (layout.kind == kind)
            return &layout;
    return nullptr;
}

std::string XorChecksum(std::string_view bytes) {
    uint8_t sum = 0;
    for (const char c : bytes)
        sum ^= uint8_t(c);
    static constexpr char Digits[] = "0123456789ABCDEF";
    return {Digits[sum >> 4], Digits[sum & 0x0F]};
}

std::string BuildFrame(std::string_view kind, const FieldValues& values) {
    const FrameLayout* layout = FindDriverLayout(kind);
    if (!layout)
        throw std::invalid_argument("unknown frame kind \"" + std::string(kind) + "\"");
    for (const auto& [name, value] : values) {
        bool known = false;
        for (const FieldLayout& field : layout->fields)
            known = known || field.name == name;
        if (!known)
            throw std::invalid_argument("frame \"" + std::string(kind) + "\" has no field \"" +
                                        name + "\"");
    }
    std::string frame(layout->length, ' ');
    frame.front() = Stx;
    frame[1] = layout->letter;
    frame.back() = Etx;
    for (const FieldLayout& field : layout->fields) {
        const auto it = values.find(field.name);
        const std::string_view value =
            it != values.end() ? std::string_view(it->second) : field.defaultValue;
        if (value.size() > field.width)
            throw std::invalid_argument("value \"" + std::string(value) + "\" is too long for " +
                                        std::string(kind) + " field \"" + std::string(field.name) +
                                        "\" (width " + std::to_string(field.width) + ")");
        frame.replace(field.position - 1 + field.width - value.size(), value.size(), value);
    }
    if (layout->checksum) {
        const size_t first = 1;                // the letter
        const size_t end = layout->length - 3; // before the checksum
        frame.replace(end, 2, XorChecksum(std::string_view(frame).substr(first, end - first)));
    }
    return frame;
}

std::string AnswerFrame(std::string_view room, char answer, char reason, std::string_view code) {
    return BuildFrame("answer", {{"room", std::string(room)},
                                 {"code", std::string(code)},
                                 {"answer", std::string(1, answer)},
                                 {"reason", std::string(1, reason)}});
}

std::string Readable(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case 0x02:
            out += "<STX>";
            break;
        case 0x03:
            out += "<ETX>";
            break;
        case 0x06:
            out += "<ACK>";
            break;
        case 0x15:
            out += "<NAK>";
            break;
        default:
            if (byte < 0x20 || byte >= 0x7F) {
                static constexpr char Digits[] = "0123456789ABCDEF";
                out += '<';
                out += Digits[byte >> 4];
                out += Digits[byte & 0x0F];
                out += '>';
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::string FieldAt(std::string_view frame, size_t position, size_t width) {
    if (position < 1 || position > frame.size())
        return {};
    return std::string(Trim(frame.substr(position - 1, width)));
}

std::string Describe(std::string_view frame, bool fromDriver) {
    const FrameLayout* layout =
        FindByLetterAndLength(fromDriver ? DriverFrameLayouts() : LinkFrameLayouts(), frame);
    if (!layout)
        return "unknown frame of " + std::to_string(frame.size()) + " bytes";
    std::string out(layout->description);
    for (const FieldLayout& field : layout->fields) {
        out += ' ';
        out += field.name;
        out += '=';
        out += Readable(FieldAt(frame, field.position, field.width));
    }
    return out;
}

std::optional<Request> ParseRequest(std::string_view frame) {
    const FrameLayout* layout = FindByLetterAndLength(LinkFrameLayouts(), frame);
    if (!layout || layout->letter == '@' || layout->letter == '$')
        return std::nullopt;
    Request request;
    request.frame = std::string(frame);
    request.letter = layout->letter;
    request.type = std::string(1, layout->letter);
    if (layout->letter == 'H' || layout->letter == 'Z')
        request.type += frame[10];
    request.room = FieldAt(frame, 3, 8);
    return request;
}

} // namespace hlsim
