#pragma once

#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>

// A printer's journal as it grows, in a window of its own: read-only, the lines its console
// appends shown as they come (the file is Windows-1251 with CR LF line ends). It follows the
// file to its new path when the printer's folder is named, and starts again should the file
// be written anew.
class TJournalViewer : public QWidget {
    Q_OBJECT

public:
    TJournalViewer(const QString& title, const QString& path, QWidget* parent = nullptr);

    void SetPath(const QString& path);
    QString Text() const { return View->toPlainText(); }
    // Reads what the file gained; called every few tenths of a second.
    void Reload();

private:
    QPlainTextEdit* View;
    QTimer Poll;
    QString Path;
    qint64 Offset = 0;  // bytes of the file read so far
    QByteArray Partial; // the end of a line not yet written whole
};
