#include "core/colors.h"
#include "core/errors.h"
#include "core/profile.h"
#include "core/returncodeedit.h"
#include "core/statusedit.h"
#include "core/termcache.h"
#include "core/termfile.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>

using namespace tallyhost;
using namespace tallyhost::testing;

namespace {

const std::string kHead = "[General]\r\nProtocol=1\r\n\r\n";

class StatusEditTest : public ::testing::Test
{
protected:
    std::string Path() const { return m_dir.file("t.thf"); }
    void Write(const std::string& bytes) const { writeBytes(Path(), bytes); }
    std::string Read() const { return readBytes(Path()); }

    TempDir m_dir;
};

TStatusGridRow Row(std::string panel, std::string mask, std::string result, std::string text,
                   std::string color)
{
    return TStatusGridRow{std::move(panel), std::move(mask), std::move(result), std::move(text),
                          std::move(color)};
}

TEST_F(StatusEditTest, RecordsAreRenumberedInGridOrderAndHexIsPadded)
{
    Write(kHead + "[FiscalAnswer]\r\nRecord7=7,3,0F00,0100,\"Paper low\",clRed\r\n"
                  "Record2=2,1,FFFF,0000,\"Idle\",clGreen\r\n\r\n[Groups]\r\n");
    TExtIniFile ini(Path());
    TStatusRecordList list(ini, "FiscalAnswer");
    list.Load();
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.Rows()[0], Row("3", "0F00", "0100", "Paper low", "clRed"));
    EXPECT_EQ(list.Rows()[1], Row("1", "FFFF", "0000", "Idle", "clGreen"));

    list.Add(Row("2", "F", "1", "Jam", "clBlue"));
    // Erased and written again, the section now ends the file.
    EXPECT_EQ(Read(),
              kHead + "[Groups]\r\n[FiscalAnswer]\r\nRecord1=1,3,0F00,0100,\"Paper low\",clRed\r\n"
                      "Record2=2,1,FFFF,0000,\"Idle\",clGreen\r\n"
                      "Record3=3,2,000F,0001,\"Jam\",clBlue\r\n");
    EXPECT_EQ(PadHex4("1A0"), "01A0");
    EXPECT_EQ(PadHex4("FF11"), "FF11");
    EXPECT_EQ(StatusRecordLine(1, Row("1", "FF11", "0011", "Message1", "clRed")),
              "1,1,FF11,0011,\"Message1\",clRed");
}

TEST_F(StatusEditTest, RemovingTheOnlyRecordErasesTheSectionHeadingIncluded)
{
    Write(kHead + "[FiscalAnswer]\r\nRecord1=1,1,0001,0001,\"A\",clRed\r\n"
                  "[PrinterAnswer]\r\nRecord1=1,2,0002,0002,\"B\",clBlue\r\n");
    TExtIniFile ini(Path());
    TStatusRecordList list(ini, "FiscalAnswer");
    list.Load();
    list.Remove(0);
    EXPECT_FALSE(list.HasRecords());
    EXPECT_EQ(Read(), kHead + "[PrinterAnswer]\r\nRecord1=1,2,0002,0002,\"B\",clBlue\r\n");
}

TEST_F(StatusEditTest, PrinterEditsNeverTouchFiscalAnswer)
{
    const std::string fiscal = "[FiscalAnswer]\r\nRecord5=5, 1 ,1,1,\"odd  spacing\",clRed\r\n";
    Write(kHead + fiscal + "[PrinterAnswer]\r\n");
    TExtIniFile ini(Path());
    TStatusRecordList printer(ini, "PrinterAnswer");
    printer.Load();
    EXPECT_FALSE(printer.HasRecords());
    printer.Add(Row("1", "8000", "8000", "Cover open", "clMaroon"));
    printer.Modify(0, Row("2", "8000", "8000", "Cover open", "clMaroon"));
    EXPECT_EQ(Read(), kHead + fiscal +
                          "[PrinterAnswer]\r\nRecord1=1,2,8000,8000,\"Cover open\",clMaroon\r\n");
}

TEST_F(StatusEditTest, QuotesInTextAreDoubledAndReadBackAsTyped)
{
    Write(kHead);
    TExtIniFile ini(Path());
    TStatusRecordList list(ini, "FiscalAnswer");
    list.Load();
    list.Add(Row("1", "0001", "0001", "say \"hi\", ok", "clRed"));
    EXPECT_EQ(Read(),
              kHead + "[FiscalAnswer]\r\nRecord1=1,1,0001,0001,\"say \"\"hi\"\", ok\",clRed\r\n");

    // The editor and the status decoding of the window read it back as typed.
    list.Load();
    EXPECT_EQ(list.Rows()[0].Text, "say \"hi\", ok");
    EXPECT_EQ(list.Rows()[0].Color, "clRed");
    TTerminalCache cache(Path());
    TStatusTable table;
    LoadStatusRecords(cache, "FiscalAnswer", table);
    ASSERT_EQ(table.RecordCount, 1);
    EXPECT_EQ(table.Records[0].Text, "say \"hi\", ok");
    EXPECT_EQ(table.Records[0].Color, 0x0000FF);
}

