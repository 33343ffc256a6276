#pragma once
// The event types the server declares, in their groups and declaration order: the resource events
// (with the resource manager), the host's player, process and start events, then the element events
// and the game layer's events (when the game server is set up).
#include "Scripting/EventHandlers.h"

#include <cstddef>
#include <cstdint>

namespace Tessera3D {

struct SEventDeclaration {
    const char* m_Name;
    const char* m_Description;
    int32_t m_ArgumentCount;
    bool m_bCancellable;
    int32_t m_SourceIndex; // -1: handlers cannot be bound
};

struct SEventDeclarations {
    const SEventDeclaration* m_pEntries;
    size_t m_Count;
};

SEventDeclarations GetResourceEventDeclarations();
SEventDeclarations GetHostEventDeclarations();
SEventDeclarations GetElementEventDeclarations();
SEventDeclarations GetGameEventDeclarations();

// Declares each event of the group; a name already declared is left as it is. Returns how many were
// declared now.
size_t DeclareEvents(EventHandlers::CEventHandlers& events, SEventDeclarations declarations);

} // namespace Tessera3D
