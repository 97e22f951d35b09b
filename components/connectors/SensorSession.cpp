#include "components/connectors/SensorSession.h"

#include "components/connectors/DeviceStack.h"
#include "logging/Logger.h"

namespace Hvd::Weft::Components
{

using Communication::DeviceService;

SensorSession::SensorSession(DeviceStack& deviceStack, QObject* parent)
    : QObject(parent)
    , stack(deviceStack)
{
    DeviceConnector& connector = stack.getConnector();
    DeviceService& service = stack.getService();
    connect(&connector, &Connector::progressUpdated, this, &SensorSession::progressUpdated);
    connect(&connector, &DeviceConnector::deviceConnected, this,
            [this](const Communication::Device& device)
            {
                if (state != State::Connecting)
                    return;
                state = State::Connected;
                if (const auto how = std::exchange(pendingRelease, std::nullopt))
                {
                    startRelease(*how);
                    return;
                }
                Q_EMIT connected(device);
            });
    connect(&connector, &DeviceConnector::unexpectedDeviceConnected, this,
            [this](const Communication::Device& device)
            {
                if (state != State::Connecting)
                    return;
                // The connector releases it on its own and says when it is done.
                state = State::Releasing;
                pendingRelease.reset();
                quietRelease = true;
                Q_EMIT wrongSensor(device);
            });
    connect(&connector, &Connector::errorOccurred, this,
            [this](const QString& message)
            {
                if (state != State::Connecting)
                    return;
                state = State::Idle;
                if (std::exchange(pendingRelease, std::nullopt))
                {
                    Q_EMIT released(message);
                    return;
                }
                Q_EMIT connectFailed(message);
            });
    // The port vanished from under a connected sensor: the connection has
    // ended without a release.
    connect(&connector, &Connector::targetDisconnected, this,
            [this]
            {
                if (state != State::Connected)
                    return;
                state = State::Idle;
                Q_EMIT released(std::nullopt);
            });
    connect(&connector, &DeviceConnector::releaseEnded, this, &SensorSession::releaseEnded);

    interruptWatch.setSingleShot(true);
    interruptWatch.setInterval(stack.getTiming().releaseTimeoutMs);
    connect(&interruptWatch, &QTimer::timeout, this,
            [this]
            {
                Logger::error("The port was not confirmed released after the interrupt");
                state = State::Idle;
                Q_EMIT released(std::nullopt);
            });
    connect(&service, &DeviceService::requestTaken, this,
            [this](quint64 id)
            {
                if (state == State::Interrupting && id == interruptRequest)
                    interruptTaken = true;
            });
    connect(&service, &DeviceService::successDisconnecting, this,
            [this]
            {
                if (state != State::Interrupting || !interruptTaken)
                    return;
                interruptWatch.stop();
                state = State::Idle;
                Q_EMIT released(std::nullopt);
            });
}

SensorSession::State SensorSession::getState() const
{
    if (state == State::Connected && !stack.getConnector().isTargetConnected())
        return State::Idle;
    return state;
}

bool SensorSession::isFree() const
{
    const DeviceConnector& connector = stack.getConnector();
    return getState() == State::Idle && !connector.isRunning() && !connector.isTargetConnected();
}

bool SensorSession::connectSensor(const QString& portName)
{
    if (!isFree())
        return false;
    port = portName;
    state = State::Connecting;
    pendingRelease.reset();
    quietRelease = false;
    stack.getConnector().connectTarget(port);
    return true;
}

bool SensorSession::release(Release how)
{
    switch (getState())
    {
    case State::Idle:
        state = State::Idle;
        return false;
    case State::Connecting:
        pendingRelease = how;
        return true;
    case State::Connected:
        startRelease(how);
        return true;
    case State::Releasing:
    case State::Interrupting:
        return true;
    }
    return false;
}

void SensorSession::startRelease(Release how)
{
    DeviceConnector& connector = stack.getConnector();
    state = State::Releasing;
    // A release the connector runs already ends with its own signal.
    if (connector.isRunning())
        return;
    if (!connector.isTargetConnected())
    {
        releaseEnded(std::nullopt);
        return;
    }
    if (how == Release::Close)
    {
        connector.releaseTarget();
    }
    else
    {
        connector.setRunning(true);
        connector.disconnectTarget();
    }
}

void SensorSession::releaseEnded(const std::optional<QString>& releaseError)
{
    if (state != State::Releasing)
        return;
    state = State::Idle;
    if (std::exchange(quietRelease, false))
    {
        if (releaseError)
            Logger::warn("Releasing the other sensor failed: {}", releaseError->toStdString());
        Q_EMIT released(std::nullopt);
        return;
    }
    Q_EMIT released(releaseError);
}

void SensorSession::interrupt()
{
    if (state == State::Interrupting)
        return;
    state = State::Interrupting;
    pendingRelease.reset();
    quietRelease = false;
    // The abort stops every sequence and closes the port; its confirmation,
    // heard only once the service has taken up this very request, ends it.
    DeviceService& service = stack.getService();
    const quint64 requestId = service.newRequestId();
    interruptRequest = requestId;
    interruptTaken = false;
    interruptWatch.start();
    QMetaObject::invokeMethod(
        &service,
        [target = &service, requestId]
        {
            target->tagNextRequest(requestId);
            target->abort();
        },
        Qt::QueuedConnection);
}

} // namespace Hvd::Weft::Components
