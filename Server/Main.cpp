// The server process: start-up in its fixed order, the main loop, shutdown and the exit status.
#include "CommandLine.h"
#include "ExceptionReport.h"
#include "GTAServer.h"
#include "ServerConfiguration.h"
#include "ServerFileSystem.h"
#include "ServerStartup.h"
#include "ServerVersion.h"
#include "StartupPause.h"
#include "UserAgent.h"

#include "Engine/Assert.h"
#include "Engine/Context.h"
#include "Engine/StandardStream.h"
#include "Engine/TesseraHBF.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <memory>
#include <string>
#include <unistd.h>

using namespace Tessera3D;

CGTAServer* g_pServer = nullptr;
static void (*volatile QuitProc)() = nullptr;

static void SignalServerQuit() {
    if (g_pServer) g_pServer->SignalQuitFromInterrupt();
}

// Runs the quit action once; later interrupts do nothing.
static void sigint_handler(int) {
    if (auto proc = QuitProc) {
        QuitProc = nullptr;
        proc();
    }
}

namespace {

// The folder of the executable, with its trailing '/', read from /proc/self/exe.
bool FindExecutableFolder(std::string& folder) {
    if (access("/proc", F_OK) != 0) return false;
    std::string links[] = {"/proc/self/exe", "/proc/" + std::to_string(static_cast<unsigned long long>(getpid())) + "/exe"};
    for (const std::string& link : links) {
        for (size_t size = 64; size <= 65536; size *= 2) {
            std::string buffer(size, '\0');
            const ssize_t length = readlink(link.c_str(), &buffer[0], size);
            if (length < 0) break;
            if (static_cast<size_t>(length) < size) {
                buffer.resize(static_cast<size_t>(length));
                const size_t slash = buffer.rfind('/');
                if (slash == std::string::npos) return false;
                folder = buffer.substr(0, slash + 1);
                return true;
            }
        }
    }
    return false;
}

// Reads the configuration file and starts everything up to the main loop; false after a failed start
// (already reported).
bool StartFromConfigFile(CGTAServer& server, const CCommandLineOptions& options) {
    FILE* pFile = fopen(options.m_ConfigPath.c_str(), "rb");
    if (!pFile) {
        LogError("I can't start because server.xml doesn't exist...");
        return false;
    }
    std::unique_ptr<CElementChunk> pDocument;
    {
        auto pStream = MakeStrong<CStandardStream>(pFile);
        pDocument.reset(CElementChunk::Load(pStream.Get()));
    }
    if (!pDocument) {
        LogError("I can't start because server.xml failed to parse...");
        return false;
    }
    CServerConfiguration config(pDocument.get());
    return StartServer(server, config, options);
}

int RunServer(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_ALL);
    atexit(curl_global_cleanup);

    auto pContext = std::make_unique<Context>(CFileLog::DEFAULT_TIME_FORMAT);
    OS::InitialiseClock();
    GGlobal.m_pContext = pContext.get();
    srand(static_cast<unsigned>(time(nullptr)));
    std::string executableFolder;
    if (!FindExecutableFolder(executableFolder)) executableFolder.clear();
    pContext->SetFileSystem(MakeServerFileSystem(executableFolder));
    BuildUserAgent(*pContext);

    auto pServer = std::make_unique<CGTAServer>();
    pServer->GetRules().SetRule("Version", SERVER_VERSION_TEXT);

    g_pServer = pServer.get();
    QuitProc = &SignalServerQuit;
    struct sigaction action = {};
    action.sa_handler = &sigint_handler;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);

    CCommandLineOptions options;
    options.Parse(argc, argv);

    if (!StartFromConfigFile(*pServer, options)) {
        PauseForKey();
        g_pServer = nullptr;
        pServer.reset();
        return 1;
    }

    pServer->MainLoop();

    pServer->DetachInputThread();
    Log("Server shutting down...");
    pServer->DiscardConsoleInput();
    QuitProc = nullptr;
    g_pServer = nullptr;
    pServer.reset();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    g_bAsserts = false;
    try {
        return RunServer(argc, argv);
    } catch (const std::exception& exception) {
        // An escaped exception is a failure: report it rather than exit as if the server stopped cleanly.
        fprintf(stdout, "%s\n", FormatExceptionReport(exception).c_str());
        fflush(stdout);
        return 2;
    }
}
