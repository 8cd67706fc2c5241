#include "Progress.h"

#include "Burnin.h"
#include "System.h"

#include <QCoreApplication>
#include <QDir>
#include <QTime>
#include <QTimer>

#include <cstdio>

namespace {

// Column widths of the rows; the step takes what the terminal has left.
constexpr int MinRedrawMs = 100;

constexpr int PortWidth = 9, FactoryWidth = 13, PassWidth = 10, FailedWidth = 7, TimeWidth = 9,
              VerdictWidth = 10, LeastStepWidth = 12;

int StepWidth() {
    const int rest = TerminalWidth() - 1 - PortWidth - FactoryWidth - PassWidth - FailedWidth -
                     TimeWidth - VerdictWidth;
    return std::max(rest, LeastStepWidth);
}

QString Cell(const QString& text, int width) {
    return text.leftJustified(width - 1, QLatin1Char(' '), true) + QLatin1Char(' ');
}

} // namespace

TProgress::TProgress(const QList<TPrinterRecord>& printers, int passes, bool terminal)
    : printers_(printers), passes_(passes), terminal_(terminal) {}

void TProgress::Event(const TPrinterRecord& printer, const QString& text) {
    if (terminal_) {
        Redraw();
        return;
    }
    Write(
        QStringLiteral("%1 %2: %3\n")
            .arg(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")), printer.Title(), text));
}

void TProgress::Notice(const QString& text) {
    notice_ = text;
    if (terminal_)
        Redraw(true);
    else
        Write(QStringLiteral("%1 %2\n").arg(
            QTime::currentTime().toString(QStringLiteral("hh:mm:ss")), text));
}

QString TProgress::Row(const TPrinterRecord& printer) const {
    const QDateTime end = printer.Ended.isValid() ? printer.Ended : QDateTime::currentDateTime();
    const qint64 seconds = printer.Started.isValid() ? printer.Started.secsTo(end) : 0;
    const QString pass =
        printer.Pass > 0 ? QStringLiteral("%1 из %2").arg(printer.Pass).arg(passes_) : QString();
    const QString step = printer.LineLost ? QStringLiteral("связь потеряна") : printer.Step;
    return Cell(printer.Port.Label, PortWidth) + Cell(printer.Factory, FactoryWidth) +
           Cell(pass, PassWidth) + Cell(step, StepWidth()) +
           Cell(QString::number(printer.FailedCommands()).rightJustified(FailedWidth - 2),
                FailedWidth) +
           Cell(Elapsed(seconds), TimeWidth) + VerdictWord(printer.Verdict);
}

void TProgress::Redraw(bool force) {
    if (!terminal_) return;
    if (!force && sinceDrawn_.isValid() && sinceDrawn_.elapsed() < MinRedrawMs) return;
    sinceDrawn_.start();
    QString screen;
    // Back to the first row drawn last time, then every row anew, each line cleared first.
    if (drawn_ > 0) screen += QStringLiteral("\x1b[%1F").arg(drawn_);
    QStringList lines{Cell(QStringLiteral("Порт"), PortWidth) +
                      Cell(QStringLiteral("Заводской №"), FactoryWidth) +
                      Cell(QStringLiteral("Проход"), PassWidth) +
                      Cell(QStringLiteral("Шаг"), StepWidth()) +
                      Cell(QStringLiteral("Ошибок"), FailedWidth) +
                      Cell(QStringLiteral("Время"), TimeWidth) + QStringLiteral("Итог")};
    for (const TPrinterRecord& printer : printers_)
        lines << Row(printer);
    lines << notice_;
    const int width = TerminalWidth() - 1;
    for (const QString& line : lines)
        screen += QStringLiteral("\x1b[2K") + line.left(width) + QLatin1Char('\n');
    drawn_ = int(lines.size());
    Write(screen);
}

void TProgress::Write(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

int RunOnTerminal(TBurnin& burnin) {
    TProgress progress(burnin.Printers(), burnin.Options().Passes, ProgressOnTerminal());
    const std::unique_ptr<QObject> stopWatch =
        WatchStopSignals([&burnin](int arrived) { burnin.StopsArrived(arrived); });
    QObject::connect(&burnin, &TBurnin::PrinterChanged, &burnin,
                     [&](int index, const QString& event) {
                         if (event.isEmpty())
                             progress.Redraw();
                         else
                             progress.Event(burnin.Printers()[index], event);
                     });
    QObject::connect(&burnin, &TBurnin::Stopping, &burnin, [&](int stops) {
        progress.Notice(stops == 1
                            ? QStringLiteral("Остановка: каждый принтер остановится на ближайшей "
                                             "контрольной точке теста. Еще раз Ctrl-C - сразу.")
                            : QStringLiteral("Остановка сразу: записывается то, что уже в "
                                             "журналах."));
    });
    QObject::connect(&burnin, &TBurnin::Finished, &burnin, [] { QCoreApplication::exit(0); });
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, &burnin, [&] { progress.Redraw(); });

    progress.Redraw();
    burnin.Begin();
    if (progress.Terminal()) clock.start(250);
    if (!burnin.Ended()) QCoreApplication::exec();
    clock.stop();
    progress.Redraw(true);
    if (!burnin.ReportError().isEmpty())
        std::fprintf(stderr, "tr7042k-burnin: %s\n", burnin.ReportError().toUtf8().constData());
    std::printf(
        "%s\nОтчет: %s\n", burnin.Outcome().toUtf8().constData(),
        QDir(burnin.OutFolder()).filePath(QStringLiteral("report.html")).toUtf8().constData());
    std::fflush(stdout);
    return burnin.ExitCode();
}
