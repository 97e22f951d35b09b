#include "protocol/VELTRIX_SessionInfo.h"

VELTRIX_SessionInfo::VELTRIX_SessionInfo(QObject* parent)
    : QObject(parent)
{
}

VELTRIX_SessionInfo::VELTRIX_SessionInfo(const VELTRIX_SessionInfo& other)
    : QObject(nullptr)
{
    copyFrom(other);
}

VELTRIX_SessionInfo& VELTRIX_SessionInfo::operator=(const VELTRIX_SessionInfo& other)
{
    if (this != &other)
        copyFrom(other);
    return *this;
}

void VELTRIX_SessionInfo::copyFrom(const VELTRIX_SessionInfo& other)
{
    bSessionRunning = other.bSessionRunning;
    error = other.error;
    state = other.state;
    bBurstModeActive = other.bBurstModeActive;
    ullBurstRoundTripLatencyNs = other.ullBurstRoundTripLatencyNs;
    ulBaudrate = other.ulBaudrate;
    ullErroneousSessions = other.ullErroneousSessions;
}

void VELTRIX_SessionInfo::setError(const VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR& newError)
{
    // Replacing a reported error (also by NO_ERROR) closes one erroneous session.
    if (error != VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR)
        ++ullErroneousSessions;
    error = newError;
}

QString VELTRIX_SessionInfo::errorToString(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR code)
{
    // Several texts do not match their enumerator names; peers show and log
    // exactly these texts, so they stay as they are.
    switch (static_cast<int>(code))
    {
    case 0:
        return QStringLiteral("no error");
    case 1:
        return QStringLiteral("no preambel received");
    case 2:
        return QStringLiteral("too few preambel received");
    case 3:
        return QStringLiteral("too many preambel received");
    case 4:
        return QStringLiteral("wrong address");
    case 5:
        return QStringLiteral("wrong checksum");
    case 6:
        return QStringLiteral("reading command");
    case 7:
        return QStringLiteral("data overrun");
    case 8:
        return QStringLiteral("normal timeout of 300ms elapsed");
    case 9:
        return QStringLiteral("burst timeout of 1s elapsed");
    case 10:
        return QStringLiteral("wrong parity");
    case 11:
        return QStringLiteral("wrong command");
    case 12:
        return QStringLiteral("session couldn`t be finished");
    case 13:
        return QStringLiteral("session couldn`t be started");
    case 14:
        return QStringLiteral("COM port couldn`t be opened");
    case 15:
        return QStringLiteral("general COM port error");
    case 16:
        return QStringLiteral("no payload in session data found");
    case 17:
        return QStringLiteral("master didn`t ackowledge burst packet");
    default:
        return QStringLiteral("unknown error");
    }
}

QString VELTRIX_SessionInfo::stateToString(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE code)
{
    switch (code)
    {
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE:
        return QStringLiteral("inactive");
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_SENDING:
        return QStringLiteral("sending");
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_SENDING_DONE:
        return QStringLiteral("sending done");
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_WAIT_FOR_FIRST_RECIEVE_BYTE:
        return QStringLiteral("waiting for first received byte");
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_COUNT_PREAMBELS:
        return QStringLiteral("counting preambles");
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_CHECK_ADRESS:
        return QStringLiteral("checking address");
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_COMMAND:
        return QStringLiteral("reading command");
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD_COUNT:
        return QStringLiteral("reading byte count");
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_STATUS_BYTES:
        return QStringLiteral("reading status bytes");
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD:
        return QStringLiteral("reading payload");
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_DONE:
        return QStringLiteral("receiving done");
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_WAIT_FOR_BURST_ACK:
        return QStringLiteral("waiting for burst acknowledge");
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_SESSION_DATA_READY:
        return QStringLiteral("session data ready");
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_ERROR:
        return QStringLiteral("error");
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_UNKNOWN:
        break;
    }
    return QStringLiteral("unknown state");
}
