#include "app/formpreferences.h"
#include "app/logwindow.h"

#include "gui/qtcolor.h"
#include "links/devicetable.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

struct TNamedColor
{
    const char* name;
    std::uint32_t value; // red in the low byte
};

constexpr TNamedColor kStandardColors[] = {
    {"Black", 0x000000},  {"Maroon", 0x000080},  {"Green", 0x008000}, {"Olive", 0x008080},
    {"Navy", 0x800000},   {"Purple", 0x800080},  {"Teal", 0x808000},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},     {"Lime", 0x00FF00},  {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00},  {"White", 0xFFFFFF},
};

QComboBox* PickList(const char* name, const QString& hint, const QStringList& items)
{
    auto* box = new QComboBox;
    box->setObjectName(QLatin1String(name));
    box->setEditable(false);
    box->addItems(items);
    box->setToolTip(hint);
    box->setStatusTip(hint);
    return box;
}

// A stored index shows as the list's selection, or as no selection when it is out of range.
void SelectIndex(QComboBox* box, int index)
{
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

// A list without a selection keeps the value it was given: an out-of-range value is not
// turned into another one just because the operator pressed OK.
void StoreIndex(const QComboBox* box, std::uint8_t& field)
{
    if (box->currentIndex() >= 0)
        field = static_cast<std::uint8_t>(box->currentIndex());
}

void StoreColor(const TColorComboBox* box, std::uint32_t& field)
{
    std::uint32_t value = 0;
    if (box->ColorValue(value))
        field = value;
}

QLabel* Buddy(const QString& text, QWidget* control)
{
    auto* label = new QLabel(text);
    label->setBuddy(control);
    return label;
}

QStringList DateFormats()
{
    QStringList formats;
    for (const char* format : kDateFormatNames)
        formats << QLatin1String(format);
    return formats;
}

const QStringList kComms = {QStringLiteral("Com1"), QStringLiteral("Com2"), QStringLiteral("Com3"),
                            QStringLiteral("Com4")};

} // namespace

TColorComboBox::TColorComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(false);
    for (const TNamedColor& color : kStandardColors) {
        QPixmap swatch(16, 12);
        swatch.fill(ToQColor(color.value));
        QPainter painter(&swatch);
        painter.setPen(Qt::black);
        painter.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
        painter.end();
        addItem(QIcon(swatch), QLatin1String(color.name), QVariant::fromValue(color.value));
    }
}

void TColorComboBox::SetColorValue(std::uint32_t value)
{
    setCurrentIndex(findData(QVariant::fromValue(value)));
}

bool TColorComboBox::ColorValue(std::uint32_t& value) const
{
    if (currentIndex() < 0)
        return false;
    value = currentData().value<std::uint32_t>();
    return true;
}

TFormPreferences::TFormPreferences(TSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("FormPreferences"));
    setWindowTitle(QStringLiteral("System preferences"));
    setModal(true);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    // Every tab stays in sight; no scroll arrows in the tab row.
    PageControl->setUsesScrollButtons(false);
    const auto addTab = [this](QWidget* page, const QString& caption, const QString& hint) {
        const int index = PageControl->addTab(page, caption);
        PageControl->setTabToolTip(index, hint);
    };
    addTab(CreateHostTab(), QStringLiteral("&Host port"),
           QStringLiteral("Select Host related preferences"));
    addTab(CreateFiscalTab(), QStringLiteral("&Fiscal port"),
           QStringLiteral("Fiscal related preferences"));
    addTab(CreateLogTab(), QStringLiteral("&Log"), QStringLiteral("Log related preferences"));
    addTab(CreateOtherTab(), QStringLiteral("O&ther"),
           QStringLiteral("Miscellaneous related preferences"));
    addTab(CreateDevicesTab(), QStringLiteral("&Devices"),
           QStringLiteral("Serial devices that stand for COM1 to COM4"));

    ButtonOk = new QPushButton(QStringLiteral("&Ok"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonOk->setAutoDefault(false);
    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    // Enter cancels: a stray key press must not change the ports.
    ButtonCancel->setDefault(true);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormPreferences::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormPreferences::ButtonCancelClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl);
    layout->addLayout(buttons);
    setMinimumWidth(qMax(440, sizeHint().width()));

    FormCreate();
}

