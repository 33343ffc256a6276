// Feeds arbitrary bytes to the receiving side as one received message and checks what reaches the
// message handler: only framed messages, with the id and the payload exactly as they stood.
#include "Engine/Packet.h"
#include "Engine/Stream.h"
#include "Network/NetServerCompatibilityShim.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace Tessera3D;

namespace {

class CRecordingSink : public CNetServerCompatibilityShim {
public:
    bool ProcessPacket(NetPeer* pPeer, uint32_t id, Stream* pStream) override {
        m_bCalled = true;
        m_Id = id;
        m_Payload.clear();
        uint8_t buffer[256];
        size_t count;
        while ((count = pStream->Read(buffer, sizeof(buffer))) > 0) m_Payload.insert(m_Payload.end(), buffer, buffer + count);
        // The received bytes are not the handler's to change.
        if (pStream->Write("x", 1) != 0) abort();
        return true;
    }
    bool OnPlayerConnect(NetPeer*) override { return true; }
    void OnPlayerDisconnect(NetPeer*, uint32_t) override {}

    bool m_bCalled = false;
    uint32_t m_Id = 0;
    std::vector<uint8_t> m_Payload;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    CRecordingSink sink;
    // A copy of exactly the input, so any read past it is caught.
    std::vector<uint8_t> bytes(pData, pData + size);
    const bool bDispatched = sink.PacketEvent(nullptr, bytes.data(), bytes.size());
    const uint32_t magic = PACKET_MAGIC;
    const bool bFramed = size >= PACKET_HEADER_SIZE && memcmp(pData, &magic, 4) == 0;
    if (bDispatched != bFramed || sink.m_bCalled != bFramed) abort();
    if (bFramed) {
        uint32_t id;
        memcpy(&id, pData + 4, 4);
        if (sink.m_Id != id || sink.m_Payload.size() != size - PACKET_HEADER_SIZE ||
            (!sink.m_Payload.empty() &&
                memcmp(sink.m_Payload.data(), pData + PACKET_HEADER_SIZE, sink.m_Payload.size()) != 0))
            abort();
    }
    return 0;
}
