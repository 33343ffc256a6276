#pragma once
// Script values: the one-byte-tagged values that cross between native code and the script languages,
// travel in network messages and are stored on elements and clients. This header holds the base and
// the scalar and reference kinds; the containers are in ArgumentArray.h and ArgumentMap.h.
#include "Engine/Function.h"
#include "Engine/Mathematics/Matrix4x4.h"
#include "Engine/Mathematics/Vector2D.h"
#include "Engine/Mathematics/Vector3D.h"
#include "Engine/Mathematics/Vector4D.h"
#include "Engine/References.h"
#include "Engine/Stream.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Tessera3D {

class INetObjectRegistry;
class INetIdentified;

enum eArgumentType : uint8_t {
    ARGUMENT_NIL = 0,
    ARGUMENT_BOOLEAN = 1,
    ARGUMENT_STRING = 2,
    ARGUMENT_TABLE = 3, // reserved, no value of this id exists
    ARGUMENT_INTEGER = 4,
    ARGUMENT_FLOAT = 5,
    ARGUMENT_NETOBJECT = 6,
    ARGUMENT_OBJECT = 7,
    ARGUMENT_VECTOR2D = 8,
    ARGUMENT_VECTOR3D = 9,
    ARGUMENT_VECTOR4D = 10, // reserved, only the module interface knows four components
    ARGUMENT_MATRIX4X4 = 11,
    ARGUMENT_UNDEFINED = 12,
    ARGUMENT_LUAREF = 13,
    ARGUMENT_JSVALUE = 14,
    ARGUMENT_LONGINTEGER = 15,
    ARGUMENT_DOUBLE = 16,
    ARGUMENT_ARRAY = 17,
    ARGUMENT_MAP = 18,
    ARGUMENT_FUNCTION = 19,
    ARGUMENT_SQREF = 20,
    ARGUMENT_BYTES = 21,
};

constexpr unsigned ARGUMENT_TYPE_COUNT = 22;

// Containers nested deeper than this are refused when reading and writing, so that hostile bytes
// cannot exhaust the native stack.
constexpr unsigned MAX_ARGUMENT_NESTING = 64;

// The enumerator's name ("ARGUMENT_NIL" ...) for log messages; "unknown" above 21.
const char* GetArgumentTypeEnumName(uint8_t type);
// The type's name as scripts and modules see it ("null", "boolean" ...); "unknown" above 21.
const char* GetArgumentTypeName(uint8_t type);

class CArgument : public CRefCounted {
public:
    // A null value (id 0).
    CArgument() : CArgument(ARGUMENT_NIL) {}

    // A new value of the id with empty content, or null for the ids that cannot be made from a bare
    // type byte (3, 6, 7, 10, 13, 14, 20 and everything above 21).
    static CArgument* Create(uint8_t type);

    // Replaces the content with the payload read from the stream (the type byte is already consumed).
    virtual bool Read(Stream* pStream);
    // The number of payload bytes Write produces; false for a value that cannot be written.
    virtual bool GetSize(size_t& size) const;
    // Writes the payload without the type byte.
    virtual bool Write(Stream* pStream) const;
    // An independent copy with one reference owned by the caller, or null when the value cannot be
    // copied (such a value cannot be stored on elements or clients).
    virtual CArgument* Clone() const;

    uint8_t GetType() const { return m_Type; }
    const char* GetTypeName() const { return GetArgumentTypeName(m_Type); }

    // The element registry that element values read from streams are resolved against; containers
    // hand it down to every value they read or clone.
    INetObjectRegistry* GetLookupContext() const { return m_pLookupContext; }
    void SetLookupContext(INetObjectRegistry* pContext) { m_pLookupContext = pContext; }

