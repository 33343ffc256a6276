// Reads arbitrary bytes as the payload of every message struct a client decodes (and those it sends,
// which share the structs), and through the decoded lines the client prints. A payload that decodes
// must write bytes that decode again and write the very same bytes: readers and writers agree.
#include "Engine/MemoryStream.h"
#include "Multiplayer/GameMessages.h"
#include "Multiplayer/MachineMessages.h"
#include "Multiplayer/SessionMessages.h"
#include "TestClient/ClientMessages.h"
#include "TestClient/MessageText.h"
#include "TestClient/QueryProtocol.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace Tessera3D;

namespace {

using Bytes = std::vector<uint8_t>;

template <typename TMessage>
bool Decode(const uint8_t* pData, size_t size, TMessage& message) {
    auto pStream = MakeStrong<CMemoryStream>(static_cast<const void*>(pData), size);
    return ReadMessage(pStream.Get(), message);
}

// The payload the struct writes, without the header.
template <typename TMessage>
bool Encode(const TMessage& message, Bytes& payload) {
    Strong<Packet> pPacket = BuildMessage(message);
    if (!pPacket) return false;
    payload.assign(pPacket->GetData() + PACKET_HEADER_SIZE, pPacket->GetData() + pPacket->GetSize());
    return true;
}

template <typename TMessage>
void RoundTrip(const uint8_t* pData, size_t size) {
    TMessage message;
    if (!Decode(pData, size, message)) return;
    Bytes once, twice;
    if (!Encode(message, once)) abort(); // what was read must be writable
    TMessage again;
    if (!Decode(once.data(), once.size(), again)) abort();
    if (!Encode(again, twice) || twice != once) abort();
}

// A client record travels inside other messages and has no id of its own.
struct CRecordMessage {
    static constexpr uint32_t ID = PACKET_CLIENT_JOINED;
    CClientRecord m_Record;
    bool Write(CBinaryWriter& writer) const { return m_Record.Write(writer); }
    bool Read(CBinaryReader& reader) { return m_Record.Read(reader); }
};

const uint32_t DECODED_IDS[] = {
    PACKET_CONNECT_REQUEST, PACKET_CONNECT_ACCEPTED, PACKET_CLIENT_READY, PACKET_LOCAL_PLAYER, PACKET_CHAT,
    PACKET_COMMAND, PACKET_ELEMENT_DELETE, PACKET_JOIN_COMPLETE, PACKET_DISCONNECT_REQUEST, PACKET_GAME_MODE,
    PACKET_CLIENT_LIST, PACKET_CLIENT_JOINED, PACKET_CLIENT_LEFT, PACKET_CLIENT_DATA, PACKET_CLIENT_DATA_CLEAR,
    PACKET_CLIENT_PLAYER, PACKET_KEY_EVENT, PACKET_SERVER_NAME, PACKET_CVARS, PACKET_REQUEST_SYNCER,
    PACKET_ELEMENT_STREAMING, PACKET_CLIENT_UPDATE, PACKET_GAME_FILE_CHECK, PACKET_ELEMENT_CREATE,
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Script values that fail to read log a warning to standard output; libFuzzer reports on stderr.
    if (!freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    RoundTrip<CConnectRequest>(pData, size);
    RoundTrip<CConnectAccepted>(pData, size);
    RoundTrip<CChatFromClient>(pData, size);
    RoundTrip<CChatToClient>(pData, size);
    RoundTrip<CCommandMessage>(pData, size);
    RoundTrip<CDisconnectRequest>(pData, size);
    RoundTrip<CGameModeMessage>(pData, size);
    RoundTrip<CClientList>(pData, size);
    RoundTrip<CClientJoined>(pData, size);
    RoundTrip<CClientLeft>(pData, size);
    RoundTrip<CCVarsMessage>(pData, size);
    RoundTrip<CRecordMessage>(pData, size);
    RoundTrip<CLocalPlayer>(pData, size);
    RoundTrip<CClientData>(pData, size);
    RoundTrip<CClientDataClear>(pData, size);
    RoundTrip<CClientPlayer>(pData, size);
    RoundTrip<CClientUpdate>(pData, size);
    RoundTrip<CElementStreaming>(pData, size);
    RoundTrip<CGameFileCheckRequest>(pData, size);
    RoundTrip<CGameFileCheckAnswer>(pData, size);
    RoundTrip<CElementDelete>(pData, size);
    RoundTrip<CRequestSyncer>(pData, size);
    RoundTrip<CKeyEventMessage>(pData, size);

    for (uint32_t id : DECODED_IDS) {
        DescribeMessage(id, pData, size, FROM_SERVER);
        DescribeMessage(id, pData, size, FROM_CLIENT);
    }

    CQueryAnswer answer;
    answer.Parse(pData, size);
    answer.Describe();
    return 0;
}
