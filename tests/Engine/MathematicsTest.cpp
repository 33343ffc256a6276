#include "Engine/Mathematics/Matrix4x4.h"
#include "Engine/Mathematics/Vector2D.h"
#include "Engine/Mathematics/Vector3D.h"
#include "Engine/Mathematics/Vector4D.h"

#include <gtest/gtest.h>

using namespace Tessera3D;

TEST(Mathematics, VectorOperators) {
    const CVector3D a(1, 2, 3), b(4, 6, 3);
    EXPECT_EQ(a + b, CVector3D(5, 8, 6));
    EXPECT_EQ(b - a, CVector3D(3, 4, 0));
    EXPECT_EQ(a * 2.0f, CVector3D(2, 4, 6));
    EXPECT_EQ(2.0f * a, a * 2.0f);
    EXPECT_EQ(-a, CVector3D(-1, -2, -3));
    EXPECT_FLOAT_EQ(a.Dot(b), 4 + 12 + 9);
    EXPECT_EQ(CVector3D(1, 0, 0).Cross(CVector3D(0, 1, 0)), CVector3D(0, 0, 1));
    EXPECT_FLOAT_EQ(a.Distance(b), 5.0f);
    EXPECT_FLOAT_EQ(CVector3D(0, 3, 4).Normalized().Length(), 1.0f);
    EXPECT_EQ(CVector3D().Normalized(), CVector3D()); // no division by zero

    EXPECT_FLOAT_EQ(CVector2D(3, 4).Length(), 5.0f);
    EXPECT_FLOAT_EQ(CVector2D(1, 1).Distance(CVector2D(4, 5)), 5.0f);
    CVector2D v(1, 2);
    v += CVector2D(1, 1);
    v *= 3;
    EXPECT_EQ(v, CVector2D(6, 9));
    EXPECT_FLOAT_EQ(CVector4D(1, 1, 1, 1).Length(), 2.0f);
    EXPECT_FLOAT_EQ(CVector4D(1, 2, 3, 4).Dot(CVector4D(1, 1, 1, 1)), 10.0f);
}

TEST(Mathematics, MatrixRowVectorConvention) {
    // Scale by 2, then translate by (10, 0, 0): the translation sits in the fourth row.
    CMatrix4x4 scale, translate;
    scale(0, 0) = scale(1, 1) = scale(2, 2) = 2;
    translate(3, 0) = 10;
    EXPECT_EQ(translate.m[12], 10.0f); // flat index 4 * row + column

    const CMatrix4x4 both = scale * translate;
    EXPECT_EQ(both.TransformPoint(CVector3D(1, 1, 1)), CVector3D(12, 2, 2));
    EXPECT_EQ((translate * scale).TransformPoint(CVector3D(1, 1, 1)), CVector3D(22, 2, 2));
    EXPECT_EQ(both.TransformDirection(CVector3D(1, 1, 1)), CVector3D(2, 2, 2));
    EXPECT_EQ(both * CMatrix4x4::Identity(), both);
    EXPECT_EQ(both - both, CMatrix4x4::Zero());
    EXPECT_EQ(scale + scale, scale * 2.0f);
}
