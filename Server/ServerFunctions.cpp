// The script API of the host: the registries' functions in their order, then chat messages and the
// "server" namespace (settings, rules, bans, shutdown).
#include "BaseServer.h"
#include "ServerConfiguration.h"

#include "Engine/NativeState.h"
#include "Multiplayer/SessionMessages.h"

using namespace Tessera3D;

namespace {

// ARGB of the colour constant Lime, the colour of script messages without one.
constexpr uint32_t DEFAULT_MESSAGE_COLOUR = 0xFF00FF00;

CBaseServer* Server(void* pUser) { return static_cast<CBaseServer*>(pUser); }

// An optional colour at the index; its low 32 bits, so signed and unsigned spellings agree.
bool OptionalColour(CNativeState* pState, int argumentCount, int index, uint32_t& colour) {
    colour = DEFAULT_MESSAGE_COLOUR;
    if (argumentCount <= index) return true;
    int64_t value = 0;
    if (!pState->CheckNumber(index, value)) return false;
    colour = static_cast<uint32_t>(value);
    return true;
}

CNetMachine* CheckClient(CNativeState* pState, int index) {
    CBaseObject* pObject = pState->CheckReferenceable(index);
    if (!pObject) return nullptr;
    auto* pClient = dynamic_cast<CNetMachine*>(pObject);
    if (!pClient) pState->Error("Expected %s for argument %d", "Client", index + 1);
    return pClient;
}

bool ScriptMessage(CNativeState* pState, int argumentCount, void* pUser) {
    size_t length = 0;
    const char* text = pState->CheckString(0, &length);
    if (!text) return false;
    uint32_t colour;
    if (!OptionalColour(pState, argumentCount, 1, colour)) return false;
    Server(pUser)->SendChat(nullptr, std::string(text, length), colour);
    return true;
}

// "sx|i": text, a client, optional colour; hands them to the given send.
template <typename Send>
bool MessageWithClient(CNativeState* pState, int argumentCount, Send send) {
    size_t length = 0;
    const char* text = pState->CheckString(0, &length);
    if (!text) return false;
    CNetMachine* pClient = CheckClient(pState, 1);
    if (!pClient) return false;
    uint32_t colour;
    if (!OptionalColour(pState, argumentCount, 2, colour)) return false;
    send(pClient, std::string(text, length), colour);
    return true;
}

bool ScriptMessageClient(CNativeState* pState, int argumentCount, void* pUser) {
    return MessageWithClient(pState, argumentCount, [pUser](CNetMachine* pClient, const std::string& text, uint32_t colour) {
        Server(pUser)->SendChat(pClient, text, colour);
    });
}

bool ScriptMessageAllExcept(CNativeState* pState, int argumentCount, void* pUser) {
    return MessageWithClient(pState, argumentCount, [pUser](CNetMachine* pClient, const std::string& text, uint32_t colour) {
        Server(pUser)->SendChatExcept(pClient, text, colour);
    });
}

bool ScriptGetGame(CNativeState* pState, int, void* pUser) {
    pState->m_RVal.AddNumber(static_cast<int32_t>(Server(pUser)->GetSettings().m_Game));
    return true;
}

bool ScriptGetName(CNativeState* pState, int, void* pUser) {
    const std::string& name = Server(pUser)->GetSettings().m_ServerName;
    pState->m_RVal.AddString(name.data(), name.size());
    return true;
}

bool ScriptSetName(CNativeState* pState, int, void* pUser) {
    const char* text = pState->CheckString(0);
    if (!text) return false;
    Server(pUser)->SetServerName(text);
    return true;
}

bool ScriptGetGameMode(CNativeState* pState, int, void* pUser) {
    const std::string& mode = Server(pUser)->GetSettings().m_GameMode;
    pState->m_RVal.AddString(mode.data(), mode.size());
    return true;
}

bool ScriptSetGameMode(CNativeState* pState, int, void* pUser) {
    const char* text = pState->CheckString(0);
    if (!text) return false;
    Server(pUser)->SetGameMode(text);
    return true;
}

bool ScriptGetPort(CNativeState* pState, int, void* pUser) {
    pState->m_RVal.AddNumber(static_cast<int32_t>(Server(pUser)->GetSettings().m_Port));
    return true;
}

bool ScriptGetMaxClients(CNativeState* pState, int, void* pUser) {
    pState->m_RVal.AddNumber(static_cast<int32_t>(Server(pUser)->GetSettings().m_MaxPlayers));
    return true;
}

bool ScriptSetRule(CNativeState* pState, int, void* pUser) {
    size_t nameLength = 0, valueLength = 0;
    const char* name = pState->CheckString(0, &nameLength);
    if (!name) return false;
    const char* value = pState->CheckString(1, &valueLength);
    if (!value) return false;
    Server(pUser)->GetRules().SetRule(std::string(name, nameLength), std::string(value, valueLength));
    return true;
}

bool ScriptGetRule(CNativeState* pState, int, void* pUser) {
    size_t length = 0;
    const char* name = pState->CheckString(0, &length);
    if (!name) return false;
    const std::string* pValue = Server(pUser)->GetRules().GetRule(std::string(name, length));
    if (pValue) pState->m_RVal.AddString(pValue->data(), pValue->size());
    else pState->m_RVal.AddNull();
    return true;
}

// banIP(address[, milliseconds]): without a duration, or with 0, the ban never expires.
bool ScriptBanIP(CNativeState* pState, int argumentCount, void* pUser) {
    const char* address = pState->CheckString(0);
    if (!address) return false;
    uint32_t duration = 0;
    if (argumentCount > 1 && !pState->CheckNumber(1, duration)) return false;
    Server(pUser)->GetBanList().Ban(address, duration, OS::GetMillisecondsSinceStart());
    return true;
}

bool ScriptUnbanIP(CNativeState* pState, int, void* pUser) {
    const char* address = pState->CheckString(0);
    if (!address) return false;
    pState->m_RVal.AddBoolean(Server(pUser)->GetBanList().Unban(address));
    return true;
}

bool ScriptUnbanAllIPs(CNativeState* pState, int, void* pUser) {
    Server(pUser)->GetBanList().UnbanAll();
    return true;
}

bool ScriptIsIPBanned(CNativeState* pState, int, void* pUser) {
    const char* address = pState->CheckString(0);
    if (!address) return false;
    pState->m_RVal.AddBoolean(Server(pUser)->GetBanList().IsBanned(address, OS::GetMillisecondsSinceStart()));
    return true;
}

bool ScriptShutdown(CNativeState* pState, int, void* pUser) {
    Log("Script requested server shutdown!");
    Server(pUser)->RequestQuit();
    return true;
}

} // namespace

