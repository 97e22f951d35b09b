#include "tools/orvik-rescale/RescaleRun.h"

#include "app/ParameterizeOrvikCommand.h"
#include "app/RescalerSteps.h"
#include "components/commands/CompositeCommand.h"
#include "components/commands/ReadParametersCommand.h"
#include "components/logging/Logger.h"
#include "tools/orvik-rescale/RescaleArguments.h"

#include <QCoreApplication>

using Hvd::Weft::Communication::DeviceServiceTimeouts;
using Hvd::Weft::Communication::VeltrixDeviceService;
using Hvd::Weft::Components::Command;
using Hvd::Weft::Components::CompositeCommand;
using Hvd::Weft::Components::Connector;
using Hvd::Weft::Components::DeviceConnector;
using Hvd::Weft::Components::Logger;
using Hvd::Weft::Components::ReadParametersCommand;

namespace
{

constexpr int scanIntervalMs = 1000;
constexpr int releaseWatchMs = 20;
// The service confirms an abort at once; this only guards a stuck thread.
constexpr int interruptReleaseMs = 3000;

// As the measurements widget shows a number with no fixed decimals (six
// significant digits), but always in the C locale: scripts read these lines,
// and a group separator ("5,116" or "5.116") would make them ambiguous.
// Rich-text superscripts become plain characters for the terminal.
QString shownText(double value, const QString& unit)
{
    QString plainUnit = unit;
    plainUnit.replace(QLatin1String("<sup>2</sup>"), QStringLiteral("\u00B2"))
        .replace(QLatin1String("<sup>3</sup>"), QStringLiteral("\u00B3"));
    return QString::number(value, 'g', 6) + QLatin1Char(' ') + plainUnit;
}

} // namespace

RescaleRun::RescaleRun(const QString& portName, const Orvik& size, const DeviceServiceTimeouts& timeouts,
                       QObject* parent)
    : QObject(parent)
    , port(portName)
    , orvik(size)
    , service(std::make_unique<VeltrixDeviceService>(timeouts, RescalerSteps::serialPortOptions()))
    , scanner(scanIntervalMs)
    , connector(context, *service, scanner)
    , readCommand(new ReadParametersCommand(
          context, *service, RescalerSteps::windowText("Reading calibrated diameter"), nullptr))
    , parameterizeCommand(new ParameterizeOrvikCommand(context, *service, nullptr))
{
    deviceThread.setObjectName(QStringLiteral("DeviceThread"));
    service->moveToThread(&deviceThread);
    deviceThread.start(QThread::InheritPriority);
    RescalerSteps::forwardServiceLog(*service);

    composite = std::make_unique<CompositeCommand>(std::vector<Command*>{readCommand, parameterizeCommand},
                                                   true, nullptr);
    parameterizeCommand->setOrvik(orvik);
    RescalerSteps::connectCalibratedDiameter(*readCommand, *parameterizeCommand);
    connect(parameterizeCommand, &ParameterizeOrvikCommand::valueCalculated, this,
            [this](bool isDeviceParameter, const QString& name, double value, const QString& unit)
            {
                const auto shown =
                    isDeviceParameter ? RescalerSteps::shownValue(name, value, unit) : std::nullopt;
                if (!shown)
                    return;
                (shown->row == QLatin1String("InnerDiameter") ? innerDiameter : maxFlow) =
                    shownText(shown->value, shown->unit);
            });

    connect(composite.get(), &Command::progressUpdated, this, &RescaleRun::showProgress);
    connect(composite.get(), &Command::warningOccurred, this,
            [this](const QString& warning) { Q_EMIT printed(tr("Warning: %1").arg(warning)); });
    connect(composite.get(), &Command::finished, this, &RescaleRun::succeed);
    connect(composite.get(), &Command::errorOccurred, this,
            [this](const QString& message, Hvd::Weft::Components::System, bool disconnected)
            { fail(message, disconnected); });

    connect(&connector, &Connector::progressUpdated, this,
            [this](std::uint8_t progress, const QString& description)
            {
                // As in the window: the release after a failure is not shown.
                if (stage == Stage::Connecting || stage == Stage::Rescaling)
                    showProgress(progress, description);
            });
    connect(&connector, &DeviceConnector::deviceConnected, this, &RescaleRun::checkSensor);
    connect(&connector, &DeviceConnector::unexpectedDeviceConnected, this,
            [this] { fail(RescalerSteps::windowText("Only Orvik devices are supported.")); });
    connect(&connector, &Connector::errorOccurred, this,
            [this](const QString& message)
            {
                if (stage == Stage::Releasing)
                    releaseEnded(message);
                else
                    fail(message);
            });
    connect(&connector, &Connector::targetDisconnected, this,
            [this]
            {
                if (stage == Stage::Releasing)
                    releaseEnded(std::nullopt);
            });

    interruptWatch.setSingleShot(true);
    interruptWatch.setInterval(interruptReleaseMs);
    connect(&interruptWatch, &QTimer::timeout, this,
            [this]
            {
                Logger::error("The port was not confirmed released after the interrupt");
                end(RescaleArguments::RescaleFailed);
            });

    releaseWatch.setInterval(releaseWatchMs);
    connect(&releaseWatch, &QTimer::timeout, this,
            [this]
            {
                if (connector.isRunning())
                    return;
                releaseWatch.stop();
                releaseEnded(std::nullopt);
            });
}

