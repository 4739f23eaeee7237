// The status-record, status-test and return-code dialogs, driven by clicks and keys, and the
// Options commands of the main window that open them.

#include "app/formmain.h"
#include "core/colors.h"
#include "editors/fieldtypecombobox.h"
#include "editors/formeditfixanswer.h"
#include "editors/formeditreturncode.h"
#include "editors/formtestfixedanswer.h"
#include "gui/messagebox.h"
#include "terminal/terminalwindow.h"

#include "app_fixture.h"
#include "gestures.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <algorithm>

#include <functional>

namespace {

const std::string kHead = "[General]\r\nProtocol=1\r\n";

std::string ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

void WriteFile(const QString& path, const std::string& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// Shows a dialog and makes it the active window, so that its Alt shortcuts work.
void Activate(QWidget& w)
{
    w.show();
    w.activateWindow();
    // The window system reports the activation a moment later.
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &w; }));
}

// Double-clicks a grid cell as the operator does.
void DoubleClickCell(QTableWidget* grid, int row, int column)
{
    const QRect rect = grid->visualItemRect(grid->item(row, column));
    const QPoint at = rect.isValid() ? rect.center() : QPoint(5, 5);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
}

class EditorDialogTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString Path() const { return m_dir.filePath(QStringLiteral("t.thf")); }

    QTemporaryDir m_dir;
    TRecordedDialogs m_boxes;
};

// The record dialog as the operator fills it in: panel by typing its number in the list, the
// boxes by keys, the colour by typing its name in the picker; OK by a click.
std::function<int(QDialog&)> FillRecord(QString panel, QString mask, QString result, QString text,
                                        QString color, bool* okWasDisabled = nullptr)
{
    return [=](QDialog& d) {
        auto* r = qobject_cast<TFormEditFixAnswerRecord*>(&d);
        EXPECT_NE(r, nullptr);
        if (!r)
            return int(QDialog::Rejected);
        Activate(*r);
        if (!panel.isEmpty()) {
            r->FieldTypeComboBoxPanelNumber->setFocus();
            QTest::keyClicks(r->FieldTypeComboBoxPanelNumber, panel);
        }
        QTest::keyClicks(r->FieldTypeComboBoxMask, mask);
        QTest::keyClicks(r->FieldTypeComboBoxResult, result);
        if (okWasDisabled)
            *okWasDisabled = !r->ButtonOk->isEnabled();
        QTest::keyClicks(r->FieldTypeComboBoxText, text);
        if (!color.isEmpty())
            QTest::keyClicks(r->ComboColorColor, color);
        QTest::mouseClick(r->ButtonOk, Qt::LeftButton);
        return r->result();
    };
}

