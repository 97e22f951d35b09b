#include "protocol/VELTRIX_SLAVE_AppLayer.h"

#include "protocol/VELTRIX_AppCodec.h"

using S = VELTRIX_Session;
namespace Codec = VELTRIX_AppCodec;

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
    if (buffer.size() >= Codec::iHeaderSize)
        setResponseBufferAndResponse();

    emit sessionNewData(requestSession);
}

void VELTRIX_SLAVE_AppLayer::setRequestDataSets(const QByteArray& frame)
{
    const S::VELTRIX_ENUM_SESSION_COMMAND command =
        Codec::commandOf(frame, S::VELTRIX_ENUM_SESSION_NO_COMMAND);
    requestSession->setCommand(command);
    requestSession->setBuffer(frame);
    requestSession->incrementValidSessions();

    QMap<QString, QVariant> defaults;
    requestSession->getDefaultDataForCommand(command, &defaults);
    const QMap<QString, QVariant> map = Codec::decodeRequest(command, frame, defaults);
    requestSession->setDataForCommand(command, map);

    if (command == S::VELTRIX_ENUM_SESSION_COMMAND_129 &&
        map.value(VELTRIX_Keys::universalError).toInt() == 0)
        ulPendingBaudrate = map.value(VELTRIX_Keys::baudrate).toUInt();
}

void VELTRIX_SLAVE_AppLayer::setResponseBufferAndResponse()
{
    const S::VELTRIX_ENUM_SESSION_COMMAND command = requestSession->getCommand();
    QMap<QString, QVariant> request;
    requestSession->getDataForCommand(command, &request);
    QMap<QString, QVariant> answerValues;
    answerSession->getDataForCommand(command, &answerValues);

    const QByteArray answer = Codec::buildAnswer(command, answerSession->getAddress(), answerValues, request);
    // Status low byte as sent: a request that could not be decoded is
    // refused whatever the prepared values say.
    const bool bPositive = static_cast<uchar>(answer.at(Codec::iStatusLowOffset)) == 0;

    if (bPositive && command == S::VELTRIX_ENUM_SESSION_COMMAND_129 && ulPendingBaudrate != 0)
        bBaudrateChangePending = true;
    else if (bPositive && command == S::VELTRIX_ENUM_SESSION_COMMAND_142)
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
    requestSession->setCommand(S::VELTRIX_ENUM_SESSION_COMMAND_139);
    QMap<QString, QVariant> burst;
    answerSession->getDataForCommand(S::VELTRIX_ENUM_SESSION_COMMAND_139, &burst);
    buffer.append(Codec::buildBurstFrame(answerSession->getAddress(), burst));
}
