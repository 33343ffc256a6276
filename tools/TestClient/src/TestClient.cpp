#include "TestClient/TestClient.h"

#include "TestClient/MessageText.h"
#include "TestClient/TextFormat.h"

#include <enet/enet.h>

#include <algorithm>
#include <cstring>

using namespace Tessera3D;

CConnectRequest CClientSettings::MakeConnectRequest() const {
    CConnectRequest request;
    request.m_ProtocolVersion = m_ProtocolVersion;
    for (size_t i = 0; i < 4; ++i) request.m_Version[i] = m_Version[i];
    request.m_Password = m_Password;
    request.m_Nickname = m_Nickname;
    request.m_NicknameLength =
        m_NicknameLength ? *m_NicknameLength : static_cast<uint16_t>(std::min<size_t>(m_Nickname.size(), UINT16_MAX));
    request.m_Game = m_Game;
    return request;
}

CTestClient::CTestClient(CTestClientPool& pool, CClientSettings settings)
    : m_pPool(&pool), m_Settings(std::move(settings)) {
    m_pPool->Attach(this);
}

CTestClient::~CTestClient() {
    if (m_pPeer) {
        m_pPeer->data = nullptr;
        enet_peer_disconnect_now(m_pPeer, 0);
        m_pPeer = nullptr;
    }
    if (m_pPool) m_pPool->Detach(this);
}

void CTestClient::DetachFromPool() {
    // Tell the server now rather than leaving it to time the peer out.
    if (ENetPeer* pPeer = m_pPeer) {
        ReleasePeer();
        enet_peer_disconnect_now(pPeer, 0);
    }
    if (m_State != STATE_IDLE) m_State = STATE_DISCONNECTED;
    m_pPool = nullptr;
}

void CTestClient::ReleasePeer() {
    if (!m_pPeer) return;
    m_pPeer->data = nullptr;
    m_pPeer = nullptr;
}

bool CTestClient::BeginConnect(const std::string& host, uint16_t port) {
    if (!m_pPool || !m_pPool->GetHost() || m_pPeer) return false;
    ENetAddress address{};
    if (enet_address_set_host(&address, host.c_str()) != 0) return false;
    address.port = port;
    ENetPeer* pPeer = enet_host_connect(m_pPool->GetHost(), &address, CTestClientPool::CHANNEL_COUNT, 0);
    if (!pPeer) return false;
    pPeer->data = this;
    m_pPeer = pPeer;
    m_State = STATE_CONNECTING;
    m_DisconnectReason = 0;
    m_ClientIndex = -1;
    m_bFileCheckAnswered = false;
    m_bJoined = false;
    m_bCameUp = false;
    m_pPool->Flush();
    return true;
}

bool CTestClient::Connect(const std::string& host, uint16_t port, uint32_t timeoutMs) {
    if (!BeginConnect(host, port)) return false;
    if (WaitForConnect(timeoutMs)) return true;
    if (m_State == STATE_CONNECTING) {
        // Not up in time: give the peer back so that the host does not keep trying.
        ENetPeer* pPeer = m_pPeer;
        ReleasePeer();
        enet_peer_reset(pPeer);
        m_State = STATE_DISCONNECTED;
    }
    return false;
}

bool CTestClient::Join(const std::string& host, uint16_t port, uint32_t timeoutMs) {
    return Connect(host, port, timeoutMs) && WaitFor([this] { return m_bJoined || !IsConnected(); }, timeoutMs) &&
           m_bJoined;
}

void CTestClient::Disconnect(uint32_t data) {
    if (!m_pPeer) return;
    if (m_State == STATE_CONNECTING) {
        // Nothing to tell a server that never answered.
        ENetPeer* pPeer = m_pPeer;
        ReleasePeer();
        enet_peer_reset(pPeer);
        m_State = STATE_DISCONNECTED;
        return;
    }
    // Not enet_peer_disconnect: that drops what is still queued, a leave request for instance.
    enet_peer_disconnect_later(m_pPeer, data);
    m_State = STATE_DISCONNECTING;
    if (m_pPool) m_pPool->Flush();
}

