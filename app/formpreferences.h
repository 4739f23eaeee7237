#pragma once

#include "app/settings.h"

#include <QComboBox>
#include <QDialog>

#include <array>

class QCheckBox;
class QFormLayout;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;

// A pick-only list of the 16 standard colours, each shown with a swatch. The item data is the
// stored colour value (red in the low byte); a value that is not one of the 16 shows no
// selection.
class TColorComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit TColorComboBox(QWidget* parent = nullptr);
    void SetColorValue(std::uint32_t value);
    // True and the colour in `value` when one is selected.
    bool ColorValue(std::uint32_t& value) const;
};

// "System preferences": edits a TSettings record. OK copies the controls into the record;
// Cancel (also the Enter key) leaves it untouched. Nothing is stored on disk here: the main
// window writes the settings at shutdown.
class TFormPreferences : public QDialog
{
    Q_OBJECT

public:
    explicit TFormPreferences(TSettings& settings, QWidget* parent = nullptr);

    QTabWidget* PageControl = nullptr;
    QComboBox* ComboBoxProtocoll = nullptr;
    QComboBox* ComboBoxHostComm = nullptr;
    QComboBox* ComboBoxHostBaudRate = nullptr;
    QComboBox* ComboBoxDgiComm = nullptr;
    QSpinBox* CSpinEditDgiTimeOut = nullptr;
    TColorComboBox* ColorComboBoxHostColor = nullptr;
    TColorComboBox* ColorComboBoxFPColor = nullptr;
    TColorComboBox* ColorComboBoxDgiColor = nullptr;
    QCheckBox* CheckBoxLowLevelLog = nullptr;
    // The lines of bytes the links set aside, and whether the log file gets them too.
    TColorComboBox* ColorComboBoxBadFrameColor = nullptr;
    TColorComboBox* ColorComboBoxStaleFrameColor = nullptr;
    TColorComboBox* ColorComboBoxNoiseColor = nullptr;
    TColorComboBox* ColorComboBoxKeepAliveColor = nullptr;
    TColorComboBox* ColorComboBoxLateColor = nullptr;
    QCheckBox* CheckBoxLogEveryByte = nullptr;
    QSpinBox* SpinEditLogViewLines = nullptr; // lines the log view keeps
    QComboBox* ComboBoxLanguge = nullptr;
    QComboBox* ComboBoxInputDateFormat = nullptr;
    QComboBox* ComboBoxOutputDateFormat = nullptr;
    QCheckBox* CheckBoxReservedFields = nullptr;
    std::array<QComboBox*, 4> ComboBoxDevice{};
    QCheckBox* CheckBoxReopenLostPorts = nullptr;
    // What the operator confirms with OK on the Devices tab: a lost port whose name now leads
    // to another device is opened with it. Hidden while there is nothing to confirm.
    QLabel* LabelPortNotice = nullptr;
    void SetPortNotice(const QString& text);
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;

    // The serial devices present on this machine, offered in the device lists: stable names
    // (/dev/serial/by-id) first, then the plain devices.
    static QStringList SerialDevices();

public slots:
    void ButtonOkClick();
    void ButtonCancelClick();

private:
    void FormCreate();
    QWidget* CreateHostTab();
    QWidget* CreateFiscalTab();
    QWidget* CreateLogTab();
    void CreateWireLogRows(QFormLayout* form);
    QWidget* CreateOtherTab();
    QWidget* CreateDevicesTab();

    TSettings& m_settings;
};
