#include "Engine/Mathematics/Matrix4x4.h"

namespace Tessera3D {

CMatrix4x4 CMatrix4x4::Zero() {
    CMatrix4x4 result;
    for (float& value : result.m) value = 0.0f;
    return result;
}

CMatrix4x4 CMatrix4x4::operator+(const CMatrix4x4& other) const {
    CMatrix4x4 result;
    for (int i = 0; i < 16; ++i) result.m[i] = m[i] + other.m[i];
    return result;
}

CMatrix4x4 CMatrix4x4::operator-(const CMatrix4x4& other) const {
    CMatrix4x4 result;
    for (int i = 0; i < 16; ++i) result.m[i] = m[i] - other.m[i];
    return result;
}

CMatrix4x4 CMatrix4x4::operator*(float s) const {
    CMatrix4x4 result;
    for (int i = 0; i < 16; ++i) result.m[i] = m[i] * s;
    return result;
}

CMatrix4x4 CMatrix4x4::operator*(const CMatrix4x4& other) const {
    CMatrix4x4 result = Zero();
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            for (int k = 0; k < 4; ++k) result(row, column) += (*this)(row, k) * other(k, column);
    return result;
}

bool CMatrix4x4::operator==(const CMatrix4x4& other) const {
    for (int i = 0; i < 16; ++i)
        if (m[i] != other.m[i]) return false;
    return true;
}

CVector3D CMatrix4x4::TransformPoint(const CVector3D& p) const {
    return {p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12], p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
            p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]};
}

CVector3D CMatrix4x4::TransformDirection(const CVector3D& d) const {
    return {d.x * m[0] + d.y * m[4] + d.z * m[8], d.x * m[1] + d.y * m[5] + d.z * m[9],
            d.x * m[2] + d.y * m[6] + d.z * m[10]};
}

} // namespace Tessera3D
