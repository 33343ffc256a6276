#include "GTAServerManager.h"

CGTAServerManager::CGTAServerManager(CGTAServer* pServer, CNetMachines* pMachines)
    : CNetObjectMgr(pMachines), m_pServer(pServer) {}

CNetObject* CGTAServerManager::Create(int32_t type) {
    // The element kinds of the served games come with the game layer's elements.
    return nullptr;
}
