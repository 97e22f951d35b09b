// Samples per second of the real `orvik values --device --samples 50`
// against the simulated sensor, set against the floor the protocol imposes
// on one sample: the step wait between sessions, the request delay before
// every request, and the line time of the request at the rate first contact
// chose (the sender waits it out; the simulated sensor's answer arrives at
// once on the pseudo-terminal, on a real line its line time adds to both).
// Run it from <build>/bin, beside orvik and Resources/.

#include "communication/internal/Values.h"
#include "protocol/VELTRIX_MASTER_AppLayer.h"
#include "protocol/serial/FSerialPort.h"
#include "tools/benchmark_support.h"
#include "tools/orvik-sim/OrvikSimulatorFixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

using Hvd::Weft::Simulator::OrvikSimulatorFixture;
namespace Internal = Hvd::Weft::Communication::Internal;

namespace
{

constexpr int samples = 50;
// The simulated sensor offers up to 19200 baud; first contact takes it.
constexpr int baud = 19200;
// The sensor's four device variables.
constexpr int variables = 4;

void BM_ValuesSamplesPerSecond(benchmark::State& state)
{
    int argc = 1;
    char name[] = "values_benchmark";
    char* argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    const QString bin = QCoreApplication::applicationDirPath();

    // Request: five preambles, delimiter, five address bytes, command, byte
    // count, checksum. Answer: the same with two status bytes, the variable
    // count and five bytes per variable (its preambles included).
    const int requestBytes = 14;
    const int answerBytes = 16 + 1 + 5 * variables;
    const int waits = VELTRIX_Timing().values.stepDelayMs + VELTRIX_Timing().requestDelayMs;
    const double perSample = waits + lineMs(requestBytes, baud);
    const double floorRate = 1000.0 / perSample;
    const double realLineRate = 1000.0 / (perSample + lineMs(answerBytes, baud));

    double rateSum = 0;
    double wallSum = 0;
    int runs = 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        OrvikSimulatorFixture sensor;
        QTemporaryDir work;
        linkRuntimeFiles(work.path());
        QProcess program;
        program.setWorkingDirectory(work.path());
        state.ResumeTiming();

        QElapsedTimer clock;
        clock.start();
        program.start(bin + QStringLiteral("/orvik"),
                      {QStringLiteral("values"), QStringLiteral("--port"), sensor.devicePath(),
                       QStringLiteral("--device"), QStringLiteral("--samples"), QString::number(samples)});
        // When the first and the last sample line arrived.
        qint64 first = -1;
        qint64 last = -1;
        int lines = 0;
        QByteArray pending;
        while (program.state() != QProcess::NotRunning || program.bytesAvailable() > 0)
        {
            program.waitForReadyRead(100);
            pending += program.readAllStandardOutput();
            qsizetype end = 0;
            while ((end = pending.indexOf('\n')) >= 0)
            {
                if (pending.startsWith("Sample "))
                {
                    last = clock.nsecsElapsed();
                    first = first < 0 ? last : first;
                    ++lines;
                }
                pending.remove(0, end + 1);
            }
            if (clock.elapsed() > 120000)
                break;
        }
        program.waitForFinished(5000);
        wallSum += static_cast<double>(clock.nsecsElapsed()) / 1e6;

        state.PauseTiming();
        if (program.exitCode() != 0 || lines != samples)
        {
            state.SkipWithError("orvik values failed");
            return;
        }
        rateSum += (samples - 1) / (static_cast<double>(last - first) / 1e9);
        ++runs;
        state.ResumeTiming();
    }
    const double rate = rateSum / runs;
    state.counters["samples_per_s"] = rate;
    state.counters["floor_samples_per_s"] = floorRate;
    // Time per sample measured over the floor's: 1 would be no overhead.
    state.counters["time_over_floor"] = floorRate / rate;
    std::printf(
        "\n  per sample: step %d ms + request delay %d ms + request line %.1f ms (%d bytes at %d baud,"
        " 11 bits) = %.1f ms -> floor %.3f samples/s\n"
        "  measured %.3f samples/s between the first and the last sample line: %.1f ms per sample,"
        " %.3f times the floor; whole program %.0f ms\n"
        "  on a real line the answer adds %.1f ms (%d bytes): %.3f samples/s at most\n\n",
        VELTRIX_Timing().values.stepDelayMs, VELTRIX_Timing().requestDelayMs, lineMs(requestBytes, baud),
        requestBytes, baud, perSample, floorRate, rate, 1000.0 / rate, floorRate / rate, wallSum / runs,
        lineMs(answerBytes, baud), answerBytes, realLineRate);
}

BENCHMARK(BM_ValuesSamplesPerSecond)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
