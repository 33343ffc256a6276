// testclient: joins a server as a game client, prints every message it receives (one decoded line
// each) and sends what is typed on standard input: chat, "/commands" and ":" actions.
#include "TestClient/Datagram.h"
#include "TestClient/MessageText.h"
#include "TestClient/QueryProtocol.h"
#include "TestClient/TestClient.h"
#include "TestClient/TextFormat.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t CONNECT_TIMEOUT_MS = 5000;
constexpr uint32_t QUERY_TIMEOUT_MS = 2000;
constexpr uint32_t LEAVE_TIMEOUT_MS = 2000;

struct COptions {
    std::string m_Host = "127.0.0.1";
    uint16_t m_Port = 22000;
    CClientSettings m_Settings;
};

void Usage() {
    fprintf(stderr,
            "usage: testclient [--host 127.0.0.1] [--port 22000] [--name Player] [--password text] [--game 1]\n"
            "                  [--version 1.0.0.0] [--protocol 29]\n"
            "Typed lines: text is chat; /name args is a command; :leave [reason], :raw <id> <hex>, :bytes <hex>,\n"
            ":streaming on|off, :sync <hex>, :delete <element id>..., :requestsyncer <element id>,\n"
            ":key <key code> <down|up> [scan code] [modifiers] [repeat count], :query, :quit\n");
}

bool ParseNumber(const std::string& text, uint32_t& value) {
    if (text.empty()) return false;
    char* pEnd = nullptr;
    errno = 0;
    const long long parsed = strtoll(text.c_str(), &pEnd, 0);
    if (errno || *pEnd || parsed < INT32_MIN || parsed > UINT32_MAX) return false;
    value = static_cast<uint32_t>(parsed);
    return true;
}

bool ParseVersion(const std::string& text, uint32_t version[4]) {
    unsigned parts[4];
    char extra;
    if (sscanf(text.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &extra) != 4) return false;
    for (int i = 0; i < 4; ++i) version[i] = parts[i];
    return true;
}

bool ParseArguments(int argc, char** argv, COptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") return false;
        if (i + 1 >= argc) {
            fprintf(stderr, "missing value for %s\n", option.c_str());
            return false;
        }
        const std::string value = argv[++i];
        uint32_t number = 0;
        if (option == "--host") {
            options.m_Host = value;
        } else if (option == "--port" && ParseNumber(value, number) && number <= 65535) {
            options.m_Port = static_cast<uint16_t>(number);
        } else if (option == "--name") {
            options.m_Settings.m_Nickname = value;
        } else if (option == "--password") {
            options.m_Settings.m_Password = value;
        } else if (option == "--game" && ParseNumber(value, number) && number <= 255) {
            options.m_Settings.m_Game = static_cast<uint8_t>(number);
        } else if (option == "--version" && ParseVersion(value, options.m_Settings.m_Version)) {
        } else if (option == "--protocol" && ParseNumber(value, number)) {
            options.m_Settings.m_ProtocolVersion = number;
        } else {
            fprintf(stderr, "bad option %s %s\n", option.c_str(), value.c_str());
            return false;
        }
    }
    return true;
}

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    size_t position = 0;
    while (position < text.size()) {
        const size_t start = text.find_first_not_of(" \t", position);
        if (start == std::string::npos) break;
        const size_t end = text.find_first_of(" \t", start);
        words.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        position = end == std::string::npos ? text.size() : end;
    }
    return words;
}

std::string RestAfterWord(const std::string& text) {
    const size_t space = text.find(' ');
    return space == std::string::npos ? std::string() : text.substr(space + 1);
}

void PrintDisconnect(const CTestClient& client) {
    const uint32_t reason = client.GetDisconnectReason();
    const char* pName = GetDisconnectReasonName(reason);
    printf("* disconnected, reason %u%s%s%s\n", reason, pName ? " (" : "", pName ? pName : "", pName ? ")" : "");
    fflush(stdout);
}

class CCommandLineClient {
public:
    explicit CCommandLineClient(const COptions& options) : m_Options(options), m_Client(m_Pool, options.m_Settings) {
        m_Client.GetSettings().m_bRecordMessages = false;
        m_Client.SetMessageCallback([](const CReceivedMessage& message) {
            printf("%s\n", message.m_Text.c_str());
            fflush(stdout);
        });
        m_Client.SetStateCallback([this](CTestClient::eState state) {
            if (state == CTestClient::STATE_CONNECTED) printf("* connected, connect request sent\n");
            if (state == CTestClient::STATE_DISCONNECTED) PrintDisconnect(m_Client);
            fflush(stdout);
        });
    }

