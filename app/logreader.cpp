#include "app/logreader.h"

#include "app/logpanel.h"
#include "app/logwindow.h"
#include "core/logrecord.h"
#include "gui/logview.h"
#include "gui/messagebox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVBoxLayout>

using namespace tallyhost;

TFormLogReader::TFormLogReader(const QString& logFile, const QString& catalogue, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormLogReader"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Log %1").arg(QDir::toNativeSeparators(logFile)));
    m_panel = new TLogPanel(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_panel);
    m_panel->SetSaveDirectory(QFileInfo(logFile).absolutePath());
    m_panel->SetCatalogue(catalogue);
    resize(900, 600);

    const TLogSettings settings = MainWindowLogSource().LogSettings();
    m_panel->SetColumns({settings.TimeColumn, settings.TextColumn, settings.ResponseTime});
    TLogView* view = m_panel->View();
    // A file's times are the wall-clock times it was written with.
    view->SetTimesAreLocal(true);

    QFile file(logFile);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("Unable to read %1").arg(QDir::toNativeSeparators(logFile));
        return;
    }
    const QByteArray content = file.readAll();
    LogStore lines;
    m_unreadLines = ReadLogText(
        std::string_view(content.constData(), static_cast<std::size_t>(content.size())), lines,
        [&settings](const LogRecord& record) { return LogLineColor(settings, record).rgba(); });
    view->SetLines(std::move(lines));
    view->SetTopRow(0);
}

TFormLogReader* TFormLogReader::Open(const QString& logFile, const QString& catalogue,
                                     QWidget* parent)
{
    auto* reader = new TFormLogReader(logFile, catalogue, parent);
    if (!reader->Error().isEmpty()) {
        ShowErrorBox(parent, reader->Error());
        delete reader;
        return nullptr;
    }
    reader->showMaximized();
    return reader;
}
