#include "Scripting/KeyBinds.h"

#include "Engine/ArgumentArray.h"

#include <algorithm>

namespace Tessera3D {

bool CKeyEvent::Read(CBinaryReader& reader) {
    uint8_t down = 0;
    uint32_t scanCode = 0, keyCode = 0, repeatCount = 0;
    uint16_t modState = 0;
    if (!reader.ReadUInt8(down) || !reader.ReadUInt32(scanCode) || !reader.ReadUInt32(keyCode) ||
        !reader.ReadUInt16(modState) || !reader.ReadUInt32(repeatCount))
        return false;
    m_bDown = (down & 1) != 0;
    m_ScanCode = static_cast<int32_t>(scanCode);
    m_KeyCode = static_cast<int32_t>(keyCode);
    m_ModState = modState;
    m_RepeatCount = static_cast<int32_t>(repeatCount);
    return true;
}

bool CKeyEvent::Write(CBinaryWriter& writer) const {
    return writer.WriteUInt8(m_bDown ? 1 : 0) && writer.WriteUInt32(static_cast<uint32_t>(m_ScanCode)) &&
           writer.WriteUInt32(static_cast<uint32_t>(m_KeyCode)) && writer.WriteUInt16(m_ModState) &&
           writer.WriteUInt32(static_cast<uint32_t>(m_RepeatCount));
}

void CScriptKeyBind::Execute(CBaseObject* client, CKeyEvent* pEvent) {
    CArgumentArray arguments(2);
    arguments.AddObject(pEvent);
    if (GetOwner() && GetOwner()->GetPassClient()) arguments.AddObject(client);
    CReturnValue result;
    m_pFunction->Call(arguments, &result);
}

// ---------------------------------------------------------------------------------------------

CKeyBinds::CKeyBinds() = default;

CKeyBinds::~CKeyBinds() = default;

void CKeyBinds::AddBind(std::unique_ptr<CKeyBind> pBind) {
    if (!pBind) return;
    pBind->m_pOwner = this;
    m_Binds[pBind->GetKeyCode()].push_back(std::move(pBind));
}

void CKeyBinds::BindKey(uint32_t keyCode, int32_t keyState, CFunction* pFunction, bool repeat, CBaseObject* pResource) {
    if (!pFunction) return;
    AddBind(std::make_unique<CScriptKeyBind>(pResource, keyCode, keyState, repeat, pFunction));
}

bool CKeyBinds::Remove(CKeyBind& bind) {
    if (bind.m_bDeleted) return false;
    bind.m_bDeleted = true;
    m_bHasRemoved = true;
    return true;
}

void CKeyBinds::FreeRemoved() {
    if (!m_bHasRemoved || m_IterationDepth > 0) return;
    m_bHasRemoved = false;
    // Destructors release script functions, which may run code: unlink everything first.
    std::vector<std::unique_ptr<CKeyBind>> removed;
    for (auto it = m_Binds.begin(); it != m_Binds.end();) {
        BindList& list = it->second;
        auto keep = std::stable_partition(list.begin(), list.end(),
                                          [](const std::unique_ptr<CKeyBind>& p) { return !p->m_bDeleted; });
        std::move(keep, list.end(), std::back_inserter(removed));
        list.erase(keep, list.end());
        it = list.empty() ? m_Binds.erase(it) : std::next(it);
    }
}

bool CKeyBinds::UnbindKey(uint32_t keyCode, CBaseObject* pResource) {
    auto it = m_Binds.find(keyCode);
    if (it == m_Binds.end()) return false;
    bool removed = false;
    for (const std::unique_ptr<CKeyBind>& pBind : it->second)
        if (!pResource || pBind->GetResource() == pResource) removed |= Remove(*pBind);
    FreeRemoved();
    return removed;
}

size_t CKeyBinds::UnbindAllKeys(CBaseObject* pResource) {
    size_t removed = 0;
    for (auto& entry : m_Binds)
        for (const std::unique_ptr<CKeyBind>& pBind : entry.second)
            if (!pResource || pBind->GetResource() == pResource) removed += Remove(*pBind) ? 1 : 0;
    FreeRemoved();
    return removed;
}

bool CKeyBinds::HandleKeyEvent(CKeyEvent* pEvent, CBaseObject* client) {
    if (!pEvent) return false;
    auto it = m_Binds.find(static_cast<uint32_t>(pEvent->m_KeyCode));
    if (it == m_Binds.end()) return false;
    // The list of this key stays in place while the depth is raised (removals only mark, and the map
    // entry is not erased); binds appended meanwhile lie beyond count.
    BindList& list = it->second;
    const size_t count = list.size();
    // The repeat count travels unsigned: any non-zero count is a repeat.
    const bool repeated = static_cast<uint32_t>(pEvent->m_RepeatCount) != 0;
    bool ran = false;
    ++m_IterationDepth;
    for (size_t i = 0; i < count; ++i) {
        CKeyBind& bind = *list[i];
        if (bind.m_bDeleted) continue;
        if (repeated && !bind.m_bRepeat) continue;
        const bool matches = bind.m_KeyState == KEYSTATE_BOTH || (bind.m_KeyState == KEYSTATE_DOWN && pEvent->m_bDown) ||
                             (bind.m_KeyState == KEYSTATE_UP && !pEvent->m_bDown);
        if (!matches) continue;
        bind.Execute(client, pEvent);
        ran = true;
    }
    --m_IterationDepth;
    FreeRemoved();
    return ran;
}

bool CKeyBinds::HandleKeyEventMessage(Stream* pPayload, CBaseObject* client) {
    Strong<CKeyEvent> pEvent = Strong<CKeyEvent>::Adopt(NewKeyEvent());
    CBinaryReader reader(pPayload);
    if (!pEvent->Read(reader)) return false;
    HandleKeyEvent(pEvent.Get(), client);
    return true;
}

size_t CKeyBinds::GetBindCount() const {
    size_t count = 0;
    for (const auto& entry : m_Binds)
        for (const std::unique_ptr<CKeyBind>& pBind : entry.second) count += pBind->m_bDeleted ? 0 : 1;
    return count;
}

CKeyEvent* CKeyBinds::NewKeyEvent() {
    auto* pEvent = new CKeyEvent(this);
    pEvent->SetReflectedClass(m_pKeyEventClass);
    return pEvent;
}

} // namespace Tessera3D
