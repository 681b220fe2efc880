// The code pages of configuration texts: what each byte shows as, that every
// byte comes back unchanged, and what cannot be stored.
#include "frame/text_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using frame::TTextCodec;

struct ByteCase {
    const char* name;
    const char* codec;
    unsigned char byte;
    char16_t shown;
};

void PrintTo(const ByteCase& c, std::ostream* os) {
    *os << c.name;
}

class CodePageByte : public testing::TestWithParam<ByteCase> {};

TEST_P(CodePageByte, ShowsAsItsCharacterAndIsStoredAsTheSameByte) {
    const ByteCase& c = GetParam();
    const TTextCodec* codec = TTextCodec::find(c.codec);
    ASSERT_TRUE(codec);
    const std::string bytes(1, char(c.byte));
    EXPECT_EQ(codec->decode(bytes), QString(QChar(c.shown)));
    EXPECT_EQ(codec->encode(QString(QChar(c.shown))), bytes);
}

// Characters from the code page charts.
INSTANTIATE_TEST_SUITE_P(
    Charts, CodePageByte,
    testing::Values(ByteCase{"Cp1251CapitalA", "windows-1251", 0xC0, u'А'},
                    ByteCase{"Cp1251SmallYa", "windows-1251", 0xFF, u'я'},
                    ByteCase{"Cp1251CapitalYo", "windows-1251", 0xA8, u'Ё'},
                    ByteCase{"Cp1251SmallYo", "windows-1251", 0xB8, u'ё'},
                    ByteCase{"Cp1251Numero", "windows-1251", 0xB9, u'№'},
                    ByteCase{"Cp1251Euro", "windows-1251", 0x88, u'€'},
                    ByteCase{"Cp1251CapitalDje", "windows-1251", 0x80, u'Ђ'},
                    ByteCase{"Cp1251UkrainianGhe", "windows-1251", 0xA5, u'Ґ'},
                    ByteCase{"Cp1251NoBreakSpace", "windows-1251", 0xA0, u'\u00A0'},
                    ByteCase{"Cp1251UndefinedByte", "windows-1251", 0x98, u'\u0098'},
                    ByteCase{"Cp1251Ascii", "cp1251", 0x41, u'A'},
                    ByteCase{"Cp1252Euro", "windows-1252", 0x80, u'€'},
                    ByteCase{"Cp1252SmallSCaron", "windows-1252", 0x9A, u'š'},
                    ByteCase{"Cp1252UndefinedByte", "windows-1252", 0x81, u'\u0081'},
                    ByteCase{"Cp1252SmallYDiaeresis", "cp1252", 0xFF, u'ÿ'},
                    ByteCase{"Latin1C1Control", "iso-8859-1", 0x80, u'\u0080'},
                    ByteCase{"Latin1SmallADiaeresis", "latin-1", 0xE4, u'ä'},
                    ByteCase{"Latin1SharpS", "LATIN1", 0xDF, u'ß'}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CodePage, EveryByteComesBackUnchangedInEveryCodePage) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    for (const char* name : {"windows-1251", "windows-1252", "iso-8859-1"}) {
        SCOPED_TRACE(name);
        const TTextCodec* codec = TTextCodec::find(name);
        ASSERT_TRUE(codec);
        const QString shown = codec->decode(all);
        EXPECT_EQ(shown.size(), 256);
        EXPECT_EQ(codec->encode(shown), all);
    }
}

TEST(CodePage, NamesAreFoundInAnyLetterCaseAndUnknownOnesAreNot) {
    EXPECT_EQ(&TTextCodec::standard(), TTextCodec::find("windows-1251"));
    EXPECT_EQ(TTextCodec::find("Windows-1251"), TTextCodec::find("CP1251"));
    EXPECT_EQ(TTextCodec::find("iso-8859-1")->name(), "iso-8859-1");
    EXPECT_EQ(TTextCodec::find("Latin-1"), TTextCodec::find("iso-8859-1"));
    EXPECT_FALSE(TTextCodec::find("utf-8"));
    EXPECT_FALSE(TTextCodec::find(""));
    EXPECT_FALSE(TTextCodec::find("windows-125"));
}

TEST(CodePage, CharactersWithoutAByteAreRefusedByName) {
    const TTextCodec& cp1251 = TTextCodec::standard();
    EXPECT_TRUE(cp1251.canEncode(QStringLiteral("Иванов №5 «VIP»")));
    EXPECT_FALSE(cp1251.canEncode(QStringLiteral("Müller")));
    EXPECT_FALSE(TTextCodec::find("latin-1")->canEncode(QStringLiteral("Иван")));
    try {
        cp1251.encode(QStringLiteral("ab中"));
        FAIL() << "no error";
    } catch (const frame::EEncodingError& e) {
        EXPECT_STREQ(e.what(), "The character \"中\" (U+4E2D) has no byte in windows-1251");
    }
    // A character beyond the basic plane is named whole, not by its halves.
    try {
        cp1251.encode(QString::fromUcs4(U"x\U0001F600"));
        FAIL() << "no error";
    } catch (const frame::EEncodingError& e) {
        EXPECT_STREQ(e.what(),
                     "The character \"\U0001F600\" (U+1F600) has no byte in windows-1251");
    }
}

} // namespace
