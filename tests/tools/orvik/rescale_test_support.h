#pragma once

// Runs `orvik rescale` (and the other subcommands) against the simulated
// sensor, as a separate program or in-process, and reads the parameters back out of the sensor's memories.

#include "app/Orvik.h"
#include "app/ParameterizeOrvikCommand.h"
#include "app/SensorBackup.h"
#include "components/logging/Application.h"
#include "device/Device.h"
#include "device/Value.h"
#include "device/Version.h"
#include "tests/support/log_capture.h"
#include "tests/support/pace.h"
#include "tests/support/wait.h"
#include "tools/orvik-sim/OrvikMemoryLayout.h"
#include "tools/orvik-sim/OrvikSimulatorFixture.h"
#include "tools/orvik/RescaleArguments.h"
#include "tools/orvik/RescaleRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace RescaleTest
{

namespace Sim = Hvd::Weft::Simulator;
namespace Dev = Hvd::Weft::Device;
using Sim::OrvikSimulatorFixture;
using Sim::OrvikSimulatorOptions;
using Sim::Target;

// A whole run on the simulated line takes some 13 s of protocol waits.
inline constexpr int runTimeoutMs = 60000;

struct Outcome
{
    int exitCode = -1;
    QStringList out;
    QStringList err;

    bool printedSuccess() const { return err.contains(QStringLiteral("[100%] Success")); }
    // Standard error without the progress lines, warnings, bootloader
    // states and the backup's path: what went wrong.
    QStringList failures() const
    {
        QStringList lines;
        for (const QString& line : err)
        {
            if (!line.startsWith(QLatin1Char('[')) && !line.startsWith(QLatin1String("Warning: ")) &&
                !line.startsWith(QLatin1String("New Bootloader state: ")) &&
                !line.startsWith(QLatin1String("Backup saved: ")))
                lines.append(line);
        }
        return lines;
    }
    std::string text() const { return (out + err).join(QLatin1Char('\n')).toStdString(); }
    // The backup a rescale saved before writing; empty if none.
    QString backupPath() const
    {
        static constexpr QLatin1String saved("Backup saved: ");
        for (const QString& line : err)
        {
            if (line.startsWith(saved))
                return line.mid(saved.size());
        }
        return {};
    }
    // The message of a rescale whose write failed with `failure` and whose
    // restore failed for `reason`.
    QString notRestored(const QString& failure, const QString& reason, const QString& port) const
    {
        return failure +
               QStringLiteral(
                   "\nThe sensor was NOT restored to its previous parameters (%1). Its backup is %2; "
                   "restore it with: %3")
                   .arg(reason, backupPath(), SensorBackup::restoreCommand(port, backupPath()));
    }
};

inline QString programPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/orvik");
}

