#pragma once
// A game client for tests and load generation: one ENet peer of a CTestClientPool that joins a server
// the way a game client does (connect request, game-file check answer, client ready), records every
// message it receives with a decoded line, and sends any client message, well-formed or not.
#include "Engine/MemoryStream.h"
#include "Multiplayer/SessionMessages.h"
#include "TestClient/ClientMessages.h"
#include "TestClient/TestClientPool.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How a message travels (the transport's packet flags): reliable, unsequenced, or neither
// (unreliable and sequenced).
enum eSendFlags : uint32_t { SEND_UNRELIABLE = 0, SEND_RELIABLE = 1, SEND_UNSEQUENCED = 2 };

struct CReceivedMessage {
    uint32_t m_Id = 0;               // 0 when the bytes had no message header
    uint8_t m_Channel = 0;
    bool m_bHasHeader = false;       // the bytes started with the magic and a message id
    std::vector<uint8_t> m_Payload;  // after the header; every byte when there was none
    std::string m_Text;              // one line: DescribeMessage, or "(no header) <hex>"

    // Decodes the payload as a catalogue struct; false when it does not fit.
    template <typename TMessage>
    bool Decode(TMessage& message) const;
};

struct CClientSettings {
    // The connect request, every field as it will be sent.
    uint32_t m_ProtocolVersion = NETWORK_PROTOCOL_VERSION;
    uint32_t m_Version[4] = {1, 0, 0, 0};
    std::string m_Password;
    std::string m_Nickname = "Player";          // raw bytes, NUL bytes allowed
    std::optional<uint16_t> m_NicknameLength;   // sent length; unset: the byte count of m_Nickname
    uint8_t m_Game = 1;

    // What the client does by itself.
    bool m_bSendConnectRequest = true;  // as soon as ENet reports the connection
    bool m_bAnswerFileCheck = true;     // answer PACKET_GAME_FILE_CHECK requests
    // The answer: when m_FileDigestsByPath is empty, m_FileDigests as they stand (by default none,
    // which a server without game files to check accepts); otherwise one digest per requested path in
    // the order of the request, zeros for a path the map does not know.
    std::vector<CFileDigest> m_FileDigests;
    std::map<std::string, CFileDigest> m_FileDigestsByPath;
    bool m_bSendReady = true;           // send PACKET_CLIENT_READY on PACKET_CONNECT_ACCEPTED
    bool m_bRecordMessages = true;      // keep received messages (a load generator may not want to)

    // The connect request these settings describe.
    CConnectRequest MakeConnectRequest() const;
};

class CTestClient {
public:
    enum eState { STATE_IDLE, STATE_CONNECTING, STATE_CONNECTED, STATE_DISCONNECTING, STATE_DISCONNECTED };

    explicit CTestClient(CTestClientPool& pool, CClientSettings settings = {});
    // Drops the connection at once (ENet's immediate disconnect with data 0).
    ~CTestClient();
    CTestClient(const CTestClient&) = delete;
    CTestClient& operator=(const CTestClient&) = delete;

    CTestClientPool* GetPool() const { return m_pPool; }
    CClientSettings& GetSettings() { return m_Settings; }
    const CClientSettings& GetSettings() const { return m_Settings; }

    // Connection. Connect starts the connection and services the pool until ENet reports it (the
    // connect request is then on its way) or timeoutMs passes; a connection that did not come up in
    // time is dropped. BeginConnect only starts it (for many clients at once). A client can connect
    // again after a disconnect; its recorded messages stay.
    bool Connect(const std::string& host, uint16_t port, uint32_t timeoutMs);
    bool BeginConnect(const std::string& host, uint16_t port);
    // Connect, then wait for PACKET_JOIN_COMPLETE.
    bool Join(const std::string& host, uint16_t port, uint32_t timeoutMs);
    // Graceful disconnect with the given data as reason, after what is queued has been delivered; the
    // disconnect event follows.
    void Disconnect(uint32_t data = 0);
    // Forgets the peer without telling the server (as a crashed client would).
    void Reset();

    eState GetState() const { return m_State; }
    bool IsConnected() const { return m_State == STATE_CONNECTED; }
    bool IsDisconnected() const { return m_State == STATE_DISCONNECTED; }
    // The data of ENet's disconnect event: the reason the server sent, 0 for a time-out or a
    // disconnect this client started.
    uint32_t GetDisconnectReason() const { return m_DisconnectReason; }
    ENetPeer* GetPeer() const { return m_pPeer; }

    // What the session told the client: its index from PACKET_CONNECT_ACCEPTED (-1 before), whether a
    // game-file check was answered, whether PACKET_JOIN_COMPLETE arrived.
    int32_t GetClientIndex() const { return m_ClientIndex; }
    bool HasAnsweredFileCheck() const { return m_bFileCheckAnswered; }
    bool HasJoined() const { return m_bJoined; }

