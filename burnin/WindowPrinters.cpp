#include "WindowPrinters.h"

#include <QHeaderView>

TPrinterList::TPrinterList(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("Printers"));
    setAccessibleName(QStringLiteral("Принтеры"));
    setHeaderLabels({QStringLiteral("Порт"), QStringLiteral("Скорость"),
                     QStringLiteral("Заводской №"), QStringLiteral("Фискальный №"),
                     QStringLiteral("Версия ПО"), QStringLiteral("Примечание")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(true);
    connect(this, &QTreeWidget::itemChanged, this, [this] { emit TicksChanged(); });
}

void TPrinterList::Show(const QList<TProbedPort>& ports) {
    const QSignalBlocker quiet(this);
    clear();
    Ports = ports;
    for (const TProbedPort& port : ports) {
        auto* row = new QTreeWidgetItem(this);
        row->setData(PortColumn, Qt::UserRole, port.Name);
        row->setText(PortColumn, port.Name);
        if (port.Printer()) {
            row->setText(RateColumn, QStringLiteral("%1 бод").arg(port.Baud));
            row->setText(FactoryColumn, port.Factory);
            row->setText(FiscalColumn, port.Fiscal);
            row->setText(VersionColumn, port.Version);
            row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            row->setCheckState(PortColumn, Qt::Checked);
            row->setText(NoteColumn, port.Reason);
            row->setToolTip(NoteColumn, port.Reason);
        } else {
            // Nothing to tick: greyed, the reason across the whole row, so a long one is read
            // whole rather than cut at the last column.
            row->setFlags(Qt::NoItemFlags);
            row->setText(PortColumn, QStringLiteral("%1    %2").arg(port.Name, port.Reason));
            row->setText(NoteColumn, port.Reason);
            row->setToolTip(PortColumn, port.Reason);
        }
    }
    for (int i = 0; i < topLevelItemCount(); ++i)
        topLevelItem(i)->setFirstColumnSpanned(!ports[i].Printer());
    for (int column = 0; column < NoteColumn; ++column)
        resizeColumnToContents(column);
    if (topLevelItemCount() > 0) setCurrentItem(topLevelItem(0));
    emit TicksChanged();
}

QList<TProbedPort> TPrinterList::Ticked() const {
    QList<TProbedPort> ticked;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (Ports[i].Printer() && topLevelItem(i)->checkState(PortColumn) == Qt::Checked)
            ticked << Ports[i];
    return ticked;
}

int TPrinterList::Printers() const {
    return int(std::count_if(Ports.begin(), Ports.end(),
                             [](const TProbedPort& port) { return port.Printer(); }));
}

void TPrinterList::Lock(bool locked) {
    const QSignalBlocker quiet(this);
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (Ports[i].Printer())
            topLevelItem(i)->setFlags(locked ? Qt::ItemIsEnabled | Qt::ItemIsSelectable
                                             : Qt::ItemIsEnabled | Qt::ItemIsSelectable |
                                                   Qt::ItemIsUserCheckable);
}
