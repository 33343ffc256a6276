// The element table: registration, ids and names, destruction, sending to the clients that have an
// element, the replication messages from clients, and a client's departure.
#include "Multiplayer/NetObjectMgr.h"

#include "Engine/MemoryStream.h"
#include "Multiplayer/ElementMessages.h"
#include "Multiplayer/NetMachines.h"
#include "Network/NetServer.h"

#include <algorithm>

using namespace Tessera3D;

CNetObjectMgr::CNetObjectMgr(CNetMachines* pMachines)
    : m_pMachines(pMachines), m_Created(CNetObject::MAX_CLIENTS), m_SyncRecords(MAX_ELEMENTS) {
    m_IdMap.reserve(MAX_ELEMENTS);
    if (m_pMachines) m_pMachines->SetRegistry(this);
}

CNetObjectMgr::~CNetObjectMgr() {
    ReleaseAll();
    if (m_pMachines && m_pMachines->GetRegistry() == this) m_pMachines->SetRegistry(nullptr);
}

void CNetObjectMgr::ReleaseAll() {
    // Elements that scripts still hold outlive the table; they must not reach back into it.
    for (auto& entry : m_NameMap) entry.second->m_pManager = nullptr;
    m_NameMap.clear();
    m_Occupied.ForEach([&](size_t slot) {
        CNetObject* pElement = m_Slots[slot];
        m_Slots[slot] = nullptr;
        m_Occupied.Reset(slot);
        if (!pElement) return;
        pElement->m_pManager = nullptr;
        pElement->m_NetworkId = INVALID_NETWORK_ID;
        pElement->SetFlag(NETOBJECT_REGISTERED, false);
        pElement->Release();
    });
    m_IdMap.clear();
    for (CElementSet& created : m_Created) created.Clear();
    m_PendingParents = 0;
}

CNetServer* CNetObjectMgr::GetTransport() const { return m_pMachines ? m_pMachines->GetTransport() : nullptr; }

bool CNetObjectMgr::Trigger(eNetObjectEvent event, CNetObject* pElement, CNetMachine* pMachine) {
    return !m_pEvents || m_pEvents->TriggerNetObjectEvent(event, pElement, pMachine);
}

bool CNetObjectMgr::IsLocalMachine(const CNetMachine* pMachine) const {
    return pMachine && m_pMachines && pMachine->m_Index >= 0 && pMachine->m_Index == m_pMachines->GetLocalIndex();
}

// ---------------------------------------------------------------------------------------------
// Ids and names

CNetObject* CNetObjectMgr::GetObjectFromId(int32_t id) const {
    if (id < 0) return nullptr;
    auto it = m_IdMap.find(id);
    return it == m_IdMap.end() ? nullptr : it->second;
}

CBaseObject* CNetObjectMgr::FindNetObject(int32_t id) { return GetObjectFromId(id); }

CNetObject* CNetObjectMgr::GetObjectFromName(const char* pName) const {
    if (!pName) return nullptr;
    auto it = m_NameMap.find(pName);
    return it == m_NameMap.end() ? nullptr : it->second;
}

void CNetObjectMgr::MapName(const std::string& name, CNetObject* pElement) { m_NameMap[name] = pElement; }

void CNetObjectMgr::UnmapName(const std::string& name) { m_NameMap.erase(name); }

void CNetObjectMgr::SetNetworkId(CNetObject* pElement, int32_t id) {
    if (pElement->m_NetworkId != INVALID_NETWORK_ID) {
        auto it = m_IdMap.find(pElement->m_NetworkId);
        if (it != m_IdMap.end() && it->second == pElement) m_IdMap.erase(it);
    }
    pElement->m_NetworkId = id;
    if (id != INVALID_NETWORK_ID) m_IdMap[id] = pElement;
}

void CNetObjectMgr::AssignId(CNetObject* pElement) {
    // Ids stay within 1..32767: the counter wraps there instead of running on past the range.
    if (m_NextId < 1 || m_NextId > MAX_NETWORK_ID) m_NextId = 1;
    for (int32_t tries = 0; m_IdMap.count(m_NextId) && tries < MAX_NETWORK_ID; ++tries)
        m_NextId = m_NextId >= MAX_NETWORK_ID ? 1 : m_NextId + 1;
    if (m_IdMap.count(m_NextId)) return;
    SetNetworkId(pElement, m_NextId);
    ++m_NextId;
}

