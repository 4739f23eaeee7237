#pragma once

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

class QSettings;

// Where a child window of the main window's area stands: its geometry when neither maximized
// nor minimized, and whether it is maximized or minimized. An empty geometry: none remembered.
struct TChildPlacement
{
    QRect Geometry;
    bool Maximized = false;
    bool Minimized = false;
};

// The arrangement the operator left behind, brought back at the next start (group "Layout"):
// the main window, the terminal and log windows, and the groups expanded in the command tree.
struct TWindowLayout
{
    QByteArray MainWindow; // QWidget::saveGeometry of the main window
    TChildPlacement Terminal;
    TChildPlacement Log;
    QStringList ExpandedGroups;
    QByteArray RunScript;  // QWidget::saveGeometry of the Run script window
    QString RunScriptFile; // the script it showed last
};

// Every setting of the application in one record, owned by the main window (FormMain->Settings)
// and read by every other window. Most fields are stored per user (QSettings, user scope, under
// the executable's base name); Protocol, OutputDateFormat and InputDateFormat belong to the open
// terminal file and live in its "General" section. HostPortOpen and FiscalPortOpen are run-time
// flags and are never stored.
//
// The record starts zero-filled, as the main window creates it; the stored defaults (HBaud 3,
// DComm 1, DTimeOut 1000) come from LoadStoredSettings() on the first start.
struct TSettings
{
    QString File;                      // full path of the current (or last closed) terminal file
    std::uint32_t TVWidth = 0;         // width of the terminal window's command tree, pixels
    std::uint8_t Language = 0;         // 0 English, 1 Spanish (remembered only)
    std::uint8_t OutputDateFormat = 0; // date format 0..7 of dates shown in answers (file)
    std::uint8_t InputDateFormat = 0;  // date format 0..7 of dates typed into fields (file)
    bool ExtReservedFields = false;    // show reserved fields of extended-protocol answers
    std::uint32_t HostColor = 0;       // colour of "HOST --> " log lines (red in the low byte)
    std::uint32_t FPColor = 0;         // colour of "FP   --> " log lines
    std::uint32_t DGIColor = 0;        // colour of "FISCAL-> " log lines
    bool LowLevel = false;             // show acknowledgements and intermediate answers in the log
    bool HostPortOpen = false;         // run time: the last host port open succeeded
    std::uint8_t Protocol = 0;         // 0 compatible, 1 extended (file)
    std::uint8_t HBaud = 0;            // host speed index 0..5 = 1200..38400 bit/s
    std::uint8_t HComm = 0;            // host port index 0..3 = COM1..COM4
    bool DGIEnabled = false;           // the operator wants the fiscal port open
    bool FiscalPortOpen = false;       // run time: the fiscal port is open
    std::uint8_t DComm = 0;            // fiscal port index 0..3 = COM1..COM4
    std::uint32_t DTimeOut = 0;        // fiscal time-out in ms, 0 = none

    // Lines of the bytes the links set aside, each kind in a colour of its own; written to the
    // log file only with LogEveryByte, so the default file keeps its lines.
    std::uint32_t BadFrameColor = 0x0000FF;   // Red: frames refused for their checksum
    std::uint32_t StaleFrameColor = 0x008080; // Olive: frames of another command
    std::uint32_t NoiseColor = 0x800080;      // Purple: bytes that belong to no frame
    std::uint32_t KeepAliveColor = 0x808080;  // Gray: DC2 and intermediate frames
    std::uint32_t LateColor = 0x000080;       // Maroon: bytes while no command is in progress
    bool LogEveryByte = false;
    // Columns of the log view (its popup menu): handling time, bytes as text, response times.
    // All off by default, so the view shows its lines as it always did until asked.
    bool LogTimeColumn = false;
    bool LogTextColumn = false;
    bool LogResponseTime = false;
    // Lines the log view keeps; the log file keeps every line.
    std::uint32_t LogViewLines = 1000000;

    // Device paths the operator chose for COM1..COM4 (group "Devices", keys "COM1".."COM4");
    // empty means the default /dev/ttyS0../dev/ttyS3. See EffectiveDevicePath().
    std::array<QString, 4> Devices;
    // Key "ReopenLostPorts" of the "Devices" group: a port whose device vanished (a USB
    // adapter pulled out) is tried again every second and reopened when it is back.
    bool ReopenLostPorts = true;

    TWindowLayout Layout;
};

// Defaults written on the first start.
constexpr std::uint32_t kDefaultTVWidth = 0;
constexpr std::uint8_t kDefaultHBaud = 3; // 9600 bit/s
constexpr std::uint8_t kDefaultHComm = 0; // COM1
constexpr std::uint8_t kDefaultDComm = 1; // COM2
constexpr std::uint32_t kDefaultDTimeOut = 1000;

// The eight date formats in the order of their indexes.
inline constexpr std::array<const char*, 8> kDateFormatNames = {
    "ddmmyy", "ddmmyyyy", "mmddyy", "mmddyyyy", "yyddmm", "yyyyddmm", "yymmdd", "yyyymmdd"};

// The executable's file name without a trailing ".exe": the settings' application name and the
// file-type class name. A renamed executable therefore keeps settings of its own.
QString ExecutableBaseName();

// The per-user settings store of this executable.
QSettings* NewUserSettingsStore();

// Reads the stored settings into `settings`; when the store holds nothing yet, writes the
// defaults first. Values that are not numbers read as their default; 8-bit fields keep the low
// byte of what is stored (so an out-of-range index stays out of range and shows no selection).
void LoadStoredSettings(TSettings& settings, QSettings& store);
// Writes every stored field (not the per-file and run-time ones).
void SaveStoredSettings(const TSettings& settings, QSettings& store);
// The "Layout" group alone (part of the two above). A placement without a geometry is not
// written, so a run that never opened a file leaves the last arrangement as it was.
void LoadWindowLayout(TWindowLayout& layout, QSettings& store);
void SaveWindowLayout(const TWindowLayout& layout, QSettings& store);

// Reads Protocol, OutputDateFormat and InputDateFormat from `fileName`'s "General" section;
// a missing file, section or key reads as 0.
void LoadTerminalFileSettings(TSettings& settings, const QString& fileName);
// Writes the three per-file fields into `fileName`'s "General" section, leaving everything else
// in the file as it is. Throws tallyhost::IniWriteError when the file cannot be written.
void SaveTerminalFileSettings(const TSettings& settings, const QString& fileName);

// Hands the operator's device choices to the links' device table.
void ApplyDeviceTable(const TSettings& settings);
// The device path that stands for COMn (index 0..3) in this run: the environment variable
// TALLYHOST_COM<n+1> when set and not empty, else the stored choice, else /dev/ttyS<n>.
// Applies the settings' choices to the device table first.
QString EffectiveDevicePath(const TSettings& settings, int index);
// Default device of COMn when nothing is configured.
QString DefaultDevicePath(int index);
