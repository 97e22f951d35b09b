#include "tools/orvik/FlashArguments.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

namespace FlashArguments
{

namespace
{

using Hvd::Weft::Communication::BootloaderType;

QString translate(const char* text)
{
    return QCoreApplication::translate("FlashArguments", text);
}

Parsed error(const QString& text)
{
    return CommandLine::refusalAs<Parsed>(text);
}

QString epilogue()
{
    return translate(
        "\nThe sensor is identified, command 133 starts its bootloader, and after a second the\n"
        "image is transferred at the bootloader's own line speed (Tiva 230400, MSP432 115200\n"
        "baud). With --rescue the sensor already runs its bootloader (its application is\n"
        "broken): the port is only opened and no command is sent. The bootloader's states\n"
        "and the progress go to standard error; the program exits 0 only after \"Download\n"
        "successful\", when the sensor restarts into its new firmware. Every step is logged in\n"
        "orvik.log in the working directory, which must also hold Resources/ (the build's bin/).\n\n"
        "Exit codes:\n"
        "  0  the image was downloaded (the port is released)\n"
        "  1  the upload failed (the port is released unless --leave-port-open-on-error)\n"
        "  2  bad arguments\n");
}

} // namespace

Parsed parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        translate("Uploads a firmware image (TI-TXT) into an Orvik sensor through its bootloader."));
    const CommandLine::CommonOptions common(parser);
    const QCommandLineOption family(QStringLiteral("family"),
                                    translate("The sensor's microcontroller: tiva or msp432."),
                                    QStringLiteral("FAMILY"));
    const QCommandLineOption file(QStringLiteral("file"), translate("The firmware image, a TI-TXT file."),
                                  QStringLiteral("IMAGE"));
    const QCommandLineOption rescue(QStringLiteral("rescue"),
                                    translate("The sensor already runs its bootloader; do not start it."));
    const QCommandLineOption leaveOpen(QStringLiteral("leave-port-open-on-error"),
                                       translate("Keep the port open after a failed upload."));
    parser.addOptions({family, file, rescue, leaveOpen});

    Parsed parsed;
    static_cast<CommandLine::Parsed&>(parsed) =
        CommandLine::parseCommon(parser, common, arguments, QStringLiteral("flash"), epilogue);
    if (parsed.outcome != Parsed::Outcome::Run)
        return parsed;

    const QString familyName = parser.value(family).trimmed().toLower();
    if (familyName == QLatin1String("tiva"))
        parsed.request.family = BootloaderType::TIVA;
    else if (familyName == QLatin1String("msp432"))
        parsed.request.family = BootloaderType::MSP432;
    else if (familyName.isEmpty())
        return error(translate("No family given: --family tiva|msp432 is required."));
    else
        return error(translate("Unknown family \"%1\": tiva or msp432.").arg(parser.value(family)));

    const QString image = parser.value(file).trimmed();
    if (image.isEmpty())
        return error(translate("No image given: --file IMAGE is required."));
    const QFileInfo info(image);
    if (!info.isFile() || !info.isReadable())
        return error(translate("Cannot read the image \"%1\".").arg(image));
    parsed.request.fileName = info.absoluteFilePath();
    parsed.request.rescueMode = parser.isSet(rescue);
    parsed.request.leavePortOpenOnError = parser.isSet(leaveOpen);
    return parsed;
}

} // namespace FlashArguments
