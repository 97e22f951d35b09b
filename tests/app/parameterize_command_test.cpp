// The life cycle of the rescaling command: refusals, the sequence of device
// operations, the per-run composite, failures and cancellation.

#include "app/rescaling_test_support.h"
#include "components/commands/CompositeCommand.h"

#include <QPointer>
#include <algorithm>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace RescalingTest;
using Hvd::Weft::Components::CompositeCommand;
using Hvd::Weft::Components::System;

namespace
{

const Orvik& d80()
{
    return *std::find_if(Orvik::getOrviks().begin(), Orvik::getOrviks().end(),
                         [](const Orvik& orvik) { return orvik.name == "D80"; });
}

// Deletes what was scheduled with deleteLater.
void flushDeletions()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct ParameterizeCommandTest : ::testing::Test
{
    void prepare()
    {
        rescale.command.setInnerDiameterReference(0.1071);
        rescale.command.setOrvik(d80());
        rescale.giveKFactor(kFactorV2, 1.25);
    }
    LogCapture log;
    Rescale rescale;
};

} // namespace

TEST_F(ParameterizeCommandTest, RefusesWithoutReferenceSizeOrKFactorBeforeSendingAnything)
{
    struct Case
    {
        double reference;
        Orvik orvik;
        QString subVersion;
        QString message;
    };
    const std::vector<Case> cases{
        {0.0005, d80(), "V02.10", "No inner diameter reference was set"},
        {-0.001, d80(), "V02.10", "No inner diameter reference was set"},
        // Too narrow for the probe ("Orvik 1.5"), or negative: no free area.
        {0.0381, d80(), "V02.10", "The calibrated diameter 38.1 mm leaves no free area beside the probe."},
        {-0.0825, d80(), "V02.10", "The calibrated diameter -82.5 mm leaves no free area beside the probe."},
        {0.1071, Orvik(), "V02.10", "No Orvik was set"},
        // A sub device firmware the description does not know has no k-factor.
        {0.1071, d80(), "V09.00", "No parameter with tag KFAKTOR found"},
    };
    for (const auto& c : cases)
    {
        rescale.connectSensor("V02.11", c.subVersion);
        rescale.command.setInnerDiameterReference(c.reference);
        rescale.command.setOrvik(c.orvik);
        const int before = rescale.errors.count();
        rescale.command.execute();
        ASSERT_EQ(rescale.errors.count(), before + 1) << "refused at once";
        EXPECT_EQ(rescale.errorText(), c.message);
        EXPECT_EQ(rescale.errors.last().at(1).value<System>(), System::Application);
        EXPECT_FALSE(rescale.errors.last().at(2).toBool());
        EXPECT_FALSE(rescale.command.isRunning());
        EXPECT_TRUE(rescale.command.findChildren<CompositeCommand*>().isEmpty());
    }
    QTest::qWait(5);
    EXPECT_TRUE(rescale.service.calls.empty());
    EXPECT_EQ(rescale.finished.count(), 0);
    EXPECT_TRUE(inOrder(log.text(), {"[error] [main]  No inner diameter reference was set",
                                     "[error] [main]  No Orvik was set",
                                     "[error] [main]  No parameter with tag KFAKTOR found"}));
}

TEST_F(ParameterizeCommandTest, OneRunReadsWritesStoresRestartsAndReleases)
{
    prepare();
    QSignalSpy progress(&rescale.command, &Hvd::Weft::Components::Command::progressUpdated);
    ASSERT_TRUE(rescale.run());
    ASSERT_EQ(rescale.finished.count(), 1) << rescale.errorText().toStdString();
    EXPECT_EQ(rescale.errors.count(), 0);

    const auto& calls = rescale.service.calls;
    ASSERT_EQ(
        rescale.service.slotNames(),
        (std::vector<std::string>{"read", "write", "setCurrentAsFactoryDefaults", "restartDevice", "abort"}));
    // One read of the k-factor and of everything the write replaces, for the backup.
    const auto sorted = [](std::vector<std::string> names)
    {
        std::sort(names.begin(), names.end());
        return names;
    };
    // The serial number as well, which names the unit in the backup.
    auto written = calls[1].deviceNames;
    written.push_back("IndividualProductionNumber");
    EXPECT_EQ(sorted(calls[0].deviceNames), sorted(written));
    EXPECT_EQ(sorted(calls[0].subdeviceNames), sorted(calls[1].subdeviceNames));
    EXPECT_TRUE(calls[1].flag) << "written with read-back";
    EXPECT_EQ(calls[1].deviceNames.size(), 15u);
    EXPECT_EQ(calls[1].subdeviceNames, (std::vector<std::string>{kFactorV2, "settings.range.fMeasEnd"}));
    EXPECT_EQ(calls[2].type, Address::Type::Device);
    EXPECT_EQ(calls[3].type, Address::Type::Device);
    EXPECT_FALSE(rescale.context.isDeviceConnected()) << "the port is released";

    // The children report through the command, each under its own text.
    QStringList descriptions;
    for (const auto& arguments : progress)
    {
        const QString text = arguments.at(1).toString();
        if (descriptions.isEmpty() || descriptions.last() != text)
            descriptions << text;
    }
    const QStringList expected{"Parameterizing Orvik device", "Reading k-factor",
                               "Writing parameters",          "Setting parameters as factory defaults",
                               "Restarting device",           "Disconnecting from device"};
    for (const auto& text : expected)
        EXPECT_TRUE(descriptions.contains(text)) << text.toStdString();
    EXPECT_LT(descriptions.indexOf("Reading k-factor"), descriptions.indexOf("Disconnecting from device"));
}

