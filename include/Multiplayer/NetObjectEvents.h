#pragma once
// The script events the element manager raises, and the seam through which it raises them: the
// server implements it on top of its event registry.
#include <cstdint>

class CNetObject;
class CNetMachine;

enum eNetObjectEvent : uint8_t {
    NETOBJECT_EVENT_STREAM_IN,  // element, client
    NETOBJECT_EVENT_STREAM_OUT, // element, client
    NETOBJECT_EVENT_DESTROY,    // element
    NETOBJECT_EVENT_COUNT,
};

struct CNetObjectEventInfo {
    const char* m_Name;
    const char* m_Description;
};

// Names and descriptions the events are registered under; all three can be cancelled.
constexpr CNetObjectEventInfo NETOBJECT_EVENTS[NETOBJECT_EVENT_COUNT] = {
    {"OnElementStreamIn", "Called when an element is about to stream in"},
    {"OnElementStreamOut", "Called when an element is about to stream out"},
    {"OnElementDestroy", "Called when an element is about to be destroyed"},
};

class INetObjectEvents {
public:
    // Raises the event with the element (and the client, null for OnElementDestroy); false when a
    // handler cancelled it.
    virtual bool TriggerNetObjectEvent(eNetObjectEvent event, CNetObject* pElement, CNetMachine* pMachine) = 0;
    // The element is leaving the table: event handlers that have it as their source go with it.
    virtual void RemoveNetObjectHandlers(CNetObject* pElement) {}

protected:
    ~INetObjectEvents() = default;
};
