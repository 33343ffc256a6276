#include "Multiplayer/NetObject.h"

#include "Engine/Clock.h"
#include "Engine/Log.h"
#include "Multiplayer/ElementMessages.h"
#include "Multiplayer/NetMachines.h"
#include "Multiplayer/NetObjectMgr.h"

#include <cmath>
#include <cstring>
#include <limits>

using namespace Tessera3D;

CNetObject::CNetObject(CNetObjectMgr* pManager)
    : m_StreamOutDistance(std::numeric_limits<float>::infinity()), m_pManager(pManager) {
    m_ClientState.fill(NETOBJECT_CLIENT_EXISTS);
}

CNetObject::~CNetObject() {
    // Elements leave the tree and the name map through the manager; one that is dropped without it
    // must still leave no pointer to itself behind.
    if (m_pParent) m_pParent->DetachChild(this);
    for (CNetObject*& pChild : m_Children) {
        if (pChild) pChild->m_pParent = nullptr;
        pChild = nullptr;
    }
    if (m_bHasName && m_pManager && m_pManager->GetObjectFromName(m_Name.c_str()) == this) m_pManager->UnmapName(m_Name);
}

CArgument* CNetObject::CreateArgument() {
    auto* pValue = new CArgumentNetObject(this);
    pValue->SetLookupContext(m_pManager);
    return pValue;
}

bool CNetObject::WriteIdentifier(Stream* pStream) const {
    CBinaryWriter writer(pStream);
    return writer.WriteInt32(m_Type) && writer.WriteInt32(m_NetworkId);
}

void CNetObject::StampSyncTime() { m_LastSyncTime = OS::GetMillisecondsSinceStart(); }

void CNetObject::SendToClientsWithElement(const Packet* pPacket) const {
    if (pPacket && m_pManager) m_pManager->SendObjectRelatedPacket(pPacket, this);
}

namespace {

// Builds a message about an element only when some client is there to receive it.
template <typename TMessage>
void Announce(const CNetObject& element, const TMessage& message) {
    if (!element.IsRegistered() || !element.IsCreatedForAnyone() || !element.GetManager()) return;
    if (auto pPacket = BuildMessage(message)) element.GetManager()->SendObjectRelatedPacket(pPacket.Get(), &element);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Syncer

CNetMachine* CNetObject::GetSyncer() const { return m_pSyncer.Get(); }

int32_t CNetObject::GetSyncerId() const {
    CNetMachine* pSyncer = m_pSyncer.Get();
    return pSyncer ? pSyncer->m_Index : -1;
}

void CNetObject::SetSyncer(CNetMachine* pMachine, bool forced) {
    if (pMachine != m_pSyncer.Get()) {
        if (m_pSyncer && HasFlag(NETOBJECT_TRANSIENT)) SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, false);
        m_pSyncer = pMachine;
        if (IsRegistered() && m_pManager && m_pManager->IsLocalMachine(pMachine)) Log("Became syncer of %i", m_NetworkId);
        CElementSyncer message;
        message.m_Id = m_NetworkId;
        message.m_Syncer = pMachine ? pMachine->m_Index : -1;
        Announce(*this, message);
    }
    if (pMachine) {
        SetFlag(NETOBJECT_FORCED_SYNCER, forced);
    } else {
        SetFlag(NETOBJECT_FORCED_SYNCER, false);
        if (HasFlag(NETOBJECT_TRANSIENT)) SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, false);
    }
}

void CNetObject::SetSyncerId(int32_t index) {
    if (HasFlag(NETOBJECT_FORCED_SYNCER)) return;
    CNetMachines* pMachines = m_pManager ? m_pManager->GetMachines() : nullptr;
    SetSyncer(pMachines ? pMachines->Get(index) : nullptr, false);
}

// ---------------------------------------------------------------------------------------------
// Tree

bool CNetObject::IsAncestorOrSelf(const CNetObject* pElement) const {
    for (const CNetObject* p = pElement; p; p = p->m_pParent)
        if (p == this) return true;
    return false;
}

