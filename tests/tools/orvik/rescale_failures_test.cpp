// `orvik rescale`'s bad input and the sensor faults it must report without
// ever reporting success, and runs stopped by SIGTERM.

#include "rescale_test_support.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <utility>

using namespace RescaleTest;
using Parsed = RescaleArguments::Parsed;
using Hvd::Weft::Communication::VeltrixDeviceService;

namespace
{

Parsed parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("orvik rescale"));
    return RescaleArguments::parse(arguments);
}

::testing::AssertionResult refused(const QStringList& arguments, const char* reason)
{
    const Parsed parsed = parse(arguments);
    if (parsed.outcome != Parsed::Outcome::Error)
        return ::testing::AssertionFailure() << arguments.join(' ').toStdString() << " was taken";
    if (!parsed.text.contains(QLatin1String(reason)))
        return ::testing::AssertionFailure() << "message: " << parsed.text.toStdString();
    return ::testing::AssertionSuccess();
}

float shownDiameter(const Parsed& parsed, float unit)
{
    return parsed.orvik.innerDiameter.value() / unit;
}

float kFactor(const OrvikSimulatorFixture& sensor)
{
    const SensorImage sub(sensor, Target::SubDevice, "V02.10");
    return sub.nvm(sub.kFactor()).toFloat();
}

bool factoryDefaultsStored(const OrvikSimulatorFixture& sensor)
{
    for (const auto& command : sensor.systemCommands())
    {
        if (command.code == 0)
            return true;
    }
    return false;
}

enum class Line
{
    // The sensor still answered: it is restarted before the port is closed.
    Kept,
    // The service gave the line up with the failure: the port is closed at
    // once, no restart is sent into it.
    Lost,
};

// A failed run: exit code 1, only the message on standard error besides the progress, nothing
// that looks like success, no factory defaults stored.
void expectFailed(const Outcome& outcome, const QString& message, const OrvikSimulatorFixture& sensor,
                  Line line)
{
    EXPECT_EQ(outcome.exitCode, RescaleArguments::RescaleFailed) << outcome.text();
    EXPECT_EQ(outcome.failures(), QStringList{message}) << outcome.text();
    EXPECT_FALSE(outcome.printedSuccess()) << outcome.text();
    EXPECT_FALSE(outcome.out.join('\n').contains(QLatin1String("Inner Diameter"))) << outcome.text();
    EXPECT_FALSE(factoryDefaultsStored(sensor));
    EXPECT_EQ(sensor.restartCount(), line == Line::Kept ? 1 : 0);
}

} // namespace

