#include "GTAServerManager.h"

#include "Elements/ElementFactory.h"
#include "GTAServer.h"
#include "GameLayer.h"

CGTAServerManager::CGTAServerManager(CGTAServer* pServer, CNetMachines* pMachines)
    : CNetObjectMgr(pMachines), m_pServer(pServer) {}

CNetObject* CGTAServerManager::Create(int32_t type) {
    return CreateGameElement(type, this, m_pServer ? m_pServer->GetGameLayer() : nullptr);
}
