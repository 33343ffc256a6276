#include "InProcessServer.h"

#include "CommandLine.h"
#include "ServerConfiguration.h"
#include "ServerFileSystem.h"
#include "ServerProcess.h"
#include "ServerStartup.h"

#include "Engine/MemoryStream.h"
#include "Engine/TesseraHBF.h"

using namespace Tessera3D;

CInProcessServer::CInProcessServer() : m_pPreviousContext(GGlobal.m_pContext) {
    m_Context.SetFileSystem(MakeServerFileSystem(std::string()));
    GGlobal.m_pContext = &m_Context;
    m_pServer = std::make_unique<CGTAServer>();
}

CInProcessServer::~CInProcessServer() {
    Stop();
    m_pServer.reset();
    GGlobal.m_pContext = m_pPreviousContext;
}

bool CInProcessServer::Start(const std::string& keys) {
    m_Port = CServerProcess::FreePort();
    const std::string xml = "<server><port>" + std::to_string(m_Port) + "</port>" + keys + "</server>";
    auto pText = MakeStrong<CMemoryStream>(xml.data(), xml.size());
    std::unique_ptr<CElementChunk> pDocument(CElementChunk::Load(pText.Get()));
    if (!pDocument) return false;
    CServerConfiguration config(pDocument.get());
    CCommandLineOptions options;
    options.m_bNoInput = true;
    if (!StartServer(*m_pServer, config, options)) return false;
    m_MainLoop = std::thread([this] { m_pServer->MainLoop(); });
    return true;
}

void CInProcessServer::Stop() {
    if (!m_MainLoop.joinable()) return;
    m_pServer->RequestQuit();
    m_MainLoop.join();
}
