#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// "About ...": the logo and the product name, file version, company and copyright of this
// build, each looked up by its key so the box always matches the running program.
class TFormAboutBox : public QDialog
{
    Q_OBJECT

public:
    explicit TFormAboutBox(QWidget* parent = nullptr);

    QFrame* PanelMain = nullptr;
    QLabel* ImageProgramIcon = nullptr;
    QLabel* RxLabelProductName = nullptr;
    QLabel* RxLabelFileVersion = nullptr;
    QLabel* RxLabelCompanyName = nullptr;
    QLabel* RxLabelCopyRigths = nullptr;
    QPushButton* BitBtnOk = nullptr;

    // The version string of `key` ("ProductName", "FileVersion", "CompanyName",
    // "LegalCopyright"); empty when the build has none.
    static QString VersionText(const char* key);

private:
    void FormCreate();
};
