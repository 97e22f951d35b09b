// orvik-sim: a simulated Orvik sensor behind its single-wire adapter, served
// on a pseudo-terminal. See README.md beside this file.

#include "logging/Logger.h"
#include "tools/orvik-sim/OrvikSimulatorHost.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QThread>

#include <spdlog/sinks/stdout_color_sinks.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>

#include <sys/signalfd.h>
#include <unistd.h>

using Hvd::Weft::Components::Logger;
namespace Sim = Hvd::Weft::Simulator;

namespace
{

constexpr int iExitFailure = 1;
constexpr int iExitUsage = 2;

struct ProgramOptions
{
    Sim::OrvikSimulatorOptions simulator;
    QString linkPath;
    // The master end of a pseudo-terminal handed over by the caller; -1: open one.
    int masterFd = -1;
    bool verbose = false;
};

struct BootloaderOptions
{
    const QCommandLineOption* family;
    const QCommandLineOption* now;
    const QCommandLineOption* silent;
    const QCommandLineOption* refuse;
    const QCommandLineOption* badCrc;
    const QCommandLineOption* badStatus;
    const QCommandLineOption* noRelease;
};

// The loader options; false with a reason on bad input.
bool parseBootloader(const QCommandLineParser& parser, const BootloaderOptions& options,
                     Sim::BootloaderConfig& config, QString& error)
{
    const auto count =
        [&](const QCommandLineOption* option, int min, bool allowAll, std::optional<int>& target)
    {
        if (!parser.isSet(*option))
            return true;
        const QString text = parser.value(*option);
        bool ok = false;
        const int value = text.toInt(&ok);
        if (allowAll && text == QLatin1String("all"))
            target = -1;
        else if (ok && value >= min)
            target = value;
        else
        {
            error = QStringLiteral("--%1 needs a packet number, got '%2'")
                        .arg(option->names().constFirst(), text);
            return false;
        }
        return true;
    };
    if (parser.isSet(*options.family))
    {
        const auto family = Sim::parseBootloaderFamily(parser.value(*options.family));
        if (!family)
        {
            error =
                QStringLiteral("--bootloader is tiva or msp432, got '%1'").arg(parser.value(*options.family));
            return false;
        }
        config.family = *family;
    }
    config.startInLoader = parser.isSet(*options.now);
    config.releaseByte = !parser.isSet(*options.noRelease);
    if (!count(options.silent, 0, false, config.silentFrom) ||
        !count(options.refuse, 1, false, config.refuseData) ||
        !count(options.badCrc, 1, true, config.badCheck) ||
        !count(options.badStatus, 1, true, config.badCheck))
        return false;

    const bool anyLoaderOption = config.startInLoader || config.silentFrom || config.refuseData ||
                                 config.badCheck || !config.releaseByte;
    if (config.family == Sim::BootloaderFamily::None && anyLoaderOption)
        error = QStringLiteral("the loader options need --bootloader");
    else if (parser.isSet(*options.badCrc) && config.family != Sim::BootloaderFamily::Msp432)
        error = QStringLiteral("--bl-bad-crc is for the msp432 loader; the tiva loader has --bl-bad-status");
    else if (parser.isSet(*options.badStatus) && config.family != Sim::BootloaderFamily::Tiva)
        error = QStringLiteral("--bl-bad-status is for the tiva loader; the msp432 loader has --bl-bad-crc");
    return error.isEmpty();
}

// Fills options from the command line; false with a reason on bad input.
bool parseArguments(const QCoreApplication& app, ProgramOptions& options, QString& error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated Orvik sensor on a pseudo-terminal."));
    parser.addHelpOption();
    const QCommandLineOption link(QStringLiteral("link"), "Make PATH a symbolic link to the device.", "PATH");
    const QCommandLineOption fd(QStringLiteral("fd"),
                                "Serve the pseudo-terminal whose master end is the inherited descriptor FD.",
                                "FD");
    const QCommandLineOption address(QStringLiteral("address"), "Bus address, five bytes (19 0 4 0 2).",
                                     "BYTES");
    const QCommandLineOption version(QStringLiteral("version"), "Device firmware (V02.11).", "VERSION");
    const QCommandLineOption subVersion(QStringLiteral("sub-version"), "Sub-device firmware (V02.10).",
                                        "VERSION");
    const QCommandLineOption name(QStringLiteral("name"), "Device type name.", "TEXT");
    const QCommandLineOption subName(QStringLiteral("sub-name"), "Sub-device type name.", "TEXT");
    const QCommandLineOption revision(QStringLiteral("revision"), "Device revision, YYMMDD.", "DATE");
    const QCommandLineOption subRevision(QStringLiteral("sub-revision"), "Sub-device revision, YYMMDD.",
                                         "DATE");
    const QCommandLineOption baudMask(QStringLiteral("baud-mask"), "Rates offered by command 128 (0x1F).",
                                      "MASK");
    const QCommandLineOption variant(QStringLiteral("variant"), "ProductVariantName (Orvik 82.5).", "TEXT");
    const QCommandLineOption kfactor(QStringLiteral("kfactor"), "The sub device's KFAKTOR value.", "X");
    const QCommandLineOption status(QStringLiteral("status"), "Status High of every answer.", "BYTE");
    const QCommandLineOption deviceVariables(
        QStringLiteral("device-variables"),
        "Variables of 138: UNIT:V[/V...],... each answer takes the next value; unit 41 is the volume "
        "since the previous answer.",
        "LIST");
    const QCommandLineOption burstVariables(QStringLiteral("burst-variables"),
                                            "Variables of 139 and of burst frames, as --device-variables.",
                                            "LIST");
    const QCommandLineOption description(QStringLiteral("description"), "Another .desc.json file.", "FILE");
    const QCommandLineOption state(QStringLiteral("state"), "Write the state to FILE after every change.",
                                   "FILE");
    const QCommandLineOption nak(QStringLiteral("nak"), "Refuse CMD (Status Low 1).", "CMD[:N]");
    const QCommandLineOption silent(QStringLiteral("silent"), "Do not answer CMD.", "CMD[:N]");
    const QCommandLineOption mismatch(QStringLiteral("readback-mismatch"),
                                      "Reads covering ADDR return it changed.", "[dev:|sub:]ADDR[:N]");
    const QCommandLineOption wrongCommand(QStringLiteral("wrong-command"), "Answer CMD with another command.",
                                          "CMD[:N]");
    const QCommandLineOption badChecksum(QStringLiteral("bad-checksum"), "Answer CMD with a bad checksum.",
                                         "CMD[:N]");
    const QCommandLineOption fewPreambles(QStringLiteral("few-preambles"), "Answer CMD with four preambles.",
                                          "CMD[:N]");
    const QCommandLineOption dropAfter(QStringLiteral("drop-after"), "Fall silent after K answers.", "K");
    const QCommandLineOption noEcho(QStringLiteral("no-echo"),
                                    "The adapter does not echo the master's bytes.");
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     "Also log burst frames, line errors, loader packets and garbage.");
    const QCommandLineOption bootloader(QStringLiteral("bootloader"),
                                        "Command 133 starts this loader: tiva or msp432.", "FAMILY");
    const QCommandLineOption bootloaderNow(QStringLiteral("bootloader-now"),
                                           "Start in the loader; the application does not run.");
    const QCommandLineOption blSilent(
        QStringLiteral("bl-silent"), "The loader answers nothing from packet N on (0: not even the wake-up).",
        "N");
    const QCommandLineOption blRefuse(QStringLiteral("bl-refuse"), "The loader refuses data packet N.", "N");
    const QCommandLineOption blBadCrc(QStringLiteral("bl-bad-crc"),
                                      "MSP432: CRC check answer N (or all) carries a wrong CRC.", "N|all");
    const QCommandLineOption blBadStatus(QStringLiteral("bl-bad-status"),
                                         "Tiva: Get Status answer N (or all) reports a failure.", "N|all");
    const QCommandLineOption blNoRelease(QStringLiteral("bl-no-release-byte"),
                                         "No line release byte after the loader's answers.");
    const QCommandLineOption anySpeed(QStringLiteral("any-speed"),
                                      "Understand bytes at any line speed (not only the one in use).");
    const QCommandLineOption hangUpAfter(
        QStringLiteral("hang-up-after"),
        "Pull the adapter MS milliseconds after listening (the line hangs up).", "MS");
    const QCommandLineOption hangUpAt(QStringLiteral("hang-up-at"),
                                      "Pull the adapter at the Nth request, which goes unanswered.", "N");
    parser.addOptions({link,      address,  version,      subVersion,      name,
                       subName,   revision, subRevision,  baudMask,        variant,
                       kfactor,   status,   description,  state,           nak,
                       silent,    mismatch, wrongCommand, badChecksum,     fewPreambles,
                       dropAfter, noEcho,   verbose,      deviceVariables, burstVariables});
    parser.addOptions(
        {bootloader, bootloaderNow, blSilent, blRefuse, blBadCrc, blBadStatus, blNoRelease, anySpeed, fd});
    const QCommandLineOption timeScale(
        QStringLiteral("time-scale"),
        "Scale the sensor's delays by F (0.01 to 1); give the program ORVIK_TIME_SCALE=F as well.", "F");
    parser.addOptions({hangUpAfter, hangUpAt, timeScale});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
    {
        error = QStringLiteral("unexpected argument ") + parser.positionalArguments().constFirst();
        return false;
    }

