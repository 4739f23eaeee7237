#pragma once

#include "app/settings.h"
#include "links/deviceidentity.h"
#include "terminal/terminalhost.h"

#include <QByteArray>
#include <QMainWindow>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>
#include <string>

class QAction;
class QLabel;
class QTimer;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;
class QToolButton;

namespace tallyhost {
class TFPAuxControl;
class TFPHostControl;
} // namespace tallyhost

class TFormMain;
class TFormChildTerminalWindow;
class TFormRunScript;
class TFormChildLogWindow;

// The one main window, and the terminal and log windows of the open terminal file. Both child
// pointers are null while no file is open; they are set and cleared only by the main window.
extern TFormMain* FormMain;
extern TFormChildTerminalWindow* FormChildTerminalWindow;
extern TFormChildLogWindow* FormChildLogWindow;

// The application's MDI frame. It owns the settings, the printer links and at most one open
// terminal file (a terminal window plus its log window, created and destroyed together). Other
// windows reach the shared state through FormMain: Settings, the status bar panels and the
// links.
//
// Start-up happens in the constructor (settings, file association, per-file defaults, ports,
// status bar, command line, drop target); the remembered or given file is opened when the window
// is first shown. Shutdown happens when the window closes: the child windows go first (the
// terminal window stores its tree width in Settings), then the settings are stored and the
// per-file settings go into the last file.
class TFormMain : public QMainWindow, public ITerminalHost
{
    Q_OBJECT

public:
    // `arguments` is the program's command line (the first element is the program itself);
    // only the first argument after it is used.
    explicit TFormMain(const QStringList& arguments = QStringList(), QWidget* parent = nullptr);
    ~TFormMain() override;

    TSettings Settings;

    // Status bar panels: 0 hints, 1 "Ready"/"Error"/progress, 2 host port, 3 fiscal port.
    void SetPanelText(int panel, const QString& text) override;
    QString PanelText(int panel) const override;

    // What the terminal window reads through ITerminalHost.
    tallyhost::TFPHostControl* HostLink() const override { return VardoFPHostControl1; }
    tallyhost::TFPAuxControl* AuxLink() const override { return FPAuxControl1; }
    bool HostPortOpen() const override { return Settings.HostPortOpen; }
    bool FiscalPortOpen() const override { return Settings.FiscalPortOpen; }
    QString HostPortFailure() const override { return m_hostPortFailure; }
    int Protocol() const override { return Settings.Protocol; }
    int InputDateFormat() const override { return Settings.InputDateFormat; }
    int OutputDateFormat() const override { return Settings.OutputDateFormat; }
    bool ExtReservedFields() const override { return Settings.ExtReservedFields; }
    std::uint32_t TreeWidth() const override { return Settings.TVWidth; }
    void SetTreeWidth(std::uint32_t width) override { Settings.TVWidth = width; }
    QLabel* StatusPanel(int panel) const { return m_panels.at(panel); }
    // The width of status panel `index` for `panel`'s font.
    static int StatusPanelWidth(const QLabel& panel, int index);

    QMdiArea* MdiArea() const { return m_mdiArea; }
    // A terminal file is open: its terminal and log window exist.
    bool TerminalFileOpen() const;

    void OpenTerminalFile();
    void CloseTerminalWindows();

    void LoadSettings();
    void SaveSettings();
    void LoadFileSettings();
    // Writes the per-file settings into Settings.File. A failure is shown once per file and run
    // ("Unable to write to <path>"); the file is left as it was. A file that no longer exists is
    // not recreated.
    void SaveFileSettings();

    // Registers the terminal-file extension for this user with the desktop (shared-mime-info
    // package and .desktop entry). Failures are silent.
    void RegisterFileType(const QString& extension, const QString& className);
    // Where RegisterFileType wrote its files (for diagnostics and tests).
    QString MimePackagePath(const QString& className) const;
    QString DesktopEntryPath(const QString& className) const;

    // Refreshes status bar panels 2 (host port) and 3 (fiscal port).
    void UpdatePortPanels();

    // The printer links (children of the main window; they close their ports with it).
    tallyhost::TFPHostControl* VardoFPHostControl1 = nullptr;
    tallyhost::TFPAuxControl* FPAuxControl1 = nullptr;
    // The last frame written and the last frame read on either link, while a file is open.
    const QByteArray& LastWrittenFrame() const { return m_lastWrittenFrame; }
    const QByteArray& LastReadFrame() const { return m_lastReadFrame; }
    // Opens the fiscal port from DComm and DTimeOut (closing it first); tells the operator
    // when it fails.
    bool OpenFiscalPort();
    void CloseFiscalPort();