TEST_F(StatusEditTest, UntouchedHandWrittenValuesSurviveAModify)
{
    // Colours outside the sixteen and a panel outside 1..16 stay as the file has them when
    // another value of the record is changed.
    Write(kHead + "[FiscalAnswer]\r\nRecord1=1,20,0001,0001,\"A\",clBtnFace\r\n"
                  "Record2=2,2,0002,0002,\"B\",$0000FF00\r\nRecord3=3,3,4,4,\"C\",65280\r\n");
    TExtIniFile ini(Path());
    TStatusRecordList list(ini, "FiscalAnswer");
    list.Load();
    for (std::size_t i = 0; i < list.Count(); ++i) {
        TStatusGridRow row = list.Rows()[i];
        row.Text += "!";
        list.Modify(i, row);
    }
    EXPECT_EQ(Read(), kHead + "[FiscalAnswer]\r\nRecord1=1,20,0001,0001,\"A!\",clBtnFace\r\n"
                              "Record2=2,2,0002,0002,\"B!\",$0000FF00\r\n"
                              "Record3=3,3,0004,0004,\"C!\",65280\r\n");
    EXPECT_EQ(StatusRowColor("$0000FF00"), 0x00FF00);
    EXPECT_EQ(StatusRowColor("clBtnFace"), clBtnFace);
}

TEST_F(StatusEditTest, EachChangeIsOneAtomicReplacement)
{
    Write(kHead + "[FiscalAnswer]\r\nRecord1=1,1,0001,0001,\"A\",clRed\r\n"
                  "Record2=2,1,0002,0002,\"B\",clRed\r\nRecord3=3,1,0003,0003,\"C\",clRed\r\n");
    TExtIniFile ini(Path());
    TStatusRecordList list(ini, "FiscalAnswer");
    list.Load();
    FileReplacements counter(m_dir.path().string(), "t.thf");
    list.Remove(1);
    EXPECT_EQ(counter.Count(), 1);
    list.Add(Row("4", "1", "1", "D", "clAqua"));
    EXPECT_EQ(counter.Count(), 1);

    TExtIniFile rc(Path());
    TReturnCodeList codes(rc);
    codes.Load();
    codes.Add("12", "Twelve");
    EXPECT_EQ(counter.Count(), 1);
    codes.Add("3", "Three");
    EXPECT_EQ(counter.Count(), 1);
}

TEST_F(StatusEditTest, ARefusedWriteReloadsTheListFromTheFile)
{
    const std::string bytes = kHead + "[FiscalAnswer]\r\nRecord1=1,1,0001,0001,\"A\",clRed\r\n";
    Write(bytes);
    TExtIniFile ini(Path());
    TStatusRecordList list(ini, "FiscalAnswer");
    list.Load();
    ASSERT_EQ(::chmod(m_dir.path().c_str(), 0555), 0);
    ASSERT_EQ(::chmod(Path().c_str(), 0444), 0);
    EXPECT_THROW(list.Add(Row("2", "2", "2", "B", "clRed")), IniWriteError);
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.Rows()[0].Text, "A");
    EXPECT_THROW(list.Remove(0), IniWriteError);
    EXPECT_EQ(list.Count(), 1u);
    EXPECT_EQ(Read(), bytes);

    TReturnCodeList codes(ini);
    codes.Load();
    EXPECT_THROW(codes.Add("1", "One"), IniWriteError);
    EXPECT_FALSE(codes.HasEntries());
    EXPECT_EQ(Read(), bytes);
    ::chmod(m_dir.path().c_str(), 0755);
}

