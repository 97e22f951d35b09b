#include "protocol/VELTRIX_Session.h"

#include "protocol/VELTRIX_Keys.h"

#include <algorithm>

namespace
{

void setInts(QMap<QString, QVariant>& map, std::initializer_list<QString> keys, int iValue)
{
    for (const QString& key : keys)
        map.insert(key, iValue);
}

// Unit and value keys of the eight device or burst variables.
void addVariables(QMap<QString, QVariant>& map, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command)
{
    for (int i = 1; i <= 8; ++i)
    {
        map.insert(VELTRIX_Keys::variableUnit(command, i), 0);
        map.insert(VELTRIX_Keys::variableValue(command, i), QVariant(0.0f));
    }
}

} // namespace

VELTRIX_Session::VELTRIX_Session(QObject* parent)
    : QObject(parent)
    , dataMap(getDataMapStandardLayout())
    , defaultMap(dataMap)
{
}

VELTRIX_Session::VELTRIX_Session(const VELTRIX_Session& other)
    : QObject(nullptr)
{
    copyFrom(other);
}

VELTRIX_Session& VELTRIX_Session::operator=(const VELTRIX_Session& other)
{
    if (this != &other)
        copyFrom(other);
    return *this;
}

void VELTRIX_Session::copyFrom(const VELTRIX_Session& other)
{
    command = other.command;
    error = other.error;
    state = other.state;
    type = other.type;
    commandQueue = other.commandQueue;
    ucCommandQueueCount = other.ucCommandQueueCount;
    buffer = other.buffer;
    ucStatusHigh = other.ucStatusHigh;
    ucStatusLow = other.ucStatusLow;
    ucAddress = other.ucAddress;
    ullValidSessions = other.ullValidSessions;
    dataMap = other.dataMap;
    defaultMap = other.defaultMap;
}

void VELTRIX_Session::getDefaultSettingsForInterface(InterfaceSettings* settings)
{
    if (settings)
        *settings = InterfaceSettings();
}

QString VELTRIX_Session::getCommandStringForCommandMap(VELTRIX_ENUM_SESSION_COMMAND command)
{
    const int iCommand = static_cast<int>(command);
    return isValidCommand(iCommand) ? QString::number(iCommand) : QStringLiteral("0");
}

void VELTRIX_Session::reset()
{
    buffer.clear();
    command = VELTRIX_ENUM_SESSION_NO_COMMAND;
    ucStatusHigh = 0;
    ucStatusLow = 0;
    state = VELTRIX_ENUM_SESSION_STATE_INACTIVE;
    resetCommandQueue();
}

void VELTRIX_Session::addCommandToQueue(VELTRIX_ENUM_SESSION_COMMAND newCommand, uchar repeat, uchar second)
{
    if (ucCommandQueueCount >= iCommandQueueSize)
        return;
    commandQueue[ucCommandQueueCount] = QueueEntry{newCommand, repeat, second};
    ++ucCommandQueueCount;
}

void VELTRIX_Session::resetCommandQueue()
{
    commandQueue.fill(QueueEntry{});
    ucCommandQueueCount = 0;
}

VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND VELTRIX_Session::getCurrentCommandFromQueue(bool bConsume)
{
    if (ucCommandQueueCount == 0)
        return VELTRIX_ENUM_SESSION_NO_COMMAND;

    QueueEntry& head = commandQueue[0];
    const VELTRIX_ENUM_SESSION_COMMAND current = head.command;
    if (!bConsume)
        return current;

    // A repeat count of 0 is treated like 1 so that an entry can never wrap
    // around to 255 further repetitions.
    if (head.ucRepeat > 1)
    {
        --head.ucRepeat;
        return current;
    }
    std::move(commandQueue.begin() + 1, commandQueue.begin() + ucCommandQueueCount, commandQueue.begin());
    --ucCommandQueueCount;
    commandQueue[ucCommandQueueCount] = QueueEntry{};
    return current;
}

void VELTRIX_Session::setAddress(const uchar* address)
{
    if (address)
        std::copy_n(address, iAddressSize, ucAddress.begin());
}

void VELTRIX_Session::getAddress(uchar* address) const
{
    if (address)
        std::copy_n(ucAddress.begin(), iAddressSize, address);
}

void VELTRIX_Session::getBuffer(QByteArray* data) const
{
    if (data)
        *data = buffer;
}

void VELTRIX_Session::getDataForCommand(VELTRIX_ENUM_SESSION_COMMAND cmd, QMap<QString, QVariant>* map) const
{
    if (map)
        *map = dataMap.value(getCommandStringForCommandMap(cmd));
}

void VELTRIX_Session::getDefaultDataForCommand(VELTRIX_ENUM_SESSION_COMMAND cmd,
                                               QMap<QString, QVariant>* map) const
{
    if (map)
        *map = defaultMap.value(getCommandStringForCommandMap(cmd));
}

void VELTRIX_Session::setDataForCommand(VELTRIX_ENUM_SESSION_COMMAND cmd, const QMap<QString, QVariant>& map)
{
    dataMap.insert(getCommandStringForCommandMap(cmd), map);
}

