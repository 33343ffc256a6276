#pragma once
// A peer's address in a fixed 128-byte record (room for any socket address family).
#include <cstddef>
#include <cstdint>

namespace Tessera3D {

class CIPAddress {
public:
    static constexpr uint16_t FAMILY_NONE = 0;
    static constexpr uint16_t FAMILY_IPV4 = 2;

    // Numeric address without the port, as inet_ntop writes it, cut to the buffer and always
    // terminated. False for an address that is not IPv4 or a buffer of size 0.
    bool ToString(char* szBuffer, size_t size) const;

    uint16_t m_Family = FAMILY_NONE;
    uint16_t m_Port = 0;   // host byte order
    uint32_t m_IPv4 = 0;   // network byte order, as in struct in_addr
    uint8_t m_Reserved[120] = {};
};

static_assert(sizeof(CIPAddress) == 128, "the address record is 128 bytes");

} // namespace Tessera3D
