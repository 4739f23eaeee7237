#pragma once

#include <QString>
#include <QWidget>

class TLogPanel;

// A log file read back: a log the program wrote (or a view saved as text) in the log view of
// a window of its own, read-only, its lines coloured by the log settings as the live log is,
// with find, filter and the decode pane against a catalogue. A line it cannot read is shown
// as it stands, never dropped.
class TFormLogReader : public QWidget
{
    Q_OBJECT

public:
    // Reads `logFile`; `catalogue` (a terminal file, may be empty) names the frames.
    TFormLogReader(const QString& logFile, const QString& catalogue, QWidget* parent = nullptr);

    // Empty when the file was read, else why not (the window then shows nothing).
    QString Error() const { return m_error; }
    TLogPanel* Panel() const { return m_panel; }
    // Lines read that are no line the program writes (kept as they stand).
    int UnreadLines() const { return m_unreadLines; }

    // Opens the reader as a window of its own, at full size; a file that cannot be read is
    // told in a message box and opens nothing.
    static TFormLogReader* Open(const QString& logFile, const QString& catalogue, QWidget* parent);

private:
    TLogPanel* m_panel = nullptr;
    QString m_error;
    int m_unreadLines = 0;
};
