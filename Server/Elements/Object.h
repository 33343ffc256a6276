#pragma once
// Placed objects: physical, streamed by distance, never synced by a client.
#include "Physical.h"

class CServerObject : public CServerPhysical {
public:
    CServerObject(CNetObjectMgr* pManager, IGameElementHost* pHost) : CServerPhysical(pManager, pHost) {
        SetType(ELEMENT_OBJECT);
        SetFlag(NETOBJECT_FIND_SYNCER | NETOBJECT_SEND_SYNC, false);
    }
};
