#include "app/formmain.h"

#include "app/artwork.h"
#include "app/formaboutbox.h"
#include "app/formpreferences.h"
#include "app/formrunscript.h"
#include "app/logwindow.h"
#include "core/errors.h"
#include "editors/formeditcmdans.h"
#include "editors/formeditfixanswer.h"
#include "editors/formeditreturncode.h"
#include "editors/formtestfixedanswer.h"
#include "gui/hint.h"
#include "gui/messagebox.h"
#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"
#include "session/script.h"
#include "terminal/terminalwindow.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <utility>

TFormMain* FormMain = nullptr;
TFormChildTerminalWindow* FormChildTerminalWindow = nullptr;
TFormChildLogWindow* FormChildLogWindow = nullptr;

namespace {

constexpr std::array<int, 4> kPanelWidths = {300, 70, 150, 100};

// Hints appear as soon as the mouse rests on a control: operators move quickly over the
// toolbar and the command forms and want the explanation at once.
class THintStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        // (A tool tip hides by itself after about 10 s, as the operators are used to.)
        if (hint == QStyle::SH_ToolTip_WakeUpDelay)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

void InstallHintTiming()
{
    if (!dynamic_cast<THintStyle*>(QApplication::style()))
        QApplication::setStyle(new THintStyle);
}

// The text control an edit command works on: the focused line edit or text edit, also the
// line edit inside a focused spin box or editable combo box.
QWidget* FocusedTextControl()
{
    QWidget* focus = QApplication::focusWidget();
    if (!focus)
        return nullptr;
    if (qobject_cast<QAbstractSpinBox*>(focus) || qobject_cast<QComboBox*>(focus))
        return focus->findChild<QLineEdit*>();
    if (qobject_cast<QLineEdit*>(focus) || qobject_cast<QTextEdit*>(focus) ||
        qobject_cast<QPlainTextEdit*>(focus))
        return focus;
    return nullptr;
}

struct TTextState
{
    bool hasSelection = false;
    bool readOnly = true;
};

TTextState TextState(QWidget* control)
{
    if (auto* line = qobject_cast<QLineEdit*>(control))
        return {line->hasSelectedText(), line->isReadOnly()};
    if (auto* text = qobject_cast<QTextEdit*>(control))
        return {text->textCursor().hasSelection(), text->isReadOnly()};
    if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
        return {plain->textCursor().hasSelection(), plain->isReadOnly()};
    return {};
}

// Runs copy(), cut() or paste() of the control; each of the text controls has these slots.
void InvokeEdit(QWidget* control, const char* slot)
{
    if (control)
        QMetaObject::invokeMethod(control, slot);
}

} // namespace

TFormMain::TFormMain(const QStringList& arguments, QWidget* parent) : QMainWindow(parent)
{
    FormMain = this;
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Tallyhost"));
    // The child windows take their icon from the application.
    QApplication::setWindowIcon(artwork::ProgramIcon());
    setWindowIcon(QApplication::windowIcon());
    resize(1024, 720);

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("MdiArea"));
    // The background bitmap is tiled over the client area.
    m_mdiArea->setBackground(QBrush(artwork::BackgroundTile()));
    m_mdiArea->setContextMenuPolicy(Qt::CustomContextMenu);
    setCentralWidget(m_mdiArea);

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();

    connect(m_mdiArea, &QMdiArea::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMainMenu->popup(m_mdiArea->mapToGlobal(pos)); });
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, [this] { UpdateWindowActions(); });
    connect(qApp, &QApplication::focusChanged, this, [this] { UpdateEditActions(); });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { UpdateEditActions(); });

    FormCreate(arguments);
}

TFormMain::~TFormMain()
{
    FormDestroy();
    // Nothing may reach this window while its children are torn down.
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    disconnect(m_mdiArea, nullptr, this, nullptr);
    // Children (the links among them) are destroyed after this body; none of their signals
    // may reach the handlers of a window that is already gone.
    for (QObject* child : children())
        disconnect(child, nullptr, this, nullptr);
    if (m_trackedFocus)
        disconnect(m_trackedFocus, nullptr, this, nullptr);
    m_trackedFocus = nullptr;
    if (FormMain == this)
        FormMain = nullptr;
}

