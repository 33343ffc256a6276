#include "Engine/Packet.h"

namespace Tessera3D {

Packet::Packet(uint32_t id) : m_Id(id) {
    const uint32_t header[2] = {PACKET_MAGIC, id};
    Write(header, sizeof(header));
}

} // namespace Tessera3D