QWidget* TFormPreferences::CreateHostTab()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    ComboBoxProtocoll = PickList("ComboBoxProtocoll", QStringLiteral("Select protocol type"),
                                 {QStringLiteral("Compatible"), QStringLiteral("Extended")});
    ComboBoxHostComm = PickList("ComboBoxHostComm", QStringLiteral("Select Comm port"), kComms);
    ComboBoxHostBaudRate =
        PickList("ComboBoxHostBaudRate", QStringLiteral("Select baud rate port"),
                 {QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800"),
                  QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400")});
    form->addRow(Buddy(QStringLiteral("&Protocol"), ComboBoxProtocoll), ComboBoxProtocoll);
    form->addRow(Buddy(QStringLiteral("Co&mm port"), ComboBoxHostComm), ComboBoxHostComm);
    form->addRow(Buddy(QStringLiteral("&Baud rate"), ComboBoxHostBaudRate), ComboBoxHostBaudRate);
    return page;
}

QWidget* TFormPreferences::CreateFiscalTab()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    ComboBoxDgiComm = PickList("ComboBoxDgiComm", QStringLiteral("Select comm port"), kComms);
    CSpinEditDgiTimeOut = new QSpinBox;
    CSpinEditDgiTimeOut->setObjectName(QStringLiteral("CSpinEditDgiTimeOut"));
    CSpinEditDgiTimeOut->setRange(0, 10000000);
    CSpinEditDgiTimeOut->setSingleStep(100);
    CSpinEditDgiTimeOut->setGroupSeparatorShown(false);
    const QString hint =
        QStringLiteral("Enter communications time-out in ms. Zero indicate infinite.");
    CSpinEditDgiTimeOut->setToolTip(hint);
    CSpinEditDgiTimeOut->setStatusTip(hint);
    form->addRow(Buddy(QStringLiteral("Co&mm port"), ComboBoxDgiComm), ComboBoxDgiComm);
    form->addRow(Buddy(QStringLiteral("&Time out in ms"), CSpinEditDgiTimeOut),
                 CSpinEditDgiTimeOut);
    return page;
}

QWidget* TFormPreferences::CreateLogTab()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    const auto colorList = [](const char* name, const QString& hint) {
        auto* box = new TColorComboBox;
        box->setObjectName(QLatin1String(name));
        box->setToolTip(hint);
        box->setStatusTip(hint);
        return box;
    };
    ColorComboBoxHostColor =
        colorList("ColorComboBoxHostColor", QStringLiteral("Select Host frame color"));
    ColorComboBoxFPColor =
        colorList("ColorComboBoxFPColor", QStringLiteral("Select Fiscal printer frame color"));
    ColorComboBoxDgiColor =
        colorList("ColorComboBoxDgiColor", QStringLiteral("Select Fiscal frame color"));
    CheckBoxLowLevelLog = new QCheckBox(QStringLiteral("Lo&w level log"));
    CheckBoxLowLevelLog->setObjectName(QStringLiteral("CheckBoxLowLevelLog"));
    CheckBoxLowLevelLog->setToolTip(QStringLiteral("Enable low level communications log"));
    form->addRow(Buddy(QStringLiteral("&Host frame color"), ColorComboBoxHostColor),
                 ColorComboBoxHostColor);
    form->addRow(Buddy(QStringLiteral("&Fiscal printer frame color"), ColorComboBoxFPColor),
                 ColorComboBoxFPColor);
    form->addRow(Buddy(QStringLiteral("&Fiscal frame color"), ColorComboBoxDgiColor),
                 ColorComboBoxDgiColor);
    form->addRow(CheckBoxLowLevelLog);
    CreateWireLogRows(form);
    return page;
}

