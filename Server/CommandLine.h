#pragma once
#include <cstdint>
#include <string>

// What the command line asked for. Overrides are applied after the configuration file has been read
// and validated, so the file's limits do not apply to them.
struct CCommandLineOptions {
    std::string m_ConfigPath = "server.xml";
    bool m_bDumpDoc = false;
    bool m_bNoInput = false;
    bool m_bPortGiven = false, m_bHttpPortGiven = false, m_bRconPortGiven = false, m_bMaxPlayersGiven = false;
    int32_t m_Port = 0, m_HttpPort = 0, m_RconPort = 0, m_MaxPlayers = 0;
    bool m_bBindIPGiven = false;
    std::string m_BindIP;
    bool m_bMultithreadedGiven = false;
    bool m_bMultithreaded = false;

    // Options are matched case-insensitively in any order (the program name included); anything else
    // is ignored. An option with a value takes the next argument whatever it is.
    void Parse(int argc, const char* const* argv);
};
