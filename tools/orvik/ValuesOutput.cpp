#include "tools/orvik/ValuesOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>

using Hvd::Weft::Communication::Slot;
using Hvd::Weft::Communication::Slots;
using Hvd::Weft::Communication::StatusString;
using Source = Hvd::Weft::Components::ReadValuesCommand::Source;

namespace ValuesOutput
{

namespace
{

QString number(float value)
{
    return QString::number(static_cast<double>(value), 'g', 7);
}

// The float's own digits, not the binary tail a widening to double shows.
double jsonNumber(float value)
{
    return number(value).toDouble();
}

QStringList activeTexts(const Slots& sample)
{
    QStringList texts;
    for (const StatusString& status : sample.activeStatusStrings())
        texts.append(status.text);
    return texts;
}

QString statusSuffix(const Slots& sample)
{
    const QStringList texts = activeTexts(sample);
    if (texts.isEmpty())
        return {};
    return QStringLiteral(" | status 0x%1: %2")
        .arg(QString::number(sample.status, 16), texts.join(QStringLiteral(", ")));
}

QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString csvRow(const QString& label, const Slots& sample, qsizetype slotCount)
{
    QStringList fields{label, QString::number(sample.status),
                       csvField(activeTexts(sample).join(QStringLiteral("; ")))};
    for (qsizetype i = 0; i < slotCount; ++i)
    {
        if (i < sample.slotList.size())
        {
            const Slot& slot = sample.slotList.at(i);
            fields << number(slot.value) << csvField(Slot::unitText(slot.unit)) << number(slot.min)
                   << number(slot.max);
        }
        else
        {
            fields << QString() << QString() << QString() << QString();
        }
    }
    return fields.join(QLatin1Char(','));
}

QJsonObject sampleJson(const Slots& sample)
{
    QJsonArray values;
    for (const Slot& slot : sample.slotList)
    {
        values.append(QJsonObject{{"value", jsonNumber(slot.value)},
                                  {"unit", Slot::unitText(slot.unit)},
                                  {"unitCode", slot.unit},
                                  {"min", jsonNumber(slot.min)},
                                  {"max", jsonNumber(slot.max)}});
    }
    return QJsonObject{{"status", sample.status},
                       {"statusTexts", QJsonArray::fromStringList(activeTexts(sample))},
                       {"slots", values}};
}

} // namespace

QString sampleLine(int sampleNumber, const Slots& sample)
{
    QStringList values;
    for (const Slot& slot : sample.slotList)
        values.append(number(slot.value) + QLatin1Char(' ') + Slot::unitText(slot.unit));
    return QStringLiteral("Sample %1: %2").arg(sampleNumber).arg(values.join(QStringLiteral(", "))) +
           statusSuffix(sample);
}

QString averageLine(const Slots& average, qsizetype sampleCount)
{
    QStringList values;
    for (const Slot& slot : average.slotList)
    {
        const QString value = number(slot.value) + QLatin1Char(' ') + Slot::unitText(slot.unit);
        values.append(slot.unit == Slot::unitLitre
                          ? value + QStringLiteral(" (total)")
                          : value +
                                QStringLiteral(" (min %1, max %2)").arg(number(slot.min), number(slot.max)));
    }
    return QStringLiteral("Average of %1 samples: %2")
               .arg(sampleCount)
               .arg(values.join(QStringLiteral(", "))) +
           statusSuffix(average);
}

QString csv(const QList<Slots>& samples, const std::optional<Slots>& average)
{
    qsizetype slotCount = average ? average->slotList.size() : 0;
    for (const Slots& sample : samples)
        slotCount = std::max(slotCount, sample.slotList.size());
    QStringList header{QStringLiteral("sample"), QStringLiteral("status"), QStringLiteral("status_texts")};
    for (qsizetype i = 1; i <= slotCount; ++i)
    {
        for (const char* column : {"value", "unit", "min", "max"})
            header.append(QLatin1String(column) + QString::number(i));
    }
    QStringList lines{header.join(QLatin1Char(','))};
    if (average)
        lines.append(csvRow(QStringLiteral("average"), *average, slotCount));
    else
    {
        for (qsizetype i = 0; i < samples.size(); ++i)
            lines.append(csvRow(QString::number(i + 1), samples.at(i), slotCount));
    }
    return lines.join(QLatin1Char('\n'));
}

QString json(Source source, const QList<Slots>& samples, const std::optional<Slots>& average,
             qsizetype averagedCount)
{
    static constexpr const char* sourceNames[] = {"device", "burst", "both"};
    QJsonArray list;
    for (const Slots& sample : samples)
        list.append(sampleJson(sample));
    QJsonObject document{{"source", QLatin1String(sourceNames[static_cast<int>(source)])}, {"samples", list}};
    if (average)
    {
        QJsonObject averaged = sampleJson(*average);
        averaged.insert("count", averagedCount);
        document.insert("average", averaged);
    }
    return QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented)).trimmed();
}

} // namespace ValuesOutput
