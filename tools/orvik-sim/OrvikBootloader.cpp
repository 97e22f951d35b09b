#include "tools/orvik-sim/OrvikBootloader.h"

#include <QCryptographicHash>
#include <QJsonArray>

namespace Hvd::Weft::Simulator
{

namespace
{

// Tiva packets: size, checksum, command, data.
namespace Tiva
{
constexpr std::uint8_t ucPing = 0x20;
constexpr std::uint8_t ucDownload = 0x21;
constexpr std::uint8_t ucRun = 0x22;
constexpr std::uint8_t ucGetStatus = 0x23;
constexpr std::uint8_t ucSendData = 0x24;
constexpr std::uint8_t ucReset = 0x25;

constexpr std::uint8_t ucSuccess = 0x40;
constexpr std::uint8_t ucUnknownCommand = 0x41;
constexpr std::uint8_t ucInvalidCommand = 0x42;
constexpr std::uint8_t ucInvalidAddress = 0x43;
constexpr std::uint8_t ucFlashFailed = 0x44;
constexpr std::uint8_t ucAck = 0xCC;
constexpr std::uint8_t ucNak = 0x33;

constexpr int iHeaderSize = 2;
constexpr int iMinPacketSize = 3;
} // namespace Tiva

// MSP432 packets: header, core length (LSB first), core, CRC-16 of the core (LSB first).
namespace Msp
{
constexpr std::uint8_t ucWakeUp = 0xFF;
constexpr std::uint8_t ucHeader = 0x80;
constexpr std::uint8_t ucAck = 0x00;

constexpr std::uint8_t ucRxDataBlock32 = 0x20;
constexpr std::uint8_t ucRxPassword32 = 0x21;
constexpr std::uint8_t ucMassErase = 0x15;
constexpr std::uint8_t ucRebootReset = 0x25;
constexpr std::uint8_t ucCrcCheck32 = 0x26;

constexpr std::uint8_t ucData = 0x3A;
constexpr std::uint8_t ucMessage = 0x3B;

constexpr std::uint8_t ucOk = 0x00;
constexpr std::uint8_t ucLocked = 0x04;
constexpr std::uint8_t ucPasswordError = 0x52;
constexpr std::uint8_t ucUnknownCommand = 0x53;
// No message names a failed write; the master only needs "not OK".
constexpr std::uint8_t ucWriteFailed = 0x55;

// Sent instead of the acknowledge when a packet itself is broken.
constexpr std::uint8_t ucChecksumIncorrect = 0x52;
constexpr std::uint8_t ucPacketSizeZero = 0x53;
constexpr std::uint8_t ucPacketOverflow = 0x54;

// Command, 32-bit address and a 256-byte block.
constexpr int iMaxCore = 1 + 4 + 256;
constexpr int iPasswordSize = 256;
// The password of an erased device: its interrupt vectors, all 0xFF.
const QByteArray kDefaultPassword(iPasswordSize, static_cast<char>(0xFF));
} // namespace Msp

std::uint32_t bigEndian32(const QByteArray& bytes, int at)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes.at(at + i));
    return value;
}

std::uint32_t littleEndian(const QByteArray& bytes, int at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes.at(at + i));
    return value;
}

QByteArray bytesOf(std::initializer_list<std::uint8_t> values)
{
    QByteArray out;
    for (std::uint8_t value : values)
        out.append(static_cast<char>(value));
    return out;
}

} // namespace

std::optional<BootloaderFamily> parseBootloaderFamily(const QString& text)
{
    if (text == QLatin1String("tiva"))
        return BootloaderFamily::Tiva;
    if (text == QLatin1String("msp432"))
        return BootloaderFamily::Msp432;
    return std::nullopt;
}

const char* bootloaderFamilyName(BootloaderFamily family)
{
    switch (family)
    {
    case BootloaderFamily::Tiva:
        return "tiva";
    case BootloaderFamily::Msp432:
        return "msp432";
    case BootloaderFamily::None:
        break;
    }
    return "none";
}

OrvikBootloader::OrvikBootloader(BootloaderConfig config)
    : mConfig(config)
{
}

std::uint32_t OrvikBootloader::baudrate() const
{
    return mConfig.family == BootloaderFamily::Tiva ? 230400 : 115200;
}

void OrvikBootloader::clearFaults()
{
    mConfig.clearFaults();
}

void OrvikBootloader::enter()
{
    mRx.clear();
    mLeaving = false;
    mPackets = 0;
    mDataPackets = 0;
    mChecks = 0;
    mStatus = Tiva::ucSuccess;
    mDownloading = false;
    mLocked = true;
}

QByteArray OrvikBootloader::receive(const QByteArray& bytes)
{
    QByteArray out;
    for (char byte : bytes)
    {
        // Whatever follows a reset is heard by the application, not by us.
        if (mLeaving)
            break;
        out += mConfig.family == BootloaderFamily::Tiva ? tivaByte(byte) : mspByte(byte);
    }
    return out;
}

