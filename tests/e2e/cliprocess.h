#pragma once

// tallyhost-cli and tallyhost-sim as the end-to-end tests run them: child processes, with the
// demo files of examples/.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace e2e {

inline const QString Cli = QStringLiteral(TALLYHOST_CLI_PATH);
inline const QString Sim = QStringLiteral(TALLYHOST_SIM_PATH);
inline const QString DemoScenario = QStringLiteral(TALLYHOST_EXAMPLES_DIR "/demo-sim.ini");

struct CliRun
{
    int Exit = -1; // -1: it crashed or did not finish
    QString Out;
    QString Err;
};

// Runs tallyhost-cli to its end, allowing it `waitMs` milliseconds.
inline CliRun RunCli(const QStringList& args, int waitMs = 30000)
{
    QProcess p;
    p.start(Cli, args);
    EXPECT_TRUE(p.waitForFinished(waitMs)) << args.join(' ').toStdString();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace e2e
