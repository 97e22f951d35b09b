#include "tools/orvik-sim/OrvikSimulatorHost.h"

#include "logging/Logger.h"
#include "protocol/VELTRIX.h"
#include "protocol/VELTRIX_AppCodec.h"
#include "protocol/VELTRIX_Frame.h"
#include "protocol/VELTRIX_Keys.h"
#include "protocol/VELTRIX_SLAVE_AppLayer.h"
#include "tools/orvik-sim/OrvikMemoryLayout.h"
#include "tools/orvik-sim/OrvikPtyBackend.h"

#include <QJsonDocument>
#include <QSaveFile>

#include <bit>

namespace Hvd::Weft::Simulator
{

namespace
{
using Hvd::Weft::Components::Logger;

// A loader packet carries up to 256 data bytes; the log shows their start.
constexpr int iLoggedBytes = 24;
// The loader answers every few milliseconds; the state follows it in steps.
constexpr int iLoaderSaveIntervalMs = 100;

std::string hex(const QByteArray& bytes)
{
    return bytes.toHex(' ').toStdString();
}

std::string addressText(const QByteArray& bytes)
{
    QStringList parts;
    for (char b : bytes)
        parts << QString::number(static_cast<unsigned char>(b));
    return parts.join(QLatin1Char(' ')).toStdString();
}

const char* wireFaultText(WireFault fault)
{
    switch (fault)
    {
    case WireFault::None:
        return "";
    case WireFault::Silent:
        return " (not sent)";
    case WireFault::WrongCommand:
        return " (wrong command)";
    case WireFault::BadChecksum:
        return " (bad checksum)";
    case WireFault::FewPreambles:
        return " (few preambles)";
    }
    return "";
}
} // namespace

std::shared_ptr<SharedSensor> createSensor(const OrvikSimulatorOptions& options, QString* error)
{
    QString reason;
    const auto description = loadDescription(options.descriptionPath, &reason);
    if (!description)
    {
        if (error)
            *error = QStringLiteral("device description: ") + reason;
        return std::make_shared<SharedSensor>(OrvikSensor(options.sensor, {}, {}));
    }
    QStringList notes;
    auto sensor = std::make_shared<SharedSensor>(makeSensor(options.sensor, *description, &notes));
    for (const QString& note : std::as_const(notes))
        Logger::warn("orvik-sim: {}", note.toStdString());
    return sensor;
}

OrvikSimulatorHost::OrvikSimulatorHost(std::shared_ptr<SharedSensor> sensor,
                                       std::shared_ptr<OrvikPseudoTerminal> terminal,
                                       OrvikSimulatorOptions options, QObject* parent)
    : QObject(parent)
    , mSensor(std::move(sensor))
    , mTerminal(std::move(terminal))
    , mOptions(std::move(options))
    , mHangUpAt(mOptions.hangUpAtRequest)
{
}

OrvikSimulatorHost::~OrvikSimulatorHost()
{
    // The facade reports to us while it shuts its port down; it goes first.
    delete mFacade;
    mFacade = nullptr;
}

void OrvikSimulatorHost::start()
{
    if (mFacade)
        return;
    if (!mTerminal || !mTerminal->isValid())
    {
        emit failed(mTerminal ? mTerminal->errorString() : QStringLiteral("no pseudo-terminal"));
        return;
    }

    VELTRIX_Options options;
    options.timing = mOptions.timing;
    options.backendFactory = [this, terminal = mTerminal, echo = mOptions.adapterEcho]
    {
        return std::make_unique<OrvikPtyBackend>(terminal, echo,
                                                 [this](const QByteArray& bytes, std::uint32_t rate)
                                                 { return hears(bytes, rate); });
    };
    mFacade = new VELTRIX(this, VELTRIX_Session::VELTRIX_HW_UART, options);

    // Answers pass through here on their way to the port, so that the wire
    // faults can be played on the finished frame.
    VELTRIX_LinkLayer* link = mFacade->getLinkLayer();
    FSerialPort* port = mFacade->getSerialPort();
    disconnect(link, &VELTRIX_LinkLayer::portWriteData, port, &FSerialPort::writeDataToPort);
    connect(link, &VELTRIX_LinkLayer::portWriteData, this,
            [this](const QByteArray& data, bool) { forwardWrite(data); });
    connect(this, &OrvikSimulatorHost::writeToPort, port, &FSerialPort::writeDataToPort);
    mSaveTimer = new QTimer(this);
    mSaveTimer->setSingleShot(true);
    mSaveTimer->setInterval(iLoaderSaveIntervalMs);
    connect(mSaveTimer, &QTimer::timeout, this, &OrvikSimulatorHost::saveState);

    connect(mFacade->getSlaveAppLayer(), &VELTRIX_SLAVE_AppLayer::sessionRequestReceived, this,
            &OrvikSimulatorHost::requestReceived);
    connect(mFacade, &VELTRIX::sessionNewData, this, [this](VELTRIX_Session*) { requestAnswered(); });
    connect(mFacade, &VELTRIX::sessionNewInfo, this, &OrvikSimulatorHost::lineInfo);
    connect(mFacade, &VELTRIX::portNewState, this, &OrvikSimulatorHost::portStateChanged);

    const BusAddress address = mSensor->with([](const OrvikSensor& s) { return s.config().address; });
    mRecord = new VELTRIX_Session(this);
    mRecord->setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE);
    mRecord->setAddress(address.data());
    // The link layer compares a request's address with one address only,
    // except while the record's command is 137. The sensor answers to its
    // device address, its full address and its sub-device address, so the
    // record stays at 137 between requests and the core sorts addresses out.
    mRecord->setCommand(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137);
    mFacade->sessionStart(mRecord);
    syncLineMode();