    bool IsNil() const { return m_Type == ARGUMENT_NIL; }
    bool IsUndefined() const { return m_Type == ARGUMENT_UNDEFINED; }
    bool IsNull() const { return m_Type == ARGUMENT_NIL || m_Type == ARGUMENT_UNDEFINED; }
    bool IsBoolean() const { return m_Type == ARGUMENT_BOOLEAN; }
    bool IsString() const { return m_Type == ARGUMENT_STRING; }
    bool IsInteger() const { return m_Type == ARGUMENT_INTEGER || m_Type == ARGUMENT_LONGINTEGER; }
    bool IsNumber() const {
        return m_Type == ARGUMENT_INTEGER || m_Type == ARGUMENT_FLOAT || m_Type == ARGUMENT_LONGINTEGER ||
               m_Type == ARGUMENT_DOUBLE;
    }
    bool IsObject() const { return m_Type == ARGUMENT_NETOBJECT || m_Type == ARGUMENT_OBJECT; }
    bool IsNetObject() const { return m_Type == ARGUMENT_NETOBJECT; }
    bool IsVector2D() const { return m_Type == ARGUMENT_VECTOR2D; }
    bool IsVector3D() const { return m_Type == ARGUMENT_VECTOR3D; }
    bool IsVector4D() const { return m_Type == ARGUMENT_VECTOR4D; }
    bool IsMatrix4x4() const { return m_Type == ARGUMENT_MATRIX4X4; }
    bool IsFunction() const { return m_Type == ARGUMENT_FUNCTION; }
    bool IsArray() const { return m_Type == ARGUMENT_ARRAY; }
    bool IsMap() const { return m_Type == ARGUMENT_MAP; }
    bool IsBytes() const { return m_Type == ARGUMENT_BYTES; }

    // Conversions. Callers test the kind first; another kind is reported as an assertion and gives a
    // defined empty result (false, "", 0, a zero vector or matrix, null); the bool-returning ones then
    // return false.
    bool ToBoolean() const;
    const char* ToString(size_t* pLength = nullptr) const;
    // Ordinary numeric conversion; a float or double is truncated toward zero and saturated at the
    // target's range (NaN gives 0).
    bool ToNumber(int32_t& value) const;
    bool ToNumber(uint32_t& value) const;
    bool ToNumber(int64_t& value) const;
    bool ToNumber(uint64_t& value) const;
    bool ToNumber(float& value) const;
    bool ToNumber(double& value) const;
    bool ToVector2D(CVector2D& value) const;
    bool ToVector3D(CVector3D& value) const;
    // No four-component value exists in the server, so this always fails.
    bool ToVector4D(CVector4D& value) const;
    bool ToMatrix4x4(CMatrix4x4& value) const;
    // No additional reference.
    CFunction* ToFunction() const;
    // The object of an object or element value; no additional reference.
    CBaseObject* ToObject() const;

protected:
    // For the kinds (including the language references of the bindings), each with its own id.
    explicit CArgument(uint8_t type) : m_Type(type) {}

    // Gives a fresh clone this value's lookup context.
    template <typename T>
    T* WithContext(T* pClone) const {
        if (pClone) pClone->SetLookupContext(m_pLookupContext);
        return pClone;
    }

private:
    template <typename T>
    bool ConvertNumber(T& value) const;

    INetObjectRegistry* m_pLookupContext = nullptr;
    const uint8_t m_Type;
};

class CArgumentBoolean : public CArgument {
public:
    explicit CArgumentBoolean(bool value = false) : CArgument(ARGUMENT_BOOLEAN), m_bValue(value) {}

    bool Read(Stream* pStream) override;
    bool GetSize(size_t& size) const override;
    bool Write(Stream* pStream) const override;
    CArgumentBoolean* Clone() const override;

    bool GetValue() const { return m_bValue; }
    void SetValue(bool value) { m_bValue = value; }

private:
    bool m_bValue;
};