void TFormMain::CreateActions()
{
    const auto make = [this](QAction*& action, const char* name, const QString& caption,
                             const QString& hint, auto handler) {
        action = new QAction(caption, this);
        action->setObjectName(QLatin1String(name));
        SetHint(action, hint);
        connect(action, &QAction::triggered, this, handler);
    };
    using G = artwork::Glyph;

    make(ActionNew, "ActionNew", QStringLiteral("New"), QStringLiteral("New terminal file"),
         &TFormMain::ActionFileNew);
    ActionNew->setIcon(artwork::ToolIcon(G::New));
    make(ActionOpen, "ActionOpen", QStringLiteral("Open"), QStringLiteral("Open terminal file"),
         &TFormMain::ActionFileOpen);
    ActionOpen->setIcon(artwork::ToolIcon(G::Open));
    ActionOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    make(ActionOpenLog, "ActionOpenLog", QStringLiteral("Open log..."),
         QStringLiteral("Read a log file back, its frames decoded"), &TFormMain::ActionFileOpenLog);
    make(ActionClose, "ActionClose", QStringLiteral("Close"), QStringLiteral("Close terminal file"),
         &TFormMain::ActionFileClose);
    make(ActionSaveAs, "ActionSaveAs", QStringLiteral("Save Terminal As ..."),
         QStringLiteral("Save terminal file"), &TFormMain::ActionFileSaveAs);
    ActionSaveAs->setIcon(artwork::ToolIcon(G::SaveAs));
    make(ActionExit, "ActionExit", QStringLiteral("Exit"), QStringLiteral("Application exit "),
         &TFormMain::ActionFileExit);

    make(ActionEditCopy, "ActionEditCopy", QStringLiteral("&Copy"), QStringLiteral("Copy|Copy"),
         &TFormMain::ActionEditCopyExecute);
    ActionEditCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    ActionEditCopy->setIcon(artwork::ToolIcon(G::Copy));
    make(ActionEditCut, "ActionEditCut", QStringLiteral("Cu&t"), QStringLiteral("Cut|Cut"),
         &TFormMain::ActionEditCutExecute);
    ActionEditCut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    ActionEditCut->setIcon(artwork::ToolIcon(G::Cut));
    make(ActionEditPaste, "ActionEditPaste", QStringLiteral("&Paste"),
         QStringLiteral("Paste|Paste"), &TFormMain::ActionEditPasteExecute);
    ActionEditPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    ActionEditPaste->setIcon(artwork::ToolIcon(G::Paste));

    make(ActionEditFixAnswer, "ActionEditFixAnswer", QStringLiteral("Edit fixed answer fields"),
         QStringLiteral("Edit fixed answer fields"), &TFormMain::ActionEditFixAnswerExecute);
    ActionEditFixAnswer->setIcon(artwork::ToolIcon(G::EditFixAnswer));
    make(ActionTestFixAnswer, "ActionTestFixAnswer", QStringLiteral("Test fixed answer fields"),
         QStringLiteral("Test fixed answer fields"), &TFormMain::ActionTestFixAnswerExecute);
    ActionTestFixAnswer->setIcon(artwork::ToolIcon(G::TestFixAnswer));
    make(ActionEditRC, "ActionEditRC", QStringLiteral("Edit Return code "),
         QStringLiteral("Edit return code description"), &TFormMain::ActionEditRCExecute);
    ActionEditRC->setIcon(artwork::ToolIcon(G::EditReturnCode));
    make(ActionRunScript, "ActionRunScript", QStringLiteral("Run &script..."),
         QStringLiteral("Run a test script on the printer links"),
         &TFormMain::ActionRunScriptExecute);

    make(ActionWindowCascade, "ActionWindowCascade", QStringLiteral("&Cascade"),
         QStringLiteral("Cascade windows"), &TFormMain::ActionWindowCascadeExecute);
    ActionWindowCascade->setIcon(artwork::ToolIcon(G::Cascade));
    make(ActionWindowTileHorizontal, "ActionWindowTileHorizontal",
         QStringLiteral("Tile &Horizontally"), QStringLiteral("Tile horizontally"),
         &TFormMain::ActionWindowTileHorizontalExecute);
    ActionWindowTileHorizontal->setIcon(artwork::ToolIcon(G::TileHorizontal));
    make(ActionWindowTileVertical, "ActionWindowTileVertical", QStringLiteral("&Tile Vertically"),
         QStringLiteral("Tile vertically"), &TFormMain::ActionWindowTileVerticalExecute);
    ActionWindowTileVertical->setIcon(artwork::ToolIcon(G::TileVertical));
    make(ActionWindowMinimizeAll, "ActionWindowMinimizeAll", QStringLiteral("&Minimize All"),
         QStringLiteral("Minimize windows"), &TFormMain::ActionWindowMinimizeAllExecute);
    make(ActionWindowArrange, "ActionWindowArrange", QStringLiteral("&Arrange"),
         QStringLiteral("Arrange windows"), &TFormMain::ActionWindowArrangeExecute);

    make(MenuItemResetserialports, "MenuItemResetserialports", QStringLiteral("Reset serial ports"),
         QStringLiteral("Reset all open serial ports"), &TFormMain::MenuItemResetserialportsClick);
    make(MenuItemGeneral, "MenuItemGeneral", QStringLiteral("Preferences"),
         QStringLiteral("System preferences|System preferences"), &TFormMain::MenuItemGeneralClick);
    make(MenuItemHelpAbout, "MenuItemHelpAbout", QStringLiteral("&About..."),
         QStringLiteral("About|Displays program information, version number, and copyright"),
         &TFormMain::MenuItemHelpAboutClick);

    // Shortcuts of the frame work in every child window.
    for (QAction* action : findChildren<QAction*>())
        action->setShortcutContext(Qt::ApplicationShortcut);
}

