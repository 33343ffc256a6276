#include "GTAServer.h"

#include "GTAClient.h"
#include "GTAServerManager.h"
#include "GameLayer.h"
#include "ServerConfiguration.h"
#include "ServerVersion.h"

#include "Engine/ArgumentArray.h"
#include "Engine/Context.h"
#include "Engine/FileSystem.h"
#include "Engine/Hash.h"
#include "Engine/Scripting.h"
#include "Engine/TesseraHBF.h"
#include "Multiplayer/GameMessages.h"
#include "Scripting/ServerEvents.h"

#include <cstring>

using namespace Tessera3D;

CGTAServer::CGTAServer() {
    SetManager(std::make_unique<CGTAServerManager>(this, &GetMachines()));
    m_pGameLayer = std::make_unique<CGameLayer>(GetManager(), &GetSettings(), &GetEventHandlers());
    DefineServerConstants();
    m_Games.Register(GAME_GTA_III, "gta:iii");
    m_Games.Register(GAME_GTA_VC, "gta:vc");
    m_Games.Register(GAME_GTA_SA, "gta:sa");
    m_Games.Register(GAME_GTA_IV, "gta:iv");
    m_Games.Register(GAME_BULLY, "bully");
    DeclareEvents(GetEventHandlers(), GetElementEventDeclarations());
    DeclareEvents(GetEventHandlers(), GetGameEventDeclarations());
}

CGTAServerManager* CGTAServer::GetGameManager() const { return static_cast<CGTAServerManager*>(GetManager()); }

CGTAServer::~CGTAServer() = default;

void CGTAServer::ProcessFrame(double frameTime) {
    m_pGameLayer->Process(frameTime);
    CArgumentArray arguments(1);
    arguments.AddNumber(frameTime);
    TriggerEvent("OnProcess", arguments);
}

bool CGTAServer::ParseConfig(CServerConfiguration& config) {
    if (!CBaseServer::ParseConfig(config)) return false;
    ParseAnticheat(config);
    LoadGameConstants();
    return m_pGameLayer->ParseConfig(config);
}

void CGTAServer::DefineServerConstants() {
    // The scripting host gives every new script environment this table.
    GetScripting().SetDefineHandlers(&m_Defines);
    DefineBuiltinConstants(&m_Defines);
    m_Defines.Define("SERVER_VERSION_MAJOR", int32_t(SERVER_VERSION_MAJOR));
    m_Defines.Define("SERVER_VERSION_MINOR", int32_t(SERVER_VERSION_MINOR));
    m_Defines.Define("SERVER_VERSION_PATCH", int32_t(SERVER_VERSION_PATCH));
    m_Defines.Define("GAME_UNKNOWN", int32_t(GAME_UNKNOWN));
    m_Defines.Define("GAME_GTA_III", int32_t(GAME_GTA_III));
    m_Defines.Define("GAME_GTA_VC", int32_t(GAME_GTA_VC));
    m_Defines.Define("GAME_GTA_SA", int32_t(GAME_GTA_SA));
    m_Defines.Define("GAME_GTA_IV", int32_t(GAME_GTA_IV));
    m_Defines.Define("GAME_GTA_IV_EFLC", int32_t(GAME_GTA_IV));
    m_Defines.Define("GAME_BULLY", int32_t(GAME_BULLY));
    m_Defines.Define("GAME_MAFIA_ONE", int32_t(GAME_MAFIA_ONE));
    m_Defines.Define("GAME_MAFIA_TWO", int32_t(GAME_MAFIA_TWO));
    m_Defines.Define("GAME_MAFIA_THREE", int32_t(GAME_MAFIA_THREE));
    m_Defines.Define("GAME_MAFIA_ONE_DE", int32_t(GAME_MAFIA_ONE_DE));
}

void CGTAServer::LoadGameConstants() {
    const char* path = nullptr;
    const char* name = nullptr;
    switch (GetSettings().m_Game) {
    case GAME_GTA_III: path = "/DADIdudivare/GTAIIIEnums.h", name = "GTAIIIEnums.h"; break;
    case GAME_GTA_VC: path = "/DADIdudivare/GTAVCEnums.h", name = "GTAVCEnums.h"; break;
    case GAME_GTA_SA: path = "/DADIdudivare/GTASAEnums.h", name = "GTASAEnums.h"; break;
    case GAME_GTA_IV: path = "/DADIdudivare/GTAIVEnums.h", name = "GTAIVEnums.h"; break;
    default: return;
    }
    Context* pContext = GGlobal.m_pContext;
    Strong<Stream> pHeader = pContext && pContext->GetFileSystem() ? pContext->GetFileSystem()->Open(path, false) : nullptr;
    if (pHeader) m_Defines.Process(pHeader.Get(), name);
}

