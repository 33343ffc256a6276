// The script classes Vec2 and Vec3. Methods return new vectors as values (the bindings make Vec2/Vec3
// objects of them); only normalise changes 'this'.
#include "BuiltinAPI.h"

#include "Engine/ObjectValue.h"
#include "Engine/Scripting.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Tessera3D {

// Argument checks and result values per vector kind.
static bool CheckVector(CNativeState* pState, int index, CVector2D& value) { return pState->CheckVector2D(index, value); }
static bool CheckVector(CNativeState* pState, int index, CVector3D& value) { return pState->CheckVector3D(index, value); }
static void AddVector(CNativeState* pState, const CVector2D& value) { pState->m_RVal.AddVector2D(value); }
static void AddVector(CNativeState* pState, const CVector3D& value) { pState->m_RVal.AddVector3D(value); }
static ReflectedClass* GetClass(CNativeState* pState, const CVector2D*) {
    return pState->m_pScripting ? pState->m_pScripting->GetVector2DClass() : nullptr;
}
static ReflectedClass* GetClass(CNativeState* pState, const CVector3D*) {
    return pState->m_pScripting ? pState->m_pScripting->GetVector3DClass() : nullptr;
}

// Components by index: x, y and (for Vec3) z.
static float& Component(CVector2D& v, size_t index) { return index == 0 ? v.x : v.y; }
static float& Component(CVector3D& v, size_t index) { return index == 0 ? v.x : index == 1 ? v.y : v.z; }
template <typename V>
constexpr size_t ComponentCount() { return sizeof(V) / sizeof(float); }

// 'this' as a vector object of the kind V.
template <typename V>
static CObjectValue<V>* GetVector(CNativeState* pState) {
    ReflectedClass* pClass = GetClass(pState, static_cast<const V*>(nullptr));
    CBaseObject* pObject = nullptr;
    if (!pState->GetThis(pClass, &pObject)) return nullptr;
    auto* pVector = dynamic_cast<CObjectValue<V>*>(pObject);
    if (!pVector) pState->Error("%s expected for 'this'", pClass ? pClass->GetName() : "Vector");
    return pVector;
}

static bool FormatVector(CNativeState* pState, const CVector2D& v) {
    char text[128];
    const int length = snprintf(text, sizeof(text), "X: %.3f Y: %.3f", v.x, v.y);
    if (length < 0 || length >= static_cast<int>(sizeof(text))) return pState->Error("Unable to generate the string");
    pState->m_RVal.AddString(text, static_cast<size_t>(length));
    return true;
}

static bool FormatVector(CNativeState* pState, const CVector3D& v) {
    char text[128];
    const int length = snprintf(text, sizeof(text), "X: %.3f Y: %.3f Z: %.3f", v.x, v.y, v.z);
    if (length < 0 || length >= static_cast<int>(sizeof(text))) return pState->Error("Unable to generate the string");
    pState->m_RVal.AddString(text, static_cast<size_t>(length));
    return true;
}

// Up to as many optional numbers as the vector has components; missing ones are 0.
template <typename V>
static bool Construct(CNativeState* pState, int argumentCount, void* pUser) {
    V value;
    const int count = std::min<int>(argumentCount, static_cast<int>(ComponentCount<V>()));
    for (int i = 0; i < count; ++i) {
        if (!pState->CheckNumber(i, Component(value, static_cast<size_t>(i)))) return false;
    }
    Strong<CObjectValue<V>> pObject = MakeStrong<CObjectValue<V>>(static_cast<ReflectedClass*>(pUser), value);
    pState->m_RVal.AddObject(pObject.Get());
    return true;
}

template <typename V>
static bool Clone(CNativeState* pState, int argumentCount, void* pUser) {
    CObjectValue<V>* pVector = GetVector<V>(pState);
    if (!pVector) return false;
    Strong<CObjectValue<V>> pCopy = MakeStrong<CObjectValue<V>>(GetClass(pState, static_cast<const V*>(nullptr)), pVector->m_Value);
    pState->m_RVal.AddObject(pCopy.Get());
    return true;
}

template <typename V>
static bool ToString(CNativeState* pState, int argumentCount, void* pUser) {
    CObjectValue<V>* pVector = GetVector<V>(pState);
    return pVector && FormatVector(pState, pVector->m_Value);
}

// Component accessors; the user data is the component's index.
template <typename V>
static bool GetComponent(CNativeState* pState, int argumentCount, void* pUser) {
    CObjectValue<V>* pVector = GetVector<V>(pState);
    if (!pVector) return false;
    pState->m_RVal.AddNumber(Component(pVector->m_Value, reinterpret_cast<uintptr_t>(pUser)));
    return true;
}

template <typename V>
static bool SetComponent(CNativeState* pState, int argumentCount, void* pUser) {
    CObjectValue<V>* pVector = GetVector<V>(pState);
    float value;
    if (!pVector || !pState->CheckNumber(0, value)) return false;
    Component(pVector->m_Value, reinterpret_cast<uintptr_t>(pUser)) = value;
    return true;
}

