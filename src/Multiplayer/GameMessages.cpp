#include "Multiplayer/GameMessages.h"

using namespace Tessera3D;

bool CGameFileCheckRequest::Write(CBinaryWriter& writer) const {
    if (!writer.WriteUInt32(static_cast<uint32_t>(m_Paths.size()))) return false;
    for (const std::string& path : m_Paths)
        if (!writer.WriteString(path)) return false;
    return true;
}

bool CGameFileCheckRequest::Read(CBinaryReader& reader) {
    uint32_t count = 0;
    if (!reader.ReadUInt32(count)) return false;
    m_Paths.clear();
    for (uint32_t i = 0; i < count; ++i) {
        std::string path;
        if (!reader.ReadString(path, 4096)) return false;
        m_Paths.push_back(std::move(path));
    }
    return true;
}

bool CGameFileCheckAnswer::Write(CBinaryWriter& writer) const {
    if (!writer.WriteUInt32(m_Count)) return false;
    for (const auto& digest : m_Digests)
        for (uint32_t word : digest)
            if (!writer.WriteUInt32(word)) return false;
    return true;
}

bool CGameFileCheckAnswer::Read(CBinaryReader& reader) {
    if (!reader.ReadUInt32(m_Count)) return false;
    m_Digests.clear();
    if (m_Count > MAX_FILES) return true; // refused by its count alone
    for (uint32_t i = 0; i < m_Count; ++i) {
        std::array<uint32_t, 4> digest{};
        for (uint32_t& word : digest)
            if (!reader.ReadUInt32(word)) return false;
        m_Digests.push_back(digest);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Game messages of clients

bool CPedVehicleAction::Write(CBinaryWriter& writer) const {
    if (!writer.WriteInt32(m_Ped) || !writer.WriteUInt8(m_Action)) return false;
    return !HasVehicle(m_Action) || writer.WriteInt32(m_Vehicle);
}

bool CPedVehicleAction::Read(CBinaryReader& reader) {
    if (!reader.ReadInt32(m_Ped) || !reader.ReadUInt8(m_Action)) return false;
    return !HasVehicle(m_Action) || reader.ReadInt32(m_Vehicle);
}

bool CPedWasted::Write(CBinaryWriter& writer) const {
    return writer.WriteInt32(m_Ped) && writer.WriteInt32(m_Killer) && writer.WriteUInt8(m_A) && writer.WriteUInt8(m_B);
}

bool CPedWasted::Read(CBinaryReader& reader) {
    return reader.ReadInt32(m_Ped) && reader.ReadInt32(m_Killer) && reader.ReadUInt8(m_A) && reader.ReadUInt8(m_B);
}

bool CPedFall::Write(CBinaryWriter& writer) const {
    return writer.WriteInt32(m_Ped) && writer.WriteInt32(m_A) && writer.WriteInt32(m_B) && writer.WriteUInt8(m_C);
}

bool CPedFall::Read(CBinaryReader& reader) {
    return reader.ReadInt32(m_Ped) && reader.ReadInt32(m_A) && reader.ReadInt32(m_B) && reader.ReadUInt8(m_C);
}

bool CPedActionA::Write(CBinaryWriter& writer) const {
    return writer.WriteInt32(m_Ped) && writer.WriteUInt8(m_A) && writer.WriteInt32(m_B) && writer.WriteBytes(m_C.data(), 4);
}

bool CPedActionA::Read(CBinaryReader& reader) {
    return reader.ReadInt32(m_Ped) && reader.ReadUInt8(m_A) && reader.ReadInt32(m_B) && reader.ReadBytes(m_C.data(), 4);
}

namespace {

bool WriteVector(CBinaryWriter& writer, const CVector3D& v) {
    return writer.WriteFloat(v.x) && writer.WriteFloat(v.y) && writer.WriteFloat(v.z);
}

bool ReadVector(CBinaryReader& reader, CVector3D& v) { return reader.ReadFloat(v.x) && reader.ReadFloat(v.y) && reader.ReadFloat(v.z); }

// Everything left in the message, as a relay passes it on.
bool ReadRest(CBinaryReader& reader, std::vector<uint8_t>& rest) {
    rest.clear();
    Stream* pStream = reader.GetStream();
    if (!pStream) return false;
    uint8_t buffer[1024];
    for (size_t read; (read = pStream->Read(buffer, sizeof(buffer))) > 0;) rest.insert(rest.end(), buffer, buffer + read);
    return true;
}

bool ReadBlock(CBinaryReader& reader, std::vector<uint8_t>& bytes, size_t length) {
    bytes.resize(length);
    return length == 0 || reader.ReadBytes(bytes.data(), length);
}

} // namespace

bool CPedActionE::Write(CBinaryWriter& writer) const {
    if (!writer.WriteUInt8(m_Kind) || !writer.WriteInt32(m_Ped)) return false;
    if (m_Kind == 1) return writer.WriteFloat(m_F);
    if (m_Kind == 2) return WriteVector(writer, m_First) && WriteVector(writer, m_Second) && writer.WriteFloat(m_F);
    return true;
}

bool CPedActionE::Read(CBinaryReader& reader) {
    if (!reader.ReadUInt8(m_Kind) || !reader.ReadInt32(m_Ped)) return false;
    if (m_Kind == 1) return reader.ReadFloat(m_F);
    if (m_Kind == 2) return ReadVector(reader, m_First) && ReadVector(reader, m_Second) && reader.ReadFloat(m_F);
    return false;
}

// ---------------------------------------------------------------------------------------------
// Client-created elements

bool CLocalElementAccepted::Write(CBinaryWriter& writer) const {
    return writer.WriteInt32(m_Type) && writer.WriteInt32(m_ClientId) && writer.WriteBytes(m_Handle.data(), 8) &&
           writer.WriteInt32(m_Id);
}

bool CLocalElementAccepted::Read(CBinaryReader& reader) {
    return reader.ReadInt32(m_Type) && reader.ReadInt32(m_ClientId) && reader.ReadBytes(m_Handle.data(), 8) &&
           reader.ReadInt32(m_Id);
}

// ---------------------------------------------------------------------------------------------
// GTA IV

bool CIVJoinSession::Write(CBinaryWriter& writer) const {
    return writer.WriteInt32(m_GameMode) && writer.WriteInt32(m_Episode) && writer.WriteInt32(m_Host);
}

bool CIVJoinSession::Read(CBinaryReader& reader) {
    return reader.ReadInt32(m_GameMode) && reader.ReadInt32(m_Episode) && reader.ReadInt32(m_Host);
}

bool CIVSessionInfo::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt8(m_Unused) && writer.WriteInt8(m_Episode) && writer.WriteInt8(m_GameMode);
}

bool CIVSessionInfo::Read(CBinaryReader& reader) {
    return reader.ReadUInt8(m_Unused) && reader.ReadInt8(m_Episode) && reader.ReadInt8(m_GameMode);
}

bool CIVHostData::Write(CBinaryWriter& writer) const {
    if (!writer.WriteUInt8(m_Flags)) return false;
    if (!(m_Flags & 1)) return true;
    if (m_Data.size() > UINT8_MAX) return false;
    return writer.WriteUInt8(static_cast<uint8_t>(m_Data.size())) && writer.WriteBytes(m_Data.data(), m_Data.size());
}

bool CIVHostData::Read(CBinaryReader& reader) {
    m_Data.clear();
    if (!reader.ReadUInt8(m_Flags)) return false;
    if (!(m_Flags & 1)) return true;
    uint8_t length = 0;
    return reader.ReadUInt8(length) && ReadBlock(reader, m_Data, length);
}

bool CIVHostDataReply::Write(CBinaryWriter& writer) const {
    if (!writer.WriteUInt16(m_Index) || !writer.WriteUInt8(m_bHasData ? 1 : 0)) return false;
    if (!m_bHasData) return true;
    if (m_Data.size() > UINT8_MAX) return false;
    return writer.WriteUInt8(static_cast<uint8_t>(m_Data.size())) && writer.WriteBytes(m_Data.data(), m_Data.size());
}

bool CIVHostDataReply::Read(CBinaryReader& reader) {
    m_Data.clear();
    uint8_t has = 0;
    if (!reader.ReadUInt16(m_Index) || !reader.ReadUInt8(has)) return false;
    m_bHasData = has != 0;
    if (!m_bHasData) return true;
    uint8_t length = 0;
    return reader.ReadUInt8(length) && ReadBlock(reader, m_Data, length);
}

bool CIVPeerData::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt16(m_Peer) && writer.WriteUInt16(m_Length) && writer.WriteBytes(m_Rest.data(), m_Rest.size());
}

