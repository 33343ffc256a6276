#pragma once
// A machine table with clients over a transport that records every send, an element manager over it,
// and an event sink that can cancel: what replication tests need to watch the bytes that go out.
#include "ByteTable.h"
#include "TestElements.h"

#include "Multiplayer/ElementMessages.h"
#include "Multiplayer/NetMachines.h"
#include "Network/NetServer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class CRecordingTransport : public Tessera3D::CNetServer {
public:
    struct Send {
        Tessera3D::NetPeer* m_pPeer; // null: to everyone
        uint32_t m_Id;
        Bytes m_Bytes;
        Tessera3D::ePacketPriority m_Priority;
        uint32_t m_Flags;
        uint8_t m_Channel;

        Bytes Payload() const { return Bytes(m_Bytes.begin() + Tessera3D::PACKET_HEADER_SIZE, m_Bytes.end()); }
    };

    bool Initialise(uint16_t, const char*, bool) override { return true; }
    bool Disconnect(Tessera3D::NetPeer*, uint32_t) override { return true; }
    void Update() override {}
    bool SendPacket(Tessera3D::NetPeer* pPeer, const Tessera3D::Packet* pPacket, Tessera3D::ePacketPriority priority,
                    uint32_t flags, uint8_t channel) override {
        m_Sends.push_back({pPeer, pPacket->GetId(), Bytes(pPacket->GetData(), pPacket->GetData() + pPacket->GetSize()),
                           priority, flags, channel});
        return true;
    }
    bool SendEveryonePacket(const Tessera3D::Packet* pPacket, Tessera3D::ePacketPriority priority, uint32_t flags,
                            uint8_t channel) override {
        return SendPacket(nullptr, pPacket, priority, flags | Tessera3D::PACKET_FLAGS_EVERYONE, channel);
    }
    bool GetIPAddress(Tessera3D::NetPeer*, Tessera3D::CIPAddress&) override { return false; }
    uint32_t GetLastPing(Tessera3D::NetPeer*) override { return 0; }

    std::vector<Send> m_Sends;
};

// Records every event and cancels those listed.
class CRecordingEvents : public INetObjectEvents {
public:
    bool TriggerNetObjectEvent(eNetObjectEvent event, CNetObject* pElement, CNetMachine* pMachine) override {
        m_Raised.push_back({event, pElement ? pElement->GetNetworkId() : -1});
        if (m_OnEvent) m_OnEvent(event, pElement, pMachine);
        return !m_Cancel.count(event);
    }
    void RemoveNetObjectHandlers(CNetObject* pElement) override { m_Removed.push_back(pElement); }

    std::set<eNetObjectEvent> m_Cancel;
    std::vector<std::pair<eNetObjectEvent, int32_t>> m_Raised;
    std::vector<CNetObject*> m_Removed;
    std::function<void(eNetObjectEvent, CNetObject*, CNetMachine*)> m_OnEvent;
};

// Clients in slots 0..count-1, each in game with a player element at its position, and the console in
// slot 255.
class CReplicationWorld {
public:
    explicit CReplicationWorld(int clients, bool withEvents = true)
        : m_Machines(&m_Transport), m_pManager(std::make_unique<CNetObjectMgr>(&m_Machines)), m_Peers(256) {
        if (withEvents) m_pManager->SetEvents(&m_Events);
        auto pConsole = Tessera3D::MakeStrong<CNetMachine>(&m_Machines);
        pConsole->m_bConsole = true;
        pConsole->m_Name = "Console";
        m_Machines.Set(255, pConsole.Get());
        m_Machines.SetLocalIndex(255);
        for (int i = 0; i < clients; ++i) AddClient(i, {0.0f, 0.0f, 0.0f});
    }

