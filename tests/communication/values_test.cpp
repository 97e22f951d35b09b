// Measured values through the threaded service against the simulated sensor
// with steered live values: sessions sent, samples gathered, averages and
// trimming checked against figures computed by hand, status texts, failures.

#include "service_harness.h"

#include "communication/internal/Values.h"

#include <QJsonArray>

#include <gtest/gtest.h>

using namespace CommTest;
using Sim::Fault;
using Sim::LiveVariable;
using Sim::OrvikSimulatorFixture;
using Sim::OrvikSimulatorOptions;

namespace
{

QList<LiveVariable> variables(const QString& text)
{
    const auto parsed = Sim::parseLiveVariables(text);
    EXPECT_TRUE(parsed.has_value()) << text.toStdString();
    return parsed.value_or(QList<LiveVariable>{});
}

struct Bench
{
    Bench(const QString& deviceVariables, const QString& burstVariables = {}, std::uint8_t status = 0,
          QList<Fault> faults = {}, const VELTRIX_Timing& timing = TestSupport::testTiming())
        : sensor(options(deviceVariables, burstVariables, status, std::move(faults)))
        , harness(timing)
    {
        device = harness.connectTo(linePort(sensor));
        harness.spy.clear();
    }

    static OrvikSimulatorOptions options(const QString& deviceVariables, const QString& burstVariables,
                                         std::uint8_t status, QList<Fault> faults)
    {
        OrvikSimulatorOptions options;
        options.timing = TestSupport::testTiming();
        if (!deviceVariables.isEmpty())
            options.sensor.deviceVariables = variables(deviceVariables);
        if (!burstVariables.isEmpty())
            options.sensor.burstVariables = variables(burstVariables);
        options.sensor.status = status;
        options.sensor.faults = std::move(faults);
        return options;
    }

    QList<float> column(const QList<Slots>& list, int position, float Slot::*field = &Slot::value) const
    {
        QList<float> values;
        for (const Slots& sample : list)
            values.append(sample.slotList.at(position).*field);
        return values;
    }

    OrvikSimulatorFixture sensor;
    ServiceHarness harness;
    Device device;
};

QStringList texts(const QList<StatusString>& strings)
{
    QStringList result;
    for (const StatusString& status : strings)
        result.append(status.text);
    return result;
}

} // namespace

