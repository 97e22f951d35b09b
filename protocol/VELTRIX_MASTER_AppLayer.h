#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include "protocol/VELTRIX_Session.h"

class QTimer;

// Master side of the VELTRIX application layer: sends the commands queued in
// the caller's session record one after the other, parses every answer into
// its own response record, switches the baud rate after command 129 and
// enters burst mode after command 142.
class VELTRIX_MASTER_AppLayer : public QObject
{
    Q_OBJECT

public:
    // The delays exist for the device's sake; tests may shorten them.
    explicit VELTRIX_MASTER_AppLayer(QObject* parent = nullptr,
                                     int iRequestDelayMs = VELTRIX_Timing().requestDelayMs,
                                     int iBaudrateSettleMs = VELTRIX_Timing().baudrateSettleMs);
    ~VELTRIX_MASTER_AppLayer() override = default;

    // Adopts the caller's record, sets the layer active and emits
    // sessionStart; the first request follows setRequestBufferAndRequest().
    void startSession(VELTRIX_Session* session);
    // Cancels a request still waiting for its delay, emits sessionStop and
    // sets the layer inactive.
    void stopSession();
    // Takes the next command from the request record's queue and sends it
    // after the request delay; with an empty queue the session ends (unless
    // burst frames are expected).
    void setRequestBufferAndRequest();

    bool isActive() const { return bActive; }
    bool isBurstModeActive() const { return bBurstMode; }
    unsigned int getPendingBaudrate() const { return ulPendingBaudrate; }
    VELTRIX_Session* getRequestSession() const { return requestSession; }
    VELTRIX_Session* getResponseSession() const { return responseSession; }

signals:
    void sessionStart(VELTRIX_Session* s);
    void sessionStop();
    void sessionNewData(VELTRIX_Session* data);
    void sessionDataTxSetBuffer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command, QByteArray& buffer);
    void sessionBurstModeSetActivate();
    void sessionBurstModeSetAcknowledge();
    bool sessionBaudrateSetNew(uint ulNewBaudrate, bool* bSuccess);

public slots:
    void sessionDataWritten();
    void sessionDataReady(const QByteArray& buffer);
    void sessionBurstModeDeactive();

private slots:
    void requestDelay();

private:
    void initRequestBuffer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command);
    void setResponseDataSets(const QByteArray& frame);

    // The caller's record while a session runs; guarded because the caller
    // owns it.
    QPointer<VELTRIX_Session> requestSession;
    VELTRIX_Session* responseSession = nullptr;
    QTimer* requestTimer = nullptr;
    QTimer* baudrateSettleTimer = nullptr;
    unsigned int ulPendingBaudrate = 1200;
    bool bActive = false;
    bool bBurstMode = false;
};
