// "Тест РРО" page: the test journal and the stop, clear and save buttons.

#include "Mainform.h"

#include "Application.h"
#include "Busy.h"
#include "Cp1251.h"
#include "Dialogs.h"

#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>

#include <stdexcept>

namespace {

// Every file matches: "*.*" would leave out names without an extension outside Windows.
#ifdef _WIN32
const char* const JournalFilter = "Все файлы (*.*)";
#else
const char* const JournalFilter = "Все файлы (*)";
#endif

// The journal as saved: Windows-1251, every line ended by CR LF; an empty journal is an empty
// file. Throws EEncodingError when a line holds a character the code page lacks.
QByteArray JournalBytes(const QTextDocument& journal) {
    QByteArray bytes;
    if (journal.isEmpty()) return bytes;
    for (QTextBlock line = journal.begin(); line.isValid(); line = line.next()) {
        bytes += ToCp1251(line.text());
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace

void TForm1::JournalAdd(const QString& line) {
    RichEdit1->appendPlainText(line);
    JournalUnsaved = true;
    QScrollBar* bar = RichEdit1->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TForm1::JournalShowEnd() {
    RichEdit1->repaint();
    QScrollBar* bar = RichEdit1->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TForm1::Button4Click(QObject*) {
    Button4->setEnabled(false);
    Button3->setEnabled(true);
    // Left enabled by a run that a disconnect stopped, the button only comes back to idle: a
    // repeated test running on another page now is not this button's to stop.
    RequestStop(*this, Button4);
}

void TForm1::Button6Click(QObject*) {
    RichEdit1->clear();
    JournalUnsaved = false;
}

void TForm1::OfferJournalSave() {
    // Asked again after a save that failed or was cancelled: only "Нет" gives the lines up.
    while (JournalUnsaved && AskYesNo(QStringLiteral("Сохранить журнал теста?")))
        RunHandler([this] { Button5Click(Button5); });
}

void TForm1::Button5Click(QObject*) {
    const QString name = PromptSaveFileName(this, QString::fromUtf8(JournalFilter));
    if (name.isEmpty()) return;
    // Everything is converted before the file is touched, and the file is written beside the
    // target and renamed into place only when complete: a save that fails leaves an existing
    // file as it was.
    const auto fail = [&name](const QString& reason) {
        throw std::runtime_error(QStringLiteral("Не удалось сохранить журнал в файл «%1»: %2")
                                     .arg(name, reason)
                                     .toStdString());
    };
    QByteArray bytes;
    try {
        bytes = JournalBytes(*RichEdit1->document());
    } catch (const EEncodingError& error) {
        fail(QString::fromUtf8(error.what()));
    }
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        fail(reason);
    }
    JournalUnsaved = false;
}