    // Sending. Every send is queued on the peer and leaves with the next Service or Flush of the
    // pool; false when the client is not connected or the message cannot be built.
    bool SendConnectRequest();
    bool SendConnectRequest(const CConnectRequest& request);
    bool SendGameFileCheckAnswer(const std::vector<CFileDigest>& digests);
    bool SendClientReady();
    bool SendChat(std::string_view text);
    bool SendCommand(std::string_view name, std::string_view arguments = {});
    // PACKET_DISCONNECT_REQUEST with the reason; without one, the message carries no payload.
    bool SendLeave(uint32_t reason);
    bool SendLeaveWithoutReason();
    bool SendElementStreaming(bool enabled);
    // PACKET_ELEMENT_SYNC with the payload as given (record count, records), on channel 1.
    bool SendSync(const std::vector<uint8_t>& payload, uint32_t flags = SEND_RELIABLE, uint8_t channel = 1);
    bool SendElementDelete(const std::vector<int32_t>& elements);
    bool SendRequestSyncer(int32_t element);
    bool SendKeyEvent(const CKeyEventMessage& event);
    bool SendKeyEvent(uint32_t keyCode, bool down);
    // Any message id with any payload, under a proper header.
    bool SendMessage(uint32_t id, const void* pPayload, size_t size, uint32_t flags = SEND_RELIABLE,
                     uint8_t channel = 0);
    bool SendMessage(uint32_t id, const std::vector<uint8_t>& payload, uint32_t flags = SEND_RELIABLE,
                     uint8_t channel = 0) {
        return SendMessage(id, payload.data(), payload.size(), flags, channel);
    }
    // Bytes as they stand, without a header.
    bool SendBytes(const void* pData, size_t size, uint32_t flags = SEND_RELIABLE, uint8_t channel = 0);
    bool SendPacket(const Tessera3D::Packet& packet, uint32_t flags = SEND_RELIABLE, uint8_t channel = 0);
    template <typename TMessage>
    bool Send(const TMessage& message, uint32_t flags = SEND_RELIABLE, uint8_t channel = 0) {
        Tessera3D::Strong<Tessera3D::Packet> pPacket = BuildMessage(message);
        return pPacket && SendPacket(*pPacket, flags, channel);
    }

    // Received messages in arrival order. References stay valid until ClearMessages.
    const std::deque<CReceivedMessage>& GetMessages() const { return m_Messages; }
    size_t GetMessageCount() const { return m_Messages.size(); }
    // The first message with the id at position from or later; null when there is none.
    const CReceivedMessage* FindMessage(uint32_t id, size_t from = 0) const;
    size_t CountMessages(uint32_t id) const;
    void ClearMessages() { m_Messages.clear(); }
    // Called for every received message after the client's own reactions, recorded or not.
    void SetMessageCallback(std::function<void(const CReceivedMessage&)> callback) { m_Callback = std::move(callback); }
    // Called when ENet reports the connection up (STATE_CONNECTED, after the connect request was
    // queued) or down (STATE_DISCONNECTED), in order with the messages.
    void SetStateCallback(std::function<void(eState)> callback) { m_StateCallback = std::move(callback); }

    // Waiting: each services the whole pool (other clients keep receiving) until the condition holds
    // or timeoutMs passes.
    bool WaitFor(const std::function<bool()>& predicate, uint32_t timeoutMs);
    // The first message with the id at position from or later, waiting for it to arrive; null on time-out.
    const CReceivedMessage* WaitForMessage(uint32_t id, uint32_t timeoutMs, size_t from = 0);
    // True once the connection came up, even if the server has dropped it again since.
    bool WaitForConnect(uint32_t timeoutMs);
    // True once the peer is disconnected (by the server, a time-out or this client).
    bool WaitForDisconnect(uint32_t timeoutMs);

private:
    friend class CTestClientPool;
    void OnConnect();
    void OnDisconnect(uint32_t data);
    void OnReceive(uint8_t channel, const uint8_t* pData, size_t size);
    void DetachFromPool();
    void ReleasePeer();
    void AnswerFileCheck(const CReceivedMessage& message);

    CTestClientPool* m_pPool;
    CClientSettings m_Settings;
    ENetPeer* m_pPeer = nullptr;
    eState m_State = STATE_IDLE;
    uint32_t m_DisconnectReason = 0;
    int32_t m_ClientIndex = -1;
    bool m_bFileCheckAnswered = false;
    bool m_bJoined = false;
    bool m_bCameUp = false; // the current connection attempt reached the connected state
    std::deque<CReceivedMessage> m_Messages;
    std::function<void(const CReceivedMessage&)> m_Callback;
    std::function<void(eState)> m_StateCallback;
};

template <typename TMessage>
bool CReceivedMessage::Decode(TMessage& message) const {
    auto pStream = Tessera3D::MakeStrong<Tessera3D::CMemoryStream>(static_cast<const void*>(m_Payload.data()),
                                                                   m_Payload.size());
    return ReadMessage(pStream.Get(), message);
}
