#include "Window.h"

#include "Accessible.h"
#include "Dialogs.h"
#include "JournalViewer.h"
#include "Places.h"
#include "System.h"
#include "WindowPrinters.h"
#include "WindowRun.h"
#include "WindowSettings.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// A reason as a sentence of its own: "в папке ..." becomes "В папке ...".
QString Sentence(const QString& text) {
    return text.isEmpty() ? text : text.left(1).toUpper() + text.mid(1);
}

// The colour of the outcome: that of the verdict its exit code stands for.
QColor OutcomeColour(int exitCode) {
    switch (exitCode) {
    case 0:
        return VerdictColour(QStringLiteral("passed"));
    case 1:
        return VerdictColour(QStringLiteral("failed"));
    case 2:
        return VerdictColour(QStringLiteral("not fit"));
    default:
        return VerdictColour(QStringLiteral("stopped"));
    }
}

QPushButton* Button(const QString& caption, const char* name, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

} // namespace

TBenchWindow::TBenchWindow(const TOptions& options, const QString& console,
                           const QString& portsTool)
    : Given(options), Console(console), Probe(portsTool) {
    setWindowTitle(QStringLiteral("Проверка партии принтеров TR7042K"));
    // The console's forms are drawn at 8 points.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    auto* printersBox = new QGroupBox(QStringLiteral("Принтеры"), this);
    Printers = new TPrinterList(printersBox);
    RefreshButton = Button(QStringLiteral("&Обновить"), "Refresh", printersBox);
    Busy = new QProgressBar(printersBox);
    Busy->setRange(0, 0); // moving to and fro: the probe's length is not known
    Busy->setMaximumWidth(120);
    Busy->setTextVisible(false);
    Busy->hide();
    Status = new QLabel(printersBox);
    Status->setObjectName(QStringLiteral("Status"));
    Status->setWordWrap(true);
    auto* probeRow = new QHBoxLayout;
    probeRow->addWidget(RefreshButton);
    probeRow->addWidget(Busy);
    probeRow->addWidget(Status, 1);
    auto* printersLayout = new QVBoxLayout(printersBox);
    printersLayout->addWidget(Printers, 1);
    printersLayout->addLayout(probeRow);

    Settings = new TSettingsBox(options, this);

    auto* runBox = new QGroupBox(QStringLiteral("Ход теста"), this);
    Runs = new TRunTable(runBox);
    Outcome = new QLabel(runBox);
    Outcome->setObjectName(QStringLiteral("Outcome"));
    Outcome->setWordWrap(true);
    Outcome->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* runLayout = new QVBoxLayout(runBox);
    runLayout->addWidget(Runs, 1);
    runLayout->addWidget(Outcome);

    StartButton = Button(QStringLiteral("&Старт"), "Start", this);
    StopButton = Button(QStringLiteral("С&топ"), "Stop", this);
    ReportButton = Button(QStringLiteral("Открыть отч&ет"), "OpenReport", this);
    FolderButton = Button(QStringLiteral("Открыть п&апку"), "OpenFolder", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(StartButton);
    buttons->addWidget(StopButton);
    buttons->addStretch(1);
    buttons->addWidget(ReportButton);
    buttons->addWidget(FolderButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(printersBox, 2);
    layout->addWidget(Settings);
    layout->addWidget(runBox, 3);
    layout->addLayout(buttons);
    setTabOrder(Printers, RefreshButton);
    setTabOrder(RefreshButton, Settings);
    setTabOrder(Settings, Runs);
    setTabOrder(Runs, StartButton);
    setTabOrder(StartButton, StopButton);
    setTabOrder(StopButton, ReportButton);
    setTabOrder(ReportButton, FolderButton);
    GiveAccessibleNames(this);
    // Wide enough for the steps' titles and the reasons, where the screen has the room.
    const QRect screen = this->screen()->availableGeometry();
    resize(std::min(1200, screen.width() - 40), std::min(720, screen.height() - 60));

    connect(RefreshButton, &QPushButton::clicked, this, &TBenchWindow::Refresh);
    connect(StartButton, &QPushButton::clicked, this, &TBenchWindow::Start);
    connect(StopButton, &QPushButton::clicked, this, &TBenchWindow::Stop);
    connect(ReportButton, &QPushButton::clicked, this, [this] {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(ReportPath())))
            ShowMessage(QStringLiteral("Не удалось открыть %1").arg(ReportPath()));
    });
    connect(FolderButton, &QPushButton::clicked, this, [this] {
        const QString folder = Burnin ? Burnin->OutFolder() : QString();
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
            ShowMessage(QStringLiteral("Не удалось открыть папку %1").arg(folder));
    });
    connect(Printers, &TPrinterList::TicksChanged, this, &TBenchWindow::UpdateButtons);
    connect(Runs, &QAbstractItemView::activated, this,
            [this](const QModelIndex& index) { OpenJournal(index.row()); });
    connect(&Probe, &TPortProbe::Done, this, &TBenchWindow::Probed);
    connect(&Clock, &QTimer::timeout, this, [this] {
        for (int row = 0; Burnin && row < Burnin->Printers().size(); ++row)
            if (!Burnin->Printers()[row].Ended.isValid()) Runs->Show(row, Burnin->Printers()[row]);
    });
    UpdateButtons();
    QTimer::singleShot(0, this, &TBenchWindow::Refresh);
}

