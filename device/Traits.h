#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/DataType.h"
#include "device/EnumNames.h"
#include "device/Exceptions.h"
#include "device/IoLink.h"

namespace Hvd::Weft::Device
{

// How the device is reached: the serial interface and its timing.
class InterfaceTraits
{
public:
    enum class Type : std::uint8_t
    {
        Unknown,
        UART,
    };

    // The device's five-byte bus address.
    class Address
    {
    public:
        Address() = default;
        explicit Address(const std::array<std::uint8_t, 5>& bytes)
            : mBytes(bytes)
        {
        }
        const std::array<std::uint8_t, 5>& getBytes() const { return mBytes; }
        // Decimal bytes joined by ".", e.g. "19.0.4.0.2".
        std::string toString() const;
        friend bool operator==(const Address&, const Address&) = default;

    private:
        std::array<std::uint8_t, 5> mBytes{};
    };

    class Builder;
    static Builder builder();

    const std::string& getName() const { return mName; }
    Type getType() const { return mType; }
    const Address& getAddress() const { return mAddress; }
    bool isHalfDuplex() const { return mHalfDuplex; }
    std::uint16_t getStartUp_ms() const { return mStartUp_ms; }
    std::uint16_t getPowerDown_ms() const { return mPowerDown_ms; }

private:
    std::string mName;
    Type mType = Type::Unknown;
    Address mAddress;
    bool mHalfDuplex = false;
    std::uint16_t mStartUp_ms = 0;
    std::uint16_t mPowerDown_ms = 0;
};

class InterfaceTraits::Builder
{
public:
    Builder& name(std::string value);
    Builder& type(Type value);
    Builder& address(Address value);
    Builder& halfDuplex(bool value);
    Builder& startUp_ms(std::uint16_t value);
    Builder& powerDown_ms(std::uint16_t value);
    InterfaceTraits build() const { return mResult; }

private:
    InterfaceTraits mResult;
};

inline InterfaceTraits::Builder InterfaceTraits::builder()
{
    return {};
}

template <> struct EnumNames<InterfaceTraits::Type>
{
    static constexpr std::array<std::pair<InterfaceTraits::Type, std::string_view>, 2> table{{
        {InterfaceTraits::Type::Unknown, "Unknown"},
        {InterfaceTraits::Type::UART, "UART"},
    }};
    static constexpr std::string_view fallback = "Unknown";
};

// Capabilities of one output of the device.
class OutputTraits
{
public:
    enum class Name : std::uint8_t
    {
        OUT1,
        OUT2,
        Unknown,
    };

    Name getName() const { return mName; }
    bool hasAlarm() const { return mAlarm; }
    bool hasCtrlInput() const { return mCtrlInput; }
    bool hasCurrent() const { return mCurrent; }
    bool hasFrequency() const { return mFrequency; }
    bool hasIoLink() const { return mIoLink; }
    bool hasVeltrix() const { return mVeltrix; }
    bool hasPulse() const { return mPulse; }
    bool hasVoltage() const { return mVoltage; }

private:
    friend class OutputTraitsContainer;

    Name mName = Name::Unknown;
    bool mAlarm = false;
    bool mCtrlInput = false;
    bool mCurrent = false;
    bool mFrequency = false;
    bool mIoLink = false;
    bool mVeltrix = false;
    bool mPulse = false;
    bool mVoltage = false;
};

template <> struct EnumNames<OutputTraits::Name>
{
    static constexpr std::array<std::pair<OutputTraits::Name, std::string_view>, 3> table{{
        {OutputTraits::Name::OUT1, "OUT1"},
        {OutputTraits::Name::OUT2, "OUT2"},
        {OutputTraits::Name::Unknown, "Unknown"},
    }};
    static constexpr std::string_view fallback = "Unknown";
};

// Up to two outputs, OUT1 and OUT2; outputs of other names are not kept.
class OutputTraitsContainer
{
public:
    // name(…) opens an output; the flag setters fill the open one. A second
    // OUT1 or OUT2 throws IdentifierNotUniqueException ("Outputs").
    class Builder
    {
    public:
        Builder& name(OutputTraits::Name value);
        Builder& alarm(bool value);
        Builder& ctrlInput(bool value);
        Builder& current(bool value);
        Builder& frequency(bool value);
        Builder& ioLink(bool value);
        Builder& veltrix(bool value);
        Builder& pulse(bool value);
        Builder& voltage(bool value);
        OutputTraitsContainer build() const;

