#include "BaseServer.h"

#include "CommandLine.h"
#include "ConsoleCommands.h"
#include "ServerConfiguration.h"

#include "Engine/ArgumentArray.h"
#include "Engine/Context.h"
#include "Engine/FileSystem.h"
#include "Engine/TesseraHBF.h"
#include "Engine/TextReader.h"
#include "Engine/UnlimitedStream.h"
#include "Multiplayer/SessionMessages.h"
#include "Network/NetSocket.h"
#include "QueryProtocol.h"
#include "Scripting/ServerEvents.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <thread>

using namespace Tessera3D;

namespace {

struct NamedValue {
    const char* m_Name;
    int m_Value;
};

const NamedValue kSyncMethods[] = {{"none", SYNC_METHOD_NONE}, {"interval", SYNC_METHOD_INTERVAL}, {"replay", SYNC_METHOD_REPLAY}};
const NamedValue kPriorities[] = {{"immediate", 0}, {"high", 1}, {"medium", 2}, {"low", 3}};

template <size_t N>
bool LookUp(const NamedValue (&table)[N], const char* text, int& value) {
    for (const NamedValue& entry : table) {
        if (strcasecmp(entry.m_Name, text) == 0) {
            value = entry.m_Value;
            return true;
        }
    }
    return false;
}

// Sync packet flag bits: reliable and unsequenced.
constexpr uint32_t PACKET_FLAG_RELIABLE = 1, PACKET_FLAG_UNSEQUENCED = 2;

} // namespace

CBaseServer::CBaseServer() : m_pTransport(std::make_unique<CENetServer>(this)) {
    m_Machines.SetTransport(m_pTransport.get());
    m_pManager = std::make_unique<CNetObjectMgr>(&m_Machines);
    m_pManager->SetEvents(&m_ElementEvents);

    // The resource events come with the resource manager, then the host's own.
    DeclareEvents(m_EventHandlers, GetResourceEventDeclarations());
    DeclareEvents(m_EventHandlers, GetHostEventDeclarations());
    m_CommandHandlers.SetPassClient(true);
    m_KeyBinds.SetPassClient(true);
    m_CommandHandlers.AddCommandHandler(std::make_unique<CSayCommandHandler>(this), "say");
    m_CommandHandlers.AddCommandHandler(std::make_unique<CExitCommandHandler>(this), "quit");
    m_CommandHandlers.AddCommandHandler(std::make_unique<CExitCommandHandler>(this), "exit");
    m_CommandHandlers.SetUnhandledHandler(std::make_unique<CUnhandledCommandHandler2>());
    RegisterScriptFunctions();
}

CBaseServer::~CBaseServer() {
    DiscardConsoleInput();
    DetachInputThread();
    // What scripts installed goes before the clients it may refer to.
    m_TimerHandlers.RemoveTimers();
    m_KeyBinds.UnbindAllKeys(nullptr);
    m_EventHandlers.RemoveHandlers(nullptr);
    m_Machines.ReleaseAll();
    m_pTransport.reset();
}

