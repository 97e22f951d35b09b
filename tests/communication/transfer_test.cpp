#include "service_harness.h"

#include "communication/internal/Parameter.h"

#include <gtest/gtest.h>

using namespace CommTest;
using Hvd::Weft::Device::DataType;
using Hvd::Weft::Device::Parameter;
using Hvd::Weft::Device::Value;
using Sim::Fault;
using Sim::OrvikSimulatorFixture;
using Sim::OrvikSimulatorOptions;
using Sim::Target;

namespace
{

constexpr std::uint16_t variantAddress = 399;
constexpr std::uint16_t kFactorAddress = 28;

Parameter variant(const char* text = nullptr)
{
    Parameter parameter =
        makeParameter("ProductVariantName", DataType::ARRSTRING, 16, variantAddress, Value("0"));
    if (text != nullptr)
        parameter.setCurrentValue(Value(text));
    return parameter;
}

Parameter kFactor(std::optional<double> value = {})
{
    Parameter parameter =
        makeParameter("measurement.setting.scaling.K0", DataType::DFLOAT32, 1, kFactorAddress, Value(1.0f));
    if (value)
        parameter.setCurrentValue(Value(static_cast<float>(*value)));
    return parameter;
}

QByteArray field(const char* text, int width = 16)
{
    QByteArray bytes(text);
    bytes.resize(width, '\0');
    return bytes;
}

OrvikSimulatorOptions sensorWith(QList<Fault> faults = {})
{
    OrvikSimulatorOptions options;
    options.timing = TestSupport::testTiming();
    options.sensor.kfactor = 0.953125;
    options.sensor.faults = std::move(faults);
    return options;
}

// A connected service on a simulated sensor.
struct Bench
{
    explicit Bench(const OrvikSimulatorOptions& options = sensorWith(),
                   const VELTRIX_Timing& timing = TestSupport::testTiming())
        : sensor(options)
        , harness(timing)
    {
        device = harness.connectTo(linePort(sensor));
        harness.spy.clear();
    }

    void read(DeviceService::ParameterList deviceList, DeviceService::ParameterList subList = {})
    {
        harness.call([dev = device, deviceList, subList](VeltrixDeviceService& s)
                     { s.read(dev, deviceList, subList); });
    }

    void write(DeviceService::ParameterList deviceList, DeviceService::ParameterList subList = {},
               bool readBack = true)
    {
        harness.call([dev = device, deviceList, subList, readBack](VeltrixDeviceService& s)
                     { s.write(dev, deviceList, subList, readBack); });
    }

    void reconnect()
    {
        harness.connectTo(linePort(sensor));
        harness.spy.clear();
    }

    OrvikSimulatorFixture sensor;
    ServiceHarness harness;
    Device device;
};

} // namespace

TEST(ParameterRead, DeviceAndSubDeviceValuesArriveBeforeTheTrailingSuccessWriting)
{
    Bench bench;
    const Parameter name = variant();
    const Parameter factor = kFactor();
    bench.read({name}, {factor});

    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successReading", "successWriting"}));
    const auto& [deviceSettings, subSettings] = bench.harness.spy.reads.front();
    ASSERT_EQ(deviceSettings.size(), 1u);
    EXPECT_EQ(deviceSettings[0].getName(), "ProductVariantName");
    EXPECT_EQ(deviceSettings[0].getValue().toString(), "Orvik 82.5");
    ASSERT_EQ(subSettings.size(), 1u);
    EXPECT_DOUBLE_EQ(subSettings[0].getValue().toDouble(), 0.953125);
    EXPECT_EQ(bench.harness.spy.events,
              (QStringList{"progress(0)", "progress(10)", "progress(55)", "progress(100)", "progress(100)",
                           "successReading", "progress(100)", "successWriting"}));
}

TEST(ParameterRead, FourChunksReportProgressPerAnswer)
{
    Bench bench;
    std::vector<Parameter> blocks;
    for (std::uint16_t i = 0; i < 4; ++i)
        blocks.push_back(makeParameter("block" + std::to_string(i), DataType::ARRBYTE, 10, 700 + 20 * i,
                                       Value(std::vector<std::uint8_t>(10, 0))));
    bench.read({blocks[3], blocks[1], blocks[0], blocks[2]});
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successReading", "successWriting"}));
    EXPECT_EQ(bench.harness.spy.progress, (QList<unsigned>{0, 10, 32, 55, 77, 100, 100, 100}));
    EXPECT_EQ(bench.sensor.requestCount(130), 4);
    EXPECT_EQ(bench.harness.spy.reads.front().first.size(), 4u);
}

