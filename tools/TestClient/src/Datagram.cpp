#include "TestClient/Datagram.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

bool ResolveIPv4(const std::string& host, uint16_t port, sockaddr_in& address) {
    memset(&address, 0, sizeof(address));
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* pResult = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &pResult) != 0 || !pResult) return false;
    address.sin_addr = reinterpret_cast<const sockaddr_in*>(pResult->ai_addr)->sin_addr;
    freeaddrinfo(pResult);
    return true;
}

// A datagram can be as large as UDP allows.
constexpr size_t MAX_DATAGRAM_SIZE = 65536;

} // namespace

CDatagramSocket::~CDatagramSocket() { Close(); }

bool CDatagramSocket::Open(const std::string& host, uint16_t port) {
    Close();
    sockaddr_in address;
    if (!ResolveIPv4(host, port, address)) return false;
    m_Socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_Socket < 0) return false;
    // A connected UDP socket only receives from its target.
    if (connect(m_Socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        Close();
        return false;
    }
    return true;
}

void CDatagramSocket::Close() {
    if (m_Socket >= 0) close(m_Socket);
    m_Socket = -1;
}

uint16_t CDatagramSocket::GetLocalPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    if (m_Socket < 0 || getsockname(m_Socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

bool CDatagramSocket::Send(const void* pData, size_t size) {
    if (m_Socket < 0) return false;
    return send(m_Socket, pData, size, 0) == static_cast<ssize_t>(size);
}

bool CDatagramSocket::Receive(std::vector<uint8_t>& datagram, uint32_t timeoutMs) {
    if (m_Socket < 0) return false;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd descriptor{m_Socket, POLLIN, 0};
        const int ready = poll(&descriptor, 1, left > 0 ? static_cast<int>(left) : 0);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        datagram.resize(MAX_DATAGRAM_SIZE);
        const ssize_t received = recv(m_Socket, datagram.data(), datagram.size(), 0);
        if (received < 0) {
            datagram.clear();
            if (errno == EINTR || errno == EAGAIN) continue;
            return false; // for example ECONNREFUSED: nothing listens on the port
        }
        datagram.resize(static_cast<size_t>(received));
        return true;
    }
}

bool ExchangeDatagram(const std::string& host, uint16_t port, const std::vector<uint8_t>& request,
                      std::vector<uint8_t>& answer, uint32_t timeoutMs) {
    CDatagramSocket socket;
    return socket.Open(host, port) && socket.Send(request) && socket.Receive(answer, timeoutMs);
}
