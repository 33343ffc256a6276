// Client bytes through the server's message dispatch, as an admitted client (with and without the
// game-file check passed, in game or not) and as a peer without a record. The first byte picks the
// sender's state, the next four the message id; the rest is the payload. No transport host is open,
// so every send and disconnect is dropped by the transport.
#include "GTAClient.h"
#include "GTAServer.h"

#include "Engine/MemoryStream.h"

#include <cstdio>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Refusals are logged; keep the fuzzer's output readable.
    if (!freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    if (size < 5) return 0;
    const uint8_t state = pData[0];
    uint32_t id;
    memcpy(&id, pData + 1, 4);
    id %= 256; // every id the catalogue uses, and unknown ones

    // One server for the whole run (building one per input is too slow to fuzz well); each input
    // starts from a fresh client record in slot 0 and an empty slot 1.
    static CGTAServer& server = *new CGTAServer();
    static Tessera3D::NetPeer peers[2];
    peers[0] = peers[1] = Tessera3D::NetPeer{};
    server.GetMachines().Release(0);
    server.GetMachines().Release(1);
    auto pClient = Tessera3D::MakeStrong<CGTAClient>(&server.GetMachines());
    pClient->m_pPeer = &peers[0];
    pClient->m_Name = "Fuzzer";
    pClient->m_bGameFilesVerified = state & 1;
    pClient->m_bInGame = state & 2;
    server.GetMachines().Set(0, pClient.Get());

    auto pPayload = Tessera3D::MakeStrong<Tessera3D::CMemoryStream>(static_cast<const void*>(pData + 5), size - 5);
    server.ProcessPacket(&peers[(state & 4) ? 1 : 0], id, pPayload.Get());
    return 0;
}
