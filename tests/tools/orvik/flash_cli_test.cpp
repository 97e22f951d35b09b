// `orvik flash` against the simulated sensor's loaders: the flashed bytes
// against the image, rescue, a failing loader, and a rescale on the same
// line afterwards.

#include "rescale_test_support.h"

#include "tools/orvik/FlashArguments.h"

using namespace RescaleTest;
using Hvd::Weft::Communication::BootloaderType;

namespace
{

QByteArray pattern(int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(static_cast<char>((i * 13 + 5) & 0xFF));
    return bytes;
}

QString writeImage(const QTemporaryDir& dir, const QByteArray& bytes, std::uint32_t address = 0x4000)
{
    QByteArray text = "@" + QByteArray::number(address, 16) + "\n";
    for (qsizetype i = 0; i < bytes.size(); i += 16)
        text += bytes.mid(i, 16).toHex(' ') + "\n";
    QFile file(dir.filePath(QStringLiteral("image.txt")));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text + "q\n");
    return file.fileName();
}

OrvikSimulatorOptions withLoader(Sim::BootloaderFamily family, bool startInLoader = false)
{
    OrvikSimulatorOptions options;
    options.timing = TestSupport::testTiming();
    options.sensor.bootloader.family = family;
    options.sensor.bootloader.startInLoader = startInLoader;
    return options;
}

FlashArguments::Parsed parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("orvik flash"));
    return FlashArguments::parse(arguments);
}

} // namespace

TEST(FlashArguments, NeedPortFamilyAndAReadableImage)
{
    QTemporaryDir dir;
    const QString image = writeImage(dir, pattern(16));
    for (const QStringList& bad :
         QList<QStringList>{{"--family", "tiva", "--file", image},
                            {"--port", "p", "--file", image},
                            {"--port", "p", "--family", "avr", "--file", image},
                            {"--port", "p", "--family", "tiva"},
                            {"--port", "p", "--family", "tiva", "--file", "/no/such.txt"}})
        EXPECT_EQ(parse(bad).outcome, FlashArguments::Parsed::Outcome::Error) << bad.join(' ').toStdString();
    const auto parsed = parse({"--port", "p", "--family", "MSP432", "--file", image, "--rescue"});
    ASSERT_EQ(parsed.outcome, FlashArguments::Parsed::Outcome::Run) << parsed.text.toStdString();
    EXPECT_EQ(parsed.request.family, BootloaderType::MSP432);
    EXPECT_TRUE(parsed.request.rescueMode);
    EXPECT_FALSE(parsed.request.leavePortOpenOnError);
    EXPECT_EQ(parsed.request.fileName, image);
}

TEST(FlashProgram, FlashesTheImageAndTheSensorIsRescaledAfterwards)
{
    OrvikSimulatorFixture sensor(withLoader(Sim::BootloaderFamily::Tiva));
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    QTemporaryDir dir;
    const QByteArray image = pattern(700);
    const Outcome flash = runOrvik(
        {"flash", "--port", sensor.devicePath(), "--family", "tiva", "--file", writeImage(dir, image)});
    EXPECT_EQ(flash.exitCode, 0) << flash.text();
    EXPECT_TRUE(flash.failures().isEmpty()) << flash.text();
    for (const char* state : {"Connection started", "Download started", "Download successful"})
        EXPECT_TRUE(flash.err.contains(QStringLiteral("New Bootloader state: ") + QLatin1String(state)))
            << state;
    EXPECT_TRUE(QTest::qWaitFor([&] { return sensor.transferCompleted(); }, 3000));
    EXPECT_EQ(sensor.flash(0x4000, image.size()), image);
    EXPECT_FALSE(sensor.inBootloader());

    const Outcome rescale = runProgram({"--port", sensor.devicePath(), "--size", "D80"});
    EXPECT_EQ(rescale.exitCode, 0) << rescale.text();
}

TEST(FlashProgram, RescueAndAFailingLoader)
{
    {
        OrvikSimulatorFixture sensor(withLoader(Sim::BootloaderFamily::Msp432, true));
        ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
        QTemporaryDir dir;
        const QByteArray image = pattern(300);
        const Outcome outcome = runOrvik({"flash", "--port", sensor.devicePath(), "--family", "msp432",
                                          "--file", writeImage(dir, image), "--rescue"});
        EXPECT_EQ(outcome.exitCode, 0) << outcome.text();
        EXPECT_EQ(sensor.requestCount(), 0);
        EXPECT_EQ(sensor.flash(0x4000, image.size()), image);
    }
    {
        OrvikSimulatorOptions options = withLoader(Sim::BootloaderFamily::Msp432);
        options.sensor.bootloader.badCheck = 2;
        OrvikSimulatorFixture sensor(options);
        ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
        QTemporaryDir dir;
        const Outcome outcome = runOrvik({"flash", "--port", sensor.devicePath(), "--family", "msp432",
                                          "--file", writeImage(dir, pattern(600))});
        EXPECT_EQ(outcome.exitCode, 1) << outcome.text();
        EXPECT_EQ(outcome.failures(), QStringList{"Bootloader: No response from device"}) << outcome.text();
        EXPECT_FALSE(sensor.transferCompleted());
        // The line is free and the sensor, powered up again, answers.
        EXPECT_EQ(runOrvik({"values", "--port", sensor.devicePath(), "--samples", "1"}).exitCode, 0);
    }
}