bool OrvikBootloader::countPacket()
{
    ++mPackets;
    return !(mConfig.silentFrom && mPackets >= *mConfig.silentFrom);
}

bool OrvikBootloader::strikes(const std::optional<int>& fault, int count) const
{
    return fault && (*fault < 0 || *fault == count);
}

QByteArray OrvikBootloader::withRelease(QByteArray answer) const
{
    if (mConfig.releaseByte && !answer.isEmpty())
        answer.append(cReleaseByte);
    return answer;
}

QByteArray OrvikBootloader::tivaByte(char byte)
{
    // Zeros between packets are line idle, not a packet size.
    if (mRx.isEmpty() && static_cast<std::uint8_t>(byte) < Tiva::iMinPacketSize)
        return {};
    mRx.append(byte);
    if (mRx.size() < static_cast<std::uint8_t>(mRx.at(0)))
        return {};
    const QByteArray packet = std::exchange(mRx, {});
    return tivaPacket(packet);
}

QByteArray OrvikBootloader::tivaPacket(const QByteArray& packet)
{
    if (!countPacket())
        return {};
    const QByteArray ack = bytesOf({0x00, Tiva::ucAck});
    const QByteArray nak = bytesOf({0x00, Tiva::ucNak});
    const QByteArray body = packet.mid(Tiva::iHeaderSize);
    if (crc8(body) != static_cast<std::uint8_t>(packet.at(1)))
        return withRelease(nak);

    const std::uint8_t command = static_cast<std::uint8_t>(body.at(0));
    const QByteArray data = body.mid(1);
    switch (command)
    {
    case Tiva::ucPing:
        break;
    case Tiva::ucDownload:
    {
        const std::uint32_t address = data.size() == 8 ? bigEndian32(data, 0) : 0;
        // Address 0 holds this loader; it is never overwritten.
        if (address == 0)
        {
            mStatus = data.size() == 8 ? Tiva::ucInvalidAddress : Tiva::ucInvalidCommand;
            break;
        }
        mNext = address;
        mEnd = std::uint64_t{address} + bigEndian32(data, 4);
        erase(address, mEnd - address);
        mErased = true;
        mCompleted = false;
        mDownloading = true;
        mStatus = Tiva::ucSuccess;
        break;
    }
    case Tiva::ucGetStatus:
    {
        ++mChecks;
        const std::uint8_t status = strikes(mConfig.badCheck, mChecks) ? Tiva::ucFlashFailed : mStatus;
        return withRelease(bytesOf({0x00, status}));
    }
    case Tiva::ucSendData:
        ++mDataPackets;
        if (strikes(mConfig.refuseData, mDataPackets))
            return withRelease(nak);
        if (!mDownloading)
            mStatus = Tiva::ucInvalidCommand;
        else if (mNext + std::uint64_t(data.size()) > mEnd)
            mStatus = Tiva::ucInvalidAddress;
        else
        {
            write(mNext, data);
            mNext += static_cast<std::uint32_t>(data.size());
            mStatus = Tiva::ucSuccess;
        }
        break;
    case Tiva::ucReset:
    case Tiva::ucRun:
        mCompleted = mDownloading && mNext == mEnd;
        mLeaving = true;
        break;
    default:
        mStatus = Tiva::ucUnknownCommand;
        break;
    }
    return withRelease(ack);
}

QByteArray OrvikBootloader::mspByte(char byte)
{
    const auto value = static_cast<std::uint8_t>(byte);
    if (mRx.isEmpty())
    {
        if (value == Msp::ucWakeUp)
        {
            const bool silent = mConfig.silentFrom && *mConfig.silentFrom == 0;
            return silent ? QByteArray() : withRelease(bytesOf({Msp::ucAck}));
        }
        // Anything else before a header is noise.
        if (value != Msp::ucHeader)
            return {};
    }
    mRx.append(byte);
    if (mRx.size() < 3)
        return {};
    const int coreLength = static_cast<int>(littleEndian(mRx, 1, 2));
    if (coreLength == 0 || coreLength > Msp::iMaxCore)
    {
        mRx.clear();
        return withRelease(bytesOf({coreLength == 0 ? Msp::ucPacketSizeZero : Msp::ucPacketOverflow}));
    }
    if (mRx.size() < 3 + coreLength + 2)
        return {};
    const QByteArray packet = std::exchange(mRx, {});
    const QByteArray core = packet.mid(3, coreLength);
    if (!countPacket())
        return {};
    if (crc16(core) != littleEndian(packet, 3 + coreLength, 2))
        return withRelease(bytesOf({Msp::ucChecksumIncorrect}));
    return mspPacket(core);
}

