// The script class Matrix4x4 (row-vector convention: the translation is in the fourth row).
#include "BuiltinAPI.h"

#include "Engine/ObjectValue.h"
#include "Engine/Scripting.h"

#include <cmath>

namespace Tessera3D {

static CMatrix4x4 RotationX(float a) {
    CMatrix4x4 m = CMatrix4x4::Zero();
    m(0, 0) = 1;
    m(1, 1) = std::cos(a);
    m(1, 2) = std::sin(a);
    m(2, 1) = -std::sin(a);
    m(2, 2) = std::cos(a);
    m(3, 3) = 1;
    return m;
}

static CMatrix4x4 RotationY(float a) {
    CMatrix4x4 m = CMatrix4x4::Zero();
    m(0, 0) = std::cos(a);
    m(0, 2) = -std::sin(a);
    m(1, 1) = 1;
    m(2, 0) = std::sin(a);
    m(2, 2) = std::cos(a);
    m(3, 3) = 1;
    return m;
}

static CMatrix4x4 RotationZ(float a) {
    CMatrix4x4 m = CMatrix4x4::Zero();
    m(0, 0) = std::cos(a);
    m(0, 1) = std::sin(a);
    m(1, 0) = -std::sin(a);
    m(1, 1) = std::cos(a);
    m(2, 2) = 1;
    m(3, 3) = 1;
    return m;
}

// The inverse through the adjugate; false (and the output untouched) when the determinant is 0.
static bool Invert(const CMatrix4x4& matrix, CMatrix4x4& inverse, float& determinant) {
    const float* m = matrix.m;
    float inv[16];
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] + m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] + m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] + m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] - m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] + m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] + m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] - m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] + m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] - m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] - m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] + m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] - m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] + m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    determinant = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (determinant == 0.0f) return false;
    const float reciprocal = 1.0f / determinant;
    for (int i = 0; i < 16; ++i) inverse.m[i] = inv[i] * reciprocal;
    return true;
}

static CMatrix4x4Object* GetMatrix(CNativeState* pState) {
    ReflectedClass* pClass = pState->m_pScripting ? pState->m_pScripting->GetMatrixClass() : nullptr;
    CBaseObject* pObject = nullptr;
    if (!pState->GetThis(pClass, &pObject)) return nullptr;
    auto* pMatrix = dynamic_cast<CMatrix4x4Object*>(pObject);
    if (!pMatrix) pState->Error("%s expected for 'this'", pClass ? pClass->GetName() : "Matrix4x4");
    return pMatrix;
}

static bool Construct(CNativeState* pState, int argumentCount, void* pUser) {
    Strong<CMatrix4x4Object> pObject = MakeStrong<CMatrix4x4Object>(static_cast<ReflectedClass*>(pUser));
    pState->m_RVal.AddObject(pObject.Get());
    return true;
}

static bool SetIdentity(CNativeState* pState, int argumentCount, void* pUser) {
    CMatrix4x4Object* pMatrix = GetMatrix(pState);
    if (!pMatrix) return false;
    pMatrix->m_Value = CMatrix4x4::Identity();
    return true;
}

static bool SetTranslate(CNativeState* pState, int argumentCount, void* pUser) {
    CMatrix4x4Object* pMatrix = GetMatrix(pState);
    CVector3D v;
    if (!pMatrix || !pState->CheckVector3D(0, v)) return false;
    pMatrix->m_Value = CMatrix4x4::Identity();
    pMatrix->m_Value(3, 0) = v.x;
    pMatrix->m_Value(3, 1) = v.y;
    pMatrix->m_Value(3, 2) = v.z;
    return true;
}

static bool SetScale(CNativeState* pState, int argumentCount, void* pUser) {
    CMatrix4x4Object* pMatrix = GetMatrix(pState);
    CVector3D v;
    if (!pMatrix || !pState->CheckVector3D(0, v)) return false;
    pMatrix->m_Value = CMatrix4x4::Zero();
    pMatrix->m_Value(0, 0) = v.x;
    pMatrix->m_Value(1, 1) = v.y;
    pMatrix->m_Value(2, 2) = v.z;
    pMatrix->m_Value(3, 3) = 1;
    return true;
}

template <CMatrix4x4 (*Rotation)(float)>
static bool SetRotateAxis(CNativeState* pState, int argumentCount, void* pUser) {
    CMatrix4x4Object* pMatrix = GetMatrix(pState);
    float angle;
    if (!pMatrix || !pState->CheckNumber(0, angle)) return false;
    pMatrix->m_Value = Rotation(angle);
    return true;
}

static bool SetRotate(CNativeState* pState, int argumentCount, void* pUser) {
    CMatrix4x4Object* pMatrix = GetMatrix(pState);
    CVector3D v;
    if (!pMatrix || !pState->CheckVector3D(0, v)) return false;
    pMatrix->m_Value = RotationX(v.x) * RotationY(v.y) * RotationZ(v.z);
    return true;
}

// this = this × each matrix argument from index first on; the product is kept only when every argument
// is a matrix.
static bool MultiplyFrom(CNativeState* pState, CMatrix4x4Object* pMatrix, CMatrix4x4 product, int first) {
    for (int i = first; i < pState->GetArgumentCount(); ++i) {
        CMatrix4x4 factor;
        if (!pState->CheckMatrix4x4(i, factor)) return false;
        product = product * factor;
    }
    pMatrix->m_Value = product;
    return true;
}

