// The main window's side of the serial ports, until the printer links are wired in (that code
// belongs with the link routing in formmain_links.cpp and replaces this file).
//
// TODO(links): no port is opened yet: HostPortOpen and FiscalPortOpen stay false and the
// fiscal button keeps its "disabled" look.

#include "app/formmain.h"

#include <QToolButton>

namespace {

const char* const kModeStrings[] = {" 1200,N,8,1",  " 2400,N,8,1",  " 4800,N,8,1",
                                    " 9600,N,8,1",  " 19200,N,8,1", " 38400,N,8,1"};

} // namespace

void TFormMain::StartLinks()
{
    Settings.HostPortOpen = false;
    Settings.FiscalPortOpen = false;
}

void TFormMain::ApplyProtocolType()
{
}

void TFormMain::ReopenLinksAfterPreferences()
{
}

void TFormMain::UpdatePortPanels()
{
    QString host = QStringLiteral("COM%1").arg(int(Settings.HComm) + 1);
    if (Settings.HBaud < std::size(kModeStrings))
        host += QLatin1String(kModeStrings[Settings.HBaud]);
    SetPanelText(2, host);
    // The fiscal port always runs at 9600 bit/s.
    SetPanelText(3, Settings.DGIEnabled && Settings.FiscalPortOpen
                        ? QStringLiteral("COM%1 9600,N,8,1").arg(int(Settings.DComm) + 1)
                        : QStringLiteral("Disabled"));
}

void TFormMain::MenuItemResetserialportsClick()
{
    SetPanelText(1, QStringLiteral("Ready"));
}

void TFormMain::ToolButtonFiscalClick()
{
    // Without a fiscal link the port cannot be enabled: the button stays down.
    ToolButtonFiscal->setChecked(true);
}
