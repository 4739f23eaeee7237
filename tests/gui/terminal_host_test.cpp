// The terminal window with a host of its own and no main window: it sends through the host's
// link, reads the protocol, date formats and tree width from the host, and writes panel 1 and
// the tree width back to it.

#include "sending_fixture.h"
#include "terminal_testhost.h"

#include <QPushButton>
#include <QSplitter>

using namespace sendingtest;

TEST(TerminalHostTest, WindowWorksWithAHostOfItsOwn)
{
    ASSERT_EQ(FormMain, nullptr);
    Scenario scenario = QuickScenario();
    scenario.HostRules.push_back(HostRule("S", 0x0000, 0x0000, 0, {"12345", "311299"}));
    tallyhost::sim::Simulator sim(scenario);
    std::string error;
    ASSERT_TRUE(sim.Open(error)) << error;
    std::thread simThread([&sim] { sim.Run(); });
    struct StopSim
    {
        tallyhost::sim::Simulator& sim;
        std::thread& thread;
        ~StopSim()
        {
            sim.RequestStop();
            thread.join();
        }
    } stopSim{sim, simThread};

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("host.thf"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        // The file says compatible protocol; what counts is the host's setting.
        f.write(DemoFile(0));
    }

    tallyhost::TFPHostControl link;
    link.SetDevicePath(sim.HostPath());
    ASSERT_TRUE(link.OpenPort());
    link.SetProtocolType(tallyhost::protocol_Extended);

    TTestTerminalHost host;
    host.Host = &link;
    host.HostOpen = true;
    host.ProtocolType = 1;
    host.OutputDates = 1; // ddmmyyyy
    host.Width = 150;

    auto window = std::make_unique<TFormChildTerminalWindow>(path, &host);
    host.RouteHostLinkTo(window.get());
    window->resize(800, 500);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->Splitter->sizes().value(0), 150);

    QTreeWidgetItem* sale = window->TreeViewCommand->topLevelItem(0)->child(0)->child(0);
    ASSERT_EQ(sale->text(0), "Sale");
    window->TreeViewCommand->setCurrentItem(sale);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->CurrentCommand == "GSale"; }, 2000));

    QTest::mouseClick(window->ButtonSend, Qt::LeftButton);
    EXPECT_EQ(host.Panels[1], "Sending ...");
    ASSERT_TRUE(QTest::qWaitFor([&] { return host.Panels[1] == "Ready"; }, 8000))
        << host.Panels[1].toStdString();

    // Extended layout (return code and reserved entries first), the date in the host's format.
    QStringList labels;
    QString when;
    for (std::size_t i = 0; i < window->AnswerLabels.size(); ++i) {
        labels << window->AnswerLabels[i]->text();
        if (labels.back() == "When")
            when = window->AnswerEdits[i]->text();
    }
    EXPECT_TRUE(labels.contains("Return code")) << labels.join(',').toStdString();
    EXPECT_EQ(when, "31/12/1999");
    EXPECT_FALSE(window->AnswerLabels.at(0)->isVisibleTo(window.get()))
        << "reserved entries hidden";

    // The splitter moved by the operator: the new width goes back to the host.
    window->Splitter->setSizes({100, 700});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->TreeViewCommand->width() == 100; }));
    window.reset();
    EXPECT_EQ(host.Width, 100u);
}
