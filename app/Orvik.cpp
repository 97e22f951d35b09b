#include "app/Orvik.h"

#include <QByteArray>
#include <QLocale>

#include <cmath>
#include <cstddef>

using Hvd::Unit::FlowType;
using Hvd::Unit::inch;
using Hvd::Unit::LengthType;
using Hvd::Unit::milliMeter;
using Hvd::Unit::TemperatureType;
using Hvd::Unit::VolumeType;

namespace
{

// Lets a record travel through queued connections as well as in a QVariant.
const int orvikTypeRegistration = qRegisterMetaType<Orvik>("Orvik");

constexpr char variantPrefix[] = "Orvik ";

} // namespace

Orvik::Orvik(const std::string_view& orvikName, Diameter diameter)
    : name(orvikName)
    , innerDiameter(diameter)
    , innerDiameterEditable(orvikName.size() >= 2 && orvikName.ends_with("xx"))
{
    (void)orvikTypeRegistration;
    // Metric sizes show millimetres and cubic metres, the others inches and
    // US gallons; the temperature unit follows the same convention.
    const char first = orvikName.empty() ? '\0' : orvikName.front();
    if (first == 'D')
    {
        lengthUnit = LengthType::MilliMeter;
        flowUnit = FlowType::CubicMeterPerHour;
        outputUnit = VolumeType::CubicMeter;
        temperatureUnit = TemperatureType::Celsius;
    }
    else if (first == 'A')
    {
        lengthUnit = LengthType::Inch;
        flowUnit = FlowType::UsGallonPerMinute;
        outputUnit = VolumeType::UsGallon;
        temperatureUnit = TemperatureType::Fahrenheit;
    }
}

const std::set<Orvik>& Orvik::getOrviks()
{
    // The products are taken in single precision, as the sensor stores them.
    static const std::set<Orvik> orviks{
        Orvik("D80", 82.5f * milliMeter),  Orvik("A80", 3.068f * inch),
        Orvik("D1H", 107.1f * milliMeter), Orvik("A1H", 4.026f * inch),
        Orvik("D1Z", 131.7f * milliMeter), Orvik("A1Z", 5.047f * inch),
        Orvik("D1F", 159.3f * milliMeter), Orvik("A1F", 6.065f * inch),
        Orvik("D2H", 207.3f * milliMeter), Orvik("A2H", 7.981f * inch),
        Orvik("D2F", 260.4f * milliMeter), Orvik("A2F", 10.02f * inch),
        Orvik("D3H", 309.7f * milliMeter), Orvik("A3H", 12.0f * inch),
        Orvik("D3F", 339.6f * milliMeter), Orvik("A3F", 13.25f * inch),
        Orvik("D4H", 390.4f * milliMeter), Orvik("A4H", 15.25f * inch),
        Orvik("Dxx", 50.0f * milliMeter),  Orvik("Axx", 2.0f * inch),
    };
    return orviks;
}

QString Orvik::variantName(double shownDiameter)
{
    return QLatin1String(variantPrefix) + QString::fromLatin1(QByteArray::number(shownDiameter, 'g', 6));
}

std::optional<double> Orvik::calibratedDiameter(const QString& variantName)
{
    static constexpr qsizetype prefixLength = sizeof(variantPrefix) - 1;
    bool ok = false;
    const double x = QLocale::c().toDouble(variantName.mid(prefixLength).trimmed(), &ok);
    // "nan" and "inf" parse, yet would scale the k-factor into nonsense.
    if (!ok || !std::isfinite(x))
        return std::nullopt;
    // Names carry inches for the imperial sizes and millimetres for the
    // metric ones. The largest inch diameter this tool handles is 17.7 in and
    // the smallest millimetre one 40 mm, so 40 separates them; the tool itself
    // writes "Orvik 50" for a 50 mm pipe.
    return x < inchLimit ? x * 0.0254 : x / 1000;
}

std::strong_ordering Orvik::operator<=>(const Orvik& other) const
{
    if (const auto byName = name <=> other.name; byName != 0)
        return byName;
    // A total order on floats, so that a set never sees two records as
    // neither smaller nor equal.
    return std::strong_order(innerDiameter.value(), other.innerDiameter.value());
}

bool Orvik::operator==(const Orvik& other) const
{
    return (*this <=> other) == 0;
}
