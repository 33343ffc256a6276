#pragma once
// Shared pieces of the game layer's tests: a transport that records every send, a game host with a
// colour table and an event log, and a table of clients.
#include "Elements/ElementFactory.h"
#include "Elements/GameElementHost.h"
#include "GTAClient.h"
#include "ServerFileSystem.h"
#include "VehicleColours.h"
#include "WireBytes.h"

#include "Engine/ArgumentArray.h"
#include "Engine/Context.h"
#include "Engine/FileSystem.h"
#include "Engine/MemoryStream.h"
#include "Engine/Packet.h"
#include "Multiplayer/NetMachines.h"
#include "Multiplayer/NetObjectMgr.h"
#include "Network/NetServer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

inline const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

inline std::string Hex(const Bytes& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

inline Tessera3D::Strong<Tessera3D::Stream> ReadStream(const Bytes& bytes) {
    auto pCopy = Tessera3D::MakeStrong<Tessera3D::CUnlimitedStream>();
    pCopy->Write(bytes.data(), bytes.size());
    pCopy->Seek(0, Tessera3D::SEEK_ORIGIN_BEGIN);
    return pCopy;
}

class CRecordingTransport : public Tessera3D::CNetServer {
public:
    struct Send {
        Tessera3D::NetPeer* m_pPeer; // null: to everyone
        uint32_t m_Id;
        Bytes m_Payload;
        Tessera3D::ePacketPriority m_Priority;
        uint32_t m_Flags;
        uint8_t m_Channel;
    };

    bool Initialise(uint16_t, const char*, bool) override { return true; }
    bool Disconnect(Tessera3D::NetPeer* pPeer, uint32_t reason) override {
        m_Disconnects.push_back({pPeer, reason});
        return true;
    }
    void Update() override {}
    bool SendPacket(Tessera3D::NetPeer* pPeer, const Tessera3D::Packet* pPacket, Tessera3D::ePacketPriority priority,
                    uint32_t flags, uint8_t channel) override {
        m_Sends.push_back({pPeer, pPacket->GetId(),
                           Bytes(pPacket->GetData() + Tessera3D::PACKET_HEADER_SIZE, pPacket->GetData() + pPacket->GetSize()),
                           priority, flags, channel});
        return true;
    }
    bool SendEveryonePacket(const Tessera3D::Packet* pPacket, Tessera3D::ePacketPriority priority, uint32_t flags,
                            uint8_t channel) override {
        return SendPacket(nullptr, pPacket, priority, flags, channel);
    }
    bool GetIPAddress(Tessera3D::NetPeer*, Tessera3D::CIPAddress&) override { return false; }
    uint32_t GetLastPing(Tessera3D::NetPeer*) override { return 0; }

    // The payloads of one message id sent to one peer (null: to everyone), in order.
    std::vector<Bytes> PayloadsTo(Tessera3D::NetPeer* pPeer, uint32_t id) const {
        std::vector<Bytes> out;
        for (const Send& send : m_Sends)
            if (send.m_pPeer == pPeer && send.m_Id == id) out.push_back(send.m_Payload);
        return out;
    }
    size_t Count(uint32_t id) const {
        size_t count = 0;
        for (const Send& send : m_Sends) count += send.m_Id == id;
        return count;
    }

    std::vector<Send> m_Sends;
    std::vector<std::pair<Tessera3D::NetPeer*, uint32_t>> m_Disconnects;
};

// The game an element belongs to: game id, colour table, distances, and events recorded by name
// (those listed in m_Cancel report a cancellation).
class CTestGameHost : public IGameElementHost {
public:
    int32_t GetGame() const override { return m_Game; }
    CVehicleColours* GetVehicleColours() override { return &m_Colours; }
    float GetStreamInDistance() const override { return 100.0f; }
    float GetStreamOutDistance() const override { return 200.0f; }
    float GetPickupStreamInDistance() const override { return 50.0f; }
    float GetPickupStreamOutDistance() const override { return 100.0f; }
    bool TriggerGameEvent(const char* name, Tessera3D::CArgumentArray& arguments) override {
        m_Events.push_back(name);
        return !m_Cancel.count(name);
    }

    int32_t m_Game = 1;
    CVehicleColours m_Colours;
    std::vector<std::string> m_Events;
    std::set<std::string> m_Cancel;
};

// A machine table over a recording transport with in-game clients in the given slots and the console
// in slot 255, and an element manager over it that makes the game's elements.
class CTestManager : public CNetObjectMgr {
public:
    CTestManager(CNetMachines* pMachines, IGameElementHost* pHost) : CNetObjectMgr(pMachines), m_pHost(pHost) {}
    CNetObject* Create(int32_t type) override { return CreateGameElement(type, this, m_pHost); }

private:
    IGameElementHost* m_pHost;
};

class CGameWorld {
public:
    explicit CGameWorld(int clients = 0) : m_Machines(&m_Transport), m_Manager(&m_Machines, &m_Host), m_Peers(256) {
        auto pConsole = Tessera3D::MakeStrong<CGTAClient>(&m_Machines);
        pConsole->m_bConsole = true;
        m_Machines.Set(255, pConsole.Get());
        m_Machines.SetLocalIndex(255);
        for (int i = 0; i < clients; ++i) AddClient(i);
    }
    ~CGameWorld() { m_Machines.ReleaseAll(); }

    CGTAClient* AddClient(int index, uint8_t game = 1) {
        auto pClient = Tessera3D::MakeStrong<CGTAClient>(&m_Machines);
        pClient->m_pPeer = Peer(index);
        pClient->m_bInGame = true;
        pClient->m_bElementStreaming = true;
        pClient->m_bGameFilesVerified = true;
        pClient->m_Game = game;
        pClient->m_Name = "Client" + std::to_string(index);
        m_Machines.Set(index, pClient.Get());
        return pClient.Get();
    }
    CGTAClient* Client(int index) const { return static_cast<CGTAClient*>(m_Machines.Get(index)); }
    Tessera3D::NetPeer* Peer(int index) { return &m_Peers[static_cast<size_t>(index)]; }

    // A registered element of the type; the caller's reference is the returned one.
    template <typename T>
    Tessera3D::Strong<T> Add(int32_t type, const Tessera3D::CVector3D& position = {}) {
        Tessera3D::Strong<T> pElement = Tessera3D::Strong<T>::Adopt(static_cast<T*>(m_Manager.Create(type)));
        pElement->SetPosition(position);
        EXPECT_TRUE(m_Manager.RegisterNetObject(pElement.Get()));
        return pElement;
    }

    CRecordingTransport m_Transport;
    CNetMachines m_Machines;
    CTestGameHost m_Host;
    CTestManager m_Manager;

private:
    std::vector<Tessera3D::NetPeer> m_Peers;
};

// An element's records as the streaming pass writes them.
inline Bytes CreatePayload(CNetObject& element) {
    Tessera3D::CUnlimitedStream stream;
    EXPECT_TRUE(element.WriteCreatePacket(&stream));
    return Bytes(stream.GetData(), stream.GetData() + stream.GetSize());
}

inline Bytes SyncPayload(CNetObject& element) {
    Tessera3D::CUnlimitedStream stream;
    EXPECT_TRUE(element.WriteSyncPacket(&stream));
    return Bytes(stream.GetData(), stream.GetData() + stream.GetSize());
}

inline bool ReadSync(CNetObject& element, const Bytes& bytes) {
    Tessera3D::CMemoryStream stream(static_cast<const void*>(bytes.data()), bytes.size());
    return element.ReadSyncPacket(&stream);
}

// A run context whose file system is the built-in archive, installed for the test's lifetime.
class CArchiveContext {
public:
    CArchiveContext() {
        m_Context.SetFileSystem(MakeServerFileSystem(std::string()));
        m_pPrevious = Tessera3D::GGlobal.m_pContext;
        Tessera3D::GGlobal.m_pContext = &m_Context;
    }
    ~CArchiveContext() { Tessera3D::GGlobal.m_pContext = m_pPrevious; }
    CArchiveContext(const CArchiveContext&) = delete;
    CArchiveContext& operator=(const CArchiveContext&) = delete;

private:
    Tessera3D::Context m_Context;
    Tessera3D::Context* m_pPrevious;
};
