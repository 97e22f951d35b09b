#include "communication_test_support.h"

#include "communication/TransferableData.h"
#include "communication/VeltrixDeviceService.h"
#include "communication/internal/Parameter.h"
#include "communication/internal/VeltrixDeviceServiceAccess.h"

#include <gtest/gtest.h>

using namespace Hvd::Weft::Communication;
using CommTest::makeParameter;
using Hvd::Weft::Device::DataType;
using Hvd::Weft::Device::Parameter;
using Hvd::Weft::Device::ParameterSetting;
using Hvd::Weft::Device::Value;
using Type = Address::Type;

namespace
{

Device deviceWith(std::array<std::uint8_t, 5> bytes)
{
    Device device;
    device.address.bytes = bytes;
    return device;
}

const Device plainDevice = deviceWith({19, 0, 4, 0, 0});
const Device fullDevice = deviceWith({19, 0, 4, 0, 2});

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (int value : values)
        bytes.append(static_cast<char>(value));
    return bytes;
}

Parameter byteArray(const std::string& name, std::uint16_t address, std::uint16_t length,
                    std::uint8_t fill = 0)
{
    return makeParameter(name, DataType::ARRBYTE, length, address,
                         Value(std::vector<std::uint8_t>(length, fill)));
}

std::vector<std::pair<Type, std::uint16_t>> layout(const Internal::Chunks<50>& chunks)
{
    std::vector<std::pair<Type, std::uint16_t>> result;
    for (const auto& chunk : chunks.chunks)
        result.emplace_back(chunk.type, chunk.address);
    return result;
}

std::vector<int> sizes(const Internal::Chunks<50>& chunks)
{
    std::vector<int> result;
    for (const auto& chunk : chunks.chunks)
        result.push_back(static_cast<int>(chunk.data.size()));
    return result;
}

} // namespace

TEST(Chunking, NoParametersGiveNothing)
{
    ParameterRefs none;
    ParameterRefs noneEither;
    EXPECT_FALSE(VeltrixDeviceServiceAccess::combinedChunks(fullDevice, none, noneEither).has_value());
}

TEST(Chunking, BackToBackParametersMergeAndLongRunsSplitAtFifty)
{
    const Parameter a = makeParameter("a", DataType::DBYTEU32, 1, 0, Value(0x04030201u));
    const Parameter b = makeParameter("b", DataType::DFLOAT32, 1, 4, Value(1.0f));
    const Parameter c = byteArray("c", 40, 80, 0xAB);
    ParameterRefs device{c, b, a};
    ParameterRefs sub;

    const auto chunks = VeltrixDeviceServiceAccess::combinedChunks(plainDevice, device, sub);
    ASSERT_TRUE(chunks.has_value());
    EXPECT_TRUE(chunks->valid);
    EXPECT_EQ(chunks->device, plainDevice);
    EXPECT_EQ(layout(*chunks), (std::vector<std::pair<Type, std::uint16_t>>{
                                   {Type::Device, 0}, {Type::Device, 40}, {Type::Device, 90}}));
    EXPECT_EQ(sizes(*chunks), (std::vector<int>{8, 50, 30}));
    EXPECT_EQ(chunks->chunks[0].data, bytesOf({0x01, 0x02, 0x03, 0x04, 0x00, 0x00, 0x80, 0x3F}));
    EXPECT_EQ(chunks->chunks[2].data, QByteArray(30, static_cast<char>(0xAB)));
    // The caller's list is left sorted by address.
    EXPECT_EQ(device[0].get().getName(), "a");
    EXPECT_EQ(device[2].get().getName(), "c");
}

TEST(Chunking, ChunkBoundaryAtExactlyFiftyBytes)
{
    const Parameter fifty = byteArray("fifty", 100, 50);
    const Parameter fiftyOne = byteArray("fiftyOne", 300, 51);
    ParameterRefs one{fifty};
    ParameterRefs none;
    auto chunks = VeltrixDeviceServiceAccess::combinedChunks(plainDevice, one, none);
    EXPECT_EQ(sizes(*chunks), (std::vector<int>{50}));

    ParameterRefs other{fiftyOne};
    chunks = VeltrixDeviceServiceAccess::combinedChunks(plainDevice, other, none);
    EXPECT_EQ(sizes(*chunks), (std::vector<int>{50, 1}));
    EXPECT_EQ(layout(*chunks),
              (std::vector<std::pair<Type, std::uint16_t>>{{Type::Device, 300}, {Type::Device, 350}}));
}

