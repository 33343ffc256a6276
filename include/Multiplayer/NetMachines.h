#pragma once
// The fixed table of 256 machine slots; slot 255 is the console pseudo-client on the server.
#include "Multiplayer/NetMachine.h"

#include <array>

namespace Tessera3D {
class CNetServer;
class INetObjectRegistry;
}

class CNetMachines {
public:
    static constexpr int32_t MAX_MACHINES = 256;
    static constexpr int32_t CONSOLE_INDEX = 255;

    explicit CNetMachines(Tessera3D::CNetServer* pTransport = nullptr) : m_pTransport(pTransport) {}
    ~CNetMachines();

    Tessera3D::CNetServer* GetTransport() const { return m_pTransport; }
    void SetTransport(Tessera3D::CNetServer* pTransport) { m_pTransport = pTransport; }
    // Where element ids are looked up (the element manager); may be null.
    Tessera3D::INetObjectRegistry* GetRegistry() const { return m_pRegistry; }
    void SetRegistry(Tessera3D::INetObjectRegistry* pRegistry) { m_pRegistry = pRegistry; }

    CNetMachine* Get(int32_t index) const {
        return index >= 0 && index < MAX_MACHINES ? m_Slots[static_cast<size_t>(index)].Get() : nullptr;
    }
    // Puts the machine into the slot and sets its index.
    void Set(int32_t index, CNetMachine* pMachine);
    // Empties the slot: the machine's index becomes -1 and the table's reference goes.
    void Release(int32_t index);
    // Releases every slot, from 255 down to 0.
    void ReleaseAll();
    // The first free slot, or -1.
    int32_t FindFreeSlot() const;
    CNetMachine* GetMachineFromPeer(const Tessera3D::NetPeer* pPeer) const;
    uint64_t GetCount() const { return m_Count; }
    int32_t GetLocalIndex() const { return m_LocalIndex; }
    void SetLocalIndex(int32_t index) { m_LocalIndex = index; }

    // To every machine (the console gets nothing), or every machine but one.
    void SendToAll(const Tessera3D::Packet* pPacket, Tessera3D::ePacketPriority priority = Tessera3D::PACKET_PRIORITY_LOW,
                   uint32_t flags = Tessera3D::PACKET_FLAGS_RELIABLE, uint8_t channel = 0) const;
    void SendToAllExcept(const CNetMachine* pExcluded, const Tessera3D::Packet* pPacket,
                         Tessera3D::ePacketPriority priority = Tessera3D::PACKET_PRIORITY_LOW,
                         uint32_t flags = Tessera3D::PACKET_FLAGS_RELIABLE, uint8_t channel = 0) const;

    template <typename Fn>
    void ForEach(Fn&& fn) const {
        for (const auto& pMachine : m_Slots)
            if (pMachine) fn(*pMachine);
    }

private:
    Tessera3D::CNetServer* m_pTransport;
    Tessera3D::INetObjectRegistry* m_pRegistry = nullptr;
    std::array<Tessera3D::Strong<CNetMachine>, MAX_MACHINES> m_Slots;
    uint64_t m_Count = 0;
    int32_t m_LocalIndex = -1;
};
