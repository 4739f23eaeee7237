#pragma once

#include "core/panelvalues.h"
#include "core/termdefs.h"
#include "links/hosttypes.h"

#include <QMdiSubWindow>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QEventLoop;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSplitter;
class QTabWidget;
class QTableView;
class QTreeWidgetItem;
class QWidget;
class ITerminalHost;
class TCommandTreeView;

namespace tallyhost {
class TExchangeEngine;
class TFPAuxControl;
class TFPHostControl;
class TTerminalCache;
struct AnswerEntry;
struct FieldInput;
struct ExchangeRequest;
struct ExchangeResult;
struct ExchangeSettings;
enum class StateWord;
} // namespace tallyhost

// The document window of one terminal file: the command tree on the left, the command panel,
// the host answer and the fiscal answer on tabs on the right, the Send/Repeat/Cancel buttons
// below them. The window reads definitions from a memory copy of the file (the cache) and
// writes every tree edit straight to disk through the core's tree-edit functions, one atomic
// file replacement per operation, then reloads the cache. There is no unsaved state.
//
// The main window owns it (and serves as its ITerminalHost): it adds it to its MDI area, shows it
// and deletes it when the file is closed. The window's own close box only minimizes it.
class TFormChildTerminalWindow : public QMdiSubWindow
{
    Q_OBJECT

public:
    // Tree levels: the root, a group, a command.
    enum TNodeLevel
    {
        nlRoot = 0,
        nlGroup = 1,
        nlCommand = 2
    };

    // `host` serves the settings, the links and the status panels; without one (null) the
    // window works on the file alone, with default settings and no links.
    explicit TFormChildTerminalWindow(const QString& fileName, ITerminalHost* host = nullptr,
                                      QWidget* parent = nullptr);
    ~TFormChildTerminalWindow() override;

    ITerminalHost* Host() const { return m_host; }

    const QString& FileName() const { return m_fileName; }

    // Reloads the cache from disk and parses both status sections again.
    void ReloadDefinitions();
    // Forget an awaited answer, so that a late one is ignored, and end the exchange in progress
    // (a repeat too): the links have been purged.
    void ClearCommandInProgress();

    // The input box of the tree edits: prompt "Input text:", starting with `initialText`
    // (empty, or the old name of a rename); the answer is cut to its first 25 characters and
    // is empty when cancelled. The box is wide enough for its whole title.
    QString AskText(const QString& caption, const QString& initialText = QString());
    // False for the reserved section names, compared without regard to case.
    static bool IsFreeSectionName(const QString& name);

    // (Re)builds the tree from the file: root, groups in [Groups] order, their commands.
    void LoadCommandTree();
    // The names of the expanded groups, and expanding the groups of those names that exist:
    // the main window keeps them for the next start.
    QStringList ExpandedGroups() const;
    void ExpandGroups(const QStringList& names);

    // The command panel of the shown command (definitions in `Definition`).
    void BuildCommandPanel(const QString& section);
    void ClearCommandPanel();
    // Positions the panel's controls for the current client width (also on every resize).
    void LayoutCommandPanel();

    // Paste / drop of `source` onto `target` by their tree levels; nothing is ever moved.
    void PasteNode(QTreeWidgetItem* target, QTreeWidgetItem* source);
    void PasteGroupToRoot(QTreeWidgetItem* source);
    void MergeGroup(QTreeWidgetItem* target, QTreeWidgetItem* source);
    void PasteCommand(QTreeWidgetItem* group, QTreeWidgetItem* command);

    static int NodeLevel(const QTreeWidgetItem* node);
    // The selected node, or null when nothing is selected.
    QTreeWidgetItem* SelectedNode() const;
    // The command section of a command node: group name followed directly by command name.
    static QString CommandSectionOf(const QTreeWidgetItem* node);