bool CIVPeerData::Read(CBinaryReader& reader) {
    if (!reader.ReadUInt16(m_Peer) || !reader.ReadUInt16(m_Length)) return false;
    if (m_Length < 1 || m_Length > MAX_IV_PEER_LENGTH) return false;
    return ReadRest(reader, m_Rest);
}

bool CIVPeerMessage::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt16(m_A) && writer.WriteUInt16(m_Peer) && writer.WriteUInt16(m_Length) &&
           writer.WriteBytes(m_Rest.data(), m_Rest.size());
}

bool CIVPeerMessage::Read(CBinaryReader& reader) {
    if (!reader.ReadUInt16(m_A) || !reader.ReadUInt16(m_Peer) || !reader.ReadUInt16(m_Length)) return false;
    if (m_Length < 1 || m_Length > MAX_IV_PEER_LENGTH) return false;
    return ReadRest(reader, m_Rest);
}

bool CIVNetworkEvent::Write(CBinaryWriter& writer) const {
    if (m_A.size() > MAX_LENGTH || m_B.size() > MAX_LENGTH) return false;
    return writer.WriteUInt8(m_Type) && writer.WriteUInt16(static_cast<uint16_t>(m_A.size())) &&
           writer.WriteBytes(m_A.data(), m_A.size()) && writer.WriteUInt16(static_cast<uint16_t>(m_B.size())) &&
           writer.WriteBytes(m_B.data(), m_B.size());
}

