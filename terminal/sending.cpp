// Sending, repeating and cancelling commands from the terminal window.

#include "terminal/terminalwindow.h"

// TODO(sending): convert the panel's values and hand them to the host or fiscal link.
void TFormChildTerminalWindow::ButtonSendClick() {}

// TODO(sending): send the host command up to 999 times.
void TFormChildTerminalWindow::ButtonRepeatClick() {}

// TODO(sending): purge both links, forget the awaited answer, re-enable the buttons.
void TFormChildTerminalWindow::ButtonCancelClick() {}

// TODO(answer): show the host answer when one is awaited.
void TFormChildTerminalWindow::WMTermHostAnswer() {}

// TODO(sending): end a failed host exchange.
void TFormChildTerminalWindow::WMTermHostError() {}

// TODO(answer): append the fiscal answer to the memo.
void TFormChildTerminalWindow::WMTermAuxAnswer() {}

// TODO(answer): append the last fiscal answer and end the exchange.
void TFormChildTerminalWindow::WMTermAuxFinal() {}

// TODO(sending): end a failed fiscal exchange.
void TFormChildTerminalWindow::WMTermAuxError() {}

// TODO(sending): report the fiscal port alive.
void TFormChildTerminalWindow::WMTermAuxAck() {}
