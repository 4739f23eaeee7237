#include "core/panelgrid.h"
#include "editors/fieldtypecombobox.h"
#include "terminal_testutil.h"

#include <QDateEdit>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTimeEdit>

using namespace tallyhost;

namespace {

// One field of a Commands value: mode, caption, hint, text type, default, control type,
// max length, required, read only, min length, decimals, autoincrement.
QByteArray Field(int mode, const char* caption, int textType, const char* defaultText,
                 int controlType, int required = 0, int readOnly = 0)
{
    return QByteArray::number(mode) + ",\"" + caption + "\",\"hint of " + caption + "\"," +
           QByteArray::number(textType) + ",\"" + defaultText + "\"," +
           QByteArray::number(controlType) + ",0," + QByteArray::number(required) + "," +
           QByteArray::number(readOnly) + ",0,0,0";
}

QByteArray FileWith(const QByteArray& commands, const QByteArray& extra = {})
{
    return "[Groups]\r\nG=\r\n[G]\r\nC=\r\n[GC]\r\nCommands=" + commands + "\r\nAnswers=\r\n" +
           extra;
}

} // namespace

TEST(PanelGrid, ColumnsFollowTheClientWidth)
{
    EXPECT_EQ(TPanelGrid::ForClientWidth(500).Columns, 2);
    EXPECT_EQ(TPanelGrid::ForClientWidth(219).Columns, 1);
    EXPECT_EQ(TPanelGrid::ForClientWidth(0).Columns, 1);
    const TPanelGrid g = TPanelGrid::ForClientWidth(500);
    EXPECT_EQ(g.ColumnWidth, (500 - 420 - 30) / 2 + 200);
    // Fields fill a row left to right, then the next row.
    EXPECT_EQ(g.Left(0), 20);
    EXPECT_EQ(g.Left(1), 20 + g.ColumnWidth + 10);
    EXPECT_EQ(g.Left(2), 20);
    EXPECT_EQ(g.LabelTop(2), 15 + 55);
    EXPECT_EQ(g.InputTop(3), 15 + 55 + 18);
    EXPECT_EQ(g.TopAfter(3), 15 + 2 * 55);
}

