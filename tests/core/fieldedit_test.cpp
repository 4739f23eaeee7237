// The field list editor's model on real files: what each add, modify and remove leaves on disk,
// byte for byte.

#include "core/fieldedit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/strtoint.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "test_files.h"

using namespace tallyhost;
using tallyhost::testing::FileReplacements;
using tallyhost::testing::readBytes;
using tallyhost::testing::TempDir;
using tallyhost::testing::writeBytes;

namespace {

// A record as the dialog returns it for a plain AlphaNumeric field.
TCommandRecord simpleRecord(const std::string& caption)
{
    TCommandRecord r;
    r.Caption = caption;
    r.Hint = caption + " hint";
    r.MaxLength = "10";
    return r;
}

std::string fieldValues(int mode, const std::string& caption)
{
    return std::to_string(mode) + ",\"" + caption + "\",\"h\",0,\"\",0,5,0,0,0,0,0";
}

} // namespace

TEST(FieldNames, NormalizeNumberReadsNumbersAsTheWindowDoes)
{
    EXPECT_EQ(NormalizeNumber("007"), "7");
    EXPECT_EQ(NormalizeNumber("-3"), "-3");
    EXPECT_EQ(NormalizeNumber("12a"), "0");
    EXPECT_EQ(NormalizeNumber(""), "0");
    EXPECT_EQ(NormalizeNumber("$10"), "16");
    EXPECT_EQ(NormalizeNumber("0x1F"), "31");
    EXPECT_EQ(NormalizeNumber("2147483647"), "2147483647");
    EXPECT_EQ(NormalizeNumber("-2147483648"), "-2147483648");
    EXPECT_EQ(NormalizeNumber("2147483648"), "0");
    EXPECT_EQ(NormalizeNumber("99999999999999999999"), "0");
}

TEST(FieldGrid, LoadsCompleteFieldsAndNamesTheCodes)
{
    // 25 values: two fields; the 25th value is dropped. Codes outside their tables and
    // non-numbers get the first name of their table.
    const std::string value = "0,\"Open Day\",\"Hint\",2,\"F0\",1,025,1,0,3,x,1,"
                              "7,\"B\",\"\",12,\"\",9,z,2,1,0,0,0,"
                              "leftover";
    const auto rows = CommandRowsFromValue(value);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (TCommandRow{"1", "Host", "Open Day", "Hint", "Currency", "F0", "DropDown",
                                    "25", "Yes", "No", "3", "0", "Yes"}));
    EXPECT_EQ(rows[1], (TCommandRow{"2", "Fiscal", "B", "", "AlphaNumeric", "", "Simple", "0", "No",
                                    "Yes", "0", "0", "No"}));
    // Saved back: the codes the names stand for, the 25th value gone.
    EXPECT_EQ(CommandsValue(rows), "0,\"Open Day\",\"Hint\",2,\"F0\",1,25,1,0,3,0,1,"
                                   "1,\"B\",\"\",0,\"\",0,0,0,1,0,0,0");
    EXPECT_EQ(CommandsValue({}), "");

    const auto answers = AnswerRowsFromValue("\"Total\",2,2,\"Count\",3,5,\"Date\"");
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[1], (TAnswerRow{"2", "Count", "Numeric", "5"}));
    // Decimal digits are kept for Currency only.
    EXPECT_EQ(AnswersValue(answers), "\"Total\",2,2,\"Count\",3,0");
}

TEST(FieldGrid, QuotesInTextsAreDoubledAndReadBackAsTyped)
{
    TCommandRecord r = simpleRecord("a \"b\", c");
    r.Hint = "\"";
    r.DefaultText = "say \"hi\"";
    const std::string value = CommandsValue({CommandRowFromRecord(1, r)});
    EXPECT_EQ(value, "0,\"a \"\"b\"\", c\",\"\"\"\",0,\"say \"\"hi\"\"\",0,10,0,0,0,0,0");
    const auto rows = CommandRowsFromValue(value);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][ccCaption], "a \"b\", c");
    EXPECT_EQ(rows[0][ccHint], "\"");
    EXPECT_EQ(rows[0][ccDefaultText], "say \"hi\"");

    const auto answers = AnswerRowsFromValue(AnswersValue({{"1", "a \"b\", c", "Numeric", "0"}}));
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0][acCaption], "a \"b\", c");
}

