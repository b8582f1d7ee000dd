#include "daq/Driver.h"

namespace qvr {

QString driverStatusText(int status) {
    switch (status) {
    case kStatusOk:
        return QStringLiteral("success");
    case kStatusBadBoard:
        return QStringLiteral("board number out of range");
    case kStatusNoDevice:
        return QStringLiteral("comedi device node missing or not accessible");
    case kStatusUnsuitable:
        return QStringLiteral("board lacks a +-5 V analog input, digital input or digital output");
    case kStatusBadPort:
        return QStringLiteral("port is not the head port");
    case kStatusBadChannel:
        return QStringLiteral("no such analog input channel");
    case kStatusBadRange:
        return QStringLiteral("range is not bipolar 5 V");
    case kStatusBadConfigItem:
        return QStringLiteral("configuration item not supported");
    case kStatusBadBuffer:
        return QStringLiteral("no name buffer");
    case kStatusIoFailed:
        return QStringLiteral("card access failed");
    case kStatusDriverClosed:
        return QStringLiteral("the card is closed for shut-down");
    }
    return QStringLiteral("unknown status %1").arg(status);
}

} // namespace qvr
