#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/ParameterSetBuilder.h"
#include "device/validation/Validator.h"

namespace
{
using namespace Hvd::Weft::Device;
using Texts = std::vector<std::string>;

const Version v0201("V02.01");

Device deviceWith(std::vector<ParameterSet<Parameter>> deviceSets,
                  std::vector<ParameterSet<Parameter>> subdeviceSets = {}, std::uint16_t generalQueue = 0,
                  std::uint16_t calibrationQueue = 1)
{
    ParameterSetContainer<Parameter> devices, subdevices;
    for (auto& set : deviceSets)
        devices.insert(std::move(set));
    for (auto& set : subdeviceSets)
        subdevices.insert(std::move(set));
    const Traits traits({}, {}, {}, {},
                        TestTraits::builder()
                            .generalQueueAddress(generalQueue)
                            .calibrationQueueAddress(calibrationQueue)
                            .build());
    return Device(Identity::N5Q2_Orvik, std::move(devices), std::move(subdevices), traits);
}

Texts errorsOf(const Device& device)
{
    return Validator().validate(device).getErrors();
}

Texts errorsOf(const ParameterSet<Parameter>& set)
{
    return errorsOf(deviceWith({set}));
}

// A float parameter with limits, for k-factor and reference roles.
void floatParameter(ParameterSetBuilder& builder, const std::string& name, std::uint16_t address, Tag tag)
{
    builder.parameter(name)
        .address(address)
        .minDefaultMaxValue(-10.0, 1.0, 10.0, DataType::DFLOAT32)
        .tag(tag);
}

TEST(Validator, DescriptionWithoutParameterSets)
{
    EXPECT_EQ(errorsOf(deviceWith({})),
              Texts{"Either DeviceParameterSets or SubdeviceParameterSets must be present"});
    EXPECT_TRUE(errorsOf(deviceWith({}, {ParameterSet<Parameter>(v0201)})).empty());
}

TEST(Validator, QueueAddressesMustDiffer)
{
    EXPECT_EQ(
        errorsOf(deviceWith({ParameterSet<Parameter>(v0201)}, {}, 3, 3)),
        Texts{"TestTrait: Queue address is not unique: GeneralQueueAddress=3, CalibrationQueueAddress=3"});
}

TEST(Validator, AddressSpaceEndsAt65535)
{
    ParameterSetBuilder builder;
    builder.version(v0201);
    builder.parameter("Fits").address(65532).minDefaultMaxValue(0.0, 0.0, 1.0, DataType::DFLOAT32);
    EXPECT_TRUE(errorsOf(builder.build()).empty());

    ParameterSetBuilder beyond;
    beyond.version(v0201).parameter("Beyond").address(65534).minDefaultMaxValue(0.0, 0.0, 1.0,
                                                                                DataType::DFLOAT32);
    EXPECT_EQ(
        errorsOf(beyond.build()),
        Texts{"Version V02.01 Parameter Beyond: Address exceeds maximum: Address=65534, End address=65537"});
}

TEST(Validator, OverlapNamesTheLaterParameter)
{
    ParameterSetBuilder builder;
    builder.version(v0201);
    builder.parameter("A").address(10).minDefaultMaxValue<std::uint16_t>(0, 1, 9, DataType::DBYTEU16);
    builder.parameter("B").address(11).minDefaultMaxValue<std::uint8_t>(0, 1, 9, DataType::DBYTEU8);
    EXPECT_EQ(
        errorsOf(builder.build()),
        Texts{"Version V02.01 Parameter B: Addresses overlap: Start address=11, End address=11, Overlapping "
              "parameter=A, Start address=10, End address=11"});

    ParameterSetBuilder apart;
    apart.version(v0201);
    apart.parameter("A").address(10).minDefaultMaxValue<std::uint16_t>(0, 1, 9, DataType::DBYTEU16);
    apart.parameter("B").address(12).minDefaultMaxValue<std::uint8_t>(0, 1, 9, DataType::DBYTEU8);
    EXPECT_TRUE(errorsOf(apart.build()).empty());
}

TEST(Validator, OnlyNeighboursAreComparedForOverlap)
{
    ParameterSetBuilder builder;
    builder.version(v0201);
    builder.parameter("Long").address(0).type(DataType::ARRSTRING).length(10).defaultValue(Value("x"));
    builder.parameter("P").address(2).minDefaultMaxValue<std::uint8_t>(0, 1, 9, DataType::DBYTEU8);
    builder.parameter("Q").address(5).minDefaultMaxValue<std::uint8_t>(0, 1, 9, DataType::DBYTEU8);
    const Texts errors = errorsOf(builder.build());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Version V02.01 Parameter P: Addresses overlap: Start address=2, End address=2, "
                         "Overlapping parameter=Long, Start address=0, End address=9");
}

