#pragma once

// tallyhost-sim run as a child process for a test: the printer at the far end of a link,
// with a real line's pace when asked (--baud).

#ifdef TALLYHOST_SIM_PATH

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

namespace tallyhost::testing {

class SimProcess
{
public:
    // `scenario` is the text of a scenario file (empty: the built-in one). The ports are also
    // reachable as LinkPath("host") and LinkPath("fiscal"), which survive an unplug.
    explicit SimProcess(int baud, const QByteArray& scenario = {})
    {
        QStringList args{"--baud", QString::number(baud), "--link", m_dir.filePath("ports")};
        if (!scenario.isEmpty()) {
            QFile file(m_dir.filePath("scenario.ini"));
            if (file.open(QIODevice::WriteOnly))
                file.write(scenario);
            args << "--scenario" << file.fileName();
        }
        m_process.start(QStringLiteral(TALLYHOST_SIM_PATH), args);
        if (!m_process.waitForStarted(5000))
            return;
        while (m_lines.size() < 2 && m_process.waitForReadyRead(5000)) {
            while (m_process.canReadLine())
                m_lines << QString::fromLocal8Bit(m_process.readLine()).trimmed();
        }
    }
    ~SimProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Ok() const { return m_lines.size() >= 2; }
    std::string HostPath() const { return Path("host"); }
    std::string FiscalPath() const { return Path("fiscal"); }
    std::string LinkPath(const char* port) const
    {
        return QDir(m_dir.filePath("ports")).filePath(QString::fromLatin1(port)).toStdString();
    }
    // Lines printed so far ("host /dev/pts/N", one more after each replug).
    QStringList Lines()
    {
        while (m_process.canReadLine())
            m_lines << QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return m_lines;
    }

private:
    std::string Path(const char* port) const
    {
        for (const QString& line : m_lines)
            if (line.startsWith(QLatin1String(port) + ' '))
                return line.section(' ', 1).toStdString();
        return {};
    }

    QTemporaryDir m_dir;
    QProcess m_process;
    QStringList m_lines;
};

} // namespace tallyhost::testing

#endif
