#include "app/settings.h"

#include "core/profile.h"
#include "links/devicetable.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {

// Stored keys, in the order they are written.
const char* const kKeyTVWidth = "TVWidth";
const char* const kKeyFile = "File";
const char* const kKeyLanguage = "Language";
const char* const kKeyExtReservedFields = "ExtReservedFields";
const char* const kKeyHComm = "HComm";
const char* const kKeyHBaud = "HBaud";
const char* const kKeyDComm = "DComm";
const char* const kKeyDTimeOut = "DTimeOut";
const char* const kKeyDGIEnabled = "DGIEnabled";
const char* const kKeyHostColor = "HostColor";
const char* const kKeyFPColor = "FPColor";
const char* const kKeyDGIColor = "DGIColor";
const char* const kKeyLowLevel = "LowLevel";
const char* const kKeyBadFrameColor = "BadFrameColor";
const char* const kKeyStaleFrameColor = "StaleFrameColor";
const char* const kKeyNoiseColor = "NoiseColor";
const char* const kKeyKeepAliveColor = "KeepAliveColor";
const char* const kKeyLateColor = "LateColor";
const char* const kKeyLogEveryByte = "LogEveryByte";
const char* const kKeyLogTimeColumn = "LogTimeColumn";
const char* const kKeyLogTextColumn = "LogTextColumn";
const char* const kKeyLogResponseTime = "LogResponseTime";
const char* const kKeyLogViewLines = "LogViewLines";
const char* const kDevicesGroup = "Devices";
const char* const kKeyReopenLostPorts = "ReopenLostPorts";

// Per-file keys, in the terminal file's "General" section.
const char* const kGeneralSection = "General";
const char* const kKeyProtocol = "Protocol";
const char* const kKeyOutputDateFormat = "OutputDateFormat";
const char* const kKeyInputDateFormat = "InputDateFormat";

// Numbers are stored as 32-bit values; a value that is not a number (a hand-edited file) reads
// as the default instead of silently becoming 0.
std::uint32_t ReadNumber(const QSettings& store, const char* key, std::uint32_t fallback)
{
    const QVariant value = store.value(QLatin1String(key));
    if (!value.isValid())
        return fallback;
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok);
    if (!ok)
        return fallback;
    return static_cast<std::uint32_t>(number);
}

bool ReadBool(const QSettings& store, const char* key, bool fallback)
{
    const QVariant value = store.value(QLatin1String(key));
    if (!value.isValid())
        return fallback;
    const QString text = value.toString().trimmed();
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok);
    if (ok)
        return number != 0;
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    return fallback;
}

QString DeviceKey(int index)
{
    return QStringLiteral("COM%1").arg(index + 1);
}

void WriteDefaults(QSettings& store)
{
    store.setValue(QLatin1String(kKeyTVWidth), kDefaultTVWidth);
    store.setValue(QLatin1String(kKeyFile), QString());
    store.setValue(QLatin1String(kKeyLanguage), 0);
    store.setValue(QLatin1String(kKeyExtReservedFields), 0);
    store.setValue(QLatin1String(kKeyHComm), kDefaultHComm);
    store.setValue(QLatin1String(kKeyHBaud), kDefaultHBaud);
    store.setValue(QLatin1String(kKeyDComm), kDefaultDComm);
    store.setValue(QLatin1String(kKeyDTimeOut), kDefaultDTimeOut);
    store.setValue(QLatin1String(kKeyDGIEnabled), 0);
    store.setValue(QLatin1String(kKeyHostColor), 0);
    store.setValue(QLatin1String(kKeyFPColor), 0);
    store.setValue(QLatin1String(kKeyDGIColor), 0);
    store.setValue(QLatin1String(kKeyLowLevel), 0);
    store.sync();
}

} // namespace

QString ExecutableBaseName()
{
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
        name.chop(4);
    if (name.isEmpty())
        name = QStringLiteral("tallyhost");
    return name;
}

namespace {

const char* const kLayoutGroup = "Layout";

void LoadPlacement(TChildPlacement& placement, QSettings& store, const QString& name)
{
    placement.Geometry = store.value(name + QLatin1String("Geometry")).toRect();
    // A geometry too small to hold anything is no arrangement to bring back.
    if (placement.Geometry.width() < 50 || placement.Geometry.height() < 30)
        placement.Geometry = QRect();
    const QString state = store.value(name + QLatin1String("State")).toString();
    placement.Maximized = state == QLatin1String("maximized");
    placement.Minimized = state == QLatin1String("minimized");
}

void SavePlacement(const TChildPlacement& placement, QSettings& store, const QString& name)
{
    if (placement.Geometry.isEmpty())
        return;
    store.setValue(name + QLatin1String("Geometry"), placement.Geometry);
    store.setValue(name + QLatin1String("State"), placement.Maximized ? QStringLiteral("maximized")
                                                  : placement.Minimized
                                                      ? QStringLiteral("minimized")
                                                      : QStringLiteral("normal"));
}

} // namespace

