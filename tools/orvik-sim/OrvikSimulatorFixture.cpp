#include "tools/orvik-sim/OrvikSimulatorFixture.h"

#include <QMetaObject>
#include <QSemaphore>

namespace Hvd::Weft::Simulator
{

namespace
{
// Opening a pseudo-terminal takes milliseconds; this only bounds a broken set-up.
constexpr int iStartTimeoutMs = 10000;
} // namespace

OrvikSimulatorFixture::OrvikSimulatorFixture(const OrvikSimulatorOptions& options)
    : mTerminal(std::make_shared<OrvikPseudoTerminal>())
{
    mSensor = createSensor(options, &mError);
    if (!mError.isEmpty())
        return;
    if (!mTerminal->isValid())
    {
        mError = mTerminal->errorString();
        return;
    }

    mThread.setObjectName(QStringLiteral("OrvikSimulator"));
    mHost = new OrvikSimulatorHost(mSensor, mTerminal, options);
    mHost->moveToThread(&mThread);

    // Both outcomes are reported from the sensor's thread.
    auto done = std::make_shared<QSemaphore>();
    auto failure = std::make_shared<QString>();
    QObject::connect(
        mHost, &OrvikSimulatorHost::ready, mHost, [done](const QString&) { done->release(); },
        Qt::DirectConnection);
    QObject::connect(
        mHost, &OrvikSimulatorHost::failed, mHost,
        [done, failure](const QString& reason)
        {
            *failure = reason;
            done->release();
        },
        Qt::DirectConnection);

    QObject::connect(
        mHost, &OrvikSimulatorHost::hungUp, mHost, [this] { mHungUp = true; }, Qt::DirectConnection);

    mThread.start();
    QMetaObject::invokeMethod(mHost, &OrvikSimulatorHost::start, Qt::QueuedConnection);
    if (!done->tryAcquire(1, iStartTimeoutMs))
        mError = QStringLiteral("the simulated sensor did not start in time");
    else if (!failure->isEmpty())
        mError = *failure;
    else
        mReady = true;
}

OrvikSimulatorFixture::~OrvikSimulatorFixture()
{
    if (mHost)
    {
        // Torn down in its own thread, where its timers and notifiers live.
        OrvikSimulatorHost* host = mHost;
        QMetaObject::invokeMethod(
            host, [host] { delete host; }, Qt::BlockingQueuedConnection);
        mHost = nullptr;
    }
    mThread.quit();
    mThread.wait();
}

void OrvikSimulatorFixture::hangUp()
{
    if (mHost)
        QMetaObject::invokeMethod(mHost, &OrvikSimulatorHost::hangUp, Qt::BlockingQueuedConnection);
}

void OrvikSimulatorFixture::hangUpAtNextRequest(std::optional<int> command)
{
    if (mHost)
        QMetaObject::invokeMethod(
            mHost, [host = mHost, command] { host->hangUpAtNextRequest(command); },
            Qt::BlockingQueuedConnection);
}

QString OrvikSimulatorFixture::devicePath() const
{
    return mTerminal->devicePath();
}

void OrvikSimulatorFixture::addFault(const Fault& fault)
{
    mSensor->with([&](OrvikSensor& s) { s.addFault(fault); });
}

void OrvikSimulatorFixture::clearFaults()
{
    mSensor->with([](OrvikSensor& s) { s.clearFaults(); });
}

void OrvikSimulatorFixture::setDropAfter(std::optional<int> answers)
{
    mSensor->with([&](OrvikSensor& s) { s.setDropAfter(answers); });
}

void OrvikSimulatorFixture::setStatus(std::uint8_t status)
{
    mSensor->with([&](OrvikSensor& s) { s.setStatus(status); });
}

int OrvikSimulatorFixture::requestCount(int command) const
{
    return mSensor->with([&](const OrvikSensor& s) { return s.requestCount(command); });
}

int OrvikSimulatorFixture::requestCount() const
{
    return mSensor->with([](const OrvikSensor& s) { return s.requestCount(); });
}

int OrvikSimulatorFixture::answerCount() const
{
    return mSensor->with([](const OrvikSensor& s) { return s.answerCount(); });
}

QList<SystemCommandRecord> OrvikSimulatorFixture::systemCommands() const
{
    return mSensor->with([](const OrvikSensor& s) { return s.systemCommands(); });
}

PartMemory OrvikSimulatorFixture::memory(Target target) const
{
    return mSensor->with([&](const OrvikSensor& s) { return s.memory(target); });
}

bool OrvikSimulatorFixture::writeNvm(Target target, int address, const QByteArray& bytes)
{
    return mSensor->with([&](OrvikSensor& s) { return s.writeNvm(target, address, bytes); });
}

std::uint32_t OrvikSimulatorFixture::baudrate() const
{
    return mSensor->with([](const OrvikSensor& s) { return s.baudrate(); });
}

int OrvikSimulatorFixture::restartCount() const
{
    return mSensor->with([](const OrvikSensor& s) { return s.restartCount(); });
}

std::uint32_t OrvikSimulatorFixture::lineBaudrate() const
{
    return mSensor->with([](const OrvikSensor& s) { return s.lineBaudrate(); });
}

bool OrvikSimulatorFixture::inBootloader() const
{
    return mSensor->with([](const OrvikSensor& s) { return s.inBootloader(); });
}

QByteArray OrvikSimulatorFixture::flash(std::uint32_t address, int length) const
{
    return mSensor->with([&](const OrvikSensor& s)
                         { return s.bootloader() ? s.bootloader()->flash(address, length) : QByteArray(); });
}

QList<FlashRegion> OrvikSimulatorFixture::flashRegions() const
{
    return mSensor->with([](const OrvikSensor& s)
                         { return s.bootloader() ? s.bootloader()->regions() : QList<FlashRegion>(); });
}

bool OrvikSimulatorFixture::transferCompleted() const
{
    return mSensor->with([](const OrvikSensor& s) { return s.bootloader() && s.bootloader()->completed(); });
}

QJsonObject OrvikSimulatorFixture::state() const
{
    return mSensor->with([](const OrvikSensor& s) { return s.stateJson(); });
}

} // namespace Hvd::Weft::Simulator