TEST(ParameterRead, EmptyListsAreAnsweredWithoutBusTraffic)
{
    Bench bench;
    const int before = bench.sensor.requestCount();
    bench.read({}, {});
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successReading"}));
    EXPECT_EQ(bench.harness.spy.events, (QStringList{"warning", "progress(100)", "successReading"}));
    EXPECT_EQ(bench.harness.spy.warnings, QStringList{"The parameters are empty."});
    EXPECT_TRUE(bench.harness.spy.reads.front().first.empty());

    bench.harness.spy.clear();
    bench.write({}, {});
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successWriting"}));
    EXPECT_EQ(bench.harness.spy.events, (QStringList{"warning", "progress(100)", "successWriting"}));
    EXPECT_EQ(bench.sensor.requestCount(), before);
}

// One half-duplex line: whatever arrives while a read holds it is refused,
// a write, a system command or a new first contact alike.
TEST(ParameterRead, EveryOtherOperationDuringAReadIsRefusedAndTheReadStillDelivers)
{
    Bench bench;
    const Parameter name = variant();
    const Parameter factor = kFactor();
    const int contactsBefore = bench.sensor.requestCount(137);
    const Comport port = linePort(bench.sensor);
    bench.harness.call(
        [&, dev = bench.device](VeltrixDeviceService& s)
        {
            s.read(dev, {name}, {factor});
            s.write(dev, {variant("Other")}, {});
            s.restartDevice(Address::Type::Device, dev);
            s.start(port, true);
        });
    ASSERT_TRUE(
        bench.harness.spy.expectOutcomes({"error", "error", "error", "successReading", "successWriting"}));
    EXPECT_EQ(bench.harness.spy.errors, QStringList(3, "Current operation not finished!"));
    EXPECT_EQ(bench.harness.spy.logCount("Current operation not finished!"), 3);
    EXPECT_EQ(bench.sensor.requestCount(143), 0);
    EXPECT_EQ(bench.sensor.requestCount(137), contactsBefore);
    const auto& [deviceSettings, subSettings] = bench.harness.spy.reads.front();
    ASSERT_EQ(deviceSettings.size(), 1u);
    EXPECT_EQ(deviceSettings[0].getValue().toString(), "Orvik 82.5");
    EXPECT_EQ(subSettings.size(), 1u);
    EXPECT_EQ(bench.sensor.requestCount(131), 0);
}

TEST(ParameterRead, FailuresEndTheReadWithOneErrorAndAClosedPort)
{
    struct Case
    {
        const char* name;
        Fault fault;
        QString error;
    };
    const QList<Case> cases{{"nak", Fault::nak(130), "Device didn`t acknowledge command 130"},
                            {"silent", Fault::silent(130), "Device didn`t respond -> timeout! !"},
                            {"wrong command", Fault::wrongCommand(130),
                             "Device responded with wrong command. "
                             "Expected: 130 Received: "}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Bench bench(sensorWith({c.fault}), TestSupport::quickTiming());
        const Parameter name = variant();
        bench.read({name});
        ASSERT_TRUE(bench.harness.spy.expectOutcomes({"error"}));
        EXPECT_TRUE(bench.harness.spy.errors.front().startsWith(c.error))
            << bench.harness.spy.errors.front().toStdString();
        EXPECT_EQ(bench.harness.spy.progress.last(), 0u);
        EXPECT_TRUE(
            waitUntil([&] { return !VeltrixDeviceServiceAccess::port(*bench.harness.service)->isOpen; }));

        // The same service reads the sensor once it answers properly again.
        bench.sensor.clearFaults();
        bench.reconnect();
        bench.read({name});
        ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successReading", "successWriting"}));
        EXPECT_EQ(bench.harness.spy.reads.front().first[0].getValue().toString(), "Orvik 82.5");
    }
}

