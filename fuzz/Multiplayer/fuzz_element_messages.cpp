// Arbitrary bytes as the replication messages a client sends (element sync, deletions, syncer
// requests) handed to an element manager with a few elements, as a creation record read into a new
// element, and as the payload of every element message struct: a payload that decodes must encode to
// bytes that decode again to the very same bytes.
#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Engine/MemoryStream.h"
#include "Multiplayer/ElementMessages.h"
#include "Multiplayer/NetMachines.h"
#include "Multiplayer/NetObjectMgr.h"
#include "Network/NetServer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace Tessera3D;

namespace {

using Bytes = std::vector<uint8_t>;

// Ids are only given out with a transport; this one drops everything.
class CNullTransport : public CNetServer {
public:
    bool Initialise(uint16_t, const char*, bool) override { return true; }
    bool Disconnect(NetPeer*, uint32_t) override { return true; }
    void Update() override {}
    bool SendPacket(NetPeer*, const Packet*, ePacketPriority, uint32_t, uint8_t) override { return true; }
    bool SendEveryonePacket(const Packet*, ePacketPriority, uint32_t, uint8_t) override { return true; }
    bool GetIPAddress(NetPeer*, CIPAddress&) override { return false; }
    uint32_t GetLastPing(NetPeer*) override { return 0; }
};

// A positioned element whose sync payload is its position, read whole or not at all.
class CFuzzElement : public CNetObject {
public:
    CFuzzElement(CNetObjectMgr* pManager, int32_t type, uint16_t flags) : CNetObject(pManager) {
        SetType(type);
        SetFlag(flags, true);
        SetStreamInDistance(100.0f);
        SetStreamOutDistance(200.0f);
    }
    bool GetPosition(CVector3D& position) const override {
        position = m_Position;
        return true;
    }
    bool ReadSyncPacket(Stream* pStream) override {
        CBinaryReader reader(pStream);
        CVector3D position;
        if (!reader.ReadFloat(position.x) || !reader.ReadFloat(position.y) || !reader.ReadFloat(position.z)) return false;
        m_Position = position;
        return CNetObject::ReadSyncPacket(pStream);
    }
    bool WriteSyncPacket(Stream* pStream) override {
        CNetObject::WriteSyncPacket(pStream);
        CBinaryWriter writer(pStream);
        return writer.WriteFloat(m_Position.x) && writer.WriteFloat(m_Position.y) && writer.WriteFloat(m_Position.z);
    }
    CVector3D m_Position;
};

template <typename TMessage>
void RoundTrip(const uint8_t* pData, size_t size) {
    TMessage message;
    auto pIn = MakeStrong<CMemoryStream>(static_cast<const void*>(pData), size);
    if (!ReadMessage(pIn.Get(), message)) return;
    Strong<Packet> pFirst = BuildMessage(message);
    if (!pFirst) return; // a value that reads but cannot be written (none should)
    const Bytes first(pFirst->GetData() + PACKET_HEADER_SIZE, pFirst->GetData() + pFirst->GetSize());
    TMessage again;
    auto pAgain = MakeStrong<CMemoryStream>(static_cast<const void*>(first.data()), first.size());
    if (!ReadMessage(pAgain.Get(), again)) {
        fprintf(stderr, "written bytes do not read back\n");
        abort();
    }
    Strong<Packet> pSecond = BuildMessage(again);
    if (!pSecond || Bytes(pSecond->GetData() + PACKET_HEADER_SIZE, pSecond->GetData() + pSecond->GetSize()) != first) {
        fprintf(stderr, "reading and writing disagree\n");
        abort();
    }
}

// One manager for every input (it is large); each input starts from an empty table.
struct CFuzzWorld {
    CFuzzWorld() : m_Machines(&m_Transport), m_pManager(std::make_unique<CNetObjectMgr>(&m_Machines)) {}

    void Clear() {
        std::vector<Strong<CNetObject>> elements;
        m_pManager->ForEach([&](CNetObject& element) { elements.emplace_back(&element); });
        for (auto& pElement : elements) m_pManager->DestroyObject(pElement.Get(), true, true);
        m_Machines.ReleaseAll();
    }

