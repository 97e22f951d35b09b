#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

#include <cstdint>

namespace TIVA
{

// Packets of the Tiva serial flash loader, with a CRC-8 in place of the
// loader's byte sum, and the decoding of its three-byte answers.
class Commands : public QObject
{
    Q_OBJECT

public:
    enum Cmd
    {
        Undefined = 0,
        Ping = 0x20,
        Download = 0x21,
        Run = 0x22,
        GetStatus = 0x23,
        SendData = 0x24,
        Reset = 0x25
    };
    Q_ENUM(Cmd)

    enum Status
    {
        Success = 0x40,
        UnkownCommand = 0x41,
        InvalidCommand = 0x42,
        InvalidAddress = 0x43,
        FlashFailed = 0x44,
        CRCFailed = 0x45,
        Acknowledged = 0xCC,
        NotAcknowledged = 0x33
    };
    Q_ENUM(Status)

    struct DataBlock
    {
        uint32_t startAddress = 0;
        uint32_t size = 0;
        QByteArray data;

        // Four bytes, most significant first.
        static QByteArray serialize(unsigned int value);
    };

    struct TxBuffer
    {
        int expectedRxBytes = 3;
        Cmd cmd = Undefined;
        QByteArray packet;
    };
    using Sequence = QList<TxBuffer>;

    // Image bytes one SendData packet carries at most.
    static constexpr int maxDataPerPacket = 72;
    static constexpr int answerBytes = 3;

    using QObject::QObject;

    // Ping; per block Download and GetStatus, then SendData and GetStatus per
    // slice; Reset.
    static QList<Sequence> buildTxCmdSequences(const QList<DataBlock>& blocks);
    static Sequence buildTxCmdStartSequence();
    static Sequence buildTxCmdSendSequence(const DataBlock& block);
    static Sequence buildTxCmdEndSequence();
    static QList<QByteArray> sliceDatablockToBufferSize(const QByteArray& data, int size);

    static TxBuffer buildTxBuffer(Cmd cmd, const QByteArray& data = {});
    // Size, checksum, command, data.
    static QByteArray serializePacket(Cmd cmd, const QByteArray& data);
    // CRC-8: polynomial 0x31, start 0xFF, most significant bit first, no final XOR.
    static uint8_t calculateChecksum(const QByteArray& bytes);

    static int getExpectedRxBytes(Cmd cmd);
    // True for a good answer to the command.
    static bool decodeRx(Cmd cmd, const QByteArray& answer);
    static bool decodeRxBufferAck(const QByteArray& answer);
    static bool decodeRxBufferGetStatus(const QByteArray& answer);
};

} // namespace TIVA
