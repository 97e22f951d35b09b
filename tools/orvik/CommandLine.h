#pragma once

#include "tools/orvik/CommandRun.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// What the subcommands of `orvik` share: the exit codes, the help layout and
// the program around a run (log file, translation, termination signals).
namespace CommandLine
{

inline constexpr const char* programName = "orvik";

enum ExitCode : int
{
    Success = 0,
    Failed = 1,
    BadArguments = 2,
};

// What a subcommand's arguments came to; each subcommand adds its own fields.
struct Parsed
{
    enum class Outcome
    {
        Run,
        Help,
        Error,
    };

    Outcome outcome = Outcome::Error;
    // The help text, or what is wrong with the arguments.
    QString text;
    QString port;
};

// A refusal of the arguments, pointing to --help.
Parsed refusal(const QString& text);
// The same as a subcommand's own result type.
template <typename P> P refusalAs(const QString& text)
{
    P parsed;
    static_cast<Parsed&>(parsed) = refusal(text);
    return parsed;
}

// The options every subcommand has: --help and --port.
struct CommonOptions
{
    // Adds them to `parser`, before the subcommand's own.
    explicit CommonOptions(QCommandLineParser& parser);

    QCommandLineOption help;
    QCommandLineOption port;
};

// Parses `arguments` (arguments[0] is "orvik COMMAND") once the subcommand's
// own options are added: the help (usage line, options, `epilogue`), a
// refusal of a bad option, a stray argument or a missing port, or Run with
// the port.
Parsed parseCommon(QCommandLineParser& parser, const CommonOptions& common, const QStringList& arguments,
                   const QString& subcommand, const std::function<QString()>& epilogue);

// The program's own help: its subcommands and how to get theirs.
QString overview();

// Logs into orvik.log, installs the translation, runs what `makeRun`
// creates until it finishes (a SIGINT or SIGTERM interrupts it) and returns
// its exit code. Results go to standard output, the rest to standard error.
int execute(const QString& subcommand, const std::function<std::unique_ptr<CommandRun>()>& makeRun);

} // namespace CommandLine
