#pragma once

#include <QByteArray>

// The customer display's sweep: a 120-letter sequence of Latin and Cyrillic capitals and small
// letters, written twice, is shown in 120 windows of 20 characters. Window i starts at letter i,
// so the display scrolls through the sequence one letter per window. The full test and the
// display page send the same windows.
constexpr int DisplaySweepWindows = 120;
constexpr int DisplaySweepWidth = 20;

// Window `index` (0 .. DisplaySweepWindows - 1) as the display gets it: 20 Windows-1251 bytes.
// Any other index gives an empty text.
QByteArray DisplaySweepWindow(int index);
