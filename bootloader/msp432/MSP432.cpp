#include "bootloader/msp432/MSP432.h"

#include "bootloader/msp432/MSPParser.h"

#include <QTimer>

#include <algorithm>

MSP432::MSP432(QObject* parent, const BootloaderTiming& timing)
    : Bootloader(parent)
    , mTiming(timing)
    , mAnswerTimer(new QTimer(this))
    , mRepeatTimer(new QTimer(this))
    , mConnectTimer(new QTimer(this))
    , mSettings(getDefaultInterfaceSettings())
{
    mAnswerTimer->setSingleShot(true);
    mAnswerTimer->setTimerType(Qt::PreciseTimer);
    mAnswerTimer->setInterval(timing.mspAnswerTimeoutMs);
    mRepeatTimer->setTimerType(Qt::PreciseTimer);
    mConnectTimer->setSingleShot(true);
    mConnectTimer->setInterval(timing.mspConnectDelayMs);
    connect(mAnswerTimer, &QTimer::timeout, this, &MSP432::timeOutUp);
    connect(mRepeatTimer, &QTimer::timeout, this, &MSP432::timeOutTxRepeat);
    connect(mConnectTimer, &QTimer::timeout, this, &MSP432::connected);
}

MSP432::~MSP432() = default;

Bootloader::InterfaceSettings MSP432::getInterfaceSettings() const
{
    return mSettings;
}

Bootloader::InterfaceSettings MSP432::getDefaultInterfaceSettings()
{
    return singleWireUartSettings(115200);
}

void MSP432::upload(QString)
{
    // Reading the device back is not supported; a later connection only reports it started.
    mAction = BLACTION_UPLOAD;
}

void MSP432::download(QString fileName)
{
    // A new block list under a running transfer would be written at the old one's positions.
    if (refuseWhileBusy())
        return;
    mError = BLERROR_NOERROR;
    mBlocks.clear();
    if (!MSPParser().getDataForFile(fileName, mBlocks))
    {
        setError(BLERROR_CANT_PARSE_FILE);
        return;
    }
    mAction = BLACTION_DOWNLOAD;
    // Confirmations are counted from here: a write of an earlier, failed
    // transfer that was never confirmed must not hold this one up.
    mWritesConfirmed = writesSent();
    mRunning = true;
    mBusy = true;
    setState(BLSTATE_CONNECTION_STARTED);
    startRepeatTx(wakeUpRepeats, mTiming.mspWakeUpRepeatMs, QByteArray(1, static_cast<char>(0xFF)));
}

void MSP432::newDataReadyFromInterface(QByteArray data)
{
    // The device restarts on the reboot; what it says meanwhile is no answer.
    if (mAwaitingReset)
        return;
    const int complete = mSettings.halfDuplex ? -1 : 0;
    for (const char byte : data)
    {
        switch (currentState())
        {
        case BLSTATE_CONNECTION_STARTED:
            // Anything but the acknowledge (noise, the loader's own error
            // bytes) leaves the timeout of the last wake-up byte running:
            // stopped, nothing would ever end a wait for an acknowledge that
            // does not come, and restarted, steady noise would not either.
            if (byte != 0x00)
                break;
            stopTimeout();
            stopRepeatTx();
            setState(BLSTATE_CONNECTED);
            mStep = 0;
            mConnectTimer->start();
            break;
        case BLSTATE_DOWNLOAD_STARTED:
            startTimeout();
            if (mExpectedBytes <= complete)
            {
                stopTimeout();
                break;
            }
            --mExpectedBytes;
            if (mExpectedBytes >= 0)
                mRxBuffer.append(byte);
            if (mExpectedBytes > complete)
                break;
            stopTimeout();
            txStateMachineDownload();
            // The rest of the chunk came before the next command left: it is no answer to it.
            return;
        default:
            stopTimeout();
            break;
        }
    }
}

void MSP432::dataWrittenToInterface()
{
    // Answers time out from the send. Only the reboot, which is never
    // answered, waits for the port to say its bytes have left.
    ++mWritesConfirmed;
    if (!mAwaitingReset || mWritesConfirmed < writesSent())
        return;
    mAwaitingReset = false;
    stopTimeout();
    mRunning = false;
    mBusy = false;
    setState(BLSTATE_DOWNLOAD_SUCCESSFULL);
}

Bootloader::BLERROR MSP432::interfaceFailure(BLERROR mapped) const
{
    return mAwaitingReset ? BLERROR_RESET_NOT_SENT : mapped;
}

void MSP432::connected()
{
    if (currentState() != BLSTATE_CONNECTED)
        return;
    if (mAction == BLACTION_UPLOAD)
    {
        setState(BLSTATE_UPLOAD_STARTED);
        mRunning = false;
        mBusy = false;
        return;
    }
    setState(BLSTATE_DOWNLOAD_STARTED);
    txStateMachineDownload();
}

