// The editors as an operator meets them: a catalogue in a folder whose name is not ASCII, keys
// that must not take what the file cannot store, moving fields, the tree's popup from the
// keyboard, and the status record dialog keeping what was written by hand.

#include "app/logwindow.h"
#include "editors/fieldtypecombobox.h"
#include "editors/formeditanswerrecord.h"
#include "editors/formeditcmdans.h"
#include "editors/formeditcommandrecord.h"
#include "editors/formeditfixanswer.h"
#include "editors/formeditreturncode.h"
#include "sending_fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

using namespace sendingtest;

namespace {

bool Activate(QWidget* w)
{
    w->show();
    QApplication::setActiveWindow(w);
    return QTest::qWaitForWindowActive(w);
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Types each character as a key carrying it (QTest's key clicks take ASCII only).
void TypeText(QWidget* target, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &release);
    }
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

// Open, edit, send and log with the catalogue in a folder named in letters outside ASCII: the
// editor finds the fields and writes the file, the log lands beside it.
TEST_F(SendingTest, ACatalogueInANonAsciiFolderOpensEditsSendsAndLogs)
{
    m_fileName = QString::fromUtf8("Prüfungen josé/Kassé.thf");
    StartSimulator(QuickScenario());
    OpenFile("[General]\r\nProtocol=0\r\n[Groups]\r\nG=\r\n[G]\r\nC=\r\n[GC]\r\n"
             "Commands=0,\"Text\",\"\",0,\"\",0,0,0,0,0,0,0\r\nAnswers=\r\n");
    ASSERT_TRUE(QFileInfo::exists(m_path));
    Select("G", "C");
    ASSERT_EQ(m_window->Definition.FieldCount, 1);

    int shownFields = -1;
    m_dialogs.OnDialog = [&](QDialog& d) {
        if (auto* rec = qobject_cast<TFormEditCommandRecord*>(&d)) {
            rec->FieldTypeComboBoxCaption->setText(QStringLiteral("Second"));
            return int(QDialog::Accepted);
        }
        auto* list = qobject_cast<TFormEditCmdAns*>(&d);
        if (!list)
            return int(QDialog::Rejected);
        shownFields = static_cast<int>(list->Editor().CommandRows().size());
        QTest::mouseClick(list->ButtonAdd, Qt::LeftButton);
        return int(QDialog::Rejected);
    };
    QTreeWidget* tree = m_window->TreeViewCommand;
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->TerminalWindowPopupMenu->isVisible(); }));
    QTest::keyClick(m_window->TerminalWindowPopupMenu, Qt::Key_E);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->Definition.FieldCount == 2; }));
    EXPECT_EQ(shownFields, 1);
    EXPECT_TRUE(ReadAll(m_path).contains("\"Second\""));
    EXPECT_TRUE(m_dialogs.Boxes.empty()) << m_dialogs.Texts().join('|').toStdString();

    QTest::mouseClick(m_window->ButtonSend, Qt::LeftButton);
    ASSERT_TRUE(WaitForStatus("Ready"));
    EXPECT_EQ(m_framesWritten, 1);

    ASSERT_TRUE(FormChildLogWindow);
    const QString log = FormChildLogWindow->LogFileName();
    EXPECT_EQ(log, QFileInfo(m_path).absolutePath() + QString::fromUtf8("/Kassé.log"));
    // The frame's line reaches the file with the log's next batch.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ReadAll(log).count('\n') >= 3; }, 5000))
        << ReadAll(log).toStdString();
}

