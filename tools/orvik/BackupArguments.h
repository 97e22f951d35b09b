#pragma once

#include "tools/orvik/CommandLine.h"

#include <QString>
#include <QStringList>

// The command lines of `orvik backup` and `orvik restore`: the port and the
// settings file.
namespace BackupArguments
{

struct Parsed : CommandLine::Parsed
{
    // Absolute; for a backup empty means a new file in the backups folder.
    QString file;
};

// arguments[0] is the program and subcommand name ("orvik backup").
Parsed parseBackup(const QStringList& arguments);
Parsed parseRestore(const QStringList& arguments);

} // namespace BackupArguments
