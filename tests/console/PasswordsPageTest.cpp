#include "DeviceFixture.h"
#include "PrinterLink.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

using Request = std::pair<int, std::string>;

class PasswordsPage : public DeviceTest {
protected:
    void Type(const char* edit, const char* text) { Get<QLineEdit>(edit)->setText(U(text)); }
    std::string DevicePassword(int op) {
        return Printer.WithModel(
            [op](DeviceModel& model) { return model.GetState().operatorPasswords[op - 1]; });
    }
};

TEST_F(PasswordsPage, ActionButtonsWaitForAChoiceAndStayEnabled) {
    auto* set = Get<QPushButton>("Button22");
    auto* reset = Get<QPushButton>("Button23");
    EXPECT_FALSE(set->isEnabled());
    EXPECT_FALSE(reset->isEnabled());
    Get<QComboBox>("ComboBox7")->setCurrentIndex(2);
    EXPECT_TRUE(set->isEnabled());
    EXPECT_FALSE(reset->isEnabled());
    Get<QComboBox>("ComboBox9")->setCurrentIndex(0);
    EXPECT_TRUE(reset->isEnabled());
    Get<QComboBox>("ComboBox7")->setCurrentIndex(-1);
    EXPECT_TRUE(set->isEnabled());
    EXPECT_EQ(Get<QComboBox>("ComboBox7")->count(), 16);
    EXPECT_EQ(Get<QComboBox>("ComboBox9")->count(), 13);
    for (const char* edit : {"Edit19", "Edit20", "Edit21", "Edit22", "Edit23", "Edit24"})
        EXPECT_EQ(Get<QLineEdit>(edit)->maxLength(), 32) << edit;
}

TEST_F(PasswordsPage, SetsThePasswordOfTheChosenOperator) {
    Get<QComboBox>("ComboBox7")->setCurrentIndex(14); // "Оператор по отчетам"
    Type("Edit19", "5917");
    Type("Edit20", "2468");
    Get<QPushButton>("Button22")->click();
    EXPECT_EQ(Received(), (std::vector<Request>{{0x65, "15,5917,2468"}}));
    EXPECT_EQ(Messages.Texts, QStringList{U("Новый пароль установлен!")});
    EXPECT_EQ(DevicePassword(15), "2468");
    // The fields and the test passwords stay as they were.
    EXPECT_EQ(Get<QLineEdit>("Edit20")->text(), U("2468"));
    EXPECT_EQ(Get<QLineEdit>("Edit23")->text(), U("5917"));

    // The empty last entry is operator 16; empty fields are sent as empty texts.
    Printer.ClearRequests();
    Messages.Texts.clear();
    Get<QComboBox>("ComboBox7")->setCurrentIndex(15);
    Type("Edit19", "");
    Type("Edit20", "");
    Window->Button22Click(nullptr);
    EXPECT_EQ(Received(), (std::vector<Request>{{0x65, "16,,"}}));
    EXPECT_EQ(Messages.Texts, (QStringList{U("Синтаксическая ошибка"),
                                           U("Ошибка установки нового пароля кассира")}));
}

TEST_F(PasswordsPage, AWrongOldPasswordIsReportedTwice) {
    Get<QComboBox>("ComboBox7")->setCurrentIndex(0);
    Type("Edit19", "1111");
    Type("Edit20", "2222");
    // The error box is closed, and at the pump after the command another page's operation sets
    // ErrorCount to 0 before it sends: the refusal is still reported.
    SetMessageSink([this](const QString& text) {
        Messages.Texts << text;
        QTimer::singleShot(0, Window.get(), [this] { Window->ErrorCount = 0; });
    });
    Window->Button22Click(nullptr);
    EXPECT_EQ(Received(), (std::vector<Request>{{0x65, "1,1111,2222"}}));
    EXPECT_EQ(Messages.Texts, (QStringList{U("Команда не разрешена"),
                                           U("Ошибка установки нового пароля кассира")}));
    EXPECT_EQ(DevicePassword(1), "5917");
}

TEST_F(PasswordsPage, ResetsACashierWithTheAdministratorsPassword) {
    Get<QComboBox>("ComboBox7")->setCurrentIndex(2);
    Type("Edit19", "5917");
    Type("Edit20", "3333");
    Window->Button22Click(nullptr);
    ASSERT_EQ(DevicePassword(3), "3333");
    Printer.ClearRequests();
    Messages.Texts.clear();

    Get<QComboBox>("ComboBox9")->setCurrentIndex(2);
    Type("Edit24", "0000");
    Get<QPushButton>("Button23")->click();
    EXPECT_EQ(Received(), (std::vector<Request>{{0x77, "3,0000"}}));
    EXPECT_EQ(Messages.Texts, QStringList{U("Пароль обнулен, новое значение пароля - 5917")});
    EXPECT_EQ(DevicePassword(3), "5917");
    EXPECT_EQ(Get<QLineEdit>("Edit24")->text(), U("0000"));

    Messages.Texts.clear();
    Type("Edit24", "9999");
    Window->Button23Click(nullptr);
    EXPECT_EQ(Messages.Texts,
              (QStringList{U("Команда не разрешена"), U("Ошибка обнуления пароля кассира")}));
}

TEST_F(PasswordsPage, ALinkFaultIsAFailure) {
    Printer.WithModel([](DeviceModel& model) { return model.GetFaults().nak = 1; });
    Get<QComboBox>("ComboBox9")->setCurrentIndex(0);
    Type("Edit24", "0000");
    Window->Button23Click(nullptr);
    EXPECT_EQ(Messages.Texts,
              (QStringList{U("Ошибка приема команды"), U("Ошибка обнуления пароля кассира")}));
}

TEST_F(PasswordsPage, NothingSentIsNeverReportedAsSuccess) {
    // A password the device's code page cannot carry: the exception box, nothing sent.
    Get<QComboBox>("ComboBox7")->setCurrentIndex(0);
    Type("Edit19", "5917");
    Type("Edit20", "12€中");
    Get<QPushButton>("Button22")->click();
    EXPECT_TRUE(Received().empty());
    ASSERT_EQ(Messages.Texts.size(), 1);
    EXPECT_TRUE(Messages.Texts[0].contains(U("U+4E2D")));

    // A link that was never opened refuses: no reply, so no success either.
    PrinterLinkReset();
    Messages.Texts.clear();
    Type("Edit20", "1234");
    Window->Button22Click(nullptr);
    Get<QComboBox>("ComboBox9")->setCurrentIndex(0);
    Window->Button23Click(nullptr);
    EXPECT_EQ(Messages.Texts, (QStringList{U("Ошибка установки нового пароля кассира"),
                                           U("Ошибка обнуления пароля кассира")}));
}

} // namespace