void TFormMain::CreateMenus()
{
    const auto menu = [this](const QString& title, const QString& hint) {
        QMenu* m = menuBar()->addMenu(title);
        SetHint(m->menuAction(), hint);
        m->setToolTipsVisible(false);
        return m;
    };

    QMenu* file = menu(QStringLiteral("File"), QStringLiteral("File related commands"));
    file->setObjectName(QStringLiteral("MenuFile"));
    file->addAction(ActionNew);
    file->addAction(ActionOpen);
    file->addAction(ActionOpenLog);
    file->addAction(ActionClose);
    // The menu item carries its own caption; the action's caption is used elsewhere.
    QAction* saveAsItem = file->addAction(QStringLiteral("Save terminal file As ..."));
    saveAsItem->setObjectName(QStringLiteral("MenuItemSaveAs"));
    SetHint(saveAsItem, ActionSaveAs->toolTip());
    connect(saveAsItem, &QAction::triggered, ActionSaveAs, &QAction::trigger);
    connect(ActionSaveAs, &QAction::changed, saveAsItem,
            [this, saveAsItem] { saveAsItem->setEnabled(ActionSaveAs->isEnabled()); });
    file->addSeparator();
    file->addAction(ActionExit);

    QMenu* edit = menu(QStringLiteral("Edit"), QStringLiteral("Edit commands"));
    edit->setObjectName(QStringLiteral("MenuEdit"));
    edit->addAction(ActionEditCopy);
    edit->addAction(ActionEditPaste);
    edit->addAction(ActionEditCut);

    QMenu* options = menu(QStringLiteral("Options"), QStringLiteral("Options|Options "));
    options->setObjectName(QStringLiteral("MenuOptions"));
    options->addAction(ActionEditFixAnswer);
    options->addAction(ActionTestFixAnswer);
    options->addAction(ActionEditRC);
    options->addSeparator();
    options->addAction(ActionRunScript);
    options->addSeparator();
    options->addAction(MenuItemResetserialports);
    options->addSeparator();
    options->addAction(MenuItemGeneral);

    MenuWindow = menu(QStringLiteral("Window"), QStringLiteral("Window related commands"));
    MenuWindow->setObjectName(QStringLiteral("MenuWindow"));
    connect(MenuWindow, &QMenu::aboutToShow, this, &TFormMain::FillWindowMenu);
    FillWindowMenu();

    QMenu* help = menu(QStringLiteral("Help"), QStringLiteral("Help topics"));
    help->setObjectName(QStringLiteral("MenuHelp"));
    help->addAction(MenuItemHelpAbout);

    PopupMainMenu = new QMenu(this);
    PopupMainMenu->setObjectName(QStringLiteral("PopupMainMenu"));
    PopupMainMenu->addAction(ActionWindowMinimizeAll);
    PopupMainMenu->addAction(ActionWindowCascade);
    PopupMainMenu->addAction(ActionWindowArrange);
}

void TFormMain::CreateToolBar()
{
    ToolBar = addToolBar(QStringLiteral("ToolBar"));
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setMovable(false);
    ToolBar->setIconSize(QSize(24, 24));
    ToolBar->addAction(ActionNew);
    ToolBar->addAction(ActionOpen);
    // The toolbar's Save As button has a hint of its own, so it gets a twin of the action
    // that follows the action's enabling.
    auto* saveAsButton = new QAction(ActionSaveAs->icon(), ActionSaveAs->text(), this);
    saveAsButton->setObjectName(QStringLiteral("ToolButtonSaveAs"));
    SetHint(saveAsButton, QStringLiteral("Save terminal file as ..."));
    connect(saveAsButton, &QAction::triggered, ActionSaveAs, &QAction::trigger);
    connect(ActionSaveAs, &QAction::changed, saveAsButton,
            [this, saveAsButton] { saveAsButton->setEnabled(ActionSaveAs->isEnabled()); });
    ToolBar->addAction(saveAsButton);
    ToolBar->addSeparator();
    ToolBar->addAction(ActionEditCut);
    ToolBar->addAction(ActionEditCopy);
    ToolBar->addAction(ActionEditPaste);
    ToolBar->addSeparator();
    ToolBar->addAction(ActionWindowCascade);
    ToolBar->addAction(ActionWindowTileHorizontal);
    ToolBar->addAction(ActionWindowTileVertical);
    ToolBar->addSeparator();
    ToolBar->addAction(ActionEditFixAnswer);
    ToolBar->addAction(ActionTestFixAnswer);
    ToolBar->addAction(ActionEditRC);
    ToolBar->addSeparator();

    // Down means "fiscal port disabled"; the link code sets its look and hint.
    ToolButtonFiscal = new QToolButton(ToolBar);
    ToolButtonFiscal->setObjectName(QStringLiteral("ToolButtonFiscal"));
    ToolButtonFiscal->setCheckable(true);
    ToolButtonFiscal->setAutoRaise(true);
    ToolButtonFiscal->setFocusPolicy(Qt::NoFocus);
    ToolButtonFiscal->setIcon(artwork::ToolIcon(artwork::Glyph::FiscalDisabled));
    ToolButtonFiscal->setChecked(true);
    ToolButtonFiscal->setToolTip(QStringLiteral("Enable Fiscal port"));
    ToolButtonFiscal->setStatusTip(QStringLiteral("Enable Fiscal port"));
    connect(ToolButtonFiscal, &QToolButton::clicked, this, &TFormMain::ToolButtonFiscalClick);
    ToolBar->addWidget(ToolButtonFiscal);
}

