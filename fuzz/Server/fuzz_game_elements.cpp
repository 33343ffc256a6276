// Client bytes against the game's elements: sync and creation records read into each element kind (in
// GTA IV's payload family and the others'), and messages through the game server's dispatch from a
// client that syncs a ped, a vehicle and a pickup, with client-created elements allowed. The first
// byte picks what the rest is.
#include "GTAClient.h"
#include "GTAServer.h"
#include "GameLayer.h"

#include "Engine/MemoryStream.h"
#include "Engine/UnlimitedStream.h"
#include "Multiplayer/NetObjectMgr.h"

#include <cstdio>
#include <cstring>
#include <set>

using namespace Tessera3D;

namespace {

constexpr int32_t kTypes[] = {ELEMENT_PED, ELEMENT_PLAYER, ELEMENT_VEHICLE, ELEMENT_TRAIN, ELEMENT_OBJECT,
                              ELEMENT_BUILDING, ELEMENT_BLIP, ELEMENT_PICKUP, ELEMENT_MARKER, ELEMENT_DUMMY};

struct CFuzzWorld {
    CFuzzWorld() {
        CGameLayer* pLayer = m_Server.GetGameLayer();
        pLayer->GetSettings().m_bSyncLocalEntities = true;
        pLayer->GetSettings().m_bIVNativeMultiplayer = true;
        for (int i = 0; i < 2; ++i) {
            auto pClient = MakeStrong<CGTAClient>(&m_Server.GetMachines());
            pClient->m_pPeer = &m_Peers[i];
            pClient->m_bGameFilesVerified = true;
            pClient->m_bInGame = true;
            m_Server.GetMachines().Set(i, pClient.Get());
        }
        // Elements with ids the inputs can name: one of each kind, synced by client 0.
        for (int32_t type : kTypes) {
            Strong<CNetObject> pElement = Strong<CNetObject>::Adopt(Manager().Create(type));
            Manager().RegisterNetObject(pElement.Get());
            pElement->SetSyncer(m_Server.GetMachines().Get(0), false);
            m_Base.insert(pElement.Get());
        }
    }

    CNetObjectMgr& Manager() { return *m_Server.GetManager(); }

    // Elements an input added go again, so every input starts from the same table.
    void Reset() {
        std::vector<Strong<CNetObject>> added;
        Manager().ForEach([&](CNetObject& element) {
            if (!m_Base.count(&element)) added.emplace_back(&element);
        });
        for (const auto& pElement : added) Manager().DestroyObject(pElement.Get(), true, true);
    }

    CGTAServer m_Server;
    NetPeer m_Peers[2]{};
    std::set<CNetObject*> m_Base;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Colour warnings and refusals are logged; keep the fuzzer's output readable.
    if (!freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    if (size < 2) return 0;
    static CFuzzWorld& world = *new CFuzzWorld();
    const uint8_t mode = pData[0];
    world.m_Server.GetSettings().m_Game = (mode & 0x80) ? 5 : 1;
    auto pPayload = MakeStrong<CMemoryStream>(static_cast<const void*>(pData + 2), size - 2);

    switch (mode & 3) {
    case 0:
    case 1: {
        // A fresh element of the kind reads the record, then writes both of its records.
        Strong<CNetObject> pElement = Strong<CNetObject>::Adopt(world.Manager().Create(kTypes[pData[1] % std::size(kTypes)]));
        if ((mode & 3) == 0) pElement->ReadSyncPacket(pPayload.Get());
        else pElement->ReadCreatePacket(pPayload.Get());
        CUnlimitedStream out;
        pElement->WriteCreatePacket(&out);
        pElement->WriteSyncPacket(&out);
        break;
    }
    default:
        // A message from client 0 (or client 1 with bit 2): ids 101 to 164 cover the game layer's.
        world.m_Server.ProcessPacket(&world.m_Peers[(mode >> 2) & 1], 101u + (pData[1] & 63), pPayload.Get());
        break;
    }
    world.Reset();
    return 0;
}
