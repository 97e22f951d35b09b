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
using Hvd::Weft::Device::DataType;
using Hvd::Weft::Device::Parameter;
using Hvd::Weft::Device::ParameterSetting;
using Hvd::Weft::Device::Value;
using RefList = DeviceService::ParameterRefList;

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
    {
    }
    bool waitEnded()
    {
        return QTest::qWaitFor([&] { return finished.count() + errors.count() > 0; }, 2000);
    }
    QString errorText() const { return errors.isEmpty() ? QString() : errors.first().at(0).toString(); }
    bool errorDisconnected() const { return !errors.isEmpty() && errors.first().at(2).toBool(); }
    QSignalSpy finished;
    QSignalSpy errors;
    QSignalSpy warnings;
};

struct DeviceCommandTest : ::testing::Test
{
    ConnectedDeviceContext context;
    FakeDeviceService service;
    Hvd::Weft::Device::Device description = orvikDescription();
    const Parameter& name =
        description.getDeviceParameterSets().getParameterSets().begin()->second.at("ProductVariantName");
    const Parameter& kFactor = description.getSubdeviceParameterSets().getParameterSets().begin()->second.at(
        "measurement.setting.scaling.K0");

    void connectSensor(std::array<std::uint8_t, 5> address = orvikAddress)
    {
        context.setConnectedDevicePort("COM3", true, 300, 120);
        context.setConnectedDevice(sensor(address));
    }
};

} // namespace

TEST_F(DeviceCommandTest, ConnectedDeviceRuleAndTheBootloaderPlaceholder)
{
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<DisconnectCommand>(context, service, nullptr));
    commands.push_back(std::make_unique<RestartDeviceCommand>(context, service, nullptr));
    commands.push_back(std::make_unique<SetAsFactoryDefaultsCommand>(context, service, nullptr));
    auto read = std::make_unique<ReadParametersCommand>(context, service, "", nullptr);
    read->setParameters({name}, {});
    commands.push_back(std::move(read));
    for (auto& command : commands)
    {
        Outcome outcome(*command);
        command->execute();
        EXPECT_EQ(outcome.errorText(), "No device connected");
        EXPECT_TRUE(outcome.errorDisconnected()) << "a missing device counts as a lost connection";
    }
    QTest::qWait(5);
    EXPECT_TRUE(service.calls.empty());

    // The placeholder of an unidentified connection has no address but
    // holds the port: connected for every command but a second connect.
    Hvd::Weft::Communication::Device bootloader;
    bootloader.name = Hvd::Weft::Communication::bootloaderDeviceName;
    context.setConnectedDevice(bootloader);
    ConnectCommand connect(context, service, Comport(), true, nullptr);
    Outcome refused(connect);
    connect.execute();
    EXPECT_EQ(refused.errorText(), "Device already connected");
    EXPECT_FALSE(refused.errorDisconnected());

    ReadParametersCommand readDevice(context, service, "", nullptr);
    readDevice.setParameters({name}, {});
    Outcome deviceRead(readDevice);
    readDevice.execute();
    ASSERT_TRUE(deviceRead.waitEnded());
    EXPECT_EQ(deviceRead.finished.count(), 1);

    ReadParametersCommand readSub(context, service, "", nullptr);
    readSub.setParameters({}, {kFactor});
    Outcome subRead(readSub);
    readSub.execute();
    EXPECT_EQ(subRead.errorText(), "No subdevice is connected but parameters are not empty.");
    EXPECT_EQ(service.slotNames(), std::vector<std::string>{"read"});
}

