#include "FocusEvents.h"

#include <QApplication>
#include <QWidget>

namespace {

bool IsWithin(const QWidget* widget, const QWidget* control) {
    return widget && (widget == control || control->isAncestorOf(widget));
}

// Calls `moved` with every move of the focus from one control of the control's window to
// another.
template <class Moved> QMetaObject::Connection ConnectFocusMove(QWidget* control, Moved moved) {
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!application || !control) return {};
    return QObject::connect(application, &QApplication::focusChanged, control,
                            [control, moved = std::move(moved)](QWidget* old, QWidget* now) {
                                if (!old || !now) return;
                                if (old->window() != control->window() ||
                                    now->window() != control->window())
                                    return;
                                moved(old, now);
                            });
}

} // namespace

QMetaObject::Connection ConnectFocusEnter(QWidget* control, std::function<void()> enter) {
    return ConnectFocusMove(control,
                            [control, enter = std::move(enter)](QWidget* old, QWidget* now) {
                                if (!IsWithin(old, control) && IsWithin(now, control)) enter();
                            });
}

QMetaObject::Connection ConnectFocusExit(QWidget* control, std::function<void()> exit) {
    return ConnectFocusMove(control, [control, exit = std::move(exit)](QWidget* old, QWidget* now) {
        if (IsWithin(old, control) && !IsWithin(now, control)) exit();
    });
}
