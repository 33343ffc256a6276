#pragma once
// The receiving side the server derives from: parses the message header and forwards connects
// and disconnects to the player callbacks.
#include "Network/NetServerEvents.h"

namespace Tessera3D {

class CNetServerCompatibilityShim : public INetServerEvents {
public:
    // Wraps the bytes in a read-only memory stream and parses the header.
    bool PacketEvent(NetPeer* pPeer, const void* pData, size_t size) override;
    bool OnConnect(NetPeer* pPeer) override { return OnPlayerConnect(pPeer); }
    void OnDisconnect(NetPeer* pPeer, uint32_t reason) override { OnPlayerDisconnect(pPeer, reason); }
    bool ReceiveDatagram(INetSocket* pSocket) override { return false; }

    using INetServerEvents::ProcessPacket;

protected:
    // Reads the magic and the message id; a message without the magic (or shorter than the
    // header) is dropped silently. Otherwise calls ProcessPacket(peer, id, stream).
    bool ProcessPacket(NetPeer* pPeer, Stream* pStream);
};

} // namespace Tessera3D
