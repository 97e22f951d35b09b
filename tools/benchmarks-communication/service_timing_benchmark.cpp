// Wall time of connect, identification of a sensor with a sub device and one
// read of a 16-byte parameter through the real device service in its own
// thread, against the simulated sensor, set against the floor the protocol
// imposes: its mandated waits plus the line time of every request (the
// simulated sensor answers at once). Run it from <build>/bin.

#include "communication/VeltrixDeviceService.h"
#include "communication/internal/FirstContact.h"
#include "communication/internal/Parameter.h"
#include "components/connectors/DeviceStack.h"
#include "device/ParameterSetBuilder.h"
#include "protocol/serial/FSerialPort.h"
#include "tools/benchmark_support.h"
#include "tools/orvik-sim/OrvikSimulatorFixture.h"
#include "tools/support/EventLoopWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace Hvd::Weft::Communication;
namespace Dev = Hvd::Weft::Device;
using Hvd::Weft::Simulator::OrvikSimulatorFixture;

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

Dev::Parameter variantParameter()
{
    return Dev::ParameterSetBuilder()
        .version(Dev::Version("V02.11"))
        .parameter("ProductVariantName")
        .type(Dev::DataType::ARRSTRING)
        .length(16)
        .address(399)
        .defaultValue(Dev::Value("0"))
        .build()
        .at("ProductVariantName");
}

void BM_ConnectIdentifyAndRead(benchmark::State& state)
{
    int argc = 1;
    char name[] = "service_timing_benchmark";
    char* argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    const Dev::Parameter variant = variantParameter();

    using Internal::FirstContact;
    const int requestDelay = VELTRIX_Timing().requestDelayMs; // before every request of a session
    const int step = VELTRIX_Timing().firstContact.stepDelayMs;
    // 137 | 128 | 129 | 135 136 141 (device) | 135 136 141 (sub device) | 130
    const int delays = VELTRIX_Timing().firstContact.startDelayMs + requestDelay + 2 * (step + requestDelay) +
                       2 * (step + 3 * requestDelay) + VELTRIX_Timing().parameter.startDelayMs + requestDelay;
    const double requestLine = lineMs(requestBytes(0) + requestBytes(0) + requestBytes(3), 1200) +
                               lineMs(6 * requestBytes(0) + requestBytes(3), 19200);
    const double answerLine =
        lineMs(answerBytes(0) + answerBytes(2) + answerBytes(0), 1200) +
        lineMs(2 * (answerBytes(2) + answerBytes(3) + answerBytes(16)) + answerBytes(16), 19200);
    const double floor = delays + requestLine;

    double wallMs = 0;
    int runs = 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        OrvikSimulatorFixture sensor;
        // The program's stack, with no port scans to disturb the measurement.
        Hvd::Weft::Components::DeviceStack stack(
            {VELTRIX_Timing(), [] { return Hvd::Weft::Communication::ComPortScanner::List{}; }, nullptr});
        auto& service = static_cast<VeltrixDeviceService&>(stack.getService());
        std::optional<Device> found;
        bool read = false;
        QObject::connect(&service, &DeviceService::foundDevice, &app,
                         [&](const Device& device) { found = device; });
        QObject::connect(&service, &DeviceService::successReading, &app, [&] { read = true; });
        const Comport port{sensor.devicePath(), QString(), 0, 0, true, 215, 300};
        state.ResumeTiming();

        QElapsedTimer clock;
        clock.start();
        QMetaObject::invokeMethod(
            &service, [&service, port] { service.start(port, true); }, Qt::QueuedConnection);
        const bool connected = EventLoopWait::waitUntil([&] { return found.has_value(); }, 20000);
        if (connected)
        {
            QMetaObject::invokeMethod(
                &service, [&service, device = *found, &variant] { service.read(device, {variant}, {}); },
                Qt::QueuedConnection);
            EventLoopWait::waitUntil([&] { return read; }, 20000);
        }
        wallMs += static_cast<double>(clock.nsecsElapsed()) / 1e6;
        ++runs;

        state.PauseTiming();
        if (!connected || !read)
        {
            state.SkipWithError("connect or read failed");
            return;
        }
        state.ResumeTiming();
    }
    state.counters["floor_ms"] = floor;
    state.counters["ratio"] = wallMs / runs / floor;
    std::printf("\n  waits %d ms + request line %.1f ms = floor %.1f ms; measured %.1f ms (ratio %.3f);"
                " on a real line also answers %.1f ms = %.1f ms\n\n",
                delays, requestLine, floor, wallMs / runs, wallMs / runs / floor, answerLine,
                floor + answerLine);
}

// Each run takes some 3.5 s of protocol waits.
BENCHMARK(BM_ConnectIdentifyAndRead)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
