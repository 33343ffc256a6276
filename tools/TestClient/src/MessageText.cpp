#include "TestClient/MessageText.h"

#include "Engine/ArgumentArray.h"
#include "Engine/ArgumentMap.h"
#include "Engine/MemoryStream.h"
#include "Multiplayer/MachineMessages.h"
#include "Multiplayer/SessionMessages.h"
#include "TestClient/ClientMessages.h"
#include "TestClient/TextFormat.h"

#include <cstdio>

using namespace Tessera3D;

namespace {

// Values read from the wire nest at most MAX_ARGUMENT_NESTING deep; values built in code may even
// contain themselves.
constexpr unsigned MAX_DESCRIBE_DEPTH = MAX_ARGUMENT_NESTING + 1;
constexpr size_t MAX_HEX_BYTES = 256;

std::string Number(double value) {
    char text[40];
    snprintf(text, sizeof(text), "%.9g", value);
    return text;
}

std::string DescribeValueAt(const CArgument* pValue, unsigned depth) {
    if (!pValue) return "null";
    if (depth > MAX_DESCRIBE_DEPTH) return "...";
    switch (pValue->GetType()) {
    case ARGUMENT_NIL: return "null";
    case ARGUMENT_UNDEFINED: return "undefined";
    case ARGUMENT_BOOLEAN: return static_cast<const CArgumentBoolean*>(pValue)->GetValue() ? "true" : "false";
    case ARGUMENT_STRING: return QuoteText(static_cast<const CArgumentString*>(pValue)->GetString());
    case ARGUMENT_INTEGER: return std::to_string(static_cast<const CArgumentInteger*>(pValue)->GetValue());
    case ARGUMENT_LONGINTEGER: return std::to_string(static_cast<const CArgumentLongInteger*>(pValue)->GetValue());
    case ARGUMENT_FLOAT: return Number(static_cast<const CArgumentFloat*>(pValue)->GetValue());
    case ARGUMENT_DOUBLE: return Number(static_cast<const CArgumentDouble*>(pValue)->GetValue());
    case ARGUMENT_VECTOR2D: {
        const CVector2D& v = static_cast<const CArgumentVector2D*>(pValue)->GetValue();
        return "(" + Number(v.x) + ", " + Number(v.y) + ")";
    }
    case ARGUMENT_VECTOR3D: {
        const CVector3D& v = static_cast<const CArgumentVector3D*>(pValue)->GetValue();
        return "(" + Number(v.x) + ", " + Number(v.y) + ", " + Number(v.z) + ")";
    }
    case ARGUMENT_MATRIX4X4: {
        const CMatrix4x4& m = static_cast<const CArgumentMatrix4x4*>(pValue)->GetValue();
        std::string text = "matrix(";
        for (int i = 0; i < 16; ++i) text += (i ? ", " : "") + Number(m.m[i]);
        return text + ")";
    }
    case ARGUMENT_NETOBJECT:
        return "element(" + std::to_string(static_cast<const CArgumentNetObject*>(pValue)->GetNetworkId()) + ")";
    case ARGUMENT_BYTES: {
        const auto* pBytes = static_cast<const CArgumentBytes*>(pValue);
        return "bytes(" + std::to_string(pBytes->GetLength()) + ": " +
               HexString(pBytes->GetData(), pBytes->GetLength(), MAX_HEX_BYTES) + ")";
    }
    case ARGUMENT_ARRAY: {
        std::string text = "[";
        bool first = true;
        for (const Strong<CArgument>& pItem : *static_cast<const CArgumentArray*>(pValue)) {
            text += (first ? "" : ", ") + DescribeValueAt(pItem.Get(), depth + 1);
            first = false;
        }
        return text + "]";
    }
    case ARGUMENT_MAP: {
        std::string text = "{";
        bool first = true;
        for (const auto& [key, pItem] : *static_cast<const CArgumentMap*>(pValue)) {
            text += (first ? "" : ", ") + QuoteText(key) + ": " + DescribeValueAt(pItem.Get(), depth + 1);
            first = false;
        }
        return text + "}";
    }
    default: return pValue->GetTypeName();
    }
}

std::string DescribeRecord(const CClientRecord& record) {
    std::string text = "index=" + std::to_string(record.m_Index) + " flags=" + std::to_string(record.m_Flags) +
                       " game=" + std::to_string(record.m_Game) + " player=" + std::to_string(record.m_Player) +
                       " name=" + QuoteText(record.m_Name) + " data={";
    bool first = true;
    for (const auto& [key, pValue] : record.m_Data) {
        text += (first ? "" : ", ") + QuoteText(key) + ": " + DescribeValue(pValue.Get());
        first = false;
    }
    return text + "}";
}

template <typename T>
std::string List(const std::vector<T>& items, std::string (*describe)(const T&)) {
    std::string text = "[";
    for (size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + describe(items[i]);
    return text + "]";
}

std::string Quote(const std::string& text) { return QuoteText(text); }
std::string Int(const int32_t& value) { return std::to_string(value); }
std::string Digest(const CFileDigest& digest) {
    char text[48];
    snprintf(text, sizeof(text), "%08X%08X%08X%08X", digest[0], digest[1], digest[2], digest[3]);
    return text;
}

// The pieces of one decoded line; Decode fills them for the message's struct.
struct CDecoded {
    bool m_bKnown = true;
    bool m_bOk = false;
    std::string m_Fields;
};

template <typename TMessage, typename TDescribe>
void Decode(CBinaryReader& reader, CDecoded& out, TDescribe describe) {
    TMessage message;
    out.m_bOk = message.Read(reader) && !reader.HasError();
    if (out.m_bOk) out.m_Fields = describe(message);
}

void DecodeFromServer(uint32_t id, CBinaryReader& reader, CDecoded& out) {
    switch (id) {
    case PACKET_CONNECT_ACCEPTED:
        Decode<CConnectAccepted>(reader, out, [](const CConnectAccepted& m) {
            return "index=" + std::to_string(m.m_Index) + " httpport=" + std::to_string(m.m_HttpPort) +
                   " httpaddress=" + QuoteText(m.m_HttpAddress) + " syncinterval=" + std::to_string(m.m_SyncInterval) +
                   " syncmethod=" + std::to_string(m.m_SyncMethod);
        });
        break;
    case PACKET_LOCAL_PLAYER:
        Decode<CLocalPlayer>(reader, out, [](const CLocalPlayer& m) { return "player=" + std::to_string(m.m_Player); });
        break;
    case PACKET_CHAT:
        Decode<CChatToClient>(reader, out, [](const CChatToClient& m) {
            return "type=" + std::to_string(m.m_ChatType) + " text=" + QuoteText(m.m_Text);
        });
        break;
    case PACKET_ELEMENT_DELETE:
        Decode<CElementDelete>(reader, out, [](const CElementDelete& m) {
            return "count=" + std::to_string(m.m_Ids.size()) + " elements=" + List(m.m_Ids, Int);
        });
        break;
    case PACKET_JOIN_COMPLETE: Decode<CJoinComplete>(reader, out, [](const CJoinComplete&) { return std::string(); }); break;
    case PACKET_GAME_MODE:
        Decode<CGameModeMessage>(reader, out, [](const CGameModeMessage& m) { return "text=" + QuoteText(m.m_Text); });
        break;
    case PACKET_SERVER_NAME:
        Decode<CServerNameMessage>(reader, out, [](const CServerNameMessage& m) { return "text=" + QuoteText(m.m_Text); });
        break;
    case PACKET_CLIENT_LIST:
        Decode<CClientList>(reader, out, [](const CClientList& m) {
            std::string text = "count=" + std::to_string(m.m_Clients.size()) + " maxplayers=" +
                               std::to_string(m.m_MaxPlayers) + " clients=[";
            for (size_t i = 0; i < m.m_Clients.size(); ++i) text += (i ? ", {" : "{") + DescribeRecord(m.m_Clients[i]) + "}";
            return text + "]";
        });
        break;
    case PACKET_CLIENT_JOINED:
        Decode<CClientJoined>(reader, out, [](const CClientJoined& m) { return DescribeRecord(m.m_Client); });
        break;
    case PACKET_CLIENT_LEFT:
        Decode<CClientLeft>(reader, out, [](const CClientLeft& m) { return "index=" + std::to_string(m.m_Index); });
        break;
    case PACKET_CLIENT_DATA:
        Decode<CClientData>(reader, out, [](const CClientData& m) {
            return "index=" + std::to_string(m.m_Index) + " key=" + QuoteText(m.m_Key) +
                   (m.m_Value ? " value=" + DescribeValue(m.m_Value.Get()) : std::string(" removed"));
        });
        break;
    case PACKET_CLIENT_DATA_CLEAR:
        Decode<CClientDataClear>(reader, out, [](const CClientDataClear& m) { return "index=" + std::to_string(m.m_Index); });
        break;
    case PACKET_CLIENT_PLAYER:
        Decode<CClientPlayer>(reader, out, [](const CClientPlayer& m) {
            return "index=" + std::to_string(m.m_Index) + " player=" + std::to_string(m.m_Player);
        });
        break;
    case PACKET_CVARS:
        Decode<CCVarsMessage>(reader, out, [](const CCVarsMessage& m) {
            std::string text = "count=" + std::to_string(m.m_Vars.size()) + " vars={";
            for (size_t i = 0; i < m.m_Vars.size(); ++i)
                text += (i ? ", " : "") + QuoteText(m.m_Vars[i].first) + ": " + QuoteText(m.m_Vars[i].second);
            return text + "}";
        });
        break;
    case PACKET_CLIENT_UPDATE:
        Decode<CClientUpdate>(reader, out, [](const CClientUpdate& m) {
            return "index=" + std::to_string(m.m_Index) + " flags=" + std::to_string(m.m_Flags);
        });
        break;
    case PACKET_GAME_FILE_CHECK:
        Decode<CGameFileCheckRequest>(reader, out, [](const CGameFileCheckRequest& m) {
            return "count=" + std::to_string(m.m_Paths.size()) + " paths=" + List(m.m_Paths, Quote);
        });
        break;
    default: out.m_bKnown = false;
    }
}

void DecodeFromClient(uint32_t id, CBinaryReader& reader, CDecoded& out) {
    switch (id) {
    case PACKET_CONNECT_REQUEST: {
        CConnectRequest m;
        out.m_bOk = m.Read(reader) && !reader.HasError();
        // A request cut short still shows the fields that were read.
        std::string& text = out.m_Fields;
        if (m.Has(CConnectRequest::FIELD_PROTOCOL)) text += "protocol=" + std::to_string(m.m_ProtocolVersion);
        if (m.Has(CConnectRequest::FIELD_VERSION))
            text += " version=" + std::to_string(m.m_Version[0]) + "." + std::to_string(m.m_Version[1]) + "." +
                    std::to_string(m.m_Version[2]) + "." + std::to_string(m.m_Version[3]);
        if (m.Has(CConnectRequest::FIELD_PASSWORD)) text += " password=" + QuoteText(m.m_Password);
        if (m.Has(CConnectRequest::FIELD_NICKNAME_LENGTH)) text += " nicknamelength=" + std::to_string(m.m_NicknameLength);
        if (m.Has(CConnectRequest::FIELD_NICKNAME)) text += " nickname=" + QuoteText(m.m_Nickname);
        if (m.Has(CConnectRequest::FIELD_GAME)) text += " game=" + std::to_string(m.m_Game);
        break;
    }
    case PACKET_CLIENT_READY: Decode<CClientReady>(reader, out, [](const CClientReady&) { return std::string(); }); break;
    case PACKET_CHAT:
        Decode<CChatFromClient>(reader, out, [](const CChatFromClient& m) { return "text=" + QuoteText(m.m_Text); });
        break;
    case PACKET_COMMAND:
        Decode<CCommandMessage>(reader, out, [](const CCommandMessage& m) {
            return "name=" + QuoteText(m.m_Name) + " arguments=" + QuoteText(m.m_Arguments);
        });
        break;
    case PACKET_ELEMENT_DELETE:
        Decode<CElementDelete>(reader, out, [](const CElementDelete& m) {
            return "count=" + std::to_string(m.m_Ids.size()) + " elements=" + List(m.m_Ids, Int);
        });
        break;
    case PACKET_DISCONNECT_REQUEST:
        Decode<CDisconnectRequest>(reader, out, [](const CDisconnectRequest& m) {
            const char* pName = GetDisconnectReasonName(m.m_Reason);
            return "reason=" + std::to_string(m.m_Reason) + (pName ? std::string(" (") + pName + ")" : std::string());
        });
        break;
    case PACKET_KEY_EVENT:
        Decode<CKeyEventMessage>(reader, out, [](const CKeyEventMessage& m) {
            return "down=" + std::to_string(m.m_Down) + " scancode=" + std::to_string(m.m_ScanCode) + " keycode=" +
                   std::to_string(m.m_KeyCode) + " modifiers=" + std::to_string(m.m_Modifiers) +
                   " repeat=" + std::to_string(m.m_RepeatCount);
        });
        break;
    case PACKET_REQUEST_SYNCER:
        Decode<CRequestSyncer>(reader, out, [](const CRequestSyncer& m) { return "element=" + std::to_string(m.m_Id); });
        break;
    case PACKET_ELEMENT_STREAMING:
        Decode<CElementStreaming>(reader, out, [](const CElementStreaming& m) {
            return std::string(m.m_bEnabled ? "enabled=true" : "enabled=false");
        });
        break;
    case PACKET_GAME_FILE_CHECK:
        Decode<CGameFileCheckAnswer>(reader, out, [](const CGameFileCheckAnswer& m) {
            return "count=" + std::to_string(m.m_Count) + " digests=" + List(m.m_Digests, Digest);
        });
        break;
    default: out.m_bKnown = false;
    }
}

} // namespace

std::string DescribeValue(const CArgument* pValue) { return DescribeValueAt(pValue, 0); }

std::string DescribeMessage(uint32_t id, const uint8_t* pPayload, size_t size, eMessageDirection direction) {
    static const uint8_t kNothing = 0;
    if (!pPayload) {
        pPayload = &kNothing;
        size = 0;
    }
    const char* pName = GetMessageName(id);
    std::string line = pName ? pName : "message";
    auto pStream = MakeStrong<CMemoryStream>(static_cast<const void*>(pPayload), size);
    CBinaryReader reader(pStream.Get());
    CDecoded decoded;
    if (direction == FROM_SERVER)
        DecodeFromServer(id, reader, decoded);
    else
        DecodeFromClient(id, reader, decoded);

    if (!decoded.m_bKnown || !decoded.m_bOk) {
        line += " (" + std::to_string(id) + ")";
        if (decoded.m_bKnown) line += " malformed";
        if (!decoded.m_Fields.empty()) line += " " + decoded.m_Fields;
        return line + " [" + std::to_string(size) + "] " + HexString(pPayload, size, MAX_HEX_BYTES);
    }
    if (!decoded.m_Fields.empty()) line += " " + decoded.m_Fields;
    const int64_t position = pStream->Tell();
    if (position >= 0 && static_cast<size_t>(position) < size)
        line += " trailing=" + HexString(pPayload + position, size - static_cast<size_t>(position), MAX_HEX_BYTES);
    return line;
}

const char* GetDisconnectReasonName(uint32_t reason) {
    switch (reason) {
    case DISCONNECT_SERVER_FULL: return "DISCONNECT_SERVER_FULL";
    case DISCONNECT_UNSUPPORTED_CLIENT: return "DISCONNECT_UNSUPPORTED_CLIENT";
    case DISCONNECT_WRONG_GAME: return "DISCONNECT_WRONG_GAME";
    case DISCONNECT_WRONG_PASSWORD: return "DISCONNECT_WRONG_PASSWORD";
    case DISCONNECT_QUIT: return "DISCONNECT_QUIT";
    case DISCONNECT_BANNED: return "DISCONNECT_BANNED";
    case DISCONNECT_FAILED: return "DISCONNECT_FAILED";
    case DISCONNECT_INVALID_NICKNAME: return "DISCONNECT_INVALID_NICKNAME";
    case DISCONNECT_NICKNAME_IN_USE: return "DISCONNECT_NICKNAME_IN_USE";
    case DISCONNECT_KICKED: return "DISCONNECT_KICKED";
    case DISCONNECT_FILE_CHECK_FAILED: return "DISCONNECT_FILE_CHECK_FAILED";
    default: return nullptr;
    }
}
