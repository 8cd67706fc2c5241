#include "Application.h"
#include "ConsoleFixture.h"
#include "DeviceFixture.h"
#include "ExchangeLog.h"
#include "PortCheck.h"
#include "Tool.h"
#include "PrinterLink.h"
#include "PtyPorts.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>

#include "CircleShape.h"
#include "PageControl.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <sys/file.h>
#include <unistd.h>

namespace {

class MainWindow : public ConsoleTest {
protected:
    void TearDown() override {
        if (Window && Window->IsConnected()) PrinterClosePort();
        ConsoleTest::TearDown();
    }

    // The state of every control that shows the connection.
    void ExpectConnected(bool connected) {
        const QColor indicator = Get<TShape>("Shape1")->brushColor();
        EXPECT_EQ(indicator, connected ? QColor(0, 255, 0) : QColor(255, 0, 0));
        EXPECT_EQ(Window->IsConnected(), connected);
        EXPECT_EQ(Get<QPushButton>("Button2")->text(),
                  connected ? U("Отключить") : U("Подключить"));
        EXPECT_EQ(Get<TPageControl>("PageControl1")->isEnabled(), connected);
        EXPECT_EQ(Get<QComboBox>("ComboBox1")->isEnabled(), !connected);
        EXPECT_EQ(Get<QComboBox>("ComboBox3")->isEnabled(), !connected);
    }

    void SelectPort(int port) { Get<QComboBox>("ComboBox1")->setCurrentIndex(port - 1); }
    void Click(const char* button) { Get<QPushButton>(button)->click(); }

