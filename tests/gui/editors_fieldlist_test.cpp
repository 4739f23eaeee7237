// The field list editor and the two record dialogs, driven by clicks and keys as the operator
// uses them, on a real terminal file.

#include "editors/fieldtypecombobox.h"
#include "editors/formeditanswerrecord.h"
#include "editors/formeditcmdans.h"
#include "editors/formeditcommandrecord.h"
#include "gui/messagebox.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

namespace {

const QByteArray Head = "[Groups]\r\nG=\r\n[G]\r\nC=\r\n[GC]\r\n";

bool Activate(QWidget* w)
{
    w->show();
    QApplication::setActiveWindow(w);
    return QTest::qWaitForWindowActive(w);
}

void Alt(QWidget* window, Qt::Key key)
{
    QTest::keyClick(window, key, Qt::AltModifier);
}

// A button's accelerator clicks it after a short animation: wait for the click.
void AltClick(QWidget* window, Qt::Key key, QAbstractButton* button)
{
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QTest::keyClick(window, key, Qt::AltModifier);
    EXPECT_TRUE(clicked.count() > 0 || clicked.wait(2000)) << button->text().toStdString();
}

void TypeIntoFocus(const QString& text)
{
    QWidget* focus = QApplication::focusWidget();
    ASSERT_TRUE(focus);
    QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(focus, text);
}

void DoubleClickRow(QTableWidget* grid, int row)
{
    const QRect cell = grid->visualRect(grid->model()->index(row, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

class FieldListDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("t.thf"));
        m_dialogs.OnDialog = [this](QDialog& d) { return m_onDialog ? m_onDialog(d) : 0; };
    }

    void WriteFile(const QByteArray& bytes)
    {
        QFile f(m_path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray ReadFile() const
    {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    QString m_path;
    TRecordedDialogs m_dialogs;
    std::function<int(QDialog&)> m_onDialog;
};

} // namespace

TEST_F(FieldListDialogTest, BuildsFieldsWithClicksAndKeys)
{
    WriteFile(Head + "Commands=\r\nAnswers=\r\n");
    TFormEditCmdAns dialog(nullptr, m_path, QStringLiteral("GC"));
    ASSERT_TRUE(Activate(&dialog));
    EXPECT_EQ(dialog.windowTitle(), "Edit GC commands and answers");
    EXPECT_EQ(dialog.StringGridCommands->horizontalHeaderItem(12)->text(), "AutoIncrement");
    EXPECT_EQ(dialog.StringGridCommands->rowCount(), 1);
    EXPECT_EQ(dialog.StringGridCommands->item(0, 0)->text(), "");
    EXPECT_FALSE(dialog.ButtonModify->isEnabled());
    EXPECT_FALSE(dialog.ButtonRemove->isEnabled());

    // Field 1: a drop-down with two lines, max length 12.
    m_onDialog = [](QDialog& d) {
        auto* rec = qobject_cast<TFormEditCommandRecord*>(&d);
        EXPECT_TRUE(rec && Activate(rec));
        EXPECT_EQ(rec->windowTitle(), "Add new field");
        EXPECT_TRUE(rec->FieldTypeComboBoxMode->isEnabled());
        EXPECT_FALSE(rec->ButtonOk->isEnabled());
        Alt(rec, Qt::Key_A);
        QTest::keyClicks(QApplication::focusWidget(), "Amount \"x\"");
        EXPECT_TRUE(rec->ButtonOk->isEnabled());
        Alt(rec, Qt::Key_N);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        EXPECT_EQ(rec->FieldTypeComboBoxControlType->currentIndex(), 1);
        EXPECT_TRUE(rec->MemoComboLines->isEnabled());
        EXPECT_FALSE(rec->FieldTypeComboBoxDefaultText->isEnabled());
        Alt(rec, Qt::Key_B);
        QTest::keyClicks(QApplication::focusWidget(), "one");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTest::keyClicks(QApplication::focusWidget(), "two");
        Alt(rec, Qt::Key_X);
        TypeIntoFocus("12");
        QTest::mouseClick(rec->ButtonOk, Qt::LeftButton);
        return d.result();
    };
    QTest::mouseClick(dialog.ButtonAdd, Qt::LeftButton);
    EXPECT_EQ(ReadFile(), Head + "Commands=0,\"Amount \"\"x\"\"\",\"\",0,\"\",1,12,0,0,0,0,0\r\n"
                                 "Answers=\r\nCL1=\"one,two\"\r\n");
    EXPECT_TRUE(dialog.ButtonModify->isEnabled());
    EXPECT_EQ(dialog.StringGridCommands->item(0, 2)->text(), "Amount \"x\"");

    // Field 2 by Alt+A: the mode of field 1, locked; the notes locked.
    m_onDialog = [](QDialog& d) {
        auto* rec = qobject_cast<TFormEditCommandRecord*>(&d);
        EXPECT_TRUE(rec && Activate(rec));
        EXPECT_FALSE(rec->FieldTypeComboBoxMode->isEnabled());
        EXPECT_FALSE(rec->MemoNotes->isEnabled());
        Alt(rec, Qt::Key_A);
        QTest::keyClicks(QApplication::focusWidget(), "Second");
        EXPECT_EQ(rec->FieldTypeComboBoxCaption->text(), "Second");
        QTest::keyClick(rec, Qt::Key_Return); // OK is the default button
        return d.result();
    };
    ASSERT_TRUE(Activate(&dialog)); // as the closed record dialog gives the activation back
    AltClick(&dialog, Qt::Key_A, dialog.ButtonAdd);
    EXPECT_EQ(m_dialogs.DialogCount, 2);
    ASSERT_EQ(dialog.StringGridCommands->rowCount(), 2);
    EXPECT_EQ(dialog.StringGridCommands->item(1, 0)->text(), "2");

    // Double click on field 2 opens it; Cancel changes nothing.
    const QByteArray twoFields = ReadFile();
    QString title;
    m_onDialog = [&title](QDialog& d) {
        title = d.windowTitle();
        auto* rec = qobject_cast<TFormEditCommandRecord*>(&d);
        EXPECT_TRUE(rec && Activate(rec));
        Alt(rec, Qt::Key_A);
        TypeIntoFocus("Changed");
        QTest::mouseClick(rec->ButtonCancel, Qt::LeftButton);
        return d.result();
    };
    DoubleClickRow(dialog.StringGridCommands, 1);
    EXPECT_EQ(title, "Edit field number 2");
    EXPECT_EQ(ReadFile(), twoFields);

    // Remove field 1: Cancel first, then OK. Field 2 becomes 1 and field 1's list goes.
    m_dialogs.Answers = {QMessageBox::Cancel, QMessageBox::Ok};
    QTest::mouseClick(
        dialog.StringGridCommands->viewport(), Qt::LeftButton, {},
        dialog.StringGridCommands->visualRect(dialog.StringGridCommands->model()->index(0, 1))
            .center());
    ASSERT_TRUE(Activate(&dialog));
    AltClick(&dialog, Qt::Key_R, dialog.ButtonRemove);
    EXPECT_EQ(ReadFile(), twoFields);
    AltClick(&dialog, Qt::Key_R, dialog.ButtonRemove);
    ASSERT_EQ(m_dialogs.Boxes.size(), 2u);
    EXPECT_EQ(m_dialogs.Boxes[1].caption, " W A R N I N G ");
    EXPECT_EQ(m_dialogs.Boxes[1].text, "Do you wish to delete this field number? 1");
    EXPECT_EQ(m_dialogs.Boxes[1].icon, QMessageBox::Warning);
    EXPECT_EQ(ReadFile(), Head + "Commands=0,\"Second\",\"\",0,\"\",0,0,0,0,0,0,0\r\nAnswers=\r\n");
    EXPECT_EQ(dialog.StringGridCommands->rowCount(), 1);
    EXPECT_EQ(dialog.StringGridCommands->item(0, 0)->text(), "1");

    // Answers page by its accelerator: a Currency field with 2 decimal digits.
    Alt(&dialog, Qt::Key_N);
    ASSERT_EQ(dialog.PageControl->currentWidget(), dialog.TabSheetAnswers);
    EXPECT_FALSE(dialog.ButtonModify->isEnabled());
    m_onDialog = [](QDialog& d) {
        auto* rec = qobject_cast<TFormEditAnswerRecord*>(&d);
        EXPECT_TRUE(rec && Activate(rec));
        EXPECT_FALSE(rec->FieldTypeComboBoxDecimal->isEnabled());
        QTest::keyClicks(rec->EditCaption, "Total");
        Alt(rec, Qt::Key_T);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        EXPECT_TRUE(rec->FieldTypeComboBoxDecimal->isEnabled());
        Alt(rec, Qt::Key_E);
        TypeIntoFocus("2.");
        EXPECT_EQ(rec->FieldTypeComboBoxDecimal->text(), "2");
        QTest::mouseClick(rec->ButtonOk, Qt::LeftButton);
        return d.result();
    };
    QTest::mouseClick(dialog.ButtonAdd, Qt::LeftButton);
    EXPECT_TRUE(ReadFile().endsWith("Answers=\"Total\",2,2\r\n"));
    EXPECT_EQ(dialog.StringGridAnswers->item(0, 3)->text(), "2");
}

TEST_F(FieldListDialogTest, RefusalsShowTheErrorAndTheGridShowsTheDisk)
{
    QByteArray value;
    for (int i = 1; i <= 70; ++i)
        value += (i > 1 ? "," : "") + QByteArray("0,\"F") + QByteArray::number(i) +
                 "\",\"\",0,\"\",0,0,0,0,0,0,0";
    WriteFile(Head + "Commands=" + value + "\r\n");
    const QByteArray before = ReadFile();
    TFormEditCmdAns dialog(nullptr, m_path, QStringLiteral("GC"));
    ASSERT_TRUE(Activate(&dialog));
    ASSERT_EQ(dialog.StringGridCommands->rowCount(), 70);

    m_onDialog = [](QDialog& d) {
        auto* rec = qobject_cast<TFormEditCommandRecord*>(&d);
        EXPECT_TRUE(rec && Activate(rec));
        QTest::keyClicks(rec->FieldTypeComboBoxCaption, "F71");
        QTest::mouseClick(rec->ButtonOk, Qt::LeftButton);
        return d.result();
    };
    QTest::mouseClick(dialog.ButtonAdd, Qt::LeftButton);
    ASSERT_EQ(m_dialogs.Boxes.size(), 1u);
    EXPECT_EQ(m_dialogs.Boxes[0].text, "Maximum number of dynamic controls reached!!!");
    EXPECT_EQ(m_dialogs.Boxes[0].caption, " E R R O R ");
    EXPECT_EQ(m_dialogs.Boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(dialog.StringGridCommands->rowCount(), 70);
    EXPECT_EQ(ReadFile(), before);

    // A read-only file: the removal is refused, the grid keeps what the file holds.
    ASSERT_EQ(::chmod(QFile::encodeName(m_path).constData(), 0444), 0);
    m_dialogs.Boxes.clear();
    m_dialogs.Answers = {QMessageBox::Ok};
    QTest::mouseClick(dialog.ButtonRemove, Qt::LeftButton);
    ASSERT_EQ(m_dialogs.Boxes.size(), 2u);
    EXPECT_EQ(m_dialogs.Boxes[1].text, "Unable to write to " + m_path);
    EXPECT_EQ(dialog.StringGridCommands->rowCount(), 70);
    EXPECT_EQ(dialog.StringGridCommands->item(0, 2)->text(), "F1");
    EXPECT_EQ(ReadFile(), before);
    ::chmod(QFile::encodeName(m_path).constData(), 0644);
}

TEST_F(FieldListDialogTest, CommandRecordFollowsTheTypeRulesOnTheWidgets)
{
    TFormEditCommandRecord rec(nullptr, true);
    ASSERT_TRUE(Activate(&rec));
    // Control type Date: text type Date and locked, default text empty and off, max "10".
    Alt(&rec, Qt::Key_N);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(rec.FieldTypeComboBoxControlType->currentText(), "Date");
    EXPECT_EQ(rec.FieldTypeComboBoxTextType->currentText(), "asDate");
    EXPECT_FALSE(rec.FieldTypeComboBoxTextType->isEnabled());
    EXPECT_FALSE(rec.FieldTypeComboBoxDefaultText->isEnabled());
    EXPECT_EQ(rec.FieldTypeComboBoxMaxLength->text(), "10");
    // Back to Simple: the text type stays Date but can be chosen again.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
    EXPECT_TRUE(rec.FieldTypeComboBoxTextType->isEnabled());
    EXPECT_EQ(rec.FieldTypeComboBoxTextType->currentText(), "asDate");

    // Boolean: the default text takes one character of S, N, Y.
    Alt(&rec, Qt::Key_T);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
    for (int i = 0; i < 7; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(rec.FieldTypeComboBoxTextType->currentText(), "asBoolean");
    EXPECT_FALSE(rec.FieldTypeComboBoxMaxLength->isEnabled());
    Alt(&rec, Qt::Key_D);
    QTest::keyClicks(QApplication::focusWidget(), "tsy");
    EXPECT_EQ(rec.FieldTypeComboBoxDefaultText->text(), "S");
    EXPECT_EQ(rec.Model().Box(tallyhost::TCommandBox::DefaultText).Text, "S");

    // Clearing max length of an AlphaNumeric field holds OK back.
    Alt(&rec, Qt::Key_A);
    QTest::keyClicks(QApplication::focusWidget(), "Cap");
    Alt(&rec, Qt::Key_T);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
    EXPECT_TRUE(rec.ButtonOk->isEnabled());
    Alt(&rec, Qt::Key_X);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    EXPECT_FALSE(rec.ButtonOk->isEnabled());
}
