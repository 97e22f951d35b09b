#include "protocol/VELTRIX_RxStateMachine.h"

#include <algorithm>

namespace
{
using S = VELTRIX_Session;
namespace F = VELTRIX_Frame;
} // namespace

VELTRIX_RxStateMachine::State VELTRIX_RxStateMachine::frameHuntReset(unsigned char ucByte,
                                                                     const SessionView& session, Step& step)
{
    ucByteCounter = 0;
    ucPreambelCounter = 0;
    if (ucByte != F::ucPreambel)
        return S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_WAIT_FOR_FIRST_RECIEVE_BYTE;
    if (!isSlave(session.type) && session.burstActive)
        step.latencyStart = true;
    ucPreambelCounter = 1;
    return S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_COUNT_PREAMBELS;
}

void VELTRIX_RxStateMachine::store(unsigned char ucByte)
{
    ++ucByteCounter;
    ucBuffer[ucByteCounter] = ucByte;
    ucChecksum ^= ucByte;
}

VELTRIX_RxStateMachine::Step VELTRIX_RxStateMachine::feed(unsigned char ucByte, State state,
                                                          const SessionView& session)
{
    Step step;
    step.state = state;

    if (state == S::VELTRIX_ENUM_SESSION_STATE_SENDING || state == S::VELTRIX_ENUM_SESSION_STATE_SENDING_DONE)
    {
        step.event = Event::Ignored;
        return step;
    }
    if (bRestart)
    {
        bRestart = false;
        step.state = frameHuntReset(ucByte, session, step);
        return step;
    }
    if (state < S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_COUNT_PREAMBELS ||
        state == S::VELTRIX_ENUM_SESSION_STATE_ERROR)
    {
        step.state = frameHuntReset(ucByte, session, step);
        return step;
    }

    const bool slave = isSlave(session.type);
    // Every stored byte must fit the buffer, whatever state the session record
    // claims; a frame that would not fit is dropped.
    const bool full = ucByteCounter >= F::iRxBufferSize - 1;
    auto overflow = [&step]
    {
        step.error = S::VELTRIX_ENUM_SESSION_ERROR_NO_DATA_IN_SESSION;
        step.state = S::VELTRIX_ENUM_SESSION_STATE_ERROR;
        return step;
    };

    switch (state)
    {
    case S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_COUNT_PREAMBELS:
    {
        const bool expected =
            (session.type == S::VELTRIX_ENUM_SESSION_TYPE_MASTER && ucByte == F::ucDelimiterSlave) ||
            (slave && ucByte == F::ucDelimiterMaster);
        if (ucByte == F::ucPreambel)
        {
            // Saturates so that an endless run of 0xFF keeps counting as too many.
            ucPreambelCounter = static_cast<std::uint8_t>(std::min(ucPreambelCounter + 1, 255));
            if (ucPreambelCounter > F::iMaxRxPreambels)
                step.error = S::VELTRIX_ENUM_SESSION_ERROR_TOO_MANY_PREAMBELS;
        }
        else if (expected)
        {
            if (ucPreambelCounter <= F::iMinRxPreambelsExclusive)
            {
                step.error = S::VELTRIX_ENUM_SESSION_ERROR_TOO_FEW_PREAMBELS;
            }
            else
            {
                ucByteCounter = 0;
                ucBuffer[0] = ucByte;
                ucChecksum = ucByte;
                step.state = S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_CHECK_ADRESS;
            }
        }
        return step;
    }

    case S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_CHECK_ADRESS:
    {
        // After a wrong address the rest of the frame is discarded unseen.
        if (ucByteCounter >= F::iAddressSize)
            return step;
        store(ucByte);
        if (ucByteCounter < F::iAddressSize)
            return step;
        const unsigned char* received = &ucBuffer[F::iOffsetAddress];
        bool accepted = session.command == F::ucCommandReadAddress;
        if (!accepted && slave)
        {
            bBroadcast =
                std::all_of(received, received + F::iAddressSize, [](unsigned char c) { return c == 0; });
            accepted = bBroadcast;
        }
        if (!accepted)
            accepted = std::equal(received, received + F::iAddressSize, session.address.begin());
        if (accepted)
            step.state = S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_COMMAND;
        else
            step.error = S::VELTRIX_ENUM_SESSION_ERROR_WRONG_ADDRESS;
        return step;
    }

    case S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_COMMAND:
    {
        if (full)
            return overflow();
        store(ucByte);
        bool matches = true;
        if (!slave)
        {
            matches = ucByte == (session.burstActive ? F::ucCommandBurst : session.command);
        }
        else if (bBroadcast)
        {
            bBroadcast = false;
            matches = ucByte == F::ucCommandReadAddress;
        }
        else
        {
            step.commandReceived = true;
            step.receivedCommand = ucByte;
        }
        if (!matches)
            step.error = S::VELTRIX_ENUM_SESSION_ERROR_WRONG_COMMAND;
        // A wrong command still lets the frame through if its checksum is right.
        step.state = S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD_COUNT;
        return step;
    }

    case S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD_COUNT:
    {
        if (full)
            return overflow();
        store(ucByte);
        // Too long for the buffer, or no room for the status bytes of a response.
        if (ucByte > F::iMaxByteCount || (!slave && ucByte < F::iStatusBytes))
            return overflow();
        if (slave)
        {
            ucPayloadCounter = ucByte;
            step.state = S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD;
        }
        else
        {
            step.state = S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_STATUS_BYTES;
        }
        return step;
    }

    case S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_STATUS_BYTES:
    {
        if (full)
            return overflow();
        store(ucByte);
        if (ucByteCounter >= F::iOffsetStatusHigh + 1)
        {
            ucPayloadCounter =
                static_cast<std::uint8_t>(std::max(0, ucBuffer[F::iOffsetByteCount] - F::iStatusBytes));
            step.state = S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD;
        }
        return step;
    }

    case S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD:
    {
        if (ucPayloadCounter > 0)
        {
            if (full)
                return overflow();
            store(ucByte);
            --ucPayloadCounter;
            return step;
        }
        if (ucByte == ucChecksum)
        {
            step.state = S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_DONE;
            step.event = Event::FrameReady;
        }
        else
        {
            step.error = S::VELTRIX_ENUM_SESSION_ERROR_WRONG_CHECKSUM;
        }
        return step;
    }

    case S::VELTRIX_ENUM_SESSION_STATE_RECIEVING_WAIT_FOR_BURST_ACK:
    {
        if (slave || session.burstActive)
        {
            if (ucByte == F::ucBurstAcknowledge)
            {
                step.event = Event::BurstAcknowledged;
                step.state = S::VELTRIX_ENUM_SESSION_STATE_INACTIVE;
            }
            else
            {
                step.error = S::VELTRIX_ENUM_SESSION_ERROR_BURST_ACK;
                step.state = S::VELTRIX_ENUM_SESSION_STATE_ERROR;
            }
            return step;
        }
        step.state = S::VELTRIX_ENUM_SESSION_STATE_INACTIVE;
        return step;
    }

    default:
        // Frame complete (or state unknown): nothing more is taken until the
        // next request, a restart or an error.
        step.event = Event::Ignored;
        return step;
    }
}
