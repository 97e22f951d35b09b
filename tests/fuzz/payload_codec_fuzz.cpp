// Payload encoding and decoding of the commands 128 to 143, both ends of
// the bus. Input: a mode byte, a command byte, then frame bytes (delimiter
// to last payload byte) or request values.
//  - An answer the master decodes without error re-encodes on the device
//    side to the same bytes (text fields up to their first NUL).
//  - A request the device decodes without error re-encodes on the master
//    side to the same bytes; one it refuses is answered so that the master
//    sees it as not executed.
//  - Every request the master builds is decoded by a device to the values
//    it was built from.

#include "FuzzSupport.h"

#include "protocol/VELTRIX_AppCodec.h"
#include "protocol/VELTRIX_Keys.h"

namespace
{

using namespace VELTRIX_AppCodec;
using Session = VELTRIX_Session;

constexpr int iNoError = Session::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_NO_ERROR;
constexpr int iNotExecuted = Session::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR_NOT_EXECUTED;

Command commandFrom(std::uint8_t selector, std::uint8_t raw)
{
    // Mostly the sixteen commands, now and then any byte.
    return static_cast<Command>((selector & 0x80) ? raw : 128 + (raw & 0x0F));
}

int universalError(const DataMap& map)
{
    return map.value(VELTRIX_Keys::universalError).toInt();
}

// The frame as the other side would build it: its own delimiter, the
// command, and the part the byte count covers.
QByteArray expectedFrame(const QByteArray& frame, uchar delimiter, Command command)
{
    const int n = static_cast<uchar>(frame.at(VELTRIX_Frame::iOffsetByteCount));
    QByteArray expected = frame.left(iHeaderSize + n);
    expected[0] = static_cast<char>(delimiter);
    expected[VELTRIX_Frame::iOffsetCommand] = static_cast<char>(command);
    return expected;
}

// Text fields keep only what comes before their first NUL.
void clearAfterNul(QByteArray& frame, int offset, int fields)
{
    for (int f = 0; f < fields; ++f)
    {
        const int start = offset + f * iStringFieldSize;
        bool ended = false;
        for (int i = start; i < start + iStringFieldSize && i < frame.size(); ++i)
        {
            ended = ended || frame.at(i) == '\0';
            if (ended)
                frame[i] = '\0';
        }
    }
}

void masterDecodes(Command command, const QByteArray& frame)
{
    const DataMap map = decodeResponse(command, frame, withDefaults(command, {}));
    if (universalError(map) != iNoError)
        return;
    FUZZ_CHECK(Session::isValidCommand(static_cast<int>(command)), "only a known command's answer decodes");
    const int n = static_cast<uchar>(frame.at(VELTRIX_Frame::iOffsetByteCount));
    FUZZ_CHECK(frame.size() >= iHeaderSize + n, "a decoded answer held every byte its count announced");
    // More than eight variables are counted but not kept.
    if ((command == Session::VELTRIX_ENUM_SESSION_COMMAND_138 ||
         command == Session::VELTRIX_ENUM_SESSION_COMMAND_139) &&
        static_cast<uchar>(frame.at(iAnswerPayloadOffset)) > iMaxVariables)
        return;

    DataMap request = withDefaults(command, {});
    request.insert(VELTRIX_Keys::universalError, iNoError);
    request.insert(VELTRIX_Keys::bytesToRead, n - 2);
    const QByteArray rebuilt = buildAnswer(command, addressOf(frame), map, request);
    QByteArray expected = expectedFrame(frame, VELTRIX_Frame::ucDelimiterSlave, command);
    if (command == Session::VELTRIX_ENUM_SESSION_COMMAND_140)
        clearAfterNul(expected, iAnswerPayloadOffset, iStatusStringCount);
    if (command == Session::VELTRIX_ENUM_SESSION_COMMAND_141)
        clearAfterNul(expected, iAnswerPayloadOffset, 1);
    FUZZ_CHECK(rebuilt == expected, "a decoded answer re-encodes to the bytes it came from");
}

void deviceDecodes(Command command, const QByteArray& frame)
{
    const DataMap map = decodeRequest(command, frame, withDefaults(command, {}));
    const int error = universalError(map);
    if (error != iNoError)
    {
        // Refused: the answer carries no payload and a status the master
        // takes as "not executed", whatever the command.
        const QByteArray answer = buildAnswer(command, addressOf(frame), {}, map);
        FUZZ_CHECK(answer.size() == iAnswerPayloadOffset, "a refusal carries no payload");
        FUZZ_CHECK(static_cast<uchar>(answer.at(iStatusLowOffset)) == error, "a refusal names its reason");
        const DataMap seen = decodeResponse(command, answer, withDefaults(command, {}));
        FUZZ_CHECK(universalError(seen) == iNotExecuted, "the master sees a refusal as not executed");
        return;
    }
    FUZZ_CHECK(Session::isValidCommand(static_cast<int>(command)), "only a known command's request decodes");
    const QByteArray rebuilt = buildRequest(command, addressOf(frame), map);
    QByteArray expected = expectedFrame(frame, VELTRIX_Frame::ucDelimiterMaster, command);
    // The address request goes to everybody.
    if (command == Session::VELTRIX_ENUM_SESSION_COMMAND_137)
        expected.replace(VELTRIX_Frame::iOffsetAddress, VELTRIX_Frame::iAddressSize, QByteArray(5, '\0'));
    FUZZ_CHECK(rebuilt == expected, "a decoded request re-encodes to the bytes it came from");
}

void masterBuilds(Command command, FuzzSupport::Input& input)
{
    if (!Session::isValidCommand(static_cast<int>(command)))
        return;
    Address address{};
    for (auto& b : address)
        b = input.byte();
    const quint32 a16 = (quint32(input.byte()) << 8) | input.byte();
    const quint32 b24 = (quint32(input.byte()) << 16) | (quint32(input.byte()) << 8) | input.byte();
    const quint32 b32 = (b24 << 8) | input.byte();
    const int small = input.byte();
    const int code = input.byte();
    const QByteArray bytes = input.rest();

    DataMap values;
    values.insert(VELTRIX_Keys::address, a16);
    values.insert(VELTRIX_Keys::baudrate, b24);
    values.insert(VELTRIX_Keys::bytesToRead, small);
    values.insert(VELTRIX_Keys::bytesToWrite, bytes.size());
    values.insert(VELTRIX_Keys::bytes, bytes);
    values.insert(VELTRIX_Keys::diagCode, code);
    values.insert(VELTRIX_Keys::systemcommand, code);
    values.insert(VELTRIX_Keys::payload, b32);

    const QByteArray frame = buildRequest(command, address, values);
    const DataMap seen = decodeRequest(command, frame, withDefaults(command, {}));
    FUZZ_CHECK(universalError(seen) == iNoError, "a device takes every request the master builds");
    const auto same = [&](const QString& key, quint32 expected)
    { FUZZ_CHECK(seen.value(key).toUInt() == expected, "a request value arrives as the master sent it"); };
    switch (command)
    {
    case Session::VELTRIX_ENUM_SESSION_COMMAND_129:
        same(VELTRIX_Keys::baudrate, b24);
        break;
    case Session::VELTRIX_ENUM_SESSION_COMMAND_130:
        same(VELTRIX_Keys::address, a16);
        same(VELTRIX_Keys::bytesToRead, static_cast<quint32>(small));
        break;
    case Session::VELTRIX_ENUM_SESSION_COMMAND_131:
        FUZZ_CHECK(seen.value(VELTRIX_Keys::bytes).toByteArray() == bytes.left(253),
                   "written bytes arrive as sent, at most 253");
        same(VELTRIX_Keys::address, a16);
        break;
    case Session::VELTRIX_ENUM_SESSION_COMMAND_134:
        same(VELTRIX_Keys::diagCode, static_cast<quint32>(code));
        break;
    case Session::VELTRIX_ENUM_SESSION_COMMAND_143:
        same(VELTRIX_Keys::systemcommand, static_cast<quint32>(code));
        same(VELTRIX_Keys::payload, b32);
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::Input input(data, size);
    const std::uint8_t mode = input.byte();
    const Command command = commandFrom(mode, input.byte());
    switch (mode % 3)
    {
    case 0:
        masterDecodes(command, input.rest());
        break;
    case 1:
        deviceDecodes(command, input.rest());
        break;
    default:
        masterBuilds(command, input);
        break;
    }
    return 0;
}