    int Run() {
        if (!m_Pool.IsValid()) {
            fprintf(stderr, "cannot create the ENet host\n");
            return 1;
        }
        printf("* connecting to %s:%u as %s\n", m_Options.m_Host.c_str(), m_Options.m_Port,
               QuoteText(m_Options.m_Settings.m_Nickname).c_str());
        fflush(stdout);
        if (!m_Client.Connect(m_Options.m_Host, m_Options.m_Port, CONNECT_TIMEOUT_MS)) {
            printf("* connection failed\n");
            return 1;
        }

        std::string pending;
        while (!m_bQuit) {
            m_Pool.Service(0);
            if (m_Client.IsDisconnected()) return 0;
            pollfd input{STDIN_FILENO, POLLIN, 0};
            const int ready = poll(&input, 1, 10);
            if (ready <= 0 || !(input.revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            const ssize_t got = read(STDIN_FILENO, buffer, sizeof(buffer));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                // End of input quits like ":quit", after a last line without a line feed.
                if (!pending.empty()) HandleLine(pending);
                Quit();
                break;
            }
            pending.append(buffer, static_cast<size_t>(got));
            size_t newline;
            while (!m_bQuit && (newline = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, newline);
                pending.erase(0, newline + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                HandleLine(line);
            }
        }
        return 0;
    }

private:
    void Quit() {
        m_bQuit = true;
        if (m_Client.IsConnected()) {
            m_Client.Disconnect(0);
            m_Client.WaitForDisconnect(LEAVE_TIMEOUT_MS);
        }
    }

    void Report(bool bSent, const char* pWhat) {
        if (!bSent) printf("* could not send %s\n", pWhat);
        fflush(stdout);
    }

    void HandleLine(const std::string& line) {
        if (line.empty()) return;
        if (line[0] == '/') {
            const std::string command = line.substr(1);
            const size_t space = command.find(' ');
            Report(m_Client.SendCommand(command.substr(0, space),
                                        space == std::string::npos ? std::string() : command.substr(space + 1)),
                   "the command");
            return;
        }
        if (line[0] != ':') {
            Report(m_Client.SendChat(line), "the chat line");
            return;
        }
        const std::vector<std::string> words = SplitWords(line);
        const std::string& action = words[0];
        std::vector<uint8_t> bytes;
        uint32_t number = 0;
        if (action == ":quit") {
            Quit();
        } else if (action == ":leave") {
            if (words.size() < 2)
                Report(m_Client.SendLeaveWithoutReason(), "the leave request");
            else if (ParseNumber(words[1], number))
                Report(m_Client.SendLeave(number), "the leave request");
            else
                printf("* usage: :leave [reason]\n");
        } else if (action == ":raw" && words.size() >= 2 && ParseNumber(words[1], number) &&
                   ParseHex(RestAfterWord(RestAfterWord(line)), bytes)) {
            Report(m_Client.SendMessage(number, bytes), "the message");
        } else if (action == ":bytes" && ParseHex(RestAfterWord(line), bytes)) {
            Report(m_Client.SendBytes(bytes.data(), bytes.size()), "the bytes");
        } else if (action == ":streaming" && words.size() == 2 && (words[1] == "on" || words[1] == "off")) {
            Report(m_Client.SendElementStreaming(words[1] == "on"), "the streaming switch");
        } else if (action == ":sync" && ParseHex(RestAfterWord(line), bytes)) {
            Report(m_Client.SendSync(bytes), "the sync message");
        } else if (action == ":delete" && words.size() >= 2) {
            std::vector<int32_t> elements;
            for (size_t i = 1; i < words.size(); ++i) {
                if (!ParseNumber(words[i], number)) return (void)printf("* usage: :delete <element id>...\n");
                elements.push_back(static_cast<int32_t>(number));
            }
            Report(m_Client.SendElementDelete(elements), "the deletion");
        } else if (action == ":requestsyncer" && words.size() == 2 && ParseNumber(words[1], number)) {
            Report(m_Client.SendRequestSyncer(static_cast<int32_t>(number)), "the syncer request");
        } else if (action == ":key" && words.size() >= 3 && (words[2] == "down" || words[2] == "up")) {
            CKeyEventMessage event;
            uint32_t extra[3] = {0, 0, 0};
            bool bOk = ParseNumber(words[1], event.m_KeyCode);
            for (size_t i = 3; i < words.size() && i < 6; ++i) bOk = bOk && ParseNumber(words[i], extra[i - 3]);
            if (!bOk) return (void)printf("* usage: :key <key code> <down|up> [scan code] [modifiers] [repeat count]\n");
            event.m_Down = words[2] == "down" ? 1 : 0;
            event.m_ScanCode = extra[0];
            event.m_Modifiers = static_cast<uint16_t>(extra[1]);
            event.m_RepeatCount = extra[2];
            Report(m_Client.SendKeyEvent(event), "the key event");
        } else if (action == ":query") {
            std::vector<uint8_t> answer;
            if (!ExchangeDatagram(m_Options.m_Host, m_Options.m_Port, CQueryRequest().Build(), answer, QUERY_TIMEOUT_MS)) {
                printf("* no query answer\n");
            } else {
                CQueryAnswer parsed;
                const bool bParsed = parsed.Parse(answer);
                printf("%s%s\n", parsed.Describe().c_str(), bParsed ? "" : " (malformed)");
            }
        } else {
            printf("* unknown or malformed action: %s\n", line.c_str());
        }
        fflush(stdout);
    }

    COptions m_Options;
    CTestClientPool m_Pool{1};
    CTestClient m_Client;
    bool m_bQuit = false;
};

} // namespace

int main(int argc, char** argv) {
    COptions options;
    if (!ParseArguments(argc, argv, options)) {
        Usage();
        return 2;
    }
    CCommandLineClient client(options);
    return client.Run();
}
