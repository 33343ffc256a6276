#pragma once
// The transport over ENet: one UDP port, 4095 peers, 255 channels, range-coder compression, and an
// optional network thread that runs only while peers are connected.
#include "Network/NetServer.h"

#include <cstddef>
#include <memory>

namespace Tessera3D {

class CENetSystem;
class INetServerEvents;

class CENetServer : public CNetServer {
public:
    // pEvents receives connects, messages, disconnects and query datagrams; it must outlive this.
    explicit CENetServer(INetServerEvents* pEvents);
    // Stops the network thread, sends what is pending, frees every queued packet and closes the port.
    ~CENetServer() override;

    bool Initialise(uint16_t port, const char* szBindAddress, bool bMultithreaded) override;
    bool Disconnect(NetPeer* pPeer, uint32_t reason) override;
    void Update() override;
    bool SendPacket(NetPeer* pPeer, const Packet* pPacket, ePacketPriority priority, uint32_t flags,
        uint8_t channel) override;
    bool SendEveryonePacket(const Packet* pPacket, ePacketPriority priority, uint32_t flags,
        uint8_t channel) override;
    bool GetIPAddress(NetPeer* pPeer, CIPAddress& address) override;
    uint32_t GetLastPing(NetPeer* pPeer) override;

    // Peers whose connect the main thread has handled and whose disconnect it has not.
    size_t GetConnectedPeerCount() const;
    bool HasNetworkThread() const;

    // While the main thread lags, the network thread stops taking events from ENet once this many
    // events or bytes of received messages wait for it; the kernel's socket buffer absorbs the
    // rest, as when the main thread services ENet itself. Nothing queued is ever dropped.
    static constexpr size_t DEFAULT_MAX_QUEUED_EVENTS = 65536;
    static constexpr size_t DEFAULT_MAX_QUEUED_EVENT_BYTES = 64 * 1024 * 1024;
    void SetEventQueueLimits(size_t maxEvents, size_t maxBytes);
    // Events the network thread has queued and the main thread not yet taken (any thread).
    size_t GetQueuedEventCount() const;

private:
    std::unique_ptr<CENetSystem> m_pSystem;
};

} // namespace Tessera3D
