#pragma once
// Commands: names typed on the server console, sent by players, run by the remote console or by
// scripts, each mapped to one handler (native or scripted) with a privilege rule. Names are
// case-insensitive.
//
// A handler may add, replace or remove handlers (itself included) while it runs. Changes to the table
// take effect at once (a removed name is free again, a new handler answers the next command), but a
// handler taken out of the table while any command is running is only freed when the outermost
// command has finished, so no handler is destroyed under its own feet.
#include "Engine/BaseObject.h"
#include "Engine/Function.h"
#include "Engine/Logger.h"
#include "Engine/References.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Tessera3D {

class CCommandHandlers;
class ReflectedNamespace;

// Longest parameter text a handler receives, and longest line the console-command entries take.
constexpr size_t MAX_COMMAND_PARAMETERS_LENGTH = 255;
constexpr size_t MAX_CONSOLE_COMMAND_LENGTH = 255;

class CCommandHandler {
public:
    // Native handlers are restricted by default: they run only for privileged callers.
    explicit CCommandHandler(bool restricted = true) : m_bRestricted(restricted) {}
    virtual ~CCommandHandler() = default;
    CCommandHandler(const CCommandHandler&) = delete;
    CCommandHandler& operator=(const CCommandHandler&) = delete;

    // parameters is never null for a handler found by name; the unhandled-command handler gets null
    // when the line had no parameters at all. client may be null (a command without a caller).
    virtual void Execute(const char* command, const char* parameters, CBaseObject* client) = 0;

    CCommandHandlers* GetOwner() const { return m_pOwner; }
    // The resource that installed the handler; null for the host's native handlers.
    CBaseObject* GetResource() const { return m_pResource; }
    void SetResource(CBaseObject* pResource) { m_pResource = pResource; }
    uint32_t GetKey() const { return m_Key; }
    const std::string& GetName() const { return m_Name; }
    bool IsRestricted() const { return m_bRestricted; }
    void SetRestricted(bool restricted) { m_bRestricted = restricted; }

private:
    friend class CCommandHandlers;

    CCommandHandlers* m_pOwner = nullptr;
    CBaseObject* m_pResource = nullptr;
    uint32_t m_Key = 0;
    std::string m_Name;
    bool m_bRestricted;
};

// Calls a script function with the command name, the parameters ("" when none) and, when the
// registry passes clients, the client (or null). Anyone may run it.
class CScriptCommandHandler : public CCommandHandler {
public:
    CScriptCommandHandler(CFunction* pFunction, CBaseObject* pResource);

    void Execute(const char* command, const char* parameters, CBaseObject* client) override;

    CFunction* GetFunction() const { return m_pFunction.Get(); }

private:
    Strong<CFunction> m_pFunction;
};

class CCommandHandlers {
public:
    CCommandHandlers();
    ~CCommandHandlers();
    CCommandHandlers(const CCommandHandlers&) = delete;
    CCommandHandlers& operator=(const CCommandHandlers&) = delete;

    // Installs the handler under the name; when the name already has one nothing changes, the offered
    // handler is destroyed and the result is false.
    bool AddCommandHandler(std::unique_ptr<CCommandHandler> pHandler, const char* name);
    // A script's handler for the name: refused when the name is taken, unless replace is set and the
    // taken name belongs to the same resource. True when installed.
    bool AddScriptCommandHandler(const char* name, CFunction* pFunction, CBaseObject* pResource, bool replace);
    // Removes the handler of the name when it belongs to the resource (whatever handler it is when the
    // resource is null); true when one was removed.
    bool RemoveCommandHandler(const char* name, CBaseObject* pResource);
    // Removes every handler the resource installed. The host's native handlers (no resource) are not
    // removed this way: they live as long as the registry.
    size_t RemoveHandlers(CBaseObject* pResource);
    CCommandHandler* FindCommandHandler(const char* name) const;
    bool HasCommandHandler(const char* name) const { return FindCommandHandler(name) != nullptr; }
    size_t GetHandlerCount() const { return m_Handlers.size(); }

    // The handler for commands nobody handles; replaces (and frees) the previous one.
    void SetUnhandledHandler(std::unique_ptr<CCommandHandler> pHandler);
    CCommandHandler* GetUnhandledHandler() const { return m_pUnhandled.get(); }

    // Runs the handler of the name when the caller may use it; false when none ran. The parameters
    // are cut to 255 bytes and lose trailing carriage returns and line feeds.
    bool Trigger(const char* command, const char* parameters, CBaseObject* client, bool privileged);
    // Trigger, then, when nothing ran, the unhandled-command handler if the caller may use it.
    // unhandledParameters is what that handler receives (null allowed). True when a named handler ran.
    bool Execute(const char* command, const char* parameters, CBaseObject* client, bool privileged,
                 const char* unhandledParameters);
    // Splits "name parameters" (at the first blank, carriage return or line feed; the text is cut to
    // 255 bytes first) and executes it.
    bool ConsoleCommandOnly(const char* text, CBaseObject* client, bool privileged);
    // An operator line: empty or longer than 255 bytes does nothing; "/name parameters" is a command;
    // anything else is chat, offered to "say" with the whole line as parameters.
    bool ConsoleCommand(const char* text, CBaseObject* client, bool privileged);

    // Script handlers receive the issuing client as third argument when set (the server sets it).
    bool GetPassClient() const { return m_bPassClient; }
    void SetPassClient(bool pass) { m_bPassClient = pass; }

    // Where command output goes. A remote console installs its own while its command runs; null
    // restores the registry's own console logger. Returns the logger that was installed before.
    Logger* GetLogger() const { return m_pLogger; }
    Logger* SetLogger(Logger* pLogger);

    bool IsExecuting() const { return m_Depth > 0; }

    // The script API: addCommandHandler, removeCommandHandler, hasCommandHandler, consoleCommand.
    void RegisterFunctions(ReflectedNamespace* pGlobal);
    // Whether a caller of consoleCommand may run restricted commands. By default only the host itself
    // (no caller) may; the resource manager answers for its resources.
    using PrivilegeCheck = std::function<bool(CBaseObject* caller)>;
    void SetPrivilegeCheck(PrivilegeCheck check) { m_PrivilegeCheck = std::move(check); }
    bool IsPrivileged(CBaseObject* caller) const { return m_PrivilegeCheck ? m_PrivilegeCheck(caller) : caller == nullptr; }

private:
    void Retire(std::unique_ptr<CCommandHandler> pHandler);
    void RunHandler(CCommandHandler& handler, const char* command, const char* parameters, CBaseObject* client);

    std::unordered_map<uint32_t, std::unique_ptr<CCommandHandler>> m_Handlers;
    std::unique_ptr<CCommandHandler> m_pUnhandled;
    std::vector<std::unique_ptr<CCommandHandler>> m_Retired;
    int32_t m_Depth = 0;
    bool m_bPassClient = false;
    Logger m_ConsoleLogger;
    Logger* m_pLogger = &m_ConsoleLogger;
    PrivilegeCheck m_PrivilegeCheck;
};

} // namespace Tessera3D