bool CBaseServer::ParseConfig(CServerConfiguration& config) {
    CServerSettings& s = m_Settings;

    // The log file comes first, so every later message of the parse reaches it.
    s.m_LogPath = config.GetText63("logpath", "");
    s.m_LogTimeStamp = Truncate63(config.GetElementTextOr("logtimestamp", CFileLog::DEFAULT_TIME_FORMAT));
    Context* pContext = GGlobal.m_pContext;
    if (pContext) {
        pContext->GetFileLog().SetTimeFormat(s.m_LogTimeStamp.c_str());
        if (!s.m_LogPath.empty()) pContext->OpenLogFile(s.m_LogPath.c_str());
    }

    s.m_BindIP = config.GetText63("bindip", "");
    s.m_ServerName = config.GetText63("servername", "");
    s.m_GameMode = config.GetText63("gamemode", "");
    s.m_ServerListingURL = config.GetText63("serverlistingurl", DEFAULT_SERVER_LISTING_HOST);
    s.m_bServerBrowser = config.GetBoolValue("serverbrowser", false);

    s.m_MaxPlayers = config.GetIntValue("maxplayers", 32);
    if (s.m_MaxPlayers == 0) {
        LogError("The max players should at least be 1!");
        return false;
    }
    if (s.m_MaxPlayers > 127 || s.m_MaxPlayers < 0) {
        LogError("The max players should not be set to anything more than 127!");
        return false;
    }
    s.m_bServerQuery = config.GetBoolValue("serverquery", true);

    s.m_Port = config.GetUInt16Value("port", 22000);
    s.m_HttpPort = config.GetUInt16Value("httpport", 22000);
    s.m_HttpURL = config.GetTextValue("httpurl", "");
    s.m_RconPort = config.GetUInt16Value("rconport", 23000);
    s.m_bHttpServer = config.GetBoolValue("httpserver", true);
    s.m_bRcon = config.GetBoolValue("rcon", false);
    if (s.m_bRcon) {
        if (s.m_RconPort == s.m_HttpPort) {
            LogError("The rconport and httpport cannot match!");
            return false;
        }
        m_RconPassword.Set(config.GetTextValue("rconpassword", "").c_str());
    }

    s.m_SyncInterval = config.GetUInt16Value("syncinterval", 30);
    s.m_WaitEventTimeout = config.GetIntValue("waiteventtimeout", 5);
    if (const char* method = config.GetText("syncmethod")) {
        if (!LookUp(kSyncMethods, method, s.m_SyncMethod)) {
            LogError("Invalid syncmethod specified, using interval!");
            s.m_SyncMethod = SYNC_METHOD_INTERVAL;
        }
    }
    if (const char* priority = config.GetText("syncpacketpriority")) {
        if (!LookUp(kPriorities, priority, s.m_SyncPacketPriority)) {
            LogError("Invalid syncpriority specified, using low!");
            s.m_SyncPacketPriority = 3;
        }
    }
    s.m_SyncPacketFlags = 0;
    if (config.GetBoolValue("syncpacketreliable", false)) s.m_SyncPacketFlags |= PACKET_FLAG_RELIABLE;
    if (config.GetBoolValue("syncpacketunsequenced", false)) s.m_SyncPacketFlags |= PACKET_FLAG_UNSEQUENCED;
    s.m_bDuplicateNames = config.GetBoolValue("duplicatenames", false);
    s.m_bMultithreaded = config.GetBoolValue("multithreaded", true);
    if (const char* version = config.GetText("minclientversion")) {
        // Parts that do not parse keep their defaults.
        sscanf(version, "%d.%d.%d.%d", &s.m_MinClientVersion[0], &s.m_MinClientVersion[1], &s.m_MinClientVersion[2],
               &s.m_MinClientVersion[3]);
    }

    m_Password.Set(config.GetTextValue("password", "").c_str());

    ParseResources(config);
    ParseConsoleVariables(config);
    ParseRules(config);

    s.m_GameName = config.GetTextValue("game", "gta:iii");
    s.m_Game = FindGame(s.m_GameName.c_str());
    s.m_AcceptedGames.assign(1, s.m_Game);

    s.m_StreamInDistance = config.GetFloatValue("streamindistance", 100.0f);
    s.m_StreamOutDistance = config.GetFloatValue("streamoutdistance", 200.0f);
    s.m_StreamInterval = config.GetUInt16Value("streaminterval", 1000);
    if (s.m_StreamInterval < 500 || s.m_StreamInterval > 5000) {
        LogError("The streaminterval must be greater than or equal to 500 and less than or equal to 5000!");
        return false;
    }
    return true;
}

void CBaseServer::ParseResources(CServerConfiguration& config) {
    CElementChunk* pResources = config.FindElement("resources");
    if (!pResources) return;
    // From the first <resource>, every following element counts, whatever its name.
    for (CElementChunk* pResource = pResources->FindElement("resource"); pResource;
         pResource = pResource->GetNextElement()) {
        const char* name = pResource->Attribute("src");
        if (!name) continue;
        m_ResourcesToStart.emplace_back(name);
    }
}