QMap<QString, QMap<QString, QVariant>> VELTRIX_Session::getDataMapStandardLayout() const
{
    CommandDataMap layout;
    for (int i = 128; i <= 143; ++i)
    {
        const QString key = QString::number(i);
        layout.insert(key, getDataStandardLayoutForCommand(key));
    }
    return layout;
}

QMap<QString, QVariant> VELTRIX_Session::getDataStandardLayoutForCommand(const QString& key) const
{
    return standardLayoutForCommand(key);
}

QMap<QString, QVariant> VELTRIX_Session::standardLayoutForCommand(const QString& key)
{
    QMap<QString, QVariant> map;
    map.insert(VELTRIX_Keys::statusHigh, 0);
    map.insert(VELTRIX_Keys::statusLow, 0);
    map.insert(VELTRIX_Keys::universalError, 0);

    bool bOk = false;
    const int iCommand = key.toInt(&bOk);
    if (!bOk || !isValidCommand(iCommand) || key != QString::number(iCommand))
        return map;

    map.insert(VELTRIX_Keys::error, 0);
    switch (iCommand)
    {
    case 128:
        map.insert(VELTRIX_Keys::databytesMaster, 0);
        map.insert(VELTRIX_Keys::databytesSlave, 4);
        map.insert(VELTRIX_Keys::baudrateBitmask, 0);
        break;
    case 129:
        map.insert(VELTRIX_Keys::baudrate, 0);
        map.insert(VELTRIX_Keys::databytesMaster, 3);
        map.insert(VELTRIX_Keys::databytesSlave, 2);
        break;
    case 130:
        setInts(map, {VELTRIX_Keys::address, VELTRIX_Keys::bytesToRead}, 0);
        map.insert(VELTRIX_Keys::databytesMaster, 3);
        map.insert(VELTRIX_Keys::bytes, QByteArray());
        break;
    case 131:
        setInts(map, {VELTRIX_Keys::address, VELTRIX_Keys::bytesToWrite}, 0);
        map.insert(VELTRIX_Keys::databytesSlave, 2);
        map.insert(VELTRIX_Keys::bytes, QByteArray());
        break;
    case 132:
    case 133:
        map.insert(VELTRIX_Keys::databytesMaster, 0);
        map.insert(VELTRIX_Keys::databytesSlave, 2);
        break;
    case 134:
        setInts(map, {VELTRIX_Keys::diagCode, VELTRIX_Keys::diagValue}, 0);
        map.insert(VELTRIX_Keys::databytesMaster, 1);
        map.insert(VELTRIX_Keys::databytesSlave, 6);
        break;
    case 135:
        setInts(map, {VELTRIX_Keys::databytesMaster, VELTRIX_Keys::version, VELTRIX_Keys::subversion}, 0);
        map.insert(VELTRIX_Keys::databytesSlave, 4);
        break;
    case 136:
        setInts(map,
                {VELTRIX_Keys::databytesMaster, VELTRIX_Keys::revisionYear, VELTRIX_Keys::revisionMonth,
                 VELTRIX_Keys::revisionDay},
                0);
        map.insert(VELTRIX_Keys::databytesSlave, 5);
        break;
    case 137:
        setInts(map,
                {VELTRIX_Keys::databytesMaster, VELTRIX_Keys::addressVendorId, VELTRIX_Keys::addressSlave,
                 VELTRIX_Keys::addressSubslave},
                0);
        map.insert(VELTRIX_Keys::databytesSlave, 2);
        break;
    case 138:
        setInts(
            map,
            {VELTRIX_Keys::databytesMaster, VELTRIX_Keys::variableCount(VELTRIX_ENUM_SESSION_COMMAND_138)},
            0);
        addVariables(map, VELTRIX_ENUM_SESSION_COMMAND_138);
        break;
    case 139:
        setInts(
            map,
            {VELTRIX_Keys::databytesMaster, VELTRIX_Keys::variableCount(VELTRIX_ENUM_SESSION_COMMAND_139)},
            0);
        addVariables(map, VELTRIX_ENUM_SESSION_COMMAND_139);
        break;
    case 140:
        map.insert(VELTRIX_Keys::databytesMaster, 0);
        map.insert(VELTRIX_Keys::databytesSlave, 130);
        for (int i = 1; i <= 8; ++i)
            map.insert(VELTRIX_Keys::statusString(i), QStringLiteral(" "));
        break;
    case 141:
        map.insert(VELTRIX_Keys::databytesMaster, 0);
        map.insert(VELTRIX_Keys::databytesSlave, 18);
        map.insert(VELTRIX_Keys::devicetypestring, QStringLiteral(" "));
        break;
    case 142:
        map.insert(VELTRIX_Keys::databytesMaster, 0);
        map.insert(VELTRIX_Keys::databytesSlave, 2);
        break;
    case 143:
        setInts(map, {VELTRIX_Keys::systemcommand, VELTRIX_Keys::payload}, 0);
        map.insert(VELTRIX_Keys::databytesMaster, 5);
        map.insert(VELTRIX_Keys::databytesSlave, 2);
        break;
    default:
        break;
    }
    return map;
}
