#include "communication_test_support.h"

#include "communication/Address.h"
#include "communication/Comport.h"
#include "communication/Device.h"
#include "communication/Slots.h"
#include "communication/VeltrixDeviceService.h"
#include "communication/internal/FirstContact.h"
#include "protocol/VELTRIX.h"
#include "tools/support/FFakeSerialPortBackend.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <tuple>

using namespace Hvd::Weft::Communication;
using Type = Address::Type;

namespace
{

Address address(std::array<std::uint8_t, 5> bytes)
{
    Address result;
    result.bytes = bytes;
    return result;
}

template <typename T> QString debugText(const T& value)
{
    QString text;
    QDebug(&text) << value;
    return text;
}

} // namespace

TEST(Address, TypeFollowsWhichPartsAreSet)
{
    EXPECT_EQ(address({0, 0, 0, 0, 0}).getType(), Type::Invalid);
    // A vendor id alone is no address.
    EXPECT_EQ(address({5, 0, 0, 0, 0}).getType(), Type::Invalid);
    EXPECT_EQ(address({5, 0, 3, 0, 0}).getType(), Type::Device);
    EXPECT_EQ(address({5, 1, 0, 0, 0}).getType(), Type::Device);
    EXPECT_EQ(address({5, 0, 0, 0, 2}).getType(), Type::SubDevice);
    EXPECT_EQ(address({5, 0, 0, 7, 0}).getType(), Type::SubDevice);
    EXPECT_EQ(address({5, 0, 3, 0, 2}).getType(), Type::DeviceAndSubDevice);
}

TEST(Address, AsArrayZeroesThePartNotAddressed)
{
    const Address full = address({5, 1, 3, 4, 2});
    EXPECT_EQ(full.asArray(Type::Device), (std::array<std::uint8_t, 5>{5, 1, 3, 0, 0}));
    EXPECT_EQ(full.asArray(Type::SubDevice), (std::array<std::uint8_t, 5>{5, 0, 0, 4, 2}));
    EXPECT_EQ(full.asArray(Type::DeviceAndSubDevice), full.bytes);
    EXPECT_EQ(full.asArray(Type::Invalid), full.bytes);
    EXPECT_EQ(full.getAddressAsString({19, 0, 204, 0, 2}), (QList<QString>{"19", "0", "204", "0", "2"}));
}

TEST(Comport, EveryFieldTakesPartInEquality)
{
    const Comport base{"COM3", "FTDI", 0x6001, 0x0403, true, 250, 100};
    EXPECT_EQ(base, base);
    const std::vector<std::function<void(Comport&)>> changes{
        [](Comport& c) { c.number = "COM4"; },
        [](Comport& c) { c.manufacturer = "ftdi"; },
        [](Comport& c) { c.pid = 1; },
        [](Comport& c) { c.vid = 1; },
        [](Comport& c) { c.halfDuplex = false; },
        [](Comport& c) { c.startupMs = 251; },
        [](Comport& c) { c.powerDownMs = 99; },
    };
    for (std::size_t i = 0; i < changes.size(); ++i)
    {
        Comport other = base;
        changes[i](other);
        EXPECT_FALSE(other == base) << "field " << i;
    }
}

TEST(Comport, DebugOutputNamesEveryField)
{
    const Comport port{"COM3", "FTDI", 24577, 1027, true, 250, 100};
    EXPECT_EQ(debugText(port),
              "Number: \"COM3\" Manufacturer: \"FTDI\" Pid: 24577 Vid: 1027 HalfDuplex: true "
              "Startup(ms): 250 PowerDown(ms): 100 ");
}

TEST(Device, DefaultIsUnknownAndComparesFieldByField)
{
    const Device unknown;
    for (const QString& field : {unknown.name, unknown.version, unknown.revision, unknown.vendor,
                                 unknown.subName, unknown.subVersion, unknown.subRevision})
        EXPECT_EQ(field, "-");
    EXPECT_EQ(unknown.address.bytes, (std::array<std::uint8_t, 5>{}));
    EXPECT_FALSE(unknown.hasSubDevice());

    Device other = unknown;
    other.subRevision = "230301";
    EXPECT_FALSE(other == unknown);
    other = unknown;
    other.address.bytes[4] = 2;
    EXPECT_FALSE(other == unknown);
    EXPECT_TRUE(other.hasSubDevice());
}

