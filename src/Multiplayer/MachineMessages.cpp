#include "Multiplayer/MachineMessages.h"

using namespace Tessera3D;

namespace {

// The leading record count of the messages about one client; the server always sends one record.
bool ReadSingleRecordCount(CBinaryReader& reader) {
    uint16_t count = 0;
    return reader.ReadUInt16(count) && count == 1;
}

} // namespace

bool WriteTaggedValue(CBinaryWriter& writer, const CArgument* pValue) {
    if (!pValue) return writer.WriteUInt8(ARGUMENT_NIL);
    return writer.WriteUInt8(pValue->GetType()) && pValue->Write(writer.GetStream());
}

bool ReadTaggedValue(CBinaryReader& reader, Strong<CArgument>& value, INetObjectRegistry* pLookupContext) {
    uint8_t type = 0;
    if (!reader.ReadUInt8(type)) return false;
    CArgument* pValue = type == ARGUMENT_NETOBJECT ? new CArgumentNetObject() : CArgument::Create(type);
    if (!pValue) return false;
    value = Strong<CArgument>::Adopt(pValue);
    value->SetLookupContext(pLookupContext);
    return value->Read(reader.GetStream());
}

void CopyDataEntries(const CArgumentMap& data, CDataEntries& entries) {
    entries.clear();
    entries.reserve(data.GetCount());
    for (const auto& entry : data) entries.emplace_back(entry.first, entry.second.Get());
}

bool WriteDataEntries(CBinaryWriter& writer, const CDataEntries& entries) {
    if (entries.size() > UINT16_MAX || !writer.WriteUInt16(static_cast<uint16_t>(entries.size()))) return false;
    for (const auto& [key, value] : entries)
        if (!writer.WriteString(key) || !WriteTaggedValue(writer, value.Get())) return false;
    return true;
}

bool ReadDataEntries(CBinaryReader& reader, CDataEntries& entries, INetObjectRegistry* pLookupContext) {
    uint16_t count = 0;
    if (!reader.ReadUInt16(count)) return false;
    entries.clear();
    for (uint16_t i = 0; i < count; ++i) {
        std::string key;
        Strong<CArgument> value;
        if (!reader.ReadString(key) || !ReadTaggedValue(reader, value, pLookupContext)) return false;
        entries.emplace_back(std::move(key), std::move(value));
    }
    return true;
}

bool CClientRecord::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt8(m_Flags) && writer.WriteUInt8(m_Game) && writer.WriteInt32(m_Player) &&
           writer.WriteString(m_Name) && WriteDataEntries(writer, m_Data);
}

bool CClientRecord::Read(CBinaryReader& reader) {
    return reader.ReadUInt8(m_Flags) && reader.ReadUInt8(m_Game) && reader.ReadInt32(m_Player) &&
           reader.ReadString(m_Name) && ReadDataEntries(reader, m_Data);
}

bool CClientData::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt16(1) && writer.WriteInt32(m_Index) && writer.WriteUInt16(1) && writer.WriteString(m_Key) &&
           WriteTaggedValue(writer, m_Value.Get());
}

bool CClientData::Read(CBinaryReader& reader) {
    uint16_t entries = 0;
    if (!ReadSingleRecordCount(reader) || !reader.ReadInt32(m_Index) || !reader.ReadUInt16(entries) || entries != 1 ||
        !reader.ReadString(m_Key) || !ReadTaggedValue(reader, m_Value))
        return false;
    if (m_Value && m_Value->GetType() == ARGUMENT_NIL) m_Value = nullptr;
    return true;
}

bool CClientDataClear::Read(CBinaryReader& reader) { return ReadSingleRecordCount(reader) && reader.ReadInt32(m_Index); }

bool CClientPlayer::Read(CBinaryReader& reader) {
    return ReadSingleRecordCount(reader) && reader.ReadInt32(m_Index) && reader.ReadInt32(m_Player);
}

bool CClientUpdate::Read(CBinaryReader& reader) {
    return ReadSingleRecordCount(reader) && reader.ReadInt32(m_Index) && reader.ReadUInt8(m_Flags);
}