// A character without a Latin-1 byte is not taken where it is typed or pasted, in every kind
// of box of the editors; Latin-1 letters are.
TEST(EditorBoxes, CharactersOutsideLatin1AreNotTakenWhereTypedOrPasted)
{
    TFormEditCommandRecord command(nullptr, true);
    TFormEditAnswerRecord answer(nullptr, tallyhost::TAnswerRecordModel::ForAdd());
    TFormRcRecord returnCode;
    struct Box
    {
        const char* Name;
        QWidget* Target;
        std::function<QString()> Text;
    };
    const Box boxes[] = {
        {"caption", command.FieldTypeComboBoxCaption,
         [&] { return command.FieldTypeComboBoxCaption->text(); }},
        {"notes", command.MemoNotes, [&] { return command.MemoNotes->toPlainText(); }},
        {"answer caption", answer.EditCaption, [&] { return answer.EditCaption->text(); }},
        {"description", returnCode.EditText, [&] { return returnCode.EditText->text(); }},
    };
    for (const Box& box : boxes) {
        SCOPED_TRACE(box.Name);
        QWidget* target = box.Target;
        if (auto* typed = qobject_cast<TFieldTypeComboBox*>(target))
            target = typed->lineEdit();
        target->setFocus();
        TypeText(target, QString::fromUtf8("Total é"));
        EXPECT_EQ(box.Text(), QString::fromUtf8("Total é"));
        TypeText(target, QString::fromUtf8("€"));
        EXPECT_EQ(box.Text(), QString::fromUtf8("Total é"));
        QApplication::clipboard()->setText(QString::fromUtf8(" 5 €"));
        QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(box.Text(), QString::fromUtf8("Total é"));
        QApplication::clipboard()->setText(QStringLiteral(" 5"));
        QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(box.Text(), QString::fromUtf8("Total é 5"));
    }
    EXPECT_EQ(command.Model().NoteLines(), std::vector<std::string>{"Total \xE9 5"});
}

// The status record dialog opens a hand-written record as it is, panel 0 included, and OK
// after changing only the colour keeps every other value, however long.
TEST(StatusRecordDialog, ModifyShowsHandWrittenRecordsWholeAndKeepsThem)
{
    const tallyhost::TStatusGridRow rows[] = {
        {"0", "0001", "0001", "Panel zero", "clRed"},
        {"2", "1FFFF", "10000", "A text of twenty-seven ch.", "clRed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Text);
        TFormEditFixAnswerRecord dialog(row);
        EXPECT_FALSE(dialog.AddMode());
        EXPECT_EQ(dialog.windowTitle(), "Modify answer record");
        ASSERT_TRUE(Activate(&dialog));
        EXPECT_TRUE(dialog.ButtonOk->isEnabled());
        dialog.ComboColorColor->setFocus();
        QTest::keyClick(dialog.ComboColorColor, Qt::Key_Down);
        QTest::mouseClick(dialog.ButtonOk, Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        const tallyhost::TStatusGridRow kept = dialog.Row();
        EXPECT_EQ(kept.Panel, row.Panel);
        EXPECT_EQ(kept.Mask, row.Mask);
        EXPECT_EQ(kept.Result, row.Result);
        EXPECT_EQ(kept.Text, row.Text);
        EXPECT_NE(kept.Color, row.Color);
    }
    TFormEditFixAnswerRecord add;
    EXPECT_TRUE(add.AddMode());
    EXPECT_FALSE(add.ButtonOk->isEnabled());
    // A record that can never match is said so while typing; OK is not held back.
    add.FieldTypeComboBoxPanelNumber->setCurrentIndex(0);
    QTest::keyClicks(add.FieldTypeComboBoxMask, "0F");
    QTest::keyClicks(add.FieldTypeComboBoxResult, "10");
    QTest::keyClicks(add.FieldTypeComboBoxText, "On");
    EXPECT_TRUE(add.ButtonOk->isEnabled());
    EXPECT_TRUE(add.LabelWarning->text().contains("never matches"));
    add.FieldTypeComboBoxResult->setText(QStringLiteral("01"));
    EXPECT_TRUE(add.LabelWarning->text().isEmpty());
}

class FieldMoveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("t.thf"));
    }
    QTemporaryDir m_dir;
    QString m_path;
    TRecordedDialogs m_dialogs;
};

TEST_F(FieldMoveTest, MoveButtonsAndTheirKeysMoveTheSelectedFieldWithItsComboLines)
{
    auto field = [](const char* caption) {
        return QByteArray("0,\"") + caption + "\",\"\",0,\"\",1,0,0,0,0,0,0";
    };
    WriteAll(m_path, "[GC]\r\nCommands=" + field("A") + "," + field("B") + "," + field("C") +
                         "\r\nCL1=\"a\"\r\nAnswers=\"X\",0,0,\"X\",0,0\r\n");
    TFormEditCmdAns dialog(nullptr, m_path, QStringLiteral("GC"));
    ASSERT_TRUE(Activate(&dialog));
    QTableWidget* grid = dialog.StringGridCommands;
    EXPECT_FALSE(dialog.ButtonMoveUp->isEnabled());
    EXPECT_TRUE(dialog.ButtonMoveDown->isEnabled());

    QTest::mouseClick(dialog.ButtonMoveDown, Qt::LeftButton);
    EXPECT_EQ(grid->currentRow(), 1);
    QTest::keyClick(&dialog, Qt::Key_W, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->currentRow() == 2; }));
    EXPECT_FALSE(dialog.ButtonMoveDown->isEnabled());
    EXPECT_EQ(grid->item(2, 2)->text(), "A");
    EXPECT_EQ(grid->item(0, 2)->text(), "B");
    QTest::keyClick(&dialog, Qt::Key_U, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->currentRow() == 1; }));

    const QByteArray bytes = ReadAll(m_path);
    EXPECT_TRUE(bytes.contains("Commands=" + field("B") + "," + field("A") + "," + field("C")))
        << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("CL2=\"a\"")) << bytes.toStdString();
    EXPECT_FALSE(bytes.contains("CL1=")) << bytes.toStdString();
    EXPECT_TRUE(m_dialogs.Boxes.empty());
}