void CNetObjectMgr::OnPendingParentChanged(CNetObject* pElement, int32_t previous) {
    if (!pElement->IsRegistered()) return;
    const bool wasPending = previous != INVALID_NETWORK_ID, isPending = pElement->m_PendingParentId != INVALID_NETWORK_ID;
    if (isPending && !wasPending) ++m_PendingParents;
    else if (wasPending && !isPending && m_PendingParents > 0) --m_PendingParents;
}

void CNetObjectMgr::ResolvePendingParents(CNetObject* pElement) {
    // A resolved pending id is cleared, so a later element that reuses the id is not adopted too.
    if (pElement->m_PendingParentId != INVALID_NETWORK_ID) {
        if (CNetObject* pParent = GetObjectFromId(pElement->m_PendingParentId)) {
            pElement->SetParent(pParent);
            pElement->SetPendingParentId(INVALID_NETWORK_ID);
        }
    }
    if (m_PendingParents == 0) return;
    const int32_t id = pElement->m_NetworkId;
    ForEach([&](CNetObject& child) {
        if (&child == pElement || child.m_PendingParentId != id) return;
        Strong<CNetObject> pKeep(&child);
        child.SetParent(pElement);
        child.SetPendingParentId(INVALID_NETWORK_ID);
    });
}

// ---------------------------------------------------------------------------------------------
// Registration and destruction

bool CNetObjectMgr::RegisterNetObject(CNetObject* pElement) {
    if (!pElement) return false;
    if (pElement->IsRegistered()) return true;
    // An element whose destruction began would stay in the table for good: it cannot be destroyed
    // a second time.
    if (pElement->HasFlag(NETOBJECT_DELETING)) return false;
    const size_t slot = m_Occupied.FindFirstClear();
    if (slot >= MAX_ELEMENTS) return false;

    pElement->m_pManager = this;
    pElement->SetFlag(NETOBJECT_REGISTERED, true);
    pElement->m_Slot = slot;
    m_Slots[slot] = pElement;
    m_Occupied.Set(slot);
    if (pElement->m_NetworkId == INVALID_NETWORK_ID) {
        if (m_pMachines && GetTransport()) AssignId(pElement);
    } else if (!m_IdMap.count(pElement->m_NetworkId)) {
        m_IdMap[pElement->m_NetworkId] = pElement;
    }
    pElement->AddRef();
    if (pElement->m_PendingParentId != INVALID_NETWORK_ID) ++m_PendingParents;
    if (m_bSyncRound) m_SyncRecords[slot].m_Round = 0;

    pElement->CreateNetSyncData();
    pElement->CreateNetBlender();
    pElement->OnCreated();
    if (pElement->IsRegistered() && pElement->m_NetworkId != INVALID_NETWORK_ID) ResolvePendingParents(pElement);
    // Registered in the middle of a streaming tick: every remaining client considers it.
    if (m_bStreamingTick && pElement->IsRegistered()) m_StreamingIndex.AddEverywhere(static_cast<uint32_t>(slot));
    return true;
}

bool CNetObjectMgr::DestroyObject(CNetObject* pElement, bool inform, bool force) {
    if (!pElement || pElement->HasFlag(NETOBJECT_DELETING) || !pElement->CanBeDeleted()) return false;
    Strong<CNetObject> pKeep(pElement);
    pElement->SetFlag(NETOBJECT_DELETING, true);
    const bool allowed = Trigger(NETOBJECT_EVENT_DESTROY, pElement, nullptr);
    if (pElement->m_NetworkId == INVALID_NETWORK_ID && !allowed && !force) {
        pElement->SetFlag(NETOBJECT_DELETING, false);
        return false;
    }

    if (m_bServerMode && pElement->m_NetworkId != INVALID_NETWORK_ID) {
        CElementDelete message;
        message.m_Ids.push_back(pElement->m_NetworkId);
        if (auto pPacket = BuildMessage(message)) SendEveryonePacket(pPacket.Get());
        ClearCreated(pElement);
    }
    // Outside server mode the server would be told here when inform is set; this manager always is one.

    if (!pElement->IsRegistered()) return true;
    if (m_pMachines) {
        for (int32_t index = 0; index < CNetMachines::MAX_MACHINES; ++index) {
            CNetMachine* pMachine = m_pMachines->Get(index);
            if (pMachine && pMachine->GetPlayer() == pElement) pMachine->SetPlayer(nullptr);
        }
    }
    if (m_pEvents) m_pEvents->RemoveNetObjectHandlers(pElement);
    pElement->m_Data.Clear();
    pElement->Remove();
    SetNetworkId(pElement, INVALID_NETWORK_ID);
    ClearCreated(pElement);
    pElement->m_ClientState.fill(NETOBJECT_CLIENT_EXISTS);
    pElement->ClearWeakReferences();
    pElement->m_pResource = nullptr;
    if (pElement->m_PendingParentId != INVALID_NETWORK_ID && m_PendingParents > 0) --m_PendingParents;
    const size_t slot = pElement->m_Slot;
    if (slot < MAX_ELEMENTS && m_Slots[slot] == pElement) {
        m_Slots[slot] = nullptr;
        m_Occupied.Reset(slot);
        if (m_bSyncRound) m_SyncRecords[slot].m_Round = 0;
    }
    pElement->SetFlag(NETOBJECT_REGISTERED, false);
    if (m_IdMap.empty()) m_NextId = 0;
    pElement->Release(); // the table's reference
    return true;
}

