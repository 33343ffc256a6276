// Streaming (which elements exist on which client), syncer selection and sync distribution.
#include "Multiplayer/NetObjectMgr.h"

#include "Engine/UnlimitedStream.h"
#include "Multiplayer/ElementMessages.h"
#include "Multiplayer/NetMachines.h"

#include <memory>

using namespace Tessera3D;

namespace {

bool FitsRecord(CUnlimitedStream& record) {
    return record.GetSize() >= ELEMENT_IDENTIFIER_SIZE && record.GetSize() <= MAX_ELEMENT_RECORD_SIZE;
}

} // namespace

bool CNetObjectMgr::BuildCreateRecord(CNetObject* pElement, CUnlimitedStream& record) {
    return pElement->WriteIdentifier(&record) && pElement->WriteCreatePacket(&record) &&
           pElement->WriteSyncPacket(&record) && FitsRecord(record);
}

bool CNetObjectMgr::BuildSyncRecord(CNetObject* pElement, CUnlimitedStream& record) {
    return pElement->WriteIdentifier(&record) && pElement->WriteSyncPacket(&record) && FitsRecord(record);
}

// ---------------------------------------------------------------------------------------------
// Creation

CNetObjectMgr::CMachinePlace CNetObjectMgr::GetMachinePlace(CNetMachine* pMachine) const {
    CMachinePlace place;
    if (CNetObject* pPlayer = pMachine->GetPlayer()) {
        place.m_Dimension = pPlayer->GetStreamingDimension();
        place.m_bLocated = pPlayer->GetPosition(place.m_Position);
    }
    return place;
}

bool CNetObjectMgr::PassesStreamIn(CNetObject* pElement, CNetMachine* pMachine, const CMachinePlace& place) {
    if (!pElement->HasFlag(NETOBJECT_ON_ALL_DIMENSIONS) && place.m_Dimension != pElement->GetStreamingDimension()) return false;
    if (!pElement->HasFlag(NETOBJECT_NETWORKED) || !pElement->CanExistForMachine(pMachine)) return false;
    const bool exempt = pElement->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER) && pElement->GetSyncer() == pMachine;
    if (!exempt && pElement->HasFlag(NETOBJECT_DISTANCE_STREAMING)) {
        float distance = 0.0f;
        if (!place.m_bLocated || !pElement->GetDistanceFrom(place.m_Position, distance) ||
            !(distance < pElement->GetStreamInDistance()))
            return false;
    }
    return Trigger(NETOBJECT_EVENT_STREAM_IN, pElement, pMachine);
}

bool CNetObjectMgr::OnStreamObjectInForClient(CNetObject* pElement, CNetMachine* pMachine) {
    if (!pElement || !pMachine) return false;
    return PassesStreamIn(pElement, pMachine, GetMachinePlace(pMachine));
}

void CNetObjectMgr::BuildStreamingIndex() {
    m_StreamingIndex.Clear();
    m_Occupied.ForEach([&](size_t slot) {
        const CNetObject* pElement = m_Slots[slot];
        if (pElement && pElement->m_NetworkId != INVALID_NETWORK_ID) m_StreamingIndex.Add(static_cast<uint32_t>(slot), *pElement);
    });
    m_StreamingIndex.Finish();
}

void CNetObjectMgr::CollectCreationCandidates(CNetMachine* pMachine, const CMachinePlace& place, CElementSet& slots) const {
    // A bit set puts the candidates in slot order without sorting them.
    std::vector<uint32_t> found;
    m_StreamingIndex.Collect(place.m_bLocated ? &place.m_Position : nullptr, place.m_Dimension, found);
    for (uint32_t slot : found) slots.Set(slot);
    for (uint32_t slot : m_StreamingIndex.GetSyncerExempt()) {
        const CNetObject* pElement = m_Slots[slot];
        if (pElement && pElement->GetSyncer() == pMachine) slots.Set(slot);
    }
    // What the client already has needs no second look.
    slots.Subtract(m_Created[static_cast<size_t>(pMachine->m_Index)]);
}