    VELTRIX_Session::InterfaceSettings settings;
    VELTRIX_Session::getDefaultSettingsForInterface(&settings);
    settings.portName = mTerminal->devicePath();
    // The sensor hears no echo of its own answers and has no adapter to power.
    settings.singleWire = false;
    settings.powerCycle = false;
    mFacade->portOpen(true, settings);
}

void OrvikSimulatorHost::portStateChanged(bool open)
{
    if (open && !mReady)
    {
        mReady = true;
        Logger::info("orvik-sim: listening on {}", mTerminal->devicePath().toStdString());
        saveState();
        emit ready(mTerminal->devicePath());
        if (mOptions.hangUpAfterMs)
            QTimer::singleShot(*mOptions.hangUpAfterMs, this, &OrvikSimulatorHost::hangUp);
    }
    else if (!open && !mReady)
    {
        emit failed(QStringLiteral("could not open %1").arg(mTerminal->devicePath()));
    }
}

void OrvikSimulatorHost::hangUp()
{
    if (mHungUp || !mFacade)
        return;
    mHungUp = true;
    Logger::info("orvik-sim: the adapter is pulled from {}", mTerminal->devicePath().toStdString());
    mFacade->sessionStop();
    // The port's thread lets go of the terminal before it is closed under it.
    FSerialPort* port = mFacade->getSerialPort();
    QMetaObject::invokeMethod(port, &FSerialPort::closePort, Qt::BlockingQueuedConnection);
    mTerminal->hangUp();
    emit hungUp();
}

void OrvikSimulatorHost::hangUpAtNextRequest(std::optional<int> command)
{
    if (command)
        mHangUpOnCommand = command;
    else
        mHangUpAt = mRequestsHeard + 1;
}

