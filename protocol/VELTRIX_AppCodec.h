#pragma once

#include <array>

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>

#include "protocol/VELTRIX_Frame.h"
#include "protocol/VELTRIX_Keys.h"
#include "protocol/VELTRIX_Session.h"

// Payload encoding of the commands 128 to 143 for both ends of the bus, as
// plain functions on frames and data maps. Frames run from the delimiter to
// the last payload byte (the link layer adds preambles and checksum). Every
// decoder checks lengths against the bytes actually present, so a truncated
// or malformed frame ends in a "Universal Error" code, never in a read past
// the end of the frame.
namespace VELTRIX_AppCodec
{

using Command = VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND;
using DataMap = QMap<QString, QVariant>;
using Address = std::array<uchar, VELTRIX_Session::iAddressSize>;

// Delimiter, five address bytes, command, byte count.
constexpr int iHeaderSize = VELTRIX_Frame::iOffsetByteCount + 1;
// Status low byte of an answer; its payload follows.
constexpr int iStatusLowOffset = VELTRIX_Frame::iOffsetStatusHigh + 1;
constexpr int iAnswerPayloadOffset = iStatusLowOffset + 1;
constexpr int iStringFieldSize = 16;
constexpr int iStatusStringCount = 8;
constexpr int iMaxVariables = 8;
// The byte count is one byte and includes the two status bytes of an answer.
constexpr int iMaxAnswerPayload = 255 - 2;
// Largest answer to command 130 the master takes (byte count 100).
constexpr int iMaxReadBytes = 98;

// Big-endian fields; iBytes from 1 to 4.
void appendBigEndian(QByteArray& buffer, quint32 ulValue, int iBytes);
quint32 readBigEndian(const QByteArray& buffer, int iOffset, int iBytes);
// IEEE-754 single, most significant byte first (1.0 is 3F 80 00 00).
void appendFloat(QByteArray& buffer, float fValue);
float readFloat(const QByteArray& buffer, int iOffset);
// 16-byte Latin-1 text field: cut to 16 bytes, padded with NUL.
QByteArray encodeStringField(const QString& text);
// Text up to the first NUL, at most 16 characters.
QString decodeStringField(const QByteArray& buffer, int iOffset);

// Command byte of a frame, or fallback when the frame is too short to hold one.
Command commandOf(const QByteArray& frame, Command fallback);
// Address bytes of a frame of at least six bytes.
Address addressOf(const QByteArray& frame);

// The command's standard map with the keys of values written over it, so a
// caller's map that lacks a key still encodes that key's default.
DataMap withDefaults(Command command, const DataMap& values);

// Master side: the request frame for a command (address all zero for 137).
QByteArray buildRequest(Command command, const Address& address, const DataMap& values);
// Master side: a response frame decoded into the command's map, starting
// from defaults. Payload keys are written only when "Universal Error" is 0.
DataMap decodeResponse(Command command, const QByteArray& frame, const DataMap& defaults);

// Slave side: the values of a request frame, starting from defaults; a
// payload of the wrong length sets "Universal Error" 1 or 2, an unknown
// command 255, and leaves the request keys at their defaults.
DataMap decodeRequest(Command command, const QByteArray& frame, const DataMap& defaults);
// Slave side: the answer frame to a request whose decoded values are
// request, from the values prepared in answer. A request that could not be
// decoded is answered without payload and with its "Universal Error" code as
// status low byte, so the master sees it as not executed.
QByteArray buildAnswer(Command command, const Address& address, const DataMap& answer,
                       const DataMap& request);
// Slave side: one burst frame (command 139) from the burst values.
QByteArray buildBurstFrame(const Address& address, const DataMap& burst);

} // namespace VELTRIX_AppCodec
