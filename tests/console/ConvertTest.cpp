#include "Convert.h"
#include "Cp1251.h"

#include <gtest/gtest.h>

#include <QLocale>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

// The system's own Windows-1251, to hold the console's table against: Windows' code page 1251,
// glibc's iconv elsewhere. Each gives false where it has no conversion.
#ifdef _WIN32
bool SystemDecodes(unsigned char byte, char32_t& c) {
    wchar_t wide = 0;
    const char in = char(byte);
    if (MultiByteToWideChar(1251, MB_ERR_INVALID_CHARS, &in, 1, &wide, 1) != 1) return false;
    c = char32_t(wide);
    return true;
}
bool SystemEncodes(char32_t c, unsigned char& byte) {
    const wchar_t wide = wchar_t(c);
    char out = 0;
    BOOL defaulted = FALSE;
    if (WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, &wide, 1, &out, 1, nullptr, &defaulted) !=
            1 ||
        defaulted)
        return false;
    byte = static_cast<unsigned char>(out);
    return true;
}
#else
// One whole conversion: all the input taken, exactly all the output filled.
bool Convert(iconv_t cd, const void* in, size_t inSize, void* out, size_t outSize) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* source = static_cast<char*>(const_cast<void*>(in));
    char* target = static_cast<char*>(out);
    return iconv(cd, &source, &inSize, &target, &outSize) != size_t(-1) && inSize == 0 &&
           outSize == 0;
}
bool SystemDecodes(unsigned char byte, char32_t& c) {
    const char in = char(byte);
    unsigned char out[4] = {};
    static const iconv_t decoder = iconv_open("UTF-32LE", "CP1251");
    if (!Convert(decoder, &in, 1, out, 4)) return false;
    c = char32_t(out[0] | out[1] << 8 | out[2] << 16 | uint32_t(out[3]) << 24);
    return true;
}
bool SystemEncodes(char32_t c, unsigned char& byte) {
    const unsigned char in[4] = {static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 8),
                                 static_cast<unsigned char>(c >> 16), 0};
    char out = 0;
    static const iconv_t encoder = iconv_open("CP1251", "UTF-32LE");
    if (!Convert(encoder, in, 4, &out, 1)) return false;
    byte = static_cast<unsigned char>(out);
    return true;
}
#endif

QString U(const char* text) {
    return QString::fromUtf8(text);
}

TEST(StrToInt, AcceptsDecimalWithOptionalSign) {
    EXPECT_EQ(StrToInt(U("12")), 12);
    EXPECT_EQ(StrToInt(U("-3")), -3);
    EXPECT_EQ(StrToInt(U("+7")), 7);
    EXPECT_EQ(StrToInt(U("007")), 7);
    EXPECT_EQ(StrToInt(U("2147483647")), 2147483647);
    EXPECT_EQ(StrToInt(U("-2147483648")), -2147483647 - 1);
}

TEST(StrToInt, RejectsEverythingElseWithTheTextInTheMessage) {
    for (const char* bad : {"", " 1", "1 ", "1.5", "abc", "+", "-", "12a", "0x10", "1,5",
                            "2147483648", "-2147483649", "99999999999999999999", "１２"}) {
        int value = 42;
        EXPECT_FALSE(TryStrToInt(U(bad), value)) << bad;
        EXPECT_EQ(value, 42) << bad;
        try {
            StrToInt(U(bad));
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EConvertError& error) {
            EXPECT_EQ(QString::fromUtf8(error.what()),
                      U("'%1' не является допустимым целым числом").arg(U(bad)));
        }
    }
}

