#include "FocusExit.h"

#include <QApplication>
#include <QWidget>

namespace {

bool IsWithin(const QWidget* widget, const QWidget* control) {
    return widget && (widget == control || control->isAncestorOf(widget));
}

} // namespace

QMetaObject::Connection ConnectFocusExit(QWidget* control, std::function<void()> exit) {
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!application || !control) return {};
    return QObject::connect(application, &QApplication::focusChanged, control,
                            [control, exit = std::move(exit)](QWidget* old, QWidget* now) {
                                if (!IsWithin(old, control) || !now || IsWithin(now, control))
                                    return;
                                if (now->window() != control->window()) return;
                                exit();
                            });
}