void CBaseServer::ParseConsoleVariables(CServerConfiguration& config) {
    for (CElementChunk* pVar = config.FindElement("cvar"); pVar; pVar = pVar->GetNextSameNameElement()) {
        const char* name = pVar->Attribute("name");
        if (!name) {
            LogError("CVar in config without name attribute!");
            continue;
        }
        const char* value = pVar->Attribute("value");
        if (!value) {
            LogError("CVar %s in config without value attribute!", name);
            continue;
        }
        m_CVars.Set(name, value).m_bReadOnly = true;
    }
}

void CBaseServer::ParseRules(CServerConfiguration& config) {
    for (CElementChunk* pRule = config.FindElement("rule"); pRule; pRule = pRule->GetNextSameNameElement()) {
        const char* name = pRule->Attribute("name");
        if (!name) {
            LogError("Rule in config without name attribute!");
            continue;
        }
        const char* value = pRule->Attribute("value");
        if (!value) {
            LogError("Rule %s in config without value attribute!", name);
            continue;
        }
        m_Rules.SetRule(name, value);
    }
}

void CBaseServer::ApplyCommandLine(const CCommandLineOptions& options) {
    if (options.m_bPortGiven) m_Settings.m_Port = static_cast<uint16_t>(options.m_Port);
    if (options.m_bHttpPortGiven) m_Settings.m_HttpPort = static_cast<uint16_t>(options.m_HttpPort);
    if (options.m_bRconPortGiven) m_Settings.m_RconPort = static_cast<uint16_t>(options.m_RconPort);
    if (options.m_bMaxPlayersGiven) m_Settings.m_MaxPlayers = options.m_MaxPlayers;
    if (options.m_bBindIPGiven) m_Settings.m_BindIP = Truncate63(options.m_BindIP);
    if (options.m_bMultithreadedGiven) m_Settings.m_bMultithreaded = options.m_bMultithreaded;
}

void CBaseServer::InitialiseFrameClock() {
    m_FrameTime = FrameTimeInfo();
    m_FrameTime.Start(OS::GetPerformanceCounter());
}

bool CBaseServer::StartNetwork() {
    return m_pTransport->Initialise(m_Settings.m_Port, m_Settings.m_BindIP.c_str(), m_Settings.m_bMultithreaded);
}

void CBaseServer::CreateConsoleClient() {
    Strong<CNetMachine> pConsole = Strong<CNetMachine>::Adopt(NewMachine());
    pConsole->m_GameName = GetGameName(m_Settings.m_Game);
    pConsole->m_Game = static_cast<uint8_t>(m_Settings.m_Game);
    pConsole->m_bAdministrator = true;
    pConsole->m_bConsole = true;
    pConsole->m_Name = "Console";
    m_Machines.Set(CNetMachines::CONSOLE_INDEX, pConsole.Get());
    m_Machines.SetLocalIndex(CNetMachines::CONSOLE_INDEX);
}

void CBaseServer::RequestQuit() {
    m_bQuit = true;
    m_pConsole->m_QuitEvent.Signal();
}

void CBaseServer::MainLoop() {
    const uint64_t frequency = OS::GetPerformanceFrequency();
    CSyncDelivery delivery;
    delivery.m_Method = static_cast<eNetSyncMethod>(m_Settings.m_SyncMethod);
    delivery.m_Priority = static_cast<ePacketPriority>(m_Settings.m_SyncPacketPriority);
    delivery.m_Flags = m_Settings.m_SyncPacketFlags;
    m_pManager->SetSyncDelivery(delivery);
    for (;;) {
        m_ServerLock.Lock();
        const double frameTime = m_FrameTime.Update(OS::GetPerformanceCounter(), frequency);
        m_TimerHandlers.Process(frameTime);

        if (IsQuitting()) {
            m_ServerLock.Unlock();
            break;
        }

        m_pTransport->Update();
        if (m_ConnectedClients > 0) ProcessReplication();

        ProcessFrame(frameTime);
        RefreshQuerySnapshot();
        m_ServerLock.Unlock();

        // Each line changes server state like any other work, so it runs under the server lock too (taken
        // only after the queue has handed the lines over, never the other way round).
        m_pConsole->m_Lines.Pump([this](const std::string& line) {
            CScopedLock lock(m_ServerLock);
            RunConsoleLine(line);
        });

        // Lines typed on the console wake the loop early; otherwise it paces itself.
        const int sleepMs = m_ConnectedClients > 0 ? 5 : 100;
        if (m_pConsole->m_WakeEvent.Wait(sleepMs)) m_pConsole->m_WakeEvent.Reset();
    }
}

