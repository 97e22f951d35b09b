#include "communication/internal/Port.h"

#include "protocol/VELTRIX.h"

namespace Hvd::Weft::Communication::Internal
{

Port::Port(QObject* parent, VELTRIX* facade, const VELTRIX_Timing& timing)
    : QObject(parent)
    , openTimeoutMs(timing.portOpenTimeoutMs)
    , facade(facade)
    , pace(timing.pace)
    , openTimer(this)
{
    openTimer.setSingleShot(true);
    openTimer.setTimerType(Qt::PreciseTimer);
    connect(&openTimer, &QTimer::timeout, this, &Port::onOpenTimeout);
    connect(this, &Port::openPort, facade, &VELTRIX::portOpen);
    connect(facade, &VELTRIX::portNewState, this, &Port::onNewState);
}

VELTRIX_Session::InterfaceSettings Port::settingsFor(const Comport& port) const
{
    VELTRIX_Session::InterfaceSettings settings;
    VELTRIX_Session::getDefaultSettingsForInterface(&settings);
    settings.portName = port.number;
    settings.singleWire = port.halfDuplex;
    settings.powerCycle = true;
    // The adapter's own times, at the pace of both ends of the line.
    settings.powerDownMs = static_cast<unsigned>(VELTRIX_Timing::scaleDelay(port.powerDownMs, pace));
    settings.startupMs = static_cast<unsigned>(VELTRIX_Timing::scaleDelay(port.startupMs, pace));
    return settings;
}

void Port::reopen(const Comport& newComport, int timeoutMs)
{
    emit log(LogLevel::Trace, QStringLiteral("Trying to open com port"));
    emit openPort(true, settingsFor(newComport));
    openTimer.start(timeoutMs);
}

void Port::close()
{
    // Whoever closes wants the port closed: a reopen waiting for an earlier
    // close is off.
    reopenPending = false;
    // One close on its way is enough: a second one would reach a port that
    // is already closed and fail there.
    if (closesInFlight > 0)
        return;
    emit log(LogLevel::Trace, QStringLiteral("Com port will be closed"));
    ++closesInFlight;
    emit openPort(false, settingsFor(comport));
    openTimer.stop();
}

void Port::onNewState(bool open)
{
    foreignLineSettings = false;
    if (open)
    {
        isOpen = true;
        openTimer.stop();
        emit log(LogLevel::Trace, QStringLiteral("Com port is open"));
        emit opened();
        return;
    }

    if (closesInFlight > 0)
        --closesInFlight;
    emit log(LogLevel::Trace, QStringLiteral("Com port is closed"));
    if (reopenPending)
    {
        reopenPending = false;
        reopen(comport, 2 * openTimeoutMs);
        return;
    }
    isOpen = false;
    emit closed();
}

void Port::onOpenTimeout()
{
    emit log(LogLevel::Error, QStringLiteral("Com port could not be opened. A timeout has occurred!"));
    emit failed();
}

} // namespace Hvd::Weft::Communication::Internal
