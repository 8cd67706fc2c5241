#include "PageControl.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionTab>
#include <QTabBar>

namespace {
constexpr int kTabPadding = 6; // blank on each side of a caption
constexpr int kBarGap = 0;     // between the last row and the page frame
} // namespace

// Moves QTabWidget's page frame and page stack below the multi-row bar. QTabWidget asks its
// style where the bar, the frame and the pages go; this style answers with the rows' height.
class TPageControlStyle : public QProxyStyle {
public:
    TPageControlStyle(TPageControl* owner, QStyle* base) : QProxyStyle(base), owner_(owner) {}

    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override {
        if (widget == owner_ && option) {
            const int bar = owner_->barHeight() + kBarGap;
            const QRect all = option->rect;
            switch (element) {
            case SE_TabWidgetTabBar:
                return {all.left(), all.top(), all.width(), bar};
            case SE_TabWidgetTabPane:
                return all.adjusted(0, bar, 0, 0);
            case SE_TabWidgetTabContents: {
                const int fw = baseStyle()->pixelMetric(PM_DefaultFrameWidth, option, widget);
                const int m = qMax(fw, 2);
                return all.adjusted(m, bar + m, -m, -m);
            }
            default:
                break;
            }
        }
        return QProxyStyle::subElementRect(element, option, widget);
    }

private:
    TPageControl* owner_;
};

// The bar itself: paints the tabs with the style's tab look and turns clicks into page changes.
class TPageTabRows : public QWidget {
public:
    explicit TPageTabRows(TPageControl* owner) : QWidget(owner), owner_(owner) {
        setAttribute(Qt::WA_NoMousePropagation);
        setFocusPolicy(Qt::NoFocus);
        setMouseTracking(true); // for the hover look of the tab under the pointer
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (owner_->layoutStale())
            QMetaObject::invokeMethod(
                owner_, [o = owner_] { o->relayoutTabs(); }, Qt::QueuedConnection);
        QPainter p(this);
        QStyle* s = style();
        const int current = owner_->currentIndex();
        for (int i = 0; i < owner_->count(); ++i) {
            QStyleOptionTab opt;
            opt.initFrom(this);
            opt.rect = owner_->tabRect(i).translated(-pos());
            opt.text = owner_->tabText(i);
            opt.shape = QTabBar::RoundedNorth;
            opt.row = owner_->tabRow(i);
            opt.documentMode = false;
            opt.state &= ~QStyle::State_HasFocus;
            if (!owner_->isTabEnabled(i) || !isEnabled()) opt.state &= ~QStyle::State_Enabled;
            if (i == current) opt.state |= QStyle::State_Selected;
            if (i == hovered_ && isEnabled()) opt.state |= QStyle::State_MouseOver;
            const bool firstInRow = i == 0 || owner_->tabRow(i - 1) != opt.row;
            const bool lastInRow = i == owner_->count() - 1 || owner_->tabRow(i + 1) != opt.row;
            if (firstInRow && lastInRow)
                opt.position = QStyleOptionTab::OnlyOneTab;
            else if (firstInRow)
                opt.position = QStyleOptionTab::Beginning;
            else if (lastInRow)
                opt.position = QStyleOptionTab::End;
            else
                opt.position = QStyleOptionTab::Middle;
            opt.selectedPosition = QStyleOptionTab::NotAdjacent;
            if (i - 1 == current && !firstInRow)
                opt.selectedPosition = QStyleOptionTab::PreviousIsSelected;
            else if (i + 1 == current && !lastInRow)
                opt.selectedPosition = QStyleOptionTab::NextIsSelected;
            // The style draws the tab's shape; the caption is drawn here, centred and whole, since
            // the style's own label would elide a caption in a tab cut to fit its row.
            s->drawControl(QStyle::CE_TabBarTabShape, &opt, &p, this);
            QRect textRect = opt.rect;
            if (i != current) textRect.translate(0, 1);
            s->drawItemText(&p, textRect, Qt::AlignCenter, opt.palette,
                            opt.state & QStyle::State_Enabled, opt.text, QPalette::WindowText);
        }
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) {
            event->ignore();
            return;
        }
        const int i = owner_->tabAt(event->position().toPoint() + pos());
        if (i >= 0 && owner_->isTabEnabled(i)) owner_->selectByUser(i);
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        setHovered(owner_->tabAt(event->position().toPoint() + pos()));
    }

    void leaveEvent(QEvent*) override { setHovered(-1); }

private:
    void setHovered(int index) {
        if (index == hovered_) return;
        hovered_ = index;
        update();
    }

    TPageControl* owner_;
    int hovered_ = -1;
};

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent) {
    style_ = new TPageControlStyle(this, QStyleFactory::create(QApplication::style()->name()));
    setStyle(style_);
    tabBar()->hide();
    rows_ = new TPageTabRows(this);
    connect(this, &QTabWidget::currentChanged, rows_, [this] { rows_->update(); });
    relayoutTabs();
}

