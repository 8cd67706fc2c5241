// The batch mode's journal and its lines to the caller (see Batch.h): every journal line goes to
// the journal file as it is added; the test's own lines are followed to tell the caller the pass,
// the step and the failed commands; the message boxes and the question are answered here.

#include "BatchRun.h"

#include "BatchSystem.h"
#include "Cp1251.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTime>

#include <cstdio>

namespace {

const QString Stars30(30, QLatin1Char('*'));
const QString Stars35(35, QLatin1Char('*'));

} // namespace

QString BatchTimeNow() {
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
}

// A journal line as the journal file holds it. The test's own lines come from the device or the
// console and always fit Windows-1251; a line of ours that does not (a device path, say) gets
// '?' for the characters the code page lacks rather than being left out.
QByteArray BatchJournalBytes(const QString& line) {
    return ToCp1251Replacing(line, false) + "\r\n";
}

QString BatchSentences(const QStringList& texts) {
    QString flat;
    for (const QString& text : texts) {
        const QString sentence = text.simplified();
        if (sentence.isEmpty()) continue;
        if (!flat.isEmpty()) flat += QStringLiteral(".:!?").contains(flat.back()) ? " " : ". ";
        flat += sentence;
    }
    return flat;
}

void TBatchRun::Own(const QString& line) {
    OwnLine = true;
    F.JournalAdd(line);
    OwnLine = false;
}

void TBatchRun::Note(const QString& text) {
    Own(BatchTimeNow() + QLatin1Char(' ') + text);
}

void TBatchRun::Tell(QStringList fields) {
    for (QString& field : fields)
        field = field.simplified(); // no tab or line feed inside a field
    const QByteArray line = (fields.join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8();
    TellBatchCaller(line.left(4000)); // one write, whole
}

void TBatchRun::TellReason(const QString& lead) {
    // Each box's text kept as it is, the boxes told apart as sentences.
    Tell({QStringLiteral("reason"), lead + BatchSentences(Said)});
}

void TBatchRun::JournalChanged() {
    // Lines are only ever appended, each one whole: write the new ones.
    const QTextDocument* document = Journal->document();
    const int count = document->isEmpty() ? 0 : document->blockCount();
    if (count < Written) Written = 0; // cleared: start again at the top
    for (QTextBlock block = document->findBlockByNumber(Written); Written < count;
         block = block.next(), ++Written) {
        const QString line = block.text();
        QString error;
        if (!AppendBatchJournal(BatchJournalBytes(line), error) && !WriteFailed) {
            WriteFailed = true;
            const QString text =
                QStringLiteral("Не удалось записать журнал %1: %2").arg(O.Journal, error);
            std::fprintf(stderr, "tr7042k-console: %s\n", text.toLocal8Bit().constData());
            Tell({QStringLiteral("message"), BatchTimeNow(), text});
        }
        if (!OwnLine) TestLine(line);
    }
}

void TBatchRun::TestLine(const QString& line) {
    // A failure is counted in the step that was running when it happened, before this line can
    // begin another step.
    CountFailures();
    static const QString passPrefix = QStringLiteral("Номер прохода теста - ");
    if (line == Stars30) {
        AfterStars = true;
    } else if (line == Stars35 || line == QLatin1String(" ")) {
        AfterStars = false;
    } else if (AfterStars) {
        AfterStars = false;
        StepTitle = line;
        Tell({QStringLiteral("step"), StepTitle});
    } else if (line.startsWith(passPrefix)) {
        PassesDone = Pass;
        Pass = line.mid(passPrefix.size()).toInt();
        StepTitle.clear();
        Tell({QStringLiteral("pass"), QString::number(Pass)});
    } else if (line == QStringLiteral("Тест Veltor TR7042K")) {
        TestBegun = true;
    } else if (line == QStringLiteral("Конец теста Veltor TR7042K")) {
        SummaryReached = true;
        PassesDone = Pass;
    } else if (line == QStringLiteral("Тест остановлен")) {
        TestStopped = true;
    }
}

void TBatchRun::CountFailures() {
    const int now = F.FailedSteps;
    if (now > Seen) {
        Failed += now - Seen;
        Tell({QStringLiteral("failed"), QString::number(Pass), StepTitle,
              QString::number(now - Seen)});
    }
    Seen = now; // back to 0 after the summary
}

void TBatchRun::Message(const QString& text) {
    // The box the technician would have had to close, as one journal line with the time.
    ++Messages;
    const QString time = BatchTimeNow();
    // One line: the box's lines become sentences of it.
    const QString flat = BatchSentences(text.split(QLatin1Char('\n'), Qt::SkipEmptyParts));
    Own(time + QStringLiteral(" Сообщение: ") + flat);
    Tell({QStringLiteral("message"), time, flat});
    Said << flat;
}

bool TBatchRun::Question(const QString& text) {
    // Only the offer to save the journal before the program ends: it is saved already.
    Note(QStringLiteral("Вопрос: %1 Ответ: нет, журнал уже записан").arg(text.simplified()));
    return false;
}