TEST_F(DeviceCommandTest, ReadRefusesListsTheSensorCannotServe)
{
    struct Case
    {
        std::array<std::uint8_t, 5> address;
        bool device;
        bool subdevice;
        std::string message;
    };
    const std::vector<Case> cases{
        {orvikAddress, false, false, "The parameters are empty"},
        {deviceOnly, false, true, "No subdevice is connected but parameters are not empty"},
        {subdeviceOnly, true, false, "No device is connected but parameters are not empty"},
    };
    for (const auto& c : cases)
    {
        LogCapture log;
        connectSensor(c.address);
        ReadParametersCommand read(context, service, "", nullptr);
        read.setParameters(c.device ? RefList{name} : RefList{}, c.subdevice ? RefList{kFactor} : RefList{});
        Outcome outcome(read);
        read.execute();
        EXPECT_EQ(outcome.errorText().toStdString(), c.message + ".");
        EXPECT_FALSE(outcome.errorDisconnected());
        EXPECT_FALSE(read.isRunning());
        EXPECT_TRUE(inOrder(log.text(), {"[error] [main]  " + c.message + "\n"}));
    }
    QTest::qWait(5);
    EXPECT_TRUE(service.calls.empty()) << "nothing is sent for a refused read";
}

TEST_F(DeviceCommandTest, ReadDeliversAndLogsTheValues)
{
    LogCapture log;
    connectSensor();
    service.readDeviceValues = {ParameterSetting("ProductVariantName", Value("Orvik 4.026"))};
    service.readSubdeviceValues = {ParameterSetting("measurement.setting.scaling.K0", Value(2.5f))};
    ReadParametersCommand read(context, service, "", nullptr);
    read.setParameters({name}, {kFactor});
    Outcome outcome(read);
    QSignalSpy progress(&read, &Command::progressUpdated);
    QSignalSpy values(&read, &ReadParametersCommand::parametersRead);
    read.execute();
    ASSERT_TRUE(outcome.waitEnded());
    EXPECT_EQ(outcome.finished.count(), 1);
    ASSERT_EQ(service.calls.size(), 1u);
    EXPECT_EQ(service.calls[0].device.address.bytes, orvikAddress);
    EXPECT_EQ(service.calls[0].deviceNames, std::vector<std::string>{"ProductVariantName"});
    EXPECT_EQ(service.calls[0].subdeviceNames, std::vector<std::string>{"measurement.setting.scaling.K0"});
    ASSERT_EQ(values.count(), 1);
    EXPECT_EQ(values.first().at(1).value<DeviceService::SettingList>().at(0).getValue().toString(), "2.5");
    // The service's percentages come with the command's own description.
    ASSERT_GE(progress.count(), 2);
    EXPECT_EQ(progress.at(1).at(0).toUInt(), 60u);
    EXPECT_EQ(progress.at(1).at(1).toString(), "Reading parameters");
    EXPECT_TRUE(inOrder(log.text(), {"[info] [main]  Read parameters:\n",
                                     "[info] [main]  ProductVariantName Orvik 4.026\n",
                                     "[info] [main]  measurement.setting.scaling.K0 2.5\n"}));
}

