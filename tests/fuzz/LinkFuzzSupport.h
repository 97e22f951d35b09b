#pragma once

// What the link-layer harnesses share: a session set up for one receive
// path, what a link layer hands up (frames and errors), and the properties
// every delivered frame must have.

#include "FuzzSupport.h"

#include "protocol/VELTRIX_Frame.h"
#include "protocol/VELTRIX_LinkLayer.h"
#include "protocol/VELTRIX_Session.h"
#include "protocol/VELTRIX_SessionInfo.h"
#include "tools/support/FFakeSerialPortBackend.h"

#include <QList>
#include <QObject>

#include <array>
#include <memory>

namespace LinkFuzz
{

inline const std::array<uchar, 5> kDevice = {0x01, 0x00, 0x2A, 0x00, 0x00};

enum class Path : std::uint8_t
{
    Master,
    Slave,
    MasterBurst,
    SlaveBurst,
};

struct Setup
{
    Path path = Path::Master;
    VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command = VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130;

    bool slave() const { return path == Path::Slave || path == Path::SlaveBurst; }
    bool burst() const { return path == Path::MasterBurst || path == Path::SlaveBurst; }
};

// The path from the selector's low two bits; the request's command from the
// command byte's low four bits (128 to 143) or, with the selector's top two
// bits set, the command byte itself.
inline Setup setupFrom(std::uint8_t selector, std::uint8_t command)
{
    Setup setup;
    setup.path = static_cast<Path>(selector & 0x03);
    const int code = (selector & 0xC0) == 0xC0 ? command : 128 + (command & 0x0F);
    setup.command = static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(code);
    return setup;
}

// Everything a link layer handed up while bytes arrived.
struct Record
{
    QList<QByteArray> frames;
    QList<int> errors;

    bool operator==(const Record&) const = default;

    // For the report of a broken property.
    void print(const char* name) const
    {
        std::fprintf(stderr, "%s: errors", name);
        for (int error : errors)
            std::fprintf(stderr, " %d", error);
        std::fprintf(stderr, "\n");
        for (const QByteArray& frame : frames)
            std::fprintf(stderr, "%s: frame %s\n", name, frame.toHex(' ').constData());
    }
};

// Listens to a link layer for the whole process.
class Recorder
{
public:
    explicit Recorder(VELTRIX_LinkLayer* link)
    {
        QObject::connect(link, &VELTRIX_LinkLayer::sessionDataRxBufferReady,
                         [this](const QByteArray& frame) { record.frames.append(frame); });
        QObject::connect(link, &VELTRIX_LinkLayer::sessionNewInfo,
                         [this](VELTRIX_SessionInfo* info)
                         {
                             if (info->getError() != VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR)
                                 record.errors.append(info->getError());
                         });
    }

    Record record;
};

// A link layer on an in-memory serial port that never opens.
inline std::unique_ptr<VELTRIX_LinkLayer>
serialLink(VELTRIX_Session::VELTRIX_HW hw = VELTRIX_Session::VELTRIX_HW_UART,
           const BTLE_BackendFactory& radio = {})
{
    return std::make_unique<VELTRIX_LinkLayer>(
        nullptr, hw, VELTRIX_LinkTiming(), [] { return std::make_unique<FFakeSerialPortBackend>(); }, radio);
}

// One link layer, its session and what it handed up; built once per
// process, started afresh for every input.
struct Side
{
    explicit Side(std::unique_ptr<VELTRIX_LinkLayer> layer)
        : link(std::move(layer))
        , recorder(link.get())
    {
    }

