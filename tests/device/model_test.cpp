#include <gtest/gtest.h>

#include "exception_text.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "device/Device.h"
#include "device/Exceptions.h"
#include "device/ParameterSetBuilder.h"
#include "device/Traits.h"

namespace
{
using namespace Hvd::Weft::Device;
using DeviceTest::messageOf;

TEST(Version, ParsesTheThreeNumbers)
{
    const Version version("V02.11");
    EXPECT_EQ(version.getHardwareFamily(), 2);
    EXPECT_EQ(version.getHardwareVersion(), 1);
    EXPECT_EQ(version.getParameterVersion(), 1);
    EXPECT_EQ(version.toString(), "V02.11");
    EXPECT_TRUE(version.isValid());

    const Version v0110("V01.10");
    EXPECT_EQ(v0110.getHardwareFamily(), 1);
    EXPECT_EQ(v0110.getHardwareVersion(), 1);
    EXPECT_EQ(v0110.getParameterVersion(), 0);

    const Version none;
    EXPECT_EQ(none.toString(), "V00.00");
    EXPECT_FALSE(none.isValid());
}

TEST(Version, OrdersByNumbersOnly)
{
    EXPECT_LT(Version("V02.01"), Version("V02.11"));
    EXPECT_LT(Version("V01.10"), Version("V02.00"));
    EXPECT_LT(Version("V02.00"), Version("V02.01"));
    EXPECT_LT(Version("V09.99"), Version("V11.00"));
    EXPECT_GT(Version("V02.10"), Version("V02.01"));
    EXPECT_EQ(Version("V02.10"), Version("V02.10"));
    EXPECT_LE(Version("V02.10"), Version("V02.10"));
}

TEST(Version, RejectsOtherTexts)
{
    for (const char* text :
         {"V10.01", "V2.01", "V02.1", "V02.011", "v02.01", "V00.00", "V02-01", "", "V02.01 "})
    {
        EXPECT_EQ(messageOf<std::invalid_argument>([&] { Version{text}; }),
                  std::string("Version '") + text + "' must match V[0-9][1-9].[0-9]{2}");
    }
}

ParameterSet<Parameter> sampleSet()
{
    return ParameterSetBuilder()
        .version(Version("V02.01"))
        .parameter("FlowMeasEnd")
        .address(514)
        .minDefaultMaxValue(-99999.99, 100.0, 99999.99, DataType::DFLOAT32)
        .tag(Tag::FLOW)
        .tag(Tag::SLOT_MEASUREMENT_END)
        .parameter("ProductVariantName", "variant")
        .type(DataType::ARRSTRING)
        .length(16)
        .address(399)
        .defaultValue(Value("0"))
        .parameter("FlowUnit")
        .address(505)
        .minDefaultMaxValue<std::uint8_t>(0, 1, 255, DataType::DBYTEU8)
        .tag(Tag::FLOW)
        .tag(Tag::SLOT_UNIT)
        .parameter("Bytes")
        .type(DataType::ARRBYTE)
        .minDefaultMaxValue(Value(std::vector<std::uint8_t>{0, 0}), Value(std::vector<std::uint8_t>{1, 6}),
                            Value(std::vector<std::uint8_t>{9, 9}))
        .build();
}

TEST(Parameter, SetCurrentValueChecksTypeLengthAndLimitsInOrder)
{
    const auto set = sampleSet();
    Parameter flow = set.at("FlowMeasEnd");

    EXPECT_EQ(
        messageOf<std::invalid_argument>([&] { flow.setCurrentValue(Value(100000.0, DataType::DFLOAT32)); }),
        "Value is too big: Maximum: 99999.99 Actual: 100000");
    EXPECT_EQ(
        messageOf<std::invalid_argument>([&] { flow.setCurrentValue(Value(-100000.0, DataType::DFLOAT32)); }),
        "Value is too small: Minimum: -99999.99 Actual: -100000");
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { flow.setCurrentValue(Value(1.0, DataType::DFLOAT64)); }),
              "Types must match: Expected: DFLOAT32 Actual: DFLOAT64");
    EXPECT_EQ(messageOf<std::invalid_argument>(
                  [&] { flow.setCurrentValue(Value(std::nan(""), DataType::DFLOAT32)); }),
              "Value is too small: Minimum: -99999.99 Actual: nan");
    // A failed assignment leaves the parameter as it was.
    EXPECT_FALSE(flow.getCurrentValue().isValid());

    flow.setCurrentValue(Value(99999.99, DataType::DFLOAT32));
    EXPECT_EQ(flow.getCurrentValue().toDouble(), 99999.99);
    EXPECT_THROW(flow.setCurrentValue(Value(1.0f * 1e6f)), std::invalid_argument);
    EXPECT_EQ(flow.getCurrentValue().toDouble(), 99999.99);

    Parameter bytes = set.at("Bytes");
    EXPECT_EQ(messageOf<std::invalid_argument>(
                  [&] {
                      bytes.setCurrentValue(Value(std::vector<std::uint8_t>{1, 2, 3}));
                  }),
              "Length is different: Expected: 2 Actual: 3");
    EXPECT_EQ(messageOf<std::invalid_argument>(
                  [&] {
                      bytes.setCurrentValue(Value(std::vector<std::uint8_t>{10, 0}));
                  }),
              "Value is too big: Maximum: 9;9 Actual: 10;0");
}