int TFormMain::StatusPanelWidth(const QLabel& panel, int index)
{
    // The port panels take the widest description a port can have, in the font in use, so no
    // setting is cut off (the fixed widths were measured for another system's font).
    int width = kPanelWidths[index];
    if (index == 2 || index == 3) {
        const int text = panel.fontMetrics().horizontalAdvance(QStringLiteral("COM4 38400,N,8,1"));
        width = std::max(width, text + 2 * panel.frameWidth() + 2 * panel.margin() + 12);
    }
    return width;
}

void TFormMain::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    for (int i = 0; i < int(m_panels.size()); ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setTextFormat(Qt::PlainText);
        panel->setFixedWidth(StatusPanelWidth(*panel, i));
        bar->addWidget(panel);
        m_panels[i] = panel;
    }
    m_panels[1]->setText(QStringLiteral("Ready"));
    // The state panel grows with its text: the summary of a repeat run is a whole sentence.
    m_panels[1]->setMinimumWidth(m_panels[1]->width());
    m_panels[1]->setMaximumWidth(QWIDGETSIZE_MAX);
}

void TFormMain::SetPanelText(int panel, const QString& text)
{
    if (panel >= 0 && panel < int(m_panels.size()))
        m_panels[panel]->setText(text);
}

QString TFormMain::PanelText(int panel) const
{
    if (panel < 0 || panel >= int(m_panels.size()))
        return QString();
    return m_panels[panel]->text();
}

namespace {

// Makes "&Edit fields" of the terminal window open the field list editor. The editors know
// nothing of the terminal window, so the main window, which knows both, joins them.
void InstallFieldListEditor()
{
    TFormChildTerminalWindow::EditFieldsDialog = [](QWidget* parent, const QString& fileName,
                                                    const QString& section) {
        TFormEditCmdAns dialog(parent, fileName, section);
        ExecModal(dialog);
    };
}

} // namespace

bool TFormMain::TerminalFileOpen() const
{
    return FormChildTerminalWindow != nullptr || FormChildLogWindow != nullptr;
}

// ---- start-up and shutdown ----

void TFormMain::FormCreate(const QStringList& arguments)
{
    Settings = TSettings{};
    InstallHintTiming();
    InstallFieldListEditor();
    LoadSettings();
    // TALLYHOST_FISCAL_PORT=on (or off) sets the fiscal port for this run, as TALLYHOST_COMn
    // set the devices (scripts/run.sh turns it on for the demo). The stored choice stays as it
    // was unless the operator clicks the fiscal button.
    const QByteArray fiscalForRun = qgetenv("TALLYHOST_FISCAL_PORT").trimmed().toLower();
    if (fiscalForRun == "on" || fiscalForRun == "off") {
        m_storedDGIEnabled = Settings.DGIEnabled;
        Settings.DGIEnabled = fiscalForRun == "on";
    }
    if (!Settings.Layout.MainWindow.isEmpty())
        restoreGeometry(Settings.Layout.MainWindow);
    RegisterFileType(QStringLiteral("thf"), ExecutableBaseName());

    // No file is open yet: compatible protocol and the first date format until one is.
    Settings.OutputDateFormat = 0;
    Settings.InputDateFormat = 0;
    Settings.Protocol = 0;
    UpdateFileActions();

    StartLinks();
    UpdatePortPanels();
    TakeCommandLine(arguments);
    setAcceptDrops(true);
    UpdateEditActions();
    UpdateWindowActions();
}

