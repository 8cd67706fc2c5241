#pragma once

#include "Options.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The bench window's settings of the test, filled from the command line: passes (1 to 10 in
// the list, as in the console, or any number typed), the delay between sub-tests, the test
// without fiscal receipts, and the output folder (empty: a new burnin-<date-time> folder).
class TSettingsBox : public QGroupBox {
    Q_OBJECT

public:
    explicit TSettingsBox(const TOptions& options, QWidget* parent = nullptr);

    // The settings into `options`; false with the reason when the passes are not a number.
    bool Read(TOptions& options, QString& error) const;
    void Lock(bool locked);

private:
    void ChooseFolder();

    QComboBox* Passes;
    QSpinBox* Delay;
    QCheckBox* NoFiscal;
    QLineEdit* Folder;
    QPushButton* Choose;
};
