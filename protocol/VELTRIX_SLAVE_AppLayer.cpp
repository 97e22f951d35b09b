#include "protocol/VELTRIX_SLAVE_AppLayer.h"

#include "protocol/VELTRIX_AppCodec.h"

VELTRIX_SLAVE_AppLayer::VELTRIX_SLAVE_AppLayer(QObject* parent)
    : QObject(parent)
    , requestSession(new VELTRIX_Session(this))
    , answerSession(new VELTRIX_Session(this))
{
}

void VELTRIX_SLAVE_AppLayer::startSession(VELTRIX_Session* session)
{
    answerSession = session;
    bActive = true;
    bBaudrateChangePending = false;
    emit sessionStart(session);
}

void VELTRIX_SLAVE_AppLayer::stopSession()
{
    bBaudrateChangePending = false;
    emit sessionStop();
    bActive = false;
}

void VELTRIX_SLAVE_AppLayer::sessionDataReady(const QByteArray& buffer)
{
    if (!bActive || buffer.size() <= 5 || !answerSession)
        return;

    // The request is parsed before the answer is built so that the answer
    // can depend on it (a read answers as many bytes as it asks for).
    setRequestDataSets(buffer);
    emit sessionRequestReceived(requestSession);

    // A frame without byte count cannot be answered sensibly; it is only
    // reported, with its error code in the request record.
    if (buffer.size() >= VELTRIX_AppCodec::iHeaderSize)
        setResponseBufferAndResponse();

    emit sessionNewData(requestSession);
}

void VELTRIX_SLAVE_AppLayer::setRequestDataSets(const QByteArray& frame)
{
    const VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command =
        VELTRIX_AppCodec::commandOf(frame, VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND);
    requestSession->setCommand(command);
    requestSession->setBuffer(frame);
    requestSession->incrementValidSessions();

    QMap<QString, QVariant> defaults;
    requestSession->getDefaultDataForCommand(command, &defaults);
    const QMap<QString, QVariant> map = VELTRIX_AppCodec::decodeRequest(command, frame, defaults);
    requestSession->setDataForCommand(command, map);

    if (command == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129 &&
        map.value(VELTRIX_Keys::universalError).toInt() == 0)
        ulPendingBaudrate = map.value(VELTRIX_Keys::baudrate).toUInt();
}

void VELTRIX_SLAVE_AppLayer::setResponseBufferAndResponse()
{
    const VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command = requestSession->getCommand();
    QMap<QString, QVariant> request;
    requestSession->getDataForCommand(command, &request);
    QMap<QString, QVariant> answerValues;
    answerSession->getDataForCommand(command, &answerValues);

    const QByteArray answer =
        VELTRIX_AppCodec::buildAnswer(command, answerSession->getAddress(), answerValues, request);
    // Status low byte as sent: a request that could not be decoded is
    // refused whatever the prepared values say.
    const bool bPositive = static_cast<uchar>(answer.at(VELTRIX_AppCodec::iStatusLowOffset)) == 0;

    if (bPositive && command == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129 && ulPendingBaudrate != 0)
        bBaudrateChangePending = true;
    else if (bPositive && command == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_142)
        emit sessionBurstModeSetActivate();

    // The link layer learns the command from the frame except for a broadcast;
    // the answer must carry the request's command in every case.
    answerSession->setCommand(command);
    QByteArray txBuffer = answer;
    emit sessionDataTxSetBuffer(command, txBuffer);
    if (answerSession)
        answerSession->setBuffer(answer);
}

void VELTRIX_SLAVE_AppLayer::sessionDataWritten()
{
    if (bActive && bBaudrateChangePending)
        changeBaudrate();
}

void VELTRIX_SLAVE_AppLayer::changeBaudrate()
{
    // Only after the answer has left, so the master hears it at the old rate.
    bBaudrateChangePending = false;
    bool bOk = false;
    emit sessionBaudrateSetNew(ulPendingBaudrate, &bOk);
}

void VELTRIX_SLAVE_AppLayer::sessionBurstModeSetData(QByteArray& buffer)
{
    if (!bActive || !answerSession)
        return;
    requestSession->setCommand(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139);
    QMap<QString, QVariant> burst;
    answerSession->getDataForCommand(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139, &burst);
    buffer.append(VELTRIX_AppCodec::buildBurstFrame(answerSession->getAddress(), burst));
}
