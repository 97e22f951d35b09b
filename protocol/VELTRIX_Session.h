#pragma once

#include <array>

#include <QByteArray>
#include <QMap>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVariant>

#include "protocol/VELTRIX_Timing.h"
#include "protocol/serial/FSerialLine.h"

// One VELTRIX exchange: the commands to send with their values, the frame
// being sent or received, and the state the link layer reports. The record
// also carries every enumeration of the protocol stack.
class VELTRIX_Session : public QObject
{
    Q_OBJECT

public:
    enum VELTRIX_ENUM_SESSION_TYPE
    {
        VELTRIX_ENUM_SESSION_TYPE_SLAVE = 0,
        VELTRIX_ENUM_SESSION_TYPE_MASTER = 1,
        VELTRIX_ENUM_SESSION_TYPE_BURST = 2
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_TYPE)

    enum VELTRIX_HW
    {
        VELTRIX_HW_UART = 0,
        VELTRIX_HW_BTLE = 1
    };
    Q_ENUM(VELTRIX_HW)

    enum VELTRIX_ENUM_ADAPTER_STATE
    {
        VELTRIX_ENUM_ADAPTER_STATE_COMMUNICATION = 0,
        VELTRIX_ENUM_ADAPTER_STATE_BYPASS = 1,
        VELTRIX_ENUM_ADAPTER_STATE_OFF = 2
    };
    Q_ENUM(VELTRIX_ENUM_ADAPTER_STATE)

    enum BTLE_STATE
    {
        DISCONNECTED = 0,
        SCANNING = 1,
        NEW_DEVICES = 2,
        CONNECTING = 3,
        CONNECTED = 4,
        HW_ERROR = 255
    };
    Q_ENUM(BTLE_STATE)

    enum VELTRIX_ENUM_SESSION_COMMAND
    {
        VELTRIX_ENUM_SESSION_COMMAND_128 = 128,
        VELTRIX_ENUM_SESSION_COMMAND_129 = 129,
        VELTRIX_ENUM_SESSION_COMMAND_130 = 130,
        VELTRIX_ENUM_SESSION_COMMAND_131 = 131,
        VELTRIX_ENUM_SESSION_COMMAND_132 = 132,
        VELTRIX_ENUM_SESSION_COMMAND_133 = 133,
        VELTRIX_ENUM_SESSION_COMMAND_134 = 134,
        VELTRIX_ENUM_SESSION_COMMAND_135 = 135,
        VELTRIX_ENUM_SESSION_COMMAND_136 = 136,
        VELTRIX_ENUM_SESSION_COMMAND_137 = 137,
        VELTRIX_ENUM_SESSION_COMMAND_138 = 138,
        VELTRIX_ENUM_SESSION_COMMAND_139 = 139,
        VELTRIX_ENUM_SESSION_COMMAND_140 = 140,
        VELTRIX_ENUM_SESSION_COMMAND_141 = 141,
        VELTRIX_ENUM_SESSION_COMMAND_142 = 142,
        VELTRIX_ENUM_SESSION_COMMAND_143 = 143,
        VELTRIX_ENUM_SESSION_NO_COMMAND = 255
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND)

    enum VELTRIX_ENUM_SESSION_STATE
    {
        VELTRIX_ENUM_SESSION_STATE_INACTIVE = 0,
        VELTRIX_ENUM_SESSION_STATE_SENDING = 1,
        VELTRIX_ENUM_SESSION_STATE_SENDING_DONE = 2,
        VELTRIX_ENUM_SESSION_STATE_RECIEVING_WAIT_FOR_FIRST_RECIEVE_BYTE = 3,
        VELTRIX_ENUM_SESSION_STATE_RECIEVING_COUNT_PREAMBELS = 4,
        VELTRIX_ENUM_SESSION_STATE_RECIEVING_CHECK_ADRESS = 5,
        VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_COMMAND = 6,
        VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD_COUNT = 7,
        VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_STATUS_BYTES = 8,
        VELTRIX_ENUM_SESSION_STATE_RECIEVING_READ_PAYLOAD = 9,
        VELTRIX_ENUM_SESSION_STATE_RECIEVING_DONE = 10,
        VELTRIX_ENUM_SESSION_STATE_RECIEVING_WAIT_FOR_BURST_ACK = 11,
        VELTRIX_ENUM_SESSION_STATE_SESSION_DATA_READY = 12,
        VELTRIX_ENUM_SESSION_STATE_ERROR = 13,
        VELTRIX_ENUM_SESSION_STATE_UNKNOWN = 255
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_STATE)