    // Widgets, named as the rest of the program refers to them.
    TCommandTreeView* TreeViewCommand = nullptr;
    QSplitter* Splitter = nullptr;
    QWidget* PanelMain = nullptr;
    QTabWidget* PageControl = nullptr;
    QWidget* TabSheetCommand = nullptr;
    QScrollArea* ScrollBoxCommand = nullptr;
    QWidget* TabSheetAnswer = nullptr;
    QScrollArea* ScrollBoxAnswer = nullptr;
    QGroupBox* GroupBoxFiscalAnswer = nullptr;
    QGroupBox* GroupBoxPrinterAnswer = nullptr;
    QFrame* BevelSeparator = nullptr;
    QWidget* TabSheetFiscalAnswer = nullptr;
    QPlainTextEdit* MemoFiscalAnswer = nullptr;
    QWidget* ButtonPanel = nullptr;
    QPushButton* ButtonSend = nullptr;
    QPushButton* ButtonRepeat = nullptr;
    QPushButton* ButtonCancel = nullptr;
    // Record: while down, every Send and Repeat is appended to RecordScript as a test case
    // expecting what the printer answered. It stands beside the tabs, so it is there (and
    // Alt+D works) whatever tab is shown, and while down it reads "Recording to NAME.ths".
    QPushButton* ButtonRecord = nullptr;
    QString RecordScript;

    // Popup menu of the tree.
    QMenu* TerminalWindowPopupMenu = nullptr;
    QMenu* MenuItemGroupPopUp = nullptr;
    QAction* MenuItemGroupAdd = nullptr;
    QAction* MenuItemGroupRename = nullptr;
    QAction* MenuItemGroupRemove = nullptr;
    QMenu* MenuItemCommandPopUp = nullptr;
    QAction* MemuItemCommandAdd = nullptr;
    QAction* MenuItemCommandRename = nullptr;
    QAction* MenuItemCommandRemove = nullptr;
    QAction* MenuItemEditFields = nullptr;
    QAction* MenuItemResetValues = nullptr;
    QAction* MenuItemCopyCommand = nullptr;
    QAction* MenuItemPasteCommand = nullptr;
    QMenu* MenuItemNodesCommand = nullptr;
    QAction* MenuItemExpandAll = nullptr;
    QAction* MenuItemCollapseAll = nullptr;
    QAction* MenuItemExpandNode = nullptr;
    QAction* MenuItemCollapseNode = nullptr;

    // Document state.
    QString CurrentCommand; // command section shown in the panel, empty when none
    QString SentCommand;    // command section of the last command handed to the host link
    bool CommandInProgress = false;
    bool CancelRequested = false;
    std::string AuxFrameText;

    // Definitions of the shown command and the status decode tables of the file.
    tallyhost::TCommandDefinition Definition;
    tallyhost::TStatusTable FiscalStatus;
    tallyhost::TStatusTable PrinterStatus;

    // The panel's controls of field i (0 .. Definition.FieldCount - 1). An input is a
    // TFieldTypeComboBox (Simple, DropDown, DropDownList), a QDateEdit or a QTimeEdit; it is
    // null for a field whose control type is unknown.
    std::array<QLabel*, tallyhost::MaxFields> FieldLabels{};
    std::array<QWidget*, tallyhost::MaxFields> FieldInputs{};
    QLabel* LabelNotes = nullptr;
    QPlainTextEdit* MemoNotes = nullptr;

    // True while a selection change waits for its delayed report.
    bool SelectionReportPending() const { return m_changeTimer.isActive(); }

    // The memory copy of the file, from which definitions are read.
    const tallyhost::TTerminalCache& Cache() const { return *m_cache; }

    // Copy source (null when none) and the copied flag, exposed for the enabling rules.
    QTreeWidgetItem* CopySource() const { return m_copySource; }
    bool Copied() const { return m_copied; }

public slots:
    // Tree and popup handlers.
    void TreeViewCommandChange(QTreeWidgetItem* node);
    void TerminalWindowPopupMenuPopup();
    void MenuItemGroupAddClick();
    void MenuItemGroupRenameClick();
    void MenuItemGroupRemoveClick();
    void MemuItemCommandAddClick();
    void MenuItemCommandRenameClick();
    void MenuItemCommandRemoveClick();
    void MenuItemEditFieldsClick();
    void MenuItemResetValuesClick();
    void MenuItemCopyCommandClick();
    void MenuItemPasteCommandClick();
    void MenuItemExpandAllClick();
    void MenuItemCollapseAllClick();
    void MenuItemExpandNodeClick();
    void MenuItemCollapseNodeClick();