void TFormMain::TakeCommandLine(const QStringList& arguments)
{
    if (arguments.size() < 2)
        return;
    QString candidate = arguments.at(1);
    if (candidate.isEmpty())
        return;
    // A relative name is taken from the current directory; the settings keep a full path so
    // the file is found again from anywhere at the next start.
    candidate = QDir::current().absoluteFilePath(candidate);
    const QFileInfo info(candidate);
    // The extension test is case-sensitive; anything else is ignored without a word.
    if (info.suffix() == QLatin1String("thf") && info.isFile())
        Settings.File = QDir::cleanPath(candidate);
    // A test script opens with its catalogue, and the Run script window once the main window
    // shows.
    if (info.suffix() == QLatin1String("ths") && info.isFile()) {
        m_scriptToOpen = QDir::cleanPath(candidate);
        const tallyhost::TScriptParse parse =
            tallyhost::LoadScript(QFile::encodeName(m_scriptToOpen).toStdString());
        const QString catalogue = QFile::decodeName(tallyhost::CataloguePath(parse.Script).c_str());
        if (!parse.Script.Catalogue.empty() && QFileInfo(catalogue).isFile())
            Settings.File = QFileInfo(catalogue).absoluteFilePath();
    }
}

void TFormMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TFormMain::FormShow()
{
    // The remembered file is opened as it is; the terminal window tells what it finds.
    if (!Settings.File.isEmpty())
        OpenTerminalFile();
    ScheduleArrangeIcons();
    if (!m_scriptToOpen.isEmpty()) {
        // Over the main window, once it is on the screen.
        QTimer::singleShot(0, this, [this] {
            ActionRunScriptExecute();
            FormRunScript->SetScript(std::exchange(m_scriptToOpen, QString()));
        });
    }
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    // A script run's loops are on the stack: the run is stopped, and the window closes once
    // they have returned (ActionRunScriptExecute connects that).
    if (FormRunScript && FormRunScript->Running()) {
        event->ignore();
        if (!m_quitAfterRun &&
            ShowMessageBox(this, QMessageBox::Question, QStringLiteral("Tallyhost"),
                           QStringLiteral("A script is running. Stop it and quit?"),
                           QMessageBox::Yes | QMessageBox::No,
                           QMessageBox::Yes) != QMessageBox::Yes)
            return;
        m_quitAfterRun = true;
        if (FormRunScript->Running()) {
            FormRunScript->StopRun();
            return;
        }
    }
    // The child windows go before the frame: the terminal window stores its tree width and
    // the log window closes its file; then the settings are written.
    CloseTerminalWindows();
    FormDestroy();
    event->accept();
    // Quitting is quitting: no other window (the Run script window) keeps the program alive.
    if (FormRunScript)
        FormRunScript->close();
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TFormMain::FormDestroy()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    CloseTerminalWindows();
    Settings.Layout.MainWindow = saveGeometry();
    if (FormRunScript) {
        Settings.Layout.RunScript = FormRunScript->saveGeometry();
        Settings.Layout.RunScriptFile = FormRunScript->EditScript()->text();
    }
    SaveSettings();
    if (!Settings.File.isEmpty())
        SaveFileSettings();
    // The ports are free for the next program as soon as this one is done with them.
    if (m_portWatch)
        m_portWatch->stop();
    if (VardoFPHostControl1)
        VardoFPHostControl1->ClosePort();
    if (FPAuxControl1)
        FPAuxControl1->ClosePort();
}

// ---- settings ----

void TFormMain::LoadSettings()
{
    const std::unique_ptr<QSettings> store(NewUserSettingsStore());
    LoadStoredSettings(Settings, *store);
    ApplyDeviceTable(Settings);
}

void TFormMain::SaveSettings()
{
    const std::unique_ptr<QSettings> store(NewUserSettingsStore());
    TSettings stored = Settings;
    if (m_storedDGIEnabled)
        stored.DGIEnabled = *m_storedDGIEnabled;
    SaveStoredSettings(stored, *store);
    if (store->status() != QSettings::NoError)
        ShowErrorBox(this, QStringLiteral("Unable to write to %1").arg(store->fileName()));
}

void TFormMain::LoadFileSettings()
{
    LoadTerminalFileSettings(Settings, Settings.File);
}

void TFormMain::SaveFileSettings()
{
    if (Settings.File.isEmpty())
        return;
    // A file that was deleted or moved away is not brought back as a stub holding only these
    // three keys.
    if (!QFileInfo(Settings.File).isFile())
        return;
    try {
        SaveTerminalFileSettings(Settings, Settings.File);
    } catch (const tallyhost::Error& error) {
        // Close and shutdown both write these settings; one box per file is enough.
        if (!m_reportedWriteErrors.contains(Settings.File)) {
            m_reportedWriteErrors.insert(Settings.File);
            ShowErrorBox(this, QString::fromLocal8Bit(error.what()));
        }
    }
}

