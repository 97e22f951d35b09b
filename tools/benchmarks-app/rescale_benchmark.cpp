// Wall time of one complete rescale with the real `orvik rescale`
// against the simulated sensor, set against the floor the protocol itself
// imposes: its mandated waits plus the line time of every frame of the run.
// Run it from <build>/bin, beside orvik and Resources/.

#include "communication/internal/FirstContact.h"
#include "communication/internal/Parameter.h"
#include "communication/internal/SysCommand.h"
#include "protocol/VELTRIX.h"
#include "protocol/serial/FSerialPort.h"
#include "tools/benchmark_support.h"
#include "tools/orvik-sim/OrvikSimulatorFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <optional>

using Hvd::Weft::Simulator::OrvikSimulatorFixture;
namespace Internal = Hvd::Weft::Communication::Internal;

namespace
{

// Bytes of the run's frames by line rate, read from the program's log: each
// request as sent ("VELTRIX TX", preambles included) and each answer as
// received ("VELTRIX RX", without its five preambles and checksum).
struct Frames
{
    int requests = 0;
    int answers = 0;
    double requestLineMs = 0;
    double answerLineMs = 0;
    // The read requests (130) among them: their number and line time.
    int reads = 0;
    double readLineMs = 0;
};

Frames readFrames(const QString& logPath)
{
    QFile log(logPath);
    Frames frames;
    if (!log.open(QIODevice::ReadOnly | QIODevice::Text))
        return frames;
    static const QRegularExpression frame(QStringLiteral("VELTRIX (TX|RX) ([0-9a-f ]+)$"));
    static const QRegularExpression rate(QStringLiteral("Changed baudrate (\\d+)$"));
    int baud = 1200;
    while (!log.atEnd())
    {
        const QString line = QString::fromUtf8(log.readLine()).trimmed();
        if (const auto changed = rate.match(line); changed.hasMatch())
            baud = changed.captured(1).toInt();
        const auto match = frame.match(line);
        if (!match.hasMatch())
            continue;
        const int bytes =
            static_cast<int>(match.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts).size());
        if (match.captured(1) == QLatin1String("TX"))
        {
            ++frames.requests;
            frames.requestLineMs += lineMs(bytes, baud);
            // Preambles 0xFF, the start byte, five address bytes, the command.
            const QStringList hex = match.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            qsizetype at = 0;
            while (at < hex.size() && hex[at] == QLatin1String("ff"))
                ++at;
            if (hex.value(at + 6) == QLatin1String("82"))
            {
                ++frames.reads;
                frames.readLineMs += lineMs(bytes, baud);
            }
        }
        else
        {
            ++frames.answers;
            frames.answerLineMs += lineMs(bytes + 5 + 1, baud);
        }
    }
    return frames;
}

// The waits the protocol sequences prescribe for one rescale; `writes` and
// `takeOvers` are the numbers of 131 and 132 requests of the run,
// `backupChunks` the chunks of the read before the write (the k-factor and
// the backup of everything the write replaces). Every
// request leaves `request` ms after its session started or after the answer
// before it; sequences follow each other after their step delay.
struct Waits
{
    Waits(int writes, int takeOvers, int backupChunks)
    {
        const int request = VELTRIX_Timing().requestDelayMs;
        const int firstStep = VELTRIX_Timing().firstContact.stepDelayMs;
        // 137 | 128 | 129 | 135 136 141 to the device | the same to the sub device
        connect = VELTRIX_Timing().firstContact.startDelayMs + request + 2 * (firstStep + request) +
                  2 * (firstStep + 3 * request);
        // The product variant name in one 130; then one 130 sequence per
        // chunk of the backup, a step delay between them.
        reads = 2 * (VELTRIX_Timing().parameter.startDelayMs + request) +
                (backupChunks - 1) * (VELTRIX_Timing().parameter.stepDelayMs + request);
        // One [131, 130] sequence per chunk and one [132] per part, a step
        // delay between sequences.
        const int sequences = writes + takeOvers;
        write = VELTRIX_Timing().parameter.startDelayMs + writes * 2 * request + takeOvers * request +
                (sequences - 1) * VELTRIX_Timing().parameter.stepDelayMs;
        // 143 "set as factory defaults" (then the store pause), 143 "restart".
        system = 2 * (VELTRIX_Timing().sysCommand.startDelayMs + request) +
                 VELTRIX_Timing().factoryDefaultsPauseMs;
        this->writes = writes;
        this->takeOvers = takeOvers;
        this->backupChunks = backupChunks;
    }

    int total() const { return connect + reads + write + system; }

    int connect = 0;
    int reads = 0;
    int write = 0;
    int system = 0;
    int writes = 0;
    int takeOvers = 0;
    int backupChunks = 1;
};