RescaleRun::~RescaleRun()
{
    // As the window does: the device thread stops first; the service is
    // destroyed after it, in this thread.
    deviceThread.quit();
    deviceThread.wait();
}

void RescaleRun::start()
{
    if (stage != Stage::Idle)
        return;
    Logger::info("Rescaling the device on {} to {}", port.toStdString(), std::string(orvik.name));
    stage = Stage::Connecting;
    if (const auto importFailure = RescalerSteps::importDeviceDescription(context))
    {
        fail(*importFailure);
        return;
    }
    connector.connectTarget(port);
}

void RescaleRun::interrupt(const QString& reason)
{
    if (stage == Stage::Done || interruptWatch.isActive())
        return;
    Logger::warn("Rescale interrupted ({}): stopping and releasing the port", reason.toStdString());
    const bool sensorTouched = stage == Stage::Rescaling;
    composite->cancel();
    releaseWatch.stop();
    stage = Stage::Releasing;
    QString message = tr("Interrupted by %1: the rescale was stopped and the port released.").arg(reason);
    if (sensorTouched)
        message += QLatin1Char(' ') + tr("The sensor may hold only part of the new parameters; "
                                         "run the rescale again.");
    // The abort stops every sequence and closes the port; its confirmation,
    // heard only once the service has taken up this very request, ends the run.
    const quint64 requestId = service->newRequestId();
    auto taken = std::make_shared<bool>(false);
    connect(service.get(), &VeltrixDeviceService::requestTaken, this,
            [taken, requestId](quint64 id) { *taken = *taken || id == requestId; });
    connect(service.get(), &VeltrixDeviceService::successDisconnecting, this,
            [this, taken, message]
            {
                if (!*taken || !interruptWatch.isActive())
                    return;
                interruptWatch.stop();
                Q_EMIT failed(message);
                end(RescaleArguments::RescaleFailed);
            });
    interruptWatch.start();
    QMetaObject::invokeMethod(
        service.get(),
        [target = service.get(), requestId]
        {
            target->tagNextRequest(requestId);
            target->abort();
        },
        Qt::QueuedConnection);
}

void RescaleRun::showProgress(std::uint32_t progress, const QString& description)
{
    const QString line =
        QStringLiteral("[%1%] %2").arg(QString::number(progress).rightJustified(3), description);
    if (line == lastProgress)
        return;
    lastProgress = line;
    Q_EMIT printed(line);
}

void RescaleRun::checkSensor()
{
    if (stage != Stage::Connecting)
        return;
    if (const auto failure = RescalerSteps::prepareCalibratedDiameterRead(context, *readCommand))
    {
        fail(*failure);
        return;
    }
    stage = Stage::Rescaling;
    composite->execute();
}

void RescaleRun::succeed()
{
    if (stage != Stage::Rescaling)
        return;
    Logger::info("Rescaled the device on {} to {}", port.toStdString(), std::string(orvik.name));
    showProgress(100, QCoreApplication::translate("Hvd::Weft::Components::ExecuteCommandWidget", "Success"));
    Q_EMIT printed(RescalerSteps::windowText("Inner Diameter") + QStringLiteral(": ") + innerDiameter);
    Q_EMIT printed(RescalerSteps::windowText("Max. flow") + QStringLiteral(": ") + maxFlow);
    end(RescaleArguments::Success);
}

void RescaleRun::fail(const QString& message, bool lineLost)
{
    if (stage == Stage::Releasing || stage == Stage::Done)
        return;
    Logger::error("Rescaling failed: {}", message.toStdString());
    failure = message;
    stage = Stage::Releasing;
    if (lineLost && connector.isTargetConnected() && !connector.isRunning())
    {
        // As the window does: the service has closed the port already.
        connector.disconnectLostTarget();
        return;
    }
    // As the window's reset: a sensor still connected is restarted and
    // released before the program ends.
    if (connector.isTargetConnected() && !connector.isRunning())
    {
        connector.setRunning(true);
        connector.disconnectTarget();
        return;
    }
    if (connector.isRunning())
    {
        // The connector releases a sensor of the wrong kind by itself.
        releaseWatch.start();
        return;
    }
    releaseEnded(std::nullopt);
}

void RescaleRun::releaseEnded(const std::optional<QString>& releaseError)
{
    if (stage != Stage::Releasing || interruptWatch.isActive())
        return;
    Q_EMIT failed(failure);
    // The window would show the failed release in a second message box.
    if (releaseError)
        Q_EMIT failed(*releaseError);
    end(RescaleArguments::RescaleFailed);
}

void RescaleRun::end(int exitCode)
{
    if (stage == Stage::Done)
        return;
    stage = Stage::Done;
    code = exitCode;
    Q_EMIT finished(exitCode);
}
