#include "request_fields.h"

#include <algorithm>

namespace varnel {

namespace {

// Latin spelling of the upper-case letters 0xC0..0xDF; nullptr: the letter stays.
constexpr const char* UpperLatin[32] = {
    "A", "B", "V", "G", "D", "E", "J", "Z",  "I",  "Y",   "K",  "L",     "M", "N",     "O",  "P",
    "R", "S", "T", "U", "F", "H", "C", "CH", "SH", "SHT", "AA", nullptr, "",  nullptr, "IU", "IA",
};

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

} // namespace

std::string Transliterate(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0xC0) {
            out += c;
            continue;
        }
        const bool lower = byte >= 0xE0;
        const char* latin = UpperLatin[(byte - 0xC0) & 0x1F];
        if (!latin) {
            out += c; // Ы, ы, Э, э have no spelling here and are kept
            continue;
        }
        for (const char* p = latin; *p; ++p)
            out += lower ? LowerAscii(*p) : *p;
    }
    return out;
}

std::string PadField(std::string_view text, size_t width, char fill) {
    std::string clean(text);
    for (char& c : clean)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    std::string field = Transliterate(clean);
    for (char& c : field)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    if (field.size() > width)
        field.resize(width);
    return std::string(width - field.size(), fill) + field;
}

std::string NormaliseWakeUpTime(std::string_view text) {
    std::string time(text);
    if (time.size() == 5)
        time.erase(2, 1);
    // Only four digits make a time: "7:30" has four characters but would put a
    // colon into the time field.
    const bool digits = time.size() == 4 && std::all_of(time.begin(), time.end(), [](char c) {
                            return c >= '0' && c <= '9';
                        });
    return digits ? time : std::string("1200");
}

// Check-in body, 57 characters (positions from the letter):
// 1 "A" | 2-9 room | 10 " " | 11-20 guest name | 21-30 spaces | 31 language |
// 32-35 spaces | 36-39 password | 40-41 "03" | 42-51 spaces | 52-57 "000000"
std::string CheckInBody(std::string_view room, std::string_view guestName,
                        std::string_view language, std::string_view password) {
    return "A" + PadField(room, 8) + " " + PadField(guestName, 10) + std::string(10, ' ') +
           PadField(language, 1) + std::string(4, ' ') + PadField(password, 4) + "03" +
           std::string(10, ' ') + "000000";
}

// Modification body, 57 characters: 1 "M" | 2-9 room | 10 " " | 11-20 name or
// "0000000000" | 21-30 spaces | 31 language or "0" | 32-35 spaces | 36-39 password |
// 40-41 barring | 42-51 spaces | 52-55 wake-up time | 56 stop wake-up | 57 do-not-disturb
std::string ModificationBody(Modification kind, std::string_view room, std::string_view value) {
    std::string name(10, '0');
    std::string language = "0";
    std::string password(4, ' ');
    std::string barring(2, ' ');
    std::string wakeUp(4, ' ');
    std::string stop = " ";
    std::string dnd = " ";
    switch (kind) {
    case Modification::Name:
        name = PadField(value, 10);
        break;
    case Modification::Language:
        language = PadField(value, 1);
        break;
    case Modification::Password:
        password = PadField(value, 4);
        break;
    case Modification::Barring:
        barring = PadField(value, 2, '0');
        break;
    case Modification::WakeUpTime:
        wakeUp = PadField(NormaliseWakeUpTime(value), 4);
        break;
    case Modification::StopWakeUp:
        stop = "0";
        break;
    case Modification::DoNotDisturb:
        dnd = PadField(value, 1);
        break;
    }
    return "M" + PadField(room, 8) + " " + name + std::string(10, ' ') + language +
           std::string(4, ' ') + password + barring + std::string(10, ' ') + wakeUp + stop + dnd;
}

std::string CheckOutBody(std::string_view room) {
    return "D" + PadField(room, 8);
}

std::string PhoneBody(std::string_view room, char which) {
    return "H" + PadField(room, 8) + which + std::string(8, ' ');
}

std::string InterrogationBody(std::string_view room) {
    return "I" + PadField(room, 8);
}

std::string ReinitializeBody(std::string_view room, char which) {
    return "Z" + PadField(room, 8) + which;
}

} // namespace varnel
