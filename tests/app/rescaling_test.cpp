// The size table and the rescaling arithmetic, seen through what the command
// reports and what it hands to the device service.

#include "app/rescaling_test_support.h"

#include <QVariant>

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

using namespace RescalingTest;
using Hvd::Unit::FlowType;
using Hvd::Unit::LengthType;
using Hvd::Weft::Components::System;

namespace
{

const Orvik& size(std::string_view name)
{
    for (const auto& orvik : Orvik::getOrviks())
    {
        if (orvik.name == name)
            return orvik;
    }
    throw std::invalid_argument("no size " + std::string(name));
}

double numberValue(const Parameter& parameter)
{
    return parameter.getCurrentValue().toDouble();
}

const std::vector<std::string> deviceRows{
    "DosingUnit",     "FlowCutOff",     "FlowMeasStart", "FlowMeasEnd",        "FlowUnit",
    "Out1Unit",       "Out1ValueMaxHz", "Out1Value10V",  "Out1Value20mA",      "Out2Unit",
    "Out2ValueMaxHz", "Out2Value10V",   "Out2Value20mA", "ProductVariantName", "TemperatureUnit",
};

std::vector<std::string> names(const std::vector<Parameter>& parameters)
{
    std::vector<std::string> result;
    for (const auto& parameter : parameters)
        result.push_back(parameter.getName());
    return result;
}

} // namespace

// The units of the two families show in the worked examples below.
TEST(SizeTable, TwentySizesInNameOrderInSinglePrecision)
{
    const std::vector<std::string_view> expected{"A1F", "A1H", "A1Z", "A2F", "A2H", "A3F", "A3H",
                                                 "A4H", "A80", "Axx", "D1F", "D1H", "D1Z", "D2F",
                                                 "D2H", "D3F", "D3H", "D4H", "D80", "Dxx"};
    std::vector<std::string_view> shown;
    for (const auto& orvik : Orvik::getOrviks())
    {
        shown.push_back(orvik.name);
        EXPECT_EQ(orvik.innerDiameterEditable, orvik.name.ends_with("xx")) << orvik.name;
    }
    EXPECT_EQ(shown, expected);

    // Products of single-precision floats, as the sensor stores them.
    EXPECT_EQ(size("D1Z").innerDiameter.value(), 0.13170001f);
    EXPECT_EQ(size("A80").innerDiameter.value(), 3.068f * 0.0254f);
    EXPECT_EQ(size("Axx").innerDiameter.value(), 2.0f * 0.0254f);
}

TEST(SizeTable, OtherNamesEditedSizesAndQVariant)
{
    const Orvik unknown("X12", Orvik::Diameter(0.1f));
    EXPECT_EQ(unknown.lengthUnit, LengthType::User);
    EXPECT_EQ(unknown.flowUnit, FlowType::User);
    EXPECT_FALSE(unknown.innerDiameterEditable);
    EXPECT_TRUE(Orvik("xx", Orvik::Diameter(0.1f)).innerDiameterEditable);
    EXPECT_FALSE(Orvik("x", Orvik::Diameter(0.1f)).innerDiameterEditable);

    // Equal names order by diameter, so an edited free size is another record.
    Orvik edited = size("Dxx");
    edited.setInnerDiameter(Orvik::Diameter(0.2f));
    EXPECT_LT(size("Dxx"), edited);
    EXPECT_EQ(std::set<Orvik>({edited, size("Dxx"), edited}).size(), 2u);

    const Orvik back = QVariant::fromValue(edited).value<Orvik>();
    EXPECT_EQ(back, edited);
    EXPECT_TRUE(back.innerDiameterEditable);
    EXPECT_NE(QMetaType::fromName("Orvik").id(), QMetaType::UnknownType) << "usable in queued connections";
}

TEST(FreeArea, MatchesTheGeometryOfCircleLessProbe)
{
    for (double x : {0.0405, 0.05, 0.0779272, 0.0825, 0.2, 0.45})
        EXPECT_NEAR(ParameterizeOrvikCommand::freeArea(x) / geometricFreeArea(x), 1.0, 1e-12) << x;
    // Diameters up to the probe's width leave no pipe to measure in.
    EXPECT_TRUE(std::isnan(ParameterizeOrvikCommand::freeArea(0.039)));
}

