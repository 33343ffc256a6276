#pragma once
// A three-component float vector, laid out as x, y, z (the wire form of 3D vector values).

namespace Tessera3D {

struct CVector3D {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr CVector3D() = default;
    constexpr CVector3D(float fX, float fY, float fZ) : x(fX), y(fY), z(fZ) {}

    constexpr CVector3D operator+(const CVector3D& v) const { return {x + v.x, y + v.y, z + v.z}; }
    constexpr CVector3D operator-(const CVector3D& v) const { return {x - v.x, y - v.y, z - v.z}; }
    constexpr CVector3D operator-() const { return {-x, -y, -z}; }
    constexpr CVector3D operator*(float s) const { return {x * s, y * s, z * s}; }
    constexpr CVector3D operator/(float s) const { return {x / s, y / s, z / s}; }
    CVector3D& operator+=(const CVector3D& v) { x += v.x; y += v.y; z += v.z; return *this; }
    CVector3D& operator-=(const CVector3D& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }
    CVector3D& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
    constexpr bool operator==(const CVector3D& v) const { return x == v.x && y == v.y && z == v.z; }
    constexpr bool operator!=(const CVector3D& v) const { return !(*this == v); }

    constexpr float Dot(const CVector3D& v) const { return x * v.x + y * v.y + z * v.z; }
    constexpr CVector3D Cross(const CVector3D& v) const {
        return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x};
    }
    constexpr float LengthSquared() const { return Dot(*this); }
    float Length() const;
    float Distance(const CVector3D& v) const { return (*this - v).Length(); }
    // The unit vector in this direction; the zero vector stays zero.
    CVector3D Normalized() const;
};

constexpr CVector3D operator*(float s, const CVector3D& v) { return v * s; }

static_assert(sizeof(CVector3D) == 12, "CVector3D must be three packed floats");

} // namespace Tessera3D
