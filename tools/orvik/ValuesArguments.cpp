#include "tools/orvik/ValuesArguments.h"

#include "tools/orvik/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

namespace ValuesArguments
{

namespace
{

using Source = Hvd::Weft::Components::ReadValuesCommand::Source;

QString translate(const char* text)
{
    return QCoreApplication::translate("ValuesArguments", text);
}

Parsed error(const QString& text)
{
    return CommandLine::refusalAs<Parsed>(text);
}

// A whole number from `minimum` to `maximum`.
std::optional<std::uint32_t> count(const QString& text, std::uint32_t minimum, std::uint32_t maximum)
{
    bool ok = false;
    const qulonglong value = text.trimmed().toULongLong(&ok, 10);
    if (!ok || value < minimum || value > maximum)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

QString epilogue()
{
    return translate(
        "\nThe sensor is identified first; then each sample is one session on the line. With\n"
        "--average the first two answers are not counted (they may hold values from before the\n"
        "request) and a volume (unit L) is totalled, not averaged; --trim K leaves out the K\n"
        "samples with the largest and the K with the smallest value of slot --leading-slot\n"
        "before averaging, and needs more than 2K samples. The sensor reports at most eight\n"
        "variables per sample; more are left out with a warning.\n\n"
        "Text output prints each sample as it arrives, then the average; csv and json print the\n"
        "samples (or the average) once the read has ended, with a header, for scripts and\n"
        "spreadsheets. Progress and warnings go to standard error. Every step is logged in\n"
        "orvik.log in the working directory, which must also hold Resources/ (the build's bin/).\n\n"
        "Exit codes:\n"
        "  0  values were read (the port is released)\n"
        "  1  the read failed\n"
        "  2  bad arguments\n");
}

} // namespace

Parsed parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(translate("Reads the live values of an Orvik sensor: device values "
                                               "(command 138), burst values (139) or both,\n"
                                               "with the sensor's active status texts."));
    const CommandLine::CommonOptions common(parser);
    const QCommandLineOption device(QStringLiteral("device"), translate("Device values (the default)."));
    const QCommandLineOption burst(QStringLiteral("burst"), translate("Burst values."));
    const QCommandLineOption both(QStringLiteral("both"),
                                  translate("Device and burst values, a sample of each per session."));
    const QCommandLineOption samples(QStringLiteral("samples"),
                                     translate("Number of samples, 1 to %1 (10).").arg(maxSamples),
                                     QStringLiteral("N"));
    const QCommandLineOption average(QStringLiteral("average"),
                                     translate("Print the average of the samples."));
    const QCommandLineOption trim(QStringLiteral("trim"),
                                  translate("With --average: leave out K samples at each end."),
                                  QStringLiteral("K"));
    const QCommandLineOption leadingSlot(QStringLiteral("leading-slot"),
                                         translate("With --trim: the slot, 1 to 8, to sort by (1)."),
                                         QStringLiteral("I"));
    const QCommandLineOption format(QStringLiteral("format"), translate("text, csv or json (text)."),
                                    QStringLiteral("FORMAT"));
    parser.addOptions({device, burst, both, samples, average, trim, leadingSlot, format});

    Parsed parsed;
    static_cast<CommandLine::Parsed&>(parsed) =
        CommandLine::parseCommon(parser, common, arguments, QStringLiteral("values"), epilogue);
    if (parsed.outcome != Parsed::Outcome::Run)
        return parsed;

    const int sources = int(parser.isSet(device)) + int(parser.isSet(burst)) + int(parser.isSet(both));
    if (sources > 1)
        return error(translate("Give one of --device, --burst and --both."));
    auto& request = parsed.request;
    request.source = parser.isSet(burst) ? Source::Burst : parser.isSet(both) ? Source::Both : Source::Device;

    request.samples = 10;
    if (parser.isSet(samples))
    {
        const auto n = count(parser.value(samples), 1, maxSamples);
        if (!n)
            return error(translate("--samples takes a number from 1 to %1.").arg(maxSamples));
        request.samples = *n;
    }

    request.average = parser.isSet(average);
    if (request.average && request.source == Source::Both)
        return error(translate("--average takes device or burst values, not both."));
    if ((parser.isSet(trim) || parser.isSet(leadingSlot)) && !request.average)
        return error(translate("--trim and --leading-slot need --average."));
    if (parser.isSet(leadingSlot) && !parser.isSet(trim))
        return error(translate("--leading-slot needs --trim."));
    if (parser.isSet(trim))
    {
        const auto k = count(parser.value(trim), 1, 65535);
        if (!k)
            return error(translate("--trim takes a number from 1 to 65535."));
        if (2 * std::uint64_t{*k} >= request.samples)
            return error(translate("--trim %1 leaves out %2 samples: give more than %2 with --samples.")
                             .arg(*k)
                             .arg(2 * *k));
        request.topBotSamplesToRemove = static_cast<std::uint16_t>(*k);
        if (parser.isSet(leadingSlot))
        {
            const auto slot = count(parser.value(leadingSlot), 1, 8);
            if (!slot)
                return error(translate("--leading-slot takes a slot from 1 to 8."));
            request.leadingSlotIndex = static_cast<std::uint8_t>(*slot - 1);
        }
    }

    const QString formatName = parser.value(format).trimmed().toLower();
    if (formatName.isEmpty() || formatName == QLatin1String("text"))
        parsed.format = Format::Text;
    else if (formatName == QLatin1String("csv"))
        parsed.format = Format::Csv;
    else if (formatName == QLatin1String("json"))
        parsed.format = Format::Json;
    else
        return error(translate("Unknown format \"%1\": text, csv or json.").arg(parser.value(format)));

    return parsed;
}

} // namespace ValuesArguments