TEST(RescaleArguments, SizesAndDiametersAsTheWindowTakesThem)
{
    const Parsed fixed = parse({"--port", "/dev/ttyUSB0", "--size", "A80"});
    ASSERT_EQ(fixed.outcome, Parsed::Outcome::Run);
    EXPECT_EQ(fixed.port, "/dev/ttyUSB0");
    EXPECT_EQ(fixed.orvik, size("A80"));

    const Parsed free = parse({"--port", "ttyUSB0", "--size", "Dxx"});
    ASSERT_EQ(free.outcome, Parsed::Outcome::Run);
    EXPECT_FLOAT_EQ(free.orvik.innerDiameter.value(), 0.05f);

    // Three decimals, then the limits of the field: 40 to 450 mm, 1.575 to 17.717 in.
    const Parsed inches = parse({"--port", "COM3", "--size", "Axx", "--diameter", "2.5"});
    ASSERT_EQ(inches.outcome, Parsed::Outcome::Run);
    EXPECT_EQ(inches.orvik.innerDiameter.value(), 2.5f * 0.0254f);
    const Parsed rounded = parse({"--port", "p", "--size", "Dxx", "--diameter", "39.9996"});
    ASSERT_EQ(rounded.outcome, Parsed::Outcome::Run);
    EXPECT_EQ(rounded.orvik.innerDiameter.value(), 40.0f * 0.001f);
    const std::pair<const char*, const char*> limits[]{{"Dxx", "450"}, {"Axx", "17.717"}, {"Axx", "1.575"}};
    for (const auto& [code, value] : limits)
        EXPECT_EQ(parse({"--port", "p", "--size", code, "--diameter", value}).outcome, Parsed::Outcome::Run)
            << code << " " << value;
    EXPECT_FLOAT_EQ(
        shownDiameter(parse({"--port", "p", "--size", "Axx", "--diameter", " 17.7174 "}), 0.0254f), 17.717f);

    EXPECT_TRUE(refused({"--port", "p", "--size", "Dxx", "--diameter", "39.9994"}, "40 to 450 mm"));
    EXPECT_TRUE(refused({"--port", "p", "--size", "Dxx", "--diameter", "450.001"}, "40 to 450 mm"));
    EXPECT_TRUE(refused({"--port", "p", "--size", "Axx", "--diameter", "1.574"}, "1.575 to 17.717 in"));
    EXPECT_TRUE(refused({"--port", "p", "--size", "Axx", "--diameter", "17.718"}, "1.575 to 17.717 in"));
    EXPECT_TRUE(refused({"--port", "p", "--size", "Dxx", "--diameter", "nan"}, "not a number"));
    EXPECT_TRUE(refused({"--port", "p", "--size", "Dxx", "--diameter", "5O"}, "not a number"));
    EXPECT_TRUE(refused({"--port", "p", "--size", "D80", "--diameter", "82.5"}, "only taken for the sizes"));
    EXPECT_TRUE(refused({"--port", "p", "--size", "d1h"}, "Unknown size"));
    EXPECT_TRUE(refused({"--port", "p", "--size", "D90"}, "Unknown size"));
    EXPECT_TRUE(refused({"--size", "D1H"}, "--port PORT is required"));
    EXPECT_TRUE(refused({"--port", "", "--size", "D1H"}, "--port PORT is required"));
    EXPECT_TRUE(refused({"--port", "p"}, "--size CODE is required"));
    EXPECT_TRUE(refused({"--port", "p", "--size", "D1H", "extra"}, "Unexpected argument"));
    EXPECT_TRUE(refused({"--port", "p", "--size", "D1H", "--speed", "9"}, "speed"));
}

// The program itself: help on standard output with exit 0, bad arguments on
// standard error with exit 2, both before any port is touched.
TEST(RescaleArguments, ProgramDocumentsItselfAndRefusesBadInput)
{
    const Outcome help = runProgram({"--help"});
    EXPECT_EQ(help.exitCode, RescaleArguments::Success);
    const QString text = help.out.join('\n');
    for (const char* needed :
         {"--port <PORT>", "--size <CODE>", "--diameter <VALUE>", "device path", "D1H", "A4H",
          "Dxx (40 to 450 mm)", "Axx (1.575 to 17.717 in)", "Exit codes", "  2  bad"})
        EXPECT_TRUE(text.contains(QLatin1String(needed))) << needed << "\n" << text.toStdString();
    EXPECT_EQ(
        text.count(QRegularExpression(QStringLiteral("\\b[AD](1[FHZ]|[234][FH]|80|xx) [0-9.]+ (mm|in)\\b"))),
        20);

    const Outcome bad = runProgram({"--port", "/dev/null", "--size", "Dxx", "--diameter", "30"});
    EXPECT_EQ(bad.exitCode, RescaleArguments::BadArguments);
    EXPECT_TRUE(bad.out.isEmpty());
    EXPECT_TRUE(bad.err.value(0).startsWith(QLatin1String("Diameter 30 mm is outside"))) << bad.text();
}

