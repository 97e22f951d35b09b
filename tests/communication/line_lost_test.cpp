// A pulled adapter (the simulated sensor closes its side of the line) during
// each operation: one error with the lost-line text, at once rather than on
// the answer timeout, nothing sent on the dead line afterwards, and the same
// service instance working again on the next sensor.

#include "service_harness.h"

#include "protocol/VELTRIX.h"
#include "protocol/serial/FSerialPort.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>

using namespace CommTest;
using Sim::OrvikSimulatorFixture;
using Sim::OrvikSimulatorOptions;

namespace
{

OrvikSimulatorOptions withMsp432Loader()
{
    OrvikSimulatorOptions options;
    options.timing = TestSupport::testTiming();
    options.sensor.bootloader.family = Sim::BootloaderFamily::Msp432;
    return options;
}

QByteArray imageBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 4000; ++i)
        bytes.append(static_cast<char>((i * 5) & 0xFF));
    return bytes;
}

} // namespace

TEST(LineLost, EveryOperationEndsAtOnceWithTheLostLineAndTheServiceWorksOnTheNextSensor)
{
    enum class When
    {
        NextRequest, // pulled as the operation's first request arrives
        Uploading,   // pulled while the loader takes the image
    };
    struct Case
    {
        const char* name;
        When when;
        bool connectFirst;
        std::function<void(VeltrixDeviceService&, const Device&, const QString& image)> run;
    };
    const QList<Case> cases{
        {"first contact", When::NextRequest, false,
         [](VeltrixDeviceService&, const Device&, const QString&) {}},
        {"parameter read", When::NextRequest, true,
         [](VeltrixDeviceService& s, const Device& d, const QString&) { s.read(d, variantList(), {}); }},
        {"parameter write", When::NextRequest, true,
         [](VeltrixDeviceService& s, const Device& d, const QString&)
         { s.write(d, variantList("Orvik 50"), {}); }},
        {"restart", When::NextRequest, true,
         [](VeltrixDeviceService& s, const Device& d, const QString&)
         { s.restartDevice(Address::Type::Device, d); }},
        {"measured values", When::NextRequest, true,
         [](VeltrixDeviceService& s, const Device& d, const QString&)
         { s.readFixedDeviceValues(Address::Type::Device, d, 20); }},
        {"upload", When::Uploading, true,
         [](VeltrixDeviceService& s, const Device& d, const QString& image)
         { s.upload(Address::Type::Device, d, BootloaderType::MSP432, image, false, true); }},
    };

    ServiceHarness harness;
    auto& spy = harness.spy;
    QTemporaryDir dir;
    const QString image = writeImage(dir, 0x4000, imageBytes());
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        OrvikSimulatorFixture sensor(withMsp432Loader());
        ASSERT_TRUE(sensor.isReady());
        spy.clear();
        Device device;
        if (c.connectFirst)
        {
            device = harness.connectTo(linePort(sensor));
            spy.clear();
        }
        if (c.when == When::NextRequest)
            sensor.hangUpAtNextRequest();
        if (c.connectFirst)
            harness.call([&c, device, image](VeltrixDeviceService& s) { c.run(s, device, image); });
        else
            harness.call([port = linePort(sensor)](VeltrixDeviceService& s) { s.start(port, true); });
        if (c.when == When::Uploading)
        {
            ASSERT_TRUE(waitUntil([&] { return !sensor.flashRegions().isEmpty(); }, 30000));
            sensor.hangUp();
        }
        ASSERT_TRUE(waitUntil([&] { return sensor.hungUp(); }, 10000)) << spy.logText().toStdString();
        QElapsedTimer sinceHangUp;
        sinceHangUp.start();
        ASSERT_TRUE(spy.waitForOutcomes(1, 10000));
        const qint64 ms = sinceHangUp.elapsed();
        std::cout << "[ line lost ] " << c.name << ": " << ms << " ms from the hang-up to the message\n";
        // Far below the 15 s answer timeout that ended it before.
        EXPECT_TIME_BELOW(ms, 3000);
        EXPECT_EQ(spy.outcomes, QStringList{"error"});
        EXPECT_EQ(spy.errors, QStringList{VeltrixDeviceService::lineLostText()});
        EXPECT_TRUE(spy.loggedAt(LogLevel::Error,
                                 "Connection to the adapter on " + sensor.devicePath() + " was lost"));
        EXPECT_TRUE(waitUntil([&] { return !VeltrixDeviceServiceAccess::isBusy(*harness.service); }));
        EXPECT_TRUE(waitUntil([&] { return !VeltrixDeviceServiceAccess::port(*harness.service)->isOpen; }));
        EXPECT_TRUE(waitUntil(
            [&] {
                return !VeltrixDeviceServiceAccess::facade(*harness.service)->getSerialPort()->isPortOpen();
            }));

        // Nothing more is tried on the dead line: a restart is refused at once.
        spy.clear();
        harness.call([device](VeltrixDeviceService& s) { s.restartDevice(Address::Type::Device, device); });
        ASSERT_TRUE(spy.waitForOutcomes(1, 1000));
        EXPECT_EQ(spy.errors, QStringList{VeltrixDeviceService::lineLostText()});
    }

    // The adapter plugged in again: the same service finds the next sensor,
    // reads it and takes an upload from it.
    OrvikSimulatorFixture next(withMsp432Loader());
    spy.clear();
    const Device device = harness.connectTo(linePort(next));
    ASSERT_FALSE(device.name.isEmpty());
    spy.clear();
    harness.call([device, image](VeltrixDeviceService& s)
                 { s.upload(Address::Type::Device, device, BootloaderType::MSP432, image, false, false); });
    ASSERT_TRUE(spy.expectOutcomes({"success"}, 60000)) << spy.errors.join(" | ").toStdString();
    EXPECT_EQ(next.requestCount(133), 1);
    // The port is given back before the sensor goes, so that its number is
    // not reused while the port's lock file still holds it.
    EXPECT_TRUE(waitUntil(
        [&]
        { return !VeltrixDeviceServiceAccess::facade(*harness.service)->getSerialPort()->isPortOpen(); }));
}

