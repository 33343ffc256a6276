#pragma once
// What the transport tells the server. Called on the main thread from CNetServer::Update, except
// ReceiveDatagram, which runs on whichever thread services ENet.
#include "Network/NetTypes.h"

#include <cstddef>
#include <cstdint>

namespace Tessera3D {

class INetSocket;
class Stream;

class INetServerEvents {
public:
    virtual ~INetServerEvents() = default;

    // A received message; false when it was dropped. The data lives only during the call.
    virtual bool PacketEvent(NetPeer* pPeer, const void* pData, size_t size) = 0;
    // The result does not affect the connection.
    virtual bool OnConnect(NetPeer* pPeer) = 0;
    // reason: the remote side's disconnect data; 0 for a time-out or a disconnect we started.
    virtual void OnDisconnect(NetPeer* pPeer, uint32_t reason) = 0;
    // A datagram that starts FF FF. True when handled (ENet never sees it).
    virtual bool ReceiveDatagram(INetSocket* pSocket) = 0;
    // A framed message; the stream is read-only, positioned at the payload and valid only during
    // the call.
    virtual bool ProcessPacket(NetPeer* pPeer, uint32_t id, Stream* pStream) = 0;
    virtual bool OnPlayerConnect(NetPeer* pPeer) = 0;
    virtual void OnPlayerDisconnect(NetPeer* pPeer, uint32_t reason) = 0;
};

} // namespace Tessera3D
