#include "Multiplayer/SessionMessages.h"

using namespace Tessera3D;

namespace {

// uint32 length within [minimum, maximum], then that many bytes.
bool ReadLengthText(CBinaryReader& reader, std::string& text, uint32_t minimum, uint32_t maximum) {
    uint32_t length = 0;
    if (!reader.ReadUInt32(length) || length < minimum || length > maximum) return false;
    text.resize(length);
    return reader.ReadBytes(text.data(), length);
}

bool WriteLengthText(CBinaryWriter& writer, const std::string& text) {
    return writer.WriteUInt32(static_cast<uint32_t>(text.size())) && writer.WriteBytes(text.data(), text.size());
}

} // namespace

bool CConnectRequest::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt32(m_ProtocolVersion) && writer.WriteUInt32(m_Version[0]) && writer.WriteUInt32(m_Version[1]) &&
           writer.WriteUInt32(m_Version[2]) && writer.WriteUInt32(m_Version[3]) && writer.WriteString(m_Password) &&
           writer.WriteUInt16(m_NicknameLength) && writer.WriteBytes(m_Nickname.data(), m_Nickname.size()) &&
           writer.WriteUInt8(m_Game);
}

bool CConnectRequest::Read(CBinaryReader& reader) {
    m_FieldsRead = 0;
    if (!reader.ReadUInt32(m_ProtocolVersion)) return false;
    m_FieldsRead = FIELD_PROTOCOL;
    for (uint32_t& part : m_Version)
        if (!reader.ReadUInt32(part)) return false;
    m_FieldsRead = FIELD_VERSION;
    // A password longer than any bcrypt key is refused unread rather than copied.
    if (!reader.ReadString(m_Password, 4096)) return false;
    m_FieldsRead = FIELD_PASSWORD;
    if (!reader.ReadUInt16(m_NicknameLength)) return false;
    m_FieldsRead = FIELD_NICKNAME_LENGTH;
    if (m_NicknameLength < 1 || m_NicknameLength > MAX_NICKNAME_LENGTH) return false;
    m_Nickname.resize(m_NicknameLength);
    if (!reader.ReadBytes(m_Nickname.data(), m_NicknameLength)) return false;
    m_FieldsRead = FIELD_NICKNAME;
    if (!reader.ReadUInt8(m_Game)) return false;
    m_FieldsRead = FIELD_GAME;
    return true;
}

bool CConnectAccepted::Write(CBinaryWriter& writer) const {
    return writer.WriteInt32(m_Index) && writer.WriteUInt16(m_HttpPort) && writer.WriteString(m_HttpAddress) &&
           writer.WriteUInt16(m_SyncInterval) && writer.WriteUInt8(0) && writer.WriteUInt8(m_SyncMethod);
}

bool CConnectAccepted::Read(CBinaryReader& reader) {
    uint8_t zero = 0;
    return reader.ReadInt32(m_Index) && reader.ReadUInt16(m_HttpPort) && reader.ReadString(m_HttpAddress) &&
           reader.ReadUInt16(m_SyncInterval) && reader.ReadUInt8(zero) && reader.ReadUInt8(m_SyncMethod);
}

bool CChatFromClient::Write(CBinaryWriter& writer) const { return WriteLengthText(writer, m_Text); }

bool CChatFromClient::Read(CBinaryReader& reader) { return ReadLengthText(reader, m_Text, 1, MAX_CHAT_LENGTH); }

bool CChatToClient::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt32(static_cast<uint32_t>(m_Text.size())) && writer.WriteUInt32(m_ChatType) &&
           writer.WriteBytes(m_Text.data(), m_Text.size());
}

bool CChatToClient::Read(CBinaryReader& reader) {
    uint32_t length = 0;
    if (!reader.ReadUInt32(length) || !reader.ReadUInt32(m_ChatType) || length > 65536) return false;
    m_Text.resize(length);
    return reader.ReadBytes(m_Text.data(), length);
}

bool CCommandMessage::Write(CBinaryWriter& writer) const {
    return WriteLengthText(writer, m_Name) && WriteLengthText(writer, m_Arguments);
}

bool CCommandMessage::Read(CBinaryReader& reader) {
    return ReadLengthText(reader, m_Name, 1, MAX_CHAT_LENGTH) && ReadLengthText(reader, m_Arguments, 0, MAX_CHAT_LENGTH);
}

bool CDisconnectRequest::Write(CBinaryWriter& writer) const { return writer.WriteUInt32(m_Reason); }

bool CDisconnectRequest::Read(CBinaryReader& reader) { return reader.ReadUInt32(m_Reason); }

bool CClientList::Write(CBinaryWriter& writer) const {
    if (m_Clients.size() > UINT16_MAX) return false;
    if (!writer.WriteUInt16(static_cast<uint16_t>(m_Clients.size())) || !writer.WriteUInt16(m_MaxPlayers)) return false;
    for (const CClientRecord& client : m_Clients)
        if (!writer.WriteInt32(client.m_Index) || !client.Write(writer)) return false;
    return true;
}

bool CClientList::Read(CBinaryReader& reader) {
    uint16_t count = 0;
    if (!reader.ReadUInt16(count) || !reader.ReadUInt16(m_MaxPlayers)) return false;
    m_Clients.clear();
    for (uint16_t i = 0; i < count; ++i) {
        CClientRecord client;
        if (!reader.ReadInt32(client.m_Index) || !client.Read(reader)) return false;
        m_Clients.push_back(std::move(client));
    }
    return true;
}

bool CClientJoined::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt16(1) && writer.WriteInt32(m_Client.m_Index) && m_Client.Write(writer);
}

bool CClientJoined::Read(CBinaryReader& reader) {
    uint16_t count = 0;
    return reader.ReadUInt16(count) && count == 1 && reader.ReadInt32(m_Client.m_Index) && m_Client.Read(reader);
}

bool CClientLeft::Write(CBinaryWriter& writer) const { return writer.WriteUInt16(1) && writer.WriteInt32(m_Index); }

bool CClientLeft::Read(CBinaryReader& reader) {
    uint16_t count = 0;
    return reader.ReadUInt16(count) && count == 1 && reader.ReadInt32(m_Index);
}

bool CCVarsMessage::Write(CBinaryWriter& writer) const {
    if (m_Vars.size() > UINT16_MAX || !writer.WriteUInt16(static_cast<uint16_t>(m_Vars.size()))) return false;
    for (const auto& [name, value] : m_Vars) {
        const size_t size = CBinaryWriter::GetStringSize(name.size()) + CBinaryWriter::GetStringSize(value.size());
        if (!writer.WriteCompressedUInt32(static_cast<uint32_t>(size)) || !writer.WriteString(name) ||
            !writer.WriteString(value))
            return false;
    }
    return true;
}

bool CCVarsMessage::Read(CBinaryReader& reader) {
    uint16_t count = 0;
    if (!reader.ReadUInt16(count)) return false;
    m_Vars.clear();
    for (uint16_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        std::string name, value;
        if (!reader.ReadCompressedUInt32(size) || !reader.ReadString(name) || !reader.ReadString(value)) return false;
        if (size != CBinaryWriter::GetStringSize(name.size()) + CBinaryWriter::GetStringSize(value.size())) return false;
        m_Vars.emplace_back(std::move(name), std::move(value));
    }
    return true;
}
