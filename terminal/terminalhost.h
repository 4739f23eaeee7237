#pragma once

#include <QString>

#include <cstdint>

namespace tallyhost {
class TFPAuxControl;
class TFPHostControl;
} // namespace tallyhost

// What the terminal window and the editors need from the window that hosts them: the settings
// that shape frames and answers, the two printer links, and the status panels. The main window
// implements it; tests hand the terminal window a small host of their own, so the window can
// be exercised without a main window and the layers below app/ never include it.
class ITerminalHost
{
public:
    virtual ~ITerminalHost() = default;

    // The printer links; null while there is none (the host is shutting down).
    virtual tallyhost::TFPHostControl* HostLink() const = 0;
    virtual tallyhost::TFPAuxControl* AuxLink() const = 0;
    // The last host port open succeeded / the fiscal port is open.
    virtual bool HostPortOpen() const = 0;
    virtual bool FiscalPortOpen() const = 0;
    // Why the host port is not open, naming the device ("/dev/ttyUSB0: No such file or
    // directory"); empty while it is open.
    virtual QString HostPortFailure() const = 0;

    // The open file's protocol (0 compatible, 1 extended) and date formats (0..7).
    virtual int Protocol() const = 0;
    virtual int InputDateFormat() const = 0;
    virtual int OutputDateFormat() const = 0;
    // Show the reserved fields of extended-protocol answers.
    virtual bool ExtReservedFields() const = 0;

    // The remembered width of the command tree, pixels (0: none remembered yet).
    virtual std::uint32_t TreeWidth() const = 0;
    virtual void SetTreeWidth(std::uint32_t width) = 0;

    // Status bar panels: 0 hints, 1 "Ready"/"Error"/progress, 2 host port, 3 fiscal port.
    virtual void SetPanelText(int panel, const QString& text) = 0;
    virtual QString PanelText(int panel) const = 0;

protected:
    ITerminalHost() = default;
    ITerminalHost(const ITerminalHost&) = default;
    ITerminalHost& operator=(const ITerminalHost&) = default;
};
