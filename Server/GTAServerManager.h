#pragma once
// The game layer's element manager: the element manager that knows the element kinds of the served
// games.
#include "Multiplayer/NetObjectMgr.h"

class CGTAServer;

class CGTAServerManager : public CNetObjectMgr {
public:
    CGTAServerManager(CGTAServer* pServer, CNetMachines* pMachines);

    // A new unregistered element of the kind the type mask names, or null for a type that is not
    // an element kind of the served games.
    CNetObject* Create(int32_t type) override;

    CGTAServer* GetServer() const { return m_pServer; }

private:
    CGTAServer* m_pServer;
};
