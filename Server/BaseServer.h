#pragma once
// The game-independent server host: configuration, main loop, console input and shutdown.
#include "BanList.h"
#include "CVarSystem.h"
#include "ConsoleInput.h"
#include "QuerySnapshot.h"
#include "Rules.h"
#include "ServerSettings.h"

#include "Engine/Clock.h"
#include "Engine/Password.h"
#include "Engine/Scripting.h"
#include "Engine/Threads.h"
#include "Multiplayer/NetMachines.h"
#include "Multiplayer/NetObjectMgr.h"
#include "Network/ENetServer.h"
#include "Network/NetServerCompatibilityShim.h"
#include "Scripting/CommandHandlers.h"
#include "Scripting/EventHandlers.h"
#include "Scripting/KeyBinds.h"
#include "Scripting/TimerHandlers.h"
#include "Scripting/XmlInterface.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class CServerConfiguration;
struct CCommandLineOptions;
namespace Tessera3D { class CArgumentArray; }

class CBaseServer : public Tessera3D::CNetServerCompatibilityShim {
public:
    CBaseServer();
    ~CBaseServer() override;
    CBaseServer(const CBaseServer&) = delete;
    CBaseServer& operator=(const CBaseServer&) = delete;

    // Reads the host's keys in their fixed order; false (after logging why) stops the start.
    virtual bool ParseConfig(CServerConfiguration& config);
    void ApplyCommandLine(const CCommandLineOptions& options);

    // Names of the resources the configuration asks to start, in document order.
    std::vector<std::string>& GetResourcesToStart() { return m_ResourcesToStart; }

    void InitialiseFrameClock();
    // Opens the game port; false when it cannot be bound.
    bool StartNetwork();
    // The console pseudo-client in slot 255.
    void CreateConsoleClient();
    // Runs until "quit"/"exit", a script's shutdown or SIGINT.
    void MainLoop();

    void RequestQuit();
    // Held by the main loop for each iteration's work; another thread takes it to touch the server's
    // state (clients, elements, scripts) between iterations.
    Tessera3D::CLockable& GetServerLock() { return m_ServerLock; }
    // The interrupt hook's action: only sets the quit event's flag (no locks inside a signal handler).
    void SignalQuitFromInterrupt() { m_pConsole->m_QuitEvent.SignalFromInterrupt(); }
    bool IsQuitting() const { return m_bQuit || m_pConsole->m_QuitEvent.IsSignalled(); }

    bool StartInputThread();
    void DetachInputThread();
    void DiscardConsoleInput() { m_pConsole->m_Lines.Clear(); }
    // Queues a line as if typed on standard input.
    void QueueConsoleLine(const std::string& line);

    // A line typed on the console: at most 255 characters (line feed included), not empty; the text up
    // to the first blank names the command, the rest are its arguments.
    void RunConsoleLine(const std::string& line);
    // A line of "/commandline.txt" (or the -dumpdoc request): "/name args" runs a command without a
    // calling client; any other text is offered to "say", which needs a client and so does nothing.
    void RunConsoleCommandEntry(const std::string& line);
    // Runs every line of the virtual file "/commandline.txt", when it exists.
    void ReplayCommandLineFile();
    // Raises "OnServerStart" once the start sequence has finished.
    void TriggerServerStart();

    // Transport callbacks: connects, messages, disconnects and query datagrams.
    bool OnPlayerConnect(Tessera3D::NetPeer* pPeer) override;
    void OnPlayerDisconnect(Tessera3D::NetPeer* pPeer, uint32_t reason) override;
    bool ProcessPacket(Tessera3D::NetPeer* pPeer, uint32_t id, Tessera3D::Stream* pStream) override;
    bool ReceiveDatagram(Tessera3D::INetSocket* pSocket) override;

    // Chat typed by a player or the console: "name: text" to everyone as chat type 1, unless a
    // handler of "OnPlayerChat" cancels it.
    void UserChat(CNetMachine* pClient, const std::string& text);
    void SendChat(CNetMachine* pClient, const std::string& text, uint32_t chatType);
    void SendChatExcept(CNetMachine* pExcluded, const std::string& text, uint32_t chatType);
    void SendGameMode(CNetMachine* pClient);
    // Keep at most 63 characters and tell every client.
    void SetServerName(const std::string& name);
    void SetGameMode(const std::string& mode);
    void SendCVars(CNetMachine* pClient);

    CNetMachines& GetMachines() { return m_Machines; }
    // The element manager (the game layer's kind once the game server is set up).
    CNetObjectMgr* GetManager() const { return m_pManager.get(); }
    CNetMachine* GetConsoleClient() const { return m_Machines.Get(CNetMachines::CONSOLE_INDEX); }
    Tessera3D::CENetServer* GetTransport() const { return m_pTransport.get(); }
    CBanList& GetBanList() { return m_BanList; }
    uint32_t GetConnectedClientCount() const { return m_ConnectedClients; }
    // The address of a peer as text, without the port; false when it cannot be rendered.
    bool GetAddressText(Tessera3D::NetPeer* pPeer, std::string& text);
    // A copy of what the query protocol answers with (taken under the snapshot lock).
    CQuerySnapshot GetQuerySnapshot();

    CServerSettings& GetSettings() { return m_Settings; }
    const CServerSettings& GetSettings() const { return m_Settings; }
    CVarSystem& GetCVars() { return m_CVars; }
    CRules& GetRules() { return m_Rules; }
    const Tessera3D::CStoredPassword& GetPassword() const { return m_Password; }
    const Tessera3D::CStoredPassword& GetRconPassword() const { return m_RconPassword; }
    double GetFrameTime() const { return m_FrameTime.m_FrameTime; }

