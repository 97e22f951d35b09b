// Complete rescales with orvik-rescale against the simulated sensor: what the
// sensor holds afterwards, and what the program printed.

#include "rescale_test_support.h"

#include <QList>

using namespace RescaleTest;
using Hvd::Unit::LengthType;

namespace
{

QString plainFlowUnit(const Orvik& orvik)
{
    return orvik.lengthUnit == LengthType::MilliMeter ? QStringLiteral("m\u00B3/h") : QStringLiteral("GPM");
}

// Everything a successful rescale to `orvik` leaves behind, from a sensor
// calibrated for `reference` metres whose k-factor was `oldK`.
void expectRescaled(const OrvikSimulatorFixture& sensor, const Orvik& orvik, double reference, float oldK,
                    const Outcome& outcome)
{
    EXPECT_EQ(outcome.exitCode, RescaleArguments::Success) << outcome.text();
    EXPECT_TRUE(outcome.err.isEmpty()) << outcome.text();
    const Expected expected(orvik);
    const SensorImage device(sensor, Target::Device, "V02.11");
    const SensorImage sub(sensor, Target::SubDevice, "V02.10");

    const double factor =
        ParameterizeOrvikCommand::freeArea(reference) /
        ParameterizeOrvikCommand::freeArea(static_cast<double>(orvik.innerDiameter.value()));
    ASSERT_GT(std::abs(factor - 1), 0.01) << "the sizes must differ for the scaling to show";
    EXPECT_FLOAT_EQ(sub.nvm(sub.kFactor()).toFloat(), static_cast<float>(oldK * factor));

    const double e = expected.rangeEnd;
    const auto code = [](auto unit) { return static_cast<double>(unit); };
    const QList<std::pair<const char*, double>> rows{
        {"DosingUnit", code(orvik.flowUnit)},
        {"FlowCutOff", e / 10},
        {"FlowMeasStart", -e},
        {"FlowMeasEnd", e},
        {"FlowUnit", code(orvik.flowUnit)},
        {"Out1Unit", code(orvik.outputUnit)},
        {"Out1ValueMaxHz", e},
        {"Out1Value10V", e},
        {"Out1Value20mA", e},
        {"Out2Unit", code(orvik.outputUnit)},
        {"Out2ValueMaxHz", e},
        {"Out2Value10V", e},
        {"Out2Value20mA", e},
        {"TemperatureUnit", code(orvik.temperatureUnit)},
    };
    QList<const Dev::Parameter*> written;
    for (const auto& [name, value] : rows)
    {
        const Dev::Parameter& parameter = device.parameter(name);
        EXPECT_FLOAT_EQ(static_cast<float>(device.nvm(parameter).toDouble()), static_cast<float>(value))
            << name;
        written.append(&parameter);
    }
    const Dev::Parameter& variant = device.parameter("ProductVariantName");
    const std::string text = device.nvm(variant).toString();
    EXPECT_EQ(QString::fromStdString(text.substr(0, text.find('\0'))), expected.variant);
    written.append(&variant);
    EXPECT_FLOAT_EQ(static_cast<float>(sub.nvm("settings.range.fMeasEnd").toDouble()), static_cast<float>(e));

    // Taken into working memory and stored as factory defaults after the
    // write: all three images agree on every value written.
    for (const Dev::Parameter* parameter : written)
    {
        EXPECT_EQ(device.working(*parameter), device.nvm(*parameter)) << parameter->getName();
        EXPECT_EQ(device.factory(*parameter), device.nvm(*parameter)) << parameter->getName();
    }
    for (const Dev::Parameter* parameter : {&sub.kFactor(), &sub.parameter("settings.range.fMeasEnd")})
    {
        EXPECT_EQ(sub.working(*parameter), sub.nvm(*parameter)) << parameter->getName();
        EXPECT_EQ(sub.factory(*parameter), sub.nvm(*parameter)) << parameter->getName();
    }
    using Record = Sim::SystemCommandRecord;
    EXPECT_EQ(sensor.systemCommands(), (QList<Record>{{Target::Device, 0, true}, {Target::Device, 3, true}}));
    EXPECT_EQ(sensor.restartCount(), 1);

    const QString unit = QString::fromLatin1(Hvd::Unit::toString(orvik.lengthUnit));
    EXPECT_TRUE(outcome.printedSuccess()) << outcome.text();
    EXPECT_EQ(
        outcome.out.mid(outcome.out.size() - 2),
        (QStringList{QStringLiteral("Inner Diameter: %1 %2").arg(expected.shownDiameter, unit),
                     QStringLiteral("Max. flow: %1 %2").arg(expected.shownFlow).arg(plainFlowUnit(orvik))}))
        << outcome.text();
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

// The program itself on a metric size, from a sensor calibrated in millimetres.
TEST(RescaleEndToEnd, ProgramRescalesToAMetricSize)
{
    OrvikSimulatorFixture sensor(sensorWith("Orvik 82.5", 1.2));
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const float oldK = storedKFactor(sensor);

    const Outcome outcome = runProgram({"--port", sensor.devicePath(), "--size", "D1H"});
    expectRescaled(sensor, size("D1H"), 0.0825, oldK, outcome);
    // Progress from the connector and from every step of the rescale.
    for (const char* step : {"Connecting to device", "Reading calibrated diameter", "Writing parameters",
                             "Disconnecting from device"})
        EXPECT_TRUE(outcome.out.contains(QStringLiteral("[100%] ") + QLatin1String(step))) << step;
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
