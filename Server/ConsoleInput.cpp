#include "ConsoleInput.h"

#include "Engine/TextReader.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

void ReadConsoleInput(CConsoleInputShared& shared) {
    using namespace std::chrono_literals;
    while (!shared.m_QuitEvent.IsSignalled()) {
        char buffer[4096];
        while (fgets(buffer, sizeof(buffer), stdin)) {
            shared.m_Lines.Push(buffer);
            shared.m_WakeEvent.Signal();
            std::this_thread::sleep_for(100ms);
            if (shared.m_QuitEvent.IsSignalled()) return;
        }
        std::this_thread::sleep_for(1s);
    }
}

} // namespace

// The reader owns a share of the record, so it stays valid after the server and this object are gone.
std::function<void()> CConsoleInputThread::GetWork() {
    return [pShared = m_pShared] { ReadConsoleInput(*pShared); };
}

void ReadCommandLines(Tessera3D::CTextReader& reader, const std::function<void(const std::string&)>& onLine) {
    std::string line;
    uint32_t character;
    while (reader.ReadCharacter(character) && character != 0) {
        if (character == '\n') {
            if (!line.empty() && line.size() <= MAX_COMMAND_LINE_LENGTH) onLine(line);
            line.clear();
        } else if (character != '\r') {
            line.push_back(character > 255 ? '?' : static_cast<char>(character));
        }
    }
}
