#pragma once
// The start-up sequence from a read configuration to the main loop: settings and command-line
// overrides, the frame clock, the game port, the console client, resources, "OnServerStart", the
// lines of /commandline.txt and the console input thread.
class CGTAServer;
class CServerConfiguration;
struct CCommandLineOptions;

// False after a failed start (already reported).
bool StartServer(CGTAServer& server, CServerConfiguration& config, const CCommandLineOptions& options);
