#pragma once

#include "bootloader/Bootloader.h"
#include "bootloader/tiva/TivaCommands.h"

#include <QByteArray>
#include <QList>

class QTimer;

// Family of the Tiva microcontrollers: sends the image packet by packet, each
// answered by the device before the next goes out.
class Tiva : public Bootloader
{
    Q_OBJECT

public:
    explicit Tiva(QObject* parent = nullptr, const BootloaderTiming& timing = {});
    ~Tiva() override;

    InterfaceSettings getInterfaceSettings() const override;
    static InterfaceSettings getDefaultInterfaceSettings();

public slots:
    void upload(QString fileName) override;
    void download(QString fileName) override;
    void newDataReadyFromInterface(QByteArray data) override;
    void dataWrittenToInterface() override;

private:
    // Walks the packet sequences of one transfer.
    class StateMachine
    {
    public:
        void load(QList<TIVA::Commands::Sequence> sequences);
        bool isEmpty() const { return mSequences.isEmpty(); }
        const TIVA::Commands::TxBuffer& currentBuffer() const;
        TIVA::Commands::Cmd currentCommand() const { return currentBuffer().cmd; }
        int expectedBytes() const { return currentBuffer().expectedRxBytes; }
        // Moves to the next packet; false after the last one.
        bool nextBuffer();
        bool decode(const QByteArray& answer) const;
        qsizetype totalBytes() const;
        void reset();

    private:
        QList<TIVA::Commands::Sequence> mSequences;
        qsizetype mSequence = 0;
        qsizetype mPacket = 0;
    };

    void sendCurrentPacket(quint64 transfer);
    void queueCurrentPacket();
    void timeout();
    void clearTransfer() override;

    StateMachine mMachine;
    QByteArray mRxBuffer;
    bool mAwaitingAnswer = false;
    quint64 mTransfer = 0;
    qsizetype mTotalBytes = 0;
    qsizetype mSentBytes = 0;
    QTimer* mTimer = nullptr;
    InterfaceSettings mSettings;
};
