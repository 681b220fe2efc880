// The fixed-width request bodies of the hotel commands (without their checksum) and
// the formatting of their variable fields.
#pragma once

#include <string>
#include <string_view>

namespace varnel {

// Windows-1251 Cyrillic letters (0xC0..0xFF) replaced by their Latin spelling
// (upper-case letters by upper-case, lower-case by lower-case); Ь/ь are removed,
// Ы/ы/Э/э stay; every other byte stays as it is.
std::string Transliterate(std::string_view text);

// A request field: bytes below 0x20 become spaces (a control byte must not end or
// start a frame), Cyrillic letters are transliterated, a..z upper-cased, the text is
// cut on the right to `width` and right-aligned with `fill` in front.
std::string PadField(std::string_view text, size_t width, char fill = ' ');

// "hh:nn" loses its colon; any text that is then not exactly four digits is "1200".
std::string NormaliseWakeUpTime(std::string_view text);

std::string CheckInBody(std::string_view room, std::string_view guestName,
                        std::string_view language, std::string_view password);

enum class Modification { Name, Language, Password, Barring, WakeUpTime, StopWakeUp, DoNotDisturb };

// The "M" body of a data modification; `value` is the modification's own field
// (ignored by StopWakeUp).
std::string ModificationBody(Modification kind, std::string_view room, std::string_view value);

std::string CheckOutBody(std::string_view room);
// "H" + room + "R" (allocate) or "I" (get the allocated phone) + 8 spaces.
std::string PhoneBody(std::string_view room, char which);
std::string InterrogationBody(std::string_view room);
// "Z" + room + "F" (full) or "P" (partial).
std::string ReinitializeBody(std::string_view room, char which);

} // namespace varnel