// The program speaks the system's language, its progress and the service's
// messages alike; the catalogues of the libraries are part of that.
TEST(RescaleFailures, MessagesInTheSystemLanguage)
{
    const QStringList arguments = {QStringLiteral("rescale"), QStringLiteral("--port"),
                                   QStringLiteral("/dev/no-such-adapter"), QStringLiteral("--size"),
                                   QStringLiteral("D1H")};
    const Outcome german = runOrvik(arguments, {}, {QStringLiteral("LC_ALL=de_DE.UTF-8")});
    EXPECT_EQ(german.exitCode, 1);
    EXPECT_TRUE(german.err.contains(QStringLiteral("[  0%] Verbindung zum Gerät wird hergestellt")))
        << german.text();
    EXPECT_EQ(german.err.value(german.err.size() - 1),
              QStringLiteral("COM-Port konnte nicht geöffnet werden!"))
        << german.text();

    const Outcome english = runOrvik(arguments, {}, {QStringLiteral("LC_ALL=C.UTF-8")});
    EXPECT_EQ(english.exitCode, 1);
    EXPECT_TRUE(english.err.contains(QStringLiteral("[  0%] Connecting to device"))) << english.text();
    EXPECT_EQ(english.err.value(english.err.size() - 1), QStringLiteral("Could not open com port!"))
        << english.text();
}

// The program against a sensor of another kind: refused with the window's
// message and exit code 1, the sensor restarted and released untouched.
TEST(RescaleFailures, SensorWithAnotherAddress)
{
    OrvikSimulatorOptions options;
    options.timing = TestSupport::testTiming();
    options.sensor.address = {19, 0, 5, 0, 2};
    OrvikSimulatorFixture sensor(options);
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const float before = kFactor(sensor);

    WorkDirectory work;
    const Outcome outcome = runProgram({"--port", sensor.devicePath(), "--size", "D1H"}, work.path());
    expectFailed(outcome, QStringLiteral("Only Orvik devices are supported."), sensor, Line::Kept);
    EXPECT_EQ(errorEntries(work.log()), "[main] Rescaling failed: Only Orvik devices are supported.");
    EXPECT_EQ(sensor.requestCount(130) + sensor.requestCount(131), 0);
    EXPECT_EQ(kFactor(sensor), before);
}

TEST(RescaleFailures, FirmwareTheDescriptionLacks)
{
    OrvikSimulatorOptions options;
    options.timing = TestSupport::testTiming();
    options.sensor.device.version = QStringLiteral("V02.19");
    OrvikSimulatorFixture sensor(options);
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const float before = kFactor(sensor);

    const Outcome outcome = runInProcess(sensor, size("D2F"));
    expectFailed(outcome,
                 QStringLiteral("Parameter ProductVariantName not found for connected device version V02.19. "
                                "Contact support."),
                 sensor, Line::Kept);
    EXPECT_EQ(sensor.requestCount(130) + sensor.requestCount(131), 0);
    EXPECT_EQ(kFactor(sensor), before);
}

TEST(RescaleFailures, VariantNameWithoutANumber)
{
    OrvikSimulatorOptions options;
    options.timing = TestSupport::testTiming();
    options.sensor.variant = QStringLiteral("Orvik x");
    OrvikSimulatorFixture sensor(options);
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const float before = kFactor(sensor);

    const Outcome outcome = runInProcess(sensor, size("A1H"));
    expectFailed(outcome,
                 QStringLiteral("Could not determine calibrated diameter from ProductVariantName: Orvik x."),
                 sensor, Line::Kept);
    EXPECT_EQ(sensor.requestCount(130), 1);
    EXPECT_EQ(sensor.requestCount(131), 0);
    EXPECT_EQ(kFactor(sensor), before);
}

// The first write refused, and so is the restore's: nothing reaches the
// memory, and the message names the backup.
TEST(RescaleFailures, WriteNotAcknowledged)
{
    OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    sensor.addFault(Sim::Fault::nak(131));
    const QByteArray nvm = sensor.memory(Target::Device).nvm;
    const float before = kFactor(sensor);

    CapturedLog log;
    const Outcome outcome = runInProcess(sensor, size("D3H"));
    const QString failure = QStringLiteral("Device didn`t acknowledge command 131");
    expectFailed(outcome, outcome.notRestored(failure, failure, sensor.devicePath()), sensor, Line::Lost);
    EXPECT_EQ(
        errorEntries(log.close()),
        "[DeviceThread] Device didn`t acknowledge command 131\n"
        "[main] Rescaling failed: Device didn`t acknowledge command 131\n"
        "[DeviceThread] Device didn`t acknowledge command 131\n"
        "[main] Restoring the device parameters failed: Device didn`t acknowledge command 131\n"
        "[main] Rescaling failed: " +
            outcome.notRestored(failure, failure, sensor.devicePath()).replace('\n', ' ').toStdString());
    EXPECT_EQ(sensor.requestCount(131), 2);
    EXPECT_EQ(sensor.memory(Target::Device).nvm, nvm);
    EXPECT_EQ(kFactor(sensor), before);
}

