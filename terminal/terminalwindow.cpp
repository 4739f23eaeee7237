// The terminal window's frame: its construction and layout, the file's cache and status tables,
// the host's links and settings, and the boxes the other parts of the window show.

#include "terminal/terminalwindow.h"

#include "core/errors.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "gui/bytetext.h"
#include "gui/messagebox.h"
#include "session/exchange.h"
#include "terminal/commandtree.h"
#include "terminal/terminalhost.h"

#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QMenu>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include <chrono>

using namespace tallyhost;

namespace {

constexpr auto SelectionReportDelay = std::chrono::milliseconds(50);
constexpr int DefaultTreeWidth = 222;
constexpr int MinTreeWidth = 60;
// Only a guard against a corrupt setting; the splitter limits the width on screen.
constexpr std::uint32_t MaxStoredTreeWidth = 10000;
constexpr int MinPanelMainWidth = 400;

} // namespace

TFormChildTerminalWindow::TFormChildTerminalWindow(const QString& fileName, ITerminalHost* host,
                                                   QWidget* parent)
    : QMdiSubWindow(parent), m_host(host), m_fileName(fileName),
      m_path(QFile::encodeName(fileName).toStdString()), m_cache(std::make_unique<TTerminalCache>())
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(fileName);
    setObjectName(QStringLiteral("FormChildTerminalWindow"));
    CreateLayout();
    CreatePopupMenu();
    LoadCommandTree();

    // The remembered width has no upper limit: long command names want a wide tree. The
    // splitter still leaves the panel its minimum width.
    int treeWidth = DefaultTreeWidth;
    if (m_host && m_host->TreeWidth() != 0)
        treeWidth = static_cast<int>(
            std::clamp<std::uint32_t>(m_host->TreeWidth(), MinTreeWidth, MaxStoredTreeWidth));
    Splitter->setSizes({treeWidth, std::max(MinPanelMainWidth, width() - treeWidth)});
    m_treeWidth = treeWidth;
    TreeViewCommand->installEventFilter(this);

    // What the window does once created: the cache and the status decode tables.
    m_cache->LoadFromFile(m_path);
    LoadStatusTables();

    // The engine runs the exchanges of Send and Repeat on the links; the window shows what it
    // reports (terminal/sending.cpp).
    m_engine = new TExchangeEngine(this);
    connect(m_engine, &TExchangeEngine::HandedOver, this,
            &TFormChildTerminalWindow::ExchangeHandedOver);
    connect(m_engine, &TExchangeEngine::FiscalAnswer, this,
            [this](const QByteArray& data) { AppendFiscalAnswer(data); });
    connect(m_engine, &TExchangeEngine::Finished, this,
            &TFormChildTerminalWindow::ExchangeFinished);

    m_changeTimer.setSingleShot(true);
    m_changeTimer.setInterval(SelectionReportDelay);
    connect(&m_changeTimer, &QTimer::timeout, this,
            [this] { TreeViewCommandChange(TreeViewCommand->currentItem()); });
}

TFormChildTerminalWindow::~TFormChildTerminalWindow()
{
    m_destroying = true;
    m_changeTimer.stop();
    // The file closed or replaced during an exchange: neither "Sending ..." nor a repeat's
    // count may stay in the status bar for a command nobody waits for any more.
    if (m_host && ExchangeInProgress())
        SetStatusText(swAbort);
    if (m_host)
        m_host->SetTreeWidth(static_cast<std::uint32_t>(m_treeWidth));
}

void TFormChildTerminalWindow::CreateLayout()
{
    auto* client = new QWidget(this);
    auto* clientLayout = new QHBoxLayout(client);
    clientLayout->setContentsMargins(0, 0, 0, 0);

    Splitter = new QSplitter(Qt::Horizontal, client);
    Splitter->setChildrenCollapsible(false);
    clientLayout->addWidget(Splitter);

    TreeViewCommand = new TCommandTreeView(Splitter);
    TreeViewCommand->setObjectName(QStringLiteral("TreeViewCommand"));
    TreeViewCommand->setMinimumWidth(MinTreeWidth);
    connect(TreeViewCommand, &QTreeWidget::currentItemChanged, this,
            [this] { m_changeTimer.start(); });
    connect(TreeViewCommand, &TCommandTreeView::Clicked, this,
            [this] { PageControl->setCurrentWidget(TabSheetCommand); });
    connect(TreeViewCommand, &TCommandTreeView::NodeDropped, this,
            &TFormChildTerminalWindow::PasteNode);
    connect(TreeViewCommand, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        TerminalWindowPopupMenuPopup();
        TerminalWindowPopupMenu->popup(TreeViewCommand->viewport()->mapToGlobal(p));
    });

    PanelMain = new QWidget(Splitter);
    PanelMain->setMinimumWidth(MinPanelMainWidth);
    auto* mainLayout = new QVBoxLayout(PanelMain);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    Splitter->addWidget(TreeViewCommand);
    Splitter->addWidget(PanelMain);
    Splitter->setStretchFactor(0, 0);
    Splitter->setStretchFactor(1, 1);

    PageControl = new QTabWidget(PanelMain);
    mainLayout->addWidget(PageControl, 1);
    CreateCommandTab();
    CreateAnswerTabs();
    mainLayout->addWidget(CreateButtonPanel());

    // The buttons act on the command panel, so they show only with the Commands tab.
    connect(PageControl, &QTabWidget::currentChanged, this, [this](int) {
        ButtonPanel->setVisible(PageControl->currentWidget() == TabSheetCommand);
    });

    setWidget(client);
    resize(800, 500);
}

