#include "WindowSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {

constexpr int ListedPasses = 10;      // the console's list offers 1 to 10
constexpr int MostDigits = 999999999; // the command line takes up to nine digits

} // namespace

TSettingsBox::TSettingsBox(const TOptions& options, QWidget* parent)
    : QGroupBox(QStringLiteral("Параметры теста"), parent) {
    Passes = new QComboBox(this);
    Passes->setObjectName(QStringLiteral("Passes"));
    Passes->setEditable(true);
    for (int n = 1; n <= ListedPasses; ++n)
        Passes->addItem(QString::number(n));
    Passes->setValidator(new QIntValidator(1, MostDigits, Passes));
    Passes->setEditText(QString::number(options.Passes));

    Delay = new QSpinBox(this);
    Delay->setObjectName(QStringLiteral("Delay"));
    Delay->setRange(0, MostDigits);
    Delay->setSingleStep(100);
    Delay->setValue(options.Delay);

    NoFiscal = new QCheckBox(QStringLiteral("&Без фискальных чеков и Z-отчета"), this);
    NoFiscal->setObjectName(QStringLiteral("NoFiscal"));
    NoFiscal->setChecked(options.NoFiscal);

    Folder = new QLineEdit(options.Out, this);
    Folder->setObjectName(QStringLiteral("OutFolder"));
    Folder->setPlaceholderText(QStringLiteral("новая папка burnin-ГГГГ-ММ-ДД-ЧЧММСС в %1")
                                   .arg(QDir::toNativeSeparators(QDir::currentPath())));
    Choose = new QPushButton(QStringLiteral("&Выбрать..."), this);
    Choose->setObjectName(QStringLiteral("ChooseFolder"));
    connect(Choose, &QPushButton::clicked, this, &TSettingsBox::ChooseFolder);

    auto* form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    auto* passesLabel = new QLabel(QStringLiteral("&Проходов теста:"), this);
    passesLabel->setBuddy(Passes);
    auto* passesRow = new QHBoxLayout;
    passesRow->addWidget(Passes);
    passesRow->addSpacing(24);
    auto* delayLabel = new QLabel(QStringLiteral("&Задержка (мс) между подтестами:"), this);
    delayLabel->setBuddy(Delay);
    passesRow->addWidget(delayLabel);
    passesRow->addWidget(Delay);
    passesRow->addSpacing(24);
    passesRow->addWidget(NoFiscal);
    passesRow->addStretch(1);
    form->addRow(passesLabel, passesRow);
    auto* folderLabel = new QLabel(QStringLiteral("Папка &результатов:"), this);
    folderLabel->setBuddy(Folder);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(Folder, 1);
    folderRow->addWidget(Choose);
    form->addRow(folderLabel, folderRow);
}

bool TSettingsBox::Read(TOptions& options, QString& error) const {
    bool number = false;
    const int passes = Passes->currentText().trimmed().toInt(&number);
    if (!number || passes < 1) {
        error = QStringLiteral("Неверное количество проходов: «%1». Нужно целое число от 1.")
                    .arg(Passes->currentText());
        return false;
    }
    options.Passes = passes;
    options.Delay = Delay->value();
    options.NoFiscal = NoFiscal->isChecked();
    options.Out = Folder->text().trimmed();
    return true;
}

void TSettingsBox::Lock(bool locked) {
    for (QWidget* field : std::initializer_list<QWidget*>{Passes, Delay, NoFiscal, Folder, Choose})
        field->setEnabled(!locked);
}

void TSettingsBox::ChooseFolder() {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Папка результатов"),
        Folder->text().isEmpty() ? QDir::currentPath() : Folder->text());
    if (!chosen.isEmpty()) Folder->setText(QDir::toNativeSeparators(chosen));
}
