#pragma once
// The datagram being received outside the ENet protocol, and a way to answer its sender.
#include <cstddef>
#include <cstdint>

namespace Tessera3D {

class CUnlimitedStream;

class INetSocket {
public:
    // The bytes of the datagram being received; valid only during the call that received it.
    virtual const uint8_t* GetData(size_t& size) = 0;
    // Sends every byte of the stream as one raw UDP datagram to the sender, bypassing ENet.
    virtual bool Send(const CUnlimitedStream* pData) = 0;

protected:
    ~INetSocket() = default;
};

} // namespace Tessera3D
