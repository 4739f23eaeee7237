#include "app/formrunscript.h"

#include "app/logwindow.h"
#include "gui/logview.h"
#include "gui/messagebox.h"
#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"
#include "session/exchange.h"
#include "session/script.h"
#include "session/scriptcheck.h"
#include "session/scriptrunner.h"

#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

using namespace tallyhost;

namespace {

enum Column
{
    ColumnCase,
    ColumnResult,
    ColumnTime,
};

QString Latin1(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString StatusText(TCaseStatus status)
{
    switch (status) {
    case TCaseStatus::Passed:
        return QStringLiteral("Passed");
    case TCaseStatus::Failed:
        return QStringLiteral("Failed");
    case TCaseStatus::Skipped:
        return QStringLiteral("Skipped");
    case TCaseStatus::Stopped:
        return QStringLiteral("Stopped");
    }
    return {};
}

} // namespace

TFormRunScript::TFormRunScript(TFPHostControl* host, TFPAuxControl* aux, QWidget* parent)
    : QWidget(parent, Qt::Window), m_host(host), m_aux(aux),
      m_engine(std::make_unique<TExchangeEngine>())
{
    setObjectName(QStringLiteral("FormRunScript"));
    setWindowTitle(QStringLiteral("Run script"));
    resize(560, 420);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("&Script:"), this);
    m_editScript = new QLineEdit(this);
    m_editScript->setObjectName(QStringLiteral("EditScript"));
    label->setBuddy(m_editScript);
    m_buttonBrowse = new QPushButton(QStringLiteral("&Browse..."), this);
    m_buttonBrowse->setObjectName(QStringLiteral("ButtonBrowse"));
    m_buttonRun = new QPushButton(QStringLiteral("&Run"), this);
    m_buttonRun->setObjectName(QStringLiteral("ButtonRun"));
    m_buttonStop = new QPushButton(QStringLiteral("S&top"), this);
    m_buttonStop->setObjectName(QStringLiteral("ButtonStop"));
    top->addWidget(label);
    top->addWidget(m_editScript, 1);
    top->addWidget(m_buttonBrowse);
    top->addWidget(m_buttonRun);
    top->addWidget(m_buttonStop);
    layout->addLayout(top);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBar"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    layout->addWidget(m_progress);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("LabelSummary"));
    layout->addWidget(m_summary);

    m_grid = new QTableWidget(0, 3, this);
    m_grid->setObjectName(QStringLiteral("GridCases"));
    m_grid->setHorizontalHeaderLabels(
        {QStringLiteral("Case"), QStringLiteral("Result"), QStringLiteral("Time (s)")});
    m_grid->horizontalHeader()->setSectionResizeMode(ColumnCase, QHeaderView::Stretch);
    m_grid->verticalHeader()->hide();
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(m_grid, 2);

    m_details = new TLogView(this);
    m_details->setObjectName(QStringLiteral("MemoDetails"));
    QFont font(QStringLiteral("Courier New"), 8);
    font.setStyleHint(QFont::TypeWriter);
    m_details->setFont(font);
    layout->addWidget(m_details, 1);

    connect(m_buttonBrowse, &QPushButton::clicked, this, &TFormRunScript::ButtonBrowseClick);
    connect(m_buttonRun, &QPushButton::clicked, this, &TFormRunScript::ButtonRunClick);
    connect(m_buttonStop, &QPushButton::clicked, this, &TFormRunScript::ButtonStopClick);
    connect(m_editScript, &QLineEdit::textChanged, this, &TFormRunScript::UpdateEnabling);
    connect(m_grid, &QTableWidget::itemSelectionChanged, this, &TFormRunScript::ShowDetails);
    UpdateEnabling();
}

TFormRunScript::~TFormRunScript() = default;

void TFormRunScript::UpdateEnabling()
{
    const bool running = Running();
    m_buttonRun->setEnabled(!running && !m_editScript->text().trimmed().isEmpty());
    m_buttonStop->setEnabled(running);
    m_buttonBrowse->setEnabled(!running);
    m_editScript->setReadOnly(running);
}

