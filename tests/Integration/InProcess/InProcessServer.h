#pragma once
// The game server's own classes running in this process on a real ENet port: the program's start-up
// sequence runs on a configuration given as text, then the main loop on a thread of its own. Tests
// reach the server's state through its C++ interface under the server lock, for what nothing on the
// wire can set up yet (players, elements of a script).
#include "GTAServer.h"

#include "Engine/Context.h"
#include "Engine/Threads.h"

#include <memory>
#include <string>
#include <thread>

class CInProcessServer {
public:
    CInProcessServer();
    // Stops the main loop and closes the port.
    ~CInProcessServer();
    CInProcessServer(const CInProcessServer&) = delete;
    CInProcessServer& operator=(const CInProcessServer&) = delete;

    // Reads a configuration of the given keys (the text between <server> and </server>; the port is
    // added), opens a free port and starts the main loop; false when any step fails.
    bool Start(const std::string& keys);
    void Stop();
    uint16_t GetPort() const { return m_Port; }

    // Runs fn(server) between two main-loop iterations and returns its result.
    template <typename Fn>
    auto Locked(Fn&& fn) {
        Tessera3D::CScopedLock lock(m_pServer->GetServerLock());
        return fn(*m_pServer);
    }

private:
    Tessera3D::Context m_Context;
    Tessera3D::Context* m_pPreviousContext;
    std::unique_ptr<CGTAServer> m_pServer;
    std::thread m_MainLoop;
    uint16_t m_Port = 0;
};
