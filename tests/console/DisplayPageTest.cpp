#include "Busy.h"
#include "Cp1251.h"
#include "DeviceFixture.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace {

using Request = std::pair<int, std::string>;
using Requests = std::vector<Request>;

constexpr int ClearCode = 0x21, LowerCode = 0x23, UpperCode = 0x2F;

// The letter run the display is swept with, written twice so that any window reads straight on.
std::string Run2() {
    const QByteArray run = ToCp1251(U("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                      "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩьЫЪЭЮЯЄЇ"
                                      "абвгдежзийклмнопрстуфхцчшщьыъэюяєї"));
    return (run + run).toStdString();
}

std::string Cp(const char* utf8) {
    return ToCp1251(U(utf8)).toStdString();
}

// Windows first .. last - 1 of one line's sweep, as the device receives them.
Requests Sweep(int code, int first, int last) {
    Requests out;
    for (int i = first; i < last; ++i)
        out.emplace_back(code, Run2().substr(i, 20));
    return out;
}

Requests Join(std::initializer_list<Requests> parts) {
    Requests out;
    for (const Requests& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

const Requests Clear{{ClearCode, ""}};

// Runs an action at the console's first pump after the device has received `count` requests,
// like a click the user makes while those commands run.
class AtRequest {
public:
    AtRequest(const SimulatedPrinter& printer, size_t count, std::function<void()> action) {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this, &printer, count, action] {
            if (printer.Requests().size() < count) return;
            timer_.stop();
            action();
        });
        timer_.start();
    }

private:
    QTimer timer_;
};

class DisplayPage : public DeviceTest {
protected:
    void Type(const char* edit, const char* text) { Get<QLineEdit>(edit)->setText(U(text)); }
    void Click(const char* button) { Get<QPushButton>(button)->click(); }
    void ExpectIdle() {
        // As the page sets them; a disconnect greys the whole page control besides.
        QWidget* pages = Get<QWidget>("PageControl1");
        EXPECT_TRUE(Get<QPushButton>("Button7")->isEnabledTo(pages));
        EXPECT_FALSE(Get<QPushButton>("Button11")->isEnabledTo(pages));
        for (const char* group : {"GroupBox1", "GroupBox2", "GroupBox3"})
            EXPECT_TRUE(Get<QGroupBox>(group)->isEnabledTo(pages)) << group;
    }
};