// A hang-up just before the port is opened, and one while it is being
// closed: each ends with exactly one outcome, nothing stays busy or open,
// and the service connects the next sensor.
TEST(LineLost, HangUpsAsThePortOpensOrClosesEndOnce)
{
    ServiceHarness harness;
    auto& spy = harness.spy;
    const auto settled = [&]
    {
        EXPECT_TRUE(waitUntil([&] { return !VeltrixDeviceServiceAccess::isBusy(*harness.service); }));
        EXPECT_TRUE(waitUntil(
            [&] {
                return !VeltrixDeviceServiceAccess::facade(*harness.service)->getSerialPort()->isPortOpen();
            }));
    };
    {
        OrvikSimulatorFixture sensor;
        sensor.hangUp();
        harness.call([port = linePort(sensor)](VeltrixDeviceService& s) { s.start(port, true); });
        ASSERT_TRUE(spy.waitForOutcomes(1, 10000));
        settle(1000);
        EXPECT_EQ(spy.outcomes, QStringList{"error"}) << spy.errors.join(" | ").toStdString();
        settled();
    }
    {
        OrvikSimulatorFixture sensor;
        harness.connectTo(linePort(sensor));
        spy.clear();
        harness.call([](VeltrixDeviceService& s) { s.abort(); });
        sensor.hangUp();
        ASSERT_TRUE(spy.waitForOutcomes(1, 10000));
        settle(1000);
        EXPECT_EQ(spy.outcomes, QStringList{"successDisconnecting"}) << spy.errors.join(" | ").toStdString();
        settled();
    }
    OrvikSimulatorFixture next;
    spy.clear();
    EXPECT_FALSE(harness.connectTo(linePort(next)).name.isEmpty());
    harness.call([](VeltrixDeviceService& s) { s.abort(); });
    EXPECT_TRUE(waitUntil(
        [&]
        { return !VeltrixDeviceServiceAccess::facade(*harness.service)->getSerialPort()->isPortOpen(); }));
}
