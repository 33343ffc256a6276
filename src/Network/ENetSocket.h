#pragma once
// A throw-away view of the host while ENet hands it a datagram that is not ENet traffic.
#include "Network/NetSocket.h"

#include <enet/enet.h>

namespace Tessera3D {

class CENetSocket final : public INetSocket {
public:
    explicit CENetSocket(ENetHost* pHost) : m_pHost(pHost) {}

    const uint8_t* GetData(size_t& size) override;
    bool Send(const CUnlimitedStream* pData) override;

private:
    ENetHost* m_pHost;
};

} // namespace Tessera3D
