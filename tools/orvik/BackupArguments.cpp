#include "tools/orvik/BackupArguments.h"

#include "app/SensorBackup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

namespace BackupArguments
{

namespace
{

QString translate(const char* text)
{
    return QCoreApplication::translate("BackupArguments", text);
}

QString backupEpilogue()
{
    return translate("\nReads every parameter of the connected sensor and saves it with the sensor's\n"
                     "address, firmware versions, the port and the time as a settings file. Without\n"
                     "--file it goes into %1.\n"
                     "The sensor is released without a restart; nothing is written to it. The file's\n"
                     "path is printed on standard output.\n\n"
                     "Exit codes:\n"
                     "  0  the backup is saved\n"
                     "  1  the sensor could not be read or the file not written\n"
                     "  2  bad arguments\n")
        .arg(SensorBackup::defaultFolder());
}

QString restoreEpilogue()
{
    return translate("\nChecks the file against the device description first (its format and every\n"
                     "value's type, length and limits), then connects and refuses a sensor of another\n"
                     "address or firmware version than the file was read from. Otherwise the values are\n"
                     "written and read back, stored as factory defaults, and the sensor is restarted.\n"
                     "Nothing is written when a check fails.\n\n"
                     "Exit codes:\n"
                     "  0  the sensor holds the file's values\n"
                     "  1  the file was refused or the restore failed\n"
                     "  2  bad arguments\n");
}

bool hasSuffix(const QString& file)
{
    return file.endsWith(QLatin1String(SensorBackup::suffix));
}

Parsed parse(const QStringList& arguments, const char* subcommand, const char* description,
             const char* fileHelp, const std::function<QString()>& epilogue)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(translate(description));
    const CommandLine::CommonOptions common(parser);
    const QCommandLineOption file(QStringLiteral("file"), translate(fileHelp), QStringLiteral("FILE"));
    parser.addOption(file);
    Parsed parsed;
    static_cast<CommandLine::Parsed&>(parsed) =
        CommandLine::parseCommon(parser, common, arguments, QLatin1String(subcommand), epilogue);
    if (parsed.outcome == Parsed::Outcome::Run)
    {
        const QString name = parser.value(file).trimmed();
        parsed.file = name.isEmpty() ? QString() : QFileInfo(name).absoluteFilePath();
    }
    return parsed;
}

} // namespace

Parsed parseBackup(const QStringList& arguments)
{
    Parsed parsed = parse(arguments, "backup", "Saves the parameters of an Orvik sensor in a settings file.",
                          "Where to save the backup (a new file ending in .para.json).", backupEpilogue);
    if (parsed.outcome != Parsed::Outcome::Run || parsed.file.isEmpty())
        return parsed;
    if (!hasSuffix(parsed.file))
        return CommandLine::refusalAs<Parsed>(translate("The backup file must end in .para.json."));
    if (QFileInfo::exists(parsed.file))
        return CommandLine::refusalAs<Parsed>(
            translate("\"%1\" already exists; a backup never replaces a file.").arg(parsed.file));
    return parsed;
}

Parsed parseRestore(const QStringList& arguments)
{
    Parsed parsed =
        parse(arguments, "restore", "Writes a backup back into the Orvik sensor it was read from.",
              "The backup, a settings file ending in .para.json.", restoreEpilogue);
    if (parsed.outcome != Parsed::Outcome::Run)
        return parsed;
    if (parsed.file.isEmpty())
        return CommandLine::refusalAs<Parsed>(translate("No backup given: --file FILE is required."));
    const QFileInfo info(parsed.file);
    if (!info.isFile() || !info.isReadable())
        return CommandLine::refusalAs<Parsed>(translate("Cannot read the backup \"%1\".").arg(parsed.file));
    if (!hasSuffix(parsed.file))
        return CommandLine::refusalAs<Parsed>(translate("The backup file must end in .para.json."));
    return parsed;
}

} // namespace BackupArguments
