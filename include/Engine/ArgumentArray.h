#pragma once
// The ordered list of script values (id 17) and the result list of a call.
#include "Engine/Argument.h"

namespace Tessera3D {

class CArgumentArray : public CArgument {
public:
    // The count travels as one byte; longer arrays refuse to be written.
    static constexpr size_t MAX_WRITE_COUNT = 255;

    explicit CArgumentArray(size_t reserve = 0);

    // One count byte, then type byte and payload per value. On failure the values read so far stay.
    bool Read(Stream* pStream) override;
    // 1 + for each value (1 + its size; a value without a size counts only its type byte). False
    // above MAX_WRITE_COUNT values or nested too deeply.
    bool GetSize(size_t& size) const override;
    bool Write(Stream* pStream) const override;
    // Null when a value cannot be cloned.
    CArgumentArray* Clone() const override;

    // Each Add makes a new value and hands its one reference to the array.
    void AddNull();
    void AddUndefined();
    void AddBoolean(bool value);
    void AddString(const char* pText);
    void AddString(const char* pText, size_t length);
    void AddNumber(int32_t value);
    void AddNumber(int64_t value);
    void AddNumber(float value);
    void AddNumber(double value);
    void AddVector2D(const CVector2D& value);
    void AddVector3D(const CVector3D& value);
    void AddMatrix4x4(const CMatrix4x4& value);
    void AddBytes(const uint8_t* pData, size_t length);
    // The object's own value (CBaseObject::CreateArgument); a null object appends null.
    void AddObject(CBaseObject* pObject);
    // A clone of the value; undefined when it cannot be cloned (or is absent), so the count still grows.
    void Add(const CArgument* pValue);
    // Takes over the caller's reference to the value; an absent value appends null.
    void Append(CArgument* pValue);

    void Clear() { m_Values.clear(); }
    // Hands every value, in order, to pTarget (emptied first) without touching reference counts.
    void Move(CArgumentArray* pTarget);

    size_t GetCount() const { return m_Values.size(); }
    bool IsEmpty() const { return m_Values.empty(); }
    // The value at the index (no additional reference), or null out of range.
    CArgument* Get(size_t index) const { return index < m_Values.size() ? m_Values[index].Get() : nullptr; }
    CArgument* operator[](size_t index) const { return Get(index); }

    using Values = std::vector<Strong<CArgument>>;
    Values::const_iterator begin() const { return m_Values.begin(); }
    Values::const_iterator end() const { return m_Values.end(); }

private:
    Values m_Values;
};

// The results of a native or script function; only the first one is ever used.
class CReturnValue : public CArgumentArray {
public:
    explicit CReturnValue(size_t reserve = 1) : CArgumentArray(reserve) {}

    // The first result (no additional reference), or null when there is none.
    CArgument* GetReturnArgument() const { return Get(0); }
};

} // namespace Tessera3D