TEST(Device, DebugOutputLabelsTheAddressParts)
{
    Device device;
    device.name = "N5Q2-Orvik";
    device.address.bytes = {19, 0, 4, 0, 2};
    const QString text = debugText(device);
    EXPECT_TRUE(text.startsWith("Name: \"N5Q2-Orvik\" Version: \"-\"")) << text.toStdString();
    EXPECT_TRUE(text.contains("Address: Vendor: \"19\" Device: \"0\" \"4\" SubDevice: \"0\" \"2\""))
        << text.toStdString();
    EXPECT_TRUE(text.contains("has Sub: true")) << text.toStdString();
    EXPECT_TRUE(text.contains("Sub Name: \"-\" Sub Version: \"-\" Sub Revision: \"-\""))
        << text.toStdString();
}

// The helpers every sequence shares, exercised on first contact.
class SequenceHelpers : public ::testing::Test
{
protected:
    SequenceHelpers()
    {
        VELTRIX_Options options;
        options.backendFactory = [] { return std::make_unique<FFakeSerialPortBackend>(); };
        facade = std::make_unique<VELTRIX>(nullptr, VELTRIX_Session::VELTRIX_HW_UART, options);
        port = std::make_unique<Internal::Port>(nullptr, facade.get(), VELTRIX_Timing());
        sequence = std::make_unique<Internal::FirstContact>(nullptr, facade.get(), port.get(),
                                                            ClosePortWhenFinished::No, VELTRIX_Timing());
    }

    std::unique_ptr<VELTRIX> facade;
    std::unique_ptr<Internal::Port> port;
    std::unique_ptr<Internal::FirstContact> sequence;
};

TEST_F(SequenceHelpers, IncProgressKeepsTheValueBeyondHundredButStillReports)
{
    QSignalSpy progress(sequence.get(), &Internal::Default::progress);
    sequence->incProgress(80);
    sequence->incProgress(30);
    sequence->incProgress(20);
    ASSERT_EQ(progress.count(), 3);
    EXPECT_EQ(progress.at(0).at(0).toUInt(), 80u);
    EXPECT_EQ(progress.at(1).at(0).toUInt(), 80u);
    EXPECT_EQ(progress.at(2).at(0).toUInt(), 100u);
}

TEST_F(SequenceHelpers, PrependZeroPadsSingleCharacters)
{
    const QMap<QString, QVariant> map{
        {"Version", 7}, {"Year", 10}, {"Name", QString("A")}, {"Empty", QString()}};
    EXPECT_EQ(sequence->prependZero(map, "Version"), "07");
    EXPECT_EQ(sequence->prependZero(map, "Year"), "10");
    EXPECT_EQ(sequence->prependZero(map, "Name"), "0A");
    EXPECT_EQ(sequence->prependZero(map, "Empty"), "");
    EXPECT_EQ(sequence->prependZero(map, "Missing"), "");
}

// Scaling shortens every delay on its own and leaves every timeout, so a
// faster line is never a more impatient one; the factor comes from the
// environment only when it is a sane number.
TEST(Timing, ScalingShortensDelaysOnlyAndTheEnvironmentChoosesTheFactor)
{
    const VELTRIX_Timing real;
    const VELTRIX_Timing fast = real.scaled(0.1);
    EXPECT_EQ(fast.requestDelayMs, 15);
    EXPECT_EQ(fast.firstContact.startDelayMs, 60);
    EXPECT_EQ(fast.sysCommand.stepDelayMs, 10);
    EXPECT_EQ(fast.factoryDefaultsPauseMs, 50);
    EXPECT_EQ(fast.bootloader.mspConnectDelayMs, 100);
    EXPECT_EQ(fast.link.burstFirstFrameDelayMs, 25);
    EXPECT_EQ(fast.link.burstNextFrameDelayMs, 1);
    EXPECT_EQ(fast.uploadStartDelayMs, 20);
    EXPECT_EQ(fast.bootloader.mspWakeUpRepeatMs, 2);
    EXPECT_EQ(VELTRIX_Timing::scaleDelay(0, 0.1), 0);
    EXPECT_DOUBLE_EQ(fast.scaled(0.5).pace, 0.05);
    for (const auto& [name, before, after] :
         {std::tuple{"response", real.link.responseTimeoutMs, fast.link.responseTimeoutMs},
          {"sub-device response", real.link.responseTimeoutSubDeviceMs, fast.link.responseTimeoutSubDeviceMs},
          {"burst watchdog", real.link.burstWatchdogMs, fast.link.burstWatchdogMs},
          {"drain", real.link.drainSlackMs, fast.link.drainSlackMs},
          {"RTS confirmation", real.link.rtsConfirmTimeoutMs, fast.link.rtsConfirmTimeoutMs},
          {"Bluetooth LE discovery", real.link.btleDiscoveryTimeoutMs, fast.link.btleDiscoveryTimeoutMs},
          {"port scan (polling)", real.portScanIntervalMs, fast.portScanIntervalMs},
          {"session", real.sessionTimeoutMs, fast.sessionTimeoutMs},
          {"open", real.portOpenTimeoutMs, fast.portOpenTimeoutMs},
          {"release", real.releaseTimeoutMs, fast.releaseTimeoutMs},
          {"Tiva answer", real.bootloader.tivaAnswerTimeoutMs, fast.bootloader.tivaAnswerTimeoutMs},
          {"MSP432 answer", real.bootloader.mspAnswerTimeoutMs, fast.bootloader.mspAnswerTimeoutMs}})
        EXPECT_EQ(after, before) << name;

    for (const char* bad : {"", "fast", "0", "-1", "0.001", "2", "nan", "inf", "1e400"})
        EXPECT_FALSE(VELTRIX_Timing::parseScale(QString::fromLatin1(bad))) << bad;
    EXPECT_EQ(VELTRIX_Timing::parseScale(QStringLiteral(" 0.5 ")), 0.5);

    const char* variable = VeltrixDeviceService::timeScaleVariable;
    qputenv(variable, "0.5");
    EXPECT_EQ(VeltrixDeviceService::timingFromEnvironment().requestDelayMs, 75);
    EXPECT_EQ(VeltrixDeviceService::serialPortOptions().timing.requestDelayMs, 75);
    qputenv(variable, "fast");
    EXPECT_EQ(VeltrixDeviceService::timingFromEnvironment().requestDelayMs, real.requestDelayMs);
    qunsetenv(variable);
    EXPECT_EQ(VeltrixDeviceService::timingFromEnvironment().requestDelayMs, real.requestDelayMs);
}