TEST_F(ParameterizeCommandTest, EveryRunBuildsItsOwnCompositeAndDiscardsIt)
{
    prepare();
    // Every composite the command shows while it runs; all are gone after.
    std::vector<QPointer<CompositeCommand>> seen;
    QObject::connect(&rescale.command, &Hvd::Weft::Components::Command::progressUpdated, &rescale.command,
                     [&]
                     {
                         auto* current = rescale.command.findChild<CompositeCommand*>();
                         if (current && (seen.empty() || seen.back() != current))
                             seen.emplace_back(current);
                     });
    ASSERT_TRUE(rescale.run());
    flushDeletions();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].isNull()) << "the finished run's composite is deleted";

    rescale.connectSensor();
    ASSERT_TRUE(rescale.run());
    EXPECT_EQ(rescale.finished.count(), 2);
    flushDeletions();
    ASSERT_EQ(seen.size(), 2u) << "the second run builds its own";
    EXPECT_TRUE(seen[1].isNull());
    EXPECT_TRUE(rescale.command.findChildren<CompositeCommand*>().isEmpty());
    EXPECT_EQ(rescale.service.writtenDevice.size(), 2u);
    EXPECT_EQ(rescale.service.writtenDevice[1].size(), 15u) << "the lists start empty every run";
    EXPECT_EQ(rescale.service.writtenSubdevice[1].size(), 2u);
    EXPECT_TRUE(inOrder(log.text(), {"Calculating conversion factor", "Calculated conversion factor",
                                     "Calculating conversion factor", "Calculated conversion factor"}));
}

TEST_F(ParameterizeCommandTest, FailingWriteSkipsDefaultsRestartAndRelease)
{
    prepare();
    rescale.service.errors["write"] = "Read back of chunk 2 differs";
    ASSERT_TRUE(rescale.run());
    ASSERT_EQ(rescale.errors.count(), 1);
    EXPECT_EQ(rescale.errorText(), "Read back of chunk 2 differs");
    EXPECT_TRUE(rescale.errors.first().at(2).toBool()) << "the service's errors count as a lost connection";
    QTest::qWait(5);
    EXPECT_EQ(rescale.service.slotNames(), (std::vector<std::string>{"read", "write"}));
    EXPECT_TRUE(rescale.context.isDeviceConnected()) << "left for the widget to release";
    flushDeletions();
    EXPECT_TRUE(rescale.command.findChildren<CompositeCommand*>().isEmpty());
}

TEST_F(ParameterizeCommandTest, CancelledOrDestroyedRunEndsSilentlyAndIgnoresLateAnswers)
{
    prepare();
    rescale.service.silent.insert("read");
    rescale.command.execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rescale.service.calls.empty(); }, 2000));
    ASSERT_TRUE(rescale.command.isRunning());

    rescale.command.cancel();
    EXPECT_FALSE(rescale.command.isRunning());
    // The sensor's answer arrives after all: nothing may be written.
    emit rescale.service.successReading({}, rescale.service.readSubdeviceValues);
    QTest::qWait(5);
    flushDeletions();
    EXPECT_EQ(rescale.service.slotNames(), std::vector<std::string>{"read"});
    EXPECT_EQ(rescale.finished.count() + rescale.errors.count(), 0);
    EXPECT_TRUE(rescale.command.findChildren<CompositeCommand*>().isEmpty());

    // Destroying a running command cancels it under its own name.
    auto command = std::make_unique<ParameterizeOrvikCommand>(rescale.context, rescale.service, nullptr);
    command->setInnerDiameterReference(0.1071);
    command->setOrvik(d80());
    QSignalSpy finished(command.get(), &Hvd::Weft::Components::Command::finished);
    QSignalSpy errors(command.get(), &Hvd::Weft::Components::Command::errorOccurred);
    command->execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rescale.service.calls.size() == 2; }, 2000));
    command.reset();
    emit rescale.service.successReading({}, rescale.service.readSubdeviceValues);
    QTest::qWait(5);
    EXPECT_EQ(finished.count() + errors.count(), 0);
    EXPECT_EQ(rescale.service.slotNames(), (std::vector<std::string>{"read", "read"}));
    EXPECT_TRUE(inOrder(
        log.text(), {"Canceling 24ParameterizeOrvikCommand", "Canceling N3Hvd4Weft10Components16Composite",
                     "Canceling 24ParameterizeOrvikCommand", "Canceling N3Hvd4Weft10Components16Composite"}));
}
