#pragma once

// A second, deliberately plain reading of the receive rules of the link
// layer, written from the frame format rather than from the state machine's
// code: preambles, delimiter, address, command, byte count, status bytes,
// payload and checksum, with what follows each error. The link harness
// holds the real link layer against it byte for byte.

#include "LinkFuzzSupport.h"

#include <vector>

namespace LinkFuzz
{

class Reference
{
public:
    Reference(const Setup& setup)
        : mSlave(setup.slave())
        , mBurst(setup.burst())
        , mCommand(static_cast<uchar>(setup.command))
        // A device in burst mode starts out waiting for the acknowledge.
        , mState(setup.slave() && setup.burst() ? WaitForAck : Inactive)
    {
    }

    void feed(const QByteArray& bytes)
    {
        for (const char c : bytes)
            feed(static_cast<uchar>(c));
    }

    Record record;
    // For each frame handed up: whether its address went unchecked because
    // the record's command was 137 then (a device takes the command of
    // every request it hears, so an earlier request can set it).
    QList<bool> addressUnchecked;

private:
    enum State
    {
        Inactive = 0,
        Hunting = 3,
        Preambles = 4,
        Address = 5,
        Command = 6,
        Count = 7,
        Status = 8,
        Payload = 9,
        WaitForAck = 11,
        DataReady = 12,
        Error = 13,
    };

    void error(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR code, State resumeIn)
    {
        record.errors.append(code);
        // Every error ends burst mode.
        mBurst = false;
        mState = resumeIn;
    }

    bool store(uchar b)
    {
        if (mBuffer.size() >= VELTRIX_Frame::iRxBufferSize)
        {
            error(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_NO_DATA_IN_SESSION, Error);
            return false;
        }
        mBuffer.push_back(b);
        return true;
    }

    uchar checksum() const
    {
        uchar sum = 0;
        for (uchar b : mBuffer)
            sum ^= b;
        return sum;
    }

    void feed(uchar b)
    {
        switch (mState)
        {
        case Inactive:
        case Hunting:
        case Error:
            mBuffer.clear();
            mPreambles = b == VELTRIX_Frame::ucPreambel ? 1 : 0;
            mState = mPreambles ? Preambles : Hunting;
            return;
        case Preambles:
            if (b == VELTRIX_Frame::ucPreambel)
            {
                mPreambles = std::min(mPreambles + 1, 255);
                if (mPreambles > VELTRIX_Frame::iMaxRxPreambels)
                    error(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TOO_MANY_PREAMBELS, Preambles);
            }
            else if (b == (mSlave ? VELTRIX_Frame::ucDelimiterMaster : VELTRIX_Frame::ucDelimiterSlave))
            {
                if (mPreambles <= VELTRIX_Frame::iMinRxPreambelsExclusive)
                {
                    error(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TOO_FEW_PREAMBELS, Preambles);
                }
                else
                {
                    mBuffer.assign(1, b);
                    mState = Address;
                }
            }
            return;
        case Address:
            // After a wrong address the rest of the frame goes unseen.
            if (mBuffer.size() > static_cast<std::size_t>(VELTRIX_Frame::iAddressSize))
                return;
            mBuffer.push_back(b);
            if (mBuffer.size() == static_cast<std::size_t>(VELTRIX_Frame::iAddressSize) + 1)
                checkAddress();
            return;
        case Command:
            if (!store(b))
                return;
            if (!mSlave)
            {
                if (b != (mBurst ? VELTRIX_Frame::ucCommandBurst : mCommand))
                    error(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_COMMAND, Count);
            }
            else if (mBroadcast)
            {
                mBroadcast = false;
                if (b != VELTRIX_Frame::ucCommandReadAddress)
                    error(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_COMMAND, Count);
            }
            else
            {
                // A device takes the command of the request it receives.
                mCommand = b;
            }
            mState = Count;
            return;
        case Count:
            if (!store(b))
                return;
            if (b > VELTRIX_Frame::iMaxByteCount || (!mSlave && b < VELTRIX_Frame::iStatusBytes))
            {
                error(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_NO_DATA_IN_SESSION, Error);
                return;
            }
            mPayload = mSlave ? b : b - VELTRIX_Frame::iStatusBytes;
            mState = mSlave ? Payload : Status;
            return;
        case Status:
            if (store(b) && mBuffer.size() == static_cast<std::size_t>(VELTRIX_Frame::iOffsetStatusHigh) + 2)
                mState = Payload;
            return;
        case Payload:
            if (mPayload > 0)
            {
                if (store(b))
                    --mPayload;
                return;
            }
            if (b != checksum())
            {
                error(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_CHECKSUM, Payload);
                return;
            }
            record.frames.append(QByteArray(reinterpret_cast<const char*>(mBuffer.data()),
                                            static_cast<qsizetype>(mBuffer.size())));
            addressUnchecked.append(mUnchecked);
            // A master in burst mode hunts the next burst frame at once.
            mState = !mSlave && mBurst ? Inactive : DataReady;
            return;
        case WaitForAck:
            if (mSlave || mBurst)
            {
                if (b == VELTRIX_Frame::ucBurstAcknowledge)
                    mState = Inactive;
                else
                    error(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_BURST_ACK, Error);
                return;
            }
            mState = Inactive;
            return;
        case DataReady:
            return;
        }
    }

    void checkAddress()
    {
        const uchar* received = mBuffer.data() + VELTRIX_Frame::iOffsetAddress;
        bool accepted = mCommand == VELTRIX_Frame::ucCommandReadAddress;
        mUnchecked = accepted;
        if (!accepted && mSlave)
        {
            mBroadcast = std::all_of(received, received + 5, [](uchar c) { return c == 0; });
            accepted = mBroadcast;
        }
        accepted = accepted || std::equal(received, received + 5, kDevice.begin());
        if (accepted)
            mState = Command;
        else
            error(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_ADDRESS, Address);
    }

    const bool mSlave;
    bool mBurst;
    uchar mCommand;
    State mState;
    std::vector<uchar> mBuffer;
    int mPreambles = 0;
    int mPayload = 0;
    bool mBroadcast = false;
    bool mUnchecked = false;
};

} // namespace LinkFuzz
