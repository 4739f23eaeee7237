#include "terminal/terminalwindow.h"

#include "core/errors.h"
#include "core/repeattally.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "core/treeedit.h"
#include "gui/bytetext.h"
#include "gui/hint.h"
#include "gui/messagebox.h"
#include "session/exchange.h"
#include "terminal/commandtree.h"
#include "terminal/formoverwritenewcommand.h"
#include "terminal/terminalhost.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
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
// Room beside an input box's title for the window buttons and the frame.
constexpr int AskTextTitleRoom = 140;

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

    // Commands: the generated inputs are placed on a plain client widget by pixel grid.
    TabSheetCommand = new QWidget;
    auto* commandLayout = new QVBoxLayout(TabSheetCommand);
    commandLayout->setContentsMargins(0, 0, 0, 0);
    ScrollBoxCommand = new QScrollArea(TabSheetCommand);
    ScrollBoxCommand->setObjectName(QStringLiteral("ScrollBoxCommand"));
    ScrollBoxCommand->setWidgetResizable(false);
    ScrollBoxCommand->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_commandClient = new QWidget;
    ScrollBoxCommand->setWidget(m_commandClient);
    ScrollBoxCommand->viewport()->installEventFilter(this);
    commandLayout->addWidget(ScrollBoxCommand);
    PageControl->addTab(TabSheetCommand, tr("Co&mmands"));

    TabSheetAnswer = new QWidget;
    auto* answerLayout = new QVBoxLayout(TabSheetAnswer);
    answerLayout->setContentsMargins(0, 0, 0, 0);
    ScrollBoxAnswer = new QScrollArea(TabSheetAnswer);
    ScrollBoxAnswer->setObjectName(QStringLiteral("ScrollBoxAnswer"));
    ScrollBoxAnswer->setWidgetResizable(false);
    auto* answerClient = new QWidget;
    ScrollBoxAnswer->setWidget(answerClient);
    GroupBoxFiscalAnswer = new QGroupBox(tr("Fiscal answer = "), answerClient);
    SetHint(GroupBoxFiscalAnswer, tr("Decode Fiscal state"));
    GroupBoxFiscalAnswer->hide();
    GroupBoxPrinterAnswer = new QGroupBox(tr("Printer answer = "), answerClient);
    SetHint(GroupBoxPrinterAnswer, tr("Decode Printer state"));
    GroupBoxPrinterAnswer->hide();
    BevelSeparator = new QFrame(answerClient);
    BevelSeparator->setFrameShape(QFrame::HLine);
    BevelSeparator->setFrameShadow(QFrame::Sunken);
    BevelSeparator->hide();
    answerLayout->addWidget(ScrollBoxAnswer);
    PageControl->addTab(TabSheetAnswer, tr("Host &Answer"));

    TabSheetFiscalAnswer = new QWidget;
    auto* fiscalLayout = new QVBoxLayout(TabSheetFiscalAnswer);
    fiscalLayout->setContentsMargins(0, 0, 0, 0);
    MemoFiscalAnswer = new QPlainTextEdit(TabSheetFiscalAnswer);
    MemoFiscalAnswer->setObjectName(QStringLiteral("MemoFiscalAnswer"));
    MemoFiscalAnswer->setReadOnly(true);
    MemoFiscalAnswer->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoFiscalAnswer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoFiscalAnswer->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    MemoFiscalAnswer->setFont(fixed);
    fiscalLayout->addWidget(MemoFiscalAnswer);
    PageControl->addTab(TabSheetFiscalAnswer, tr("&Fiscal Answer"));

    ButtonPanel = new QWidget(PanelMain);
    auto* buttonLayout = new QHBoxLayout(ButtonPanel);
    ButtonSend = new QPushButton(tr("&Send"), ButtonPanel);
    SetHint(ButtonSend, tr("Send selected command"));
    ButtonSend->setEnabled(false);
    ButtonRepeat = new QPushButton(tr("&Repeat ..."), ButtonPanel);
    SetHint(ButtonRepeat, tr("Send commands \"n\" times"));
    ButtonRepeat->setEnabled(false);
    ButtonCancel = new QPushButton(tr("&Cancel"), ButtonPanel);
    SetHint(ButtonCancel, tr("Cancel command in progress"));
    buttonLayout->addStretch(1);
    buttonLayout->addWidget(ButtonSend);
    buttonLayout->addWidget(ButtonRepeat);
    buttonLayout->addWidget(ButtonCancel);
    ButtonRecord = new QPushButton(tr("Recor&d"), ButtonPanel);
    ButtonRecord->setObjectName(QStringLiteral("ButtonRecord"));
    ButtonRecord->setCheckable(true);
    SetHint(ButtonRecord, tr("Record every Send and Repeat into a test script"));
    buttonLayout->addWidget(ButtonRecord);
    mainLayout->addWidget(ButtonPanel);
    connect(ButtonSend, &QPushButton::clicked, this, &TFormChildTerminalWindow::ButtonSendClick);
    connect(ButtonRepeat, &QPushButton::clicked, this,
            &TFormChildTerminalWindow::ButtonRepeatClick);
    connect(ButtonCancel, &QPushButton::clicked, this,
            &TFormChildTerminalWindow::ButtonCancelClick);
    connect(ButtonRecord, &QPushButton::toggled, this,
            &TFormChildTerminalWindow::ButtonRecordClick);

    // The buttons act on the command panel, so they show only with the Commands tab.
    connect(PageControl, &QTabWidget::currentChanged, this, [this](int) {
        ButtonPanel->setVisible(PageControl->currentWidget() == TabSheetCommand);
    });

    setWidget(client);
    resize(800, 500);
}