bool CIVNetworkEvent::Read(CBinaryReader& reader) {
    uint16_t length = 0;
    if (!reader.ReadUInt8(m_Type) || m_Type >= TYPE_COUNT) return false;
    if (!reader.ReadUInt16(length) || length > MAX_LENGTH || !ReadBlock(reader, m_A, length)) return false;
    return reader.ReadUInt16(length) && length <= MAX_LENGTH && ReadBlock(reader, m_B, length);
}

const char* CIVNetworkEvent::GetTypeName(uint8_t type) {
    static const char* const names[TYPE_COUNT] = {
        "REQUEST_CONTROL_EVENT", "GIVE_CONTROL_EVENT", "OBJECT_ID_FREED_EVENT", "WEAPON_DAMAGE_EVENT",
        "REQUEST_PICKUP_EVENT", "GAME_CLOCK_AND_WEATHER_EVENT", "RESURRECT_PLAYER_EVENT",
        "RESURRECTED_LOCAL_PLAYER_EVENT", "GIVE_WEAPON_EVENT", "REMOVE_WEAPON_EVENT", "REMOVE_ALL_WEAPONS_EVENT",
        "VEHICLE_COMPONENT_CONTROL_EVENT", "REQUEST_FIRE_EVENT", "START_FIRE_EVENT", "REQUEST_EXPLOSION_EVENT",
        "START_EXPLOSION_EVENT", "START_PROJECTILE_EVENT", "SESSION_SETTINGS_CHANGED_EVENT",
        "ALTER_WANTED_LEVEL_EVENT", "CREATE_PICKUP_EVENT", "CHANGE_RADIO_STATION_EVENT", "UPDATE_GPS_EVENT",
        "RAGDOLL_REQUEST_EVENT", "MARK_AS_NO_LONGER_NEEDED_EVENT", "PLAYER_TAUNT_EVENT", "DOOR_BREAK_EVENT",
        "HOST_VARIABLES_VERIFY_EVENT",
    };
    return type < TYPE_COUNT ? names[type] : nullptr;
}
