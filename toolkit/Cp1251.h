#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

// Text that cannot be written in Windows-1251. The message is Russian UTF-8 text that names
// the first character that does not fit.
class EEncodingError : public std::runtime_error {
public:
    explicit EEncodingError(const QString& message);
};

// Everything the console sends to the device, writes into the log or saves in a file is
// Windows-1251. A character that the code page does not have is never replaced by a stand-in
// (that would send or save something other than what the user sees): the conversion throws
// EEncodingError instead, and nothing is sent or written.
QByteArray ToCp1251(const QString& text);

// Windows-1251 for text whose foreign characters may be stood in for (a report, a journal line
// of the program's own): each character the code page lacks becomes "&#N;" (references, for
// HTML) or '?'.
QByteArray ToCp1251Replacing(const QString& text, bool references);

// Text received from the device or read from a file. Every byte has a meaning here, so decoding
// never fails. A null pointer reads as empty text.
QString FromCp1251(const char* text);
QString FromCp1251(const QByteArray& text);
