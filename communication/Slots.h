#pragma once

#include <QDebug>
#include <QList>
#include <QMetaType>
#include <QString>

#include <cstdint>

namespace Hvd::Weft::Communication
{

// One live value of a sample. Over a run, `min` and `max` are the extremes
// so far of the slot's position.
struct Slot
{
    // A slot with this unit is left out of a sample.
    static constexpr std::uint8_t unitNone = 255;
    // A volume: a totaliser, summed rather than averaged.
    static constexpr std::uint8_t unitLitre = 41;

    float value = 0;
    float min = 0;
    float max = 0;
    std::uint8_t unit = 0;

    // "bar", "L/m", "°C", "L"; "NA" for every other code.
    static QString unitText(std::uint8_t unit);

    friend bool operator==(const Slot&, const Slot&) = default;
};

// The text of one status bit and its level.
struct StatusString
{
    QString text;
    std::uint8_t level = 0;

    friend bool operator==(const StatusString&, const StatusString&) = default;
};

// One sample of measured values: the status texts the device explains its
// status bits with, its live values and its status byte.
struct Slots
{
    Slots() = default;
    // Drops slots with unit 255. A status text's first character is its
    // level digit, the rest its text.
    Slots(const QList<QString>& statusTexts, std::uint8_t status, const QList<Slot>& values);

    // The texts of the set status bits, bit 7 first.
    QList<StatusString> activeStatusStrings() const;

    QList<StatusString> statusStrings;
    // The live values, in the order the device sent them.
    QList<Slot> slotList;
    std::uint8_t status = 0;

    friend bool operator==(const Slots&, const Slots&) = default;
};

QDebug operator<<(QDebug debug, const Slots& sample);

} // namespace Hvd::Weft::Communication

Q_DECLARE_METATYPE(Hvd::Weft::Communication::Slots)
Q_DECLARE_METATYPE(QList<Hvd::Weft::Communication::Slots>)
