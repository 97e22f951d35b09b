#pragma once

#include "communication/Device.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <optional>

namespace Hvd::Weft::Components
{

class DeviceStack;

// The sensor on one port from its connect to its release, for every job
// that talks to it (the rescale, each subcommand of `orvik`). A connect ends
// in connected(), wrongSensor() or connectFailed(); every release and every
// interrupt ends in exactly one released().
class SensorSession : public QObject
{
    Q_OBJECT

public:
    enum class State : std::uint8_t
    {
        Idle,
        Connecting,
        Connected,
        Releasing,
        Interrupting,
    };
    enum class Release : std::uint8_t
    {
        // Restarted first, so that it runs with what it now holds.
        Restart,
        // Only forgotten and the port closed: for a line the service has
        // given up, or after a job that changed nothing on the sensor.
        Close,
    };

    explicit SensorSession(DeviceStack& stack, QObject* parent = nullptr);

    // Idle once a job's own closing steps have released the sensor.
    State getState() const;
    const QString& getPort() const { return port; }

    // Nothing connected, connecting or being released.
    bool isFree() const;
    // False, with no signal to follow, unless free.
    bool connectSensor(const QString& port);
    // False, with no signal to follow, when nothing was connected. A release
    // asked for during a connect waits for its outcome. Never ends before it
    // returns.
    bool release(Release how);
    // Stops whatever runs on the line and closes the port at once, without a
    // restart. The service confirms its abort; a stuck device thread is
    // waited for no longer than the timing's release timeout.
    void interrupt();

Q_SIGNALS:
    void progressUpdated(std::uint8_t progress, const QString& description);
    void connected(const Hvd::Weft::Communication::Device& device);
    // Another kind of sensor answered. It is being released; released() follows.
    void wrongSensor(const Hvd::Weft::Communication::Device& device);
    void connectFailed(const QString& message);
    // A failed release brings its message.
    void released(const std::optional<QString>& releaseError);

private:
    void startRelease(Release how);
    void releaseEnded(const std::optional<QString>& releaseError);

    DeviceStack& stack;
    State state = State::Idle;
    QString port;
    std::optional<Release> pendingRelease;
    // The connector releases a sensor of the wrong kind on its own: a
    // failure of that release is only logged, the user has heard why.
    bool quietRelease = false;
    QTimer interruptWatch;
    // The abort of the running interrupt, and whether the service took it up.
    quint64 interruptRequest = 0;
    bool interruptTaken = false;
};

} // namespace Hvd::Weft::Components