    private:
        OutputTraits& open();
        std::vector<OutputTraits> mOutputs;
    };

    static Builder builder() { return {}; }

    bool contains(OutputTraits::Name name) const;
    // Throws std::invalid_argument for an output the device does not have.
    const OutputTraits& at(OutputTraits::Name name) const;
    const std::vector<OutputTraits>& getOutputs() const { return mOutputs; }

private:
    std::vector<OutputTraits> mOutputs;
};

namespace Internal
{

template <typename Derived, typename Record, typename Container> class NamedRecordsBuilder;

// Name, description and address shared by the IO-Link records.
class NamedTraits
{
public:
    const std::string& getName() const { return mName; }
    const std::string& getDescription() const { return mDescription; }
    std::uint16_t getAddress() const { return mAddress; }

private:
    template <typename Derived, typename Record, typename Container> friend class NamedRecordsBuilder;

    std::string mName;
    std::string mDescription;
    std::uint16_t mAddress = 0;
};

// Records with unique names, in the order they were added.
template <typename Record> class NamedRecords
{
public:
    NamedRecords() = default;
    explicit NamedRecords(std::vector<Record> items)
        : mItems(std::move(items))
    {
    }

    const std::vector<Record>& getItems() const { return mItems; }
    std::size_t size() const { return mItems.size(); }
    bool isEmpty() const { return mItems.empty(); }
    auto begin() const { return mItems.begin(); }
    auto end() const { return mItems.end(); }

    bool contains(const std::string& name) const { return find(name) != nullptr; }
    const Record* find(const std::string& name) const
    {
        for (const Record& record : mItems)
        {
            if (record.getName() == name)
                return &record;
        }
        return nullptr;
    }

private:
    std::vector<Record> mItems;
};

// name(…) opens a record, throwing IdentifierNotUniqueException with the
// container's kind for a name used before; the other setters fill the open
// record (an unnamed one when none was opened).
template <typename Derived, typename Record, typename Container> class NamedRecordsBuilder
{
public:
    Derived& name(std::string value)
    {
        if (std::any_of(mRecords.begin(), mRecords.end(),
                        [&](const Record& record) { return record.getName() == value; }))
            throw IdentifierNotUniqueException(Container::kind, value);
        static_cast<NamedTraits&>(mRecords.emplace_back()).mName = std::move(value);
        return self();
    }
    Derived& description(std::string value)
    {
        static_cast<NamedTraits&>(open()).mDescription = std::move(value);
        return self();
    }
    Derived& address(std::uint16_t value)
    {
        static_cast<NamedTraits&>(open()).mAddress = value;
        return self();
    }
    Container build() const { return Container(mRecords); }

protected:
    Record& open()
    {
        if (mRecords.empty())
            mRecords.emplace_back();
        return mRecords.back();
    }
    Derived& self() { return static_cast<Derived&>(*this); }

private:
    std::vector<Record> mRecords;
};

} // namespace Internal

class CommandTraits : public Internal::NamedTraits
{
};

class EventTraits : public Internal::NamedTraits
{
public:
    enum class Type : std::uint8_t
    {
        Message,
        Warning,
        Error,
    };

    std::uint8_t getDeviceStatus() const { return mDeviceStatus; }
    Type getType() const { return mType; }

private:
    friend class EventTraitsContainer;

