#include "components/commands/CompositeCommand.h"
#include "components/commands/ConnectCommand.h"
#include "components/commands/DisconnectCommand.h"
#include "components/commands/ReadParametersCommand.h"
#include "components/commands/RestartDeviceCommand.h"
#include "components/commands/SetAsFactoryDefaultsCommand.h"
#include "components/commands/WriteParametersCommand.h"
#include "components/components_test_support.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace Hvd::Weft::Components;
using namespace ComponentsTest;
using Hvd::Weft::Device::Parameter;
using Hvd::Weft::Device::ParameterSetting;
using Hvd::Weft::Device::Value;

namespace
{

constexpr std::array<std::uint8_t, 5> deviceOnly{19, 0, 4, 0, 0};
constexpr std::array<std::uint8_t, 5> subdeviceOnly{19, 0, 0, 0, 2};

struct Outcome
{
    explicit Outcome(Command& command)
        : finished(&command, &Command::finished)
        , errors(&command, &Command::errorOccurred)
        , warnings(&command, &Command::warningOccurred)
        , progress(&command, &Command::progressUpdated)
    {
    }
    bool waitEnded(int ms = 2000)
    {
        return QTest::qWaitFor([&] { return finished.count() + errors.count() > 0; }, ms);
    }
    QString errorText() const { return errors.isEmpty() ? QString() : errors.first().at(0).toString(); }
    bool errorDisconnected() const { return !errors.isEmpty() && errors.first().at(2).toBool(); }
    QSignalSpy finished;
    QSignalSpy errors;
    QSignalSpy warnings;
    QSignalSpy progress;
};

// A description's parameters, held as long as a test's commands refer to them.
struct Parameters
{
    Hvd::Weft::Device::Device description = orvikDescription();
    const auto& deviceSet() const
    {
        return description.getDeviceParameterSets().at(Hvd::Weft::Device::Version("V02.10"));
    }
    const auto& subdeviceSet() const
    {
        return description.getSubdeviceParameterSets().at(Hvd::Weft::Device::Version("V02.10"));
    }
    const Parameter& name() const { return deviceSet().at("ProductVariantName"); }
    const Parameter& kFactor() const { return subdeviceSet().at("measurement.setting.scaling.K0"); }
};

struct DeviceCommandTest : ::testing::Test
{
    ConnectedDeviceContext context;
    FakeDeviceService service;
    Parameters parameters;

    void connectSensor(std::array<std::uint8_t, 5> address = orvikAddress)
    {
        context.setConnectedDevicePort("COM3", true, 300, 120);
        context.setConnectedDevice(sensor(address));
    }
    void connectBootloader()
    {
        Hvd::Weft::Communication::Device bootloader;
        bootloader.name = Hvd::Weft::Communication::bootloaderDeviceName;
        context.setConnectedDevice(bootloader);
    }
};

} // namespace

TEST_F(DeviceCommandTest, CommandsNeedAConnectedDevice)
{
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<DisconnectCommand>(context, service, nullptr));
    commands.push_back(std::make_unique<RestartDeviceCommand>(context, service, nullptr));
    commands.push_back(std::make_unique<SetAsFactoryDefaultsCommand>(context, service, nullptr));
    auto read = std::make_unique<ReadParametersCommand>(context, service, "", nullptr);
    read->setParameters({parameters.name()}, {});
    commands.push_back(std::move(read));
    for (auto& command : commands)
    {
        Outcome outcome(*command);
        command->execute();
        EXPECT_EQ(outcome.errorText(), "No device connected");
        EXPECT_TRUE(outcome.errorDisconnected()) << "a missing device counts as a lost connection";
        EXPECT_FALSE(command->isRunning());
    }
    QTest::qWait(5);
    EXPECT_TRUE(service.calls.empty());
}

TEST_F(DeviceCommandTest, BootloaderCountsAsConnectedButCannotBeConnectedAgain)
{
    connectBootloader();
    Comport port;
    port.number = "COM4";
    ConnectCommand connect(context, service, port, true, nullptr);
    Outcome refused(connect);
    connect.execute();
    EXPECT_EQ(refused.errorText(), "Device already connected");
    EXPECT_FALSE(refused.errorDisconnected());

    // A placeholder has no address: system commands go to no part.
    RestartDeviceCommand restart(context, service, nullptr);
    Outcome restarted(restart);
    restart.execute();
    ASSERT_TRUE(restarted.waitEnded());
    EXPECT_EQ(restarted.finished.count(), 1);
    ASSERT_EQ(service.calls.size(), 1u);
    EXPECT_EQ(service.calls[0].type, Address::Type::Invalid);

    // Device parameters pass for a bootloader, subdevice parameters do not.
    ReadParametersCommand readDevice(context, service, "", nullptr);
    readDevice.setParameters({parameters.name()}, {});
    Outcome deviceRead(readDevice);
    readDevice.execute();
    ASSERT_TRUE(deviceRead.waitEnded());
    EXPECT_EQ(deviceRead.finished.count(), 1);

    ReadParametersCommand readSub(context, service, "", nullptr);
    readSub.setParameters({}, {parameters.kFactor()});
    Outcome subRead(readSub);
    readSub.execute();
    EXPECT_EQ(subRead.errorText(), "No subdevice is connected but parameters are not empty.");
    EXPECT_EQ(service.slotNames(), (std::vector<std::string>{"restartDevice", "read"}));
}

