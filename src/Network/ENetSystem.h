#pragma once
// The ENet host and the threading state around it: the network thread, the events queue it fills
// and the pending-packets queue the main thread fills while that thread runs.
#include "Engine/Threads.h"
#include "Network/IPAddress.h"
#include "Network/NetTypes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Tessera3D {

class INetServerEvents;
class CENetSystem;

// The system the intercept hook reports to; set by Initialise and by whoever services its host.
extern std::atomic<CENetSystem*> g_pENet;

class CENetSystem {
public:
    static constexpr size_t PEER_COUNT = 4095;
    static constexpr size_t CHANNEL_LIMIT = 255;
    // Events taken from ENet per service round, so a flood cannot keep one thread in the loop.
    static constexpr size_t MAX_EVENTS_PER_ROUND = 4096;
    static constexpr uint32_t NETWORK_THREAD_SLEEP_MS = 5;

    // An outgoing packet, or a disconnect request when m_pPacket is null; kept in order with sends.
    struct PendingPacket {
        ePacketPriority m_Priority;
        uint32_t m_Flags;
        uint8_t m_Channel;
        ENetPeer* m_pPeer;
        ENetPacket* m_pPacket;
        uint32_t m_Generation; // which connection of the peer's slot the record was meant for
        uint32_t m_Reason;
    };

    explicit CENetSystem(INetServerEvents* pEvents);
    ~CENetSystem();
    CENetSystem(const CENetSystem&) = delete;
    CENetSystem& operator=(const CENetSystem&) = delete;

    bool Initialise(uint16_t port, const char* szBindAddress, bool bMultithreaded);
    void Update();
    // Takes ownership of the record's packet: sends it, queues it, or frees it.
    void Submit(const PendingPacket& record);

    ENetHost* GetHost() const { return m_pHost; }
    INetServerEvents* GetEvents() const { return m_pEvents; }
    // Main thread: true while the peer's connect has been handled and its disconnect not.
    bool IsPeerConnected(const ENetPeer* pPeer, uint32_t& generation) const;
    bool GetIPAddress(const ENetPeer* pPeer, CIPAddress& address) const;
    uint32_t GetLastPing(ENetPeer* pPeer);
    size_t GetConnectedPeerCount() const { return m_ConnectedPeers; }
    bool HasNetworkThread() const { return m_pThread != nullptr; }
    void SetEventQueueLimits(size_t maxEvents, size_t maxBytes);
    size_t GetQueuedEventCount() const;

private:
    struct Event {
        ENetEventType m_Type;
        ENetPeer* m_pPeer;
        uint8_t m_Channel;
        uint32_t m_Data;
        ENetPacket* m_pPacket;
        uint32_t m_Generation;
        ENetAddress m_Address;
    };
    // The main thread's view of one peer slot.
    struct PeerState {
        bool m_bConnected = false;
        bool m_bKnown = false;
        uint32_t m_Generation = 0;
        ENetAddress m_Address{};
    };

    bool SlotOf(const ENetPeer* pPeer, size_t& slot) const;
    // Host lock held. Takes up to maxEvents events (stopping once maxBytes of messages are taken).
    void PullEvents(std::vector<Event>& events, size_t maxEvents, size_t maxBytes);
    void SendPendingPackets();
    void SendRecord(const PendingPacket& record);
    void HandleQueuedEvents();
    void HandleEvent(const Event& event);
    void StartNetworkThread();
    void StopNetworkThread();
    static void NetworkThreadEntry(void* pSystem);
    void NetworkLoop();
    static void FreeEvents(std::vector<Event>& events);
    static int Intercept(ENetHost* pHost, ENetEvent* pEvent);

    INetServerEvents* m_pEvents;
    ENetHost* m_pHost = nullptr;
    bool m_bMultithreaded = false;
    bool m_bENetInitialised = false;

    // Main thread only.
    size_t m_ConnectedPeers = 0;
    std::vector<PeerState> m_Peers;
    std::vector<Event> m_HandlingEvents;
    std::vector<Event> m_DirectEvents;
    std::unique_ptr<Thread> m_pThread;

    Signalable m_ThreadStop;

    // Under the host lock: ENet itself, the connect count of every slot and the records being sent.
    CLockable m_HostLock;
    std::vector<uint32_t> m_SlotGenerations;
    std::vector<PendingPacket> m_Sending;
    std::vector<Event> m_ThreadEvents;

    mutable CLockable m_EventsLock;
    std::vector<Event> m_Events;
    size_t m_QueuedEventBytes = 0;
    size_t m_MaxQueuedEvents;
    size_t m_MaxQueuedEventBytes;
    Signalable m_EventsAvailable;

    CLockable m_PendingLock;
    std::vector<PendingPacket> m_Pending;
    Signalable m_PendingAvailable;
};

} // namespace Tessera3D
