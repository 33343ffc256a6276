#include "Scripting/CommandHandlers.h"

#include "Engine/ArgumentArray.h"
#include "Engine/Hash.h"

#include <cstring>

namespace Tessera3D {

CScriptCommandHandler::CScriptCommandHandler(CFunction* pFunction, CBaseObject* pResource)
    : CCommandHandler(false), m_pFunction(pFunction) {
    SetResource(pResource);
}

void CScriptCommandHandler::Execute(const char* command, const char* parameters, CBaseObject* client) {
    CArgumentArray arguments(3);
    arguments.AddString(command ? command : "");
    arguments.AddString(parameters ? parameters : "");
    if (GetOwner() && GetOwner()->GetPassClient()) arguments.AddObject(client);
    CReturnValue result;
    m_pFunction->Call(arguments, &result);
}

// ---------------------------------------------------------------------------------------------

CCommandHandlers::CCommandHandlers() = default;

CCommandHandlers::~CCommandHandlers() = default;

bool CCommandHandlers::AddCommandHandler(std::unique_ptr<CCommandHandler> pHandler, const char* name) {
    if (!pHandler || !name) return false;
    const uint32_t key = CRC32Hash::NameKey(name);
    if (m_Handlers.count(key)) return false;
    pHandler->m_pOwner = this;
    pHandler->m_Key = key;
    pHandler->m_Name = name;
    m_Handlers.emplace(key, std::move(pHandler));
    return true;
}

bool CCommandHandlers::AddScriptCommandHandler(const char* name, CFunction* pFunction, CBaseObject* pResource,
                                               bool replace) {
    if (!name || !pFunction) return false;
    auto it = m_Handlers.find(CRC32Hash::NameKey(name));
    if (it != m_Handlers.end()) {
        if (!replace || it->second->GetResource() != pResource) return false;
        std::unique_ptr<CCommandHandler> pOld = std::move(it->second);
        m_Handlers.erase(it);
        Retire(std::move(pOld));
    }
    return AddCommandHandler(std::make_unique<CScriptCommandHandler>(pFunction, pResource), name);
}

bool CCommandHandlers::RemoveCommandHandler(const char* name, CBaseObject* pResource) {
    if (!name) return false;
    auto it = m_Handlers.find(CRC32Hash::NameKey(name));
    if (it == m_Handlers.end()) return false;
    if (pResource && it->second->GetResource() != pResource) return false;
    std::unique_ptr<CCommandHandler> pOld = std::move(it->second);
    m_Handlers.erase(it);
    Retire(std::move(pOld));
    return true;
}

size_t CCommandHandlers::RemoveHandlers(CBaseObject* pResource) {
    if (!pResource) return 0;
    std::vector<std::unique_ptr<CCommandHandler>> removed;
    for (auto it = m_Handlers.begin(); it != m_Handlers.end();) {
        if (it->second->GetResource() == pResource) {
            removed.push_back(std::move(it->second));
            it = m_Handlers.erase(it);
        } else {
            ++it;
        }
    }
    const size_t count = removed.size();
    for (auto& pHandler : removed) Retire(std::move(pHandler));
    return count;
}

CCommandHandler* CCommandHandlers::FindCommandHandler(const char* name) const {
    if (!name) return nullptr;
    auto it = m_Handlers.find(CRC32Hash::NameKey(name));
    return it == m_Handlers.end() ? nullptr : it->second.get();
}

void CCommandHandlers::SetUnhandledHandler(std::unique_ptr<CCommandHandler> pHandler) {
    if (pHandler) {
        pHandler->m_pOwner = this;
        pHandler->m_Key = 0;
    }
    std::unique_ptr<CCommandHandler> pOld = std::move(m_pUnhandled);
    m_pUnhandled = std::move(pHandler);
    Retire(std::move(pOld));
}

Logger* CCommandHandlers::SetLogger(Logger* pLogger) {
    Logger* pPrevious = m_pLogger;
    m_pLogger = pLogger ? pLogger : &m_ConsoleLogger;
    return pPrevious;
}

void CCommandHandlers::Retire(std::unique_ptr<CCommandHandler> pHandler) {
    if (!pHandler) return;
    if (m_Depth > 0) m_Retired.push_back(std::move(pHandler));
    // otherwise it is freed here
}

void CCommandHandlers::RunHandler(CCommandHandler& handler, const char* command, const char* parameters,
                                  CBaseObject* client) {
    ++m_Depth;
    handler.Execute(command, parameters, client);
    if (--m_Depth == 0) {
        // A handler's destructor may release a script function, which may run code: take the list first.
        std::vector<std::unique_ptr<CCommandHandler>> retired = std::move(m_Retired);
        m_Retired.clear();
    }
}

bool CCommandHandlers::Trigger(const char* command, const char* parameters, CBaseObject* client, bool privileged) {
    CCommandHandler* pHandler = FindCommandHandler(command);
    if (!pHandler) return false;
    if (pHandler->IsRestricted() && !privileged) return false;
    std::string text = parameters ? std::string(parameters, strnlen(parameters, MAX_COMMAND_PARAMETERS_LENGTH)) : "";
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    RunHandler(*pHandler, command, text.c_str(), client);
    return true;
}

bool CCommandHandlers::Execute(const char* command, const char* parameters, CBaseObject* client, bool privileged,
                               const char* unhandledParameters) {
    if (Trigger(command, parameters, client, privileged)) return true;
    CCommandHandler* pUnhandled = m_pUnhandled.get();
    if (pUnhandled && (!pUnhandled->IsRestricted() || privileged))
        RunHandler(*pUnhandled, command, unhandledParameters, client);
    return false;
}

bool CCommandHandlers::ConsoleCommandOnly(const char* text, CBaseObject* client, bool privileged) {
    if (!text) return false;
    const std::string line(text, strnlen(text, MAX_CONSOLE_COMMAND_LENGTH));
    const size_t separator = line.find_first_of(" \r\n");
    if (separator == std::string::npos) return Execute(line.c_str(), "", client, privileged, nullptr);
    const std::string name = line.substr(0, separator);
    const std::string parameters = line.substr(separator + 1);
    return Execute(name.c_str(), parameters.c_str(), client, privileged, parameters.c_str());
}

bool CCommandHandlers::ConsoleCommand(const char* text, CBaseObject* client, bool privileged) {
    if (!text) return false;
    const size_t length = strnlen(text, MAX_CONSOLE_COMMAND_LENGTH + 1);
    if (length == 0 || length > MAX_CONSOLE_COMMAND_LENGTH) return false;
    if (text[0] == '/') {
        if (text[1] == '\0') return false;
        return ConsoleCommandOnly(text + 1, client, privileged);
    }
    return Execute("say", text, client, privileged, text);
}

} // namespace Tessera3D