    // A fresh session for `setup`: the receive context starts a new frame
    // hunt with the first byte.
    void start(const Setup& setup)
    {
        link->sessionStop();
        session.setType(setup.slave() ? VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE
                                      : VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
        session.setAddress(kDevice.data());
        session.setCommand(setup.command);
        link->sessionStart(&session);
        recorder.record = {};
        if (!setup.burst())
            return;
        link->sessionBurstModeSetActivate();
        // A device in burst mode has just sent a burst frame and waits for
        // the master's acknowledge.
        if (setup.slave())
            QMetaObject::invokeMethod(link.get(),
                                      link->getHardware() == VELTRIX_Session::VELTRIX_HW_BTLE
                                          ? "btleDataWritten"
                                          : "portDataWritten",
                                      Qt::DirectConnection);
    }

    std::unique_ptr<VELTRIX_LinkLayer> link;
    VELTRIX_Session session;
    Recorder recorder;
};

// The first input bytes: receive path, request command, where to cut.
struct Header
{
    std::uint8_t selector = 0;
    Setup setup;
    std::uint8_t seed = 0;
};

inline Header readHeader(FuzzSupport::Input& input)
{
    const std::uint8_t selector = input.byte();
    const std::uint8_t command = input.byte();
    return {selector, setupFrom(selector, command), input.byte()};
}

// Feeds the bytes in pieces as a transport would deliver them.
inline void feed(VELTRIX_LinkLayer* link, const QByteArray& bytes)
{
    QMetaObject::invokeMethod(link, "portDataReady", Qt::DirectConnection, Q_ARG(QByteArray, bytes));
}

// Chunk lengths 1 to 32 from a small generator, so that one seed byte
// cuts a stream anywhere.
inline QList<QByteArray> chunked(const QByteArray& stream, std::uint8_t seed)
{
    QList<QByteArray> chunks;
    std::uint32_t state = seed * 2654435761u + 1;
    for (qsizetype at = 0; at < stream.size();)
    {
        state = state * 1664525u + 1013904223u;
        const qsizetype length = 1 + static_cast<qsizetype>((state >> 24) % 32);
        chunks.append(stream.mid(at, length));
        at += length;
    }
    return chunks;
}

// What every frame handed up must be: bytes that really arrived, followed by
// their checksum, with the other side's delimiter, a byte count matching
// the length, and addressed to this session unless `addressUnchecked` (one
// flag per frame, from the reference reading) says the record's command was
// 137 when its address came.
inline void checkFrames(const Record& record, const QByteArray& stream, const Setup& setup,
                        const QList<bool>& addressUnchecked)
{
    FuzzSupport::note(std::to_string(record.frames.size()) + " frames, " +
                      std::to_string(record.errors.size()) + " errors");
    for (qsizetype index = 0; index < record.frames.size(); ++index)
    {
        const QByteArray& frame = record.frames.at(index);
        FuzzSupport::note("frame " + frame.toHex(' ').toStdString());
        FUZZ_CHECK(frame.size() > VELTRIX_Frame::iAddressSize,
                   "a frame handed up holds more than the address");
        FUZZ_CHECK(frame.size() <= VELTRIX_Frame::iRxBufferSize, "a frame handed up fits the receive buffer");
        const auto delimiter = static_cast<uchar>(frame.at(0));
        FUZZ_CHECK(delimiter ==
                       (setup.slave() ? VELTRIX_Frame::ucDelimiterMaster : VELTRIX_Frame::ucDelimiterSlave),
                   "a frame handed up carries the other side's delimiter");
        FUZZ_CHECK(frame.size() == VELTRIX_Frame::iOffsetByteCount + 1 +
                                       static_cast<uchar>(frame.at(VELTRIX_Frame::iOffsetByteCount)),
                   "a frame handed up is as long as its byte count says");
        if (!setup.slave())
            FUZZ_CHECK(static_cast<uchar>(frame.at(VELTRIX_Frame::iOffsetByteCount)) >=
                           VELTRIX_Frame::iStatusBytes,
                       "an answer handed up holds its status bytes");

        const QByteArray address = frame.mid(VELTRIX_Frame::iOffsetAddress, VELTRIX_Frame::iAddressSize);
        const bool own = address == QByteArray(reinterpret_cast<const char*>(kDevice.data()), 5);
        const bool broadcast = address == QByteArray(5, '\0');
        const bool unchecked = index < addressUnchecked.size() && addressUnchecked.at(index);
        FUZZ_CHECK(own || unchecked || (setup.slave() && broadcast),
                   "a frame handed up is addressed to this session");

        // After a wrong checksum byte the machine compares each further
        // byte with the checksum, so the good one may come later.
        const qsizetype at = stream.indexOf(frame);
        FUZZ_CHECK(at >= 0, "a frame handed up arrived as it is");
        FUZZ_CHECK(stream.indexOf(static_cast<char>(VELTRIX_Frame::checksum(frame)), at + frame.size()) >= 0,
                   "a frame handed up was followed by its checksum");
    }
}

} // namespace LinkFuzz
