#pragma once
// The game layer's element manager: the element manager that knows the element kinds of the served
// games.
#include "Multiplayer/NetObjectMgr.h"

#include "Engine/Mathematics/Vector3D.h"

class CGTAServer;
class CServerPlayer;

class CGTAServerManager : public CNetObjectMgr {
public:
    CGTAServerManager(CGTAServer* pServer, CNetMachines* pMachines);

    // A new unregistered element of the kind the type mask names, or null for a type that is not
    // an element kind of the served games.
    CNetObject* Create(int32_t type) override;

    // Gives the client a new player element at the position: the one it had is destroyed first (with
    // its deletion messages) and unbound; the new one has the skin as its model, the client as its
    // forced syncer, the heading, interior and dimension; it is registered, bound as the client's
    // player, created for the client at once (the client is then told it plays it), and OnPedSpawn is
    // raised. Null when the client is null or the element cannot be registered.
    CServerPlayer* SpawnPlayer(CNetMachine* pClient, const Tessera3D::CVector3D& position, float heading, int32_t skin,
                               uint8_t interior, int32_t dimension);

    CGTAServer* GetServer() const { return m_pServer; }

private:
    CGTAServer* m_pServer;
};