void CTestClient::Reset() {
    if (!m_pPeer) return;
    ENetPeer* pPeer = m_pPeer;
    ReleasePeer();
    enet_peer_reset(pPeer);
    m_State = STATE_DISCONNECTED;
}

void CTestClient::OnConnect() {
    m_State = STATE_CONNECTED;
    m_bCameUp = true;
    if (m_Settings.m_bSendConnectRequest) SendConnectRequest();
    if (m_StateCallback) m_StateCallback(m_State);
}

void CTestClient::OnDisconnect(uint32_t data) {
    m_DisconnectReason = data;
    m_State = STATE_DISCONNECTED;
    // ENet reuses the peer for later connections.
    ReleasePeer();
    if (m_StateCallback) m_StateCallback(m_State);
}

void CTestClient::OnReceive(uint8_t channel, const uint8_t* pData, size_t size) {
    CReceivedMessage message;
    message.m_Channel = channel;
    uint32_t header[2] = {};
    if (size >= PACKET_HEADER_SIZE && (memcpy(header, pData, sizeof(header)), header[0] == PACKET_MAGIC)) {
        message.m_bHasHeader = true;
        message.m_Id = header[1];
        message.m_Payload.assign(pData + PACKET_HEADER_SIZE, pData + size);
        message.m_Text = DescribeMessage(message.m_Id, message.m_Payload.data(), message.m_Payload.size());
    } else {
        message.m_Payload.assign(pData, pData + size);
        message.m_Text = "(no header) " + HexString(message.m_Payload, 256);
    }

    if (message.m_bHasHeader) {
        switch (message.m_Id) {
        case PACKET_GAME_FILE_CHECK:
            if (m_Settings.m_bAnswerFileCheck) AnswerFileCheck(message);
            break;
        case PACKET_CONNECT_ACCEPTED: {
            CConnectAccepted accepted;
            if (message.Decode(accepted)) m_ClientIndex = accepted.m_Index;
            if (m_Settings.m_bSendReady) SendClientReady();
            break;
        }
        case PACKET_JOIN_COMPLETE: m_bJoined = true; break;
        default: break;
        }
    }

    if (m_Callback) m_Callback(message);
    if (m_Settings.m_bRecordMessages) m_Messages.push_back(std::move(message));
}

void CTestClient::AnswerFileCheck(const CReceivedMessage& message) {
    std::vector<CFileDigest> digests = m_Settings.m_FileDigests;
    CGameFileCheckRequest request;
    if (!m_Settings.m_FileDigestsByPath.empty() && message.Decode(request)) {
        digests.clear();
        for (const std::string& path : request.m_Paths) {
            auto found = m_Settings.m_FileDigestsByPath.find(path);
            digests.push_back(found != m_Settings.m_FileDigestsByPath.end() ? found->second : CFileDigest{});
        }
    }
    if (SendGameFileCheckAnswer(digests)) m_bFileCheckAnswered = true;
}

bool CTestClient::SendPacket(const Packet& packet, uint32_t flags, uint8_t channel) {
    return SendBytes(packet.GetData(), packet.GetSize(), flags, channel);
}

bool CTestClient::SendBytes(const void* pData, size_t size, uint32_t flags, uint8_t channel) {
    if (!m_pPeer || m_State != STATE_CONNECTED) return false;
    enet_uint32 packetFlags = 0;
    if (flags & SEND_RELIABLE) packetFlags |= ENET_PACKET_FLAG_RELIABLE;
    if (flags & SEND_UNSEQUENCED) packetFlags |= ENET_PACKET_FLAG_UNSEQUENCED;
    ENetPacket* pPacket = enet_packet_create(pData, size, packetFlags);
    if (!pPacket) return false;
    if (enet_peer_send(m_pPeer, channel, pPacket) != 0) {
        enet_packet_destroy(pPacket);
        return false;
    }
    return true;
}

bool CTestClient::SendMessage(uint32_t id, const void* pPayload, size_t size, uint32_t flags, uint8_t channel) {
    Packet packet(id);
    if (size && packet.Write(pPayload, size) != size) return false;
    return SendPacket(packet, flags, channel);
}