TEST(ParameterWrite, ReadBackVerifiesEveryChunkAndEachAddressTypeIsTakenIntoRam)
{
    Bench bench;
    bench.write({variant("Orvik 100")}, {kFactor(1.25)});
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successWriting"}));

    const Sim::PartMemory device = bench.sensor.memory(Target::Device);
    EXPECT_EQ(device.nvm.mid(variantAddress, 16), field("Orvik 100"));
    EXPECT_EQ(device.working.mid(variantAddress, 16), field("Orvik 100"));
    const QByteArray k = bench.sensor.memory(Target::SubDevice).working.mid(kFactorAddress, 4);
    EXPECT_EQ(k, QByteArray::fromHex("0000a03f"));
    EXPECT_EQ(bench.sensor.requestCount(131), 2);
    EXPECT_EQ(bench.sensor.requestCount(130), 2);
    EXPECT_EQ(bench.sensor.requestCount(132), 2);
    // [131, 130], [132], [131, 130], [132]: six answers.
    EXPECT_EQ(bench.harness.spy.progress, (QList<unsigned>{0, 10, 25, 40, 55, 70, 85, 100, 100}));
    EXPECT_TRUE(
        bench.harness.spy.logged("Device responded to command 130: Read value corresponds to sent value: "
                                 "4f7276696b2031303000000000000000 to NVM address: 399"));
}

TEST(ParameterWrite, OneMismatchIsRetriedAndThenSucceeds)
{
    Bench bench(sensorWith({Fault::readbackMismatch(variantAddress + 2, 1)}));
    bench.write({variant("Orvik 100")});
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successWriting"}));
    EXPECT_EQ(bench.sensor.requestCount(131), 2);
    EXPECT_TRUE(bench.harness.spy.errors.isEmpty());
    EXPECT_EQ(
        bench.harness.spy.logCount(
            "Device responded to command 130: Sent value didn't correspond to read value: NVM address: 399 "
            "written: 4f7276696b2031303000000000000000 read: 4f7289696b2031303000000000000000"),
        1);
}

TEST(ParameterWrite, FourMismatchesExceedTheRetries)
{
    Bench bench(sensorWith({Fault::readbackMismatch(variantAddress)}));
    bench.write({variant("Orvik 100")});
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"error"}));
    EXPECT_EQ(bench.sensor.requestCount(131), 4);
    EXPECT_EQ(bench.sensor.requestCount(132), 0);
    EXPECT_EQ(
        bench.harness.spy.errors.front(),
        "Exceeded max retries: Device responded to command 130: Sent value didn't correspond to read value: "
        "NVM address: 399 written: 4f7276696b2031303000000000000000 read: b07276696b2031303000000000000000");
    EXPECT_TRUE(waitUntil([&] { return !VeltrixDeviceServiceAccess::port(*bench.harness.service)->isOpen; }));
}

TEST(ParameterWrite, ARefusedWriteLeavesTheTransferReadyForTheNextOne)
{
    Bench bench(sensorWith({Fault::nak(131, 1)}), TestSupport::quickTiming());
    bench.write({variant("Orvik 100")});
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"error"}));
    EXPECT_EQ(bench.harness.spy.errors.front(), "Device didn`t acknowledge command 131");
    // Nothing may be left waiting for the read-back that will never come.
    bool waiting = true;
    bench.harness.callAndWait(
        [&](VeltrixDeviceService& s)
        { waiting = VeltrixDeviceServiceAccess::parameterTransfer(s)->getSession()->isRunning(); });
    EXPECT_FALSE(waiting);

    bench.reconnect();
    bench.write({variant("Orvik 125")});
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successWriting"}));
    EXPECT_FALSE(bench.harness.spy.logged("A command is already in progress."));
    EXPECT_EQ(bench.sensor.memory(Target::Device).nvm.mid(variantAddress, 16), field("Orvik 125"));
}

TEST(ParameterWrite, AbortDuringAWriteThenACleanNewWrite)
{
    Bench bench;
    std::vector<Parameter> blocks;
    for (std::uint16_t i = 0; i < 3; ++i)
        blocks.push_back(
            makeParameter("block" + std::to_string(i), DataType::ARRBYTE, 50, 700 + 60 * i,
                          Value(std::vector<std::uint8_t>(50, static_cast<std::uint8_t>(0x40 + i)))));
    bench.write(blocks);
    ASSERT_TRUE(waitUntil([&] { return bench.sensor.requestCount(131) >= 1; }));
    bench.harness.call([](VeltrixDeviceService& s) { s.abort(); });
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successDisconnecting"}));
    EXPECT_TRUE(bench.harness.spy.loggedAt(LogLevel::Info, "Operation was aborted and com port was closed!"));
    EXPECT_LT(bench.sensor.requestCount(131), 3);

    bench.reconnect();
    bench.write(blocks);
    ASSERT_TRUE(bench.harness.spy.expectOutcomes({"successWriting"}));
    for (std::uint16_t i = 0; i < 3; ++i)
        EXPECT_EQ(bench.sensor.memory(Target::Device).nvm.mid(700 + 60 * i, 50), QByteArray(50, 0x40 + i));
}