TEST_F(EditorDialogTest, FixAnswerAddsModifiesAndRemovesOnTheActivePageOnly)
{
    WriteFile(Path(), kHead + "[FiscalAnswer]\r\nRecord7=7,3,0F00,0100,\"Low\",clRed\r\n"
                              "Record2=2,1,FFFF,0000,\"Idle\",clGreen\r\n[PrinterAnswer]\r\n");
    TFormEditFixAnswer dialog(Path());
    Activate(dialog);
    EXPECT_EQ(dialog.windowTitle(), "Fix answer fields");
    ASSERT_EQ(dialog.StringGridFiscal->rowCount(), 2);
    EXPECT_EQ(dialog.StringGridFiscal->item(0, 0)->text(), "3");
    EXPECT_EQ(dialog.StringGridFiscal->item(1, 3)->text(), "Idle");
    EXPECT_EQ(dialog.StringGridFiscal->horizontalHeaderItem(4)->text(), "Text color");

    // Printer page (Alt+P): empty, so Modify and Remove are off; Add by keys.
    AltKey(&dialog, Qt::Key_P);
    ASSERT_EQ(dialog.PageControl->currentIndex(), 1);
    EXPECT_FALSE(dialog.ButtonModify->isEnabled());
    EXPECT_FALSE(dialog.ButtonRemove->isEnabled());
    bool okWasDisabled = false;
    m_boxes.OnDialog = FillRecord("2", "f", "1", "Say \"hi\"", "clBlu", &okWasDisabled);
    AltKey(&dialog, Qt::Key_A);
    EXPECT_TRUE(okWasDisabled); // mask and result given, text not yet
    EXPECT_TRUE(dialog.ButtonModify->isEnabled());
    EXPECT_EQ(ReadFile(Path()), kHead + "[FiscalAnswer]\r\nRecord7=7,3,0F00,0100,\"Low\",clRed\r\n"
                                        "Record2=2,1,FFFF,0000,\"Idle\",clGreen\r\n"
                                        "[PrinterAnswer]\r\n"
                                        "Record1=1,2,000F,0001,\"Say \"\"hi\"\"\",clBlue\r\n");
    EXPECT_EQ(dialog.StringGridPrinter->item(0, 3)->text(), "Say \"hi\"");

    // Back on the Fiscal page: a double click on the second row modifies it; the records are
    // renumbered 1 and 2 in grid order.
    QTest::mouseClick(dialog.PageControl->tabBar(), Qt::LeftButton, {},
                      dialog.PageControl->tabBar()->tabRect(0).center());
    ASSERT_EQ(dialog.PageControl->currentIndex(), 0);
    m_boxes.OnDialog = [](QDialog& d) {
        auto* r = qobject_cast<TFormEditFixAnswerRecord*>(&d);
        EXPECT_EQ(r->windowTitle(), "Modify answer record");
        EXPECT_EQ(r->FieldTypeComboBoxPanelNumber->text(), "1");
        EXPECT_EQ(r->ColorName(), "clGreen");
        r->FieldTypeComboBoxText->setFocus();
        r->FieldTypeComboBoxText->lineEdit()->selectAll();
        QTest::keyClicks(r->FieldTypeComboBoxText, "Waiting");
        QTest::keyClick(r->FieldTypeComboBoxText, Qt::Key_Return); // OK is the default button
        return r->result();
    };
    DoubleClickCell(dialog.StringGridFiscal, 1, 0);
    // Erased and written again, the section now ends the file.
    const std::string printer =
        "[PrinterAnswer]\r\nRecord1=1,2,000F,0001,\"Say \"\"hi\"\"\",clBlue\r\n";
    EXPECT_EQ(ReadFile(Path()), kHead + printer +
                                    "[FiscalAnswer]\r\nRecord1=1,3,0F00,0100,\"Low\",clRed\r\n"
                                    "Record2=2,1,FFFF,0000,\"Waiting\",clGreen\r\n");

    // Remove asks first; Cancel keeps the record, OK removes it.
    dialog.StringGridFiscal->setCurrentCell(0, 0);
    m_boxes.Answers = {QMessageBox::Cancel, QMessageBox::Ok};
    QTest::mouseClick(dialog.ButtonRemove, Qt::LeftButton);
    EXPECT_EQ(dialog.StringGridFiscal->rowCount(), 2);
    QTest::mouseClick(dialog.ButtonRemove, Qt::LeftButton);
    ASSERT_EQ(m_boxes.Boxes.size(), 2u);
    EXPECT_EQ(m_boxes.Boxes[0].caption, " W A R N I N G ");
    EXPECT_EQ(m_boxes.Boxes[0].text, "Do you wish to delete this field number? 1");
    EXPECT_EQ(ReadFile(Path()),
              kHead + printer + "[FiscalAnswer]\r\nRecord1=1,1,FFFF,0000,\"Waiting\",clGreen\r\n");
}

TEST_F(EditorDialogTest, ModifyKeepsHandWrittenPanelAndColourTheOperatorDidNotTouch)
{
    WriteFile(Path(), kHead + "[FiscalAnswer]\r\nRecord1=1,20,0001,0001,\"A\",clBtnFace\r\n"
                              "Record2=2,2,0002,0002,\"B\",$0000FF00\r\n");
    TFormEditFixAnswer dialog(Path());
    Activate(dialog);
    for (int row = 0; row < 2; ++row) {
        m_boxes.OnDialog = [](QDialog& d) {
            auto* r = qobject_cast<TFormEditFixAnswerRecord*>(&d);
            r->FieldTypeComboBoxText->setFocus();
            QTest::keyClick(r->FieldTypeComboBoxText, Qt::Key_End);
            QTest::keyClicks(r->FieldTypeComboBoxText, "!");
            QTest::mouseClick(r->ButtonOk, Qt::LeftButton);
            return r->result();
        };
        dialog.StringGridFiscal->setCurrentCell(row, 0);
        AltKey(&dialog, Qt::Key_M);
    }
    EXPECT_EQ(ReadFile(Path()), kHead +
                                    "[FiscalAnswer]\r\nRecord1=1,20,0001,0001,\"A!\",clBtnFace\r\n"
                                    "Record2=2,2,0002,0002,\"B!\",$0000FF00\r\n");

    // Picking a colour of the sixteen replaces the hand-written one.
    m_boxes.OnDialog = [](QDialog& d) {
        auto* r = qobject_cast<TFormEditFixAnswerRecord*>(&d);
        EXPECT_EQ(r->ComboColorColor->count(), 17);
        EXPECT_EQ(r->ComboColorColor->currentText(), "clBtnFace");
        r->ComboColorColor->setFocus();
        QTest::keyClicks(r->ComboColorColor, "clYel");
        QTest::mouseClick(r->ButtonOk, Qt::LeftButton);
        return r->result();
    };
    dialog.StringGridFiscal->setCurrentCell(0, 0);
    QTest::mouseClick(dialog.ButtonModify, Qt::LeftButton);
    EXPECT_NE(ReadFile(Path()).find("Record1=1,20,0001,0001,\"A!\",clYellow\r\n"),
              std::string::npos);
}