TEST(Validator, LimitsAndLengths)
{
    ParameterSetBuilder builder;
    builder.version(v0201);
    builder.parameter("Above").address(0).minDefaultMaxValue<std::uint8_t>(0, 200, 100, DataType::DBYTEU8);
    builder.parameter("Arrays")
        .address(10)
        .type(DataType::ARRBYTE)
        .minDefaultMaxValue(Value(std::vector<std::uint8_t>{0, 0, 0}), Value(std::vector<std::uint8_t>{1, 2}),
                            Value(std::vector<std::uint8_t>{9, 9}));
    builder.parameter("Short").address(20).type(DataType::ARRSTRING).length(2).defaultValue(Value("abc"));
    builder.parameter("Sized")
        .address(30)
        .type(DataType::ARRBYTE)
        .minDefaultMaxValue(Value(std::vector<std::uint8_t>{0, 0}), Value(std::vector<std::uint8_t>{1, 2}),
                            Value(std::vector<std::uint8_t>{9, 9}))
        .length(3);
    EXPECT_EQ(
        errorsOf(builder.build()),
        (Texts{
            "Version V02.01 Parameter Above: Value must be between MinValue and MaxValue: MinValue=0, "
            "DefaultValue=200, MaxValue=100",
            "Version V02.01 Parameter Arrays: Value must be between MinValue and MaxValue: MinValue=0;0;0, "
            "DefaultValue=1;2, MaxValue=9;9",
            "Version V02.01 Parameter Arrays: Length of MinValue, DefaultValue, MaxValue differs: "
            "MinValue=3, "
            "DefaultValue=2, MaxValue=2",
            "Version V02.01 Parameter Short: String too long: string length=3, Length=2",
            "Version V02.01 Parameter Sized: Value length does not match Length: Size=2, Length=3",
        }));
}

TEST(Validator, TagsOnParametersOfTheWrongType)
{
    ParameterSetBuilder builder;
    builder.version(v0201);
    builder.parameter("Unit")
        .address(0)
        .minDefaultMaxValue(0.0, 1.0, 2.0, DataType::DFLOAT32)
        .tag(Tag::SLOT_UNIT)
        .tag(Tag::FLOW);
    builder.parameter("Serial")
        .address(10)
        .minDefaultMaxValue<std::uint32_t>(0, 1, 2, DataType::DBYTEU32)
        .tag(Tag::SERIALNUMBER);
    builder.parameter("Value")
        .address(20)
        .minDefaultMaxValue<std::uint8_t>(0, 1, 2, DataType::DBYTEU8)
        .tag(Tag::SLOT_VALUE)
        .tag(Tag::OFFSET)
        .tag(Tag::CALIBRATION);
    EXPECT_EQ(errorsOf(builder.build()),
              (Texts{
                  "Version V02.01 Parameter Serial: Tagged parameter has wrong type: DBYTEU32",
                  "Version V02.01 Parameter Unit: Tagged parameter has wrong type: DFLOAT32",
                  "Version V02.01 Parameter Value: Tagged parameter has wrong type: DBYTEU8",
                  "Version V02.01 Parameter Value: Tagged parameter has wrong type: DBYTEU8",
              }));
}

