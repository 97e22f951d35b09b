// One service instance through every kind of failure: after each, the next
// operation of the same kind succeeds, on the same sensor once it behaves
// again, or on the adapter plugged in after the pulled one. Whatever a
// failure leaves behind (a busy sequence, a loader still wired to the port,
// a port at the loader's settings, a handler that thinks it is connected)
// shows up here as a failing next operation.

#include "service_harness.h"

#include "protocol/VELTRIX.h"
#include "protocol/serial/FSerialPort.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace CommTest;
using Sim::BootloaderFamily;
using Sim::Fault;
using Sim::OrvikSimulatorFixture;

namespace
{

enum class Op
{
    Read,
    Write,
    Values,
    Upload,
};

QByteArray imageBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 4000; ++i)
        bytes.append(static_cast<char>((i * 11 + 5) & 0xFF));
    return bytes;
}

Sim::OrvikSimulatorOptions withLoader(const Sim::BootloaderConfig& loader)
{
    Sim::OrvikSimulatorOptions options;
    options.timing = TestSupport::testTiming();
    options.sensor.bootloader = loader;
    return options;
}

Sim::BootloaderConfig loader(BootloaderFamily family, void (*fault)(Sim::BootloaderConfig&) = nullptr)
{
    Sim::BootloaderConfig config;
    config.family = family;
    if (fault != nullptr)
        fault(config);
    return config;
}

} // namespace