// ---- terminal windows ----

void TFormMain::OpenTerminalFile()
{
    auto* terminal = new TFormChildTerminalWindow(Settings.File, this);
    FormChildTerminalWindow = terminal;
    m_mdiArea->addSubWindow(terminal);
    WatchSubWindow(terminal);
    terminal->show();

    auto* log = new TFormChildLogWindow(Settings.File);
    FormChildLogWindow = log;
    m_mdiArea->addSubWindow(log);
    WatchSubWindow(log);
    connect(terminal, &TFormChildTerminalWindow::RepeatSummary, log,
            &TFormChildLogWindow::AddNoteLine);

    LoadFileSettings();
    ApplyProtocolType();
    UpdateFileActions();
    UpdateWindowActions();
    PlaceTerminalWindows(terminal, log);
}

void TFormMain::CloseTerminalWindows()
{
    RememberTerminalWindows();
    if (FormChildTerminalWindow) {
        // The terminal window's destructor stores its tree width in Settings.
        delete FormChildTerminalWindow;
        FormChildTerminalWindow = nullptr;
    }
    if (FormChildLogWindow) {
        delete FormChildLogWindow;
        FormChildLogWindow = nullptr;
    }
    UpdateFileActions();
    UpdateWindowActions();
    UpdateEditActions();
}

void TFormMain::ReplaceTerminalFile(const QString& fileName)
{
    if (TerminalFileOpen())
        CloseTerminalWindows();
    Settings.File = fileName;
    OpenTerminalFile();
}

void TFormMain::OpenDroppedFile(const QString& fileName)
{
    if (QFileInfo(fileName).suffix().toLower() != QLatin1String("thf"))
        return;
    ReplaceTerminalFile(QFileInfo(fileName).absoluteFilePath());
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    // Only the first dropped file counts.
    if (urls.isEmpty() || !urls.constFirst().isLocalFile())
        return;
    OpenDroppedFile(urls.constFirst().toLocalFile());
}

// ---- enabling ----

void TFormMain::UpdateFileActions()
{
    const bool open = TerminalFileOpen();
    ActionClose->setEnabled(open);
    ActionSaveAs->setEnabled(open);
    ActionEditFixAnswer->setEnabled(open);
    ActionTestFixAnswer->setEnabled(open);
    ActionEditRC->setEnabled(open && Settings.Protocol == 1);
    // A disabled command says why, where the operator looks when it does not react.
    const QString hint = QStringLiteral("Edit return code description");
    ActionEditRC->setStatusTip(
        open && Settings.Protocol != 1
            ? hint + QStringLiteral(" (needs the extended protocol, set in Preferences)")
            : hint);
}

void TFormMain::UpdateEditActions()
{
    QWidget* control = FocusedTextControl();
    if (control != m_trackedFocus) {
        // Follow the selection of the focused control so Cut and Copy light up with it.
        if (m_trackedFocus)
            disconnect(m_trackedFocus, nullptr, this, nullptr);
        m_trackedFocus = control;
        if (auto* line = qobject_cast<QLineEdit*>(control))
            connect(line, &QLineEdit::selectionChanged, this, [this] { UpdateEditActions(); });
        else if (auto* text = qobject_cast<QTextEdit*>(control))
            connect(text, &QTextEdit::selectionChanged, this, [this] { UpdateEditActions(); });
        else if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
            connect(plain, &QPlainTextEdit::selectionChanged, this,
                    [this] { UpdateEditActions(); });
        if (control)
            connect(control, &QObject::destroyed, this, [this] {
                m_trackedFocus = nullptr;
                UpdateEditActions();
            });
    }
    const TTextState state = TextState(control);
    const bool clipboardHasText = control && !QGuiApplication::clipboard()->text().isEmpty();
    ActionEditCopy->setEnabled(control && state.hasSelection);
    ActionEditCut->setEnabled(control && state.hasSelection && !state.readOnly);
    ActionEditPaste->setEnabled(control && clipboardHasText && !state.readOnly);
}

void TFormMain::UpdateWindowActions()
{
    const bool any = !m_mdiArea->subWindowList().isEmpty();
    for (QAction* action : {ActionWindowCascade, ActionWindowTileHorizontal,
                            ActionWindowTileVertical, ActionWindowMinimizeAll, ActionWindowArrange})
        action->setEnabled(any);
}