void CBaseServer::ProcessReplication() {
    const uint32_t now = OS::GetMillisecondsSinceStart();
    if (m_NextStreamTime < now) {
        m_NextStreamTime = now + m_Settings.m_StreamInterval;
        m_pManager->ProcessStreaming();
    }
    if (m_Settings.m_SyncMethod == SYNC_METHOD_INTERVAL && m_NextSyncTime < now) {
        m_pManager->ProcessSyncInterval();
        m_NextSyncTime = now + m_Settings.m_SyncInterval;
    }
}

void CBaseServer::SetManager(std::unique_ptr<CNetObjectMgr> pManager) {
    if (!pManager) return;
    pManager->SetEvents(&m_ElementEvents);
    m_pManager = std::move(pManager);
    m_Machines.SetRegistry(m_pManager.get());
}

bool CBaseServer::CElementEvents::TriggerNetObjectEvent(eNetObjectEvent event, CNetObject* pElement, CNetMachine* pMachine) {
    if (event >= NETOBJECT_EVENT_COUNT) return true;
    const char* name = NETOBJECT_EVENTS[event].m_Name;
    // Streaming asks for every element that comes and goes; without handlers nothing is built.
    EventHandlers::CEventType* pType = m_pServer->m_EventHandlers.FindEventType(name);
    if (!pType || pType->GetHandlerCount() == 0) return true;
    CArgumentArray arguments(2);
    arguments.AddObject(pElement);
    if (event != NETOBJECT_EVENT_DESTROY) arguments.AddObject(pMachine);
    return m_pServer->TriggerEvent(name, arguments);
}

void CBaseServer::CElementEvents::RemoveNetObjectHandlers(CNetObject* pElement) {
    m_pServer->m_EventHandlers.RemoveHandlersWithSource(pElement);
}

bool CBaseServer::StartInputThread() {
    if (m_pInputThread) return false;
    m_pInputThread = std::make_unique<CConsoleInputThread>(m_pConsole);
    if (m_pInputThread->Start()) return true;
    m_pInputThread.reset();
    return false;
}

void CBaseServer::DetachInputThread() { m_pInputThread.reset(); }

void CBaseServer::QueueConsoleLine(const std::string& line) {
    m_pConsole->m_Lines.Push(line);
    m_pConsole->m_WakeEvent.Signal();
}

void CBaseServer::RunConsoleLine(const std::string& line) {
    if (line.empty() || line.size() > MAX_COMMAND_LINE_LENGTH) return;
    SplitAndExecute(line, true);
}

void CBaseServer::RunConsoleCommandEntry(const std::string& line) {
    if (line.empty() || line.size() > MAX_COMMAND_LINE_LENGTH) return;
    m_CommandHandlers.ConsoleCommand(line.c_str(), nullptr, true);
}

void CBaseServer::SplitAndExecute(const std::string& text, bool fromConsole) {
    const size_t blank = text.find(' ');
    std::string name = text.substr(0, blank);
    name = name.substr(0, name.find_first_of("\r\n"));
    std::string arguments = blank == std::string::npos ? std::string() : text.substr(blank + 1);
    while (!arguments.empty() && (arguments.back() == '\n' || arguments.back() == '\r')) arguments.pop_back();
    if (arguments.size() >= 256) arguments.clear();
    if (name.empty()) return;
    ExecuteCommand(name, arguments, fromConsole ? GetConsoleClient() : nullptr, true);
}

void CBaseServer::ExecuteCommand(const std::string& name, const std::string& arguments, CNetMachine* pClient,
                                 bool privileged) {
    m_CommandHandlers.Execute(name.c_str(), arguments.c_str(), pClient, privileged, arguments.c_str());
}