    Sim::OrvikSensorConfig& sensor = options.simulator.sensor;
    options.linkPath = parser.value(link);
    options.simulator.descriptionPath = parser.value(description);
    options.simulator.stateFile = parser.value(state);
    options.simulator.adapterEcho = !parser.isSet(noEcho);
    options.simulator.strictLineSpeed = !parser.isSet(anySpeed);
    options.verbose = parser.isSet(verbose);

    if (parser.isSet(address))
    {
        const auto parsed = Sim::parseAddress(parser.value(address));
        if (!parsed)
        {
            error = QStringLiteral("--address needs five bytes, got '%1'").arg(parser.value(address));
            return false;
        }
        sensor.address = *parsed;
    }
    // Texts taken as given once they pass their check, if they have one.
    struct Text
    {
        const QCommandLineOption* option;
        QString* target;
        bool (*valid)(const QString&);
        const char* form;
    };
    const auto isVersion = [](const QString& text) { return Sim::parseVersion(text).has_value(); };
    const auto isRevision = [](const QString& text) { return Sim::parseRevision(text).has_value(); };
    const Text texts[] = {
        {&version, &sensor.device.version, isVersion, "a version looks like V02.11"},
        {&subVersion, &sensor.subDevice.version, isVersion, "a version looks like V02.11"},
        {&revision, &sensor.device.revision, isRevision, "a revision looks like 230615"},
        {&subRevision, &sensor.subDevice.revision, isRevision, "a revision looks like 230615"},
        {&name, &sensor.device.name, nullptr, ""},
        {&subName, &sensor.subDevice.name, nullptr, ""},
        {&variant, &sensor.variant, nullptr, ""},
    };
    for (const Text& text : texts)
    {
        if (!parser.isSet(*text.option))
            continue;
        const QString value = parser.value(*text.option);
        if (text.valid && !text.valid(value))
        {
            error = QStringLiteral("%1, got '%2'").arg(QString::fromLatin1(text.form), value);
            return false;
        }
        *text.target = value;
    }

