#include "ServerProcess.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
namespace fs = std::filesystem;

CServerProcess::CServerProcess() : m_Binary(SERVER_BINARY) {
    char pattern[] = "/tmp/server-test-XXXXXX";
    m_Folder = mkdtemp(pattern);
}

CServerProcess::~CServerProcess() {
    if (m_Pid > 0 && !m_ExitStatus) {
        kill(m_Pid, SIGKILL);
        WaitForExit(std::chrono::seconds(5));
    }
    CloseInput();
    if (m_OutReader.joinable()) m_OutReader.join();
    if (m_ErrReader.joinable()) m_ErrReader.join();
    std::error_code ignored;
    fs::remove_all(m_Folder, ignored);
}

void CServerProcess::WriteFile(const std::string& relativePath, const std::string& contents) {
    const fs::path path = m_Folder / relativePath;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

void CServerProcess::WriteConfig(const std::string& body) {
    WriteFile("server.xml", "<server>\n" + body + "\n</server>\n");
}

void CServerProcess::UsePrivateBinary() {
    const fs::path copy = m_Folder / "bin" / m_Binary.filename();
    fs::create_directories(copy.parent_path());
    fs::copy_file(m_Binary, copy, fs::copy_options::overwrite_existing);
    m_Binary = copy;
}

void CServerProcess::Start(const std::vector<std::string>& arguments) {
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err)) abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) posix_spawn_file_actions_addclose(&actions, fd);
    posix_spawn_file_actions_addchdir_np(&actions, m_Folder.c_str());

    std::vector<std::string> argv{m_Binary.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    if (posix_spawn(&m_Pid, m_Binary.c_str(), &actions, nullptr, pointers.data(), environ) != 0) abort();
    posix_spawn_file_actions_destroy(&actions);

    close(in[0]);
    close(out[1]);
    close(err[1]);
    m_InputFd = in[1];
    signal(SIGPIPE, SIG_IGN);
    m_OutReader = std::thread([this, fd = out[0]] { ReadLoop(fd, m_Output); });
    m_ErrReader = std::thread([this, fd = err[0]] { ReadLoop(fd, m_Error); });
}

void CServerProcess::ReadLoop(int fd, std::string& sink) {
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof(buffer))) > 0;) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        sink.append(buffer, static_cast<size_t>(n));
        m_Changed.notify_all();
    }
    close(fd);
}

void CServerProcess::SendInput(const std::string& text) {
    if (m_InputFd >= 0 && write(m_InputFd, text.data(), text.size()) < 0) {
        // the server may already have gone; the test's assertions will tell
    }
}

void CServerProcess::CloseInput() {
    if (m_InputFd >= 0) close(m_InputFd);
    m_InputFd = -1;
}

void CServerProcess::Interrupt() { kill(m_Pid, SIGINT); }

std::optional<int> CServerProcess::WaitForExit(std::chrono::milliseconds timeout) {
    if (m_ExitStatus) return m_ExitStatus;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status;
        const pid_t done = waitpid(m_Pid, &status, WNOHANG);
        if (done == m_Pid) {
            m_ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            if (m_OutReader.joinable()) m_OutReader.join();
            if (m_ErrReader.joinable()) m_ErrReader.join();
            return m_ExitStatus;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(m_Pid, SIGKILL);
    return std::nullopt;
}

bool CServerProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_Mutex);
    return m_Changed.wait_for(lock, timeout, [&] { return m_Output.find(text) != std::string::npos; });
}

std::string CServerProcess::GetOutput() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Output;
}

std::string CServerProcess::GetErrorOutput() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Error;
}

std::vector<std::string> CServerProcess::GetPlainLines() {
    std::vector<std::string> lines;
    std::istringstream stream(StripColours(GetOutput()));
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

std::string StripColours(const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\033' && i + 1 < text.size() && text[i + 1] == '[') {
            const size_t end = text.find('m', i);
            if (end == std::string::npos) break;
            i = end;
            continue;
        }
        plain.push_back(text[i]);
    }
    return plain;
}

uint16_t CServerProcess::FreePort() {
    // Binding port 0 lets the kernel pick; the port is free for both UDP and TCP in practice.
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}
