#pragma once

// Fixture of the sending and answer tests: the printer simulator in-process on two
// pseudo-terminals, the main window with its links opened on them (through the device table's
// environment override), and a terminal file opened the way the program opens one.

#include "app/formmain.h"
#include "core/fieldconvert.h"
#include "gui/messagebox.h"
#include "gui/notifications.h"
#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"
#include "links/wireevent.h"
#include "terminal/commandtree.h"
#include "terminal/terminalwindow.h"
#include "tools/sim/simulator.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItem>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace sendingtest {

using tallyhost::sim::Millis;
using tallyhost::sim::Scenario;

// A host rule answering at once (the simulator's default waits 30 ms).
inline tallyhost::sim::HostRule HostRule(std::string match, std::uint16_t fiscal,
                                         std::uint16_t printer, std::uint16_t returnCode,
                                         std::vector<std::string> fields, int delayMs = 0)
{
    tallyhost::sim::HostRule rule;
    rule.Name = "Host." + match;
    rule.Match = std::move(match);
    rule.FiscalStatus = fiscal;
    rule.PrinterStatus = printer;
    rule.ReturnCode = returnCode;
    rule.Fields = std::move(fields);
    rule.Delay = Millis(delayMs);
    return rule;
}

inline Scenario QuickScenario()
{
    Scenario s = tallyhost::sim::BuiltInScenario();
    s.HostDefault.Delay = Millis(0);
    s.FiscalDefault.Delay = Millis(0);
    return s;
}

class SendingTest : public ::testing::Test
{
protected:
    // The program's settings and data locations go to a temporary HOME.
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        m_oldHome = qgetenv("HOME");
        qputenv("HOME", m_home.path().toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           m_home.filePath(QStringLiteral("config")));
    }

    void TearDown() override
    {
        delete m_main; // closes the terminal and log windows and both ports
        m_main = nullptr;
        if (m_sim) {
            m_sim->RequestStop();
            m_simThread.join();
        }
        qunsetenv("TALLYHOST_COM1");
        qunsetenv("TALLYHOST_COM2");
        qputenv("HOME", m_oldHome);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }

    void StartSimulator(Scenario scenario)
    {
        m_sim = std::make_unique<tallyhost::sim::Simulator>(std::move(scenario));
        std::string error;
        ASSERT_TRUE(m_sim->Open(error)) << error;
        m_simThread = std::thread([this] { m_sim->Run(); });
        qputenv("TALLYHOST_COM1", QByteArray::fromStdString(m_sim->HostPath()));
        qputenv("TALLYHOST_COM2", QByteArray::fromStdString(m_sim->FiscalPath()));
    }

    // The main window with the host port open on the simulator, then the file opened.
    void OpenFile(const QByteArray& thf, bool fiscalPort = false)
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath(m_fileName);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(m_path).absolutePath()));
        QFile f(m_path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(thf);
        f.close();

        m_main = new TFormMain(QStringList{QStringLiteral("tallyhost")});
        ASSERT_TRUE(m_main->VardoFPHostControl1);
        if (m_main->VardoFPHostControl1->State() == tallyhost::EFP_S_Close) {
            m_main->VardoFPHostControl1->SetDevicePath(m_sim->HostPath());
            ASSERT_TRUE(m_main->VardoFPHostControl1->OpenPort());
        }
        m_main->Settings.HostPortOpen = true;
        if (fiscalPort) {
            tallyhost::TFPAuxControl* aux = m_main->FPAuxControl1;
            if (aux->State() != tallyhost::FEFP_S_Close)
                aux->ClosePort();
            aux->SetDevicePath(m_sim->FiscalPath());
            aux->SetTimeOut(1000);
            ASSERT_TRUE(aux->OpenPort());
            m_main->Settings.FiscalPortOpen = true;
        }
        // Shown with a remembered file, the main window opens it, as at start-up.
        m_main->Settings.File = m_path;
        m_main->resize(1000, 700);
        m_main->show();
        ASSERT_TRUE(QTest::qWaitFor([] { return FormChildTerminalWindow != nullptr; }, 2000));
        m_window = FormChildTerminalWindow;
        m_dialogs.Boxes.clear();

        // Count the command frames the host link writes (its ACK bytes are one byte long).
        QObject::connect(m_main->VardoFPHostControl1, &tallyhost::TFPHostControl::OnWrite, m_main,
                         [this](tallyhost::TFPHostControl*, const QByteArray& v) {
                             if (v.size() > 1)
                                 ++m_framesWritten;
                         });
        // And what comes from the printer while the host link waits for nothing (the answer
        // to a cancelled command).
        QObject::connect(m_main->VardoFPHostControl1, &tallyhost::TFPHostControl::OnWireEvent,
                         m_main, [this](tallyhost::TFPHostControl*, int kind, const QByteArray&) {
                             if (kind == static_cast<int>(tallyhost::TWireKind::Late))
                                 ++m_lateReports;
                         });
    }

    void Select(const QString& group, const QString& command)
    {
        QTreeWidgetItem* root = m_window->TreeViewCommand->topLevelItem(0);
        QTreeWidgetItem* node = nullptr;
        for (int g = 0; root && g < root->childCount(); ++g) {
            if (root->child(g)->text(0) != group)
                continue;
            for (int c = 0; c < root->child(g)->childCount(); ++c) {
                if (root->child(g)->child(c)->text(0) == command)
                    node = root->child(g)->child(c);
            }
        }
        ASSERT_TRUE(node) << group.toStdString() << "/" << command.toStdString();
        m_window->TreeViewCommand->setCurrentItem(node);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return m_window->CurrentCommand == group + command; }, 2000));
    }

    QString Status() const { return m_main->PanelText(1); }

    bool WaitForStatus(const QString& text, int ms = 8000)
    {
        return QTest::qWaitFor([&] { return Status() == text; }, ms);
    }

    // Answers the repeat count box with `text`.
    void AnswerRepeatCount(const QString& text)
    {
        m_dialogs.OnDialog = [text](QDialog& d) {
            auto* input = qobject_cast<QInputDialog*>(&d);
            if (!input)
                return int(QDialog::Rejected);
            input->setTextValue(text);
            return int(QDialog::Accepted);
        };
    }

    // The label and edit of the answer entry labelled `label`, or nulls.
    std::pair<QLabel*, QLineEdit*> Entry(const QString& label) const
    {
        for (std::size_t i = 0; i < m_window->AnswerLabels.size(); ++i) {
            if (m_window->AnswerLabels[i]->text() == label)
                return {m_window->AnswerLabels[i], m_window->AnswerEdits[i]};
        }
        return {nullptr, nullptr};
    }

    QTemporaryDir m_home;
    QByteArray m_oldHome;
    QTemporaryDir m_dir;
    // The terminal file's name inside m_dir (it may name a folder too).
    QString m_fileName = QStringLiteral("sending.thf");
    QString m_path;
    TRecordedDialogs m_dialogs;
    std::unique_ptr<tallyhost::sim::Simulator> m_sim;
    std::thread m_simThread;
    TFormMain* m_main = nullptr;
    TFormChildTerminalWindow* m_window = nullptr;
    int m_framesWritten = 0;
    int m_lateReports = 0;
};