    // A whole number from 0 to max (decimal or 0x hex), handed to apply.
    const auto number = [&](const QCommandLineOption& option, uint max, const char* refusal, auto apply)
    {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        const uint value = parser.value(option).toUInt(&ok, 0);
        if (!ok || value > max)
        {
            error = QString::fromLatin1(refusal);
            return false;
        }
        apply(value);
        return true;
    };
    if (!number(baudMask, 0x3FF, "--baud-mask takes bits 0 to 9",
                [&](uint value) { sensor.baudMask = static_cast<std::uint16_t>(value); }) ||
        !number(status, 255, "--status needs a byte",
                [&](uint value) { sensor.status = static_cast<std::uint8_t>(value); }) ||
        !number(dropAfter, std::numeric_limits<int>::max(), "--drop-after needs a count",
                [&](uint value) { sensor.dropAfter = static_cast<int>(value); }) ||
        !number(fd, std::numeric_limits<int>::max(), "--fd needs a descriptor number",
                [&](uint value) { options.masterFd = static_cast<int>(value); }) ||
        !number(hangUpAfter, std::numeric_limits<int>::max(), "--hang-up-after needs milliseconds",
                [&](uint value) { options.simulator.hangUpAfterMs = static_cast<int>(value); }) ||
        !number(hangUpAt, std::numeric_limits<int>::max(), "--hang-up-at needs a request number from 1",
                [&](uint value) { options.simulator.hangUpAtRequest = static_cast<int>(value); }))
        return false;
    if (parser.isSet(timeScale))
    {
        const std::optional<double> factor = VELTRIX_Timing::parseScale(parser.value(timeScale));
        if (!factor)
        {
            error = QStringLiteral("--time-scale needs a factor from 0.01 to 1");
            return false;
        }
        options.simulator.timing = VELTRIX_Timing().scaled(*factor);
    }
    if (options.simulator.hangUpAtRequest == 0)
    {
        error = QStringLiteral("--hang-up-at needs a request number from 1");
        return false;
    }
    if (options.masterFd >= 0 && (options.simulator.hangUpAfterMs || options.simulator.hangUpAtRequest))
    {
        // The caller holds the master end as well: closing ours would hang nothing up.
        error =
            QStringLiteral("--hang-up-after and --hang-up-at cannot pull an adapter handed over with --fd");
        return false;
    }
    if (parser.isSet(kfactor))
    {
        bool ok = false;
        sensor.kfactor = parser.value(kfactor).toDouble(&ok);
        if (!ok)
        {
            error = QStringLiteral("--kfactor needs a number");
            return false;
        }
    }

