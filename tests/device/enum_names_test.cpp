#include <gtest/gtest.h>

#include <set>

#include "device/DataType.h"
#include "device/Identity.h"
#include "device/IoLink.h"
#include "device/Tag.h"
#include "device/Traits.h"

namespace
{
using namespace Hvd::Weft::Device;

// Every table must map names and values one to one, in ascending value order,
// or look-ups by name would find the wrong enumerator.
template <typename E> void expectConsistentTable()
{
    std::set<std::string_view> names;
    int previous = -1;
    for (const auto& [value, name] : EnumNames<E>::table)
    {
        EXPECT_TRUE(names.insert(name).second) << "duplicate name " << name;
        EXPECT_GT(static_cast<int>(value), previous) << name;
        previous = static_cast<int>(value);
        EXPECT_EQ(enumName(value), name);
        ASSERT_TRUE(enumFromName<E>(name).has_value()) << name;
        EXPECT_EQ(*enumFromName<E>(name), value);
    }
}

TEST(EnumNames, TablesAreConsistent)
{
    expectConsistentTable<DataType>();
    expectConsistentTable<Tag>();
    expectConsistentTable<Identity>();
    expectConsistentTable<AccessRight>();
    expectConsistentTable<InterfaceTraits::Type>();
    expectConsistentTable<OutputTraits::Name>();
    expectConsistentTable<EventTraits::Type>();
    expectConsistentTable<CalibrationTraits::AverageAlgorithm>();
}

TEST(EnumNames, DataTypeNamesAndLookUp)
{
    EXPECT_EQ(enumName(static_cast<DataType>(42)), "UNKNOWN");
    EXPECT_EQ(enumName(static_cast<DataType>(127)), "UNKNOWN");
    EXPECT_EQ(enumFromName<DataType>("UNKNOWN"), DataType::UNKNOWN);
    EXPECT_EQ(static_cast<int>(*enumFromName<DataType>("UNKNOWN")), 11);
    EXPECT_FALSE(enumFromName<DataType>("dfloat32").has_value());
    EXPECT_FALSE(enumFromName<DataType>("DFLOAT32 ").has_value());
    EXPECT_EQ(enumFromName<DataType>("ARRFLOAT64"), DataType::ARRFLOAT64);
}

} // namespace