TEST_F(TerminalWindowTest, PanelBuildsEachControlTypeAndReflowsOnResize)
{
    WriteFile(FileWith(Field(0, "&Name", 0, "dflt", 0, 1) + "," + Field(0, "List", 0, "X", 1) +
                           "," + Field(0, "Fixed", 0, "", 2, 0, 1) + "," +
                           Field(0, "Day", 8, "", 3) + "," + Field(0, "Hour", 9, "", 4) + "," +
                           Field(0, "Flag", 7, "s", 0),
                       "CL2=\"A,B\"\r\nCL3=\"P,Q\"\r\n"));
    auto& w = Open();
    w.ScrollBoxCommand->viewport()->setFixedWidth(500);
    Select(Node({"G", "C"}));
    ASSERT_EQ(w.Definition.FieldCount, 6);

    auto* simple = qobject_cast<TFieldTypeComboBox*>(w.FieldInputs[0]);
    ASSERT_NE(simple, nullptr);
    EXPECT_EQ(simple->text(), "dflt");
    EXPECT_TRUE(simple->Required());
    EXPECT_EQ(simple->toolTip(), "hint of &Name");
    EXPECT_EQ(w.FieldLabels[0]->buddy(), simple);
    EXPECT_EQ(w.FieldLabels[0]->palette().color(QPalette::WindowText), QColor(128, 0, 0));
    EXPECT_NE(w.FieldLabels[1]->palette().color(QPalette::WindowText), QColor(128, 0, 0));

    // The default text goes first, then the first item replaces it.
    auto* dropDown = qobject_cast<TFieldTypeComboBox*>(w.FieldInputs[1]);
    ASSERT_NE(dropDown, nullptr);
    EXPECT_EQ(dropDown->Style(), TFieldTypeComboBox::csDropDown);
    EXPECT_EQ(dropDown->text(), "A");
    EXPECT_EQ(dropDown->count(), 2);

    auto* list = qobject_cast<TFieldTypeComboBox*>(w.FieldInputs[2]);
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(list->isEnabled());
    EXPECT_EQ(list->text(), "P");

    EXPECT_NE(qobject_cast<QDateEdit*>(w.FieldInputs[3]), nullptr);
    EXPECT_EQ(qobject_cast<QDateEdit*>(w.FieldInputs[3])->date(), QDate::currentDate());
    EXPECT_NE(qobject_cast<QTimeEdit*>(w.FieldInputs[4]), nullptr);
    // A Boolean field holds one character although its definition sets no maximum length;
    // its default text is kept as written (the check after a change allows either case).
    auto* flag = qobject_cast<TFieldTypeComboBox*>(w.FieldInputs[5]);
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(flag->maxLength(), 1);
    EXPECT_EQ(flag->text(), "s");

    // Two columns at 500 pixels, one at 219; the panel reflows without being rebuilt.
    EXPECT_EQ(w.FieldInputs[0]->y(), w.FieldInputs[1]->y());
    EXPECT_GT(w.FieldInputs[1]->x(), w.FieldInputs[0]->x());
    EXPECT_EQ(w.FieldInputs[2]->x(), w.FieldInputs[0]->x());
    QWidget* first = w.FieldInputs[0];
    w.ScrollBoxCommand->viewport()->setFixedWidth(219);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.FieldInputs[1]->x() == w.FieldInputs[0]->x(); }));
    EXPECT_EQ(w.FieldInputs[0], first);
    EXPECT_GT(w.FieldInputs[1]->y(), w.FieldInputs[0]->y());
}

TEST_F(TerminalWindowTest, NotesShowOnlyForACommandWithFields)
{
    WriteFile("[Groups]\r\nG=\r\n[G]\r\nEmpty=\r\nFull=\r\n"
              "[GEmpty]\r\nCommands=\r\nNotes=\"never shown\"\r\n"
              "[GFull]\r\nCommands=" +
              Field(0, "A", 0, "", 0) + "\r\nNotes=\"\"line one\",\"line two\"\"\r\n");
    auto& w = Open();
    Select(Node({"G", "Empty"}));
    EXPECT_EQ(w.MemoNotes, nullptr);
    EXPECT_FALSE(w.ButtonSend->isEnabled());
    EXPECT_FALSE(w.ButtonRepeat->isEnabled());

    Select(Node({"G", "Full"}));
    ASSERT_NE(w.MemoNotes, nullptr);
    EXPECT_EQ(w.MemoNotes->toPlainText(), "line one\nline two");
    EXPECT_FALSE(w.MemoNotes->isEnabled());
    EXPECT_EQ(w.LabelNotes->buddy(), w.MemoNotes);
    EXPECT_GT(w.LabelNotes->y(), w.FieldInputs[0]->y());
}

TEST_F(TerminalWindowTest, SeventyFieldsAndUnknownControlTypesBuildSafely)
{
    QByteArray commands;
    for (int i = 0; i < 70; ++i)
        commands += (i ? "," : "") + Field(0, "F", 3, "1", i == 5 ? 7 : 0);
    WriteFile(FileWith(commands));
    auto& w = Open();
    Select(Node({"G", "C"}));
    EXPECT_EQ(w.Definition.FieldCount, 70);
    EXPECT_NE(w.FieldInputs[69], nullptr);
    EXPECT_EQ(w.FieldInputs[5], nullptr); // control type 7 has no input
    EXPECT_NE(w.FieldLabels[5], nullptr);
    Select(Node({"G"}));
    for (int i = 0; i < 70; ++i)
        ASSERT_EQ(w.FieldInputs[i], nullptr);
}
