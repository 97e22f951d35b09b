#pragma once

#include "bootloader/Bootloader.h"
#include "bootloader/msp432/MSPCommands.h"

#include <QByteArray>
#include <QList>

class QTimer;

// Family of the MSP432 microcontrollers: wakes the bootstrap loader, unlocks
// and mass-erases it, writes the image block by block from the last to the
// first, checks every block with the loader's CRC and resets the device.
class MSP432 : public Bootloader
{
    Q_OBJECT

public:
    explicit MSP432(QObject* parent = nullptr, const BootloaderTiming& timing = {});
    ~MSP432() override;

    InterfaceSettings getInterfaceSettings() const override;
    static InterfaceSettings getDefaultInterfaceSettings();

    // Wake-up bytes sent after the first one.
    static constexpr int wakeUpRepeats = 10;

public slots:
    void upload(QString fileName) override;
    void download(QString fileName) override;
    void newDataReadyFromInterface(QByteArray data) override;
    void dataWrittenToInterface() override;

private slots:
    void timeOutUp();
    void timeOutTxRepeat();

private:
    void connected();
    // True when the answer in the receive buffer is good; otherwise the error is reported.
    bool rxCheckBufferForError(MSPCommands::MSPCMD cmd, const MSPCommands::DataBlock* block);
    void txSendCmd(MSPCommands::MSPCMD cmd, const MSPCommands::DataBlock* block);
    void txStateMachineDownload();
    void finishDownload();
    void startTimeout();
    void stopTimeout();
    void startRepeatTx(int count, int intervalMs, const QByteArray& data);
    void stopRepeatTx();
    void clearTransfer() override;
    BLERROR interfaceFailure(BLERROR mapped) const override;

    QList<MSPCommands::DataBlock> mBlocks;
    QByteArray mRxBuffer;
    QByteArray mRepeatBuffer;
    int mRepeatCount = 0;
    int mStep = 0;
    // Answer bytes still to come; the half-duplex line adds one that is not kept.
    int mExpectedBytes = 0;
    qsizetype mBlockIndex = 0;
    BootloaderTiming mTiming;
    QTimer* mAnswerTimer = nullptr;
    QTimer* mRepeatTimer = nullptr;
    QTimer* mConnectTimer = nullptr;
    InterfaceSettings mSettings;
    // Port confirmations heard; the reboot has left once they catch up with writesSent().
    qint64 mWritesConfirmed = 0;
    // The reboot is out and the transfer succeeds with its confirmation.
    bool mAwaitingReset = false;
};