// A sensor that stops answering in the middle of the write.
TEST(RescaleFailures, SensorFallsSilentDuringTheWrite)
{
    OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    sensor.addFault(Sim::Fault::silent(131));

    CapturedLog log;
    const Outcome outcome = runInProcess(sensor, size("D1F"), TestSupport::quickTiming());
    const QString failure = QStringLiteral("Device didn`t respond -> timeout! !");
    expectFailed(outcome, outcome.notRestored(failure, failure, sensor.devicePath()), sensor, Line::Lost);
    // The stack's silence, the session's timeout and the failure: each once
    // for the write and once for the restore's. The session signals its
    // timeout before it logs it, so only each thread's own order is fixed.
    const std::string entries = errorEntries(log.close());
    EXPECT_EQ(entriesOf("DeviceThread", entries), "[DeviceThread] normal timeout of 300ms elapsed\n"
                                                  "[DeviceThread] Device didn't answer in time!\n"
                                                  "[DeviceThread] normal timeout of 300ms elapsed\n"
                                                  "[DeviceThread] Device didn't answer in time!")
        << entries;
    EXPECT_EQ(entriesOf("main", entries),
              "[main] Rescaling failed: Device didn`t respond -> timeout! !\n"
              "[main] Restoring the device parameters failed: Device didn`t respond -> timeout! !\n"
              "[main] Rescaling failed: " +
                  outcome.notRestored(failure, failure, sensor.devicePath()).replace('\n', ' ').toStdString())
        << entries;
    EXPECT_EQ(sensor.requestCount(131), 2);
}

// The adapter pulled as the first write goes out: the message says so at
// once, no restore or restart is tried on the dead line, and the backup and
// the line that restores it are named.
TEST(RescaleFailures, AdapterPulledDuringTheWrite)
{
    OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    sensor.hangUpAtNextRequest(131);
    QElapsedTimer clock;
    clock.start();
    const Outcome outcome = runInProcess(sensor, size("D1F"));
    const QString failure = VeltrixDeviceService::lineLostText();
    expectFailed(
        outcome,
        outcome.notRestored(failure, QStringLiteral("the adapter was disconnected"), sensor.devicePath()),
        sensor, Line::Lost);
    EXPECT_TRUE(sensor.hungUp());
    EXPECT_EQ(sensor.requestCount(131), 0);
    EXPECT_TRUE(QFileInfo::exists(outcome.backupPath()));
    // Not the 15 s answer timeout of the write, nor a second one of a restore.
    EXPECT_TIME_BELOW(clock.elapsed(), 15000);
}

// The first write refused, and the adapter pulled as the restore writes:
// the message says the sensor was not restored, why, and names the backup.
TEST(RescaleFailures, AdapterPulledDuringTheRestore)
{
    OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    sensor.addFault(Sim::Fault::nak(131, 1));
    const Outcome outcome =
        runInProcess(sensor, size("D3H"), TestSupport::testTiming(),
                     [&sensor](RescaleRun& run)
                     {
                         QObject::connect(&run, &RescaleRun::progressed,
                                          [&sensor](const QString& line)
                                          {
                                              if (line.contains(QLatin1String("Restoring")))
                                                  sensor.hangUpAtNextRequest(131);
                                          });
                     });
    const QString failure = QStringLiteral("Device didn`t acknowledge command 131");
    expectFailed(outcome,
                 outcome.notRestored(failure, VeltrixDeviceService::lineLostText(), sensor.devicePath()),
                 sensor, Line::Lost);
    EXPECT_TRUE(sensor.hungUp());
    EXPECT_EQ(sensor.requestCount(131), 1);
}

