#include "Cp1251.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {

const char* const CodePage = "windows-1251";

QStringEncoder MakeEncoder() {
    QStringEncoder encoder(CodePage, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        throw EEncodingError(QStringLiteral("Кодировка Windows-1251 недоступна в этой системе"));
    return encoder;
}

} // namespace

EEncodingError::EEncodingError(const QString& message)
    : std::runtime_error(message.toUtf8().toStdString()) {}

QByteArray ToCp1251(const QString& text) {
    QStringEncoder encoder = MakeEncoder();
    QByteArray bytes = encoder.encode(text);
    if (!encoder.hasError()) return bytes;
    // Find the first character (a whole code point) that the code page lacks, to name it.
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        QStringEncoder single = MakeEncoder();
        (void)QByteArray(single.encode(character));
        if (single.hasError()) {
            const uint code = character.toUcs4().value(0);
            const QString hex = QString::number(code, 16).toUpper().rightJustified(4, u'0');
            throw EEncodingError(
                QStringLiteral("Символ «%1» (U+%2) нельзя записать в кодировке Windows-1251")
                    .arg(character, hex));
        }
        i += length;
    }
    throw EEncodingError(QStringLiteral("Текст нельзя записать в кодировке Windows-1251"));
}

QString FromCp1251(const QByteArray& text) {
    QStringDecoder decoder(CodePage, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        throw EEncodingError(QStringLiteral("Кодировка Windows-1251 недоступна в этой системе"));
    return decoder.decode(text);
}

QString FromCp1251(const char* text) {
    if (!text) return QString();
    return FromCp1251(QByteArray(text));
}
