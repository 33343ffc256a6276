#pragma once
// Expected-byte tables for messages: hex text with an annotation per line, and a check that runs a
// message struct through its writer and reader.
#include "Engine/MemoryStream.h"
#include "Multiplayer/Message.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// "02 34" "52 54": hex pairs; whitespace anywhere is ignored.
inline Bytes HexBytes(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (!isspace(static_cast<unsigned char>(c))) digits += c;
    Bytes out;
    for (size_t i = 0; i + 1 < digits.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
}

// "02 34 52 54": readable failure messages.
inline std::string Hex(const Bytes& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

template <typename TMessage>
bool DecodePayload(const Bytes& payload, TMessage& message) {
    auto pStream = Tessera3D::MakeStrong<Tessera3D::CMemoryStream>(static_cast<const void*>(payload.data()), payload.size());
    return ReadMessage(pStream.Get(), message);
}

// The whole message the struct writes, header included; empty when it cannot be built.
template <typename TMessage>
Bytes EncodeMessage(const TMessage& message) {
    Tessera3D::Strong<Tessera3D::Packet> pPacket = BuildMessage(message);
    if (!pPacket) return {};
    return Bytes(pPacket->GetData(), pPacket->GetData() + pPacket->GetSize());
}

inline Bytes HeaderFor(uint32_t id) {
    Bytes header = {0x02, 0x34, 0x52, 0x54};
    for (int i = 0; i < 4; ++i) header.push_back(static_cast<uint8_t>(id >> (8 * i)));
    return header;
}

// The struct writes the header and exactly the expected payload; the payload reads back into a
// struct that writes the same bytes again; every shorter prefix of the payload fails to read.
template <typename TMessage>
void ExpectCodec(const TMessage& message, const Bytes& payload) {
    const std::string expected = Hex(Concat({HeaderFor(TMessage::ID), payload}));
    EXPECT_EQ(Hex(EncodeMessage(message)), expected);
    TMessage decoded;
    ASSERT_TRUE(DecodePayload(payload, decoded));
    EXPECT_EQ(Hex(EncodeMessage(decoded)), expected) << "after reading back";
    for (size_t length = 0; length < payload.size(); ++length) {
        TMessage cut;
        EXPECT_FALSE(DecodePayload(Bytes(payload.begin(), payload.begin() + length), cut)) << "cut to " << length << " bytes";
    }
}

// One row of a table: a named check over a message struct of any type.
struct CCodecCase {
    std::string m_Name;
    std::function<void()> m_Check;
};

template <typename TMessage>
CCodecCase Codec(std::string name, TMessage message, std::string hex) {
    return {std::move(name), [message, hex] { ExpectCodec(message, HexBytes(hex)); }};
}

template <typename TMessage>
CCodecCase CodecBytes(std::string name, TMessage message, Bytes payload) {
    return {std::move(name), [message, payload] { ExpectCodec(message, payload); }};
}

// A payload the struct must refuse.
template <typename TMessage>
CCodecCase Refused(std::string name, Bytes payload) {
    return {std::move(name), [payload] {
                TMessage message;
                EXPECT_FALSE(DecodePayload(payload, message));
            }};
}

inline void RunCases(const std::vector<CCodecCase>& cases) {
    for (const CCodecCase& c : cases) {
        SCOPED_TRACE(c.m_Name);
        c.m_Check();
    }
}
