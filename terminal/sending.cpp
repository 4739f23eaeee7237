// Sending, repeating and cancelling commands from the terminal window.

#include "terminal/terminalwindow.h"

// TODO(sending): convert the panel's values and hand them to the host or fiscal link.
void TFormChildTerminalWindow::ButtonSendClick() {}

// TODO(sending): send the host command up to 999 times.
void TFormChildTerminalWindow::ButtonRepeatClick() {}

// TODO(sending): purge both links, forget the awaited answer, re-enable the buttons.
void TFormChildTerminalWindow::ButtonCancelClick() {}