// The k-factor, written last, never reads back as written: the write is
// retried, then given up; nothing is stored as factory defaults.
TEST(RescaleFailures, ReadBackNeverMatches)
{
    OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const SensorImage sub(sensor, Target::SubDevice, "V02.10");
    sensor.addFault(Sim::Fault::readbackMismatch(sub.kFactor().getAddress(), -1, Target::SubDevice));

    const Outcome outcome = runInProcess(sensor, size("A3F"));
    EXPECT_TRUE(outcome.failures().value(0).startsWith(
        QLatin1String("Exceeded max retries: Device responded to command 130: Sent value didn't correspond")))
        << outcome.text();
    // The restore's read-back fails the same way.
    EXPECT_TRUE(outcome.failures().value(0).contains(QLatin1String("\nThe sensor was NOT restored")))
        << outcome.text();
    expectFailed(outcome, outcome.failures().value(0), sensor, Line::Lost);
}

// SIGTERM while the write runs, at the protocol's own pace: a shorter one
// would leave the signal no room between two writes.
TEST(RescaleInterrupted, SigtermInTheMiddleOfTheWriteStopsReleasesAndKeepsTheLog)
{
    OrvikSimulatorOptions options;
    options.sensor.variant = QStringLiteral("Orvik 82.5");
    OrvikSimulatorFixture sensor(options);
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    WorkDirectory work;

    QProcess process;
    process.setWorkingDirectory(work.path());
    process.setProcessEnvironment(orvikEnvironment(1.0));
    process.start(programPath(), {"rescale", "--port", sensor.devicePath(), "--size", "D80"});
    QByteArray out;
    ASSERT_TRUE(QTest::qWaitFor(
        [&]
        {
            out += process.readAllStandardOutput();
            return sensor.requestCount(131) >= 2;
        },
        runTimeoutMs))
        << out.toStdString();
    const int writesAtSignal = sensor.requestCount(131);
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(10000));
    out += process.readAllStandardOutput();
    const QString err = QString::fromUtf8(process.readAllStandardError());

    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), RescaleArguments::RescaleFailed);
    EXPECT_TRUE(err.contains("Interrupted by SIGTERM: the rescale was stopped and the port released."))
        << err.toStdString();
    EXPECT_TRUE(err.contains("Writing parameters")) << err.toStdString();
    // Stopped: no more writes, no factory defaults, no restart.
    QTest::qWait(500);
    EXPECT_LE(sensor.requestCount(131), writesAtSignal + 1);
    EXPECT_EQ(sensor.requestCount(143), 0);

    const QByteArray log = work.log();
    for (const char* line :
         {"[info] [main] Starting orvik rescale", "Command: 131", "[warning] [main] Received SIGTERM",
          "Operation was aborted and com port was closed!"})
        EXPECT_TRUE(log.contains(line)) << line << "\n" << log.toStdString();
    EXPECT_TRUE(log.trimmed().endsWith("[info] [main] Closing orvik rescale, return code 1"))
        << log.toStdString();
}

// SIGTERM a moment after the adapter was pulled in the middle of the write:
// whichever the program hears first ends the run, once, with the log closed.
TEST(RescaleInterrupted, SigtermRightAfterAHangUpEndsTheRunOnce)
{
    OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    sensor.hangUpAtNextRequest(131);
    WorkDirectory work;
    QProcess process;
    process.setWorkingDirectory(work.path());
    process.setProcessEnvironment(orvikEnvironment());
    process.start(programPath(), {"rescale", "--port", sensor.devicePath(), "--size", "D80"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return sensor.hungUp(); }, runTimeoutMs));
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(10000));
    const QString err = QString::fromUtf8(process.readAllStandardError());

    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), RescaleArguments::RescaleFailed) << err.toStdString();
    const int endings = static_cast<int>(err.count(VeltrixDeviceService::lineLostText()) +
                                         err.count(QLatin1String("Interrupted by SIGTERM")));
    EXPECT_EQ(endings, 1) << err.toStdString();
    const QByteArray log = work.log();
    EXPECT_EQ(log.count("Closing orvik rescale, return code 1"), 1) << log.toStdString();
    EXPECT_TRUE(log.trimmed().endsWith("[info] [main] Closing orvik rescale, return code 1"))
        << log.toStdString();
}