    PtyPorts Ports;
};

TEST_F(MainWindow, StartsDisconnectedInAFixedFrameWithoutCloseBox) {
    EXPECT_EQ(Window->windowTitle(), U("Тест регистратора расчетных операций TR7042K"));
    EXPECT_EQ(Window->size(), QSize(536, 429));
    EXPECT_EQ(Window->minimumSize(), Window->maximumSize());
    const Qt::WindowFlags flags = Window->windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    ExpectConnected(false);
    EXPECT_EQ(Window->ErrorCount, 0);
    EXPECT_FALSE(Window->StopFlag);
    EXPECT_EQ(Window->FailedSteps, 0);
    EXPECT_EQ(Window->BusyMode, 0);
    EXPECT_EQ(Window->LastRetData.FieldCount, 0);
    const QString about = Get<QTextEdit>("Memo1")->toPlainText();
    EXPECT_TRUE(about.contains(U("Тест регистратора расчетных операций TR7042K")));
    EXPECT_TRUE(about.contains(U("Версия ")));
}

TEST_F(MainWindow, FirstActivationSetsTheDefaultsAndLaterOnesKeepTheUsersChoices) {
    auto* baud = Get<QComboBox>("ComboBox3");
    auto* port = Get<QComboBox>("ComboBox1");
    auto* cashier = Get<QComboBox>("ComboBox8");
    auto* pages = Get<TPageControl>("PageControl1");
    baud->setCurrentIndex(3);
    port->setCurrentIndex(7);
    pages->setCurrentIndex(7);
    Get<QLineEdit>("Edit22")->setText(U("1"));
    EXPECT_EQ(cashier->currentIndex(), -1);
    EXPECT_EQ(cashier->currentText(), U("<Выберите кассира>"));

    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(Window.get(), &activate);
    EXPECT_EQ(baud->currentText(), U("19200 бод"));
    EXPECT_EQ(port->currentText(), U("COM1"));
    EXPECT_EQ(cashier->currentText(), U("Оператор 1"));
    EXPECT_EQ(Get<QComboBox>("ComboBox10")->currentIndex(), 0);
    for (const char* edit : {"Edit21", "Edit22", "Edit23"})
        EXPECT_EQ(Get<QLineEdit>(edit)->text(), U("5917")) << edit;
    EXPECT_EQ(pages->currentIndex(), 0);

    // Focus coming back after a message box or a check window.
    baud->setCurrentIndex(2);
    pages->setCurrentIndex(7);
    Get<QLineEdit>("Edit21")->setText(U("777"));
    QCoreApplication::sendEvent(Window.get(), &activate);
    EXPECT_EQ(baud->currentIndex(), 2);
    EXPECT_EQ(pages->currentIndex(), 7);
    EXPECT_EQ(Get<QLineEdit>("Edit21")->text(), U("777"));
}

TEST_F(MainWindow, ShowingTheWindowAppliesTheDefaults) {
    ASSERT_TRUE(ShowActive(*Window));
    EXPECT_EQ(Get<QComboBox>("ComboBox8")->currentText(), U("Оператор 1"));
}

TEST_F(MainWindow, CloseButtonClosesTheWindow) {
    Window->show();
    Click("Button1");
    EXPECT_FALSE(Window->isVisible());
}

TEST_F(MainWindow, ConnectAndDisconnectSwitchEveryControl) {
    Ports.AddMissing(19);
    Ports.AddTerminal(20);
    auto* passes = Get<QComboBox>("ComboBox2");
    passes->setEditText(U("7"));
    SelectPort(20);
    Window->StopFlag = true;
    Click("Button2");
    EXPECT_TRUE(Messages.Texts.isEmpty());
    ExpectConnected(true);
    EXPECT_FALSE(Window->StopFlag);
    EXPECT_EQ(passes->currentText(), U("1"));

    Click("Button2");
    ExpectConnected(false);
    EXPECT_TRUE(Window->StopFlag);

    // The pass count goes back to 1 on every connect, whatever it showed.
    passes->setCurrentIndex(0);
    passes->setEditText(U("25"));
    Click("Button2");
    ExpectConnected(true);
    EXPECT_EQ(passes->currentText(), U("1"));
}

TEST_F(MainWindow, APortThatCannotBeOpenedSaysWhyAndLeavesTheWindowDisconnected) {
    // The message keeps its first line and says on the next ones why, and what to do.
    auto lines = [this] {
        EXPECT_EQ(Messages.Texts.size(), 1);
        const QStringList l = Messages.Texts.value(0).split(QLatin1Char('\n'));
        EXPECT_EQ(l.value(0), U("Невозможно подключить порт"));
        Messages.Texts.clear();
        return l;
    };
    Ports.AddMissing(19);
    SelectPort(19);
    Click("Button2");
    QStringList why = lines();
    ASSERT_EQ(why.size(), 3);
    EXPECT_EQ(why[1], U("COM19 ведёт к /nonexistent/tr7042k-test-port, а такого устройства нет"));
    EXPECT_TRUE(why[2].startsWith(U("Подключите адаптер"))) << why[2].toStdString();
    EXPECT_TRUE(why[2].contains(U("tr7042k-ports map COM19"))) << why[2].toStdString();
    ExpectConnected(false);

    // A port held by another program (here the test itself) names it.
    const QByteArray terminal = Ports.AddTerminal(3);
    const int other = open(terminal.constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    SelectPort(3);
    Click("Button2");
    why = lines();
    ASSERT_EQ(why.size(), 3);
    EXPECT_TRUE(why[1].startsWith(U("COM3 (") + QString::fromLocal8Bit(terminal) +
                                  U(") занят другой программой: ")))
        << why[1].toStdString();
    EXPECT_TRUE(why[1].contains(QStringLiteral("(PID %1)").arg(getpid()))) << why[1].toStdString();
    ExpectConnected(false);

    // Once the other program lets go, the same port connects.
    close(other);
    Click("Button2");
    EXPECT_TRUE(Messages.Texts.isEmpty());
    ExpectConnected(true);
}

// "Отключить" always disconnects, also when the link holds no port any more or its close call
// fails, and the window connects again afterwards.
TEST_F(MainWindow, DisconnectNeverFailsAndTheWindowConnectsAgain) {
    Ports.AddTerminal(2);
    SelectPort(2);
    Click("Button2");
    ExpectConnected(true);
    ASSERT_NE(PrinterClosePort(), 0); // the port is gone behind the window's back
    Click("Button2");
    ExpectConnected(false);

    Click("Button2");
    ExpectConnected(true);
    ASSERT_EQ(close(static_cast<int>(PrinterLink.LinkPort)), 0); // the close call will fail
    Click("Button2");
    ExpectConnected(false);
    Ports.ClearLeftExclusive(2); // the lost descriptor could not clear its flag; the device does
    Click("Button2");
    ExpectConnected(true);
    EXPECT_TRUE(Messages.Texts.isEmpty());
}

// A trace asked for that cannot be written is told once per connection, and the console goes
// on without it; one that can is written and nothing is said.
TEST_F(MainWindow, ATraceThatCannotBeWrittenIsToldOnConnecting) {
    Ports.AddTerminal(2);
    SelectPort(2);
    QTemporaryDir scratch;
    const QByteArray folder = QFile::encodeName(scratch.path());
    setenv("TR7042K_TRACE", folder.constData(), 1);
    Click("Button2");
    ExpectConnected(true);
    ASSERT_EQ(Messages.Texts.size(), 1);
    EXPECT_EQ(Messages.Texts[0], U("Трасса обмена не пишется в ") + scratch.path() +
                                     U(": это не обычный файл (папка, устройство или канал).\n"
                                       "Обмен с принтером продолжается без трассы."));
    Click("Button2");
    Messages.Texts.clear();

    const QByteArray file = folder + "/trace.txt";
    setenv("TR7042K_TRACE", file.constData(), 1);
    Click("Button2");
    Click("Button2");
    unsetenv("TR7042K_TRACE");
    EXPECT_TRUE(Messages.Texts.isEmpty());
    EXPECT_TRUE(QFile::exists(QFile::decodeName(file)));
}

TEST_F(MainWindow, NoBaudRateSelectedDoesNothing) {
    Ports.AddTerminal(1);
    SelectPort(1);
    Get<QComboBox>("ComboBox3")->setCurrentIndex(-1);
    Click("Button2");
    EXPECT_TRUE(Messages.Texts.isEmpty());
    ExpectConnected(false);
}

// A window with one handler that fails, to see where its exception goes.
class ThrowingWindow : public QObject {
public:
    int Calls = 0;
    void Button1Click(QObject*) {
        ++Calls;
        throw std::runtime_error("'x' не является допустимым целым числом");
    }
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) throw std::runtime_error("ошибка в обработчике");
        return QObject::event(event);
    }
};

