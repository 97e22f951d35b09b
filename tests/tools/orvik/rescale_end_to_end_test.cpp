// Complete rescales with `orvik rescale` against the simulated sensor: what the
// sensor holds afterwards, and what the program printed.

#include "rescale_test_support.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

using namespace RescaleTest;
using Hvd::Unit::LengthType;
using Hvd::Weft::Communication::VeltrixDeviceService;

namespace
{

QString plainFlowUnit(const Orvik& orvik)
{
    return orvik.lengthUnit == LengthType::MilliMeter ? QStringLiteral("m\u00B3/h") : QStringLiteral("GPM");
}

// A successful run of the program: the sensor rescaled, and what it printed.
void expectRescaled(const OrvikSimulatorFixture& sensor, const Orvik& orvik, double reference, float oldK,
                    const Outcome& outcome)
{
    EXPECT_EQ(outcome.exitCode, RescaleArguments::Success) << outcome.text();
    EXPECT_TRUE(outcome.failures().isEmpty()) << outcome.text();
    expectSensorRescaled(sensor, orvik, reference, oldK);
    const Expected expected(orvik);

    const QString unit = QString::fromLatin1(Hvd::Unit::toString(orvik.lengthUnit));
    EXPECT_TRUE(outcome.printedSuccess()) << outcome.text();
    ASSERT_EQ(outcome.out.size(), 5) << outcome.text();
    EXPECT_EQ(
        outcome.out.mid(0, 2),
        (QStringList{QStringLiteral("Inner Diameter: %1 %2").arg(expected.shownDiameter, unit),
                     QStringLiteral("Max. flow: %1 %2").arg(expected.shownFlow).arg(plainFlowUnit(orvik))}))
        << outcome.text();

    // The backup and the report beside it; the report names what the sensor now holds.
    const QString backup = outcome.out[2].mid(qsizetype(qstrlen("Backup: ")));
    const QString base = backup.chopped(qsizetype(qstrlen(".para.json")));
    EXPECT_EQ(outcome.out.mid(2), (QStringList{"Backup: " + backup, "Report: " + base + ".report.pdf",
                                               "Report data: " + base + ".report.json"}));
    EXPECT_TRUE(QFileInfo(base + ".report.pdf").size() > 0);
    QFile file(base + ".report.json");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QJsonObject report = QJsonDocument::fromJson(file.readAll()).object();
    const SensorImage device(sensor, Target::Device, "V02.11");
    const SensorImage sub(sensor, Target::SubDevice, "V02.10");
    EXPECT_EQ(report["backupFile"].toString(), backup);
    EXPECT_EQ(report["sensor"].toObject()["address"].toString(), "19.0.4.0.2");
    EXPECT_EQ(report["size"].toObject()["new"].toString().toStdString(),
              device.nvm("ProductVariantName").toString());
    EXPECT_EQ(report["size"].toObject()["code"].toString().toStdString(), std::string(orvik.name));
    EXPECT_EQ(float(report["kFactor"].toObject()["old"].toDouble()), oldK);
    EXPECT_EQ(float(report["kFactor"].toObject()["new"].toDouble()), sub.nvm(sub.kFactor()).toFloat());
    EXPECT_EQ(report["measuringRange"].toObject()["end"].toDouble(), expected.shownFlow);
}

OrvikSimulatorOptions sensorWith(const char* variant, double kFactor)
{
    OrvikSimulatorOptions options;
    options.sensor.variant = QString::fromLatin1(variant);
    options.sensor.kfactor = kFactor;
    return options;
}

float storedKFactor(const OrvikSimulatorFixture& sensor)
{
    const SensorImage sub(sensor, Target::SubDevice, "V02.10");
    return sub.nvm(sub.kFactor()).toFloat();
}

} // namespace

// The program itself on a metric size, from a sensor calibrated in
// millimetres: the one complete run at the protocol's own pace, with no
// time scale in the program's environment.
TEST(RescaleEndToEnd, ProgramRescalesToAMetricSize)
{
    OrvikSimulatorFixture sensor(sensorWith("Orvik 82.5", 1.2));
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const float oldK = storedKFactor(sensor);

    WorkDirectory work;
    const QString noScale = QString::fromLatin1(VeltrixDeviceService::timeScaleVariable) + QLatin1Char('=');
    const Outcome outcome =
        runOrvik({"rescale", "--port", sensor.devicePath(), "--size", "D1H"}, work.path(), {noScale});
    EXPECT_FALSE(work.log().contains(VeltrixDeviceService::timeScaleVariable));
    expectRescaled(sensor, size("D1H"), 0.0825, oldK, outcome);
    EXPECT_TRUE(isCleanSuccessLog(work.log()));
    // Progress from the connector and from every step of the rescale.
    for (const char* step : {"Connecting to device", "Reading calibrated diameter", "Writing parameters",
                             "Disconnecting from device"})
        EXPECT_TRUE(outcome.err.contains(QStringLiteral("[100%] ") + QLatin1String(step))) << step;
}

// In-process, an imperial size from a sensor whose name carries inches.
TEST(RescaleEndToEnd, RunRescalesToAnImperialSize)
{
    OrvikSimulatorFixture sensor(sensorWith("Orvik 3.068", 0.8));
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const float oldK = storedKFactor(sensor);

    const Outcome outcome = runInProcess(sensor, size("A2H"));
    expectRescaled(sensor, size("A2H"), 3.068 * 0.0254, oldK, outcome);
}

// The free metric size with a diameter typed with more decimals than the
// window's field keeps; the port given by its name rather than its path.
TEST(RescaleEndToEnd, ProgramTakesAnEditedDiameter)
{
    OrvikSimulatorFixture sensor(sensorWith("Orvik 82.5", 1.0));
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const float oldK = storedKFactor(sensor);

    const Outcome outcome = runProgram({"--port", sensor.devicePath().mid(QStringLiteral("/dev/").size()),
                                        "--size", "Dxx", "--diameter", "123.4567"});
    Orvik edited = size("Dxx");
    edited.setInnerDiameter(Orvik::Diameter(123.457f * 0.001f));
    expectRescaled(sensor, edited, 0.0825, oldK, outcome);
    EXPECT_TRUE(outcome.out.contains(QStringLiteral("Inner Diameter: 123.457 mm"))) << outcome.text();
}
