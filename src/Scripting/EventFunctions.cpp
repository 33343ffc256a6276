// The script functions of events and the classes Event and CancellableEvent.
#include "Scripting/EventHandlers.h"

#include "Engine/Log.h"
#include "Engine/NativeState.h"
#include "Engine/ReflectedNamespace.h"

namespace Tessera3D {
namespace EventHandlers {

namespace {

CEventHandlers* Registry(void* pUser) { return static_cast<CEventHandlers*>(pUser); }

// addEvent(name[, argumentCount]): declares a cancellable event without a source; an existing name
// stays as it is.
bool AddEvent(CNativeState* pState, int argumentCount, void* pUser) {
    const char* name = pState->CheckString(0);
    if (!name) return false;
    int32_t count = -1;
    if (argumentCount > 1 && !pState->CheckNumber(1, count)) return false;
    Registry(pUser)->CreateEventType(name, "", count, true);
    pState->m_RVal.AddBoolean(true);
    return true;
}

bool AddEventHandler(CNativeState* pState, int argumentCount, void* pUser) {
    const char* name = pState->CheckString(0);
    if (!name) return false;
    CFunction* pFunction = pState->CheckFunction(1);
    if (!pFunction) return false;
    CEventType* pType = Registry(pUser)->FindEventType(name);
    if (!pType) {
        LogWarn("AddEventHandler: Event '%s' doesn't exist", name);
        pState->m_RVal.AddBoolean(false);
        return true;
    }
    pType->AddHandler(std::make_unique<CScriptEventHandler>(Registry(pUser), pState->m_pCaller, nullptr, pFunction));
    pState->m_RVal.AddBoolean(true);
    return true;
}

bool RemoveEventHandler(CNativeState* pState, int argumentCount, void* pUser) {
    const char* name = pState->CheckString(0);
    if (!name) return false;
    CEventType* pType = Registry(pUser)->FindEventType(name);
    pState->m_RVal.AddBoolean(pType && pType->RemoveHandlers(pState->m_pCaller) > 0);
    return true;
}

bool BindEventHandler(CNativeState* pState, int argumentCount, void* pUser) {
    const char* name = pState->CheckString(0);
    if (!name) return false;
    CBaseObject* pSource = pState->CheckReferenceable(1);
    if (!pSource) return false;
    CFunction* pFunction = pState->CheckFunction(2);
    if (!pFunction) return false;
    CEventType* pType = Registry(pUser)->FindEventType(name);
    if (!pType) return pState->Error("Event '%s' doesn't exist", name);
    if (!pType->IsBindable()) return pState->Error("Event '%s' is not bindable", name);
    pType->AddHandler(std::make_unique<CScriptEventHandler>(Registry(pUser), pState->m_pCaller, pSource, pFunction));
    pState->m_RVal.AddBoolean(true);
    return true;
}

bool UnbindEventHandler(CNativeState* pState, int argumentCount, void* pUser) {
    const char* name = pState->CheckString(0);
    if (!name) return false;
    CBaseObject* pSource = pState->CheckReferenceable(1);
    if (!pSource) return false;
    CEventType* pType = Registry(pUser)->FindEventType(name);
    pState->m_RVal.AddBoolean(pType && pType->RemoveHandlersWithSource(pSource, pState->m_pCaller) > 0);
    return true;
}

// triggerEvent(name[, object, values...]): the second argument only has to be an object or null; the
// values from the third on are the trigger's. The result is the default-prevented flag.
bool TriggerEvent(CNativeState* pState, int argumentCount, void* pUser) {
    const char* name = pState->CheckString(0);
    if (!name) return false;
    if (argumentCount > 1) {
        CArgument* pObject = pState->GetArgument(1);
        if (!pObject->IsObject() && !pObject->IsNull()) return pState->Error("Expected %s for argument %d", "Instance", 2);
    }
    CEventType* pType = Registry(pUser)->FindEventType(name);
    if (!pType) return pState->Error("Event '%s' doesn't exist", name);
    CArgumentArray values(argumentCount > 2 ? static_cast<size_t>(argumentCount - 2) : 0);
    for (int i = 2; i < argumentCount; ++i) values.Add(pState->GetArgument(i));
    bool prevented = false;
    pType->Trigger(values, prevented);
    pState->m_RVal.AddBoolean(prevented);
    return true;
}

// 'this' as an event of the class (or one derived from it).
template <typename T>
T* GetEvent(CNativeState* pState, ReflectedClass* pClass) {
    CBaseObject* pObject = nullptr;
    if (!pState->GetThis(pClass, &pObject)) return nullptr;
    T* pEvent = dynamic_cast<T*>(pObject);
    if (!pEvent) pState->Error("%s expected for 'this'", pClass->GetName());
    return pEvent;
}

bool GetName(CNativeState* pState, int argumentCount, void* pUser) {
    CEvent* pEvent = GetEvent<CEvent>(pState, Registry(pUser)->GetEventClass());
    if (!pEvent) return false;
    pState->m_RVal.AddString(pEvent->GetName().data(), pEvent->GetName().size());
    return true;
}

bool GetDescription(CNativeState* pState, int argumentCount, void* pUser) {
    CEvent* pEvent = GetEvent<CEvent>(pState, Registry(pUser)->GetEventClass());
    if (!pEvent) return false;
    pState->m_RVal.AddString(pEvent->GetDescription().data(), pEvent->GetDescription().size());
    return true;
}

bool PreventDefault(CNativeState* pState, int argumentCount, void* pUser) {
    auto* pEvent = GetEvent<CCancellableEvent>(pState, Registry(pUser)->GetCancellableEventClass());
    if (!pEvent) return false;
    pEvent->PreventDefault();
    return true;
}

bool IsDefaultPrevented(CNativeState* pState, int argumentCount, void* pUser) {
    auto* pEvent = GetEvent<CCancellableEvent>(pState, Registry(pUser)->GetCancellableEventClass());
    if (!pEvent) return false;
    pState->m_RVal.AddBoolean(pEvent->IsDefaultPrevented());
    return true;
}

} // namespace

void CEventHandlers::RegisterFunctions(ReflectedNamespace* pGlobal) {
    pGlobal->RegisterFunction("addEvent", "s|i", AddEvent, this);
    pGlobal->RegisterFunction("addEventHandler", "sc", AddEventHandler, this);
    pGlobal->RegisterFunction("removeEventHandler", "s", RemoveEventHandler, this);
    pGlobal->RegisterFunction("bindEventHandler", "sxc", BindEventHandler, this);
    pGlobal->RegisterFunction("unbindEventHandler", "sx", UnbindEventHandler, this);
    pGlobal->RegisterFunction("triggerEvent", "s|x*", TriggerEvent, this);

    ReflectedClass* pEventClass = pGlobal->NewClass("Event", nullptr);
    pEventClass->AddProperty(this, "name", ARGUMENT_STRING, GetName, nullptr);
    pEventClass->AddProperty(this, "description", ARGUMENT_STRING, GetDescription, nullptr);
    ReflectedClass* pCancellableClass = pGlobal->NewClass("CancellableEvent", pEventClass);
    pCancellableClass->RegisterFunction("preventDefault", "t", PreventDefault, this);
    pCancellableClass->RegisterFunction("isDefaultPrevented", "t", IsDefaultPrevented, this);
    SetClasses(pEventClass, pCancellableClass);
}

} // namespace EventHandlers
} // namespace Tessera3D