bool CBaseServer::TriggerEvent(const char* name, CArgumentArray& arguments) {
    EventHandlers::CEventType* pType = m_EventHandlers.FindEventType(name);
    if (!pType) return true;
    if (!pType->IsCancellable()) {
        pType->Trigger(arguments);
        return true;
    }
    bool prevented = false;
    pType->Trigger(arguments, prevented);
    return !prevented;
}

void CBaseServer::TriggerServerStart() {
    CArgumentArray arguments;
    TriggerEvent("OnServerStart", arguments);
}

void CBaseServer::ReplayCommandLineFile() {
    Context* pContext = GGlobal.m_pContext;
    if (!pContext || !pContext->GetFileSystem()) return;
    Strong<Stream> pFile = pContext->GetFileSystem()->Open("/commandline.txt", false);
    if (!pFile) return;
    CTextReader reader(pFile.Get());
    ReadCommandLines(reader, [this](const std::string& line) { RunConsoleCommandEntry(line); });
}

// ---------------------------------------------------------------------------------------------
// Player sessions

bool CBaseServer::GetAddressText(NetPeer* pPeer, std::string& text) {
    CIPAddress address;
    char buffer[64];
    if (!m_pTransport->GetIPAddress(pPeer, address) || !address.ToString(buffer, sizeof(buffer))) return false;
    text = buffer;
    return true;
}

bool CBaseServer::OnPlayerConnect(NetPeer* pPeer) {
    std::string address;
    GetAddressText(pPeer, address);
    Log("CONNECT: %s is attempting to connect", address.c_str());
    CArgumentArray arguments(1);
    arguments.AddString(address.c_str());
    return TriggerEvent("OnPlayerConnect", arguments);
}

bool CBaseServer::ProcessPacket(NetPeer* pPeer, uint32_t id, Stream* pStream) {
    CNetMachine* pClient = m_Machines.GetMachineFromPeer(pPeer);
    if (!pClient) {
        if (id == PACKET_CONNECT_REQUEST) HandleConnectRequest(pPeer, pStream);
        return true;
    }
    switch (id) {
    case PACKET_CLIENT_READY: HandleClientReady(pClient); break;
    case PACKET_CHAT: HandleChat(pClient, pStream); break;
    case PACKET_COMMAND: HandleCommand(pClient, pStream); break;
    case PACKET_DISCONNECT_REQUEST: HandleLeaveRequest(pClient, pStream); break;
    case PACKET_KEY_EVENT: {
        Strong<CNetMachine> pKeep = pClient; // a bind may let the client go
        m_KeyBinds.HandleKeyEventMessage(pStream, pClient);
        break;
    }
    case PACKET_ELEMENT_SYNC:
    case PACKET_ELEMENT_DELETE:
    case PACKET_REQUEST_SYNCER: m_pManager->ProcessPacket(pClient, id, pStream); break;
    case PACKET_ELEMENT_STREAMING: {
        CElementStreaming message;
        CBinaryReader reader(pStream);
        message.Read(reader); // a missing byte reads as off
        pClient->m_bElementStreaming = message.m_bEnabled;
        break;
    }
    default: return false;
    }
    return true;
}

void CBaseServer::Refuse(NetPeer* pPeer, uint32_t reason, const char* format, const char* subject) {
    LogWarn(format, subject);
    m_pTransport->Disconnect(pPeer, reason);
}

