#pragma once

#include "Printer.h"
#include "ui_Mainform.h"

#include <QWidget>

#include <cstdint>

// The console's main window: the page control with the test and function pages, and the strip
// below it with the port, the baud rate, the connect button, the connection indicator and the
// close button. Controls are members named as in forms/Mainform.ui.
//
// Each page's handlers live in a file of their own (JournalPage.cpp, PasswordsPage.cpp, ...);
// this file declares them all. Handlers take the control that raised the event as Sender.
class TForm1 : public QWidget, private Ui::TForm1 {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Shared by the pages. All start at zero.
    RetData LastRetData{};   // copy of the last reply delivered to PrinterResults/x/y
    int32_t ErrorCount = 0;  // replies with an error bit since the caller last set it to 0
    bool StopFlag = false;   // request to stop a running test loop
    int32_t FailedSteps = 0; // failed commands of the current full test or print test
    int32_t BusyMode = 0;    // code of the page operation in progress, 0 when none

    // The calling protocol of every command of the main window: ErrorCount := 0, send, judge.
    // The command failed when a result handler counted an error in its reply, and also when the
    // link refused it (a negative result: nothing sent, no reply). `send` calls one wrapper with
    // one of the result handlers above and gives its result.
    template <class Send> bool CommandFailed(Send send) {
        ErrorCount = 0;
        return send() < 0 || ErrorCount > 0;
    }

    // Main window (Mainform.cpp).
    void FormActivate(QObject* Sender);
    void Button1Click(QObject* Sender);
    void Button2Click(QObject* Sender);
    // True while the indicator shows the port as connected (any colour but pure red).
    bool IsConnected() const;

    // Journal of the "Тест РРО" page (JournalPage.cpp).
    void JournalAdd(const QString& line); // appends one line and keeps it visible
    void JournalShowEnd();                // repaints the journal and scrolls to its last line
    // Before the program ends by itself: offers to save journal lines that were never saved.
    void OfferJournalSave();
    void Button4Click(QObject* Sender); // stop
    void Button5Click(QObject* Sender); // save
    void Button6Click(QObject* Sender); // clear

    // Full device test of the "Тест РРО" page (FullTestPage.cpp): start.
    void Button3Click(QObject* Sender);

    // "Дополнительные функции" page (FunctionsPage.cpp).
    void Button12Click(QObject* Sender);    // print test on a non-fiscal receipt
    void Button13Click(QObject* Sender);    // zero fiscal receipt
    void Button14Click(QObject* Sender);    // the report chosen in ComboBox10
    void Button15Click(QObject* Sender);    // cancellation of the open receipt
    void Button24Click(QObject* Sender);    // periodic report by number or by date
    void RadioGroup3Click(QObject* Sender); // report type chosen: its fields are shown
    void RadioGroup3Exit(QObject* Sender);  // focus left the report type: the same
    void SetUpFunctionsPage();              // start values of the page's fields

    // "Обрезка чека и звуковой сигнал" page (CutterPage.cpp).
    void Button16Click(QObject* Sender); // single cut
    void Button17Click(QObject* Sender); // repeated cut
    void Button18Click(QObject* Sender); // repeated beep
    void Button19Click(QObject* Sender); // single beep

    // "Пароли" page (PasswordsPage.cpp).
    void ComboBox7Change(QObject* Sender);
    void ComboBox9Change(QObject* Sender);
    void Button22Click(QObject* Sender);
    void Button23Click(QObject* Sender);

    // "Индикаторы клиента" page (DisplayPage.cpp).
    void Button7Click(QObject* Sender);   // the repeated sweep of both display lines
    void Button11Click(QObject* Sender);  // stop the sweep
    void Button8Click(QObject* Sender);   // fill both lines with one character
    void Button9Click(QObject* Sender);   // show the two typed lines
    void TabSheet2Enter(QObject* Sender); // the keyboard focus has moved into the page

    // "Денежный ящик, внос-вынос, обнуление артикулов" page (DrawerPage.cpp).
    void Button10Click(QObject* Sender); // open the drawer
    void Button20Click(QObject* Sender); // service cash in or out
    void Button21Click(QObject* Sender); // delete the articles not sold since the last Z report

    // "Общая информация" page (InfoPage.cpp). Runs on every page change the user makes.
    void PageControl1Change(QObject* Sender);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    friend class TFullTest; // one run of the full device test (FullTestPage.cpp)
    // The guard of one operation at a time (Busy.h) keeps its state here.
    friend class TLoopRun;
    friend class TSingleRun;
    friend void RequestStop(TForm1& form, const QObject* stopButton);
    friend bool LoopRunning(const TForm1& form);

    void ConnectHandlers();
    void ShowAboutText(); // AboutPage.cpp

    // Display page.
    void SetSweepRunning(bool running);
    void StopSweep();
    bool ShowOnDisplay(const char* lower, const char* upper);

    // Information page.
    void ClearDeviceInfo();
    void InfoFailed();

    // The first character of the edit's text, `count` times, in Windows-1251. An empty edit has
    // no first character: std::out_of_range with `missingText` goes to the exception box.
    static QByteArray FirstCharacterRepeated(const QLineEdit* edit, int count,
                                             const char* missingText);

    bool Activated = false;      // FormActivate has run
    bool JournalUnsaved = false; // the journal holds lines written since it was last saved
    int32_t RunningLoop = 0;     // code of the loop in progress, 0 when none
    const QObject* LoopStopButton = nullptr; // the running loop's own stop button, if any
    bool SingleRunning = false;              // a one-off operation is in progress
};

extern TForm1* Form1;

// Result handlers of the main window: keep the reply in Form1->LastRetData, and for a reply
// with an error bit show the bit's text and add 1 to Form1->ErrorCount. PrinterResults and
// PrinterResultsx are the same; PrinterResultsy counts without showing a box.
void PrinterResults(RetData& reply);
void PrinterResultsx(RetData& reply);
void PrinterResultsy(RetData& reply);
