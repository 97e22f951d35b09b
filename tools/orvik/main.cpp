// orvik: the service command line for an Orvik sensor, one program with a
// subcommand per job. `orvik --help` lists them.

#include "components/logging/Application.h"
#include "tools/orvik/BackupArguments.h"
#include "tools/orvik/BackupRun.h"
#include "tools/orvik/CommandLine.h"
#include "tools/orvik/FlashArguments.h"
#include "tools/orvik/FlashRun.h"
#include "tools/orvik/RescaleArguments.h"
#include "tools/orvik/RescaleRun.h"
#include "tools/orvik/ValuesArguments.h"
#include "tools/orvik/ValuesRun.h"

#include <QGuiApplication>
#include <QTextStream>
#include <QThread>

using Hvd::Weft::Components::Application;

namespace
{

// Help on standard output (0), a usage error on standard error (2).
template <typename Parsed> std::optional<int> answerWithoutRun(const Parsed& parsed)
{
    if (parsed.outcome == Parsed::Outcome::Help)
    {
        QTextStream(stdout) << parsed.text << Qt::flush;
        return CommandLine::Success;
    }
    if (parsed.outcome == Parsed::Outcome::Error)
    {
        QTextStream(stderr) << parsed.text << Qt::endl;
        return CommandLine::BadArguments;
    }
    return std::nullopt;
}

// A subcommand's arguments answered (help, usage error) or run.
template <typename Parsed, typename MakeRun>
int run(const QString& command, const Parsed& parsed, const MakeRun& makeRun)
{
    if (const auto code = answerWithoutRun(parsed))
        return *code;
    return CommandLine::execute(command, [&] { return std::unique_ptr<CommandRun>(makeRun(parsed)); });
}

// Until the log file takes Qt's messages: the offscreen platform's start
// warns about a missing XDG_RUNTIME_DIR, which a terminal session without a
// desktop never has and which would read like a failure of the command.
void startupMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    QTextStream(stderr) << qFormatLogMessage(type, context, message) << Qt::endl;
}

} // namespace

int main(int argc, char** argv)
{
    // No widgets, and no display needed: the GUI module only lays out the
    // rescale report's PDF, which the offscreen platform does as well.
    // Always: an inherited platform without its display would abort.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(startupMessages);
    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(Application::organizationNameText));
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(Application::organizationDomainText));
    QCoreApplication::setApplicationName(QString::fromLatin1(CommandLine::programName));
    QThread::currentThread()->setObjectName(QString::fromLatin1(Application::mainThreadName));

    const QStringList arguments = QCoreApplication::arguments();
    const QString command = arguments.value(1);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help"))
    {
        QTextStream(stdout) << CommandLine::overview() << Qt::flush;
        return CommandLine::Success;
    }
    // The subcommand's parser sees "orvik COMMAND" as its program name.
    const QStringList rest = QStringList{arguments.value(0) + QLatin1Char(' ') + command} + arguments.mid(2);

    if (command == QLatin1String("rescale"))
        return run(command, RescaleArguments::parse(rest),
                   [](const RescaleArguments::Parsed& parsed)
                   { return std::make_unique<RescaleRun>(parsed.port, parsed.orvik); });
    if (command == QLatin1String("values"))
        return run(command, ValuesArguments::parse(rest),
                   [](const ValuesArguments::Parsed& parsed) { return std::make_unique<ValuesRun>(parsed); });
    if (command == QLatin1String("flash"))
        return run(command, FlashArguments::parse(rest),
                   [](const FlashArguments::Parsed& parsed) { return std::make_unique<FlashRun>(parsed); });
    if (command == QLatin1String("backup"))
        return run(command, BackupArguments::parseBackup(rest),
                   [](const BackupArguments::Parsed& parsed) { return std::make_unique<BackupRun>(parsed); });
    if (command == QLatin1String("restore"))
        return run(command, BackupArguments::parseRestore(rest),
                   [](const BackupArguments::Parsed& parsed)
                   { return std::make_unique<RestoreRun>(parsed); });

    QTextStream err(stderr);
    if (command.isEmpty())
        err << QCoreApplication::translate("CommandLine", "No command given.") << '\n';
    else
        err << QCoreApplication::translate("CommandLine", "Unknown command \"%1\".").arg(command) << '\n';
    err << CommandLine::overview() << Qt::flush;
    return CommandLine::BadArguments;
}