// ---------------------------------------------------------------------------------------------
// Created bits

void CNetObjectMgr::MarkCreated(CNetObject* pElement, int32_t index) {
    if (index < 0 || index >= CNetObject::MAX_CLIENTS || pElement->IsCreatedFor(index)) return;
    pElement->m_ClientState[static_cast<size_t>(index)] |= NETOBJECT_CLIENT_CREATED;
    ++pElement->m_CreatedCount;
    if (pElement->m_FirstCreatedFor == -1 || pElement->m_FirstCreatedFor > index) pElement->m_FirstCreatedFor = index;
    if (pElement->IsRegistered()) m_Created[static_cast<size_t>(index)].Set(pElement->m_Slot);
}

void CNetObjectMgr::MarkNotCreated(CNetObject* pElement, int32_t index) {
    if (!pElement->IsCreatedFor(index)) return;
    pElement->m_ClientState[static_cast<size_t>(index)] &= static_cast<uint8_t>(~NETOBJECT_CLIENT_CREATED);
    --pElement->m_CreatedCount;
    if (pElement->m_FirstCreatedFor == index) {
        pElement->m_FirstCreatedFor = -1;
        for (int32_t next = index + 1; next < CNetObject::MAX_CLIENTS; ++next) {
            if (pElement->IsCreatedFor(next)) {
                pElement->m_FirstCreatedFor = next;
                break;
            }
        }
    }
    if (pElement->IsRegistered()) m_Created[static_cast<size_t>(index)].Reset(pElement->m_Slot);
}

void CNetObjectMgr::ClearCreated(CNetObject* pElement) {
    if (pElement->m_CreatedCount > 0) {
        for (int32_t index = std::max(pElement->m_FirstCreatedFor, 0); index < CNetObject::MAX_CLIENTS; ++index) {
            if (!pElement->IsCreatedFor(index)) continue;
            pElement->m_ClientState[static_cast<size_t>(index)] &= static_cast<uint8_t>(~NETOBJECT_CLIENT_CREATED);
            if (pElement->IsRegistered()) m_Created[static_cast<size_t>(index)].Reset(pElement->m_Slot);
        }
    }
    pElement->m_CreatedCount = 0;
    pElement->m_FirstCreatedFor = -1;
}

void CNetObjectMgr::ForgetForMachine(CNetObject* pElement, CNetMachine* pMachine) {
    MarkNotCreated(pElement, pMachine->m_Index);
    if (pElement->GetSyncer() == pMachine) pElement->SetSyncer(nullptr, false);
}

// ---------------------------------------------------------------------------------------------
// Sending

bool CNetObjectMgr::SendObjectRelatedPacket(const Packet* pPacket, const CNetObject* pElement) const {
    if (!m_pMachines || !pElement || !pElement->IsRegistered()) return false;
    if (!pPacket || pElement->m_FirstCreatedFor < 0) return true;
    int32_t remaining = pElement->m_CreatedCount;
    for (int32_t index = pElement->m_FirstCreatedFor; index < CNetObject::MAX_CLIENTS && remaining > 0; ++index) {
        if (!pElement->IsCreatedFor(index)) continue;
        --remaining;
        CNetMachine* pMachine = m_pMachines->Get(index);
        if (pMachine && pMachine->m_bInGame && !pMachine->m_bConsole) pMachine->SendPacket(pPacket);
    }
    return true;
}

void CNetObjectMgr::SendPacketExcluding(const Packet* pPacket, const CNetMachine* pExcluded) const {
    if (m_pMachines && pPacket) m_pMachines->SendToAllExcept(pExcluded, pPacket);
}

