#include "Multiplayer/NetMachines.h"

using namespace Tessera3D;

CNetMachines::~CNetMachines() { ReleaseAll(); }

void CNetMachines::Set(int32_t index, CNetMachine* pMachine) {
    if (index < 0 || index >= MAX_MACHINES) return;
    auto& slot = m_Slots[static_cast<size_t>(index)];
    if (slot) Release(index);
    slot = pMachine;
    if (pMachine) {
        pMachine->m_Index = index;
        ++m_Count;
    }
}

void CNetMachines::Release(int32_t index) {
    if (index < 0 || index >= MAX_MACHINES) return;
    auto& slot = m_Slots[static_cast<size_t>(index)];
    if (!slot) return;
    slot->m_Index = -1;
    slot = nullptr;
    --m_Count;
}

void CNetMachines::ReleaseAll() {
    for (int32_t index = MAX_MACHINES - 1; index >= 0; --index) Release(index);
}

int32_t CNetMachines::FindFreeSlot() const {
    for (int32_t index = 0; index < MAX_MACHINES; ++index)
        if (!m_Slots[static_cast<size_t>(index)]) return index;
    return -1;
}

CNetMachine* CNetMachines::GetMachineFromPeer(const NetPeer* pPeer) const {
    if (!pPeer) return nullptr;
    for (const auto& pMachine : m_Slots)
        if (pMachine && pMachine->m_pPeer == pPeer) return pMachine.Get();
    return nullptr;
}

void CNetMachines::SendToAll(const Packet* pPacket, ePacketPriority priority, uint32_t flags, uint8_t channel) const {
    ForEach([&](const CNetMachine& machine) { machine.SendPacket(pPacket, priority, flags, channel); });
}

void CNetMachines::SendToAllExcept(const CNetMachine* pExcluded, const Packet* pPacket, ePacketPriority priority,
                                   uint32_t flags, uint8_t channel) const {
    ForEach([&](const CNetMachine& machine) {
        if (&machine != pExcluded) machine.SendPacket(pPacket, priority, flags, channel);
    });
}
