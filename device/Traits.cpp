#include "device/Traits.h"

#include <algorithm>
#include <stdexcept>

#include <fmt/format.h>

#include "device/Exceptions.h"

namespace Hvd::Weft::Device
{

namespace
{

// Setters before the first name(…) fill an unnamed record.
template <typename Record> Record& lastOrNew(std::vector<Record>& records)
{
    if (records.empty())
        records.emplace_back();
    return records.back();
}

} // namespace

std::string InterfaceTraits::Address::toString() const
{
    return fmt::format("{}", fmt::join(mBytes, "."));
}

InterfaceTraits::Builder& InterfaceTraits::Builder::name(std::string value)
{
    mResult.mName = std::move(value);
    return *this;
}

InterfaceTraits::Builder& InterfaceTraits::Builder::type(Type value)
{
    mResult.mType = value;
    return *this;
}

InterfaceTraits::Builder& InterfaceTraits::Builder::address(Address value)
{
    mResult.mAddress = value;
    return *this;
}

InterfaceTraits::Builder& InterfaceTraits::Builder::halfDuplex(bool value)
{
    mResult.mHalfDuplex = value;
    return *this;
}

InterfaceTraits::Builder& InterfaceTraits::Builder::startUp_ms(std::uint16_t value)
{
    mResult.mStartUp_ms = value;
    return *this;
}

InterfaceTraits::Builder& InterfaceTraits::Builder::powerDown_ms(std::uint16_t value)
{
    mResult.mPowerDown_ms = value;
    return *this;
}

OutputTraitsContainer::Builder& OutputTraitsContainer::Builder::name(OutputTraits::Name value)
{
    if (value != OutputTraits::Name::Unknown)
    {
        for (const OutputTraits& output : mOutputs)
        {
            if (output.mName == value)
                throw IdentifierNotUniqueException("Outputs", std::string(enumName(value)));
        }
    }
    mOutputs.emplace_back().mName = value;
    return *this;
}

OutputTraits& OutputTraitsContainer::Builder::open()
{
    return lastOrNew(mOutputs);
}

OutputTraitsContainer::Builder& OutputTraitsContainer::Builder::alarm(bool value)
{
    open().mAlarm = value;
    return *this;
}

OutputTraitsContainer::Builder& OutputTraitsContainer::Builder::ctrlInput(bool value)
{
    open().mCtrlInput = value;
    return *this;
}

OutputTraitsContainer::Builder& OutputTraitsContainer::Builder::current(bool value)
{
    open().mCurrent = value;
    return *this;
}

OutputTraitsContainer::Builder& OutputTraitsContainer::Builder::frequency(bool value)
{
    open().mFrequency = value;
    return *this;
}

OutputTraitsContainer::Builder& OutputTraitsContainer::Builder::ioLink(bool value)
{
    open().mIoLink = value;
    return *this;
}

OutputTraitsContainer::Builder& OutputTraitsContainer::Builder::veltrix(bool value)
{
    open().mVeltrix = value;
    return *this;
}

OutputTraitsContainer::Builder& OutputTraitsContainer::Builder::pulse(bool value)
{
    open().mPulse = value;
    return *this;
}

OutputTraitsContainer::Builder& OutputTraitsContainer::Builder::voltage(bool value)
{
    open().mVoltage = value;
    return *this;
}

OutputTraitsContainer OutputTraitsContainer::Builder::build() const
{
    OutputTraitsContainer result;
    for (const OutputTraits& output : mOutputs)
    {
        if (output.mName != OutputTraits::Name::Unknown)
            result.mOutputs.push_back(output);
    }
    return result;
}

bool OutputTraitsContainer::contains(OutputTraits::Name name) const
{
    return std::any_of(mOutputs.begin(), mOutputs.end(),
                       [name](const OutputTraits& output) { return output.getName() == name; });
}

const OutputTraits& OutputTraitsContainer::at(OutputTraits::Name name) const
{
    for (const OutputTraits& output : mOutputs)
    {
        if (output.getName() == name)
            return output;
    }
    throw std::invalid_argument("Output " + std::string(enumName(name)) + " not found");
}

EventTraitsContainer::Builder& EventTraitsContainer::Builder::deviceStatus(std::uint8_t value)
{
    open().mDeviceStatus = value;
    return *this;
}

EventTraitsContainer::Builder& EventTraitsContainer::Builder::type(EventTraits::Type value)
{
    open().mType = value;
    return *this;
}

SystemDataObjectTraitsContainer::Builder& SystemDataObjectTraitsContainer::Builder::type(DataType value)
{
    open().mType = value;
    return *this;
}

SystemDataObjectTraitsContainer::Builder&
SystemDataObjectTraitsContainer::Builder::factoryAccess(AccessRight value)
{
    open().mFactoryAccess = value;
    return *this;
}

SystemDataObjectTraitsContainer::Builder&
SystemDataObjectTraitsContainer::Builder::userAccess(AccessRight value)
{
    open().mUserAccess = value;
    return *this;
}

CalibrationTraitsContainer::Builder& CalibrationTraitsContainer::Builder::slot(std::size_t value)
{
    for (const CalibrationTraits& record : mRecords)
    {
        if (record.mSlot == value)
            throw IdentifierNotUniqueException("Calibration", std::to_string(value));
    }
    mRecords.emplace_back().mSlot = value;
    return *this;
}

CalibrationTraits& CalibrationTraitsContainer::Builder::open()
{
    return lastOrNew(mRecords);
}

CalibrationTraitsContainer::Builder& CalibrationTraitsContainer::Builder::deviationPercent(float value)
{
    open().mDeviationPercent = value;
    return *this;
}

CalibrationTraitsContainer::Builder& CalibrationTraitsContainer::Builder::sampleCount(std::size_t value)
{
    open().mSampleCount = value;
    return *this;
}

CalibrationTraitsContainer::Builder&
CalibrationTraitsContainer::Builder::averageAlgorithm(CalibrationTraits::AverageAlgorithm value)
{
    open().mAverageAlgorithm = value;
    return *this;
}

CalibrationTraitsContainer CalibrationTraitsContainer::Builder::build() const
{
    CalibrationTraitsContainer result;
    result.mCalibrations = mRecords;
    std::stable_sort(result.mCalibrations.begin(), result.mCalibrations.end(),
                     [](const CalibrationTraits& a, const CalibrationTraits& b)
                     { return a.mSlot < b.mSlot; });
    return result;
}

bool CalibrationTraitsContainer::contains(std::size_t slot) const
{
    return std::any_of(mCalibrations.begin(), mCalibrations.end(),
                       [slot](const CalibrationTraits& record) { return record.getSlot() == slot; });
}

const CalibrationTraits& CalibrationTraitsContainer::at(std::size_t slot) const
{
    for (const CalibrationTraits& record : mCalibrations)
    {
        if (record.getSlot() == slot)
            return record;
    }
    throw std::invalid_argument("Calibration slot " + std::to_string(slot) + " not found");
}

TestTraits::Builder& TestTraits::Builder::slotCount(std::size_t value)
{
    mResult.mSlotCount = value;
    return *this;
}

TestTraits::Builder& TestTraits::Builder::calibrationQueueAddress(std::uint16_t value)
{
    mResult.mCalibrationQueueAddress = value;
    return *this;
}

TestTraits::Builder& TestTraits::Builder::generalQueueAddress(std::uint16_t value)
{
    mResult.mGeneralQueueAddress = value;
    return *this;
}

TestTraits::Builder& TestTraits::Builder::currentConsumptionMin_mA(float value)
{
    mResult.mCurrentConsumptionMin_mA = value;
    return *this;
}

TestTraits::Builder& TestTraits::Builder::currentConsumptionMax_mA(float value)
{
    mResult.mCurrentConsumptionMax_mA = value;
    return *this;
}

TestTraits::Builder& TestTraits::Builder::progressStepCount(std::size_t value)
{
    mResult.mProgressStepCount = value;
    return *this;
}

TestTraits::Builder& TestTraits::Builder::sensorResistor(bool value)
{
    mResult.mSensorResistor = value;
    return *this;
}

} // namespace Hvd::Weft::Device