// The worked examples: what goes to the sensor and what is shown.
TEST(Rescaling, WorkedExamplesWriteTheRowsInOrder)
{
    struct Case
    {
        std::string_view size;
        double rangeEnd;
        double cutOff;
        unsigned flowUnit;
        unsigned outputUnit;
        unsigned temperatureUnit;
        std::string sizeText;
        double shownDiameter;
        QString diameterUnit;
        double shownRangeEnd;
        QString flowUnitText;
    };
    const std::vector<Case> cases{
        {"D80", 3200, 320, 4, 3, 1, "Orvik 82.5", 82.5, "mm", 192.0, "m<sup>3</sup>/h"},
        {"A80", 756 / 0.264172, 756 / 2.64172, 5, 4, 2, "Orvik 3.068", 3.068, "in", 756.0025, "gals/m"},
        // 107.1 mm: 5405.4 L/min or 324.3 m³/h, so 324 m³/h.
        {"D1H", 5400, 540, 4, 3, 1, "Orvik 107.1", 107.1, "mm", 324.0, "m<sup>3</sup>/h"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.size));
        LogCapture log;
        Rescale rescale;
        const double reference = 0.1071;
        rescale.command.setInnerDiameterReference(reference);
        rescale.command.setOrvik(size(c.size));
        rescale.giveKFactor(kFactorV2, 1.25);
        ASSERT_TRUE(rescale.run());
        ASSERT_EQ(rescale.finished.count(), 1) << rescale.errorText().toStdString();

        const double diameter = size(c.size).innerDiameter.value();
        const double factor = geometricFreeArea(reference) / geometricFreeArea(diameter);
        EXPECT_NEAR(rescale.command.getConversionFactor(), factor, 1e-12);
        EXPECT_NEAR(rescale.command.getMeasuringRangeEnd(), c.rangeEnd, 1e-9);
        const double end = rescale.command.getMeasuringRangeEnd();
        EXPECT_NEAR(end / 10, c.cutOff, 1e-9);

        ASSERT_EQ(rescale.service.writtenDevice.size(), 1u);
        const auto& device = rescale.service.writtenDevice.front();
        ASSERT_EQ(names(device), deviceRows);
        const std::vector<double> numbers{double(c.flowUnit),
                                          end / 10,
                                          -end,
                                          end,
                                          double(c.flowUnit),
                                          double(c.outputUnit),
                                          end,
                                          end,
                                          end,
                                          double(c.outputUnit),
                                          end,
                                          end,
                                          end};
        for (std::size_t i = 0; i < numbers.size(); ++i)
            EXPECT_DOUBLE_EQ(numberValue(device[i]), numbers[i]) << device[i].getName();
        EXPECT_EQ(device[0].getCurrentValue().getType(), DataType::DBYTEU8);
        EXPECT_EQ(device[13].getCurrentValue().toString(), c.sizeText);
        EXPECT_EQ(numberValue(device[14]), c.temperatureUnit);

        const auto& subdevice = rescale.service.writtenSubdevice.front();
        ASSERT_EQ(names(subdevice), (std::vector<std::string>{kFactorV2, "settings.range.fMeasEnd"}));
        EXPECT_NEAR(numberValue(subdevice[0]), 1.25 * factor, 1e-9);
        EXPECT_DOUBLE_EQ(numberValue(subdevice[1]), end);

        // Notifications: the k-factor first, then the rows as they are made.
        ASSERT_EQ(rescale.numbers.count(), 16);
        EXPECT_FALSE(rescale.numbers.first().at(0).toBool());
        EXPECT_EQ(rescale.numbers.first().at(1).toString(), kFactorV2);
        EXPECT_EQ(rescale.numbers.at(1).at(1).toString(), "DosingUnit");
        EXPECT_EQ(rescale.numbers.at(14).at(1).toString(), "TemperatureUnit");
        EXPECT_TRUE(rescale.numbers.at(14).at(0).toBool());
        EXPECT_FALSE(rescale.numbers.last().at(0).toBool());
        ASSERT_EQ(rescale.texts.count(), 1);
        EXPECT_EQ(rescale.texts.first().at(2).toString().toStdString(), c.sizeText);

        ASSERT_EQ(rescale.values.count(), 2);
        EXPECT_EQ(rescale.values.at(0).at(1).toString(), "InnerDiameter");
        EXPECT_NEAR(rescale.values.at(0).at(2).toDouble(), c.shownDiameter, 1e-4);
        EXPECT_EQ(rescale.values.at(0).at(3).toString(), c.diameterUnit);
        EXPECT_EQ(rescale.values.at(1).at(1).toString(), "FlowMeasEnd");
        EXPECT_EQ(rescale.values.at(1).at(3).toString(), c.flowUnitText);
        EXPECT_EQ(rescale.values.at(1).at(2).toDouble(), double(float(c.shownRangeEnd)));

        const std::string text = log.text();
        EXPECT_TRUE(inOrder(
            text,
            {"Calculating conversion factor: diameter reference: 0.1071, Orvik diameter: ",
             "Calculated conversion factor: ",
             "Re-parameterizing k-factor " + std::string(kFactorV2) + ": Old value: 1.25, new value: "}));
    }
}

