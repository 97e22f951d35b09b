#pragma once

#include "app/Orvik.h"
#include "tools/orvik/CommandLine.h"

#include <QString>
#include <QStringList>

// The command line of `orvik rescale`: the port, the pipe size and, for the
// two free sizes, the inner diameter as the window's spin box would take it.
namespace RescaleArguments
{

// Exit codes of the program; --help documents them.
enum ExitCode : int
{
    Success = 0,
    RescaleFailed = 1,
    BadArguments = 2,
};

struct Parsed : CommandLine::Parsed
{
    // The size with the diameter to rescale to.
    Orvik orvik;
};

// arguments[0] is the program name, as in QCoreApplication::arguments().
Parsed parse(const QStringList& arguments);

} // namespace RescaleArguments
