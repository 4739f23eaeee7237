// Status-record and return-code editors on the large catalogue (500 groups of 20 commands,
// eight fields each, about 5 MB) with 1,000 fiscal records and 1,000 return codes. Targets:
// an editor opens in under 200 ms; each change (one atomic replacement of the file, the grid
// refilled) takes under 50 ms.
//
// Run: build/bench/bench_gui_status (offscreen; no display needed).

#include "core/profile.h"
#include "core/returncodeedit.h"
#include "core/statusedit.h"
#include "editors/fieldtypecombobox.h"
#include "editors/formeditfixanswer.h"
#include "editors/formeditreturncode.h"
#include "gui/messagebox.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

using namespace tallyhost;

namespace {

constexpr int Groups = 500;
constexpr int CommandsPerGroup = 20;
constexpr int Records = 1000;

std::string WriteCatalogue(const QTemporaryDir& dir)
{
    const std::string path = dir.filePath(QStringLiteral("big.thf")).toStdString();
    std::string text = "[General]\r\nProtocol=1\r\nInputDateFormat=0\r\nOutputDateFormat=0\r\n";
    text += "[Return codes]\r\n";
    for (int i = 0; i < Records; ++i)
        text += "RC" + std::to_string(i * 3) + "=Description of return code " +
                std::to_string(i * 3) + "\r\n";
    text += "[FiscalAnswer]\r\n";
    for (int i = 1; i <= Records; ++i)
        text += "Record" + std::to_string(i) + "=" + std::to_string(i) + "," +
                std::to_string(i % 16 + 1) + ",00FF,00" + (i % 2 ? "01" : "02") +
                ",\"Status text " + std::to_string(i) + "\",clRed\r\n";
    text += "[PrinterAnswer]\r\nRecord1=1,1,0001,0001,\"Printer error\",clRed\r\n[Groups]\r\n";
    for (int g = 0; g < Groups; ++g)
        text += "Group" + std::to_string(g) + "=\r\n";
    std::string commands;
    for (int f = 0; f < 8; ++f)
        commands += (f ? "," : "") + std::string("0,\"&Field ") + std::to_string(f) +
                    "\",\"Value of the field\"," + std::to_string(f) + ",\"0\",0,12,1,0,0,2,0";
    for (int g = 0; g < Groups; ++g) {
        text += "[Group" + std::to_string(g) + "]\r\n";
        for (int c = 0; c < CommandsPerGroup; ++c)
            text += "Command" + std::to_string(c) + "=\r\n";
        for (int c = 0; c < CommandsPerGroup; ++c)
            text += "[Group" + std::to_string(g) + "Command" + std::to_string(c) +
                    "]\r\nCommands=" + commands +
                    "\r\nAnswers=\"Total\",2,2,\"Date\",8,0\r\nCL2=\"First,Second\"\r\n";
    }
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

struct Catalogue
{
    QTemporaryDir dir;
    QString path;
    Catalogue() : path(QString::fromStdString(WriteCatalogue(dir))) {}
};

Catalogue& Shared()
{
    static Catalogue catalogue;
    return catalogue;
}

void BM_OpenFixAnswerEditor(benchmark::State& state)
{
    for (auto _ : state) {
        TFormEditFixAnswer dialog(Shared().path);
        dialog.show();
        QApplication::processEvents();
        if (dialog.StringGridFiscal->rowCount() != Records)
            state.SkipWithError("records missing");
    }
}
BENCHMARK(BM_OpenFixAnswerEditor)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_OpenReturnCodeEditor(benchmark::State& state)
{
    for (auto _ : state) {
        TFormEditReturnCode dialog(Shared().path);
        dialog.show();
        QApplication::processEvents();
        if (dialog.StringGridRc->rowCount() != Records)
            state.SkipWithError("codes missing");
    }
}
BENCHMARK(BM_OpenReturnCodeEditor)->Unit(benchmark::kMillisecond)->Iterations(10);

// Modify of record 500 through the dialog: record dialog accepted, file replaced, grid refilled.
void BM_ModifyStatusRecord(benchmark::State& state)
{
    TFormEditFixAnswer dialog(Shared().path);
    dialog.show();
    TRecordedDialogs boxes;
    int n = 0;
    boxes.OnDialog = [&n](QDialog& d) {
        auto* r = qobject_cast<TFormEditFixAnswerRecord*>(&d);
        r->FieldTypeComboBoxText->setText(QStringLiteral("Changed %1").arg(++n));
        return int(QDialog::Accepted);
    };
    for (auto _ : state) {
        dialog.StringGridFiscal->setCurrentCell(499, 0);
        dialog.ButtonModifyClick();
    }
    if (!dialog.StringGridFiscal->item(499, 3)->text().startsWith(QStringLiteral("Changed")))
        state.SkipWithError("not modified");
}
BENCHMARK(BM_ModifyStatusRecord)->Unit(benchmark::kMillisecond)->Iterations(20);

// Add of a new return code (sorted into the middle), then its removal: two changes a round.
void BM_AddAndRemoveReturnCode(benchmark::State& state)
{
    TFormEditReturnCode dialog(Shared().path);
    dialog.show();
    TRecordedDialogs boxes;
    boxes.OnDialog = [](QDialog& d) {
        auto* r = qobject_cast<TFormRcRecord*>(&d);
        r->FieldTypeComboBoxRcNumber->setText(QStringLiteral("1501"));
        r->EditText->setText(QStringLiteral("Inserted"));
        return int(QDialog::Accepted);
    };
    for (auto _ : state) {
        dialog.ButtonAddClick();
        dialog.ButtonRemoveClick(); // the added row is the current one; the box answers OK
    }
    if (dialog.List().Rows().size() != Records)
        state.SkipWithError("list changed");
}
BENCHMARK(BM_AddAndRemoveReturnCode)->Unit(benchmark::kMillisecond)->Iterations(20);

// The file side alone: one status change is one replacement of the 5 MB file.
void BM_StatusListChangeOnly(benchmark::State& state)
{
    TExtIniFile ini(Shared().path.toStdString());
    TStatusRecordList list(ini, "FiscalAnswer");
    list.Load();
    int n = 0;
    for (auto _ : state) {
        TStatusGridRow row = list.Rows()[100];
        row.Text = "Text " + std::to_string(++n);
        list.Modify(100, row);
    }
}
BENCHMARK(BM_StatusListChangeOnly)->Unit(benchmark::kMillisecond)->Iterations(20);

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
