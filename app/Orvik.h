#pragma once

// Qt first: moc reads the headers of Q_OBJECT classes that include this one
// and cannot parse the standard library's <compare> before Qt's set-up.
#include <QMetaType>
#include <QString>

#include "units/Quantity.h"
#include "units/Units.h"

#include <compare>
#include <set>
#include <string_view>

// One selectable pipe size: its code, inner diameter and the units the
// sensor is set to for it.
class Orvik
{
public:
    using Diameter = Hvd::Unit::Quantity<0, 1, 0, 0, float>;

    Orvik() = default;
    Orvik(const std::string_view& name, Diameter innerDiameter);

    // The twenty sizes, ordered by name.
    static const std::set<Orvik>& getOrviks();

    void setInnerDiameter(Diameter diameter) { innerDiameter = diameter; }

    // The size code as text.
    QString getNameText() const
    {
        return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    }
    // One unit of the diameter the user enters and the sensor's name carries,
    // in metres: a millimetre for metric sizes, an inch for all others.
    float getShownUnit() const { return lengthUnit == Hvd::Unit::LengthType::MilliMeter ? 0.001f : 0.0254f; }

    std::strong_ordering operator<=>(const Orvik& other) const;
    bool operator==(const Orvik& other) const;

    std::string_view name;
    Diameter innerDiameter{};
    Hvd::Unit::LengthType lengthUnit = Hvd::Unit::LengthType::User;
    Hvd::Unit::FlowType flowUnit = Hvd::Unit::FlowType::User;
    Hvd::Unit::VolumeType outputUnit = Hvd::Unit::VolumeType::User;
    Hvd::Unit::TemperatureType temperatureUnit = Hvd::Unit::TemperatureType::User;
    bool innerDiameterEditable = false;
};

Q_DECLARE_METATYPE(Orvik)
