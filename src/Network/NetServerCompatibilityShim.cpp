#include "Network/NetServerCompatibilityShim.h"

#include "Engine/MemoryStream.h"
#include "Engine/Packet.h"

namespace Tessera3D {

namespace {

uint32_t ReadLittleEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
        static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

bool CNetServerCompatibilityShim::PacketEvent(NetPeer* pPeer, const void* pData, size_t size) {
    if (!pData) size = 0;
    // Read-only: handlers must not write into the received packet.
    CMemoryStream stream(pData, size);
    return ProcessPacket(pPeer, &stream);
}

bool CNetServerCompatibilityShim::ProcessPacket(NetPeer* pPeer, Stream* pStream) {
    uint8_t field[4];
    if (pStream->Read(field, sizeof(field)) != sizeof(field) || ReadLittleEndian32(field) != PACKET_MAGIC)
        return false;
    if (pStream->Read(field, sizeof(field)) != sizeof(field)) return false;
    return ProcessPacket(pPeer, ReadLittleEndian32(field), pStream);
}

} // namespace Tessera3D
