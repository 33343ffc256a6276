#pragma once
// Messages of the game layer: the game-file check, the world clock and weather, what clients report
// about their peds, vehicles and pickups, elements clients create, and the GTA IV sessions and relays.
#include "Engine/Mathematics/Vector3D.h"
#include "Multiplayer/Message.h"

#include <array>
#include <string>
#include <vector>

// Server to client: uint32 number of files, then each file's game path as a string.
struct CGameFileCheckRequest {
    static constexpr uint32_t ID = PACKET_GAME_FILE_CHECK;
    std::vector<std::string> m_Paths;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// Client to server: uint32 count, then per file the MD5 digest as four little-endian uint32 words.
struct CGameFileCheckAnswer {
    static constexpr uint32_t ID = PACKET_GAME_FILE_CHECK;
    // A client answers for the files it was asked about; more than this is refused unread.
    static constexpr uint32_t MAX_FILES = 4096;
    uint32_t m_Count = 0;
    std::vector<std::array<uint32_t, 4>> m_Digests;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    // Reads the count and as many digests as the count names (up to MAX_FILES).
    bool Read(Tessera3D::CBinaryReader& reader);
};

// ---------------------------------------------------------------------------------------------
// World clock and weather (server to client)

// uint8 hour, uint8 minute, int16 thousandths of the current minute.
struct CWorldClock {
    static constexpr uint32_t ID = PACKET_WORLD_CLOCK;
    uint8_t m_Hour = 0;
    uint8_t m_Minute = 0;
    int16_t m_Fraction = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const {
        return writer.WriteUInt8(m_Hour) && writer.WriteUInt8(m_Minute) && writer.WriteInt16(m_Fraction);
    }
    bool Read(Tessera3D::CBinaryReader& reader) {
        return reader.ReadUInt8(m_Hour) && reader.ReadUInt8(m_Minute) && reader.ReadInt16(m_Fraction);
    }
};

// uint8 forced (1) or not (0), uint8 weather id.
struct CWorldWeather {
    static constexpr uint32_t ID = PACKET_WORLD_WEATHER;
    uint8_t m_Forced = 0;
    uint8_t m_Weather = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteUInt8(m_Forced) && writer.WriteUInt8(m_Weather); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadUInt8(m_Forced) && reader.ReadUInt8(m_Weather); }
};

// One int64: the shared millisecond timer, or the bridge state (0 disabled).
template <uint32_t Id>
struct CWorldInt64 {
    static constexpr uint32_t ID = Id;
    int64_t m_Value = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt64(m_Value); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt64(m_Value); }
};
using CWorldTimer = CWorldInt64<PACKET_WORLD_TIMER>;
using CWorldBridge = CWorldInt64<PACKET_WORLD_BRIDGE>;

// uint32 real milliseconds per game minute.
struct CWorldMinuteDuration {
    static constexpr uint32_t ID = PACKET_WORLD_MINUTE_DURATION;
    uint32_t m_Milliseconds = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteUInt32(m_Milliseconds); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadUInt32(m_Milliseconds); }
};

// ---------------------------------------------------------------------------------------------
// What clients report about their peds, vehicles and pickups; most are relayed in the same layout.

enum ePedVehicleAction : uint8_t { PED_VEHICLE_ACTION_EXIT = 1, PED_VEHICLE_ACTION_ENTER = 2, PED_VEHICLE_ACTION_ENTER_PASSENGER = 3 };

// int32 ped, uint8 action, and for the entering actions (2, 3) int32 vehicle.
struct CPedVehicleAction {
    static constexpr uint32_t ID = PACKET_PED_VEHICLE_ACTION;
    int32_t m_Ped = -1;
    uint8_t m_Action = 0;
    int32_t m_Vehicle = -1;

    static bool HasVehicle(uint8_t action) { return action == PED_VEHICLE_ACTION_ENTER || action == PED_VEHICLE_ACTION_ENTER_PASSENGER; }
    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// int32 ped, int32 killer element, uint8 a, uint8 b.
struct CPedWasted {
    static constexpr uint32_t ID = PACKET_PED_WASTED;
    int32_t m_Ped = -1;
    int32_t m_Killer = -1;
    uint8_t m_A = 0;
    uint8_t m_B = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// int32 vehicle, uint8 value.
struct CVehicleToggle {
    static constexpr uint32_t ID = PACKET_VEHICLE_TOGGLE;
    int32_t m_Vehicle = -1;
    uint8_t m_Value = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_Vehicle) && writer.WriteUInt8(m_Value); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_Vehicle) && reader.ReadUInt8(m_Value); }
};

