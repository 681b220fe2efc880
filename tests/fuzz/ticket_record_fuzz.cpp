// An out-call ticket as the hotel-link adapter reads it from the link library
// and writes it to the spool: the binding converts the record's texts (call
// time, duration, date stamp) and the ticket pass formats its spool line. The
// scripted stand-in of the library hands out the input as the record.
//
// Input: the record's texts separated by "|": line, call type, call time
// (ddmmyyhhnn), duration in seconds, 4-character field, 20-character field,
// date stamp (yyyy.mm.dd hh:nn).
#include "fuzz_check.h"

#include "hl_driver.h"
#include "varnel_dm.h"

#include "platform/dynamic_library.h"
#include "rtl/dateparsing.h"
#include "rtl/logger.h"

#include <chrono>
#include <cstdint>
#include <string>

using namespace mod_varnel;
namespace D = rtl::Dateparsing;

namespace {

constexpr int32_t Key = 5;

// The binding stays loaded for the whole run, as in the adapter. The stand-in
// is reached once more for its Script_SetRecord.
struct Binding {
    Binding() { rtl::TLogger::setLevel(rtl::LogLevel::Error); }
    platform::DynamicLibrary library{SCRIPTED_VARNEL_DIR "/libVarnel.so"};
    rtl::Ref<IHLDriver> driver = THLDriver::Create(SCRIPTED_VARNEL_DIR);

    void setRecord(int32_t key, const std::string& texts) {
        library.function<void (*)(int32_t, const char*)>("Script_SetRecord")(key, texts.c_str());
    }
};

Binding& TheBinding() {
    static Binding binding;
    return binding;
}

std::string Field(const std::string& texts, int n) {
    size_t from = 0;
    for (int i = 0; i < n; ++i) {
        from = texts.find('|', from);
        if (from == std::string::npos)
            return {};
        ++from;
    }
    return texts.substr(from, texts.find('|', from) - from);
}

// The components of `text` at the places of the format's letters when all are
// digits and form a real date and time; else nothing.
struct Parts {
    int year, month, day, hour, minute;
};
std::optional<Parts> Readable(const std::string& text, size_t y, size_t yWidth, size_t m, size_t d,
                              size_t h, size_t n) {
    auto number = [&](size_t at, size_t width) -> std::optional<int> {
        if (at + width > text.size())
            return std::nullopt;
        int value = 0;
        for (size_t i = at; i < at + width; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return std::nullopt;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const auto year = number(y, yWidth), month = number(m, 2), day = number(d, 2),
               hour = number(h, 2), minute = number(n, 2);
    if (!year || !month || !day || !hour || !minute)
        return std::nullopt;
    const int fullYear = yWidth == 2 ? 2000 + *year : *year;
    using namespace std::chrono;
    const year_month_day date{std::chrono::year{fullYear}, std::chrono::month(unsigned(*month)),
                              std::chrono::day(unsigned(*day))};
    if (fullYear < 1 || !date.ok() || *hour > 23 || *minute > 59)
        return std::nullopt;
    return Parts{fullYear, *month, *day, *hour, *minute};
}

void CheckTime(double value, const std::optional<Parts>& expected, const char* promise) {
    if (!expected)
        return;
    const D::DateTimeParts p = D::decodeDateTime(value);
    FUZZ_CHECK(p.year == expected->year && p.month == expected->month && p.day == expected->day &&
                   p.hour == expected->hour && p.minute == expected->minute && p.second == 0,
               promise);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The stand-in passes texts as C strings; the library's records are single
    // lines, so its texts never hold a line end.
    const std::string texts(reinterpret_cast<const char*>(data), size);
    if (texts.find_first_of(std::string("\r\n\0", 3)) != std::string::npos || size > 1000)
        return 0;
    Binding& binding = TheBinding();
    binding.setRecord(Key, texts);

    TCallTicketRecord ticket;
    try {
        FUZZ_CHECK(binding.driver->GetOutTicket(ticket) == Key,
                   "the getter returns the record key");
    } catch (const EHLRecordError& e) {
        // An unreadable ticket is set aside as it came, under its key.
        FUZZ_CHECK(e.key() == Key, "an unreadable ticket carries its key");
        FUZZ_CHECK(e.recordText().starts_with(std::to_string(Key) + "|"),
                   "an unreadable ticket is set aside with its key first");
        return 0;
    }

    CheckTime(ticket.callTime, Readable(Field(texts, 2), 4, 2, 2, 0, 6, 8),
              "a readable call time is the ticket's call time");
    CheckTime(ticket.time, Readable(Field(texts, 6), 0, 4, 5, 8, 11, 14),
              "a readable date stamp is the ticket's time");

    const std::string line = TvarnelDM::formatSpoolLine(
        ticket.line, ticket.duration, ticket.callTime, ticket.field4, ticket.field20);
    FUZZ_CHECK(line.size() == 8 * 20 + 2 && line.ends_with("\r\n"),
               "a spool line is eight 20-byte columns and CR LF");
    FUZZ_CHECK(line.find_first_of("\r\n") == 160, "a spool line is one line");
    return 0;
}