TEST_F(DisplayPage, SweepFillAndTypedLines) {
    const QString passed = U("Тест индикаторов клиента - успешно");
    const QString failed = U("Ошибка теста индикаторов клиента");
    const QString badCount = U("Некорректное количество проходов теста \n   исправьте!!!");
    const QString stopped = U("Тест остановлен");
    const QString nak = U("Ошибка приема команды");
    const std::string fill = Cp("ШШШШШШШШШШШШШШШШШШШШ");
    const auto nakOnce = [this] {
        Printer.WithModel([](DeviceModel& m) { m.GetFaults().nak = 1; });
    };
    const auto refuseLower = [this] {
        Printer.WithModel([](DeviceModel& m) { m.GetFaults().statusBits[LowerCode] = {0, 0x02}; });
    };
    const Requests onePass = Join({Sweep(LowerCode, 0, 120), Sweep(UpperCode, 0, 120)});

    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* button;
        size_t actAt; // requests received before `act` runs at a pump; 0: never
        std::function<void()> act;
        Requests requests;
        QStringList messages;
        std::string upper, lower; // the display afterwards
        int busyAfter = 0;
    };
    const Case cases[] = {
        {"one pass sweeps the lower, then the upper line through every window",
         [] {},
         "Button7",
         0,
         {},
         Join({Clear, onePass, Clear}),
         {passed},
         "",
         ""},
        {"a stop during the lower line ends the run after the command under way",
         [this] { Type("Edit2", "3"); },
         "Button7",
         1 + 50,
         [this] { Click("Button11"); },
         Join({Clear, Sweep(LowerCode, 0, 50), Clear}),
         {stopped},
         "",
         ""},
        {"a stop during the upper line of a later pass",
         [this] { Type("Edit2", "2"); },
         "Button7",
         1 + 240 + 120 + 3,
         [this] { Click("Button11"); },
         Join({Clear, onePass, Sweep(LowerCode, 0, 120), Sweep(UpperCode, 0, 3), Clear}),
         {stopped},
         "",
         ""},
        {"an upper-line failure in the first of two passes fails the run",
         [this] { Type("Edit2", "2"); },
         "Button7",
         1 + 120 + 4,
         nakOnce,
         Join({Clear, onePass, onePass, Clear}),
         {nak, failed},
         "",
         ""},
        {"a lower-line failure in the last pass fails the run",
         [this] { Type("Edit2", "2"); },
         "Button7",
         1 + 240 + 7,
         nakOnce,
         Join({Clear, onePass, onePass, Clear}),
         {nak, failed},
         "",
         ""},
        {"no pass at all is refused",
         [this] { Type("Edit2", "0"); },
         "Button7",
         0,
         {},
         {},
         {badCount},
         "x",
         "y"},
        {"a negative pass count is refused",
         [this] { Type("Edit2", "-2"); },
         "Button7",
         0,
         {},
         {},
         {badCount},
         "x",
         "y"},
        {"letters are no pass count",
         [this] { Type("Edit2", "два"); },
         "Button7",
         0,
         {},
         {},
         {badCount},
         "x",
         "y"},
        {"no sweep while another loop runs",
         [this] { Window->BusyMode = BusyFullTest; },
         "Button7",
         0,
         {},
         {},
         {U(LoopRefusedText)},
         "x",
         "y",
         BusyFullTest},
        {"the character fill shows twenty copies on both lines",
         [] {},
         "Button8",
         0,
         {},
         {{LowerCode, fill}, {UpperCode, fill}},
         {passed},
         fill,
         fill},
        {"a refused lower line fails the fill",
         refuseLower,
         "Button8",
         0,
         {},
         {{LowerCode, fill}, {UpperCode, fill}},
         {U("Команда не разрешена"), failed},
         fill,
         "y"},
        {"no fill character reaches the exception box",
         [this] { Type("Edit4", ""); },
         "Button8",
         0,
         {},
         {},
         {U("Индекс строки вне диапазона (1)")},
         "x",
         "y"},
        {"the typed lines go to their own lines",
         [this] {
             Type("Edit5", "Итого: 12.50");
             Type("Edit6", "Спасибо!");
         },
         "Button9",
         0,
         {},
         {{LowerCode, Cp("Спасибо!")}, {UpperCode, Cp("Итого: 12.50")}},
         {passed},
         Cp("Итого: 12.50"),
         Cp("Спасибо!")},
        {"empty typed lines clear both lines",
         [] {},
         "Button9",
         0,
         {},
         {{LowerCode, ""}, {UpperCode, ""}},
         {passed},
         "",
         ""},
        {"a typed line the display cannot show sends nothing",
         [this] { Type("Edit5", "日"); },
         "Button9",
         0,
         {},
         {},
         {U("Символ «日» (U+65E5) нельзя записать в кодировке Windows-1251")},
         "x",
         "y"},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Every case starts from the page as a technician finds it, the display showing x and y.
        Type("Edit2", "1");
        Type("Edit4", "Ш");
        Type("Edit5", "x");
        Type("Edit6", "y");
        Window->Button9Click(nullptr);
        Type("Edit5", "");
        Type("Edit6", "");
        Printer.ClearRequests();
        Messages.Texts.clear();
        c.arrange();
        std::unique_ptr<AtRequest> act;
        if (c.act) act = std::make_unique<AtRequest>(Printer, c.actAt, c.act);

        Click(c.button);

        EXPECT_EQ(Received(), c.requests);
        EXPECT_EQ(Messages.Texts, c.messages);
        EXPECT_EQ(Printer.DisplayUpper(), c.upper);
        EXPECT_EQ(Printer.DisplayLower(), c.lower);
        EXPECT_EQ(Window->BusyMode, c.busyAfter);
        EXPECT_FALSE(Window->StopFlag);
        ExpectIdle();
        Window->BusyMode = 0;
        Printer.WithModel([](DeviceModel& m) { m.GetFaults() = {}; });
    }
}

