#include "ServerStartup.h"

#include "CommandLine.h"
#include "GTAServer.h"
#include "ServerConfiguration.h"

#include "Engine/Context.h"

#include <string>
#include <vector>

using namespace Tessera3D;

bool StartServer(CGTAServer& server, CServerConfiguration& config, const CCommandLineOptions& options) {
    if (!server.ParseConfig(config)) return false;
    server.ApplyCommandLine(options);

    Log("Server is starting...");
    Log(server.GetSettings().m_bMultithreaded ? "Multithreading: enabled" : "Multithreading: disabled");
    server.InitialiseFrameClock();

    if (!server.StartNetwork()) {
        LogError("Failed to start the server!");
        return false;
    }
    Log("Server is now listening on port %hu max players %d...", server.GetSettings().m_Port,
        server.GetSettings().m_MaxPlayers);

    server.CreateConsoleClient();

    Log("Starting resources...");
    std::vector<std::string>& resources = server.GetResourcesToStart();
    int started = 0, failed = 0;
    for (const std::string& name : resources) {
        // No resource of that name exists on this server.
        LogError("Error loading resource %s: resource not found!", name.c_str());
        ++failed;
    }
    LogMessage(failed ? LOGTYPE_WARN : LOGTYPE_INFO, "%i/%i Resources loaded, %i failed", started,
               static_cast<int>(resources.size()), failed);
    resources.clear();

    server.TriggerServerStart();
    server.ReplayCommandLineFile();
    if (options.m_bDumpDoc) server.RunConsoleCommandEntry("/dumpdoc");
    if (!options.m_bNoInput) server.StartInputThread();
    return true;
}
