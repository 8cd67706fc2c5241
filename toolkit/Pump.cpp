#include "Pump.h"

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <deque>
#include <memory>
#include <vector>

namespace {

SleepFunction& Sleeper() {
    static SleepFunction sleeper;
    return sleeper;
}

// Input the desktop delivered to a window while input was held, in the order it came.
struct HeldEvent {
    QPointer<QWindow> Window;
    std::unique_ptr<QEvent> Event;
};
std::deque<HeldEvent>& Held() {
    static std::deque<HeldEvent> held;
    return held;
}
int& Holds() {
    static int holds = 0;
    return holds;
}
std::vector<QPointer<QWidget>>& LiveControls() {
    static std::vector<QPointer<QWidget>> controls;
    return controls;
}

bool IsUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

// A click within a live control of the window, or a key while one has the focus.
bool ForLiveControl(const QWindow* window, const QEvent* event) {
    for (const QPointer<QWidget>& control : LiveControls()) {
        if (!control || !control->isVisible() || !control->isEnabled()) continue;
        const QWidget* top = control->window();
        if (top->windowHandle() != window) continue;
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            if (QApplication::focusWidget() == control) return true;
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove: {
            const QPoint at = static_cast<const QMouseEvent*>(event)->position().toPoint();
            if (control->rect().contains(control->mapFrom(top, at))) return true;
            break;
        }
        default:
            break;
        }
    }
    return false;
}

// Keeps the desktop's input to the windows back while input is held.
class THeldInputFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        // A key kept back is no shortcut now either: it reaches its window later as a key.
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        if (!IsUserInput(event->type())) return false;
        auto* window = qobject_cast<QWindow*>(receiver);
        if (!window || ForLiveControl(window, event)) return false;
        Held().push_back({window, std::unique_ptr<QEvent>(event->clone())});
        return true;
    }
};

QObject* Filter() {
    static QPointer<QObject> filter;
    if (!filter) filter = new THeldInputFilter(QCoreApplication::instance());
    return filter;
}

// Hands the held input to its windows in order, unless input is held again meanwhile (a handler
// the input runs may itself wait).
void ReleaseHeldInput() {
    while (Holds() == 0 && !Held().empty()) {
        HeldEvent held = std::move(Held().front());
        Held().pop_front();
        if (held.Window) QCoreApplication::sendEvent(held.Window, held.Event.get());
    }
}

// Holds the desktop's input for as long as it lives.
class TInputHold {
public:
    TInputHold() {
        if (Holds()++ == 0) QCoreApplication::instance()->installEventFilter(Filter());
    }
    ~TInputHold() {
        if (--Holds() > 0) return;
        QCoreApplication::instance()->removeEventFilter(Filter());
        // Input that no pump of the operation takes is handled by the message loop.
        if (!Held().empty())
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [] { ReleaseHeldInput(); }, Qt::QueuedConnection);
    }
    TInputHold(const TInputHold&) = delete;
    TInputHold& operator=(const TInputHold&) = delete;
};

} // namespace

void ProcessMessages() {
    ReleaseHeldInput();
    QCoreApplication::processEvents();
}

void ProcessMessagesExceptInput() {
    if (!QCoreApplication::instance()) return;
    TInputHold hold;
    QCoreApplication::processEvents();
}

void BlockingSleep(int milliseconds) {
    if (Sleeper()) {
        Sleeper()(milliseconds);
        return;
    }
    if (milliseconds <= 0) return;
    if (!QCoreApplication::instance()) {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
        return;
    }
    // The windows keep painting and answering the desktop while the operation waits, but clicks
    // and keys wait for the operation's next pump. The wait ends early when the application is
    // asked to quit (the main window closing), and does not start once it has been.
    TInputHold hold;
    QEventLoop wait;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &wait, &QEventLoop::quit);
    wait.exec();
}

void KeepLiveDuringWaits(QWidget* control) {
    auto& controls = LiveControls();
    std::erase_if(controls, [](const QPointer<QWidget>& c) { return c.isNull(); });
    controls.emplace_back(control);
}

void SetSleepFunction(SleepFunction sleep) {
    Sleeper() = std::move(sleep);
}