TEST(Recovery, AfterEveryFailureTheNextOperationOnTheSameServiceSucceeds)
{
    using During = std::function<void(OrvikSimulatorFixture&, ServiceHarness&)>;
    struct Row
    {
        const char* name;
        Op op;
        Sim::BootloaderConfig loader;
        // Set before the operation starts, then played while it runs.
        std::function<void(OrvikSimulatorFixture&)> arm;
        During during;
    };
    const auto none = [](OrvikSimulatorFixture&) {};
    const During wait = [](OrvikSimulatorFixture&, ServiceHarness&) {};
    const auto hangUpAt = [](int command)
    { return [command](OrvikSimulatorFixture& s) { s.hangUpAtNextRequest(command); }; };
    const auto abortOnce = [](std::function<bool(OrvikSimulatorFixture&, ServiceHarness&)> started)
    {
        return [started](OrvikSimulatorFixture& s, ServiceHarness& h)
        {
            ASSERT_TRUE(waitUntil([&] { return started(s, h); }, 30000));
            h.call([](VeltrixDeviceService& service) { service.abort(); });
        };
    };
    const auto msp = loader(BootloaderFamily::Msp432);
    const auto tiva = loader(BootloaderFamily::Tiva);
    const QList<Row> rows{
        {"hung up during read", Op::Read, msp, hangUpAt(130), wait},
        {"hung up during write", Op::Write, msp, hangUpAt(131), wait},
        {"hung up during values", Op::Values, msp, hangUpAt(138), wait},
        {"hung up during upload", Op::Upload, msp, none,
         [](OrvikSimulatorFixture& s, ServiceHarness&)
         {
             ASSERT_TRUE(waitUntil([&] { return !s.flashRegions().isEmpty(); }, 30000));
             s.hangUp();
         }},
        {"silent sensor", Op::Read, msp, [](OrvikSimulatorFixture& s) { s.addFault(Fault::silent(130)); },
         wait},
        {"refused answer", Op::Write, msp, [](OrvikSimulatorFixture& s) { s.addFault(Fault::nak(131)); },
         wait},
        {"loader silent", Op::Upload,
         loader(BootloaderFamily::Msp432, [](Sim::BootloaderConfig& c) { c.silentFrom = 1; }), none, wait},
        {"loader refusing", Op::Upload,
         loader(BootloaderFamily::Tiva, [](Sim::BootloaderConfig& c) { c.refuseData = 3; }), none, wait},
        {"loader bad crc", Op::Upload,
         loader(BootloaderFamily::Msp432, [](Sim::BootloaderConfig& c) { c.badCheck = -1; }), none, wait},
        {"abort during upload", Op::Upload, tiva, none,
         abortOnce([](OrvikSimulatorFixture&, ServiceHarness& h)
                   { return h.spy.logged("New Bootloader state: Download started"); })},
        {"abort during write", Op::Write, msp, none,
         abortOnce([](OrvikSimulatorFixture& s, ServiceHarness&) { return s.requestCount(131) >= 1; })},
    };

    VELTRIX_Timing timing = TestSupport::quickTiming();
    timing.bootloader.tivaAnswerTimeoutMs = 600;
    timing.bootloader.mspAnswerTimeoutMs = 600;
    ServiceHarness harness(timing);
    auto& spy = harness.spy;
    QTemporaryDir dir;
    const QString image = writeImage(dir, 0x4000, imageBytes());

    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        auto sensor = std::make_unique<OrvikSimulatorFixture>(withLoader(row.loader));
        ASSERT_TRUE(sensor->isReady());
        const BootloaderType family =
            row.loader.family == BootloaderFamily::Tiva ? BootloaderType::TIVA : BootloaderType::MSP432;
        Device device;
        const auto run = [&](const char* text)
        {
            harness.call(
                [op = row.op, device, family, image, text](VeltrixDeviceService& s)
                {
                    switch (op)
                    {
                    case Op::Read:
                        s.read(device, variantList(), {});
                        break;
                    case Op::Write:
                        s.write(device, variantList(text), {});
                        break;
                    case Op::Values:
                        s.readFixedDeviceValues(Address::Type::Device, device, 3);
                        break;
                    case Op::Upload:
                        s.upload(Address::Type::Device, device, family, image, false, false);
                        break;
                    }
                });
        };
        const QStringList succeeded = row.op == Op::Read     ? QStringList{"successReading", "successWriting"}
                                      : row.op == Op::Write  ? QStringList{"successWriting"}
                                      : row.op == Op::Values ? QStringList{"finishedFixedSamples"}
                                                             : QStringList{"success"};

        device = harness.connectTo(linePort(*sensor));
        ASSERT_FALSE(device.name.isEmpty());
        spy.clear();
        row.arm(*sensor);
        run("Orvik 50");
        row.during(*sensor, harness);
        ASSERT_TRUE(spy.waitForOutcomes(1, 30000));
        EXPECT_NE(spy.outcomes.front(), succeeded.front());
        ASSERT_TRUE(waitUntil([&] { return !VeltrixDeviceServiceAccess::isBusy(*harness.service); }));
        ASSERT_TRUE(waitUntil(
            [&] {
                return !VeltrixDeviceServiceAccess::facade(*harness.service)->getSerialPort()->isPortOpen();
            }));

        if (sensor->hungUp())
            sensor = std::make_unique<OrvikSimulatorFixture>(withLoader(loader(row.loader.family)));
        else
            sensor->clearFaults();
        spy.clear();
        device = harness.connectTo(linePort(*sensor));
        spy.clear();
        run("Orvik 65");
        ASSERT_TRUE(spy.expectOutcomes(succeeded, 60000));
        switch (row.op)
        {
        case Op::Read:
            EXPECT_EQ(spy.reads.front().first.at(0).getValue().toString(), "Orvik 82.5");
            break;
        case Op::Write:
            EXPECT_EQ(sensor->memory(Sim::Target::Device).nvm.mid(399, 8), QByteArray("Orvik 65"));
            break;
        case Op::Values:
            EXPECT_EQ(spy.fixedSamples.front().size(), 3);
            break;
        case Op::Upload:
            EXPECT_EQ(sensor->flash(0x4000, 4000), imageBytes());
            EXPECT_TRUE(waitUntil([&] { return sensor->transferCompleted(); }));
            break;
        }
        ASSERT_TRUE(waitUntil([&] { return !VeltrixDeviceServiceAccess::isBusy(*harness.service); }));
        // Given back before the sensor goes, so that its number is not
        // reused while the port's lock file still holds it.
        spy.clear();
        harness.call([](VeltrixDeviceService& s) { s.abort(); });
        ASSERT_TRUE(spy.expectOutcomes({"successDisconnecting"}));
        ASSERT_TRUE(waitUntil(
            [&] {
                return !VeltrixDeviceServiceAccess::facade(*harness.service)->getSerialPort()->isPortOpen();
            }));
    }
}