TEST(MeasuredValues, AnAccumulationSkipsTwoAnswersAveragesAndTotals)
{
    // Flow 1 to 12, a volume of 0.5 and 1.5 litres in turn, a steady temperature.
    Bench bench("17:1/2/3/4/5/6/7/8/9/10/11/12,41:0.5/1.5,32:20", {}, 0x24);
    auto& spy = bench.harness.spy;
    bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                       { s.accumulateDeviceValues(Address::Type::Device, dev, 10); });
    ASSERT_TRUE(spy.expectOutcomes({"finishedAccumulate"}));

    // One status session, then ten samples and the two ignored answers.
    EXPECT_EQ(bench.sensor.requestCount(140), 1);
    EXPECT_EQ(bench.sensor.requestCount(138), 12);
    ASSERT_EQ(spy.samples.size(), 10);
    EXPECT_EQ(bench.column(spy.samples, 0), (QList<float>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    // The totaliser runs from the first gathered answer; its extremes stay 0.
    EXPECT_EQ(bench.column(spy.samples, 1), (QList<float>{0.5, 2, 2.5, 4, 4.5, 6, 6.5, 8, 8.5, 10}));
    EXPECT_EQ(bench.column(spy.samples, 1, &Slot::min), QList<float>(10, 0));
    EXPECT_EQ(bench.column(spy.samples, 1, &Slot::max), QList<float>(10, 0));
    EXPECT_EQ(bench.column(spy.samples, 0, &Slot::min), QList<float>(10, 3));
    EXPECT_EQ(bench.column(spy.samples, 0, &Slot::max), (QList<float>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));

    ASSERT_EQ(spy.accumulated.size(), 1);
    const Slots& result = spy.accumulated.front();
    ASSERT_EQ(result.slotList.size(), 3);
    EXPECT_FLOAT_EQ(result.slotList[0].value, 7.5f);
    EXPECT_EQ(result.slotList[0].min, 3);
    EXPECT_EQ(result.slotList[0].max, 12);
    EXPECT_FLOAT_EQ(result.slotList[1].value, 10.0f);
    EXPECT_FLOAT_EQ(result.slotList[2].value, 20.0f);
    // The sensor's own totaliser also counted the two ignored answers.
    EXPECT_EQ(
        bench.sensor.state()["device"].toObject()["totals"].toObject()["138"].toArray().at(1).toDouble(),
        12.0);

    // Bits 5 and 2: every result comes after its status warning.
    EXPECT_EQ(spy.warnings.last(), "Device status: 0x24 (Memory error, Temp too high)");
    EXPECT_EQ(spy.warnings.size(), 11);
    EXPECT_EQ(spy.events.last(), "finishedAccumulate");
    EXPECT_EQ(spy.events.at(spy.events.size() - 2), "warning");
    EXPECT_EQ(spy.progress.last(), 100u);
    EXPECT_TRUE(VeltrixDeviceServiceAccess::port(*bench.harness.service)->isOpen);
}

TEST(MeasuredValues, TrimmingRemovesTheExtremesOfTheLeadingSlotOnly)
{
    // Gathered flows 5 1 9 2 8 3 7 4 6 100 with temperatures 10 to 19.
    Bench bench("41:1,17:0/0/5/1/9/2/8/3/7/4/6/100,32:0/0/10/11/12/13/14/15/16/17/18/19");
    auto& spy = bench.harness.spy;
    bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                       { s.accumulateDeviceValues(Address::Type::Device, dev, 10, 1, 2); });
    ASSERT_TRUE(spy.expectOutcomes({"finishedAccumulate"}));
    {
        // Kept by flow: 8 7 6 5 4 3, with the temperatures 14 16 18 10 17 15.
        const Slots& result = spy.accumulated.front();
        EXPECT_FLOAT_EQ(result.slotList[1].value, 33.0f / 6);
        EXPECT_FLOAT_EQ(result.slotList[2].value, 90.0f / 6);
        // Extremes and total are the run's, whatever sorted last.
        EXPECT_EQ(result.slotList[1].min, 1);
        EXPECT_EQ(result.slotList[1].max, 100);
        EXPECT_FLOAT_EQ(result.slotList[0].value, 10.0f);
    }

    // Five off each end of ten would leave nothing: all ten are averaged.
    spy.clear();
    bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                       { s.accumulateDeviceValues(Address::Type::Device, dev, 10, 1, 5); });
    ASSERT_TRUE(spy.expectOutcomes({"finishedAccumulate"}));
    EXPECT_EQ(bench.column(spy.samples, 1), (QList<float>{5, 1, 9, 2, 8, 3, 7, 4, 6, 100}));
    const Slots& result = spy.accumulated.front();
    EXPECT_FLOAT_EQ(result.slotList[1].value, 14.5f);
    EXPECT_FLOAT_EQ(result.slotList[2].value, 14.5f);
    EXPECT_FLOAT_EQ(result.slotList[0].value, 10.0f);
    EXPECT_EQ(spy.warnings, QStringList(11, QString()));
}

TEST(MeasuredValues, FixedSamplesOfBurstDeviceAndBoth)
{
    Bench bench("17:1/3,32:20", "17:2/4,7:1.5", 0x81);
    auto& spy = bench.harness.spy;
    bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                       { s.readFixedBurstValues(Address::Type::Device, dev, 3); });
    ASSERT_TRUE(spy.expectOutcomes({"finishedFixedSamples"}));
    EXPECT_EQ(bench.sensor.requestCount(139), 3);
    ASSERT_EQ(spy.fixedSamples.size(), 1);
    const QList<Slots> burst = spy.fixedSamples.front();
    EXPECT_EQ(burst, spy.samples);
    EXPECT_EQ(bench.column(burst, 0), (QList<float>{2, 4, 2}));
    EXPECT_EQ(bench.column(burst, 1), (QList<float>{1.5, 1.5, 1.5}));
    // Bits 7 and 0, highest first, with their levels.
    const QList<StatusString> active = burst.front().activeStatusStrings();
    EXPECT_EQ(texts(active), (QStringList{"Out overflow", "Flow too high"}));
    EXPECT_EQ(active.front().level, 2);
    EXPECT_EQ(spy.warnings.last(), "Device status: 0x81 (Out overflow, Flow too high)");

    spy.clear();
    bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                       { s.readFixedDeviceValues(Address::Type::Device, dev, 2); });
    ASSERT_TRUE(spy.expectOutcomes({"finishedFixedSamples"}));
    EXPECT_EQ(bench.column(spy.fixedSamples.front(), 0), (QList<float>{1, 3}));

    // Both: one session per sample with a device and a burst answer, each a sample.
    spy.clear();
    const int sessionsBefore = bench.sensor.requestCount(138);
    bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                       { s.readFixedDeviceAndBurstValues(Address::Type::Device, dev, 2); });
    ASSERT_TRUE(spy.expectOutcomes({"finishedFixedSamples"}));
    EXPECT_EQ(bench.sensor.requestCount(138) - sessionsBefore, 2);
    EXPECT_EQ(bench.column(spy.fixedSamples.front(), 0), (QList<float>{1, 4, 3, 2}));
    EXPECT_EQ(spy.fixedSamples.front().at(1).slotList.at(1).unit, 7);
    // Device and burst variable 0 are different quantities: each keeps its own extremes.
    QList<float> minima;
    QList<float> maxima;
    for (const Slots& sample : spy.fixedSamples.front())
    {
        minima.append(sample.slotList.at(0).min);
        maxima.append(sample.slotList.at(0).max);
    }
    EXPECT_EQ(minima, (QList<float>{1, 4, 1, 2}));
    EXPECT_EQ(maxima, (QList<float>{1, 4, 3, 4}));
}

