#pragma once

#include "app/formmain.h"
#include "gui/messagebox.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

// A main window in a world of its own: HOME (and with it the test-mode data locations), the
// settings store and the directory New writes into all live in a temporary directory, and
// every modal box goes to a recorder.
class AppShellTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        m_oldHome = qgetenv("HOME");
        qputenv("HOME", m_home.path().toLocal8Bit());
        // COM1..COM4 lead to pseudo-terminals nobody answers on: the ports open as on a
        // machine with serial ports, and no real device is touched.
        for (int i = 0; i < 4; ++i) {
            m_masters[i] = ::posix_openpt(O_RDWR | O_NOCTTY);
            ASSERT_GE(m_masters[i], 0);
            ASSERT_EQ(::grantpt(m_masters[i]), 0);
            ASSERT_EQ(::unlockpt(m_masters[i]), 0);
            qputenv(ComVariable(i).constData(), QByteArray(::ptsname(m_masters[i])));
        }
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, ConfigDir());
        QDir().mkpath(Path(QStringLiteral("files")));
        m_oldCurrent = QDir::currentPath();
        QDir::setCurrent(Path(QStringLiteral("files")));
    }

    void TearDown() override
    {
        m_window.reset();
        for (const QString& dir : m_lockedDirs)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), dir});
        for (const QString& dir : m_lockedDirs)
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir::setCurrent(m_oldCurrent);
        qputenv("HOME", m_oldHome);
        // Back to the usual store for the tests that run after this one in the same process.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
        for (int i = 0; i < 4; ++i) {
            qunsetenv(ComVariable(i).constData());
            if (m_masters[i] >= 0)
                ::close(m_masters[i]);
        }
    }

    static QByteArray ComVariable(int index)
    {
        return QStringLiteral("TALLYHOST_COM%1").arg(index + 1).toLatin1();
    }

    QString Path(const QString& relative) const { return m_home.filePath(relative); }
    QString ConfigDir() const { return Path(QStringLiteral("config")); }

    // Writes a small terminal file and returns its full path.
    QString WriteTerminalFile(const QString& relative, const QByteArray& content = {})
    {
        const QString path = Path(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content.isEmpty() ? QByteArray("; demo\r\n[General]\r\nProtocol=0\r\n"
                                                  "[Groups]\r\nGroup1=Tests\r\n")
                                     : content);
        return path;
    }

    static QByteArray ReadAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The stored settings, as the next start will read them.
    std::unique_ptr<QSettings> Store() const
    {
        return std::unique_ptr<QSettings>(NewUserSettingsStore());
    }

    // Starts the program: the window is created (start-up) and shown (opens the file).
    TFormMain& Start(const QStringList& extraArguments = {})
    {
        m_window =
            std::make_unique<TFormMain>(QStringList{QStringLiteral("tallyhost")} + extraArguments);
        m_window->NewFileDirectory = Path(QStringLiteral("program"));
        QDir().mkpath(m_window->NewFileDirectory);
        m_window->show();
        return *m_window;
    }

    // Ends the program as the close box does.
    void Exit()
    {
        ASSERT_TRUE(m_window);
        m_window->close();
        m_window.reset();
    }

    // Makes `dir` unwritable, also for root (immutable attribute). False when the system
    // offers no way to do that.
    bool LockDirectory(const QString& dir)
    {
        m_lockedDirs << dir;
        if (::geteuid() == 0)
            return QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), dir}) == 0;
        return QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
    }

    QTemporaryDir m_home;
    int m_masters[4] = {-1, -1, -1, -1};
    QByteArray m_oldHome;
    QString m_oldCurrent;
    QStringList m_lockedDirs;
    TRecordedDialogs m_dialogs;
    std::unique_ptr<TFormMain> m_window;
};
