#include "ENetSystem.h"

#include "ENetSocket.h"
#include "Network/ENetServer.h"
#include "Network/NetServerEvents.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

namespace Tessera3D {

std::atomic<CENetSystem*> g_pENet{nullptr};

namespace {

// Thread-safe name resolution (IPv4 only); dotted text as the fallback.
bool ResolveBindAddress(const char* szAddress, enet_uint32& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* pResult = nullptr;
    if (getaddrinfo(szAddress, nullptr, &hints, &pResult) == 0 && pResult) {
        for (addrinfo* p = pResult; p; p = p->ai_next) {
            if (p->ai_family == AF_INET && p->ai_addrlen >= sizeof(sockaddr_in)) {
                host = reinterpret_cast<const sockaddr_in*>(p->ai_addr)->sin_addr.s_addr;
                freeaddrinfo(pResult);
                return true;
            }
        }
    }
    if (pResult) freeaddrinfo(pResult);
    in_addr address;
    if (inet_aton(szAddress, &address) == 0) return false;
    host = address.s_addr;
    return true;
}

} // namespace

CENetSystem::CENetSystem(INetServerEvents* pEvents)
    : m_pEvents(pEvents),
      m_MaxQueuedEvents(CENetServer::DEFAULT_MAX_QUEUED_EVENTS),
      m_MaxQueuedEventBytes(CENetServer::DEFAULT_MAX_QUEUED_EVENT_BYTES) {}

CENetSystem::~CENetSystem() {
    StopNetworkThread();
    if (m_pHost) {
        CScopedLock host(m_HostLock);
        SendPendingPackets();
        enet_host_flush(m_pHost);
    }
    {
        CScopedLock events(m_EventsLock);
        FreeEvents(m_Events);
        m_QueuedEventBytes = 0;
    }
    FreeEvents(m_HandlingEvents);
    FreeEvents(m_DirectEvents);
    FreeEvents(m_ThreadEvents);
    {
        CScopedLock pending(m_PendingLock);
        for (const PendingPacket& record : m_Pending)
            if (record.m_pPacket && record.m_pPacket->referenceCount == 0) enet_packet_destroy(record.m_pPacket);
        m_Pending.clear();
    }
    CENetSystem* pSelf = this;
    g_pENet.compare_exchange_strong(pSelf, nullptr);
    if (m_pHost) {
        // Closes the socket, resets every peer (freeing what ENet still holds) and the compressor.
        enet_host_destroy(m_pHost);
        m_pHost = nullptr;
    }
    if (m_bENetInitialised) enet_deinitialize();
}

bool CENetSystem::Initialise(uint16_t port, const char* szBindAddress, bool bMultithreaded) {
    if (m_pHost) return false;
    ENetAddress address;
    address.host = ENET_HOST_ANY;
    address.port = port;
    if (szBindAddress && szBindAddress[0] && !ResolveBindAddress(szBindAddress, address.host)) return false;
    if (!m_bENetInitialised) {
        if (enet_initialize() != 0) return false;
        m_bENetInitialised = true;
    }
    // Unlimited bandwidth both ways; ENet's default MTU and socket options.
    ENetHost* pHost = enet_host_create(&address, PEER_COUNT, CHANNEL_LIMIT, 0, 0);
    if (!pHost) return false;
    if (enet_host_compress_with_range_coder(pHost) != 0) {
        enet_host_destroy(pHost);
        return false;
    }
    pHost->intercept = &CENetSystem::Intercept;
    m_Peers.assign(pHost->peerCount, PeerState());
    m_SlotGenerations.assign(pHost->peerCount, 0);
    m_bMultithreaded = bMultithreaded;
    m_pHost = pHost;
    g_pENet.store(this);
    return true;
}

bool CENetSystem::SlotOf(const ENetPeer* pPeer, size_t& slot) const {
    if (!m_pHost || !pPeer) return false;
    // Integer arithmetic: a pointer from elsewhere must not be compared as if it were in the array.
    const uintptr_t first = reinterpret_cast<uintptr_t>(m_pHost->peers);
    const uintptr_t address = reinterpret_cast<uintptr_t>(pPeer);
    if (address < first) return false;
    const uintptr_t offset = address - first;
    if (offset % sizeof(ENetPeer) != 0 || offset / sizeof(ENetPeer) >= m_pHost->peerCount) return false;
    slot = offset / sizeof(ENetPeer);
    return true;
}

bool CENetSystem::IsPeerConnected(const ENetPeer* pPeer, uint32_t& generation) const {
    size_t slot;
    if (!SlotOf(pPeer, slot) || !m_Peers[slot].m_bConnected) return false;
    generation = m_Peers[slot].m_Generation;
    return true;
}

bool CENetSystem::GetIPAddress(const ENetPeer* pPeer, CIPAddress& address) const {
    size_t slot;
    // The address of the connection the main thread knows, even while ENet already reuses the slot.
    if (!SlotOf(pPeer, slot) || !m_Peers[slot].m_bKnown) return false;
    address = CIPAddress();
    address.m_Family = CIPAddress::FAMILY_IPV4;
    address.m_Port = m_Peers[slot].m_Address.port;
    address.m_IPv4 = m_Peers[slot].m_Address.host;
    return true;
}

uint32_t CENetSystem::GetLastPing(ENetPeer* pPeer) {
    uint32_t generation;
    if (!IsPeerConnected(pPeer, generation)) return UINT32_MAX;
    CScopedLock host(m_HostLock);
    return pPeer->roundTripTime;
}

void CENetSystem::SetEventQueueLimits(size_t maxEvents, size_t maxBytes) {
    CScopedLock events(m_EventsLock);
    m_MaxQueuedEvents = std::max<size_t>(maxEvents, 1);
    m_MaxQueuedEventBytes = std::max<size_t>(maxBytes, 1);
}

size_t CENetSystem::GetQueuedEventCount() const {
    CScopedLock events(m_EventsLock);
    return m_Events.size();
}

void CENetSystem::Submit(const PendingPacket& record) {
    if (!m_pHost) {
        if (record.m_pPacket) enet_packet_destroy(record.m_pPacket);
        return;
    }
    if (m_pThread) {
        {
            CScopedLock pending(m_PendingLock);
            m_Pending.push_back(record);
        }
        m_PendingAvailable.Signal();
        return;
    }
    CScopedLock host(m_HostLock);
    SendRecord(record);
}

void CENetSystem::SendRecord(const PendingPacket& record) {
    size_t slot = 0;
    // The peer's slot may have been disconnected, or even reused by a new connection, since the
    // main thread queued the record.
    const bool bCurrent = !(record.m_Flags & PACKET_FLAGS_EVERYONE) && SlotOf(record.m_pPeer, slot) &&
        m_SlotGenerations[slot] == record.m_Generation && record.m_pPeer->state == ENET_PEER_STATE_CONNECTED;
    if (!record.m_pPacket) {
        // A plain disconnect would discard what is still queued for the peer, and the peer's ENet
        // drops what it has received but not yet handed over when the disconnect arrives. Waiting
        // for everything sent to be acknowledged delivers the last messages (a kick notice) too.
        if (bCurrent) enet_peer_disconnect_later(record.m_pPeer, record.m_Reason);
        return;
    }
    if (record.m_Flags & PACKET_FLAGS_EVERYONE) {
        enet_host_broadcast(m_pHost, record.m_Channel, record.m_pPacket); // frees a packet nobody took
        return;
    }
    if (bCurrent) enet_peer_send(record.m_pPeer, record.m_Channel, record.m_pPacket);
    if (record.m_pPacket->referenceCount == 0) enet_packet_destroy(record.m_pPacket);
}

void CENetSystem::SendPendingPackets() {
    {
        CScopedLock pending(m_PendingLock);
        if (m_Pending.empty()) return;
        m_Sending.swap(m_Pending);
        m_PendingAvailable.Reset();
    }
    for (const PendingPacket& record : m_Sending) SendRecord(record);
    m_Sending.clear();
}

void CENetSystem::PullEvents(std::vector<Event>& events, size_t maxEvents, size_t maxBytes) {
    size_t bytes = 0;
    ENetEvent event;
    while (events.size() < maxEvents && bytes < maxBytes) {
        int result = enet_host_check_events(m_pHost, &event);
        if (result == 0) result = enet_host_service(m_pHost, &event, 0);
        if (result <= 0) break;
        size_t slot;
        if (!SlotOf(event.peer, slot)) {
            if (event.packet) enet_packet_destroy(event.packet);
            continue;
        }
        if (event.type == ENET_EVENT_TYPE_CONNECT) ++m_SlotGenerations[slot];
        Event record;
        record.m_Type = event.type;
        record.m_pPeer = event.peer;
        record.m_Channel = event.channelID;
        record.m_Data = event.data;
        record.m_pPacket = event.type == ENET_EVENT_TYPE_RECEIVE ? event.packet : nullptr;
        record.m_Generation = m_SlotGenerations[slot];
        record.m_Address = event.peer->address;
        if (record.m_pPacket) bytes += record.m_pPacket->dataLength;
        events.push_back(record);
    }
}

void CENetSystem::Update() {
    if (!m_pHost) return;
    if (m_EventsAvailable.IsSignalled()) HandleQueuedEvents();
    if (m_pThread) return;
    // A network thread that just stopped may have queued more after the batch above was taken.
    if (m_EventsAvailable.IsSignalled()) HandleQueuedEvents();
    {
        CScopedLock host(m_HostLock);
        g_pENet.store(this);
        SendPendingPackets();
        PullEvents(m_DirectEvents, MAX_EVENTS_PER_ROUND, SIZE_MAX);
    }
    // Handled outside the host lock: a connect may start the network thread, a disconnect join it.
    for (const Event& event : m_DirectEvents) HandleEvent(event);
    m_DirectEvents.clear();
}

void CENetSystem::HandleQueuedEvents() {
    {
        CScopedLock events(m_EventsLock);
        m_HandlingEvents.swap(m_Events);
        m_QueuedEventBytes = 0;
        m_EventsAvailable.Reset();
    }
    for (const Event& event : m_HandlingEvents) HandleEvent(event);
    m_HandlingEvents.clear();
}

void CENetSystem::HandleEvent(const Event& event) {
    size_t slot = 0;
    SlotOf(event.m_pPeer, slot); // checked when the event was taken
    PeerState& peer = m_Peers[slot];
    switch (event.m_Type) {
    case ENET_EVENT_TYPE_CONNECT:
        if (!peer.m_bConnected) ++m_ConnectedPeers;
        peer.m_bConnected = true;
        peer.m_bKnown = true;
        peer.m_Generation = event.m_Generation;
        peer.m_Address = event.m_Address;
        // Cleared here rather than on the network thread: until this event, the slot's data still
        // belongs to the previous connection, whose disconnect the server handles first.
        event.m_pPeer->data = nullptr;
        if (m_pEvents) m_pEvents->OnConnect(event.m_pPeer);
        if (m_bMultithreaded && !m_pThread) StartNetworkThread();
        break;
    case ENET_EVENT_TYPE_DISCONNECT:
        if (!peer.m_bConnected || peer.m_Generation != event.m_Generation) break;
        peer.m_bConnected = false;
        --m_ConnectedPeers;
        if (m_ConnectedPeers == 0) StopNetworkThread();
        if (m_pEvents) m_pEvents->OnDisconnect(event.m_pPeer, event.m_Data);
        break;
    case ENET_EVENT_TYPE_RECEIVE:
        if (peer.m_bConnected && peer.m_Generation == event.m_Generation && m_pEvents)
            m_pEvents->PacketEvent(event.m_pPeer, event.m_pPacket->data, event.m_pPacket->dataLength);
        enet_packet_destroy(event.m_pPacket);
        break;
    default:
        break;
    }
}

void CENetSystem::StartNetworkThread() {
    m_ThreadStop.Reset();
    std::unique_ptr<Thread> pThread(new CThreadCB("NetworkThread", &CENetSystem::NetworkThreadEntry, this));
    if (!pThread->Start()) return; // the main loop keeps servicing ENet itself
    m_pThread = std::move(pThread);
}

void CENetSystem::StopNetworkThread() {
    if (!m_pThread) return;
    m_ThreadStop.Signal();
    m_pThread->Join();
    m_pThread.reset();
    m_ThreadStop.Reset();
    // Sends queued after the thread's last round go out now, before any later direct send.
    CScopedLock host(m_HostLock);
    SendPendingPackets();
}

void CENetSystem::NetworkThreadEntry(void* pSystem) { static_cast<CENetSystem*>(pSystem)->NetworkLoop(); }

void CENetSystem::NetworkLoop() {
    while (!m_ThreadStop.IsSignalled()) {
        {
            CScopedLock host(m_HostLock);
            g_pENet.store(this);
            SendPendingPackets();
            size_t roomEvents = 0, roomBytes = 0;
            {
                CScopedLock events(m_EventsLock);
                if (m_Events.size() < m_MaxQueuedEvents && m_QueuedEventBytes < m_MaxQueuedEventBytes) {
                    roomEvents = std::min(m_MaxQueuedEvents - m_Events.size(), MAX_EVENTS_PER_ROUND);
                    roomBytes = m_MaxQueuedEventBytes - m_QueuedEventBytes;
                }
            }
            if (roomEvents > 0) {
                PullEvents(m_ThreadEvents, roomEvents, roomBytes);
            } else {
                // The main thread lags: leave received datagrams to the socket buffer, but still send.
                enet_host_flush(m_pHost);
            }
            if (!m_ThreadEvents.empty()) {
                CScopedLock events(m_EventsLock);
                for (const Event& event : m_ThreadEvents) {
                    if (event.m_pPacket) m_QueuedEventBytes += event.m_pPacket->dataLength;
                    m_Events.push_back(event);
                }
                m_EventsAvailable.Signal();
            }
            m_ThreadEvents.clear();
        }
        m_ThreadStop.Wait(NETWORK_THREAD_SLEEP_MS);
    }
}

void CENetSystem::FreeEvents(std::vector<Event>& events) {
    for (const Event& event : events)
        if (event.m_pPacket) enet_packet_destroy(event.m_pPacket);
    events.clear();
}

int CENetSystem::Intercept(ENetHost* pHost, ENetEvent* pEvent) {
    CENetSystem* pSystem = g_pENet.load();
    if (!pSystem || pSystem->m_pHost != pHost || !pSystem->m_pEvents) return 0;
    if (pHost->receivedDataLength < 2 || pHost->receivedData[0] != 0xFF || pHost->receivedData[1] != 0xFF) return 0;
    CENetSocket socket(pHost);
    return pSystem->m_pEvents->ReceiveDatagram(&socket) ? 1 : 0;
}

} // namespace Tessera3D