class StrToFloatTest : public ::testing::Test {
protected:
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

TEST_F(StrToFloatTest, UsesTheLocaleDecimalSeparator) {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    EXPECT_DOUBLE_EQ(StrToFloat(U("12,5")), 12.5);
    EXPECT_DOUBLE_EQ(StrToFloat(U("-0,25")), -0.25);
    EXPECT_THROW(StrToFloat(U("12.5")), EConvertError);

    QLocale::setDefault(QLocale::c());
    EXPECT_DOUBLE_EQ(StrToFloat(U("12.5")), 12.5);
    EXPECT_DOUBLE_EQ(StrToFloat(U("+1e3")), 1000.0);
    EXPECT_THROW(StrToFloat(U("12,5")), EConvertError);
}

TEST_F(StrToFloatTest, RejectsBlanksSeparatorsAndNonFiniteValues) {
    QLocale::setDefault(QLocale::c());
    for (const char* bad : {"", " 1.5", "1.5 ", "1,234.5", "abc", "inf", "nan", "1e999"}) {
        double value = 7;
        EXPECT_FALSE(TryStrToFloat(U(bad), value)) << bad;
        EXPECT_EQ(value, 7) << bad;
    }
    try {
        StrToFloat(U("x"));
        ADD_FAILURE();
    } catch (const EConvertError& error) {
        EXPECT_EQ(QString::fromUtf8(error.what()),
                  U("'x' не является допустимым числом с плавающей точкой"));
    }
}

TEST(Cp1251, EncodesAndDecodesTheDeviceCodePage) {
    const QString text = U("Пароль Ёё ЄЇєї №5917 \"АТ\"");
    const QByteArray bytes = ToCp1251(text);
    EXPECT_EQ(bytes, QByteArray("\xcf\xe0\xf0\xee\xeb\xfc \xa8\xb8 \xaa\xaf\xba\xbf \xb9"
                                "5917 \"\xc0\xd2\""));
    EXPECT_EQ(FromCp1251(bytes), text);
    EXPECT_EQ(FromCp1251(bytes.constData()), text);
    EXPECT_TRUE(FromCp1251(static_cast<const char*>(nullptr)).isEmpty());
}

// Every byte reads as the system's own code page reads it and is written back as the same byte;
// every character of the Basic Multilingual Plane is written as the system writes it, or
// refused where the system has no byte for it. 0x98, unassigned, is the one byte the system may
// not read: it stands for U+0098 both ways.
TEST(Cp1251, AgreesWithTheSystemsCodePageOnEveryByteAndCharacter) {
    for (int b = 0; b < 256; ++b) {
        const unsigned char byte = static_cast<unsigned char>(b);
        const QString text = FromCp1251(QByteArray(1, char(byte)));
        ASSERT_EQ(text.size(), 1) << b;
        char32_t expected = 0;
        if (SystemDecodes(byte, expected))
            EXPECT_EQ(uint32_t(text[0].unicode()), uint32_t(expected)) << "byte " << b;
        else
            EXPECT_EQ(b, 0x98) << "the system reads no character for byte " << b;
        EXPECT_EQ(ToCp1251(text), QByteArray(1, char(byte))) << "byte " << b;
    }
    int refused = 0;
    for (char32_t c = 1; c < 0x10000; ++c) {
        if (c >= 0xD800 && c < 0xE000) continue; // surrogates are no characters
        const QString text{QChar(char16_t(c))};
        unsigned char expected = 0;
        const bool system = SystemEncodes(c, expected);
        const QByteArray replaced = ToCp1251Replacing(text, false);
        if (system) {
            EXPECT_EQ(ToCp1251(text), QByteArray(1, char(expected)))
                << "U+" << std::hex << uint32_t(c);
            EXPECT_EQ(replaced, QByteArray(1, char(expected))) << "U+" << std::hex << uint32_t(c);
        } else if (c != 0x98) {
            // Refusing throws; a sample of them is enough (an exception is slow under wine).
            if (refused++ % 64 == 0) {
                EXPECT_THROW(ToCp1251(text), EEncodingError) << "U+" << std::hex << uint32_t(c);
            }
            EXPECT_EQ(replaced, QByteArray("?")) << "U+" << std::hex << uint32_t(c);
        }
    }
    EXPECT_EQ(refused, 0xFFFF - 0x800 - 255); // all but the code page's 255 characters
    EXPECT_EQ(ToCp1251Replacing(U("Ж₴x😀"), true), QByteArray("\xc6&#8372;x&#128512;"));
}

TEST(Cp1251, RefusesCharactersTheCodePageLacks) {
    for (const char* text : {"ab中c", "x😀", "€ ok ₴"}) {
        try {
            ToCp1251(U(text));
            ADD_FAILURE() << "encoded " << text;
        } catch (const EEncodingError& error) {
            const QString message = QString::fromUtf8(error.what());
            EXPECT_TRUE(message.contains(U("Windows-1251"))) << text;
            EXPECT_TRUE(message.contains(U("U+20B4")) || message.contains(U("U+4E2D")) ||
                        message.contains(U("U+1F600")))
                << message.toStdString();
        }
    }
}

} // namespace
