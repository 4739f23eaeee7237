#pragma once

#include <cstdint>

namespace tallyhost {

// Types of the host link (the printer's framed command protocol on the host port).

// Port to open; device names "COM1" to "COM4" (see links/devicetable.h for where they lead).
// Any other value opens COM1.
enum TCommPort : std::int32_t
{
    Com1 = 0,
    Com2 = 1,
    Com3 = 2,
    Com4 = 3,
};

// Line speed; any other value runs at 19200 baud.
enum TBaudRate : std::int32_t
{
    br1200 = 0,
    br2400 = 1,
    br4800 = 2,
    br9600 = 3,
    br19200 = 4,
    br38400 = 5,
};

enum TProtocolType : std::int32_t
{
    protocol_Compatible = 0,
    protocol_Extended = 1,
};

enum TFiscalState : std::int32_t
{
    EFP_S_Close = 0, // port closed
    EFP_S_Idle = 1,  // open, no command in progress
    EFP_S_Busy = 2,  // a command is in progress
};

// The value of LastError: the result of the last operation or exchange.
enum TErrorType : std::int32_t
{
    EFP_Success = 0,
    EFP_E_ComInUse = 1,             // OpenPort: the device exists but cannot be had
    EFP_E_InvalidCom = 2,           // OpenPort: no such device
    EFP_E_ComAlreadyOpen = 3,       // OpenPort while not closed
    EFP_E_ComAlreadyClose = 4,      // ClosePort while closed
    EFP_E_BadInitialization = 5,    // OpenPort: the worker thread could not be made
    EFP_E_ComClose = 6,             // SendCommand while closed
    EFP_E_MaxDataLengthReached = 7, // SendCommand with too much field data
    EFP_E_InvalidDataInField = 8,   // AddDataField with a byte the compatible protocol lacks
    EFP_E_OperationInProgress = 9,  // SendCommand while busy
    EFP_E_WriteError = 10,          // the command frame could not be written
    EFP_E_ReadTimeOut = 11,         // no final answer came
    EFP_E_NackReceived = 12,        // the printer refused the frame (kept over the time-out)
    EFP_E_InvalidIndex = 13,        // GetExtraField outside 1..ExtraFieldsCount
};

// The enumerator's own name ("EFP_E_ReadTimeOut"); "EFP_Unknown" outside the enumeration.
const char* ErrorTypeName(TErrorType error);
// "EFP_S_Close", "EFP_S_Idle", "EFP_S_Busy"; "EFP_S_Unknown" otherwise.
const char* FiscalStateName(TFiscalState state);
// 1200 .. 38400; 19200 for a value outside the enumeration.
int BaudRateValue(TBaudRate rate);
// The TBaudRate of a speed in bit/s; false when no value has that speed.
bool BaudRateFromValue(int baud, TBaudRate& rate);
// "COM1" .. "COM4"; "COM1" for a value outside the enumeration.
const char* CommPortName(TCommPort port);

} // namespace tallyhost
