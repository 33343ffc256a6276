#include "Scripting/ServerEvents.h"

namespace Tessera3D {

namespace {

const SEventDeclaration kResourceEvents[] = {
    {"OnResourceStart", "Called when a resource starts", 1, true, 0},
    {"OnResourceStop", "Called when a resource stops", 2, true, 0},
};

const SEventDeclaration kHostEvents[] = {
    {"OnPlayerConnect", "Called when a player is attempting to connect", 1, true, -1},
    {"OnPlayerJoin", "Called when a player has connected and is joining", 1, false, -1},
    {"OnPlayerJoined", "Called when the player has joined the game", 1, false, -1},
    {"OnPlayerQuit", "Called when a player disconnects", 2, false, -1},
    {"OnPlayerChat", "Called when a player chats", 2, true, -1},
    {"OnPlayerCommand", "Called when a player types a command", 3, true, -1},
    {"OnProcess", "Called every process", 1, false, -1},
    {"OnServerStart", "Called when the server finished the start sequence", 0, false, -1},
};

const SEventDeclaration kElementEvents[] = {
    {"OnElementStreamIn", "Called when an element is about to stream in", 2, true, 0},
    {"OnElementStreamOut", "Called when an element is about to stream out", 2, true, 0},
    {"OnElementDestroy", "Called when an element is about to be destroyed", 1, true, 0},
};

const SEventDeclaration kGameEvents[] = {
    {"OnPedCrouch", "Called when a ped starts crouching", 1, false, -1},
    {"OnPedEnterVehicle", "Called when a ped is entering a vehicle.", 3, true, -1},
    {"OnPedExitVehicle", "Called when a ped is exiting a vehicle.", 2, true, -1},
    {"OnPedFall", "Called when a ped starts falling to floor", 4, false, -1},
    {"OnPedJump", "Called when a ped starts jumping", 1, false, -1},
    {"OnPedSpawn", "Called when a ped is spawned.", 1, false, -1},
    {"OnPedUncrouch", "Called when a ped starts uncrouching", 1, false, -1},
    {"OnPedWasted", "Called when a ped is wasted.", 5, false, -1},
    {"OnPickupCollected", "Called when a pickup is collected", 2, false, -1},
    {"OnRequestSession", "Called when a session is requested", 2, true, 0},
    {"OnAddIVNetworkEvent", "Called when IV adds a network event", 5, false, 0},
};

template <size_t N>
SEventDeclarations Of(const SEventDeclaration (&entries)[N]) {
    return {entries, N};
}

} // namespace

SEventDeclarations GetResourceEventDeclarations() { return Of(kResourceEvents); }
SEventDeclarations GetHostEventDeclarations() { return Of(kHostEvents); }
SEventDeclarations GetElementEventDeclarations() { return Of(kElementEvents); }
SEventDeclarations GetGameEventDeclarations() { return Of(kGameEvents); }

size_t DeclareEvents(EventHandlers::CEventHandlers& events, SEventDeclarations declarations) {
    size_t declared = 0;
    for (size_t i = 0; i < declarations.m_Count; ++i) {
        const SEventDeclaration& entry = declarations.m_pEntries[i];
        EventHandlers::CEventType* pType =
            events.CreateEventType(entry.m_Name, entry.m_Description, entry.m_ArgumentCount, entry.m_bCancellable);
        if (!pType) continue;
        pType->SetSourceIndex(entry.m_SourceIndex);
        ++declared;
    }
    return declared;
}

} // namespace Tessera3D
