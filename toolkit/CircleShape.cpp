#include "CircleShape.h"

#include <QPainter>

TShape::TShape(QWidget* parent) : QWidget(parent) {}

void TShape::setBrushColor(const QColor& color) {
    if (color == brush_) return;
    brush_ = color;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(32, 32, 32), 1));
    p.setBrush(brush_);
    // Largest circle that fits, centred; half a pixel in so the outline is not clipped.
    const qreal d = qMin(width(), height()) - 1.0;
    const QRectF r((width() - d) / 2.0, (height() - d) / 2.0, d, d);
    p.drawEllipse(r);
}
