#include "JournalViewer.h"

#include "Cp1251.h"

#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

constexpr int PollMs = 300;

} // namespace

TJournalViewer::TJournalViewer(const QString& title, const QString& path, QWidget* parent)
    : QWidget(parent, Qt::Window), Path(path) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Журнал %1").arg(title));
    View = new QPlainTextEdit(this);
    View->setObjectName(QStringLiteral("Journal"));
    View->setAccessibleName(QStringLiteral("Журнал теста"));
    View->setReadOnly(true);
    View->setLineWrapMode(QPlainTextEdit::NoWrap);
    View->setPlaceholderText(QStringLiteral("Журнал еще не начат"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(View);
    // A viewer closes with Escape, like a dialog.
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    resize(640, 480);
    connect(&Poll, &QTimer::timeout, this, &TJournalViewer::Reload);
    Poll.start(PollMs);
    Reload();
}

void TJournalViewer::SetPath(const QString& path) {
    // The same file under its new name: what was read stays read.
    Path = path;
}

void TJournalViewer::Reload() {
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly)) return;
    if (file.size() < Offset) {
        // Written anew: read from its start.
        View->clear();
        Offset = 0;
        Partial.clear();
    }
    if (file.size() == Offset || !file.seek(Offset)) return;
    const QByteArray bytes = file.readAll();
    Offset += bytes.size();
    Partial += bytes;
    const qsizetype end = Partial.lastIndexOf('\n');
    if (end < 0) return;
    QByteArray lines = Partial.left(end);
    Partial.remove(0, end + 1);
    // CR LF inside is one line break to the text view; the last line's CR is dropped here.
    if (lines.endsWith('\r')) lines.chop(1);
    QScrollBar* bar = View->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    View->appendPlainText(FromCp1251(lines));
    if (atEnd) bar->setValue(bar->maximum());
}
