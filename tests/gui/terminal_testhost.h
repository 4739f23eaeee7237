#pragma once

// A host for the terminal window without a main window: settings as plain members, the four
// status panels as strings, and optionally the two links, whose answers and errors it posts
// to the window as the main window does.

#include "gui/notifications.h"
#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"
#include "terminal/terminalhost.h"

#include <QObject>
#include <QPointer>

#include <array>

class TTestTerminalHost final : public ITerminalHost
{
public:
    tallyhost::TFPHostControl* HostLink() const override { return Host; }
    tallyhost::TFPAuxControl* AuxLink() const override { return Aux; }
    bool HostPortOpen() const override { return HostOpen; }
    bool FiscalPortOpen() const override { return FiscalOpen; }
    QString HostPortFailure() const override { return HostFailure; }
    int Protocol() const override { return ProtocolType; }
    int InputDateFormat() const override { return InputDates; }
    int OutputDateFormat() const override { return OutputDates; }
    bool ExtReservedFields() const override { return ShowReserved; }
    std::uint32_t TreeWidth() const override { return Width; }
    void SetTreeWidth(std::uint32_t width) override { Width = width; }
    void SetPanelText(int panel, const QString& text) override { Panels.at(panel) = text; }
    QString PanelText(int panel) const override { return Panels.at(panel); }

    // Routes the host link's final answers and errors to `window`, as notifications.
    void RouteHostLinkTo(QObject* window)
    {
        QPointer<QObject> target(window);
        QObject::connect(Host, &tallyhost::TFPHostControl::OnFinalAnswer, window, [target] {
            if (target)
                PostNotification(target, WM_TERM_HOST_ANSWER);
        });
        QObject::connect(Host, &tallyhost::TFPHostControl::OnError, window, [target] {
            if (target)
                PostNotification(target, WM_TERM_HOST_ERROR);
        });
    }

    tallyhost::TFPHostControl* Host = nullptr;
    tallyhost::TFPAuxControl* Aux = nullptr;
    bool HostOpen = false;
    bool FiscalOpen = false;
    QString HostFailure;
    int ProtocolType = 0;
    int InputDates = 0;
    int OutputDates = 0;
    bool ShowReserved = false;
    std::uint32_t Width = 0;
    std::array<QString, 4> Panels;
};