class FieldListEditorTest : public ::testing::Test
{
protected:
    void SetUp() override { m_path = m_dir.file("t.thf"); }

    // A command section between two others, so that the edits must stay inside it.
    void writeFile(const std::string& sectionBody)
    {
        writeBytes(m_path, "; catalogue\r\n[Groups]\r\nG=\r\n[G]\r\nC=\r\n[GC]\r\n" + sectionBody +
                               "[Other]\r\nK=1\r\n");
    }
    std::string fileWith(const std::string& sectionBody) const
    {
        return "; catalogue\r\n[Groups]\r\nG=\r\n[G]\r\nC=\r\n[GC]\r\n" + sectionBody +
               "[Other]\r\nK=1\r\n";
    }

    TempDir m_dir;
    std::string m_path;
};

TEST_F(FieldListEditorTest, OpeningAndLookingWritesNothing)
{
    const std::string bytes = "; catalogue\n[GC]\nCommands = 0,\"A\",\"h\",0,\"\",1,5,0,0,0,0,0\n"
                              "CL1=\"x,y\"\nNotes=\"n\"\nAnswers=\"R\",2,2";
    writeBytes(m_path, bytes);
    const auto before = std::filesystem::last_write_time(m_path);
    {
        TFieldListEditor editor(m_path, "GC");
        EXPECT_EQ(editor.WindowCaption(), "Edit GC commands and answers");
        ASSERT_EQ(editor.CommandRows().size(), 1u);
        EXPECT_EQ(editor.ComboLines(1), (std::vector<std::string>{"x", "y"}));
        EXPECT_EQ(editor.NoteLines(), (std::vector<std::string>{"n"}));
        const TCommandRecordModel record = editor.CommandRecord(1);
        EXPECT_EQ(record.ComboLines(), (std::vector<std::string>{"x", "y"}));
        editor.LoadCommandGrid();
        editor.LoadAnswerGrid();
        EXPECT_EQ(editor.AnswerRows().at(0), (TAnswerRow{"1", "R", "Currency", "2"}));
    }
    EXPECT_EQ(readBytes(m_path), bytes);
    EXPECT_EQ(std::filesystem::last_write_time(m_path), before);
}

TEST_F(FieldListEditorTest, AddWritesFirstFieldWithListsThenFurtherFieldsTakeFieldOnesMode)
{
    writeFile("Commands=\r\nAnswers=\r\n");
    TFieldListEditor editor(m_path, "GC");
    EXPECT_FALSE(editor.HasCommandFields());

    TCommandRecordModel first = editor.NewCommandRecord();
    EXPECT_TRUE(first.ModeEnabled());
    EXPECT_TRUE(first.NotesEnabled());
    first.SetMode(cmFiscal);
    first.SetText(TCommandBox::Caption, "Descripcion");
    first.SetText(TCommandBox::Hint, "Description Hint");
    first.SetControlType(ctDropDown);
    first.SetText(TCommandBox::MaxLength, "25");
    first.SetComboLines({"1", "two words"});
    first.SetNoteLines({"first line", ""});
    FileReplacements replacements(m_dir.path().string(), "t.thf");
    ASSERT_TRUE(editor.AddCommandField(first.Record()).Done());
    EXPECT_EQ(replacements.Count(), 1); // CL1, Notes and Commands in one replacement
    EXPECT_EQ(readBytes(m_path),
              fileWith("Commands=1,\"Descripcion\",\"Description Hint\",0,\"\",1,25,0,0,0,0,0\r\n"
                       "Answers=\r\nCL1=\"1,\"two words\"\"\r\nNotes=\"\"first line\",\"\"\"\r\n"));

    // Field 2: mode preset from field 1 and locked; notes locked; no combo lines, no CL2.
    TCommandRecordModel second = editor.NewCommandRecord();
    EXPECT_EQ(second.Mode(), cmFiscal);
    EXPECT_FALSE(second.ModeEnabled());
    EXPECT_FALSE(second.NotesEnabled());
    second.SetText(TCommandBox::Caption, "B");
    ASSERT_TRUE(editor.AddCommandField(second.Record()).Done());
    ASSERT_EQ(editor.CommandRows().size(), 2u);
    EXPECT_EQ(editor.CommandRows()[1][ccNumber], "2");
    EXPECT_EQ(editor.CommandRows()[1][ccMode], "Fiscal");

    // What the terminal window reads back through its cache.
    TTerminalCache cache;
    ASSERT_TRUE(cache.LoadFromFile(m_path));
    TCommandDefinition def;
    LoadCommandFields(cache, "GC", def);
    EXPECT_EQ(def.FieldCount, 2);
    EXPECT_EQ(def.Mode, cmFiscal);
    EXPECT_EQ(LoadComboItems(cache, "GC", 1), (std::vector<std::string>{"1", "two words"}));
    EXPECT_EQ(LoadNotes(cache, "GC"), (std::vector<std::string>{"first line", ""}));
}

