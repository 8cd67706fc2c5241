#pragma once

#include "DeviceFixture.h"
#include "PageControl.h"

#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <functional>

class PageTest;
using Step = std::function<void(PageTest&)>;

// One row of a page's table: what is set up, which button is clicked, and then what the device
// received, the boxes the user saw (in order), the waits spent and whatever else the row checks.
struct PageCase {
    const char* Name = "";
    Step Arrange = {};
    const char* Button = "";
    std::vector<std::pair<int, std::string>> Requests = {};
    std::vector<const char*> Messages = {};
    std::vector<int> Sleeps = {};
    Step Check = {};
};
inline void PrintTo(const PageCase& row, std::ostream* out) {
    *out << row.Name;
}
inline std::string CaseName(const ::testing::TestParamInfo<PageCase>& info) {
    return info.param.Name;
}

// The main window with its start defaults, connected to a simulated printer, on one page.
class PageTest : public DeviceTest, public ::testing::WithParamInterface<PageCase> {
public:
    using DeviceTest::Messages, DeviceTest::Printer, DeviceTest::Window;
    explicit PageTest(const char* page) : Page(page) {}
    void SetUp() override {
        DeviceTest::SetUp();
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(Window.get(), &activate);
        Get<TPageControl>("PageControl1")->setCurrentWidget(Get<QWidget>(Page));
    }
    template <class Control = QWidget> Control* W(const char* name) { return Get<Control>(name); }
    void Type(const char* edit, const char* text) { W<QLineEdit>(edit)->setText(U(text)); }
    void Click(const char* button) { W<QAbstractButton>(button)->click(); }

    // How a row's button is clicked: a double click in the shown window, the desktop's way (its
    // second click reaches the handler's first pump); and from inside the application's message
    // loop, where closing the window makes the application quit (Quit tells whether it did).
    bool DoubleClick = false;
    bool InMessageLoop = false;
    bool Quit = false;

    // Every row also checks that BusyMode ends as it was: a one-off operation at a loop's pump
    // leaves the loop's code, and a loop gives the console back.
    void RunRow() {
        const PageCase& row = GetParam();
        if (row.Arrange) row.Arrange(*this);
        Printer.ClearRequests();
        Messages.Texts.clear();
        const int32_t busy = Window->BusyMode;
        Act(row);
        EXPECT_EQ(Received(), row.Requests);
        QStringList expected;
        for (const char* text : row.Messages)
            expected << U(text);
        EXPECT_EQ(Messages.Texts, expected);
        EXPECT_EQ(Messages.Sleeps, row.Sleeps);
        EXPECT_EQ(Window->BusyMode, busy);
        if (row.Check) row.Check(*this);
    }

protected:
    // What the user does in a row: a click on its button. A page that acts otherwise (one the
    // user only looks at) says so here.
    virtual void Act(const PageCase& row) {
        const auto click = [&] {
            if (!DoubleClick) return Click(row.Button);
            PostClick(W(row.Button), true);
            QCoreApplication::processEvents();
        };
        if (InMessageLoop)
            Quit = QuitsApplication(click);
        else
            click();
    }

private:
    const char* Page;
};

// Runs `act` at the console's first pump (or wait) after the device has received `count`
// requests, as something the user does while those commands run.
inline Step At(size_t count, Step act) {
    return [=](PageTest& t) {
        auto* timer = new QTimer(t.Window.get());
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, timer, [&t, timer, count, act] {
            if (t.Printer.Requests().size() < count) return;
            timer->stop();
            act(t);
        });
        timer->start();
    };
}
// Runs `act` once a wait of the console's own has begun after the device received `count`
// requests: the timer fires inside the wait's loop, deeper than the loop the click came from.
inline Step InWait(size_t count, Step act) {
    return [=](PageTest& t) {
        auto* timer = new QTimer(t.Window.get());
        timer->setInterval(10);
        const int level = QThread::currentThread()->loopLevel() + (t.InMessageLoop ? 1 : 0);
        QObject::connect(timer, &QTimer::timeout, timer, [&t, timer, count, act, level] {
            if (t.Printer.Requests().size() < count ||
                QThread::currentThread()->loopLevel() <= level)
                return;
            timer->stop();
            act(t);
        });
        timer->start();
    };
}
// Steps one after the other.
inline Step Then(Step first, Step then) {
    return [=](PageTest& t) {
        if (first) first(t);
        then(t);
    };
}
const Step DoubleClicked = [](PageTest& t) { t.DoubleClick = true; };
const Step Reconnect = [](PageTest& t) {
    t.Click("Button2");
    t.Click("Button2");
};
// The window closes while a wait of its real length runs, inside the message loop.
const Step CloseDuringWaits = [](PageTest& t) {
    t.InMessageLoop = true;
    SetSleepFunction({});
};
const Step CloseWindow = [](PageTest& t) { t.Window->close(); };