TPageControl::~TPageControl() {
    // Hand the widget back to the application style before its own style is deleted.
    setStyle(nullptr);
    delete style_;
}

void TPageControl::selectByUser(int index) {
    if (index == currentIndex()) return;
    setCurrentIndex(index);
    if (currentIndex() == index) emit pageChangedByUser(index);
}

void TPageControl::keyPressEvent(QKeyEvent* event) {
    const int before = currentIndex();
    QTabWidget::keyPressEvent(event);
    if (currentIndex() != before) emit pageChangedByUser(currentIndex());
}

void TPageControl::setTabText(int index, const QString& text) {
    QTabWidget::setTabText(index, text);
    relayoutTabs();
}

int TPageControl::rowCount() const {
    return rowCount_;
}

int TPageControl::rowHeight() const {
    return fontMetrics().height() + 6;
}

int TPageControl::barHeight() const {
    return rowCount_ * rowHeight();
}

QRect TPageControl::tabRect(int index) const {
    return index >= 0 && index < rects_.size() ? rects_[index] : QRect();
}

int TPageControl::tabRow(int index) const {
    return index >= 0 && index < rowOf_.size() ? rowOf_[index] : -1;
}

int TPageControl::tabAt(const QPoint& pos) const {
    for (int i = 0; i < rects_.size(); ++i)
        if (rects_[i].contains(pos)) return i;
    return -1;
}

QSize TPageControl::minimumSizeHint() const {
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = qMax(widest, tabWidthHint(i));
    return {widest, barHeight() + 20};
}

int TPageControl::tabWidthHint(int index) const {
    return fontMetrics().horizontalAdvance(tabText(index)) + 2 * kTabPadding;
}

void TPageControl::relayoutTabs() {
    if (laying_ || !rows_) return;
    laying_ = true;
    const int n = count();
    const int width = qMax(1, this->width());
    const int h = rowHeight();

    // Greedy fill in page order: a tab that does not fit on the current row starts the next.
    QVector<QVector<int>> rows(1);
    int used = 0;
    for (int i = 0; i < n; ++i) {
        const int w = tabWidthHint(i);
        if (!rows.last().isEmpty() && used + w > width) {
            rows.append(QVector<int>());
            used = 0;
        }
        rows.last().append(i);
        used += w;
    }

    rects_.resize(n);
    rowOf_.resize(n);
    for (int r = 0; r < rows.size(); ++r) {
        const QVector<int>& row = rows[r];
        int natural = 0;
        for (int i : row)
            natural += tabWidthHint(i);
        // Stretch the row to the full width: the spare pixels go to the tabs in proportion.
        const int spare = qMax(0, width - natural);
        int x = 0;
        int given = 0;
        for (int k = 0; k < row.size(); ++k) {
            const int i = row[k];
            int w = tabWidthHint(i);
            if (natural > 0) {
                const int share = k == row.size() - 1
                                      ? spare - given
                                      : static_cast<int>(qint64(spare) * w / natural);
                given += share;
                w += share;
            }
            if (k == row.size() - 1 && natural <= width)
                w = width - x;      // the last tab closes the row exactly
            w = qMin(w, width - x); // a caption wider than the whole control is cut at its edge
            rects_[i] = QRect(x, r * h, w, h);
            rowOf_[i] = r;
            x += w;
        }
    }
    rowCount_ = qMax<int>(1, rows.size());
    laidTexts_.clear();
    for (int i = 0; i < n; ++i)
        laidTexts_ << tabText(i);

    rows_->setGeometry(0, 0, this->width(), barHeight());
    rows_->raise();
    rows_->update();
    laying_ = false;
    // Let QTabWidget place the page frame and the pages below the new bar height.
    QEvent request(QEvent::LayoutRequest);
    QTabWidget::event(&request);
    update();
}

bool TPageControl::layoutStale() const {
    if (laidTexts_.size() != count()) return true;
    for (int i = 0; i < count(); ++i)
        if (laidTexts_[i] != tabText(i)) return true;
    return false;
}

void TPageControl::tabInserted(int index) {
    QTabWidget::tabInserted(index);
    relayoutTabs();
}

void TPageControl::tabRemoved(int index) {
    QTabWidget::tabRemoved(index);
    relayoutTabs();
}

void TPageControl::resizeEvent(QResizeEvent* event) {
    relayoutTabs();
    QTabWidget::resizeEvent(event);
}

void TPageControl::changeEvent(QEvent* event) {
    QTabWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) relayoutTabs();
    if (event->type() == QEvent::EnabledChange && rows_) rows_->update();
}

void TPageControl::showEvent(QShowEvent* event) {
    QTabWidget::showEvent(event);
    relayoutTabs();
}
