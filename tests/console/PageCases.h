#pragma once

#include "DeviceFixture.h"
#include "PageControl.h"

#include <QLineEdit>
#include <QPushButton>

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

    // Every row also checks that BusyMode ends as it was: a one-off operation at a loop's pump
    // leaves the loop's code, and a loop gives the console back.
    void RunRow() {
        const PageCase& row = GetParam();
        if (row.Arrange) row.Arrange(*this);
        Printer.ClearRequests();
        Messages.Texts.clear();
        const int32_t busy = Window->BusyMode;
        Click(row.Button);
        EXPECT_EQ(Received(), row.Requests);
        QStringList expected;
        for (const char* text : row.Messages)
            expected << U(text);
        EXPECT_EQ(Messages.Texts, expected);
        EXPECT_EQ(Messages.Sleeps, row.Sleeps);
        EXPECT_EQ(Window->BusyMode, busy);
        if (row.Check) row.Check(*this);
    }

private:
    const char* Page;
};
