#pragma once

#include <QDialog>

class QPushButton;

// The question a paste asks when the group already has a command of the pasted name:
// overwrite it, choose another name, or give up.
class TFormOverwriteNewCommand : public QDialog
{
    Q_OBJECT

public:
    // Results of the dialog (QDialog::done codes). Closing it any other way is Cancel.
    enum TResult
    {
        mrCancel = QDialog::Rejected,
        mrOverwrite = QDialog::Accepted,
        mrNew = 2
    };

    explicit TFormOverwriteNewCommand(QWidget* parent = nullptr);

    QPushButton* ButtonOver = nullptr;
    QPushButton* ButtonNew = nullptr;
    QPushButton* ButtonCancel = nullptr;
};
