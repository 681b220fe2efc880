// TTextCodec: the installation's 8-bit code page, for showing configuration
// texts in the dialogs and storing what the user typed. Every byte has a
// character, so texts that are shown and stored unchanged keep their bytes.
#pragma once

#include <QString>

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

namespace frame {

// A character the code page has no byte for.
class EEncodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TTextCodec {
public:
    // The code page named `name`, in any letter case: "windows-1251" ("cp1251"),
    // "windows-1252" ("cp1252"), "iso-8859-1" ("latin-1", "latin1");
    // nullptr for any other name.
    static const TTextCodec* find(std::string_view name);
    // The default, Windows-1251.
    static const TTextCodec& standard();
    // The names find() accepts first for each code page, for messages.
    static std::string knownNames();

    const std::string& name() const { return name_; }

    QString decode(std::string_view bytes) const;
    // Raises EEncodingError naming the first character without a byte.
    std::string encode(const QString& text) const;
    bool canEncode(const QString& text) const;

    // One code page's characters for the bytes 0x80 to 0xFF (0x00 to 0x7F are ASCII).
    using UpperHalf = std::array<char16_t, 128>;
    TTextCodec(std::string name, const UpperHalf& upper) : name_(std::move(name)), upper_(upper) {}

private:
    // The byte for `c`; false when there is none.
    bool byteFor(char16_t c, unsigned char& byte) const;

    std::string name_;
    UpperHalf upper_;
};

} // namespace frame