void OrvikSimulatorHost::requestReceived(VELTRIX_Session* request)
{
    const QByteArray frame = request->getBuffer();
    // A frame without byte count is not answered by the application layer.
    if (frame.size() < VELTRIX_AppCodec::iHeaderSize)
        return;
    ++mRequestsHeard;
    if (mHungUp || (mHangUpAt && mRequestsHeard >= *mHangUpAt) ||
        (mHangUpOnCommand && *mHangUpOnCommand == request->getCommand()))
    {
        // Pulled while the request is on the wire: it is neither carried
        // out nor answered.
        SensorReply unheard;
        unheard.wire = WireFault::Silent;
        mPending = unheard;
        QMetaObject::invokeMethod(this, &OrvikSimulatorHost::hangUp, Qt::QueuedConnection);
        return;
    }
    SensorRequest input;
    input.command = request->getCommand();
    request->getDataForCommand(request->getCommand(), &input.values);
    for (int i = 0; i < VELTRIX_Frame::iAddressSize; ++i)
        input.address[i] = static_cast<std::uint8_t>(frame.at(VELTRIX_Frame::iOffsetAddress + i));

    const SensorReply reply = mSensor->with([&](OrvikSensor& sensor) { return sensor.handle(input); });
    if (!reply.addressed)
    {
        Logger::debug("orvik-sim: request {} to {} is not for this sensor", input.command,
                      addressText(frame.mid(VELTRIX_Frame::iOffsetAddress, VELTRIX_Frame::iAddressSize)));
    }
    else
    {
        Logger::info("orvik-sim: request {} to {}: {}", input.command,
                     addressText(frame.mid(VELTRIX_Frame::iOffsetAddress, VELTRIX_Frame::iAddressSize)),
                     hex(frame.mid(VELTRIX_AppCodec::iHeaderSize)));
    }

    const auto command = static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(input.command);
    mRecord->setAddress(reply.address.data());
    mRecord->setDataForCommand(command, reply.values);
    if (input.command == 142 && reply.wire != WireFault::Silent &&
        reply.values.value(VELTRIX_Keys::statusLow).toInt() == 0)
    {
        mBurstTarget = reply.target;
        mRecord->setDataForCommand(
            VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139,
            mSensor->with([&](OrvikSensor& s) { return s.burstValues(*reply.target); }));
    }
    mPending = reply;
    if (reply.addressed)
        saveState();
}

void OrvikSimulatorHost::requestAnswered()
{
    // A request too short to be answered leaves nothing behind for the next write.
    mPending.reset();
    mRecord->setCommand(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137);
}

void OrvikSimulatorHost::forwardWrite(const QByteArray& framed)
{
    const int header = VELTRIX_Frame::iTxPreambels + VELTRIX_AppCodec::iHeaderSize;
    const QByteArray address =
        framed.mid(VELTRIX_Frame::iTxPreambels + VELTRIX_Frame::iOffsetAddress, VELTRIX_Frame::iAddressSize);
    const int command = framed.size() > header ? static_cast<unsigned char>(framed.at(header - 2)) : 0;
    // Status bytes and payload, without the checksum.
    const QByteArray payload = framed.mid(header, framed.size() - header - 1);

    WireFault fault = WireFault::None;
    QByteArray out = framed;
    if (mPending)
    {
        fault = mPending->wire;
        if (!mPending->extraVariables.isEmpty())
            out = withExtraVariables(framed, mPending->extraVariables);
        const bool addressed = mPending->addressed;
        mPending.reset();
        if (addressed)
            Logger::info("orvik-sim: answer {} from {}: {}{}", command, addressText(address), hex(payload),
                         wireFaultText(fault));
    }
    else
    {
        // Not an answer, so a burst frame; the next one carries fresh values.
        Logger::debug("orvik-sim: burst {} from {}: {}", command, addressText(address), hex(payload));
        if (mBurstTarget)
            mRecord->setDataForCommand(
                VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139,
                mSensor->with([this](OrvikSensor& s) { return s.burstValues(*mBurstTarget); }));
    }
    // A silent answer still "leaves" as nothing, so that the link layer ends
    // its sending state and listens again.
    emit writeToPort(applyWireFault(out, fault), false);
    syncLineMode();
}

void OrvikSimulatorHost::loaderData(const QByteArray& bytes)
{
    if (!mLoaderActive)
        return;
    const QByteArray answer = mSensor->with([&](OrvikSensor& s) { return s.bootloaderReceive(bytes); });
    Logger::debug("orvik-sim: loader heard {}, answers {}", hex(bytes.left(iLoggedBytes)),
                  hex(answer.left(iLoggedBytes)));
    if (!answer.isEmpty())
        emit writeToPort(answer, false);
    syncLineMode();
    saveStateSoon();
}

