#include "app/formpreferences.h"
#include "app_fixture.h"
#include "core/profile.h"

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

namespace {

bool SameStoredFields(const TSettings& a, const TSettings& b)
{
    return a.File == b.File && a.TVWidth == b.TVWidth && a.Language == b.Language &&
           a.OutputDateFormat == b.OutputDateFormat && a.InputDateFormat == b.InputDateFormat &&
           a.ExtReservedFields == b.ExtReservedFields && a.HostColor == b.HostColor &&
           a.FPColor == b.FPColor && a.DGIColor == b.DGIColor && a.LowLevel == b.LowLevel &&
           a.Protocol == b.Protocol && a.HBaud == b.HBaud && a.HComm == b.HComm &&
           a.DGIEnabled == b.DGIEnabled && a.DComm == b.DComm && a.DTimeOut == b.DTimeOut &&
           a.Devices == b.Devices;
}

} // namespace

TEST(Preferences, ShowsTheSettingsWithTheHostTabInFront)
{
    TSettings settings;
    settings.Protocol = 1;
    settings.HComm = 3;
    settings.HBaud = 5;
    settings.DComm = 1;
    settings.DTimeOut = 2500;
    settings.FPColor = 0x0000FF; // Red: red is the low byte
    settings.LowLevel = true;
    settings.Language = 1;
    settings.InputDateFormat = 7;
    settings.OutputDateFormat = 2;
    TFormPreferences dialog(settings);

    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("System preferences"));
    EXPECT_EQ(dialog.PageControl->currentIndex(), 0);
    EXPECT_EQ(dialog.PageControl->tabText(0), QStringLiteral("&Host port"));
    EXPECT_EQ(dialog.PageControl->count(), 5);
    EXPECT_EQ(dialog.ComboBoxProtocoll->currentText(), QStringLiteral("Extended"));
    EXPECT_EQ(dialog.ComboBoxHostComm->currentText(), QStringLiteral("Com4"));
    EXPECT_EQ(dialog.ComboBoxHostBaudRate->currentText(), QStringLiteral("38400"));
    EXPECT_EQ(dialog.ComboBoxDgiComm->currentText(), QStringLiteral("Com2"));
    EXPECT_EQ(dialog.CSpinEditDgiTimeOut->value(), 2500);
    EXPECT_EQ(dialog.CSpinEditDgiTimeOut->singleStep(), 100);
    EXPECT_EQ(dialog.CSpinEditDgiTimeOut->maximum(), 10000000);
    EXPECT_EQ(dialog.ColorComboBoxFPColor->currentText(), QStringLiteral("Red"));
    EXPECT_EQ(dialog.ColorComboBoxHostColor->currentText(), QStringLiteral("Black"));
    EXPECT_TRUE(dialog.CheckBoxLowLevelLog->isChecked());
    EXPECT_EQ(dialog.ComboBoxLanguge->currentText(), QStringLiteral("Spanish"));
    EXPECT_EQ(dialog.ComboBoxInputDateFormat->currentText(), QStringLiteral("yyyymmdd"));
    EXPECT_EQ(dialog.ComboBoxOutputDateFormat->currentText(), QStringLiteral("mmddyy"));
    EXPECT_TRUE(dialog.ButtonCancel->isDefault()) << "Enter cancels";
    EXPECT_FALSE(dialog.ButtonOk->isDefault());
}

