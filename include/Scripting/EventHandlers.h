#pragma once
// Events: named channels between the server and its scripts. The server and scripts trigger an event
// type with a list of script values; every matching handler is called with one shared event object
// followed by clones of the values. Cancellable triggers report whether a handler prevented the
// default, so the triggering code can veto its action.
//
// Handlers may add and remove handlers of the type that is being triggered (nested triggers included):
// - a handler added during a trigger first runs in the next trigger that starts after it was added;
// - a handler removed during a trigger never runs again, not even later in the same trigger; it is
//   only marked, and freed when the outermost trigger of its type has finished.
// A bound handler whose source object has gone (its weak reference emptied) is removed the same way
// the first time a trigger meets it: it never turns into a handler that hears every trigger.
#include "Engine/ArgumentArray.h"
#include "Engine/BaseObject.h"
#include "Engine/Function.h"
#include "Engine/References.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Tessera3D {

class ReflectedClass;
class ReflectedNamespace;

namespace EventHandlers {

class CEventHandlers;
class CEventType;

// The object every handler of one trigger receives first. Scripts may keep it; after the trigger it
// influences nothing.
class CEvent : public CBaseObject {
public:
    explicit CEvent(CEventType* pType);

    CEventType* GetType() const { return m_pType; }
    const std::string& GetName() const;
    const std::string& GetDescription() const;

private:
    CEventType* m_pType;
};

class CCancellableEvent : public CEvent {
public:
    explicit CCancellableEvent(CEventType* pType);

    void PreventDefault() { m_bDefaultPrevented = true; }
    bool IsDefaultPrevented() const { return m_bDefaultPrevented; }

private:
    bool m_bDefaultPrevented = false;
};

class CEventHandler {
public:
    virtual ~CEventHandler() = default;
    CEventHandler(const CEventHandler&) = delete;
    CEventHandler& operator=(const CEventHandler&) = delete;

    // Runs the handler for a trigger; name is not used by the handlers here (triggers pass null).
    virtual void Execute(CEvent* pEvent, const char* name, const CArgumentArray& arguments) = 0;

    // The resource whose script added the handler (null for the host's own); used only as an identity.
    CBaseObject* GetResource() const { return m_pResource; }
    // The object the handler is bound to; null for an unbound handler or a bound one whose object went.
    CBaseObject* GetSource() const { return m_pSource.Get(); }
    bool IsBound() const { return m_bBound; }
    // Removed during a trigger and waiting to be freed.
    bool IsDeleted() const { return m_bDeleted; }

protected:
    // A null source makes a handler that hears every trigger.
    CEventHandler(CBaseObject* pResource, CBaseObject* pSource)
        : m_pResource(pResource), m_pSource(pSource), m_bBound(pSource != nullptr) {}

private:
    friend class CEventType;

    CBaseObject* m_pResource;
    Weak<CBaseObject> m_pSource;
    bool m_bBound;
    bool m_bDeleted = false;
};

// Calls a script function with the event object followed by clones of the trigger's values; the
// function's result and failure are ignored.
class CScriptEventHandler : public CEventHandler {
public:
    CScriptEventHandler(CEventHandlers* pOwner, CBaseObject* pResource, CBaseObject* pSource, CFunction* pFunction)
        : CEventHandler(pResource, pSource), m_pOwner(pOwner), m_pFunction(pFunction) {}

    void Execute(CEvent* pEvent, const char* name, const CArgumentArray& arguments) override;

    CEventHandlers* GetOwner() const { return m_pOwner; }
    CFunction* GetFunction() const { return m_pFunction.Get(); }

private:
    CEventHandlers* m_pOwner;
    Strong<CFunction> m_pFunction;
};

class CEventType {
public:
    CEventType(CEventHandlers* pOwner, uint32_t key, const char* name, const char* description, int32_t argumentCount,
               bool cancellable);
    ~CEventType();
    CEventType(const CEventType&) = delete;
    CEventType& operator=(const CEventType&) = delete;

