// The receiving side without a network: header parsing, the callbacks the shim forwards, and the
// address record.
#include "LoopbackHarness.h"

#include "Network/IPAddress.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

using namespace Tessera3D;
using namespace NetworkTest;

namespace {

TEST(CompatibilityShim, ParsesTheHeaderAndHandsOverThePayload) {
    struct Case { const char* bytes; bool dispatched; uint32_t id; const char* payload; } cases[] = {
        {"02 34 52 54  06 00 00 00  68 65 6C 6C 6F", true, 6, "68 65 6C 6C 6F"},
        {"02 34 52 54  B4 00 00 00", true, 180, ""},                   // header only
        {"02 34 52 54  78 56 34 12  00", true, 0x12345678, "00"},      // id little-endian
        {"02 34 52 54  06 00 00", false, 0, ""},                      // id cut short
        {"02 34 52", false, 0, ""},
        {"", false, 0, ""},
        {"03 34 52 54  06 00 00 00", false, 0, ""},                   // magic differs
        {"FF FF 4F 47  50 00 01 01", false, 0, ""},                   // a query is no message
    };
    for (const Case& c : cases) {
        CRecorder recorder;
        const Bytes bytes = HexBytes(c.bytes);
        NetPeer* pPeer = reinterpret_cast<NetPeer*>(0x1000);
        EXPECT_EQ(recorder.PacketEvent(pPeer, bytes.data(), bytes.size()), c.dispatched) << c.bytes;
        ASSERT_EQ(recorder.m_Messages.size(), c.dispatched ? 1u : 0u) << c.bytes;
        if (!c.dispatched) continue;
        EXPECT_EQ(recorder.m_Messages[0].m_pPeer, pPeer);
        EXPECT_EQ(recorder.m_Messages[0].m_Id, c.id) << c.bytes;
        EXPECT_EQ(recorder.m_Messages[0].m_Payload, HexBytes(c.payload)) << c.bytes;
        EXPECT_FALSE(recorder.m_Messages[0].m_bWritable) << "read-only: " << c.bytes;
    }
    CRecorder recorder;
    EXPECT_FALSE(recorder.PacketEvent(nullptr, nullptr, 8)) << "no data";
}

TEST(CompatibilityShim, ForwardsConnectsAndDisconnectsAndLeavesDatagramsAlone) {
    struct CBareShim : CNetServerCompatibilityShim {
        bool ProcessPacket(NetPeer*, uint32_t, Stream*) override { return true; }
        bool OnPlayerConnect(NetPeer* pPeer) override { m_pConnected = pPeer; return true; }
        void OnPlayerDisconnect(NetPeer* pPeer, uint32_t reason) override { m_pLeft = pPeer; m_Reason = reason; }
        NetPeer* m_pConnected = nullptr;
        NetPeer* m_pLeft = nullptr;
        uint32_t m_Reason = 0;
    } shim;
    struct CFixedSocket : INetSocket {
        const uint8_t* GetData(size_t& size) override { size = 2; return m_Bytes; }
        bool Send(const CUnlimitedStream*) override { return true; }
        uint8_t m_Bytes[2] = {0xFF, 0xFF};
    } socket;
    NetPeer* pPeer = reinterpret_cast<NetPeer*>(0x2000);
    EXPECT_TRUE(shim.OnConnect(pPeer));
    EXPECT_EQ(shim.m_pConnected, pPeer);
    shim.OnDisconnect(pPeer, 12);
    EXPECT_EQ(shim.m_pLeft, pPeer);
    EXPECT_EQ(shim.m_Reason, 12u);
    EXPECT_FALSE(shim.ReceiveDatagram(&socket)) << "left to ENet unless the server handles it";
}

TEST(IPAddress, NumericTextWithoutThePortCutToTheBuffer) {
    CIPAddress address;
    address.m_Family = CIPAddress::FAMILY_IPV4;
    address.m_Port = 22000;
    address.m_IPv4 = inet_addr("192.168.100.254");
    struct Case { size_t size; bool ok; const char* text; } cases[] = {
        {64, true, "192.168.100.254"},
        {16, true, "192.168.100.254"},  // exactly fits with its terminator
        {4, true, "192"},
        {1, true, ""},
    };
    for (const Case& c : cases) {
        char buffer[80];
        memset(buffer, '#', sizeof(buffer));
        EXPECT_EQ(address.ToString(buffer, c.size), c.ok) << c.size;
        EXPECT_STREQ(buffer, c.text) << c.size;
        EXPECT_EQ(buffer[c.size], '#') << "nothing written past the buffer: " << c.size;
    }
    char buffer[8] = "x";
    EXPECT_FALSE(address.ToString(buffer, 0));
    EXPECT_EQ(buffer[0], 'x');
    CIPAddress empty;
    EXPECT_FALSE(empty.ToString(buffer, sizeof(buffer))) << "not IPv4";
    EXPECT_STREQ(buffer, "");
}

} // namespace