    enum VELTRIX_ENUM_SESSION_ERROR
    {
        VELTRIX_ENUM_SESSION_NO_ERROR = 0,
        VELTRIX_ENUM_SESSION_ERROR_NO_PREAMBEL = 1,
        VELTRIX_ENUM_SESSION_ERROR_TOO_FEW_PREAMBELS = 2,
        VELTRIX_ENUM_SESSION_ERROR_TOO_MANY_PREAMBELS = 3,
        VELTRIX_ENUM_SESSION_ERROR_WRONG_ADDRESS = 4,
        VELTRIX_ENUM_SESSION_ERROR_WRONG_CHECKSUM = 5,
        VELTRIX_ENUM_SESSION_ERROR_DATA_OVERRUN = 6,
        VELTRIX_ENUM_SESSION_ERROR_FRAMING = 7,
        VELTRIX_ENUM_SESSION_ERROR_TIMEOUT = 8,
        VELTRIX_ENUM_SESSION_ERROR_TIMEOUT_BURSTMODE = 9,
        VELTRIX_ENUM_SESSION_ERROR_PARITY = 10,
        VELTRIX_ENUM_SESSION_ERROR_WRONG_COMMAND = 11,
        VELTRIX_ENUM_SESSION_ERROR_SESSION_NOT_FINISHED = 12,
        VELTRIX_ENUM_SESSION_ERROR_CANT_START_SESSION = 13,
        VELTRIX_ENUM_SESSION_ERROR_CANT_OPEN_COMPORT = 14,
        VELTRIX_ENUM_SESSION_ERROR_COMPORT = 15,
        VELTRIX_ENUM_SESSION_ERROR_NO_DATA_IN_SESSION = 16,
        VELTRIX_ENUM_SESSION_ERROR_BURST_ACK = 17,
        VELTRIX_ENUM_SESSION_ERROR_BAUDRATE_CHANGE = 18,
        VELTRIX_ENUM_SESSION_ERROR_DMA = 19,
        VELTRIX_ENUM_SESSION_ERROR_BTLE = 20,
        VELTRIX_ENUM_SESSION_ERROR_UNKNOWN = 255
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_ERROR)

