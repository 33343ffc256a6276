#pragma once
// A loopback harness: the server's transport and real ENet client hosts in one process, a recording
// receiver, plain UDP sockets, and a pump that drives both sides until a condition holds.
#include "Engine/Stream.h"
#include "Engine/UnlimitedStream.h"
#include "Network/ENetServer.h"
#include "Network/NetServerCompatibilityShim.h"
#include "Network/NetSocket.h"

#include <enet/enet.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace NetworkTest {

using Bytes = std::vector<uint8_t>;

// Parses "02 34 52 54" (whitespace-separated hex pairs) into bytes.
inline Bytes HexBytes(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i < text.size();) {
        if (isspace(static_cast<unsigned char>(text[i]))) { ++i; continue; }
        out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

inline Bytes StreamBytes(const Tessera3D::CUnlimitedStream& stream) {
    return Bytes(stream.GetData(), stream.GetData() + stream.GetSize());
}

// Threads of this process named NetworkThread.
inline int CountNetworkThreads() {
    int count = 0;
    DIR* pDir = opendir("/proc/self/task");
    if (!pDir) return -1;
    while (dirent* pEntry = readdir(pDir)) {
        if (pEntry->d_name[0] == '.') continue;
        std::ifstream comm(std::string("/proc/self/task/") + pEntry->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        if (name == "NetworkThread") ++count;
    }
    closedir(pDir);
    return count;
}

// A plain UDP socket on 127.0.0.1 with a port of the kernel's choosing.
class CUdpSocket {
public:
    CUdpSocket() {
        m_Socket = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_Socket, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        socklen_t length = sizeof(address);
        getsockname(m_Socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_Port = ntohs(address.sin_port);
    }
    ~CUdpSocket() { close(m_Socket); }
    CUdpSocket(const CUdpSocket&) = delete;
    CUdpSocket& operator=(const CUdpSocket&) = delete;

    uint16_t GetPort() const { return m_Port; }
    bool SendTo(uint16_t port, const Bytes& bytes) const {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        return sendto(m_Socket, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&address),
                   sizeof(address)) == static_cast<ssize_t>(bytes.size());
    }
    // One datagram if one is waiting.
    bool TryReceive(Bytes& bytes) const {
        uint8_t buffer[2048];
        const ssize_t count = recv(m_Socket, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (count < 0) return false;
        bytes.assign(buffer, buffer + count);
        return true;
    }

private:
    int m_Socket = -1;
    uint16_t m_Port = 0;
};

// A free UDP port on loopback: ENet needs a fixed one, so ask the kernel and release it again.
inline uint16_t FindFreeUdpPort() {
    CUdpSocket probe;
    return probe.GetPort();
}

// A real ENet client host with one connection to the server.
class CTestClient {
public:
    struct Received {
        uint8_t m_Channel;
        uint32_t m_Flags;
        Bytes m_Bytes;
    };

    CTestClient() {
        m_pHost = enet_host_create(nullptr, 1, CHANNELS, 0, 0);
        if (m_pHost) enet_host_compress_with_range_coder(m_pHost);
    }
    ~CTestClient() {
        if (m_pHost) enet_host_destroy(m_pHost);
    }
    CTestClient(const CTestClient&) = delete;
    CTestClient& operator=(const CTestClient&) = delete;

    bool Connect(uint16_t port) {
        ENetAddress address;
        enet_address_set_host_ip(&address, "127.0.0.1");
        address.port = port;
        m_pPeer = enet_host_connect(m_pHost, &address, CHANNELS, 0);
        return m_pPeer != nullptr;
    }
    void Service() {
        ENetEvent event;
        while (enet_host_service(m_pHost, &event, 0) > 0) {
            switch (event.type) {
            case ENET_EVENT_TYPE_CONNECT: m_bConnected = true; break;
            case ENET_EVENT_TYPE_DISCONNECT:
                m_bConnected = false;
                m_bDisconnected = true;
                m_DisconnectData = event.data;
                m_ReceivedBeforeDisconnect = m_Received.size();
                break;
            case ENET_EVENT_TYPE_RECEIVE:
                m_Received.push_back({event.channelID, event.packet->flags,
                    Bytes(event.packet->data, event.packet->data + event.packet->dataLength)});
                enet_packet_destroy(event.packet);
                break;
            default: break;
            }
        }
    }
    bool Send(const Bytes& bytes, uint8_t channel = 0, uint32_t flags = ENET_PACKET_FLAG_RELIABLE) {
        ENetPacket* pPacket = enet_packet_create(bytes.data(), bytes.size(), flags);
        if (enet_peer_send(m_pPeer, channel, pPacket) == 0) return true;
        enet_packet_destroy(pPacket);
        return false;
    }
    void Disconnect(uint32_t data) { enet_peer_disconnect(m_pPeer, data); }
    // Drops the connection at once; the server learns of it from the one disconnect datagram.
    void DisconnectNow() {
        enet_peer_disconnect_now(m_pPeer, 0);
        m_bConnected = false;
    }
    uint16_t GetLocalPort() const {
        ENetAddress address{};
        enet_socket_get_address(m_pHost->socket, &address);
        return address.port;
    }

    static constexpr size_t CHANNELS = 8;
    ENetHost* m_pHost = nullptr;
    ENetPeer* m_pPeer = nullptr;
    bool m_bConnected = false;
    bool m_bDisconnected = false;
    uint32_t m_DisconnectData = 0;
    size_t m_ReceivedBeforeDisconnect = 0;
    std::vector<Received> m_Received;
};

// Records what the transport reports. Datagrams may arrive on the network thread.
class CRecorder : public Tessera3D::CNetServerCompatibilityShim {
public:
    struct Message {
        Tessera3D::NetPeer* m_pPeer;
        uint32_t m_Id;
        Bytes m_Payload;
        int64_t m_Position;  // where the stream stood when handed over
        bool m_bWritable;
    };
    struct Disconnect {
        Tessera3D::NetPeer* m_pPeer;
        uint32_t m_Reason;
        void* m_pData; // the server's per-peer data at that moment
    };

    bool ProcessPacket(Tessera3D::NetPeer* pPeer, uint32_t id, Tessera3D::Stream* pStream) override {
        Message message{pPeer, id, {}, pStream->Tell(), false};
        uint8_t buffer[512];
        size_t count;
        while ((count = pStream->Read(buffer, sizeof(buffer))) > 0)
            message.m_Payload.insert(message.m_Payload.end(), buffer, buffer + count);
        message.m_bWritable = pStream->Write("x", 1) != 0;
        m_Messages.push_back(message);
        return true;
    }
    bool OnPlayerConnect(Tessera3D::NetPeer* pPeer) override {
        m_Connects.push_back(pPeer);
        m_ConnectData.push_back(pPeer->data);
        m_Records.push_back(std::make_unique<int>(static_cast<int>(m_Records.size())));
        pPeer->data = m_Records.back().get();
        return true;
    }
    void OnPlayerDisconnect(Tessera3D::NetPeer* pPeer, uint32_t reason) override {
        m_Disconnects.push_back({pPeer, reason, pPeer->data});
    }
    bool ReceiveDatagram(Tessera3D::INetSocket* pSocket) override {
        size_t size = 0;
        const uint8_t* pData = pSocket->GetData(size);
        std::lock_guard<std::mutex> lock(m_DatagramMutex);
        m_Datagrams.emplace_back(pData, pData + size);
        m_DatagramThreads.push_back(std::this_thread::get_id());
        Tessera3D::CUnlimitedStream answer;
        answer.Write("\xFF\xFF" "answer", 8);
        answer.Write(pData + 2, size - 2);
        m_bAnswerSent = pSocket->Send(&answer);
        return true;
    }

    std::vector<Bytes> Datagrams() {
        std::lock_guard<std::mutex> lock(m_DatagramMutex);
        return m_Datagrams;
    }

    std::vector<Tessera3D::NetPeer*> m_Connects;
    std::vector<void*> m_ConnectData;
    std::vector<Disconnect> m_Disconnects;
    std::vector<Message> m_Messages;
    std::vector<std::unique_ptr<int>> m_Records;

    std::mutex m_DatagramMutex;
    std::vector<Bytes> m_Datagrams;
    std::vector<std::thread::id> m_DatagramThreads;
    bool m_bAnswerSent = false;
};

// Calls each step, then the condition, with a 1 ms pause, until the condition holds or the deadline.
inline bool PumpUntil(const std::function<void()>& step, const std::function<bool()>& done,
    int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        step();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

} // namespace NetworkTest
