#include "ElementFactory.h"

#include "Blip.h"
#include "Building.h"
#include "Dummy.h"
#include "Marker.h"
#include "Object.h"
#include "Pickup.h"
#include "Player.h"
#include "Train.h"

CNetObject* CreateGameElement(int32_t type, CNetObjectMgr* pManager, IGameElementHost* pHost) {
    switch (type) {
    case ELEMENT_PED: return new CServerPed(pManager, pHost);
    case ELEMENT_PLAYER: return new CServerPlayer(pManager, pHost);
    case ELEMENT_VEHICLE: return new CServerVehicle(pManager, pHost);
    case ELEMENT_BLIP: return new CServerBlip(pManager, pHost);
    case ELEMENT_OBJECT: return new CServerObject(pManager, pHost);
    case ELEMENT_BUILDING: return new CServerBuilding(pManager, pHost);
    case ELEMENT_TRAIN: return new CServerTrain(pManager, pHost);
    case ELEMENT_PICKUP: return new CServerPickup(pManager, pHost);
    case ELEMENT_MARKER: return new CServerMarker(pManager, pHost);
    case ELEMENT_DUMMY: return new CServerDummy(pManager, pHost);
    default: return nullptr;
    }
}