void CBaseServer::HandleConnectRequest(NetPeer* pPeer, Stream* pStream) {
    std::string address;
    if (!GetAddressText(pPeer, address)) {
        m_pTransport->Disconnect(pPeer, DISCONNECT_FAILED);
        return;
    }
    if (m_BanList.IsBanned(address, OS::GetMillisecondsSinceStart()))
        return Refuse(pPeer, DISCONNECT_BANNED, "CONNECT: %s revoked connection [BANNED]", address.c_str());

    CConnectRequest request;
    CBinaryReader reader(pStream);
    request.Read(reader);

    if (request.m_ProtocolVersion != NETWORK_PROTOCOL_VERSION || !request.Has(CConnectRequest::FIELD_PROTOCOL)) {
        LogWarn("CONNECT: %s (%d) revoked connection [UNSUPPORTED CLIENT]", address.c_str(),
                static_cast<int>(request.m_ProtocolVersion));
        m_pTransport->Disconnect(pPeer, DISCONNECT_UNSUPPORTED_CLIENT);
        return;
    }
    bool older = !request.Has(CConnectRequest::FIELD_VERSION);
    for (int i = 0; i < 4 && !older; ++i) {
        const uint32_t minimum = static_cast<uint32_t>(m_Settings.m_MinClientVersion[i]);
        if (request.m_Version[i] != minimum) {
            older = request.m_Version[i] < minimum;
            break;
        }
    }
    if (older)
        return Refuse(pPeer, DISCONNECT_UNSUPPORTED_CLIENT, "CONNECT: %s revoked connection [UNSUPPORTED CLIENT]", address.c_str());
    if (!request.Has(CConnectRequest::FIELD_PASSWORD) ||
        (m_Password.IsSet() && !m_Password.Verify(request.m_Password.c_str())))
        return Refuse(pPeer, DISCONNECT_WRONG_PASSWORD, "CONNECT: %s revoked connection [WRONG PASSWORD]", address.c_str());
    // The nickname counts up to its first NUL byte.
    const std::string nickname = request.Has(CConnectRequest::FIELD_NICKNAME) ? request.m_Nickname.c_str() : "";
    if (nickname.empty())
        return Refuse(pPeer, DISCONNECT_INVALID_NICKNAME, "CONNECT: %s revoked connection [INVALID NICKNAME]", address.c_str());
    bool accepted = false;
    for (int game : m_Settings.m_AcceptedGames)
        accepted |= request.Has(CConnectRequest::FIELD_GAME) && game == request.m_Game;
    if (!accepted)
        return Refuse(pPeer, DISCONNECT_WRONG_GAME, "CONNECT: %s revoked connection [WRONG GAME]", nickname.c_str());
    if (!m_Settings.m_bDuplicateNames) {
        bool inUse = false;
        m_Machines.ForEach([&](const CNetMachine& machine) {
            inUse |= strcasecmp(machine.m_Name.c_str(), nickname.c_str()) == 0;
        });
        if (inUse)
            return Refuse(pPeer, DISCONNECT_NICKNAME_IN_USE, "CONNECT: %s revoked connection [NICKNAME IN USE]", nickname.c_str());
    }
    if (static_cast<int64_t>(m_ConnectedClients) >= m_Settings.m_MaxPlayers || m_Machines.FindFreeSlot() < 0)
        return Refuse(pPeer, DISCONNECT_SERVER_FULL, "CONNECT: %s revoked connection [SERVER FULL]", nickname.c_str());

    Admit(pPeer, address, nickname, request.m_Game);
}

void CBaseServer::Admit(NetPeer* pPeer, const std::string& address, const std::string& nickname, uint8_t game) {
    Strong<CNetMachine> pClient = Strong<CNetMachine>::Adopt(NewMachine());
    pClient->m_pPeer = pPeer;
    pClient->m_GameName = GetGameName(game);
    pClient->m_Game = game;
    m_pTransport->GetIPAddress(pPeer, pClient->m_Address);
    pClient->m_Name = nickname;
    pClient->m_bElementStreaming = false;
    m_Machines.Set(m_Machines.FindFreeSlot(), pClient.Get());
    ++m_ConnectedClients;

    {
        CArgumentArray arguments(1);
        arguments.AddObject(pClient.Get());
        TriggerEvent("OnPlayerJoin", arguments);
    }
    OnPlayerJoin(pClient.Get());
    // A handler may have disconnected the client already.
    if (pClient->m_Index < 0) return;

    SendCVars(pClient.Get());
    CConnectAccepted accepted;
    accepted.m_Index = pClient->m_Index;
    accepted.m_HttpPort = m_Settings.m_HttpPort;
    accepted.m_HttpAddress = m_Settings.m_HttpURL;
    accepted.m_SyncInterval = m_Settings.m_SyncInterval;
    accepted.m_SyncMethod = static_cast<uint8_t>(m_Settings.m_SyncMethod);
    if (auto pPacket = BuildMessage(accepted)) pClient->SendPacket(pPacket.Get());
    SendGameMode(pClient.Get());
    SendServerName(pClient.Get());

    CClientJoined joined;
    joined.m_Client = pClient->MakeRecord();
    Strong<Packet> pJoined = BuildMessage(joined);
    CClientList list;
    list.m_MaxPlayers = static_cast<uint16_t>(m_Settings.m_MaxPlayers);
    m_Machines.ForEach([&](const CNetMachine& machine) {
        if (&machine != pClient.Get() && pJoined) machine.SendPacket(pJoined.Get());
        list.m_Clients.push_back(machine.MakeRecord());
    });
    if (auto pPacket = BuildMessage(list)) pClient->SendPacket(pPacket.Get());
}