void TFormRunScript::ButtonBrowseClick()
{
    const QString path =
        UserDialogs().OpenFileName(this, QStringLiteral("Run script"), m_editScript->text(),
                                   QStringLiteral("Test scripts (*.ths)"));
    if (!path.isEmpty())
        m_editScript->setText(path);
}

void TFormRunScript::ButtonStopClick()
{
    StopRun();
}

void TFormRunScript::StopRun()
{
    if (m_runner)
        m_runner->Stop();
}

void TFormRunScript::SetScript(const QString& path)
{
    if (Running())
        return;
    m_editScript->setText(path);
    m_buttonRun->setDefault(true);
    m_buttonRun->setFocus();
}

QString TFormRunScript::PortRefusal(bool host, bool fiscal)
{
    if (host) {
        const QString why = HostPortRefusal ? HostPortRefusal()
                            : m_host && m_host->State() != EFP_S_Close
                                ? QString()
                                : QStringLiteral("the host port is not open");
        if (!why.isEmpty())
            return why;
    }
    const auto fiscalOn = [this] {
        return FiscalPortOn ? FiscalPortOn() : m_aux && m_aux->State() != FEFP_S_Close;
    };
    if (!fiscal || fiscalOn())
        return {};
    if (ShowMessageBox(this, QMessageBox::Question, QStringLiteral("Run script"),
                       QStringLiteral("The fiscal port is off, and the script sends commands to "
                                      "it.\nTurn the fiscal port on?"),
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes)
        return QStringLiteral("the fiscal port is off");
    if (!TurnFiscalPortOn || !TurnFiscalPortOn() || !fiscalOn())
        return QStringLiteral("the fiscal port could not be opened");
    return {};
}

void TFormRunScript::SetRow(int row, const TCaseResult& result)
{
    auto set = [&](int column, const QString& text) {
        auto* item = new QTableWidgetItem(text);
        if (result.Status == TCaseStatus::Failed)
            item->setForeground(Qt::red);
        m_grid->setItem(row, column, item);
    };
    set(ColumnCase, Latin1(result.Name));
    set(ColumnResult, StatusText(result.Status));
    set(ColumnTime, QString::number(result.Seconds, 'f', 3));
}

void TFormRunScript::ButtonRunClick()
{
    if (Running())
        return;
    const std::string path = QFile::encodeName(m_editScript->text().trimmed()).toStdString();
    m_results.clear();
    m_cases.clear();
    m_grid->setRowCount(0);
    m_details->Clear();

    TScriptPorts ports;
    const TScriptParse parse = LoadCheckedScript(path, &ports);
    const std::vector<std::string>& refusals = parse.Refusals;
    if (!refusals.empty()) {
        // Nothing is sent: the refusals are the details.
        TScriptResult refused;
        refused.Script = path;
        refused.Refusals = refusals;
        m_results.push_back(refused);
        SetDetails(refusals, {});
        m_summary->setText(QStringLiteral("The script is refused; nothing was sent."));
        emit RunFinished();
        return;
    }

    const int count = static_cast<int>(parse.Script.Cases.size());
    m_grid->setRowCount(count);
    for (int i = 0; i < count; ++i) {
        const TScriptCase& c = parse.Script.Cases[static_cast<std::size_t>(i)];
        auto* item = new QTableWidgetItem(Latin1(c.Name));
        m_grid->setItem(i, ColumnCase, item);
    }
    m_progress->setRange(0, 1);
    m_progress->setValue(0);

    // A run on a port that cannot carry its commands would fail every case at once: the
    // operator is told why before anything is sent.
    if (const QString why = PortRefusal(ports.Host, ports.Fiscal); !why.isEmpty()) {
        TScriptResult refused;
        refused.Script = path;
        refused.Refusals.push_back(path + ": " + why.toStdString());
        m_results.push_back(refused);
        for (int i = 0; i < count; ++i)
            m_grid->setItem(i, ColumnResult, new QTableWidgetItem(QStringLiteral("Not run")));
        m_summary->setText(QStringLiteral("Not run: %1.").arg(why));
        emit RunFinished();
        return;
    }
    m_summary->setText(QStringLiteral("Running ..."));

    m_engine->SetLinks(m_host, m_aux);
    TScriptRunner runner(*m_engine);
    m_runner = &runner;
    UpdateEnabling();
    connect(&runner, &TScriptRunner::CaseStarted, this,
            [this](const QString&, const QString&, int index, int) {
                if (auto* item = m_grid->item(index, ColumnResult))
                    item->setText(QStringLiteral("Running"));
                else
                    m_grid->setItem(index, ColumnResult,
                                    new QTableWidgetItem(QStringLiteral("Running")));
            });
    connect(&runner, &TScriptRunner::CaseFinished, this,
            [this](const QString&, const TCaseResult& result) {
                const int row = static_cast<int>(m_cases.size());
                m_cases.push_back(result);
                SetRow(row, result);
            });
    connect(&runner, &TScriptRunner::Progressed, this, [this](int done, int total) {
        m_progress->setRange(0, std::max(1, total));
        m_progress->setValue(done);
    });
    // The run's nested event loops keep the window live: Stop, and the log, work meanwhile.
    m_results.push_back(runner.RunScript(parse.Script));
    m_runner = nullptr;

    const TRunTotals t = Totals(m_results);
    QString summary = QStringLiteral("%1 passed, %2 failed").arg(t.Passed).arg(t.Failed);
    if (t.Skipped)
        summary += QStringLiteral(", %1 skipped").arg(t.Skipped);
    if (t.Stopped)
        summary = QStringLiteral("Stopped after %1 of %2 cases: %3")
                      .arg(t.Passed + t.Failed)
                      .arg(count)
                      .arg(summary);
    m_summary->setText(summary);
    UpdateEnabling();
    emit RunFinished();
    // Closed during the run: it closes now, and only this once.
    if (std::exchange(m_closeAfterRun, false))
        close();
}

void TFormRunScript::ShowDetails()
{
    const auto rows = m_grid->selectionModel()->selectedRows();
    if (rows.isEmpty() || Running())
        return;
    const int row = rows.front().row();
    if (row < 0 || row >= static_cast<int>(m_cases.size()))
        return;
    const TCaseResult& c = m_cases[static_cast<std::size_t>(row)];
    std::vector<std::string> notes;
    if (c.Failure) {
        notes.push_back("Line " + std::to_string(c.Failure->Line) + ": " + c.Failure->Expectation);
        notes.push_back("Expected: " + c.Failure->Expected);
        notes.push_back("Actual: " + c.Failure->Actual);
        notes.emplace_back();
    }
    SetDetails(notes, c.Log);
}

void TFormRunScript::SetDetails(const std::vector<std::string>& notes,
                                const std::vector<std::string>& log)
{
    m_details->Clear();
    for (const std::string& note : notes) {
        LogRecord record;
        record.Kind = LogKind::Note;
        record.Color = QColor(Qt::red).rgba();
        m_details->Append(record, note);
    }
    // The frames in the log's colours, wrapped under their frame text as in the log window.
    const TLogSettings settings = MainWindowLogSource().LogSettings();
    LogPort lastSent = LogPort::Host;
    for (const std::string& line : log) {
        ParsedLogLine parsed = ParseLogFileLine(line, lastSent);
        if (parsed.Record.Direction == LogDirection::Sent && parsed.Record.Kind == LogKind::Frame)
            lastSent = parsed.Record.Port;
        parsed.Record.Color = LogLineColor(settings, parsed.Record).rgba();
        m_details->Append(parsed.Record, parsed.Payload);
    }
    m_details->Commit();
    m_details->SetTopRow(0);
}

void TFormRunScript::closeEvent(QCloseEvent* event)
{
    // The run's loops are on the stack: stop it and close once it has returned.
    if (Running()) {
        event->ignore();
        if (m_closeAfterRun ||
            ShowMessageBox(this, QMessageBox::Question, QStringLiteral("Run script"),
                           QStringLiteral("A script is running. Stop it and close the window?"),
                           QMessageBox::Yes | QMessageBox::No,
                           QMessageBox::Yes) != QMessageBox::Yes)
            return;
        if (!Running()) {
            // It ended while the question was up.
            QWidget::closeEvent(event);
            event->accept();
            return;
        }
        m_closeAfterRun = true;
        m_runner->Stop();
        return;
    }
    QWidget::closeEvent(event);
}
