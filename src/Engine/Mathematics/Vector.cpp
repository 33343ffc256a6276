#include "Engine/Mathematics/Vector2D.h"
#include "Engine/Mathematics/Vector3D.h"
#include "Engine/Mathematics/Vector4D.h"

#include <cmath>

namespace Tessera3D {

namespace {

template <typename V>
V NormalizedOf(const V& v) {
    const float length = v.Length();
    return length > 0.0f ? v / length : v;
}

} // namespace

float CVector2D::Length() const { return std::sqrt(LengthSquared()); }
float CVector3D::Length() const { return std::sqrt(LengthSquared()); }
float CVector4D::Length() const { return std::sqrt(LengthSquared()); }

CVector2D CVector2D::Normalized() const { return NormalizedOf(*this); }
CVector3D CVector3D::Normalized() const { return NormalizedOf(*this); }
CVector4D CVector4D::Normalized() const { return NormalizedOf(*this); }

} // namespace Tessera3D