// A working directory of its own, so that a run's log is not shared with
// other tests, with the files the program reads linked into it.
struct WorkDirectory
{
    WorkDirectory()
    {
        const QString bin = QCoreApplication::applicationDirPath();
        for (const char* name : {"Resources", "translations"})
            EXPECT_TRUE(QFile::link(bin + QLatin1Char('/') + QLatin1String(name), dir.filePath(name)));
    }
    QByteArray log(const char* name = "orvik.log") const
    {
        QFile file(dir.filePath(QLatin1String(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString path() const { return dir.path(); }
    QTemporaryDir dir;
};

// The program's log in this process, with Qt's own messages in it.
struct CapturedLog : TestSupport::LogCapture
{
    CapturedLog()
        : LogCapture(QtMessages::Routed)
    {
    }
    QByteArray close() { return QByteArray::fromStdString(text()); }
};

// The entries logged at error level or above, without time stamp and level,
// one a line.
inline std::string errorEntries(const QByteArray& log)
{
    QStringList entries;
    for (const QByteArray& line : log.split('\n'))
    {
        for (const char* level : {"] [error] ", "] [critical] "})
        {
            const qsizetype at = line.indexOf(level);
            if (at >= 0)
                entries.append(QString::fromUtf8(line.mid(at + qstrlen(level))));
        }
    }
    return entries.join(QLatin1Char('\n')).toStdString();
}

// The entries of one thread, in their order. Between threads the order is
// not fixed: a thread may log after it has signalled what another then logs.
inline std::string entriesOf(const char* thread, const std::string& entries)
{
    const QString prefix = QStringLiteral("[%1] ").arg(QLatin1String(thread));
    QStringList kept;
    for (const QString& line : QString::fromStdString(entries).split(QLatin1Char('\n')))
        if (line.startsWith(prefix))
            kept.append(line);
    return kept.join(QLatin1Char('\n')).toStdString();
}

// The log of a successful run: nothing at warning level or above, and no
// entry three times in a row (an event logged once per sequence object).
inline ::testing::AssertionResult isCleanSuccessLog(const QByteArray& log)
{
    const QList<QByteArray> lines = log.trimmed().split('\n');
    if (lines.size() < 10)
        return ::testing::AssertionFailure() << "hardly a log:\n" << log.toStdString();
    QByteArray previous;
    int repeats = 0;
    for (const QByteArray& line : lines)
    {
        for (const char* level : {"] [warning] ", "] [error] ", "] [critical] "})
            if (line.contains(level))
                return ::testing::AssertionFailure() << line.toStdString();
        // Without the time stamp.
        const QByteArray entry = line.mid(line.indexOf("] ") + 2);
        repeats = entry == previous ? repeats + 1 : 1;
        if (repeats >= 3)
            return ::testing::AssertionFailure() << "three times in a row: " << entry.toStdString();
        previous = entry;
    }
    return ::testing::AssertionSuccess();
}

// The data folder of the programs this test process starts: their backups
// and reports land here.
inline QString testDataHome()
{
    static const QTemporaryDir dir;
    return dir.path();
}

// The backups folder of a program started with testDataHome().
inline QString programBackupFolder()
{
    return testDataHome() + QLatin1Char('/') +
           QLatin1String(Hvd::Weft::Components::Application::organizationNameText) +
           QStringLiteral("/OrvikRescaler/backups");
}

// The environment the real program runs in: no display, the test's data
// folder, and the given pace (1 keeps the protocol's own).
inline QProcessEnvironment orvikEnvironment(double pace = TestSupport::testPace)
{
    const QString scaleVariable =
        QString::fromLatin1(Hvd::Weft::Communication::VeltrixDeviceService::timeScaleVariable);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // No display at all: the program must not need one.
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(name));
    // Backups and reports go into the test's data folder, not the user's.
    environment.insert(QStringLiteral("XDG_DATA_HOME"), testDataHome());
    // The simulated sensor's burst pacing stays, which only makes the
    // program wait a little longer for the first frame.
    environment.remove(scaleVariable);
    if (pace != 1.0)
        environment.insert(scaleVariable, QString::number(pace));
    return environment;
}

// The real program, started from the directory with Resources/ (or another
// prepared like it).
inline Outcome runOrvik(const QStringList& arguments, const QString& workingDirectory = {},
                        const QStringList& environmentSettings = {})
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory.isEmpty() ? QCoreApplication::applicationDirPath()
                                                           : workingDirectory);
    QProcessEnvironment environment = orvikEnvironment();
    for (const QString& setting : environmentSettings)
        environment.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(environment);
    process.start(programPath(), arguments);
    Outcome outcome;
    if (!process.waitForFinished(runTimeoutMs) || process.exitStatus() != QProcess::NormalExit)
    {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "orvik did not end normally: " << process.errorString().toStdString();
        return outcome;
    }
    outcome.exitCode = process.exitCode();
    outcome.out =
        QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    outcome.err =
        QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return outcome;
}

inline Outcome runProgram(const QStringList& arguments, const QString& workingDirectory = {})
{
    return runOrvik(QStringList{QStringLiteral("rescale")} + arguments, workingDirectory);
}

// How many handles this process holds on the device (the fixture keeps one).
inline int openHandles(const QString& devicePath)
{
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
    {
        // A device that went away (a pulled adapter) still counts while held.
        const QString target = fd.symLinkTarget();
        count += target == devicePath || target == devicePath + QLatin1String(" (deleted)") ? 1 : 0;
    }
    return count;
}

// A run in this process; checks that the port is released before the run
// object goes away, so that only the run itself can have released it.
// `prepare` sets the run up before it starts (a backup folder, a listener).
inline Outcome runInProcess(const OrvikSimulatorFixture& sensor, const Orvik& orvik,
                            const VELTRIX_Timing& timing = TestSupport::testTiming(),
                            const std::function<void(RescaleRun&)>& prepare = {})
{
    const int handlesBefore = openHandles(sensor.devicePath());
    Outcome outcome;
    RescaleRun run(sensor.devicePath(), orvik, timing);
    if (prepare)
        prepare(run);
    QObject::connect(&run, &RescaleRun::printed,
                     [&outcome](const QString& line) { outcome.out.append(line); });
    QObject::connect(&run, &RescaleRun::progressed,
                     [&outcome](const QString& line) { outcome.err.append(line); });
    QObject::connect(&run, &RescaleRun::failed,
                     [&outcome](const QString& line) { outcome.err.append(line); });
    QSignalSpy finished(&run, &RescaleRun::finished);
    run.start();
    if (!QTest::qWaitFor([&] { return finished.count() > 0; }, runTimeoutMs))
    {
        ADD_FAILURE() << "the run did not end:\n" << outcome.text();
        return outcome;
    }
    EXPECT_EQ(finished.count(), 1);
    outcome.exitCode = finished.first().at(0).toInt();
    EXPECT_EQ(run.exitCode(), outcome.exitCode);
    // The serial port closes in its own thread just after the service reported it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return openHandles(sensor.devicePath()) == handlesBefore; }, 3000))
        << "port still open after the run";
    return outcome;
}

// Spins one thread per core until destroyed.
class CpuLoad
{
public:
    CpuLoad()
    {
        const unsigned cores = std::max(2u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < cores; ++i)
            threads.emplace_back(
                [this]
                {
                    volatile unsigned long sink = 0;
                    while (!stop.load(std::memory_order_relaxed))
                        sink = sink + 1;
                });
    }
    ~CpuLoad()
    {
        stop = true;
        for (auto& thread : threads)
            thread.join();
    }

private:
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
};

inline Orvik size(const char* name)
{
    for (const Orvik& orvik : Orvik::getOrviks())
    {
        if (orvik.name == name)
            return orvik;
    }
    ADD_FAILURE() << "no size " << name;
    return {};
}

// The parameters of one part as the description lays them out, read from a
// memory image of the simulated sensor.
class SensorImage
{
public:
    SensorImage(const OrvikSimulatorFixture& sensor, Target target, const char* version)
        : memory(sensor.memory(target))
    {
        static const Dev::Device description = []
        {
            QString error;
            auto loaded = Sim::loadDescription(QString(), &error);
            EXPECT_TRUE(loaded.has_value()) << error.toStdString();
            return loaded.value_or(Dev::Device());
        }();
        const auto& sets = target == Target::Device ? description.getDeviceParameterSets()
                                                    : description.getSubdeviceParameterSets();
        set = &sets.at(Dev::Version(version));
    }

