#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// Wire constants and framing of VELTRIX frames. The application layers build
// the part from the delimiter to the last payload byte; preambles and the
// checksum are added here when sending.
namespace VELTRIX_Frame
{
constexpr unsigned char ucPreambel = 0xFF;
// Delimiter of a frame from the master to a device.
constexpr unsigned char ucDelimiterMaster = 0x82;
// Delimiter of a frame from a device to the master (responses, burst frames).
constexpr unsigned char ucDelimiterSlave = 0x86;
constexpr int iTxPreambels = 5;
// A frame needs more than this many preambles before its delimiter.
constexpr int iMinRxPreambelsExclusive = 4;
constexpr int iMaxRxPreambels = 20;
// The single byte a master answers each burst frame with.
constexpr unsigned char ucBurstAcknowledge = 0x0F;
// Sent after the adapter power cycle to put the device into protocol mode.
constexpr char szWakeUpToken[] = "VELT";
constexpr unsigned char ucCommandReadAddress = 137;
constexpr unsigned char ucCommandBurst = 139;

constexpr int iAddressSize = 5;
// Offsets from the delimiter.
constexpr int iOffsetAddress = 1;
constexpr int iOffsetCommand = 6;
constexpr int iOffsetByteCount = 7;
constexpr int iOffsetStatusHigh = 8;
// Delimiter through last payload byte; the checksum is not stored.
constexpr int iRxBufferSize = 255;
constexpr int iMaxByteCount = iRxBufferSize - iOffsetByteCount - 1;
// Responses carry two status bytes counted in the byte count.
constexpr int iStatusBytes = 2;

// XOR of all bytes.
unsigned char checksum(const unsigned char* data, std::size_t size);
unsigned char checksum(const QByteArray& data);

// Puts the preambles in front of a delimiter-to-payload buffer and the
// checksum behind it.
void addFraming(QByteArray& buffer);
} // namespace VELTRIX_Frame