void TFormMain::FillWindowMenu()
{
    MenuWindow->clear();
    MenuWindow->addAction(ActionWindowCascade);
    MenuWindow->addAction(ActionWindowTileHorizontal);
    MenuWindow->addAction(ActionWindowTileVertical);
    MenuWindow->addAction(ActionWindowMinimizeAll);
    MenuWindow->addAction(ActionWindowArrange);
    const QList<QMdiSubWindow*> windows = m_mdiArea->subWindowList();
    if (windows.isEmpty())
        return;
    MenuWindow->addSeparator();
    int number = 1;
    for (QMdiSubWindow* window : windows) {
        QAction* item = MenuWindow->addAction(
            QStringLiteral("&%1 %2").arg(number++).arg(window->windowTitle()));
        item->setCheckable(true);
        item->setChecked(window == m_mdiArea->activeSubWindow());
        connect(item, &QAction::triggered, this, [this, window] {
            if (!m_mdiArea->subWindowList().contains(window))
                return;
            if (window->isMinimized())
                window->showNormal();
            m_mdiArea->setActiveSubWindow(window);
        });
    }
}

// ---- window arrangement ----

void TFormMain::WatchSubWindow(QMdiSubWindow* window)
{
    window->installEventFilter(this);
    connect(window, &QObject::destroyed, this, [this] {
        UpdateWindowActions();
        ScheduleArrangeIcons();
    });
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange)
        ScheduleArrangeIcons();
    TrackNormalGeometry(watched, event);
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    ScheduleArrangeIcons();
}

void TFormMain::ScheduleArrangeIcons()
{
    // Arranging waits until the event loop has nothing else to do, and runs once however many
    // changes asked for it.
    if (m_arrangePending)
        return;
    m_arrangePending = true;
    QMetaObject::invokeMethod(this, &TFormMain::ArrangeIconsWhenIdle, Qt::QueuedConnection);
}

void TFormMain::ArrangeIconsWhenIdle()
{
    m_arrangePending = false;
    for (QMdiSubWindow* window : m_mdiArea->subWindowList())
        if (window->isMaximized())
            return;
    ArrangeIcons();
}

void TFormMain::ArrangeIcons()
{
    const QRect area = m_mdiArea->viewport()->rect();
    int x = 0;
    int bottom = area.bottom() + 1;
    int rowHeight = 0;
    for (QMdiSubWindow* window : m_mdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (!window->isMinimized())
            continue;
        const QSize size = window->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            bottom -= rowHeight;
            rowHeight = 0;
        }
        window->move(x, bottom - size.height());
        x += size.width();
        rowHeight = qMax(rowHeight, size.height());
    }
}

void TFormMain::TileSubWindows(Qt::Orientation orientation)
{
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : m_mdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (window->isMinimized())
            continue;
        if (window->isMaximized())
            window->showNormal();
        windows << window;
    }
    if (windows.isEmpty())
        return;
    // Leave the row of icons at the bottom free.
    QRect area = m_mdiArea->viewport()->rect();
    for (QMdiSubWindow* window : m_mdiArea->subWindowList())
        if (window->isMinimized())
            area.setBottom(qMin(area.bottom(), window->geometry().top() - 1));
    const int count = int(windows.size());
    for (int i = 0; i < count; ++i) {
        QRect r;
        if (orientation == Qt::Horizontal) {
            // Tile horizontally: full-width windows one above the other.
            const int h = area.height() / count;
            r = QRect(area.left(), area.top() + i * h, area.width(),
                      i == count - 1 ? area.height() - i * h : h);
        } else {
            const int w = area.width() / count;
            r = QRect(area.left() + i * w, area.top(), i == count - 1 ? area.width() - i * w : w,
                      area.height());
        }
        windows[i]->setGeometry(r);
    }
}

void TFormMain::ActionWindowCascadeExecute()
{
    m_mdiArea->cascadeSubWindows();
}

void TFormMain::ActionWindowTileHorizontalExecute()
{
    TileSubWindows(Qt::Horizontal);
}

void TFormMain::ActionWindowTileVerticalExecute()
{
    TileSubWindows(Qt::Vertical);
}

void TFormMain::ActionWindowMinimizeAllExecute()
{
    for (QMdiSubWindow* window : m_mdiArea->subWindowList())
        window->showMinimized();
    ArrangeIcons();
}

void TFormMain::ActionWindowArrangeExecute()
{
    ArrangeIcons();
}

// ---- edit commands ----

void TFormMain::ActionEditCopyExecute()
{
    InvokeEdit(FocusedTextControl(), "copy");
}

void TFormMain::ActionEditCutExecute()
{
    InvokeEdit(FocusedTextControl(), "cut");
}

void TFormMain::ActionEditPasteExecute()
{
    InvokeEdit(FocusedTextControl(), "paste");
}

// ---- editor commands ----

void TFormMain::ActionEditFixAnswerExecute()
{
    if (!FormChildTerminalWindow)
        return;
    {
        TFormEditFixAnswer dialog(Settings.File, this);
        ExecModal(dialog);
    }
    // The editor wrote the file: the panels of the old records go, and the next answer (or
    // test) builds them from the reloaded ones.
    FormChildTerminalWindow->RemoveFiscalStatusPanels();
    FormChildTerminalWindow->RemovePrinterStatusPanels();
    FormChildTerminalWindow->ReloadDefinitions();
}

