// `orvik values`: its arguments, and whole reads against the simulated
// sensor with steered values, each output format parsed back.

#include "rescale_test_support.h"

#include "tools/orvik/ValuesArguments.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace RescaleTest;
using Source = Hvd::Weft::Components::ReadValuesCommand::Source;

namespace
{

ValuesArguments::Parsed parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("orvik values"));
    return ValuesArguments::parse(arguments);
}

// A sensor whose 138 answers carry flows 1 to 12 in turn, half a litre
// each time and 20 °C, with status bits 7 and 0 set; its 139 answers 1.5
// and 2.5 bar in turn.
OrvikSimulatorOptions steered()
{
    OrvikSimulatorOptions options;
    options.timing = TestSupport::testTiming();
    options.sensor.deviceVariables = Sim::parseLiveVariables("17:1/2/3/4/5/6/7/8/9/10/11/12,41:0.5,32:20");
    options.sensor.burstVariables = Sim::parseLiveVariables("7:1.5/2.5");
    options.sensor.status = 0x81;
    return options;
}

} // namespace

TEST(ValuesArguments, RefusesWhatCannotBeReadAndTakesTheRest)
{
    for (const QStringList& bad : QList<QStringList>{
             {},
             {"--port", "p", "--device", "--burst"},
             {"--port", "p", "--samples", "0"},
             {"--port", "p", "--samples", "100001"},
             {"--port", "p", "--trim", "1"},
             {"--port", "p", "--average", "--leading-slot", "2"},
             {"--port", "p", "--average", "--samples", "4", "--trim", "2"},
             {"--port", "p", "--average", "--samples", "9", "--trim", "2", "--leading-slot", "9"},
             {"--port", "p", "--both", "--average"},
             {"--port", "p", "--format", "xml"},
             {"--port", "p", "extra"},
         })
    {
        const auto parsed = parse(bad);
        EXPECT_EQ(parsed.outcome, ValuesArguments::Parsed::Outcome::Error) << bad.join(' ').toStdString();
        EXPECT_TRUE(parsed.text.endsWith("See --help.")) << parsed.text.toStdString();
    }

    const auto parsed = parse({"--port", "/dev/ttyUSB0", "--burst", "--samples", "9", "--average", "--trim",
                               "4", "--leading-slot", "3", "--format", "CSV"});
    ASSERT_EQ(parsed.outcome, ValuesArguments::Parsed::Outcome::Run) << parsed.text.toStdString();
    EXPECT_EQ(parsed.request.source, Source::Burst);
    EXPECT_EQ(parsed.request.samples, 9u);
    EXPECT_TRUE(parsed.request.average);
    EXPECT_EQ(parsed.request.topBotSamplesToRemove, 4);
    EXPECT_EQ(parsed.request.leadingSlotIndex, 2) << "slots are counted from 1 on the command line";
    EXPECT_EQ(parsed.format, ValuesArguments::Format::Csv);
    EXPECT_EQ(parse({"--port", "p"}).request.samples, 10u);
}

TEST(ValuesProgram, PrintsSamplesAveragesAndListsInEveryFormat)
{
    OrvikSimulatorFixture sensor(steered());
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const QString port = sensor.devicePath();

    const Outcome text = runOrvik({"values", "--port", port, "--samples", "3"});
    EXPECT_EQ(text.exitCode, 0) << text.text();
    const QString status = " | status 0x81: Out overflow, Flow too high";
    EXPECT_EQ(text.out,
              (QStringList{"Sample 1: 1 L/m, 0.5 L, 20 °C" + status, "Sample 2: 2 L/m, 1 L, 20 °C" + status,
                           "Sample 3: 3 L/m, 1.5 L, 20 °C" + status}))
        << text.text();
    EXPECT_TRUE(text.failures().isEmpty()) << text.text();
    EXPECT_TRUE(text.err.contains("[100%] Reading measured values")) << text.text();
    // Nothing changed on the sensor: released without a restart.
    EXPECT_EQ(sensor.restartCount(), 0);

    // Answers 4 and 5 are skipped; flows 6 7 8 9 trimmed by one at each end.
    const Outcome csv =
        runOrvik({"values", "--port", port, "--samples", "4", "--average", "--trim", "1", "--format", "csv"});
    EXPECT_EQ(csv.exitCode, 0) << csv.text();
    ASSERT_EQ(csv.out.size(), 2) << csv.text();
    EXPECT_EQ(csv.out[0],
              "sample,status,status_texts,value1,unit1,min1,max1,value2,unit2,min2,max2,value3,unit3,"
              "min3,max3");
    EXPECT_EQ(csv.out[1], "average,129,Out overflow; Flow too high,7.5,L/m,6,9,2,L,0,0,20,°C,20,20");

    const Outcome json =
        runOrvik({"values", "--port", port, "--burst", "--samples", "2", "--format", "json"});
    EXPECT_EQ(json.exitCode, 0) << json.text();
    QJsonParseError error;
    const QJsonObject document = QJsonDocument::fromJson(json.out.join('\n').toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.text();
    EXPECT_EQ(document["source"].toString(), "burst");
    EXPECT_FALSE(document.contains("average"));
    const QJsonArray samples = document["samples"].toArray();
    ASSERT_EQ(samples.size(), 2);
    const QJsonObject second = samples[1].toObject()["slots"].toArray()[0].toObject();
    EXPECT_EQ(second["value"].toDouble(), 2.5);
    EXPECT_EQ(second["unit"].toString(), "bar");
    EXPECT_EQ(second["min"].toDouble(), 1.5);
    EXPECT_EQ(samples[0].toObject()["statusTexts"].toArray(), (QJsonArray{"Out overflow", "Flow too high"}));
}

TEST(ValuesProgram, ARefusedReadEndsWithItsReasonAndExitOne)
{
    OrvikSimulatorOptions options = steered();
    options.sensor.faults = {Sim::Fault::nak(138)};
    OrvikSimulatorFixture sensor(options);
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const Outcome outcome = runOrvik({"values", "--port", sensor.devicePath(), "--samples", "2"});
    EXPECT_EQ(outcome.exitCode, 1) << outcome.text();
    EXPECT_EQ(outcome.failures(), QStringList{"Device didn`t acknowledge command 138"}) << outcome.text();
    EXPECT_TRUE(outcome.out.isEmpty()) << outcome.text();

    const Outcome help = runOrvik({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command : {"rescale", "values"})
        EXPECT_TRUE(help.out.join('\n').contains(QLatin1String("  ") + command)) << command;
    EXPECT_EQ(runOrvik({"measure"}).exitCode, 2);
    EXPECT_EQ(runOrvik({"values", "--samples", "3"}).exitCode, 2);
}
