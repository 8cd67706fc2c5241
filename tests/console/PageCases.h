#pragma once

#include "Cp1251.h"
#include "DeviceFixture.h"
#include "PageControl.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

class PageTest;

using Request = std::pair<int, std::string>;

// One row of a page's table: what is set up, which button is clicked, and what the device then
// received, the boxes the user saw, the pauses waited and whatever else the case looks at.
struct PageCase {
    const char* Name = ""; // the test's name: letters, digits, underscores
    const char* Page = ""; // the page shown while the case runs
    std::function<void(PageTest&)> Arrange = {};
    const char* Button = "";
    std::vector<Request> Requests = {};
    std::vector<const char*> Messages = {}; // texts of the message and exception boxes, in order
    std::vector<int> Sleeps = {};           // blocking waits, in milliseconds
    std::function<void(PageTest&)> Check = {};
};

inline void PrintTo(const PageCase& pageCase, std::ostream* out) {
    *out << pageCase.Name;
}

// Text as the device receives it.
inline std::string Cp(const char* utf8) {
    return ToCp1251(QString::fromUtf8(utf8)).toStdString();
}

// The main window with its start defaults, connected to a simulated printer, running the rows of
// a page's table one per test.
class PageTest : public DeviceTest, public ::testing::WithParamInterface<PageCase> {
public:
    void SetUp() override {
        DeviceTest::SetUp();
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(Window.get(), &activate);
    }

    template <class Control> Control* Widget(const char* name) { return Get<Control>(name); }
    TForm1& Form() { return *Window; }
    SimulatedPrinter& Device() { return Printer; }
    MessageRecorder& Recorded() { return Messages; }

    void Type(const char* edit, const char* text) {
        Get<QLineEdit>(edit)->setText(QString::fromUtf8(text));
    }
    void Click(const char* button) { Get<QAbstractButton>(button)->click(); }
    void Model(const std::function<void(DeviceModel&)>& change) {
        Printer.WithModel([&](DeviceModel& model) { change(model); });
    }
    template <class T> T Read(const std::function<T(const DeviceModel&)>& read) {
        return Printer.WithModel([&](DeviceModel& model) { return read(model); });
    }
    // Runs `hook` at every blocking wait, after the wait has been recorded; `wait` counts from 0.
    void OnWait(std::function<void(int wait)> hook) {
        SetSleepFunction([this, hook = std::move(hook)](int milliseconds) {
            Messages.Sleeps.push_back(milliseconds);
            hook(static_cast<int>(Messages.Sleeps.size()) - 1);
        });
    }

    // The body of every row: BusyMode after the click is what it was before, so a one-off
    // operation at a loop's pump leaves the loop's code, and a loop gives the console back.
    void RunCase() {
        const PageCase& row = GetParam();
        Get<TPageControl>("PageControl1")->setCurrentWidget(Get<QWidget>(row.Page));
        if (row.Arrange) row.Arrange(*this);
        Printer.ClearRequests();
        Messages.Texts.clear();
        Messages.Sleeps.clear();
        const int32_t busy = Window->BusyMode;
        Click(row.Button);
        EXPECT_EQ(Received(), row.Requests);
        QStringList expected;
        for (const char* text : row.Messages)
            expected << QString::fromUtf8(text);
        EXPECT_EQ(Messages.Texts, expected);
        EXPECT_EQ(Messages.Sleeps, row.Sleeps);
        EXPECT_EQ(Window->BusyMode, busy);
        if (row.Check) row.Check(*this);
    }
};

// Shows a window and waits until it is the active one; false when it never becomes active.
inline bool ShowActive(QWidget& window) {
    window.show();
    window.activateWindow();
    QDeadlineTimer deadline(5000);
    while (!window.isActiveWindow() && !deadline.hasExpired())
        QCoreApplication::processEvents();
    return window.isActiveWindow();
}

// The rows' names as the tests' names.
inline std::string CaseName(const ::testing::TestParamInfo<PageCase>& info) {
    return info.param.Name;
}
