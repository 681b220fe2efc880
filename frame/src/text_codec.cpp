#include "frame/text_codec.h"

#include <algorithm>
#include <cctype>

namespace frame {

namespace {

// Bytes a code page leaves undefined are shown as the C1 control character
// of the same number (U+0080 + n), so they still come back as the same byte.
// clang-format off
constexpr TTextCodec::UpperHalf Windows1251 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    // 0xC0..0xFF: А..я in alphabetical order
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

// 0x81, 0x8D, 0x8F, 0x90 and 0x9D are undefined; 0xA0..0xFF equal Latin-1.
constexpr TTextCodec::UpperHalf Windows1252Head = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
// clang-format on

constexpr TTextCodec::UpperHalf Latin1Table = [] {
    TTextCodec::UpperHalf table{};
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = char16_t(0x80 + i);
    return table;
}();

constexpr TTextCodec::UpperHalf Windows1252Table = [] {
    TTextCodec::UpperHalf table = Latin1Table;
    for (size_t i = 0; i < 32; ++i)
        table[i] = Windows1252Head[i];
    return table;
}();

// "Windows_1251" -> "windows1251": letter case, '-' and '_' do not count.
std::string Normalized(std::string_view name) {
    std::string result;
    for (char c : name) {
        if (c != '-' && c != '_')
            result += char(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

struct KnownCodec {
    const char* aliases[3];
    TTextCodec codec;
};

const std::array<KnownCodec, 3>& Known() {
    static const std::array<KnownCodec, 3> known = {{
        {{"windows-1251", "cp1251", nullptr}, TTextCodec("windows-1251", Windows1251)},
        {{"windows-1252", "cp1252", nullptr}, TTextCodec("windows-1252", Windows1252Table)},
        {{"iso-8859-1", "latin-1", "latin1"}, TTextCodec("iso-8859-1", Latin1Table)},
    }};
    return known;
}

} // namespace

const TTextCodec* TTextCodec::find(std::string_view name) {
    const std::string wanted = Normalized(name);
    for (const auto& entry : Known()) {
        for (const char* alias : entry.aliases) {
            if (alias && Normalized(alias) == wanted)
                return &entry.codec;
        }
    }
    return nullptr;
}

const TTextCodec& TTextCodec::standard() {
    return Known()[0].codec;
}

std::string TTextCodec::knownNames() {
    std::string names;
    for (const auto& entry : Known()) {
        for (const char* alias : entry.aliases) {
            if (!alias)
                continue;
            names += names.empty() ? "" : ", ";
            names += alias;
        }
    }
    return names;
}

QString TTextCodec::decode(std::string_view bytes) const {
    QString text;
    text.reserve(qsizetype(bytes.size()));
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += QChar(byte < 0x80 ? char16_t(byte) : upper_[byte - 0x80]);
    }
    return text;
}

bool TTextCodec::byteFor(char16_t c, unsigned char& byte) const {
    if (c < 0x80) {
        byte = static_cast<unsigned char>(c);
        return true;
    }
    const auto at = std::find(upper_.begin(), upper_.end(), c);
    if (at == upper_.end())
        return false;
    byte = static_cast<unsigned char>(0x80 + (at - upper_.begin()));
    return true;
}

std::string TTextCodec::encode(const QString& text) const {
    std::string bytes;
    bytes.reserve(size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        unsigned char byte = 0;
        if (!byteFor(text[i].unicode(), byte)) {
            char32_t code = text[i].unicode();
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                code = QChar::surrogateToUcs4(text[i], text[i + 1]);
            throw EEncodingError(
                QString("The character \"%1\" (U+%2) has no byte in %3")
                    .arg(QString::fromUcs4(&code, 1),
                         QString::number(uint(code), 16).toUpper().rightJustified(4, '0'),
                         QString::fromStdString(name_))
                    .toStdString());
        }
        bytes += char(byte);
    }
    return bytes;
}

bool TTextCodec::canEncode(const QString& text) const {
    unsigned char byte = 0;
    return std::all_of(text.begin(), text.end(),
                       [&](QChar c) { return byteFor(c.unicode(), byte); });
}

} // namespace frame