void TFormPreferences::CreateWireLogRows(QFormLayout* form)
{
    const auto colorRow = [form](const char* name, const QString& label, const QString& hint) {
        auto* box = new TColorComboBox;
        box->setObjectName(QLatin1String(name));
        box->setToolTip(hint);
        box->setStatusTip(hint);
        form->addRow(Buddy(label, box), box);
        return box;
    };
    ColorComboBoxBadFrameColor =
        colorRow("ColorComboBoxBadFrameColor", QStringLiteral("Bad chec&ksum frame color"),
                 QStringLiteral("Select the color of frames refused for their checksum"));
    ColorComboBoxStaleFrameColor =
        colorRow("ColorComboBoxStaleFrameColor", QStringLiteral("&Stale frame color"),
                 QStringLiteral("Select the color of frames that answer another command"));
    ColorComboBoxNoiseColor =
        colorRow("ColorComboBoxNoiseColor", QStringLiteral("&Noise color"),
                 QStringLiteral("Select the color of bytes that belong to no frame"));
    ColorComboBoxKeepAliveColor =
        colorRow("ColorComboBoxKeepAliveColor", QStringLiteral("Keep-&alive color"),
                 QStringLiteral("Select the color of DC2 bytes and intermediate frames"));
    ColorComboBoxLateColor =
        colorRow("ColorComboBoxLateColor", QStringLiteral("La&te bytes color"),
                 QStringLiteral("Select the color of bytes that come while no command runs"));
    CheckBoxLogEveryByte = new QCheckBox(QStringLiteral("Log every &byte"));
    CheckBoxLogEveryByte->setObjectName(QStringLiteral("CheckBoxLogEveryByte"));
    const QString hint =
        QStringLiteral("Also write refused, stale and intermediate frames, noise and late bytes "
                       "to the log file");
    CheckBoxLogEveryByte->setToolTip(hint);
    CheckBoxLogEveryByte->setStatusTip(hint);
    form->addRow(CheckBoxLogEveryByte);
    SpinEditLogViewLines = new QSpinBox;
    SpinEditLogViewLines->setObjectName(QStringLiteral("SpinEditLogViewLines"));
    SpinEditLogViewLines->setRange(TFormChildLogWindow::kMinViewLines, 10'000'000);
    SpinEditLogViewLines->setSingleStep(10'000);
    const QString linesHint =
        QStringLiteral("Lines the log view keeps; older ones stay in the log file only");
    SpinEditLogViewLines->setToolTip(linesHint);
    SpinEditLogViewLines->setStatusTip(linesHint);
    form->addRow(QStringLiteral("&View lines"), SpinEditLogViewLines);
}

QWidget* TFormPreferences::CreateOtherTab()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    ComboBoxLanguge = PickList("ComboBoxLanguge", QStringLiteral("Select application language"),
                               {QStringLiteral("English"), QStringLiteral("Spanish")});
    ComboBoxInputDateFormat =
        PickList("ComboBoxInputDateFormat", QStringLiteral("Select inputs fields date format"),
                 DateFormats());
    ComboBoxOutputDateFormat =
        PickList("ComboBoxOutputDateFormat", QStringLiteral("Select input fields date format"),
                 DateFormats());
    CheckBoxReservedFields = new QCheckBox(QStringLiteral("&Show reserved fields"));
    CheckBoxReservedFields->setObjectName(QStringLiteral("CheckBoxReservedFields"));
    CheckBoxReservedFields->setToolTip(QStringLiteral("Show reserved fields in extended protocol"));
    form->addRow(Buddy(QStringLiteral("&Language"), ComboBoxLanguge), ComboBoxLanguge);
    form->addRow(Buddy(QStringLiteral("&Input date format"), ComboBoxInputDateFormat),
                 ComboBoxInputDateFormat);
    form->addRow(Buddy(QStringLiteral("&Output date format"), ComboBoxOutputDateFormat),
                 ComboBoxOutputDateFormat);
    form->addRow(CheckBoxReservedFields);
    return page;
}

