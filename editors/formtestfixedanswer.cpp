#include "editors/formtestfixedanswer.h"

#include "core/strtoint.h"
#include "core/termdefs.h"
#include "editors/fieldtypecombobox.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace tallyhost;

namespace {

TFieldTypeComboBox* HexBox(QWidget* parent, const QString& name, const QString& hint)
{
    auto* box = new TFieldTypeComboBox(parent);
    box->setObjectName(name);
    box->SetFieldType(ftdHexadecimal);
    box->setMaxLength(4);
    box->setToolTip(hint);
    box->setStatusTip(hint);
    return box;
}

std::uint16_t WordOf(const TFieldTypeComboBox* box)
{
    // "0x" + the box's text, as the main window reads it; the box lets in hex digits only.
    std::int32_t value = 0;
    TryStrToInt("0x" + box->text().toLatin1().toStdString(), value);
    return static_cast<std::uint16_t>(value);
}

} // namespace

TFormTestFixedAnswer::TFormTestFixedAnswer(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormTestFixedAnswer"));
    setWindowTitle(QStringLiteral("Test fixed answers"));

    FieldTypeComboBoxFiscal = HexBox(this, QStringLiteral("FieldTypeComboBoxFiscal"),
                                     QStringLiteral("Input hexadecimal fiscal answer value"));
    FieldTypeComboBoxPrinter = HexBox(this, QStringLiteral("FieldTypeComboBoxPrinter"),
                                      QStringLiteral("Input hexadecimal printer answer value"));
    ButtonTest = new QPushButton(QStringLiteral("&Test"), this);
    ButtonTest->setObjectName(QStringLiteral("ButtonTest"));
    ButtonTest->setDefault(true);
    ButtonTest->setEnabled(false);
    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setAutoDefault(false);

    auto* fiscalLabel = new QLabel(QStringLiteral("&Fiscal"), this);
    fiscalLabel->setBuddy(FieldTypeComboBoxFiscal);
    auto* printerLabel = new QLabel(QStringLiteral("&Printer"), this);
    printerLabel->setBuddy(FieldTypeComboBoxPrinter);
    auto* form = new QGridLayout;
    form->addWidget(fiscalLabel, 0, 0);
    form->addWidget(FieldTypeComboBoxFiscal, 1, 0);
    form->addWidget(printerLabel, 0, 1);
    form->addWidget(FieldTypeComboBoxPrinter, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonTest);
    buttons->addWidget(ButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(FieldTypeComboBoxFiscal, &TFieldTypeComboBox::Change, this,
            &TFormTestFixedAnswer::FieldTypeComboBoxFiscalChange);
    connect(FieldTypeComboBoxPrinter, &TFieldTypeComboBox::Change, this,
            &TFormTestFixedAnswer::FieldTypeComboBoxFiscalChange);
    connect(ButtonTest, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormTestFixedAnswer::ButtonCancelClick);
}

std::uint16_t TFormTestFixedAnswer::FiscalWord() const
{
    return WordOf(FieldTypeComboBoxFiscal);
}

std::uint16_t TFormTestFixedAnswer::PrinterWord() const
{
    return WordOf(FieldTypeComboBoxPrinter);
}

void TFormTestFixedAnswer::FieldTypeComboBoxFiscalChange()
{
    ButtonTest->setEnabled(!FieldTypeComboBoxFiscal->text().isEmpty() &&
                           !FieldTypeComboBoxPrinter->text().isEmpty());
}

void TFormTestFixedAnswer::ButtonCancelClick()
{
    reject();
}