TEST(StatusEditRules, OkRuleAndValueChecks)
{
    EXPECT_FALSE(StatusRecordOk("", "F", "1", "x"));
    EXPECT_FALSE(StatusRecordOk("1", "F", "1", ""));
    EXPECT_FALSE(StatusRecordOk("1", "", "1", "x"));
    EXPECT_FALSE(StatusRecordOk("1", "F", "", "x"));
    EXPECT_TRUE(StatusRecordOk("1", "F", "1", "x"));

    EXPECT_FALSE(StatusPanelProblem("16"));
    EXPECT_TRUE(StatusPanelProblem("17"));
    EXPECT_TRUE(StatusPanelProblem("0"));
    EXPECT_TRUE(StatusPanelProblem("$1"));
    EXPECT_FALSE(StatusHexProblem("mask", "fF0a"));
    EXPECT_TRUE(StatusHexProblem("mask", "12345"));
    EXPECT_TRUE(StatusHexProblem("mask", "0x1"));
    EXPECT_TRUE(StatusHexProblem("mask", ""));
    EXPECT_FALSE(StatusTextProblem(std::string(25, 'a')));
    EXPECT_TRUE(StatusTextProblem(std::string(26, 'a')));
    EXPECT_FALSE(StatusColorProblem("clbtnface"));
    EXPECT_FALSE(StatusColorProblem("$00FF00"));
    EXPECT_TRUE(StatusColorProblem("reddish"));
    EXPECT_EQ(StatusColorText("clred"), "clRed");
    EXPECT_EQ(StatusColorText("$00FF00"), "$00FF00");
}

// ---- return codes ----------------------------------------------------------------------------

TEST_F(StatusEditTest, ReturnCodesAreNormalizedAndDuplicatesRefused)
{
    Write(kHead);
    TExtIniFile ini(Path());
    TReturnCodeList codes(ini);
    codes.Load();
    EXPECT_EQ(codes.Add("007", "Seven"), TReturnCodeList::TResult::Done);
    EXPECT_EQ(Read(), kHead + "[Return codes]\r\nRC7=Seven\r\n");
    EXPECT_EQ(codes.Add("7", "Again"), TReturnCodeList::TResult::Exists);
    EXPECT_EQ(codes.Add("12a", "Bad"), TReturnCodeList::TResult::BadNumber);
    EXPECT_EQ(codes.Add("123456", "Bad"), TReturnCodeList::TResult::BadNumber);
    EXPECT_EQ(Read(), kHead + "[Return codes]\r\nRC7=Seven\r\n");
    EXPECT_EQ(NormalizeReturnCode("00000"), "0");
}

TEST_F(StatusEditTest, ReturnCodesAreStoredSortedByValue)
{
    Write(kHead + "[Groups]\r\n");
    TExtIniFile ini(Path());
    TReturnCodeList codes(ini);
    codes.Load();
    codes.Add("12", "Twelve");
    codes.Add("3", "Three");
    codes.Add("40", "Forty");
    EXPECT_EQ(Read(),
              kHead + "[Groups]\r\n[Return codes]\r\nRC3=Three\r\nRC12=Twelve\r\nRC40=Forty\r\n");
    ASSERT_EQ(codes.Rows().size(), 3u);
    EXPECT_EQ(codes.Rows()[1].Number, "12");

    // The description alone may change; the number may not become another entry's.
    EXPECT_EQ(codes.Modify(1, "012", "Dozen"), TReturnCodeList::TResult::Done);
    EXPECT_EQ(codes.Modify(1, "40", "Clash"), TReturnCodeList::TResult::Exists);
    EXPECT_EQ(codes.Modify(0, "50", "Fifty"), TReturnCodeList::TResult::Done);
    EXPECT_EQ(Read(),
              kHead + "[Groups]\r\n[Return codes]\r\nRC12=Dozen\r\nRC40=Forty\r\nRC50=Fifty\r\n");

    codes.Remove(0);
    codes.Remove(0);
    codes.Remove(0);
    EXPECT_EQ(Read(), kHead + "[Groups]\r\n");
}

TEST_F(StatusEditTest, FileOrderIsKeptUntilTheFirstChange)
{
    Write(kHead + "[Return codes]\r\nRC40=Forty\r\nRC3=Three\r\n");
    TExtIniFile ini(Path());
    TReturnCodeList codes(ini);
    codes.Load();
    ASSERT_EQ(codes.Rows().size(), 2u);
    EXPECT_EQ(codes.Rows()[0].Number, "40");
    EXPECT_EQ(codes.Rows()[1].Number, "3");
    EXPECT_EQ(Read(), kHead + "[Return codes]\r\nRC40=Forty\r\nRC3=Three\r\n");
    codes.Modify(0, "40", "Forty!");
    EXPECT_EQ(Read(), kHead + "[Return codes]\r\nRC3=Three\r\nRC40=Forty!\r\n");
}