// int32 ped, int32 a, int32 b, uint8 c.
struct CPedFall {
    static constexpr uint32_t ID = PACKET_PED_FALL;
    int32_t m_Ped = -1;
    int32_t m_A = 0;
    int32_t m_B = 0;
    uint8_t m_C = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// int32 ped and nothing more.
template <uint32_t Id>
struct CPedOnlyMessage {
    static constexpr uint32_t ID = Id;
    int32_t m_Ped = -1;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_Ped); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_Ped); }
};
using CPedJump = CPedOnlyMessage<PACKET_PED_JUMP>;
using CPedCrouch = CPedOnlyMessage<PACKET_PED_CROUCH>;
using CPedUncrouch = CPedOnlyMessage<PACKET_PED_UNCROUCH>;
using CPedActionF = CPedOnlyMessage<PACKET_PED_ACTION_F>;

// int32 ped, uint8 a, int32 b, 4 bytes c.
struct CPedActionA {
    static constexpr uint32_t ID = PACKET_PED_ACTION_A;
    int32_t m_Ped = -1;
    uint8_t m_A = 0;
    int32_t m_B = 0;
    std::array<uint8_t, 4> m_C{};

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// int32 ped, uint8 value.
template <uint32_t Id>
struct CPedByteMessage {
    static constexpr uint32_t ID = Id;
    int32_t m_Ped = -1;
    uint8_t m_Value = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_Ped) && writer.WriteUInt8(m_Value); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_Ped) && reader.ReadUInt8(m_Value); }
};
using CPedActionB = CPedByteMessage<PACKET_PED_ACTION_B>;
using CPedActionC = CPedByteMessage<PACKET_PED_ACTION_C>;

// int32 ped, 4 bytes.
struct CPedActionD {
    static constexpr uint32_t ID = PACKET_PED_ACTION_D;
    int32_t m_Ped = -1;
    std::array<uint8_t, 4> m_Bytes{};

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_Ped) && writer.WriteBytes(m_Bytes.data(), 4); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_Ped) && reader.ReadBytes(m_Bytes.data(), 4); }
};

// uint8 kind, int32 ped; kind 1: float32 f; kind 2: two vec3, float32 f. Other kinds carry nothing
// the server knows.
struct CPedActionE {
    static constexpr uint32_t ID = PACKET_PED_ACTION_E;
    uint8_t m_Kind = 0;
    int32_t m_Ped = -1;
    Tessera3D::CVector3D m_First;
    Tessera3D::CVector3D m_Second;
    float m_F = 0.0f;

    static bool IsKnownKind(uint8_t kind) { return kind == 1 || kind == 2; }
    bool Write(Tessera3D::CBinaryWriter& writer) const;
    // False for an unknown kind.
    bool Read(Tessera3D::CBinaryReader& reader);
};

// int32 pickup, int32 ped.
struct CPickupCollected {
    static constexpr uint32_t ID = PACKET_PICKUP_COLLECTED;
    int32_t m_Pickup = -1;
    int32_t m_Ped = -1;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_Pickup) && writer.WriteInt32(m_Ped); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_Pickup) && reader.ReadInt32(m_Ped); }
};

// uint8 interior of the client's camera (both directions).
struct CCameraInterior {
    static constexpr uint32_t ID = PACKET_CAMERA_INTERIOR;
    uint8_t m_Interior = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteUInt8(m_Interior); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadUInt8(m_Interior); }
};

// ---------------------------------------------------------------------------------------------
// Elements a client created itself

// The head of PACKET_LOCAL_VEHICLE_CREATED and PACKET_LOCAL_PED_CREATED: int32 client-side id, 8 bytes
// client handle; the element's creation and sync payloads follow.
struct CLocalElementHead {
    int32_t m_ClientId = -1;
    std::array<uint8_t, 8> m_Handle{};

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_ClientId) && writer.WriteBytes(m_Handle.data(), 8); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_ClientId) && reader.ReadBytes(m_Handle.data(), 8); }
};

