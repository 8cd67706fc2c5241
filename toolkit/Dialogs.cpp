#include "Dialogs.h"

#include "Accessible.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

MessageSink& Sink() {
    static MessageSink sink;
    return sink;
}

QuestionAnswerer& Answerer() {
    static QuestionAnswerer answerer;
    return answerer;
}

SaveFilePrompt& Prompt() {
    static SaveFilePrompt prompt;
    return prompt;
}

// The boxes carry the program's short name in their caption, like every box of the console.
const QString BoxCaption = QStringLiteral("TR7042K");

// Shows a box over the active window, modal for the whole program, once its buttons are in.
int RunBox(QMessageBox& box) {
    box.setWindowModality(Qt::ApplicationModal);
    // A screen reader announces the box by its caption; the description carries the message.
    box.setAccessibleDescription(box.text());
    GiveAccessibleNames(&box);
    return box.exec();
}

void ShowBox(const QString& text, QMessageBox::Icon icon) {
    if (Sink()) {
        Sink()(text);
        return;
    }
    QMessageBox box(icon, BoxCaption, text, QMessageBox::Ok, QApplication::activeWindow());
    RunBox(box);
}

} // namespace

void ShowMessage(const QString& text) {
    ShowBox(text, QMessageBox::NoIcon);
}

void ShowException(const QString& text) {
    ShowBox(text, QMessageBox::Critical);
}

void ShowException(const std::exception& error) {
    // Exceptions of the console carry UTF-8 text.
    ShowException(QString::fromUtf8(error.what()));
}

void SetMessageSink(MessageSink sink) {
    Sink() = std::move(sink);
}

bool AskYesNo(const QString& text) {
    if (Answerer()) return Answerer()(text);
    QMessageBox box(QMessageBox::Question, BoxCaption, text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    RunBox(box);
    return box.clickedButton() == yes;
}

void SetQuestionAnswerer(QuestionAnswerer answerer) {
    Answerer() = std::move(answerer);
}

QString PromptSaveFileName(QWidget* parent, const QString& filter) {
    if (Prompt()) return Prompt()(parent, filter);
    // Default options: the dialog asks before replacing an existing file and adds no extension.
    return QFileDialog::getSaveFileName(parent, QString(), QString(), filter);
}

void SetSaveFilePrompt(SaveFilePrompt prompt) {
    Prompt() = std::move(prompt);
}
