#include "WindowRun.h"

#include <QHeaderView>
#include <QStyledItemDelegate>

namespace {

// A verdict keeps its colour in the selected row too: the selection would otherwise paint over
// the one thing the technician looks for.
class TVerdictDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(Qt::BackgroundRole).isValid()) option->state &= ~QStyle::State_Selected;
    }
};

} // namespace

QColor VerdictColour(const QString& verdict) {
    if (verdict == QLatin1String("passed")) return QColor(0x2e, 0x7d, 0x32);
    if (verdict == QLatin1String("failed")) return QColor(0xc6, 0x28, 0x28);
    if (verdict == QLatin1String("not fit")) return QColor(0xe6, 0x51, 0x00);
    if (verdict == QLatin1String("no line")) return QColor(0x55, 0x55, 0x55);
    if (verdict == QLatin1String("stopped")) return QColor(0x15, 0x65, 0xc0);
    return QColor();
}

TRunTable::TRunTable(QWidget* parent) : QTableWidget(parent) {
    setObjectName(QStringLiteral("Runs"));
    setAccessibleName(QStringLiteral("Ход теста"));
    setColumnCount(Columns);
    setHorizontalHeaderLabels({QStringLiteral("Порт"), QStringLiteral("Заводской №"),
                               QStringLiteral("Проход"), QStringLiteral("Шаг"),
                               QStringLiteral("Ошибок"), QStringLiteral("Время"),
                               QStringLiteral("Итог"), QStringLiteral("Примечание")});
    setEditTriggers(NoEditTriggers);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView* columns = horizontalHeader();
    columns->setStretchLastSection(true);
    columns->setHighlightSections(false); // a selected row would turn every heading bold
    columns->setSectionResizeMode(StepColumn, QHeaderView::Interactive);
    const int letter = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    // Widths for what the columns hold at most: "/dev/ttyUSB0", "TR00012345", "10 из 10",
    // a step's title, "9999", "1:00:00", "остановлен".
    const int widths[] = {12, 13, 9, 38, 8, 9, 13};
    for (int column = 0; column < NoteColumn; ++column)
        setColumnWidth(column, widths[column] * letter);
    setItemDelegateForColumn(VerdictColumn, new TVerdictDelegate(this));
    setToolTip(QStringLiteral("Двойной щелчок по строке открывает журнал принтера"));
}

void TRunTable::Reset(const QList<TPrinterRecord>& printers, int passes) {
    Passes = passes;
    clearContents();
    setRowCount(int(printers.size()));
    for (int row = 0; row < printers.size(); ++row)
        Show(row, printers[row]);
    // A device path may be longer than COMn.
    resizeColumnToContents(PortColumn);
    setColumnWidth(PortColumn, std::max(columnWidth(PortColumn),
                                        8 * fontMetrics().horizontalAdvance(QLatin1Char('0'))));
}

void TRunTable::Put(int row, int column, const QString& text) {
    QTableWidgetItem* cell = item(row, column);
    if (!cell) {
        cell = new QTableWidgetItem;
        if (column == FailedColumn || column == TimeColumn)
            cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (column == PassColumn || column == VerdictColumn)
            cell->setTextAlignment(Qt::AlignCenter);
        setItem(row, column, cell);
    }
    if (cell->text() != text) cell->setText(text);
    cell->setToolTip(column == StepColumn || column == NoteColumn ? text : QString());
}

void TRunTable::Show(int row, const TPrinterRecord& p) {
    const QDateTime end = p.Ended.isValid() ? p.Ended : QDateTime::currentDateTime();
    const qint64 seconds = p.Started.isValid() ? std::max<qint64>(0, p.Started.secsTo(end)) : 0;
    Put(row, PortColumn, p.Port.Name);
    Put(row, FactoryColumn, p.Factory);
    Put(row, PassColumn,
        p.Pass > 0 ? QStringLiteral("%1 из %2").arg(p.Pass).arg(Passes) : QString());
    Put(row, StepColumn, p.LineLost ? QStringLiteral("связь потеряна") : p.Step);
    Put(row, FailedColumn, QString::number(p.FailedCommands()));
    Put(row, TimeColumn, p.Started.isValid() ? Elapsed(seconds) : QString());
    Put(row, VerdictColumn, VerdictWord(p.Verdict));
    Put(row, NoteColumn, !p.Trouble.isEmpty() ? p.Trouble : p.Reason);
    QTableWidgetItem* verdict = item(row, VerdictColumn);
    const QColor colour = VerdictColour(p.Verdict);
    verdict->setBackground(colour.isValid() ? QBrush(colour) : QBrush());
    verdict->setForeground(colour.isValid() ? QBrush(Qt::white) : QBrush());
    QFont bold = font();
    bold.setBold(colour.isValid());
    verdict->setFont(bold);
}