TEST(Validator, UniqueRolesAndRepeatableRoles)
{
    ParameterSetBuilder builder;
    builder.version(v0201);
    builder.parameter("A")
        .address(0)
        .type(DataType::ARRSTRING)
        .length(4)
        .defaultValue(Value("a"))
        .tag(Tag::SERIALNUMBER);
    builder.parameter("B")
        .address(4)
        .type(DataType::ARRSTRING)
        .length(4)
        .defaultValue(Value("b"))
        .tag(Tag::SERIALNUMBER);
    builder.parameter("C").address(8).minDefaultMaxValue(0.0, 0.0, 1.0, DataType::DFLOAT32).tag(Tag::FLOW);
    builder.parameter("D").address(12).minDefaultMaxValue(0.0, 0.0, 1.0, DataType::DFLOAT32).tag(Tag::FLOW);
    EXPECT_EQ(errorsOf(builder.build()), Texts{"Version V02.01: Tag is not unique: SERIALNUMBER"});
}

TEST(Validator, PlainAndIndexedKFactorsDoNotMix)
{
    ParameterSetBuilder builder;
    builder.version(v0201);
    floatParameter(builder, "X", 0, Tag::KFAKTOR);
    floatParameter(builder, "Y", 4, Tag::KFAKTOR0);
    EXPECT_EQ(errorsOf(builder.build()),
              (Texts{
                  "Version V02.01: Both KFAKTOR and KFAKTORx tags are present: X, Y",
                  "Version V02.01: KFAKTORx tags are present on Y but no SCALING_POINTS tag found",
                  "Version V02.01: Invalid number of KFAKTOR (1) and REFERENCE tags (0) found",
              }));
}

TEST(Validator, IndexedKFactorsWithoutGaps)
{
    ParameterSetBuilder builder;
    builder.version(v0201);
    floatParameter(builder, "K0", 0, Tag::KFAKTOR0);
    floatParameter(builder, "K2", 4, Tag::KFAKTOR2);
    floatParameter(builder, "R0", 8, Tag::REFERENCE0);
    floatParameter(builder, "R1", 12, Tag::REFERENCE1);
    builder.parameter("Points")
        .address(16)
        .minDefaultMaxValue<std::uint8_t>(0, 2, 10, DataType::DBYTEU8)
        .tag(Tag::SCALING_POINTS);
    EXPECT_EQ(
        errorsOf(builder.build()),
        Texts{
            "Version V02.01: KFAKTOR tags must be ascending from 0 to max (1) without gaps. Tag KFAKTOR1 is "
            "not present"});
}

TEST(Validator, CompleteScaledCalibrationAndReferencesAlone)
{
    ParameterSetBuilder complete;
    complete.version(v0201);
    floatParameter(complete, "K0", 0, Tag::KFAKTOR0);
    floatParameter(complete, "K1", 4, Tag::KFAKTOR1);
    floatParameter(complete, "R0", 8, Tag::REFERENCE0);
    floatParameter(complete, "R1", 12, Tag::REFERENCE1);
    complete.parameter("Points")
        .address(16)
        .minDefaultMaxValue<std::uint8_t>(0, 2, 10, DataType::DBYTEU8)
        .tag(Tag::SCALING_POINTS);
    EXPECT_TRUE(errorsOf(complete.build()).empty());

    ParameterSetBuilder referencesOnly;
    referencesOnly.version(v0201);
    floatParameter(referencesOnly, "R5", 0, Tag::REFERENCE5);
    EXPECT_TRUE(errorsOf(referencesOnly.build()).empty());
}

