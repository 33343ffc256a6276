#pragma once
#include "Engine/UnlimitedStream.h"

namespace Tessera3D {

// Every network message starts with this magic and a 32-bit message id.
constexpr uint32_t PACKET_MAGIC = 0x54523402;
constexpr size_t PACKET_HEADER_SIZE = 8;

// A message under construction: the header is written at construction, the payload follows.
class Packet : public CUnlimitedStream {
public:
    explicit Packet(uint32_t id);
    uint32_t GetId() const { return m_Id; }

private:
    uint32_t m_Id;
};

} // namespace Tessera3D
