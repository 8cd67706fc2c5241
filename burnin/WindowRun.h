#pragma once

#include "Printer.h"

#include <QTableWidget>

// The bench window's rows of a run, one a printer, as the burn-in tells of them: port, factory
// number, pass k of N, the step now running, failed commands so far, the time it has taken and,
// at its end, the verdict in words on the report's colour.
class TRunTable : public QTableWidget {
    Q_OBJECT

public:
    enum Column {
        PortColumn,
        FactoryColumn,
        PassColumn,
        StepColumn,
        FailedColumn,
        TimeColumn,
        VerdictColumn,
        NoteColumn,
        Columns
    };

    explicit TRunTable(QWidget* parent = nullptr);

    // A new run: a row for each printer.
    void Reset(const QList<TPrinterRecord>& printers, int passes);
    void Show(int row, const TPrinterRecord& printer);

private:
    void Put(int row, int column, const QString& text);

    int Passes = 1;
};

// The report's colour of a verdict (report.html's); invalid while there is none.
QColor VerdictColour(const QString& verdict);
