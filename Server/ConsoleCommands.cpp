#include "ConsoleCommands.h"

#include "BaseServer.h"

using namespace Tessera3D;

CNetMachine* GetCommandClient(CBaseObject* client) { return dynamic_cast<CNetMachine*>(client); }

void CSayCommandHandler::Execute(const char*, const char* parameters, CBaseObject* client) {
    CNetMachine* pClient = GetCommandClient(client);
    if (!pClient) return;
    m_pServer->UserChat(pClient, parameters ? parameters : "");
}

void CExitCommandHandler::Execute(const char*, const char*, CBaseObject*) { m_pServer->RequestQuit(); }

void CUnhandledCommandHandler2::Execute(const char* command, const char*, CBaseObject* client) {
    CNetMachine* pClient = GetCommandClient(client);
    if (client && (!pClient || !pClient->m_bConsole)) return;
    GetOwner()->GetLogger()->LogFormatted(
        LOGTYPE_ERROR, "'%s' is not recognized as an internal or external command, operable program or batch file.",
        command ? command : "");
}