TEST(Chunking, OverlappingParametersFormSeparateRuns)
{
    const Parameter first = byteArray("first", 10, 8, 0x11);
    const Parameter inside = byteArray("inside", 14, 4, 0x22);
    ParameterRefs device{inside, first};
    ParameterRefs none;
    const auto chunks = VeltrixDeviceServiceAccess::combinedChunks(plainDevice, device, none);
    EXPECT_EQ(layout(*chunks),
              (std::vector<std::pair<Type, std::uint16_t>>{{Type::Device, 10}, {Type::Device, 14}}));
    EXPECT_EQ(chunks->chunks[0].data, QByteArray(8, 0x11));
    EXPECT_EQ(chunks->chunks[1].data, QByteArray(4, 0x22));
}

TEST(Chunking, SubDeviceChunksFollowTheDeviceAddressType)
{
    const Parameter deviceParameter = makeParameter("d", DataType::DBYTEU8, 1, 5, Value(std::uint8_t{1}));
    const Parameter subParameter = makeParameter("s", DataType::DBYTEU8, 1, 2, Value(std::uint8_t{2}));
    const std::vector<std::pair<Device, Type>> cases{{fullDevice, Type::DeviceAndSubDevice},
                                                     {deviceWith({19, 0, 0, 0, 2}), Type::SubDevice},
                                                     // Sent to the whole address then.
                                                     {plainDevice, Type::Invalid}};
    for (const auto& [device, expected] : cases)
    {
        ParameterRefs deviceList{deviceParameter};
        ParameterRefs subList{subParameter};
        const auto chunks = VeltrixDeviceServiceAccess::combinedChunks(device, deviceList, subList);
        EXPECT_EQ(layout(*chunks),
                  (std::vector<std::pair<Type, std::uint16_t>>{{Type::Device, 5}, {expected, 2}}));
    }
}

TEST(Chunking, CurrentValueIsSentWhenValidOtherwiseTheDefault)
{
    Parameter current = makeParameter("current", DataType::DBYTEU16, 1, 0, Value(std::uint16_t{0x1111}));
    current.setCurrentValue(Value(std::uint16_t{0x1234}));
    const Parameter fallback =
        makeParameter("fallback", DataType::DBYTEU16, 1, 2, Value(std::uint16_t{0x5678}));
    ParameterRefs device{current, fallback};
    ParameterRefs none;
    const auto chunks = VeltrixDeviceServiceAccess::combinedChunks(plainDevice, device, none);
    EXPECT_EQ(chunks->chunks[0].data, bytesOf({0x34, 0x12, 0x78, 0x56}));
}

TEST(Chunking, AValueOfTheWrongSizeDoesNotMoveItsNeighbour)
{
    Parameter shortValue = byteArray("short", 0, 4);
    shortValue.setCurrentValueIgnoreConstraints(Value(std::vector<std::uint8_t>{1, 2}));
    const Parameter after = makeParameter("after", DataType::DBYTEU8, 1, 4, Value(std::uint8_t{9}));
    ParameterRefs device{shortValue, after};
    ParameterRefs none;
    const auto chunks = VeltrixDeviceServiceAccess::combinedChunks(plainDevice, device, none);
    EXPECT_EQ(chunks->chunks[0].data, bytesOf({1, 2, 0, 0, 9}));
}

TEST(Chunking, ARunWithoutBytesMakesTheListInvalid)
{
    const Parameter unknown = makeParameter("unknown", DataType::UNKNOWN, 4, 100);
    const Parameter good = makeParameter("good", DataType::DBYTEU8, 1, 0, Value(std::uint8_t{1}));
    ParameterRefs device{good, unknown};
    ParameterRefs none;
    const auto chunks = VeltrixDeviceServiceAccess::combinedChunks(plainDevice, device, none);
    ASSERT_TRUE(chunks.has_value());
    EXPECT_FALSE(chunks->valid);
    EXPECT_EQ(sizes(*chunks), (std::vector<int>{1}));
}