// UTF-8 text with its byte length; kept NUL-terminated (it may contain NUL bytes of its own).
class CArgumentString : public CArgument {
public:
    CArgumentString() : CArgument(ARGUMENT_STRING) {}
    explicit CArgumentString(const char* pText);
    CArgumentString(const char* pText, size_t length) : CArgument(ARGUMENT_STRING) { SetString(pText, length); }

    bool Read(Stream* pStream) override;
    bool GetSize(size_t& size) const override;
    bool Write(Stream* pStream) const override;
    CArgumentString* Clone() const override;

    // Replaces the text with a copy of length bytes (a null text with an empty one).
    void SetString(const char* pText, size_t length);
    void SetString(std::string_view text) { SetString(text.data(), text.size()); }
    const std::string& GetString() const { return m_Text; }
    const char* GetText() const { return m_Text.c_str(); }
    size_t GetLength() const { return m_Text.size(); }

private:
    std::string m_Text;
};

class CArgumentInteger : public CArgument {
public:
    explicit CArgumentInteger(int32_t value = 0) : CArgument(ARGUMENT_INTEGER), m_Value(value) {}

    bool Read(Stream* pStream) override;
    bool GetSize(size_t& size) const override;
    bool Write(Stream* pStream) const override;
    CArgumentInteger* Clone() const override;

    int32_t GetValue() const { return m_Value; }
    void SetValue(int32_t value) { m_Value = value; }

private:
    int32_t m_Value;
};

class CArgumentFloat : public CArgument {
public:
    explicit CArgumentFloat(float value = 0.0f) : CArgument(ARGUMENT_FLOAT), m_Value(value) {}

    bool Read(Stream* pStream) override;
    bool GetSize(size_t& size) const override;
    bool Write(Stream* pStream) const override;
    CArgumentFloat* Clone() const override;

    float GetValue() const { return m_Value; }
    void SetValue(float value) { m_Value = value; }

private:
    float m_Value;
};

class CArgumentLongInteger : public CArgument {
public:
    explicit CArgumentLongInteger(int64_t value = 0) : CArgument(ARGUMENT_LONGINTEGER), m_Value(value) {}

    bool Read(Stream* pStream) override;
    bool GetSize(size_t& size) const override;
    bool Write(Stream* pStream) const override;
    CArgumentLongInteger* Clone() const override;

    int64_t GetValue() const { return m_Value; }
    void SetValue(int64_t value) { m_Value = value; }

private:
    int64_t m_Value;
};

class CArgumentDouble : public CArgument {
public:
    explicit CArgumentDouble(double value = 0.0) : CArgument(ARGUMENT_DOUBLE), m_Value(value) {}

    bool Read(Stream* pStream) override;
    bool GetSize(size_t& size) const override;
    bool Write(Stream* pStream) const override;
    CArgumentDouble* Clone() const override;

    double GetValue() const { return m_Value; }
    void SetValue(double value) { m_Value = value; }

private:
    double m_Value;
};

class CArgumentVector2D : public CArgument {
public:
    explicit CArgumentVector2D(const CVector2D& value = CVector2D()) : CArgument(ARGUMENT_VECTOR2D), m_Value(value) {}

    bool Read(Stream* pStream) override;
    bool GetSize(size_t& size) const override;
    bool Write(Stream* pStream) const override;
    CArgumentVector2D* Clone() const override;

    const CVector2D& GetValue() const { return m_Value; }
    void SetValue(const CVector2D& value) { m_Value = value; }

private:
    CVector2D m_Value;
};

class CArgumentVector3D : public CArgument {
public:
    explicit CArgumentVector3D(const CVector3D& value = CVector3D()) : CArgument(ARGUMENT_VECTOR3D), m_Value(value) {}

    bool Read(Stream* pStream) override;
    bool GetSize(size_t& size) const override;
    bool Write(Stream* pStream) const override;
    CArgumentVector3D* Clone() const override;

    const CVector3D& GetValue() const { return m_Value; }
    void SetValue(const CVector3D& value) { m_Value = value; }

private:
    CVector3D m_Value;
};

