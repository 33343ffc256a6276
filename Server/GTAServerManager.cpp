#include "GTAServerManager.h"

#include "Elements/ElementFactory.h"
#include "Elements/Player.h"
#include "GTAServer.h"
#include "GameLayer.h"

CGTAServerManager::CGTAServerManager(CGTAServer* pServer, CNetMachines* pMachines)
    : CNetObjectMgr(pMachines), m_pServer(pServer) {}

CNetObject* CGTAServerManager::Create(int32_t type) {
    return CreateGameElement(type, this, m_pServer ? m_pServer->GetGameLayer() : nullptr);
}

CServerPlayer* CGTAServerManager::SpawnPlayer(CNetMachine* pClient, const Tessera3D::CVector3D& position, float heading,
                                              int32_t skin, uint8_t interior, int32_t dimension) {
    if (!pClient) return nullptr;
    if (CNetObject* pOld = pClient->GetPlayer()) DestroyObject(pOld, true, false);
    pClient->SetPlayer(nullptr);

    auto pPlayer = Tessera3D::Strong<CServerPlayer>::Adopt(static_cast<CServerPlayer*>(Create(ELEMENT_PLAYER)));
    if (!pPlayer) return nullptr;
    pPlayer->SetModelIndex(skin);
    pPlayer->SetSyncer(pClient, true);
    pPlayer->SetHeading(heading);
    pPlayer->SetPosition(position);
    pPlayer->SetInterior(interior);
    pPlayer->SetDimension(dimension);
    if (!RegisterNetObject(pPlayer.Get())) return nullptr;
    // Bound before it is created: the creation follows the stream-in test, which places a client
    // without a player in no dimension, so the other way round it would never pass and the client
    // would wait for the next streaming tick. The client is told again once it has the element, as
    // a streaming tick would tell it.
    pClient->SetPlayer(pPlayer.Get());
    SendCreatePacket(pClient, pPlayer.Get());
    if (pPlayer->IsCreatedFor(pClient->m_Index)) pClient->SendPlayer();
    pPlayer->OnSpawned();
    return pPlayer.Get();
}
