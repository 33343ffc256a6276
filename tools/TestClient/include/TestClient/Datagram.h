#pragma once
// Plain UDP datagrams to a server's game port, outside ENet (the query protocol shares that port).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CDatagramSocket {
public:
    CDatagramSocket() = default;
    ~CDatagramSocket();
    CDatagramSocket(const CDatagramSocket&) = delete;
    CDatagramSocket& operator=(const CDatagramSocket&) = delete;

    // A socket on an ephemeral local port whose datagrams go to host:port (IPv4, name or dotted text).
    bool Open(const std::string& host, uint16_t port);
    void Close();
    bool IsOpen() const { return m_Socket >= 0; }
    uint16_t GetLocalPort() const;

    bool Send(const void* pData, size_t size);
    bool Send(const std::vector<uint8_t>& datagram) { return Send(datagram.data(), datagram.size()); }
    // Waits up to timeoutMs for one datagram from the target; false on time-out or error.
    bool Receive(std::vector<uint8_t>& datagram, uint32_t timeoutMs);

private:
    int m_Socket = -1;
};

// Sends one datagram and waits for one answer.
bool ExchangeDatagram(const std::string& host, uint16_t port, const std::vector<uint8_t>& request,
                      std::vector<uint8_t>& answer, uint32_t timeoutMs);