QByteArray OrvikBootloader::mspPacket(const QByteArray& core)
{
    const std::uint8_t command = static_cast<std::uint8_t>(core.at(0));
    const QByteArray data = core.mid(1);
    const auto message = [this](std::uint8_t code) { return mspAnswer(bytesOf({Msp::ucMessage, code})); };

    if (command == Msp::ucRxPassword32)
    {
        mLocked = data != Msp::kDefaultPassword;
        return message(mLocked ? Msp::ucPasswordError : Msp::ucOk);
    }
    if (mLocked)
        return message(Msp::ucLocked);

    switch (command)
    {
    case Msp::ucMassErase:
        mFlash.clear();
        mErased = true;
        mCompleted = false;
        mDataPackets = 0;
        return message(Msp::ucOk);
    case Msp::ucRxDataBlock32:
        if (data.size() < 4)
            return message(Msp::ucUnknownCommand);
        ++mDataPackets;
        if (strikes(mConfig.refuseData, mDataPackets))
            return message(Msp::ucWriteFailed);
        write(littleEndian(data, 0, 4), data.mid(4));
        return message(Msp::ucOk);
    case Msp::ucCrcCheck32:
    {
        if (data.size() != 6)
            return message(Msp::ucUnknownCommand);
        ++mChecks;
        std::uint16_t crc =
            crc16(flash(littleEndian(data, 0, 4), static_cast<int>(littleEndian(data, 4, 2))));
        if (strikes(mConfig.badCheck, mChecks))
            crc = static_cast<std::uint16_t>(~crc);
        return mspAnswer(bytesOf(
            {Msp::ucData, static_cast<std::uint8_t>(crc & 0xFF), static_cast<std::uint8_t>(crc >> 8)}));
    }
    case Msp::ucRebootReset:
        // The device restarts at once; nothing is answered.
        mCompleted = mErased && mDataPackets > 0;
        mLeaving = true;
        return {};
    default:
        return message(Msp::ucUnknownCommand);
    }
}

QByteArray OrvikBootloader::mspAnswer(const QByteArray& core) const
{
    QByteArray answer = bytesOf({Msp::ucAck, Msp::ucHeader, static_cast<std::uint8_t>(core.size() & 0xFF),
                                 static_cast<std::uint8_t>(core.size() >> 8)});
    answer += core;
    const std::uint16_t crc = crc16(core);
    answer += bytesOf({static_cast<std::uint8_t>(crc & 0xFF), static_cast<std::uint8_t>(crc >> 8)});
    return withRelease(answer);
}

void OrvikBootloader::write(std::uint32_t address, const QByteArray& bytes)
{
    for (int i = 0; i < bytes.size(); ++i)
        mFlash[address + static_cast<std::uint32_t>(i)] = static_cast<std::uint8_t>(bytes.at(i));
}

void OrvikBootloader::erase(std::uint32_t address, std::uint64_t length)
{
    const auto from = mFlash.lower_bound(address);
    const auto to = address + length > 0xFFFFFFFFu
                        ? mFlash.end()
                        : mFlash.lower_bound(static_cast<std::uint32_t>(address + length));
    mFlash.erase(from, to);
}

QByteArray OrvikBootloader::flash(std::uint32_t address, int length) const
{
    QByteArray bytes(length, static_cast<char>(0xFF));
    for (auto it = mFlash.lower_bound(address);
         it != mFlash.end() && it->first - address < std::uint32_t(length); ++it)
        bytes[static_cast<qsizetype>(it->first - address)] = static_cast<char>(it->second);
    return bytes;
}

QList<FlashRegion> OrvikBootloader::regions() const
{
    QList<FlashRegion> runs;
    for (const auto& [address, value] : mFlash)
    {
        if (runs.isEmpty() || runs.last().address + runs.last().bytes.size() != address)
            runs.append(FlashRegion{address, {}});
        runs.last().bytes.append(static_cast<char>(value));
    }
    return runs;
}

QJsonObject OrvikBootloader::stateJson() const
{
    QJsonArray regionList;
    for (const FlashRegion& region : regions())
    {
        regionList.append(QJsonObject{
            {"address", static_cast<qint64>(region.address)},
            {"length", region.bytes.size()},
            {"sha256",
             QString::fromLatin1(QCryptographicHash::hash(region.bytes, QCryptographicHash::Sha256).toHex())},
            {"bytes", QString::fromLatin1(region.bytes.toHex())},
        });
    }
    return QJsonObject{
        {"family", bootloaderFamilyName(mConfig.family)},
        {"regions", regionList},
        {"completed", mCompleted},
        {"erased", mErased},
    };
}

std::uint8_t OrvikBootloader::crc8(const QByteArray& bytes)
{
    std::uint8_t crc = 0xFF;
    for (char byte : bytes)
    {
        crc ^= static_cast<std::uint8_t>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x31 : crc << 1);
    }
    return crc;
}

std::uint16_t OrvikBootloader::crc16(const QByteArray& bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (char byte : bytes)
    {
        crc ^= static_cast<std::uint16_t>(static_cast<std::uint8_t>(byte) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

} // namespace Hvd::Weft::Simulator
