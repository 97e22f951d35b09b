#include <gtest/gtest.h>

#include <QObject>

#include "protocol/VELTRIX_Session.h"
#include "protocol/VELTRIX_SessionInfo.h"

namespace
{

QMap<QString, QVariant> dataFor(const VELTRIX_Session& session,
                                VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command)
{
    QMap<QString, QVariant> map;
    session.getDataForCommand(command, &map);
    return map;
}

} // namespace

TEST(SessionErrorCodes, NumericValuesAndTextsArePinned)
{
    // Peers log and show these texts and compare these numbers.
    struct Row
    {
        VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR error;
        int value;
        const char* text;
    };
    const Row rows[] = {
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR, 0, "no error"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_NO_PREAMBEL, 1, "no preambel received"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TOO_FEW_PREAMBELS, 2, "too few preambel received"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TOO_MANY_PREAMBELS, 3, "too many preambel received"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_ADDRESS, 4, "wrong address"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_CHECKSUM, 5, "wrong checksum"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_DATA_OVERRUN, 6, "reading command"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_FRAMING, 7, "data overrun"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TIMEOUT, 8, "normal timeout of 300ms elapsed"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_TIMEOUT_BURSTMODE, 9, "burst timeout of 1s elapsed"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_PARITY, 10, "wrong parity"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_COMMAND, 11, "wrong command"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_SESSION_NOT_FINISHED, 12,
         "session couldn`t be finished"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_CANT_START_SESSION, 13, "session couldn`t be started"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_CANT_OPEN_COMPORT, 14, "COM port couldn`t be opened"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_COMPORT, 15, "general COM port error"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_NO_DATA_IN_SESSION, 16,
         "no payload in session data found"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_BURST_ACK, 17, "master didn`t ackowledge burst packet"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_BAUDRATE_CHANGE, 18, "unknown error"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_DMA, 19, "unknown error"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_BTLE, 20, "unknown error"},
        {VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_UNKNOWN, 255, "unknown error"},
        {static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR>(21), 21, "unknown error"},
        {static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR>(100), 100, "unknown error"},
    };
    for (const Row& row : rows)
    {
        VELTRIX_SessionInfo info;
        info.setError(row.error);
        EXPECT_EQ(static_cast<int>(row.error), row.value);
        EXPECT_EQ(info.getErrorAsString(), QString::fromUtf8(row.text)) << "code " << row.value;
    }

    EXPECT_EQ(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_NO_ERROR, 0);
    EXPECT_EQ(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR_TOO_FEW_PAYLOAD_BYTES, 1);
    EXPECT_EQ(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR_TOO_MANY_PAYLOAD_BYTES, 2);
    EXPECT_EQ(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_UNIVERSAL_ERROR_NOT_EXECUTED, 255);
    EXPECT_EQ(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_RECIEVING_WAIT_FOR_BURST_ACK, 11);
    EXPECT_EQ(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_ERROR, 13);
    EXPECT_EQ(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_UNKNOWN, 255);
    EXPECT_EQ(VELTRIX_Session::HW_ERROR, 255);
}

TEST(SessionInfo, ReplacingAnErrorCountsOneErroneousSession)
{
    VELTRIX_SessionInfo info;
    info.setError(VELTRIX_Session::VELTRIX_ENUM_SESSION_ERROR_WRONG_CHECKSUM);
    EXPECT_EQ(info.getErroneousSessionCount(), 0u);
    info.setError(VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR);
    EXPECT_EQ(info.getError(), VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR);
    EXPECT_EQ(info.getErroneousSessionCount(), 1u);
    // Setting NO_ERROR over NO_ERROR is not an error session.
    info.setError(VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_ERROR);
    EXPECT_EQ(info.getErroneousSessionCount(), 1u);

    info.setBaudrate(19200);
    info.setBurstModeActive(true);
    VELTRIX_SessionInfo copy(info);
    EXPECT_EQ(copy.getErroneousSessionCount(), 1u);
    EXPECT_EQ(copy.getBaudrate(), 19200u);
    EXPECT_TRUE(copy.getBurstModeActive());
    EXPECT_EQ(copy.parent(), nullptr);
    info.resetErroneousSessionCount();
    EXPECT_EQ(info.getErroneousSessionCount(), 0u);
    EXPECT_EQ(copy.getErroneousSessionCount(), 1u);
}