TEST_F(FieldListEditorTest, TheSeventyFirstFieldIsRefusedAndNothingIsWritten)
{
    std::string value;
    for (int i = 1; i <= MaxFields; ++i)
        value += (i > 1 ? "," : "") + fieldValues(0, "F" + std::to_string(i));
    writeFile("Commands=" + value + "\r\nAnswers=\r\n");
    const std::string before = readBytes(m_path);
    TFieldListEditor editor(m_path, "GC");
    ASSERT_EQ(editor.CommandRows().size(), 70u);
    const TFieldEditResult result = editor.AddCommandField(simpleRecord("F71"));
    EXPECT_EQ(result.Outcome, TFieldEditOutcome::FieldLimit);
    EXPECT_EQ(result.Message, "Maximum number of dynamic controls reached!!!");
    EXPECT_EQ(editor.CommandRows().size(), 70u);
    EXPECT_EQ(readBytes(m_path), before);

    // A 70-field list can be longer than the profile reader's 8191 characters: it is read
    // whole, or the next save would drop the fields after the cut.
    const std::string text(35, 'c');
    std::string longValue;
    for (int i = 1; i <= MaxFields; ++i)
        longValue += std::string(i > 1 ? "," : "") + "0,\"" + text + "\",\"" + text + "\",0,\"" +
                     text + "\",0,35,0,0,0,0,0";
    ASSERT_GT(longValue.size(), ExtIniStringLimit);
    writeFile("Commands=" + longValue + "\r\n");
    TFieldListEditor longEditor(m_path, "GC");
    EXPECT_EQ(longEditor.CommandRows().size(), 70u);
    ASSERT_TRUE(longEditor.RemoveCommandField(70).Done());
    EXPECT_EQ(TFieldListEditor(m_path, "GC").CommandRows().size(), 69u);
}

TEST_F(FieldListEditorTest, ModifyRewritesComboListsAndNotesOnlyForFieldOne)
{
    writeFile("Commands=" + fieldValues(0, "A") + "," + fieldValues(0, "B") +
              "\r\nCL2=\"p,q\"\r\nNotes=\"keep\"\r\n");
    TFieldListEditor editor(m_path, "GC");

    // Field 2 without combo lines: CL2 goes, Notes stays untouched.
    TCommandRecordModel two = editor.CommandRecord(2);
    EXPECT_EQ(two.WindowCaption(), "Edit field number 2");
    EXPECT_TRUE(two.NoteLines().empty());
    two.SetText(TCommandBox::Caption, "Bee");
    ASSERT_TRUE(editor.ModifyCommandField(2, two.Record()).Done());
    EXPECT_EQ(readBytes(m_path),
              fileWith("Commands=" + fieldValues(0, "A") + ",0,\"Bee\",\"h\",0,\"\",0,5,0,0,0,0,0" +
                       "\r\nNotes=\"keep\"\r\n"));

    // Field 1 with an empty notes box: Notes holds two double quotes.
    TCommandRecordModel one = editor.CommandRecord(1);
    EXPECT_EQ(one.NoteLines(), (std::vector<std::string>{"keep"}));
    one.SetNoteLines({});
    ASSERT_TRUE(editor.ModifyCommandField(1, one.Record()).Done());
    EXPECT_NE(readBytes(m_path).find("\r\nNotes=\"\"\r\n"), std::string::npos);
}