    // A client in game at the position, bound to a new player element.
    CNetMachine* AddClient(int index, const Tessera3D::CVector3D& position) {
        auto pClient = Tessera3D::MakeStrong<CNetMachine>(&m_Machines);
        pClient->m_pPeer = &m_Peers[static_cast<size_t>(index)];
        pClient->m_Name = "Client" + std::to_string(index);
        pClient->m_bInGame = true;
        pClient->m_bElementStreaming = true;
        m_Machines.Set(index, pClient.Get());
        // As a spawned player: its client is its forced syncer.
        auto pPlayer = MakeTestElement(*m_pManager, ELEMENT_PLAYER, position);
        pPlayer->SetSyncer(pClient.Get(), true);
        m_pManager->RegisterNetObject(pPlayer.Get());
        pClient->SetPlayer(pPlayer.Get());
        m_Transport.m_Sends.clear();
        return pClient.Get();
    }

    CNetMachine* Client(int index) const { return m_Machines.Get(index); }
    CTestElement* Player(int index) const { return static_cast<CTestElement*>(Client(index)->GetPlayer()); }
    Tessera3D::NetPeer* Peer(int index) { return &m_Peers[static_cast<size_t>(index)]; }
    int IndexOf(const Tessera3D::NetPeer* pPeer) const {
        return pPeer ? static_cast<int>(pPeer - m_Peers.data()) : -1;
    }

    Tessera3D::Strong<CTestElement> Add(int32_t type, const Tessera3D::CVector3D& position) {
        auto pElement = MakeTestElement(*m_pManager, type, position);
        EXPECT_TRUE(m_pManager->RegisterNetObject(pElement.Get()));
        return pElement;
    }

    // The sends so far, forgotten afterwards.
    std::vector<CRecordingTransport::Send> Take() { return std::exchange(m_Transport.m_Sends, {}); }

    // Ids created for a client (by its creation messages among the sends), in message order.
    std::vector<int32_t> CreatedIds(const std::vector<CRecordingTransport::Send>& sends, int client) const {
        std::vector<int32_t> ids;
        for (const auto& send : sends) {
            if (send.m_Id != PACKET_ELEMENT_CREATE || IndexOf(send.m_pPeer) != client) continue;
            CElementCreate message;
            EXPECT_TRUE(DecodePayload(send.Payload(), message));
            for (const auto& record : message.m_Records) ids.push_back(record.m_Id);
        }
        return ids;
    }

    std::vector<int32_t> DeletedIds(const std::vector<CRecordingTransport::Send>& sends, int client) const {
        std::vector<int32_t> ids;
        for (const auto& send : sends) {
            if (send.m_Id != PACKET_ELEMENT_DELETE || IndexOf(send.m_pPeer) != client) continue;
            CElementDelete message;
            EXPECT_TRUE(DecodePayload(send.Payload(), message));
            ids.insert(ids.end(), message.m_Ids.begin(), message.m_Ids.end());
        }
        return ids;
    }

    // Every element the client has, by id.
    std::vector<int32_t> HasIds(int client) const {
        std::vector<int32_t> ids;
        m_pManager->ForEach([&](CNetObject& element) {
            if (element.IsCreatedFor(client)) ids.push_back(element.GetNetworkId());
        });
        return ids;
    }

    CRecordingTransport m_Transport;
    CNetMachines m_Machines;
    CRecordingEvents m_Events;
    std::unique_ptr<CNetObjectMgr> m_pManager;

private:
    std::vector<Tessera3D::NetPeer> m_Peers;
};

// A payload stream for a message handler.
inline Tessera3D::Strong<Tessera3D::Stream> PayloadStream(const Bytes& payload) {
    auto pCopy = std::make_shared<Bytes>(payload);
    struct COwned : Tessera3D::CMemoryStream {
        COwned(std::shared_ptr<Bytes> p) : CMemoryStream(static_cast<const void*>(p->data()), p->size()), m_p(std::move(p)) {}
        std::shared_ptr<Bytes> m_p;
    };
    return Tessera3D::MakeStrong<COwned>(pCopy);
}
