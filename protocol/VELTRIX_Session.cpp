#include "protocol/VELTRIX_Session.h"

#include <algorithm>

namespace
{

const QString strStatusHigh = QStringLiteral("Status High");
const QString strStatusLow = QStringLiteral("Status Low");
const QString strUniversalError = QStringLiteral("Universal Error");
const QString strError = QStringLiteral("Error");
const QString strDatabytesMaster = QStringLiteral("Databytes Master");
const QString strDatabytesSlave = QStringLiteral("Databytes Slave");

void setInts(QMap<QString, QVariant>& map, std::initializer_list<const char*> keys, int iValue)
{
    for (const char* key : keys)
        map.insert(QString::fromLatin1(key), iValue);
}

// Unit and value keys of the eight device or burst variables.
void addVariables(QMap<QString, QVariant>& map, const QString& prefix)
{
    for (int i = 1; i <= 8; ++i)
    {
        map.insert(prefix + QString::number(i) + QStringLiteral(" Unit"), 0);
        map.insert(prefix + QString::number(i), QVariant(0.0f));
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
    map.insert(strStatusHigh, 0);
    map.insert(strStatusLow, 0);
    map.insert(strUniversalError, 0);

    bool bOk = false;
    const int iCommand = key.toInt(&bOk);
    if (!bOk || !isValidCommand(iCommand) || key != QString::number(iCommand))
        return map;

    map.insert(strError, 0);
    switch (iCommand)
    {
    case 128:
        map.insert(strDatabytesMaster, 0);
        map.insert(strDatabytesSlave, 4);
        map.insert(QStringLiteral("BaudrateBitmask"), 0);
        break;
    case 129:
        map.insert(QStringLiteral("Baudrate"), 0);
        map.insert(strDatabytesMaster, 3);
        map.insert(strDatabytesSlave, 2);
        break;
    case 130:
        setInts(map, {"Address", "BytesToRead"}, 0);
        map.insert(strDatabytesMaster, 3);
        map.insert(QStringLiteral("Bytes"), QByteArray());
        break;
    case 131:
        setInts(map, {"Address", "BytesToWrite"}, 0);
        map.insert(strDatabytesSlave, 2);
        map.insert(QStringLiteral("Bytes"), QByteArray());
        break;
    case 132:
    case 133:
        map.insert(strDatabytesMaster, 0);
        map.insert(strDatabytesSlave, 2);
        break;
    case 134:
        setInts(map, {"DiagCode", "DiagValue"}, 0);
        map.insert(strDatabytesMaster, 1);
        map.insert(strDatabytesSlave, 6);
        break;
    case 135:
        setInts(map, {"Databytes Master", "Version", "Subversion"}, 0);
        map.insert(strDatabytesSlave, 4);
        break;
    case 136:
        setInts(map, {"Databytes Master", "Revision Year", "Revision Month", "Revision Day"}, 0);
        map.insert(strDatabytesSlave, 5);
        break;
    case 137:
        setInts(map, {"Databytes Master", "Address Vendor ID", "Address Slave", "Address Subslave"}, 0);
        map.insert(strDatabytesSlave, 2);
        break;
    case 138:
        setInts(map, {"Databytes Master", "Number of Devicevariables"}, 0);
        addVariables(map, QStringLiteral("Devicevariable "));
        break;
    case 139:
        setInts(map, {"Databytes Master", "Number of Burstvariables"}, 0);
        addVariables(map, QStringLiteral("Burstvariable "));
        break;
    case 140:
        map.insert(strDatabytesMaster, 0);
        map.insert(strDatabytesSlave, 130);
        for (int i = 1; i <= 8; ++i)
            map.insert(QStringLiteral("Statusstring ") + QString::number(i), QStringLiteral(" "));
        break;
    case 141:
        map.insert(strDatabytesMaster, 0);
        map.insert(strDatabytesSlave, 18);
        map.insert(QStringLiteral("Devicetypestring"), QStringLiteral(" "));
        break;
    case 142:
        map.insert(strDatabytesMaster, 0);
        map.insert(strDatabytesSlave, 2);
        break;
    case 143:
        setInts(map, {"Systemcommand", "Payload"}, 0);
        map.insert(strDatabytesMaster, 5);
        map.insert(strDatabytesSlave, 2);
        break;
    default:
        break;
    }
    return map;
}
