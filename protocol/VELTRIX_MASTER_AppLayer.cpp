#include "protocol/VELTRIX_MASTER_AppLayer.h"

#include <QTimer>

#include "protocol/VELTRIX_AppCodec.h"

VELTRIX_MASTER_AppLayer::VELTRIX_MASTER_AppLayer(QObject* parent, int iRequestDelayMs, int iBaudrateSettleMs)
    : QObject(parent)
    , requestSession(new VELTRIX_Session(this))
    , responseSession(new VELTRIX_Session(this))
    , requestTimer(new QTimer(this))
    , baudrateSettleTimer(new QTimer(this))
{
    for (QTimer* timer : {requestTimer, baudrateSettleTimer})
    {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    requestTimer->setInterval(iRequestDelayMs);
    baudrateSettleTimer->setInterval(iBaudrateSettleMs);
    connect(requestTimer, &QTimer::timeout, this, &VELTRIX_MASTER_AppLayer::requestDelay);
    connect(baudrateSettleTimer, &QTimer::timeout, this,
            &VELTRIX_MASTER_AppLayer::setRequestBufferAndRequest);
}

void VELTRIX_MASTER_AppLayer::startSession(VELTRIX_Session* session)
{
    requestSession = session;
    bActive = true;
    emit sessionStart(session);
}

void VELTRIX_MASTER_AppLayer::stopSession()
{
    // Nothing may leave after a stop, not even a request already built.
    requestTimer->stop();
    baudrateSettleTimer->stop();
    bBurstMode = false;
    emit sessionStop();
    bActive = false;
}

void VELTRIX_MASTER_AppLayer::setRequestBufferAndRequest()
{
    if (!bActive)
        return;
    if (!requestSession)
    {
        stopSession();
        return;
    }

    const VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command =
        requestSession->getCurrentCommandFromQueue(true);
    requestSession->setCommand(command);
    if (command == VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND)
    {
        // Queue done; in burst mode the device keeps sending on its own.
        if (!bBurstMode)
            stopSession();
        return;
    }
    initRequestBuffer(command);
    requestTimer->start();
}

void VELTRIX_MASTER_AppLayer::initRequestBuffer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command)
{
    QMap<QString, QVariant> values;
    requestSession->getDataForCommand(command, &values);
    requestSession->setBuffer(VELTRIX_AppCodec::buildRequest(command, requestSession->getAddress(), values));
}

void VELTRIX_MASTER_AppLayer::requestDelay()
{
    if (!bActive || !requestSession)
        return;
    const VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command = requestSession->getCommand();
    if (command == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129)
    {
        QMap<QString, QVariant> values;
        requestSession->getDataForCommand(command, &values);
        // Only the 24 bits that went out count.
        ulPendingBaudrate =
            VELTRIX_AppCodec::withDefaults(command, values).value(VELTRIX_Keys::baudrate).toUInt() &
            0xFFFFFFu;
    }
    QByteArray buffer = requestSession->getBuffer();
    emit sessionDataTxSetBuffer(command, buffer);
}

void VELTRIX_MASTER_AppLayer::sessionDataWritten()
{
}

void VELTRIX_MASTER_AppLayer::sessionDataReady(const QByteArray& buffer)
{
    if (!bActive || buffer.size() <= 5)
        return;

    setResponseDataSets(buffer);
    const VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command = responseSession->getCommand();

    // The device answers 129 at the old rate and listens at the new one only
    // after a pause.
    if (command == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129)
        baudrateSettleTimer->start();
    else
        setRequestBufferAndRequest();

    emit sessionNewData(responseSession);
}

void VELTRIX_MASTER_AppLayer::setResponseDataSets(const QByteArray& frame)
{
    // A frame too short to name its command is taken as the answer to the
    // command just sent.
    const VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command =
        VELTRIX_AppCodec::commandOf(frame, requestSession ? requestSession->getCommand()
                                                          : VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND);
    responseSession->setAddress(VELTRIX_AppCodec::addressOf(frame).data());
    responseSession->setCommand(command);
    responseSession->setBuffer(frame);
    responseSession->incrementValidSessions();

    QMap<QString, QVariant> defaults;
    responseSession->getDefaultDataForCommand(command, &defaults);
    QMap<QString, QVariant> map = VELTRIX_AppCodec::decodeResponse(command, frame, defaults);
    const bool bPositive = map.value(VELTRIX_Keys::universalError).toInt() == 0;

    if (command == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129)
    {
        if (map.value(VELTRIX_Keys::statusLow).toInt() != 0)
        {
            ulPendingBaudrate = 0;
        }
        else if (bPositive)
        {
            bool bOk = false;
            emit sessionBaudrateSetNew(ulPendingBaudrate, &bOk);
            if (!bOk)
                map.insert(VELTRIX_Keys::universalError,
                           static_cast<int>(
                               VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR_NOT_EXECUTED));
        }
    }
    else if (command == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_142 && bPositive)
    {
        emit sessionBurstModeSetActivate();
        bBurstMode = true;
    }

    responseSession->setDataForCommand(command, map);

    if (command == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139 && bBurstMode)
        emit sessionBurstModeSetAcknowledge();
}

void VELTRIX_MASTER_AppLayer::sessionBurstModeDeactive()
{
    bBurstMode = false;
}
