#include "tools/orvik/RescaleRun.h"

#include "app/RescaleFlow.h"
#include "logging/Logger.h"
#include "tools/orvik/RescaleArguments.h"

#include <QCoreApplication>

using Hvd::Weft::Components::Logger;

namespace
{

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

RescaleRun::RescaleRun(const QString& portName, const Orvik& size, const VELTRIX_Timing& timing,
                       QObject* parent)
    : CommandRun(parent)
    , port(portName)
    , orvik(size)
    , stack(timing)
    , flow(std::make_unique<RescaleFlow>(stack))
{
    flow->setOrvik(orvik);
    connect(flow.get(), &RescaleFlow::valueShown, this,
            [this](const QString& row, double value, const QString& unit)
            { (row == QLatin1String("InnerDiameter") ? innerDiameter : maxFlow) = shownText(value, unit); });
    connect(flow.get(), &RescaleFlow::progressUpdated, this,
            [this](std::uint32_t progress, const QString& description)
            { showProgress(progress, description); });
    connect(flow.get(), &RescaleFlow::warningOccurred, this,
            [this](const QString& warning) { Q_EMIT progressed(tr("Warning: %1").arg(warning)); });
    connect(flow.get(), &RescaleFlow::succeeded, this, &RescaleRun::succeed);
    connect(flow.get(), &RescaleFlow::failed, this,
            [this](const QString& message)
            {
                if (failure.isEmpty())
                    failure = message;
            });
    connect(flow.get(), &RescaleFlow::backupSaved, this,
            [this](const QString& path)
            {
                backupPath = path;
                Q_EMIT progressed(tr("Backup saved: %1").arg(path));
            });
    connect(flow.get(), &RescaleFlow::reportSaved, this,
            [this](const QString& pdf, const QString& json)
            {
                reportPath = pdf;
                reportDataPath = json;
            });
    connect(flow.get(), &RescaleFlow::reportFailed, this,
            [this](const QString& message) { Q_EMIT progressed(tr("Warning: %1").arg(message)); });
    // Told once the sensor is released: the program ends only then.
    connect(flow.get(), &RescaleFlow::released, this, &RescaleRun::releaseEnded);
}

RescaleRun::~RescaleRun() = default;

void RescaleRun::setBackupFolder(const QString& folder)
{
    flow->setBackupFolder(folder);
}

void RescaleRun::start()
{
    if (started)
        return;
    started = true;
    Logger::info("Rescaling the device on {} to {}", port.toStdString(), std::string(orvik.name));
    flow->start(port);
}

void RescaleRun::interrupt(const QString& reason)
{
    if (code)
        return;
    interruption = tr("Interrupted by %1: the rescale was stopped and the port released.").arg(reason);
    const QString advice = flow->partialWriteAdvice();
    if (!advice.isEmpty())
        interruption += QLatin1Char(' ') + advice;
    else if (flow->getStage() == RescaleFlow::Stage::Rescaling)
        interruption += QLatin1Char(' ') + tr("The sensor may hold only part of the new parameters; "
                                              "run the rescale again.");
    flow->interrupt();
}

void RescaleRun::succeed()
{
    if (code)
        return;
    Logger::info("Rescaled the device on {} to {}", port.toStdString(), std::string(orvik.name));
    showProgress(100, QCoreApplication::translate("Hvd::Weft::Components::ExecuteCommandWidget", "Success"));
    Q_EMIT printed(RescaleFlow::text("Inner Diameter") + QStringLiteral(": ") + innerDiameter);
    Q_EMIT printed(RescaleFlow::text("Max. flow") + QStringLiteral(": ") + maxFlow);
    Q_EMIT printed(tr("Backup: %1").arg(backupPath));
    if (!reportPath.isEmpty())
    {
        Q_EMIT printed(tr("Report: %1").arg(reportPath));
        Q_EMIT printed(tr("Report data: %1").arg(reportDataPath));
    }
    end(RescaleArguments::Success);
}

void RescaleRun::releaseEnded(const std::optional<QString>& releaseError)
{
    if (code)
        return;
    if (!interruption.isEmpty())
    {
        Q_EMIT failed(interruption);
        end(RescaleArguments::RescaleFailed);
        return;
    }
    Q_EMIT failed(failure);
    // The window would show the failed release in a second message box.
    if (releaseError)
        Q_EMIT failed(*releaseError);
    end(RescaleArguments::RescaleFailed);
}
