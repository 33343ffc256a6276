// The query request the client builds, the answers it reads, and datagrams on a plain UDP socket.
#include "ByteTable.h"
#include "TestClient/Datagram.h"
#include "TestClient/QueryProtocol.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

TEST(QueryProtocol, BuildsRequests) {
    CQueryRequest everything;
    CQueryRequest bare;
    bare.m_Sections = 0;
    CQueryRequest otherType;
    otherType.m_Type = 2;
    CQueryRequest extraPlayerByte;
    extraPlayerByte.m_Sections = QUERY_SECTION_PLAYERS;
    extraPlayerByte.m_PlayerFields = 0x43;
    struct Case {
        const char* m_Name;
        CQueryRequest m_Request;
        const char* m_Bytes;
    } cases[] = {
        {"every section", everything,
         "FF FF 4F 47 50 00"  // prefix, "OGP", 0
         "01 01"              // version, server information
         "0F"                 // sections
         "7F"                 // server fields
         "00"                 // the empty section's byte
         "03"},               // player fields
        {"no section", bare, "FF FF 4F 47 50 00 01 01 00"},
        {"another type", otherType, "FF FF 4F 47 50 00 01 02"},
        {"player mask bit 6", extraPlayerByte, "FF FF 4F 47 50 00 01 01 02 43 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Name);
        EXPECT_EQ(c.m_Request.Build(), HexBytes(c.m_Bytes));
    }
}

TEST(QueryProtocol, ParsesAnswers) {
    CQueryAnswer answer;
    ASSERT_TRUE(answer.Parse(HexBytes("FF FF 4F 47 50 00 01 81 01 00")));
    EXPECT_EQ(answer.Describe(), "QUERY version=1 type=129 game=1 sections=0");

    ASSERT_TRUE(answer.Parse(HexBytes("FF FF 4F 47 50 00 01 80")));
    EXPECT_EQ(answer.Describe(), "QUERY version=1 type=128");

    ASSERT_TRUE(answer.Parse(HexBytes("FF FF 4F 47 50 00 01 81 03 0F"
                                      "7F"                         // server fields
                                      "07 43 6F 72 76 69 64 00"    // product: L + 1, text, 0
                                      "05"                         // flags: 4 + password
                                      "02 53 00"                   // server name "S"
                                      "01 00"                      // empty game mode
                                      "01 00"                      // empty map
                                      "01 20"                      // 1 player of 32
                                      "00"                         // empty section
                                      "01 03 00 04 42 6F 62 00"    // one player: mask, index 0, "Bob"
                                      "01 02 61 00 02 62 00")));   // one rule: "a" = "b"
    EXPECT_EQ(answer.m_ProductName, "Corvid");
    EXPECT_EQ(answer.m_Players.size(), 1u);
    EXPECT_EQ(answer.Describe(),
              "QUERY version=1 type=129 game=3 sections=15 fields=127 product=\"Corvid\" flags=5 name=\"S\" mode=\"\" "
              "map=\"\" players=1 maxplayers=32 playerlist=[0 \"Bob\"] rules={\"a\": \"b\"}");

    // No players: the section is one 0 byte without a mask.
    ASSERT_TRUE(answer.Parse(HexBytes("FF FF 4F 47 50 00 01 81 01 02 00")));
    EXPECT_TRUE(answer.m_Players.empty());

    for (const char* bad : {"", "FF FF 4F 47 50", "FF FE 4F 47 50 00 01 81 01 00", "FF FF 4F 47 50 00 01 81 01",
                            "FF FF 4F 47 50 00 01 81 01 08 01 02 61 00",        // rule value missing
                            "FF FF 4F 47 50 00 01 81 01 01 04 09 61 00",        // string longer than the datagram
                            "FF FF 4F 47 50 00 01 81 01 01 04 00",              // length byte 0
                            "FF FF 4F 47 50 00 01 81 01 01 04 02 61 61"}) {     // no terminator
        SCOPED_TRACE(bad);
        EXPECT_FALSE(answer.Parse(HexBytes(bad)));
    }
}

TEST(QueryProtocol, ExchangesDatagramsWithAPlainSocket) {
    // A bare UDP socket plays the server's game port.
    const int server = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(server, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    socklen_t length = sizeof(address);
    ASSERT_EQ(getsockname(server, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const uint16_t port = ntohs(address.sin_port);

    CDatagramSocket client;
    ASSERT_TRUE(client.Open("127.0.0.1", port));
    const Bytes request = CQueryRequest().Build();
    ASSERT_TRUE(client.Send(request));

    uint8_t buffer[512];
    sockaddr_in from{};
    socklen_t fromLength = sizeof(from);
    const ssize_t got = recvfrom(server, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    ASSERT_EQ(got, static_cast<ssize_t>(request.size()));
    EXPECT_EQ(Bytes(buffer, buffer + got), request);
    EXPECT_EQ(ntohs(from.sin_port), client.GetLocalPort());

    const Bytes answer = HexBytes("FF FF 4F 47 50 00 01 80");
    ASSERT_EQ(sendto(server, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength),
              static_cast<ssize_t>(answer.size()));
    std::vector<uint8_t> received;
    ASSERT_TRUE(client.Receive(received, 5000));
    EXPECT_EQ(received, answer);
    // Nothing more: the wait ends empty-handed.
    EXPECT_FALSE(client.Receive(received, 20));
    close(server);

    // A port nobody listens on gives no answer.
    std::vector<uint8_t> none;
    EXPECT_FALSE(ExchangeDatagram("127.0.0.1", port, request, none, 200));
}