void TFormMain::ActionTestFixAnswerExecute()
{
    if (!FormChildTerminalWindow)
        return;
    TFormTestFixedAnswer dialog(this);
    if (ExecModal(dialog) != QDialog::Accepted)
        return;
    const std::uint16_t fiscal = dialog.FiscalWord();
    const std::uint16_t printer = dialog.PrinterWord();
    FormChildTerminalWindow->showMaximized();
    FormChildTerminalWindow->ShowAnswer(fiscal, printer, {}, 0);
}

void TFormMain::ActionRunScriptExecute()
{
    // One window, kept while the program runs: its results stay for a look after a run.
    if (!FormRunScript) {
        FormRunScript = new TFormRunScript(VardoFPHostControl1, FPAuxControl1, this);
        FormRunScript->setAttribute(Qt::WA_DeleteOnClose, false);
        FormRunScript->HostPortRefusal = [this] { return HostPortRefusal(); };
        FormRunScript->FiscalPortOn = [this] {
            return Settings.FiscalPortOpen && FPAuxControl1->State() != tallyhost::FEFP_S_Close;
        };
        FormRunScript->TurnFiscalPortOn = [this] { return TurnFiscalPortOn(); };
        connect(FormRunScript, &TFormRunScript::RunFinished, this, [this] {
            if (m_quitAfterRun)
                QTimer::singleShot(0, this, &QWidget::close);
        });
        // Where the operator left it, else over the middle of the main window.
        if (Settings.Layout.RunScript.isEmpty() ||
            !FormRunScript->restoreGeometry(Settings.Layout.RunScript))
            FormRunScript->move(frameGeometry().center() - FormRunScript->rect().center());
        FormRunScript->SetScript(Settings.Layout.RunScriptFile);
    }
    FormRunScript->show();
    FormRunScript->raise();
    FormRunScript->activateWindow();
}

void TFormMain::OpenScriptFile(const QString& fileName)
{
    const QString script = QFileInfo(fileName).absoluteFilePath();
    const tallyhost::TScriptParse parse =
        tallyhost::LoadScript(QFile::encodeName(script).toStdString());
    const QFileInfo catalogue(QFile::decodeName(tallyhost::CataloguePath(parse.Script).c_str()));
    if (!parse.Script.Catalogue.empty() && catalogue.isFile() &&
        !(TerminalFileOpen() &&
          QFileInfo(Settings.File).canonicalFilePath() == catalogue.canonicalFilePath()))
        ReplaceTerminalFile(catalogue.absoluteFilePath());
    ActionRunScriptExecute();
    FormRunScript->SetScript(script);
}

QString TFormMain::HostPortRefusal() const
{
    if (m_hostLost)
        return QStringLiteral("the host port COM%1 is lost").arg(Settings.HComm + 1);
    if (VardoFPHostControl1 && VardoFPHostControl1->State() != tallyhost::EFP_S_Close)
        return {};
    QString why = QStringLiteral("the host port is not open");
    if (!m_hostPortFailure.isEmpty())
        why += QStringLiteral(" (%1)").arg(m_hostPortFailure);
    return why;
}

bool TFormMain::TurnFiscalPortOn()
{
    // As the operator's click on the fiscal button: on, or back down with the box telling why.
    if (Settings.FiscalPortOpen && FPAuxControl1->State() != tallyhost::FEFP_S_Close)
        return true;
    ToolButtonFiscal->setChecked(false);
    ToolButtonFiscalClick();
    return Settings.FiscalPortOpen;
}

void TFormMain::ActionEditRCExecute()
{
    if (!FormChildTerminalWindow)
        return;
    {
        TFormEditReturnCode dialog(Settings.File, this);
        ExecModal(dialog);
    }
    FormChildTerminalWindow->ReloadDefinitions();
}

// ---- options and help ----

void TFormMain::MenuItemGeneralClick()
{
    TFormPreferences dialog(Settings, this);
    dialog.SetPortNotice(PortNotice());
    if (ExecModal(dialog) == QDialog::Accepted) {
        ApplyDeviceTable(Settings);
        ReopenLinksAfterPreferences();
        UpdateFileActions();
    }
    UpdatePortPanels();
}

void TFormMain::MenuItemHelpAboutClick()
{
    TFormAboutBox dialog(this);
    ExecModal(dialog);
}

// ---- status tips ----

bool TFormMain::event(QEvent* event)
{
    // Automatic hints: the long part of the hint of whatever is under the mouse goes to
    // panel 0 (and is cleared when it leaves).
    if (event->type() == QEvent::StatusTip) {
        SetPanelText(0, static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void TFormMain::ActionFileExit()
{
    close();
}