    for (const auto& [option, target] : {std::pair{&deviceVariables, &sensor.deviceVariables},
                                         std::pair{&burstVariables, &sensor.burstVariables}})
    {
        if (!parser.isSet(*option))
            continue;
        QString why;
        *target = Sim::parseLiveVariables(parser.value(*option), &why);
        if (!*target)
        {
            error = QStringLiteral("--%1: %2").arg(option->names().constFirst(), why);
            return false;
        }
    }

    if (!parseBootloader(
            parser,
            {&bootloader, &bootloaderNow, &blSilent, &blRefuse, &blBadCrc, &blBadStatus, &blNoRelease},
            sensor.bootloader, error))
        return false;

    const std::pair<const QCommandLineOption*, Sim::Fault::Kind> faults[] = {
        {&nak, Sim::Fault::Kind::Nak},
        {&silent, Sim::Fault::Kind::Silent},
        {&mismatch, Sim::Fault::Kind::ReadbackMismatch},
        {&wrongCommand, Sim::Fault::Kind::WrongCommand},
        {&badChecksum, Sim::Fault::Kind::BadChecksum},
        {&fewPreambles, Sim::Fault::Kind::FewPreambles},
    };
    for (const auto& [option, kind] : faults)
    {
        for (const QString& text : parser.values(*option))
        {
            QString why;
            const auto fault = Sim::parseFault(kind, text, &why);
            if (!fault)
            {
                error = QStringLiteral("--%1: %2").arg(option->names().constFirst(), why);
                return false;
            }
            sensor.faults.append(*fault);
        }
    }
    return true;
}