void TFormPreferences::SetPortNotice(const QString& text)
{
    LabelPortNotice->setText(text);
    LabelPortNotice->setVisible(!text.isEmpty());
}

QWidget* TFormPreferences::CreateDevicesTab()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    const std::vector<tallyhost::SerialPortInfo> devices = tallyhost::ListSerialPorts();
    QStringList overridden;
    for (int i = 0; i < int(ComboBoxDevice.size()); ++i) {
        auto* box = new QComboBox;
        box->setObjectName(QStringLiteral("ComboBoxDeviceCom%1").arg(i + 1));
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        // Each item shows the path and what is behind it; picking one puts the path alone in
        // the box, which is what is stored (a path typed by hand works the same way).
        for (const auto& device : devices) {
            const QString path = QString::fromStdString(device.Path);
            const QString description = QString::fromStdString(device.Description);
            box->addItem(description.isEmpty() ? path : path + QStringLiteral("  ") + description,
                         path);
            box->setItemData(box->count() - 1, description, Qt::ToolTipRole);
        }
        connect(box, &QComboBox::activated, box,
                [box](int index) { box->setEditText(box->itemData(index).toString()); });
        const QString hint = QStringLiteral("Device used as COM%1 (default %2)")
                                 .arg(i + 1)
                                 .arg(DefaultDevicePath(i));
        box->setToolTip(hint);
        box->setStatusTip(hint);
        ComboBoxDevice[i] = box;
        form->addRow(Buddy(QStringLiteral("COM&%1").arg(i + 1), box), box);
        const QByteArray variable = QStringLiteral("TALLYHOST_COM%1").arg(i + 1).toLatin1();
        if (!qgetenv(variable.constData()).isEmpty())
            overridden << QStringLiteral("COM%1 = %2")
                              .arg(i + 1)
                              .arg(QString::fromLocal8Bit(qgetenv(variable.constData())));
    }
    CheckBoxReopenLostPorts = new QCheckBox(QStringLiteral("&Reopen lost ports"));
    CheckBoxReopenLostPorts->setObjectName(QStringLiteral("CheckBoxReopenLostPorts"));
    const QString reopenHint =
        QStringLiteral("Try every second to open a port whose device went away, and reopen it "
                       "when the device is back");
    CheckBoxReopenLostPorts->setToolTip(reopenHint);
    CheckBoxReopenLostPorts->setStatusTip(reopenHint);
    form->addRow(CheckBoxReopenLostPorts);
    LabelPortNotice = new QLabel;
    LabelPortNotice->setObjectName(QStringLiteral("LabelPortNotice"));
    LabelPortNotice->setWordWrap(true);
    LabelPortNotice->hide();
    layout->addWidget(LabelPortNotice);
    if (!overridden.isEmpty()) {
        auto* note = new QLabel(QStringLiteral("For this run the environment overrides: %1")
                                    .arg(overridden.join(QStringLiteral(", "))));
        note->setObjectName(QStringLiteral("LabelDeviceOverride"));
        note->setWordWrap(true);
        layout->addWidget(note);
    }
    layout->addStretch();
    return page;
}

QStringList TFormPreferences::SerialDevices()
{
    QStringList stable;
    for (const auto& device : tallyhost::ListSerialPorts())
        stable << QString::fromStdString(device.Path);
    return stable;
}

