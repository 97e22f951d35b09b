#pragma once

#include <QByteArray>
#include <QObject>

#include <cstdint>

// Packets of the MSP432 bootstrap loader's UART protocol, its CRC and the
// decoding of its answers.
class MSPCommands : public QObject
{
    Q_OBJECT

public:
    enum MSPCMD
    {
        MSPCMD_UNDEF = 0,
        MSPCMD_RX_DATA_BLOCK = 0x10,
        MSPCMD_CMD_ERASE_SEGMENT = 0x12,
        MSPCMD_CMD_TOGGLE_INFO = 0x13,
        MSPCMD_MASS_ERASE = 0x15,
        MSPCMD_CRC_CHECK = 0x16,
        MSPCMD_SET_PC = 0x17,
        MSPCMD_TX_DATA_BLOCK = 0x18,
        MSPCMD_TX_BSL_VERSION_32 = 0x19,
        MSPCMD_RX_DATA_BLOCK_32 = 0x20,
        MSPCMD_RX_PASSWORD_32 = 0x21,
        MSPCMD_ERASE_SEGMENT_32 = 0x22,
        MSPCMD_REBOOT_RESET = 0x25,
        MSPCMD_CRC_CHECK_32 = 0x26,
        MSPCMD_SET_PC_32 = 0x27,
        MSPCMD_TX_DATA_BLOCK_32 = 0x28,
        MSPCMD_FACTORY_RESET = 0x30,
        MSPCMD_SPECIAL_DATA = 0x3A,
        MSPCMD_SPECIAL_MESSAGE = 0x3B,
        MSPCMD_CHANGE_BAUD_RATE = 0x52
    };
    Q_ENUM(MSPCMD)

    enum MSPBAUD
    {
        MSPBAUD_UNDEF = 0,
        MSPBAUD_9600 = 2,
        MSPBAUD_19200 = 3,
        MSPBAUD_38400 = 4,
        MSPBAUD_57600 = 5,
        MSPBAUD_115200 = 6
    };
    Q_ENUM(MSPBAUD)

    enum MSPPWD_SIZE
    {
        MSPPWD_SIZE_16BIT = 16,
        MSPPWD_SIZE_32BIT = 32,
        MSPPWD_SIZE_256BIT = 256
    };
    Q_ENUM(MSPPWD_SIZE)

    enum MSPRX_ERROR
    {
        MSPRX_NO_ERROR = 0,
        MSPRX_ERROR_NO_ACK = 1,
        MSPRX_ERROR_WRONG_HEADER = 2,
        MSPRX_ERROR_LENGTH = 3,
        MSPRX_ERROR_CHECKSUM = 4,
        MSPRX_ERROR_MESSAGE = 5,
        MSPRX_ERROR_BUFFER_EMPTY = 6
    };
    Q_ENUM(MSPRX_ERROR)

    enum MSP_DEVICE_ERROR
    {
        MSP_DEVICE_ERROR_NO_ERROR = 0,
        MSP_DEVICE_ERROR_HEADER_INCORRECT = 0x51,
        MSP_DEVICE_ERROR_CHECKSUM_INCORRECT = 0x52,
        MSP_DEVICE_ERROR_PAKET_SIZE_ZERO = 0x53,
        MSP_DEVICE_ERROR_PACKET_OVERFLOW = 0x54,
        MSP_DEVICE_ERROR_UNKOWN_ERROR = 0x55,
        MSP_DEVICE_ERROR_UNKOWN_BAUDRATE = 0x56
    };
    Q_ENUM(MSP_DEVICE_ERROR)

    enum MSP_DEVICE_MESSAGE
    {
        MSP_DEVICE_MESSAGE_OPERATION_OK = 0,
        MSP_DEVICE_MESSAGE_BSL_LOCKED = 4,
        MSP_DEVICE_MESSAGE_PASSWORD_ERROR = 0x52,
        MSP_DEVICE_MESSAGE_UNKOWN_COMMAND = 0x53
    };
    Q_ENUM(MSP_DEVICE_MESSAGE)

    struct DataBlock
    {
        QByteArray data;
        uint32_t startAddress = 0;
        // CRC-16 of data, compared with the loader's own after writing.
        uint16_t crc = 0;
    };

    // Frame of an answer: acknowledge, header and core length.
    struct MSPHeaderBlock
    {
        uint8_t ack = 0;
        uint8_t header = 0;
        uint16_t coreLength = 0;
    };

    struct Error
    {
        MSPRX_ERROR rxError = MSPRX_NO_ERROR;
        // The loader's message byte when it answered with one.
        uint8_t deviceMessage = MSP_DEVICE_MESSAGE_OPERATION_OK;
    };

    static constexpr int maxBlockSize = 256;
    static constexpr uint8_t header = 0x80;
    static constexpr uint8_t ack = 0x00;

    using QObject::QObject;

    // The whole packet: header, core length, command, data of the block, CRC.
    static QByteArray buildTxCmd(MSPCMD cmd, const DataBlock* block);
    static uint16_t getCRC_CCITT(const QByteArray& bytes);
    static bool checkRxCrc(const QByteArray& core, uint16_t crc);
    static Error decodeRxBuffer(MSPCMD cmd, const QByteArray& answer, const DataBlock* block);
    // Bytes of the answer to the command.
    static int getRxNumberOfBytes(MSPCMD cmd);

    static void getDefaultPassword(MSPPWD_SIZE size, DataBlock* block);
    static void getWrongPassword(MSPPWD_SIZE size, DataBlock* block);

private:
    static QByteArray initBuffer(MSPCMD cmd);
    static QByteArray defaultBuffer(MSPCMD cmd, const DataBlock* block);
    static QByteArray rx32Buffer(const DataBlock& block);
    static QByteArray crc32Buffer(const DataBlock& block);
    static QByteArray finishBuffer(const QByteArray& core);
    static bool isCrcCheck(MSPCMD cmd) { return cmd == MSPCMD_CRC_CHECK_32 || cmd == MSPCMD_CRC_CHECK; }
};
