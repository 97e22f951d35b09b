#pragma once

// Shared by the tests of the device commands, the connectors and the
// serial port widget: a scripted device service, log capture and a small
// Orvik-like description.

#include "communication/DeviceService.h"
#include "device/Device.h"
#include "device/ParameterSetBuilder.h"
#include "logging/Logger.h"
#include "tests/support/log_capture.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <spdlog/sinks/ostream_sink.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace ComponentsTest
{

using namespace Hvd::Weft;
using Communication::Address;
using Communication::Comport;
using Communication::DeviceService;

// Records every request (reporting each tagged one taken, as the real service
// does) and answers it from the event loop, the way the real service answers
// from its own thread: with success unless the slot is listed
// in `errors` (then error(text)) or in `silent` (then not at all). The test
// can also emit any signal itself.
class FakeDeviceService : public DeviceService
{
public:
    struct Call
    {
        std::string slot;
        Address::Type type = Address::Type::Invalid;
        Communication::Device device;
        Comport comport;
        bool flag = false;
        std::vector<std::string> deviceNames;
        std::vector<std::string> subdeviceNames;
    };

    std::vector<Call> calls;
    std::map<std::string, QString> errors;
    std::set<std::string> silent;
    Communication::Device deviceToFind;
    SettingList readDeviceValues;
    SettingList readSubdeviceValues;
    // Also answer every requested parameter not in the lists above, with its
    // default value, as a sensor answers every read.
    bool answerEveryParameter = false;

    static void addDefaults(SettingList& values, const ParameterList& requested)
    {
        for (const auto& parameter : requested)
        {
            const bool given =
                std::any_of(values.begin(), values.end(),
                            [&](const auto& setting) { return setting.getName() == parameter.getName(); });
            if (!given)
                values.emplace_back(parameter.getName(), parameter.getType(), parameter.getDefaultValue());
        }
    }

    std::vector<std::string> slotNames() const
    {
        std::vector<std::string> names;
        for (const auto& call : calls)
            names.push_back(call.slot);
        return names;
    }

    void abort() override
    {
        answer(record("abort"),
               [this]
               {
                   emit progress(100);
                   emit successDisconnecting();
               });
    }
    void start(const Comport& comport, bool deviceIdentification) override
    {
        takeRequest();
        Call call = newCall("start");
        call.comport = comport;
        call.flag = deviceIdentification;
        calls.push_back(call);
        answer("start",
               [this]
               {
                   emit progress(40);
                   emit foundDevice(deviceToFind);
               });
    }
    void restartDevice(Address::Type type, const Communication::Device& dev) override
    {
        answer(record("restartDevice", type, dev), [this] { emit successRestartDevice(); });
    }
    void setCurrentAsFactoryDefaults(Address::Type type, const Communication::Device& dev) override
    {
        answer(record("setCurrentAsFactoryDefaults", type, dev),
               [this] { emit successSetCurrentAsFactoryDefaults(); });
    }
    void resetToFactoryDefaults(Address::Type type, const Communication::Device& dev) override
    {
        answer(record("resetToFactoryDefaults", type, dev), [this] { emit successResetToFactoryDefaults(); });
    }
    void write(const Communication::Device& dev, const ParameterList& deviceParameters,
               const ParameterList& subdeviceParameters, bool readBack) override
    {
        takeRequest();
        Call call = newCall("write", Address::Type::Invalid, dev);
        call.flag = readBack;
        for (const auto& parameter : deviceParameters)
            call.deviceNames.push_back(parameter.getName());
        for (const auto& parameter : subdeviceParameters)
            call.subdeviceNames.push_back(parameter.getName());
        calls.push_back(call);
        answer("write",
               [this]
               {
                   emit progress(100);
                   emit successWriting();
               });
    }
    // Like the real service, a read ends with the transfer's own trailing
    // progress and successWriting.
    void read(const Communication::Device& dev, const ParameterList& deviceParameters,
              const ParameterList& subdeviceParameters) override
    {
        takeRequest();
        Call call = newCall("read", Address::Type::Invalid, dev);
        for (const auto& parameter : deviceParameters)
            call.deviceNames.push_back(parameter.getName());
        for (const auto& parameter : subdeviceParameters)
            call.subdeviceNames.push_back(parameter.getName());
        calls.push_back(call);
        SettingList deviceValues = readDeviceValues;
        SettingList subdeviceValues = readSubdeviceValues;
        if (answerEveryParameter)
        {
            addDefaults(deviceValues, deviceParameters);
            addDefaults(subdeviceValues, subdeviceParameters);
        }
        answer("read",
               [this, deviceValues, subdeviceValues]
               {
                   emit progress(60);
                   emit progress(100);
                   emit successReading(deviceValues, subdeviceValues);
                   emit progress(100);
                   emit successWriting();
               });
    }

    // Measured values end with an empty result; the components do not read them.
    void readFixedBurstValues(Address::Type type, const Communication::Device& dev, std::uint32_t) override
    {
        answer(record("readFixedBurstValues", type, dev), [this] { emit finishedFixedSamples({}); });
    }
    void accumulateBurstValues(Address::Type type, const Communication::Device& dev, std::uint32_t,
                               std::uint8_t, std::uint16_t) override
    {
        answer(record("accumulateBurstValues", type, dev), [this] { emit finishedAccumulate({}); });
    }
    void readFixedDeviceValues(Address::Type type, const Communication::Device& dev, std::uint32_t) override
    {
        answer(record("readFixedDeviceValues", type, dev), [this] { emit finishedFixedSamples({}); });
    }
    void accumulateDeviceValues(Address::Type type, const Communication::Device& dev, std::uint32_t,
                                std::uint8_t, std::uint16_t) override
    {
        answer(record("accumulateDeviceValues", type, dev), [this] { emit finishedAccumulate({}); });
    }
    void readFixedDeviceAndBurstValues(Address::Type type, const Communication::Device& dev,
                                       std::uint32_t) override
    {
        answer(record("readFixedDeviceAndBurstValues", type, dev), [this] { emit finishedFixedSamples({}); });
    }

    void upload(Address::Type type, const Communication::Device& dev, Communication::BootloaderType,
                const QString&, bool, bool) override
    {
        answer(record("upload", type, dev), [this] { emit success(); });
    }
    void portVanished(const QString& number) override
    {
        Call call = newCall("portVanished");
        call.comport.number = number;
        calls.push_back(call);
    }

private:
    std::string record(const std::string& slot, Address::Type type = Address::Type::Invalid,
                       const Communication::Device& dev = {})
    {
        takeRequest();
        calls.push_back(newCall(slot, type, dev));
        return slot;
    }

    static Call newCall(const std::string& slot, Address::Type type = Address::Type::Invalid,
                        const Communication::Device& dev = {})
    {
        Call call;
        call.slot = slot;
        call.type = type;
        call.device = dev;
        return call;
    }

    template <typename Success> void answer(const std::string& slot, Success success)
    {
        if (silent.count(slot))
            return;
        const auto failure = errors.find(slot);
        if (failure != errors.end())
        {
            const QString text = failure->second;
            QTimer::singleShot(0, this, [this, text] { emit error(text); });
            return;
        }
        QTimer::singleShot(0, this, success);
    }
};

using TestSupport::LogCapture;

// Every line appears in the text, each after the one before.
inline ::testing::AssertionResult inOrder(const std::string& text, const std::vector<std::string>& lines)
{
    std::size_t from = 0;
    for (const auto& line : lines)
    {
        const auto at = text.find(line, from);
        if (at == std::string::npos)
            return ::testing::AssertionFailure() << "missing or out of order: " << line << "\nin:\n" << text;
        from = at + line.size();
    }
    return ::testing::AssertionSuccess();
}

// An identified sensor as first contact reports it.
inline Communication::Device sensor(std::array<std::uint8_t, 5> address, QString version = "V02.10",
                                    QString subVersion = "V02.10")
{
    Communication::Device device;
    device.name = "Orvik";
    device.version = std::move(version);
    device.subVersion = std::move(subVersion);
    device.address.bytes = address;
    return device;
}

inline constexpr std::array<std::uint8_t, 5> orvikAddress{19, 0, 4, 0, 2};

// A description with one device and one subdevice set of version V02.10,
// reached at 19 0 4 0 2 over a half-duplex line.
inline Device::Device orvikDescription()
{
    using namespace Hvd::Weft::Device;
    ParameterSetContainer<Parameter> deviceSets;
    deviceSets.insert(ParameterSetBuilder()
                          .version(Version("V02.10"))
                          .parameter("ProductVariantName")
                          .type(DataType::ARRSTRING)
                          .length(16)
                          .address(0x20)
                          .defaultValue(Value("Orvik 4.026"))
                          .parameter("FlowMeasEnd")
                          .tag(Tag::FLOW)
                          .minDefaultMaxValue(0.0, 100.0, 1000.0, DataType::DFLOAT32)
                          .address(0x40)
                          .build());
    ParameterSetContainer<Parameter> subdeviceSets;
    subdeviceSets.insert(ParameterSetBuilder()
                             .version(Version("V02.10"))
                             .parameter("measurement.setting.scaling.K0")
                             .tag(Tag::KFAKTOR)
                             .minDefaultMaxValue(0.0, 1.0, 10.0, DataType::DFLOAT32)
                             .address(0x10)
                             .build());
    auto interface = InterfaceTraits::builder()
                         .name("VELTRIX")
                         .type(InterfaceTraits::Type::UART)
                         .address(InterfaceTraits::Address(orvikAddress))
                         .halfDuplex(true)
                         .startUp_ms(300)
                         .powerDown_ms(120)
                         .build();
    Traits traits(interface, OutputTraitsContainer{}, IoLinkTraits{}, CalibrationTraitsContainer{},
                  TestTraits{});
    return Device::Device(Identity::N5Q2_Orvik, std::move(deviceSets), std::move(subdeviceSets),
                          std::move(traits));
}

} // namespace ComponentsTest
