// Payloads of the scalar and reference kinds.
#include "Engine/Argument.h"
#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Engine/NetObjectRegistry.h"

#include <cstring>

namespace Tessera3D {

namespace {

// Lengths from untrusted bytes are read in pieces so they cannot reserve memory the stream lacks.
constexpr size_t READ_PIECE = 65536;

bool ReadByteBuffer(CBinaryReader& reader, std::vector<uint8_t>& data) {
    uint32_t length;
    if (!reader.ReadCompressedUInt32(length)) return false;
    data.clear();
    while (data.size() < length) {
        const size_t offset = data.size();
        const size_t piece = std::min<size_t>(READ_PIECE, length - offset);
        data.resize(offset + piece);
        if (!reader.ReadBytes(data.data() + offset, piece)) return false;
    }
    return true;
}

bool LengthFits(size_t length) { return length <= UINT32_MAX; }

} // namespace

// Boolean: one byte, any non-zero byte reads as true.
bool CArgumentBoolean::Read(Stream* pStream) { return CBinaryReader(pStream).ReadBoolean(m_bValue); }
bool CArgumentBoolean::GetSize(size_t& size) const { size = 1; return true; }
bool CArgumentBoolean::Write(Stream* pStream) const { return CBinaryWriter(pStream).WriteBoolean(m_bValue); }
CArgumentBoolean* CArgumentBoolean::Clone() const { return WithContext(new CArgumentBoolean(m_bValue)); }

// String: compressed length and bytes, no terminator on the wire.
CArgumentString::CArgumentString(const char* pText) : CArgument(ARGUMENT_STRING) {
    SetString(pText, pText ? strlen(pText) : 0);
}

void CArgumentString::SetString(const char* pText, size_t length) {
    if (pText)
        m_Text.assign(pText, length);
    else
        m_Text.clear();
}

bool CArgumentString::Read(Stream* pStream) {
    std::string text;
    if (!CBinaryReader(pStream).ReadString(text)) return false;
    m_Text = std::move(text);
    return true;
}

bool CArgumentString::GetSize(size_t& size) const {
    if (!LengthFits(m_Text.size())) return false;
    size = CBinaryWriter::GetStringSize(m_Text.size());
    return true;
}

bool CArgumentString::Write(Stream* pStream) const {
    return CBinaryWriter(pStream).WriteString(m_Text.data(), m_Text.size());
}

CArgumentString* CArgumentString::Clone() const { return WithContext(new CArgumentString(m_Text.data(), m_Text.size())); }

// Numbers: little-endian as in memory.
bool CArgumentInteger::Read(Stream* pStream) { return CBinaryReader(pStream).ReadInt32(m_Value); }
bool CArgumentInteger::GetSize(size_t& size) const { size = 4; return true; }
bool CArgumentInteger::Write(Stream* pStream) const { return CBinaryWriter(pStream).WriteInt32(m_Value); }
CArgumentInteger* CArgumentInteger::Clone() const { return WithContext(new CArgumentInteger(m_Value)); }

bool CArgumentFloat::Read(Stream* pStream) { return CBinaryReader(pStream).ReadFloat(m_Value); }
bool CArgumentFloat::GetSize(size_t& size) const { size = 4; return true; }
bool CArgumentFloat::Write(Stream* pStream) const { return CBinaryWriter(pStream).WriteFloat(m_Value); }
CArgumentFloat* CArgumentFloat::Clone() const { return WithContext(new CArgumentFloat(m_Value)); }

bool CArgumentLongInteger::Read(Stream* pStream) { return CBinaryReader(pStream).ReadInt64(m_Value); }
bool CArgumentLongInteger::GetSize(size_t& size) const { size = 8; return true; }
bool CArgumentLongInteger::Write(Stream* pStream) const { return CBinaryWriter(pStream).WriteInt64(m_Value); }
CArgumentLongInteger* CArgumentLongInteger::Clone() const { return WithContext(new CArgumentLongInteger(m_Value)); }

bool CArgumentDouble::Read(Stream* pStream) { return CBinaryReader(pStream).ReadDouble(m_Value); }
bool CArgumentDouble::GetSize(size_t& size) const { size = 8; return true; }
bool CArgumentDouble::Write(Stream* pStream) const { return CBinaryWriter(pStream).WriteDouble(m_Value); }
CArgumentDouble* CArgumentDouble::Clone() const { return WithContext(new CArgumentDouble(m_Value)); }

// Vectors and the matrix: their floats in memory order. A short read leaves the value unchanged.
bool CArgumentVector2D::Read(Stream* pStream) {
    CVector2D value;
    if (!CBinaryReader(pStream).ReadBytes(&value, sizeof(value))) return false;
    m_Value = value;
    return true;
}
bool CArgumentVector2D::GetSize(size_t& size) const { size = sizeof(m_Value); return true; }
bool CArgumentVector2D::Write(Stream* pStream) const { return CBinaryWriter(pStream).WriteBytes(&m_Value, sizeof(m_Value)); }
CArgumentVector2D* CArgumentVector2D::Clone() const { return WithContext(new CArgumentVector2D(m_Value)); }

bool CArgumentVector3D::Read(Stream* pStream) {
    CVector3D value;
    if (!CBinaryReader(pStream).ReadBytes(&value, sizeof(value))) return false;
    m_Value = value;
    return true;
}
bool CArgumentVector3D::GetSize(size_t& size) const { size = sizeof(m_Value); return true; }
bool CArgumentVector3D::Write(Stream* pStream) const { return CBinaryWriter(pStream).WriteBytes(&m_Value, sizeof(m_Value)); }
CArgumentVector3D* CArgumentVector3D::Clone() const { return WithContext(new CArgumentVector3D(m_Value)); }

bool CArgumentMatrix4x4::Read(Stream* pStream) {
    CMatrix4x4 value;
    if (!CBinaryReader(pStream).ReadBytes(value.m, sizeof(value.m))) return false;
    m_Value = value;
    return true;
}
bool CArgumentMatrix4x4::GetSize(size_t& size) const { size = sizeof(m_Value.m); return true; }
bool CArgumentMatrix4x4::Write(Stream* pStream) const { return CBinaryWriter(pStream).WriteBytes(m_Value.m, sizeof(m_Value.m)); }
CArgumentMatrix4x4* CArgumentMatrix4x4::Clone() const { return WithContext(new CArgumentMatrix4x4(m_Value)); }

// Bytes: compressed length and raw bytes.
CArgumentBytes::CArgumentBytes(const uint8_t* pData, size_t length) : CArgument(ARGUMENT_BYTES) {
    if (pData && length > 0) m_Data.assign(pData, pData + length);
}

bool CArgumentBytes::Read(Stream* pStream) {
    CBinaryReader reader(pStream);
    std::vector<uint8_t> data;
    if (!ReadByteBuffer(reader, data)) return false;
    m_Data = std::move(data);
    return true;
}

bool CArgumentBytes::GetSize(size_t& size) const {
    if (!LengthFits(m_Data.size())) return false;
    size = CBinaryWriter::GetStringSize(m_Data.size());
    return true;
}

bool CArgumentBytes::Write(Stream* pStream) const {
    CBinaryWriter writer(pStream);
    if (!LengthFits(m_Data.size())) return false;
    return writer.WriteCompressedUInt32(static_cast<uint32_t>(m_Data.size())) && writer.WriteBytes(m_Data.data(), m_Data.size());
}

CArgumentBytes* CArgumentBytes::Clone() const { return WithContext(new CArgumentBytes(m_Data.data(), m_Data.size())); }

// Objects never travel.
bool CArgumentObject::Read(Stream* pStream) { return false; }
bool CArgumentObject::GetSize(size_t& size) const { return false; }
bool CArgumentObject::Write(Stream* pStream) const { return false; }
CArgumentObject* CArgumentObject::Clone() const { return WithContext(new CArgumentObject(m_pObject.Get())); }

// Elements travel as their id.
CArgumentNetObject::CArgumentNetObject(CBaseObject* pElement) : CArgumentObject(ARGUMENT_NETOBJECT, nullptr) {
    SetObject(pElement);
}

void CArgumentNetObject::SetObject(CBaseObject* pElement) {
    CArgumentObject::SetObject(pElement);
    m_pIdentified = dynamic_cast<INetIdentified*>(pElement);
    m_Id = m_pIdentified ? m_pIdentified->GetNetworkId() : -1;
}

int32_t CArgumentNetObject::GetNetworkId() const {
    return m_pIdentified ? m_pIdentified->GetNetworkId() : m_Id;
}

bool CArgumentNetObject::Read(Stream* pStream) {
    int32_t id;
    if (!CBinaryReader(pStream).ReadInt32(id)) return false;
    INetObjectRegistry* pRegistry = GetLookupContext();
    SetObject(id >= 0 && pRegistry ? pRegistry->FindNetObject(id) : nullptr);
    m_Id = id;
    return true;
}

bool CArgumentNetObject::GetSize(size_t& size) const { size = 4; return true; }
bool CArgumentNetObject::Write(Stream* pStream) const { return CBinaryWriter(pStream).WriteInt32(GetNetworkId()); }

CArgumentNetObject* CArgumentNetObject::Clone() const {
    auto* pClone = WithContext(new CArgumentNetObject(GetObject()));
    pClone->m_Id = m_Id;
    return pClone;
}

// Functions: the reference is shared, nothing travels.
CArgumentFunction* CArgumentFunction::Clone() const { return WithContext(new CArgumentFunction(m_pFunction.Get())); }

} // namespace Tessera3D
