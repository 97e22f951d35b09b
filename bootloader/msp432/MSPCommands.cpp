#include "bootloader/msp432/MSPCommands.h"

namespace
{

void appendLittleEndian(QByteArray& bytes, uint32_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint16_t littleEndian16(const QByteArray& bytes, qsizetype at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes.at(at)) |
                                 (static_cast<uint8_t>(bytes.at(at + 1)) << 8));
}

} // namespace

QByteArray MSPCommands::buildTxCmd(MSPCMD cmd, const DataBlock* block)
{
    return finishBuffer(defaultBuffer(cmd, block));
}

QByteArray MSPCommands::initBuffer(MSPCMD cmd)
{
    return QByteArray(1, static_cast<char>(cmd));
}

QByteArray MSPCommands::defaultBuffer(MSPCMD cmd, const DataBlock* block)
{
    if (!block)
        return initBuffer(cmd);
    switch (cmd)
    {
    case MSPCMD_RX_DATA_BLOCK_32:
        return rx32Buffer(*block);
    case MSPCMD_CRC_CHECK_32:
        return crc32Buffer(*block);
    default:
        // The password and any other command that carries the block's bytes as they are.
        return initBuffer(cmd) + block->data;
    }
}

QByteArray MSPCommands::rx32Buffer(const DataBlock& block)
{
    QByteArray core = initBuffer(MSPCMD_RX_DATA_BLOCK_32);
    appendLittleEndian(core, block.startAddress, 4);
    return core + block.data;
}

QByteArray MSPCommands::crc32Buffer(const DataBlock& block)
{
    QByteArray core = initBuffer(MSPCMD_CRC_CHECK_32);
    appendLittleEndian(core, block.startAddress, 4);
    appendLittleEndian(core, static_cast<uint32_t>(block.data.size()), 2);
    return core;
}

QByteArray MSPCommands::finishBuffer(const QByteArray& core)
{
    QByteArray packet(1, static_cast<char>(header));
    appendLittleEndian(packet, static_cast<uint32_t>(core.size()), 2);
    packet += core;
    appendLittleEndian(packet, getCRC_CCITT(core), 2);
    return packet;
}

uint16_t MSPCommands::getCRC_CCITT(const QByteArray& bytes)
{
    uint16_t crc = 0xFFFF;
    for (const char byte : bytes)
    {
        crc ^= static_cast<uint16_t>(static_cast<uint8_t>(byte) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc =
                (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

bool MSPCommands::checkRxCrc(const QByteArray& core, uint16_t crc)
{
    return getCRC_CCITT(core) == crc;
}

MSPCommands::Error MSPCommands::decodeRxBuffer(MSPCMD cmd, const QByteArray& answer, const DataBlock* block)
{
    if (answer.size() < 8)
        return {MSPRX_ERROR_BUFFER_EMPTY};
    const MSPHeaderBlock frame{static_cast<uint8_t>(answer.at(0)), static_cast<uint8_t>(answer.at(1)),
                               littleEndian16(answer, 2)};
    if (frame.ack != ack)
        return {MSPRX_ERROR_NO_ACK};
    if (frame.header != header)
        return {MSPRX_ERROR_WRONG_HEADER};
    if (frame.coreLength != answer.size() - 6)
        return {MSPRX_ERROR_LENGTH};

    const QByteArray core = answer.mid(4, frame.coreLength);
    const auto code = static_cast<uint8_t>(core.at(0));
    // A CRC check is only passed by the loader's CRC of the block; anything
    // else, an "operation OK" message too, leaves the block unverified.
    if (isCrcCheck(cmd))
    {
        if (code != MSPCMD_SPECIAL_DATA || core.size() < 3)
            return {MSPRX_ERROR_MESSAGE};
        if (block && littleEndian16(core, 1) != block->crc)
            return {MSPRX_ERROR_CHECKSUM};
    }
    else
    {
        if (code != MSPCMD_SPECIAL_MESSAGE)
            return {MSPRX_ERROR_MESSAGE};
        const auto message = static_cast<uint8_t>(core.at(1));
        if (message != MSP_DEVICE_MESSAGE_OPERATION_OK)
            return {MSPRX_ERROR_MESSAGE, message};
    }
    if (!checkRxCrc(core, littleEndian16(answer, answer.size() - 2)))
        return {MSPRX_ERROR_CHECKSUM};
    return {};
}

int MSPCommands::getRxNumberOfBytes(MSPCMD cmd)
{
    return isCrcCheck(cmd) ? 9 : 8;
}

void MSPCommands::getDefaultPassword(MSPPWD_SIZE size, DataBlock* block)
{
    // The vector table of an erased device: every byte 0xFF.
    block->data = QByteArray(size, static_cast<char>(0xFF));
}

void MSPCommands::getWrongPassword(MSPPWD_SIZE size, DataBlock* block)
{
    // Every byte 0x00: on purpose not the password; it goes out before the default one.
    block->data = QByteArray(size, '\0');
}