void CNetObjectMgr::CreateObjectsAsNeeded(CNetMachine* pMachine, int32_t typeMask) {
    if (!pMachine || !pMachine->m_bInGame || !pMachine->m_bElementStreaming) return;
    const int32_t index = pMachine->m_Index;
    if (index < 0 || index >= CNetObject::MAX_CLIENTS) return;
    Strong<CNetMachine> pKeepMachine(pMachine);
    const CMachinePlace place = GetMachinePlace(pMachine);
    CNetObject* pPlayer = pMachine->GetPlayer();
    CElementRecordListWriter records(PACKET_ELEMENT_CREATE);
    bool playerCreated = false;
    bool clientGone = false;

    const CElementSet& created = m_Created[static_cast<size_t>(index)];
    auto consider = [&](size_t slot) {
        CNetObject* pElement = m_Slots[slot];
        if (clientGone || !pElement || created.Test(slot) || pElement->m_NetworkId == INVALID_NETWORK_ID ||
            !pElement->IsType(typeMask))
            return;
        Strong<CNetObject> pKeep(pElement);
        if (!PassesStreamIn(pElement, pMachine, place)) return;
        // A handler may have let the client or the element go.
        if (pMachine->m_Index != index || !pMachine->m_bInGame) {
            clientGone = true;
            return;
        }
        if (!pElement->IsRegistered() || pElement->m_NetworkId == INVALID_NETWORK_ID || pElement->IsCreatedFor(index)) return;
        if (!pElement->GetSyncer() && !pElement->HasFlag(NETOBJECT_FORCED_SYNCER)) pElement->SetSyncer(pMachine, false);
        CUnlimitedStream record;
        if (!BuildCreateRecord(pElement, record) || !records.Add(record.GetData(), record.GetSize())) return;
        MarkCreated(pElement, index);
        playerCreated |= pElement == pPlayer;
    };

    if (m_bStreamingTick) {
        auto pCandidates = std::make_unique<CElementSet>();
        CollectCreationCandidates(pMachine, place, *pCandidates);
        pCandidates->ForEach(consider);
    } else {
        m_Occupied.ForEach(consider);
    }

    if (clientGone) return;
    if (Strong<Packet> pPacket = records.Finish()) {
        pMachine->SendPacket(pPacket.Get());
        if (playerCreated) pMachine->SendPlayer();
    }
}

void CNetObjectMgr::SendCreatePacket(CNetMachine* pMachine, CNetObject* pElement) {
    if (!pMachine || !pElement || !pElement->IsRegistered() || !m_pMachines) return;
    const int32_t index = pMachine->m_Index;
    if (index < 0 || index >= CNetObject::MAX_CLIENTS || pElement->IsCreatedFor(index)) return;
    Strong<CNetMachine> pKeepMachine(pMachine);
    Strong<CNetObject> pKeep(pElement);
    if (!OnStreamObjectInForClient(pElement, pMachine)) return;
    if (pMachine->m_Index != index || !pElement->IsRegistered() || pElement->m_NetworkId == INVALID_NETWORK_ID ||
        pElement->IsCreatedFor(index))
        return;
    CUnlimitedStream record;
    CElementRecordListWriter records(PACKET_ELEMENT_CREATE);
    if (!BuildCreateRecord(pElement, record) || !records.Add(record.GetData(), record.GetSize())) return;
    if (Strong<Packet> pPacket = records.Finish()) pMachine->SendPacket(pPacket.Get());
    MarkCreated(pElement, index);
    if (!pElement->GetSyncer() && !pElement->HasFlag(NETOBJECT_FORCED_SYNCER)) pElement->SetSyncer(pMachine, false);
}

// ---------------------------------------------------------------------------------------------
// Deletion

bool CNetObjectMgr::MustStreamOut(CNetObject* pElement, CNetMachine* pMachine, const CMachinePlace& place) const {
    if (!pElement->HasFlag(NETOBJECT_ON_ALL_DIMENSIONS) && place.m_Dimension != pElement->GetStreamingDimension()) return true;
    if (!pElement->HasFlag(NETOBJECT_NETWORKED) || !pElement->CanExistForMachine(pMachine)) return true;
    if (pElement->HasFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER) && pElement->GetSyncer() == pMachine) return false;
    if (!pElement->HasFlag(NETOBJECT_DISTANCE_STREAMING)) return false;
    float distance = 0.0f;
    if (!place.m_bLocated || !pElement->GetDistanceFrom(place.m_Position, distance)) return false;
    return distance > pElement->GetStreamOutDistance();
}

void CNetObjectMgr::DeleteFarAwayStuff(CNetMachine* pMachine) {
    if (!m_bServerMode || !pMachine || !pMachine->m_bInGame) return;
    const int32_t index = pMachine->m_Index;
    if (index < 0 || index >= CNetObject::MAX_CLIENTS) return;
    Strong<CNetMachine> pKeepMachine(pMachine);
    const CMachinePlace place = GetMachinePlace(pMachine);
    CElementDelete deleted;

    m_Created[static_cast<size_t>(index)].ForEach([&](size_t slot) {
        CNetObject* pElement = m_Slots[slot];
        if (!pElement || pMachine->m_Index != index || !MustStreamOut(pElement, pMachine, place)) return;
        Strong<CNetObject> pKeep(pElement);
        if (!Trigger(NETOBJECT_EVENT_STREAM_OUT, pElement, pMachine)) return;
        if (!pElement->IsCreatedFor(index) || pMachine->m_Index != index) return;
        const int32_t id = pElement->m_NetworkId;
        ForgetForMachine(pElement, pMachine);
        if (pElement->HasFlag(NETOBJECT_TRANSIENT) && !pElement->IsCreatedForAnyone() && DestroyObject(pElement, true, false))
            return;
        deleted.m_Ids.push_back(id);
    });

    if (deleted.m_Ids.empty() || pMachine->m_Index != index) return;
    if (auto pPacket = BuildMessage(deleted)) pMachine->SendPacket(pPacket.Get());
}

