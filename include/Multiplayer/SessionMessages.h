#pragma once
// Messages of a client's session: joining, chat, commands, leaving, and the announcements of clients.
#include "Multiplayer/MachineMessages.h"
#include "Multiplayer/Message.h"

#include <string>
#include <vector>

// Read field by field: the admission checks stop at the first failing field, so the reader records
// how far it got instead of failing the whole message.
struct CConnectRequest {
    static constexpr uint32_t ID = PACKET_CONNECT_REQUEST;
    enum eField { FIELD_PROTOCOL = 1, FIELD_VERSION, FIELD_PASSWORD, FIELD_NICKNAME_LENGTH, FIELD_NICKNAME, FIELD_GAME };
    static constexpr uint16_t MAX_NICKNAME_LENGTH = 31;

    uint32_t m_ProtocolVersion = 0;
    uint32_t m_Version[4] = {};
    std::string m_Password;
    uint16_t m_NicknameLength = 0;
    std::string m_Nickname; // as sent, NUL bytes included
    uint8_t m_Game = 0;
    int m_FieldsRead = 0; // fields read completely, in order

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    // Reads as far as the bytes allow; true only when every field was read. A nickname length outside
    // 1..31 stops the reading before the nickname.
    bool Read(Tessera3D::CBinaryReader& reader);
    bool Has(eField field) const { return m_FieldsRead >= field; }
};

struct CConnectAccepted {
    static constexpr uint32_t ID = PACKET_CONNECT_ACCEPTED;
    int32_t m_Index = -1;
    uint16_t m_HttpPort = 0;
    std::string m_HttpAddress;
    uint16_t m_SyncInterval = 0;
    uint8_t m_SyncMethod = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

using CClientReady = CEmptyMessage<PACKET_CLIENT_READY>;
using CJoinComplete = CEmptyMessage<PACKET_JOIN_COMPLETE>;

// Lengths of chat texts and command names a client may send.
constexpr uint32_t MAX_CHAT_LENGTH = 4096;

// Chat typed by a player: uint32 length (1..4096) and the text.
struct CChatFromClient {
    static constexpr uint32_t ID = PACKET_CHAT;
    std::string m_Text;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// Chat sent to players: uint32 length, uint32 chat type or colour, the text without terminator.
struct CChatToClient {
    static constexpr uint32_t ID = PACKET_CHAT;
    uint32_t m_ChatType = 0;
    std::string m_Text;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

struct CCommandMessage {
    static constexpr uint32_t ID = PACKET_COMMAND;
    std::string m_Name;      // 1..4096 bytes
    std::string m_Arguments; // 0..4096 bytes

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

struct CDisconnectRequest {
    static constexpr uint32_t ID = PACKET_DISCONNECT_REQUEST;
    uint32_t m_Reason = 0;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// A single string: the game mode (17) or the server name (29).
template <uint32_t Id>
struct CTextMessage {
    static constexpr uint32_t ID = Id;
    std::string m_Text;

    bool Write(Tessera3D::CBinaryWriter& writer) const { return writer.WriteString(m_Text); }
    bool Read(Tessera3D::CBinaryReader& reader) { return reader.ReadString(m_Text); }
};
using CGameModeMessage = CTextMessage<PACKET_GAME_MODE>;
using CServerNameMessage = CTextMessage<PACKET_SERVER_NAME>;

struct CClientList {
    static constexpr uint32_t ID = PACKET_CLIENT_LIST;
    uint16_t m_MaxPlayers = 0;
    std::vector<CClientRecord> m_Clients; // occupied slots in slot order, each with its index

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

struct CClientJoined {
    static constexpr uint32_t ID = PACKET_CLIENT_JOINED;
    CClientRecord m_Client;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

struct CClientLeft {
    static constexpr uint32_t ID = PACKET_CLIENT_LEFT;
    int32_t m_Index = -1;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};

// Console variables: uint16 count, then per entry the compressed size of the record and the record
// (string name, string value).
struct CCVarsMessage {
    static constexpr uint32_t ID = PACKET_CVARS;
    std::vector<std::pair<std::string, std::string>> m_Vars;

    bool Write(Tessera3D::CBinaryWriter& writer) const;
    bool Read(Tessera3D::CBinaryReader& reader);
};
