#pragma once

#include "Burnin.h"
#include "Options.h"
#include "PortProbe.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <map>
#include <memory>

class QCoreApplication;
class QLabel;
class QProgressBar;
class QPushButton;
class TJournalViewer;
class TPrinterList;
class TRunTable;
class TSettingsBox;

// The bench window (tr7042k-burnin --window): finds the printers on the ports, runs the burn-in
// on those ticked with one click, shows each one live, and leaves the outcome and the report at
// hand. It drives the same TBurnin as the command line: the same consoles, the same report
// files, the same outcome.
class TBenchWindow : public QWidget {
    Q_OBJECT

public:
    // `options` as the command line gave them fill the fields; their ports (none: every port
    // tr7042k-ports knows) are probed at once.
    TBenchWindow(const TOptions& options, const QString& console, const QString& portsTool);
    ~TBenchWindow() override;

    void Refresh();
    void Start();
    void Stop();
    // Stops from the system (Ctrl-C in the terminal it was started from): the run's stops, as
    // "Стоп"; with nothing running, the window closes.
    void StopsArrived(int stops);
    // The run now going on or the last one; null before the first.
    const TBurnin* Run() const { return Burnin.get(); }
    bool Probing() const { return Probe.Running(); }
    // The exit code of the last run, as the command line's (0 before any).
    int ExitCode() const { return Burnin && Burnin->Ended() ? Burnin->ExitCode() : 0; }
    // The journal viewer of a run's printer, opened on a double click on its row.
    TJournalViewer* OpenJournal(int row);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Probed(const QList<TProbedPort>& ports, const QString& trouble);
    void Changed(int index, const QString& event);
    void Stopping(int stops);
    void Finished();
    void UpdateButtons();
    void Say(const QString& text, bool trouble = false);
    QString ReportPath() const;

    const TOptions Given;
    const QString Console;
    TPortProbe Probe;
    std::unique_ptr<TBurnin> Burnin;
    std::map<int, QPointer<TJournalViewer>> Viewers; // by row of the run
    bool CloseWhenDone = false;
    QTimer Clock;

    TPrinterList* Printers;
    TSettingsBox* Settings;
    TRunTable* Runs;
    QProgressBar* Busy;
    QLabel *Status, *Outcome;
    QPushButton *RefreshButton, *StartButton, *StopButton, *ReportButton, *FolderButton;
};

// The application object of the window: the console's (its exception box), Qt's own dialogs in
// Russian.
std::unique_ptr<QCoreApplication> WindowApplication(int& argc, char** argv);
// Shows the window and runs it until it is closed; gives the last run's exit code.
int RunWindow(const TOptions& options);
