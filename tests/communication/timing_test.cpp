#include "service_harness.h"

#include "communication/internal/FirstContact.h"
#include "communication/internal/Parameter.h"
#include "protocol/serial/FSerialPort.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdio>

using namespace CommTest;
using Hvd::Weft::Device::DataType;
using Hvd::Weft::Device::Parameter;
using Hvd::Weft::Device::Value;

namespace
{

// Bytes on the wire: five preambles, delimiter, five address bytes, command,
// byte count, (two status bytes in an answer), payload, checksum.
constexpr int requestBytes(int payload)
{
    return 14 + payload;
}
constexpr int answerBytes(int payload)
{
    return 16 + payload;
}

double lineMs(int bytes, int baud)
{
    const int bits =
        FSerialPort::bitsPerCharacter(FSerialPort::Data8, FSerialPort::OddParity, FSerialPort::OneStop);
    return 1000.0 * bytes * bits / baud;
}

} // namespace

// Connect, identify a sensor with a sub device and read one 16-byte
// parameter: the time is the protocol's own waits and line times, nothing more.
TEST(ServiceTiming, ConnectIdentifyAndReadAddNoWaitsOfTheirOwn)
{
    Sim::OrvikSimulatorFixture sensor;
    ServiceHarness harness;
    const Parameter variant = makeParameter("ProductVariantName", DataType::ARRSTRING, 16, 399, Value("0"));

    QElapsedTimer clock;
    clock.start();
    const Device device = harness.connectTo(linePort(sensor));
    harness.call([device, &variant](VeltrixDeviceService& s) { s.read(device, {variant}, {}); });
    ASSERT_TRUE(harness.spy.waitForOutcomes(2));
    const double measured = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    ASSERT_EQ(harness.spy.outcomes.value(1), "successReading");
    ASSERT_EQ(sensor.baudrate(), 19200u);

    using Internal::FirstContact;
    using Internal::Parameter;
    constexpr int requestDelay = 150; // before every request of a session
    constexpr int step = FirstContact::stepDelayMs;
    // 137 | 128 | 129 | 135 136 141 (device) | 135 136 141 (sub device) | 130
    const int delays = FirstContact::startDelayMs + requestDelay + 2 * (step + requestDelay) +
                       2 * (step + 3 * requestDelay) + Parameter::startDelayMs + requestDelay;
    const double requestsSlow = lineMs(requestBytes(0) + requestBytes(0) + requestBytes(3), 1200);
    const double answersSlow = lineMs(answerBytes(0) + answerBytes(2) + answerBytes(0), 1200);
    const double requestsFast = lineMs(6 * requestBytes(0) + requestBytes(3), 19200);
    const double answersFast =
        lineMs(2 * (answerBytes(2) + answerBytes(3) + answerBytes(16)) + answerBytes(16), 19200);
    // The simulated sensor answers at once: only the requests take their line time.
    const double expected = delays + requestsSlow + requestsFast;
    const double onRealLine = expected + answersSlow + answersFast;

    std::printf("[ timing ] delays %d ms + request line %.1f ms = %.1f ms expected; measured %.1f ms "
                "(ratio %.3f); on a real line also answers %.1f ms = %.1f ms\n",
                delays, requestsSlow + requestsFast, expected, measured, measured / expected,
                answersSlow + answersFast, onRealLine);
    EXPECT_GE(measured, expected * 0.98);
    EXPECT_LE(measured, expected * 1.3);
}
