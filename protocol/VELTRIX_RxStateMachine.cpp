#include "protocol/VELTRIX_RxStateMachine.h"

#include <algorithm>

VELTRIX_RxStateMachine::State VELTRIX_RxStateMachine::frameHuntReset(unsigned char ucByte,
                                                                     const SessionView& session, Step& step)
{
    ucByteCounter = 0;
    ucPreambelCounter = 0;
    // The flag belongs to the frame it was set for: one cut off after its
    // address must not turn the next frame into a broadcast when that
    // frame's address goes unchecked (command 137).
    bBroadcast = false;
    if (ucByte != VELTRIX_Frame::ucPreambel)
        return VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_WAIT_FOR_FIRST_RECIEVE_BYTE;
    if (!isSlave(session.type) && session.burstActive)
        step.latencyStart = true;
    ucPreambelCounter = 1;
    return VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_COUNT_PREAMBELS;
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

    if (state == VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_SENDING ||
        state == VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_SENDING_DONE)
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
    if (state < VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_COUNT_PREAMBELS ||
        state == VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_ERROR)
    {
        step.state = frameHuntReset(ucByte, session, step);
        return step;
    }

    switch (state)
    {
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_COUNT_PREAMBELS:
        return countPreambels(ucByte, session, step);
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_CHECK_ADRESS:
        return checkAdress(ucByte, session, step);
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_COMMAND:
        return readCommand(ucByte, session, step);
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD_COUNT:
        return readPayloadCount(ucByte, session, step);
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_STATUS_BYTES:
        return readStatusBytes(ucByte, session, step);
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD:
        return readPayload(ucByte, session, step);
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_WAIT_FOR_BURST_ACK:
        return waitForBurstAck(ucByte, session, step);
    default:
        // Frame complete (or state unknown): nothing more is taken until the
        // next request, a restart or an error.
        step.event = Event::Ignored;
        return step;
    }
}

// Every stored byte must fit the buffer, whatever state the session record
// claims; a frame that would not fit is dropped.
bool VELTRIX_RxStateMachine::bufferFull() const
{
    return ucByteCounter >= VELTRIX_Frame::iRxBufferSize - 1;
}

VELTRIX_RxStateMachine::Step VELTRIX_RxStateMachine::overflow(Step step)
{
    step.error = VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_NO_DATA_IN_SESSION;
    step.state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_ERROR;
    return step;
}

VELTRIX_RxStateMachine::Step VELTRIX_RxStateMachine::countPreambels(unsigned char ucByte,
                                                                    const SessionView& session, Step step)
{
    const bool slave = isSlave(session.type);
    const bool expected = (session.type == VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER &&
                           ucByte == VELTRIX_Frame::ucDelimiterSlave) ||
                          (slave && ucByte == VELTRIX_Frame::ucDelimiterMaster);
    if (ucByte == VELTRIX_Frame::ucPreambel)
    {
        // Saturates so that an endless run of 0xFF keeps counting as too many.
        ucPreambelCounter = static_cast<std::uint8_t>(std::min(ucPreambelCounter + 1, 255));
        if (ucPreambelCounter > VELTRIX_Frame::iMaxRxPreambels)
            step.error = VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TOO_MANY_PREAMBELS;
    }
    else if (expected)
    {
        if (ucPreambelCounter <= VELTRIX_Frame::iMinRxPreambelsExclusive)
        {
            step.error = VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TOO_FEW_PREAMBELS;
        }
        else
        {
            ucByteCounter = 0;
            ucBuffer[0] = ucByte;
            ucChecksum = ucByte;
            step.state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_CHECK_ADRESS;
        }
    }
    return step;
}

