#include "Engine/ArgumentArray.h"

#include "ArgumentNesting.h"
#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Engine/Log.h"

namespace Tessera3D {

thread_local unsigned CArgumentNestingGuard::s_Depth = 0;

CArgument* CreateArgumentForRead(uint8_t type) {
    if (type == ARGUMENT_NETOBJECT) return new CArgumentNetObject();
    return CArgument::Create(type);
}

CArgumentArray::CArgumentArray(size_t reserve) : CArgument(ARGUMENT_ARRAY) { m_Values.reserve(reserve); }

bool CArgumentArray::Read(Stream* pStream) {
    CArgumentNestingGuard guard;
    if (!guard.Entered()) return false;
    CBinaryReader reader(pStream);
    uint8_t count;
    if (!reader.ReadUInt8(count)) return false;
    m_Values.clear();
    m_Values.reserve(count);
    for (unsigned i = 1; i <= count; ++i) {
        uint8_t type;
        if (!reader.ReadUInt8(type)) return false;
        Strong<CArgument> pValue = Strong<CArgument>::Adopt(CreateArgumentForRead(type));
        if (!pValue) {
            LogWarn("CArgument::Create(%s) - Failed. (Argument %u of %u)", GetArgumentTypeEnumName(type), i,
                    static_cast<unsigned>(count));
            return false;
        }
        pValue->SetLookupContext(GetLookupContext());
        if (!pValue->Read(pStream)) {
            LogWarn("CArgument::Create(%s)->Read(pStream) - Failed. (Argument %u of %u)",
                    GetArgumentTypeEnumName(type), i, static_cast<unsigned>(count));
            return false;
        }
        m_Values.push_back(std::move(pValue));
    }
    return true;
}

bool CArgumentArray::GetSize(size_t& size) const {
    CArgumentNestingGuard guard;
    if (!guard.Entered() || m_Values.size() > MAX_WRITE_COUNT) return false;
    size_t total = 1;
    for (const Strong<CArgument>& pValue : m_Values) {
        size_t valueSize = 0;
        total += 1 + (pValue->GetSize(valueSize) ? valueSize : 0);
    }
    size = total;
    return true;
}

bool CArgumentArray::Write(Stream* pStream) const {
    CArgumentNestingGuard guard;
    if (!guard.Entered() || m_Values.size() > MAX_WRITE_COUNT) return false;
    CBinaryWriter writer(pStream);
    if (!writer.WriteUInt8(static_cast<uint8_t>(m_Values.size()))) return false;
    for (const Strong<CArgument>& pValue : m_Values) {
        if (!writer.WriteUInt8(pValue->GetType()) || !pValue->Write(pStream)) return false;
    }
    return true;
}

CArgumentArray* CArgumentArray::Clone() const {
    Strong<CArgumentArray> pClone = Strong<CArgumentArray>::Adopt(new CArgumentArray(m_Values.size()));
    pClone->SetLookupContext(GetLookupContext());
    for (const Strong<CArgument>& pValue : m_Values) {
        CArgument* pCopy = pValue->Clone();
        if (!pCopy) return nullptr;
        pCopy->SetLookupContext(GetLookupContext());
        pClone->m_Values.push_back(Strong<CArgument>::Adopt(pCopy));
    }
    return pClone.Detach();
}

void CArgumentArray::AddNull() { Append(new CArgument()); }
void CArgumentArray::AddUndefined() { Append(CArgument::Create(ARGUMENT_UNDEFINED)); }
void CArgumentArray::AddBoolean(bool value) { Append(new CArgumentBoolean(value)); }
void CArgumentArray::AddString(const char* pText) { Append(new CArgumentString(pText)); }
void CArgumentArray::AddString(const char* pText, size_t length) { Append(new CArgumentString(pText, length)); }
void CArgumentArray::AddNumber(int32_t value) { Append(new CArgumentInteger(value)); }
void CArgumentArray::AddNumber(int64_t value) { Append(new CArgumentLongInteger(value)); }
void CArgumentArray::AddNumber(float value) { Append(new CArgumentFloat(value)); }
void CArgumentArray::AddNumber(double value) { Append(new CArgumentDouble(value)); }
void CArgumentArray::AddVector2D(const CVector2D& value) { Append(new CArgumentVector2D(value)); }
void CArgumentArray::AddVector3D(const CVector3D& value) { Append(new CArgumentVector3D(value)); }
void CArgumentArray::AddMatrix4x4(const CMatrix4x4& value) { Append(new CArgumentMatrix4x4(value)); }
void CArgumentArray::AddBytes(const uint8_t* pData, size_t length) { Append(new CArgumentBytes(pData, length)); }

void CArgumentArray::AddObject(CBaseObject* pObject) {
    Append(pObject ? pObject->CreateArgument() : nullptr);
}

void CArgumentArray::Add(const CArgument* pValue) {
    CArgument* pCopy = pValue ? pValue->Clone() : nullptr;
    Append(pCopy ? pCopy : CArgument::Create(ARGUMENT_UNDEFINED));
}

void CArgumentArray::Append(CArgument* pValue) {
    m_Values.push_back(Strong<CArgument>::Adopt(pValue ? pValue : new CArgument()));
}

void CArgumentArray::Move(CArgumentArray* pTarget) {
    if (!pTarget || pTarget == this) return;
    pTarget->m_Values = std::move(m_Values);
    m_Values.clear();
}

} // namespace Tessera3D
