#include "tools/orvik-sim/OrvikPtyBackend.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>

#include <unistd.h>

namespace Hvd::Weft::Simulator
{

namespace
{
// After the far side hung up, reading is retried this much later rather
// than spinning on a descriptor that stays readable.
constexpr int iHangUpRetryMs = 20;
} // namespace

OrvikPtyBackend::OrvikPtyBackend(std::shared_ptr<const OrvikPseudoTerminal> terminal, bool adapterEcho,
                                 Listener listener, QObject* parent)
    : FSerialPortBackend(parent)
    , mTerminal(std::move(terminal))
    , mAdapterEcho(adapterEcho)
    , mListener(std::move(listener))
{
}

OrvikPtyBackend::~OrvikPtyBackend()
{
    close();
}

bool OrvikPtyBackend::open(QIODevice::OpenMode)
{
    if (!mTerminal || !mTerminal->isValid())
    {
        mError = QSerialPort::DeviceNotFoundError;
        mErrorString = mTerminal ? mTerminal->errorString() : QStringLiteral("no pseudo-terminal");
        return false;
    }
    if (mNotifier)
        return true;
    // Made here, in the thread that reads, not where the backend was created.
    mNotifier = new QSocketNotifier(mTerminal->masterFd(), QSocketNotifier::Read, this);
    connect(mNotifier, &QSocketNotifier::activated, this, &OrvikPtyBackend::readable);
    mError = QSerialPort::NoError;
    mErrorString.clear();
    return true;
}

void OrvikPtyBackend::close()
{
    delete mNotifier;
    mNotifier = nullptr;
    mReceived.clear();
}

bool OrvikPtyBackend::setBaudRate(qint32 baudRate)
{
    mBaudRate = baudRate;
    return true;
}

qint64 OrvikPtyBackend::write(const QByteArray& data)
{
    if (!mNotifier)
        return -1;
    return mTerminal->write(data.constData(), data.size());
}

QByteArray OrvikPtyBackend::readAll()
{
    QByteArray data;
    data.swap(mReceived);
    return data;
}

QStringList OrvikPtyBackend::availablePortNames() const
{
    return mTerminal ? QStringList{mTerminal->devicePath()} : QStringList{};
}

void OrvikPtyBackend::readable()
{
    char buffer[512];
    bool got = false;
    for (;;)
    {
        const ssize_t n = ::read(mTerminal->masterFd(), buffer, sizeof buffer);
        if (n > 0)
        {
            // The adapter echoes whatever is on the wire, at any speed.
            if (mAdapterEcho)
                mTerminal->write(buffer, n);
            const QByteArray bytes(buffer, n);
            if (mListener && !mListener(bytes, mTerminal->lineBaudrate()))
                continue;
            mReceived.append(bytes);
            got = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
        {
            // Nobody holds the other side open: pause instead of spinning.
            mNotifier->setEnabled(false);
            QTimer::singleShot(iHangUpRetryMs, this,
                               [this]
                               {
                                   if (mNotifier)
                                       mNotifier->setEnabled(true);
                               });
        }
        break;
    }
    if (got)
        emit readyRead();
}

} // namespace Hvd::Weft::Simulator