void LoadWindowLayout(TWindowLayout& layout, QSettings& store)
{
    store.beginGroup(QLatin1String(kLayoutGroup));
    layout.MainWindow = store.value(QStringLiteral("MainWindow")).toByteArray();
    LoadPlacement(layout.Terminal, store, QStringLiteral("Terminal"));
    LoadPlacement(layout.Log, store, QStringLiteral("Log"));
    layout.ExpandedGroups = store.value(QStringLiteral("ExpandedGroups")).toStringList();
    layout.RunScript = store.value(QStringLiteral("RunScript")).toByteArray();
    layout.RunScriptFile = store.value(QStringLiteral("RunScriptFile")).toString();
    store.endGroup();
}

void SaveWindowLayout(const TWindowLayout& layout, QSettings& store)
{
    store.beginGroup(QLatin1String(kLayoutGroup));
    if (!layout.MainWindow.isEmpty())
        store.setValue(QStringLiteral("MainWindow"), layout.MainWindow);
    SavePlacement(layout.Terminal, store, QStringLiteral("Terminal"));
    SavePlacement(layout.Log, store, QStringLiteral("Log"));
    if (!layout.Terminal.Geometry.isEmpty())
        store.setValue(QStringLiteral("ExpandedGroups"), layout.ExpandedGroups);
    if (!layout.RunScript.isEmpty()) {
        store.setValue(QStringLiteral("RunScript"), layout.RunScript);
        store.setValue(QStringLiteral("RunScriptFile"), layout.RunScriptFile);
    }
    store.endGroup();
}

QSettings* NewUserSettingsStore()
{
    const QString name = ExecutableBaseName();
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope, name, name);
}

void LoadStoredSettings(TSettings& settings, QSettings& store)
{
    if (store.childKeys().isEmpty())
        WriteDefaults(store);

    settings.TVWidth = ReadNumber(store, kKeyTVWidth, kDefaultTVWidth);
    settings.File = store.value(QLatin1String(kKeyFile)).toString();
    settings.Language = static_cast<std::uint8_t>(ReadNumber(store, kKeyLanguage, 0));
    settings.ExtReservedFields = ReadBool(store, kKeyExtReservedFields, false);
    settings.HComm = static_cast<std::uint8_t>(ReadNumber(store, kKeyHComm, kDefaultHComm));
    settings.HBaud = static_cast<std::uint8_t>(ReadNumber(store, kKeyHBaud, kDefaultHBaud));
    settings.DGIEnabled = ReadBool(store, kKeyDGIEnabled, false);
    settings.DComm = static_cast<std::uint8_t>(ReadNumber(store, kKeyDComm, kDefaultDComm));
    settings.DTimeOut = ReadNumber(store, kKeyDTimeOut, kDefaultDTimeOut);
    settings.HostColor = ReadNumber(store, kKeyHostColor, 0);
    settings.FPColor = ReadNumber(store, kKeyFPColor, 0);
    settings.DGIColor = ReadNumber(store, kKeyDGIColor, 0);
    settings.LowLevel = ReadBool(store, kKeyLowLevel, false);
    // Keys added later: a store from an older version lacks them and reads the defaults.
    const TSettings defaults;
    settings.BadFrameColor = ReadNumber(store, kKeyBadFrameColor, defaults.BadFrameColor);
    settings.StaleFrameColor = ReadNumber(store, kKeyStaleFrameColor, defaults.StaleFrameColor);
    settings.NoiseColor = ReadNumber(store, kKeyNoiseColor, defaults.NoiseColor);
    settings.KeepAliveColor = ReadNumber(store, kKeyKeepAliveColor, defaults.KeepAliveColor);
    settings.LateColor = ReadNumber(store, kKeyLateColor, defaults.LateColor);
    settings.LogEveryByte = ReadBool(store, kKeyLogEveryByte, defaults.LogEveryByte);
    settings.LogTimeColumn = ReadBool(store, kKeyLogTimeColumn, defaults.LogTimeColumn);
    settings.LogTextColumn = ReadBool(store, kKeyLogTextColumn, defaults.LogTextColumn);
    settings.LogResponseTime = ReadBool(store, kKeyLogResponseTime, defaults.LogResponseTime);
    settings.LogViewLines = ReadNumber(store, kKeyLogViewLines, defaults.LogViewLines);

    store.beginGroup(QLatin1String(kDevicesGroup));
    for (int i = 0; i < int(settings.Devices.size()); ++i)
        settings.Devices[i] = store.value(DeviceKey(i)).toString().trimmed();
    settings.ReopenLostPorts = ReadBool(store, kKeyReopenLostPorts, true);
    store.endGroup();

    LoadWindowLayout(settings.Layout, store);
}

