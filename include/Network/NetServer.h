#pragma once
// The transport as the server uses it. Every operation belongs to the main thread.
#include "Network/IPAddress.h"
#include "Network/NetTypes.h"

#include <cstdint>

namespace Tessera3D {

class Packet;

class CNetServer {
public:
    virtual ~CNetServer() = default;

    // Opens the UDP port. An empty (or null) bind address means every local address; otherwise a
    // host name or dotted IPv4 text. False when the address cannot be resolved or the port not bound.
    virtual bool Initialise(uint16_t port, const char* szBindAddress, bool bMultithreaded) = 0;
    // Starts a graceful disconnect with the reason as its data, after what was sent to the peer
    // before. The disconnect event follows later. False for a peer that is not connected.
    virtual bool Disconnect(NetPeer* pPeer, uint32_t reason) = 0;
    // Handles connects, messages and disconnects; sends and services ENet when no network thread runs.
    virtual void Update() = 0;
    // Copies the packet's bytes into one ENet packet. Never blocks; a send to a peer that is not
    // (or no longer) connected is dropped. False when dropped at once.
    virtual bool SendPacket(NetPeer* pPeer, const Packet* pPacket, ePacketPriority priority, uint32_t flags,
        uint8_t channel) = 0;
    // To every connected peer.
    virtual bool SendEveryonePacket(const Packet* pPacket, ePacketPriority priority, uint32_t flags,
        uint8_t channel) = 0;
    virtual bool GetIPAddress(NetPeer* pPeer, CIPAddress& address) = 0;
    // Round-trip time in milliseconds; 4294967295 without a (connected) peer.
    virtual uint32_t GetLastPing(NetPeer* pPeer) = 0;
};

} // namespace Tessera3D
