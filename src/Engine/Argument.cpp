#include "Engine/Argument.h"
#include "Engine/ArgumentArray.h"
#include "Engine/ArgumentMap.h"
#include "Engine/Assert.h"

#include <cmath>
#include <limits>
#include <type_traits>

namespace Tessera3D {

namespace {

const char* const g_ArgumentEnumNames[ARGUMENT_TYPE_COUNT] = {
    "ARGUMENT_NIL",       "ARGUMENT_BOOLEAN",    "ARGUMENT_STRING",    "ARGUMENT_TABLE",
    "ARGUMENT_INTEGER",   "ARGUMENT_FLOAT",      "ARGUMENT_NETOBJECT", "ARGUMENT_OBJECT",
    "ARGUMENT_VECTOR2D",  "ARGUMENT_VECTOR3D",   "ARGUMENT_VECTOR4D",  "ARGUMENT_MATRIX4X4",
    "ARGUMENT_UNDEFINED", "ARGUMENT_LUAREF",     "ARGUMENT_JSVALUE",   "ARGUMENT_LONGINTEGER",
    "ARGUMENT_DOUBLE",    "ARGUMENT_ARRAY",      "ARGUMENT_MAP",       "ARGUMENT_FUNCTION",
    "ARGUMENT_SQREF",     "ARGUMENT_BYTES",
};

const char* const g_ArgumentTypeNames[ARGUMENT_TYPE_COUNT] = {
    "null",     "boolean",  "string",  "table",   "integer",   "number", "element", "instance",
    "Vector2D", "Vector3D", "Vector4D", "Matrix4x4", "undefined", "luaref", "jsvalue", "integer",
    "number",   "array",    "map",     "function", "sqref",     "bytes",
};

// The ordinary conversion, except that a float leaving an integer's range saturates instead of being
// undefined, and NaN becomes 0.
template <typename To, typename From>
To NumberCast(From value) {
    if constexpr (std::is_floating_point_v<From> && std::is_integral_v<To>) {
        if (std::isnan(value)) return 0;
        const long double truncated = std::trunc(static_cast<long double>(value));
        if (truncated <= static_cast<long double>(std::numeric_limits<To>::min())) return std::numeric_limits<To>::min();
        if (truncated >= static_cast<long double>(std::numeric_limits<To>::max())) return std::numeric_limits<To>::max();
        return static_cast<To>(truncated);
    } else {
        return static_cast<To>(value);
    }
}

} // namespace

const char* GetArgumentTypeEnumName(uint8_t type) {
    return type < ARGUMENT_TYPE_COUNT ? g_ArgumentEnumNames[type] : "unknown";
}

const char* GetArgumentTypeName(uint8_t type) {
    return type < ARGUMENT_TYPE_COUNT ? g_ArgumentTypeNames[type] : "unknown";
}

CArgument* CArgument::Create(uint8_t type) {
    switch (type) {
    case ARGUMENT_NIL:
    case ARGUMENT_UNDEFINED: return new CArgument(type);
    case ARGUMENT_BOOLEAN: return new CArgumentBoolean();
    case ARGUMENT_STRING: return new CArgumentString();
    case ARGUMENT_INTEGER: return new CArgumentInteger();
    case ARGUMENT_FLOAT: return new CArgumentFloat();
    case ARGUMENT_VECTOR2D: return new CArgumentVector2D();
    case ARGUMENT_VECTOR3D: return new CArgumentVector3D();
    case ARGUMENT_MATRIX4X4: return new CArgumentMatrix4x4();
    case ARGUMENT_LONGINTEGER: return new CArgumentLongInteger();
    case ARGUMENT_DOUBLE: return new CArgumentDouble();
    case ARGUMENT_ARRAY: return new CArgumentArray();
    case ARGUMENT_MAP: return new CArgumentMap();
    case ARGUMENT_FUNCTION: return new CArgumentFunction();
    case ARGUMENT_BYTES: return new CArgumentBytes();
    default: return nullptr; // elements, objects, reserved ids and language references
    }
}

// The base carries no payload: null, undefined and the language references.
bool CArgument::Read(Stream* pStream) { return true; }

bool CArgument::GetSize(size_t& size) const {
    size = 0;
    return true;
}

bool CArgument::Write(Stream* pStream) const { return true; }

CArgument* CArgument::Clone() const {
    // A binding's reference kind that does not clone itself is not storable.
    if (!IsNull()) return nullptr;
    return WithContext(new CArgument(m_Type));
}

bool CArgument::ToBoolean() const {
    if (!TESSERA_ASSERT(IsBoolean())) return false;
    return static_cast<const CArgumentBoolean*>(this)->GetValue();
}

const char* CArgument::ToString(size_t* pLength) const {
    if (!TESSERA_ASSERT(IsString())) {
        if (pLength) *pLength = 0;
        return "";
    }
    const auto* pString = static_cast<const CArgumentString*>(this);
    if (pLength) *pLength = pString->GetLength();
    return pString->GetText();
}

template <typename T>
bool CArgument::ConvertNumber(T& value) const {
    switch (m_Type) {
    case ARGUMENT_INTEGER: value = NumberCast<T>(static_cast<const CArgumentInteger*>(this)->GetValue()); return true;
    case ARGUMENT_FLOAT: value = NumberCast<T>(static_cast<const CArgumentFloat*>(this)->GetValue()); return true;
    case ARGUMENT_LONGINTEGER: value = NumberCast<T>(static_cast<const CArgumentLongInteger*>(this)->GetValue()); return true;
    case ARGUMENT_DOUBLE: value = NumberCast<T>(static_cast<const CArgumentDouble*>(this)->GetValue()); return true;
    default:
        TESSERA_ASSERT(IsNumber());
        value = 0;
        return false;
    }
}

bool CArgument::ToNumber(int32_t& value) const { return ConvertNumber(value); }
bool CArgument::ToNumber(uint32_t& value) const { return ConvertNumber(value); }
bool CArgument::ToNumber(int64_t& value) const { return ConvertNumber(value); }
bool CArgument::ToNumber(uint64_t& value) const { return ConvertNumber(value); }
bool CArgument::ToNumber(float& value) const { return ConvertNumber(value); }
bool CArgument::ToNumber(double& value) const { return ConvertNumber(value); }

bool CArgument::ToVector2D(CVector2D& value) const {
    const bool ok = TESSERA_ASSERT(IsVector2D());
    value = ok ? static_cast<const CArgumentVector2D*>(this)->GetValue() : CVector2D();
    return ok;
}

bool CArgument::ToVector3D(CVector3D& value) const {
    const bool ok = TESSERA_ASSERT(IsVector3D());
    value = ok ? static_cast<const CArgumentVector3D*>(this)->GetValue() : CVector3D();
    return ok;
}

bool CArgument::ToVector4D(CVector4D& value) const {
    TESSERA_ASSERT(IsVector4D());
    value = CVector4D();
    return false;
}

bool CArgument::ToMatrix4x4(CMatrix4x4& value) const {
    const bool ok = TESSERA_ASSERT(IsMatrix4x4());
    value = ok ? static_cast<const CArgumentMatrix4x4*>(this)->GetValue() : CMatrix4x4::Zero();
    return ok;
}

CFunction* CArgument::ToFunction() const {
    return TESSERA_ASSERT(IsFunction()) ? static_cast<const CArgumentFunction*>(this)->GetFunction() : nullptr;
}

CBaseObject* CArgument::ToObject() const {
    return TESSERA_ASSERT(IsObject()) ? static_cast<const CArgumentObject*>(this)->GetObject() : nullptr;
}

} // namespace Tessera3D