    // Lost ports: a port whose device went away (EIO, ENXIO, hang-up) is closed, logged and
    // shown as "COMn lost"; with Settings.ReopenLostPorts it is tried again every
    // PortWatchInterval and reopened with its settings when the device is back. Nothing is
    // sent again by itself.
    //
    // A port is reopened only on the device that was lost: its identity is remembered when it
    // opens. When the name leads to another device (two adapters plugged back in the other
    // order), the log and the port panel ("COMn other device") say so and the port stays
    // closed until the operator confirms with OK in Preferences, which opens whatever the
    // name leads to. A lost port stays lost, and waiting, until it is back or the operator
    // turns it off (the fiscal button, or another port in Preferences): a Preferences OK
    // while its device is still away does not end the wait.
    static constexpr int PortWatchInterval = 1000; // ms
    bool HostPortLost() const { return m_hostLost; }
    bool FiscalPortLost() const { return m_fiscalLost; }
    // A lost port whose name now leads to another device, waiting for the operator.
    bool HostPortOtherDevice() const { return m_hostOther.Known; }
    bool FiscalPortOtherDevice() const { return m_fiscalOther.Known; }
    // What the device behind a name is (tests stand in for sysfs here).
    std::function<tallyhost::TDeviceIdentity(const std::string&)> PortIdentity =
        [](const std::string& path) { return tallyhost::ReadDeviceIdentity(path); };
    // The Devices tab's note of what OK will confirm; empty when nothing waits.
    QString PortNotice() const;

    // The Run script window's view of the ports (app/formrunscript.h): why the host port
    // cannot carry a script's commands (empty when it can), and turning the fiscal port on as
    // its button does.
    QString HostPortRefusal() const;
    bool TurnFiscalPortOn();
    // Opens a test script as File, Open and the command line do: its catalogue (unless it is
    // open already), then the Run script window with the script chosen.
    void OpenScriptFile(const QString& fileName);

    // Lays out the icons of the minimized child windows along the bottom of the frame.
    void ArrangeIcons();

    // Where New writes default.thf: in NewFileDirectory (empty: beside the executable), or in
    // the user's data directory when that directory cannot be written.
    QString DefaultTerminalFilePath() const;
    QString NewFileDirectory;

    // Actions (the enabling rules live in UpdateFileActions and UpdateEditActions).
    QAction* ActionNew = nullptr;
    QAction* ActionOpen = nullptr;
    QAction* ActionOpenLog = nullptr;
    QAction* ActionClose = nullptr;
    QAction* ActionSaveAs = nullptr;
    QAction* ActionExit = nullptr;
    QAction* ActionEditCopy = nullptr;
    QAction* ActionEditCut = nullptr;
    QAction* ActionEditPaste = nullptr;
    QAction* ActionEditFixAnswer = nullptr;
    QAction* ActionTestFixAnswer = nullptr;
    QAction* ActionEditRC = nullptr;
    QAction* ActionRunScript = nullptr;
    TFormRunScript* FormRunScript = nullptr; // created at first use, child of this window
    QAction* ActionWindowCascade = nullptr;
    QAction* ActionWindowTileHorizontal = nullptr;
    QAction* ActionWindowTileVertical = nullptr;
    QAction* ActionWindowMinimizeAll = nullptr;
    QAction* ActionWindowArrange = nullptr;
    QAction* MenuItemResetserialports = nullptr;
    QAction* MenuItemGeneral = nullptr;
    QAction* MenuItemHelpAbout = nullptr;

    QToolBar* ToolBar = nullptr;
    QToolButton* ToolButtonFiscal = nullptr;
    QMenu* PopupMainMenu = nullptr;
    QMenu* MenuWindow = nullptr;

public slots:
    // File commands.
    void ActionFileNew();
    void ActionFileOpen();
    // "Open log...": a log file read back in a window of its own.
    void ActionFileOpenLog();
    void ActionFileSaveAs();
    void ActionFileClose();
    void ActionFileExit();
    // Edit commands: copy, cut and paste in the focused text control, whatever window it is in.
    void ActionEditCopyExecute();
    void ActionEditCutExecute();
    void ActionEditPasteExecute();
    // Editor commands.
    void ActionEditFixAnswerExecute();
    void ActionTestFixAnswerExecute();
    void ActionEditRCExecute();
    void ActionRunScriptExecute();
    // Window commands.
    void ActionWindowCascadeExecute();
    void ActionWindowTileHorizontalExecute();
    void ActionWindowTileVerticalExecute();
    void ActionWindowMinimizeAllExecute();
    void ActionWindowArrangeExecute();
    // Options and Help.
    void MenuItemResetserialportsClick();
    void MenuItemGeneralClick();
    void MenuItemHelpAboutClick();
    void ToolButtonFiscalClick();