// ---------------------------------------------------------------------------------------------
// Document

QWidget* TFormChildTerminalWindow::AddTab(QWidget* content, const QString& title)
{
    auto* sheet = new QWidget;
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    PageControl->addTab(sheet, title);
    return sheet;
}

void TFormChildTerminalWindow::ReloadCache()
{
    m_cache->LoadFromFile(m_path);
}

void TFormChildTerminalWindow::LoadStatusTables()
{
    try {
        LoadStatusRecords(*m_cache, SectionFiscalAnswer, FiscalStatus);
        LoadStatusRecords(*m_cache, SectionPrinterAnswer, PrinterStatus);
    } catch (const Error& e) {
        // A broken status record must not keep the file from opening: the tables stay
        // empty (no panels) and the operator is told what is wrong.
        FiscalStatus = TStatusTable{};
        PrinterStatus = TStatusTable{};
        ShowError(FromBytes(e.what()));
    }
}

void TFormChildTerminalWindow::ReloadDefinitions()
{
    ReloadCache();
    m_panelValues.Clear();
    LoadStatusTables();
}

bool TFormChildTerminalWindow::event(QEvent* event)
{
    // The long hints of the window's controls go to the host's panel 0, whichever window
    // hosts it.
    if (event->type() == QEvent::StatusTip && m_host) {
        m_host->SetPanelText(0, static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    const bool handled = QMdiSubWindow::event(event);
    return handled;
}

void TFormChildTerminalWindow::closeEvent(QCloseEvent* event)
{
    // Only the main window ends the document; the close box just puts it aside.
    if (m_destroying) {
        QMdiSubWindow::closeEvent(event);
        return;
    }
    event->ignore();
    showMinimized();
}

std::function<void(QWidget*, const QString&, const QString&)>
    TFormChildTerminalWindow::EditFieldsDialog;

bool TFormChildTerminalWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ButtonSend && event->type() == QEvent::EnabledChange)
        UpdateSendHint();
    if (ScrollBoxCommand && watched == ScrollBoxCommand->viewport() &&
        event->type() == QEvent::Resize)
        LayoutCommandPanel();
    // The width the operator sees (or set with the splitter) is the one to remember; a hidden
    // or minimized window keeps the last one.
    if (watched == TreeViewCommand && event->type() == QEvent::Resize &&
        TreeViewCommand->isVisible())
        m_treeWidth = TreeViewCommand->width();
    return QMdiSubWindow::eventFilter(watched, event);
}

bool TFormChildTerminalWindow::IsHostPortOpen() const
{
    return m_host && m_host->HostPortOpen();
}

bool TFormChildTerminalWindow::IsFiscalPortOpen() const
{
    return m_host && m_host->FiscalPortOpen();
}

TFPHostControl* TFormChildTerminalWindow::HostLink() const
{
    return m_host ? m_host->HostLink() : nullptr;
}

TFPAuxControl* TFormChildTerminalWindow::AuxLink() const
{
    return m_host ? m_host->AuxLink() : nullptr;
}

ExchangeSettings TFormChildTerminalWindow::HostSettings() const
{
    ExchangeSettings settings;
    if (m_host) {
        settings.Protocol = m_host->Protocol();
        settings.InputDateFormat = m_host->InputDateFormat();
        settings.OutputDateFormat = m_host->OutputDateFormat();
        settings.ExtReservedFields = m_host->ExtReservedFields();
    }
    return settings;
}

void TFormChildTerminalWindow::ShowError(const QString& text)
{
    ShowErrorBox(this, text);
}

bool TFormChildTerminalWindow::AskWarning(const QString& text)
{
    return ShowMessageBox(this, QMessageBox::Warning, QString(), text,
                          QMessageBox::Ok | QMessageBox::Cancel,
                          QMessageBox::Ok) == QMessageBox::Ok;
}