void SaveStoredSettings(const TSettings& settings, QSettings& store)
{
    store.setValue(QLatin1String(kKeyTVWidth), settings.TVWidth);
    store.setValue(QLatin1String(kKeyFile), settings.File);
    store.setValue(QLatin1String(kKeyLanguage), settings.Language);
    store.setValue(QLatin1String(kKeyExtReservedFields), settings.ExtReservedFields ? 1 : 0);
    store.setValue(QLatin1String(kKeyHComm), settings.HComm);
    store.setValue(QLatin1String(kKeyHBaud), settings.HBaud);
    store.setValue(QLatin1String(kKeyDComm), settings.DComm);
    store.setValue(QLatin1String(kKeyDTimeOut), settings.DTimeOut);
    store.setValue(QLatin1String(kKeyDGIEnabled), settings.DGIEnabled ? 1 : 0);
    store.setValue(QLatin1String(kKeyHostColor), settings.HostColor);
    store.setValue(QLatin1String(kKeyFPColor), settings.FPColor);
    store.setValue(QLatin1String(kKeyDGIColor), settings.DGIColor);
    store.setValue(QLatin1String(kKeyLowLevel), settings.LowLevel ? 1 : 0);
    store.setValue(QLatin1String(kKeyBadFrameColor), settings.BadFrameColor);
    store.setValue(QLatin1String(kKeyStaleFrameColor), settings.StaleFrameColor);
    store.setValue(QLatin1String(kKeyNoiseColor), settings.NoiseColor);
    store.setValue(QLatin1String(kKeyKeepAliveColor), settings.KeepAliveColor);
    store.setValue(QLatin1String(kKeyLateColor), settings.LateColor);
    store.setValue(QLatin1String(kKeyLogEveryByte), settings.LogEveryByte ? 1 : 0);
    store.setValue(QLatin1String(kKeyLogTimeColumn), settings.LogTimeColumn ? 1 : 0);
    store.setValue(QLatin1String(kKeyLogTextColumn), settings.LogTextColumn ? 1 : 0);
    store.setValue(QLatin1String(kKeyLogResponseTime), settings.LogResponseTime ? 1 : 0);
    store.setValue(QLatin1String(kKeyLogViewLines), settings.LogViewLines);

    store.beginGroup(QLatin1String(kDevicesGroup));
    for (int i = 0; i < int(settings.Devices.size()); ++i) {
        if (settings.Devices[i].isEmpty())
            store.remove(DeviceKey(i));
        else
            store.setValue(DeviceKey(i), settings.Devices[i]);
    }
    store.setValue(QLatin1String(kKeyReopenLostPorts), settings.ReopenLostPorts ? 1 : 0);
    store.endGroup();

    SaveWindowLayout(settings.Layout, store);
    store.sync();
}

QString DefaultDevicePath(int index)
{
    return QFile::decodeName(tallyhost::DefaultComDevicePath(index).c_str());
}

void ApplyDeviceTable(const TSettings& settings)
{
    for (int i = 0; i < int(settings.Devices.size()); ++i)
        tallyhost::SetComDevicePath(i, QFile::encodeName(settings.Devices[i]).toStdString());
}

QString EffectiveDevicePath(const TSettings& settings, int index)
{
    ApplyDeviceTable(settings);
    return QFile::decodeName(tallyhost::ComDevicePath(index).c_str());
}

namespace {

std::string LocalPath(const QString& fileName)
{
    return QFile::encodeName(fileName).toStdString();
}

std::uint8_t ReadFileByte(const tallyhost::TExtIniFile& ini, const char* key)
{
    return static_cast<std::uint8_t>(ini.ReadInteger(kGeneralSection, key, 0));
}

} // namespace

void LoadTerminalFileSettings(TSettings& settings, const QString& fileName)
{
    const tallyhost::TExtIniFile ini(LocalPath(fileName));
    settings.Protocol = ReadFileByte(ini, kKeyProtocol);
    settings.OutputDateFormat = ReadFileByte(ini, kKeyOutputDateFormat);
    settings.InputDateFormat = ReadFileByte(ini, kKeyInputDateFormat);
}

void SaveTerminalFileSettings(const TSettings& settings, const QString& fileName)
{
    // One replacement of the file for the three keys: the file is never left with only some
    // of them changed.
    tallyhost::TExtIniFile ini(LocalPath(fileName));
    tallyhost::TIniTransaction transaction(ini);
    ini.WriteInteger(kGeneralSection, kKeyProtocol, settings.Protocol);
    ini.WriteInteger(kGeneralSection, kKeyOutputDateFormat, settings.OutputDateFormat);
    ini.WriteInteger(kGeneralSection, kKeyInputDateFormat, settings.InputDateFormat);
    transaction.Commit();
}