TEST_F(StatusEditTest, KeysThatAreNoReturnCodesAreKeptUntouchedAfterTheNumberedOnes)
{
    Write(kHead + "[Return codes]\r\nRCNNN1=Description1\r\nrc9=\"Nine\"\r\nNote = \"keep me\" \r\n"
                  "RC007=Seven\r\nRC7=Second seven\r\nRC123456=Too long\r\n");
    TExtIniFile ini(Path());
    TReturnCodeList codes(ini);
    codes.Load();
    ASSERT_EQ(codes.Rows().size(), 2u);
    EXPECT_EQ(codes.Rows()[0], (TReturnCodeRow{"9", "Nine", {}}));
    EXPECT_EQ(codes.Rows()[1], (TReturnCodeRow{"7", "Second seven", {}}));
    EXPECT_TRUE(codes.ReturnCodeExists("7"));
    EXPECT_EQ(codes.Add("1", "One"), TReturnCodeList::TResult::Done);
    EXPECT_EQ(Read(), kHead + "[Return codes]\r\nRC1=One\r\nRC7=Second seven\r\nRC9=\"Nine\"\r\n"
                              "RCNNN1=Description1\r\nNote=\"keep me\"\r\nRC007=Seven\r\n"
                              "RC123456=Too long\r\n");

    // A code whose only key has leading zeros becomes the key the answer display reads.
    Write(kHead + "[Return codes]\r\nRC0012=Twelve\r\n");
    codes.Load();
    EXPECT_EQ(codes.Add("3", "Three"), TReturnCodeList::TResult::Done);
    EXPECT_EQ(Read(), kHead + "[Return codes]\r\nRC3=Three\r\nRC12=Twelve\r\n");
}

} // namespace

namespace {

TEST_F(StatusEditTest, UntouchedReturnCodesKeepTheirBytesAndTwinKeysGoWithTheirCode)
{
    Write(kHead + "[Return codes]\r\nRC5=\"\"Low\"\"\r\nRC9=\"Cover open\"\r\nRC0=Zero\r\n"
                  "RC00=Twin\r\n");
    TExtIniFile ini(Path());
    TReturnCodeList codes(ini);
    codes.Load();
    ASSERT_EQ(codes.Rows().size(), 3u);
    EXPECT_EQ(codes.Rows()[0].Text, "\"Low\"");
    EXPECT_EQ(codes.Add("1", "One"), TReturnCodeList::TResult::Done);
    EXPECT_EQ(Read(), kHead + "[Return codes]\r\nRC0=Zero\r\nRC1=One\r\nRC5=\"\"Low\"\"\r\n"
                              "RC9=\"Cover open\"\r\nRC00=Twin\r\n");
    // A second change still leaves them alone; a modified one is written as typed.
    const auto nine = codes.Find("9");
    ASSERT_TRUE(nine);
    EXPECT_EQ(codes.Modify(*nine, "9", "Cover open!"), TReturnCodeList::TResult::Done);
    EXPECT_EQ(Read(), kHead + "[Return codes]\r\nRC0=Zero\r\nRC1=One\r\nRC5=\"\"Low\"\"\r\n"
                              "RC9=Cover open!\r\nRC00=Twin\r\n");

    // Removing code 0 removes RC00 too: it would come back as code 0 at the next load.
    codes.Remove(*codes.Find("0"));
    codes.Load();
    EXPECT_FALSE(codes.ReturnCodeExists("0"));
    EXPECT_EQ(Read(),
              kHead + "[Return codes]\r\nRC1=One\r\nRC5=\"\"Low\"\"\r\nRC9=Cover open!\r\n");
}

TEST_F(StatusEditTest, EditorsRefuseToCreateACatalogueDeletedWhileTheyWereOpen)
{
    using Change = std::function<void(TStatusRecordList&, TReturnCodeList&)>;
    const std::vector<Change> changes = {
        [](TStatusRecordList& r, TReturnCodeList&) {
            r.Add({"2", "2", "2", "Two", "clBlue"});
        },
        [](TStatusRecordList& r, TReturnCodeList&) {
            r.Modify(0, {"1", "1", "1", "On", "clBlue"});
        },
        [](TStatusRecordList& r, TReturnCodeList&) { r.Remove(0); },
        [](TStatusRecordList&, TReturnCodeList& c) { c.Add("2", "Two"); },
        [](TStatusRecordList&, TReturnCodeList& c) { c.Modify(0, "1", "Uno"); },
        [](TStatusRecordList&, TReturnCodeList& c) { c.Remove(0); },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        SCOPED_TRACE(i);
        Write(kHead + "[FiscalAnswer]\r\nRecord1=1,1,0001,0001,\"On\",clRed\r\n"
                      "[Return codes]\r\nRC1=One\r\n");
        TExtIniFile ini(Path());
        TStatusRecordList records(ini, "FiscalAnswer");
        records.Load();
        TReturnCodeList codes(ini);
        codes.Load();
        std::filesystem::remove(Path());
        try {
            changes[i](records, codes);
            ADD_FAILURE() << "the change was not refused";
        } catch (const IniWriteError& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + Path());
        }
        EXPECT_FALSE(std::filesystem::exists(Path()));
    }
}

} // namespace
