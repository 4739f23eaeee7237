#include "links/hosttypes.h"

namespace tallyhost {

const char* ErrorTypeName(TErrorType error)
{
    switch (error) {
    case EFP_Success:
        return "EFP_Success";
    case EFP_E_ComInUse:
        return "EFP_E_ComInUse";
    case EFP_E_InvalidCom:
        return "EFP_E_InvalidCom";
    case EFP_E_ComAlreadyOpen:
        return "EFP_E_ComAlreadyOpen";
    case EFP_E_ComAlreadyClose:
        return "EFP_E_ComAlreadyClose";
    case EFP_E_BadInitialization:
        return "EFP_E_BadInitialization";
    case EFP_E_ComClose:
        return "EFP_E_ComClose";
    case EFP_E_MaxDataLengthReached:
        return "EFP_E_MaxDataLengthReached";
    case EFP_E_InvalidDataInField:
        return "EFP_E_InvalidDataInField";
    case EFP_E_OperationInProgress:
        return "EFP_E_OperationInProgress";
    case EFP_E_WriteError:
        return "EFP_E_WriteError";
    case EFP_E_ReadTimeOut:
        return "EFP_E_ReadTimeOut";
    case EFP_E_NackReceived:
        return "EFP_E_NackReceived";
    case EFP_E_InvalidIndex:
        return "EFP_E_InvalidIndex";
    }
    return "EFP_Unknown";
}

const char* FiscalStateName(TFiscalState state)
{
    switch (state) {
    case EFP_S_Close:
        return "EFP_S_Close";
    case EFP_S_Idle:
        return "EFP_S_Idle";
    case EFP_S_Busy:
        return "EFP_S_Busy";
    }
    return "EFP_S_Unknown";
}

int BaudRateValue(TBaudRate rate)
{
    switch (rate) {
    case br1200:
        return 1200;
    case br2400:
        return 2400;
    case br4800:
        return 4800;
    case br9600:
        return 9600;
    case br19200:
        return 19200;
    case br38400:
        return 38400;
    }
    return 19200;
}

bool BaudRateFromValue(int baud, TBaudRate& rate)
{
    for (int i = br1200; i <= br38400; ++i) {
        if (BaudRateValue(static_cast<TBaudRate>(i)) == baud) {
            rate = static_cast<TBaudRate>(i);
            return true;
        }
    }
    return false;
}

const char* CommPortName(TCommPort port)
{
    switch (port) {
    case Com2:
        return "COM2";
    case Com3:
        return "COM3";
    case Com4:
        return "COM4";
    default:
        return "COM1";
    }
}

} // namespace tallyhost