TEST(SessionRecord, CommandStringsCoverOnly128To143)
{
    EXPECT_EQ(VELTRIX_Session::getCommandStringForCommandMap(
                  static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(127)),
              "0");
    EXPECT_EQ(VELTRIX_Session::getCommandStringForCommandMap(
                  static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(144)),
              "0");
    EXPECT_EQ(
        VELTRIX_Session::getCommandStringForCommandMap(VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND),
        "0");
    EXPECT_EQ(
        VELTRIX_Session::getCommandStringForCommandMap(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_128),
        "128");
    EXPECT_EQ(
        VELTRIX_Session::getCommandStringForCommandMap(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143),
        "143");

    VELTRIX_Session session;
    EXPECT_TRUE(dataFor(session, static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(127)).isEmpty());
    EXPECT_EQ(session.getDataMapStandardLayout().keys().size(), 16);
}

TEST(SessionRecord, StandardLayoutHoldsTheKeysConsumersRead)
{
    VELTRIX_Session session;
    const auto status = dataFor(session, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_140);
    EXPECT_EQ(status.value("Databytes Slave").toInt(), 130);
    for (int i = 1; i <= 8; ++i)
    {
        const QVariant text = status.value(QStringLiteral("Statusstring %1").arg(i));
        EXPECT_EQ(text.typeId(), QMetaType::QString);
        EXPECT_EQ(text.toString(), " ");
    }

    const auto read = dataFor(session, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130);
    EXPECT_EQ(read.value("Databytes Master").toInt(), 3);
    EXPECT_FALSE(read.contains("Databytes Slave"));
    EXPECT_EQ(read.value("Bytes").typeId(), QMetaType::QByteArray);

    const auto write = dataFor(session, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131);
    EXPECT_FALSE(write.contains("Databytes Master"));
    EXPECT_EQ(write.value("Databytes Slave").toInt(), 2);

    const auto variables = dataFor(session, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138);
    EXPECT_EQ(variables.value("Devicevariable 8").typeId(), QMetaType::Float);
    EXPECT_EQ(variables.value("Devicevariable 8 Unit").typeId(), QMetaType::Int);
    EXPECT_FALSE(variables.contains("Devicevariable 9"));

    const auto burst = dataFor(session, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139);
    EXPECT_TRUE(burst.contains("Burstvariable 1 Unit"));
    EXPECT_TRUE(burst.contains("Number of Burstvariables"));

    EXPECT_EQ(
        dataFor(session, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143).value("Databytes Master").toInt(),
        5);
    EXPECT_EQ(
        dataFor(session, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141).value("Databytes Slave").toInt(),
        18);

    for (int command = 128; command <= 143; ++command)
    {
        const auto map =
            dataFor(session, static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(command));
        for (const char* key : {"Status High", "Status Low", "Universal Error", "Error"})
            EXPECT_EQ(map.value(key), QVariant(0)) << command << " " << key;
    }
    EXPECT_EQ(session.getDataStandardLayoutForCommand("7").keys(),
              (QStringList{"Status High", "Status Low", "Universal Error"}));
}

TEST(SessionRecord, QueueHandsOutCommandsInOrderAndHonoursRepeats)
{
    VELTRIX_Session session;
    EXPECT_EQ(session.getCurrentCommandFromQueue(true), VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND);

    session.addCommandToQueue(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131, 1, 1);
    session.addCommandToQueue(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, 1, 1);
    EXPECT_EQ(session.getCurrentCommandFromQueue(false), VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131);
    EXPECT_EQ(session.getCurrentCommandFromQueue(true), VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131);
    EXPECT_EQ(session.getCurrentCommandFromQueue(true), VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130);
    EXPECT_EQ(session.getCurrentCommandFromQueue(true), VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND);

    session.addCommandToQueue(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138, 2, 1);
    session.addCommandToQueue(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139, 0, 1);
    EXPECT_EQ(session.getCurrentCommandFromQueue(true), VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138);
    EXPECT_EQ(session.getCurrentCommandFromQueue(true), VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138);
    // A zero repeat count must not turn into 255 repetitions.
    EXPECT_EQ(session.getCurrentCommandFromQueue(true), VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139);
    EXPECT_EQ(session.getCurrentCommandFromQueue(true), VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND);
}