void TFormPreferences::FormCreate()
{
    SelectIndex(ComboBoxProtocoll, m_settings.Protocol);
    SelectIndex(ComboBoxHostComm, m_settings.HComm);
    SelectIndex(ComboBoxHostBaudRate, m_settings.HBaud);
    SelectIndex(ComboBoxDgiComm, m_settings.DComm);
    CSpinEditDgiTimeOut->setValue(int(qMin<std::uint32_t>(m_settings.DTimeOut, 10000000)));
    ColorComboBoxHostColor->SetColorValue(m_settings.HostColor);
    ColorComboBoxFPColor->SetColorValue(m_settings.FPColor);
    ColorComboBoxDgiColor->SetColorValue(m_settings.DGIColor);
    CheckBoxLowLevelLog->setChecked(m_settings.LowLevel);
    ColorComboBoxBadFrameColor->SetColorValue(m_settings.BadFrameColor);
    ColorComboBoxStaleFrameColor->SetColorValue(m_settings.StaleFrameColor);
    ColorComboBoxNoiseColor->SetColorValue(m_settings.NoiseColor);
    ColorComboBoxKeepAliveColor->SetColorValue(m_settings.KeepAliveColor);
    ColorComboBoxLateColor->SetColorValue(m_settings.LateColor);
    CheckBoxLogEveryByte->setChecked(m_settings.LogEveryByte);
    SpinEditLogViewLines->setValue(int(qMin<std::uint32_t>(m_settings.LogViewLines, 10'000'000)));
    SelectIndex(ComboBoxLanguge, m_settings.Language);
    SelectIndex(ComboBoxInputDateFormat, m_settings.InputDateFormat);
    SelectIndex(ComboBoxOutputDateFormat, m_settings.OutputDateFormat);
    CheckBoxReservedFields->setChecked(m_settings.ExtReservedFields);
    for (int i = 0; i < int(ComboBoxDevice.size()); ++i)
        ComboBoxDevice[i]->setCurrentText(m_settings.Devices[i].isEmpty() ? DefaultDevicePath(i)
                                                                          : m_settings.Devices[i]);
    CheckBoxReopenLostPorts->setChecked(m_settings.ReopenLostPorts);
    PageControl->setCurrentIndex(0);
}

void TFormPreferences::ButtonOkClick()
{
    StoreColor(ColorComboBoxHostColor, m_settings.HostColor);
    StoreColor(ColorComboBoxFPColor, m_settings.FPColor);
    StoreColor(ColorComboBoxDgiColor, m_settings.DGIColor);
    m_settings.LowLevel = CheckBoxLowLevelLog->isChecked();
    StoreColor(ColorComboBoxBadFrameColor, m_settings.BadFrameColor);
    StoreColor(ColorComboBoxStaleFrameColor, m_settings.StaleFrameColor);
    StoreColor(ColorComboBoxNoiseColor, m_settings.NoiseColor);
    StoreColor(ColorComboBoxKeepAliveColor, m_settings.KeepAliveColor);
    StoreColor(ColorComboBoxLateColor, m_settings.LateColor);
    m_settings.LogEveryByte = CheckBoxLogEveryByte->isChecked();
    m_settings.LogViewLines = static_cast<std::uint32_t>(SpinEditLogViewLines->value());
    m_settings.ExtReservedFields = CheckBoxReservedFields->isChecked();
    StoreIndex(ComboBoxHostComm, m_settings.HComm);
    StoreIndex(ComboBoxHostBaudRate, m_settings.HBaud);
    StoreIndex(ComboBoxDgiComm, m_settings.DComm);
    m_settings.DTimeOut = static_cast<std::uint32_t>(CSpinEditDgiTimeOut->value());
    StoreIndex(ComboBoxLanguge, m_settings.Language);
    StoreIndex(ComboBoxProtocoll, m_settings.Protocol);
    StoreIndex(ComboBoxOutputDateFormat, m_settings.OutputDateFormat);
    StoreIndex(ComboBoxInputDateFormat, m_settings.InputDateFormat);
    // The default device is stored as "nothing chosen", so a changed default applies later.
    for (int i = 0; i < int(ComboBoxDevice.size()); ++i) {
        const QString path = ComboBoxDevice[i]->currentText().trimmed();
        m_settings.Devices[i] = path == DefaultDevicePath(i) ? QString() : path;
    }
    m_settings.ReopenLostPorts = CheckBoxReopenLostPorts->isChecked();
    accept();
}

void TFormPreferences::ButtonCancelClick()
{
    reject();
}