void CNetObjectMgr::SendEveryonePacket(const Packet* pPacket) const {
    if (CNetServer* pTransport = GetTransport())
        if (pPacket) pTransport->SendEveryonePacket(pPacket, PACKET_PRIORITY_LOW, PACKET_FLAGS_RELIABLE, 0);
}

// ---------------------------------------------------------------------------------------------
// Messages from clients

bool CNetObjectMgr::ProcessPacket(CNetMachine* pMachine, uint32_t id, Stream* pStream) {
    if (!pMachine || !pStream) return false;
    switch (id) {
    case PACKET_ELEMENT_SYNC:
        HandleElementSync(pMachine, pStream);
        if (m_SyncDelivery.m_Method == NET_SYNC_REPLAY) SendSync(pMachine, m_SyncDelivery.m_Priority, m_SyncDelivery.m_Flags);
        return true;
    case PACKET_ELEMENT_DELETE: HandleElementDelete(pMachine, pStream); return true;
    case PACKET_REQUEST_SYNCER: HandleRequestSyncer(pMachine, pStream); return true;
    default: return false;
    }
}

void CNetObjectMgr::HandleElementSync(CNetMachine* pMachine, Stream* pStream) {
    // Whoever sends a record is believed, syncer or not; a stale or unknown id only skips its record.
    CElementRecordReader records(pStream);
    int32_t type = 0, id = -1;
    const uint8_t* pPayload = nullptr;
    size_t size = 0;
    while (records.Next(type, id, pPayload, size)) {
        CNetObject* pElement = GetObjectFromId(id);
        if (!pElement) continue;
        Strong<CNetObject> pKeep(pElement);
        CMemoryStream payload(pPayload, size);
        pElement->ReadSyncPacket(&payload);
    }
}

void CNetObjectMgr::HandleElementDelete(CNetMachine* pMachine, Stream* pStream) {
    const int32_t index = pMachine->m_Index;
    if (index < 0 || index >= CNetObject::MAX_CLIENTS) return;
    CBinaryReader reader(pStream);
    uint16_t count = 0;
    if (!reader.ReadUInt16(count)) return;
    for (uint16_t i = 0; i < count; ++i) {
        int32_t id = -1;
        if (!reader.ReadInt32(id)) return;
        CNetObject* pElement = GetObjectFromId(id);
        if (!pElement) continue;
        Strong<CNetObject> pKeep(pElement);
        MarkNotCreated(pElement, index);
        if (pElement->GetSyncer() == pMachine && pElement->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER))
            DestroyObject(pElement, true, false);
        else if (pElement->HasFlag(NETOBJECT_TRANSIENT) && !pElement->IsCreatedForAnyone())
            DestroyObject(pElement, true, false);
    }
}

void CNetObjectMgr::HandleRequestSyncer(CNetMachine* pMachine, Stream* pStream) {
    CRequestSyncer request;
    if (!ReadMessage(pStream, request)) return;
    CNetObject* pElement = GetObjectFromId(request.m_Id);
    if (pElement && pElement->CanBeSyncer(pMachine) && !pElement->HasFlag(NETOBJECT_FORCED_SYNCER))
        pElement->SetSyncer(pMachine, false);
}

void CNetObjectMgr::OnMachineLeft(CNetMachine* pMachine) {
    if (!pMachine) return;
    Strong<CNetMachine> pKeepMachine(pMachine);
    const int32_t index = pMachine->m_Index;
    const bool indexed = index >= 0 && index < CNetObject::MAX_CLIENTS;
    ForEach([&](CNetObject& element) {
        Strong<CNetObject> pKeep(&element);
        // The client loses the element before the syncer changes, so the departing peer is not sent
        // a syncer message for every element it synced.
        if (indexed) {
            MarkNotCreated(&element, index);
            element.m_ClientState[static_cast<size_t>(index)] = NETOBJECT_CLIENT_EXISTS;
        }
        if (element.GetSyncer() == pMachine) element.SetSyncer(nullptr, false);
        if (element.HasFlag(NETOBJECT_TRANSIENT) && !element.IsCreatedForAnyone()) DestroyObject(&element, true, false);
    });
    if (indexed) m_Created[static_cast<size_t>(index)].Clear();
    if (CNetObject* pPlayer = pMachine->GetPlayer()) DestroyObject(pPlayer, true, false);
    pMachine->SetPlayer(nullptr);
}