TEST_F(DeviceCommandTest, WriteAfterReadIsNotEndedByTheReadsTrailingSuccess)
{
    connectSensor();
    service.readSubdeviceValues = {ParameterSetting("measurement.setting.scaling.K0", Value(2.5f))};
    service.silent.insert("write");
    auto* read = new ReadParametersCommand(context, service, "Reading k-factor", nullptr);
    read->setParameters({}, {kFactor});
    auto* write = new WriteParametersCommand(context, service, "Writing parameters", nullptr);
    QObject::connect(read, &ReadParametersCommand::parametersRead, write,
                     [&]
                     {
                         Parameter changed = kFactor;
                         changed.setCurrentValue(Value(3.25, DataType::DFLOAT32));
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
}

TEST_F(DeviceCommandTest, WriteLogsItsListsEvenWhenRefused)
{
    LogCapture log;
    connectSensor(subdeviceOnly);
    Parameter newName = name;
    newName.setCurrentValue(Value("Orvik 6.065"));
    Parameter newKFactor = kFactor;
    newKFactor.setCurrentValue(Value(1.75, DataType::DFLOAT32));
    WriteParametersCommand write(context, service, "Writing parameters", nullptr);
    write.setParameters({newName}, {newKFactor});
    Outcome outcome(write);
    write.execute();
    EXPECT_EQ(outcome.errorText(), "No device is connected but parameters are not empty.");
    EXPECT_TRUE(inOrder(log.text(), {"[info] [main]  Writing parameters to device:\n",
                                     "[info] [main]  ProductVariantName: Orvik 6.065\n",
                                     "[info] [main]  Writing parameters to subdevice:\n",
                                     "[info] [main]  measurement.setting.scaling.K0: 1.75\n",
                                     "[error] [main]  No device is connected"}));
    QTest::qWait(5);
    EXPECT_TRUE(service.calls.empty());
}

TEST_F(DeviceCommandTest, DisconnectClearsTheContextAtOnceAndFinishesOnConfirmation)
{
    connectSensor();
    service.silent.insert("abort");
    DisconnectCommand disconnect(context, service, nullptr);
    Outcome outcome(disconnect);
    disconnect.execute();
    EXPECT_FALSE(context.isDeviceConnected());
    EXPECT_EQ(context.getConnectedDevicePort(), Comport());
    EXPECT_EQ(context.getConnectedDevice(), Hvd::Weft::Communication::Device());
    QTest::qWait(10);
    EXPECT_TRUE(disconnect.isRunning());
    emit service.successDisconnecting();
    EXPECT_EQ(outcome.finished.count(), 1);
    EXPECT_EQ(service.slotNames(), std::vector<std::string>{"abort"});
}

TEST_F(DeviceCommandTest, SystemCommandsTargetAndOutcomes)
{
    // Restart and factory defaults go to the device part, or nowhere.
    for (const auto& [address, expected] : std::vector<std::pair<std::array<std::uint8_t, 5>, Address::Type>>{
             {deviceOnly, Address::Type::Device},
             {orvikAddress, Address::Type::Device},
             {subdeviceOnly, Address::Type::Invalid}})
    {
        service.calls.clear();
        connectSensor(address);
        RestartDeviceCommand restart(context, service, nullptr);
        SetAsFactoryDefaultsCommand defaults(context, service, nullptr);
        for (Command* command : std::initializer_list<Command*>{&restart, &defaults})
        {
            Outcome outcome(*command);
            command->execute();
            ASSERT_TRUE(outcome.waitEnded());
            EXPECT_EQ(outcome.finished.count(), 1);
        }
        ASSERT_EQ(service.slotNames(),
                  (std::vector<std::string>{"restartDevice", "setCurrentAsFactoryDefaults"}));
        EXPECT_EQ(service.calls[0].type, expected);
        EXPECT_EQ(service.calls[1].type, expected);
    }

    // Warnings pass through; another operation's success is no end; a
    // service error ends the command as a lost connection.
    service.silent.insert("setCurrentAsFactoryDefaults");
    SetAsFactoryDefaultsCommand command(context, service, nullptr);
    Outcome outcome(command);
    command.execute();
    emit service.warning("Status: configuration changed");
    emit service.successRestartDevice();
    emit service.successWriting();
    EXPECT_TRUE(command.isRunning());
    EXPECT_EQ(outcome.warnings.count(), 1);
    emit service.error("Device didn`t respond -> timeout! !");
    EXPECT_EQ(outcome.errorText(), "Device didn`t respond -> timeout! !");
    EXPECT_TRUE(outcome.errorDisconnected());
    emit service.successSetCurrentAsFactoryDefaults();
    EXPECT_EQ(outcome.finished.count(), 0) << "an ended command no longer listens";
}

TEST_F(DeviceCommandTest, DestroyingARunningCommandCancelsItSilently)
{
    connectSensor();
    service.silent.insert("restartDevice");
    LogCapture log;
    auto restart = std::make_unique<RestartDeviceCommand>(context, service, nullptr);
    Outcome outcome(*restart);
    restart->execute();
    restart.reset();
    emit service.successRestartDevice();
    emit service.error("late");
    EXPECT_TRUE(
        inOrder(log.text(), {"Canceling " + std::string(typeid(SimpleConnectedDeviceCommand).name())}));
    EXPECT_EQ(outcome.finished.count() + outcome.errors.count(), 0);
}