TEST_F(DeviceCommandTest, ConnectSendsPortAndReportsTheFoundDevice)
{
    service.deviceToFind = sensor(orvikAddress);
    Comport port;
    port.number = "COM9";
    port.halfDuplex = true;
    port.startupMs = 300;
    ConnectCommand connect(context, service, port, false, nullptr);
    EXPECT_EQ(connect.getDescription(), "Connecting to device");
    Outcome outcome(connect);
    QSignalSpy found(&connect, &ConnectCommand::deviceFound);
    connect.execute();
    ASSERT_TRUE(outcome.waitEnded());
    ASSERT_EQ(service.calls.size(), 1u);
    EXPECT_EQ(service.calls[0].comport, port);
    EXPECT_FALSE(service.calls[0].flag);
    ASSERT_EQ(found.count(), 1);
    EXPECT_EQ(found.first().at(0).value<Hvd::Weft::Communication::Device>(), service.deviceToFind);
    EXPECT_EQ(outcome.finished.count(), 1);
    // The command reports; storing the device is the connector's business.
    EXPECT_FALSE(context.isDeviceConnected());
    ASSERT_GE(outcome.progress.count(), 2);
    EXPECT_EQ(outcome.progress.at(1).at(0).toUInt(), 40u);
    EXPECT_EQ(outcome.progress.at(1).at(1).toString(), "Connecting to device");
}

TEST_F(DeviceCommandTest, ServiceErrorsEndTheCommandAsDisconnectedAndWarningsDoNot)
{
    connectSensor();
    service.silent.insert("setCurrentAsFactoryDefaults");
    SetAsFactoryDefaultsCommand command(context, service, nullptr);
    Outcome outcome(command);
    command.execute();
    emit service.warning("Status: configuration changed");
    EXPECT_TRUE(command.isRunning());
    ASSERT_EQ(outcome.warnings.count(), 1);
    EXPECT_EQ(outcome.warnings.first().at(0).toString(), "Status: configuration changed");

    // Another operation's success is not this command's end.
    emit service.successRestartDevice();
    emit service.successWriting();
    EXPECT_TRUE(command.isRunning());

    emit service.error("Device didn`t respond -> timeout! !");
    EXPECT_EQ(outcome.errorText(), "Device didn`t respond -> timeout! !");
    EXPECT_TRUE(outcome.errorDisconnected());
    EXPECT_EQ(outcome.errors.first().at(1).value<System>(), System::Application);

    // No longer listening once ended.
    emit service.error("late");
    emit service.successSetCurrentAsFactoryDefaults();
    EXPECT_EQ(outcome.errors.count(), 1);
    EXPECT_EQ(outcome.finished.count(), 0);
}

TEST_F(DeviceCommandTest, SystemCommandsGoToTheDevicePartWhenThereIsOne)
{
    const std::vector<std::pair<std::array<std::uint8_t, 5>, Address::Type>> cases{
        {deviceOnly, Address::Type::Device},
        {orvikAddress, Address::Type::Device},
        {subdeviceOnly, Address::Type::Invalid},
    };
    for (const auto& [address, expected] : cases)
    {
        service.calls.clear();
        connectSensor(address);
        RestartDeviceCommand restart(context, service, nullptr);
        SetAsFactoryDefaultsCommand defaults(context, service, nullptr);
        EXPECT_EQ(restart.getDescription(), "Restarting device");
        EXPECT_EQ(defaults.getDescription(), "Setting parameters as factory defaults");
        for (Command* command : std::initializer_list<Command*>{&restart, &defaults})
        {
            Outcome outcome(*command);
            command->execute();
            ASSERT_TRUE(outcome.waitEnded());
            EXPECT_EQ(outcome.finished.count(), 1);
        }
        ASSERT_EQ(service.slotNames(),
                  (std::vector<std::string>{"restartDevice", "setCurrentAsFactoryDefaults"}));
        for (const auto& call : service.calls)
        {
            EXPECT_EQ(call.type, expected);
            EXPECT_EQ(call.device.address.bytes, address);
        }
    }
}

