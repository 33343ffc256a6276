#include "Scripting/EventHandlers.h"

#include "Engine/Hash.h"
#include "Engine/Log.h"

#include <algorithm>

namespace Tessera3D {
namespace EventHandlers {

CEvent::CEvent(CEventType* pType) : m_pType(pType) {}

const std::string& CEvent::GetName() const { return m_pType->GetName(); }

const std::string& CEvent::GetDescription() const { return m_pType->GetDescription(); }

CCancellableEvent::CCancellableEvent(CEventType* pType) : CEvent(pType) {}

void CScriptEventHandler::Execute(CEvent* pEvent, const char*, const CArgumentArray& arguments) {
    CArgumentArray values(arguments.GetCount() + 1);
    values.AddObject(pEvent);
    for (const Strong<CArgument>& pValue : arguments) values.Add(pValue.Get());
    CReturnValue result;
    m_pFunction->Call(values, &result);
}

// ---------------------------------------------------------------------------------------------

CEventType::CEventType(CEventHandlers* pOwner, uint32_t key, const char* name, const char* description,
                       int32_t argumentCount, bool cancellable)
    : m_pOwner(pOwner), m_Key(key), m_Name(name ? name : ""), m_Description(description ? description : ""),
      m_ArgumentCount(argumentCount), m_bCancellable(cancellable) {}

CEventType::~CEventType() = default;

void CEventType::AddHandler(std::unique_ptr<CEventHandler> pHandler) {
    if (pHandler) m_Handlers.push_back(std::move(pHandler));
}

bool CEventType::Trigger(const CArgumentArray& arguments) {
    Strong<CEvent> pEvent = Strong<CEvent>::Adopt(m_pOwner->NewEvent(this));
    return TriggerWithEvent(pEvent.Get(), arguments);
}

bool CEventType::Trigger(const CArgumentArray& arguments, bool& prevented) {
    if (!m_bCancellable)
        LogWarn("Trigger: Event '%s' used with 'preventDefault' but not registered that way", m_Name.c_str());
    Strong<CCancellableEvent> pEvent = Strong<CCancellableEvent>::Adopt(m_pOwner->NewCancellableEvent(this));
    const bool ran = TriggerWithEvent(pEvent.Get(), arguments);
    prevented = pEvent->IsDefaultPrevented();
    return ran;
}

bool CEventType::TriggerWithEvent(CEvent* pEvent, const CArgumentArray& arguments) {
    const int32_t given = static_cast<int32_t>(std::min<size_t>(arguments.GetCount(), INT32_MAX));
    if (m_ArgumentCount != -1 && given < m_ArgumentCount)
        LogWarn("TriggerWithEvent: Event '%s' triggered with %d arguments but requires %d arguments", m_Name.c_str(),
                given, m_ArgumentCount);

    CBaseObject* pSource = nullptr;
    if (m_SourceIndex >= 0) {
        const CArgument* pValue = arguments.Get(static_cast<size_t>(m_SourceIndex));
        if (pValue && pValue->IsObject()) pSource = pValue->ToObject();
    }

    // Handlers added from here on are not part of this trigger; removed ones stay in place (marked)
    // until the outermost trigger ends, so indices stay valid.
    const size_t count = m_Handlers.size();
    bool ran = false;
    ++m_TriggerDepth;
    for (size_t i = 0; i < count; ++i) {
        CEventHandler& handler = *m_Handlers[i];
        if (handler.m_bDeleted) continue;
        if (handler.m_bBound) {
            if (!handler.GetSource()) {
                Remove(handler);
                continue;
            }
            if (handler.GetSource() != pSource) continue;
        }
        handler.Execute(pEvent, nullptr, arguments);
        ran = true;
    }
    if (--m_TriggerDepth == 0) FreeRemoved();
    return ran;
}

bool CEventType::Remove(CEventHandler& handler) {
    if (handler.m_bDeleted) return false;
    handler.m_bDeleted = true;
    m_bHasRemoved = true;
    if (m_TriggerDepth == 0) FreeRemoved();
    return true;
}

void CEventType::FreeRemoved() {
    if (!m_bHasRemoved) return;
    m_bHasRemoved = false;
    // Handlers' destructors release script functions, which may run arbitrary code: take them out of
    // the list first.
    std::vector<std::unique_ptr<CEventHandler>> removed;
    auto keep = std::stable_partition(m_Handlers.begin(), m_Handlers.end(),
                                      [](const std::unique_ptr<CEventHandler>& p) { return !p->m_bDeleted; });
    std::move(keep, m_Handlers.end(), std::back_inserter(removed));
    m_Handlers.erase(keep, m_Handlers.end());
}

size_t CEventType::RemoveHandlers(CBaseObject* pResource) {
    size_t removed = 0;
    ++m_TriggerDepth; // frees once, at the end
    for (size_t i = 0; i < m_Handlers.size(); ++i) {
        CEventHandler& handler = *m_Handlers[i];
        if (!pResource || handler.GetResource() == pResource) removed += Remove(handler) ? 1 : 0;
    }
    if (--m_TriggerDepth == 0) FreeRemoved();
    return removed;
}

size_t CEventType::RemoveHandlersWithSource(CBaseObject* pSource, CBaseObject* pResource) {
    if (!pSource) return 0;
    size_t removed = 0;
    ++m_TriggerDepth;
    for (size_t i = 0; i < m_Handlers.size(); ++i) {
        CEventHandler& handler = *m_Handlers[i];
        if (!handler.m_bBound || handler.GetSource() != pSource) continue;
        if (pResource && handler.GetResource() != pResource) continue;
        removed += Remove(handler) ? 1 : 0;
    }
    if (--m_TriggerDepth == 0) FreeRemoved();
    return removed;
}

size_t CEventType::GetHandlerCount() const {
    return static_cast<size_t>(std::count_if(m_Handlers.begin(), m_Handlers.end(),
                                             [](const std::unique_ptr<CEventHandler>& p) { return !p->m_bDeleted; }));
}

// ---------------------------------------------------------------------------------------------

CEventHandlers::CEventHandlers() = default;

CEventHandlers::~CEventHandlers() = default;

CEventType* CEventHandlers::CreateEventType(const char* name, const char* description, int32_t argumentCount,
                                            bool cancellable) {
    if (!name) return nullptr;
    const uint32_t key = CRC32Hash::NameKey(name);
    if (m_Types.count(key)) return nullptr;
    auto pType = std::make_unique<CEventType>(this, key, name, description, argumentCount, cancellable);
    CEventType* pResult = pType.get();
    m_Types.emplace(key, std::move(pType));
    m_Order.push_back(pResult);
    return pResult;
}

CEventType* CEventHandlers::FindEventType(const char* name) const {
    if (!name) return nullptr;
    auto it = m_Types.find(CRC32Hash::NameKey(name));
    return it == m_Types.end() ? nullptr : it->second.get();
}

size_t CEventHandlers::RemoveHandlers(CBaseObject* pResource) {
    size_t removed = 0;
    for (CEventType* pType : m_Order) removed += pType->RemoveHandlers(pResource);
    return removed;
}

size_t CEventHandlers::RemoveHandlersWithSource(CBaseObject* pSource) {
    size_t removed = 0;
    for (CEventType* pType : m_Order) removed += pType->RemoveHandlersWithSource(pSource, nullptr);
    return removed;
}

CEvent* CEventHandlers::NewEvent(CEventType* pType) {
    auto* pEvent = new CEvent(pType);
    pEvent->SetReflectedClass(m_pEventClass);
    return pEvent;
}

CCancellableEvent* CEventHandlers::NewCancellableEvent(CEventType* pType) {
    auto* pEvent = new CCancellableEvent(pType);
    pEvent->SetReflectedClass(m_pCancellableEventClass);
    return pEvent;
}

} // namespace EventHandlers
} // namespace Tessera3D
