#pragma once
// Buildings: static entities, streamed by distance, never synced by a client.
#include "Entity.h"

class CServerBuilding : public CServerEntity {
public:
    CServerBuilding(CNetObjectMgr* pManager, IGameElementHost* pHost) : CServerEntity(pManager, pHost) {
        SetType(ELEMENT_BUILDING);
        SetFlag(NETOBJECT_FIND_SYNCER | NETOBJECT_SEND_SYNC, false);
    }
};
