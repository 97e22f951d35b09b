// The sensor session on the program's device stack with a scripted service
// in its device thread: each connect ends once, each release and interrupt
// ends in exactly one released(), and the next connect works after each.

#include "components/commands/DisconnectCommand.h"
#include "components/components_test_support.h"
#include "components/connectors/DeviceStack.h"
#include "components/connectors/SensorSession.h"
#include "tests/support/pace.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace Hvd::Weft::Components;
using namespace ComponentsTest;
using Hvd::Weft::Communication::ComPortScanner;
using State = SensorSession::State;

namespace
{

struct SessionTest : ::testing::Test
{
    std::unique_ptr<FakeDeviceService> made = std::make_unique<FakeDeviceService>();
    FakeDeviceService& service = *made;
    DeviceStack stack{
        {TestSupport::withoutPortScans(), [] { return ComPortScanner::List{}; }, std::move(made)}};
    SensorSession session{stack};
    QSignalSpy connected{&session, &SensorSession::connected};
    QSignalSpy wrong{&session, &SensorSession::wrongSensor};
    QSignalSpy failed{&session, &SensorSession::connectFailed};
    QSignalSpy released{&session, &SensorSession::released};

    SessionTest()
    {
        stack.getContext().setDevice(orvikDescription());
        service.deviceToFind = sensor(orvikAddress);
    }

    // Waits for the session to come to rest and lets stray signals land.
    bool settled(State expected)
    {
        const bool ok = QTest::qWaitFor([&] { return session.getState() == expected; }, 3000);
        QTest::qWait(50);
        return ok && session.getState() == expected;
    }

    // The next job must find the port free and the sensor answering.
    void expectNextConnectWorks()
    {
        connected.clear();
        service.silent.clear();
        service.deviceToFind = sensor(orvikAddress);
        ASSERT_TRUE(session.isFree());
        ASSERT_TRUE(session.connectSensor("COM3"));
        ASSERT_TRUE(connected.wait(3000));
        EXPECT_EQ(session.getState(), State::Connected);
        released.clear();
        ASSERT_TRUE(session.release(SensorSession::Release::Close));
        ASSERT_TRUE(released.wait(3000));
        EXPECT_TRUE(session.isFree());
    }
};

} // namespace