    // Outcome of a response as the application layer judges it; stored under
    // "Universal Error" of the command's map.
    enum VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_NO_ERROR = 0,
        VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR_TOO_FEW_PAYLOAD_BYTES = 1,
        VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR_TOO_MANY_PAYLOAD_BYTES = 2,
        VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR_NOT_EXECUTED = 255
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR)

    // Type of the key "Error" of each command's map.
    enum VELTRIX_ENUM_SESSION_COMMAND_128_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_128_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_128_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_129_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_129_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_129_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_130_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_130_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_130_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_131_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_131_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_131_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_132_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_132_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_132_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_133_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_133_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_133_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_134_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_134_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_134_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_135_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_135_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_135_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_136_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_136_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_136_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_137_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_137_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_137_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_138_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_138_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_138_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_139_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_139_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_139_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_140_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_140_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_140_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_141_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_141_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_141_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_142_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_142_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_142_ERROR)
    enum VELTRIX_ENUM_SESSION_COMMAND_143_ERROR
    {
        VELTRIX_ENUM_SESSION_COMMAND_143_NO_ERROR = 0
    };
    Q_ENUM(VELTRIX_ENUM_SESSION_COMMAND_143_ERROR)

    union uFloatByte
    {
        float fValue;
        uchar ucBytes[4];
    };

    // Serial line and adapter settings; the DTR/RTS pairs are the line levels
    // of the three adapter states.
    struct InterfaceSettings
    {
        InterfaceSettings() = default;
        InterfaceSettings(const InterfaceSettings& other) = default;
        InterfaceSettings& operator=(const InterfaceSettings& other) = default;

        bool dtrCommunication = true;
        bool dtrBypass = false;
        bool dtrOff = false;
        bool rtsCommunication = false;
        bool rtsBypass = false;
        bool rtsOff = true;
        bool singleWire = true;
        int baudRate = 1200;
        FSerialLine::DataBits dataBits = FSerialLine::Data8;
        FSerialLine::Parity parity = FSerialLine::OddParity;
        FSerialLine::StopBits stopBits = FSerialLine::OneStop;
        FSerialLine::FlowControl flowControl = FSerialLine::NoFlowControl;
        QString portName;
        bool powerCycle = true;
        unsigned int powerDownMs = VELTRIX_LinkTiming().powerDownMs;
        unsigned int startupMs = VELTRIX_LinkTiming().startupMs;
    };

    using DataMap = QMap<QString, QVariant>;
    using CommandDataMap = QMap<QString, QMap<QString, QVariant>>;

    static constexpr int iCommandQueueSize = 100;
    static constexpr int iAddressSize = 5;

    explicit VELTRIX_Session(QObject* parent = nullptr);
    VELTRIX_Session(const VELTRIX_Session& other);
    VELTRIX_Session& operator=(const VELTRIX_Session& other);
    ~VELTRIX_Session() override = default;

    static void getDefaultSettingsForInterface(InterfaceSettings* settings);
    static QString getCommandStringForCommandMap(VELTRIX_ENUM_SESSION_COMMAND command);
    static bool isValidCommand(int iCommand) { return iCommand >= 128 && iCommand <= 143; }

    void reset();

    VELTRIX_ENUM_SESSION_COMMAND getCommand() const { return command; }
    void setCommand(VELTRIX_ENUM_SESSION_COMMAND newCommand) { command = newCommand; }
    VELTRIX_ENUM_SESSION_ERROR getError() const { return error; }
    void setError(VELTRIX_ENUM_SESSION_ERROR newError) { error = newError; }
    VELTRIX_ENUM_SESSION_STATE getState() const { return state; }
    void setState(VELTRIX_ENUM_SESSION_STATE newState) { state = newState; }
    VELTRIX_ENUM_SESSION_TYPE getType() const { return type; }
    void setType(VELTRIX_ENUM_SESSION_TYPE newType) { type = newType; }

    void addCommandToQueue(VELTRIX_ENUM_SESSION_COMMAND command, uchar repeat, uchar second);
    void resetCommandQueue();
    // bConsume true takes one repetition of the head command (removing the
    // entry after its last one); false only looks at it.
    VELTRIX_ENUM_SESSION_COMMAND getCurrentCommandFromQueue(bool bConsume = true);
    int getCommandQueueCount() const { return ucCommandQueueCount; }

    void setAddress(const uchar* address);
    void getAddress(uchar* address) const;
    std::array<uchar, iAddressSize> getAddress() const { return ucAddress; }

    void setBuffer(const QByteArray& data) { buffer = data; }
    void getBuffer(QByteArray* data) const;
    QByteArray getBuffer() const { return buffer; }

    void setStatusHighByte(const uchar& status) { ucStatusHigh = status; }
    void setStatusLowByte(const uchar& status) { ucStatusLow = status; }
    uchar getStatusHighByte() const { return ucStatusHigh; }
    uchar getStatusLowByte() const { return ucStatusLow; }

    void incrementValidSessions() { ++ullValidSessions; }
    quint64 getValidSessionCount() const { return ullValidSessions; }

    void getDataForCommand(VELTRIX_ENUM_SESSION_COMMAND command, QMap<QString, QVariant>* map) const;
    void getDefaultDataForCommand(VELTRIX_ENUM_SESSION_COMMAND command, QMap<QString, QVariant>* map) const;
    void setDataForCommand(VELTRIX_ENUM_SESSION_COMMAND command, const QMap<QString, QVariant>& map);
    void setDataMap(const QMap<QString, QMap<QString, QVariant>>& map) { dataMap = map; }

    QMap<QString, QMap<QString, QVariant>> getDataMapStandardLayout() const;
    QMap<QString, QVariant> getDataStandardLayoutForCommand(const QString& key) const;
    // The same layout without a record at hand.
    static QMap<QString, QVariant> standardLayoutForCommand(const QString& key);

private:
    struct QueueEntry
    {
        VELTRIX_ENUM_SESSION_COMMAND command = VELTRIX_ENUM_SESSION_NO_COMMAND;
        uchar ucRepeat = 0;
        uchar ucSecond = 0;
    };

    void copyFrom(const VELTRIX_Session& other);

    VELTRIX_ENUM_SESSION_COMMAND command = VELTRIX_ENUM_SESSION_NO_COMMAND;
    VELTRIX_ENUM_SESSION_ERROR error = VELTRIX_ENUM_SESSION_NO_ERROR;
    VELTRIX_ENUM_SESSION_STATE state = VELTRIX_ENUM_SESSION_STATE_INACTIVE;
    VELTRIX_ENUM_SESSION_TYPE type = VELTRIX_ENUM_SESSION_TYPE_SLAVE;
    std::array<QueueEntry, iCommandQueueSize> commandQueue{};
    uchar ucCommandQueueCount = 0;
    QByteArray buffer;
    uchar ucStatusHigh = 0;
    uchar ucStatusLow = 0;
    std::array<uchar, iAddressSize> ucAddress{};
    quint64 ullValidSessions = 0;
    CommandDataMap dataMap;
    CommandDataMap defaultMap;
};

Q_DECLARE_METATYPE(VELTRIX_Session::InterfaceSettings)
