#pragma once
// The console commands the host registers: "say", "quit"/"exit", and the handler for commands nobody
// handles. All are restricted: they run for the console and for administrator clients only.
#include "Scripting/CommandHandlers.h"

class CBaseServer;
class CNetMachine;

// Chat under the calling client's name; nothing without a calling client.
class CSayCommandHandler : public Tessera3D::CCommandHandler {
public:
    explicit CSayCommandHandler(CBaseServer* pServer) : m_pServer(pServer) {}
    void Execute(const char* command, const char* parameters, Tessera3D::CBaseObject* client) override;

private:
    CBaseServer* m_pServer;
};

// Ends the main loop after the current iteration.
class CExitCommandHandler : public Tessera3D::CCommandHandler {
public:
    explicit CExitCommandHandler(CBaseServer* pServer) : m_pServer(pServer) {}
    void Execute(const char* command, const char* parameters, Tessera3D::CBaseObject* client) override;

private:
    CBaseServer* m_pServer;
};

// Tells the console (or whoever holds the command layer's logger, such as a remote console) that the
// command does not exist; other clients get no answer.
class CUnhandledCommandHandler2 : public Tessera3D::CCommandHandler {
public:
    void Execute(const char* command, const char* parameters, Tessera3D::CBaseObject* client) override;
};

// The client behind a command's caller object; null when there is none or it is no client.
CNetMachine* GetCommandClient(Tessera3D::CBaseObject* client);
