#pragma once

#include "protocol/VELTRIX_Frame.h"
#include "protocol/VELTRIX_Session.h"

#include <array>
#include <cstdint>

// The byte-wise receive state machine of the link layer as plain value code:
// one byte in, the state to report, an error to raise or a finished frame
// out. Timers, signals and the session record stay with the link layer, which
// passes in what the machine needs to know about the session.
class VELTRIX_RxStateMachine
{
public:
    using State = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE;
    using Error = VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR;
    using Type = VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE;

    // What the machine must know of the running session.
    struct SessionView
    {
        Type type = VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER;
        // The command of the request; 137 accepts any address.
        unsigned char command = 0;
        std::array<unsigned char, VELTRIX_Frame::iAddressSize> address{};
        bool burstActive = false;
    };

    enum class Event : std::uint8_t
    {
        None,
        // The byte was not looked at (own transmission, frame already complete).
        Ignored,
        // The byte completed a frame: the state is RECIEVING_DONE; frame() holds it.
        FrameReady,
        // The acknowledge of a burst frame arrived; the state is INACTIVE.
        BurstAcknowledged,
    };

    struct Step
    {
        // State to report after the byte (after raising the error, if any).
        State state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_UNKNOWN;
        // Raised before the state is reported; NO_ERROR if none.
        Error error = VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR;
        Event event = Event::None;
        // First preamble byte of a burst frame to a master: latency starts here.
        bool latencyStart = false;
        // A slave session takes the command of the request it receives.
        bool commandReceived = false;
        unsigned char receivedCommand = 0;
    };

    // Feeds one byte. `state` is the session state the byte finds.
    Step feed(unsigned char ucByte, State state, const SessionView& session);

    // The next byte starts a new frame hunt whatever the state (after a timeout).
    void requestRestart() { bRestart = true; }
    bool restartRequested() const { return bRestart; }

    // The frame completed by the last FrameReady: delimiter through last
    // payload byte, no preambles, no checksum.
    const unsigned char* frameData() const { return ucBuffer.data(); }
    int frameSize() const { return ucByteCounter + 1; }
    // Frames of 5 bytes or fewer carry nothing the application could use.
    bool frameUsable() const { return frameSize() > VELTRIX_Frame::iAddressSize; }

    unsigned char preambleCount() const { return ucPreambelCounter; }

    static bool isSlave(Type type) { return type == VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_SLAVE; }

private:
    State frameHuntReset(unsigned char ucByte, const SessionView& session, Step& step);
    void store(unsigned char ucByte);
    bool bufferFull() const;
    static Step overflow(Step step);

    // One receive state each: the byte, the session, and the step so far.
    Step countPreambels(unsigned char ucByte, const SessionView& session, Step step);
    Step checkAdress(unsigned char ucByte, const SessionView& session, Step step);
    Step readCommand(unsigned char ucByte, const SessionView& session, Step step);
    Step readPayloadCount(unsigned char ucByte, const SessionView& session, Step step);
    Step readStatusBytes(unsigned char ucByte, const SessionView& session, Step step);
    Step readPayload(unsigned char ucByte, const SessionView& session, Step step);
    Step waitForBurstAck(unsigned char ucByte, const SessionView& session, Step step);

    std::array<unsigned char, VELTRIX_Frame::iRxBufferSize> ucBuffer{};
    // Index of the last stored byte.
    std::uint8_t ucByteCounter = 0;
    std::uint8_t ucPreambelCounter = 0;
    std::uint8_t ucPayloadCounter = 0;
    // XOR of the stored bytes, kept as they arrive.
    unsigned char ucChecksum = 0;
    bool bRestart = false;
    // Slave side: the frame being received is addressed to everybody.
    bool bBroadcast = false;
};
