#include "Multiplayer/ElementMessages.h"

#include "Multiplayer/MachineMessages.h"

#include <cstring>

using namespace Tessera3D;

namespace {

// The leading record count of the messages about one element; the server always sends one record.
bool ReadSingleRecordCount(CBinaryReader& reader) {
    uint16_t count = 0;
    return reader.ReadUInt16(count) && count == 1;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Creation record, base part

bool CElementBaseRecord::Write(CBinaryWriter& writer) const {
    return writer.WriteInt32(m_Syncer) && writer.WriteInt32(m_Parent) && writer.WriteInt32(m_Dimension) &&
           writer.WriteString(m_Name) && WriteDataEntries(writer, m_Data);
}

bool CElementBaseRecord::Read(CBinaryReader& reader) {
    return reader.ReadInt32(m_Syncer) && reader.ReadInt32(m_Parent) && reader.ReadInt32(m_Dimension) &&
           reader.ReadString(m_Name) && ReadDataEntries(reader, m_Data, m_pLookupContext);
}

// ---------------------------------------------------------------------------------------------
// Record lists: creation (11) and sync (4)

template <uint32_t Id>
bool CElementRecordList<Id>::Write(CBinaryWriter& writer) const {
    if (m_Records.size() > UINT16_MAX) return false;
    if (!writer.WriteUInt16(static_cast<uint16_t>(m_Records.size()))) return false;
    for (const CElementRecord& record : m_Records) {
        const size_t size = ELEMENT_IDENTIFIER_SIZE + record.m_Payload.size();
        if (size > MAX_ELEMENT_RECORD_SIZE) return false;
        if (!writer.WriteUInt16(static_cast<uint16_t>(size)) || !writer.WriteInt32(record.m_Type) ||
            !writer.WriteInt32(record.m_Id) || !writer.WriteBytes(record.m_Payload.data(), record.m_Payload.size()))
            return false;
    }
    return true;
}

template <uint32_t Id>
bool CElementRecordList<Id>::Read(CBinaryReader& reader) {
    uint16_t count = 0;
    if (!reader.ReadUInt16(count)) return false;
    m_Records.clear();
    for (uint16_t i = 0; i < count; ++i) {
        uint16_t size = 0;
        CElementRecord record;
        if (!reader.ReadUInt16(size) || size < ELEMENT_IDENTIFIER_SIZE || !reader.ReadInt32(record.m_Type) ||
            !reader.ReadInt32(record.m_Id))
            return false;
        record.m_Payload.resize(size - ELEMENT_IDENTIFIER_SIZE);
        if (!reader.ReadBytes(record.m_Payload.data(), record.m_Payload.size())) return false;
        m_Records.push_back(std::move(record));
    }
    return true;
}

template struct CElementRecordList<PACKET_ELEMENT_CREATE>;
template struct CElementRecordList<PACKET_ELEMENT_SYNC>;

CElementRecordListWriter::CElementRecordListWriter(uint32_t id) : m_pPacket(MakeStrong<Packet>(id)) {
    CBinaryWriter(m_pPacket.Get()).WriteUInt16(0);
}

bool CElementRecordListWriter::Add(const void* pRecord, size_t size) {
    if (m_bFailed || size < ELEMENT_IDENTIFIER_SIZE || size > MAX_ELEMENT_RECORD_SIZE || m_Count == UINT16_MAX)
        return false;
    CBinaryWriter writer(m_pPacket.Get());
    // Only a failed allocation stops a growing buffer; the half-written message is then dropped whole.
    if (!writer.WriteUInt16(static_cast<uint16_t>(size)) || !writer.WriteBytes(pRecord, size)) {
        m_bFailed = true;
        return false;
    }
    ++m_Count;
    return true;
}

Strong<Packet> CElementRecordListWriter::Finish() {
    if (m_Count == 0 || m_bFailed) return nullptr;
    const int64_t end = m_pPacket->Tell();
    m_pPacket->Seek(static_cast<int64_t>(PACKET_HEADER_SIZE), SEEK_ORIGIN_BEGIN);
    CBinaryWriter(m_pPacket.Get()).WriteUInt16(m_Count);
    m_pPacket->Seek(end, SEEK_ORIGIN_BEGIN);
    return m_pPacket;
}

CElementRecordReader::CElementRecordReader(Stream* pStream) : m_Reader(pStream) {
    m_bEnded = !m_Reader.ReadUInt16(m_Remaining);
}

bool CElementRecordReader::Next(int32_t& type, int32_t& id, const uint8_t*& pPayload, size_t& payloadSize) {
    if (m_bEnded || m_Remaining == 0) return false;
    --m_Remaining;
    uint16_t size = 0;
    if (!m_Reader.ReadUInt16(size) || size < ELEMENT_IDENTIFIER_SIZE || !m_Reader.ReadInt32(type) ||
        !m_Reader.ReadInt32(id)) {
        m_bEnded = true;
        return false;
    }
    // A record cut short still hands over what arrived; the walk ends after it.
    m_Payload.resize(size - ELEMENT_IDENTIFIER_SIZE);
    const size_t got = m_Reader.GetStream()->Read(m_Payload.data(), m_Payload.size());
    if (got < m_Payload.size()) {
        m_Payload.resize(got);
        m_bEnded = true;
    }
    pPayload = m_Payload.data();
    payloadSize = m_Payload.size();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Messages about one element

bool CElementDelete::Write(CBinaryWriter& writer) const {
    if (m_Ids.size() > UINT16_MAX || !writer.WriteUInt16(static_cast<uint16_t>(m_Ids.size()))) return false;
    for (int32_t id : m_Ids)
        if (!writer.WriteInt32(id)) return false;
    return true;
}

bool CElementDelete::Read(CBinaryReader& reader) {
    uint16_t count = 0;
    if (!reader.ReadUInt16(count)) return false;
    m_Ids.clear();
    for (uint16_t i = 0; i < count; ++i) {
        int32_t id = -1;
        if (!reader.ReadInt32(id)) return false;
        m_Ids.push_back(id);
    }
    return true;
}

bool CElementSyncer::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt16(1) && writer.WriteInt32(m_Id) && writer.WriteInt32(m_Syncer);
}

bool CElementSyncer::Read(CBinaryReader& reader) {
    return ReadSingleRecordCount(reader) && reader.ReadInt32(m_Id) && reader.ReadInt32(m_Syncer);
}

bool CElementParent::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt16(1) && writer.WriteInt32(m_Id) && writer.WriteInt32(m_Parent);
}

bool CElementParent::Read(CBinaryReader& reader) {
    return ReadSingleRecordCount(reader) && reader.ReadInt32(m_Id) && reader.ReadInt32(m_Parent);
}

bool CElementName::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt16(1) && writer.WriteInt32(m_Id) && writer.WriteString(m_Name);
}

