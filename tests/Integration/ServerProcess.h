#pragma once
// Runs the real server binary in a fresh temporary folder and talks to it as an operator would:
// through its command line, standard input, standard output and signals.
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class CServerProcess {
public:
    CServerProcess();
    ~CServerProcess();
    CServerProcess(const CServerProcess&) = delete;
    CServerProcess& operator=(const CServerProcess&) = delete;

    const std::filesystem::path& GetFolder() const { return m_Folder; }
    void WriteFile(const std::string& relativePath, const std::string& contents);
    // Writes server.xml from the given inner elements (between <server> and </server>).
    void WriteConfig(const std::string& body);
    // Copies the binary into the folder, so files "next to the executable" belong to this test.
    void UsePrivateBinary();

    // Starts the server with the given arguments, the folder as working directory, stdin a pipe.
    void Start(const std::vector<std::string>& arguments = {});
    void SendInput(const std::string& text);
    void CloseInput();
    void Interrupt();
    // Waits for the exit; nullopt on time-out (the process is then killed).
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // Waits until the output contains the text; false on time-out.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    std::string GetOutput();
    // Output lines with the colour sequences removed.
    std::vector<std::string> GetPlainLines();
    std::string GetErrorOutput();

    // Picks a free UDP/TCP port pair base for tests that listen.
    static uint16_t FreePort();

private:
    void ReadLoop(int fd, std::string& sink);

    std::filesystem::path m_Folder;
    std::filesystem::path m_Binary;
    int m_Pid = -1;
    int m_InputFd = -1;
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::string m_Output, m_Error;
    std::thread m_OutReader, m_ErrReader;
    std::optional<int> m_ExitStatus;
};

// Removes ANSI colour sequences from a console line.
std::string StripColours(const std::string& text);