TBenchWindow::~TBenchWindow() = default;

void TBenchWindow::Refresh() {
    if (Probe.Running() || (Burnin && Burnin->Running())) return;
    QStringList ports;
    for (const TPort& port : Given.Ports)
        ports << port.Name;
    Printers->Show({});
    Probe.Begin(ports);
    Busy->show();
    Say(ports.isEmpty() ? QStringLiteral("Поиск принтеров на всех портах...")
                        : QStringLiteral("Поиск принтеров на портах %1...")
                              .arg(ports.join(QStringLiteral(", "))));
    UpdateButtons();
}

void TBenchWindow::Probed(const QList<TProbedPort>& ports, const QString& trouble) {
    Busy->hide();
    Printers->Show(ports);
    if (!trouble.isEmpty())
        Say(QStringLiteral("Принтеры не найдены: %1").arg(trouble), true);
    else
        Say(QStringLiteral("Найдено принтеров: %1 (портов проверено: %2).")
                .arg(Printers->Printers())
                .arg(ports.size()),
            Printers->Printers() == 0);
    UpdateButtons();
}

void TBenchWindow::Start() {
    if (Probe.Running() || (Burnin && Burnin->Running())) return;
    const QList<TProbedPort> ticked = Printers->Ticked();
    if (ticked.isEmpty()) {
        ShowMessage(QStringLiteral("Не отмечен ни один принтер: отметьте принтеры, которые надо "
                                   "проверить, или найдите их заново кнопкой «Обновить»."));
        return;
    }
    TOptions options = Given;
    options.Ports.clear();
    QString error;
    bool ok = Settings->Read(options, error);
    for (int i = 0; ok && i < ticked.size(); ++i) {
        TPort port;
        ok = ParsePort(ticked[i].Name, port, error);
        port.Baud = ticked[i].Baud; // run at the rate it answered at
        ok = ok && AddPort(options, port, error);
    }
    if (ok && (Console.isEmpty() || !QFileInfo(Console).isExecutable())) {
        error = ConsoleMissing();
        ok = false;
    }
    ok = ok && MakeOutFolder(options.Out, error);
    if (!ok) {
        ShowMessage(Sentence(error));
        return;
    }
    for (auto& [row, viewer] : Viewers)
        if (viewer) viewer->close();
    Viewers.clear();
    Burnin = std::make_unique<TBurnin>(options, options.Out, Console);
    connect(Burnin.get(), &TBurnin::PrinterChanged, this, &TBenchWindow::Changed);
    connect(Burnin.get(), &TBurnin::Stopping, this, &TBenchWindow::Stopping);
    connect(Burnin.get(), &TBurnin::Finished, this, &TBenchWindow::Finished);
    Runs->Reset(Burnin->Printers(), options.Passes);
    Printers->Lock(true);
    Settings->Lock(true);
    Outcome->clear();
    StopButton->setText(QStringLiteral("С&топ"));
    Say(QStringLiteral("Тест идет: результаты в %1").arg(QDir::toNativeSeparators(options.Out)));
    Clock.start(1000);
    Burnin->Begin();
    UpdateButtons();
}

void TBenchWindow::Stop() {
    if (Burnin) Burnin->StopsArrived(1);
}

