// orvik-rescale: the rescaler without a window, for scripted service work and
// headless checks. `orvik-rescale --help` tells how to use it.

#include "components/logging/Application.h"
#include "logging/Logger.h"
#include "logging/TerminationSignals.h"
#include "tools/orvik-rescale/RescaleArguments.h"
#include "tools/orvik-rescale/RescaleRun.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QTranslator>

#include <exception>

using Hvd::Weft::Components::Application;
using Hvd::Weft::Components::Logger;
using Hvd::Weft::Components::TerminationSignals;

namespace
{

constexpr const char* programName = "orvik-rescale";
// The window's log rotation and its translation catalogue.
constexpr std::size_t logFileMaxSize = 10485760;
constexpr std::size_t logFileCount = 2;
constexpr const char* translationName = "OrvikRescaler";
constexpr const char* translationDirectory = "translations";

} // namespace

int main(int argc, char** argv)
{
    // No widgets: runs without a display.
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(Application::organizationNameText));
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(Application::organizationDomainText));
    QCoreApplication::setApplicationName(QString::fromLatin1(programName));
    QThread::currentThread()->setObjectName(QString::fromLatin1(Application::mainThreadName));

    QTextStream out(stdout);
    QTextStream err(stderr);
    const RescaleArguments::Parsed parsed = RescaleArguments::parse(QCoreApplication::arguments());
    if (parsed.outcome == RescaleArguments::Parsed::Outcome::Help)
    {
        out << parsed.text << Qt::flush;
        return RescaleArguments::Success;
    }
    if (parsed.outcome == RescaleArguments::Parsed::Outcome::Error)
    {
        err << parsed.text << Qt::endl;
        return RescaleArguments::BadArguments;
    }

    // Only a log file: standard output carries the program's own lines, and
    // Qt's messages go into the log rather than between them.
    std::string problem;
    if (auto file = Logger::rotatingFileSink(programName, logFileMaxSize, logFileCount, &problem))
        Logger::configureDefault({std::move(file)});
    else
        err << "Warning: no log file: " << QString::fromStdString(problem) << Qt::endl;
    qInstallMessageHandler(Hvd::Weft::Components::logToLogger);
    Logger::info("Starting {}", programName);

    QTranslator translator;
    if (translator.load(QLocale(), QString::fromLatin1(translationName), QStringLiteral("_"),
                        QString::fromLatin1(translationDirectory), QStringLiteral(".qm")))
        QCoreApplication::installTranslator(&translator);

    int code = RescaleArguments::RescaleFailed;
    try
    {
        RescaleRun run(parsed.port, parsed.orvik);
        QObject::connect(&run, &RescaleRun::printed, &app,
                         [&out](const QString& line) { out << line << Qt::endl; });
        QObject::connect(&run, &RescaleRun::failed, &app,
                         [&err](const QString& line) { err << line << Qt::endl; });
        QObject::connect(&run, &RescaleRun::finished, &app, &QCoreApplication::exit);
        TerminationSignals terminations;
        QObject::connect(&terminations, &TerminationSignals::received, &run,
                         [&run](int signalNumber)
                         {
                             Logger::warn("Received {}", TerminationSignals::name(signalNumber));
                             run.interrupt(QString::fromLatin1(TerminationSignals::name(signalNumber)));
                         });
        QTimer::singleShot(0, &run, &RescaleRun::start);
        code = QCoreApplication::exec();
    }
    catch (const std::exception& exception)
    {
        Logger::critical("Closing {}, exception: {}", programName, exception.what());
        err << exception.what() << Qt::endl;
    }
    Logger::info("Closing {}, return code {}", programName, code);
    qInstallMessageHandler(nullptr);
    Logger::shutdown();
    return code;
}
