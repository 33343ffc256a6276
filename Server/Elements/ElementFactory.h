#pragma once
// Makes the game's elements by type mask.
#include "GameElementHost.h"

#include <cstdint>

class CNetObject;
class CNetObjectMgr;

// A new unregistered element with its defaults and one reference owned by the caller, for the types
// ped, player, vehicle, blip, object, building, train, pickup, marker and dummy; null for any other.
CNetObject* CreateGameElement(int32_t type, CNetObjectMgr* pManager, IGameElementHost* pHost);