// Replaces an old symbolic link at path; anything else there is left alone.
bool makeLink(const QString& path, const QString& target, QString& error)
{
    const QFileInfo existing(path);
    if (existing.isSymLink())
        QFile::remove(path);
    else if (existing.exists())
    {
        error = QStringLiteral("%1 exists and is not a symbolic link").arg(path);
        return false;
    }
    if (!QFile::link(target, path))
    {
        error = QStringLiteral("cannot create the link %1").arg(path);
        return false;
    }
    return true;
}

// SIGINT and SIGTERM as a readable descriptor. Blocked before any thread
// starts, so that every later thread leaves them to this descriptor.
int blockTerminationSignals()
{
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    if (pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr) != 0)
        return -1;
    return signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
}

} // namespace

int main(int argc, char** argv)
{
    const int signalDescriptor = blockTerminationSignals();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvik-sim"));
    QThread::currentThread()->setObjectName(QStringLiteral("main"));

    ProgramOptions options;
    QString error;
    if (!parseArguments(app, options, error))
    {
        std::cerr << "orvik-sim: " << error.toStdString() << std::endl;
        return iExitUsage;
    }

    if (signalDescriptor < 0)
    {
        std::cerr << "orvik-sim: cannot take over SIGINT and SIGTERM" << std::endl;
        return iExitFailure;
    }

    Logger::configureDefault({std::make_shared<spdlog::sinks::stderr_color_sink_mt>()});
    spdlog::default_logger()->set_level(options.verbose ? spdlog::level::debug : spdlog::level::info);

    int exitCode = 0;
    {
        auto terminal = options.masterFd >= 0 ? std::make_shared<Sim::OrvikPseudoTerminal>(options.masterFd)
                                              : std::make_shared<Sim::OrvikPseudoTerminal>();
        auto sensor = Sim::createSensor(options.simulator, &error);
        if (!terminal->isValid())
            error = terminal->errorString();
        if (error.isEmpty() && !options.linkPath.isEmpty())
            makeLink(options.linkPath, terminal->devicePath(), error);
        if (!error.isEmpty())
        {
            Logger::critical("orvik-sim: {}", error.toStdString());
            Logger::shutdown();
            return iExitFailure;
        }

        Sim::OrvikSimulatorHost host(sensor, terminal, options.simulator);
        QObject::connect(&host, &Sim::OrvikSimulatorHost::ready,
                         [](const QString& path)
                         { std::cout << "READY " << path.toStdString() << std::endl; });
        QObject::connect(&host, &Sim::OrvikSimulatorHost::failed,
                         [&exitCode](const QString& reason)
                         {
                             Logger::critical("orvik-sim: {}", reason.toStdString());
                             exitCode = iExitFailure;
                             QCoreApplication::exit(iExitFailure);
                         });
        QObject::connect(&host, &Sim::OrvikSimulatorHost::hungUp,
                         []
                         {
                             std::cout << "HUNG UP" << std::endl;
                             QCoreApplication::quit();
                         });
        QSocketNotifier stop(signalDescriptor, QSocketNotifier::Read);
        QObject::connect(&stop, &QSocketNotifier::activated,
                         [signalDescriptor]
                         {
                             signalfd_siginfo info{};
                             const ssize_t got = ::read(signalDescriptor, &info, sizeof info);
                             Logger::info("orvik-sim: stopping on signal {}", got > 0 ? info.ssi_signo : 0u);
                             QCoreApplication::quit();
                         });
        host.start();
        const int loopResult = app.exec();
        if (exitCode == 0)
            exitCode = loopResult;

        if (!options.linkPath.isEmpty() &&
            QFileInfo(options.linkPath).symLinkTarget() == terminal->devicePath())
            QFile::remove(options.linkPath);
    }
    ::close(signalDescriptor);
    Logger::shutdown();
    return exitCode;
}
