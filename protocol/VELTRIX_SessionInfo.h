#pragma once

#include <QObject>
#include <QString>

#include "protocol/VELTRIX_Session.h"

// What the link layer reports about the running session: state, last error,
// burst mode, baud rate and statistics.
class VELTRIX_SessionInfo : public QObject
{
    Q_OBJECT

public:
    explicit VELTRIX_SessionInfo(QObject* parent = nullptr);
    VELTRIX_SessionInfo(const VELTRIX_SessionInfo& other);
    VELTRIX_SessionInfo& operator=(const VELTRIX_SessionInfo& other);
    ~VELTRIX_SessionInfo() override = default;

    // Texts for error and state codes, usable without an info record.
    static QString errorToString(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR error);
    static QString stateToString(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE state);

    bool getSessionRunning() const { return bSessionRunning; }
    void setSessionRunning(bool bRunning) { bSessionRunning = bRunning; }

    VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR getError() const { return error; }
    void setError(const VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR& newError);
    QString getErrorAsString() const { return errorToString(error); }

    VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE getState() const { return state; }
    void setState(const VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE& newState) { state = newState; }
    QString getStateAsString() const { return stateToString(state); }

    bool getBurstModeActive() const { return bBurstModeActive; }
    void setBurstModeActive(bool bActive) { bBurstModeActive = bActive; }

    unsigned long long getBurstRoundTripLatencyNs() const { return ullBurstRoundTripLatencyNs; }
    void setBurstRoundTripLatencyNs(const unsigned long long& ullNs) { ullBurstRoundTripLatencyNs = ullNs; }

    unsigned int getBaudrate() const { return ulBaudrate; }
    void setBaudrate(const unsigned int& ulNewBaudrate) { ulBaudrate = ulNewBaudrate; }

    unsigned long long getErroneousSessionCount() const { return ullErroneousSessions; }
    void resetErroneousSessionCount() { ullErroneousSessions = 0; }

private:
    void copyFrom(const VELTRIX_SessionInfo& other);

    bool bSessionRunning = false;
    VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR error = VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR;
    VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE;
    bool bBurstModeActive = false;
    unsigned long long ullBurstRoundTripLatencyNs = 0;
    unsigned int ulBaudrate = 0;
    unsigned long long ullErroneousSessions = 0;
};
