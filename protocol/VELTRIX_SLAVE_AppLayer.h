#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include "protocol/VELTRIX_Session.h"

// Device side of the VELTRIX application layer: answers each request from a
// master with the values prepared in the caller's answer record, reports the
// request's own values, switches the baud rate after answering command 129
// and sends burst frames after a positive answer to command 142.
class VELTRIX_SLAVE_AppLayer : public QObject
{
    Q_OBJECT

public:
    explicit VELTRIX_SLAVE_AppLayer(QObject* parent = nullptr);
    ~VELTRIX_SLAVE_AppLayer() override = default;

    // The caller's record holds the device address and the answer values;
    // emits sessionStart with it.
    void startSession(VELTRIX_Session* session);
    void stopSession();

    bool isActive() const { return bActive; }
    bool isBaudrateChangePending() const { return bBaudrateChangePending; }
    unsigned int getPendingBaudrate() const { return ulPendingBaudrate; }
    VELTRIX_Session* getRequestSession() const { return requestSession; }
    VELTRIX_Session* getAnswerSession() const { return answerSession; }

signals:
    void sessionStart(VELTRIX_Session* s);
    void sessionStop();
    // The request record after each answered request.
    void sessionNewData(VELTRIX_Session* data);
    // The request record once the request is parsed and before the answer is
    // built; a directly connected receiver may still change the answer
    // record's values (for example the bytes of the address asked for).
    void sessionRequestReceived(VELTRIX_Session* request);
    void sessionDataTxSetBuffer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command, QByteArray& buffer);
    void sessionBurstModeSetActivate();
    bool sessionBaudrateSetNew(uint ulNewBaudrate, bool* bSuccess);

public slots:
    void sessionDataWritten();
    void sessionDataReady(const QByteArray& buffer);
    void sessionBurstModeSetData(QByteArray& buffer);

private slots:
    void changeBaudrate();

private:
    void setRequestDataSets(const QByteArray& frame);
    void setResponseBufferAndResponse();

    VELTRIX_Session* requestSession = nullptr;
    QPointer<VELTRIX_Session> answerSession;
    unsigned int ulPendingBaudrate = 0;
    bool bActive = false;
    bool bBaudrateChangePending = false;
};
