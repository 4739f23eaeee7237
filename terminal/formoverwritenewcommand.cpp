#include "terminal/formoverwritenewcommand.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TFormOverwriteNewCommand::TFormOverwriteNewCommand(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Warning"));
    setModal(true);

    auto* picture = new QLabel(this);
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size));
    auto* text = new QLabel(tr("Command already exists, choose action"), this);

    ButtonOver = new QPushButton(tr("&Overwrite"), this);
    ButtonOver->setToolTip(tr("Overwrite command name"));
    ButtonNew = new QPushButton(tr("&New"), this);
    ButtonNew->setToolTip(tr("New command name"));
    ButtonCancel = new QPushButton(tr("&Cancel"), this);
    ButtonCancel->setToolTip(tr("Cancel paste"));
    // Cancel is the default: Enter and Escape both leave the destination alone.
    ButtonOver->setAutoDefault(false);
    ButtonNew->setAutoDefault(false);
    ButtonCancel->setDefault(true);

    connect(ButtonOver, &QPushButton::clicked, this, [this] { done(mrOverwrite); });
    connect(ButtonNew, &QPushButton::clicked, this, [this] { done(mrNew); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonOver);
    buttons->addWidget(ButtonNew);
    buttons->addWidget(ButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
}
