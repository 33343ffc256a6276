#include "Network/ENetServer.h"

#include "ENetSystem.h"
#include "Engine/Packet.h"

namespace Tessera3D {

namespace {

enet_uint32 ToENetFlags(uint32_t flags) {
    enet_uint32 enetFlags = 0;
    if (flags & PACKET_FLAGS_RELIABLE) enetFlags |= ENET_PACKET_FLAG_RELIABLE;
    if (flags & PACKET_FLAGS_UNSEQUENCED) enetFlags |= ENET_PACKET_FLAG_UNSEQUENCED;
    return enetFlags;
}

} // namespace

CENetServer::CENetServer(INetServerEvents* pEvents) : m_pSystem(new CENetSystem(pEvents)) {}

CENetServer::~CENetServer() = default;

bool CENetServer::Initialise(uint16_t port, const char* szBindAddress, bool bMultithreaded) {
    return m_pSystem->Initialise(port, szBindAddress, bMultithreaded);
}

bool CENetServer::Disconnect(NetPeer* pPeer, uint32_t reason) {
    uint32_t generation;
    if (!m_pSystem->IsPeerConnected(pPeer, generation)) return false;
    m_pSystem->Submit({PACKET_PRIORITY_IMMEDIATE, PACKET_FLAGS_NONE, 0, pPeer, nullptr, generation, reason});
    return true;
}

void CENetServer::Update() { m_pSystem->Update(); }

bool CENetServer::SendPacket(NetPeer* pPeer, const Packet* pPacket, ePacketPriority priority, uint32_t flags,
    uint8_t channel) {
    // ENet's range coder cannot compress an empty packet; every message has at least its header.
    if (!pPacket || pPacket->GetSize() == 0 || !m_pSystem->GetHost()) return false;
    uint32_t generation = 0;
    if (flags & PACKET_FLAGS_EVERYONE)
        pPeer = nullptr;
    else if (!m_pSystem->IsPeerConnected(pPeer, generation))
        return false;
    ENetPacket* pENetPacket = enet_packet_create(pPacket->GetData(), pPacket->GetSize(), ToENetFlags(flags));
    if (!pENetPacket) return false;
    m_pSystem->Submit({priority, flags, channel, pPeer, pENetPacket, generation, 0});
    return true;
}

bool CENetServer::SendEveryonePacket(const Packet* pPacket, ePacketPriority priority, uint32_t flags,
    uint8_t channel) {
    return SendPacket(nullptr, pPacket, priority, flags | PACKET_FLAGS_EVERYONE, channel);
}

bool CENetServer::GetIPAddress(NetPeer* pPeer, CIPAddress& address) { return m_pSystem->GetIPAddress(pPeer, address); }

uint32_t CENetServer::GetLastPing(NetPeer* pPeer) { return m_pSystem->GetLastPing(pPeer); }

size_t CENetServer::GetConnectedPeerCount() const { return m_pSystem->GetConnectedPeerCount(); }

bool CENetServer::HasNetworkThread() const { return m_pSystem->HasNetworkThread(); }

void CENetServer::SetEventQueueLimits(size_t maxEvents, size_t maxBytes) {
    m_pSystem->SetEventQueueLimits(maxEvents, maxBytes);
}

size_t CENetServer::GetQueuedEventCount() const { return m_pSystem->GetQueuedEventCount(); }

} // namespace Tessera3D
