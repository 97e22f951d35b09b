#include "tools/orvik/RescaleArguments.h"

#include "tools/orvik/CommandLine.h"
#include "units/Units.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLocale>

#include <cmath>
#include <optional>

namespace RescaleArguments
{

namespace
{

QString translate(const char* text)
{
    return QCoreApplication::translate("RescaleArguments", text);
}

// The spin box keeps three decimals and rounds its limits the same way.
double roundAsSpinBox(double value)
{
    return QString::number(value, 'f', 3).toDouble();
}

QString numberText(double value)
{
    return QString::number(value, 'g', 6);
}

struct Range
{
    double minimum = 0;
    double maximum = 0;
};

// The spin box's limits for an editable size, rounded to its decimals (40 to
// 450 mm, 1.575 to 17.717 in).
Range diameterRange(const Orvik& orvik)
{
    return {roundAsSpinBox(static_cast<double>(orvik.getShownMinimum())),
            roundAsSpinBox(static_cast<double>(orvik.getShownMaximum()))};
}

std::optional<Orvik> findSize(const QString& name)
{
    for (const Orvik& orvik : Orvik::getOrviks())
    {
        if (orvik.getNameText() == name)
            return orvik;
    }
    return std::nullopt;
}

// Five sizes a line, metric and imperial sizes on lines of their own.
QString sizeTable()
{
    QStringList lines;
    QString line;
    int inLine = 0;
    char family = 0;
    const auto flush = [&]
    {
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        lines.append(line);
        line.clear();
        inLine = 0;
    };
    for (const Orvik& orvik : Orvik::getOrviks())
    {
        if (inLine == 5 || (inLine > 0 && orvik.name.front() != family))
            flush();
        family = orvik.name.front();
        const QString diameter = numberText(static_cast<double>(orvik.getShownDiameter())) +
                                 QLatin1Char(' ') + orvik.getShownUnitText();
        line += QStringLiteral("  %1 %2").arg(orvik.getNameText()).arg(diameter, -10);
        ++inLine;
    }
    flush();
    return lines.join(QLatin1Char('\n'));
}

QString rangeText(const Orvik& orvik)
{
    const Range range = diameterRange(orvik);
    return translate("%1 to %2 %3")
        .arg(numberText(range.minimum), numberText(range.maximum), orvik.getShownUnitText());
}

QString epilogue()
{
    const auto& sizes = Orvik::getOrviks();
    const auto free = [&sizes](char first)
    {
        for (const Orvik& orvik : sizes)
        {
            if (orvik.innerDiameterEditable && orvik.name.front() == first)
                return orvik;
        }
        return Orvik();
    };
    return translate("\nSizes and their inner diameters:\n%1\n\n"
                     "--diameter is taken only for %2 (%3) and %4 (%5),\n"
                     "rounded to three decimals like the window's diameter field; without it they\n"
                     "keep the diameter above.\n\n"
                     "On success the new inner diameter and maximum flow go to standard output;\n"
                     "progress lines and the reason of a failure go to standard error. Every step is\n"
                     "logged in orvik.log in the working directory, which must also hold\n"
                     "Resources/ with the schema files (the build's bin/ folder).\n\n"
                     "Exit codes:\n"
                     "  0  the sensor holds the new values, was restarted and released\n"
                     "  1  the rescale failed (the sensor is released)\n"
                     "  2  bad arguments\n")
        .arg(sizeTable(), free('D').getNameText(), rangeText(free('D')), free('A').getNameText(),
             rangeText(free('A')));
}

Parsed error(const QString& text)
{
    return CommandLine::refusalAs<Parsed>(text);
}

} // namespace

Parsed parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        translate("Rescales an Orvik sensor to another pipe size, exactly as the OrvikRescaler window does:\n"
                  "identifies the sensor, reads its calibrated diameter and k-factor, writes the scaled\n"
                  "k-factor with the new range, units and name (each verified by reading it back), stores\n"
                  "them as factory defaults, restarts the sensor and releases the port."));
    const CommandLine::CommonOptions common(parser);
    const QCommandLineOption size(QStringLiteral("size"), translate("Pipe size, one of the codes below."),
                                  QStringLiteral("CODE"));
    const QCommandLineOption diameter(QStringLiteral("diameter"),
                                      translate("Inner diameter for Dxx (millimetres) or Axx (inches)."),
                                      QStringLiteral("VALUE"));
    parser.addOptions({size, diameter});

    Parsed parsed;
    static_cast<CommandLine::Parsed&>(parsed) =
        CommandLine::parseCommon(parser, common, arguments, QStringLiteral("rescale"), epilogue);
    if (parsed.outcome != Parsed::Outcome::Run)
        return parsed;
    const QString code = parser.value(size).trimmed();
    if (code.isEmpty())
        return error(translate("No size given: --size CODE is required."));
    const auto orvik = findSize(code);
    if (!orvik)
        return error(translate("Unknown size \"%1\".\nSizes:\n%2").arg(code, sizeTable()));
    parsed.orvik = *orvik;

    if (parser.isSet(diameter))
    {
        if (!orvik->innerDiameterEditable)
            return error(translate("--diameter is only taken for the sizes Dxx and Axx; %1 has a fixed "
                                   "diameter.")
                             .arg(code));
        bool ok = false;
        const QString text = parser.value(diameter).trimmed();
        const double value = QLocale::c().toDouble(text, &ok);
        if (!ok || !std::isfinite(value))
            return error(translate("Diameter \"%1\" is not a number.").arg(text));
        const double shown = roundAsSpinBox(value);
        const Range range = diameterRange(*orvik);
        if (shown < range.minimum || shown > range.maximum)
            return error(translate("Diameter %1 %2 is outside the range of %3: %4.")
                             .arg(text, orvik->getShownUnitText(), code, rangeText(*orvik)));
        // The window takes the number on screen times the unit, in single precision.
        parsed.orvik.setShownDiameter(static_cast<float>(shown));
    }
    return parsed;
}

} // namespace RescaleArguments
