#pragma once

class QWidget;

// Fixed-size window frame with a small caption bar whose only button is the minimise button:
// no close box, no maximise button, no resizing. The window is closed by its own button.
void SetFixedToolFrame(QWidget* window, int clientWidth, int clientHeight);

// Moves a top-level window to the centre of the desktop's available area.
void CenterOnDesktop(QWidget* window);
