#pragma once
// Key binds: script functions called when a client reports a key, filtered by key state and repeat.
//
// Binds may be added and removed while a key event is being dispatched (from inside a bind's own
// function): a bind added during a dispatch first runs for the next key event; a bind removed during a
// dispatch is only marked and is skipped from then on, and every marked bind is freed when the
// outermost dispatch has finished.
#include "Engine/BaseObject.h"
#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Engine/Function.h"
#include "Engine/References.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace Tessera3D {

class CKeyBinds;
class ReflectedClass;
class ReflectedNamespace;

enum eKeyState : int32_t {
    KEYSTATE_UP = 0,
    KEYSTATE_DOWN = 1,
    KEYSTATE_BOTH = 2,
};

// One key report of a client (message 27), as the object binds receive.
class CKeyEvent : public CBaseObject {
public:
    explicit CKeyEvent(CKeyBinds* pOwner = nullptr) : m_pOwner(pOwner) {}

    // The message's payload: down (uint8, bit 0), scan code (uint32), key code (uint32), modifier
    // state (uint16), repeat count (uint32). False when it is cut short.
    bool Read(CBinaryReader& reader);
    bool Write(CBinaryWriter& writer) const;

    CKeyBinds* m_pOwner;
    bool m_bDefaultPrevented = false;
    int32_t m_ScanCode = 0;
    int32_t m_KeyCode = 0;
    uint16_t m_ModState = 0;
    int32_t m_RepeatCount = 0;
    bool m_bDown = false;
};

class CKeyBind {
public:
    CKeyBind(CBaseObject* pResource, uint32_t keyCode, int32_t keyState, bool repeat)
        : m_pResource(pResource), m_KeyCode(keyCode), m_KeyState(keyState), m_bRepeat(repeat) {}
    virtual ~CKeyBind() = default;
    CKeyBind(const CKeyBind&) = delete;
    CKeyBind& operator=(const CKeyBind&) = delete;

    virtual void Execute(CBaseObject* client, CKeyEvent* pEvent) = 0;

    CKeyBinds* GetOwner() const { return m_pOwner; }
    CBaseObject* GetResource() const { return m_pResource; }
    uint32_t GetKeyCode() const { return m_KeyCode; }
    int32_t GetKeyState() const { return m_KeyState; }
    bool IsRepeatAllowed() const { return m_bRepeat; }
    bool IsDeleted() const { return m_bDeleted; }

private:
    friend class CKeyBinds;

    CKeyBinds* m_pOwner = nullptr;
    CBaseObject* m_pResource;
    uint32_t m_KeyCode;
    int32_t m_KeyState;
    bool m_bRepeat;
    bool m_bDeleted = false;
};

// Calls a script function with the key event and, when the registry passes clients, the client.
class CScriptKeyBind : public CKeyBind {
public:
    CScriptKeyBind(CBaseObject* pResource, uint32_t keyCode, int32_t keyState, bool repeat, CFunction* pFunction)
        : CKeyBind(pResource, keyCode, keyState, repeat), m_pFunction(pFunction) {}

    void Execute(CBaseObject* client, CKeyEvent* pEvent) override;

    CFunction* GetFunction() const { return m_pFunction.Get(); }

private:
    Strong<CFunction> m_pFunction;
};

class CKeyBinds {
public:
    CKeyBinds();
    ~CKeyBinds();
    CKeyBinds(const CKeyBinds&) = delete;
    CKeyBinds& operator=(const CKeyBinds&) = delete;

    void AddBind(std::unique_ptr<CKeyBind> pBind);
    void BindKey(uint32_t keyCode, int32_t keyState, CFunction* pFunction, bool repeat, CBaseObject* pResource);
    // Removes the resource's binds of the key (every bind of the key when the resource is null); true
    // when any was removed or marked for removal.
    bool UnbindKey(uint32_t keyCode, CBaseObject* pResource);
    // Removes every bind of the resource (every bind when it is null); returns how many.
    size_t UnbindAllKeys(CBaseObject* pResource);
    size_t RemoveBinds(CBaseObject* pResource) { return UnbindAllKeys(pResource); }

    // Dispatches a key event to the binds of its key code; true when at least one bind ran.
    bool HandleKeyEvent(CKeyEvent* pEvent, CBaseObject* client);
    // Reads message 27's payload and dispatches it; false (nothing dispatched) when it is cut short.
    bool HandleKeyEventMessage(Stream* pPayload, CBaseObject* client);

    // Binds that are not removed.
    size_t GetBindCount() const;
    int32_t GetIterationDepth() const { return m_IterationDepth; }

    bool GetPassClient() const { return m_bPassClient; }
    void SetPassClient(bool pass) { m_bPassClient = pass; }

    // The script API: bindKey, unbindKey, unbindAllKeys and the class KeyEvent.
    void RegisterFunctions(ReflectedNamespace* pGlobal);

    ReflectedClass* GetKeyEventClass() const { return m_pKeyEventClass; }
    void SetKeyEventClass(ReflectedClass* pClass) { m_pKeyEventClass = pClass; }
    // A new key event object of the class scripts see.
    CKeyEvent* NewKeyEvent();

private:
    bool Remove(CKeyBind& bind);
    void FreeRemoved();

    using BindList = std::vector<std::unique_ptr<CKeyBind>>;
    std::unordered_map<uint32_t, BindList> m_Binds;
    int32_t m_IterationDepth = 0;
    bool m_bHasRemoved = false;
    bool m_bPassClient = false;
    ReflectedClass* m_pKeyEventClass = nullptr;
};

} // namespace Tessera3D