    // Link events, routed to the log window and the terminal window (formmain_links.cpp).
    void VardoFPHostControl1Open(tallyhost::TFPHostControl* Sender);
    void VardoFPHostControl1Close(tallyhost::TFPHostControl* Sender);
    void VardoFPHostControl1Ack(tallyhost::TFPHostControl* Sender);
    void VardoFPHostControl1Nack(tallyhost::TFPHostControl* Sender);
    void VardoFPHostControl1IntermediateAnswer(tallyhost::TFPHostControl* Sender);
    void VardoFPHostControl1FinalAnswer(tallyhost::TFPHostControl* Sender);
    void VardoFPHostControl1Error(tallyhost::TFPHostControl* Sender);
    void VardoFPHostControl1Write(tallyhost::TFPHostControl* Sender, const QByteArray& Value);
    void VardoFPHostControl1Read(tallyhost::TFPHostControl* Sender, const QByteArray& Value);
    void FPAuxControl1Open(tallyhost::TFPAuxControl* Sender);
    void FPAuxControl1Close(tallyhost::TFPAuxControl* Sender);
    void FPAuxControl1Ack(tallyhost::TFPAuxControl* Sender);
    void FPAuxControl1Nack(tallyhost::TFPAuxControl* Sender);
    void FPAuxControl1Answer(tallyhost::TFPAuxControl* Sender, bool IsFinal);
    void FPAuxControl1Error(tallyhost::TFPAuxControl* Sender);
    void FPAuxControl1Write(tallyhost::TFPAuxControl* Sender, const QByteArray& Value);
    void FPAuxControl1Read(tallyhost::TFPAuxControl* Sender, const QByteArray& Value);

    // Opens a terminal file that came from outside (drop): closes the open one first.
    void OpenDroppedFile(const QString& fileName);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate(const QStringList& arguments);
    void FormShow();
    void FormDestroy();
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void TakeCommandLine(const QStringList& arguments);
    void ReplaceTerminalFile(const QString& fileName);
    void UpdateFileActions();
    void UpdateEditActions();
    void UpdateWindowActions();
    void FillWindowMenu();
    void ScheduleArrangeIcons();
    void ArrangeIconsWhenIdle();
    void WatchSubWindow(QMdiSubWindow* window);
    // The arrangement of the terminal and log windows (app/windowlayout.cpp): brought back
    // from Settings.Layout when a file opens (the first time: terminal above log), written
    // back into it when the file closes.
    void PlaceTerminalWindows(TFormChildTerminalWindow* terminal, TFormChildLogWindow* log);
    void RememberTerminalWindows();
    void TrackNormalGeometry(QObject* watched, QEvent* event);
    QRect m_terminalNormalGeometry; // last geometry neither maximized nor minimized
    QRect m_logNormalGeometry;
    void TileSubWindows(Qt::Orientation orientation);

    // Link seams (the link methods live in formmain_links.cpp): the printer links are set up
    // at start-up, get the file's protocol when a file is opened, and are reopened after
    // Preferences closed with OK.
    void StartLinks();
    void ApplyProtocolType();
    void CreateLinks();
    // Opens the host port from HComm and HBaud (after closing it when asked), tells the
    // operator when it fails, then sets the protocol.
    void OpenHostPort(bool closeFirst);
    // The fiscal button's two looks: up with "Disable Fiscal port", down with "Enable ...".
    void ShowFiscalButtonLook(bool enabled);
    QByteArray m_lastWrittenFrame;
    QByteArray m_lastReadFrame;
    void ReopenLinksAfterPreferences();
    // The port watch's tick: notices lost ports and reopens them.
    void WatchPorts();
    void HostPortGone(const std::string& reason);
    void FiscalPortGone(const std::string& reason);
    QTimer* m_portWatch = nullptr;
    bool m_hostLost = false;
    bool m_fiscalLost = false;
    bool m_hostLostBusy = false; // lost with a command in progress: one tick to let it end
    bool m_fiscalLostBusy = false;
    // The device each port opened on, the path it was lost from, and the other device found
    // behind that path since (Known = the operator has been told).
    tallyhost::TDeviceIdentity m_hostIdentity;
    tallyhost::TDeviceIdentity m_fiscalIdentity;
    std::string m_hostLostPath;
    std::string m_fiscalLostPath;
    tallyhost::TDeviceIdentity m_hostOther;
    tallyhost::TDeviceIdentity m_fiscalOther;
    // One look at a lost port's name: false while it leads nowhere or to another device (told
    // to the operator once per device), true when the same device is back. `tag` is the log
    // notification of the port's line.
    bool LostDeviceIsBack(int comIndex, int tag, const std::string& path,
                          const tallyhost::TDeviceIdentity& was, tallyhost::TDeviceIdentity& other);
    bool m_quietPortChange = false; // the port is closed for its loss: no "Close port" line

    QMdiArea* m_mdiArea = nullptr;
    std::array<QLabel*, 4> m_panels{};
    QString m_hintText;
    bool m_shown = false;
    bool m_shutDown = false;
    bool m_quitAfterRun = false; // closed during a script run: close once the run has stopped
    QString m_scriptToOpen;      // a script from the command line, opened once shown
    // The stored fiscal port choice while TALLYHOST_FISCAL_PORT sets this run's.
    std::optional<bool> m_storedDGIEnabled;
    bool m_arrangePending = false;
    QWidget* m_trackedFocus = nullptr;
    QSet<QString> m_reportedWriteErrors;
    QString m_hostPortFailure; // device and reason of the last failed host port open
};