    const Dev::Parameter& parameter(const std::string& name) const { return set->at(name); }
    const Dev::Parameter& kFactor() const
    {
        for (const auto& [name, parameter] : set->getParameters())
        {
            if (parameter.hasTag(Dev::Tag::KFAKTOR))
                return parameter;
        }
        throw std::invalid_argument("no k-factor");
    }

    Dev::Value nvm(const Dev::Parameter& parameter) const { return decode(memory.nvm, parameter); }
    Dev::Value working(const Dev::Parameter& parameter) const { return decode(memory.working, parameter); }
    Dev::Value factory(const Dev::Parameter& parameter) const { return decode(memory.factory, parameter); }
    Dev::Value nvm(const std::string& name) const { return nvm(parameter(name)); }

private:
    static Dev::Value decode(const QByteArray& image, const Dev::Parameter& parameter)
    {
        const std::size_t size = parameter.getByteSize();
        if (image.size() < static_cast<qsizetype>(parameter.getAddress() + size))
            return {};
        return Dev::Value::fromRawData(parameter.getType(), image.constData() + parameter.getAddress(), size);
    }

    Sim::PartMemory memory;
    const Dev::ParameterSet<Dev::Parameter>* set = nullptr;
};

// What a rescale to `orvik` must leave in the sensor: the measuring-range
// end is the flow at 10 m/s through the pipe, in whole m³/h for metric
// sizes and whole US gallons per minute for imperial ones, in L/min.
struct Expected
{
    explicit Expected(const Orvik& orvik)
    {
        const double d = static_cast<double>(orvik.innerDiameter.value());
        const double fullFlow = (d * 0.5) * (d * 0.5) * std::numbers::pi * 600000;
        const bool metric = orvik.lengthUnit == Hvd::Unit::LengthType::MilliMeter;
        const double perLitre = metric ? 0.06 : 0.264172;
        rangeEnd = std::round(fullFlow * perLitre) / perLitre;
        shownFlow = std::round(fullFlow * perLitre);
        const float shown = orvik.innerDiameter.value() / (metric ? 0.001f : 0.0254f);
        shownDiameter = QString::number(static_cast<double>(shown), 'g', 6);
        variant = QStringLiteral("Orvik ") + shownDiameter;
    }

