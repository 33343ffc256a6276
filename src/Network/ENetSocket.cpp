#include "ENetSocket.h"

#include "Engine/UnlimitedStream.h"

namespace Tessera3D {

const uint8_t* CENetSocket::GetData(size_t& size) {
    size = m_pHost->receivedDataLength;
    return m_pHost->receivedData;
}

bool CENetSocket::Send(const CUnlimitedStream* pData) {
    if (!pData) return false;
    ENetBuffer buffer;
    buffer.data = const_cast<uint8_t*>(pData->GetData());
    buffer.dataLength = pData->GetSize();
    const int sent = enet_socket_send(m_pHost->socket, &m_pHost->receivedAddress, &buffer, 1);
    return sent >= 0 && static_cast<size_t>(sent) == buffer.dataLength;
}

} // namespace Tessera3D