TEST(ReadDecoding, OnePositionRunsThroughBothListsInAddressOrder)
{
    const Parameter number = makeParameter("number", DataType::DBYTEU16, 1, 0);
    const Parameter ratio = makeParameter("ratio", DataType::DFLOAT32, 1, 2);
    const Parameter text = makeParameter("text", DataType::ARRSTRING, 4, 50);
    const Parameter subFactor = makeParameter("subFactor", DataType::DFLOAT64, 1, 8);
    ParameterRefs device{text, ratio, number};
    ParameterRefs sub{subFactor};
    // The chunking sorts the lists; decoding relies on that order.
    ASSERT_TRUE(VeltrixDeviceServiceAccess::combinedChunks(fullDevice, device, sub));

    QByteArray data = bytesOf({0x34, 0x12, 0x00, 0x00, 0xC0, 0x3F, 'A', 'B', 0, 0});
    data.append(bytesOf({0, 0, 0, 0, 0, 0, 0x04, 0x40}));

    std::vector<ParameterSetting> deviceSettings;
    std::vector<ParameterSetting> subSettings;
    qsizetype position = 0;
    decodeReadData(data, position, device, deviceSettings);
    decodeReadData(data, position, sub, subSettings);

    ASSERT_EQ(deviceSettings.size(), 3u);
    EXPECT_EQ(deviceSettings[0].getName(), "number");
    EXPECT_EQ(deviceSettings[0].getValue().toU16(), 0x1234);
    EXPECT_EQ(deviceSettings[1].getType(), DataType::DFLOAT32);
    EXPECT_DOUBLE_EQ(deviceSettings[1].getValue().toDouble(), 1.5);
    EXPECT_EQ(deviceSettings[2].getValue().toString(), "AB");
    ASSERT_EQ(subSettings.size(), 1u);
    EXPECT_DOUBLE_EQ(subSettings[0].getValue().toDouble(), 2.5);
    EXPECT_EQ(position, data.size());
}

TEST(ReadDecoding, ShortDataLeavesTheLaterParametersOut)
{
    const Parameter first = makeParameter("first", DataType::DBYTEU32, 1, 0);
    const Parameter second = makeParameter("second", DataType::DBYTEU32, 1, 4);
    const ParameterRefs list{first, second};
    std::vector<ParameterSetting> settings;
    qsizetype position = 0;
    decodeReadData(bytesOf({1, 0, 0, 0, 2, 0}), position, list, settings);
    ASSERT_EQ(settings.size(), 1u);
    EXPECT_EQ(settings[0].getValue().toU32(), 1u);
    EXPECT_EQ(position, 4);
}

namespace
{
Internal::Chunks<50> chunkList(std::initializer_list<std::pair<Type, std::uint16_t>> entries, int size = 2)
{
    Internal::Chunks<50> chunks;
    chunks.device = fullDevice;
    for (const auto& [type, address] : entries)
        chunks.chunks.append({type, address, QByteArray(size, 0x5A)});
    return chunks;
}

std::vector<std::vector<int>> shape(const Internal::Sequences& plan)
{
    std::vector<std::vector<int>> result;
    for (const auto& sequence : plan.list)
    {
        std::vector<int> commands;
        for (const auto& item : sequence.items)
            commands.push_back(item.command);
        commands.push_back(static_cast<int>(sequence.addressType));
        result.push_back(commands);
    }
    return result;
}
} // namespace

// Each inner list: the commands of one session, then its address type.
TEST(TransferPlans, EveryGroupOfOneAddressTypeEndsWithTakeIntoRam)
{
    const auto plan = Internal::Parameter::writePlan(
        chunkList({{Type::Device, 0}, {Type::Device, 50}, {Type::DeviceAndSubDevice, 8}}), false);
    EXPECT_EQ(shape(plan), (std::vector<std::vector<int>>{{131, 0}, {131, 0}, {132, 0}, {131, 2}, {132, 2}}));
    EXPECT_EQ(plan.commandCount(), 5u);
}

TEST(TransferPlans, ReadBackGoesIntoTheSameSessionAsItsWrite)
{
    const auto plan = Internal::Parameter::writePlan(chunkList({{Type::Device, 399}}, 16), true);
    EXPECT_EQ(shape(plan), (std::vector<std::vector<int>>{{131, 130, 0}, {132, 0}}));
    EXPECT_EQ(plan.commandCount(), 3u);
    const auto& write = plan.list[0].items[0].data;
    const auto& readBack = plan.list[0].items[1].data;
    EXPECT_EQ(write.value("Address").toUInt(), 399u);
    EXPECT_EQ(write.value("BytesToWrite").toUInt(), 16u);
    EXPECT_EQ(write.value("Bytes").toByteArray(), QByteArray(16, 0x5A));
    EXPECT_EQ(readBack.value("Address").toUInt(), 399u);
    EXPECT_EQ(readBack.value("BytesToRead").toUInt(), 16u);
}

TEST(TransferPlans, ReadSendsOneSessionPerChunk)
{
    const auto plan = Internal::Parameter::readPlan(chunkList({{Type::Device, 0}, {Type::SubDevice, 20}}, 7));
    EXPECT_EQ(shape(plan), (std::vector<std::vector<int>>{{130, 0}, {130, 1}}));
    EXPECT_EQ(plan.list[1].items[0].data.value("Address").toUInt(), 20u);
    EXPECT_EQ(plan.list[1].items[0].data.value("BytesToRead").toUInt(), 7u);
}