    double rangeEnd = 0;
    double shownFlow = 0;
    QString shownDiameter;
    QString variant;
};

// Everything a successful rescale to `orvik` leaves in the sensor, from one
// calibrated for `reference` metres whose k-factor was `oldK`.
inline void expectSensorRescaled(const OrvikSimulatorFixture& sensor, const Orvik& orvik, double reference,
                                 float oldK)
{
    const Expected expected(orvik);
    const SensorImage device(sensor, Target::Device, "V02.11");
    const SensorImage sub(sensor, Target::SubDevice, "V02.10");

    const double factor =
        ParameterizeOrvikCommand::freeArea(reference) /
        ParameterizeOrvikCommand::freeArea(static_cast<double>(orvik.innerDiameter.value()));
    ASSERT_GT(std::abs(factor - 1), 0.01) << "the sizes must differ for the scaling to show";
    EXPECT_FLOAT_EQ(sub.nvm(sub.kFactor()).toFloat(), static_cast<float>(oldK * factor));

    const double e = expected.rangeEnd;
    const auto code = [](auto unit) { return static_cast<double>(unit); };
    const QList<std::pair<const char*, double>> rows{
        {"DosingUnit", code(orvik.flowUnit)},
        {"FlowCutOff", e / 10},
        {"FlowMeasStart", -e},
        {"FlowMeasEnd", e},
        {"FlowUnit", code(orvik.flowUnit)},
        {"Out1Unit", code(orvik.outputUnit)},
        {"Out1ValueMaxHz", e},
        {"Out1Value10V", e},
        {"Out1Value20mA", e},
        {"Out2Unit", code(orvik.outputUnit)},
        {"Out2ValueMaxHz", e},
        {"Out2Value10V", e},
        {"Out2Value20mA", e},
        {"TemperatureUnit", code(orvik.temperatureUnit)},
    };
    QList<const Dev::Parameter*> written;
    for (const auto& [name, value] : rows)
    {
        const Dev::Parameter& parameter = device.parameter(name);
        EXPECT_FLOAT_EQ(static_cast<float>(device.nvm(parameter).toDouble()), static_cast<float>(value))
            << name;
        written.append(&parameter);
    }
    const Dev::Parameter& variant = device.parameter("ProductVariantName");
    const std::string text = device.nvm(variant).toString();
    EXPECT_EQ(QString::fromStdString(text.substr(0, text.find('\0'))), expected.variant);
    written.append(&variant);
    EXPECT_FLOAT_EQ(static_cast<float>(sub.nvm("settings.range.fMeasEnd").toDouble()), static_cast<float>(e));

    // Taken into working memory and stored as factory defaults after the
    // write: all three images agree on every value written.
    for (const Dev::Parameter* parameter : written)
    {
        EXPECT_EQ(device.working(*parameter), device.nvm(*parameter)) << parameter->getName();
        EXPECT_EQ(device.factory(*parameter), device.nvm(*parameter)) << parameter->getName();
    }
    for (const Dev::Parameter* parameter : {&sub.kFactor(), &sub.parameter("settings.range.fMeasEnd")})
    {
        EXPECT_EQ(sub.working(*parameter), sub.nvm(*parameter)) << parameter->getName();
        EXPECT_EQ(sub.factory(*parameter), sub.nvm(*parameter)) << parameter->getName();
    }
    using Record = Sim::SystemCommandRecord;
    EXPECT_EQ(sensor.systemCommands(), (QList<Record>{{Target::Device, 0, true}, {Target::Device, 3, true}}));
    EXPECT_EQ(sensor.restartCount(), 1);
}

} // namespace RescaleTest