template <typename V>
static V SphericalInterpolation(const V& from, const V& to, float t) {
    const float d = from.Dot(to);
    // Rounding can push the dot product of unit vectors just past 1, where acos has no value.
    const float theta = std::acos(std::clamp(d, -1.0f, 1.0f));
    // The part of the target perpendicular to the start.
    V relative = to - from * d;
    const float length = relative.Length();
    if (length > 0) relative = relative / length;
    return from * std::cos(theta * t) + relative * std::sin(theta * t);
}

// interpolate, extrapolate and their spherical forms; bClamp limits t to [-1, 1].
template <typename V, bool bSpherical, bool bClamp>
static bool Interpolate(CNativeState* pState, int argumentCount, void* pUser) {
    CObjectValue<V>* pVector = GetVector<V>(pState);
    V other;
    float t;
    if (!pVector || !CheckVector(pState, 0, other) || !pState->CheckNumber(1, t)) return false;
    if (bClamp) t = std::clamp(t, -1.0f, 1.0f);
    const V& self = pVector->m_Value;
    AddVector(pState, bSpherical ? SphericalInterpolation(self, other, t) : self + (other - self) * t);
    return true;
}

template <typename V>
static bool AddPolar(CNativeState* pState, int argumentCount, void* pUser) {
    CObjectValue<V>* pVector = GetVector<V>(pState);
    float radius, angle;
    if (!pVector || !pState->CheckNumber(0, radius) || !pState->CheckNumber(1, angle)) return false;
    V result = pVector->m_Value;
    result.x += radius * std::cos(angle);
    result.y += radius * std::sin(angle);
    AddVector(pState, result);
    return true;
}

static bool CartesianToPolar2D(CNativeState* pState, int argumentCount, void* pUser) {
    CVector2DObject* pVector = GetVector<CVector2D>(pState);
    if (!pVector) return false;
    const CVector2D& v = pVector->m_Value;
    pState->m_RVal.AddVector2D(CVector2D(v.Length(), std::atan2(v.y, v.x)));
    return true;
}

// Vec3 operations with one vector argument and a number result.
template <float (*Operation)(const CVector3D&, const CVector3D&)>
static bool BinaryNumber(CNativeState* pState, int argumentCount, void* pUser) {
    CVector3DObject* pVector = GetVector<CVector3D>(pState);
    CVector3D other;
    if (!pVector || !pState->CheckVector3D(0, other)) return false;
    pState->m_RVal.AddNumber(Operation(pVector->m_Value, other));
    return true;
}

static float Distance(const CVector3D& a, const CVector3D& b) { return a.Distance(b); }
static float SquaredDistance(const CVector3D& a, const CVector3D& b) { return (a - b).LengthSquared(); }
static float DotProduct(const CVector3D& a, const CVector3D& b) { return a.Dot(b); }
static float AbsDotProduct(const CVector3D& a, const CVector3D& b) {
    return std::fabs(a.x * b.x) + std::fabs(a.y * b.y) + std::fabs(a.z * b.z);
}

// Vec3 operations with one vector argument and a vector result.
template <CVector3D (*Operation)(const CVector3D&, const CVector3D&)>
static bool BinaryVector(CNativeState* pState, int argumentCount, void* pUser) {
    CVector3DObject* pVector = GetVector<CVector3D>(pState);
    CVector3D other;
    if (!pVector || !pState->CheckVector3D(0, other)) return false;
    pState->m_RVal.AddVector3D(Operation(pVector->m_Value, other));
    return true;
}

static CVector3D CrossProduct(const CVector3D& a, const CVector3D& b) { return a.Cross(b); }
static CVector3D MidPoint(const CVector3D& a, const CVector3D& b) { return (a + b) * 0.5f; }

static bool Normalise(CNativeState* pState, int argumentCount, void* pUser) {
    CVector3DObject* pVector = GetVector<CVector3D>(pState);
    if (!pVector) return false;
    const float length = pVector->m_Value.Length();
    if (length > 0) pVector->m_Value = pVector->m_Value / length;
    pState->m_RVal.AddNumber(length);
    return true;
}

static bool AddSpherical(CNativeState* pState, int argumentCount, void* pUser) {
    CVector3DObject* pVector = GetVector<CVector3D>(pState);
    float radius, theta, phi;
    if (!pVector || !pState->CheckNumber(0, radius) || !pState->CheckNumber(1, theta) || !pState->CheckNumber(2, phi))
        return false;
    const CVector3D& v = pVector->m_Value;
    pState->m_RVal.AddVector3D(CVector3D(v.x + radius * std::sin(theta) * std::cos(phi),
                                         v.y + radius * std::sin(theta) * std::sin(phi), v.z + radius * std::cos(theta)));
    return true;
}

static bool CartesianToPolar3D(CNativeState* pState, int argumentCount, void* pUser) {
    CVector3DObject* pVector = GetVector<CVector3D>(pState);
    if (!pVector) return false;
    const CVector3D& v = pVector->m_Value;
    pState->m_RVal.AddVector3D(CVector3D(std::sqrt(v.x * v.x + v.y * v.y), std::atan2(v.y, v.x), v.z));
    return true;
}