TEST_F(FieldMoveTest, AnswerRecordWarnsOfACaptionThatIsEmptyOrUsedTwice)
{
    WriteAll(m_path, "[GC]\r\nAnswers=\"Total\",0,0,\"Count\",3,0\r\n");
    tallyhost::TFieldListEditor editor(QFile::encodeName(m_path).toStdString(), "GC");
    TFormEditAnswerRecord dialog(nullptr, editor.AnswerRecord(2));
    EXPECT_TRUE(dialog.LabelWarning->text().isEmpty());
    dialog.EditCaption->setFocus();
    QTest::keyClick(dialog.EditCaption, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(dialog.EditCaption, "Total");
    EXPECT_EQ(dialog.LabelWarning->text(), "field 1 has the caption \"Total\" too");
    dialog.EditCaption->clear();
    EXPECT_EQ(dialog.LabelWarning->text(), "the caption is empty");
    EXPECT_TRUE(dialog.ButtonOk->isEnabled());
}

// A simple typed box is an edit field from edge to edge: no room is left for a list button.
TEST(EditorBoxes, SimpleTypedBoxesUseTheWholeWidthForTheirEditField)
{
    TFieldTypeComboBox simple;
    TFieldTypeComboBox dropDown;
    dropDown.SetStyle(TFieldTypeComboBox::csDropDown);
    for (TFieldTypeComboBox* box : {&simple, &dropDown}) {
        box->resize(200, box->sizeHint().height());
        box->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
    }
    const int simpleGap = simple.width() - simple.lineEdit()->geometry().right();
    const int dropGap = dropDown.width() - dropDown.lineEdit()->geometry().right();
    EXPECT_LE(simpleGap, simple.lineEdit()->geometry().left() + 1);
    EXPECT_LT(simpleGap, dropGap);
}

// Dialogs show their whole title, and the field grids their whole headers.
TEST_F(FieldMoveTest, DialogsAreWideEnoughForTitlesAndHeaders)
{
    WriteAll(m_path, "[GC]\r\nCommands=\r\nAnswers=\r\n");
    TFormEditCommandRecord command(nullptr, true);
    TFormEditAnswerRecord answer(nullptr, tallyhost::TAnswerRecordModel::ForAdd());
    TFormRcRecord returnCode;
    TFormEditFixAnswerRecord status;
    for (QWidget* dialog :
         std::initializer_list<QWidget*>{&command, &answer, &returnCode, &status}) {
        SCOPED_TRACE(dialog->windowTitle().toStdString());
        EXPECT_GT(dialog->minimumWidth(),
                  dialog->fontMetrics().horizontalAdvance(dialog->windowTitle()));
    }
    TFormEditCmdAns list(nullptr, m_path, QStringLiteral("GC"));
    ASSERT_TRUE(Activate(&list));
    for (QTableWidget* grid : {list.StringGridCommands, list.StringGridAnswers}) {
        QHeaderView* header = grid->horizontalHeader();
        for (int c = 0; c < grid->columnCount(); ++c) {
            const QString text = grid->horizontalHeaderItem(c)->text();
            SCOPED_TRACE(text.toStdString());
            EXPECT_GE(header->sectionSize(c), header->fontMetrics().horizontalAdvance(text));
        }
    }
    // Widening the dialog widens the grid's columns, not an empty area beside them.
    const int lastAnswerColumn = list.StringGridAnswers->horizontalHeader()->sectionSize(3);
    list.PageControl->setCurrentWidget(list.TabSheetAnswers);
    list.resize(list.width() + 200, list.height());
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return list.StringGridAnswers->horizontalHeader()->sectionSize(3) > lastAnswerColumn;
    }));
}
