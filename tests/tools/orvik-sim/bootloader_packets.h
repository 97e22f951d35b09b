#pragma once

// Loader packets as a master builds them, and the answers the sensor's
// loader gives, worked out independently of the loader under test.

#include <QByteArray>

#include <cstdint>

namespace SimTest
{

// The checksums bit by bit, the polynomial shifted in from the top; the
// loader's own are checked against these and against published check values.
inline std::uint32_t crcMsbFirst(const QByteArray& bytes, int width, std::uint32_t polynomial,
                                 std::uint32_t start)
{
    const std::uint32_t top = 1u << (width - 1);
    const std::uint32_t mask = (top << 1) - 1;
    std::uint32_t crc = start;
    for (char byte : bytes)
        for (int bit = 7; bit >= 0; --bit)
        {
            const bool in = ((static_cast<std::uint8_t>(byte) >> bit) & 1) != 0;
            const bool out = (crc & top) != 0;
            crc = (crc << 1) & mask;
            if (in != out)
                crc ^= polynomial;
        }
    return crc;
}

inline std::uint8_t crc8(const QByteArray& bytes)
{
    return static_cast<std::uint8_t>(crcMsbFirst(bytes, 8, 0x31, 0xFF));
}

inline std::uint16_t crc16(const QByteArray& bytes)
{
    return static_cast<std::uint16_t>(crcMsbFirst(bytes, 16, 0x1021, 0xFFFF));
}

inline QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

inline QByteArray image(int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(static_cast<char>((i * 7 + 3) & 0xFF));
    return bytes;
}

inline QByteArray be32(std::uint32_t value)
{
    QByteArray out;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(static_cast<char>(value >> shift));
    return out;
}

inline QByteArray le(std::uint32_t value, int size)
{
    QByteArray out;
    for (int i = 0; i < size; ++i)
        out.append(static_cast<char>(value >> (8 * i)));
    return out;
}

// --- Tiva: size, CRC-8 of command and data, command, data ---

inline QByteArray tiva(std::uint8_t command, const QByteArray& data = {})
{
    const QByteArray body = QByteArray(1, static_cast<char>(command)) + data;
    QByteArray packet;
    packet.append(static_cast<char>(body.size() + 2));
    packet.append(static_cast<char>(crc8(body)));
    return packet + body;
}

// --- MSP432: 0x80, core length, core, CRC-16 of the core (little endian) ---

inline QByteArray msp(const QByteArray& core)
{
    const std::uint16_t crc = crc16(core);
    return hex("80") + le(static_cast<std::uint32_t>(core.size()), 2) + core + le(crc, 2);
}

inline QByteArray mspAnswer(const QByteArray& core)
{
    return hex("0080") + le(static_cast<std::uint32_t>(core.size()), 2) + core + le(crc16(core), 2) +
           hex("ff");
}

inline QByteArray crcCheck(std::uint32_t address, int length)
{
    return msp(hex("26") + le(address, 4) + le(static_cast<std::uint32_t>(length), 2));
}

inline QByteArray dataBlock(std::uint32_t address, const QByteArray& data)
{
    return msp(hex("20") + le(address, 4) + data);
}

} // namespace SimTest
