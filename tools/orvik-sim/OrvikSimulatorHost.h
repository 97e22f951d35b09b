#pragma once

#include "protocol/VELTRIX_LinkLayer.h"
#include "tools/orvik-sim/OrvikPseudoTerminal.h"
#include "tools/orvik-sim/OrvikSensor.h"

#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>
#include <utility>

class VELTRIX;
class VELTRIX_Session;
class VELTRIX_SessionInfo;

namespace Hvd::Weft::Simulator
{

// The sensor core, shared between the thread that serves the line and
// callers in other threads; every access holds the lock.
class SharedSensor
{
public:
    explicit SharedSensor(OrvikSensor sensor)
        : mSensor(std::move(sensor))
    {
    }

    template <typename F> decltype(auto) with(F&& f)
    {
        QMutexLocker lock(&mMutex);
        return std::forward<F>(f)(mSensor);
    }

    template <typename F> decltype(auto) with(F&& f) const
    {
        QMutexLocker lock(&mMutex);
        return std::forward<F>(f)(std::as_const(mSensor));
    }

private:
    mutable QMutex mMutex;
    OrvikSensor mSensor;
};

struct OrvikSimulatorOptions
{
    OrvikSensorConfig sensor;
    // Empty: the description shipped with the program.
    QString descriptionPath;
    // Empty: no state file.
    QString stateFile;
    // The adapter sends every byte on the wire back to its sender.
    bool adapterEcho = true;
    // The sensor side's waits (burst pacing, receive silence); scaled
    // together with the master's to rehearse faster.
    VELTRIX_Timing timing;
    // Bytes sent at another speed than the sensor listens at are garbage to
    // it and dropped; off, every speed is understood.
    bool strictLineSpeed = true;
    // The adapter is pulled this long after the sensor listens (the line
    // hangs up); empty: never.
    std::optional<int> hangUpAfterMs;
    // The adapter is pulled when the sensor hears its Nth request, which
    // then goes unanswered; empty: never.
    std::optional<int> hangUpAtRequest;
};

// The sensor as configured. If the description cannot be read, error says
// why and the sensor has no memory at all (every memory access is refused).
std::shared_ptr<SharedSensor> createSensor(const OrvikSimulatorOptions& options, QString* error);

// Serves the simulated sensor on a pseudo-terminal through the project's own
// protocol stack: a VELTRIX facade running a slave session, whose answers
// the core prepares for each request. Lives in the thread that calls
// start(); the facade's serial port runs in a thread of its own.
class OrvikSimulatorHost : public QObject
{
    Q_OBJECT

public:
    OrvikSimulatorHost(std::shared_ptr<SharedSensor> sensor, std::shared_ptr<OrvikPseudoTerminal> terminal,
                       OrvikSimulatorOptions options, QObject* parent = nullptr);
    ~OrvikSimulatorHost() override;

public slots:
    // Opens the line and starts listening; ends in ready() or failed().
    void start();
    // Pulls the adapter: the line hangs up for good; ends in hungUp().
    void hangUp();
    // Pulls it when the next request arrives (with this command, if given),
    // which goes unanswered.
    void hangUpAtNextRequest(std::optional<int> command = std::nullopt);

signals:
    void hungUp();
    void ready(const QString& devicePath);
    void failed(const QString& reason);
    // To the serial port's thread.
    void writeToPort(const QByteArray& data, bool bSingleWireTransmission);

private:
    void requestReceived(VELTRIX_Session* request);
    void requestAnswered();
    void forwardWrite(const QByteArray& framed);
    void portStateChanged(bool open);
    void lineInfo(VELTRIX_SessionInfo* info);
    // Bytes for the loader while it has the line.
    void loaderData(const QByteArray& bytes);
    // Hands the line to the loader or back to the VELTRIX session, as the sensor stands.
    void syncLineMode();
    // Called in the port's thread: whether the sensor makes sense of these bytes.
    bool hears(const QByteArray& bytes, std::uint32_t baudrate);
    // An answer with the variables beyond the eighth appended, its count,
    // byte count and checksum set to match.
    static QByteArray withExtraVariables(const QByteArray& framed, const QList<std::pair<int, float>>& extra);
    void saveState();
    // While the loader runs, at most one state file write per interval.
    void saveStateSoon();

    std::shared_ptr<SharedSensor> mSensor;
    std::shared_ptr<OrvikPseudoTerminal> mTerminal;
    const OrvikSimulatorOptions mOptions;
    VELTRIX* mFacade = nullptr;
    // The slave session's record: the sensor's address and the answer values.
    VELTRIX_Session* mRecord = nullptr;
    // The answer being built for the request just received.
    std::optional<SensorReply> mPending;
    // The part that runs burst frames, once command 142 was acknowledged.
    std::optional<Target> mBurstTarget;
    bool mReady = false;
    bool mHungUp = false;
    int mRequestsHeard = 0;
    std::optional<int> mHangUpAt;
    std::optional<int> mHangUpOnCommand;
    bool mLoaderActive = false;
    QMetaObject::Connection mLoaderConnection;
    QTimer* mSaveTimer = nullptr;
};

} // namespace Hvd::Weft::Simulator
