// Records and return codes edited through the Options commands decode the next real answer:
// the printer simulator answers on a pseudo-terminal, the terminal window shows it.

#include "editors/fieldtypecombobox.h"
#include "editors/formeditfixanswer.h"
#include "editors/formeditreturncode.h"

#include "sending_fixture.h"

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QToolBar>

namespace sendingtest {
namespace {

TEST_F(SendingTest, EditedRecordsAndReturnCodesDecodeTheNextAnswer)
{
    Scenario s = QuickScenario();
    s.HostRules.push_back(HostRule("S", 0x0600, 0x0001, 77, {"12345", "311299"}));
    StartSimulator(s);
    OpenFile(DemoFile(1));

    // Fixed answers: panel 2 gets a record for bits 0600 (the fiscal list already has four).
    m_dialogs.OnDialog = [this](QDialog& d) {
        if (auto* list = qobject_cast<TFormEditFixAnswer*>(&d)) {
            QTest::mouseClick(list->ButtonAdd, Qt::LeftButton);
            QTest::mouseClick(list->ButtonClose, Qt::LeftButton);
            return list->result();
        }
        auto* r = qobject_cast<TFormEditFixAnswerRecord*>(&d);
        EXPECT_NE(r, nullptr);
        if (!r)
            return int(QDialog::Rejected);
        r->FieldTypeComboBoxPanelNumber->setCurrentIndex(1);
        QTest::keyClicks(r->FieldTypeComboBoxMask, "600");
        QTest::keyClicks(r->FieldTypeComboBoxResult, "600");
        QTest::keyClicks(r->FieldTypeComboBoxText, "Fiscalized");
        r->ComboColorColor->setCurrentIndex(r->ComboColorColor->findText("clTeal"));
        QTest::mouseClick(r->ButtonOk, Qt::LeftButton);
        return r->result();
    };
    QTest::mouseClick(m_main->ToolBar->widgetForAction(m_main->ActionEditFixAnswer),
                      Qt::LeftButton);

    // Return codes: 77 gets a description.
    m_dialogs.OnDialog = [this](QDialog& d) {
        if (auto* list = qobject_cast<TFormEditReturnCode*>(&d)) {
            QTest::mouseClick(list->ButtonAdd, Qt::LeftButton);
            QTest::mouseClick(list->ButtonClose, Qt::LeftButton);
            return list->result();
        }
        auto* r = qobject_cast<TFormRcRecord*>(&d);
        EXPECT_NE(r, nullptr);
        if (!r)
            return int(QDialog::Rejected);
        QTest::keyClicks(r->FieldTypeComboBoxRcNumber, "77");
        QTest::keyClicks(r->EditText, "Drawer jammed");
        QTest::mouseClick(r->ButtonOk, Qt::LeftButton);
        return r->result();
    };
    QTest::mouseClick(m_main->ToolBar->widgetForAction(m_main->ActionEditRC), Qt::LeftButton);
    EXPECT_EQ(m_dialogs.DialogCount, 4);

    Select("G", "Sale");
    QTest::mouseClick(m_window->ButtonSend, Qt::LeftButton);
    ASSERT_TRUE(WaitForStatus("Ready"));
    ASSERT_GE(m_window->FiscalPanels.size(), 2u);
    EXPECT_EQ(m_window->FiscalPanels[1]->text(), "Fiscalized"); // replaces "Always"
    EXPECT_EQ(m_window->FiscalPanels[1]->palette().color(QPalette::WindowText),
              QColor(0, 128, 128));
    auto [rcLabel, rcEdit] = Entry("Return code");
    ASSERT_TRUE(rcEdit);
    EXPECT_EQ(rcEdit->toolTip(), "(004D) Drawer jammed");
}

} // namespace
} // namespace sendingtest