// int32 element type, int32 client-side id, 8 bytes handle as received, int32 element id or -1.
struct CLocalElementAccepted {
    static constexpr uint32_t ID = PACKET_LOCAL_ELEMENT_ACCEPTED;
    int32_t m_Type = 0;
    int32_t m_ClientId = -1;
    std::array<uint8_t, 8> m_Handle{};
    int32_t m_Id = -1;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// ---------------------------------------------------------------------------------------------
// GTA IV sessions and relays

// int32 episode.
struct CIVSessionEpisode {
    static constexpr uint32_t ID = PACKET_IV_SESSION_EPISODE;
    int32_t m_Episode = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_Episode); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_Episode); }
};

// int32 game mode, int32 episode.
template <uint32_t Id>
struct CIVSessionStart {
    static constexpr uint32_t ID = Id;
    int32_t m_GameMode = -1;
    int32_t m_Episode = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt32(m_GameMode) && writer.WriteInt32(m_Episode); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt32(m_GameMode) && reader.ReadInt32(m_Episode); }
};
using CIVQuickMatch = CIVSessionStart<PACKET_IV_QUICK_MATCH>;
using CIVHostSession = CIVSessionStart<PACKET_IV_HOST_SESSION>;

// int32 game mode, int32 episode, int32 host client index.
struct CIVJoinSession {
    static constexpr uint32_t ID = PACKET_IV_JOIN_SESSION;
    int32_t m_GameMode = -1;
    int32_t m_Episode = 0;
    int32_t m_Host = -1;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// uint8 (unused), int8 episode, int8 game mode.
struct CIVSessionInfo {
    static constexpr uint32_t ID = PACKET_IV_SESSION_INFO;
    uint8_t m_Unused = 0;
    int8_t m_Episode = 0;
    int8_t m_GameMode = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// int8 episode: a session request, or the session the client joined.
template <uint32_t Id>
struct CIVEpisodeMessage {
    static constexpr uint32_t ID = Id;
    int8_t m_Episode = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteInt8(m_Episode); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadInt8(m_Episode); }
};
using CIVRequestSession = CIVEpisodeMessage<PACKET_IV_REQUEST_SESSION>;
using CIVSessionJoined = CIVEpisodeMessage<PACKET_IV_SESSION_JOINED>;

// uint8 flags; with bit 0: uint8 n and n bytes of host data.
struct CIVHostData {
    static constexpr uint32_t ID = PACKET_IV_HOST_DATA;
    uint8_t m_Flags = 0;
    std::vector<uint8_t> m_Data;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// uint16 client index.
struct CIVQueryHostData {
    static constexpr uint32_t ID = PACKET_IV_QUERY_HOST_DATA;
    uint16_t m_Index = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteUInt16(m_Index); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadUInt16(m_Index); }
};

// uint16 client index, uint8 has data, and with data uint8 n and n bytes.
struct CIVHostDataReply {
    static constexpr uint32_t ID = PACKET_IV_HOST_DATA_REPLY;
    uint16_t m_Index = 0;
    bool m_bHasData = false;
    std::vector<uint8_t> m_Data;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// Bounds of the peer relays.
constexpr uint16_t MAX_IV_PEER_LENGTH = 4096;

// From a client: uint16 target index, uint16 n (1..4096), then the rest of the message. To the target
// the same layout with the sender's index in place of the target's.
struct CIVPeerData {
    static constexpr uint32_t ID = PACKET_IV_PEER_DATA;
    uint16_t m_Peer = 0;
    uint16_t m_Length = 0;
    std::vector<uint8_t> m_Rest;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    // False when n is outside 1..4096.
    bool Read(Tessera3D::CBinaryReader& reader);
};

// From a client: uint16 a, uint16 target index, uint16 n (1..4096), the rest; relayed with the sender's
// index in place of the target's.
struct CIVPeerMessage {
    static constexpr uint32_t ID = PACKET_IV_PEER_MESSAGE;
    uint16_t m_A = 0;
    uint16_t m_Peer = 0;
    uint16_t m_Length = 0;
    std::vector<uint8_t> m_Rest;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// uint8 type (0..26), uint16 length A (at most 1024), A bytes, uint16 length B (at most 1024), B bytes.
struct CIVNetworkEvent {
    static constexpr uint32_t ID = PACKET_IV_NETWORK_EVENT;
    static constexpr uint8_t TYPE_COUNT = 27;
    static constexpr uint16_t MAX_LENGTH = 1024;
    uint8_t m_Type = 0;
    std::vector<uint8_t> m_A;
    std::vector<uint8_t> m_B;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    // False for a type or a length out of bounds.
    bool Read(Tessera3D::CBinaryReader& reader);
    // The name of a type, or null.
    static const char* GetTypeName(uint8_t type);
};