TEST_F(FieldListEditorTest, RemoveMovesComboListsWithTheirFieldsInOneReplacement)
{
    writeFile("Commands=" + fieldValues(0, "A") + "," + fieldValues(0, "B") + "," +
              fieldValues(0, "C") + "," + fieldValues(0, "D") +
              "\r\nCL1=\"a\"\r\nCL2=\"b\"\r\nCL3=\"\"c c\",d\"\r\nNotes=\"n\"\r\n");
    TFieldListEditor editor(m_path, "GC");
    FileReplacements replacements(m_dir.path().string(), "t.thf");
    // Remove field 2 of 4: field 3 becomes 2 with its list; field 4 had none, so 3 has none.
    EXPECT_EQ(TFieldListEditor::RemoveQuestionText(2),
              "Do you wish to delete this field number? 2");
    ASSERT_TRUE(editor.RemoveCommandField(2).Done());
    // CL2 rewritten, CL3 and CL4 deleted and Commands rewritten: one replacement of the file.
    EXPECT_EQ(replacements.Count(), 1);
    EXPECT_EQ(readBytes(m_path),
              fileWith("Commands=" + fieldValues(0, "A") + "," + fieldValues(0, "C") + "," +
                       fieldValues(0, "D") + "\r\nCL1=\"a\"\r\nCL2=\"\"c c\",d\"\r\n" +
                       "Notes=\"n\"\r\n"));
    EXPECT_EQ(editor.CommandRows()[1][ccNumber], "2");
    EXPECT_EQ(editor.CommandRows()[1][ccCaption], "C");
    EXPECT_EQ(editor.ComboLines(2), (std::vector<std::string>{"c c", "d"}));

    // Removing field 1 keeps the notes; removing the last remaining field takes them.
    ASSERT_TRUE(editor.RemoveCommandField(1).Done());
    ASSERT_TRUE(editor.RemoveCommandField(2).Done());
    EXPECT_NE(readBytes(m_path).find("Notes=\"n\""), std::string::npos);
    ASSERT_TRUE(editor.RemoveCommandField(1).Done());
    EXPECT_FALSE(editor.HasCommandFields());
    EXPECT_EQ(readBytes(m_path), fileWith("Commands=\r\n"));
}

TEST_F(FieldListEditorTest, AnswerFieldsKeepDecimalsForCurrencyOnly)
{
    writeFile("Answers=\r\n");
    TFieldListEditor editor(m_path, "GC");
    TAnswerRecordModel add = editor.NewAnswerRecord();
    add.SetCaption("Total");
    add.SetTextType(ftdCurrency);
    add.SetDecimalText("02");
    ASSERT_TRUE(editor.AddAnswerField(add.Record()).Done());
    EXPECT_EQ(readBytes(m_path), fileWith("Answers=\"Total\",2,2\r\n"));

    TAnswerRecordModel modify = editor.AnswerRecord(1);
    EXPECT_EQ(modify.Decimal().Text, "2");
    modify.SetTextType(ftdNumerical);
    ASSERT_TRUE(editor.ModifyAnswerField(1, modify.Record()).Done());
    TAnswerRecordModel again = editor.NewAnswerRecord();
    ASSERT_TRUE(editor.AddAnswerField(again.Record()).Done()); // empty caption is accepted
    EXPECT_EQ(readBytes(m_path), fileWith("Answers=\"Total\",3,0,\"\",0,0\r\n"));
    ASSERT_TRUE(editor.RemoveAnswerField(1).Done());
    ASSERT_TRUE(editor.RemoveAnswerField(1).Done());
    EXPECT_EQ(readBytes(m_path), fileWith("Answers=\r\n"));
}