TEST(Validator, SeveralIndexedTagsOnOneParameter)
{
    ParameterSetBuilder builder;
    builder.version(v0201);
    floatParameter(builder, "K", 0, Tag::KFAKTOR0);
    builder.tag(Tag::KFAKTOR1).tag(Tag::REFERENCE0).tag(Tag::REFERENCE1).tag(Tag::REFERENCE2);
    builder.parameter("Points")
        .address(8)
        .minDefaultMaxValue<std::uint8_t>(0, 2, 10, DataType::DBYTEU8)
        .tag(Tag::SCALING_POINTS);
    EXPECT_EQ(errorsOf(builder.build()), (Texts{
                                             "Version V02.01 Parameter K: Multiple tags for KFAKTOR found",
                                             "Version V02.01 Parameter K: Multiple tags for REFERENCE found",
                                             "Version V02.01 Parameter K: Multiple tags for REFERENCE found",
                                         }));
}

TEST(Validator, ReferencesNeedMatchingParameters)
{
    ParameterSetBuilder builder;
    builder.version(v0201);
    builder.parameter("Max").address(0).minDefaultMaxValue<std::uint16_t>(0, 5, 9, DataType::DBYTEU16);
    builder.parameter("Min").address(2).minDefaultMaxValue<std::uint8_t>(0, 5, 9, DataType::DBYTEU8);
    builder.parameter("Ranged")
        .address(4)
        .minDefaultMaxValue<std::uint16_t>(0, 5, 9, DataType::DBYTEU16)
        .refMin(2)
        .refMax(0);
    builder.parameter("Dangling")
        .address(6)
        .minDefaultMaxValue<std::uint16_t>(0, 5, 9, DataType::DBYTEU16)
        .refMin(100)
        .refMax(200);
    builder.parameter("HalfReferenced")
        .address(8)
        .minDefaultMaxValue<std::uint16_t>(0, 5, 9, DataType::DBYTEU16)
        .refMin(300);
    EXPECT_EQ(
        errorsOf(builder.build()),
        (Texts{
            "Version V02.01 Parameter Dangling: RefMin address does not exist",
            "Version V02.01 Parameter Dangling: RefMax address does not exist",
            "Version V02.01 Parameter Ranged: RefMin type/length differ: Type=DBYTEU16, Length=1, Reference "
            "name=Min, Type=DBYTEU8, Length=1",
        }));
}

TEST(Validator, RulesRunInTheirOrder)
{
    // Set rules before parameter rules; parameters by name; device sets before
    // subdevice sets; traits last.
    ParameterSetBuilder device;
    device.version(v0201);
    device.parameter("b").address(65535).minDefaultMaxValue<std::uint16_t>(0, 1, 9, DataType::DBYTEU16);
    device.parameter("a")
        .address(0)
        .minDefaultMaxValue<std::uint8_t>(5, 1, 9, DataType::DBYTEU8)
        .tag(Tag::SCALING_POINTS);
    device.parameter("c")
        .address(0)
        .minDefaultMaxValue<std::uint8_t>(0, 1, 9, DataType::DBYTEU8)
        .tag(Tag::SCALING_POINTS);
    ParameterSetBuilder subdevice;
    subdevice.version(Version("V01.10"));
    subdevice.parameter("s").address(0).minDefaultMaxValue<std::uint8_t>(0, 10, 9, DataType::DBYTEU8);

    EXPECT_EQ(
        errorsOf(deviceWith({device.build()}, {subdevice.build()}, 2, 2)),
        (Texts{
            "Version V02.01 Parameter c: Addresses overlap: Start address=0, End address=0, Overlapping "
            "parameter=a, Start address=0, End address=0",
            "Version V02.01: Tag is not unique: SCALING_POINTS",
            "Version V02.01 Parameter a: Value must be between MinValue and MaxValue: MinValue=5, "
            "DefaultValue=1, MaxValue=9",
            "Version V02.01 Parameter b: Address exceeds maximum: Address=65535, End address=65536",
            "Version V01.10 Parameter s: Value must be between MinValue and MaxValue: MinValue=0, "
            "DefaultValue=10, MaxValue=9",
            "TestTrait: Queue address is not unique: GeneralQueueAddress=2, CalibrationQueueAddress=2",
        }));
}

} // namespace
