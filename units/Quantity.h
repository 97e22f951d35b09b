#pragma once

#include <compare>

namespace Hvd::Unit
{

// A value in SI base units with its dimension (exponents of mass, length,
// time and temperature) in the type, so that a length cannot be added to a
// flow by mistake.
template <int M, int L, int T, int Theta, typename V> class Quantity
{
public:
    constexpr Quantity() = default;
    constexpr explicit Quantity(V value)
        : v(value)
    {
    }

    constexpr V value() const { return v; }

    constexpr Quantity operator+(Quantity other) const { return Quantity(v + other.v); }
    constexpr Quantity operator-(Quantity other) const { return Quantity(v - other.v); }
    constexpr Quantity operator-() const { return Quantity(-v); }
    constexpr Quantity operator*(V factor) const { return Quantity(v * factor); }
    constexpr Quantity operator/(V divisor) const { return Quantity(v / divisor); }
    friend constexpr Quantity operator*(V factor, Quantity q) { return Quantity(factor * q.v); }

    // The ratio of two quantities of one dimension is a plain number.
    constexpr V operator/(Quantity other) const { return v / other.v; }

    template <int M2, int L2, int T2, int Theta2>
    constexpr Quantity<M + M2, L + L2, T + T2, Theta + Theta2, V>
    operator*(Quantity<M2, L2, T2, Theta2, V> other) const
    {
        return Quantity<M + M2, L + L2, T + T2, Theta + Theta2, V>(v * other.value());
    }

    constexpr auto operator<=>(const Quantity&) const = default;

private:
    V v{};
};

using Length = Quantity<0, 1, 0, 0, float>;
using Volume = Quantity<0, 3, 0, 0, float>;
using VolumeFlow = Quantity<0, 3, -1, 0, float>;
using Temperature = Quantity<0, 0, 0, 1, float>;
using Pressure = Quantity<1, -1, -2, 0, float>;

inline constexpr Length milliMeter{0.001f};
inline constexpr Length inch{0.0254f};

} // namespace Hvd::Unit
