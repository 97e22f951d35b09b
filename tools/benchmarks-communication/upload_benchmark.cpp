// Wall time of a 64 KiB firmware upload through the real device service in
// its own thread, for each bootloader family, against the simulated sensor's
// loader, set against the floor: the waits the upload prescribes (the start
// delay and request delay of command 133 and its line time, the hand-over,
// for MSP432 the pause after the loader's acknowledge) plus every byte the
// family writes at its rate with 11 bits per character (the simulated loader
// answers at once). Run it from <build>/bin.

#include "communication/VeltrixDeviceService.h"
#include "communication/internal/Bootloader.h"
#include "communication/internal/VeltrixDeviceServiceAccess.h"
#include "components/connectors/DeviceStack.h"
#include "protocol/VELTRIX_MASTER_AppLayer.h"
#include "tools/benchmark_support.h"
#include "tools/orvik-sim/OrvikSimulatorFixture.h"
#include "tools/support/EventLoopWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>

using namespace Hvd::Weft::Communication;
namespace Sim = Hvd::Weft::Simulator;

namespace
{

constexpr int imageSize = 64 * 1024;
// First contact takes the simulated sensor's fastest rate.
constexpr int veltrixBaud = 19200;
constexpr int request133Bytes = 14;

QString writeImage(const QTemporaryDir& dir)
{
    QByteArray text = "@4000\n";
    for (int i = 0; i < imageSize; i += 16)
    {
        QByteArray line;
        for (int j = i; j < i + 16; ++j)
            line.append(static_cast<char>((j * 31 + 7) & 0xFF));
        text += line.toHex(' ') + "\n";
    }
    QFile file(dir.filePath(QStringLiteral("image.txt")));
    file.open(QIODevice::WriteOnly);
    file.write(text + "q\n");
    return file.fileName();
}

void BM_Upload64KiB(benchmark::State& state)
{
    const bool tiva = state.range(0) == 0;
    int argc = 1;
    char name[] = "upload_benchmark";
    char* argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString image = writeImage(dir);
    const int familyBaud = tiva ? 230400 : 115200;
    const BootloaderTiming timing;

    double wallMs = 0;
    double floorMs = 0;
    int runs = 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        Sim::OrvikSimulatorOptions options;
        options.sensor.bootloader.family = tiva ? Sim::BootloaderFamily::Tiva : Sim::BootloaderFamily::Msp432;
        Sim::OrvikSimulatorFixture sensor(options);
        // The program's stack, with no port scans to disturb the measurement.
        Hvd::Weft::Components::DeviceStack stack(
            {VELTRIX_Timing(), [] { return Hvd::Weft::Communication::ComPortScanner::List{}; }, nullptr});
        auto& service = static_cast<VeltrixDeviceService&>(stack.getService());
        std::optional<Device> found;
        bool uploaded = false;
        QString failure;
        QObject::connect(&service, &DeviceService::foundDevice, &app, [&](const Device& d) { found = d; });
        QObject::connect(&service, &DeviceService::success, &app, [&] { uploaded = true; });
        QObject::connect(&service, &DeviceService::error, &app, [&](const QString& text) { failure = text; });
        QMetaObject::invokeMethod(
            &service,
            [&service, port = Comport{sensor.devicePath(), QString(), 0, 0, true, 215, 300}]
            { service.start(port, true); },
            Qt::QueuedConnection);
        if (!EventLoopWait::waitUntil([&] { return found.has_value(); }, 20000))
        {
            state.SkipWithError("connect failed");
            return;
        }
        std::atomic<qint64> written{0};
        state.ResumeTiming();

        QElapsedTimer clock;
        clock.start();
        QMetaObject::invokeMethod(
            &service,
            [&service, device = *found, tiva, image]
            {
                service.upload(Address::Type::Device, device,
                               tiva ? BootloaderType::TIVA : BootloaderType::MSP432, image, false, false);
            },
            Qt::QueuedConnection);
        // The family exists once the upload has started; it writes only after the hand-over.
        EventLoopWait::waitUntil(
            [&]
            { return VeltrixDeviceServiceAccess::bootloader(service)->getHandler()->family() != nullptr; },
            5000);
        QObject::connect(
            VeltrixDeviceServiceAccess::bootloader(service)->getHandler()->family(),
            &Bootloader::writeDataToInterface, &app,
            [&written](const QByteArray& data, bool) { written += data.size(); }, Qt::DirectConnection);
        EventLoopWait::waitUntil([&] { return uploaded || !failure.isEmpty(); }, 300000);
        wallMs += static_cast<double>(clock.nsecsElapsed()) / 1e6;

        state.PauseTiming();
        // The loader's reset goes out unanswered: the sensor sees it a moment later.
        if (!uploaded || !EventLoopWait::waitUntil([&] { return sensor.transferCompleted(); }, 3000))
        {
            state.SkipWithError(("upload failed: " + failure).toStdString().c_str());
            return;
        }
        const int waits = VELTRIX_Timing().uploadStartDelayMs + VELTRIX_Timing().requestDelayMs +
                          VELTRIX_Timing().bootloaderHandOverMs + (tiva ? 0 : timing.mspConnectDelayMs);
        floorMs += waits + lineMs(request133Bytes, veltrixBaud) + lineMs(written, familyBaud);
        ++runs;
        if (runs == 1)
            std::printf("\n  %s: waits %d ms + 133 line %.1f ms + %lld bytes written at %d baud %.1f ms\n",
                        tiva ? "Tiva" : "MSP432", waits, lineMs(request133Bytes, veltrixBaud),
                        static_cast<long long>(written.load()), familyBaud, lineMs(written, familyBaud));
        state.ResumeTiming();
    }
    state.counters["floor_ms"] = floorMs / runs;
    state.counters["ratio"] = wallMs / floorMs;
    std::printf("  floor %.0f ms, measured %.0f ms: ratio %.3f\n\n", floorMs / runs, wallMs / runs,
                wallMs / floorMs);
}

BENCHMARK(BM_Upload64KiB)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("msp432")
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
