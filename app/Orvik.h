#pragma once

// Qt first: moc reads the headers of Q_OBJECT classes that include this one
// and cannot parse the standard library's <compare> before Qt's set-up.
#include <QMetaType>
#include <QString>

#include "units/Quantity.h"
#include "units/Units.h"

#include <compare>
#include <optional>
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
    // The name of that unit, "mm" or "in".
    QString getShownUnitText() const { return QString::fromLatin1(Hvd::Unit::toString(lengthUnit)); }
    // The inner diameter in the shown unit, in single precision as the
    // sensor's name and the diameter field take it.
    float getShownDiameter() const { return innerDiameter.value() / getShownUnit(); }
    void setShownDiameter(float shown) { setInnerDiameter(Diameter(shown * getShownUnit())); }

    // Inner diameters in metres. The two free sizes take one from the user
    // within minimumEditableDiameter and maximumDiameter; for a fixed size the
    // field only shows its diameter, which lies well inside its limits.
    static constexpr float minimumEditableDiameter = 0.04f;
    static constexpr float minimumFixedDiameter = 0.01f;
    static constexpr float maximumDiameter = 0.45f;
    float getMinimumDiameter() const
    {
        return innerDiameterEditable ? minimumEditableDiameter : minimumFixedDiameter;
    }
    // The limits in the shown unit, divided in single precision.
    float getShownMinimum() const { return getMinimumDiameter() / getShownUnit(); }
    float getShownMaximum() const { return maximumDiameter / getShownUnit(); }

    // The product variant name the sensor carries for a size, such as
    // "Orvik 82.5" or "Orvik 3.068": the diameter in the shown unit.
    static QString variantName(double shownDiameter);
    // The calibrated diameter in metres that a product variant name carries;
    // empty if it holds no number.
    static std::optional<double> calibratedDiameter(const QString& variantName);
    // Product variant names below this number give the diameter in inches,
    // from it on in millimetres.
    static constexpr double inchLimit = 40;

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