TEST(ExceptionBox, AnExceptionFromAHandlerIsShownAndTheProgramGoesOn) {
    MessageRecorder messages;
    ThrowingWindow window;
    QPushButton button;
    ConnectHandler(&button, &QPushButton::clicked, &window, &ThrowingWindow::Button1Click);
    button.click();
    button.click();
    EXPECT_EQ(window.Calls, 2);
    EXPECT_EQ(messages.Texts, QStringList(2, U("'x' не является допустимым целым числом")));

    // Through the message loop itself.
    messages.Texts.clear();
    QCoreApplication::postEvent(&window, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.Texts, QStringList{U("ошибка в обработчике")});
}

} // namespace

namespace {

// A simulated printer killed (it cannot remove its link then) leaves COM7 leading to a terminal
// that anyone may be given next. Connecting refuses it with the reason, and so does the port
// check, with exit code 2.
TEST_F(MainWindow, AKilledSimulatorsLinkIsRefusedByConnectAndByCheck) {
    const std::string link = std::string(getenv("XDG_CONFIG_HOME")) + "/tr7042k/ports/com7";
    const pid_t sim = fork();
    if (sim == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execl(TR_SIM_PROGRAM, TR_SIM_PROGRAM, "--port", "COM7", "--fast", nullptr);
        _exit(127);
    }
    for (int i = 0; i < 500 && !std::filesystem::is_symlink(std::filesystem::symlink_status(link));
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(std::filesystem::is_symlink(std::filesystem::symlink_status(link)));
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // serving now
    kill(sim, SIGKILL);
    waitpid(sim, nullptr, 0);
    const std::string terminal = std::filesystem::read_symlink(link).string();
    // A new terminal is opened, and given the number the simulator's had.
    std::vector<int> terminals;
    while (terminals.size() < 50 && (terminals.empty() || ptsname(terminals.back()) != terminal)) {
        terminals.push_back(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        ASSERT_GE(terminals.back(), 0);
        grantpt(terminals.back());
        unlockpt(terminals.back());
    }
    ASSERT_EQ(ptsname(terminals.back()), terminal);

    SelectPort(7);
    Click("Button2");
    ExpectConnected(false);
    ASSERT_EQ(Messages.Texts.size(), 1);
    const QStringList why = Messages.Texts[0].split(QLatin1Char('\n'));
    ASSERT_EQ(why.size(), 3);
    EXPECT_EQ(why[0], U("Невозможно подключить порт"));
    const QString reason = QString::fromStdString("COM7 ведёт к терминалу " + terminal +
                                                  ", который не обслуживает ни один имитатор");
    EXPECT_EQ(why[1], reason);
    EXPECT_TRUE(why[2].startsWith(U("Запустите имитатор снова (tr7042k-sim --port COM7)")))
        << why[2].toStdString();

    std::ostringstream out, err;
    EXPECT_EQ(RunPortsTool({"check", "COM7"}, out, err), ExitMissing);
    EXPECT_EQ(out.str().substr(0, out.str().find('\n')), reason.toStdString());
    for (int fd : terminals)
        close(fd);
}

class ExchangeLog : public DeviceTest {
protected:
    void TearDown() override {
        DeviceTest::TearDown();
        std::filesystem::remove("fpllog.dat");
    }
    bool Status() {
        return Window->CommandFailed(
            [] { return PrinterGetStatus(nullptr, PrinterResults, 0, 1); });
    }
};

// A log that cannot be written (here a symbolic link, which is never followed) is told once per
// connection, naming the file and the reason; the exchanges go on as if it were written.
TEST_F(ExchangeLog, TroubleIsToldOncePerConnectionAndTheExchangesGoOn) {
    std::filesystem::remove("fpllog.dat");
    { std::ofstream("victim") << "keep"; }
    std::filesystem::create_symlink("victim", "fpllog.dat");
    const QString told =
        U("Журнал обмена не записывается: ") + ExchangeLogPath() +
        U(": это символическая ссылка, а журнал через ссылки не пишется.\nОбмен с принтером "
          "продолжается, но его записей в журнале не будет.");
    EXPECT_TRUE(ExchangeLogPath().startsWith(QLatin1Char('/')));
    EXPECT_FALSE(Status());
    EXPECT_FALSE(Status());
    EXPECT_EQ(Messages.Texts, QStringList{told});
    Window->Button2Click(nullptr);
    Window->Button2Click(nullptr);
    ASSERT_TRUE(Window->IsConnected());
    EXPECT_FALSE(Status());
    EXPECT_EQ(Messages.Texts, (QStringList{told, told}));
    EXPECT_EQ(std::filesystem::file_size("victim"), 4u);
    EXPECT_EQ(Received().size(), 3u);
    std::filesystem::remove("victim");
}

// The record of a failed exchange is on disk while its error box is up: a console killed then
// has lost nothing from the log. "О программе" names the log with its full path.
TEST_F(ExchangeLog, FailedExchangesRecordIsOnDiskWhileItsErrorBoxIsUp) {
    std::filesystem::remove("fpllog.dat");
    std::string logAtBox;
    SetMessageSink([&](const QString& text) {
        Messages.Texts << text;
        std::ifstream in("fpllog.dat", std::ios::binary);
        logAtBox.assign(std::istreambuf_iterator<char>(in), {});
    });
    Printer.WithModel([](DeviceModel& m) {
        m.GetFaults().nak = 1;
        return 0;
    });
    EXPECT_TRUE(Status());
    EXPECT_EQ(Messages.Texts, QStringList{U("Ошибка приема команды")});
    EXPECT_NE(logAtBox.find("\r\n\xD1\xF2\xE0\xF2\xF3\xF1: 2000000"), std::string::npos)
        << logAtBox; // "Статус: 2000000"
    const auto* about = Find<QTextEdit>(*Window, "Memo1");
    EXPECT_TRUE(about->toPlainText().contains(U("Журнал обмена: ") + ExchangeLogPath()))
        << about->toPlainText().toStdString();
}

} // namespace
