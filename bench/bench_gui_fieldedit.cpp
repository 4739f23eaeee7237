// The field list editor on the large catalogue: 500 groups of 20 commands (10,000 commands,
// about 5 MB) plus a command with 70 fields at the end. Targets: opening the list editor on the
// 70-field command < 100 ms; each Add, Modify or Remove (one replacement of the whole file)
// < 50 ms. Remove takes field 2, so the combo lists of every later field move.
//
// Run: build/bench/bench_gui_fieldedit (offscreen; no display needed).

#include "core/fieldedit.h"
#include "editors/formeditcmdans.h"

#include <QApplication>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace {

constexpr int Groups = 500;
constexpr int CommandsPerGroup = 20;
constexpr int WideFields = 70;

std::string FieldText(int i)
{
    return "0,\"Field " + std::to_string(i) + "\",\"Hint of field " + std::to_string(i) + "\"," +
           std::to_string(i % 8) + ",\"\"," + std::to_string(i % 3) + ",10," +
           std::to_string(i % 2) + ",0,0,0,0";
}

std::string CommandBody(int fields)
{
    std::string commands;
    for (int i = 1; i <= fields; ++i)
        commands += (i > 1 ? "," : "") + FieldText(i);
    std::string body = "Commands=" + commands + "\r\nAnswers=\"Number\",3,0,\"Total\",2,2\r\n";
    for (int i = 1; i <= fields; ++i) {
        if (i % 3 != 0)
            body += "CL" + std::to_string(i) + "=\"One,Two,\"\"Three items\"\"\"\r\n";
    }
    return body + "Notes=\"A generated command\",\"second line\"\r\n";
}

std::string WriteCatalogue(const QTemporaryDir& dir, int wideFields)
{
    const std::string path = dir.filePath(QStringLiteral("big.thf")).toStdString();
    std::string groups = "[Groups]\r\n";
    std::string sections;
    const std::string body = CommandBody(8);
    for (int g = 0; g < Groups; ++g) {
        const std::string group = "Group" + std::to_string(g);
        groups += group + "=\r\n";
        sections += "[" + group + "]\r\n";
        for (int c = 0; c < CommandsPerGroup; ++c)
            sections += "Cmd" + std::to_string(c) + "=\r\n";
        for (int c = 0; c < CommandsPerGroup; ++c)
            sections += "[" + group + "Cmd" + std::to_string(c) + "]\r\n" + body;
    }
    groups += "Wide=\r\n";
    sections += "[Wide]\r\nAll=\r\n[WideAll]\r\n" + CommandBody(wideFields);
    std::ofstream(path, std::ios::binary)
        << "[General]\r\nProtocol=0\r\nInputDateFormat=0\r\nOutputDateFormat=0\r\n"
        << groups << sections;
    return path;
}

tallyhost::TCommandRecord Record(const std::string& caption)
{
    tallyhost::TCommandRecord r;
    r.Caption = caption;
    r.ControlType = tallyhost::ctDropDown;
    r.MaxLength = "12";
    r.ComboLines = {"a", "b c"};
    return r;
}

void BM_OpenListEditorOn70Fields(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = QString::fromStdString(WriteCatalogue(dir, WideFields));
    for (auto _ : state) {
        TFormEditCmdAns dialog(nullptr, path, QStringLiteral("WideAll"));
        dialog.show();
        QApplication::processEvents();
        if (dialog.StringGridCommands->rowCount() != WideFields)
            state.SkipWithError("the grid did not get 70 fields");
    }
}
BENCHMARK(BM_OpenListEditorOn70Fields)->Unit(benchmark::kMillisecond)->Iterations(20);

// The part of opening that reads the file: both lists of the command and their texts.
void BM_LoadListsOf70Fields(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::string path = WriteCatalogue(dir, WideFields);
    for (auto _ : state) {
        tallyhost::TFieldListEditor editor(path, "WideAll");
        if (editor.CommandRows().size() != WideFields)
            state.SkipWithError("the list did not get 70 fields");
    }
}
BENCHMARK(BM_LoadListsOf70Fields)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_AddField(benchmark::State& state)
{
    QTemporaryDir dir;
    tallyhost::TFieldListEditor editor(WriteCatalogue(dir, WideFields - 1), "WideAll");
    for (auto _ : state) {
        if (!editor.AddCommandField(Record("Added")).Done())
            state.SkipWithError("add refused");
        state.PauseTiming();
        editor.RemoveCommandField(WideFields);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AddField)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_ModifyField(benchmark::State& state)
{
    QTemporaryDir dir;
    tallyhost::TFieldListEditor editor(WriteCatalogue(dir, WideFields), "WideAll");
    int n = 0;
    for (auto _ : state) {
        if (!editor.ModifyCommandField(1, Record("Changed " + std::to_string(++n))).Done())
            state.SkipWithError("modify refused");
    }
}
BENCHMARK(BM_ModifyField)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_RemoveField2(benchmark::State& state)
{
    QTemporaryDir dir;
    tallyhost::TFieldListEditor editor(WriteCatalogue(dir, WideFields), "WideAll");
    for (auto _ : state) {
        if (!editor.RemoveCommandField(2).Done())
            state.SkipWithError("remove refused");
        state.PauseTiming();
        editor.AddCommandField(Record("Again"));
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RemoveField2)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