TEST(Parameter, StringsMayBeShorterThanTheField)
{
    Parameter name = sampleSet().at("ProductVariantName");
    name.setCurrentValue(Value(std::string(16, 'x')));
    EXPECT_EQ(name.getCurrentValue().getLength(), 16);
    name.setCurrentValue(Value("Orvik 82.5"));
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { name.setCurrentValue(Value(std::string(17, 'x'))); }),
              "Length is too big: Maximum: 16 Actual: 17");
    EXPECT_EQ(name.getCurrentValue().toString(), "Orvik 82.5");

    name.setCurrentValueIgnoreConstraints(Value(1u));
    EXPECT_EQ(name.getCurrentValue(), Value(1u));
}

TEST(Parameter, MadeFromANameOnly)
{
    const Parameter parameter("X");
    EXPECT_EQ(parameter.getType(), DataType::UNKNOWN);
    EXPECT_EQ(parameter.getLength(), 0);
    EXPECT_FALSE(parameter.getDefaultValue().isValid());
    EXPECT_FALSE(parameter.getMinValue().has_value());
    EXPECT_FALSE(parameter.getIoLink().has_value());
    EXPECT_FALSE(parameter.isValid());
    EXPECT_EQ(parameter, Parameter("X"));
    EXPECT_NE(parameter, Parameter("Y"));
}

TEST(ParameterSet, LookUpAndQueries)
{
    const auto set = sampleSet();
    EXPECT_EQ(set.getVersion(), Version("V02.01"));
    EXPECT_EQ(set.at("ProductVariantName").getDescription(), "variant");
    EXPECT_EQ(set.at("FlowUnit").getByteSize(), 1u);
    EXPECT_EQ(set.at("ProductVariantName").getByteSize(), 16u);
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { (void)set.at("productvariantname"); }),
              "Parameter productvariantname not found");

    std::vector<std::string> names;
    for (const Parameter& parameter : set.toVector())
        names.push_back(parameter.getName());
    EXPECT_EQ(names, (std::vector<std::string>{"Bytes", "FlowMeasEnd", "FlowUnit", "ProductVariantName"}));

    const auto flow = set.query(QueryTag{Tag::FLOW});
    ASSERT_EQ(flow.size(), 2u);
    EXPECT_EQ(flow[0].get().getName(), "FlowMeasEnd");
    EXPECT_EQ(flow[1].get().getName(), "FlowUnit");
    EXPECT_TRUE(set.query(QueryTag{Tag::KFAKTOR}).empty());
    const auto unit = set.query(QueryTags{{Tag::FLOW, Tag::SLOT_UNIT}});
    ASSERT_EQ(unit.size(), 1u);
    EXPECT_EQ(unit[0].get().getName(), "FlowUnit");
}

TEST(ParameterSet, BuilderRejectsRepeatedNames)
{
    ParameterSetBuilder builder;
    builder.parameter("A").parameter("B");
    EXPECT_EQ(messageOf<IdentifierNotUniqueException>([&] { builder.parameter("A"); }),
              "Parameter is not unique: A");
    EXPECT_EQ(messageOf<IdentifierNotUniqueException>([&] { builder.parameter("B"); }),
              "Parameter is not unique: B");
    EXPECT_EQ(builder.build().getParameters().size(), 2u);

    ParameterSettingSetBuilder settings;
    settings.parameter("A").value(Value(1u));
    EXPECT_THROW(settings.parameter("A"), IdentifierNotUniqueException);
    const auto built = settings.build();
    EXPECT_EQ(built.at("A").getType(), DataType::DBYTEU32);
    EXPECT_TRUE(built.at("A").isValid());

    EXPECT_THROW(ParameterSetBuilder().address(1), std::logic_error);
}