void CBaseServer::RegisterScriptFunctions() {
    ReflectedNamespace* pGlobal = &m_Scripting.m_Global;
    m_EventHandlers.RegisterFunctions(pGlobal);
    m_CommandHandlers.RegisterFunctions(pGlobal);
    m_TimerHandlers.RegisterFunctions(pGlobal);
    m_KeyBinds.RegisterFunctions(pGlobal);
    m_XmlInterface.RegisterFunctions(pGlobal);

    pGlobal->RegisterFunction("message", "s|i", ScriptMessage, this);
    pGlobal->RegisterFunction("messageClient", "sx|i", ScriptMessageClient, this);
    pGlobal->RegisterFunction("messageAllExcept", "sx|i", ScriptMessageAllExcept, this);

    ReflectedNamespace* pServer = pGlobal->AddNamespace("server");
    pServer->AddProperty(this, "game", ARGUMENT_INTEGER, ScriptGetGame, nullptr);
    pServer->AddProperty(this, "name", ARGUMENT_STRING, ScriptGetName, ScriptSetName);
    pServer->AddProperty(this, "gameMode", ARGUMENT_STRING, ScriptGetGameMode, ScriptSetGameMode);
    pServer->AddProperty(this, "port", ARGUMENT_INTEGER, ScriptGetPort, nullptr);
    pServer->AddProperty(this, "maxClients", ARGUMENT_INTEGER, ScriptGetMaxClients, nullptr);
    pServer->RegisterFunction("setRule", "ss", ScriptSetRule, this);
    pServer->RegisterFunction("getRule", "s", ScriptGetRule, this);
    pServer->RegisterFunction("banIP", "s|i", ScriptBanIP, this);
    pServer->RegisterFunction("unbanIP", "s", ScriptUnbanIP, this);
    pServer->RegisterFunction("unbanAllIPs", "", ScriptUnbanAllIPs, this);
    pServer->RegisterFunction("isIPBanned", "s", ScriptIsIPBanned, this);
    pServer->RegisterFunction("shutdown", "", ScriptShutdown, this);
}

void CBaseServer::SetServerName(const std::string& name) {
    m_Settings.m_ServerName = Truncate63(name);
    // Clients learn the new name from the name message (the game mode message would not tell them).
    SendServerName(nullptr);
}

void CBaseServer::SetGameMode(const std::string& mode) {
    m_Settings.m_GameMode = Truncate63(mode);
    SendGameMode(nullptr);
}