TEST_F(FieldListEditorTest, RefusedWritesLeaveFileAndRowsAsTheDiskHoldsThem)
{
    writeFile("Commands=" + fieldValues(0, "A") + "," + fieldValues(0, "B") + "\r\nCL2=\"b\"\r\n");
    const std::string before = readBytes(m_path);
    TFieldListEditor editor(m_path, "GC");

    std::filesystem::permissions(m_path, std::filesystem::perms::owner_read);
    TFieldEditResult result = editor.RemoveCommandField(1);
    EXPECT_EQ(result.Outcome, TFieldEditOutcome::WriteFailed);
    EXPECT_EQ(result.Message, "Unable to write to " + m_path);
    EXPECT_EQ(readBytes(m_path), before);
    ASSERT_EQ(editor.CommandRows().size(), 2u);

    // Someone changed the file meanwhile: after a refused write the rows show the disk.
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all);
    writeFile("Commands=" + fieldValues(0, "Z") + "\r\n");
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_read);
    result = editor.AddCommandField(simpleRecord("new"));
    EXPECT_EQ(result.Outcome, TFieldEditOutcome::WriteFailed);
    ASSERT_EQ(editor.CommandRows().size(), 1u);
    EXPECT_EQ(editor.CommandRows()[0][ccCaption], "Z");

    // A vanished file is not created again with nothing but this command.
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all);
    std::filesystem::remove(m_path);
    result = editor.ModifyCommandField(1, simpleRecord("x"));
    EXPECT_EQ(result.Outcome, TFieldEditOutcome::WriteFailed);
    EXPECT_FALSE(std::filesystem::exists(m_path));
    EXPECT_FALSE(editor.HasCommandFields());
}

