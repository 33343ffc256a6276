#pragma once
// Names shared by every user of the transport: the peer handle, send priorities and send flags.
#include <enet/enet.h>

#include <cstdint>

namespace Tessera3D {

// A connected client as the transport sees it. The server keeps its own per-peer pointer in
// `data`; the transport clears it when the peer connects and never touches it otherwise.
using NetPeer = ENetPeer;

// Travels with every send; ENet transmits all priorities alike.
enum ePacketPriority : uint32_t {
    PACKET_PRIORITY_IMMEDIATE = 0,
    PACKET_PRIORITY_HIGH = 1,
    PACKET_PRIORITY_MEDIUM = 2,
    PACKET_PRIORITY_LOW = 3,
};

// A bit set. With neither reliable nor unsequenced, a packet is unreliable and sequenced.
enum ePacketFlags : uint32_t {
    PACKET_FLAGS_NONE = 0,
    PACKET_FLAGS_RELIABLE = 1,
    PACKET_FLAGS_UNSEQUENCED = 2,
    PACKET_FLAGS_EVERYONE = 4, // set by SendEveryonePacket
};

} // namespace Tessera3D
