#pragma once

#include <QColor>
#include <QWidget>

// Round indicator: a filled circle with a thin dark outline. The fill colour is the state the
// indicator shows (the main window reads it as the connection state).
class TShape : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor brushColor READ brushColor WRITE setBrushColor)

public:
    explicit TShape(QWidget* parent = nullptr);

    QColor brushColor() const { return brush_; }
    void setBrushColor(const QColor& color);

    QSize sizeHint() const override { return {20, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor brush_{255, 0, 0};
};
