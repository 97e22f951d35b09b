#include "communication/Slots.h"

#include <QDebugStateSaver>

namespace Hvd::Weft::Communication
{

namespace
{
// A sample holds at most this many slots and status texts.
constexpr qsizetype maxEntries = 9;
} // namespace

QString Slot::unitText(std::uint8_t unit)
{
    switch (unit)
    {
    case 7:
        return QStringLiteral("bar");
    case 17:
        return QStringLiteral("L/m");
    case 32:
        return QStringLiteral("°C");
    case unitLitre:
        return QStringLiteral("L");
    default:
        return QStringLiteral("NA");
    }
}

Slots::Slots(const QList<QString>& statusTexts, std::uint8_t statusByte, const QList<Slot>& values)
    : status(statusByte)
{
    for (const Slot& slot : values)
    {
        if (slotList.size() == maxEntries)
            break;
        if (slot.unit != Slot::unitNone)
            slotList.append(slot);
    }
    for (const QString& text : statusTexts.first(std::min(statusTexts.size(), maxEntries)))
    {
        StatusString entry;
        if (text.size() >= 2)
        {
            const QChar digit = text.front();
            // Only an ASCII digit is a level; other scripts' digits are text.
            const bool isLevel = digit >= QLatin1Char('0') && digit <= QLatin1Char('9');
            entry.level = isLevel ? static_cast<std::uint8_t>(digit.digitValue()) : 0;
            entry.text = text.mid(1);
        }
        statusStrings.append(entry);
    }
}

QList<StatusString> Slots::activeStatusStrings() const
{
    QList<StatusString> active;
    for (int bit = 7; bit >= 0; --bit)
    {
        // A device that explained fewer bits than it set has no text for the rest.
        if ((status & (1u << bit)) != 0 && bit < statusStrings.size())
            active.append(statusStrings.at(bit));
    }
    return active;
}

QDebug operator<<(QDebug debug, const Slots& sample)
{
    const QDebugStateSaver saver(debug);
    int n = 1;
    for (const StatusString& status : sample.activeStatusStrings())
    {
        debug << "Active Status"
              << "[" << n++ << "]:"
              << "Text: " << status.text << "Level: " << static_cast<int>(status.level) << '\n';
    }
    n = 1;
    for (const Slot& slot : sample.slotList)
    {
        debug << "Slot"
              << "[" << n++ << "]:"
              << "Value: " << slot.value << "Min: " << slot.min << "Max: " << slot.max
              << "Unit: " << Slot::unitText(slot.unit) << '\n';
    }
    return debug;
}

} // namespace Hvd::Weft::Communication
