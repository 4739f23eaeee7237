#pragma once

// tallyhost-sim run as a child process for a test: the printer at the far end of a link,
// with a real line's pace when asked (--baud).
//
// Started with posix_spawn, not QProcess: Qt starts its children with a clone that shares the
// parent's memory, and the child's few steps before exec run on the parent's ThreadSanitizer
// state, after which TSan no longer sees the main thread's locks and reports every mutex-guarded
// hand-over to a link worker as a race.

#ifdef TALLYHOST_SIM_PATH

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tallyhost::testing {

class SimProcess
{
public:
    // `scenario` is the text of a scenario file (empty: the built-in one). The ports are also
    // reachable as LinkPath("host") and LinkPath("fiscal"), which survive an unplug.
    // `extra` arguments follow the others (--host-device PATH ...).
    explicit SimProcess(int baud, const QByteArray& scenario = {},
                        const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args{TALLYHOST_SIM_PATH, "--baud", std::to_string(baud), "--link",
                                      m_dir.filePath("ports").toStdString()};
        args.insert(args.end(), extra.begin(), extra.end());
        if (!scenario.isEmpty()) {
            QFile file(m_dir.filePath("scenario.ini"));
            if (file.open(QIODevice::WriteOnly))
                file.write(scenario);
            args.insert(args.end(), {"--scenario", file.fileName().toStdString()});
        }
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return;
        m_out = out[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        // The simulator prints a line for each port once it is ready.
        while (m_pid > 0 && m_lines.size() < 2 && ReadLines(5000)) {
        }
    }
    ~SimProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
            while (waitpid(m_pid, nullptr, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() > deadline) {
                    kill(m_pid, SIGKILL);
                    waitpid(m_pid, nullptr, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        if (m_out >= 0)
            close(m_out);
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
        while (ReadLines(0)) {
        }
        return m_lines;
    }

private:
    // Reads what the simulator has printed, waiting up to `timeoutMs` for something; false when
    // nothing came.
    bool ReadLines(int timeoutMs)
    {
        pollfd fd{m_out, POLLIN, 0};
        if (m_out < 0 || poll(&fd, 1, timeoutMs) <= 0)
            return false;
        char buffer[512];
        const ssize_t count = read(m_out, buffer, sizeof buffer);
        if (count <= 0)
            return false;
        m_pending.append(buffer, static_cast<std::size_t>(count));
        for (std::size_t end; (end = m_pending.find('\n')) != std::string::npos;) {
            m_lines << QString::fromLocal8Bit(m_pending.substr(0, end)).trimmed();
            m_pending.erase(0, end + 1);
        }
        return true;
    }

    std::string Path(const char* port) const
    {
        for (const QString& line : m_lines)
            if (line.startsWith(QLatin1String(port) + ' '))
                return line.section(' ', 1).toStdString();
        return {};
    }

    QTemporaryDir m_dir;
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_pending;
    QStringList m_lines;
};

} // namespace tallyhost::testing

#endif