    CEventHandlers* GetOwner() const { return m_pOwner; }
    uint32_t GetKey() const { return m_Key; }
    const std::string& GetName() const { return m_Name; }
    const std::string& GetDescription() const { return m_Description; }
    // How many values a trigger must supply; -1 when any number will do.
    int32_t GetArgumentCount() const { return m_ArgumentCount; }
    bool IsCancellable() const { return m_bCancellable; }
    void SetCancellable(bool cancellable) { m_bCancellable = cancellable; }
    // The position of the value naming the object the event is about; -1 when handlers cannot be bound.
    int32_t GetSourceIndex() const { return m_SourceIndex; }
    void SetSourceIndex(int32_t index) { m_SourceIndex = index; }
    bool IsBindable() const { return m_SourceIndex != -1; }

    // Appends a handler (the type owns it from now on).
    void AddHandler(std::unique_ptr<CEventHandler> pHandler);

    // A trigger with a plain event object; true when at least one handler ran.
    bool Trigger(const CArgumentArray& arguments);
    // A trigger with a cancellable event object; prevented receives its flag after all handlers ran.
    // A type not declared cancellable is warned about, and still triggered.
    bool Trigger(const CArgumentArray& arguments, bool& prevented);
    bool TriggerWithEvent(CEvent* pEvent, const CArgumentArray& arguments);

    // Removes every handler the resource added (every handler when it is null); returns how many.
    size_t RemoveHandlers(CBaseObject* pResource);
    // Removes the handlers bound to the source (and added by the resource, when one is given); a null
    // source removes nothing.
    size_t RemoveHandlersWithSource(CBaseObject* pSource, CBaseObject* pResource);

    // Handlers that are not removed.
    size_t GetHandlerCount() const;
    bool IsTriggering() const { return m_TriggerDepth > 0; }

private:
    bool Remove(CEventHandler& handler);
    void FreeRemoved();

    CEventHandlers* m_pOwner;
    std::vector<std::unique_ptr<CEventHandler>> m_Handlers;
    uint32_t m_Key;
    std::string m_Name;
    std::string m_Description;
    int32_t m_ArgumentCount;
    bool m_bCancellable;
    int32_t m_SourceIndex = -1;
    int32_t m_TriggerDepth = 0;
    bool m_bHasRemoved = false;
};

// The event registry: event types by the key of their case-insensitive name.
class CEventHandlers {
public:
    CEventHandlers();
    ~CEventHandlers();
    CEventHandlers(const CEventHandlers&) = delete;
    CEventHandlers& operator=(const CEventHandlers&) = delete;

    // Declares a type without a source; null, with nothing changed, when the name is already in use.
    CEventType* CreateEventType(const char* name, const char* description, int32_t argumentCount, bool cancellable);
    CEventType* FindEventType(const char* name) const;
    // Types in the order they were declared.
    const std::vector<CEventType*>& GetEventTypes() const { return m_Order; }

    // Over every type: the handlers a resource added (all when null), or those bound to an object
    // that is about to go. Return how many were removed.
    size_t RemoveHandlers(CBaseObject* pResource);
    size_t RemoveHandlersWithSource(CBaseObject* pSource);

    // A new event object of the type, given the reflected class that scripts see it as.
    CEvent* NewEvent(CEventType* pType);
    CCancellableEvent* NewCancellableEvent(CEventType* pType);

    // The script API: addEvent, addEventHandler, removeEventHandler, bindEventHandler,
    // unbindEventHandler, triggerEvent and the classes Event and CancellableEvent. Handlers that scripts
    // add record the calling resource (the caller of the call).
    void RegisterFunctions(ReflectedNamespace* pGlobal);

    ReflectedClass* GetEventClass() const { return m_pEventClass; }
    ReflectedClass* GetCancellableEventClass() const { return m_pCancellableEventClass; }
    void SetClasses(ReflectedClass* pEventClass, ReflectedClass* pCancellableEventClass) {
        m_pEventClass = pEventClass;
        m_pCancellableEventClass = pCancellableEventClass;
    }

private:
    std::unordered_map<uint32_t, std::unique_ptr<CEventType>> m_Types;
    std::vector<CEventType*> m_Order;
    ReflectedClass* m_pEventClass = nullptr;
    ReflectedClass* m_pCancellableEventClass = nullptr;
};

} // namespace EventHandlers
} // namespace Tessera3D