    CNullTransport m_Transport;
    CNetMachines m_Machines;
    std::unique_ptr<CNetObjectMgr> m_pManager;
    NetPeer m_Peers[2] = {};
};

CFuzzWorld& World() {
    static CFuzzWorld world;
    world.Clear();
    return world;
}

// Two clients in game with players, and elements of the kinds that client messages act on.
void HandleAsClientMessage(uint32_t id, int client, const uint8_t* pData, size_t size) {
    CFuzzWorld& world = World();
    CNetMachines& machines = world.m_Machines;
    CNetObjectMgr* pManager = world.m_pManager.get();
    std::vector<Strong<CFuzzElement>> elements;
    for (int i = 0; i < 2; ++i) {
        auto pClient = MakeStrong<CNetMachine>(&machines);
        pClient->m_pPeer = &world.m_Peers[i];
        pClient->m_bInGame = true;
        pClient->m_bElementStreaming = true;
        machines.Set(i, pClient.Get());
        auto pPlayer = MakeStrong<CFuzzElement>(pManager, ELEMENT_PLAYER, NETOBJECT_ALWAYS_EXIST_FOR_SYNCER);
        pPlayer->SetSyncer(pClient.Get(), true);
        pManager->RegisterNetObject(pPlayer.Get());
        pClient->SetPlayer(pPlayer.Get());
        elements.push_back(pPlayer);
    }
    const uint16_t kinds[] = {NETOBJECT_TRANSIENT, NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, NETOBJECT_DISTANCE_STREAMING, 0};
    for (uint16_t flags : kinds) {
        auto pElement = MakeStrong<CFuzzElement>(pManager, ELEMENT_VEHICLE, flags);
        pManager->RegisterNetObject(pElement.Get());
        elements.push_back(pElement);
    }
    elements[3]->SetParent(elements[2].Get());
    pManager->ProcessStreaming();
    CSyncDelivery delivery;
    delivery.m_Method = NET_SYNC_REPLAY;
    pManager->SetSyncDelivery(delivery);

    auto pStream = MakeStrong<CMemoryStream>(static_cast<const void*>(pData), size);
    pManager->ProcessPacket(machines.Get(client), id, pStream.Get());
    pManager->ProcessStreaming();
    pManager->SendSyncToAll(PACKET_PRIORITY_LOW, PACKET_FLAGS_NONE);
    pManager->OnMachineLeft(machines.Get(client));
}

// A creation record from a client (as a client-created element arrives) read into a new element.
void ReadAsCreationRecord(const uint8_t* pData, size_t size) {
    CFuzzWorld& world = World();
    CNetObjectMgr& manager = *world.m_pManager;
    auto pClient = MakeStrong<CNetMachine>(&world.m_Machines);
    world.m_Machines.Set(0, pClient.Get());
    auto pExisting = MakeStrong<CFuzzElement>(&manager, ELEMENT_OBJECT, 0);
    manager.RegisterNetObject(pExisting.Get());
    auto pElement = MakeStrong<CFuzzElement>(&manager, ELEMENT_VEHICLE, 0);
    auto pStream = MakeStrong<CMemoryStream>(static_cast<const void*>(pData), size);
    if (!pElement->ReadCreatePacket(pStream.Get())) return;
    manager.RegisterNetObject(pElement.Get());
    manager.DestroyObject(pExisting.Get(), true, true);
    manager.DestroyObject(pElement.Get(), true, true);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    if (size < 1) return 0;
    const uint8_t selector = pData[0];
    ++pData;
    --size;
    switch (selector % 14) {
    case 0: HandleAsClientMessage(PACKET_ELEMENT_SYNC, selector >> 7, pData, size); break;
    case 1: HandleAsClientMessage(PACKET_ELEMENT_DELETE, selector >> 7, pData, size); break;
    case 2: HandleAsClientMessage(PACKET_REQUEST_SYNCER, selector >> 7, pData, size); break;
    case 3: ReadAsCreationRecord(pData, size); break;
    case 4: RoundTrip<CElementSync>(pData, size); break;
    case 5: RoundTrip<CElementCreate>(pData, size); break;
    case 6: RoundTrip<CElementDelete>(pData, size); break;
    case 7: RoundTrip<CElementSyncer>(pData, size); break;
    case 8: RoundTrip<CElementParent>(pData, size); break;
    case 9: RoundTrip<CElementName>(pData, size); break;
    case 10: RoundTrip<CElementData>(pData, size); break;
    case 11: RoundTrip<CElementDataClear>(pData, size); break;
    case 12: RoundTrip<CElementDimension>(pData, size); break;
    default: RoundTrip<CRequestSyncer>(pData, size); break;
    }
    return 0;
}
