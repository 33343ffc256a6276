#pragma once
// The state of one native call: the host, the calling environment's owner, the arguments, 'this', the
// results and the error flag, with the argument checks whose error texts all languages share.
#include "Engine/ArgumentArray.h"
#include "Engine/ScriptFunction.h"

#include <cstdarg>

namespace Tessera3D {

class CScripting;
class ReflectedClass;

// Empties the process-wide error text; every call through a binding starts with it.
void ClearError();

class CNativeState {
public:
    // pArguments may be null (no arguments). pThis is held weakly: the object may vanish during the call.
    CNativeState(CScripting* pScripting, CBaseObject* pCaller, CArgumentArray* pArguments, CBaseObject* pThis = nullptr);
    CNativeState(const CNativeState&) = delete;
    CNativeState& operator=(const CNativeState&) = delete;

    // The whole call protocol of a binding: clear the error text, run the function with this state's
    // argument count and the entry's user data, and check that result and error flag agree (assertion
    // "bResult != State.m_bHasError"). On true the first entry of m_RVal is the result (none when
    // empty); on false GetLastError() is the text to raise.
    bool Call(const ScriptFunction& function, void* pUser);

    int GetArgumentCount() const { return m_pArguments ? static_cast<int>(m_pArguments->GetCount()) : 0; }
    // The argument at the 0-based index, or null beyond the list.
    CArgument* GetArgument(int index) const;
    CBaseObject* GetThisObject() const { return m_pThis.Get(); }
    void SetThis(CBaseObject* pThis) { m_pThis = pThis; }

    // Checks: the index is 0-based, error texts count from 1 ("Expected %s for argument %d"). A missing
    // argument is refused like a wrong kind. Each refusal sets the error and returns false (or null).
    bool CheckBoolean(int index, bool& value);
    // Any number kind, converted with truncation ("integer" for integer targets, "number" for floats).
    bool CheckNumber(int index, uint8_t& value);
    bool CheckNumber(int index, int32_t& value);
    bool CheckNumber(int index, uint32_t& value);
    bool CheckNumber(int index, int64_t& value);
    bool CheckNumber(int index, uint64_t& value);
    bool CheckNumber(int index, float& value);
    bool CheckNumber(int index, double& value);
    // A string only; the text stays valid while the argument array lives.
    const char* CheckString(int index, size_t* pLength = nullptr);
    // A Vector2D, or an array of exactly two numbers (x, y).
    bool CheckVector2D(int index, CVector2D& value);
    // A Vector3D, or an array of exactly three numbers.
    bool CheckVector3D(int index, CVector3D& value);
    bool CheckMatrix4x4(int index, CMatrix4x4& value);
    // An object (element or instance) whose class is pWanted or derives from it; with bAllowNull also
    // null or undefined, which yields null. The error names the class.
    bool CheckClass(ReflectedClass* pWanted, int index, bool bAllowNull, CBaseObject** ppObject);
    template <typename T>
    bool CheckClass(ReflectedClass* pWanted, int index, bool bAllowNull, T** ppObject) {
        CBaseObject* pObject = nullptr;
        const bool bResult = CheckClass(pWanted, index, bAllowNull, &pObject);
        *ppObject = static_cast<T*>(pObject);
        return bResult;
    }
    // Any object ("Instance").
    CBaseObject* CheckReferenceable(int index);
    // A function value ("Function").
    CFunction* CheckFunction(int index);
    // A stream object of the host's class Stream ("Stream"); a closed one fails with "Stream closed".
    Stream* CheckStream(int index);

    // 'this' when its class is pWanted or derives from it (any object when pWanted is null). Errors:
    // "'this' is null", "%s expected for 'this'".
    bool GetThis(ReflectedClass* pWanted, CBaseObject** ppObject);
    template <typename T>
    bool GetThis(ReflectedClass* pWanted, T** ppObject) {
        CBaseObject* pObject = nullptr;
        const bool bResult = GetThis(pWanted, &pObject);
        *ppObject = static_cast<T*>(pObject);
        return bResult;
    }

    // Formats the text (at most 4095 characters), makes it the current error text (cut to 1023),
    // sets m_bHasError and returns false.
    bool Error(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool ErrorV(const char* format, va_list args);

    // Appends a new stream object of the host's class Stream holding a reference to the stream; a null
    // stream appends null. False when the host has no stream class.
    bool ReturnStream(Stream* pStream);

    CScripting* m_pScripting;
    CBaseObject* m_pCaller;
    CArgumentArray* m_pArguments;
    CReturnValue m_RVal;
    bool m_bHasError = false;
    Weak<CBaseObject> m_pThis;

private:
    bool Refuse(const char* kind, int index);
    template <typename T>
    bool CheckNumberAs(int index, T& value, const char* kind);
};

} // namespace Tessera3D
