#pragma once

#include <QString>

#include <exception>
#include <functional>

class QWidget;

// The console's modal boxes and the save-file prompt.
//
// Tests replace the boxes and the prompt with recorders (SetMessageSink, SetQuestionAnswerer,
// SetSaveFilePrompt); the program itself never changes them, so it always shows the real boxes
// and dialogs.

// Plain modal message box: the text and one OK button. The caller goes on once it is closed.
void ShowMessage(const QString& text);

// The box for an exception that escaped an event handler: the exception's text, one OK button.
// The program goes on afterwards.
void ShowException(const std::exception& error);
void ShowException(const QString& text);

// Receives the text of every message box and exception box instead of showing it.
// An empty function puts the real boxes back.
using MessageSink = std::function<void(const QString& text)>;
void SetMessageSink(MessageSink sink);

// Modal question box with the buttons "Да" and "Нет": true when the user answers yes. Enter
// answers yes, Escape no.
bool AskYesNo(const QString& text);

// Answers every question instead of the user; an empty function puts the real box back.
using QuestionAnswerer = std::function<bool(const QString& text)>;
void SetQuestionAnswerer(QuestionAnswerer answerer);

// Asks for the name of a file to write. Gives the chosen name, or an empty text when the user
// cancels. The dialog asks before an existing file is replaced.
QString PromptSaveFileName(QWidget* parent, const QString& filter);

// Replaces the save-file prompt; an empty function puts the real dialog back.
using SaveFilePrompt = std::function<QString(QWidget* parent, const QString& filter)>;
void SetSaveFilePrompt(SaveFilePrompt prompt);