TEST_F(DeviceCommandTest, DisconnectClearsTheContextAtOnceAndFinishesOnConfirmation)
{
    connectSensor();
    service.silent.insert("abort");
    DisconnectCommand disconnect(context, service, nullptr);
    EXPECT_EQ(disconnect.getDescription(), "Disconnecting from device");
    Outcome outcome(disconnect);
    disconnect.execute();
    EXPECT_FALSE(context.isDeviceConnected());
    EXPECT_TRUE(context.getConnectedDevicePort().number.isEmpty());
    EXPECT_EQ(context.getConnectedDevice(), Hvd::Weft::Communication::Device{});
    QTest::qWait(10);
    EXPECT_TRUE(disconnect.isRunning());
    EXPECT_EQ(outcome.finished.count(), 0);
    emit service.successDisconnecting();
    EXPECT_EQ(outcome.finished.count(), 1);
    EXPECT_EQ(service.slotNames(), std::vector<std::string>{"abort"});
}

TEST_F(DeviceCommandTest, ReadRefusesListsTheSensorCannotServe)
{
    struct Case
    {
        std::array<std::uint8_t, 5> address;
        bool device;
        bool subdevice;
        const char* message;
        const char* logged;
    };
    const std::vector<Case> cases{
        {orvikAddress, false, false, "The parameters are empty.", "The parameters are empty"},
        {deviceOnly, false, true, "No subdevice is connected but parameters are not empty.",
         "No subdevice is connected but parameters are not empty"},
        {subdeviceOnly, true, false, "No device is connected but parameters are not empty.",
         "No device is connected but parameters are not empty"},
    };
    for (const auto& c : cases)
    {
        LogCapture log;
        connectSensor(c.address);
        ReadParametersCommand read(context, service, "", nullptr);
        read.setParameters(c.device ? DeviceService::ParameterRefList{parameters.name()}
                                    : DeviceService::ParameterRefList{},
                           c.subdevice ? DeviceService::ParameterRefList{parameters.kFactor()}
                                       : DeviceService::ParameterRefList{});
        Outcome outcome(read);
        read.execute();
        EXPECT_EQ(outcome.errorText(), c.message);
        EXPECT_FALSE(outcome.errorDisconnected());
        EXPECT_FALSE(read.isRunning());
        const std::string text = log.text();
        EXPECT_NE(text.find(std::string("[error] [main]  ") + c.logged + "\n"), std::string::npos) << text;
    }
    QTest::qWait(5);
    EXPECT_TRUE(service.calls.empty());
}

TEST_F(DeviceCommandTest, ReadDeliversAndLogsTheValues)
{
    LogCapture log;
    connectSensor();
    service.readDeviceValues = {ParameterSetting("ProductVariantName", Value("Orvik 4.026"))};
    service.readSubdeviceValues = {ParameterSetting("measurement.setting.scaling.K0", Value(2.5f))};
    ReadParametersCommand read(context, service, "", nullptr);
    EXPECT_EQ(read.getDescription(), "Reading parameters");
    read.setParameters({parameters.name()}, {parameters.kFactor()});
    Outcome outcome(read);
    QSignalSpy values(&read, &ReadParametersCommand::parametersRead);
    read.execute();
    ASSERT_TRUE(outcome.waitEnded());
    EXPECT_EQ(outcome.finished.count(), 1);
    ASSERT_EQ(service.calls.size(), 1u);
    EXPECT_EQ(service.calls[0].device.address.bytes, orvikAddress);
    EXPECT_EQ(service.calls[0].deviceNames, std::vector<std::string>{"ProductVariantName"});
    EXPECT_EQ(service.calls[0].subdeviceNames, std::vector<std::string>{"measurement.setting.scaling.K0"});
    ASSERT_EQ(values.count(), 1);
    const auto deviceValues = values.first().at(0).value<DeviceService::SettingList>();
    ASSERT_EQ(deviceValues.size(), 1u);
    EXPECT_EQ(deviceValues[0].getValue().toString(), "Orvik 4.026");
    const std::string text = log.text();
    const auto header = text.find("[info] [main]  Read parameters:\n");
    const auto first = text.find("[info] [main]  ProductVariantName Orvik 4.026\n");
    const auto second = text.find("[info] [main]  measurement.setting.scaling.K0 2.5\n");
    ASSERT_NE(header, std::string::npos) << text;
    ASSERT_NE(first, std::string::npos) << text;
    ASSERT_NE(second, std::string::npos) << text;
    EXPECT_LT(header, first);
    EXPECT_LT(first, second);
}

