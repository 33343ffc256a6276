#pragma once
// How a client is described to other clients, and the messages about a client's data and binding.
#include "Engine/Argument.h"
#include "Engine/ArgumentMap.h"
#include "Multiplayer/Message.h"

#include <string>
#include <utility>
#include <vector>

enum eClientFlags : uint8_t { CLIENT_FLAG_ADMINISTRATOR = 1, CLIENT_FLAG_CONSOLE = 2 };

namespace Tessera3D { class INetObjectRegistry; }

// A value on the wire: its type byte, then its payload. Reading makes the value, with element values
// resolved through the lookup context when one is given; false for a kind that cannot be made or read.
bool WriteTaggedValue(Tessera3D::CBinaryWriter& writer, const Tessera3D::CArgument* pValue);
bool ReadTaggedValue(Tessera3D::CBinaryReader& reader, Tessera3D::Strong<Tessera3D::CArgument>& value,
                     Tessera3D::INetObjectRegistry* pLookupContext = nullptr);

// The data of a client or element as records carry it, in the map's order.
using CDataEntries = std::vector<std::pair<std::string, Tessera3D::Strong<Tessera3D::CArgument>>>;
// Takes references to the values of a data map (no copies).
void CopyDataEntries(const Tessera3D::CArgumentMap& data, CDataEntries& entries);
// uint16 count, then per entry: key string, uint8 value type, value.
bool WriteDataEntries(Tessera3D::CBinaryWriter& writer, const CDataEntries& entries);
bool ReadDataEntries(Tessera3D::CBinaryReader& reader, CDataEntries& entries,
                     Tessera3D::INetObjectRegistry* pLookupContext = nullptr);

// uint8 flags, uint8 game, int32 player element id, string name, uint16 count of data entries, then
// per entry: key string, uint8 value type, value.
struct CClientRecord {
    int32_t m_Index = -1; // travels beside the record, not inside it
    uint8_t m_Flags = 0;
    uint8_t m_Game = 0;
    int32_t m_Player = -1;
    std::string m_Name;
    CDataEntries m_Data;

    void SetData(const Tessera3D::CArgumentMap& data) { CopyDataEntries(data, m_Data); }
    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

struct CLocalPlayer {
    static constexpr uint32_t ID = PACKET_LOCAL_PLAYER;
    int32_t m_Player = -1;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_Player); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_Player); }
};

// uint16 1, int32 client index, uint16 1, key, uint8 value type, value (type 0 and nothing more when
// the key was removed).
struct CClientData {
    static constexpr uint32_t ID = PACKET_CLIENT_DATA;
    int32_t m_Index = -1;
    std::string m_Key;
    Tessera3D::Strong<Tessera3D::CArgument> m_Value; // null: removed

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

struct CClientDataClear {
    static constexpr uint32_t ID = PACKET_CLIENT_DATA_CLEAR;
    int32_t m_Index = -1;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteUInt16(1) && writer.WriteInt32(m_Index); }
    bool Read(Tessera3D::CBinaryReader& reader);
};

struct CClientPlayer {
    static constexpr uint32_t ID = PACKET_CLIENT_PLAYER;
    int32_t m_Index = -1;
    int32_t m_Player = -1;

    bool Write(Tessera3D::CBinaryWriter& writer) const {
        return writer.WriteUInt16(1) && writer.WriteInt32(m_Index) && writer.WriteInt32(m_Player);
    }
    bool Read(Tessera3D::CBinaryReader& reader);
};

struct CClientUpdate {
    static constexpr uint32_t ID = PACKET_CLIENT_UPDATE;
    int32_t m_Index = -1;
    uint8_t m_Flags = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const {
        return writer.WriteUInt16(1) && writer.WriteInt32(m_Index) && writer.WriteUInt8(m_Flags);
    }
    bool Read(Tessera3D::CBinaryReader& reader);
};

// uint8: whether the client wants element creations.
struct CElementStreaming {
    static constexpr uint32_t ID = PACKET_ELEMENT_STREAMING;
    bool m_bEnabled = false;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteBoolean(m_bEnabled); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadBoolean(m_bEnabled); }
};
