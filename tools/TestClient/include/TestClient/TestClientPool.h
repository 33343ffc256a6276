#pragma once
// One ENet client host shared by many test clients and serviced by one loop: a load generator runs
// hundreds of clients in one thread, each client owning one peer of the host.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct _ENetHost;
struct _ENetPeer;
typedef struct _ENetHost ENetHost;
typedef struct _ENetPeer ENetPeer;

class CTestClient;

class CTestClientPool {
public:
    static constexpr size_t DEFAULT_PEER_COUNT = 64;
    // The game protocol's channel count; the server's host allows as many.
    static constexpr size_t CHANNEL_COUNT = 255;

    // Creates the host (range-coder compression, no bandwidth limits) with room for peerCount
    // connections at once; IsValid tells whether that worked.
    explicit CTestClientPool(size_t peerCount = DEFAULT_PEER_COUNT);
    ~CTestClientPool();
    CTestClientPool(const CTestClientPool&) = delete;
    CTestClientPool& operator=(const CTestClientPool&) = delete;

    bool IsValid() const { return m_pHost != nullptr; }
    ENetHost* GetHost() const { return m_pHost; }
    size_t GetPeerCount() const { return m_PeerCount; }
    size_t GetClientCount() const { return m_Clients.size(); }

    // Waits up to timeoutMs for network traffic, then handles every event that is ready (connects,
    // received messages, disconnects), each by the client its peer belongs to, and sends what the
    // clients queued. Returns the number of events handled, -1 on a socket error.
    int Service(uint32_t timeoutMs = 0);
    // Sends every queued message now (sends are otherwise queued until the next Service).
    void Flush();
    // Services the pool until the predicate holds (true) or timeoutMs has passed (false). The
    // predicate is checked before the first wait and after each round, so it may itself pump other
    // hosts (a server in the same thread).
    bool WaitFor(const std::function<bool()>& predicate, uint32_t timeoutMs);

private:
    friend class CTestClient;
    void Attach(CTestClient* pClient);
    void Detach(CTestClient* pClient);

    ENetHost* m_pHost = nullptr;
    size_t m_PeerCount = 0;
    std::vector<CTestClient*> m_Clients;
};