TEST_F(EditorDialogTest, RecordDialogIsFixedSizeAndDrawsItsColours)
{
    TFormEditFixAnswerRecord r;
    EXPECT_EQ(r.windowTitle(), "Add answer record");
    EXPECT_EQ(r.minimumSize(), r.maximumSize());
    EXPECT_EQ(r.FieldTypeComboBoxPanelNumber->count(), 16);
    EXPECT_EQ(r.FieldTypeComboBoxPanelNumber->currentIndex(), -1);
    ASSERT_EQ(r.ComboColorColor->count(), 16);
    EXPECT_EQ(r.ColorName(), "clBlack");
    // Each item carries a swatch painted in its colour (clRed is the tenth).
    const QImage swatch = r.ComboColorColor->itemIcon(9).pixmap(16, 12).toImage();
    EXPECT_EQ(QColor(swatch.pixel(8, 6)), QColor(255, 0, 0));
    EXPECT_EQ(r.ComboColorColor->itemText(9), "clRed");
    EXPECT_FALSE(r.ButtonOk->isEnabled());
}

TEST_F(EditorDialogTest, ARefusedWriteShowsTheErrorAndTheFileAsItIs)
{
    const std::string bytes = kHead + "[FiscalAnswer]\r\nRecord1=1,1,0001,0001,\"A\",clRed\r\n";
    WriteFile(Path(), bytes);
    TFormEditFixAnswer dialog(Path());
    Activate(dialog);
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    QFile::setPermissions(Path(), QFile::ReadOwner);
    m_boxes.OnDialog = FillRecord("4", "8", "8", "New", "");
    QTest::mouseClick(dialog.ButtonAdd, Qt::LeftButton);
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(Path(), QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_EQ(m_boxes.Boxes.size(), 1u);
    EXPECT_EQ(m_boxes.Boxes[0].text, "Unable to write to " + Path());
    EXPECT_EQ(dialog.StringGridFiscal->rowCount(), 1);
    EXPECT_EQ(dialog.StringGridFiscal->item(0, 3)->text(), "A");
    EXPECT_EQ(ReadFile(Path()), bytes);
}

TEST_F(EditorDialogTest, TestDialogEnablesTestOnlyWithBothWords)
{
    TFormTestFixedAnswer d;
    Activate(d);
    EXPECT_EQ(d.windowTitle(), "Test fixed answers");
    EXPECT_FALSE(d.ButtonTest->isEnabled());
    AltKey(&d, Qt::Key_F);
    QTest::keyClicks(d.FieldTypeComboBoxFiscal, "1g");
    EXPECT_EQ(d.FieldTypeComboBoxFiscal->text(), "1");
    EXPECT_FALSE(d.ButtonTest->isEnabled());
    AltKey(&d, Qt::Key_P);
    QTest::keyClicks(d.FieldTypeComboBoxPrinter, "0");
    EXPECT_TRUE(d.ButtonTest->isEnabled());
    EXPECT_EQ(d.FiscalWord(), 0x0001);
    EXPECT_EQ(d.PrinterWord(), 0x0000);
    QTest::mouseClick(d.ButtonTest, Qt::LeftButton);
    EXPECT_EQ(d.result(), QDialog::Accepted);
}

// ---- return codes ----------------------------------------------------------------------------

std::function<int(QDialog&)> FillCode(QString number, QString text)
{
    return [=](QDialog& d) {
        auto* r = qobject_cast<TFormRcRecord*>(&d);
        EXPECT_NE(r, nullptr);
        if (!r)
            return int(QDialog::Rejected);
        Activate(*r);
        r->FieldTypeComboBoxRcNumber->setFocus();
        r->FieldTypeComboBoxRcNumber->lineEdit()->selectAll();
        QTest::keyClicks(r->FieldTypeComboBoxRcNumber, number);
        r->EditText->setFocus();
        r->EditText->selectAll();
        QTest::keyClicks(r->EditText, text);
        AltKey(r, Qt::Key_O);
        return r->result();
    };
}

TEST_F(EditorDialogTest, ReturnCodesAreSortedAndADuplicateIsRefused)
{
    WriteFile(Path(), kHead + "[Return codes]\r\nRC40=Forty\r\nRC3=Three\r\nRCX=Hand \"made\"\r\n");
    TFormEditReturnCode dialog(Path());
    Activate(dialog);
    EXPECT_EQ(dialog.windowTitle(), "Edit return codes");
    ASSERT_EQ(dialog.StringGridRc->rowCount(), 3);
    EXPECT_EQ(dialog.StringGridRc->item(0, 0)->text(), "40"); // file order until a change
    EXPECT_EQ(dialog.StringGridRc->item(2, 0)->text(), "RCX");
    EXPECT_FALSE(dialog.StringGridRc->item(2, 0)->flags() & Qt::ItemIsSelectable);

    m_boxes.OnDialog = FillCode("012", "Twelve");
    QTest::mouseClick(dialog.ButtonAdd, Qt::LeftButton);
    EXPECT_EQ(ReadFile(Path()), kHead + "[Return codes]\r\nRC3=Three\r\nRC12=Twelve\r\n"
                                        "RC40=Forty\r\nRCX=Hand \"made\"\r\n");
    EXPECT_EQ(dialog.StringGridRc->item(1, 0)->text(), "12");
    EXPECT_EQ(dialog.StringGridRc->currentRow(), 1);

    m_boxes.OnDialog = FillCode("3", "Again");
    QTest::mouseClick(dialog.ButtonAdd, Qt::LeftButton);
    ASSERT_EQ(m_boxes.Boxes.size(), 1u);
    EXPECT_EQ(m_boxes.Boxes[0].caption, " E R R O R ");
    EXPECT_EQ(m_boxes.Boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(m_boxes.Boxes[0].text, "The return codes already exits !!!");

    // Modify by double click: a new number that another entry has is refused too.
    m_boxes.OnDialog = FillCode("40", "Clash");
    DoubleClickCell(dialog.StringGridRc, 0, 1);
    EXPECT_EQ(m_boxes.Boxes.size(), 2u);
    m_boxes.OnDialog = FillCode("50", "Fifty");
    DoubleClickCell(dialog.StringGridRc, 0, 1);
    EXPECT_EQ(ReadFile(Path()), kHead + "[Return codes]\r\nRC12=Twelve\r\nRC40=Forty\r\n"
                                        "RC50=Fifty\r\nRCX=Hand \"made\"\r\n");

    m_boxes.Answers = {QMessageBox::Ok};
    dialog.StringGridRc->setCurrentCell(2, 0);
    Activate(dialog);
    AltKey(&dialog, Qt::Key_R);
    EXPECT_EQ(m_boxes.Boxes.back().caption, " W A R N I N G ");
    EXPECT_EQ(m_boxes.Boxes.back().text, "Do you wish to delete return code 50");
    EXPECT_EQ(ReadFile(Path()),
              kHead + "[Return codes]\r\nRC12=Twelve\r\nRC40=Forty\r\nRCX=Hand \"made\"\r\n");
}

TEST_F(EditorDialogTest, EnterCancelsTheReturnCodeRecord)
{
    TFormRcRecord add;
    Activate(add);
    EXPECT_EQ(add.windowTitle(), "Add new return code");
    EXPECT_FALSE(add.ButtonOk->isEnabled());
    QTest::keyClicks(add.FieldTypeComboBoxRcNumber, "7x");
    EXPECT_EQ(add.NumberText(), "7");
    AltKey(&add, Qt::Key_D);
    QTest::keyClicks(add.EditText, "Seven");
    EXPECT_TRUE(add.ButtonOk->isEnabled());
    QTest::keyClick(add.EditText, Qt::Key_Return);
    EXPECT_EQ(add.result(), QDialog::Rejected);
    EXPECT_FALSE(add.isVisible());

    TFormRcRecord modify(QStringLiteral("7"), QStringLiteral("Seven"));
    Activate(modify);
    EXPECT_EQ(modify.windowTitle(), "Modify return code");
    EXPECT_TRUE(modify.ButtonOk->isEnabled());
    modify.FieldTypeComboBoxRcNumber->setFocus();
    QTest::keyClick(modify.FieldTypeComboBoxRcNumber, Qt::Key_Return);
    EXPECT_EQ(modify.result(), QDialog::Rejected);
}

// ---- the Options commands ----------------------------------------------------------------------

class OptionsCommandsTest : public AppShellTest
{
protected:
    // Clicks the toolbar button of an action.
    void ClickTool(TFormMain& w, QAction* action)
    {
        QWidget* button = w.ToolBar->widgetForAction(action);
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
    }

    QString OpenDemo(TFormMain*& window)
    {
        const QByteArray demo =
            QByteArray::fromStdString(ReadFile(QStringLiteral(TALLYHOST_EXAMPLES_DIR "/demo.thf")));
        const QString path = WriteTerminalFile(QStringLiteral("files/demo.thf"), demo);
        window = &Start({path});
        EXPECT_NE(FormChildTerminalWindow, nullptr);
        return path;
    }

    TRecordedDialogs m_boxes;
};

QJsonObject RunCliTest(const QString& file, const QString& fiscal, const QString& printer)
{
    QProcess p;
    p.start(QStringLiteral(TALLYHOST_CLI_PATH),
            {QStringLiteral("status"), QStringLiteral("--file"), file, QStringLiteral("--test"),
             fiscal, printer, QStringLiteral("--json")});
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

// The window's panels of one word in the CLI's form: matched panels only, in number order.
QJsonArray WindowPanels(const std::vector<QLabel*>& labels)
{
    QJsonArray panels;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (labels[i]->text().isEmpty())
            continue;
        QJsonObject o;
        o["panel"] = int(i + 1);
        o["text"] = labels[i]->text();
        o["rgb"] = labels[i]->palette().color(QPalette::WindowText).name();
        panels.append(o);
    }
    return panels;
}

QJsonArray CliPanels(const QJsonObject& word)
{
    // The colour as the window draws it: the CLI's colour text read as the file's colours are.
    QJsonArray panels;
    for (const QJsonValue v : word["panels"].toArray()) {
        QJsonObject o = v.toObject();
        const tallyhost::TRgb rgb = tallyhost::ColorToRgbParts(
            tallyhost::StringToColor(o["color"].toString().toStdString()));
        o["rgb"] = QColor(rgb.Red, rgb.Green, rgb.Blue).name();
        o.remove("color");
        panels.append(o);
    }
    return panels;
}

TEST_F(OptionsCommandsTest, TestFixedAnswerShowsTheWordsAsTheCliDecodesThem)
{
    TFormMain* w = nullptr;
    const QString path = OpenDemo(w);
    m_boxes.OnDialog = [](QDialog& d) {
        auto* t = qobject_cast<TFormTestFixedAnswer*>(&d);
        EXPECT_NE(t, nullptr);
        if (!t)
            return int(QDialog::Rejected);
        Activate(*t);
        QTest::keyClicks(t->FieldTypeComboBoxFiscal, "ffff");
        QTest::keyClicks(t->FieldTypeComboBoxPrinter, "0001");
        QTest::mouseClick(t->ButtonTest, Qt::LeftButton);
        return t->result();
    };
    ClickTool(*w, w->ActionTestFixAnswer);
    ASSERT_EQ(m_boxes.DialogCount, 1);
    TFormChildTerminalWindow* t = FormChildTerminalWindow;
    EXPECT_TRUE(t->isMaximized());
    EXPECT_TRUE(t->GroupBoxFiscalAnswer->title().endsWith("FFFF"));
    EXPECT_TRUE(t->GroupBoxPrinterAnswer->title().endsWith("0001"));
    // No answer fields: only the three leading entries, the return code 0 among them.
    ASSERT_EQ(t->AnswerEdits.size(), 3u);
    EXPECT_EQ(t->AnswerEdits[1]->text(), "0");

    const QJsonObject cli = RunCliTest(path, "FFFF", "0001");
    EXPECT_EQ(cli["fiscal"].toObject()["word"].toString(), "FFFF");
    EXPECT_EQ(cli["printer"].toObject()["word"].toString(), "0001");
    const QJsonArray fiscal = WindowPanels(t->FiscalPanels);
    const QJsonArray printer = WindowPanels(t->PrinterPanels);
    EXPECT_FALSE(fiscal.isEmpty());
    EXPECT_EQ(fiscal, CliPanels(cli["fiscal"].toObject()));
    EXPECT_EQ(printer, CliPanels(cli["printer"].toObject()));
    EXPECT_TRUE(QJsonDocument(printer).toJson().contains("Printer error"));
}

TEST_F(OptionsCommandsTest, CancelledTestLeavesTheWindowAlone)
{
    TFormMain* w = nullptr;
    OpenDemo(w);
    FormChildTerminalWindow->showNormal();
    m_boxes.OnDialog = [](QDialog& d) {
        auto* t = qobject_cast<TFormTestFixedAnswer*>(&d);
        Activate(*t);
        QTest::keyClicks(t->FieldTypeComboBoxFiscal, "1");
        QTest::mouseClick(t->ButtonCancel, Qt::LeftButton);
        return t->result();
    };
    ClickTool(*w, w->ActionTestFixAnswer);
    EXPECT_EQ(m_boxes.DialogCount, 1);
    EXPECT_FALSE(FormChildTerminalWindow->FiscalPanelsExist);
    EXPECT_TRUE(FormChildTerminalWindow->AnswerEdits.empty());
    EXPECT_FALSE(FormChildTerminalWindow->isMaximized());
}

TEST_F(OptionsCommandsTest, EditorsReloadTheTerminalWindowWhenTheyClose)
{
    TFormMain* w = nullptr;
    OpenDemo(w);
    FormChildTerminalWindow->ShowAnswer(0x0000, 0x0001, {}, 0);
    ASSERT_TRUE(FormChildTerminalWindow->FiscalPanelsExist);

    // Fixed answers: a new fiscal record is added, then the dialog closed with Alt+C.
    m_boxes.OnDialog = [this](QDialog& d) {
        if (auto* list = qobject_cast<TFormEditFixAnswer*>(&d)) {
            Activate(*list);
            m_boxes.OnDialog = FillRecord("5", "0", "0", "Always", "clTeal");
            AltKey(list, Qt::Key_A);
            AltKey(list, Qt::Key_C);
            return list->result();
        }
        ADD_FAILURE() << "unexpected dialog";
        return int(QDialog::Rejected);
    };
    ClickTool(*w, w->ActionEditFixAnswer);
    EXPECT_FALSE(FormChildTerminalWindow->FiscalPanelsExist);
    EXPECT_FALSE(FormChildTerminalWindow->PrinterPanelsExist);
    EXPECT_FALSE(FormChildTerminalWindow->GroupBoxFiscalAnswer->isVisible());
    FormChildTerminalWindow->ShowAnswer(0x0000, 0x0000, {}, 0);
    ASSERT_GE(FormChildTerminalWindow->FiscalPanels.size(), 5u);
    EXPECT_EQ(FormChildTerminalWindow->FiscalPanels[4]->text(), "Always");

    // Return codes (the demo file uses the extended protocol): the reloaded file explains
    // a new code.
    ASSERT_TRUE(w->ActionEditRC->isEnabled());
    m_boxes.OnDialog = [this](QDialog& d) {
        if (auto* list = qobject_cast<TFormEditReturnCode*>(&d)) {
            Activate(*list);
            m_boxes.OnDialog = FillCode("77", "Seventy-seven");
            QTest::mouseClick(list->ButtonAdd, Qt::LeftButton);
            QTest::mouseClick(list->ButtonClose, Qt::LeftButton);
            return list->result();
        }
        ADD_FAILURE() << "unexpected dialog";
        return int(QDialog::Rejected);
    };
    ClickTool(*w, w->ActionEditRC);
    FormChildTerminalWindow->ShowAnswer(0, 0, {}, 77);
    ASSERT_EQ(FormChildTerminalWindow->AnswerEdits.size(), 3u);
    EXPECT_EQ(FormChildTerminalWindow->AnswerEdits[1]->toolTip(), "(004D) Seventy-seven");
}

} // namespace
