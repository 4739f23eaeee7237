#include "app/formrunscript.h"

#include "gui/messagebox.h"
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
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

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

    m_details = new QPlainTextEdit(this);
    m_details->setObjectName(QStringLiteral("MemoDetails"));
    m_details->setReadOnly(true);
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
    if (m_runner)
        m_runner->Stop();
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
    m_details->clear();

    const TScriptParse parse = LoadCheckedScript(path);
    const std::vector<std::string>& refusals = parse.Refusals;
    if (!refusals.empty()) {
        // Nothing is sent: the refusals are the details.
        TScriptResult refused;
        refused.Script = path;
        refused.Refusals = refusals;
        m_results.push_back(refused);
        QString text;
        for (const std::string& r : refusals)
            text += Latin1(r) + u'\n';
        m_details->setPlainText(text);
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
    m_progress->setRange(0, count);
    m_progress->setValue(0);
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
                m_progress->setValue(row + 1);
            });
    // The run's nested event loops keep the window live: Stop, and the log, work meanwhile.
    m_results.push_back(runner.RunScript(parse.Script));
    m_runner = nullptr;

    const TRunTotals t = Totals(m_results);
    m_summary->setText(QStringLiteral("%1 passed, %2 failed, %3 skipped")
                           .arg(t.Passed)
                           .arg(t.Failed)
                           .arg(t.Skipped));
    UpdateEnabling();
    emit RunFinished();
    if (m_closeAfterRun)
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
    QString text;
    if (c.Failure) {
        text += QStringLiteral("Line %1: %2\nExpected: %3\nActual: %4\n\n")
                    .arg(c.Failure->Line)
                    .arg(Latin1(c.Failure->Expectation), Latin1(c.Failure->Expected),
                         Latin1(c.Failure->Actual));
    }
    for (const std::string& line : c.Log)
        text += Latin1(line) + u'\n';
    m_details->setPlainText(text);
}

void TFormRunScript::closeEvent(QCloseEvent* event)
{
    // The run's loops are on the stack: stop it and close once it has returned.
    if (Running()) {
        m_closeAfterRun = true;
        m_runner->Stop();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}