TEST(FirstContactBaudrate, HighestOfferedRateAboveTheStartRateWins)
{
    using Internal::FirstContact;
    EXPECT_EQ(FirstContact::chooseBaudrate(0x0000), 1200u);
    EXPECT_EQ(FirstContact::chooseBaudrate(0x0001), 1200u);
    EXPECT_EQ(FirstContact::chooseBaudrate(0x0004), 4800u);
    EXPECT_EQ(FirstContact::chooseBaudrate(0x001F), 19200u);
    EXPECT_EQ(FirstContact::chooseBaudrate(0x0208), 460800u);
    // Bits above the ten rates offer nothing.
    EXPECT_EQ(FirstContact::chooseBaudrate(0xFC01), 1200u);
}

TEST(Slots, StatusTextsSlotsAndTheirDebugLines)
{
    // A level digit, a missing one, a text too short to have any.
    const QList<QString> texts{"2Flow too high", "xNo level", "3", "1Empty pipe"};
    const Slots sample(texts, 0x8B,
                       {Slot{1.5f, 1, 2, 17}, Slot{9, 0, 0, Slot::unitNone}, Slot{4, 0, 0, Slot::unitLitre}});
    ASSERT_EQ(sample.statusStrings.size(), 4);
    EXPECT_EQ(sample.statusStrings[0].level, 2);
    EXPECT_EQ(sample.statusStrings[0].text, "Flow too high");
    EXPECT_EQ(sample.statusStrings[1].level, 0);
    EXPECT_EQ(sample.statusStrings[1].text, "No level");
    EXPECT_EQ(sample.statusStrings[2].text, "");
    // The left-out slot is gone; the others keep their order.
    ASSERT_EQ(sample.slotList.size(), 2);
    EXPECT_EQ(sample.slotList[1].unit, Slot::unitLitre);

    // Bits 7, 3, 1, 0: bit 7 has no text and is passed over.
    const auto active = sample.activeStatusStrings();
    ASSERT_EQ(active.size(), 3);
    EXPECT_EQ(active[0].text, "Empty pipe");
    EXPECT_EQ(active[2].text, "Flow too high");
    EXPECT_TRUE(Slots(texts, 0, {}).activeStatusStrings().isEmpty());

    const QString text = debugText(sample);
    EXPECT_TRUE(text.contains("Active Status [ 1 ]: Text:  \"Empty pipe\" Level:  1")) << text.toStdString();
    EXPECT_TRUE(text.contains("Slot [ 2 ]: Value:  4 Min:  0 Max:  0 Unit:  \"L\"")) << text.toStdString();
    EXPECT_EQ(Slot::unitText(32), "°C");
    EXPECT_EQ(Slot::unitText(99), "NA");
}
