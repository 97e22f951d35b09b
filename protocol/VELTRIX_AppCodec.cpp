#include "protocol/VELTRIX_AppCodec.h"

#include <algorithm>
#include <bit>

namespace VELTRIX_AppCodec
{

namespace
{

using S = VELTRIX_Session;

constexpr int iUniversalNoError = S::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_NO_ERROR;
constexpr int iUniversalTooFew = S::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR_TOO_FEW_PAYLOAD_BYTES;
constexpr int iUniversalTooMany = S::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR_TOO_MANY_PAYLOAD_BYTES;
constexpr int iUniversalNotExecuted = S::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR_NOT_EXECUTED;

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
    const int iCount = static_cast<int>(std::min<quint32>(uintValue(values, Key::variableCount(command)),
                                                          static_cast<quint32>(iMaxVariables)));
    appendByte(payload, static_cast<quint32>(iCount));
    for (int i = 1; i <= iCount; ++i)
    {
        appendByte(payload, uintValue(values, Key::variableUnit(command, i)));
        appendFloat(payload, values.value(Key::variableValue(command, i)).toFloat());
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

namespace Key
{

QString variableCount(Command command)
{
    return command == S::VELTRIX_ENUM_SESSION_COMMAND_139 ? QStringLiteral("Number of Burstvariables")
                                                          : QStringLiteral("Number of Devicevariables");
}

QString variableUnit(Command command, int i)
{
    return variableValue(command, i) + QStringLiteral(" Unit");
}

QString variableValue(Command command, int i)
{
    const QString prefix = command == S::VELTRIX_ENUM_SESSION_COMMAND_139 ? QStringLiteral("Burstvariable ")
                                                                          : QStringLiteral("Devicevariable ");
    return prefix + QString::number(i);
}

QString statusString(int i)
{
    return QStringLiteral("Statusstring ") + QString::number(i);
}

} // namespace Key

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
    DataMap merged = S::standardLayoutForCommand(S::getCommandStringForCommandMap(command));
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        merged.insert(it.key(), it.value());
    return merged;
}

QByteArray buildRequest(Command command, const Address& address, const DataMap& requestValues)
{
    // The device does not know its address yet when it is asked for it.
    const Address target = command == S::VELTRIX_ENUM_SESSION_COMMAND_137 ? Address{} : address;
    QByteArray frame = frameHeader(VELTRIX_Frame::ucDelimiterMaster, target, command);
    const DataMap values = withDefaults(command, requestValues);
    const quint32 ulCount = uintValue(values, Key::databytesMaster);

    switch (command)
    {
    case S::VELTRIX_ENUM_SESSION_COMMAND_129:
        appendByte(frame, ulCount);
        appendBigEndian(frame, uintValue(values, Key::baudrate), 3);
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_130:
        appendByte(frame, ulCount);
        appendBigEndian(frame, uintValue(values, Key::address), 2);
        appendByte(frame, uintValue(values, Key::bytesToRead));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_131:
    {
        // The byte count follows the data actually sent; it must also leave
        // room for the two address bytes within one byte.
        const int iData = static_cast<int>(std::min<quint32>(uintValue(values, Key::bytesToWrite), 253));
        appendByte(frame, static_cast<quint32>(iData + 2));
        appendBigEndian(frame, uintValue(values, Key::address), 2);
        frame.append(fitted(values.value(Key::bytes).toByteArray(), iData));
        break;
    }
    case S::VELTRIX_ENUM_SESSION_COMMAND_134:
        appendByte(frame, ulCount);
        appendByte(frame, uintValue(values, Key::diagCode));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_143:
        appendByte(frame, ulCount);
        appendByte(frame, uintValue(values, Key::systemcommand));
        appendBigEndian(frame, uintValue(values, Key::payload), 4);
        break;
    default:
        appendByte(frame, ulCount);
        break;
    }
    return frame;
}

DataMap decodeResponse(Command command, const QByteArray& frame, const DataMap& defaults)
{
    DataMap map = defaults;
    map.insert(Key::error, 0);
    if (frame.size() < iAnswerPayloadOffset)
    {
        map.insert(Key::universalError, iUniversalTooFew);
        return map;
    }
    const int iStatusLow = byteAt(frame, iStatusLowOffset);
    map.insert(Key::statusHigh, static_cast<int>(byteAt(frame, VELTRIX_Frame::iOffsetStatusHigh)));
    map.insert(Key::statusLow, iStatusLow);
    if (iStatusLow != 0)
    {
        map.insert(Key::universalError, iUniversalNotExecuted);
        return map;
    }

    const int n = byteAt(frame, VELTRIX_Frame::iOffsetByteCount);
    if (n > frame.size() - iHeaderSize)
    {
        // The frame ends before the bytes its count announces.
        map.insert(Key::universalError, iUniversalTooFew);
        return map;
    }

    int iMin = 2;
    int iMax = 2;
    switch (command)
    {
    case S::VELTRIX_ENUM_SESSION_COMMAND_128:
        iMin = iMax = 4;
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_130:
        iMax = 2 + iMaxReadBytes;
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_134:
        iMin = iMax = 6;
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_135:
        iMin = iMax = 4;
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_136:
        iMin = iMax = 5;
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_138:
    case S::VELTRIX_ENUM_SESSION_COMMAND_139:
        // Without the variable count the length cannot match.
        iMin = iMax = n < 3 ? 3 : 3 + 5 * byteAt(frame, iAnswerPayloadOffset);
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_140:
        iMin = iMax = 2 + iStringFieldSize * iStatusStringCount;
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_141:
        iMin = iMax = 2 + iStringFieldSize;
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_129:
    case S::VELTRIX_ENUM_SESSION_COMMAND_131:
    case S::VELTRIX_ENUM_SESSION_COMMAND_132:
    case S::VELTRIX_ENUM_SESSION_COMMAND_133:
    case S::VELTRIX_ENUM_SESSION_COMMAND_137:
    case S::VELTRIX_ENUM_SESSION_COMMAND_142:
    case S::VELTRIX_ENUM_SESSION_COMMAND_143:
        break;
    default:
        map.insert(Key::universalError, iUniversalNotExecuted);
        return map;
    }

    const int iUniversal = universalErrorForCount(n, iMin, iMax);
    if (iUniversal != iUniversalNoError)
    {
        map.insert(Key::universalError, iUniversal);
        return map;
    }

    const int p = iAnswerPayloadOffset;
    switch (command)
    {
    case S::VELTRIX_ENUM_SESSION_COMMAND_128:
        map.insert(Key::baudrateBitmask, static_cast<int>(readBigEndian(frame, p, 2)));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_130:
        map.insert(Key::bytes, frame.mid(p, n - 2));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_134:
        map.insert(Key::diagValue, QVariant(static_cast<uint>(readBigEndian(frame, p, 4))));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_135:
        map.insert(Key::version, static_cast<int>(byteAt(frame, p)));
        map.insert(Key::subversion, static_cast<int>(byteAt(frame, p + 1)));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_136:
        map.insert(Key::revisionYear, static_cast<int>(byteAt(frame, p)));
        map.insert(Key::revisionMonth, static_cast<int>(byteAt(frame, p + 1)));
        map.insert(Key::revisionDay, static_cast<int>(byteAt(frame, p + 2)));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_137:
        map.insert(Key::addressVendorId, static_cast<int>(byteAt(frame, 1)));
        map.insert(Key::addressSlave, static_cast<int>(readBigEndian(frame, 2, 2)));
        map.insert(Key::addressSubslave, static_cast<int>(readBigEndian(frame, 4, 2)));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_138:
    case S::VELTRIX_ENUM_SESSION_COMMAND_139:
    {
        const int iCount = byteAt(frame, p);
        map.insert(Key::variableCount(command), iCount);
        for (int i = 1; i <= std::min(iCount, iMaxVariables); ++i)
        {
            const int iOffset = p + 1 + 5 * (i - 1);
            map.insert(Key::variableUnit(command, i), static_cast<int>(byteAt(frame, iOffset)));
            map.insert(Key::variableValue(command, i), QVariant(readFloat(frame, iOffset + 1)));
        }
        break;
    }
    case S::VELTRIX_ENUM_SESSION_COMMAND_140:
        for (int i = 1; i <= iStatusStringCount; ++i)
            map.insert(Key::statusString(i), decodeStringField(frame, p + iStringFieldSize * (i - 1)));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_141:
        map.insert(Key::devicetypestring, decodeStringField(frame, p));
        break;
    default:
        break;
    }
    return map;
}

DataMap decodeRequest(Command command, const QByteArray& frame, const DataMap& defaults)
{
    DataMap map = defaults;
    map.insert(Key::error, 0);
    if (!S::isValidCommand(static_cast<int>(command)))
    {
        map.insert(Key::universalError, iUniversalNotExecuted);
        return map;
    }
    if (frame.size() < iHeaderSize ||
        byteAt(frame, VELTRIX_Frame::iOffsetByteCount) > frame.size() - iHeaderSize)
    {
        map.insert(Key::universalError, iUniversalTooFew);
        return map;
    }

    const int n = byteAt(frame, VELTRIX_Frame::iOffsetByteCount);
    int iExpected = 0;
    switch (command)
    {
    case S::VELTRIX_ENUM_SESSION_COMMAND_129:
    case S::VELTRIX_ENUM_SESSION_COMMAND_130:
        iExpected = 3;
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_131:
        iExpected = 2;
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_134:
        iExpected = 1;
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_143:
        iExpected = 5;
        break;
    default:
        break;
    }
    // A write carries any number of data bytes behind its address.
    const int iMax = command == S::VELTRIX_ENUM_SESSION_COMMAND_131 ? 255 : iExpected;
    const int iUniversal = universalErrorForCount(n, iExpected, iMax);
    map.insert(Key::universalError, iUniversal);
    if (iUniversal != iUniversalNoError)
        return map;

    const int p = iHeaderSize;
    switch (command)
    {
    case S::VELTRIX_ENUM_SESSION_COMMAND_129:
        map.insert(Key::baudrate, static_cast<int>(readBigEndian(frame, p, 3)));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_130:
        map.insert(Key::address, static_cast<int>(readBigEndian(frame, p, 2)));
        map.insert(Key::bytesToRead, static_cast<int>(byteAt(frame, p + 2)));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_131:
        map.insert(Key::bytesToWrite, n - 2);
        map.insert(Key::address, static_cast<int>(readBigEndian(frame, p, 2)));
        map.insert(Key::bytes, frame.mid(p + 2, n - 2));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_134:
        map.insert(Key::diagCode, static_cast<int>(byteAt(frame, p)));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_143:
        map.insert(Key::systemcommand, static_cast<int>(byteAt(frame, p)));
        map.insert(Key::payload, QVariant(static_cast<uint>(readBigEndian(frame, p + 1, 4))));
        break;
    default:
        break;
    }
    return map;
}

QByteArray buildAnswer(Command command, const Address& address, const DataMap& answer, const DataMap& request)
{
    QByteArray frame = frameHeader(VELTRIX_Frame::ucDelimiterSlave, address, command);
    const int iRequestError = S::isValidCommand(static_cast<int>(command))
                                  ? request.value(Key::universalError).toInt()
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
    case S::VELTRIX_ENUM_SESSION_COMMAND_128:
        appendBigEndian(payload, uintValue(values, Key::baudrateBitmask), 2);
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_130:
    {
        // As many bytes as this request asks for.
        const int iRead = static_cast<int>(
            std::min<quint32>(uintValue(request, Key::bytesToRead), static_cast<quint32>(iMaxAnswerPayload)));
        payload = fitted(values.value(Key::bytes).toByteArray(), iRead);
        iCount = iRead + 2;
        break;
    }
    case S::VELTRIX_ENUM_SESSION_COMMAND_134:
        appendBigEndian(payload, uintValue(values, Key::diagValue), 4);
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_135:
        appendByte(payload, uintValue(values, Key::version));
        appendByte(payload, uintValue(values, Key::subversion));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_136:
        appendByte(payload, uintValue(values, Key::revisionYear));
        appendByte(payload, uintValue(values, Key::revisionMonth));
        appendByte(payload, uintValue(values, Key::revisionDay));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_138:
    case S::VELTRIX_ENUM_SESSION_COMMAND_139:
        iCount = 3 + 5 * appendVariables(payload, command, values);
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_140:
        for (int i = 1; i <= iStatusStringCount; ++i)
            payload.append(encodeStringField(values.value(Key::statusString(i)).toString()));
        break;
    case S::VELTRIX_ENUM_SESSION_COMMAND_141:
        payload = encodeStringField(values.value(Key::devicetypestring).toString());
        break;
    default:
        break;
    }

    if (iCount < 0)
    {
        // The announced count rules; the payload is fitted to it so that the
        // frame stays well-formed even when a caller sets an unusual count.
        iCount = static_cast<int>(std::clamp<quint32>(uintValue(values, Key::databytesSlave), 2, 255));
        payload = fitted(payload, iCount - 2);
    }
    appendByte(frame, static_cast<quint32>(iCount));
    appendByte(frame, uintValue(values, Key::statusHigh));
    appendByte(frame, uintValue(values, Key::statusLow));
    frame.append(payload);
    return frame;
}

QByteArray buildBurstFrame(const Address& address, const DataMap& burst)
{
    const Command command = S::VELTRIX_ENUM_SESSION_COMMAND_139;
    const DataMap values = withDefaults(command, burst);
    QByteArray payload;
    const int iCount = 3 + 5 * appendVariables(payload, command, values);

    QByteArray frame = frameHeader(VELTRIX_Frame::ucDelimiterSlave, address, command);
    appendByte(frame, static_cast<quint32>(iCount));
    appendByte(frame, uintValue(values, Key::statusHigh));
    appendByte(frame, uintValue(values, Key::statusLow));
    frame.append(payload);
    return frame;
}

} // namespace VELTRIX_AppCodec