void CNetObject::DetachChild(CNetObject* pChild) {
    for (CNetObject*& pSlot : m_Children)
        if (pSlot == pChild) pSlot = nullptr;
}

void CNetObject::SendParent() const {
    CElementParent message;
    message.m_Id = m_NetworkId;
    message.m_Parent = m_pParent ? m_pParent->m_NetworkId : INVALID_NETWORK_ID;
    Announce(*this, message);
}

bool CNetObject::SetParent(CNetObject* pParent) {
    if (pParent == m_pParent) return false;
    if (pParent) {
        // A failed attach keeps the current parent; a cycle would make destruction and dimension
        // lookups walk forever.
        if (IsAncestorOrSelf(pParent)) return false;
        bool full = true;
        for (CNetObject* pSlot : pParent->m_Children) full &= pSlot != nullptr;
        if (full) return false;
    }
    if (m_pParent) {
        m_pParent->DetachChild(this);
        m_pParent = nullptr;
    }
    if (pParent) {
        for (CNetObject*& pSlot : pParent->m_Children) {
            if (!pSlot) {
                pSlot = this;
                break;
            }
        }
        m_pParent = pParent;
    }
    SendParent();
    return true;
}

void CNetObject::SetPendingParentId(int32_t id) {
    const int32_t previous = m_PendingParentId;
    m_PendingParentId = id;
    if (m_pManager) m_pManager->OnPendingParentChanged(this, previous);
}

void CNetObject::Remove() {
    Strong<CNetObject> pKeep(this);
    if (m_pParent) SetParent(nullptr);
    const auto children = m_Children;
    for (CNetObject* pChild : children) {
        if (!pChild) continue;
        Strong<CNetObject> pKeepChild(pChild);
        const bool destroyed = m_pManager && m_pManager->DestroyObject(pChild, false, false);
        // A child that refuses, or one the table never held, is let go instead.
        if (!destroyed || pChild->m_pParent == this) pChild->SetParent(nullptr);
    }
    ReleaseName();
}

// ---------------------------------------------------------------------------------------------
// Name and dimension

void CNetObject::ReleaseName() {
    if (m_bHasName && m_pManager) m_pManager->UnmapName(m_Name);
}

void CNetObject::SetName(const char* pName) { SetName(pName, pName ? strlen(pName) : 0); }

void CNetObject::SetName(const char* pName, size_t length) {
    if (m_bHasName) {
        ReleaseName();
        m_Name.clear();
        m_bHasName = false;
    }
    if (pName) {
        m_Name.assign(pName, length);
        m_bHasName = true;
        if (m_pManager) m_pManager->MapName(m_Name, this);
    }
    CElementName message;
    message.m_Id = m_NetworkId;
    message.m_Name = m_Name;
    Announce(*this, message);
}

void CNetObject::SetDimension(int32_t dimension) {
    if (dimension == m_Dimension) return;
    m_Dimension = dimension;
    CElementDimension message;
    message.m_Id = m_NetworkId;
    message.m_Dimension = dimension;
    Announce(*this, message);
}

// ---------------------------------------------------------------------------------------------
// Streaming and sync rules

bool CNetObject::CanSendSync() const {
    if (!HasFlag(NETOBJECT_SEND_SYNC) || !HasFlag(NETOBJECT_NETWORKED)) return false;
    return !(m_pParent && HasFlag(NETOBJECT_ONLY_SYNC_IF_DETACHED));
}

bool CNetObject::CanSendSync(CNetMachine* pMachine) const {
    if (!HasFlag(NETOBJECT_SEND_SYNC) || !HasFlag(NETOBJECT_NETWORKED)) return false;
    if (m_pParent && HasFlag(NETOBJECT_ONLY_SYNC_IF_DETACHED) && pMachine && m_pParent->IsCreatedFor(pMachine->m_Index))
        return false;
    CNetMachine* pSyncer = m_pSyncer.Get();
    return pSyncer && pSyncer != pMachine;
}

