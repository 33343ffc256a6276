#pragma once
// A 4x4 float matrix stored row by row (flat index 4 * row + column). Points are row vectors
// multiplied on the left, so the translation sits in the fourth row.
#include "Engine/Mathematics/Vector3D.h"

namespace Tessera3D {

struct CMatrix4x4 {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    constexpr CMatrix4x4() = default;

    static constexpr CMatrix4x4 Identity() { return CMatrix4x4(); }
    static CMatrix4x4 Zero();

    // Zero-based row and column.
    float& operator()(int row, int column) { return m[row * 4 + column]; }
    float operator()(int row, int column) const { return m[row * 4 + column]; }

    CMatrix4x4 operator+(const CMatrix4x4& other) const;
    CMatrix4x4 operator-(const CMatrix4x4& other) const;
    CMatrix4x4 operator*(float s) const;
    // Applies this matrix first, then other (row-vector convention).
    CMatrix4x4 operator*(const CMatrix4x4& other) const;
    bool operator==(const CMatrix4x4& other) const;
    bool operator!=(const CMatrix4x4& other) const { return !(*this == other); }

    // A point (w = 1): rotated, scaled and translated.
    CVector3D TransformPoint(const CVector3D& p) const;
    // A direction (w = 0): rotated and scaled only.
    CVector3D TransformDirection(const CVector3D& d) const;
};

static_assert(sizeof(CMatrix4x4) == 64, "CMatrix4x4 must be sixteen packed floats");

} // namespace Tessera3D