TEST(Rescaling, SameDiameterKeepsTheKFactorAndUnknownSettingsAreIgnored)
{
    LogCapture log;
    Rescale rescale;
    const Orvik& d80 = size("D80");
    rescale.command.setInnerDiameterReference(d80.innerDiameter.value());
    rescale.command.setOrvik(d80);
    rescale.service.readSubdeviceValues = {
        ParameterSetting("FlowMeasEnd", Value(5.0, DataType::DFLOAT32)),
        ParameterSetting(kFactorV2, Value(0.987654, DataType::DFLOAT32)),
        ParameterSetting("settings.range.fMeasEnd", Value(7.0, DataType::DFLOAT32)),
    };
    ASSERT_TRUE(rescale.run());
    ASSERT_EQ(rescale.finished.count(), 1) << rescale.errorText().toStdString();
    EXPECT_EQ(rescale.command.getConversionFactor(), 1.0);
    const auto& subdevice = rescale.service.writtenSubdevice.front();
    EXPECT_EQ(numberValue(subdevice[0]), 0.987654);
    EXPECT_EQ(numberValue(subdevice[1]), 3200) << "the range end row is made, not the value read";
    const std::string text = log.text();
    std::size_t merges = 0;
    for (auto at = text.find("Re-parameterizing"); at != std::string::npos;
         at = text.find("Re-parameterizing", at + 1))
        ++merges;
    EXPECT_EQ(merges, 1u);
}

// Every refusal ends the command with the reason before anything is written.
TEST(Rescaling, RefusalsReportTheReasonAndWriteNothing)
{
    struct Case
    {
        const char* what;
        QString version;
        QString subVersion;
        const char* kFactor;
        double kValue;
        float diameter;
        std::string message;
    };
    const std::vector<Case> cases{
        {"sub device without range end", "V02.11", "V01.10", kFactorV1, 1.1, 0.0825f,
         "Parameter settings.range.fMeasEnd not found"},
        {"unknown device firmware", "V07.00", "V02.10", kFactorV2, 1.1, 0.0825f,
         "No device parameters found for the connected device"},
        {"k-factor over the limit", "V02.11", "V02.10", kFactorV2, 99990.0, 0.05f,
         "Value is too big: Maximum: 99999.99 Actual: "},
        {"diameter too small for a free area", "V02.11", "V02.10", kFactorV2, 1.1, 0.039f,
         "Value is too small: Minimum: -99999.99 Actual: "},
        {"k-factor not delivered", "V02.11", "V02.10", "OtherParameter", 1.1, 0.0825f,
         "No value read for k-factor measurement.setting.scaling.K0"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        LogCapture log;
        Rescale rescale(c.version, c.subVersion);
        rescale.command.setInnerDiameterReference(0.1071);
        rescale.command.setOrvik(Orvik("Dxx", Orvik::Diameter(c.diameter)));
        rescale.giveKFactor(c.kFactor, c.kValue);
        // A k-factor the sensor did not deliver: nothing of its name comes back.
        rescale.service.answerEveryParameter = std::string(c.kFactor) != "OtherParameter";
        ASSERT_TRUE(rescale.run());
        ASSERT_EQ(rescale.errors.count(), 1);
        EXPECT_EQ(rescale.finished.count(), 0);
        EXPECT_TRUE(rescale.errorText().startsWith(QString::fromStdString(c.message)))
            << rescale.errorText().toStdString();
        EXPECT_EQ(rescale.errors.first().at(1).value<System>(), System::Application);
        EXPECT_FALSE(rescale.errors.first().at(2).toBool());
        EXPECT_FALSE(rescale.command.isRunning());
        EXPECT_EQ(rescale.service.slotNames(), std::vector<std::string>{"read"});
        EXPECT_TRUE(rescale.values.isEmpty()) << "nothing shown for a rescale that did not happen";
        EXPECT_TRUE(inOrder(log.text(), {"[error] [main]", c.message}));
    }
}
