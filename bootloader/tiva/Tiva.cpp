#include "bootloader/tiva/Tiva.h"

#include "bootloader/tiva/TivaParser.h"

#include <QTimer>

#include <cmath>

using TIVA::Commands;

void Tiva::StateMachine::load(QList<Commands::Sequence> sequences)
{
    mSequences = std::move(sequences);
    mSequence = 0;
    mPacket = 0;
}

const Commands::TxBuffer& Tiva::StateMachine::currentBuffer() const
{
    return mSequences.at(mSequence).at(mPacket);
}

bool Tiva::StateMachine::nextBuffer()
{
    if (mPacket + 1 < mSequences.at(mSequence).size())
    {
        ++mPacket;
        return true;
    }
    // Skips sequences without packets so that the position always names one.
    for (qsizetype next = mSequence + 1; next < mSequences.size(); ++next)
    {
        if (!mSequences.at(next).isEmpty())
        {
            mSequence = next;
            mPacket = 0;
            return true;
        }
    }
    return false;
}

bool Tiva::StateMachine::decode(const QByteArray& answer) const
{
    return Commands::decodeRx(currentCommand(), answer);
}

qsizetype Tiva::StateMachine::totalBytes() const
{
    qsizetype total = 0;
    for (const Commands::Sequence& sequence : mSequences)
        for (const Commands::TxBuffer& buffer : sequence)
            total += buffer.packet.size();
    return total;
}

void Tiva::StateMachine::reset()
{
    mSequences.clear();
    mSequence = 0;
    mPacket = 0;
}

Tiva::Tiva(QObject* parent, const BootloaderTiming& timing)
    : Bootloader(parent)
    , mTimer(new QTimer(this))
    , mSettings(getDefaultInterfaceSettings())
{
    mTimer->setSingleShot(true);
    mTimer->setTimerType(Qt::PreciseTimer);
    mTimer->setInterval(timing.tivaAnswerTimeoutMs);
    connect(mTimer, &QTimer::timeout, this, &Tiva::timeout);
}

Tiva::~Tiva() = default;

Bootloader::InterfaceSettings Tiva::getInterfaceSettings() const
{
    return mSettings;
}

Bootloader::InterfaceSettings Tiva::getDefaultInterfaceSettings()
{
    return singleWireUartSettings(230400);
}

void Tiva::upload(QString)
{
    // Reading the device back is not supported by this family.
    if (refuseWhileBusy())
        return;
    mAction = BLACTION_UPLOAD;
}

void Tiva::download(QString fileName)
{
    if (refuseWhileBusy())
        return;
    mError = BLERROR_NOERROR;

    QList<Commands::DataBlock> blocks;
    if (!TIVA::Parser().getDataForFile(fileName, blocks))
    {
        setError(BLERROR_CANT_PARSE_FILE);
        return;
    }
    for (const Commands::DataBlock& block : blocks)
    {
        // The bootloader itself sits at address 0.
        if (block.startAddress == 0)
        {
            setError(BLERROR_FILE_CONTAINS_BL);
            return;
        }
    }

    mMachine.load(Commands::buildTxCmdSequences(blocks));
    mTotalBytes = mMachine.totalBytes();
    mRxBuffer.clear();
    ++mTransfer;
    mAction = BLACTION_DOWNLOAD;
    mRunning = true;
    mBusy = true;
    setState(BLSTATE_CONNECTION_STARTED);
    mSentBytes = mMachine.currentBuffer().packet.size();
    queueCurrentPacket();
}

void Tiva::queueCurrentPacket()
{
    // Through the event loop, so that the answer to the previous packet has
    // been dealt with completely before the next one leaves.
    // The transfer number keeps a send left over from an ended transfer out of the next one.
    mAwaitingAnswer = false;
    QMetaObject::invokeMethod(
        this, [this, transfer = mTransfer] { sendCurrentPacket(transfer); }, Qt::QueuedConnection);
}

void Tiva::sendCurrentPacket(quint64 transfer)
{
    if (transfer != mTransfer || !mRunning || mMachine.isEmpty())
        return;
    mAwaitingAnswer = true;
    mTimer->start();
    writeToInterface(mMachine.currentBuffer().packet);
}

void Tiva::newDataReadyFromInterface(QByteArray data)
{
    // Bytes while no packet is out are no answer; taking them for the next
    // one could acknowledge a packet the device never got.
    if (!mRunning || !mAwaitingAnswer)
        return;
    mTimer->stop();
    const qsizetype expected = mMachine.expectedBytes();
    mRxBuffer.append(data.left(expected - mRxBuffer.size()));
    if (mRxBuffer.size() < expected)
    {
        mTimer->start();
        return;
    }

    if (!mMachine.decode(mRxBuffer))
    {
        setError(BLERROR_NO_RESPONSE_FROM_DEVICE);
        return;
    }
    mRxBuffer.clear();
    mAwaitingAnswer = false;

    if (!mMachine.nextBuffer())
    {
        emit progress(100);
        setState(BLSTATE_DOWNLOAD_SUCCESSFULL);
        mRunning = false;
        mBusy = false;
        clearTransfer();
        return;
    }
    emit progress(static_cast<uint8_t>(std::lround(static_cast<double>(mSentBytes) * 100.0 / mTotalBytes)));
    setState(BLSTATE_DOWNLOAD_STARTED);
    mSentBytes += mMachine.currentBuffer().packet.size();
    queueCurrentPacket();
}

void Tiva::dataWrittenToInterface()
{
    if (mRunning)
        mTimer->start();
}

void Tiva::timeout()
{
    if (mRunning && mError != BLERROR_TIMEOUT)
        setError(BLERROR_TIMEOUT);
}

void Tiva::clearTransfer()
{
    mTimer->stop();
    mMachine.reset();
    mAwaitingAnswer = false;
    mRxBuffer.clear();
    mTotalBytes = 0;
    mSentBytes = 0;
}
