#pragma once

#include "PortProbe.h"

#include <QTreeWidget>

// The bench window's list of ports as the probe found them: a printer a row with a tick box
// (ticked at first) and who it is; a port without a printer greyed, with the probe's reason.
// Each row carries its port's name as the port column's Qt::UserRole data.
class TPrinterList : public QTreeWidget {
    Q_OBJECT

public:
    enum Column { PortColumn, RateColumn, FactoryColumn, FiscalColumn, VersionColumn, NoteColumn };

    explicit TPrinterList(QWidget* parent = nullptr);

    void Show(const QList<TProbedPort>& ports);
    // The printers ticked, in the list's order.
    QList<TProbedPort> Ticked() const;
    int Printers() const;
    // While a run goes on the ticks stay as they are.
    void Lock(bool locked);

signals:
    void TicksChanged();

private:
    QList<TProbedPort> Ports; // in the rows' order
};
