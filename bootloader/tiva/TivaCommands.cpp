#include "bootloader/tiva/TivaCommands.h"

namespace TIVA
{

QByteArray Commands::DataBlock::serialize(unsigned int value)
{
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(static_cast<char>((value >> shift) & 0xFF));
    return bytes;
}

QList<Commands::Sequence> Commands::buildTxCmdSequences(const QList<DataBlock>& blocks)
{
    QList<Sequence> sequences{buildTxCmdStartSequence()};
    for (const DataBlock& block : blocks)
        sequences.append(buildTxCmdSendSequence(block));
    sequences.append(buildTxCmdEndSequence());
    return sequences;
}

Commands::Sequence Commands::buildTxCmdStartSequence()
{
    return {buildTxBuffer(Ping)};
}

Commands::Sequence Commands::buildTxCmdSendSequence(const DataBlock& block)
{
    Sequence sequence{
        buildTxBuffer(Download, DataBlock::serialize(block.startAddress) + DataBlock::serialize(block.size)),
        buildTxBuffer(GetStatus)};
    for (const QByteArray& slice : sliceDatablockToBufferSize(block.data, maxDataPerPacket))
    {
        sequence.append(buildTxBuffer(SendData, slice));
        sequence.append(buildTxBuffer(GetStatus));
    }
    return sequence;
}

Commands::Sequence Commands::buildTxCmdEndSequence()
{
    return {buildTxBuffer(Reset)};
}

QList<QByteArray> Commands::sliceDatablockToBufferSize(const QByteArray& data, int size)
{
    QList<QByteArray> slices;
    for (qsizetype offset = 0; offset < data.size(); offset += size)
        slices.append(data.mid(offset, size));
    return slices;
}

Commands::TxBuffer Commands::buildTxBuffer(Cmd cmd, const QByteArray& data)
{
    return {getExpectedRxBytes(cmd), cmd, serializePacket(cmd, data)};
}

QByteArray Commands::serializePacket(Cmd cmd, const QByteArray& data)
{
    QByteArray checked;
    checked.append(static_cast<char>(cmd));
    checked.append(data);
    QByteArray packet;
    packet.append(static_cast<char>(checked.size() + 2));
    packet.append(static_cast<char>(calculateChecksum(checked)));
    packet.append(checked);
    return packet;
}

uint8_t Commands::calculateChecksum(const QByteArray& bytes)
{
    uint8_t crc = 0xFF;
    for (const char byte : bytes)
    {
        crc ^= static_cast<uint8_t>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80) ? static_cast<uint8_t>((crc << 1) ^ 0x31) : static_cast<uint8_t>(crc << 1);
    }
    return crc;
}

int Commands::getExpectedRxBytes(Cmd)
{
    return answerBytes;
}

bool Commands::decodeRx(Cmd cmd, const QByteArray& answer)
{
    if (answer.size() < answerBytes)
        return false;
    return cmd == GetStatus ? decodeRxBufferGetStatus(answer) : decodeRxBufferAck(answer);
}

bool Commands::decodeRxBufferAck(const QByteArray& answer)
{
    return answer.left(answerBytes).contains(static_cast<char>(Acknowledged));
}

bool Commands::decodeRxBufferGetStatus(const QByteArray& answer)
{
    // The status may follow a leading zero byte.
    const auto status = static_cast<uint8_t>(answer.at(0) != 0 ? answer.at(0) : answer.at(1));
    return status == Acknowledged || status == Success;
}

} // namespace TIVA
