#pragma once

#include "Printer.h"
#include "ui_Switches.h"

#include <QDialog>

#include <cstdint>

// Tells the technician that the device's configuration switches are set wrongly: the setting the
// device reports beside the one this model needs. The full test shows it modally when the
// switches are wrong. Each time it is shown it asks the device for the setting again.
class TForm2 : public QDialog, private Ui::TForm2 {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    RetData LastRetData{};  // copy of the last reply delivered to PrinterResults1
    int32_t ErrorCount = 0; // replies with an error bit since FormActivate set it to 0

    void FormActivate(QObject* Sender);
    void Button1Click(QObject* Sender);

protected:
    bool event(QEvent* event) override;

private:
    bool Activated = false; // FormActivate has run since the window was last shown
};

extern TForm2* Form2;

// Result handler of the switches window (Form2).
void PrinterResults1(RetData& reply);