static bool CartesianToSpherical(CNativeState* pState, int argumentCount, void* pUser) {
    CVector3DObject* pVector = GetVector<CVector3D>(pState);
    if (!pVector) return false;
    const CVector3D& v = pVector->m_Value;
    const float length = v.Length();
    // The zero vector has no direction; it gets the angle 0 instead of NaN.
    const float theta = length > 0 ? std::acos(std::clamp(v.z / length, -1.0f, 1.0f)) : 0.0f;
    pState->m_RVal.AddVector3D(CVector3D(length, theta, std::atan2(v.y, v.x)));
    return true;
}

static bool GetLength(CNativeState* pState, int argumentCount, void* pUser) {
    CVector3DObject* pVector = GetVector<CVector3D>(pState);
    if (!pVector) return false;
    pState->m_RVal.AddNumber(pVector->m_Value.Length());
    return true;
}

static bool GetSquaredLength(CNativeState* pState, int argumentCount, void* pUser) {
    CVector3DObject* pVector = GetVector<CVector3D>(pState);
    if (!pVector) return false;
    pState->m_RVal.AddNumber(pVector->m_Value.LengthSquared());
    return true;
}

template <typename V>
static ReflectedClass* NewVectorClass(ReflectedNamespace* pGlobal, const char* name, const char* const* components) {
    ReflectedClass* pClass = pGlobal->NewClass(name, nullptr);
    pClass->RegisterConstructor("t", Construct<V>, pClass);
    pClass->RegisterToString(ToString<V>, nullptr);
    pClass->RegisterClone(Clone<V>, nullptr);
    for (uintptr_t i = 0; i < ComponentCount<V>(); ++i) {
        pClass->AddProperty(reinterpret_cast<void*>(i), components[i], ARGUMENT_FLOAT, GetComponent<V>, SetComponent<V>);
    }
    return pClass;
}

void RegisterVectorClasses(ReflectedNamespace* pGlobal) {
    static const char* const components[] = {"x", "y", "z"};

    ReflectedClass* pVec2 = NewVectorClass<CVector2D>(pGlobal, "Vec2", components);
    pVec2->RegisterFunction("addPolar", "tff", AddPolar<CVector2D>, nullptr);
    pVec2->RegisterFunction("interpolate", "tzf", Interpolate<CVector2D, false, true>, nullptr);
    pVec2->RegisterFunction("extrapolate", "tzf", Interpolate<CVector2D, false, false>, nullptr);
    pVec2->RegisterFunction("sphericalInterpolate", "tzf", Interpolate<CVector2D, true, true>, nullptr);
    pVec2->RegisterFunction("sphericalExtrapolate", "tzf", Interpolate<CVector2D, true, false>, nullptr);
    pVec2->RegisterFunction("cartesianToPolar", "t", CartesianToPolar2D, nullptr);

    ReflectedClass* pVec3 = NewVectorClass<CVector3D>(pGlobal, "Vec3", components);
    pVec3->AddProperty(nullptr, "length", ARGUMENT_FLOAT, GetLength, nullptr);
    pVec3->AddProperty(nullptr, "squaredLength", ARGUMENT_FLOAT, GetSquaredLength, nullptr);
    pVec3->RegisterFunction("distance", "tv", BinaryNumber<Distance>, nullptr);
    pVec3->RegisterFunction("squaredDistance", "tv", BinaryNumber<SquaredDistance>, nullptr);
    pVec3->RegisterFunction("dotProduct", "tv", BinaryNumber<DotProduct>, nullptr);
    pVec3->RegisterFunction("absDotProduct", "tv", BinaryNumber<AbsDotProduct>, nullptr);
    pVec3->RegisterFunction("normalise", "t", Normalise, nullptr);
    pVec3->RegisterFunction("crossProduct", "tv", BinaryVector<CrossProduct>, nullptr);
    pVec3->RegisterFunction("midPoint", "tv", BinaryVector<MidPoint>, nullptr);
    pVec3->RegisterFunction("addPolar", "tff", AddPolar<CVector3D>, nullptr);
    pVec3->RegisterFunction("addSpherical", "tfff", AddSpherical, nullptr);
    pVec3->RegisterFunction("interpolate", "tvf", Interpolate<CVector3D, false, true>, nullptr);
    pVec3->RegisterFunction("extrapolate", "tvf", Interpolate<CVector3D, false, false>, nullptr);
    pVec3->RegisterFunction("sphericalInterpolate", "tvf", Interpolate<CVector3D, true, true>, nullptr);
    pVec3->RegisterFunction("sphericalExtrapolate", "tvf", Interpolate<CVector3D, true, false>, nullptr);
    pVec3->RegisterFunction("cartesianToPolar", "t", CartesianToPolar3D, nullptr);
    pVec3->RegisterFunction("cartesianToSpherical", "t", CartesianToSpherical, nullptr);
}

} // namespace Tessera3D