void OrvikSimulatorHost::syncLineMode()
{
    const auto [inLoader, rate] = mSensor->with(
        [](const OrvikSensor& s) {
            return std::pair{s.inBootloader(), s.lineBaudrate()};
        });
    if (inLoader == mLoaderActive)
        return;
    mLoaderActive = inLoader;
    // The link layer drops what arrives while its session is stopped. The
    // loader is connected only from now on: bytes already on their way
    // were sent to the application.
    if (inLoader)
    {
        mFacade->sessionStop();
        mLoaderConnection = connect(mFacade->getSerialPort(), &FSerialPort::newDataReadyFromPort, this,
                                    &OrvikSimulatorHost::loaderData);
        const char* family = mSensor->with([](const OrvikSensor& s)
                                           { return bootloaderFamilyName(s.bootloader()->family()); });
        Logger::info("orvik-sim: {} loader has the line at {} baud", family, rate);
    }
    else
    {
        disconnect(mLoaderConnection);
        mRecord->setCommand(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137);
        mFacade->sessionStart(mRecord);
        Logger::info("orvik-sim: application runs again at {} baud", rate);
    }
    saveState();
}

bool OrvikSimulatorHost::hears(const QByteArray& bytes, std::uint32_t baudrate)
{
    // The link layer sends its wake-up token right after powering the
    // adapter, and with it the sensor, up again.
    if (bytes == QByteArray(VELTRIX_Frame::szWakeUpToken))
    {
        const bool wasInLoader = mSensor->with(
            [](OrvikSensor& s)
            {
                const bool before = s.inBootloader();
                s.powerUp();
                return before;
            });
        if (wasInLoader)
            QMetaObject::invokeMethod(this, &OrvikSimulatorHost::syncLineMode, Qt::QueuedConnection);
    }
    const std::uint32_t listening = mSensor->with([](const OrvikSensor& s) { return s.lineBaudrate(); });
    if (!mOptions.strictLineSpeed || baudrate == 0 || baudrate == listening)
        return true;
    Logger::debug("orvik-sim: {} bytes at {} baud while listening at {} baud: garbage", bytes.size(),
                  baudrate, listening);
    return false;
}

void OrvikSimulatorHost::saveStateSoon()
{
    if (!mOptions.stateFile.isEmpty() && !mSaveTimer->isActive())
        mSaveTimer->start();
}

QByteArray OrvikSimulatorHost::withExtraVariables(const QByteArray& framed,
                                                  const QList<std::pair<int, float>>& extra)
{
    // Preambles, header, the two status bytes, then the variable count.
    const int countOffset = VELTRIX_Frame::iTxPreambels + VELTRIX_AppCodec::iHeaderSize + 2;
    if (framed.size() <= countOffset + 1)
        return framed;
    QByteArray frame = framed.left(framed.size() - 1);
    frame[countOffset] = static_cast<char>(static_cast<unsigned char>(frame.at(countOffset)) + extra.size());
    for (const auto& [unit, value] : extra)
    {
        frame.append(static_cast<char>(unit));
        const quint32 bits = std::bit_cast<quint32>(value);
        for (int shift = 24; shift >= 0; shift -= 8)
            frame.append(static_cast<char>((bits >> shift) & 0xFF));
    }
    const int byteCountOffset = VELTRIX_Frame::iTxPreambels + VELTRIX_Frame::iOffsetByteCount;
    frame[byteCountOffset] =
        static_cast<char>(static_cast<unsigned char>(frame.at(byteCountOffset)) + 5 * extra.size());
    frame.append(static_cast<char>(VELTRIX_Frame::checksum(frame.mid(VELTRIX_Frame::iTxPreambels))));
    return frame;
}

void OrvikSimulatorHost::lineInfo(VELTRIX_SessionInfo* info)
{
    if (info->getError() == VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR)
        return;
    // A frame broken off after its command byte leaves that command in the
    // record; back to 137 so that the next request's address is not refused.
    mRecord->setCommand(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137);
    Logger::debug("orvik-sim: line: {}", info->getErrorAsString().toStdString());
}

void OrvikSimulatorHost::saveState()
{
    if (mOptions.stateFile.isEmpty())
        return;
    const QJsonObject state = mSensor->with([](const OrvikSensor& s) { return s.stateJson(); });
    QSaveFile file(mOptions.stateFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(state).toJson()) < 0 || !file.commit())
        Logger::warn("orvik-sim: cannot write state file {}: {}", mOptions.stateFile.toStdString(),
                     file.errorString().toStdString());
}

} // namespace Hvd::Weft::Simulator
