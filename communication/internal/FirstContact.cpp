#include "communication/internal/FirstContact.h"
#include "protocol/VELTRIX_Keys.h"

#include <array>

namespace Hvd::Weft::Communication::Internal
{

namespace
{

// Rates of the bits 0 to 9 of the baud rate mask of command 128.
constexpr std::array<std::uint32_t, 10> maskRates{1200,  2400,  4800,   9600,   19200,
                                                  38400, 57600, 115200, 230400, 460800};

Session::Data defaultRequest(Session::Command command)
{
    return {command, Session::getDefaultData(command)};
}

Sequence identificationSequence(Address::Type type)
{
    return Sequence(type,
                    QList<Session::Data>{defaultRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135),
                                         defaultRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_136),
                                         defaultRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141)});
}

bool isSubDeviceType(Address::Type type)
{
    return type == Address::Type::SubDevice || type == Address::Type::DeviceAndSubDevice;
}
} // namespace

FirstContact::FirstContact(QObject* parent, VELTRIX* facade, Port* port, ClosePortWhenFinished close,
                           const VELTRIX_Timing& timing)
    : Default(parent, facade, port, close, timing)
{
    connect(port, &Port::opened, this, &FirstContact::onPortOpened);
    connect(port, &Port::closed, this, [] {});
    connect(port, &Port::failed, this, &FirstContact::onPortFailed);
}

std::uint32_t FirstContact::chooseBaudrate(std::uint16_t mask)
{
    for (std::size_t bit = maskRates.size() - 1; bit >= 1; --bit)
    {
        if (mask & (1u << bit))
            return maskRates[bit];
    }
    return maskRates[0];
}

void FirstContact::start(const Comport& comport, bool deviceIdentification)
{
    if (running)
        return;
    reset();
    incProgress(10);
    identify = deviceIdentification;
    running = true;

    port->reopenPending = false;
    const bool sameComport = port->comport == comport;
    if (port->isOpen && port->pendingCloses() == 0 && sameComport && !port->foreignLineSettings)
    {
        emit port->log(LogLevel::Trace, QStringLiteral("same com port already open"));
        emit port->opened();
        return;
    }

    port->comport = comport;
    if (!port->isOpen)
    {
        port->reopen(comport, port->openTimeoutMs);
    }
    else if (port->pendingCloses() > 0)
    {
        // Already closing (e.g. right after an abort): open again once the close is reported.
        port->reopenPending = true;
    }
    else
    {
        emit port->log(LogLevel::Trace,
                       port->foreignLineSettings && sameComport
                           ? QStringLiteral("com port left at the bootloader's line settings. "
                                            "Closing ...")
                           : QStringLiteral("different com port already open. Closing ..."));
        port->close();
        port->reopenPending = true;
    }
}

void FirstContact::reset()
{
    setProgress(0);
    stepTimer.stop();
    session->stop();
    sequences.clear();
    device = Device{};
    running = false;
}

void FirstContact::abort()
{
    abortRun();
}

void FirstContact::printCommandError(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND received,
                                     VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND expected)
{
    const Message text = *commandError(expected, received);
    logError(text.log);
    failRun(text.user);
}

void FirstContact::onPortOpened()
{
    if (!running)
        return;
    if (identify)
    {
        session->startWith({0, 0, 0, 0, 0},
                           {defaultRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137)},
                           timing.firstContact.startDelayMs);
        return;
    }
    setProgress(100);
    running = false;
    closePortIfWanted();
    Device placeholder;
    placeholder.name = bootloaderDeviceName;
    emit foundDevice(placeholder);
}

void FirstContact::onPortFailed()
{
    if (running)
        failRun(tr("Could not open com port!"));
}

QString FirstContact::noResponseText() const
{
    return tr("Could not find the device -> timeout!");
}

void FirstContact::onStep()
{
    const Sequence* sequence = sequences.running();
    if (sequence == nullptr)
        return;
    session->startWith(device.address.asArray(sequence->addressType), sequence->items, 0);
}