// Lists as scripts and hand editing write them: every item quoted, numbers in hexadecimal. The
// editor must show what the terminal window reads, and a change of one field must leave the
// other fields' items as they were.
TEST_F(FieldListEditorTest, ListsAreReadAsTheWindowReadsThemAndUntouchedFieldsKeepTheirItems)
{
    struct Case
    {
        const char* Name;
        std::string Commands;
        std::string Answers;
        TCommandRow FirstRow;
        TAnswerRow FirstAnswer;
    };
    const Case cases[] = {
        {"every item quoted",
         R"("1","Cap","H","0","","0","5","0","0","0","0","0")",
         R"("Total","2","2")",
         {"1", "Fiscal", "Cap", "H", "AlphaNumeric", "", "Simple", "5", "No", "No", "0", "0", "No"},
         {"1", "Total", "Currency", "2"}},
        {"hexadecimal numbers",
         R"($1,"Cap","H",$2,"",0,$10,0,0,0,$2,0)",
         R"("Total",$2,$3)",
         {"1", "Fiscal", "Cap", "H", "Currency", "", "Simple", "16", "No", "No", "0", "2", "No"},
         {"1", "Total", "Currency", "3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string second = fieldValues(1, "Two");
        writeFile("Commands=" + c.Commands + "," + second + "\r\nAnswers=" + c.Answers +
                  ",\"Count\",3,0\r\n");
        TFieldListEditor editor(m_path, "GC");
        ASSERT_EQ(editor.CommandRows().size(), 2u);
        EXPECT_EQ(editor.CommandRows()[0], c.FirstRow);
        ASSERT_EQ(editor.AnswerRows().size(), 2u);
        EXPECT_EQ(editor.AnswerRows()[0], c.FirstAnswer);

        // Change field 2 of each list: field 1 reads as before, in the editor and the window.
        TCommandRecordModel record = editor.CommandRecord(2);
        record.SetText(TCommandBox::Caption, "Changed");
        ASSERT_TRUE(editor.ModifyCommandField(2, record.Record()).Done());
        TAnswerRecordModel answer = editor.AnswerRecord(2);
        answer.SetCaption("Changed");
        ASSERT_TRUE(editor.ModifyAnswerField(2, answer.Record()).Done());

        TFieldListEditor reread(m_path, "GC");
        EXPECT_EQ(reread.CommandRows()[0], c.FirstRow);
        EXPECT_EQ(reread.CommandRows()[1][ccCaption], "Changed");
        EXPECT_EQ(reread.AnswerRows()[0], c.FirstAnswer);
        EXPECT_EQ(reread.AnswerRows()[1][acCaption], "Changed");
        TTerminalCache cache;
        ASSERT_TRUE(cache.LoadFromFile(m_path));
        TCommandDefinition def;
        LoadCommandFields(cache, "GC", def);
        LoadAnswerFields(cache, "GC", def);
        EXPECT_EQ(def.Mode, cmFiscal);
        EXPECT_EQ(def.Fields[0].MaxLength, StrToInt(c.FirstRow[ccMaxLength]));
        EXPECT_EQ(def.Answers[0].DecimalDigits, StrToInt(c.FirstAnswer[acDecimalDigits]));
    }
    // The hexadecimal items stay as written when their field is not changed.
    EXPECT_NE(readBytes(m_path).find("Commands=$1,\"Cap\",\"H\",$2,\"\",0,$10,0,0,0,$2,0,"),
              std::string::npos);
    EXPECT_NE(readBytes(m_path).find("Answers=\"Total\",$2,$3,"), std::string::npos);
}

TEST_F(FieldListEditorTest, MovingAFieldSwapsItWithItsNeighbourAndTakesItsComboLines)
{
    writeFile("Commands=" + fieldValues(0, "A") + "," + fieldValues(0, "B") + "," +
              fieldValues(0, "C") + "\r\nCL1=\"a1,a2\"\r\nCL3=\"c1\"\r\n" +
              "Answers=\"X\",0,0,\"Y\",2,$2\r\n");
    TFieldListEditor editor(m_path, "GC");
    FileReplacements replacements(m_dir.path().string(), "t.thf");
    struct Move
    {
        int Number;
        int Delta;
        const char* Order;
    };
    // Each step leaves the captions in this order; impossible moves change nothing.
    const Move moves[] = {
        {3, -1, "ACB"}, {1, +1, "CAB"}, {1, -1, "CAB"}, {3, +1, "CAB"}, {2, +1, "CBA"}};
    for (const Move& m : moves) {
        SCOPED_TRACE(std::to_string(m.Number) + " by " + std::to_string(m.Delta));
        ASSERT_TRUE(editor.MoveCommandField(m.Number, m.Delta).Done());
        TFieldListEditor reread(m_path, "GC");
        std::string order;
        for (std::size_t i = 0; i < reread.CommandRows().size(); ++i) {
            const TCommandRow& row = reread.CommandRows()[i];
            order += row[ccCaption];
            EXPECT_EQ(row[ccNumber], std::to_string(i + 1));
            // Field A has the combo lines a1, a2 and C has c1, wherever they are.
            const std::vector<std::string> lines = reread.ComboLines(static_cast<int>(i + 1));
            if (row[ccCaption] == "A")
                EXPECT_EQ(lines, (std::vector<std::string>{"a1", "a2"}));
            else if (row[ccCaption] == "C")
                EXPECT_EQ(lines, (std::vector<std::string>{"c1"}));
            else
                EXPECT_TRUE(lines.empty());
        }
        EXPECT_EQ(order, m.Order);
        EXPECT_EQ(editor.CommandRows(), reread.CommandRows());
    }
    // One replacement of the file for each move that moved something.
    EXPECT_EQ(replacements.Count(), 3);

    ASSERT_TRUE(editor.MoveAnswerField(2, -1).Done());
    TFieldListEditor reread(m_path, "GC");
    EXPECT_EQ(reread.AnswerRows()[0], (TAnswerRow{"1", "Y", "Currency", "2"}));
    EXPECT_EQ(reread.AnswerRows()[1], (TAnswerRow{"2", "X", "AlphaNumeric", "0"}));
    EXPECT_NE(readBytes(m_path).find("Answers=\"Y\",2,$2,\"X\",0,0\r\n"), std::string::npos);
}
