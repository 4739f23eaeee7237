#include "app/logwindow.h"

namespace {

// Until the main window exists the log reads defaults.
class TMainWindowLogSource final : public TLogSource
{
public:
    TLogSettings LogSettings() const override { return {}; }
    int HostCommPort() const override { return 0; }
    int HostBaudRate() const override { return 0; }
    int AuxCommPort() const override { return 0; }
    QByteArray LastWrittenFrame() const override { return {}; }
    QByteArray LastReadFrame() const override { return {}; }
};

} // namespace

TLogSource& MainWindowLogSource()
{
    static TMainWindowLogSource source;
    return source;
}
