#pragma once

#include "gui/hint.h"

#include <QBoxLayout>
#include <QDialog>
#include <QPushButton>
#include <QString>

#include <initializer_list>

// The frame the list editors share (field lists, status records, return codes): the list
// above, a row of Add, Modify and Remove below it and, apart from them, Close. Close is the
// default button, so Enter and Escape both close; the others never take Enter from the list.
struct TListEditorHints
{
    QString Add;
    QString Modify;
    QString Remove;
};

// Builds the frame around `list` (a grid or the pages of grids) as `dialog`'s layout, sets the
// dialog's ButtonAdd, ButtonModify, ButtonRemove and ButtonClose and connects them to its
// ButtonAddClick ... ButtonCloseClick. `more` are placed after Remove.
template <class Dialog>
void BuildListEditorFrame(Dialog* dialog, QWidget* list, const TListEditorHints& hints,
                          std::initializer_list<QPushButton*> more = {})
{
    const auto button = [dialog](const QString& caption, const QString& hint) {
        auto* b = new QPushButton(caption, dialog);
        SetHint(b, hint);
        b->setAutoDefault(false);
        return b;
    };
    dialog->ButtonAdd = button(QStringLiteral("&Add"), hints.Add);
    dialog->ButtonModify = button(QStringLiteral("&Modify"), hints.Modify);
    dialog->ButtonRemove = button(QStringLiteral("&Remove"), hints.Remove);
    dialog->ButtonClose = button(QStringLiteral("&Close"), QStringLiteral("Close dialog"));
    dialog->ButtonClose->setDefault(true);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {dialog->ButtonAdd, dialog->ButtonModify, dialog->ButtonRemove})
        buttons->addWidget(b);
    for (QPushButton* b : more) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    buttons->addWidget(dialog->ButtonClose);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(list, 1);
    layout->addLayout(buttons);

    QObject::connect(dialog->ButtonAdd, &QPushButton::clicked, dialog, &Dialog::ButtonAddClick);
    QObject::connect(dialog->ButtonModify, &QPushButton::clicked, dialog,
                     &Dialog::ButtonModifyClick);
    QObject::connect(dialog->ButtonRemove, &QPushButton::clicked, dialog,
                     &Dialog::ButtonRemoveClick);
    QObject::connect(dialog->ButtonClose, &QPushButton::clicked, dialog, &Dialog::ButtonCloseClick);
}