static bool SetMultiply(CNativeState* pState, int argumentCount, void* pUser) {
    CMatrix4x4Object* pMatrix = GetMatrix(pState);
    CMatrix4x4 first, second;
    if (!pMatrix || !pState->CheckMatrix4x4(0, first) || !pState->CheckMatrix4x4(1, second)) return false;
    return MultiplyFrom(pState, pMatrix, first * second, 2);
}

static bool Multiply(CNativeState* pState, int argumentCount, void* pUser) {
    CMatrix4x4Object* pMatrix = GetMatrix(pState);
    CMatrix4x4 first;
    if (!pMatrix || !pState->CheckMatrix4x4(0, first)) return false;
    return MultiplyFrom(pState, pMatrix, pMatrix->m_Value * first, 1);
}

static bool SetInverse(CNativeState* pState, int argumentCount, void* pUser) {
    CMatrix4x4Object* pMatrix = GetMatrix(pState);
    CMatrix4x4 source;
    if (!pMatrix || !pState->CheckMatrix4x4(0, source)) return false;
    float determinant = 0;
    if (Invert(source, pMatrix->m_Value, determinant)) pState->m_RVal.AddNumber(1.0f / determinant);
    else pState->m_RVal.AddNull();
    return true;
}

static bool TransformCoordinate(CNativeState* pState, int argumentCount, void* pUser) {
    CMatrix4x4Object* pMatrix = GetMatrix(pState);
    CVector3D v;
    if (!pMatrix || !pState->CheckVector3D(0, v)) return false;
    pState->m_RVal.AddVector3D(pMatrix->m_Value.TransformPoint(v));
    return true;
}

// A flat index below limit, or the error "invalid index".
static bool CheckIndex(CNativeState* pState, int argument, int limit, int& index) {
    if (!pState->CheckNumber(argument, index)) return false;
    if (index < 0 || index >= limit) return pState->Error("invalid index");
    return true;
}

static bool GetElement(CNativeState* pState, int argumentCount, void* pUser) {
    CMatrix4x4Object* pMatrix = GetMatrix(pState);
    int index;
    if (!pMatrix || !CheckIndex(pState, 0, 16, index)) return false;
    pState->m_RVal.AddNumber(pMatrix->m_Value.m[index]);
    return true;
}

static bool SetElement(CNativeState* pState, int argumentCount, void* pUser) {
    CMatrix4x4Object* pMatrix = GetMatrix(pState);
    int index;
    float value;
    if (!pMatrix || !CheckIndex(pState, 0, 16, index) || !pState->CheckNumber(1, value)) return false;
    pMatrix->m_Value.m[index] = value;
    return true;
}

static bool GetVector3(CNativeState* pState, int argumentCount, void* pUser) {
    CMatrix4x4Object* pMatrix = GetMatrix(pState);
    int row;
    if (!pMatrix || !CheckIndex(pState, 0, 4, row)) return false;
    const CMatrix4x4& m = pMatrix->m_Value;
    pState->m_RVal.AddVector3D(CVector3D(m(row, 0), m(row, 1), m(row, 2)));
    return true;
}

// Property accessors; the user data is the flat index.
static bool GetCell(CNativeState* pState, int argumentCount, void* pUser) {
    CMatrix4x4Object* pMatrix = GetMatrix(pState);
    if (!pMatrix) return false;
    pState->m_RVal.AddNumber(pMatrix->m_Value.m[reinterpret_cast<uintptr_t>(pUser)]);
    return true;
}

static bool SetCell(CNativeState* pState, int argumentCount, void* pUser) {
    CMatrix4x4Object* pMatrix = GetMatrix(pState);
    float value;
    if (!pMatrix || !pState->CheckNumber(0, value)) return false;
    pMatrix->m_Value.m[reinterpret_cast<uintptr_t>(pUser)] = value;
    return true;
}

void RegisterMatrixClass(ReflectedNamespace* pGlobal) {
    ReflectedClass* pClass = pGlobal->NewClass("Matrix4x4", nullptr);
    pClass->RegisterConstructor("t", Construct, pClass);
    pClass->RegisterFunction("setIdentity", "t", SetIdentity, nullptr);
    pClass->RegisterFunction("setTranslate", "tv", SetTranslate, nullptr);
    pClass->RegisterFunction("setScale", "tv", SetScale, nullptr);
    pClass->RegisterFunction("setRotateX", "tf", SetRotateAxis<RotationX>, nullptr);
    pClass->RegisterFunction("setRotateY", "tf", SetRotateAxis<RotationY>, nullptr);
    pClass->RegisterFunction("setRotateZ", "tf", SetRotateAxis<RotationZ>, nullptr);
    pClass->RegisterFunction("setRotate", "tv", SetRotate, nullptr);
    pClass->RegisterFunction("setMultiply", "txx*", SetMultiply, nullptr);
    pClass->RegisterFunction("multiply", "tx*", Multiply, nullptr);
    pClass->RegisterFunction("setInverse", "tx", SetInverse, nullptr);
    pClass->RegisterFunction("transformCoordinate", "tv", TransformCoordinate, nullptr);
    pClass->RegisterFunction("getElement", "ti", GetElement, nullptr);
    pClass->RegisterFunction("setElement", "tif", SetElement, nullptr);
    pClass->RegisterFunction("getVector3", "ti", GetVector3, nullptr);
    for (uintptr_t index = 0; index < 16; ++index) {
        const char name[] = {'m', static_cast<char>('1' + index / 4), static_cast<char>('1' + index % 4), '\0'};
        pClass->AddProperty(reinterpret_cast<void*>(index), name, ARGUMENT_FLOAT, GetCell, SetCell);
    }
}

} // namespace Tessera3D
