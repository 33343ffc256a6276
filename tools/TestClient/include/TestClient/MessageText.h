#pragma once
// One-line, human-readable forms of messages, script values and disconnect reasons.
#include <cstddef>
#include <cstdint>
#include <string>

namespace Tessera3D {
class CArgument;
}

// Which side sent the message: the chat message has a different layout in each direction.
enum eMessageDirection { FROM_SERVER, FROM_CLIENT };

// "PACKET_CHAT type=1 text=\"Bob: hi\"" for every message a catalogue struct can decode; other ids,
// and payloads that fail to decode, as the id and the payload in hex. Bytes left over after a
// decoded message are listed as trailing=<hex>. Safe for any bytes.
std::string DescribeMessage(uint32_t id, const uint8_t* pPayload, size_t size,
                            eMessageDirection direction = FROM_SERVER);

// A script value: null, undefined, true, 5, 1.5, "text", (x, y, z), [a, b], {"key": value},
// element(5), bytes(2: 01 02) ...
std::string DescribeValue(const Tessera3D::CArgument* pValue);

// "DISCONNECT_SERVER_FULL" ... for the reasons a server sends, null for any other value.
const char* GetDisconnectReasonName(uint32_t reason);