// Sixteen floats row by row; a fresh value holds the identity.
class CArgumentMatrix4x4 : public CArgument {
public:
    explicit CArgumentMatrix4x4(const CMatrix4x4& value = CMatrix4x4())
        : CArgument(ARGUMENT_MATRIX4X4), m_Value(value) {}

    bool Read(Stream* pStream) override;
    bool GetSize(size_t& size) const override;
    bool Write(Stream* pStream) const override;
    CArgumentMatrix4x4* Clone() const override;

    const CMatrix4x4& GetValue() const { return m_Value; }
    void SetValue(const CMatrix4x4& value) { m_Value = value; }

private:
    CMatrix4x4 m_Value;
};

// An owned byte buffer.
class CArgumentBytes : public CArgument {
public:
    CArgumentBytes() : CArgument(ARGUMENT_BYTES) {}
    CArgumentBytes(const uint8_t* pData, size_t length);

    bool Read(Stream* pStream) override;
    bool GetSize(size_t& size) const override;
    bool Write(Stream* pStream) const override;
    CArgumentBytes* Clone() const override;

    const uint8_t* GetData() const { return m_Data.data(); }
    size_t GetLength() const { return m_Data.size(); }
    const std::vector<uint8_t>& GetBytes() const { return m_Data; }

private:
    std::vector<uint8_t> m_Data;
};

// Any counted object. It never travels: reading and writing fail.
class CArgumentObject : public CArgument {
public:
    explicit CArgumentObject(CBaseObject* pObject = nullptr) : CArgument(ARGUMENT_OBJECT), m_pObject(pObject) {}

    bool Read(Stream* pStream) override;
    bool GetSize(size_t& size) const override;
    bool Write(Stream* pStream) const override;
    CArgumentObject* Clone() const override;

    CBaseObject* GetObject() const { return m_pObject.Get(); }
    virtual void SetObject(CBaseObject* pObject) { m_pObject = pObject; }

protected:
    CArgumentObject(uint8_t type, CBaseObject* pObject) : CArgument(type), m_pObject(pObject) {}

private:
    Strong<CBaseObject> m_pObject;
};

// An element, travelling as its id. The element (may be absent) is found through INetIdentified for
// writing and through the lookup context for reading.
class CArgumentNetObject : public CArgumentObject {
public:
    // No element, id -1.
    CArgumentNetObject() : CArgumentObject(ARGUMENT_NETOBJECT, nullptr) {}
    // Holds the element and remembers its current id.
    explicit CArgumentNetObject(CBaseObject* pElement);

    // Reads the id and holds the element the lookup context knows under it (none when the id is
    // negative or unknown, or there is no lookup context); the id is kept either way.
    bool Read(Stream* pStream) override;
    bool GetSize(size_t& size) const override;
    // Writes GetNetworkId().
    bool Write(Stream* pStream) const override;
    CArgumentNetObject* Clone() const override;

    void SetObject(CBaseObject* pElement) override;
    // The held element's current id, or the stored id when no element is held.
    int32_t GetNetworkId() const;
    int32_t GetStoredId() const { return m_Id; }

private:
    // The held element's id interface, looked up once when the element is set.
    INetIdentified* m_pIdentified = nullptr;
    int32_t m_Id = -1;
};

// A callable; the reference itself never travels (no payload).
class CArgumentFunction : public CArgument {
public:
    explicit CArgumentFunction(CFunction* pFunction = nullptr) : CArgument(ARGUMENT_FUNCTION), m_pFunction(pFunction) {}

    CArgumentFunction* Clone() const override;

    CFunction* GetFunction() const { return m_pFunction.Get(); }
    void SetFunction(CFunction* pFunction) { m_pFunction = pFunction; }

private:
    Strong<CFunction> m_pFunction;
};

} // namespace Tessera3D
