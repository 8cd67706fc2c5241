#pragma once

#include "Printer.h"
#include "ui_Status.h"

#include <QDialog>

#include <cstdint>

// Lists why the device is not in the state the full test needs (no factory number, fiscal
// memory not formatted, no fiscal number, a receipt left open), one line per finding. The full
// test shows it modally; each showing asks the device again and appends its findings.
class TForm4 : public QDialog, private Ui::TForm4 {
    Q_OBJECT

public:
    explicit TForm4(QWidget* parent = nullptr);
    ~TForm4() override;

    RetData LastRetData{};  // copy of the last reply delivered to PrinterResults3
    int32_t ErrorCount = 0; // replies with an error bit since FormActivate set it to 0

    void FormActivate(QObject* Sender);
    void Button1Click(QObject* Sender);

protected:
    bool event(QEvent* event) override;

private:
    bool Activated = false; // FormActivate has run since the window was last shown
};

extern TForm4* Form4;

// Result handler of the device state window (Form4).
void PrinterResults3(RetData& reply);

// The findings for a diagnostic reply's error word, in the order they are listed.
QStringList StateFindings(uint32_t errorWord);