    // The scripting host with the reflected API every language sees.
    Tessera3D::CScripting& GetScripting() { return m_Scripting; }
    // The script registries: events, commands, key binds, timers and the XML interface.
    Tessera3D::EventHandlers::CEventHandlers& GetEventHandlers() { return m_EventHandlers; }
    Tessera3D::CCommandHandlers& GetCommandHandlers() { return m_CommandHandlers; }
    Tessera3D::CKeyBinds& GetKeyBinds() { return m_KeyBinds; }
    Tessera3D::TimerHandlers::CTimerHandlers& GetTimerHandlers() { return m_TimerHandlers; }
    Tessera3D::CXmlInterface& GetXmlInterface() { return m_XmlInterface; }

protected:
    // Creates a client record; the game layer makes its own kind.
    virtual CNetMachine* NewMachine() { return new CNetMachine(&m_Machines); }
    // Called during admission, and when the client has finished loading.
    virtual void OnPlayerJoin(CNetMachine* pClient) {}
    virtual void OnPlayerJoined(CNetMachine* pClient) {}
    // Raises a script event; false when a handler cancelled it (only cancellable events can be).
    virtual bool TriggerEvent(const char* name, Tessera3D::CArgumentArray& arguments);
    // The game name a game id was registered under.
    virtual std::string GetGameName(int game) const { return std::string(); }
    // Sends a message to the client, or to every connected peer when pClient is null.
    void SendTo(CNetMachine* pClient, const Tessera3D::Packet* pPacket);

    // The game layer's share of each iteration.
    virtual void ProcessFrame(double frameTime) {}
    // Replaces the element manager (before any element exists); it raises its events here.
    void SetManager(std::unique_ptr<CNetObjectMgr> pManager);
    // Looks a game name up in the games list; -1 when unknown.
    virtual int FindGame(const char* name) const { return -1; }
    // Runs a command through the command layer for the caller (null: no calling client) with the
    // right to use restricted commands or not; a command nobody handles goes to the unhandled handler.
    virtual void ExecuteCommand(const std::string& name, const std::string& arguments, CNetMachine* pClient,
                                bool privileged);

    CServerSettings m_Settings;

private:
    void ParseConsoleVariables(CServerConfiguration& config);
    void ParseRules(CServerConfiguration& config);
    void ParseResources(CServerConfiguration& config);
    void SplitAndExecute(const std::string& text, bool fromConsole);
    void HandleConnectRequest(Tessera3D::NetPeer* pPeer, Tessera3D::Stream* pStream);
    void Refuse(Tessera3D::NetPeer* pPeer, uint32_t reason, const char* format, const char* subject);
    void Admit(Tessera3D::NetPeer* pPeer, const std::string& address, const std::string& nickname, uint8_t game);
    void HandleClientReady(CNetMachine* pClient);
    void HandleChat(CNetMachine* pClient, Tessera3D::Stream* pStream);
    void HandleCommand(CNetMachine* pClient, Tessera3D::Stream* pStream);
    void HandleLeaveRequest(CNetMachine* pClient, Tessera3D::Stream* pStream);
    void RefreshQuerySnapshot();
    // While clients are connected: the streaming tick every streaminterval, the sync round every
    // syncinterval with the interval method.
    void ProcessReplication();
    // The script API of the registries and the host's own functions, in registration order.
    void RegisterScriptFunctions();
    void SendServerName(CNetMachine* pClient);

    // Declared first so it is destroyed last, after every client record that refers to it.
    std::unique_ptr<Tessera3D::CENetServer> m_pTransport;
    CNetMachines m_Machines;
    // The element manager's events become the host's script events.
    class CElementEvents final : public INetObjectEvents {
    public:
        explicit CElementEvents(CBaseServer* pServer) : m_pServer(pServer) {}
        bool TriggerNetObjectEvent(eNetObjectEvent event, CNetObject* pElement, CNetMachine* pMachine) override;
        void RemoveNetObjectHandlers(CNetObject* pElement) override;

    private:
        CBaseServer* m_pServer;
    };
    CElementEvents m_ElementEvents{this};
    // Destroyed after the scripts and registries below, which may hold elements.
    std::unique_ptr<CNetObjectMgr> m_pManager;
    uint32_t m_NextStreamTime = 0;
    uint32_t m_NextSyncTime = 0;
    uint32_t m_ConnectedClients = 0;
    CBanList m_BanList;
    Tessera3D::CLockable m_SnapshotLock;
    CQuerySnapshot m_QuerySnapshot;
    // Destroyed before the clients and the transport: timers and handlers may hold client objects.
    // The host outlives the registries, whose objects refer to its classes.
    Tessera3D::CScripting m_Scripting;
    Tessera3D::EventHandlers::CEventHandlers m_EventHandlers;
    Tessera3D::CCommandHandlers m_CommandHandlers;
    Tessera3D::CKeyBinds m_KeyBinds;
    Tessera3D::TimerHandlers::CTimerHandlers m_TimerHandlers;
    Tessera3D::CXmlInterface m_XmlInterface;

    CVarSystem m_CVars;
    CRules m_Rules;
    Tessera3D::CStoredPassword m_Password;
    Tessera3D::CStoredPassword m_RconPassword;
    std::vector<std::string> m_ResourcesToStart;

    Tessera3D::CLockable m_ServerLock;
    std::atomic<bool> m_bQuit{false};
    std::shared_ptr<CConsoleInputShared> m_pConsole = std::make_shared<CConsoleInputShared>();
    std::unique_ptr<CConsoleInputThread> m_pInputThread;
    Tessera3D::FrameTimeInfo m_FrameTime;
};
