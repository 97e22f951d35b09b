#include "communication/internal/Bootloader.h"

#include "protocol/VELTRIX.h"

namespace Hvd::Weft::Communication::Internal
{

namespace
{

BootloaderHandler::BLFAMILY familyOf(Bootloader::Type type)
{
    switch (type)
    {
    case Bootloader::Type::MSP432:
        return BootloaderHandler::FAMILY_MSP432;
    case Bootloader::Type::TIVA:
        return BootloaderHandler::FAMILY_TIVA;
    case Bootloader::Type::Undefined:
        break;
    }
    return BootloaderHandler::FAMILY_UNDEF;
}

} // namespace

Bootloader::Bootloader(QObject* parent, VELTRIX* facade, Port* port, const VELTRIX_Timing& timing)
    : Default(parent, facade, port, ClosePortWhenFinished::Yes, timing)
    , handler(new BootloaderHandler(this, facade->getSerialPort(), BootloaderHandler::FAMILY_UNDEF,
                                    BootloaderHandler::INTERFACE_UNDEF, timing.bootloader))
    , handOverTimer(this)
{
    handOverTimer.setSingleShot(true);
    handOverTimer.setTimerType(Qt::PreciseTimer);
    connect(&handOverTimer, &QTimer::timeout, this, &Bootloader::onHandOver);
    connect(handler, &BootloaderHandler::actionProgress, this,
            [this](std::uint8_t percent)
            {
                if (phase != Phase::Idle)
                    setProgress(percent);
            });
    connect(handler, &BootloaderHandler::log, this, [this](const QString& text) { trace(text); });
    connect(handler, &BootloaderHandler::stateChanged, this, &Bootloader::onState);
    connect(handler, &BootloaderHandler::error, this, &Bootloader::onError);
}

void Bootloader::start(Address::Type type, const Device& target, Type blType, const QString& image,
                       bool rescueMode, bool leaveOpen)
{
    leavePortOpenOnError = leaveOpen;
    fileName = image;
    const auto family = familyOf(blType);
    if (family != handler->getFamily())
        handler->setFamily(family);
    handler->setInterface(BootloaderHandler::INTERFACE_UART);
    if (!handler->isConnected())
        handler->setInterfaceName(port->comport.number);
    handler->setLeavePortOpenOnError(leavePortOpenOnError);

    phase = Phase::AwaitingBootloader;
    device = target;
    setProgress(0);

    // A sensor already in its bootloader (the rescue, or a retry after a
    // failed transfer) cannot answer 133.
    if (handler->isConnected() || rescueMode)
    {
        handOverLater();
        return;
    }
    sequences.clear();
    sequences.list.append(Sequence(
        type, Session::Data{VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_133,
                            Session::getDefaultData(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_133)}));
    session->startWith(device.address.asArray(type), sequences.list.front().items, timing.uploadStartDelayMs);
    incProgress(1);
}

void Bootloader::recieveStateMachine(VELTRIX_Session& response)
{
    Sequence* sequence = sequences.running();
    if (phase != Phase::AwaitingBootloader || sequence == nullptr)
        return;
    if (!acceptedAnswer(response, *sequence))
        return;
    incProgress(1);
    if (response.getCommand() == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_133)
    {
        trace(QStringLiteral("Device responded to command 133: Bootloader started -> closing port"));
        handOverLater();
    }
}

void Bootloader::handOverLater()
{
    phase = Phase::Uploading;
    // From now on the line does not speak VELTRIX: no frame may be parsed
    // from the bootloader's bytes.
    facade->disconnectSerialPortSignals();
    // The sensor restarts into its bootloader meanwhile.
    handOverTimer.start(timing.bootloaderHandOverMs);
}

void Bootloader::onHandOver()
{
    if (phase != Phase::Uploading)
        return;
    // The loader puts its own line settings on the port.
    port->foreignLineSettings = true;
    handler->download(fileName);
}

void Bootloader::onState(::Bootloader::BLSTATE state)
{
    if (const QString text = ::Bootloader::stateText(state); !text.isEmpty())
        trace(QStringLiteral("New Bootloader state: ") + text);
    if (phase == Phase::Idle || state != ::Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL)
        return;
    setProgress(100);
    emit success();
    // The loader lets go of the port before the stack reads it again.
    handler->disconnectBootloader();
    facade->connectSerialPortSignals();
    port->close();
    phase = Phase::Idle;
}

void Bootloader::onError(const QString& text)
{
    if (phase != Phase::Idle)
        failed(tr("Bootloader: ") + text);
}

QString Bootloader::noResponseText() const
{
    return tr("Device didn`t respond -> timeout! !");
}

void Bootloader::failed(const QString& text)
{
    // The link layer gets the port back before anyone hears of the failure,
    // so that the next operation on this port finds the stack whole.
    if (phase == Phase::Uploading)
    {
        // Also after the errors the loader reports while still wired to the
        // port: both must never read the line at once.
        handler->stopTransfer();
        facade->connectSerialPortSignals();
    }
    emit error(text);
    resetRun();
    if (!leavePortOpenOnError)
        port->close();
}

void Bootloader::lineLost(const QString& text)
{
    if (!isActive())
        return;
    leavePortOpenOnError = false;
    failed(text);
}

void Bootloader::abort()
{
    emit log(LogLevel::Info, QStringLiteral("Operation was aborted and com port was closed!"));
    if (phase == Phase::Uploading)
    {
        // The front end lets go of the port and drops its transfer before the
        // stack takes the port back, so that no byte is read by both and a
        // retry finds the loader idle.
        handler->stopTransfer();
        facade->connectSerialPortSignals();
    }
    resetRun();
    port->close();
}

void Bootloader::resetRun()
{
    handOverTimer.stop();
    session->stop();
    phase = Phase::Idle;
    setProgress(0);
}

} // namespace Hvd::Weft::Communication::Internal
