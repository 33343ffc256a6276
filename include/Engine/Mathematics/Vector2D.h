#pragma once
// A two-component float vector, laid out as x, y (the wire form of 2D vector values).

namespace Tessera3D {

struct CVector2D {
    float x = 0.0f;
    float y = 0.0f;

    constexpr CVector2D() = default;
    constexpr CVector2D(float fX, float fY) : x(fX), y(fY) {}

    constexpr CVector2D operator+(const CVector2D& v) const { return {x + v.x, y + v.y}; }
    constexpr CVector2D operator-(const CVector2D& v) const { return {x - v.x, y - v.y}; }
    constexpr CVector2D operator-() const { return {-x, -y}; }
    constexpr CVector2D operator*(float s) const { return {x * s, y * s}; }
    constexpr CVector2D operator/(float s) const { return {x / s, y / s}; }
    CVector2D& operator+=(const CVector2D& v) { x += v.x; y += v.y; return *this; }
    CVector2D& operator-=(const CVector2D& v) { x -= v.x; y -= v.y; return *this; }
    CVector2D& operator*=(float s) { x *= s; y *= s; return *this; }
    constexpr bool operator==(const CVector2D& v) const { return x == v.x && y == v.y; }
    constexpr bool operator!=(const CVector2D& v) const { return !(*this == v); }

    constexpr float Dot(const CVector2D& v) const { return x * v.x + y * v.y; }
    constexpr float LengthSquared() const { return Dot(*this); }
    float Length() const;
    float Distance(const CVector2D& v) const { return (*this - v).Length(); }
    // The unit vector in this direction; the zero vector stays zero.
    CVector2D Normalized() const;
};

constexpr CVector2D operator*(float s, const CVector2D& v) { return v * s; }

static_assert(sizeof(CVector2D) == 8, "CVector2D must be two packed floats");

} // namespace Tessera3D