bool CTestClient::SendConnectRequest() { return SendConnectRequest(m_Settings.MakeConnectRequest()); }

bool CTestClient::SendConnectRequest(const CConnectRequest& request) { return Send(request); }

bool CTestClient::SendGameFileCheckAnswer(const std::vector<CFileDigest>& digests) {
    CGameFileCheckAnswer answer;
    answer.m_Count = static_cast<uint32_t>(digests.size());
    answer.m_Digests = digests;
    return Send(answer);
}

bool CTestClient::SendClientReady() { return Send(CClientReady()); }

bool CTestClient::SendChat(std::string_view text) {
    CChatFromClient chat;
    chat.m_Text = text;
    return Send(chat);
}

bool CTestClient::SendCommand(std::string_view name, std::string_view arguments) {
    CCommandMessage command;
    command.m_Name = name;
    command.m_Arguments = arguments;
    return Send(command);
}

bool CTestClient::SendLeave(uint32_t reason) {
    CDisconnectRequest request;
    request.m_Reason = reason;
    return Send(request);
}

bool CTestClient::SendLeaveWithoutReason() { return SendMessage(PACKET_DISCONNECT_REQUEST, nullptr, 0); }

bool CTestClient::SendElementStreaming(bool enabled) {
    CElementStreaming streaming;
    streaming.m_bEnabled = enabled;
    return Send(streaming);
}

bool CTestClient::SendSync(const std::vector<uint8_t>& payload, uint32_t flags, uint8_t channel) {
    return SendMessage(PACKET_ELEMENT_SYNC, payload, flags, channel);
}

bool CTestClient::SendElementDelete(const std::vector<int32_t>& elements) {
    CElementDelete message;
    message.m_Ids = elements;
    return Send(message);
}

bool CTestClient::SendRequestSyncer(int32_t element) {
    CRequestSyncer request;
    request.m_Id = element;
    return Send(request);
}

bool CTestClient::SendKeyEvent(const CKeyEventMessage& event) { return Send(event); }

bool CTestClient::SendKeyEvent(uint32_t keyCode, bool down) {
    CKeyEventMessage event;
    event.m_Down = down ? 1 : 0;
    event.m_KeyCode = keyCode;
    return Send(event);
}

const CReceivedMessage* CTestClient::FindMessage(uint32_t id, size_t from) const {
    for (size_t i = from; i < m_Messages.size(); ++i)
        if (m_Messages[i].m_bHasHeader && m_Messages[i].m_Id == id) return &m_Messages[i];
    return nullptr;
}

size_t CTestClient::CountMessages(uint32_t id) const {
    size_t count = 0;
    for (const CReceivedMessage& message : m_Messages)
        if (message.m_bHasHeader && message.m_Id == id) ++count;
    return count;
}

bool CTestClient::WaitFor(const std::function<bool()>& predicate, uint32_t timeoutMs) {
    if (!m_pPool) return predicate();
    return m_pPool->WaitFor(predicate, timeoutMs);
}

const CReceivedMessage* CTestClient::WaitForMessage(uint32_t id, uint32_t timeoutMs, size_t from) {
    // Resume the search where the last round stopped: long message lists are scanned once.
    size_t next = from;
    const CReceivedMessage* pFound = nullptr;
    WaitFor(
        [&] {
            for (; next < m_Messages.size(); ++next)
                if (m_Messages[next].m_bHasHeader && m_Messages[next].m_Id == id) {
                    pFound = &m_Messages[next];
                    return true;
                }
            return false;
        },
        timeoutMs);
    return pFound;
}

bool CTestClient::WaitForConnect(uint32_t timeoutMs) {
    WaitFor([this] { return m_State != STATE_CONNECTING; }, timeoutMs);
    // A server that refuses at once can drop the connection within the same service round that
    // brought it up; the connection still came up.
    return m_bCameUp;
}

bool CTestClient::WaitForDisconnect(uint32_t timeoutMs) {
    return WaitFor([this] { return m_State == STATE_DISCONNECTED; }, timeoutMs);
}
