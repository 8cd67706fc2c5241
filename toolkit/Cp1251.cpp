#include "Cp1251.h"

#include <QHash>

namespace {

// The upper half of Windows-1251: the character of each byte 0x80..0xFF. The lower half is
// ASCII. 0x98, which the code page leaves unassigned, stands for U+0098, so that every byte a
// device sends reads as some character and is written back as the same byte.
const char16_t Upper[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // F8
};

// The byte of a character outside ASCII, or 0 when the code page lacks it.
unsigned char ByteOf(char32_t c) {
    static const QHash<char32_t, unsigned char> bytes = [] {
        QHash<char32_t, unsigned char> map;
        for (int i = 0; i < 128; ++i)
            map.insert(Upper[i], static_cast<unsigned char>(0x80 + i));
        return map;
    }();
    return bytes.value(c, 0);
}

// Converts code point by code point; a character the code page lacks is handed to `foreign`,
// which appends a stand-in or gives false to end the conversion there.
template <class Foreign> bool Encode(const QString& text, QByteArray& out, Foreign foreign) {
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x80) {
            out += char(c);
        } else if (const unsigned char byte = ByteOf(c)) {
            out += char(byte);
        } else if (!foreign(c)) {
            return false;
        }
    }
    return true;
}

} // namespace

EEncodingError::EEncodingError(const QString& message)
    : std::runtime_error(message.toUtf8().toStdString()) {}

QByteArray ToCp1251(const QString& text) {
    QByteArray bytes;
    char32_t missing = 0;
    if (Encode(text, bytes, [&](char32_t c) {
            missing = c;
            return false;
        }))
        return bytes;
    const QString character = QString::fromUcs4(&missing, 1);
    const QString hex = QString::number(uint(missing), 16).toUpper().rightJustified(4, u'0');
    throw EEncodingError(
        QStringLiteral("Символ «%1» (U+%2) нельзя записать в кодировке Windows-1251")
            .arg(character, hex));
}

QByteArray ToCp1251Replacing(const QString& text, bool references) {
    QByteArray bytes;
    Encode(text, bytes, [&](char32_t c) {
        bytes += references ? QByteArray("&#") + QByteArray::number(uint(c)) + ';' : "?";
        return true;
    });
    return bytes;
}

QString FromCp1251(const QByteArray& text) {
    QString out;
    out.reserve(text.size());
    for (const char byte : text) {
        const unsigned char b = static_cast<unsigned char>(byte);
        out += b < 0x80 ? QChar(b) : QChar(Upper[b - 0x80]);
    }
    return out;
}

QString FromCp1251(const char* text) {
    if (!text) return QString();
    return FromCp1251(QByteArray(text));
}