    std::uint8_t mDeviceStatus = 0;
    Type mType = Type::Message;
};

template <> struct EnumNames<EventTraits::Type>
{
    static constexpr std::array<std::pair<EventTraits::Type, std::string_view>, 3> table{{
        {EventTraits::Type::Message, "Message"},
        {EventTraits::Type::Warning, "Warning"},
        {EventTraits::Type::Error, "Error"},
    }};
    static constexpr std::string_view fallback = "";
};

class SystemDataObjectTraits : public Internal::NamedTraits
{
public:
    DataType getType() const { return mType; }
    AccessRight getFactoryAccess() const { return mFactoryAccess; }
    AccessRight getUserAccess() const { return mUserAccess; }

private:
    friend class SystemDataObjectTraitsContainer;

    DataType mType = DataType::UNKNOWN;
    AccessRight mFactoryAccess = AccessRight::Read;
    AccessRight mUserAccess = AccessRight::Read;
};

class CommandTraitsContainer : public Internal::NamedRecords<CommandTraits>
{
public:
    static constexpr const char* kind = "Command";
    using NamedRecords::NamedRecords;

    class Builder : public Internal::NamedRecordsBuilder<Builder, CommandTraits, CommandTraitsContainer>
    {
    };

    static Builder builder() { return {}; }
};

class EventTraitsContainer : public Internal::NamedRecords<EventTraits>
{
public:
    static constexpr const char* kind = "Event";
    using NamedRecords::NamedRecords;

    class Builder : public Internal::NamedRecordsBuilder<Builder, EventTraits, EventTraitsContainer>
    {
    public:
        Builder& deviceStatus(std::uint8_t value);
        Builder& type(EventTraits::Type value);
    };

    static Builder builder() { return {}; }
};

class SystemDataObjectTraitsContainer : public Internal::NamedRecords<SystemDataObjectTraits>
{
public:
    static constexpr const char* kind = "SystemDataObject";
    using NamedRecords::NamedRecords;

    class Builder : public Internal::NamedRecordsBuilder<Builder, SystemDataObjectTraits,
                                                         SystemDataObjectTraitsContainer>
    {
    public:
        Builder& type(DataType value);
        Builder& factoryAccess(AccessRight value);
        Builder& userAccess(AccessRight value);
    };

    static Builder builder() { return {}; }
};

// IO-Link commands, events and system data objects of the device.
class IoLinkTraits
{
public:
    IoLinkTraits() = default;
    IoLinkTraits(CommandTraitsContainer commands, EventTraitsContainer events,
                 SystemDataObjectTraitsContainer systemDataObjects)
        : mCommands(std::move(commands))
        , mEvents(std::move(events))
        , mSystemDataObjects(std::move(systemDataObjects))
    {
    }

    const CommandTraitsContainer& getCommands() const { return mCommands; }
    const EventTraitsContainer& getEvents() const { return mEvents; }
    const SystemDataObjectTraitsContainer& getSystemDataObjects() const { return mSystemDataObjects; }

private:
    CommandTraitsContainer mCommands;
    EventTraitsContainer mEvents;
    SystemDataObjectTraitsContainer mSystemDataObjects;
};

class CalibrationTraits
{
public:
    enum class AverageAlgorithm : std::uint8_t
    {
        Standard,
        Gauss,
    };

    std::size_t getSlot() const { return mSlot; }
    float getDeviationPercent() const { return mDeviationPercent; }
    std::size_t getSampleCount() const { return mSampleCount; }
    AverageAlgorithm getAverageAlgorithm() const { return mAverageAlgorithm; }

private:
    friend class CalibrationTraitsContainer;