void CBaseServer::HandleClientReady(CNetMachine* pClient) {
    Strong<CNetMachine> pKeep = pClient;
    pClient->m_bInGame = true;
    pClient->m_bElementStreaming = true;

    // No resources run here yet, so the list is empty.
    auto pList = MakeStrong<Packet>(PACKET_RESOURCE_LIST);
    CBinaryWriter(pList.Get()).WriteUInt32(0);
    pClient->SendPacket(pList.Get());

    OnPlayerJoined(pClient);
    CArgumentArray arguments(1);
    arguments.AddObject(pClient);
    TriggerEvent("OnPlayerJoined", arguments);
    if (pClient->m_Index < 0) return;

    pClient->SendPlayer();
    if (auto pPacket = BuildMessage(CJoinComplete())) pClient->SendPacket(pPacket.Get());
}

void CBaseServer::HandleChat(CNetMachine* pClient, Stream* pStream) {
    CChatFromClient chat;
    if (!ReadMessage(pStream, chat)) return;
    const std::string text = chat.m_Text.c_str(); // up to the first NUL
    if (!text.empty()) UserChat(pClient, text);
}

void CBaseServer::HandleCommand(CNetMachine* pClient, Stream* pStream) {
    CCommandMessage command;
    if (!ReadMessage(pStream, command)) return;
    Strong<CNetMachine> pKeep = pClient; // a handler may let the client go
    CArgumentArray arguments(3);
    arguments.AddObject(pClient);
    arguments.AddString(command.m_Name.c_str());
    arguments.AddString(command.m_Arguments.c_str());
    if (!TriggerEvent("OnPlayerCommand", arguments)) return;
    if (command.m_Arguments.size() > MAX_COMMAND_LINE_LENGTH) return;
    ExecuteCommand(command.m_Name, command.m_Arguments, pClient, pClient->m_bAdministrator);
}

void CBaseServer::HandleLeaveRequest(CNetMachine* pClient, Stream* pStream) {
    CDisconnectRequest request;
    if (!ReadMessage(pStream, request)) request.m_Reason = DISCONNECT_QUIT;
    NetPeer* pPeer = pClient->m_pPeer;
    OnPlayerDisconnect(pPeer, request.m_Reason);
    m_pTransport->Disconnect(pPeer, request.m_Reason);
}

void CBaseServer::OnPlayerDisconnect(NetPeer* pPeer, uint32_t reason) {
    // Every client that goes is released, whatever the reason it gives, so no record outlives its peer.
    Strong<CNetMachine> pClient = m_Machines.GetMachineFromPeer(pPeer);
    if (!pClient) return;
    {
        CArgumentArray arguments(2);
        arguments.AddObject(pClient.Get());
        arguments.AddNumber(static_cast<int32_t>(reason));
        TriggerEvent("OnPlayerQuit", arguments);
    }
    // It syncs nothing and has nothing any more; its player element goes.
    m_pManager->OnMachineLeft(pClient.Get());
    if (pClient->m_Index < 0) return; // a handler already let it go
    if (m_ConnectedClients > 0) --m_ConnectedClients;
    const int32_t index = pClient->m_Index;
    m_Machines.Release(index);
    CClientLeft left;
    left.m_Index = index;
    if (auto pPacket = BuildMessage(left)) m_Machines.SendToAll(pPacket.Get());
}

