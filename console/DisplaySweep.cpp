#include "DisplaySweep.h"

#include "Cp1251.h"

QByteArray DisplaySweepWindow(int index) {
    // The small "ь" among the capitals belongs to the sequence.
    static const QByteArray letters =
        ToCp1251(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩьЫЪЭЮЯЄЇ"
                                "абвгдежзийклмнопрстуфхцчшщьыъэюяєї"));
    static const QByteArray text = letters + letters;
    if (index < 0 || index >= DisplaySweepWindows) return QByteArray();
    return text.mid(index, DisplaySweepWidth);
}