TEST_F(DeviceCommandTest, WriteAfterReadIsNotEndedByTheReadsTrailingSuccess)
{
    connectSensor();
    service.readSubdeviceValues = {ParameterSetting("measurement.setting.scaling.K0", Value(2.5f))};
    service.silent.insert("write");
    auto* read = new ReadParametersCommand(context, service, "Reading k-factor", nullptr);
    read->setParameters({}, {parameters.kFactor()});
    auto* write = new WriteParametersCommand(context, service, "Writing parameters", nullptr);
    QObject::connect(read, &ReadParametersCommand::parametersRead, write,
                     [&]
                     {
                         Parameter changed = parameters.kFactor();
                         changed.setCurrentValue(Value(3.25, Hvd::Weft::Device::DataType::DFLOAT32));
                         write->setParameters({}, {changed});
                     });
    CompositeCommand composite({read, write}, false, nullptr);
    Outcome outcome(composite);
    composite.execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.calls.size() == 2; }, 2000));
    QTest::qWait(20);
    EXPECT_TRUE(write->isRunning()) << "the read's successWriting must not end the write";
    EXPECT_EQ(outcome.finished.count(), 0);
    EXPECT_EQ(service.calls[1].slot, "write");
    EXPECT_TRUE(service.calls[1].flag) << "written values are read back";
    EXPECT_EQ(service.calls[1].subdeviceNames, std::vector<std::string>{"measurement.setting.scaling.K0"});

    emit service.successWriting();
    EXPECT_EQ(outcome.finished.count(), 1);
    EXPECT_FALSE(composite.isRunning());
}

TEST_F(DeviceCommandTest, WriteLogsItsListsEvenWhenRefused)
{
    LogCapture log;
    connectSensor(subdeviceOnly);
    Parameter name = parameters.name();
    name.setCurrentValue(Value("Orvik 6.065"));
    Parameter kFactor = parameters.kFactor();
    kFactor.setCurrentValue(Value(1.75, Hvd::Weft::Device::DataType::DFLOAT32));
    WriteParametersCommand write(context, service, "Writing parameters", nullptr);
    write.setParameters({name}, {kFactor});
    Outcome outcome(write);
    write.execute();
    EXPECT_EQ(outcome.errorText(), "No device is connected but parameters are not empty.");
    const std::string text = log.text();
    const auto deviceHeader = text.find("[info] [main]  Writing parameters to device:\n");
    const auto deviceLine = text.find("[info] [main]  ProductVariantName: Orvik 6.065\n");
    const auto subHeader = text.find("[info] [main]  Writing parameters to subdevice:\n");
    const auto subLine = text.find("[info] [main]  measurement.setting.scaling.K0: 1.75\n");
    const auto refusal = text.find("[error] [main]  No device is connected");
    for (auto position : {deviceHeader, deviceLine, subHeader, subLine, refusal})
        ASSERT_NE(position, std::string::npos) << text;
    EXPECT_LT(deviceHeader, deviceLine);
    EXPECT_LT(deviceLine, subHeader);
    EXPECT_LT(subHeader, subLine);
    EXPECT_LT(subLine, refusal);
    QTest::qWait(5);
    EXPECT_TRUE(service.calls.empty());

    // Empty lists log no header at all.
    LogCapture emptyLog;
    WriteParametersCommand empty(context, service, "Writing parameters", nullptr);
    Outcome emptyOutcome(empty);
    empty.execute();
    EXPECT_EQ(emptyOutcome.errorText(), "The parameters are empty.");
    EXPECT_EQ(emptyLog.text().find("Writing parameters to"), std::string::npos);
}

TEST_F(DeviceCommandTest, DestroyingARunningCommandCancelsItSilently)
{
    connectSensor();
    service.silent.insert("restartDevice");
    LogCapture log;
    auto restart = std::make_unique<RestartDeviceCommand>(context, service, nullptr);
    Outcome outcome(*restart);
    restart->execute();
    ASSERT_TRUE(restart->isRunning());
    restart.reset();
    // Answers after the end must not reach the destroyed command.
    emit service.successRestartDevice();
    emit service.error("late");
    emit service.progress(50);
    const std::string text = log.text();
    EXPECT_NE(text.find("Canceling " + std::string(typeid(SimpleConnectedDeviceCommand).name())),
              std::string::npos)
        << text;
    EXPECT_EQ(outcome.finished.count(), 0);
    EXPECT_EQ(outcome.errors.count(), 0);
}
