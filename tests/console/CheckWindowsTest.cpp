#include "DeviceFixture.h"

#include <QHideEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace {

class CheckWindows : public CheckWindowsTest {
protected:
    // Shows a check window modally, as the full test does, and closes it with its own button
    // once it has had its activation; gives what `look` read while it was shown.
    template <class Look> auto ShowModal(QDialog& window, Look look) {
        decltype(look()) seen{};
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, &window, [&] {
            if (!window.isActiveWindow()) return;
            poll.stop();
            seen = look();
            Find<QPushButton>(window, "Button1")->click();
        });
        poll.start();
        QTimer::singleShot(5000, &window, [&] { window.reject(); });
        window.exec();
        return seen;
    }
    QStringList Findings() const {
        const QString text = Find<QPlainTextEdit>(*State, "Memo1")->toPlainText();
        return text.isEmpty() ? QStringList() : text.split('\n');
    }
};

TEST_F(CheckWindows, SwitchesWindowShowsTheSettingTheDeviceReports) {
    WithModel([](DeviceModel& model) { model.SetSwitches("10101100"); });
    // Shown modally as the full test does; it asks the device when it becomes active.
    const QString shown =
        ShowModal(*Switches, [&] { return Find<QLineEdit>(*Switches, "Edit1")->text(); });
    EXPECT_EQ(shown, U("10101100"));
    EXPECT_EQ(Find<QLineEdit>(*Switches, "Edit2")->text(), U("001011XX"));
    EXPECT_EQ(Received(), (std::vector<std::pair<int, std::string>>{{0x5A, "1"}}));
    EXPECT_TRUE(Messages.Texts.isEmpty());
    EXPECT_EQ(Switches->windowTitle(), U("Перееключатели !!!"));
    EXPECT_FALSE(Switches->windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(CheckWindows, FocusComingBackDoesNotAskTheDeviceAgain) {
    // After the error box over the window closes, the window is active again: asking again
    // then would show the box again, without end on a device that keeps failing.
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(Switches.get(), &activate);
    QCoreApplication::sendEvent(Switches.get(), &activate);
    EXPECT_EQ(Received().size(), 1u);
    // Once the window has been hidden, its next showing asks again.
    QHideEvent hidden;
    QCoreApplication::sendEvent(Switches.get(), &hidden);
    QCoreApplication::sendEvent(Switches.get(), &activate);
    EXPECT_EQ(Received().size(), 2u);
}

TEST_F(CheckWindows, SwitchesWindowShowsNothingWhenTheRequestFails) {
    Switches->FormActivate(nullptr);
    ASSERT_FALSE(Find<QLineEdit>(*Switches, "Edit1")->text().isEmpty());
    WithModel([](DeviceModel& model) { model.GetFaults().nak = 1; });
    Switches->FormActivate(nullptr);
    EXPECT_EQ(Messages.Texts,
              (QStringList{U("Ошибка приема команды"), U("Ошибка получения информации")}));
    EXPECT_TRUE(Find<QLineEdit>(*Switches, "Edit1")->text().isEmpty());
    EXPECT_EQ(Switches->ErrorCount, 1);
    EXPECT_EQ(Window->ErrorCount, 0);
}

TEST_F(CheckWindows, SwitchesWindowOnASilentDevice) {
    WithModel([](DeviceModel& model) { model.GetFaults().silent = 1; });
    Switches->FormActivate(nullptr);
    EXPECT_EQ(Messages.Texts, (QStringList{U("Таймаут"), U("Ошибка получения информации")}));
    EXPECT_TRUE(Find<QLineEdit>(*Switches, "Edit1")->text().isEmpty());
}

TEST_F(CheckWindows, StateWindowListsTheFindingsInOrder) {
    WithModel([](DeviceModel& model) { model.MakeFresh(); });
    const QStringList shown = ShowModal(*State, [&] { return Findings(); });
    EXPECT_EQ(shown,
              (QStringList{U("Заводской номер не задан"), U("Фискальная память не форматирована"),
                           U("Фискальный номер не задан")}));
    EXPECT_TRUE(Messages.Texts.isEmpty());

    // Each showing asks again and adds its findings below the earlier ones.
    State->FormActivate(nullptr);
    EXPECT_EQ(Findings().size(), 6);
}

TEST_F(CheckWindows, StateWindowNamesTheOpenReceipt) {
    WithModel([](DeviceModel& model) { model.LeaveReceiptOpen(DeviceModel::ReceiptKind::Return); });
    State->FormActivate(nullptr);
    EXPECT_EQ(Findings(), QStringList{U("Открыт чек возврата")});

    EXPECT_EQ(StateFindings(ST_SERIAL_SET | ST_FM_FORMATTED | ST_FISCAL_NUMBER_SET |
                            ST_FISCAL_RECEIPT | ST_NONFISCAL_RECEIPT),
              (QStringList{U("Открыт фискальный чек"), U("Открыт нефискальный чек")}));
    EXPECT_TRUE(
        StateFindings(ST_SERIAL_SET | ST_FM_FORMATTED | ST_FISCAL_NUMBER_SET | ST_RETURN_RECEIPT)
            .isEmpty());
}

TEST_F(CheckWindows, StateWindowAddsNothingWhenTheRequestFails) {
    WithModel([](DeviceModel& model) {
        model.MakeFresh();
        model.GetFaults().statusBits[0x5A] = {0, 0, 0, 0, 0x20, 0};
    });
    State->FormActivate(nullptr);
    EXPECT_EQ(Messages.Texts,
              (QStringList{U("Общая ошибка фиск. памяти"), U("Ошибка получения информации")}));
    EXPECT_TRUE(Findings().isEmpty());
}

} // namespace