bool CElementName::Read(CBinaryReader& reader) {
    return ReadSingleRecordCount(reader) && reader.ReadInt32(m_Id) && reader.ReadString(m_Name);
}

bool CElementData::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt16(1) && writer.WriteInt32(m_Id) && writer.WriteUInt16(1) && writer.WriteString(m_Key) &&
           WriteTaggedValue(writer, m_Value.Get());
}

bool CElementData::Read(CBinaryReader& reader) {
    uint16_t entries = 0;
    if (!ReadSingleRecordCount(reader) || !reader.ReadInt32(m_Id) || !reader.ReadUInt16(entries) || entries != 1 ||
        !reader.ReadString(m_Key) || !ReadTaggedValue(reader, m_Value))
        return false;
    if (m_Value && m_Value->GetType() == ARGUMENT_NIL) m_Value = nullptr;
    return true;
}

bool CElementDataClear::Write(CBinaryWriter& writer) const { return writer.WriteUInt16(1) && writer.WriteInt32(m_Id); }

bool CElementDataClear::Read(CBinaryReader& reader) { return ReadSingleRecordCount(reader) && reader.ReadInt32(m_Id); }

bool CElementDimension::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt16(1) && writer.WriteInt32(m_Id) && writer.WriteInt32(m_Dimension);
}

bool CElementDimension::Read(CBinaryReader& reader) {
    return ReadSingleRecordCount(reader) && reader.ReadInt32(m_Id) && reader.ReadInt32(m_Dimension);
}