void MSP432::txStateMachineDownload()
{
    if (mStep > 5)
        mStep = 0;
    MSPCommands::DataBlock password;
    switch (mStep)
    {
    case 0:
        MSPCommands::getWrongPassword(MSPCommands::MSPPWD_SIZE_256BIT, &password);
        mBlockIndex = 0;
        txSendCmd(MSPCommands::MSPCMD_RX_PASSWORD_32, &password);
        mStep = 1;
        break;
    case 1:
        MSPCommands::getDefaultPassword(MSPCommands::MSPPWD_SIZE_256BIT, &password);
        txSendCmd(MSPCommands::MSPCMD_RX_PASSWORD_32, &password);
        mStep = 2;
        break;
    case 2:
        if (!rxCheckBufferForError(MSPCommands::MSPCMD_RX_PASSWORD_32, nullptr))
            return;
        txSendCmd(MSPCommands::MSPCMD_MASS_ERASE, nullptr);
        mStep = 3;
        break;
    case 3:
        if (!rxCheckBufferForError(MSPCommands::MSPCMD_MASS_ERASE, nullptr))
            return;
        mBlockIndex = mBlocks.size() - 1;
        txSendCmd(MSPCommands::MSPCMD_RX_DATA_BLOCK_32, &mBlocks[mBlockIndex]);
        mStep = 4;
        break;
    case 4:
        if (!rxCheckBufferForError(MSPCommands::MSPCMD_RX_DATA_BLOCK_32, nullptr))
            return;
        txSendCmd(MSPCommands::MSPCMD_CRC_CHECK_32, &mBlocks[mBlockIndex]);
        mStep = 5;
        break;
    case 5:
    {
        if (!rxCheckBufferForError(MSPCommands::MSPCMD_CRC_CHECK_32, &mBlocks[mBlockIndex]))
            return;
        const qsizetype count = mBlocks.size();
        emit progress(
            static_cast<uint8_t>(std::min<qsizetype>(100, (count + 1 - mBlockIndex) * 100 / count)));
        --mBlockIndex;
        if (mBlockIndex >= 0)
        {
            txSendCmd(MSPCommands::MSPCMD_RX_DATA_BLOCK_32, &mBlocks[mBlockIndex]);
            mStep = 4;
        }
        else
            finishDownload();
        break;
    }
    }
}

void MSP432::finishDownload()
{
    mStep = 0;
    // The device restarts into the new firmware and sends no answer. Until
    // the port confirms the command has left, the device is still in its
    // loader; the answer timeout guards that wait.
    mAwaitingReset = true;
    txSendCmd(MSPCommands::MSPCMD_REBOOT_RESET, nullptr);
    mExpectedBytes = 0;
}

bool MSP432::rxCheckBufferForError(MSPCommands::MSPCMD cmd, const MSPCommands::DataBlock* block)
{
    const MSPCommands::Error decoded = MSPCommands::decodeRxBuffer(cmd, mRxBuffer, block);
    if (decoded.rxError == MSPCommands::MSPRX_NO_ERROR)
        return true;
    setError(decoded.rxError == MSPCommands::MSPRX_ERROR_BUFFER_EMPTY ? BLERROR_RX_BUFFER_EMPTY
                                                                      : BLERROR_NO_RESPONSE_FROM_DEVICE);
    return false;
}

void MSP432::txSendCmd(MSPCommands::MSPCMD cmd, const MSPCommands::DataBlock* block)
{
    const QByteArray packet = MSPCommands::buildTxCmd(cmd, block);
    mExpectedBytes = MSPCommands::getRxNumberOfBytes(cmd);
    mRxBuffer.clear();
    startTimeout();
    writeToInterface(packet);
}

void MSP432::timeOutUp()
{
    if (mRunning)
        setError(mAwaitingReset ? BLERROR_RESET_NOT_SENT : BLERROR_TIMEOUT);
}

void MSP432::timeOutTxRepeat()
{
    if (mRepeatCount <= 0)
    {
        stopRepeatTx();
        return;
    }
    if (--mRepeatCount == 0)
        mRepeatTimer->stop();
    mRxBuffer.clear();
    startTimeout();
    writeToInterface(mRepeatBuffer);
}

void MSP432::startTimeout()
{
    mAnswerTimer->start();
}

void MSP432::stopTimeout()
{
    mAnswerTimer->stop();
}

void MSP432::startRepeatTx(int count, int intervalMs, const QByteArray& data)
{
    mRepeatBuffer = data;
    mRepeatCount = count;
    mRxBuffer.clear();
    startTimeout();
    writeToInterface(data);
    mRepeatTimer->start(intervalMs);
}

void MSP432::stopRepeatTx()
{
    mRepeatTimer->stop();
    mRepeatCount = 0;
}

void MSP432::clearTransfer()
{
    mStep = 0;
    mAwaitingReset = false;
    stopTimeout();
    stopRepeatTx();
    mConnectTimer->stop();
    mRxBuffer.clear();
    mExpectedBytes = 0;
}
