// Terminal window on a large catalogue: 500 groups of 20 commands, plus one group of 200
// commands and a command with 70 fields. Targets: open < 500 ms, build the 70-field panel
// < 100 ms, rename or paste the 200-command group < 300 ms each, show an answer of 8,000
// values < 100 ms.
//
// Run: build/bench/bench_gui_terminal (offscreen; no display needed).

#include "gui/messagebox.h"
#include "terminal/commandtree.h"
#include "terminal/terminalwindow.h"

#include <QApplication>
#include <QEventLoop>
#include <QInputDialog>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidgetItem>

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Groups = 500;
constexpr int CommandsPerGroup = 20;
constexpr int BigGroupCommands = 200;
constexpr int PanelFields = 70;

std::string FieldText(int mode, int i, int controlType)
{
    return std::to_string(mode) + ",\"Field " + std::to_string(i) + "\",\"Hint " +
           std::to_string(i) + "\"," + std::to_string(i % 8) + ",\"\"," +
           std::to_string(controlType) + ",10," + std::to_string(i % 2) + ",0,0,0,0";
}

std::string CommandBody(int fields)
{
    std::string commands;
    for (int i = 0; i < fields; ++i)
        commands += (i ? "," : "") + FieldText(0, i, i % 5);
    std::string body = "Commands=" + commands + "\r\nAnswers=\"Number\",3,0,\"Total\",2,2\r\n";
    for (int i = 1; i <= fields; ++i) {
        if (i % 5 == 2 || i % 5 == 3)
            body += "CL" + std::to_string(i) + "=\"One,Two,Three\"\r\n";
    }
    return body + "Notes=\"A generated command\",\"second line\"\r\n";
}

// Writes the catalogue and returns its path (inside `dir`).
std::string WriteCatalogue(const QTemporaryDir& dir)
{
    const std::string path = dir.filePath(QStringLiteral("big.thf")).toStdString();
    std::string groups = "[Groups]\r\n";
    std::string sections;
    const std::string body = CommandBody(3);
    for (int g = 0; g < Groups; ++g) {
        const std::string group = "Group" + std::to_string(g);
        groups += group + "=\r\n";
        sections += "[" + group + "]\r\n";
        for (int c = 0; c < CommandsPerGroup; ++c)
            sections += "Cmd" + std::to_string(c) + "=\r\n";
        for (int c = 0; c < CommandsPerGroup; ++c)
            sections += "[" + group + "Cmd" + std::to_string(c) + "]\r\n" + body;
    }
    groups += "Big=\r\nWide=\r\n";
    sections += "[Big]\r\n";
    for (int c = 0; c < BigGroupCommands; ++c)
        sections += "Item" + std::to_string(c) + "=\r\n";
    for (int c = 0; c < BigGroupCommands; ++c)
        sections += "[BigItem" + std::to_string(c) + "]\r\n" + body;
    sections += "[Wide]\r\nAll=\r\n[WideAll]\r\n" + CommandBody(PanelFields);
    std::ofstream(path, std::ios::binary)
        << "[General]\r\nProtocol=0\r\nInputDateFormat=0\r\nOutputDateFormat=0\r\n"
        << "[FiscalAnswer]\r\nRecord1=1,1,0001,0001,\"Paper out\",clRed\r\n"
        << "[PrinterAnswer]\r\nRecord1=1,2,0002,0002,\"Cover open\",clMaroon\r\n"
        << groups << sections;
    return path;
}

QTreeWidgetItem* GroupNode(TFormChildTerminalWindow& w, const QString& name)
{
    QTreeWidgetItem* root = w.TreeViewCommand->topLevelItem(0);
    for (int i = 0; i < root->childCount(); ++i) {
        if (root->child(i)->text(0) == name)
            return root->child(i);
    }
    return nullptr;
}

// Answers input boxes with the next name of a list; every message box with OK.
struct TScriptedDialogs
{
    TRecordedDialogs dialogs;
    QString next;
    TScriptedDialogs()
    {
        dialogs.OnDialog = [this](QDialog& d) {
            if (auto* input = qobject_cast<QInputDialog*>(&d))
                input->setTextValue(next);
            return int(QDialog::Accepted);
        };
    }
};

void BM_OpenWindowWithTree(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = QString::fromStdString(WriteCatalogue(dir));
    TScriptedDialogs script;
    for (auto _ : state) {
        auto w = std::make_unique<TFormChildTerminalWindow>(path);
        w->show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(w->TreeViewCommand->topLevelItem(0)->childCount());
    }
}
BENCHMARK(BM_OpenWindowWithTree)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_BuildPanelOf70Fields(benchmark::State& state)
{
    QTemporaryDir dir;
    TFormChildTerminalWindow w(QString::fromStdString(WriteCatalogue(dir)));
    w.resize(900, 600);
    w.show();
    TScriptedDialogs script;
    // Let the first focus settle: it makes the root current, reported 50 ms later.
    QEventLoop settle;
    QTimer::singleShot(100, &settle, &QEventLoop::quit);
    settle.exec();
    for (auto _ : state) {
        w.ShowCommand(QStringLiteral("WideAll"), true);
        if (w.Definition.FieldCount != PanelFields)
            state.SkipWithError(("the panel did not get 70 fields: " +
                                 script.dialogs.Texts().join("|").toStdString())
                                    .c_str());
    }
}
BENCHMARK(BM_BuildPanelOf70Fields)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_RenameGroupOf200Commands(benchmark::State& state)
{
    QTemporaryDir dir;
    TFormChildTerminalWindow w(QString::fromStdString(WriteCatalogue(dir)));
    TScriptedDialogs script;
    int n = 0;
    for (auto _ : state) {
        QTreeWidgetItem* node = GroupNode(w, n == 0 ? "Big" : "Big" + QString::number(n));
        w.TreeViewCommand->setCurrentItem(node);
        script.next = "Big" + QString::number(++n);
        w.MenuItemGroupRenameClick();
        if (node->text(0) != script.next)
            state.SkipWithError("rename refused");
    }
}
BENCHMARK(BM_RenameGroupOf200Commands)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PasteGroupOf200Commands(benchmark::State& state)
{
    QTemporaryDir dir;
    TFormChildTerminalWindow w(QString::fromStdString(WriteCatalogue(dir)));
    TScriptedDialogs script;
    QTreeWidgetItem* root = w.TreeViewCommand->topLevelItem(0);
    for (auto _ : state) {
        const int before = root->childCount();
        w.PasteNode(root, GroupNode(w, "Big"));
        if (root->childCount() != before + 1)
            state.SkipWithError("paste refused");
    }
}
BENCHMARK(BM_PasteGroupOf200Commands)->Unit(benchmark::kMillisecond)->Iterations(5);

// A huge printer answer: 8,000 values. The display must not freeze the window whatever the
// count. Target: < 100 ms for 8,000 entries, shown and painted.
void BM_ShowHugeAnswer(benchmark::State& state)
{
    QTemporaryDir dir;
    TFormChildTerminalWindow w(QString::fromStdString(WriteCatalogue(dir)));
    w.resize(900, 600);
    w.show();
    TScriptedDialogs script;
    std::vector<std::string> values;
    for (int i = 0; i < state.range(0); ++i)
        values.push_back(std::to_string(i));
    for (auto _ : state) {
        w.ShowAnswer(0x0001, 0x0002, values, 0);
        QApplication::processEvents();
        w.repaint();
    }
    state.counters["entries"] = static_cast<double>(values.size());
}
BENCHMARK(BM_ShowHugeAnswer)->Arg(70)->Arg(8000)->Unit(benchmark::kMillisecond)->Iterations(3);

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