TEST_F(DisplayPage, ADisconnectStopsTheSweep) {
    Type("Edit2", "5");
    AtRequest act(Printer, 1 + 130, [this] { Click("Button2"); });
    Click("Button7");
    EXPECT_EQ(Received(), Join({Clear, Sweep(LowerCode, 0, 120), Sweep(UpperCode, 0, 10)}));
    EXPECT_EQ(Messages.Texts, QStringList{U("Тест остановлен")});
    EXPECT_FALSE(Window->IsConnected());
    EXPECT_EQ(Window->BusyMode, 0);
    EXPECT_FALSE(Window->StopFlag);
    ExpectIdle();
}

TEST_F(DisplayPage, ClosingTheWindowStopsTheSweep) {
    Type("Edit2", "50");
    Window->show();
    AtRequest act(Printer, 1 + 30, [this] { Click("Button1"); });
    Click("Button7");
    EXPECT_FALSE(Window->isVisible());
    EXPECT_EQ(Received(), Join({Clear, Sweep(LowerCode, 0, 30), Clear}));
    EXPECT_EQ(Window->BusyMode, 0);
}

TEST_F(DisplayPage, TheSweepsControlsWhileItRunsAndWhenTheFocusEntersThePage) {
    ASSERT_TRUE(ShowActive(*Window));
    auto* pages = Get<QTabWidget>("PageControl1");
    auto* page = Get<QWidget>("TabSheet2");
    auto* outside = Get<QPushButton>("Button1");
    outside->setFocus();

    // While the sweep runs only its stop button and pass count are usable, and the focus
    // entering the page leaves them so.
    bool checked = false;
    AtRequest during(Printer, 10, [&] {
        EXPECT_FALSE(Get<QPushButton>("Button7")->isEnabled());
        EXPECT_TRUE(Get<QPushButton>("Button11")->isEnabled());
        EXPECT_TRUE(Get<QGroupBox>("GroupBox1")->isEnabled());
        EXPECT_FALSE(Get<QGroupBox>("GroupBox2")->isEnabled());
        EXPECT_FALSE(Get<QGroupBox>("GroupBox3")->isEnabled());
        EXPECT_EQ(Window->BusyMode, BusyLoop);
        pages->setCurrentWidget(page);
        Get<QLineEdit>("Edit2")->setFocus();
        EXPECT_FALSE(Get<QPushButton>("Button7")->isEnabled());
        EXPECT_TRUE(Get<QPushButton>("Button11")->isEnabled());
        outside->setFocus();
        checked = true;
    });
    Window->Button7Click(nullptr);
    EXPECT_TRUE(checked);
    ExpectIdle();

    // With nothing running, the focus coming into the page from outside puts the controls back
    // to idle; moves inside the page change nothing.
    Get<QPushButton>("Button7")->setEnabled(false);
    Get<QPushButton>("Button11")->setEnabled(true);
    Get<QGroupBox>("GroupBox3")->setEnabled(false);
    Get<QLineEdit>("Edit2")->setFocus();
    ASSERT_TRUE(Get<QLineEdit>("Edit2")->hasFocus());
    ExpectIdle();
    Get<QPushButton>("Button7")->setEnabled(false);
    Get<QLineEdit>("Edit4")->setFocus();
    ASSERT_TRUE(Get<QLineEdit>("Edit4")->hasFocus());
    EXPECT_FALSE(Get<QPushButton>("Button7")->isEnabled());
}

} // namespace