TEST(MeasuredValues, MoreThanEightVariablesAreCutToEightAndLogged)
{
    Bench bench("17:1,17:2,17:3,17:4,17:5,17:6,17:7,17:8,17:9,41:10");
    auto& spy = bench.harness.spy;
    bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                       { s.accumulateDeviceValues(Address::Type::Device, dev, 3); });
    ASSERT_TRUE(spy.expectOutcomes({"finishedAccumulate"}));
    EXPECT_EQ(bench.column(spy.accumulated, 7), QList<float>{8});
    EXPECT_EQ(spy.accumulated.front().slotList.size(), 8);
    EXPECT_EQ(spy.logCount("Device reports 10 variables; only the first 8 are read"), 1);
    EXPECT_TRUE(spy.loggedAt(LogLevel::Warning, "Device reports 10 variables; only the first 8 are read"));
}

TEST(MeasuredValues, FailuresEndWithTheirTextAndClosePort)
{
    struct Case
    {
        const char* name;
        QList<Fault> faults;
        std::uint32_t samples;
        QString error;
    };
    const QList<Case> cases{
        {"no samples", {}, 0, "Didn`t find any data points in device value read out!"},
        {"silent", {Fault::silent(138)}, 3, "Device didn`t respond -> timeout! !"},
        {"nak", {Fault::nak(138, 1)}, 3, "Device didn`t acknowledge command 138"},
        {"wrong command",
         {Fault::wrongCommand(138, 1)},
         3,
         "Device responded with wrong command. Expected: 138 Received: "},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Bench bench("17:1", {}, 0, c.faults, TestSupport::quickTiming());
        auto& spy = bench.harness.spy;
        bench.harness.call([dev = bench.device, n = c.samples](VeltrixDeviceService& s)
                           { s.readFixedDeviceValues(Address::Type::Device, dev, n); });
        ASSERT_TRUE(spy.expectOutcomes({"error"}));
        ASSERT_EQ(spy.errors.size(), 1);
        EXPECT_TRUE(spy.errors.front().startsWith(c.error)) << spy.errors.front().toStdString();
        EXPECT_TRUE(spy.samples.isEmpty());
        if (c.samples != 0)
        {
            EXPECT_TRUE(
                waitUntil([&] { return !VeltrixDeviceServiceAccess::port(*bench.harness.service)->isOpen; }));
        }
        EXPECT_FALSE(VeltrixDeviceServiceAccess::isBusy(*bench.harness.service));
    }
}

TEST(MeasuredValues, ARefusedRequestLeavesTheRunningOneAloneAndAbortStopsIt)
{
    // Gathered flows 3 4 10 1 2 3: 3 when trimmed by one, 23/6 when not.
    Bench bench("17:1/2/3/4/10");
    auto& spy = bench.harness.spy;
    bench.harness.call(
        [dev = bench.device](VeltrixDeviceService& s)
        {
            s.accumulateDeviceValues(Address::Type::Device, dev, 6, 0, 1);
            s.accumulateDeviceValues(Address::Type::Device, dev, 6, 5, 0);
        });
    ASSERT_TRUE(spy.expectOutcomes({"error", "finishedAccumulate"}));
    EXPECT_EQ(spy.errors, QStringList{"Current operation not finished!"});
    EXPECT_FLOAT_EQ(spy.accumulated.front().slotList[0].value, 3.0f);

    spy.clear();
    bench.harness.call([dev = bench.device](VeltrixDeviceService& s)
                       { s.accumulateDeviceValues(Address::Type::Device, dev, 40); });
    ASSERT_TRUE(waitUntil([&] { return spy.samples.size() >= 2; }, 20000));
    bench.harness.call([](VeltrixDeviceService& s) { s.abort(); });
    ASSERT_TRUE(spy.expectOutcomes({"successDisconnecting"}));
    EXPECT_TRUE(spy.loggedAt(LogLevel::Trace, "Operation was aborted and com port was closed!"));
    EXPECT_FALSE(VeltrixDeviceServiceAccess::port(*bench.harness.service)->isOpen);
    EXPECT_FALSE(VeltrixDeviceServiceAccess::isBusy(*bench.harness.service));
    const qsizetype gathered = spy.samples.size();
    settle(500);
    EXPECT_EQ(spy.samples.size(), gathered);
}
