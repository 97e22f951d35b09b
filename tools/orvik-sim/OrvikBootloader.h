#pragma once

#include "tools/orvik-sim/OrvikSimulatorTypes.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>

#include <cstdint>
#include <map>

namespace Hvd::Weft::Simulator
{

// One run of consecutive written flash bytes.
struct FlashRegion
{
    std::uint32_t address = 0;
    QByteArray bytes;

    friend bool operator==(const FlashRegion&, const FlashRegion&) = default;
};

// The loader of the sensor's microcontroller, seen from the device side:
// bytes from the line in, its answers out. It keeps the flash across stays
// in the loader. Not thread-safe; the sensor's lock covers it.
class OrvikBootloader
{
public:
    // What the adapter delivers when the loader lets go of the line.
    static constexpr char cReleaseByte = static_cast<char>(0xFF);

    explicit OrvikBootloader(BootloaderConfig config);

    BootloaderFamily family() const { return mConfig.family; }
    // The loader's fixed line rate.
    std::uint32_t baudrate() const;

    // A new stay in the loader: locked, no packet half received, fault counts from the start.
    void enter();
    void clearFaults();
    // Bytes heard on the line; returns what the loader sends back.
    QByteArray receive(const QByteArray& bytes);
    // A reset or run command was carried out: the application runs again.
    bool leaving() const { return mLeaving; }

    // Flash bytes; unwritten ones read as 0xFF.
    QByteArray flash(std::uint32_t address, int length) const;
    QList<FlashRegion> regions() const;
    // The last transfer ended with a reset after all its data was written.
    bool completed() const { return mCompleted; }
    bool erased() const { return mErased; }
    int packetCount() const { return mPackets; }

    // The state file's "firmware" object.
    QJsonObject stateJson() const;

    // The packet checksums: CRC-8 (0x31, start 0xFF) and CRC-16 (0x1021, start 0xFFFF).
    static std::uint8_t crc8(const QByteArray& bytes);
    static std::uint16_t crc16(const QByteArray& bytes);

private:
    QByteArray tivaByte(char byte);
    QByteArray tivaPacket(const QByteArray& packet);
    QByteArray mspByte(char byte);
    QByteArray mspPacket(const QByteArray& core);
    QByteArray mspAnswer(const QByteArray& core) const;
    // Counts a packet; false when the silence fault has struck.
    bool countPacket();
    bool strikes(const std::optional<int>& fault, int count) const;
    QByteArray withRelease(QByteArray answer) const;
    void write(std::uint32_t address, const QByteArray& bytes);
    void erase(std::uint32_t address, std::uint64_t length);

    BootloaderConfig mConfig;
    std::map<std::uint32_t, std::uint8_t> mFlash;
    QByteArray mRx;
    bool mLeaving = false;
    bool mCompleted = false;
    bool mErased = false;
    int mPackets = 0;
    int mDataPackets = 0;
    int mChecks = 0;

    // Tiva: the status Get Status reports and the range a Download announced.
    std::uint8_t mStatus = 0x40;
    bool mDownloading = false;
    std::uint32_t mNext = 0;
    std::uint64_t mEnd = 0;

    // MSP432
    bool mLocked = true;
};

} // namespace Hvd::Weft::Simulator