void FirstContact::recieveStateMachine(VELTRIX_Session& response)
{
    if (!running)
        return;
    const QMap<QString, QVariant> map = Session::getCommandData(response);
    const Session::Command received = response.getCommand();

    if (const auto status = statusError(map, received))
    {
        logError(status->log);
        failRun(status->user);
        return;
    }

    if (sequences.list.isEmpty())
    {
        incProgress(10);
        if (received != VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137)
        {
            printCommandError(received, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137);
            return;
        }
        evaluateAddress(map);
        stepTimer.start(timing.firstContact.stepDelayMs);
        return;
    }

    incProgress(80 / (2 * static_cast<unsigned>(sequences.list.size())));
    Sequence* sequence = sequences.running();
    const auto expected = sequence->getCurrent();
    if (!expected || received != expected->command)
    {
        printCommandError(received,
                          expected ? expected->command : VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND);
        return;
    }
    evaluate(*sequence, received, map);

    if (sequence->hasFurtherItem())
    {
        ++sequence->current;
    }
    else if (sequences.hasFurtherSequence())
    {
        ++sequences.index;
        stepTimer.start(timing.firstContact.stepDelayMs);
    }
    else
    {
        setProgress(100);
        running = false;
        closePortIfWanted();
        emit foundDevice(device);
    }
}

void FirstContact::evaluateAddress(const QMap<QString, QVariant>& map)
{
    const auto byteOf = [&map](const QString& key)
    { return static_cast<std::uint8_t>(map.value(key).toString().toUInt() & 0xFF); };
    device.address.bytes = {byteOf(VELTRIX_Keys::addressVendorId), 0, byteOf(VELTRIX_Keys::addressSlave), 0,
                            byteOf(VELTRIX_Keys::addressSubslave)};

    const Address::Type type = device.address.getType();
    const auto sessionOf = [](Address::Type target, Session::Command command)
    { return Sequence(target, defaultRequest(command)); };
    if (type == Address::Type::DeviceAndSubDevice)
    {
        sequences.list = {sessionOf(Address::Type::Device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_128),
                          sessionOf(Address::Type::Device, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129),
                          identificationSequence(Address::Type::Device),
                          identificationSequence(Address::Type::DeviceAndSubDevice)};
    }
    else
    {
        sequences.list = {sessionOf(type, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_128),
                          sessionOf(type, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129),
                          identificationSequence(type)};
    }
    sequences.index = 0;

    trace(QStringLiteral("Device responded to command 137: address: %1 Typ: %2")
              .arg(session->getAddressAsString(device.address.bytes))
              .arg(static_cast<std::uint32_t>(type)));
}

void FirstContact::traceBaudrates(std::uint16_t mask)
{
    QString text = QStringLiteral("Device responded to command 128: ");
    for (std::size_t bit = 0; bit < maskRates.size(); ++bit)
        text += QStringLiteral(" %1").arg(maskRates[bit]) + tr(" Baud: ") +
                ((mask & (1u << bit)) ? tr("y") : tr("n"));
    trace(text);
}

void FirstContact::evaluate(const Sequence& sequence, Session::Command command,
                            const QMap<QString, QVariant>& map)
{
    const bool sub = isSubDeviceType(sequence.addressType);
    switch (command)
    {
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_128:
    {
        const auto mask = static_cast<std::uint16_t>(map.value(VELTRIX_Keys::baudrateBitmask).toUInt());
        traceBaudrates(mask);
        QMap<QString, QVariant> request =
            Session::getDefaultData(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129);
        request.insert(VELTRIX_Keys::baudrate, chooseBaudrate(mask));
        if (sequences.hasFurtherSequence())
        {
            Sequence& next = sequences.list[sequences.index + 1];
            if (!next.items.isEmpty() && next.current >= 0 && next.current < next.items.size())
                next.items[next.current].data = request;
        }
        break;
    }
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129:
        trace(QStringLiteral("Device responded to command 129: baudrate was changed"));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135:
    {
        const QString version = QStringLiteral("V%1.%2").arg(prependZero(map, VELTRIX_Keys::version),
                                                             prependZero(map, VELTRIX_Keys::subversion));
        (sub ? device.subVersion : device.version) = version;
        trace(QStringLiteral("Device responded to command 135: Version ") + version);
        break;
    }
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_136:
    {
        const QString revision = prependZero(map, VELTRIX_Keys::revisionYear) +
                                 prependZero(map, VELTRIX_Keys::revisionMonth) +
                                 prependZero(map, VELTRIX_Keys::revisionDay);
        (sub ? device.subRevision : device.revision) = revision;
        trace(QStringLiteral("Device responded to command 136: Revision ") + revision);
        break;
    }
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141:
    {
        const QString name = prependZero(map, VELTRIX_Keys::devicetypestring);
        (sub ? device.subName : device.name) = name;
        trace(QStringLiteral("Device responded to command 141: Name ") + name);
        break;
    }
    default:
        break;
    }
}

} // namespace Hvd::Weft::Communication::Internal
