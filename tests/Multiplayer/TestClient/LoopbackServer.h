#pragma once
// A plain ENet host on loopback standing in for a server: it records what clients send and sends
// whatever a test tells it to. No server code is involved.
#include "ByteTable.h"

#include <enet/enet.h>

#include <cstdint>
#include <vector>

class CLoopbackServer {
public:
    struct CReceived {
        ENetPeer* m_pPeer;
        uint8_t m_Channel;
        uint32_t m_Flags;      // ENet packet flags as received
        Bytes m_Bytes;         // the whole message, header included
        uintptr_t m_Connection; // ENet reuses peers: this tells connections apart
    };

    CLoopbackServer() {
        ENetAddress address{};
        enet_address_set_host(&address, "127.0.0.1");
        address.port = 0; // any free port
        m_pHost = enet_host_create(&address, 64, 255, 0, 0);
        if (!m_pHost) return;
        enet_host_compress_with_range_coder(m_pHost);
        ENetAddress bound{};
        if (enet_socket_get_address(m_pHost->socket, &bound) == 0) m_Port = bound.port;
    }
    ~CLoopbackServer() {
        if (m_pHost) enet_host_destroy(m_pHost);
    }
    CLoopbackServer(const CLoopbackServer&) = delete;
    CLoopbackServer& operator=(const CLoopbackServer&) = delete;

    bool IsValid() const { return m_pHost && m_Port; }
    uint16_t GetPort() const { return m_Port; }

    // Handles everything that arrived; never blocks.
    void Service() {
        if (!m_pHost) return;
        ENetEvent event;
        while (enet_host_service(m_pHost, &event, 0) > 0) {
            switch (event.type) {
            case ENET_EVENT_TYPE_CONNECT:
                event.peer->data = reinterpret_cast<void*>(++m_Connections);
                m_Connected.push_back(event.peer);
                break;
            case ENET_EVENT_TYPE_DISCONNECT: m_Disconnected.push_back({event.peer, event.data}); break;
            case ENET_EVENT_TYPE_RECEIVE:
                m_Received.push_back({event.peer, event.channelID, event.packet->flags,
                                      Bytes(event.packet->data, event.packet->data + event.packet->dataLength),
                                      reinterpret_cast<uintptr_t>(event.peer->data)});
                enet_packet_destroy(event.packet);
                break;
            default: break;
            }
        }
    }

    void SendBytes(ENetPeer* pPeer, const Bytes& bytes, uint8_t channel = 0) {
        enet_peer_send(pPeer, channel, enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE));
        enet_host_flush(m_pHost);
    }
    void Send(ENetPeer* pPeer, uint32_t id, const Bytes& payload, uint8_t channel = 0) {
        SendBytes(pPeer, Concat({HeaderFor(id), payload}), channel);
    }
    void Disconnect(ENetPeer* pPeer, uint32_t reason) {
        enet_peer_disconnect(pPeer, reason);
        enet_host_flush(m_pHost);
    }

    // Messages from the peer's current connection, in order.
    std::vector<CReceived> From(ENetPeer* pPeer) const {
        std::vector<CReceived> messages;
        for (const CReceived& message : m_Received)
            if (message.m_pPeer == pPeer && message.m_Connection == reinterpret_cast<uintptr_t>(pPeer->data))
                messages.push_back(message);
        return messages;
    }

    std::vector<ENetPeer*> m_Connected;
    std::vector<std::pair<ENetPeer*, uint32_t>> m_Disconnected;
    std::vector<CReceived> m_Received;

private:
    ENetHost* m_pHost = nullptr;
    uint16_t m_Port = 0;
    uintptr_t m_Connections = 0;
};
