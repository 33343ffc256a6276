#pragma once
// The one run context of the process: the log (console and file), the user agent and the virtual
// file system. GGlobal points at it.
#include "Engine/FileLog.h"
#include "Engine/Log.h"

#include <memory>
#include <string>

namespace Tessera3D {

class CFileSystem;

class Context {
public:
    explicit Context(const char* timeFormat = CFileLog::DEFAULT_TIME_FORMAT);
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    void LogMessageV(int type, const char* format, va_list args);

    void AddUserAgent(const char* text);
    const std::string& GetUserAgent() const { return m_UserAgent; }

    CFileLog& GetFileLog() { return m_FileLog; }
    CFileSystem* GetFileSystem() const { return m_pFileSystem.get(); }
    void SetFileSystem(std::unique_ptr<CFileSystem> pFileSystem);

    // Opens "<folder>/ServerLog.log" for appending through the file system, creating it when missing;
    // file logging silently stays off when neither works.
    bool OpenLogFile(const char* folder);

private:
    std::unique_ptr<CFileSystem> m_pFileSystem;
    std::string m_UserAgent;
    CFileLog m_FileLog;
};

struct GlobalRecord {
    Context* m_pContext = nullptr;
};
extern GlobalRecord GGlobal;

// "Tessera %d.%d.%d": the engine's version, shown in banners and user agents.
constexpr int ENGINE_VERSION_MAJOR = 1, ENGINE_VERSION_MINOR = 2, ENGINE_VERSION_PATCH = 0;

} // namespace Tessera3D
