#include "Convert.h"
#include "Cp1251.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace {

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
