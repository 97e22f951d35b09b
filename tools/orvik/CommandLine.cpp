#include "tools/orvik/CommandLine.h"

#include "components/logging/Application.h"
#include "logging/Logger.h"
#include "logging/TerminationSignals.h"

#include <QLocale>
#include <QTextStream>
#include <QTimer>
#include <QTranslator>

#include <exception>

using Hvd::Weft::Components::Logger;
using Hvd::Weft::Components::TerminationSignals;

namespace CommandLine
{

namespace
{

// The window's log rotation and its translation catalogue.
constexpr std::size_t logFileMaxSize = 10485760;
constexpr std::size_t logFileCount = 2;
constexpr const char* translationName = "OrvikRescaler";
constexpr const char* translationDirectory = "translations";

QString translate(const char* text)
{
    return QCoreApplication::translate("CommandLine", text);
}

} // namespace

Parsed refusal(const QString& text)
{
    Parsed parsed;
    parsed.text = text + translate("\nSee --help.");
    return parsed;
}

CommonOptions::CommonOptions(QCommandLineParser& parser)
    : help({QStringLiteral("h"), QStringLiteral("help")}, translate("Show this help."))
    , port(QStringLiteral("port"),
           translate("Serial port of the adapter: a name (ttyUSB0, COM3) or a device path (/dev/ttyUSB0)."),
           QStringLiteral("PORT"))
{
    parser.addOptions({help, port});
}

Parsed parseCommon(QCommandLineParser& parser, const CommonOptions& common, const QStringList& arguments,
                   const QString& subcommand, const std::function<QString()>& epilogue)
{
    if (!parser.parse(arguments))
        return refusal(parser.errorText());
    Parsed parsed;
    if (parser.isSet(common.help))
    {
        const QString text = parser.helpText();
        // QCommandLineParser names the executable only.
        const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
        parsed.outcome = Parsed::Outcome::Help;
        parsed.text = QStringLiteral("Usage: %1 %2 [options]").arg(QLatin1String(programName), subcommand) +
                      text.mid(lineEnd) + epilogue();
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty())
        return refusal(
            translate("Unexpected argument: %1").arg(parser.positionalArguments().join(QLatin1Char(' '))));
    parsed.port = parser.value(common.port).trimmed();
    if (parsed.port.isEmpty())
        return refusal(translate("No port given: --port PORT is required."));
    parsed.outcome = Parsed::Outcome::Run;
    return parsed;
}

QString overview()
{
    return translate("Usage: orvik COMMAND [options]\n"
                     "Service work on an Orvik sensor through its serial interface adapter.\n\n"
                     "Commands:\n"
                     "  rescale  --port PORT --size CODE [--diameter VALUE]\n"
                     "           rescale the sensor to another pipe size, as the OrvikRescaler window does;\n"
                     "           a backup is saved first and a report after the rescale\n"
                     "  values   --port PORT [--device|--burst|--both] [--samples N]\n"
                     "           [--average [--trim K [--leading-slot I]]] [--format text|csv|json]\n"
                     "           read the sensor's live values and status texts\n"
                     "  flash    --port PORT --family tiva|msp432 --file IMAGE.txt [--rescue]\n"
                     "           [--leave-port-open-on-error]\n"
                     "           upload a firmware image through the sensor's bootloader\n"
                     "  backup   --port PORT [--file FILE.para.json]\n"
                     "           save every parameter of the sensor in a settings file\n"
                     "  restore  --port PORT --file FILE.para.json\n"
                     "           write a backup back into the sensor it was read from\n\n"
                     "orvik COMMAND --help tells more about a command.\n\n"
                     "Exit codes: 0 success, 1 failure, 2 bad arguments.\n");
}

int execute(const QString& subcommand, const std::function<std::unique_ptr<CommandRun>()>& makeRun)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    const std::string name = std::string(programName) + ' ' + subcommand.toStdString();

    // Only a log file: standard output carries the program's own lines, and
    // Qt's messages go into the log rather than between them.
    std::string problem;
    if (auto file = Logger::rotatingFileSink(programName, logFileMaxSize, logFileCount, &problem))
        Logger::configureDefault({std::move(file)});
    else
        err << "Warning: no log file: " << QString::fromStdString(problem) << Qt::endl;
    qInstallMessageHandler(Hvd::Weft::Components::logToLogger);
    Logger::info("Starting {}", name);

    QTranslator translator;
    if (translator.load(QLocale(), QString::fromLatin1(translationName), QStringLiteral("_"),
                        QString::fromLatin1(translationDirectory), QStringLiteral(".qm")))
        QCoreApplication::installTranslator(&translator);
    // The messages of the commands and the service come from the libraries'
    // catalogues; without them a German run would answer half in English.
    Hvd::Weft::Components::Application::installLibraryCatalogues();

    int code = Failed;
    try
    {
        const std::unique_ptr<CommandRun> run = makeRun();
        QObject::connect(run.get(), &CommandRun::printed, run.get(),
                         [&out](const QString& line) { out << line << Qt::endl; });
        QObject::connect(run.get(), &CommandRun::progressed, run.get(),
                         [&err](const QString& line) { err << line << Qt::endl; });
        QObject::connect(run.get(), &CommandRun::failed, run.get(),
                         [&err](const QString& line) { err << line << Qt::endl; });
        QObject::connect(run.get(), &CommandRun::finished, QCoreApplication::instance(),
                         &QCoreApplication::exit);
        TerminationSignals terminations;
        QObject::connect(&terminations, &TerminationSignals::received, run.get(),
                         [&run](int signalNumber)
                         {
                             Logger::warn("Received {}", TerminationSignals::name(signalNumber));
                             run->interrupt(QString::fromLatin1(TerminationSignals::name(signalNumber)));
                         });
        QTimer::singleShot(0, run.get(), &CommandRun::start);
        code = QCoreApplication::exec();
    }
    catch (const std::exception& exception)
    {
        Logger::critical("Closing {}, exception: {}", name, exception.what());
        err << exception.what() << Qt::endl;
    }
    Logger::info("Closing {}, return code {}", name, code);
    qInstallMessageHandler(nullptr);
    Logger::shutdown();
    return code;
}

} // namespace CommandLine