TEST(Preferences, OutOfRangeValuesShowNoSelectionAndSurviveOk)
{
    TSettings settings;
    settings.HBaud = 9;
    settings.HComm = 200;
    settings.InputDateFormat = 8;
    settings.HostColor = 0x123456; // not one of the 16
    TFormPreferences dialog(settings);
    EXPECT_EQ(dialog.ComboBoxHostBaudRate->currentIndex(), -1);
    EXPECT_EQ(dialog.ComboBoxHostComm->currentIndex(), -1);
    EXPECT_EQ(dialog.ComboBoxInputDateFormat->currentIndex(), -1);
    EXPECT_EQ(dialog.ColorComboBoxHostColor->currentIndex(), -1);

    // OK without touching those lists keeps their values instead of storing "no selection".
    dialog.ComboBoxDgiComm->setCurrentIndex(3);
    dialog.ButtonOkClick();
    EXPECT_EQ(settings.HBaud, 9);
    EXPECT_EQ(settings.HComm, 200);
    EXPECT_EQ(settings.InputDateFormat, 8);
    EXPECT_EQ(settings.HostColor, 0x123456u);
    EXPECT_EQ(settings.DComm, 3);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(AppShellTest, PreferencesCancelChangesNothingButRefreshesThePanels)
{
    TFormMain& w = Start();
    const TSettings before = w.Settings;
    // A change made elsewhere that the panels do not show yet.
    w.Settings.HComm = 2;
    const TSettings expected = w.Settings;
    m_dialogs.OnDialog = [](QDialog& dialog) {
        auto& preferences = dynamic_cast<TFormPreferences&>(dialog);
        preferences.ComboBoxHostBaudRate->setCurrentIndex(0);
        preferences.ComboBoxProtocoll->setCurrentIndex(1);
        preferences.CSpinEditDgiTimeOut->setValue(0);
        preferences.ButtonCancelClick();
        return preferences.result();
    };
    w.MenuItemGeneral->trigger();
    EXPECT_EQ(m_dialogs.DialogCount, 1);
    EXPECT_TRUE(SameStoredFields(w.Settings, expected));
    EXPECT_EQ(w.PanelText(2), QStringLiteral("COM3 9600,N,8,1"));
    Q_UNUSED(before);
}

TEST_F(AppShellTest, PreferencesOkStoresEveryControl)
{
    const QString file = WriteTerminalFile(QStringLiteral("p.thf"));
    Store()->setValue(QStringLiteral("File"), file);
    TFormMain& w = Start();
    ASSERT_FALSE(w.ActionEditRC->isEnabled());
    m_dialogs.OnDialog = [](QDialog& dialog) {
        auto& p = dynamic_cast<TFormPreferences&>(dialog);
        p.ColorComboBoxHostColor->setCurrentIndex(9); // Red
        p.ColorComboBoxFPColor->setCurrentIndex(12);  // Blue
        p.ColorComboBoxDgiColor->setCurrentIndex(2);  // Green
        p.CheckBoxLowLevelLog->setChecked(true);
        p.CheckBoxReservedFields->setChecked(true);
        p.ComboBoxHostComm->setCurrentIndex(1);
        p.ComboBoxHostBaudRate->setCurrentIndex(4);
        p.ComboBoxDgiComm->setCurrentIndex(2);
        p.CSpinEditDgiTimeOut->setValue(0);
        p.ComboBoxLanguge->setCurrentIndex(1);
        p.ComboBoxProtocoll->setCurrentIndex(1);
        p.ComboBoxOutputDateFormat->setCurrentIndex(6);
        p.ComboBoxInputDateFormat->setCurrentIndex(5);
        p.ComboBoxDevice[1]->setCurrentText(QStringLiteral("/dev/ttyUSB3"));
        p.ButtonOkClick();
        return p.result();
    };
    w.MenuItemGeneral->trigger();
    const TSettings& s = w.Settings;
    EXPECT_EQ(s.HostColor, 0x0000FFu);
    EXPECT_EQ(s.FPColor, 0xFF0000u);
    EXPECT_EQ(s.DGIColor, 0x008000u);
    EXPECT_TRUE(s.LowLevel);
    EXPECT_TRUE(s.ExtReservedFields);
    EXPECT_EQ(s.HComm, 1);
    EXPECT_EQ(s.HBaud, 4);
    EXPECT_EQ(s.DComm, 2);
    EXPECT_EQ(s.DTimeOut, 0u);
    EXPECT_EQ(s.Language, 1);
    EXPECT_EQ(s.Protocol, 1);
    EXPECT_EQ(s.OutputDateFormat, 6);
    EXPECT_EQ(s.InputDateFormat, 5);
    EXPECT_EQ(s.Devices[1], QStringLiteral("/dev/ttyUSB3"));
    EXPECT_TRUE(s.Devices[0].isEmpty()) << "the default device is not pinned";
    EXPECT_EQ(w.PanelText(2), QStringLiteral("COM2 19200,N,8,1"));
    EXPECT_TRUE(w.ActionEditRC->isEnabled()) << "extended protocol with a file open";

    // Nothing was written to the terminal file yet; Close writes the new protocol.
    EXPECT_EQ(tallyhost::ProfileReadString(file.toStdString(), "General", "Protocol", ""), "0");
    w.ActionClose->trigger();
    EXPECT_EQ(tallyhost::ProfileReadString(file.toStdString(), "General", "Protocol", ""), "1");
}

TEST_F(AppShellTest, EnvironmentOverridesADeviceForOneRunOnly)
{
    TFormMain& w = Start();
    w.Settings.Devices[0] = QStringLiteral("/dev/ttyUSB0");
    qputenv("TALLYHOST_COM1", "/tmp/sim/host");
    qunsetenv("TALLYHOST_COM2");
    EXPECT_EQ(EffectiveDevicePath(w.Settings, 0), QStringLiteral("/tmp/sim/host"));
    EXPECT_EQ(EffectiveDevicePath(w.Settings, 1), QStringLiteral("/dev/ttyS1"));
    Exit();
    qunsetenv("TALLYHOST_COM1");
    EXPECT_EQ(EffectiveDevicePath(TSettings{}, 0), QStringLiteral("/dev/ttyS0"));
    // The override was never stored.
    EXPECT_EQ(Store()->value(QStringLiteral("Devices/COM1")).toString(),
              QStringLiteral("/dev/ttyUSB0"));
}