    // Sending (terminal/sending.cpp).
    void ButtonSendClick();
    void ButtonRepeatClick();
    void ButtonCancelClick();
    void ButtonRecordClick(bool down);

public:
    // State words of the main window's second status panel.
    enum TStatusWord
    {
        swReady,
        swError,
        swSending,
        swTimeOut,
        swAbort
    };
    void SetStatusText(TStatusWord word);
    // The host's ports were opened or closed: Send and Repeat follow them while no exchange
    // is going on.
    void PortsChanged();
    // A command is out on a link, a repeat runs, or a send waits for an idle link.
    bool ExchangeInProgress() const;
    // The exchange engine that sends the window's commands (session/exchange.h).
    tallyhost::TExchangeEngine& Engine() const;
    static QString StatusWordText(TStatusWord word);

signals:
    // A repeat run has ended: "Repeat 500: 500 sent, 498 answered, 2 errors; response
    // min/median/max 41/44/120 ms". The status bar shows it after the state word; the main
    // window hands it to the log view.
    void RepeatSummary(const QString& text);

public:
    // The Host Answer tab (terminal/answer.cpp). ShowHostAnswer rebuilds it from an answer the
    // engine has judged. ShowAnswer does so from two status words, the answer's extra fields
    // and its return code, decoded as the engine decodes a printer's answer; the test of fixed
    // answers calls it with an empty list and return code 0.
    void ShowHostAnswer(const tallyhost::ExchangeResult& answer);
    void ShowAnswer(std::uint16_t fiscalWord, std::uint16_t printerWord,
                    const std::vector<std::string>& extraFields, std::uint16_t returnCode);
    // Destroy one word's status panels and hide its group box (after the fixed answer editor).
    void RemoveFiscalStatusPanels();
    void RemovePrinterStatusPanels();
    void MemoFiscalAnswerDblClick();

    // What the Host Answer tab shows: one label per status panel (element 0 = panel 1), and
    // one label and read-only edit per answer entry (hidden reserved entries included).
    std::vector<QLabel*> FiscalPanels;
    std::vector<QLabel*> PrinterPanels;
    bool FiscalPanelsExist = false;
    bool PrinterPanelsExist = false;
    std::vector<QLabel*> AnswerLabels;
    std::vector<QLineEdit*> AnswerEdits;
    // The grid holds the first entries of an answer; the rest are rows of one list below it
    // (created with the first answer that needs it, hidden while none does).
    static constexpr std::size_t MaxAnswerGridEntries = 70;
    QTableView* AnswerRestView = nullptr;

    // Opens the field list editor modally on a command section of the file. The main window
    // installs it; without it "Edit fields" only reloads the command.
    static std::function<void(QWidget* parent, const QString& fileName, const QString& section)>
        EditFieldsDialog;

protected:
    // The long hints of the window's controls go to the host's status panel 0.
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateLayout();
    void CreatePopupMenu();
    // The tabs and the buttons, each made beside the code that fills them.
    void CreateCommandTab();
    void CreateAnswerTabs();
    QWidget* CreateButtonPanel();
    // A tab of the page control that `content` fills; returns the tab's sheet.
    QWidget* AddTab(QWidget* content, const QString& title);
    void LoadStatusTables();
    void ReloadCache();
    QTreeWidgetItem* RootNode() const;
    QTreeWidgetItem* FindChild(QTreeWidgetItem* parent, const QString& text) const;
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const QString& text);
    void ForgetNode(QTreeWidgetItem* node);