void TBenchWindow::StopsArrived(int stops) {
    if (Burnin && Burnin->Running())
        Burnin->StopsArrived(stops);
    else
        close();
}

void TBenchWindow::Changed(int index, const QString& event) {
    const TPrinterRecord& printer = Burnin->Printers()[index];
    Runs->Show(index, printer);
    const auto viewer = Viewers.find(index);
    if (viewer != Viewers.end() && viewer->second)
        viewer->second->SetPath(Burnin->JournalOf(index));
    if (!event.isEmpty() && Burnin->Stops() == 0)
        Say(QStringLiteral("%1: %2").arg(printer.Title(), event));
}

void TBenchWindow::Stopping(int stops) {
    Say(stops == 1 ? QStringLiteral("Остановка: каждый принтер остановится на ближайшей "
                                    "контрольной точке теста. Еще раз «Стоп» - сразу.")
                   : QStringLiteral("Остановка сразу: записывается то, что уже в журналах."));
    StopButton->setText(QStringLiteral("С&топ сразу"));
    UpdateButtons();
}

void TBenchWindow::Finished() {
    Clock.stop();
    for (int row = 0; row < Burnin->Printers().size(); ++row)
        Changed(row, QString());
    Printers->Lock(false);
    Settings->Lock(false);
    StopButton->setText(QStringLiteral("С&топ"));
    QString text = QStringLiteral("<b>%1</b><br>Отчет: %2")
                       .arg(Burnin->Outcome().toHtmlEscaped(),
                            QDir::toNativeSeparators(ReportPath()).toHtmlEscaped());
    if (!Burnin->ReportError().isEmpty())
        text += QStringLiteral("<br><span style=\"color:#b71c1c\">%1</span>")
                    .arg(Sentence(Burnin->ReportError()).toHtmlEscaped());
    Outcome->setText(text);
    QPalette palette = Outcome->palette();
    palette.setColor(QPalette::WindowText, OutcomeColour(Burnin->ExitCode()));
    Outcome->setPalette(palette);
    Say(QString());
    UpdateButtons();
    if (CloseWhenDone) close();
}

void TBenchWindow::UpdateButtons() {
    const bool running = Burnin && Burnin->Running(), probing = Probe.Running();
    RefreshButton->setEnabled(!running && !probing);
    StartButton->setEnabled(!running && !probing && !Printers->Ticked().isEmpty());
    StopButton->setEnabled(running && Burnin->Stops() < 2);
    ReportButton->setEnabled(Burnin && Burnin->Ended() && QFileInfo::exists(ReportPath()));
    FolderButton->setEnabled(Burnin != nullptr);
}

void TBenchWindow::Say(const QString& text, bool trouble) {
    Status->setText(text);
    QPalette palette = Status->palette();
    palette.setColor(QPalette::WindowText, trouble ? QColor(0xb7, 0x1c, 0x1c)
                                                   : this->palette().color(QPalette::WindowText));
    Status->setPalette(palette);
}

QString TBenchWindow::ReportPath() const {
    return Burnin ? QDir(Burnin->OutFolder()).filePath(QStringLiteral("report.html")) : QString();
}

TJournalViewer* TBenchWindow::OpenJournal(int row) {
    if (!Burnin || row < 0 || row >= Burnin->Printers().size()) return nullptr;
    QPointer<TJournalViewer>& viewer = Viewers[row];
    if (!viewer) {
        viewer = new TJournalViewer(Burnin->Printers()[row].Title(), Burnin->JournalOf(row), this);
        viewer->setFont(font());
    }
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return viewer;
}

void TBenchWindow::closeEvent(QCloseEvent* event) {
    if (!Burnin || !Burnin->Running()) {
        event->accept();
        return;
    }
    event->ignore();
    if (CloseWhenDone) {
        // Closed again while the printers stop: at once, as a second "Стоп".
        Burnin->StopsArrived(1);
        return;
    }
    if (!AskYesNo(QStringLiteral("Проверка принтеров еще идет. Остановить ее и закрыть окно?\n"
                                 "Каждый принтер остановится на ближайшей контрольной точке "
                                 "теста; журналы и отчет будут записаны.")))
        return;
    CloseWhenDone = true;
    if (Burnin->Stops() == 0) Burnin->StopsArrived(1);
}