TEST(SessionRecord, QueueKeepsAtMostOneHundredCommands)
{
    VELTRIX_Session session;
    for (int i = 0; i < 100; ++i)
        session.addCommandToQueue(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, 1, 1);
    session.addCommandToQueue(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143, 1, 1);
    EXPECT_EQ(session.getCommandQueueCount(), 100);
    int taken = 0;
    while (session.getCurrentCommandFromQueue(true) == VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130)
        ++taken;
    EXPECT_EQ(taken, 100);
    EXPECT_EQ(session.getCommandQueueCount(), 0);
}

TEST(SessionRecord, ResetClearsTheExchangeButKeepsTypeAndAddress)
{
    VELTRIX_Session session;
    const uchar address[5] = {0x5A, 0x00, 0x07, 0x00, 0x01};
    session.setAddress(address);
    session.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
    session.setCommand(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135);
    session.setState(VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_ERROR);
    session.setBuffer(QByteArray::fromHex("8201"));
    session.setStatusHighByte(3);
    session.setStatusLowByte(4);
    session.addCommandToQueue(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, 1, 1);

    session.reset();
    EXPECT_EQ(session.getCommand(), VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND);
    EXPECT_EQ(session.getState(), VELTRIX_Session::VELTRIX_ENUM_SESSION_STATE_INACTIVE);
    EXPECT_TRUE(session.getBuffer().isEmpty());
    EXPECT_EQ(session.getStatusHighByte(), 0);
    EXPECT_EQ(session.getStatusLowByte(), 0);
    EXPECT_EQ(session.getCurrentCommandFromQueue(true), VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND);
    EXPECT_EQ(session.getType(), VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
    uchar readBack[5] = {};
    session.getAddress(readBack);
    EXPECT_TRUE(std::equal(std::begin(address), std::end(address), std::begin(readBack)));
}

TEST(SessionRecord, CopyCarriesMapsQueueAndAddressButNoParent)
{
    QObject owner;
    VELTRIX_Session original(&owner);
    const uchar address[5] = {1, 2, 3, 4, 5};
    original.setAddress(address);
    original.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
    auto values = dataFor(original, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130);
    values.insert("Address", 0x0123);
    original.setDataForCommand(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, values);
    original.addCommandToQueue(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, 1, 1);
    original.incrementValidSessions();

    VELTRIX_Session copy(original);
    EXPECT_EQ(copy.parent(), nullptr);
    EXPECT_EQ(dataFor(copy, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130).value("Address").toInt(),
              0x0123);
    EXPECT_EQ(copy.getAddress(), original.getAddress());
    EXPECT_EQ(copy.getValidSessionCount(), 1u);
    EXPECT_EQ(copy.getCurrentCommandFromQueue(true), VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130);
    // The copy's queue is its own.
    EXPECT_EQ(original.getCommandQueueCount(), 1);

    VELTRIX_Session assigned;
    assigned = original;
    QMap<QString, QVariant> defaults;
    assigned.getDefaultDataForCommand(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, &defaults);
    EXPECT_EQ(defaults.value("Address").toInt(), 0);
    EXPECT_EQ(dataFor(assigned, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130).value("Address").toInt(),
              0x0123);
}

TEST(SessionRecord, InterfaceDefaultsMatchTheAdapter)
{
    VELTRIX_Session::InterfaceSettings settings;
    settings.baudRate = 9600;
    settings.portName = "COM7";
    settings.powerCycle = false;
    VELTRIX_Session::getDefaultSettingsForInterface(&settings);
    EXPECT_EQ(settings.baudRate, 1200);
    EXPECT_TRUE(settings.portName.isEmpty());
    EXPECT_TRUE(settings.powerCycle);
    EXPECT_TRUE(settings.dtrCommunication && settings.rtsOff && settings.singleWire);
    EXPECT_FALSE(settings.rtsCommunication || settings.dtrOff || settings.dtrBypass || settings.rtsBypass);
    EXPECT_EQ(settings.parity, FSerialLine::OddParity);

    // Travels through queued connections as a QVariant.
    const QVariant wrapped = QVariant::fromValue(settings);
    EXPECT_EQ(wrapped.value<VELTRIX_Session::InterfaceSettings>().baudRate, 1200);
}