void printArithmetic(const Waits& waits, const Frames& frames, double wallMs)
{
    const int request = VELTRIX_Timing().requestDelayMs;
    const double floor = waits.total() + frames.requestLineMs;
    const auto row = [](const QString& label, double ms, int decimals = 0)
    { std::printf("  %-62s = %8.*f ms\n", qPrintable(label), decimals, ms); };
    std::printf("\nOne rescale (D1H from Orvik 82.5), waits the protocol prescribes:\n");
    row(QStringLiteral("connect   %1 + %2 + 2 x (%3 + %2) + 2 x (%3 + 3 x %2)")
            .arg(VELTRIX_Timing().firstContact.startDelayMs)
            .arg(request)
            .arg(VELTRIX_Timing().firstContact.stepDelayMs),
        waits.connect);
    row(QStringLiteral("reads     2 x (%1 + %2) + (%3 - 1) x (%4 + %2)")
            .arg(VELTRIX_Timing().parameter.startDelayMs)
            .arg(request)
            .arg(waits.backupChunks)
            .arg(VELTRIX_Timing().parameter.stepDelayMs),
        waits.reads);
    row(QStringLiteral("write     %1 + %2 x 2 x %3 + %4 x %3 + (%2 + %4 - 1) x %5")
            .arg(VELTRIX_Timing().parameter.startDelayMs)
            .arg(waits.writes)
            .arg(request)
            .arg(waits.takeOvers)
            .arg(VELTRIX_Timing().parameter.stepDelayMs),
        waits.write);
    row(QStringLiteral("defaults, restart   2 x (%1 + %2) + %3")
            .arg(VELTRIX_Timing().sysCommand.startDelayMs)
            .arg(request)
            .arg(VELTRIX_Timing().factoryDefaultsPauseMs),
        waits.system);
    row(QStringLiteral("waits"), waits.total());
    row(QStringLiteral("+ line time of %1 requests (11 bits a byte, 1200/19200 Bd)").arg(frames.requests),
        frames.requestLineMs, 1);
    row(QStringLiteral("floor on the simulator (it answers at once)"), floor, 1);
    row(QStringLiteral("floor on a real line (+ %1 answers, %2 ms)")
            .arg(frames.answers)
            .arg(frames.answerLineMs, 0, 'f', 1),
        floor + frames.answerLineMs, 1);
    // Without the backup the read before the write was the k-factor alone:
    // one chunk.
    const int extraReads = waits.backupChunks - 1;
    const double perRead = frames.reads > 0 ? frames.readLineMs / frames.reads : 0;
    row(QStringLiteral("the backup's share: %1 x (%2 + %3) + %1 read requests")
            .arg(extraReads)
            .arg(VELTRIX_Timing().parameter.stepDelayMs)
            .arg(request),
        extraReads * (VELTRIX_Timing().parameter.stepDelayMs + request + perRead), 1);
    row(QStringLiteral("floor without the backup (the k-factor read alone)"),
        floor - extraReads * (VELTRIX_Timing().parameter.stepDelayMs + request + perRead), 1);
    row(QStringLiteral("wall time of orvik rescale, mean of the runs"), wallMs, 1);
    std::printf("  %-62s = %8.3f\n\n", "ratio wall / floor on the simulator", wallMs / floor);
}

void BM_CompleteRescale(benchmark::State& state)
{
    // QProcess and the simulator's threads want an application object.
    int argc = 1;
    char name[] = "rescale_benchmark";
    char* argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    const QString bin = QCoreApplication::applicationDirPath();
    // A working directory of its own, so the program's log holds this run only.
    QTemporaryDir work;
    if (!work.isValid() || !linkRuntimeFiles(work.path()))
    {
        state.SkipWithError("no working directory");
        return;
    }
    const QString logPath = work.filePath(QStringLiteral("orvik.log"));
    double floorMs = 0;
    double wallMs = 0;
    int runs = 0;
    Frames frames;
    std::optional<Waits> waits;
    for (auto _ : state)
    {
        state.PauseTiming();
        QFile::remove(logPath);
        OrvikSimulatorFixture sensor;
        if (!sensor.isReady())
        {
            state.SkipWithError("simulated sensor not ready");
            return;
        }
        QProcess program;
        program.setWorkingDirectory(work.path());
        // Its backups and reports stay in the working directory.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), work.path());
        program.setProcessEnvironment(environment);
        state.ResumeTiming();

        QElapsedTimer clock;
        clock.start();
        program.start(bin + QStringLiteral("/orvik"),
                      {QStringLiteral("rescale"), QStringLiteral("--port"), sensor.devicePath(),
                       QStringLiteral("--size"), QStringLiteral("D1H")});
        const bool ended = program.waitForFinished(120000);
        wallMs += static_cast<double>(clock.nsecsElapsed()) / 1e6;
        ++runs;

        state.PauseTiming();
        if (!ended || program.exitCode() != 0)
        {
            state.SkipWithError("orvik rescale failed");
            return;
        }
        frames = readFrames(logPath);
        // Every 131 is read back; the first 130 is the product variant name.
        waits.emplace(sensor.requestCount(131), sensor.requestCount(132),
                      sensor.requestCount(130) - sensor.requestCount(131) - 1);
        if (frames.reads != sensor.requestCount(130))
        {
            state.SkipWithError("the log and the sensor disagree on the number of reads");
            return;
        }
        if (frames.requests != sensor.requestCount())
        {
            state.SkipWithError("the log and the sensor disagree on the number of requests");
            return;
        }
        floorMs = waits->total() + frames.requestLineMs;
        state.ResumeTiming();
    }
    if (!waits)
        return;
    state.counters["floor_ms"] = floorMs;
    state.counters["ratio"] = wallMs / runs / floorMs;
    printArithmetic(*waits, frames, wallMs / runs);
}

// Each run takes some 13 s of protocol waits.
BENCHMARK(BM_CompleteRescale)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