VELTRIX_RxStateMachine::Step VELTRIX_RxStateMachine::checkAdress(unsigned char ucByte,
                                                                 const SessionView& session, Step step)
{
    const bool slave = isSlave(session.type);
    // After a wrong address the rest of the frame is discarded unseen.
    if (ucByteCounter >= VELTRIX_Frame::iAddressSize)
        return step;
    store(ucByte);
    if (ucByteCounter < VELTRIX_Frame::iAddressSize)
        return step;
    const unsigned char* received = &ucBuffer[VELTRIX_Frame::iOffsetAddress];
    bool accepted = session.command == VELTRIX_Frame::ucCommandReadAddress;
    if (!accepted && slave)
    {
        bBroadcast = std::all_of(received, received + VELTRIX_Frame::iAddressSize,
                                 [](unsigned char c) { return c == 0; });
        accepted = bBroadcast;
    }
    if (!accepted)
        accepted = std::equal(received, received + VELTRIX_Frame::iAddressSize, session.address.begin());
    if (accepted)
        step.state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_COMMAND;
    else
        step.error = VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_ADDRESS;
    return step;
}

VELTRIX_RxStateMachine::Step VELTRIX_RxStateMachine::readCommand(unsigned char ucByte,
                                                                 const SessionView& session, Step step)
{
    const bool slave = isSlave(session.type);
    if (bufferFull())
        return overflow(step);
    store(ucByte);
    bool matches = true;
    if (!slave)
    {
        matches = ucByte == (session.burstActive ? VELTRIX_Frame::ucCommandBurst : session.command);
    }
    else if (bBroadcast)
    {
        bBroadcast = false;
        matches = ucByte == VELTRIX_Frame::ucCommandReadAddress;
    }
    else
    {
        step.commandReceived = true;
        step.receivedCommand = ucByte;
    }
    if (!matches)
        step.error = VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_COMMAND;
    // A wrong command still lets the frame through if its checksum is right.
    step.state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD_COUNT;
    return step;
}

VELTRIX_RxStateMachine::Step VELTRIX_RxStateMachine::readPayloadCount(unsigned char ucByte,
                                                                      const SessionView& session, Step step)
{
    const bool slave = isSlave(session.type);
    if (bufferFull())
        return overflow(step);
    store(ucByte);
    // Too long for the buffer, or no room for the status bytes of a response.
    if (ucByte > VELTRIX_Frame::iMaxByteCount || (!slave && ucByte < VELTRIX_Frame::iStatusBytes))
        return overflow(step);
    if (slave)
    {
        ucPayloadCounter = ucByte;
        step.state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD;
    }
    else
    {
        step.state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_STATUS_BYTES;
    }
    return step;
}

VELTRIX_RxStateMachine::Step
VELTRIX_RxStateMachine::readStatusBytes(unsigned char ucByte, const SessionView& /*session*/, Step step)
{
    if (bufferFull())
        return overflow(step);
    store(ucByte);
    if (ucByteCounter >= VELTRIX_Frame::iOffsetStatusHigh + 1)
    {
        ucPayloadCounter = static_cast<std::uint8_t>(
            std::max(0, ucBuffer[VELTRIX_Frame::iOffsetByteCount] - VELTRIX_Frame::iStatusBytes));
        step.state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD;
    }
    return step;
}

VELTRIX_RxStateMachine::Step VELTRIX_RxStateMachine::readPayload(unsigned char ucByte,
                                                                 const SessionView& /*session*/, Step step)
{
    if (ucPayloadCounter > 0)
    {
        if (bufferFull())
            return overflow(step);
        store(ucByte);
        --ucPayloadCounter;
        return step;
    }
    if (ucByte == ucChecksum)
    {
        step.state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_DONE;
        step.event = Event::FrameReady;
    }
    else
    {
        step.error = VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_CHECKSUM;
    }
    return step;
}

VELTRIX_RxStateMachine::Step VELTRIX_RxStateMachine::waitForBurstAck(unsigned char ucByte,
                                                                     const SessionView& session, Step step)
{
    const bool slave = isSlave(session.type);
    if (slave || session.burstActive)
    {
        if (ucByte == VELTRIX_Frame::ucBurstAcknowledge)
        {
            step.event = Event::BurstAcknowledged;
            step.state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE;
        }
        else
        {
            step.error = VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_BURST_ACK;
            step.state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_ERROR;
        }
        return step;
    }
    step.state = VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE;
    return step;
}