TEST(ParameterSetContainer, ExactVersionsOnly)
{
    ParameterSetContainer<Parameter> container;
    EXPECT_TRUE(container.isEmpty());
    EXPECT_TRUE(container.insert(sampleSet()));
    EXPECT_FALSE(container.insert(ParameterSet<Parameter>(Version("V02.01"))));
    EXPECT_EQ(container.at(Version("V02.01")).getParameters().size(), 4u);
    EXPECT_FALSE(container.contains(Version("V02.00")));
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { (void)container.at(Version("V02.11")); }),
              "Version V02.11 not found");

    container[Version("V01.10")].insert(Parameter("EE_AK"));
    std::vector<std::string> versions;
    for (const auto& [version, set] : container.getParameterSets())
        versions.push_back(version.toString());
    EXPECT_EQ(versions, (std::vector<std::string>{"V01.10", "V02.01"}));
    container.remove(Version("V02.01"));
    EXPECT_FALSE(container.contains(Version("V02.01")));
}

TEST(Traits, BuildersRejectRepeatedIdentifiers)
{
    EXPECT_EQ(messageOf<IdentifierNotUniqueException>(
                  [] {
                      OutputTraitsContainer::builder()
                          .name(OutputTraits::Name::OUT1)
                          .name(OutputTraits::Name::OUT1);
                  }),
              "Outputs is not unique: OUT1");
    EXPECT_NO_THROW(
        OutputTraitsContainer::builder().name(OutputTraits::Name::Unknown).name(OutputTraits::Name::Unknown));
    EXPECT_EQ(messageOf<IdentifierNotUniqueException>(
                  [] { CommandTraitsContainer::builder().name("Reset").address(1).name("Reset"); }),
              "Command is not unique: Reset");
    EXPECT_EQ(
        messageOf<IdentifierNotUniqueException>([] { EventTraitsContainer::builder().name("E").name("E"); }),
        "Event is not unique: E");
    EXPECT_EQ(messageOf<IdentifierNotUniqueException>(
                  [] { SystemDataObjectTraitsContainer::builder().name("S").name("S"); }),
              "SystemDataObject is not unique: S");
    EXPECT_EQ(messageOf<IdentifierNotUniqueException>(
                  [] { CalibrationTraitsContainer::builder().slot(3).slot(1).slot(3); }),
              "Calibration is not unique: 3");
}

TEST(Traits, OutputsAndCalibrationsAreLookedUpByKey)
{
    const auto outputs = OutputTraitsContainer::builder()
                             .name(OutputTraits::Name::OUT2)
                             .frequency(true)
                             .name(OutputTraits::Name::Unknown)
                             .alarm(true)
                             .build();
    EXPECT_TRUE(outputs.contains(OutputTraits::Name::OUT2));
    EXPECT_FALSE(outputs.contains(OutputTraits::Name::Unknown));
    EXPECT_TRUE(outputs.at(OutputTraits::Name::OUT2).hasFrequency());
    EXPECT_FALSE(outputs.at(OutputTraits::Name::OUT2).hasAlarm());
    EXPECT_THROW((void)outputs.at(OutputTraits::Name::OUT1), std::invalid_argument);

    const auto calibrations = CalibrationTraitsContainer::builder()
                                  .slot(5)
                                  .sampleCount(50)
                                  .slot(2)
                                  .averageAlgorithm(CalibrationTraits::AverageAlgorithm::Gauss)
                                  .build();
    ASSERT_EQ(calibrations.getCalibrations().size(), 2u);
    EXPECT_EQ(calibrations.getCalibrations()[0].getSlot(), 2u);
    EXPECT_EQ(calibrations.at(5).getSampleCount(), 50u);
    EXPECT_EQ(calibrations.at(2).getAverageAlgorithm(), CalibrationTraits::AverageAlgorithm::Gauss);
    EXPECT_FALSE(calibrations.contains(3));

    const auto address = InterfaceTraits::Address({19, 0, 4, 0, 2});
    EXPECT_EQ(address.toString(), "19.0.4.0.2");
    EXPECT_NE(address, InterfaceTraits::Address({19, 0, 4, 0, 3}));
}

} // namespace