void CBaseServer::UserChat(CNetMachine* pClient, const std::string& text) {
    if (!pClient) return;
    Strong<CNetMachine> pKeep = pClient; // a handler may let the client go
    CArgumentArray arguments(2);
    arguments.AddObject(pClient);
    arguments.AddString(text.c_str());
    if (!TriggerEvent("OnPlayerChat", arguments)) return;
    const std::string line = pClient->m_Name + ": " + text;
    Log("%s", line.c_str());
    SendChat(nullptr, line, CHAT_TYPE_CHAT);
}

void CBaseServer::SendTo(CNetMachine* pClient, const Packet* pPacket) {
    if (!pPacket) return;
    if (pClient) pClient->SendPacket(pPacket);
    else m_pTransport->SendEveryonePacket(pPacket, PACKET_PRIORITY_LOW, PACKET_FLAGS_RELIABLE, 0);
}

void CBaseServer::SendChat(CNetMachine* pClient, const std::string& text, uint32_t chatType) {
    CChatToClient chat;
    chat.m_ChatType = chatType;
    chat.m_Text = text;
    SendTo(pClient, BuildMessage(chat).Get());
}

void CBaseServer::SendChatExcept(CNetMachine* pExcluded, const std::string& text, uint32_t chatType) {
    CChatToClient chat;
    chat.m_ChatType = chatType;
    chat.m_Text = text;
    if (auto pPacket = BuildMessage(chat)) m_Machines.SendToAllExcept(pExcluded, pPacket.Get());
}

void CBaseServer::SendGameMode(CNetMachine* pClient) {
    CGameModeMessage mode;
    mode.m_Text = m_Settings.m_GameMode;
    SendTo(pClient, BuildMessage(mode).Get());
}

void CBaseServer::SendServerName(CNetMachine* pClient) {
    CServerNameMessage name;
    name.m_Text = m_Settings.m_ServerName;
    SendTo(pClient, BuildMessage(name).Get());
}

void CBaseServer::SendCVars(CNetMachine* pClient) {
    CCVarsMessage message;
    for (const auto& entry : m_CVars.GetAll()) message.m_Vars.emplace_back(entry.second.m_Name, entry.second.m_Value);
    SendTo(pClient, BuildMessage(message).Get());
}

// ---------------------------------------------------------------------------------------------
// Query protocol

void CBaseServer::RefreshQuerySnapshot() {
    auto cut = [](const std::string& text) { return text.substr(0, 255); };
    CScopedLock lock(m_SnapshotLock);
    CQuerySnapshot& s = m_QuerySnapshot;
    s.m_Game = static_cast<uint8_t>(m_Settings.m_Game);
    s.m_bPassword = m_Password.IsSet();
    s.m_ServerName = cut(m_Settings.m_ServerName);
    s.m_GameMode = cut(m_Settings.m_GameMode);
    s.m_Players = static_cast<uint8_t>(m_ConnectedClients);
    s.m_MaxPlayers = static_cast<uint8_t>(m_Settings.m_MaxPlayers);
    s.m_PlayerEntries.clear();
    m_Machines.ForEach([&](const CNetMachine& machine) {
        if (!machine.m_bConsole) s.m_PlayerEntries.emplace_back(static_cast<uint8_t>(machine.m_Index), cut(machine.m_Name));
    });
    s.m_Rules.clear();
    for (const auto& rule : m_Rules.GetRules()) s.m_Rules.emplace_back(cut(rule.first), cut(rule.second));
}

CQuerySnapshot CBaseServer::GetQuerySnapshot() {
    CScopedLock lock(m_SnapshotLock);
    return m_QuerySnapshot;
}

bool CBaseServer::ReceiveDatagram(INetSocket* pSocket) {
    size_t size = 0;
    const uint8_t* pData = pSocket->GetData(size);
    if (!pData || !IsQueryDatagram(pData, size)) return false;
    CUnlimitedStream answer;
    bool answered;
    {
        CScopedLock lock(m_SnapshotLock);
        answered = WriteQueryAnswer(pData, size, m_QuerySnapshot, answer);
    }
    if (answered) pSocket->Send(&answer);
    return true;
}