TEST_F(SessionTest, ReleasesEndOnceWhicheverWayTheyRun)
{
    // Nothing connected: nothing to release, and no signal.
    EXPECT_FALSE(session.release(SensorSession::Release::Restart));

    // Restart, then close.
    ASSERT_TRUE(session.connectSensor("COM3"));
    EXPECT_FALSE(session.connectSensor("COM3")) << "one sensor at a time";
    ASSERT_TRUE(connected.wait(3000));
    service.calls.clear();
    ASSERT_TRUE(session.release(SensorSession::Release::Restart));
    ASSERT_TRUE(settled(State::Idle));
    EXPECT_EQ(service.slotNames(), (std::vector<std::string>{"restartDevice", "abort"}));
    ASSERT_EQ(released.count(), 1);
    EXPECT_FALSE(released.first().at(0).value<std::optional<QString>>().has_value());

    // A failed restart: released with its message, and the sensor forgotten.
    released.clear();
    ASSERT_TRUE(session.connectSensor("COM3"));
    ASSERT_TRUE(connected.wait(3000));
    service.errors["restartDevice"] = "Device responded to command 143 with an error";
    ASSERT_TRUE(session.release(SensorSession::Release::Restart));
    ASSERT_TRUE(settled(State::Idle));
    ASSERT_EQ(released.count(), 1);
    EXPECT_EQ(released.first().at(0).value<std::optional<QString>>().value_or("none").toStdString(),
              "Device responded to command 143 with an error");
    service.errors.clear();
    expectNextConnectWorks();

    // Asked for during the connect: waits for the sensor, then closes it
    // without a restart instead of leaving it connected.
    released.clear();
    connected.clear();
    service.calls.clear();
    ASSERT_TRUE(session.connectSensor("COM3"));
    ASSERT_TRUE(session.release(SensorSession::Release::Close));
    ASSERT_TRUE(settled(State::Idle));
    EXPECT_EQ(connected.count(), 0);
    EXPECT_EQ(released.count(), 1);
    EXPECT_EQ(service.slotNames(), (std::vector<std::string>{"start", "abort"}));
    EXPECT_FALSE(stack.getConnector().isTargetConnected());
    expectNextConnectWorks();

    // Released by the job itself (a rescale's closing steps): nothing left
    // to release, and the port is free for the next job.
    ASSERT_TRUE(session.connectSensor("COM3"));
    ASSERT_TRUE(connected.wait(3000));
    released.clear();
    DisconnectCommand closingStep(stack.getContext(), service, nullptr);
    QSignalSpy closed(&closingStep, &Command::finished);
    closingStep.execute();
    ASSERT_TRUE(closed.wait(3000));
    EXPECT_EQ(session.getState(), State::Idle);
    EXPECT_FALSE(session.release(SensorSession::Release::Restart));
    EXPECT_EQ(released.count(), 0);
    expectNextConnectWorks();

    // Another kind of sensor: told, then released by the connector on its
    // own; a failure of that release is not the user's to hear again.
    released.clear();
    connected.clear();
    service.deviceToFind = sensor({19, 0, 4, 0, 3});
    service.errors["restartDevice"] = "Device responded to command 143 with an error";
    ASSERT_TRUE(session.connectSensor("COM3"));
    ASSERT_TRUE(wrong.wait(3000));
    EXPECT_TRUE(session.release(SensorSession::Release::Close)) << "already being released";
    ASSERT_TRUE(settled(State::Idle));
    ASSERT_EQ(released.count(), 1);
    EXPECT_FALSE(released.first().at(0).value<std::optional<QString>>().has_value());
    EXPECT_EQ(connected.count(), 0);
    service.errors.clear();
    expectNextConnectWorks();

    // A failed connect is no release.
    released.clear();
    service.errors["start"] = "Device didn`t respond -> timeout! !";
    ASSERT_TRUE(session.connectSensor("COM3"));
    ASSERT_TRUE(failed.wait(3000));
    EXPECT_EQ(session.getState(), State::Idle);
    EXPECT_FALSE(session.release(SensorSession::Release::Close));
    EXPECT_EQ(released.count(), 0);
    service.errors.clear();
    expectNextConnectWorks();
}

TEST_F(SessionTest, InterruptEndsOnceOnTheAbortsOwnConfirmationOrItsTimeout)
{
    // The abort confirmed: it ends the interrupt of a job.
    ASSERT_TRUE(session.connectSensor("COM3"));
    ASSERT_TRUE(connected.wait(3000));
    session.interrupt();
    ASSERT_TRUE(released.wait(3000));
    EXPECT_EQ(service.slotNames().back(), "abort");

    // A connect the sensor never answers, and an abort it never confirms:
    // another request's confirmation and the connect's failure change
    // nothing, the release timeout ends it, once.
    // (The interrupted job's program ends; here the sensor is forgotten by hand.)
    stack.getConnector().releaseTarget();
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.isFree(); }, 3000));
    released.clear();
    service.silent = {"start", "abort"};
    ASSERT_TRUE(session.connectSensor("COM3"));
    QMetaObject::invokeMethod(&service, [&] { Q_EMIT service.successDisconnecting(); });
    session.interrupt();
    session.interrupt();
    Q_EMIT stack.getConnector().errorOccurred("Device didn`t respond -> timeout! !");
    EXPECT_FALSE(released.wait(500));
    ASSERT_TRUE(released.wait(5000));
    QTest::qWait(100);
    EXPECT_EQ(released.count(), 1);
    EXPECT_EQ(failed.count(), 0);
    EXPECT_EQ(session.getState(), State::Idle);
}
