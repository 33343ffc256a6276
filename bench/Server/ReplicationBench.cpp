// One streaming tick and one sync round of the element manager with 255 clients in game and a full
// element table (16384 elements: the 255 players and 16129 others), over a transport that only
// counts. Clients and elements are spread over a square of the given side, so the side sets how many
// elements each client has: 8000 gives about 8 per client, 2000 about 130, 500 about 2000.
#include "TestElements.h"

#include "Engine/Packet.h"
#include "Multiplayer/NetMachines.h"
#include "Network/NetServer.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

using namespace Tessera3D;

namespace {

class CCountingTransport : public CNetServer {
public:
    bool Initialise(uint16_t, const char*, bool) override { return true; }
    bool Disconnect(NetPeer*, uint32_t) override { return true; }
    void Update() override {}
    bool SendPacket(NetPeer*, const Packet* pPacket, ePacketPriority, uint32_t, uint8_t) override {
        ++m_Messages;
        m_Bytes += pPacket->GetSize();
        return true;
    }
    bool SendEveryonePacket(const Packet* pPacket, ePacketPriority priority, uint32_t flags, uint8_t channel) override {
        return SendPacket(nullptr, pPacket, priority, flags, channel);
    }
    bool GetIPAddress(NetPeer*, CIPAddress&) override { return false; }
    uint32_t GetLastPing(NetPeer*) override { return 0; }

    uint64_t m_Messages = 0;
    uint64_t m_Bytes = 0;
};

constexpr int kClients = 255;

struct CFullWorld {
    explicit CFullWorld(float side) : m_Machines(&m_Transport), m_pManager(std::make_unique<CNetObjectMgr>(&m_Machines)), m_Peers(kClients) {
        std::mt19937 random(42);
        std::uniform_real_distribution<float> coordinate(-side / 2, side / 2);
        auto pConsole = MakeStrong<CNetMachine>(&m_Machines);
        pConsole->m_bConsole = true;
        m_Machines.Set(255, pConsole.Get());
        m_Machines.SetLocalIndex(255);
        for (int i = 0; i < kClients; ++i) {
            auto pClient = MakeStrong<CNetMachine>(&m_Machines);
            pClient->m_pPeer = &m_Peers[static_cast<size_t>(i)];
            pClient->m_Name = "Player" + std::to_string(i);
            pClient->m_bInGame = true;
            pClient->m_bElementStreaming = true;
            m_Machines.Set(i, pClient.Get());
            auto pPlayer = MakeTestElement(*m_pManager, ELEMENT_PLAYER, {coordinate(random), coordinate(random), 0.0f});
            pPlayer->SetSyncer(pClient.Get(), true);
            m_pManager->RegisterNetObject(pPlayer.Get());
            pClient->SetPlayer(pPlayer.Get());
        }
        const int32_t types[] = {ELEMENT_PED, ELEMENT_VEHICLE, ELEMENT_OBJECT, ELEMENT_BUILDING};
        for (size_t i = 0; m_pManager->GetCount() < CNetObjectMgr::MAX_ELEMENTS; ++i) {
            auto pElement = MakeTestElement(*m_pManager, types[i % 4], {coordinate(random), coordinate(random), 0.0f});
            if (types[i % 4] == ELEMENT_BUILDING) pElement->SetFlag(NETOBJECT_SEND_SYNC | NETOBJECT_FIND_SYNCER, false);
            m_pManager->RegisterNetObject(pElement.Get());
        }
        // The first tick creates everything in range and hands out syncers; the benchmarks measure
        // the ticks after it.
        m_pManager->ProcessStreaming();
        size_t created = 0;
        for (int i = 0; i < kClients; ++i) created += m_pManager->GetCreatedSet(i).Count();
        m_CreatedPerClient = static_cast<double>(created) / kClients;
    }

    CCountingTransport m_Transport;
    CNetMachines m_Machines;
    std::unique_ptr<CNetObjectMgr> m_pManager;
    std::vector<NetPeer> m_Peers;
    double m_CreatedPerClient = 0.0;
};

// Everyone moves a little every tick, so each tick creates and deletes some elements somewhere.
void Jitter(CNetObjectMgr& manager, std::mt19937& random) {
    std::uniform_real_distribution<float> step(-2.0f, 2.0f);
    manager.ForEach([&](CNetObject& element) {
        auto& moved = static_cast<CTestElement&>(element);
        moved.m_Position.x += step(random);
        moved.m_Position.y += step(random);
    });
}

void Report(benchmark::State& state, const CFullWorld& world, uint64_t messages, uint64_t bytes) {
    state.counters["perClient"] = world.m_CreatedPerClient;
    state.counters["messages"] = benchmark::Counter(static_cast<double>(messages), benchmark::Counter::kAvgIterations);
    state.counters["bytes"] = benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kAvgIterations);
}

// The host's streaming tick: creation for every client through the spatial index, deletion, syncer
// selection; elements move between ticks (the moving is measured too, about a tenth of a millisecond).
void BM_StreamingTick(benchmark::State& state) {
    CFullWorld world(static_cast<float>(state.range(0)));
    std::mt19937 random(7);
    const uint64_t messages = world.m_Transport.m_Messages, bytes = world.m_Transport.m_Bytes;
    for (auto _ : state) {
        Jitter(*world.m_pManager, random);
        world.m_pManager->ProcessStreaming();
    }
    Report(state, world, world.m_Transport.m_Messages - messages, world.m_Transport.m_Bytes - bytes);
}
BENCHMARK(BM_StreamingTick)->Arg(8000)->Arg(2000)->Arg(500)->Unit(benchmark::kMillisecond);

// The same tick as single-client passes that walk the whole table: what the index saves.
void BM_StreamingTickWithoutIndex(benchmark::State& state) {
    CFullWorld world(static_cast<float>(state.range(0)));
    std::mt19937 random(7);
    const uint64_t messages = world.m_Transport.m_Messages, bytes = world.m_Transport.m_Bytes;
    for (auto _ : state) {
        Jitter(*world.m_pManager, random);
        for (int i = 0; i < kClients; ++i) world.m_pManager->ManageElements(world.m_Machines.Get(i));
        world.m_pManager->FindSyncers();
    }
    Report(state, world, world.m_Transport.m_Messages - messages, world.m_Transport.m_Bytes - bytes);
}
BENCHMARK(BM_StreamingTickWithoutIndex)->Arg(8000)->Arg(2000)->Arg(500)->Unit(benchmark::kMillisecond);

// One interval sync round: each client gets the states of the elements it has and does not sync.
void BM_SyncRound(benchmark::State& state) {
    CFullWorld world(static_cast<float>(state.range(0)));
    const uint64_t messages = world.m_Transport.m_Messages, bytes = world.m_Transport.m_Bytes;
    for (auto _ : state) world.m_pManager->SendSyncToAll(PACKET_PRIORITY_LOW, PACKET_FLAGS_NONE);
    Report(state, world, world.m_Transport.m_Messages - messages, world.m_Transport.m_Bytes - bytes);
}
BENCHMARK(BM_SyncRound)->Arg(8000)->Arg(2000)->Arg(500)->Unit(benchmark::kMillisecond);

} // namespace
