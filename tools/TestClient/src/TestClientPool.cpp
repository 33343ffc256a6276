#include "TestClient/TestClientPool.h"

#include "TestClient/TestClient.h"

#include <enet/enet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

// ENet's global set-up is process-wide; count the pools that need it.
std::atomic<int> g_ENetUsers{0};

// A flood from the server must not keep Service from returning to its caller.
constexpr int MAX_EVENTS_PER_SERVICE = 4096;

// Short slices keep a predicate that pumps another host in the same thread responsive.
constexpr uint32_t WAIT_SLICE_MS = 5;

} // namespace

CTestClientPool::CTestClientPool(size_t peerCount) : m_PeerCount(peerCount) {
    if (g_ENetUsers++ == 0 && enet_initialize() != 0) return;
    m_pHost = enet_host_create(nullptr, peerCount, CHANNEL_COUNT, 0, 0);
    if (m_pHost && enet_host_compress_with_range_coder(m_pHost) != 0) {
        enet_host_destroy(m_pHost);
        m_pHost = nullptr;
    }
}

CTestClientPool::~CTestClientPool() {
    // Clients that outlive the pool lose their peer; they report themselves disconnected.
    for (CTestClient* pClient : std::vector<CTestClient*>(m_Clients)) pClient->DetachFromPool();
    if (m_pHost) {
        enet_host_flush(m_pHost);
        enet_host_destroy(m_pHost);
    }
    if (--g_ENetUsers == 0) enet_deinitialize();
}

void CTestClientPool::Attach(CTestClient* pClient) { m_Clients.push_back(pClient); }

void CTestClientPool::Detach(CTestClient* pClient) {
    m_Clients.erase(std::remove(m_Clients.begin(), m_Clients.end(), pClient), m_Clients.end());
}

int CTestClientPool::Service(uint32_t timeoutMs) {
    if (!m_pHost) return -1;
    int handled = 0;
    ENetEvent event;
    int result = enet_host_service(m_pHost, &event, timeoutMs);
    while (result > 0) {
        // The peer's data names its client; a client that is gone left it empty.
        auto* pClient = event.peer ? static_cast<CTestClient*>(event.peer->data) : nullptr;
        switch (event.type) {
        case ENET_EVENT_TYPE_CONNECT:
            if (pClient) pClient->OnConnect();
            break;
        case ENET_EVENT_TYPE_DISCONNECT:
            if (pClient) pClient->OnDisconnect(event.data);
            break;
        case ENET_EVENT_TYPE_RECEIVE:
            if (pClient) pClient->OnReceive(event.channelID, event.packet->data, event.packet->dataLength);
            enet_packet_destroy(event.packet);
            break;
        default: break;
        }
        if (++handled >= MAX_EVENTS_PER_SERVICE) break;
        result = enet_host_service(m_pHost, &event, 0);
    }
    // Answers queued by the handlers (the game-file check, client ready) leave at once.
    enet_host_flush(m_pHost);
    return result < 0 ? -1 : handled;
}

void CTestClientPool::Flush() {
    if (m_pHost) enet_host_flush(m_pHost);
}

bool CTestClientPool::WaitFor(const std::function<bool()>& predicate, uint32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (predicate()) return true;
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        const uint32_t slice = static_cast<uint32_t>(std::min<int64_t>(left, WAIT_SLICE_MS));
        // Without a working host only what the predicate pumps itself can change: do not spin.
        if (Service(slice) < 0) std::this_thread::sleep_for(std::chrono::milliseconds(slice));
    }
}
