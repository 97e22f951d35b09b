#include <gtest/gtest.h>

#include "exception_text.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/Value.h"

namespace
{
using namespace Hvd::Weft::Device;
using DeviceTest::messageOf;
using Bytes = std::vector<std::uint8_t>;

Value decode(DataType type, const Bytes& bytes, std::size_t length)
{
    return Value::fromRawData(type, bytes.data(), length);
}

TEST(ValueConstruction, ScalarConstructorsChooseTheType)
{
    EXPECT_EQ(Value(static_cast<unsigned char>(1)).getType(), DataType::DBYTEU8);
    EXPECT_EQ(Value(static_cast<unsigned short>(1)).getType(), DataType::DBYTEU16);
    EXPECT_EQ(Value(1u).getType(), DataType::DBYTEU32);
    EXPECT_EQ(Value(1ull).getType(), DataType::DBYTEU64);
    EXPECT_EQ(Value(std::uint64_t{1}).getType(), DataType::DBYTEU64);
    EXPECT_EQ(Value(-1ll).getType(), DataType::DBYTEI64);
    EXPECT_EQ(Value(std::int64_t{-1}).getType(), DataType::DBYTEI64);
    EXPECT_EQ(Value(1.0f).getType(), DataType::DFLOAT32);
    EXPECT_EQ(Value(1.0, DataType::DFLOAT64).getType(), DataType::DFLOAT64);
    EXPECT_EQ(Value(1u).getLength(), 1);

    const Value invalid;
    EXPECT_FALSE(invalid.isValid());
    EXPECT_EQ(invalid.getType(), DataType::UNKNOWN);
    EXPECT_EQ(invalid.getLength(), 1);
}

TEST(ValueConstruction, CheckedConstructorsRejectOtherTypes)
{
    EXPECT_EQ(messageOf<std::invalid_argument>([] { Value(5.0, DataType::DBYTEU8); }),
              "Type must be either float or double: DBYTEU8");
    EXPECT_EQ(messageOf<std::invalid_argument>([] { Value(5.0, DataType::ARRFLOAT32); }),
              "Type must be either float or double: ARRFLOAT32");
    EXPECT_EQ(messageOf<std::invalid_argument>([] { Value(std::vector<double>{1.0}, DataType::DFLOAT32); }),
              "Type must be either float array or double array: DFLOAT32");
}

TEST(ValueConstruction, LengthsOfStringsAndArrays)
{
    EXPECT_EQ(Value(std::string("ABC")).getLength(), 3);
    EXPECT_EQ(Value(std::string()).getLength(), 0);
    EXPECT_EQ(Value(Bytes{1, 2}).getLength(), 2);
    EXPECT_EQ(Value(std::vector<double>{1, 2, 3}, DataType::ARRFLOAT64).getLength(), 3);
    // The length field has 16 bits; a longer value must not wrap around.
    EXPECT_THROW(Value(std::string(65536, 'x')), std::invalid_argument);
    EXPECT_EQ(Value(std::string(65535, 'x')).getLength(), 65535);
}

TEST(ValueEncoding, ScalarsAreLittleEndianAtTheirLimits)
{
    EXPECT_EQ(Value(static_cast<unsigned char>(0xFF)).toBytes(0), (Bytes{0xFF}));
    EXPECT_EQ(Value(static_cast<unsigned short>(0x1234)).toBytes(0), (Bytes{0x34, 0x12}));
    EXPECT_EQ(Value(static_cast<unsigned short>(0xFFFF)).toBytes(0), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(Value(0x12345678u).toBytes(0), (Bytes{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(Value(std::numeric_limits<unsigned long long>::max()).toBytes(0), Bytes(8, 0xFF));
    EXPECT_EQ(Value(-1ll).toBytes(0), Bytes(8, 0xFF));
    EXPECT_EQ(Value(std::numeric_limits<long long>::min()).toBytes(0), (Bytes{0, 0, 0, 0, 0, 0, 0, 0x80}));
    EXPECT_EQ(Value(1.0, DataType::DFLOAT32).toBytes(0), (Bytes{0x00, 0x00, 0x80, 0x3F}));
    EXPECT_EQ(Value(1.0, DataType::DFLOAT64).toBytes(0), (Bytes{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
    EXPECT_TRUE(Value().toBytes(4).empty());
}

TEST(ValueEncoding, StringsFillExactlyTheField)
{
    EXPECT_EQ(Value("AB").toBytes(4), (Bytes{0x41, 0x42, 0x00, 0x00}));
    EXPECT_EQ(Value("ABCDEF").toBytes(4), (Bytes{0x41, 0x42, 0x43, 0x44}));
    EXPECT_EQ(Value("ABCD").toBytes(4), (Bytes{0x41, 0x42, 0x43, 0x44}));
    EXPECT_EQ(Value("AB").toBytes(0), (Bytes{0x41, 0x42}));
    EXPECT_TRUE(Value("").toBytes(0).empty());
    EXPECT_EQ(Value("").toBytes(2), (Bytes{0, 0}));
}

TEST(ValueEncoding, Arrays)
{
    EXPECT_EQ(Value(Bytes{1, 6, 0}).toBytes(0), (Bytes{1, 6, 0}));
    EXPECT_EQ(Value(std::vector<double>{1.0, -2.0}, DataType::ARRFLOAT32).toBytes(0),
              (Bytes{0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0xC0}));
    EXPECT_EQ(Value(std::vector<double>{1.0}, DataType::ARRFLOAT64).toBytes(0).size(), 8u);
}

TEST(ValueDecoding, ScalarsRoundTripAtTheirLimits)
{
    const std::vector<Value> values = {
        Value(static_cast<unsigned char>(0xFF)),
        Value(static_cast<unsigned short>(0xFFFF)),
        Value(0xFFFFFFFFu),
        Value(std::numeric_limits<unsigned long long>::max()),
        Value(std::numeric_limits<long long>::min()),
        Value(std::numeric_limits<long long>::max()),
        Value(-1ll),
        Value(-99999.99f),
        Value(std::numeric_limits<double>::lowest(), DataType::DFLOAT64),
        Value(std::vector<double>{0.5, -1.25}, DataType::ARRFLOAT32),
        Value(std::vector<double>{0.1, 1e300}, DataType::ARRFLOAT64),
        Value(Bytes{0, 255, 7}),
    };
    for (const Value& value : values)
    {
        const Bytes bytes = value.toBytes(0);
        EXPECT_EQ(decode(value.getType(), bytes, value.getLength()), value) << value.toString();
    }
}

TEST(ValueDecoding, UnsignedValuesAreZeroExtended)
{
    EXPECT_EQ(decode(DataType::DBYTEU16, {0xFE, 0xFF}, 1).toU64(), 0xFFFEu);
    EXPECT_EQ(decode(DataType::DBYTEU32, {0, 0, 0, 0x80}, 1).toU64(), 0x80000000u);
    EXPECT_EQ(decode(DataType::DBYTEI64, Bytes(8, 0xFF), 1).toS64(), -1);
}

TEST(ValueDecoding, SingleIsWidenedToDouble)
{
    const Value value = decode(DataType::DFLOAT32, Value(0.1, DataType::DFLOAT32).toBytes(0), 1);
    EXPECT_EQ(value.toDouble(), static_cast<double>(0.1f));
    EXPECT_EQ(value.toString(), "0.10000000149011612");
}

TEST(ValueDecoding, StringsEndAtTheFirstZeroUnlessTheFieldIsFull)
{
    const Value ab = decode(DataType::ARRSTRING, {'A', 'B', 0, 0}, 4);
    EXPECT_EQ(ab.toString(), "AB");
    EXPECT_EQ(ab.getLength(), 2);
    const Value abcd = decode(DataType::ARRSTRING, {'A', 'B', 'C', 'D'}, 4);
    EXPECT_EQ(abcd.toString(), "ABCD");
    EXPECT_EQ(abcd.getLength(), 4);
    EXPECT_EQ(decode(DataType::ARRSTRING, {'A', 0, 'B', 0}, 4).toString(), "A");
    // Only the last byte decides: a zero inside a full field is kept.
    EXPECT_EQ(decode(DataType::ARRSTRING, {'A', 0, 'B'}, 3).getLength(), 3);
    EXPECT_EQ(decode(DataType::ARRSTRING, {}, 0).getLength(), 0);
}

TEST(ValueDecoding, NothingToDecode)
{
    EXPECT_FALSE(decode(DataType::UNKNOWN, {1, 2}, 2).isValid());
    EXPECT_FALSE(decode(static_cast<DataType>(40), {1, 2}, 2).isValid());
    // A scalar without its bytes is not read past the buffer.
    EXPECT_FALSE(decode(DataType::DBYTEU32, {}, 0).isValid());
    EXPECT_FALSE(Value::fromRawData(DataType::DBYTEU8, nullptr, 1).isValid());
}

TEST(ValueConversion, NumbersAndTexts)
{
    EXPECT_EQ(Value(static_cast<unsigned short>(300)).toU8(), 44);
    EXPECT_EQ(Value(-1ll).toU8(), 255);
    EXPECT_EQ(Value(300.7, DataType::DFLOAT64).toU8(), 44);
    EXPECT_EQ(Value(-1.5, DataType::DFLOAT64).toU8(), 255);
    EXPECT_EQ(Value(-1.5, DataType::DFLOAT64).toS64(), -1);
    EXPECT_EQ(Value("  -12abc").toS64(), -12);
    EXPECT_EQ(Value("+7").toU8(), 7);
    EXPECT_EQ(Value("300").toU8(), 44);
    EXPECT_EQ(Value("x12").toU32(), 0u);
    EXPECT_EQ(Value("99999999999999999999999").toU64(), 0u);
    EXPECT_DOUBLE_EQ(Value(" 82.5mm").toDouble(), 82.5);
    EXPECT_EQ(Value("abc").toDouble(), 0.0);
    EXPECT_EQ(Value("1e999").toDouble(), 0.0);
    EXPECT_EQ(Value(Bytes{9, 1}).toDouble(), 9.0);
    EXPECT_EQ(Value(Bytes{}).toU8(), 0);
    EXPECT_EQ(Value(std::vector<double>{2.9}, DataType::ARRFLOAT64).toU16(), 2);
    EXPECT_EQ(Value().toDouble(), 0.0);
    EXPECT_EQ(Value().toU64(), 0u);
}

TEST(ValueConversion, OutOfRangeDoublesAreDefined)
{
    EXPECT_EQ(Value(std::nan(""), DataType::DFLOAT64).toU8(), 0);
    EXPECT_EQ(Value(1e30, DataType::DFLOAT64).toS64(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(Value(-1e30, DataType::DFLOAT64).toS64(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(Value(1e30, DataType::DFLOAT64).toU64(), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(Value(1.8e19, DataType::DFLOAT64).toU64(), 18000000000000000000ull);
}

TEST(ValueConversion, ArraysElementWise)
{
    EXPECT_EQ(Value(std::vector<double>{1.9, 256.0, -1.0}, DataType::ARRFLOAT32).toU8Array(),
              (Bytes{1, 0, 255}));
    EXPECT_EQ(Value(Bytes{1, 2}).toDoubleArray(), (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(Value(std::vector<double>{0.1}, DataType::ARRFLOAT64).toFloatArray(),
              (std::vector<float>{0.1f}));
    EXPECT_EQ(Value(2.5f).toDoubleArray(), (std::vector<double>{2.5}));
    EXPECT_EQ(Value("12").toU8Array(), (Bytes{12}));
    EXPECT_TRUE(Value().toDoubleArray().empty());
}

TEST(ValueConversion, TextForms)
{
    EXPECT_EQ(Value(Bytes{1, 6, 0}).toString(), "1;6;0");
    EXPECT_EQ(Value().toString(), "");
    EXPECT_EQ(Value(100.0, DataType::DFLOAT64).toString(), "100");
    EXPECT_EQ(Value(-99999.99, DataType::DFLOAT32).toString(), "-99999.99");
    EXPECT_EQ(Value(-5ll).toString(), "-5");
    EXPECT_EQ(Value(std::numeric_limits<unsigned long long>::max()).toString(), "18446744073709551615");
    EXPECT_EQ(Value(std::vector<double>{1.5, 100.0}, DataType::ARRFLOAT64).toString(), "1.5;100");
}

TEST(ValueConversion, ToOtherDataType)
{
    EXPECT_EQ(Value(2.7, DataType::DFLOAT32).toDataType(DataType::DBYTEU16),
              Value(static_cast<unsigned short>(2)));
    EXPECT_EQ(Value(static_cast<unsigned char>(7)).toDataType(DataType::DFLOAT64),
              Value(7.0, DataType::DFLOAT64));
    EXPECT_EQ(Value(static_cast<unsigned char>(7)).toDataType(DataType::ARRSTRING), Value("7"));
    EXPECT_EQ(Value(Bytes{1, 2}).toDataType(DataType::ARRFLOAT32),
              Value(std::vector<double>{1, 2}, DataType::ARRFLOAT32));
    EXPECT_FALSE(Value(1u).toDataType(DataType::UNKNOWN).isValid());
}

TEST(ValueOrder, ArraysCompareElementWise)
{
    EXPECT_FALSE(Value(Bytes{1, 9}) <= Value(Bytes{2, 3}));
    EXPECT_FALSE(Value(Bytes{2, 3}) <= Value(Bytes{1, 9}));
    EXPECT_TRUE(Value(Bytes{5}) <= Value(Bytes{1, 1}));
    EXPECT_TRUE(Value(Bytes{1, 3}) <= Value(Bytes{2, 3}));
    EXPECT_TRUE(Value(Bytes{}) <= Value(Bytes{}));
    const double nan = std::nan("");
    EXPECT_FALSE(Value(std::vector<double>{1, nan}, DataType::ARRFLOAT64) <=
                 Value(std::vector<double>{2, 2}, DataType::ARRFLOAT64));
}

TEST(ValueOrder, ScalarsStringsAndTypes)
{
    EXPECT_TRUE(Value(1u) <= Value(1u));
    EXPECT_FALSE(Value(2u) <= Value(1u));
    EXPECT_TRUE(Value(-5ll) <= Value(3ll));
    EXPECT_TRUE(Value(-99999.99, DataType::DFLOAT32) <= Value(100000.0, DataType::DFLOAT32));
    EXPECT_FALSE(Value(std::nan(""), DataType::DFLOAT32) <= Value(1.0, DataType::DFLOAT32));
    EXPECT_FALSE(Value(1.0, DataType::DFLOAT32) <= Value(std::nan(""), DataType::DFLOAT32));
    // The length decides first, then the bytes.
    EXPECT_TRUE(Value("b") <= Value("aa"));
    EXPECT_TRUE(Value("ab") <= Value("ac"));
    EXPECT_FALSE(Value("ac") <= Value("ab"));
    // Different types order by type.
    EXPECT_TRUE(Value(static_cast<unsigned char>(200)) <= Value(static_cast<unsigned short>(1)));
    EXPECT_FALSE(Value(static_cast<unsigned short>(1)) <= Value(static_cast<unsigned char>(200)));
    EXPECT_TRUE(Value() <= Value());
}

} // namespace
