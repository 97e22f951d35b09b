#include "units/Units.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

using namespace Hvd::Unit;

namespace
{
std::uint32_t bits(float value)
{
    return std::bit_cast<std::uint32_t>(value);
}

// Converts v litres per minute into `unit`, in single precision throughout.
float fromLitersPerMinute(float v, FlowType unit)
{
    const UserUnit<float> none{1.0f};
    const VolumeFlow si = v * toConversionFactor(FlowType::User, none);
    return si / toConversionFactor(unit, none);
}
} // namespace

TEST(Units, LengthConstantsAndSinglePrecisionProducts)
{
    EXPECT_EQ(bits(milliMeter.value()), 0x3A83126Fu);
    EXPECT_EQ(bits(inch.value()), 0x3CD013A9u);
    EXPECT_EQ((131.7f * milliMeter).value(), 0.13170001f);
    EXPECT_EQ(bits((131.7f * milliMeter).value()), bits(0.13170001f));
}

TEST(Units, FlowFactorsHaveTheSensorsExactBits)
{
    const UserUnit<float> user{1.0f};
    const std::uint32_t expected[] = {0x378BCF65, 0x378BCF65, 0x328F2A63, 0x3495217D, 0x3991A2B4, 0x38844F30,
                                      0x358D2144, 0x389EE5D1, 0x35A97DAC, 0x3A83126F, 0x358637BD};
    for (std::uint8_t code = 0; code <= 10; ++code)
        EXPECT_EQ(bits(toConversionFactor(static_cast<FlowType>(code), user).value()), expected[code])
            << "code " << int(code);
}

TEST(Units, UserFactorCountsOnlyForTheUserUnit)
{
    const UserUnit<float> twice{2.0f};
    EXPECT_EQ(toConversionFactor(FlowType::CubicMeterPerHour, twice).value(), 0.00027777778f);
    EXPECT_EQ(toConversionFactor(FlowType::User, twice).value(), 1.6666667e-05f * 2.0f);
}

TEST(Units, UnknownCodesGiveNaAndASignallingNaN)
{
    const auto nan = toConversionFactor(static_cast<FlowType>(11), UserUnit<float>{1.0f});
    EXPECT_TRUE(std::isnan(nan.value()));
    EXPECT_EQ(bits(nan.value()), 0x7FA00000u);
    EXPECT_STREQ(toString(static_cast<FlowType>(11)), "NA");
    EXPECT_STREQ(toString(static_cast<LengthType>(5)), "NA");
    // The NaN propagates into every result computed from it.
    EXPECT_TRUE(std::isnan(fromLitersPerMinute(100.0f, static_cast<FlowType>(200))));
}

TEST(Units, Texts)
{
    EXPECT_STREQ(toString(FlowType::CubicMeterPerHour), "m3/h");
    EXPECT_STREQ(toString(FlowType::UsGallonPerMinute), "gals/m");
    EXPECT_STREQ(toString(FlowType::MilliLiterPerSecond), "mL/s");
    EXPECT_STREQ(toString(FlowType::User), "User");
    EXPECT_STREQ(toString(LengthType::MilliMeter), "mm");
    EXPECT_STREQ(toString(LengthType::Inch), "in");
}

TEST(Units, FlowConversionUsesTheRoundedGallon)
{
    EXPECT_EQ(fromLitersPerMinute(100.0f, FlowType::CubicMeterPerHour), 6.0f);
    EXPECT_EQ(fromLitersPerMinute(100.0f, FlowType::UsGallonPerMinute), 26.417286f);
    EXPECT_NE(fromLitersPerMinute(100.0f, FlowType::UsGallonPerMinute), 26.41721f);
}

TEST(Units, QuantityArithmetic)
{
    const Length a = 2.0f * milliMeter;
    const Length b = 3.0f * milliMeter;
    EXPECT_LT(a, b);
    EXPECT_FLOAT_EQ((a + b).value(), 0.005f);
    EXPECT_FLOAT_EQ(b / a, 1.5f);
    const Quantity<0, 2, 0, 0, float> area = a * b;
    EXPECT_FLOAT_EQ(area.value(), 6e-06f);
}