void TFormChildTerminalWindow::CreatePopupMenu()
{
    TerminalWindowPopupMenu = new QMenu(this);
    MenuItemGroupPopUp = TerminalWindowPopupMenu->addMenu(tr("&Group"));
    MenuItemGroupAdd = MenuItemGroupPopUp->addAction(
        tr("&Add"), this, &TFormChildTerminalWindow::MenuItemGroupAddClick);
    MenuItemGroupRename = MenuItemGroupPopUp->addAction(
        tr("&Rename"), this, &TFormChildTerminalWindow::MenuItemGroupRenameClick);
    MenuItemGroupRemove = MenuItemGroupPopUp->addAction(
        tr("&Remove"), this, &TFormChildTerminalWindow::MenuItemGroupRemoveClick);
    MenuItemCommandPopUp = TerminalWindowPopupMenu->addMenu(tr("&Command"));
    MemuItemCommandAdd = MenuItemCommandPopUp->addAction(
        tr("&Add"), this, &TFormChildTerminalWindow::MemuItemCommandAddClick);
    MenuItemCommandRename = MenuItemCommandPopUp->addAction(
        tr("&Rename"), this, &TFormChildTerminalWindow::MenuItemCommandRenameClick);
    MenuItemCommandRemove = MenuItemCommandPopUp->addAction(
        tr("&Remove"), this, &TFormChildTerminalWindow::MenuItemCommandRemoveClick);
    TerminalWindowPopupMenu->addSeparator();
    MenuItemEditFields = TerminalWindowPopupMenu->addAction(
        tr("&Edit fields"), this, &TFormChildTerminalWindow::MenuItemEditFieldsClick);
    MenuItemResetValues = TerminalWindowPopupMenu->addAction(
        tr("Reset &values"), this, &TFormChildTerminalWindow::MenuItemResetValuesClick);
    MenuItemResetValues->setToolTip(tr("Put the command's default values back in its panel"));
    // The panel offers it too: that is where the values are.
    m_commandClient->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_commandClient->addAction(MenuItemResetValues);
    TerminalWindowPopupMenu->addSeparator();
    MenuItemCopyCommand = TerminalWindowPopupMenu->addAction(
        tr("&Copy"), this, &TFormChildTerminalWindow::MenuItemCopyCommandClick);
    MenuItemCopyCommand->setEnabled(false);
    MenuItemPasteCommand = TerminalWindowPopupMenu->addAction(
        tr("&Paste"), this, &TFormChildTerminalWindow::MenuItemPasteCommandClick);
    MenuItemPasteCommand->setEnabled(false);
    TerminalWindowPopupMenu->addSeparator();
    MenuItemNodesCommand = TerminalWindowPopupMenu->addMenu(tr("&Nodes"));
    MenuItemExpandAll = MenuItemNodesCommand->addAction(
        tr("Expand all"), this, &TFormChildTerminalWindow::MenuItemExpandAllClick);
    MenuItemCollapseAll = MenuItemNodesCommand->addAction(
        tr("Collapse all"), this, &TFormChildTerminalWindow::MenuItemCollapseAllClick);
    MenuItemExpandNode = MenuItemNodesCommand->addAction(
        tr("Expand node"), this, &TFormChildTerminalWindow::MenuItemExpandNodeClick);
    MenuItemCollapseNode = MenuItemNodesCommand->addAction(
        tr("Collapse node"), this, &TFormChildTerminalWindow::MenuItemCollapseNodeClick);
}

// ---------------------------------------------------------------------------------------------
// Document

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

QString TFormChildTerminalWindow::AskText(const QString& caption, const QString& initialText)
{
    QInputDialog dialog(this);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(tr("Input text:"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(initialText);
    // Wide enough that the title bar shows the whole question (a rename names the old name)
    // beside the window buttons, and the prompt fits beside the margins.
    // The dialog's layout sets its size from its contents, so the width goes on the edit.
    const QFontMetrics metrics(dialog.font());
    if (auto* edit = dialog.findChild<QLineEdit*>())
        edit->setMinimumWidth(std::max(metrics.horizontalAdvance(caption) + AskTextTitleRoom,
                                       metrics.horizontalAdvance(dialog.labelText())));
    if (ExecModal(dialog) != QDialog::Accepted)
        return QString();
    return dialog.textValue().left(MaxNodeNameLength);
}

bool TFormChildTerminalWindow::IsFreeSectionName(const QString& name)
{
    return tallyhost::IsFreeSectionName(ToBytes(name));
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

// ---------------------------------------------------------------------------------------------
// Tree
