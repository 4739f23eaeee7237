#pragma once

#include "session/scriptreport.h"

#include <QWidget>

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
// time; Stop ends the run (the exchange going on is cancelled, the rest skipped); selecting a
// failed case shows the expectation, the expected and the actual value and the case's frames.
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
    bool Running() const { return m_runner != nullptr; }
    // The results of the last run (empty before one).
    const std::vector<tallyhost::TScriptResult>& Results() const { return m_results; }

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
