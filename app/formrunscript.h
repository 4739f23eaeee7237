#pragma once

#include "session/scriptreport.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class TLogView;

namespace tallyhost {
class TExchangeEngine;
class TFPAuxControl;
class TFPHostControl;
class TScriptRunner;
} // namespace tallyhost

// "Run script": a test script run on the program's own links, as tallyhost-cli run runs it.
// The operator chooses a script, runs it and watches a row per case fill with its result and
// time; Stop ends the run (the exchange going on is cancelled, the rest stopped); selecting a
// failed case shows the expectation, the expected and the actual value and the case's frames.
// Before anything is sent the ports the script uses are checked: a host port that is not open
// refuses the run with its reason, a fiscal port that is off is offered to be turned on.
// The exchanges go through an engine of the window's own on the main window's links, so the
// log window shows them as usual and the terminal window's answer panels stay as they were.
class TFormRunScript : public QWidget
{
    Q_OBJECT
public:
    TFormRunScript(tallyhost::TFPHostControl* host, tallyhost::TFPAuxControl* aux,
                   QWidget* parent = nullptr);
    ~TFormRunScript() override;

    QLineEdit* EditScript() const { return m_editScript; }
    QPushButton* ButtonBrowse() const { return m_buttonBrowse; }
    QPushButton* ButtonRun() const { return m_buttonRun; }
    QPushButton* ButtonStop() const { return m_buttonStop; }
    QProgressBar* ProgressBar() const { return m_progress; }
    QTableWidget* GridCases() const { return m_grid; }
    // The selected case's details: its failure, then its frames as the log view draws them.
    TLogView* MemoDetails() const { return m_details; }
    QLabel* LabelSummary() const { return m_summary; }
    bool Running() const { return m_runner != nullptr; }
    // The results of the last run (empty before one).
    const std::vector<tallyhost::TScriptResult>& Results() const { return m_results; }

    // Chooses the script to run, ready for Run (Alt+R).
    void SetScript(const QString& path);
    // Ends the run going on, if any; the run's loops return soon after.
    void StopRun();

    // The main window's view of its ports. Empty when the host port is usable, else why not
    // ("the host port is not open: /dev/ttyS0: Permission denied"); without it the host link's
    // state decides.
    std::function<QString()> HostPortRefusal;
    // The fiscal port is on; without it the fiscal link's state decides.
    std::function<bool()> FiscalPortOn;
    // Turns the fiscal port on as its toolbar button does; true when it is open then.
    std::function<bool()> TurnFiscalPortOn;

public slots:
    void ButtonBrowseClick();
    void ButtonRunClick();
    void ButtonStopClick();

signals:
    // The run is over (passed, failed, stopped or refused).
    void RunFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowDetails();
    void SetRow(int row, const tallyhost::TCaseResult& result);
    void UpdateEnabling();
    // Why the run cannot start on the ports `host` and `fiscal` it needs, after offering to
    // turn the fiscal port on; empty when it can.
    QString PortRefusal(bool host, bool fiscal);

    tallyhost::TFPHostControl* m_host = nullptr;
    tallyhost::TFPAuxControl* m_aux = nullptr;
    std::unique_ptr<tallyhost::TExchangeEngine> m_engine;
    tallyhost::TScriptRunner* m_runner = nullptr; // while a run goes on
    std::vector<tallyhost::TScriptResult> m_results;
    std::vector<tallyhost::TCaseResult> m_cases; // of the run going on or the last one
    bool m_closeAfterRun = false;

    QLineEdit* m_editScript = nullptr;
    QPushButton* m_buttonBrowse = nullptr;
    QPushButton* m_buttonRun = nullptr;
    QPushButton* m_buttonStop = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_summary = nullptr;
    QTableWidget* m_grid = nullptr;
    void SetDetails(const std::vector<std::string>& notes, const std::vector<std::string>& log);

    TLogView* m_details = nullptr;
};