public:
    // Loads `section` afresh and rebuilds the panel for it (selection change, Edit fields).
    void ShowCommand(const QString& section, bool selectionChanged);

private:
    void SetButtonsForPanel();
    // Send's hint says why it is disabled when a port is the reason (and how to mend it).
    void UpdateSendHint();
    void ShowRecording();
    // The accelerator letters of the window's buttons and tabs (and the main window's menus),
    // which the generated field labels must leave alone.
    std::string WindowAccelerators() const;
    // Values that stay (terminal/panelvalues.cpp): the shown command's values are kept
    // before the panel shows another, and put back when a panel is built for a command.
    void KeepPanelValues();
    // The value of every field of the shown command as its control holds it (texts in UTF-8).
    std::vector<tallyhost::FieldInput> PanelInputs() const;
    void RestorePanelValues(const QString& section);
    tallyhost::TPanelValues m_panelValues;
    bool IsHostPortOpen() const;
    bool IsFiscalPortOpen() const;

    // Runs one file edit; a refused write (read-only file...) is shown and false returned.
    template <typename F> bool RunEdit(F&& edit);
    QString AskNodeName(const QString& caption, const QString& oldName = QString());
    void ShowError(const QString& text);
    bool AskWarning(const QString& text);

    // Sending (terminal/sending.cpp): the panel read into a request for the engine, and what
    // the window shows of the engine's reports.
    tallyhost::ExchangeRequest PanelRequest() const;
    void PrepareEngine();
    void ExchangeHandedOver(int run, int count);
    void ExchangeFinished(const tallyhost::ExchangeResult& result);
    void AppendFiscalAnswer(const QByteArray& data);
    // Send found the port closed: status "Error", and for the host port a box that names the
    // device and the system's reason.
    void ReportClosedPort(bool fiscal);
    // Cancel and "Reset serial ports": the engine drops the exchange (purging both links),
    // the controls come back; a repeat ends with `word`.
    void DropExchange(tallyhost::StateWord word);
    void RestoreButtons();
    // The summary of a repeat run, in the status bar after the state word and to the log.
    void TellRepeatSummary(const QString& summary);
    // The exchange handed to the engine while Record is down, kept for its case.
    struct PendingRecord;
    std::shared_ptr<PendingRecord> m_pendingRecord; // shared: its type is known in sending.cpp only
    void KeepForRecord(const tallyhost::ExchangeRequest& request, int repeat);
    void RecordExchange(const tallyhost::ExchangeResult& result);
    tallyhost::TExchangeEngine* m_engine = nullptr; // child
    TStatusWord m_statusWord = swReady;             // the last state word shown
    void ClearAnswerControls();
    void ShowStatusPanels(const tallyhost::ExchangeResult& answer);
    void ShowAnswerFields(const std::vector<tallyhost::AnswerEntry>& entries);
    // Fills the list of the entries beyond the grid and places it at `top`; returns its bottom.
    int ShowAnswerRest(std::vector<tallyhost::AnswerEntry> entries, int top);
    bool m_memoWatched = false; // the memo's double click is handled

    // The links of the host, null without one.
    tallyhost::TFPHostControl* HostLink() const;
    tallyhost::TFPAuxControl* AuxLink() const;
    // The settings of the open file that shape frames and answers (defaults without a host).
    tallyhost::ExchangeSettings HostSettings() const;

    ITerminalHost* m_host = nullptr;
    QString m_fileName;
    std::string m_path; // the file name as the file system spells it
    std::unique_ptr<tallyhost::TTerminalCache> m_cache;
    QTreeWidgetItem* m_copySource = nullptr;
    bool m_copied = false;
    QTimer m_changeTimer; // reports a selection change 50 ms after it happens
    bool m_destroying = false;
    int m_treeWidth = 0;      // kept up to date, stored into the settings on destruction
    unsigned m_panelShow = 0; // counts panel (re)builds, to spot a newer one during a wait
    QWidget* m_commandClient = nullptr; // content widget of ScrollBoxCommand
};
