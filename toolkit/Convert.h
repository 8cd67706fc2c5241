#pragma once

#include <QString>

#include <stdexcept>

// A text that is not a number of the kind asked for. The message is Russian UTF-8 text ready
// for the exception box, and names the text that failed.
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const QString& message);
};

// Decimal integer: an optional "+" or "-" followed by one or more digits 0-9, nothing else (no
// blanks, no separators, no other bases), within the range of a 32-bit int.
// Anything else throws EConvertError.
int StrToInt(const QString& text);

// Like StrToInt, but reports a bad text by returning false instead of throwing.
bool TryStrToInt(const QString& text, int& value);

// Floating-point number written with the current locale's decimal separator ("12,5" under a
// Russian locale, "12.5" under the C locale), with optional sign and exponent. Blanks around
// the number, group separators, infinities, NaN and values out of range throw EConvertError.
double StrToFloat(const QString& text);
bool TryStrToFloat(const QString& text, double& value);
