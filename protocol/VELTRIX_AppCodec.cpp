#include "protocol/VELTRIX_AppCodec.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <utility>

namespace VELTRIX_AppCodec
{

namespace
{

constexpr int iUniversalNoError = VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_NO_ERROR;
constexpr int iUniversalTooFew =
    VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR_TOO_FEW_PAYLOAD_BYTES;
constexpr int iUniversalTooMany =
    VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR_TOO_MANY_PAYLOAD_BYTES;
constexpr int iUniversalNotExecuted =
    VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR_NOT_EXECUTED;

uchar byteAt(const QByteArray& buffer, int iOffset)
{
    return static_cast<uchar>(buffer.at(iOffset));
}

quint32 uintValue(const DataMap& values, const QString& key)
{
    return values.value(key).toUInt();
}

void appendByte(QByteArray& buffer, quint32 ulValue)
{
    buffer.append(static_cast<char>(ulValue & 0xFFu));
}

// Cuts or zero-pads data to exactly iSize bytes.
QByteArray fitted(QByteArray data, int iSize)
{
    if (data.size() > iSize)
        data.truncate(iSize);
    else if (data.size() < iSize)
        data.append(QByteArray(iSize - data.size(), '\0'));
    return data;
}

QByteArray frameHeader(uchar ucDelimiter, const Address& address, Command command)
{
    QByteArray frame;
    frame.reserve(iHeaderSize + 2 + iStringFieldSize * iStatusStringCount);
    appendByte(frame, ucDelimiter);
    for (uchar ucByte : address)
        appendByte(frame, ucByte);
    appendByte(frame, static_cast<quint32>(command));
    return frame;
}

// Number of variables followed by unit and value of each (at most eight).
// Returns the number written.
int appendVariables(QByteArray& payload, Command command, const DataMap& values)
{
    const int iCount = static_cast<int>(std::min<quint32>(
        uintValue(values, VELTRIX_Keys::variableCount(command)), static_cast<quint32>(iMaxVariables)));
    appendByte(payload, static_cast<quint32>(iCount));
    for (int i = 1; i <= iCount; ++i)
    {
        appendByte(payload, uintValue(values, VELTRIX_Keys::variableUnit(command, i)));
        appendFloat(payload, values.value(VELTRIX_Keys::variableValue(command, i)).toFloat());
    }
    return iCount;
}

int universalErrorForCount(int iCount, int iMin, int iMax)
{
    if (iCount > iMax)
        return iUniversalTooMany;
    if (iCount < iMin)
        return iUniversalTooFew;
    return iUniversalNoError;
}

} // namespace

void appendBigEndian(QByteArray& buffer, quint32 ulValue, int iBytes)
{
    for (int i = iBytes - 1; i >= 0; --i)
        appendByte(buffer, ulValue >> (8 * i));
}

quint32 readBigEndian(const QByteArray& buffer, int iOffset, int iBytes)
{
    quint32 ulValue = 0;
    for (int i = 0; i < iBytes; ++i)
        ulValue = (ulValue << 8) | byteAt(buffer, iOffset + i);
    return ulValue;
}

void appendFloat(QByteArray& buffer, float fValue)
{
    appendBigEndian(buffer, std::bit_cast<quint32>(fValue), 4);
}

float readFloat(const QByteArray& buffer, int iOffset)
{
    return std::bit_cast<float>(readBigEndian(buffer, iOffset, 4));
}

QByteArray encodeStringField(const QString& text)
{
    return fitted(text.toLatin1(), iStringFieldSize);
}

QString decodeStringField(const QByteArray& buffer, int iOffset)
{
    const int iAvailable = std::clamp<int>(static_cast<int>(buffer.size()) - iOffset, 0, iStringFieldSize);
    const char* pField = buffer.constData() + std::min<qsizetype>(iOffset, buffer.size());
    const int iLength = static_cast<int>(std::find(pField, pField + iAvailable, '\0') - pField);
    return QString::fromLatin1(pField, iLength);
}

Command commandOf(const QByteArray& frame, Command fallback)
{
    if (frame.size() <= VELTRIX_Frame::iOffsetCommand)
        return fallback;
    return static_cast<Command>(byteAt(frame, VELTRIX_Frame::iOffsetCommand));
}

Address addressOf(const QByteArray& frame)
{
    Address address{};
    for (int i = 0; i < VELTRIX_Frame::iAddressSize && VELTRIX_Frame::iOffsetAddress + i < frame.size(); ++i)
        address[i] = byteAt(frame, VELTRIX_Frame::iOffsetAddress + i);
    return address;
}

DataMap withDefaults(Command command, const DataMap& values)
{
    DataMap merged =
        VELTRIX_Session::standardLayoutForCommand(VELTRIX_Session::getCommandStringForCommandMap(command));
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        merged.insert(it.key(), it.value());
    return merged;
}

QByteArray buildRequest(Command command, const Address& address, const DataMap& requestValues)
{
    // The device does not know its address yet when it is asked for it.
    const Address target = command == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137 ? Address{} : address;
    QByteArray frame = frameHeader(VELTRIX_Frame::ucDelimiterMaster, target, command);
    const DataMap values = withDefaults(command, requestValues);
    const quint32 ulCount = uintValue(values, VELTRIX_Keys::databytesMaster);

    switch (command)
    {
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129:
        appendByte(frame, ulCount);
        appendBigEndian(frame, uintValue(values, VELTRIX_Keys::baudrate), 3);
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130:
        appendByte(frame, ulCount);
        appendBigEndian(frame, uintValue(values, VELTRIX_Keys::address), 2);
        appendByte(frame, uintValue(values, VELTRIX_Keys::bytesToRead));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131:
    {
        // The byte count follows the data actually sent; it must also leave
        // room for the two address bytes within one byte.
        const int iData =
            static_cast<int>(std::min<quint32>(uintValue(values, VELTRIX_Keys::bytesToWrite), 253));
        appendByte(frame, static_cast<quint32>(iData + 2));
        appendBigEndian(frame, uintValue(values, VELTRIX_Keys::address), 2);
        frame.append(fitted(values.value(VELTRIX_Keys::bytes).toByteArray(), iData));
        break;
    }
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134:
        appendByte(frame, ulCount);
        appendByte(frame, uintValue(values, VELTRIX_Keys::diagCode));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143:
        appendByte(frame, ulCount);
        appendByte(frame, uintValue(values, VELTRIX_Keys::systemcommand));
        appendBigEndian(frame, uintValue(values, VELTRIX_Keys::payload), 4);
        break;
    default:
        appendByte(frame, ulCount);
        break;
    }
    return frame;
}

namespace
{

// The byte count an answer to `command` may carry (its two status bytes
// included), from the frame for the counts that depend on it; empty for a
// command that has no answer here.
std::optional<std::pair<int, int>> answerByteCounts(Command command, const QByteArray& frame, int n)
{
    int iMin = 2;
    int iMax = 2;
    switch (command)
    {
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_128:
        iMin = iMax = 4;
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130:
        iMax = 2 + iMaxReadBytes;
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134:
        iMin = iMax = 6;
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135:
        iMin = iMax = 4;
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_136:
        iMin = iMax = 5;
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138:
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139:
        // Without the variable count the length cannot match.
        iMin = iMax = n < 3 ? 3 : 3 + 5 * byteAt(frame, iAnswerPayloadOffset);
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_140:
        iMin = iMax = 2 + iStringFieldSize * iStatusStringCount;
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141:
        iMin = iMax = 2 + iStringFieldSize;
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129:
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131:
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_132:
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_133:
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137:
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_142:
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143:
        break;
    default:
        return std::nullopt;
    }
    return std::pair{iMin, iMax};
}

// Writes the payload of a well-formed answer to `command` into map.
void decodeAnswerPayload(Command command, const QByteArray& frame, int n, DataMap& map)
{
    const int p = iAnswerPayloadOffset;
    switch (command)
    {
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_128:
        map.insert(VELTRIX_Keys::baudrateBitmask, static_cast<int>(readBigEndian(frame, p, 2)));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130:
        map.insert(VELTRIX_Keys::bytes, frame.mid(p, n - 2));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134:
        map.insert(VELTRIX_Keys::diagValue, QVariant(static_cast<uint>(readBigEndian(frame, p, 4))));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135:
        map.insert(VELTRIX_Keys::version, static_cast<int>(byteAt(frame, p)));
        map.insert(VELTRIX_Keys::subversion, static_cast<int>(byteAt(frame, p + 1)));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_136:
        map.insert(VELTRIX_Keys::revisionYear, static_cast<int>(byteAt(frame, p)));
        map.insert(VELTRIX_Keys::revisionMonth, static_cast<int>(byteAt(frame, p + 1)));
        map.insert(VELTRIX_Keys::revisionDay, static_cast<int>(byteAt(frame, p + 2)));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137:
        map.insert(VELTRIX_Keys::addressVendorId, static_cast<int>(byteAt(frame, 1)));
        map.insert(VELTRIX_Keys::addressSlave, static_cast<int>(readBigEndian(frame, 2, 2)));
        map.insert(VELTRIX_Keys::addressSubslave, static_cast<int>(readBigEndian(frame, 4, 2)));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138:
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139:
    {
        const int iCount = byteAt(frame, p);
        map.insert(VELTRIX_Keys::variableCount(command), iCount);
        for (int i = 1; i <= std::min(iCount, iMaxVariables); ++i)
        {
            const int iOffset = p + 1 + 5 * (i - 1);
            map.insert(VELTRIX_Keys::variableUnit(command, i), static_cast<int>(byteAt(frame, iOffset)));
            map.insert(VELTRIX_Keys::variableValue(command, i), QVariant(readFloat(frame, iOffset + 1)));
        }
        break;
    }
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_140:
        for (int i = 1; i <= iStatusStringCount; ++i)
            map.insert(VELTRIX_Keys::statusString(i),
                       decodeStringField(frame, p + iStringFieldSize * (i - 1)));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141:
        map.insert(VELTRIX_Keys::devicetypestring, decodeStringField(frame, p));
        break;
    default:
        break;
    }
}

} // namespace

DataMap decodeResponse(Command command, const QByteArray& frame, const DataMap& defaults)
{
    DataMap map = defaults;
    map.insert(VELTRIX_Keys::error, 0);
    if (frame.size() < iAnswerPayloadOffset)
    {
        map.insert(VELTRIX_Keys::universalError, iUniversalTooFew);
        return map;
    }
    const int iStatusLow = byteAt(frame, iStatusLowOffset);
    map.insert(VELTRIX_Keys::statusHigh, static_cast<int>(byteAt(frame, VELTRIX_Frame::iOffsetStatusHigh)));
    map.insert(VELTRIX_Keys::statusLow, iStatusLow);
    if (iStatusLow != 0)
    {
        map.insert(VELTRIX_Keys::universalError, iUniversalNotExecuted);
        return map;
    }

    const int n = byteAt(frame, VELTRIX_Frame::iOffsetByteCount);
    if (n > frame.size() - iHeaderSize)
    {
        // The frame ends before the bytes its count announces.
        map.insert(VELTRIX_Keys::universalError, iUniversalTooFew);
        return map;
    }

    const auto counts = answerByteCounts(command, frame, n);
    if (!counts)
    {
        map.insert(VELTRIX_Keys::universalError, iUniversalNotExecuted);
        return map;
    }
    const int iUniversal = universalErrorForCount(n, counts->first, counts->second);
    if (iUniversal != iUniversalNoError)
    {
        map.insert(VELTRIX_Keys::universalError, iUniversal);
        return map;
    }
    decodeAnswerPayload(command, frame, n, map);
    return map;
}

DataMap decodeRequest(Command command, const QByteArray& frame, const DataMap& defaults)
{
    DataMap map = defaults;
    map.insert(VELTRIX_Keys::error, 0);
    if (!VELTRIX_Session::isValidCommand(static_cast<int>(command)))
    {
        map.insert(VELTRIX_Keys::universalError, iUniversalNotExecuted);
        return map;
    }
    if (frame.size() < iHeaderSize ||
        byteAt(frame, VELTRIX_Frame::iOffsetByteCount) > frame.size() - iHeaderSize)
    {
        map.insert(VELTRIX_Keys::universalError, iUniversalTooFew);
        return map;
    }

    const int n = byteAt(frame, VELTRIX_Frame::iOffsetByteCount);
    int iExpected = 0;
    switch (command)
    {
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129:
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130:
        iExpected = 3;
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131:
        iExpected = 2;
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134:
        iExpected = 1;
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143:
        iExpected = 5;
        break;
    default:
        break;
    }
    // A write carries any number of data bytes behind its address.
    const int iMax = command == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131 ? 255 : iExpected;
    const int iUniversal = universalErrorForCount(n, iExpected, iMax);
    map.insert(VELTRIX_Keys::universalError, iUniversal);
    if (iUniversal != iUniversalNoError)
        return map;

    const int p = iHeaderSize;
    switch (command)
    {
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129:
        map.insert(VELTRIX_Keys::baudrate, static_cast<int>(readBigEndian(frame, p, 3)));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130:
        map.insert(VELTRIX_Keys::address, static_cast<int>(readBigEndian(frame, p, 2)));
        map.insert(VELTRIX_Keys::bytesToRead, static_cast<int>(byteAt(frame, p + 2)));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131:
        map.insert(VELTRIX_Keys::bytesToWrite, n - 2);
        map.insert(VELTRIX_Keys::address, static_cast<int>(readBigEndian(frame, p, 2)));
        map.insert(VELTRIX_Keys::bytes, frame.mid(p + 2, n - 2));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134:
        map.insert(VELTRIX_Keys::diagCode, static_cast<int>(byteAt(frame, p)));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143:
        map.insert(VELTRIX_Keys::systemcommand, static_cast<int>(byteAt(frame, p)));
        map.insert(VELTRIX_Keys::payload, QVariant(static_cast<uint>(readBigEndian(frame, p + 1, 4))));
        break;
    default:
        break;
    }
    return map;
}

QByteArray buildAnswer(Command command, const Address& address, const DataMap& answer, const DataMap& request)
{
    QByteArray frame = frameHeader(VELTRIX_Frame::ucDelimiterSlave, address, command);
    const int iRequestError = VELTRIX_Session::isValidCommand(static_cast<int>(command))
                                  ? request.value(VELTRIX_Keys::universalError).toInt()
                                  : iUniversalNotExecuted;
    if (iRequestError != iUniversalNoError)
    {
        appendByte(frame, 2);
        appendByte(frame, 0);
        appendByte(frame, static_cast<quint32>(iRequestError));
        return frame;
    }

    const DataMap values = withDefaults(command, answer);
    QByteArray payload;
    int iCount = -1;
    switch (command)
    {
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_128:
        appendBigEndian(payload, uintValue(values, VELTRIX_Keys::baudrateBitmask), 2);
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130:
    {
        // As many bytes as this request asks for.
        const int iRead = static_cast<int>(std::min<quint32>(uintValue(request, VELTRIX_Keys::bytesToRead),
                                                             static_cast<quint32>(iMaxAnswerPayload)));
        payload = fitted(values.value(VELTRIX_Keys::bytes).toByteArray(), iRead);
        iCount = iRead + 2;
        break;
    }
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134:
        appendBigEndian(payload, uintValue(values, VELTRIX_Keys::diagValue), 4);
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135:
        appendByte(payload, uintValue(values, VELTRIX_Keys::version));
        appendByte(payload, uintValue(values, VELTRIX_Keys::subversion));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_136:
        appendByte(payload, uintValue(values, VELTRIX_Keys::revisionYear));
        appendByte(payload, uintValue(values, VELTRIX_Keys::revisionMonth));
        appendByte(payload, uintValue(values, VELTRIX_Keys::revisionDay));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138:
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139:
        iCount = 3 + 5 * appendVariables(payload, command, values);
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_140:
        for (int i = 1; i <= iStatusStringCount; ++i)
            payload.append(encodeStringField(values.value(VELTRIX_Keys::statusString(i)).toString()));
        break;
    case VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141:
        payload = encodeStringField(values.value(VELTRIX_Keys::devicetypestring).toString());
        break;
    default:
        break;
    }

    if (iCount < 0)
    {
        // The announced count rules; the payload is fitted to it so that the
        // frame stays well-formed even when a caller sets an unusual count.
        iCount =
            static_cast<int>(std::clamp<quint32>(uintValue(values, VELTRIX_Keys::databytesSlave), 2, 255));
        payload = fitted(payload, iCount - 2);
    }
    appendByte(frame, static_cast<quint32>(iCount));
    appendByte(frame, uintValue(values, VELTRIX_Keys::statusHigh));
    appendByte(frame, uintValue(values, VELTRIX_Keys::statusLow));
    frame.append(payload);
    return frame;
}

QByteArray buildBurstFrame(const Address& address, const DataMap& burst)
{
    const Command command = VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139;
    const DataMap values = withDefaults(command, burst);
    QByteArray payload;
    const int iCount = 3 + 5 * appendVariables(payload, command, values);

    QByteArray frame = frameHeader(VELTRIX_Frame::ucDelimiterSlave, address, command);
    appendByte(frame, static_cast<quint32>(iCount));
    appendByte(frame, uintValue(values, VELTRIX_Keys::statusHigh));
    appendByte(frame, uintValue(values, VELTRIX_Keys::statusLow));
    frame.append(payload);
    return frame;
}

} // namespace VELTRIX_AppCodec