// ---------------------------------------------------------------------------------------------
// The streaming tick and syncer selection

void CNetObjectMgr::ManageElements(CNetMachine* pMachine) {
    if (!pMachine) return;
    Strong<CNetMachine> pKeep(pMachine);
    CreateObjectsAsNeeded(pMachine, ELEMENT_VEHICLE);
    if (!pMachine->m_bInGame) return;
    CreateObjectsAsNeeded(pMachine, ELEMENT_ELEMENT);
    DeleteFarAwayStuff(pMachine);
}

void CNetObjectMgr::FindSyncers() {
    if (!m_pMachines) return;
    ForEach([&](CNetObject& element) {
        if (element.m_FirstCreatedFor == -1 || !element.HasFlag(NETOBJECT_FIND_SYNCER) ||
            element.HasFlag(NETOBJECT_FORCED_SYNCER) || element.GetSyncer())
            return;
        if (CNetMachine* pMachine = m_pMachines->Get(element.m_FirstCreatedFor)) element.SetSyncer(pMachine, false);
    });
}

void CNetObjectMgr::ProcessStreaming() {
    if (!m_pMachines || m_bStreamingTick) return;
    BuildStreamingIndex();
    m_bStreamingTick = true;
    for (int32_t index = 0; index < CNetMachines::MAX_MACHINES; ++index) {
        Strong<CNetMachine> pMachine = m_pMachines->Get(index);
        if (pMachine && pMachine->m_bInGame && !pMachine->m_bConsole) ManageElements(pMachine.Get());
    }
    m_bStreamingTick = false;
    m_StreamingIndex.Clear();
    FindSyncers();
}

// ---------------------------------------------------------------------------------------------
// Sync distribution

void CNetObjectMgr::SendSync(CNetMachine* pMachine, ePacketPriority priority, uint32_t flags) {
    if (!pMachine) return;
    const int32_t index = pMachine->m_Index;
    if (index < 0 || index >= CNetObject::MAX_CLIENTS) return;
    CElementRecordListWriter records(PACKET_ELEMENT_SYNC);

    m_Created[static_cast<size_t>(index)].ForEach([&](size_t slot) {
        CNetObject* pElement = m_Slots[slot];
        if (!pElement || !pElement->HasFlag(NETOBJECT_SEND_SYNC) || pElement->m_NetworkId == INVALID_NETWORK_ID ||
            !pElement->CanSendSync(pMachine))
            return;
        if (!m_bSyncRound) {
            CUnlimitedStream record;
            if (BuildSyncRecord(pElement, record)) records.Add(record.GetData(), record.GetSize());
            return;
        }
        // Within a round the element's state cannot change, so its record is built once for all.
        CSyncRecord& cached = m_SyncRecords[slot];
        if (cached.m_Round != m_SyncRound) {
            cached.m_Round = m_SyncRound;
            cached.m_Size = 0;
            CUnlimitedStream record;
            if (BuildSyncRecord(pElement, record)) {
                cached.m_Offset = static_cast<uint32_t>(m_SyncArena.size());
                cached.m_Size = static_cast<uint32_t>(record.GetSize());
                m_SyncArena.insert(m_SyncArena.end(), record.GetData(), record.GetData() + record.GetSize());
            }
        }
        if (cached.m_Size) records.Add(m_SyncArena.data() + cached.m_Offset, cached.m_Size);
    });

    if (Strong<Packet> pPacket = records.Finish()) pMachine->SendPacket(pPacket.Get(), priority, flags, 1);
}

void CNetObjectMgr::SendSyncToAll(ePacketPriority priority, uint32_t flags) {
    if (!m_pMachines || m_bSyncRound) return;
    if (++m_SyncRound == 0) m_SyncRound = 1;
    m_SyncArena.clear();
    m_bSyncRound = true;
    for (int32_t index = 0; index < CNetMachines::MAX_MACHINES; ++index) {
        CNetMachine* pMachine = m_pMachines->Get(index);
        if (pMachine && pMachine->m_bInGame && !pMachine->m_bConsole) SendSync(pMachine, priority, flags);
    }
    m_bSyncRound = false;
}

void CNetObjectMgr::ProcessSyncInterval() {
    if (m_SyncDelivery.m_Method == NET_SYNC_INTERVAL) SendSyncToAll(m_SyncDelivery.m_Priority, m_SyncDelivery.m_Flags);
}
