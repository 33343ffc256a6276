#pragma once
// Console input: the thread that queues lines typed on standard input, and the reader that splits
// "/commandline.txt" into lines.
#include "Engine/PumpedEventLoop.h"
#include "Engine/Threads.h"

#include <functional>
#include <memory>
#include <string>

namespace Tessera3D { class CTextReader; }

// What the input thread shares with the server. The thread is detached at shutdown and may be blocked
// in a read for the rest of the process, so it holds this record instead of pointing into the server.
struct CConsoleInputShared {
    Tessera3D::Signalable m_QuitEvent;
    Tessera3D::Signalable m_WakeEvent;
    Tessera3D::CPumpedEventLoop<std::string> m_Lines;
};

class CConsoleInputThread : public Tessera3D::Thread {
public:
    explicit CConsoleInputThread(std::shared_ptr<CConsoleInputShared> pShared)
        : Thread("InputThread"), m_pShared(std::move(pShared)) {}

protected:
    std::function<void()> GetWork() override;

private:
    std::shared_ptr<CConsoleInputShared> m_pShared;
};

// Longest console or command line that is run, line feed included.
constexpr size_t MAX_COMMAND_LINE_LENGTH = 255;

// Splits a text into lines the way "/commandline.txt" is read: a line ends at a line feed, carriage
// returns are skipped, characters above 255 become '?', and a NUL or the end of the text stops the
// reading. A last line without a line feed is dropped; lines over 255 characters are skipped.
void ReadCommandLines(Tessera3D::CTextReader& reader, const std::function<void(const std::string&)>& onLine);
