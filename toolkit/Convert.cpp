#include "Convert.h"

#include <QLocale>

#include <cmath>
#include <cstdint>
#include <limits>

EConvertError::EConvertError(const QString& message)
    : std::runtime_error(message.toUtf8().toStdString()) {}

bool TryStrToInt(const QString& text, int& value) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size()) return false;
    // Accumulate the magnitude in 64 bits and stop as soon as it leaves the int range.
    const int64_t limit = negative ? -int64_t(std::numeric_limits<int>::min())
                                   : int64_t(std::numeric_limits<int>::max());
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return false;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > limit) return false;
    }
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

int StrToInt(const QString& text) {
    int value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError(QStringLiteral("'%1' не является допустимым целым числом").arg(text));
    return value;
}

bool TryStrToFloat(const QString& text, double& value) {
    if (text.isEmpty() || text.front().isSpace() || text.back().isSpace()) return false;
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double parsed = locale.toDouble(text, &ok);
    if (!ok || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

double StrToFloat(const QString& text) {
    double value = 0;
    if (!TryStrToFloat(text, value))
        throw EConvertError(
            QStringLiteral("'%1' не является допустимым числом с плавающей точкой").arg(text));
    return value;
}
