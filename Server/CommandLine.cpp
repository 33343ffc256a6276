#include "CommandLine.h"

#include <cstdlib>
#include <strings.h>

namespace {

int32_t ParseNumber(const char* text) { return static_cast<int32_t>(strtol(text, nullptr, 10)); }

} // namespace

void CCommandLineOptions::Parse(int argc, const char* const* argv) {
    for (int i = 0; i < argc; ++i) {
        const char* option = argv[i];
        const bool hasValue = i + 1 < argc;
        auto is = [option](const char* name) { return strcasecmp(option, name) == 0; };

        if (is("-dumpdoc")) {
            m_bDumpDoc = true;
        } else if (is("-noinput")) {
            m_bNoInput = true;
        } else if (is("-allowadmin")) {
            // accepted for compatibility; it has no effect
        } else if (is("-multithreaded")) {
            m_bMultithreadedGiven = true;
            m_bMultithreaded = true;
        } else if (is("-disablemultithreaded")) {
            m_bMultithreadedGiven = true;
            m_bMultithreaded = false;
        } else if (!hasValue) {
            continue;
        } else if (is("-config")) {
            m_ConfigPath = argv[++i];
        } else if (is("-port")) {
            m_bPortGiven = true;
            m_Port = ParseNumber(argv[++i]);
        } else if (is("-httpport")) {
            m_bHttpPortGiven = true;
            m_HttpPort = ParseNumber(argv[++i]);
        } else if (is("-rconport")) {
            m_bRconPortGiven = true;
            m_RconPort = ParseNumber(argv[++i]);
        } else if (is("-maxplayers")) {
            m_bMaxPlayersGiven = true;
            m_MaxPlayers = ParseNumber(argv[++i]);
        } else if (is("-bindip")) {
            m_bBindIPGiven = true;
            m_BindIP = std::string(argv[++i]).substr(0, 63);
        }
    }
}
