// Starts the server with a password, joins a client that chats with itself every 10 ms, then fires a
// burst of connect requests carrying passwords and reports how long the chat round trips took while
// the server verified them.
#include "ServerProcess.h"
#include "TestClient/TestClient.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    const int burst = argc > 1 ? atoi(argv[1]) : 50;
    CServerProcess server;
    const uint16_t port = CServerProcess::FreePort();
    server.WriteConfig("<httpserver>false</httpserver><port>" + std::to_string(port) +
                       "</port><password>pw</password><maxplayers>127</maxplayers>");
    server.Start({"-noinput"});
    if (!server.WaitForOutput("Resources loaded")) return 1;

    CTestClientPool pool(burst + 8);
    CClientSettings settings;
    settings.m_Nickname = "Watcher";
    settings.m_Password = "pw";
    CTestClient watcher(pool, settings);
    if (!watcher.Join("127.0.0.1", port, 10000)) return 1;

    // Round trip of one chat line, in milliseconds.
    auto chatRoundTrip = [&]() {
        const size_t from = watcher.GetMessageCount();
        const auto start = Clock::now();
        watcher.SendChat("ping");
        watcher.WaitForMessage(PACKET_CHAT, 30000, from);
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    double quiet = 0;
    for (int i = 0; i < 20; ++i) quiet = std::max(quiet, chatRoundTrip());

    std::vector<std::unique_ptr<CTestClient>> crowd;
    for (int i = 0; i < burst; ++i) {
        CClientSettings s;
        s.m_Nickname = "Burst" + std::to_string(i);
        s.m_Password = "pw";
        crowd.push_back(std::make_unique<CTestClient>(pool, s));
        crowd.back()->BeginConnect("127.0.0.1", port);
    }
    const auto burstStart = Clock::now();
    std::vector<double> during;
    while (std::any_of(crowd.begin(), crowd.end(), [](auto& c) { return !c->HasJoined() && !c->IsDisconnected(); }) &&
           Clock::now() - burstStart < std::chrono::seconds(60)) {
        during.push_back(chatRoundTrip());
        pool.Service(10);
    }
    const double total = std::chrono::duration<double, std::milli>(Clock::now() - burstStart).count();
    const double worst = during.empty() ? 0 : *std::max_element(during.begin(), during.end());
    printf("chat round trip without the burst: worst %.1f ms\n", quiet);
    printf("burst of %d password connects: all admitted after %.0f ms\n", burst, total);
    printf("chat round trip during the burst: worst %.1f ms over %zu samples\n", worst, during.size());
    server.Interrupt();
    server.WaitForExit();
    return 0;
}