// A terminal file: extended protocol, status records for both words, two return codes, and
// the commands the tests send.
inline QByteArray DemoFile(int protocol = 1)
{
    QByteArray f;
    f += "[General]\r\nProtocol=" + QByteArray::number(protocol) +
         "\r\nInputDateFormat=0\r\nOutputDateFormat=7\r\n";
    f += "[Groups]\r\nG=\r\nF=\r\n";
    f += "[G]\r\nSale=\r\nCount=\r\nHex=\r\nBare=\r\n";
    f += "[F]\r\nJoin=\r\nEnq=\r\nSlow=\r\n";
    // Fiscal word: panel 1 is decided by the last matching record; panel 2 always matches;
    // panel 3's record has a result bit outside its mask and never matches.
    f += "[FiscalAnswer]\r\n"
         "Record1=1,1,0200,0200,\"A\",clRed\r\n"
         "Record2=2,1,0400,0400,\"B\",clBlue\r\n"
         "Record3=3,2,0000,0000,\"Always\",clGreen\r\n"
         "Record4=4,3,0001,0003,\"Never\",clRed\r\n";
    f += "[PrinterAnswer]\r\nRecord1=1,1,0001,0001,\"Paper low\",clMaroon\r\n";
    f += "[Return codes]\r\nRC0=Done\r\nRC2049=Bad date\r\n";
    // Sale: code S and an amount; the answer names a total and a date.
    f += "[GSale]\r\nCommands=0,\"&Code\",\"\",0,\"S\",0,0,1,1,0,0,0,"
         "0,\"&Amount\",\"\",2,\"12.5\",0,10,1,0,10,2,0\r\n"
         "Answers=\"Total\",2,2,\"When\",8,0\r\n";
    // Count: code C and a text that autoincrements when repeated.
    f += "[GCount]\r\nCommands=0,\"&Code\",\"\",0,\"C\",0,0,1,1,0,0,0,"
         "0,\"&Text\",\"\",0,\"T\",0,20,0,0,0,0,1\r\nAnswers=\"Echo\",0,0\r\n";
    // Hex: code H and a hexadecimal value.
    f += "[GHex]\r\nCommands=0,\"&Code\",\"\",0,\"H\",0,0,1,1,0,0,0,"
         "0,\"&Value\",\"\",5,\"1A2\",0,20,0,0,0,0,0\r\nAnswers=\r\n";
    f += "[GBare]\r\nCommands=0\r\nAnswers=\r\n";
    // Join: a fiscal command whose two values go out as one text.
    f += "[FJoin]\r\nCommands=1,\"&One\",\"\",0,\"AB\",0,0,0,0,0,0,0,"
         "1,\"&Two\",\"\",0,\"x'31'\",0,0,0,0,0,0,0\r\nAnswers=\r\n";
    // Enq: the printer's "are you there" byte; Slow: a fiscal command answered late.
    f += "[FEnq]\r\nCommands=1,\"&Code\",\"\",0,\"x'05'\",0,0,0,0,0,0,0\r\n";
    f += "[FSlow]\r\nCommands=1,\"&Code\",\"\",0,\"SLOW\",0,0,0,0,0,0,0\r\n";
    return f;
}

} // namespace sendingtest
