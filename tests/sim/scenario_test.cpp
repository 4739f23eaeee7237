#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/errors.h"
#include "core/profile.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "tools/sim/scenario.h"

namespace tallyhost::sim {
namespace {

using namespace std::string_literals;
using namespace std::chrono_literals;

const std::string SourceDir = TALLYHOST_SOURCE_DIR;

TEST(Scenario, RulesStartFromThePortDefaults)
{
    const Scenario s = ParseScenario("[General]\n"
                                     "AckTimeout=250\n"
                                     "CompatibleStatus=decimal\n"
                                     "[Host]\n"
                                     "FiscalStatus=0600\n"
                                     "Delay=100\n"
                                     "Field1=default\n"
                                     "[Host.Star]\n"
                                     "Match=x'2A'\n"
                                     "PrinterStatus=8009\n"
                                     "ReturnCode=2049\n"
                                     "[Host.Echo]\n"
                                     "Match=E\n"
                                     "Field1=$2\n"
                                     "Field2=\"two words\"\n"
                                     "Field4=not read: Field3 is missing\n"
                                     "KeepAlive=1000\n"
                                     "KeepAliveKind=frame\n"
                                     "Fault=split, stale\n"
                                     "[Fiscal]\n"
                                     "Frame1=0001\n"
                                     "[Fiscal.Sum]\n"
                                     "Match=T\n"
                                     "Frame1=0005 a\n"
                                     "Frame2=0000 b\n"
                                     "[Fiscal.Print]\n"
                                     "Match=P\n"
                                     "AckOnly=1\n",
                                     "test.ini");
    EXPECT_EQ(s.AckTimeout, 250ms);
    EXPECT_EQ(s.CompatibleStatus, StatusText::Decimal);

    const HostRule& star = s.MatchHost("*");
    EXPECT_EQ(star.Name, "Star");
    EXPECT_EQ(star.PrinterStatus, 0x8009);
    EXPECT_EQ(star.FiscalStatus, 0x0600) << "inherited from [Host]";
    EXPECT_EQ(star.ReturnCode, 2049);
    EXPECT_EQ(star.Delay, 100ms);
    EXPECT_EQ(star.Fields, std::vector<std::string>{"default"});

    const HostRule& echo = s.MatchHost("E");
    EXPECT_EQ(echo.Fields, (std::vector<std::string>{"$2", "two words"}));
    EXPECT_EQ(echo.KeepAliveEvery, 1000ms);
    EXPECT_EQ(echo.KeepAliveKind, KeepAlive::Frame);
    EXPECT_EQ(echo.Faults, unsigned{FaultSplit | FaultStale});

    EXPECT_EQ(&s.MatchHost("E2"), &s.HostDefault) << "host commands match exactly";
    EXPECT_EQ(s.HostDefault.FiscalStatus, 0x0600);

    EXPECT_EQ(s.MatchFiscal("T2612").Frames, (std::vector<std::string>{"0005 a", "0000 b"}));
    EXPECT_TRUE(s.MatchFiscal("Print").Frames.empty());
    EXPECT_EQ(s.MatchFiscal("X").Frames, std::vector<std::string>{"0001"});
}

TEST(Scenario, ErrorsNameTheFileSectionAndKey)
{
    const auto message = [](const std::string& text) {
        try {
            ParseScenario(text, "bad.ini");
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return "no error"s;
    };
    EXPECT_EQ(message("[Host.A]\nMatch=A\nDelay=soon\n"),
              "bad.ini: [Host.A] Delay: 'soon' is not a valid integer value");
    EXPECT_EQ(message("[Host.A]\nMatch=A\nPrinterStatus=12345\n"),
              "bad.ini: [Host.A] PrinterStatus: '12345' is not a status word (1 to 4 "
              "hexadecimal digits)");
    EXPECT_EQ(message("[Host.A]\nMatch=A\nFault=nak,explode\n"),
              "bad.ini: [Host.A] Fault: unknown fault 'explode'");
    EXPECT_EQ(message("[Host.A]\nFault=nak\n"),
              "bad.ini: [Host.A] Match: missing (every rule names the command it answers)");
    EXPECT_EQ(message("[Host.A]\nMatch=A\nReturnCode=70000\n"),
              "bad.ini: [Host.A] ReturnCode: '70000' is out of range (0 to 65535)");
    EXPECT_EQ(message("[General]\nSplitGap=3000\n"),
              "bad.ini: [General] SplitGap: gaps of 2500 ms or more end every exchange by "
              "time-out");
    EXPECT_NE(message("[Fiscal.X]\nMatch=\n"), "no error");
    EXPECT_THROW(LoadScenario(SourceDir + "/no/such/scenario.ini"), Error);
}

// The demo scenario loads, triggers every fault somewhere and answers each host command of
// the demo catalogue with a rule of its own.
TEST(DemoFiles, ScenarioCoversTheCatalogue)
{
    const Scenario s = LoadScenario(SourceDir + "/examples/demo-sim.ini");
    unsigned hostFaults = 0;
    unsigned fiscalFaults = 0;
    bool keepAliveDc2 = false;
    bool keepAliveFrame = false;
    for (const auto& rule : s.HostRules) {
        hostFaults |= rule.Faults;
        keepAliveDc2 |= rule.KeepAliveEvery.count() > 0 && rule.KeepAliveKind == KeepAlive::Dc2;
        keepAliveFrame |= rule.KeepAliveEvery.count() > 0 && rule.KeepAliveKind == KeepAlive::Frame;
    }
    for (const auto& rule : s.FiscalRules)
        fiscalFaults |= rule.Faults;
    EXPECT_EQ(hostFaults, unsigned{FaultNak | FaultBadChecksum | FaultSilence | FaultStale |
                                   FaultGarbage | FaultSplit | FaultFlood});
    EXPECT_EQ(fiscalFaults, unsigned{FaultNak | FaultBadChecksum | FaultSilence | FaultGarbage |
                                     FaultSplit | FaultFlood});
    EXPECT_TRUE(keepAliveDc2);
    EXPECT_TRUE(keepAliveFrame);

    // Every command of the catalogue: its first field's default is what the printer sees
    // (for these read-only code fields), and a host command has a rule of its own.
    TTerminalCache cache(SourceDir + "/examples/demo.thf");
    for (const auto& group : cache.ReadSection(SectionGroups)) {
        for (const auto& command : cache.ReadSection(group)) {
            TCommandDefinition def;
            LoadCommandFields(cache, CommandSectionName(group, command), def);
            ASSERT_GT(def.FieldCount, 0) << group << command;
            if (def.Mode != cmHost)
                continue;
            const std::string code = def.Fields[0].DefaultText;
            EXPECT_NE(&s.MatchHost(code), &s.HostDefault)
                << group << command << " '" << code << "'";
        }
    }
}

// The demo catalogue loads with the terminal's own loaders and shows every kind of field.
TEST(DemoFiles, CatalogueLoadsWithTheTerminalLoaders)
{
    const std::string path = SourceDir + "/examples/demo.thf";
    TTerminalCache cache;
    ASSERT_TRUE(cache.LoadFromFile(path));

    // CR LF everywhere, as the file format wants.
    const IniDocument ini = IniDocument::Load(path);
    const std::string bytes = ini.ToBytes();
    for (std::size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1))
        ASSERT_TRUE(at > 0 && bytes[at - 1] == '\r') << "bare LF at byte " << at;

    EXPECT_EQ(ini.ReadString(SectionGeneral, KeyProtocol, ""), "1");

    std::set<int> textTypes, controlTypes, answerTypes, modes;
    bool required = false, readOnly = false, autoIncrement = false, combo = false, notes = false;
    int commands = 0;
    for (const auto& group : ProfileReadSection(path, SectionGroups)) {
        EXPECT_TRUE(IsFreeSectionName(group)) << group;
        for (const auto& command : ProfileReadSection(path, group)) {
            const std::string section = CommandSectionName(group, command);
            ASSERT_TRUE(cache.SectionExists(section)) << section;
            TCommandDefinition def;
            ASSERT_NO_THROW(LoadCommandFields(cache, section, def)) << section;
            ASSERT_NO_THROW(LoadAnswerFields(cache, section, def)) << section;
            ++commands;
            modes.insert(def.Mode);
            for (int i = 0; i < def.FieldCount; ++i) {
                const auto& f = def.Fields[static_cast<std::size_t>(i)];
                textTypes.insert(f.TextType);
                controlTypes.insert(f.ControlType);
                required |= f.Required;
                readOnly |= f.ReadOnly;
                autoIncrement |= f.AutoIncrement;
                EXPECT_EQ(f.Caption.find('"'), std::string::npos) << section;
                if (f.ControlType == ctDropDown || f.ControlType == ctDropDownList) {
                    const auto items = LoadComboItems(cache, section, i + 1);
                    EXPECT_FALSE(items.empty()) << section << " field " << i + 1;
                    combo |= !items.empty();
                }
            }
            for (int i = 0; i < def.AnswerCount; ++i)
                answerTypes.insert(def.Answers[static_cast<std::size_t>(i)].TextType);
            notes |= !LoadNotes(cache, section).empty();
        }
    }
    EXPECT_GE(commands, 20);
    const std::set<int> allTextTypes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(textTypes, allTextTypes);
    EXPECT_EQ(answerTypes, allTextTypes);
    EXPECT_EQ(controlTypes, (std::set<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(modes, (std::set<int>{cmHost, cmFiscal}));
    EXPECT_TRUE(required && readOnly && autoIncrement && combo && notes);

    TStatusTable fiscal, printer;
    ASSERT_NO_THROW(LoadStatusRecords(cache, SectionFiscalAnswer, fiscal));
    ASSERT_NO_THROW(LoadStatusRecords(cache, SectionPrinterAnswer, printer));
    EXPECT_GE(fiscal.RecordCount, 10);
    EXPECT_GE(fiscal.PanelCount, 4);
    EXPECT_GE(printer.RecordCount, 6);
    EXPECT_GE(printer.PanelCount, 4);
    std::set<TColor> colours;
    for (int i = 0; i < fiscal.RecordCount; ++i)
        colours.insert(fiscal.Records[static_cast<std::size_t>(i)].Color);
    EXPECT_GE(colours.size(), 5u);

    EXPECT_EQ(ReturnCodeText(cache, "2049"), "Paper out: printer stopped");
    EXPECT_EQ(ReturnCodeText(cache, "3"), "Command not valid in this state");
}

} // namespace
} // namespace tallyhost::sim
