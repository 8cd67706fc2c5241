#pragma once

// The batch mode's run (see Batch.h), shared by its files:
//   Batch.cpp               the command line and the process set-up, RunBatch
//   BatchRun.cpp            the run itself: connect, identity, the test, the verdict; the stops
//                           and the line watch
//   BatchJournal.cpp        the journal file and the lines to the caller
//   BatchCheckWindows.cpp   the check windows watched, their findings journaled

#include "Mainform.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <optional>

class QDialog;
class QPlainTextEdit;

// What the command line asks for.
struct TBatchOptions {
    int Port = 0;
    QString PortName;
    int Baud = 19200;
    QString Passes = QStringLiteral("1");
    QString Delay = QStringLiteral("1500");
    bool NoFiscal = false;
    int Cashier = 1;
    std::optional<QString> Password, ProgramPassword, ReportPassword;
    QString Journal;
};

// "hh:mm:ss" now, as the journal's timed lines begin.
QString BatchTimeNow();
// A journal line as the journal file holds it: Windows-1251, CR LF.
QByteArray BatchJournalBytes(const QString& line);
// Texts made one line of sentences: each after the first is set off by ". ", or by a blank
// where the one before already ends with a stop of its own (".:!?"). Blank texts are left out.
QString BatchSentences(const QStringList& texts);

// One unattended run on the main window it is given.
class TBatchRun : public QObject {
public:
    TBatchRun(const TBatchOptions& options, TForm1& form) : O(options), F(form) {}
    ~TBatchRun() override;
    int Exec();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <class Control> Control* Get(const QWidget& window, const char* name) const {
        return window.findChild<Control*>(QString::fromLatin1(name));
    }
    template <class Control> Control* Get(const char* name) const { return Get<Control>(F, name); }

    // BatchRun.cpp
    void SetUp();
    bool Connect();
    bool ReadIdentity();
    void RunTest();
    QString Verdict();
    void Finish(const QString& verdict);
    void StopArrived();
    void WatchLine();
    void StopTest();
    bool TimedOut() const { return F.LastRetData.ErrorWord & ERR_TIMEOUT; }

    // BatchJournal.cpp
    void Own(const QString& line);                    // a journal line of the batch mode's own
    void Note(const QString& text);                   // the same, with the time
    void Tell(QStringList fields);                    // one line to the caller
    void TellReason(const QString& lead = QString()); // the boxes said, after `lead`
    void JournalChanged();
    void TestLine(const QString& line);
    void CountFailures();
    void Message(const QString& text);
    bool Question(const QString& text);

    // BatchCheckWindows.cpp
    void WatchCheckWindow(QDialog* window);
    void ReportCheckWindow(QDialog* window);

    const TBatchOptions& O;
    TForm1& F;
    QPlainTextEdit* Journal = nullptr;
    int Written = 0;      // journal lines in the file
    bool OwnLine = false; // the line being added is the batch mode's own
    bool WriteFailed = false;

    // What the test has journaled so far.
    int Pass = 0, PassesDone = 0;
    QString StepTitle;
    bool AfterStars = false;
    int Seen = 0;     // FailedSteps already counted
    int Failed = 0;   // failed commands of the run
    int Messages = 0; // message boxes journaled
    QStringList Said; // the boxes' texts since the present stage began
    bool TestBegun = false, SummaryReached = false, TestStopped = false;

    // How the run ended.
    bool Running = false, CheckWindowShown = false, LineLost = false, StopAsked = false;
    bool QuitAsked = false, StoppedBeforeStart = false;

    // The line watch.
    QTimer LineWatch;
    QElapsedTimer SinceAnswer;
    unsigned char LastSeq = 0;
    int Unanswered = 0;
    std::unique_ptr<QObject> Stops;
};