bool CNetObject::CanExistForMachine(CNetMachine* pMachine) const {
    if (!HasFlag(NETOBJECT_NETWORKED) || !pMachine) return false;
    return ExistsFor(pMachine->m_Index) && HasFlag(NETOBJECT_DEFAULT_EXISTANCE);
}

bool CNetObject::GetDistanceToMachine(CNetMachine* pMachine, float& distance) const {
    CNetObject* pPlayer = pMachine ? pMachine->GetPlayer() : nullptr;
    CVector3D from;
    return pPlayer && pPlayer->GetPosition(from) && GetDistanceFrom(from, distance);
}

bool CNetObject::GetDistanceFrom(const CVector3D& from, float& distance) const {
    CVector3D to;
    if (!GetPosition(to)) return false;
    const CVector3D d = to - from;
    distance = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    return true;
}

void CNetObject::SetExistsFor(int32_t index, bool exists) {
    if (!InRange(index)) return;
    uint8_t& state = m_ClientState[static_cast<size_t>(index)];
    state = exists ? static_cast<uint8_t>(state | NETOBJECT_CLIENT_EXISTS) : static_cast<uint8_t>(state & ~NETOBJECT_CLIENT_EXISTS);
}

void CNetObject::ClearExistsFor() {
    for (uint8_t& state : m_ClientState) state |= NETOBJECT_CLIENT_EXISTS;
}

// ---------------------------------------------------------------------------------------------
// Records

bool CNetObject::WriteCreatePacket(Stream* pStream) {
    CElementBaseRecord record;
    record.m_Syncer = GetSyncerId();
    record.m_Parent = m_pParent ? m_pParent->m_NetworkId : INVALID_NETWORK_ID;
    record.m_Dimension = m_Dimension;
    record.m_Name = m_Name;
    record.SetData(m_Data);
    CBinaryWriter writer(pStream);
    const bool written = record.Write(writer) && !writer.HasError();
    StampSyncTime();
    return written;
}

bool CNetObject::ReadCreatePacket(Stream* pStream) {
    CElementBaseRecord record;
    record.m_pLookupContext = m_pManager;
    CBinaryReader reader(pStream);
    if (!record.Read(reader) || reader.HasError()) return false;
    SetSyncerId(record.m_Syncer);
    SetPendingParentId(record.m_Parent);
    SetDimension(record.m_Dimension);
    SetName(record.m_Name.c_str(), record.m_Name.size());
    for (const auto& [key, value] : record.m_Data) SetData(key.c_str(), value.Get(), false);
    return true;
}

bool CNetObject::WriteSyncPacket(Stream* pStream) {
    StampSyncTime();
    return true;
}

bool CNetObject::ReadSyncPacket(Stream* pStream) {
    StampSyncTime();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Data

bool CNetObject::SetData(const char* pKey, const CArgument* pValue, bool sync) {
    if (!pKey) return false;
    if (!pValue || pValue->GetType() == ARGUMENT_NIL) {
        // Null removes the key and is announced like any other value (type 0, no payload).
        if (sync) {
            CElementData message;
            message.m_Id = m_NetworkId;
            message.m_Key = pKey;
            Announce(*this, message);
        }
        m_Data.Remove(pKey);
        return true;
    }
    CArgument* pClone = pValue->Clone();
    if (!pClone) return false;
    if (sync) {
        CElementData message;
        message.m_Id = m_NetworkId;
        message.m_Key = pKey;
        message.m_Value = pClone;
        Announce(*this, message);
    }
    m_Data.Set(pKey, pClone);
    return true;
}

bool CNetObject::RemoveData(const char* pKey) {
    if (!m_Data.Remove(pKey)) return false;
    CElementData message;
    message.m_Id = m_NetworkId;
    message.m_Key = pKey;
    Announce(*this, message);
    return true;
}

void CNetObject::ClearData() {
    m_Data.Clear();
    CElementDataClear message;
    message.m_Id = m_NetworkId;
    Announce(*this, message);
}
