#pragma once
// Messages about elements: their creation and sync records, deletion, syncer, parent, name, data and
// dimension, and the syncer request of a client. Every message about one element starts with a record
// count that the server always sends as 1.
#include "Engine/Argument.h"
#include "Engine/ArgumentMap.h"
#include "Multiplayer/MachineMessages.h"
#include "Multiplayer/Message.h"

#include <string>
#include <utility>
#include <vector>

namespace Tessera3D { class INetObjectRegistry; }

// Size of the identifier that opens every element record: int32 type, int32 id.
constexpr size_t ELEMENT_IDENTIFIER_SIZE = 8;
// Record lengths travel as uint16.
constexpr size_t MAX_ELEMENT_RECORD_SIZE = UINT16_MAX;

// The part of every creation record the element base writes: int32 syncer index (-1 none), int32
// parent id (-1 none), int32 dimension, string name (empty when none), uint16 count of data entries,
// then per entry: key string, uint8 value type, value.
struct CElementBaseRecord {
    int32_t m_Syncer = -1;
    int32_t m_Parent = -1;
    int32_t m_Dimension = 0;
    std::string m_Name;
    CDataEntries m_Data;
    // Where element values among the data are looked up when reading.
    Tessera3D::INetObjectRegistry* m_pLookupContext = nullptr;

    void SetData(const Tessera3D::CArgumentMap& data) { CopyDataEntries(data, m_Data); }
    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// One element as a record of the creation (11) or sync (4) message: int32 type, int32 id, then what
// the element kind writes.
struct CElementRecord {
    int32_t m_Type = 0;
    int32_t m_Id = -1;
    std::vector<uint8_t> m_Payload;
};

// uint16 record count, then per record: uint16 size (identifier included), the record.
template <uint32_t Id>
struct CElementRecordList {
    static constexpr uint32_t ID = Id;
    std::vector<CElementRecord> m_Records;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    // Strict: every record must be at least the identifier long and arrive whole.
    bool Read(Tessera3D::CBinaryReader& reader);
};
using CElementCreate = CElementRecordList<PACKET_ELEMENT_CREATE>;
using CElementSync = CElementRecordList<PACKET_ELEMENT_SYNC>;

// Builds a record list message record by record; the count is filled in at the end.
class CElementRecordListWriter {
public:
    explicit CElementRecordListWriter(uint32_t id);

    // Appends uint16 size and the record bytes; false (and nothing written) for a record that is
    // shorter than its identifier or too long for its length field, or when the count is full.
    bool Add(const void* pRecord, size_t size);
    uint16_t GetCount() const { return m_Count; }
    // The message with its count; null when no record was added or the buffer could not grow.
    Tessera3D::Strong<Tessera3D::Packet> Finish();

private:
    Tessera3D::Strong<Tessera3D::Packet> m_pPacket;
    uint16_t m_Count = 0;
    bool m_bFailed = false;
};

// Walks the records of a sync message from a client without trusting its sizes: a record below the
// identifier's size ends the walk, and each payload is exactly the declared size or what arrived of
// it, so one record's reader never sees the next record's bytes.
class CElementRecordReader {
public:
    explicit CElementRecordReader(Tessera3D::Stream* pStream);

    // The next record; false at the end of the records or of the bytes.
    bool Next(int32_t& type, int32_t& id, const uint8_t*& pPayload, size_t& payloadSize);

private:
    Tessera3D::CBinaryReader m_Reader;
    uint16_t m_Remaining = 0;
    bool m_bEnded = false;
    std::vector<uint8_t> m_Payload;
};

// uint16 count, then that many int32 ids: the server broadcasts one destroyed element; a client lists
// the elements it dropped.
struct CElementDelete {
    static constexpr uint32_t ID = PACKET_ELEMENT_DELETE;
    std::vector<int32_t> m_Ids;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// uint16 1, int32 id, int32 syncer's client index or -1.
struct CElementSyncer {
    static constexpr uint32_t ID = PACKET_ELEMENT_SYNCER;
    int32_t m_Id = -1;
    int32_t m_Syncer = -1;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// uint16 1, int32 id, int32 parent id or -1.
struct CElementParent {
    static constexpr uint32_t ID = PACKET_ELEMENT_PARENT;
    int32_t m_Id = -1;
    int32_t m_Parent = -1;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// uint16 1, int32 id, string name (empty when cleared).
struct CElementName {
    static constexpr uint32_t ID = PACKET_ELEMENT_NAME;
    int32_t m_Id = -1;
    std::string m_Name;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// uint16 1, int32 id, uint16 1, key string, uint8 value type, value (type 0 and nothing more when the
// key was removed).
struct CElementData {
    static constexpr uint32_t ID = PACKET_ELEMENT_DATA;
    int32_t m_Id = -1;
    std::string m_Key;
    Tessera3D::Strong<Tessera3D::CArgument> m_Value; // null: removed

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// uint16 1, int32 id.
struct CElementDataClear {
    static constexpr uint32_t ID = PACKET_ELEMENT_DATA_CLEAR;
    int32_t m_Id = -1;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// uint16 1, int32 id, int32 dimension.
struct CElementDimension {
    static constexpr uint32_t ID = PACKET_ELEMENT_DIMENSION;
    int32_t m_Id = -1;
    int32_t m_Dimension = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// int32 id of the element the client wants to sync.
struct CRequestSyncer {
    static constexpr uint32_t ID = PACKET_REQUEST_SYNCER;
    int32_t m_Id = -1;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_Id); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_Id); }
};