void CGTAServer::ParseAnticheat(CServerConfiguration& config) {
    CElementChunk* pAnticheat = config.FindElement("anticheat");
    if (!pAnticheat) return;
    for (CElementChunk* pFile = pAnticheat->FindElement("file"); pFile; pFile = pFile->GetNextSameNameElement()) {
        const char* path = pFile->Attribute("path");
        const char* source = pFile->Attribute("src");
        if (!path) LogError("Anticheat file in config without path attribute!");
        else if (!source) LogError("Anticheat file %s in config without src attribute!", path);
        else AddFileToAnticheat(path, source);
    }
}

bool CGTAServer::AddFileToAnticheat(const char* gamePath, const char* sourcePath) {
    Log("Adding anticheat file %s. Game path: %s", sourcePath, gamePath);
    if (!sourcePath || !*sourcePath) {
        LogWarn("An anticheat file path is blank.");
        return false;
    }
    Context* pContext = GGlobal.m_pContext;
    Strong<Stream> pFile = pContext && pContext->GetFileSystem() ? pContext->GetFileSystem()->Open(sourcePath, false) : nullptr;
    if (!pFile) {
        LogWarn("Failed to read anticheat file %s.", sourcePath);
        return false;
    }
    CMD5Hash md5;
    uint8_t buffer[1024];
    for (size_t read; (read = pFile->Read(buffer, sizeof(buffer))) > 0;) md5.Add(buffer, read);
    uint8_t digest[CMD5Hash::DIGEST_SIZE];
    md5.Finish(digest);
    CAnticheatFile file{gamePath, sourcePath, {}};
    memcpy(file.m_Digest.data(), digest, sizeof(digest));
    m_AnticheatFiles.push_back(std::move(file));
    return true;
}

CNetMachine* CGTAServer::NewMachine() {
    auto* pClient = new CGTAClient(&GetMachines());
    // Trainers are allowed unless the console variable "trainers" says 0.
    if (CVarSystem::CVar* pVar = GetCVars().Find("trainers")) pClient->m_bTrainers = strtol(pVar->m_Value.c_str(), nullptr, 10) != 0;
    return pClient;
}

void CGTAServer::OnPlayerJoined(CNetMachine* pClient) { m_pGameLayer->OnPlayerJoined(pClient); }

void CGTAServer::OnPlayerJoin(CNetMachine* pClient) {
    CGameFileCheckRequest request;
    for (const CAnticheatFile& file : m_AnticheatFiles) request.m_Paths.push_back(file.m_GamePath);
    if (auto pPacket = BuildMessage(request)) pClient->SendPacket(pPacket.Get());
}

bool CGTAServer::ProcessPacket(NetPeer* pPeer, uint32_t id, Stream* pStream) {
    auto* pClient = static_cast<CGTAClient*>(GetMachines().GetMachineFromPeer(pPeer));
    // Only a peer without a record may ask to connect; a client that has not passed the game-file check
    // may only answer it, and once passed it may not answer again.
    if (!pClient) {
        if (id != PACKET_CONNECT_REQUEST) return false;
    } else if (!pClient->m_bGameFilesVerified) {
        if (id == PACKET_GAME_FILE_CHECK) HandleGameFileCheck(pClient, pStream);
        return true;
    } else if (id == PACKET_GAME_FILE_CHECK || id == PACKET_CONNECT_REQUEST) {
        return false;
    }
    if (pClient && m_pGameLayer->ProcessPacket(pClient, id, pStream)) return true;
    return CBaseServer::ProcessPacket(pPeer, id, pStream);
}

void CGTAServer::HandleGameFileCheck(CGTAClient* pClient, Stream* pStream) {
    std::string address;
    if (!GetAddressText(pClient->m_pPeer, address)) {
        GetTransport()->Disconnect(pClient->m_pPeer, DISCONNECT_FAILED);
        return;
    }
    CGameFileCheckAnswer answer;
    ReadMessage(pStream, answer);
    if (answer.m_Count != m_AnticheatFiles.size()) {
        LogWarn("CONNECT: %s revoked connection [CRC CHECK FAILED]", address.c_str());
        GetTransport()->Disconnect(pClient->m_pPeer, DISCONNECT_FILE_CHECK_FAILED);
        return;
    }
    for (size_t i = 0; i < m_AnticheatFiles.size(); ++i) {
        if (i >= answer.m_Digests.size() || answer.m_Digests[i] != m_AnticheatFiles[i].m_Digest) {
            LogWarn("CONNECT: %s revoked connection [CRC CHECK FAILED - %s]", address.c_str(),
                    m_AnticheatFiles[i].m_GamePath.c_str());
            GetTransport()->Disconnect(pClient->m_pPeer, DISCONNECT_FILE_CHECK_FAILED);
            return;
        }
    }
    pClient->m_bGameFilesVerified = true;
}