    std::size_t mSlot = 0;
    float mDeviationPercent = 0.0f;
    std::size_t mSampleCount = 0;
    AverageAlgorithm mAverageAlgorithm = AverageAlgorithm::Standard;
};

template <> struct EnumNames<CalibrationTraits::AverageAlgorithm>
{
    static constexpr std::array<std::pair<CalibrationTraits::AverageAlgorithm, std::string_view>, 2> table{{
        {CalibrationTraits::AverageAlgorithm::Standard, "Standard"},
        {CalibrationTraits::AverageAlgorithm::Gauss, "Gauss"},
    }};
    static constexpr std::string_view fallback = "";
};

// Calibration records with unique slots, sorted by slot.
class CalibrationTraitsContainer
{
public:
    // slot(…) opens a record; a slot used before throws
    // IdentifierNotUniqueException ("Calibration").
    class Builder
    {
    public:
        Builder& slot(std::size_t value);
        Builder& deviationPercent(float value);
        Builder& sampleCount(std::size_t value);
        Builder& averageAlgorithm(CalibrationTraits::AverageAlgorithm value);
        CalibrationTraitsContainer build() const;

    private:
        CalibrationTraits& open();
        std::vector<CalibrationTraits> mRecords;
    };

    static Builder builder() { return {}; }

    bool contains(std::size_t slot) const;
    // Throws std::invalid_argument for a slot without calibration.
    const CalibrationTraits& at(std::size_t slot) const;
    const std::vector<CalibrationTraits>& getCalibrations() const { return mCalibrations; }

private:
    std::vector<CalibrationTraits> mCalibrations;
};

// Figures for the production test of the device.
class TestTraits
{
public:
    class Builder;
    static Builder builder();

    std::size_t getSlotCount() const { return mSlotCount; }
    std::uint16_t getCalibrationQueueAddress() const { return mCalibrationQueueAddress; }
    std::uint16_t getGeneralQueueAddress() const { return mGeneralQueueAddress; }
    float getCurrentConsumptionMin_mA() const { return mCurrentConsumptionMin_mA; }
    float getCurrentConsumptionMax_mA() const { return mCurrentConsumptionMax_mA; }
    std::size_t getProgressStepCount() const { return mProgressStepCount; }
    bool hasSensorResistor() const { return mSensorResistor; }

private:
    std::size_t mSlotCount = 0;
    std::uint16_t mCalibrationQueueAddress = 0;
    std::uint16_t mGeneralQueueAddress = 0;
    float mCurrentConsumptionMin_mA = 0.0f;
    float mCurrentConsumptionMax_mA = 0.0f;
    std::size_t mProgressStepCount = 0;
    bool mSensorResistor = false;
};

class TestTraits::Builder
{
public:
    Builder& slotCount(std::size_t value);
    Builder& calibrationQueueAddress(std::uint16_t value);
    Builder& generalQueueAddress(std::uint16_t value);
    Builder& currentConsumptionMin_mA(float value);
    Builder& currentConsumptionMax_mA(float value);
    Builder& progressStepCount(std::size_t value);
    Builder& sensorResistor(bool value);
    TestTraits build() const { return mResult; }

private:
    TestTraits mResult;
};

inline TestTraits::Builder TestTraits::builder()
{
    return {};
}

// Fixed properties of the device family that are not parameters.
class Traits
{
public:
    Traits() = default;
    Traits(InterfaceTraits interface, OutputTraitsContainer outputs, IoLinkTraits ioLink,
           CalibrationTraitsContainer calibrations, TestTraits test)
        : mInterface(std::move(interface))
        , mOutputs(std::move(outputs))
        , mIoLink(std::move(ioLink))
        , mCalibrations(std::move(calibrations))
        , mTest(std::move(test))
    {
    }

    const InterfaceTraits& getInterface() const { return mInterface; }
    const OutputTraitsContainer& getOutputs() const { return mOutputs; }
    const IoLinkTraits& getIoLink() const { return mIoLink; }
    const CalibrationTraitsContainer& getCalibrations() const { return mCalibrations; }
    const TestTraits& getTest() const { return mTest; }

private:
    InterfaceTraits mInterface;
    OutputTraitsContainer mOutputs;
    IoLinkTraits mIoLink;
    CalibrationTraitsContainer mCalibrations;
    TestTraits mTest;
};

} // namespace Hvd::Weft::Device
