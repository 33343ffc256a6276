#pragma once
// A four-component float vector, laid out as x, y, z, w.

namespace Tessera3D {

struct CVector4D {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;

    constexpr CVector4D() = default;
    constexpr CVector4D(float fX, float fY, float fZ, float fW) : x(fX), y(fY), z(fZ), w(fW) {}

    constexpr CVector4D operator+(const CVector4D& v) const { return {x + v.x, y + v.y, z + v.z, w + v.w}; }
    constexpr CVector4D operator-(const CVector4D& v) const { return {x - v.x, y - v.y, z - v.z, w - v.w}; }
    constexpr CVector4D operator-() const { return {-x, -y, -z, -w}; }
    constexpr CVector4D operator*(float s) const { return {x * s, y * s, z * s, w * s}; }
    constexpr CVector4D operator/(float s) const { return {x / s, y / s, z / s, w / s}; }
    CVector4D& operator+=(const CVector4D& v) { x += v.x; y += v.y; z += v.z; w += v.w; return *this; }
    CVector4D& operator-=(const CVector4D& v) { x -= v.x; y -= v.y; z -= v.z; w -= v.w; return *this; }
    CVector4D& operator*=(float s) { x *= s; y *= s; z *= s; w *= s; return *this; }
    constexpr bool operator==(const CVector4D& v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
    constexpr bool operator!=(const CVector4D& v) const { return !(*this == v); }

    constexpr float Dot(const CVector4D& v) const { return x * v.x + y * v.y + z * v.z + w * v.w; }
    constexpr float LengthSquared() const { return Dot(*this); }
    float Length() const;
    float Distance(const CVector4D& v) const { return (*this - v).Length(); }
    // The unit vector in this direction; the zero vector stays zero.
    CVector4D Normalized() const;
};

constexpr CVector4D operator*(float s, const CVector4D& v) { return v * s; }

static_assert(sizeof(CVector4D) == 16, "CVector4D must be four packed floats");

} // namespace Tessera3D
